// Cases that only the real Windows can answer: the system's own command-line
// splitter, the executable's resources and path, version resources of the
// system's programs, message boxes, and the functions the system calls back.
#include <windows.h>
#include <delayimp.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>

#include "app/ImageLayout.h"
#include "platform/ProgressPort.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"
#include "tests/contract/Contract.h"

namespace orfa::contract {
namespace {

// The thread whose next allocation fails (0: none); see operator new below.
std::atomic<DWORD> failingThread{0};

// Ends the process with the code of the structured exception no one handled.
LONG WINAPI ExitWithExceptionCode(EXCEPTION_POINTERS* pointers) {
  ::ExitProcess(pointers->ExceptionRecord->ExceptionCode);
}

}  // namespace

void FailNextAllocationOnThisThread() { failingThread.store(::GetCurrentThreadId()); }
bool AllocationFailurePending() { return failingThread.load() != 0; }

}  // namespace orfa::contract

// The program's allocations, with one made to fail on request: the next one
// of the thread that asked throws std::bad_alloc, as when memory runs out.
// Never inlined, so that the compiler does not take the free() inside for a
// mismatch with operator new at the places that use them.
__attribute__((noinline)) void* operator new(std::size_t size) {
  DWORD thread = ::GetCurrentThreadId();
  if (orfa::contract::failingThread.load() == thread &&
      orfa::contract::failingThread.compare_exchange_strong(thread, 0)) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* memory) noexcept { std::free(memory); }
__attribute__((noinline)) void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace orfa::contract {

// Started with "--orfa-delay-load-without-memory": asks the delay-load hook
// for a DLL while the path to it cannot be built. The exit code is the code
// of the structured exception that ended the process, or 2 when the hook
// returned.
int DelayLoadWithoutMemory() {
  ::SetUnhandledExceptionFilter(&ExitWithExceptionCode);
  DelayLoadInfo info{};
  info.cb = sizeof info;
  info.szDll = "version.dll";
  FailNextAllocationOnThisThread();
  __pfnDliNotifyHook2(dliNotePreLoadLibrary, &info);
  return 2;
}

namespace {

std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

// CommandLineToArgvW's answer, after the program name.
std::vector<std::string> SystemSplit(const std::string& line) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(Widen(line).c_str(), &count);
  std::vector<std::string> arguments;
  if (argv == nullptr) return arguments;
  for (int i = 1; i < count; ++i) {
    std::string argument;
    for (const wchar_t* p = argv[i]; *p; ++p) argument += static_cast<char>(*p);
    arguments.push_back(argument);
  }
  ::LocalFree(argv);
  return arguments;
}

TEST(Win32CommandLine, SplitsLikeTheSystem) {
  const char* lines[] = {
      "orfa-update.exe",
      "orfa-update.exe modest",
      "orfa-update.exe MODEST runapp",
      "\"C:\\Program Files\\Orfa\\orfa-update.exe\" modest runapp extra",
      "orfa-update.exe \"modest \" runapp",
      "orfa-update.exe   modest\t\trunapp   ",
      "orfa-update.exe mo\"de st\"x",
      "orfa-update.exe \"\" runapp",
      "orfa-update.exe a\\\\\\b d\"e f\"g h",
      "orfa-update.exe a\\\\\\\"b c d",
      "orfa-update.exe a\\\\\\\\\"b c\" d e",
      "orfa-update.exe \"a\"\"b\" c",
      "orfa-update.exe \"a\"\"\"b\" c",
      "orfa-update.exe \"\"\"\" x",
      "orfa-update.exe \"unmatched quote",
      "orfa-update.exe trailing\\",
      "\"C:\\with space\\p.exe\"modest",
      "C:\\no\\quote\\p.exe\"x y\" z",
      " leading blank",
      "",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_EQ(SplitCommandLine(line), SystemSplit(line));
  }
}

TEST(Win32CommandLine, ArgumentsOfThisProcess) {
  Win32Platform platform;
  EXPECT_EQ(platform.Get().processes.CommandLineArguments(), ProgramArguments());
}

TEST(Win32Resources, FindsOwnResourcesWithoutRegardToCase) {
  Win32Platform platform;
  uint32_t error = 1;
  auto data = platform.Get().resources.Load("contractdata", "cok", &error);
  ASSERT_TRUE(data) << error;
  EXPECT_EQ(error, kErrorSuccess);
  ASSERT_GE(data->Size(), 13u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->Data()), 13), "orfm-contract");
  // Its place in the loaded image, which the section table maps to the
  // place of the same bytes in the executable's file.
  ASSERT_TRUE(data->Rva());
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr)) + *data->Rva(), data->Data());
  std::ifstream exe(platform.Get().resources.ExecutablePath(&error), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(exe)), std::istreambuf_iterator<char>());
  const auto layout = LayoutOfHeaders(reinterpret_cast<const uint8_t*>(file.data()), file.size(), file.size());
  ASSERT_TRUE(layout);
  const auto offset = FileOffsetOf(*layout, *data->Rva(), data->Size());
  ASSERT_TRUE(offset);
  EXPECT_EQ(file.compare(static_cast<size_t>(*offset), data->Size(),
                         reinterpret_cast<const char*>(data->Data()), data->Size()),
            0);

  EXPECT_FALSE(platform.Get().resources.Load("missing", "cok", &error));
  EXPECT_EQ(error, kErrorResourceNameNotFound);
  EXPECT_FALSE(platform.Get().resources.Load("contractdata", "pak", &error));
  EXPECT_EQ(error, kErrorResourceTypeNotFound);
}

