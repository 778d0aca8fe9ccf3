#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/SetupContext.h"
#include "platform/Failure.h"
#include "sysinfo/SystemName.h"
#include "tests/sim/SimWindows.h"

namespace orfa {
namespace {

const char* const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kProductOptions = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char* const kHotfix = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

const char* const kVer10 = "\r\nMicrosoft Windows [Version 10.0.19045.2965]\r\n";
const char* const kVer62 = "\r\nMicrosoft Windows [Version 6.2.9200]\r\n";
const char* const kVer63 = "\r\nMicrosoft Windows [Version 6.3.9600]\r\n";

OsVersionRecord Nt(uint32_t major, uint32_t minor, uint8_t type, uint16_t suite = 0,
                   const std::string& servicePack = "") {
  OsVersionRecord v;
  v.platformId = 2;
  v.major = major;
  v.minor = minor;
  v.build = 1000;
  v.productType = type;
  v.suiteMask = suite;
  v.servicePack = servicePack;
  return v;
}

OsVersionRecord Win9x(uint32_t major, uint32_t minor, uint32_t build, const std::string& servicePack) {
  OsVersionRecord v;
  v.platformId = 1;
  v.major = major;
  v.minor = minor;
  v.build = (major << 24) | (minor << 16) | build;  // the family keeps the version in the high word
  v.servicePack = servicePack;
  return v;
}

// A simulated system whose version record, processor, registry and console
// output ("ver", through the captured pipe) each test sets.
class SystemNameTest : public ::testing::Test {
 public:
  // What the console command prints.
  void Ver(const std::string& output) {
    sim.processes.OnRunCaptured([output](const std::string&, SimWindows&) {
      ProcessResult result;
      result.started = true;
      result.finished = true;
      result.output = output;
      return result;
    });
  }

  std::string Name(const OsVersionRecord& v, uint16_t architecture = 0) {
    sim.system.SetVersion(v);
    sim.system.SetProcessorArchitecture(architecture);
    return BuildSystemName(ctx);
  }

  void ProductName(const std::string& name, RegView view = RegView::Native) {
    sim.registry.SetString(RootKey::LocalMachine, kCurrentVersion, "ProductName", name, view);
  }

