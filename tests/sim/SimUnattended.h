// The simulated unattended-mode services: log files held in memory, with
// folders that exist and entries a test plants where a log would go (a
// link, a folder, a file with a second name, a junction in the folder path).
#pragma once

#include <map>
#include <string>

#include "platform/UnattendedPort.h"

namespace orfa::sim {

class SimUnattended : public UnattendedPort {
 public:
  SimUnattended();

  // --- the seam
  void SuppressSystemErrorBoxes() override { boxesSuppressed_ = true; }
  std::string TempFolder() override { return temp_; }
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, uint32_t* error) override;
  std::string LocalTime() override { return "2026-12-10 03:04:05"; }
  // Code pages 1251 and 1252 (the system's ANSI code page); other bytes
  // above 0x7F become "?".
  std::string Utf8Of(const TextPiece& piece) override;

  // --- for tests
  struct Entry {
    std::string bytes;
    uint32_t attributes = kAttrNormal;
    uint32_t links = 1;
    std::string finalPath;  // empty: the path itself
  };
  void SetTempFolder(const std::string& folder) { temp_ = folder; }
  void AddFolder(const std::string& folder);  // with or without its final backslash
  void Plant(const std::string& path, const Entry& entry);
  // No final path from the system (before Vista).
  void SetFinalPathOffered(bool offered) { finalPathOffered_ = offered; }
  // The bytes of a log, empty when there is none.
  std::string Bytes(const std::string& path) const;
  bool Exists(const std::string& path) const;
  bool BoxesSuppressed() const { return boxesSuppressed_; }

 private:
  std::string temp_ = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";
  std::map<std::string, bool> folders_;  // folded path without final backslash
  std::map<std::string, Entry> entries_;  // folded path
  bool finalPathOffered_ = true;
  bool boxesSuppressed_ = false;
};

}  // namespace orfa::sim
