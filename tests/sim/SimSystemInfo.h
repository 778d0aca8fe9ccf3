// Simulated system information. Starts as a 32-bit Windows XP Professional SP3
// (version 5.1.2600, NT family, x86) for an English (US) administrator, with the
// environment variables "Temp" = "C:\Temp" and "ComSpec" = "C:\WINDOWS\system32\cmd.exe",
// and a Russian system's OEM-to-ANSI conversion (CP866 -> CP1251).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

constexpr uint16_t kArchIntel = 0;
constexpr uint16_t kArchIa64 = 6;
constexpr uint16_t kArchAmd64 = 9;

enum class OemConversion { Cp866ToCp1251, Identity };

class SimSystemInfo : public SystemInfo {
 public:
  SimSystemInfo();

  // --- the seam
  std::optional<OsVersionRecord> Version(bool extended) override;
  uint16_t ProcessorArchitecture() override { return architecture_; }
  int Metric(int index) override;
  uint32_t UserDefaultLcid() override { return lcid_; }
  bool IsUserAnAdmin() override { return admin_; }
  std::optional<std::string> Environment(const std::string& name) override;
  uint32_t AnsiCodePageOf(uint32_t lcid) override;
  std::string OemToAnsi(const std::string& text) override;

  // --- for tests
  // Both records: the basic one is the same without suite mask and product type.
  void SetVersion(const OsVersionRecord& record);
  void SetExtendedVersion(std::optional<OsVersionRecord> record) { extended_ = std::move(record); }  // nullopt: fails
  void SetBasicVersion(std::optional<OsVersionRecord> record) { basic_ = std::move(record); }        // nullopt: fails
  void SetProcessorArchitecture(uint16_t architecture) { architecture_ = architecture; }
  void SetMetric(int index, int value) { metrics_[index] = value; }  // unset metrics are 0
  void SetUserLcid(uint32_t lcid) { lcid_ = lcid; }
  void SetAdmin(bool admin) { admin_ = admin; }
  void SetEnv(const std::string& name, const std::string& value);  // names ignore case
  void UnsetEnv(const std::string& name);
  void SetAnsiCodePage(uint32_t lcid, uint32_t codePage) { codePages_[lcid] = codePage; }
  void SetOemConversion(OemConversion conversion) { oem_ = conversion; }

 private:
  std::optional<OsVersionRecord> extended_;
  std::optional<OsVersionRecord> basic_;
  uint16_t architecture_ = kArchIntel;
  std::map<int, int> metrics_;
  uint32_t lcid_ = 0x0409;
  bool admin_ = true;
  std::vector<std::pair<std::string, std::string>> environment_;
  std::map<uint32_t, uint32_t> codePages_;
  OemConversion oem_ = OemConversion::Cp866ToCp1251;
};

}  // namespace orfa::sim
