// The unattended mode's system services: the error mode, the Windows
// folder, the time, error texts and UTF-8.
#include <windows.h>

#include <cstdio>

#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

class Win32Unattended : public UnattendedPort {
 public:
  void SuppressSystemErrorBoxes() override {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  }

  std::string SystemWindowsFolder() override {
    std::string folder(::GetSystemWindowsDirectoryA(nullptr, 0), '\0');
    if (folder.empty()) return std::string();
    const UINT length = ::GetSystemWindowsDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0 || length >= folder.size()) return std::string();
    folder.resize(length);
    if (folder.back() != '\\') folder += '\\';
    return folder;
  }

  std::string ErrorText(uint32_t error) override {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length != 0 && text != nullptr ? std::string(text, length) : std::string();
    ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
      result.pop_back();
    return result;
  }

  std::string LocalTime() override {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
  }

  std::string Utf8Of(const TextPiece& piece) override {
    const std::wstring wide = ToWide(piece.text, piece.codePage);
    if (wide.empty()) return std::string();
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                          length, nullptr, nullptr);
    return utf8;
  }
};

}  // namespace

std::unique_ptr<UnattendedPort> MakeUnattended() { return std::make_unique<Win32Unattended>(); }

}  // namespace orfa::win32
