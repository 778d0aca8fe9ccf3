// Naming the Windows edition from the version record, the native processor
// architecture, a few system metrics, two registry values and, where the
// reported version is not enough, the output of the console command "ver".
#include "sysinfo/SystemName.h"

#include <cstdio>
#include <optional>

#include "core/Registry.h"

namespace orfa {

std::string VersionWord(const std::string& ver, bool workstation) {
  std::string out = workstation ? "" : "Server ";
  const size_t ion = ver.find("ion");
  // Zero-based start: one past the blank that follows "ion"; 3 without "ion".
  const size_t start = (ion == std::string::npos ? 0 : ion + 1) + 3;
  const size_t dot = ver.find('.');
  if (dot != std::string::npos && dot > start) out += ver.substr(start, dot - start);
  out += ' ';
  return out;
}

namespace {

constexpr uint32_t kPlatformWin9x = 1;
constexpr uint32_t kPlatformNt = 2;

constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;

constexpr uint16_t kArchIntel = 0;
constexpr uint16_t kArchIa64 = 6;
constexpr uint16_t kArchAmd64 = 9;

constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteEmbeddedNt = 0x0040;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kSuiteBlade = 0x0400;
constexpr uint16_t kSuiteStorageServer = 0x2000;
constexpr uint16_t kSuiteComputeServer = 0x4000;

constexpr uint32_t kProductNameAccess = kKeyAllAccess | kKeyWow64_64Key;  // 0xF013F
constexpr size_t kProductTypeBufferSize = 256;

const char* const kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char* const kSp6aHotfixKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

struct Facts {
  OsVersionRecord version;
  bool extended = false;
  uint16_t architecture = 0;
  bool Workstation() const { return version.productType == kWorkstation; }
  bool Suite(uint16_t bit) const { return (version.suiteMask & bit) != 0; }
};

// Second character of the service-pack text, NUL when there is none.
char SecondServicePackChar(const OsVersionRecord& v) {
  return v.servicePack.size() >= 2 ? v.servicePack[1] : '\0';
}

std::string Win9xName(const OsVersionRecord& v) {
  if (v.major != 4) return "Unknown 9x";
  const uint32_t build = v.build & 0xFFFF;
  const char sp = SecondServicePackChar(v);
  switch (v.minor) {
    case 0:
    case 3:
      if (build == 1111) return "95 OSR 2.0";
      if (build == 1212 || build == 1213) return "95 OSR 2.1";
      if (build == 1214) return sp == 'C' ? "95 OSR 2.5" : "95 OSR 2.1";
      if (build > 1080) return "95 OSR 2.x";
      if (sp == 'A' || sp == 'W') return "95 OSR 1";
      return "95";
    case 10:
      if (build == 2222 || sp == 'A' || sp == 'B') return "98 SE";
      return "98";
    case 90:
      return "Millennium";
    default:
      return "Unknown 9x";
  }
}

std::string NtPrefix(SetupContext& ctx, const Facts& f) {
  const OsVersionRecord& v = f.version;
  const bool ws = f.Workstation();
  switch (v.major) {
    case 3:
    case 4:
      return "NT ";
    case 5:
      switch (v.minor) {
        case 0: return "2000 ";
        case 1: return "XP ";
        case 2:
          if (ctx.Os.system.Metric(kSmServerR2) != 0) return "Server 2003 R2 ";
          if (v.suiteMask == kSuiteStorageServer) return "Storage Server 2003";
          if (ws && f.architecture == kArchAmd64) return "XP ";
          return "Server 2003 ";
        default: return "Unknown version ";
      }
    case 6:
      switch (v.minor) {
        case 0: return ws ? "Vista " : "Server 2008 ";
        case 1: return ws ? "7 " : "Server 2008 R2 ";
        case 2: {
          // Without a compatibility declaration 8.1 and later report 6.2;
          // the console's own banner tells the truth.
          const std::string ver = CaptureConsoleOutput(ctx, "ver");
          if (ver.find(" 6.2") != std::string::npos) return ws ? "8 " : "Server 2012 ";
          if (ver.find(" 6.3") != std::string::npos) return ws ? "8.1 " : "Server 2012 R2 ";
          if (ver.find(" 10") != std::string::npos) return ws ? "10 " : "Server 10 ";
          return VersionWord(ver, ws);
        }
        case 3: return ws ? "8.1 " : "Server 2012 R2 ";
        default: return "";
      }
    case 10:
      if (v.minor == 0) return ws ? "10 " : "Server 2016 ";
      return "";
    default:
      return VersionWord(CaptureConsoleOutput(ctx, "ver"), ws);
  }
}

std::string HexUpper(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", value);
  return buffer;
}

std::string Server2003Edition(const Facts& f) {
  switch (f.architecture) {
    case kArchIntel:
      if (f.Suite(kSuiteComputeServer)) return "Computer Cluster";
      if (f.Suite(kSuiteDatacenter)) return "Datacenter";
      if (f.Suite(kSuiteEnterprise)) return "Enterprise";
      if (f.version.suiteMask == kSuiteBlade) return "Web";
      return "Standard";
    case kArchIa64:
      if (f.Suite(kSuiteDatacenter)) return "Datacenter for Itanium-based Systems";
      if (f.Suite(kSuiteEnterprise)) return "Enterprise for Itanium-based Systems";
      return "Standard Itanium-based";
    case kArchAmd64:
      if (f.Suite(kSuiteDatacenter)) return "Datacenter x64";
      if (f.Suite(kSuiteEnterprise)) return "Enterprise x64";
      return "Standard x64";
    default:
      return "Unknown on Architecture 0x" + HexUpper(f.architecture);
  }
}

std::string NtEdition(SetupContext& ctx, const Facts& f) {
  const OsVersionRecord& v = f.version;
  const uint8_t type = v.productType;
  if (type == kWorkstation) {
    if (v.major == 4) return "Workstation";
    if (v.major != 5) return "Unknown Workstation";
    if (v.minor == 2 && f.architecture == kArchAmd64) return "Professional x64";
    if (ctx.Os.system.Metric(kSmStarter) != 0) return "Starter";
    if (ctx.Os.system.Metric(kSmMediaCenter) != 0) return "Media Center";
    if (ctx.Os.system.Metric(kSmTabletPc) != 0) return "Tablet PC";
    if (f.Suite(kSuitePersonal)) return "Home";
    if (f.Suite(kSuiteEmbeddedNt)) return "Embedded";
    return "Professional";
  }
  if (type != kDomainController && type != kServer) return "Unknown";
  const char* const unknown = type == kServer ? "Unknown Server" : "Unknown Domain controller";
  if (v.major == 4) return f.Suite(kSuiteEnterprise) ? "Server 4.0 Enterprise" : "Server 4.0";
  if (v.major != 5) return unknown;
  if (v.minor == 0) {
    if (f.Suite(kSuiteDatacenter)) return "Datacenter Server";
    if (f.Suite(kSuiteEnterprise)) return "Advanced Server";
    return "Server";
  }
  if (v.minor == 2) return Server2003Edition(f);
  return unknown;
}

// The system's own product name, read through a registry object of its own
// on the 64-bit view; nothing when the key does not open or lacks the value.
// A value of another type throws, as every text read of the registry does.
std::optional<std::string> RegistryProductName(SetupContext& ctx) {
  Registry registry(ctx.Os.registry, kProductNameAccess);
  registry.SelectRoot(RootKey::LocalMachine);
  if (!registry.OpenKey(kCurrentVersionKey, false)) return std::nullopt;
  KeyCloser closer(registry);
  if (!registry.ValueExists("ProductName")) return std::nullopt;
  return registry.ReadString("ProductName");
}

// The product-options word of systems whose version query knows no product type.
std::string ProductOptionsWord(SetupContext& ctx) {
  uint32_t error = 0;
  auto key = ctx.Os.registry.Open(RootKey::LocalMachine, kProductOptionsKey, kKeyQueryValue, false,
                                  &error);
  if (!key) return "";
  auto value = key->Query("ProductType", &error);
  if (!value || value->type != kRegSz || value->data.size() > kProductTypeBufferSize) return "";
  const std::string word = LowerAscii(value->data.substr(0, value->data.find('\0')));
  if (word == "winnt") return "Workstation";
  if (word == "lanmannt") return "Server";
  if (word == "servernt") return "Advanced Server";
  return "Unknown";
}

std::string NtServicePack(SetupContext& ctx, const OsVersionRecord& v) {
  if (v.major == 4 && v.servicePack == "Service Pack 6") {
    uint32_t error = 0;
    if (ctx.Os.registry.Open(RootKey::LocalMachine, kSp6aHotfixKey, kKeyQueryValue, false, &error)) {
      return "Service Pack 6a";
    }
  }
  return v.servicePack;
}

bool IsBlank(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 32) return false;
  }
  return true;
}

}  // namespace

