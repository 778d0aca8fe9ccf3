// Starts a program through the desktop shell, so that it runs with the
// shell's token (the user's, unelevated) rather than this process's: the
// desktop window's view gives the shell's automation object, whose
// ShellExecute runs inside Explorer.
#include <windows.h>
#include <shellapi.h>  // before shldisp.h: both must see the same ShellExecute
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/Win32DllSearch.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

// OLE Automation's text and VARIANT calls, from oleaut32.dll of the system
// folder (loaded only for this).
class Automation {
 public:
  Automation() {
    module_.Reset(LoadSystemLibrary("oleaut32.dll"));
    if (!module_) return;
    allocString_ = LookUp<AllocStringFn>(module_.Get(), "SysAllocStringLen");
    clearVariant_ = LookUp<ClearVariantFn>(module_.Get(), "VariantClear");
  }
  bool Ready() const { return allocString_ != nullptr && clearVariant_ != nullptr; }
  BSTR Alloc(const std::wstring& text) const {
    return allocString_(text.c_str(), static_cast<UINT>(text.size()));
  }
  void Clear(VARIANT& value) const { clearVariant_(&value); }

 private:
  using AllocStringFn = BSTR(WINAPI*)(const OLECHAR*, UINT);
  using ClearVariantFn = HRESULT(WINAPI*)(VARIANTARG*);

  UniqueModule module_;
  AllocStringFn allocString_ = nullptr;
  ClearVariantFn clearVariant_ = nullptr;
};

// A VARIANT, cleared when it goes out of scope; empty until it is given a
// 32-bit integer or a text.
class Variant {
 public:
  explicit Variant(const Automation& automation) : automation_(automation) { value_.vt = VT_EMPTY; }
  ~Variant() { automation_.Clear(value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  void SetNumber(LONG number) {
    automation_.Clear(value_);
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  // False when the text could not be allocated; the value is then empty.
  bool SetText(const std::wstring& text) {
    automation_.Clear(value_);
    value_.bstrVal = automation_.Alloc(text);
    if (value_.bstrVal == nullptr) return false;
    value_.vt = VT_BSTR;
    return true;
  }
  VARIANT& Get() { return value_; }

 private:
  const Automation& automation_;
  VARIANT value_{};
};

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace

bool ShellExecuteThroughDesktop(const std::string& verb, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int show) {
  const Automation automation;
  if (!automation.Ready()) return false;
  // Declared before every interface, so that each is released before COM ends.
  const ComApartment apartment;
  if (!apartment.Usable()) return false;

  // The desktop window among the shell's windows, and its view.
  UniqueCom<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                windows.PutVoid())) ||
      !windows) {
    return false;
  }
  Variant desktopFolder(automation);
  desktopFolder.SetNumber(CSIDL_DESKTOP);
  Variant noRoot(automation);
  LONG window = 0;
  UniqueCom<IDispatch> desktop;
  // S_FALSE when there is no desktop window.
  if (windows->FindWindowSW(&desktopFolder.Get(), &noRoot.Get(), SWC_DESKTOP, &window,
                            SWFO_NEEDDISPATCH, desktop.Put()) != S_OK ||
      !desktop) {
    return false;
  }
  UniqueCom<IServiceProvider> services;
  UniqueCom<IShellBrowser> browser;
  if (!desktop.Query(IID_IServiceProvider, services) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid())) ||
      !browser) {
    return false;
  }
  UniqueCom<IShellView> view;
  if (FAILED(browser->QueryActiveShellView(view.Put())) || !view) return false;

  // The view's automation object leads to the shell's.
  UniqueCom<IDispatch> background;
  if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) ||
      !background) {
    return false;
  }
  UniqueCom<IShellFolderViewDual> folderView;
  UniqueCom<IDispatch> application;
  UniqueCom<IShellDispatch2> shell;
  if (!background.Query(IID_IShellFolderViewDual, folderView) ||
      FAILED(folderView->get_Application(application.Put())) || !application ||
      !application.Query(IID_IShellDispatch2, shell)) {
    return false;
  }

  Variant fileText(automation);
  Variant arguments(automation);
  Variant folder(automation);
  Variant operation(automation);
  Variant showCommand(automation);
  showCommand.SetNumber(show);
  if (!fileText.SetText(Widen(file)) || !folder.SetText(Widen(directory)) ||
      !operation.SetText(Widen(verb)) ||
      (!parameters.empty() && !arguments.SetText(Widen(parameters)))) {
    return false;
  }
  return SUCCEEDED(shell->ShellExecute(fileText.Get().bstrVal, arguments.Get(), folder.Get(),
                                       operation.Get(), showCommand.Get()));
}

}  // namespace orfa::win32