TEST(Win32Resources, ExecutablePathIsThisProgram) {
  Win32Platform platform;
  uint32_t error = 1;
  std::string path = platform.Get().resources.ExecutablePath(&error);
  EXPECT_EQ(error, kErrorSuccess);
  const std::string name = "orfa_contract_tests.exe";
  ASSERT_GT(path.size(), name.size());
  std::string tail = path.substr(path.size() - name.size());
  for (auto& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  EXPECT_EQ(tail, name);
  EXPECT_TRUE(FileExists(platform.Get().files, path));
}

TEST(Win32Files, FoldersOfTheSystem) {
  Win32Platform platform;
  std::string system = platform.Get().files.SystemDirectory();
  std::string windows = platform.Get().files.WindowsDirectory();
  EXPECT_TRUE(DirectoryExists(platform.Get().files, system)) << system;
  EXPECT_TRUE(DirectoryExists(platform.Get().files, windows)) << windows;
  EXPECT_NE(system.back(), '\\');
  EXPECT_EQ(system.rfind(windows, 0), 0u) << system << " under " << windows;
}

TEST(Win32Files, VersionResourceOfASystemProgram) {
  Win32Platform platform;
  auto& files = platform.Get().files;
  EXPECT_TRUE(files.IsProgram(files.SystemDirectory() + "\\cmd.exe"));
  std::string regedit = files.WindowsDirectory() + "\\regedit.exe";
  ASSERT_TRUE(files.IsProgram(regedit));
  auto block = files.VersionBlock(regedit);
  ASSERT_TRUE(block);
  auto translation = files.VersionValue(*block, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  ASSERT_GE(translation->size(), 4u);
  auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>((*translation)[i])); };
  unsigned language = byte(0) | byte(1) << 8;
  unsigned codePage = byte(2) | byte(3) << 8;
  char query[64];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileVersion", language, codePage);
  auto version = files.VersionValue(*block, query);
  ASSERT_TRUE(version) << query;
  EXPECT_FALSE(version->empty());
  EXPECT_EQ(version->find('\0'), std::string::npos);
  EXPECT_FALSE(files.VersionValue(*block, "\\StringFileInfo\\00000000\\FileVersion"));
}