  SimWindows sim;
  SetupContext ctx{sim.Get()};
};

struct Row {
  OsVersionRecord version;
  uint16_t architecture;
  std::string expected;
};

void ExpectRows(SystemNameTest& test, const std::vector<Row>& rows,
                std::string (SystemNameTest::*name)(const OsVersionRecord&, uint16_t)) {
  for (const Row& row : rows) {
    EXPECT_EQ((test.*name)(row.version, row.architecture), row.expected)
        << "version " << row.version.major << "." << row.version.minor << " build "
        << (row.version.build & 0xFFFF) << " type " << int(row.version.productType) << " suite 0x"
        << std::hex << row.version.suiteMask << " arch " << std::dec << row.architecture;
  }
}

// ------------------------------------------------------------ the 95/98/Me family

class Win9xNames : public SystemNameTest {};

TEST_F(Win9xNames, FollowTheBuildAndTheSecondServicePackCharacter) {
  const std::vector<Row> rows = {
      {Win9x(4, 0, 1111, ""), 0, "Microsoft Windows 95 OSR 2.0"},
      {Win9x(4, 0, 1212, ""), 0, "Microsoft Windows 95 OSR 2.1"},
      {Win9x(4, 3, 1213, ""), 0, "Microsoft Windows 95 OSR 2.1"},
      {Win9x(4, 0, 1214, " C"), 0, "Microsoft Windows 95 OSR 2.5  C"},
      {Win9x(4, 0, 1214, " B"), 0, "Microsoft Windows 95 OSR 2.1  B"},
      {Win9x(4, 0, 1214, ""), 0, "Microsoft Windows 95 OSR 2.1"},
      {Win9x(4, 0, 1081, " A"), 0, "Microsoft Windows 95 OSR 2.x  A"},
      {Win9x(4, 3, 1080, " A"), 0, "Microsoft Windows 95 OSR 1  A"},
      {Win9x(4, 0, 950, " W"), 0, "Microsoft Windows 95 OSR 1  W"},
      {Win9x(4, 0, 950, " B"), 0, "Microsoft Windows 95  B"},
      {Win9x(4, 0, 950, ""), 0, "Microsoft Windows 95"},
      {Win9x(4, 0, 950, "a"), 0, "Microsoft Windows 95 a"},  // one character: no second one
      {Win9x(4, 10, 2222, ""), 0, "Microsoft Windows 98 SE"},
      {Win9x(4, 10, 1998, " A "), 0, "Microsoft Windows 98 SE  A "},
      {Win9x(4, 10, 1998, " B"), 0, "Microsoft Windows 98 SE  B"},
      {Win9x(4, 10, 1998, " C"), 0, "Microsoft Windows 98  C"},
      {Win9x(4, 10, 1998, ""), 0, "Microsoft Windows 98"},
      {Win9x(4, 90, 3000, " "), 0, "Microsoft Windows Millennium"},
      {Win9x(4, 20, 1000, ""), 0, "Microsoft Windows Unknown 9x"},
      {Win9x(5, 0, 1111, ""), 0, "Microsoft Windows Unknown 9x"},
  };
  ExpectRows(*this, rows, &SystemNameTest::Name);
  EXPECT_FALSE(ctx.Is64BitSystem);
}

TEST_F(Win9xNames, OnlyTheLowWordOfTheBuildCounts) {
  OsVersionRecord v = Win9x(4, 10, 2222, "");
  v.build = 0x040A08AE;  // 4.10.2222
  EXPECT_EQ(Name(v), "Microsoft Windows 98 SE");
  v.build = 0x08AE;
  v.major = 4;
  EXPECT_EQ(Name(v), "Microsoft Windows 98 SE");
}

// ------------------------------------------------------------ NT prefix and edition

class NtNames : public SystemNameTest {};

TEST_F(NtNames, PrefixByVersion) {
  const std::vector<Row> rows = {
      {Nt(3, 51, 1), 0, "Microsoft Windows NT Unknown Workstation"},
      {Nt(4, 0, 1), 0, "Microsoft Windows NT Workstation"},
      {Nt(5, 0, 1), 0, "Microsoft Windows 2000 Professional"},
      {Nt(5, 1, 1), 0, "Microsoft Windows XP Professional"},
      {Nt(5, 2, 3), 0, "Microsoft Windows Server 2003 Standard"},
      {Nt(5, 2, 1, 0, "Service Pack 2"), 9, "Microsoft Windows XP Professional x64 Service Pack 2"},
      {Nt(5, 2, 3, 0x2000), 0, "Microsoft Windows Storage Server 2003Standard"},
      {Nt(5, 2, 3, 0x2002), 0, "Microsoft Windows Server 2003 Enterprise"},  // not equal to 0x2000
      {Nt(5, 3, 1), 0, "Microsoft Windows Unknown version Professional"},
      {Nt(10, 0, 1), 0, "Microsoft Windows 10 Unknown Workstation"},
      {Nt(10, 0, 3), 0, "Microsoft Windows Server 2016 Unknown Server"},
      {Nt(10, 1, 1), 0, "Microsoft Windows Unknown Workstation"},
  };
  ExpectRows(*this, rows, &SystemNameTest::Name);
  EXPECT_TRUE(sim.processes.RunCapturedCalls().empty());  // none of these asks "ver"
}

TEST_F(NtNames, ServerR2MetricComesBeforeEverythingElseOn52) {
  sim.system.SetMetric(kSmServerR2, 1);
  EXPECT_EQ(Name(Nt(5, 2, 3)), "Microsoft Windows Server 2003 R2 Standard");
  EXPECT_EQ(Name(Nt(5, 2, 3, 0x2000)), "Microsoft Windows Server 2003 R2 Standard");
  EXPECT_EQ(Name(Nt(5, 2, 1), 9), "Microsoft Windows Server 2003 R2 Professional x64");
}

TEST_F(NtNames, WorkstationEditions) {
  EXPECT_EQ(Name(Nt(5, 1, 1, 0x0200)), "Microsoft Windows XP Home");
  EXPECT_EQ(Name(Nt(5, 1, 1, 0x0040)), "Microsoft Windows XP Embedded");
  EXPECT_EQ(Name(Nt(5, 1, 1, 0x0240)), "Microsoft Windows XP Home");
  EXPECT_EQ(Name(Nt(5, 1, 1, 0x0100)), "Microsoft Windows XP Professional");
  EXPECT_EQ(Name(Nt(5, 2, 1), 6), "Microsoft Windows Server 2003 Professional");

  sim.system.SetMetric(kSmTabletPc, 1);
  EXPECT_EQ(Name(Nt(5, 1, 1, 0x0200)), "Microsoft Windows XP Tablet PC");
  sim.system.SetMetric(kSmMediaCenter, 1);
  EXPECT_EQ(Name(Nt(5, 1, 1)), "Microsoft Windows XP Media Center");
  sim.system.SetMetric(kSmStarter, 1);
  EXPECT_EQ(Name(Nt(5, 1, 1)), "Microsoft Windows XP Starter");
  // The x64 edition is told by the architecture before any metric.
  EXPECT_EQ(Name(Nt(5, 2, 1), 9), "Microsoft Windows XP Professional x64");
}

TEST_F(NtNames, ServerEditions) {
  const std::vector<Row> rows = {
      {Nt(4, 0, 3, 0x0002), 0, "Microsoft Windows NT Server 4.0 Enterprise"},
      {Nt(4, 0, 2), 0, "Microsoft Windows NT Server 4.0"},
      {Nt(5, 0, 3, 0x0082), 0, "Microsoft Windows 2000 Datacenter Server"},
      {Nt(5, 0, 2, 0x0002), 0, "Microsoft Windows 2000 Advanced Server"},
      {Nt(5, 0, 3), 0, "Microsoft Windows 2000 Server"},
      {Nt(5, 2, 3, 0x4082), 0, "Microsoft Windows Server 2003 Computer Cluster"},
      {Nt(5, 2, 3, 0x0082), 0, "Microsoft Windows Server 2003 Datacenter"},
      {Nt(5, 2, 2, 0x0002), 0, "Microsoft Windows Server 2003 Enterprise"},
      {Nt(5, 2, 3, 0x0400), 0, "Microsoft Windows Server 2003 Web"},
      {Nt(5, 2, 3, 0x0410), 0, "Microsoft Windows Server 2003 Standard"},  // Web needs equality
      {Nt(5, 2, 3, 0x0012), 0, "Microsoft Windows Server 2003 Enterprise"},
      {Nt(5, 2, 3, 0x0010), 0, "Microsoft Windows Server 2003 Standard"},
      {Nt(5, 2, 3, 0x0080), 6, "Microsoft Windows Server 2003 Datacenter for Itanium-based Systems"},
      {Nt(5, 2, 3, 0x0002), 6, "Microsoft Windows Server 2003 Enterprise for Itanium-based Systems"},
      {Nt(5, 2, 3, 0x4000), 6, "Microsoft Windows Server 2003 Standard Itanium-based"},
      {Nt(5, 2, 3, 0x0082), 9, "Microsoft Windows Server 2003 Datacenter x64"},
      {Nt(5, 2, 2, 0x0002), 9, "Microsoft Windows Server 2003 Enterprise x64"},
      {Nt(5, 2, 3, 0x0400), 9, "Microsoft Windows Server 2003 Standard x64"},
      {Nt(5, 2, 3), 12, "Microsoft Windows Server 2003 Unknown on Architecture 0xC"},
      {Nt(5, 2, 3, 0x0080), 5, "Microsoft Windows Server 2003 Unknown on Architecture 0x5"},
      {Nt(5, 2, 3), 0xFFFF, "Microsoft Windows Server 2003 Unknown on Architecture 0xFFFF"},
      {Nt(5, 1, 3), 0, "Microsoft Windows XP Unknown Server"},
      {Nt(5, 1, 2), 0, "Microsoft Windows XP Unknown Domain controller"},
      {Nt(5, 3, 3), 0, "Microsoft Windows Unknown version Unknown Server"},
      {Nt(5, 4, 2), 0, "Microsoft Windows Unknown version Unknown Domain controller"},
      {Nt(3, 51, 3), 0, "Microsoft Windows NT Unknown Server"},
      {Nt(3, 51, 2), 0, "Microsoft Windows NT Unknown Domain controller"},
      {Nt(10, 0, 2), 0, "Microsoft Windows Server 2016 Unknown Domain controller"},
      {Nt(5, 1, 0), 0, "Microsoft Windows XP Unknown"},
      {Nt(5, 2, 4), 0, "Microsoft Windows Server 2003 Unknown"},
      {Nt(4, 0, 200), 0, "Microsoft Windows NT Unknown"},
  };
  ExpectRows(*this, rows, &SystemNameTest::Name);
}

// ------------------------------------------------------------ version 6

class Version6Names : public SystemNameTest {
 protected:
  Version6Names() { sim.Set64BitSystem(true); }
};

TEST_F(Version6Names, TableTextsWithoutAProductNameAndTheBitnessSuffix) {
  Ver(kVer62);
  const std::vector<Row> rows = {
      {Nt(6, 0, 1), 0, "Microsoft Windows Vista  32-bit"},
      {Nt(6, 0, 3), 9, "Microsoft Windows Server 2008  64-bit"},
      {Nt(6, 1, 1), 9, "Microsoft Windows 7  64-bit"},
      {Nt(6, 1, 2), 0, "Microsoft Windows Server 2008 R2  32-bit"},
      {Nt(6, 3, 1), 9, "Microsoft Windows 8.1  64-bit"},
      {Nt(6, 3, 3), 9, "Microsoft Windows Server 2012 R2  64-bit"},
      {Nt(6, 4, 1), 9, "Microsoft Windows  64-bit"},
      {Nt(6, 1, 1), 6, "Microsoft Windows 7 "},  // other architectures get no suffix
      {Nt(6, 1, 1), 12, "Microsoft Windows 7 "},
  };
  ExpectRows(*this, rows, &SystemNameTest::Name);
}

TEST_F(Version6Names, SevenWithoutProductNameHasTwoSpacesBefore64Bit) {
  EXPECT_EQ(Name(Nt(6, 1, 1), 9), "Microsoft Windows 7  64-bit");
  EXPECT_TRUE(ctx.Is64BitSystem);
}

TEST_F(Version6Names, Reported62IsToldApartByTheConsoleBanner) {
  struct VerRow {
    const char* ver;
    uint8_t type;
    const char* expected;
  };
  const VerRow rows[] = {
      {kVer62, 1, "Microsoft Windows 8  32-bit"},
      {kVer62, 3, "Microsoft Windows Server 2012  32-bit"},
      {kVer63, 1, "Microsoft Windows 8.1  32-bit"},
      {kVer63, 2, "Microsoft Windows Server 2012 R2  32-bit"},
      {kVer10, 1, "Microsoft Windows 10  32-bit"},
      {kVer10, 3, "Microsoft Windows Server 10  32-bit"},
      // None of the three: the version-word rule.
      {"\r\nMicrosoft Windows [Version 11.0.22000]\r\n", 1, "Microsoft Windows 11  32-bit"},
      {"\r\nMicrosoft Windows [Version 11.0.22000]\r\n", 3, "Microsoft Windows Server 11  32-bit"},
      {"Windows 7.5", 1, "Microsoft Windows dows 7  32-bit"},  // no "ion": from the fourth character
      {"x.y version 5", 1, "Microsoft Windows   32-bit"},      // the first dot comes too early
      {"Version 5", 3, "Microsoft Windows Server   32-bit"},    // no dot at all
  };
  for (const VerRow& row : rows) {
    Ver(row.ver);
    EXPECT_EQ(Name(Nt(6, 2, row.type), 0), row.expected) << row.ver;
  }
}

TEST_F(Version6Names, AskTheConsoleOnlyFor62) {
  Ver(kVer10);
  Name(Nt(6, 1, 1), 9);
  Name(Nt(6, 3, 1), 9);
  EXPECT_TRUE(sim.processes.RunCapturedCalls().empty());
  Name(Nt(6, 2, 1), 9);
  ASSERT_EQ(sim.processes.RunCapturedCalls().size(), 1u);
  EXPECT_EQ(sim.processes.RunCapturedCalls()[0].commandLine, "\"C:\\WINDOWS\\system32\\cmd.exe\" /d /c ver");
}

TEST_F(Version6Names, NoConsoleGivesTheBareVersionWord) {
  sim.files.SetSystemDirectory("");
  EXPECT_EQ(Name(Nt(6, 2, 1), 9), "Microsoft Windows   64-bit");
  EXPECT_EQ(Name(Nt(6, 2, 3), 9), "Microsoft Windows Server   64-bit");
  // A console that cannot start leaves a single line break: the same words.
  sim.files.SetSystemDirectory("C:\\WINDOWS\\system32");
  EXPECT_EQ(Name(Nt(6, 2, 1), 9), "Microsoft Windows   64-bit");
}

TEST_F(Version6Names, Windows10Reporting62TakesTheRegistryProductName) {
  Ver(kVer10);
  ProductName("Windows 10 Pro");
  EXPECT_EQ(Name(Nt(6, 2, 1, 0x0100, ""), 9), "Windows 10 Pro 64-bit");
  EXPECT_TRUE(ctx.Is64BitSystem);
  EXPECT_EQ(Name(Nt(6, 2, 1, 0x0100, "  "), 0), "Windows 10 Pro 32-bit");
  EXPECT_FALSE(ctx.Is64BitSystem);
  EXPECT_TRUE(sim.processes.RunCapturedCalls().empty());  // the name replaces the word of "ver"
}

// Where a row of the table below keeps "ProductName".
enum class ProductNameAt { Value, NoKey, KeyWithoutValue, DeniedKey };

TEST_F(Version6Names, TheConsoleRunsOnlyWhereTheNameKeepsItsWord) {
  // The product name replaces the whole table text, the word of "ver" with
  // it, so 8 and later (which all have one) start no console process; the
  // name and the 64-bit flag come out as they would after asking anyway.
  struct NameRow {
    OsVersionRecord version;
    uint16_t architecture;
    ProductNameAt at;
    const char* productName;
    const char* expected;
    bool is64;
    size_t consoleRuns;
  };
  const NameRow rows[] = {
      {Nt(6, 2, 1), 9, ProductNameAt::Value, "Windows 10 Pro", "Windows 10 Pro 64-bit", true, 0},
      {Nt(6, 2, 3), 0, ProductNameAt::Value, "Windows Server 2019", "Windows Server 2019 32-bit", false, 0},
      {Nt(6, 2, 1), 6, ProductNameAt::Value, "Windows 8.1", "Windows 8.1", false, 0},
      {Nt(6, 2, 1, 0, "Service Pack 1"), 9, ProductNameAt::Value, "",
       " 64-bit Service Pack 1", true, 0},  // an empty name is a name
      {Nt(6, 2, 1), 9, ProductNameAt::NoKey, "", "Microsoft Windows 10  64-bit", true, 1},
      {Nt(6, 2, 3), 9, ProductNameAt::KeyWithoutValue, "", "Microsoft Windows Server 10  64-bit", true, 1},
      {Nt(6, 2, 1), 0, ProductNameAt::DeniedKey, "", "Microsoft Windows 10  32-bit", false, 1},
      {Nt(6, 1, 1), 9, ProductNameAt::Value, "Windows 7 Ultimate", "Windows 7 Ultimate 64-bit", true, 0},
      {Nt(6, 1, 1), 9, ProductNameAt::NoKey, "", "Microsoft Windows 7  64-bit", true, 0},
      {Nt(6, 0, 3), 0, ProductNameAt::DeniedKey, "", "Microsoft Windows Server 2008  32-bit", false, 0},
      {Nt(6, 3, 1), 9, ProductNameAt::Value, "Windows 8.1 Pro", "Windows 8.1 Pro 64-bit", true, 0},
      {Nt(6, 4, 1), 9, ProductNameAt::KeyWithoutValue, "", "Microsoft Windows  64-bit", true, 0},
  };
  for (const NameRow& row : rows) {
    SimWindows fresh;  // a registry of the row's own
    fresh.Set64BitSystem(true);
    fresh.processes.OnConsoleCommand(
        [](const std::string& command) { return command == "ver" ? kVer10 : ""; });
    switch (row.at) {
      case ProductNameAt::Value:
        fresh.registry.SetString(RootKey::LocalMachine, kCurrentVersion, "ProductName", row.productName);
        break;
      case ProductNameAt::NoKey:
        break;
      case ProductNameAt::KeyWithoutValue:
        fresh.registry.CreateKey(RootKey::LocalMachine, kCurrentVersion);
        break;
      case ProductNameAt::DeniedKey:
        fresh.registry.SetString(RootKey::LocalMachine, kCurrentVersion, "ProductName", "Unread");
        fresh.registry.DenyAccess(RootKey::LocalMachine, kCurrentVersion);
        break;
    }
    fresh.system.SetVersion(row.version);
    fresh.system.SetProcessorArchitecture(row.architecture);
    SetupContext context{fresh.Get()};
    const std::string where = std::to_string(row.version.major) + "." +
                              std::to_string(row.version.minor) + " product name case " +
                              std::to_string(static_cast<int>(row.at)) + " arch " +
                              std::to_string(row.architecture);
    EXPECT_EQ(BuildSystemName(context), row.expected) << where;
    EXPECT_EQ(context.Is64BitSystem, row.is64) << where;
    EXPECT_EQ(fresh.processes.RunCapturedCalls().size(), row.consoleRuns) << where;
    EXPECT_EQ(fresh.registry.OpenKeyCount(), 0u) << where;
  }
}

TEST_F(Version6Names, Windows10Reporting62WithoutProductName) {
  Ver(kVer10);
  EXPECT_EQ(Name(Nt(6, 2, 1), 9), "Microsoft Windows 10  64-bit");
  EXPECT_TRUE(ctx.Is64BitSystem);
  sim.registry.CreateKey(RootKey::LocalMachine, kCurrentVersion);  // key without the value
  EXPECT_EQ(Name(Nt(6, 2, 1), 0), "Microsoft Windows 10  32-bit");
  EXPECT_FALSE(ctx.Is64BitSystem);
}

TEST_F(Version6Names, ProductNameIsReadFromThe64BitViewWithItsOwnRegistryObject) {
  ProductName("Windows 7 Ultimate");
  ProductName("Wrong view", RegView::Wow32);
  EXPECT_EQ(Name(Nt(6, 1, 1, 0, "Service Pack 1"), 9), "Windows 7 Ultimate 64-bit Service Pack 1");
  bool sawOpen = false;
  for (const sim::RegOpenCall& call : sim.registry.OpenCalls()) {
    if (call.path != kCurrentVersion) continue;
    sawOpen = true;
    EXPECT_EQ(call.root, RootKey::LocalMachine);
    EXPECT_EQ(call.access, 0xF013Fu);
    EXPECT_FALSE(call.create);
  }
  EXPECT_TRUE(sawOpen);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  EXPECT_FALSE(ctx.Registry);  // the shared object is not made here
}

TEST_F(Version6Names, ProductNameOfAnotherTypeIsAFailureForTheCallerAndTheKeyIsClosed) {
  sim.registry.SetDword(RootKey::LocalMachine, kCurrentVersion, "ProductName", 7);
  sim.system.SetVersion(Nt(6, 1, 1));
  sim.system.SetProcessorArchitecture(9);
  EXPECT_THROW(BuildSystemName(ctx), RegistryFailure);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  // On 6.2 too, and the failure comes before any console process.
  Ver(kVer10);
  sim.system.SetVersion(Nt(6, 2, 1));
  EXPECT_THROW(BuildSystemName(ctx), RegistryFailure);
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  EXPECT_TRUE(sim.processes.RunCapturedCalls().empty());
}

TEST_F(Version6Names, ProductNameIsNotAskedForWithoutTheExtendedRecord) {
  ProductName("Windows 7 Ultimate");
  sim.system.SetExtendedVersion(std::nullopt);
  sim.system.SetBasicVersion(Nt(6, 1, 0));
  sim.system.SetProcessorArchitecture(9);
  EXPECT_EQ(BuildSystemName(ctx), "Microsoft Windows Server 2008 R2 ");
  EXPECT_FALSE(ctx.Is64BitSystem);
  // So on 6.2 the word of "ver" stays, and the console is asked.
  Ver(kVer10);
  sim.system.SetBasicVersion(Nt(6, 2, 0));
  EXPECT_EQ(BuildSystemName(ctx), "Microsoft Windows Server 10 ");
  EXPECT_EQ(sim.processes.RunCapturedCalls().size(), 1u);
}

// ------------------------------------------------------------ basic record only

class BasicRecordNames : public SystemNameTest {
 protected:
  std::string BasicName(const OsVersionRecord& v) {
    sim.system.SetExtendedVersion(std::nullopt);
    sim.system.SetBasicVersion(v);
    return BuildSystemName(ctx);
  }
};

TEST_F(BasicRecordNames, ProductOptionsWordFollowsThePrefix) {
  struct WordRow {
    uint32_t type;
    std::string data;
    const char* expected;
  };
  const WordRow rows[] = {
      {kRegSz, std::string("WinNT\0", 6), "Microsoft Windows NT Workstation Service Pack 5"},
      {kRegSz, std::string("LanmanNT\0", 9), "Microsoft Windows NT Server Service Pack 5"},
      {kRegSz, std::string("ServerNT\0", 9), "Microsoft Windows NT Advanced Server Service Pack 5"},
      {kRegSz, std::string("servernt", 8), "Microsoft Windows NT Advanced Server Service Pack 5"},
      {kRegSz, std::string("Terminal\0", 9), "Microsoft Windows NT Unknown Service Pack 5"},
      {kRegSz, std::string(256, 'W'), "Microsoft Windows NT Unknown Service Pack 5"},
      {kRegSz, std::string(257, 'W'), "Microsoft Windows NT  Service Pack 5"},  // does not fit
      {kRegExpandSz, std::string("WinNT\0", 6), "Microsoft Windows NT  Service Pack 5"},
      {kRegBinary, "WinNT", "Microsoft Windows NT  Service Pack 5"},
  };
  for (const WordRow& row : rows) {
    sim.registry.SetValue(RootKey::LocalMachine, kProductOptions, "ProductType", row.type, row.data);
    EXPECT_EQ(BasicName(Nt(4, 0, 0, 0, "Service Pack 5")), row.expected) << row.data;
  }
  for (const sim::RegOpenCall& call : sim.registry.OpenCalls()) {
    EXPECT_EQ(call.access, kKeyQueryValue);
    EXPECT_FALSE(call.create);
  }
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
}

TEST_F(BasicRecordNames, MissingKeyOrValueAppendsNothing) {
  EXPECT_EQ(BasicName(Nt(4, 0, 0)), "Microsoft Windows NT ");
  sim.registry.CreateKey(RootKey::LocalMachine, kProductOptions);
  EXPECT_EQ(BasicName(Nt(4, 0, 0)), "Microsoft Windows NT ");
}

TEST_F(BasicRecordNames, SuiteMaskAndProductTypeCountAsZero) {
  sim.registry.SetString(RootKey::LocalMachine, kProductOptions, "ProductType", "WinNT");
  // A workstation on AMD64 would be "XP "; without a product type it is a server.
  sim.system.SetProcessorArchitecture(9);
  EXPECT_EQ(BasicName(Nt(5, 2, 1, 0x2000)), "Microsoft Windows Server 2003 Workstation");
}

// ------------------------------------------------------------ service pack

class ServicePackNames : public SystemNameTest {};

TEST_F(ServicePackNames, Sp6aWhenItsHotfixKeyExists) {
  EXPECT_EQ(Name(Nt(4, 0, 1, 0, "Service Pack 6")), "Microsoft Windows NT Workstation Service Pack 6");
  sim.registry.CreateKey(RootKey::LocalMachine, kHotfix);
  EXPECT_EQ(Name(Nt(4, 0, 1, 0, "Service Pack 6")), "Microsoft Windows NT Workstation Service Pack 6a");
  EXPECT_EQ(sim.registry.OpenKeyCount(), 0u);
  // Only NT 4 with exactly that text.
  EXPECT_EQ(Name(Nt(4, 0, 1, 0, "Service Pack 5")), "Microsoft Windows NT Workstation Service Pack 5");
  EXPECT_EQ(Name(Nt(4, 0, 1, 0, "Service Pack 6 ")), "Microsoft Windows NT Workstation Service Pack 6 ");
  EXPECT_EQ(Name(Nt(5, 0, 1, 0, "Service Pack 6")), "Microsoft Windows 2000 Professional Service Pack 6");
  for (const sim::RegOpenCall& call : sim.registry.OpenCalls()) {
    if (call.path == kHotfix) {
      EXPECT_EQ(call.access, kKeyQueryValue);
    }
  }
}

TEST_F(ServicePackNames, BlankServicePackIsNotAppendedAndOtherTextsAreAppendedAsTheyAre) {
  const std::vector<Row> rows = {
      {Nt(5, 1, 1, 0, ""), 0, "Microsoft Windows XP Professional"},
      {Nt(5, 1, 1, 0, "    "), 0, "Microsoft Windows XP Professional"},
      {Nt(5, 1, 1, 0, "\t\x01 \x1F"), 0, "Microsoft Windows XP Professional"},
      {Nt(5, 1, 1, 0, " Service Pack 3 "), 0, "Microsoft Windows XP Professional  Service Pack 3 "},
      {Nt(5, 1, 1, 0, "\xA0"), 0, "Microsoft Windows XP Professional \xA0"},
  };
  ExpectRows(*this, rows, &SystemNameTest::Name);
}

// ------------------------------------------------------------ the 64-bit flag and failures

class SystemNameFlag : public SystemNameTest {};

TEST_F(SystemNameFlag, SetWhenTheTextHoldsSpace64) {
  EXPECT_EQ(Name(Nt(5, 2, 1, 0, "Service Pack 2"), 9), "Microsoft Windows XP Professional x64 Service Pack 2");
  EXPECT_FALSE(ctx.Is64BitSystem);  // "x64" has no space before the 64
  EXPECT_EQ(Name(Nt(5, 2, 3, 0x0002), 9), "Microsoft Windows Server 2003 Enterprise x64");
  EXPECT_FALSE(ctx.Is64BitSystem);
  EXPECT_EQ(Name(Nt(5, 1, 1, 0, "SP 64")), "Microsoft Windows XP Professional SP 64");
  EXPECT_TRUE(ctx.Is64BitSystem);
  EXPECT_EQ(Name(Nt(5, 1, 1, 0, "SP 3")), "Microsoft Windows XP Professional SP 3");
  EXPECT_FALSE(ctx.Is64BitSystem);
}

TEST_F(SystemNameFlag, UnknownSystemLeavesTheFlagAlone) {
  ctx.Is64BitSystem = true;
  sim.system.SetExtendedVersion(std::nullopt);
  sim.system.SetBasicVersion(std::nullopt);
  EXPECT_EQ(BuildSystemName(ctx), "unknown");
  EXPECT_TRUE(ctx.Is64BitSystem);

  ctx.Is64BitSystem = false;
  for (uint32_t platformId : {0u, 3u}) {
    OsVersionRecord v = Nt(6, 1, 1);
    v.platformId = platformId;
    EXPECT_EQ(Name(v, 9), "unknown");
    EXPECT_FALSE(ctx.Is64BitSystem);
  }
}

TEST_F(SystemNameFlag, IdentifyClearsItsOutputsFirst) {
  std::string name = "old";
  std::string servicePack = "old";
  sim.system.SetExtendedVersion(std::nullopt);
  sim.system.SetBasicVersion(std::nullopt);
  EXPECT_FALSE(IdentifyWindows(ctx, name, servicePack));
  EXPECT_EQ(name, "");
  EXPECT_EQ(servicePack, "");

  sim.system.SetVersion(Win9x(4, 10, 2222, " A "));
  EXPECT_TRUE(IdentifyWindows(ctx, name, servicePack));
  EXPECT_EQ(name, "Microsoft Windows 98 SE");
  EXPECT_EQ(servicePack, " A ");
}

}  // namespace
}  // namespace orfa
