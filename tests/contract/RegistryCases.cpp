// The registry: keys, values of every type the logic reads, access masks and
// the two registry views of a 64-bit system.
#include "tests/contract/Contract.h"

namespace orfa::contract {
namespace {

ORFA_CONTRACT_SUITE(RegistryContract);

std::string Dword(uint32_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                     static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

std::optional<RegValue> QueryValue(Platform& os, RootKey root, const std::string& path,
                                   uint32_t access, const std::string& name, uint32_t* error) {
  auto key = os.registry.Open(root, path, access, false, error);
  if (!key) return std::nullopt;
  return key->Query(name, error);
}

TEST_P(RegistryContract, ValuesComeBackWithTheirTypeAndBytes) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  };
  const Case cases[] = {
      {"UninstallString", kRegSz, std::string("C:\\Program Files\\Orfa\\uninstall.exe\0", 37)},
      {"Expandable", kRegExpandSz, std::string("%SystemRoot%\\orfa\0", 18)},
      {"Empty", kRegSz, std::string()},
      {"EstimatedSize", kRegDword, Dword(40000)},
      {"Blob", kRegBinary, std::string("\x01\x00\xFF\x7F", 4)},
      {"", kRegSz, std::string("default\0", 8)},
  };
  std::string path = world().Key(RootKey::CurrentUser);
  for (const auto& c : cases) {
    world().SetValue(RootKey::CurrentUser, path, c.name, c.type, c.bytes, false);
  }
  uint32_t error = 1;
  auto key = os().registry.Open(RootKey::CurrentUser, path, kKeyRead, false, &error);
  ASSERT_TRUE(key);
  EXPECT_EQ(error, kErrorSuccess);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    error = 1;
    auto value = key->Query(c.name, &error);
    ASSERT_TRUE(value);
    EXPECT_EQ(error, kErrorSuccess);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.bytes);
  }
  // Value names ignore case too.
  auto upper = key->Query("UNINSTALLSTRING", &error);
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->data, cases[0].bytes);

  error = 0;
  EXPECT_FALSE(key->Query("Missing", &error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_P(RegistryContract, OpenCreatesOnlyWhenAskedAndWritesDwords) {
  std::string path = world().Key(RootKey::CurrentUser) + "\\Tovel\\Orfa";
  uint32_t error = 0;
  EXPECT_FALSE(os().registry.Open(RootKey::CurrentUser, path, kKeyAllAccess, false, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  {
    auto key = os().registry.Open(RootKey::CurrentUser, path, kKeyAllAccess, true, &error);
    ASSERT_TRUE(key);
    EXPECT_EQ(error, kErrorSuccess);
    EXPECT_EQ(key->SetDword("EstimatedSize", 0x01020304), kErrorSuccess);
    EXPECT_EQ(key->Flush(), kErrorSuccess);
  }
  // Creating a key that exists opens it; its values stay.
  auto key = os().registry.Open(RootKey::CurrentUser, path, kKeyAllAccess, true, &error);
  ASSERT_TRUE(key);
  auto value = key->Query("EstimatedSize", &error);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegDword);
  EXPECT_EQ(value->data, Dword(0x01020304));
  // Key paths ignore case.
  std::string upper = path;
  for (auto& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  EXPECT_TRUE(QueryValue(os(), RootKey::CurrentUser, upper, kKeyRead, "EstimatedSize", &error));
}

TEST_P(RegistryContract, TrailingBackslashNamesTheSameKey) {
  const std::string path = world().Key(RootKey::CurrentUser) + "\\CurrentVersion";
  world().SetValue(RootKey::CurrentUser, path, "ProgramFilesDir", kRegSz,
                   std::string("C:\\Program Files\0", 17), false);
  uint32_t error = 1;
  auto value = QueryValue(os(), RootKey::CurrentUser, path + "\\", kKeyRead, "ProgramFilesDir", &error);
  ASSERT_TRUE(value) << error;
  EXPECT_EQ(value->data, std::string("C:\\Program Files\0", 17));
  auto created = os().registry.Open(RootKey::CurrentUser, path + "\\", kKeyAllAccess, true, &error);
  ASSERT_TRUE(created) << error;
  EXPECT_TRUE(created->Query("ProgramFilesDir", &error));
}

TEST_P(RegistryContract, KeyOpenedForReadingRefusesWrites) {
  std::string path = world().Key(RootKey::CurrentUser);
  world().SetValue(RootKey::CurrentUser, path, "Seed", kRegDword, Dword(1), false);
  uint32_t error = 1;
  auto key = os().registry.Open(RootKey::CurrentUser, path, kKeyRead, false, &error);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->SetDword("EstimatedSize", 5), kErrorAccessDenied);
  EXPECT_FALSE(key->Query("EstimatedSize", &error));
}

TEST_P(RegistryContract, SixtyFourBitFlagChoosesTheMachineKeysView) {
  if (!world().Is64BitSystem()) GTEST_SKIP() << "a 32-bit system has one registry view";
  if (sizeof(void*) == 8) GTEST_SKIP() << "a 64-bit process is not redirected to the 32-bit view";
  const std::string path = world().Key(RootKey::LocalMachine);  // Software\...
  const std::string wowPath = "Software\\WOW6432Node" + path.substr(std::string("Software").size());
  uint32_t error = 1;
  {
    auto native = os().registry.Open(RootKey::LocalMachine, path, kKeyAllAccess | kKeyWow64_64Key,
                                     true, &error);
    ASSERT_TRUE(native) << error;
    EXPECT_EQ(native->SetDword("Where", 64), kErrorSuccess);
    auto redirected = os().registry.Open(RootKey::LocalMachine, path, kKeyAllAccess, true, &error);
    ASSERT_TRUE(redirected) << error;
    EXPECT_EQ(redirected->SetDword("Where", 32), kErrorSuccess);
  }
  auto where = [&](const std::string& p, uint32_t access) -> std::string {
    uint32_t e = 0;
    auto value = QueryValue(os(), RootKey::LocalMachine, p, access, "Where", &e);
    return value ? value->data : "error " + std::to_string(e);
  };
  EXPECT_EQ(where(path, kKeyRead | kKeyWow64_64Key), Dword(64));
  EXPECT_EQ(where(path, kKeyRead), Dword(32));
  EXPECT_EQ(where(path, kKeyRead | kKeyWow64_32Key), Dword(32));
  EXPECT_EQ(where(wowPath, kKeyRead | kKeyWow64_64Key), Dword(32));

  // A value written by a fixture into the native view is seen only with the flag.
  const std::string other = world().Key(RootKey::LocalMachine);
  world().SetValue(RootKey::LocalMachine, other, "UninstallString",
                   kRegSz, std::string("C:\\Orfa\\u.exe\0", 14), true);
  EXPECT_EQ(where(other, kKeyRead | kKeyWow64_64Key), "error 2");  // no "Where" there
  EXPECT_TRUE(QueryValue(os(), RootKey::LocalMachine, other, kKeyRead | kKeyWow64_64Key,
                         "UninstallString", &error));
  EXPECT_FALSE(QueryValue(os(), RootKey::LocalMachine, other, kKeyRead, "UninstallString", &error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_P(RegistryContract, UserKeysAreTheSameInBothViews) {
  const std::string path = world().Key(RootKey::CurrentUser);
  uint32_t error = 1;
  {
    auto key = os().registry.Open(RootKey::CurrentUser, path, kKeyAllAccess | kKeyWow64_64Key,
                                  true, &error);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->SetDword("LangFile", 7), kErrorSuccess);
  }
  auto value = QueryValue(os(), RootKey::CurrentUser, path, kKeyRead, "LangFile", &error);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->data, Dword(7));
}

}  // namespace
}  // namespace orfa::contract
