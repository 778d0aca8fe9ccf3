// The simulated unattended-mode services: log files held in memory, in the
// folders a test adds, and entries a test plants where a log would go (a
// link, a folder, a file with a second name, a junction in the folder path).
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/UnattendedPort.h"

namespace orfa::sim {

class SimUnattended : public UnattendedPort {
 public:
  struct Entry {
    std::string bytes;
    uint32_t attributes = kAttrNormal;
    uint32_t links = 1;
    std::string finalPath;  // empty: the path itself
  };

  SimUnattended() { AddFolder(temp_); }

  // --- the seam
  void SuppressSystemErrorBoxes() override { boxesSuppressed_ = true; }
  std::string WindowsTempFolder() override { return temp_; }
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path, uint32_t* error) override;
  std::string LocalTime() override { return "2026-12-10 03:04:05"; }
  // ASCII as it is; every other byte becomes "?" (the real conversion is
  // the system's).
  std::string Utf8Of(const TextPiece& piece) override;

  // --- for tests
  void AddFolder(const std::string& folder);  // with or without its final backslash
  void Plant(const std::string& path, const Entry& entry);
  std::string Bytes(const std::string& path);  // empty when there is no such log
  bool BoxesSuppressed() const { return boxesSuppressed_; }

 private:
  std::string temp_ = "C:\\Windows\\Temp\\";
  std::set<std::string> folders_;         // folded, without the final backslash
  std::map<std::string, Entry> entries_;  // folded path
  bool boxesSuppressed_ = false;
};

}  // namespace orfa::sim
