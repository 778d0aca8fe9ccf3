#include "tests/sim/SimRegistry.h"

#include <map>

#include "tests/sim/SimText.h"

namespace orfa::sim {

struct SimRegistry::Node {
  std::string name;
  bool denied = false;
  std::vector<std::shared_ptr<Node>> keys;
  std::vector<std::pair<std::string, RegValue>> values;

  std::shared_ptr<Node> Child(const std::string& childName) const {
    for (const auto& key : keys) {
      if (SameNoCase(key->name, childName)) return key;
    }
    return nullptr;
  }
  RegValue* Value(const std::string& valueName) {
    for (auto& value : values) {
      if (SameNoCase(value.first, valueName)) return &value.second;
    }
    return nullptr;
  }
};

struct SimRegistry::State {
  std::shared_ptr<Node> currentUser = std::make_shared<Node>();
  std::shared_ptr<Node> localMachine = std::make_shared<Node>();
  uint32_t failWrites = 0;
  size_t openKeys = 0;
  size_t flushes = 0;

  std::shared_ptr<Node> Root(RootKey root) const {
    return root == RootKey::CurrentUser ? currentUser : localMachine;
  }
};

namespace {

constexpr uint32_t kKeySetValue = 0x0002;

class SimRegKey : public RegKey {
 public:
  SimRegKey(std::shared_ptr<SimRegistry::State> state, std::shared_ptr<SimRegistry::Node> node,
            uint32_t access)
      : state_(std::move(state)), node_(std::move(node)), access_(access) {
    ++state_->openKeys;
  }
  ~SimRegKey() override { --state_->openKeys; }

  std::optional<RegValue> Query(const std::string& name, uint32_t* error) override {
    if ((access_ & kKeyQueryValue) == 0) return Fail(kErrorAccessDenied, error);
    const RegValue* value = node_->Value(name);
    if (!value) return Fail(kErrorFileNotFound, error);
    if (error) *error = kErrorSuccess;
    return *value;
  }

  uint32_t SetDword(const std::string& name, uint32_t value) override {
    if ((access_ & kKeySetValue) == 0) return kErrorAccessDenied;
    if (state_->failWrites != 0) return state_->failWrites;
    std::string bytes(4, '\0');
    for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    if (RegValue* existing = node_->Value(name)) {
      *existing = RegValue{kRegDword, bytes};
    } else {
      node_->values.emplace_back(name, RegValue{kRegDword, bytes});
    }
    return kErrorSuccess;
  }

  uint32_t Flush() override {
    ++state_->flushes;
    return kErrorSuccess;
  }

 private:
  static std::optional<RegValue> Fail(uint32_t code, uint32_t* error) {
    if (error) *error = code;
    return std::nullopt;
  }