TEST(Win32Files, TextFileIsNoProgramAndHasNoVersion) {
  Win32Platform platform;
  auto world = MakeRealWorld();
  std::string path = world->Folder() + "readme.txt";
  world->AddFile(path, "not a program");
  EXPECT_FALSE(platform.Get().files.IsProgram(path));
  EXPECT_FALSE(platform.Get().files.IsProgram(path + ".missing"));
  EXPECT_FALSE(platform.Get().files.VersionBlock(path));
}

// A file with a second name counts both; deleting a file through its
// handle, as a failed write's clean-up does, allocates nothing.
TEST(Win32Files, LinkCountAndDeletionThroughTheHandleWithoutMemory) {
  Win32Platform platform;
  FileSystem& files = platform.Get().files;
  auto world = MakeRealWorld();
  const std::string path = world->Folder() + "~orfm.cok";
  uint32_t error = 0;
  auto file = files.Open(path, kGenericRead | kGenericWrite | kDeleteAccess, kShareNone,
                         Disposition::CreateNew, kOpenReparsePoint, &error);
  ASSERT_TRUE(file);
  ASSERT_TRUE(::CreateHardLinkA((world->Folder() + "second.cok").c_str(), path.c_str(), nullptr));
  EXPECT_EQ(file->LinkCount(&error), 2u);
  EXPECT_EQ(file->Write("partial", 7), kErrorSuccess);
  FailNextAllocationOnThisThread();
  EXPECT_EQ(file->SetDeletePending(true), kErrorSuccess);
  file.reset();
  EXPECT_TRUE(AllocationFailurePending());
  failingThread.store(0);
  EXPECT_FALSE(files.Attributes(path));
}

// What the process's handle table looks like: the handle count where the
// system tells it (Wine always says 0), else the values that 64 new handles
// get: handles are given out lowest free slot first, so one more handle held
// anywhere among them changes the set.
std::vector<uintptr_t> HandleFootprint() {
  using GetProcessHandleCountFn = BOOL(WINAPI*)(HANDLE, PDWORD);
  auto handleCount =
      win32::LookUp<GetProcessHandleCountFn>("kernel32.dll", "GetProcessHandleCount");
  DWORD count = 0;
  if (handleCount != nullptr && handleCount(::GetCurrentProcess(), &count) && count > 0) {
    return {count};
  }
  std::vector<win32::UniqueKernel> probes;
  std::vector<uintptr_t> values;
  for (int i = 0; i < 64; ++i) {
    probes.emplace_back(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    values.push_back(reinterpret_cast<uintptr_t>(probes.back().Get()));
  }
  return values;
}

// Every call closes what it opened, on the paths that fail too: the process
// holds the same handles after rounds of them as before.
TEST(Win32Handles, NoHandleOutlivesItsCall) {
  Win32Platform platform;
  Platform& os = platform.Get();
  auto world = MakeRealWorld();
  const std::string folder = world->Folder();
  world->AddFile(folder + "data.cok", "orfm-x");
  const std::string key = world->Key(RootKey::CurrentUser);
  world->SetValue(RootKey::CurrentUser, key, "Value", kRegSz, std::string("x\0", 2), false);
  const std::string interpreter = os.files.SystemDirectory() + "\\cmd.exe";

  auto round = [&] {
    uint32_t error = 0;
    if (auto file = os.files.Open(folder + "data.cok", kGenericRead, kShareNone,
                                  Disposition::OpenExisting, &error)) {
      char buffer[8];
      file->Read(buffer, sizeof buffer, &error);
      // A second open while the first holds the file fails.
      os.files.Open(folder + "data.cok", kGenericRead, kShareRead, Disposition::OpenExisting, &error);
    }
    os.files.Open(folder + "missing.cok", kGenericRead, kShareRead, Disposition::OpenExisting, &error);
    os.files.List(folder + "*.*", &error);
    os.files.List(folder + "*.none", &error);
    os.files.VersionBlock(os.files.WindowsDirectory() + "\\regedit.exe");
    if (auto opened = os.registry.Open(RootKey::CurrentUser, key, kKeyRead, false, &error)) {
      opened->Query("Value", &error);
      opened->Query("Missing", &error);
    }
    os.registry.Open(RootKey::CurrentUser, key + "\\Missing", kKeyRead, false, &error);
    {
      auto first = os.processes.CreateNamedMapping("orfa_contract_handles", 64, &error);
      auto second = os.processes.CreateNamedMapping("orfa_contract_handles", 64, &error);
    }
    os.processes.RunCaptured(interpreter, "\"" + interpreter + "\" /d /c ver", 0x210, 0xFFFFFFFFu);
    os.processes.RunCaptured(folder + "missing.exe", "\"" + folder + "missing.exe\"", 0x210,
                             0xFFFFFFFFu);
    os.resources.Load("contractdata", "cok", &error);
    os.resources.Load("missing", "cok", &error);
  };
  round();  // the first round loads what stays loaded (DLLs, version.dll)
  const auto before = HandleFootprint();
  for (int i = 0; i < 3; ++i) round();
  EXPECT_EQ(HandleFootprint(), before);
}

// Output many times the pipe's buffer comes back whole: the pipe is read
// while the interpreter writes.
TEST(Win32Processes, LongOutputComesBackWholeThroughThePipe) {
  Win32Platform platform;
  Platform& os = platform.Get();
  const std::string interpreter = os.files.SystemDirectory() + "\\cmd.exe";
  const std::string line(100, 'x');
  auto result = os.processes.RunCaptured(
      interpreter, "\"" + interpreter + "\" /d /c for /l %i in (1,1,3000) do @echo " + line, 0x210,
      60000);
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.output.size(), 3000u * (line.size() + 2));
  EXPECT_EQ(result.output.substr(0, line.size() + 2), line + "\r\n");
}

