// Simulated registry: the hives HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE with keys
// whose names ignore case and values of every type (raw bytes + type).
//
// The process is a 32-bit one. On a 64-bit system (Set64BitSystem) an open of
// anything under HKLM\Software without KEY_WOW64_64KEY reaches
// HKLM\Software\WOW6432Node\... instead; with the flag it reaches the native key.
// HKCU is not redirected, and a 32-bit system redirects nothing.
//
// An open key answers Query only with KEY_QUERY_VALUE in its access mask and
// SetDword only with KEY_SET_VALUE (else ERROR_ACCESS_DENIED). A subkey path
// that starts with "\" fails with ERROR_BAD_PATHNAME; a final "\" is allowed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa::sim {

// Which view a test helper writes or reads: Native takes the path as it stands
// (what KEY_WOW64_64KEY sees); Wow32 applies the redirection a 32-bit process
// gets without the flag (no difference on a 32-bit system).
enum class RegView { Native, Wow32 };

struct RegOpenCall {
  RootKey root;
  std::string path;  // as passed
  uint32_t access;
  bool create;
  uint32_t error;  // the result, 0 when a key was opened
};

class SimRegistry : public RegistryPort {
 public:
  SimRegistry();
  ~SimRegistry() override;

  // --- the seam
  std::unique_ptr<RegKey> Open(RootKey root, const std::string& path, uint32_t access, bool create,
                               uint32_t* error) override;

  // --- for tests
  void Set64BitSystem(bool on) { is64_ = on; }
  // Values: strings are stored with their terminating NUL, as RegSetValueEx gets them.
  void SetString(RootKey root, const std::string& path, const std::string& name, const std::string& text,
                 RegView view = RegView::Native);
  void SetExpandString(RootKey root, const std::string& path, const std::string& name,
                       const std::string& text, RegView view = RegView::Native);
  void SetDword(RootKey root, const std::string& path, const std::string& name, uint32_t value,
                RegView view = RegView::Native);
  void SetBinary(RootKey root, const std::string& path, const std::string& name, const std::string& bytes,
                 RegView view = RegView::Native);
  void SetValue(RootKey root, const std::string& path, const std::string& name, uint32_t type,
                const std::string& bytes, RegView view = RegView::Native);
  void CreateKey(RootKey root, const std::string& path, RegView view = RegView::Native);
  bool KeyExists(RootKey root, const std::string& path, RegView view = RegView::Native) const;
  std::optional<RegValue> GetValue(RootKey root, const std::string& path, const std::string& name,
                                   RegView view = RegView::Native) const;
  std::optional<uint32_t> GetDword(RootKey root, const std::string& path, const std::string& name,
                                   RegView view = RegView::Native) const;  // REG_DWORD only
  std::vector<std::string> ValueNames(RootKey root, const std::string& path,
                                      RegView view = RegView::Native) const;
  // Opening this key (as reached, after redirection) fails with ERROR_ACCESS_DENIED;
  // so does creating a subkey directly under it.
  void DenyAccess(RootKey root, const std::string& path, RegView view = RegView::Native);
  // Every value write (RegKey::SetDword) fails with `error` from now on; 0 ends it.
  void FailWrites(uint32_t error);
  // Every Open, in order, with its access mask.
  const std::vector<RegOpenCall>& OpenCalls() const { return openCalls_; }
  size_t OpenKeyCount() const;  // keys the logic holds open right now
  size_t FlushCount() const;

  struct Node;
  struct State;

 private:
  std::vector<std::string> Resolve(RootKey root, const std::string& path, bool wow32) const;
  Node* Find(RootKey root, const std::vector<std::string>& parts) const;
  Node* Make(RootKey root, const std::vector<std::string>& parts);

  bool is64_ = false;
  std::shared_ptr<State> state_;
  std::vector<RegOpenCall> openCalls_;
};

}  // namespace orfa::sim