  std::shared_ptr<SimRegistry::State> state_;
  std::shared_ptr<SimRegistry::Node> node_;
  uint32_t access_;
};

std::string StringBytes(const std::string& text) { return text + std::string(1, '\0'); }

}  // namespace

SimRegistry::SimRegistry() : state_(std::make_shared<State>()) {}
SimRegistry::~SimRegistry() = default;

std::vector<std::string> SimRegistry::Resolve(RootKey root, const std::string& path, bool wow32) const {
  std::vector<std::string> parts = SplitPath(path);
  // The registry redirector of a 32-bit process on a 64-bit system.
  if (wow32 && is64_ && root == RootKey::LocalMachine && !parts.empty() && SameNoCase(parts[0], "Software") &&
      !(parts.size() > 1 && SameNoCase(parts[1], "WOW6432Node"))) {
    parts.insert(parts.begin() + 1, "WOW6432Node");
  }
  return parts;
}

SimRegistry::Node* SimRegistry::Find(RootKey root, const std::vector<std::string>& parts) const {
  std::shared_ptr<Node> node = state_->Root(root);
  for (const auto& part : parts) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node.get();
}

SimRegistry::Node* SimRegistry::Make(RootKey root, const std::vector<std::string>& parts) {
  std::shared_ptr<Node> node = state_->Root(root);
  for (const auto& part : parts) {
    std::shared_ptr<Node> child = node->Child(part);
    if (!child) {
      child = std::make_shared<Node>();
      child->name = part;
      node->keys.push_back(child);
    }
    node = child;
  }
  return node.get();
}

std::unique_ptr<RegKey> SimRegistry::Open(RootKey root, const std::string& path, uint32_t access, bool create,
                                          uint32_t* error) {
  if (!path.empty() && path[0] == '\\') {  // a subkey path may not start at a backslash
    constexpr uint32_t kErrorBadPathname = 161;
    openCalls_.push_back(RegOpenCall{root, path, access, create, kErrorBadPathname});
    if (error) *error = kErrorBadPathname;
    return nullptr;
  }
  const bool wow32 = (access & kKeyWow64_64Key) == 0;
  std::vector<std::string> parts = Resolve(root, path, wow32);
  uint32_t result = kErrorSuccess;
  std::shared_ptr<Node> node = state_->Root(root);
  std::shared_ptr<Node> parent;
  for (const auto& part : parts) {
    std::shared_ptr<Node> child = node->Child(part);
    if (!child) {
      if (!create) {
        result = kErrorFileNotFound;
        break;
      }
      // RegCreateKeyEx makes every missing key, each needing the right to create under its parent.
      if (node->denied) {
        result = kErrorAccessDenied;
        break;
      }
      child = std::make_shared<Node>();
      child->name = part;
      node->keys.push_back(child);
    }
    node = child;
  }
  if (result == kErrorSuccess && node->denied) result = kErrorAccessDenied;
  openCalls_.push_back(RegOpenCall{root, path, access, create, result});
  if (error) *error = result;
  if (result != kErrorSuccess) return nullptr;
  return std::make_unique<SimRegKey>(state_, node, access);
}

void SimRegistry::SetString(RootKey root, const std::string& path, const std::string& name,
                            const std::string& text, RegView view) {
  SetValue(root, path, name, kRegSz, StringBytes(text), view);
}

void SimRegistry::SetExpandString(RootKey root, const std::string& path, const std::string& name,
                                  const std::string& text, RegView view) {
  SetValue(root, path, name, kRegExpandSz, StringBytes(text), view);
}

void SimRegistry::SetDword(RootKey root, const std::string& path, const std::string& name, uint32_t value,
                           RegView view) {
  std::string bytes(4, '\0');
  for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  SetValue(root, path, name, kRegDword, bytes, view);
}

void SimRegistry::SetBinary(RootKey root, const std::string& path, const std::string& name,
                            const std::string& bytes, RegView view) {
  SetValue(root, path, name, kRegBinary, bytes, view);
}

void SimRegistry::SetValue(RootKey root, const std::string& path, const std::string& name, uint32_t type,
                           const std::string& bytes, RegView view) {
  Node* node = Make(root, Resolve(root, path, view == RegView::Wow32));
  if (RegValue* existing = node->Value(name)) {
    *existing = RegValue{type, bytes};
  } else {
    node->values.emplace_back(name, RegValue{type, bytes});
  }
}

void SimRegistry::CreateKey(RootKey root, const std::string& path, RegView view) {
  Make(root, Resolve(root, path, view == RegView::Wow32));
}

bool SimRegistry::KeyExists(RootKey root, const std::string& path, RegView view) const {
  return Find(root, Resolve(root, path, view == RegView::Wow32)) != nullptr;
}

std::optional<RegValue> SimRegistry::GetValue(RootKey root, const std::string& path, const std::string& name,
                                              RegView view) const {
  Node* node = Find(root, Resolve(root, path, view == RegView::Wow32));
  if (!node) return std::nullopt;
  const RegValue* value = node->Value(name);
  if (!value) return std::nullopt;
  return *value;
}

std::optional<uint32_t> SimRegistry::GetDword(RootKey root, const std::string& path, const std::string& name,
                                              RegView view) const {
  auto value = GetValue(root, path, name, view);
  if (!value || value->type != kRegDword || value->data.size() != 4) return std::nullopt;
  uint32_t result = 0;
  for (size_t i = 0; i < 4; ++i) result |= static_cast<uint32_t>(static_cast<uint8_t>(value->data[i])) << (8 * i);
  return result;
}

std::vector<std::string> SimRegistry::ValueNames(RootKey root, const std::string& path, RegView view) const {
  std::vector<std::string> names;
  if (Node* node = Find(root, Resolve(root, path, view == RegView::Wow32))) {
    for (const auto& value : node->values) names.push_back(value.first);
  }
  return names;
}

void SimRegistry::DenyAccess(RootKey root, const std::string& path, RegView view) {
  Make(root, Resolve(root, path, view == RegView::Wow32))->denied = true;
}

void SimRegistry::FailWrites(uint32_t error) { state_->failWrites = error; }
size_t SimRegistry::OpenKeyCount() const { return state_->openKeys; }
size_t SimRegistry::FlushCount() const { return state_->flushes; }

}  // namespace orfa::sim
