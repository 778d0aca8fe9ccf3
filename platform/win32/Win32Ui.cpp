// Message boxes, and the one conversion of 8-bit texts from their code page.
#include <windows.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

// The text in UTF-16; empty when the code page cannot convert it.
std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

// The pieces converted one by one, each from its code page.
std::wstring PiecesToWide(const CodedText& pieces) {
  std::wstring wide;
  for (const TextPiece& piece : pieces) wide += ToWide(piece.text, piece.codePage);
  return wide;
}

class Win32Ui : public Ui {
 public:
  int MessageBox(const MessageBoxRequest& request) override {
    std::wstring text = PiecesToWide(request.TextAsPieces());
    std::wstring caption = PiecesToWide(request.CaptionAsPieces());
    return ::MessageBoxExW(nullptr, text.c_str(), caption.c_str(), request.style,
                           request.language.value_or(0));
  }
};

}  // namespace

// Falls back to the ANSI code page when the text's own is not installed, so
// that a box never comes up blank.
std::wstring ToWide(const std::string& text, uint32_t codePage) {
  std::wstring wide = Widen(text, codePage);
  if (wide.empty() && !text.empty() && codePage != CP_ACP) wide = Widen(text, CP_ACP);
  return wide;
}

std::unique_ptr<Ui> MakeUi() { return std::make_unique<Win32Ui>(); }

}  // namespace orfa::win32
