#include "platform/com/registry.h"

#include <mutex>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

struct RegistryNode {
  WideString name;
  std::vector<std::shared_ptr<RegistryNode>> children;  // creation order
  std::vector<std::pair<WideString, WideString>> values;
};

namespace {

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

std::shared_ptr<RegistryNode> RootNode(RootKey root) {
  static const auto roots = [] {
    std::vector<std::shared_ptr<RegistryNode>> r;
    for (int i = 0; i < 3; ++i) r.push_back(std::make_shared<RegistryNode>());
    return r;
  }();
  return roots[static_cast<std::size_t>(root)];
}

std::vector<WideString> SplitPath(WideStringView path) {
  std::vector<WideString> parts;
  WideString part;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::shared_ptr<RegistryNode> Child(const RegistryNode& node, WideStringView name) {
  for (const auto& c : node.children)
    if (SameTextIgnoringCase(c->name, name)) return c;
  return nullptr;
}

// Under the lock.
std::shared_ptr<RegistryNode> Walk(RootKey root, WideStringView path, bool create) {
  auto node = RootNode(root);
  for (auto& part : SplitPath(path)) {
    auto next = Child(*node, part);
    if (!next) {
      if (!create) return nullptr;
      next = std::make_shared<RegistryNode>();
      next->name = part;
      node->children.push_back(next);
    }
    node = next;
  }
  return node;
}

}  // namespace

bool TRegistry::OpenKeyReadOnly(WideStringView path) { return OpenKey(path, false); }

bool TRegistry::OpenKey(WideStringView path, bool canCreate) {
  std::lock_guard lock(Lock());
  current_ = Walk(root_, path, canCreate);
  return current_ != nullptr;
}

bool TRegistry::KeyExists(WideStringView path) const {
  std::lock_guard lock(Lock());
  return Walk(root_, path, false) != nullptr;
}

bool TRegistry::DeleteKey(WideStringView path) {
  auto parts = SplitPath(path);
  if (parts.empty()) return false;
  std::lock_guard lock(Lock());
  WideString last = parts.back();
  parts.pop_back();
  auto parent = RootNode(root_);
  for (auto& p : parts) {
    parent = Child(*parent, p);
    if (!parent) return false;
  }
  auto& kids = parent->children;
  for (auto it = kids.begin(); it != kids.end(); ++it) {
    if (SameTextIgnoringCase((*it)->name, last)) {
      kids.erase(it);
      return true;
    }
  }
  return false;
}

bool TRegistry::ValueExists(WideStringView name) const {
  std::lock_guard lock(Lock());
  if (!current_) return false;
  for (const auto& [n, v] : current_->values)
    if (SameTextIgnoringCase(n, name)) return true;
  return false;
}

WideString TRegistry::ReadString(WideStringView name) const {
  std::lock_guard lock(Lock());
  if (!current_) return {};
  for (const auto& [n, v] : current_->values)
    if (SameTextIgnoringCase(n, name)) return v;
  return {};
}

void TRegistry::WriteString(WideStringView name, WideStringView value) {
  std::lock_guard lock(Lock());
  if (!current_) throw Exception(u"Failed to set data for '" + WideString(name) + u"'");
  for (auto& [n, v] : current_->values) {
    if (SameTextIgnoringCase(n, name)) {
      v = WideString(value);
      return;
    }
  }
  current_->values.emplace_back(WideString(name), WideString(value));
}

std::vector<WideString> TRegistry::GetKeyNames() const {
  std::lock_guard lock(Lock());
  std::vector<WideString> names;
  if (current_)
    for (const auto& c : current_->children) names.push_back(c->name);
  return names;
}

}  // namespace pw