// Presses a button of the message box with this caption once it shows.
DWORD WINAPI PressWhenShown(void* parameter) {
  auto* caption = static_cast<std::wstring*>(parameter);
  for (int i = 0; i < 500; ++i) {
    HWND box = ::FindWindowW(L"#32770", caption->c_str());
    if (box != nullptr) {
      ::PostMessageW(box, WM_COMMAND, IDNO, 0);
      return 1;
    }
    ::Sleep(20);
  }
  return 0;
}

TEST(Win32Ui, MessageBoxConvertsTextFromItsCodePage) {
  Win32Platform platform;
  // "Обновление" in code page 1251: found by its UTF-16 caption.
  const std::string caption1251 = "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5";
  std::wstring expected = L"\u041E\u0431\u043D\u043E\u0432\u043B\u0435\u043D\u0438\u0435";
  win32::UniqueKernel presser(::CreateThread(nullptr, 0, &PressWhenShown, &expected, 0, nullptr));
  ASSERT_TRUE(presser.Valid());
  MessageBoxRequest request;
  request.text = "\xD3\xF1\xF2\xE0\xED\xEE\xE2\xE8\xF2\xFC?";  // "Установить?"
  request.caption = caption1251;
  request.style = kQuestionStyle;
  request.language = 0x19;
  request.codePage = kCodePageRussian;
  EXPECT_EQ(platform.Get().ui.MessageBox(request), kIdNo);
  ::WaitForSingleObject(presser.Get(), INFINITE);
  DWORD pressed = 0;
  ::GetExitCodeThread(presser.Get(), &pressed);
  EXPECT_EQ(pressed, 1u);
}

