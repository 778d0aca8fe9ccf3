// System information and the clock.
#include <windows.h>

#include <algorithm>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

class Win32SystemInfo : public SystemInfo {
 public:
  std::optional<OsVersionRecord> Version(bool extended) override {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = extended ? sizeof(OSVERSIONINFOEXA) : sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return std::nullopt;
    OsVersionRecord record;
    record.major = info.dwMajorVersion;
    record.minor = info.dwMinorVersion;
    record.build = info.dwBuildNumber;
    record.platformId = info.dwPlatformId;
    const char* csd = info.szCSDVersion;
    record.servicePack.assign(csd, std::find(csd, csd + sizeof info.szCSDVersion, '\0'));
    if (extended) {
      record.suiteMask = info.wSuiteMask;
      record.productType = info.wProductType;
    }
    return record;
  }

  uint16_t ProcessorArchitecture() override {
    SYSTEM_INFO info{};
    auto native = LookUp<GetNativeSystemInfoFn>("kernel32.dll", "GetNativeSystemInfo");
    if (native != nullptr) {
      native(&info);
    } else {
      ::GetSystemInfo(&info);
    }
    return info.wProcessorArchitecture;
  }

  int Metric(int index) override { return ::GetSystemMetrics(index); }

  uint32_t UserDefaultLcid() override { return ::GetUserDefaultLCID(); }

  // What shell32's IsUserAnAdmin does, without loading the shell (and the
  // window system it pulls in) on a run that shows nothing: is the
  // Administrators group enabled in the token?
  bool IsUserAnAdmin() override {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
      return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    ::FreeSid(administrators);
    return member != FALSE;
  }

  std::optional<std::string> Environment(const std::string& name) override {
    std::string value(256, '\0');
    for (;;) {
      // A set but empty variable gives 0 too; only the error code tells them apart.
      ::SetLastError(ERROR_SUCCESS);
      DWORD length =
          ::GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
      if (length == 0) {
        if (LastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (length < value.size()) {
        value.resize(length);
        return value;
      }
      value.resize(length);  // the size needed, NUL included
    }
  }

  uint32_t AnsiCodePageOf(uint32_t lcid) override {
    int size = ::GetLocaleInfoA(lcid, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0);
    if (size <= 0) return 0;
    std::string text(static_cast<size_t>(size), '\0');
    if (::GetLocaleInfoA(lcid, LOCALE_IDEFAULTANSICODEPAGE, text.data(), size) <= 0) return 0;
    uint32_t codePage = 0;
    for (char c : text) {
      if (c == '\0') break;
      if (c < '0' || c > '9' || codePage > 0xFFFFu) return 0;
      codePage = codePage * 10 + static_cast<uint32_t>(c - '0');
    }
    return codePage;
  }

  // What user32's OemToCharBuffA does (OEM code page to UTF-16 to ANSI code
  // page), done with kernel32 so that the console's text does not load the
  // window system.
  std::string OemToAnsi(const std::string& text) override {
    std::string converted;
    // The counts are ints: convert in pieces that fit; a piece never splits
    // a double-byte character.
    size_t done = 0;
    while (done < text.size()) {
      size_t size = std::min<size_t>(text.size() - done, 0x10000000);
      while (size > 1 && done + size < text.size() &&
             ::IsDBCSLeadByteEx(CP_OEMCP, static_cast<BYTE>(text[done + size - 1]))) {
        --size;
      }
      const int length = static_cast<int>(size);
      int wideLength = ::MultiByteToWideChar(CP_OEMCP, 0, text.data() + done, length, nullptr, 0);
      std::wstring wide(static_cast<size_t>(wideLength > 0 ? wideLength : 0), L'\0');
      if (wideLength > 0) {
        ::MultiByteToWideChar(CP_OEMCP, 0, text.data() + done, length, wide.data(), wideLength);
        int ansiLength = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0,
                                               nullptr, nullptr);
        if (ansiLength > 0) {
          const size_t at = converted.size();
          converted.resize(at + static_cast<size_t>(ansiLength));
          ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, converted.data() + at,
                                ansiLength, nullptr, nullptr);
        }
      }
      done += size;
    }
    return converted;
  }
};

class Win32Clock : public Clock {
 public:
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

}  // namespace

std::unique_ptr<SystemInfo> MakeSystemInfo() { return std::make_unique<Win32SystemInfo>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<Win32Clock>(); }

}  // namespace orfa::win32