bool IdentifyWindows(SetupContext& ctx, std::string& Name, std::string& ServicePack) {
  Name.clear();
  ServicePack.clear();

  Facts f;
  if (auto v = ctx.Os.system.Version(true)) {
    f.version = *v;
    f.extended = true;
  } else if (auto basic = ctx.Os.system.Version(false)) {
    f.version = *basic;
    f.version.suiteMask = 0;  // the basic record has neither field
    f.version.productType = 0;
  } else {
    return false;
  }
  f.architecture = ctx.Os.system.ProcessorArchitecture();

  Name = "Microsoft Windows ";
  if (f.version.platformId == kPlatformWin9x) {
    Name += Win9xName(f.version);
    ServicePack = f.version.servicePack;
    return true;
  }
  if (f.version.platformId != kPlatformNt) {
    Name.clear();
    return false;
  }

  if (f.extended && f.version.major == 6) {
    // The product name, where the system has one (every 8 and later does),
    // replaces the whole table text. It is read first, so that the prefix,
    // whose 6.2 row starts a console process for "ver", is made only when
    // the name keeps it.
    if (std::optional<std::string> product = RegistryProductName(ctx)) {
      Name = *product;
    } else {
      Name += NtPrefix(ctx, f);
    }
    if (f.architecture == kArchAmd64) {
      Name += " 64-bit";
    } else if (f.architecture == kArchIntel) {
      Name += " 32-bit";
    }
  } else {
    Name += NtPrefix(ctx, f);
    Name += f.extended ? NtEdition(ctx, f) : ProductOptionsWord(ctx);
  }
  ServicePack = NtServicePack(ctx, f.version);
  return true;
}

std::string BuildSystemName(SetupContext& ctx) {
  std::string name;
  std::string servicePack;
  if (!IdentifyWindows(ctx, name, servicePack)) return "unknown";
  std::string text = IsBlank(servicePack) ? name : name + " " + servicePack;
  ctx.Is64BitSystem = text.find(" 64") != std::string::npos;
  return text;
}

}  // namespace orfa