TEST(Win32Ui, MessageBoxConvertsEachPieceFromItsOwnCodePage) {
  Win32Platform platform;
  // "Обновление": its first half in code page 1251, its second in UTF-8.
  std::wstring expected = L"\u041E\u0431\u043D\u043E\u0432\u043B\u0435\u043D\u0438\u0435";
  win32::UniqueKernel presser(::CreateThread(nullptr, 0, &PressWhenShown, &expected, 0, nullptr));
  ASSERT_TRUE(presser.Valid());
  MessageBoxRequest request;
  request.text = "?";
  request.captionPieces = {TextPiece{"\xCE\xE1\xED\xEE\xE2", kCodePageRussian},
                           TextPiece{"\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5", 65001}};
  request.style = kQuestionStyle;
  EXPECT_EQ(platform.Get().ui.MessageBox(request), kIdNo);
  ::WaitForSingleObject(presser.Get(), INFINITE);
  DWORD pressed = 0;
  ::GetExitCodeThread(presser.Get(), &pressed);
  EXPECT_EQ(pressed, 1u);
}

// ---------------------------------------------------------------- what the system calls back

// The progress window's procedure runs inside CreateWindowExA, below user32's
// frames: without memory for the children's handles the window's creation
// fails (no window, main 0) instead of the program ending.
TEST(Win32Progress, NoMemoryWhileCreatingTheChildrenIsAFailedWindowCreation) {
  Win32Platform platform;
  ProgressPort& port = platform.Get().progress;
  const WindowClassParams windowClass{"OrfaContractProgress", 0x203};
  const WindowParams window{0, windowClass.name, "title", WS_DLGFRAME, 0, 0, 408, 76};
  const std::vector<WindowParams> children{{0, "STATIC", "text", WS_CHILD | WS_VISIBLE, 2, 2, 399, 20}};
  win32::UniqueKernel done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(done.Valid());
  bool registered = false;
  bool allocationFailed = false;
  ProgressWindowHandles handles;
  handles.main = 1;
  // On a thread of its own, as the window is made: the destroyed window
  // posts its quit message there.
  ASSERT_TRUE(port.StartThread([&, event = done.Get()] {
    registered = port.RegisterWindowClass(windowClass);
    if (registered) {
      FailNextAllocationOnThisThread();
      handles = port.CreateProgressWindow(window, children);
      allocationFailed = !AllocationFailurePending();
    }
    ::SetEvent(event);
  }));
  ASSERT_EQ(::WaitForSingleObject(done.Get(), 30000), WAIT_OBJECT_0);
  ASSERT_TRUE(registered);
  EXPECT_TRUE(allocationFailed);  // met inside the creation
  EXPECT_EQ(handles.main, 0u);
  EXPECT_TRUE(handles.children.empty());
  EXPECT_EQ(::FindWindowA(windowClass.name.c_str(), nullptr), nullptr);
}

// Thrown on a thread of the port; tells when that thread has let go of it.
struct Escaping {
  HANDLE released;
  ~Escaping() { ::SetEvent(released); }
};

// The port's thread entry is called by the system: a failure that escapes
// the body ends that thread only. Uncaught, it would end the program before
// the exception is let go of.
TEST(Win32Progress, AFailureThatEscapesAThreadBodyEndsThatThreadOnly) {
  Win32Platform platform;
  win32::UniqueKernel released(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(released.Valid());
  ASSERT_TRUE(platform.Get().progress.StartThread([event = released.Get()] { throw Escaping{event}; }));
  EXPECT_EQ(::WaitForSingleObject(released.Get(), 30000), WAIT_OBJECT_0);
}

// The delay-load hook runs in the helper, below an import's load stub:
// without memory for the DLL's path the load fails as the helper fails one
// (ERROR_MOD_NOT_FOUND as a structured exception), neither through
// std::terminate nor by handing the name to the helper's own search. In a
// process of its own, which that exception ends.
TEST(Win32DllSearch, NoMemoryInTheDelayLoadHookFailsTheLoad) {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  std::string commandLine = "\"" + std::string(path) + "\" --orfa-delay-load-without-memory";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessA(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
  win32::UniqueKernel process(started.hProcess);
  win32::UniqueKernel thread(started.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  ASSERT_TRUE(::GetExitCodeProcess(process.Get(), &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND)))
      << "0x" << std::hex << exitCode << " (2: the hook returned; 3: the program was aborted)";
}

}  // namespace
}  // namespace orfa::contract
