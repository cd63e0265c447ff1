#include "platform/com/registry.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <system_error>

#include "platform/com/registry_file.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

struct RegistryNode {
  WideString name;
  std::vector<std::shared_ptr<RegistryNode>> children;  // creation order
  std::vector<RegistryFileValue> values;                // as the files hold them
};

namespace {

struct Hive {
  std::shared_ptr<RegistryNode> node = std::make_shared<RegistryNode>();
  bool loaded = false;  // with the files on: read from its file
};

struct State {
  std::mutex lock;
  bool filesEnabled = false;
  Hive hives[3];
};

State& Global() {
  static State* s = new State;  // lives until exit: registry reads may come late at unload
  return *s;
}

const char* FileName(RootKey root) { return root == RootKey::CurrentUser ? "HKCU.reg" : "HKLM.reg"; }
const char* RootName(RootKey root) { return root == RootKey::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }

bool Persisted(RootKey root) { return root != RootKey::ClassesRoot; }

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

std::shared_ptr<RegistryNode> WalkFrom(std::shared_ptr<RegistryNode> node, WideStringView path, bool create) {
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

[[noreturn]] void FileFault(const std::filesystem::path& file, const std::string& what) {
  throw Exception(Utf8ToWide("Registry file '" + file.string() + "': " + what));
}

// Under the lock: the hive's tree, read from its file first when the files are on.
std::shared_ptr<RegistryNode> HiveRoot(RootKey root) {
  auto& state = Global();
  Hive& hive = state.hives[static_cast<std::size_t>(root)];
  if (state.filesEnabled && Persisted(root) && !hive.loaded) {
    const auto file = RegistryFolder() / FileName(root);
    auto fresh = std::make_shared<RegistryNode>();
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
      std::ifstream in(file, std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      if (!in && !in.eof()) FileFault(file, "cannot be read");
      std::vector<RegistryFileKey> keys;
      try {
        keys = ParseRegistryText(bytes.str(), RootName(root));
      } catch (const RegistryFileError& e) {
        FileFault(file, std::string(e.what()) + " (the file is left as it is)");
      }
      for (auto& k : keys) {
        auto node = WalkFrom(fresh, k.path, true);
        node->values.insert(node->values.end(), std::make_move_iterator(k.values.begin()),
                            std::make_move_iterator(k.values.end()));
      }
    } else if (ec) {
      FileFault(file, ec.message());
    }
    hive.node = fresh;
    hive.loaded = true;
  }
  return hive.node;
}

void Collect(const RegistryNode& node, const WideString& path, std::vector<RegistryFileKey>& keys) {
  if (!node.values.empty() || node.children.empty()) {
    keys.push_back(RegistryFileKey{path, node.values});
  }
  for (const auto& c : node.children) Collect(*c, path.empty() ? c->name : path + u"\\" + c->name, keys);
}

// Under the lock, after a change of a hive: HKCU's file is rewritten (temporary file, rename).
void Changed(RootKey root) {
  auto& state = Global();
  if (!state.filesEnabled || root != RootKey::CurrentUser) return;
  std::vector<RegistryFileKey> keys;
  Collect(*state.hives[static_cast<std::size_t>(root)].node, WideString(), keys);
  const std::string text = FormatRegistryText(keys, RootName(root));
  const auto folder = RegistryFolder();
  const auto file = folder / FileName(root);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) FileFault(file, "the folder cannot be made: " + ec.message());
  auto temp = file;
  temp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::filesystem::remove(temp, ec);
      FileFault(file, "cannot be written");
    }
  }
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    FileFault(file, "cannot be replaced: " + ec.message());
  }
}

RegistryFileValue* FindValue(RegistryNode& node, WideStringView name) {
  for (auto& v : node.values)
    if (SameTextIgnoringCase(v.name, name)) return &v;
  return nullptr;
}

// Sets a value of the node: one of the same name (of any type) keeps its spelling and takes the
// new type and data.
void Store(RegistryNode& node, RegistryFileValue value) {
  if (auto* v = FindValue(node, value.name)) {
    v->type = value.type;
    v->text = std::move(value.text);
    v->number = value.number;
  } else {
    node.values.push_back(std::move(value));
  }
}

[[noreturn]] void InvalidType(WideStringView name) {
  throw Exception(u"Invalid data type for '" + WideString(name) + u"'");
}

void CheckStorable(WideStringView text, WideStringView name) {
  for (char16_t c : text)
    if (c == u'\n' || c == u'\r') throw Exception(u"Failed to set data for '" + WideString(name) + u"'");
}

}  // namespace

std::filesystem::path RegistryFolder() {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) throw Exception(u"No folder for the registry files: neither XDG_CONFIG_HOME nor HOME is set");
    base = std::filesystem::path(home) / ".config";
  }
  return base / "probewright" / "registry";
}

void SetRegistryFilesEnabled(bool enabled) {
  auto& state = Global();
  std::lock_guard lock(state.lock);
  state.filesEnabled = enabled;
  for (auto root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
    auto& hive = state.hives[static_cast<std::size_t>(root)];
    hive.node = std::make_shared<RegistryNode>();
    hive.loaded = false;
  }
}

bool RegistryFilesEnabled() {
  auto& state = Global();
  std::lock_guard lock(state.lock);
  return state.filesEnabled;
}

bool TRegistry::OpenKeyReadOnly(WideStringView path) { return OpenKey(path, false); }

bool TRegistry::OpenKey(WideStringView path, bool canCreate) {
  std::lock_guard lock(Global().lock);
  auto root = HiveRoot(root_);
  current_ = WalkFrom(root, path, false);
  if (!current_ && canCreate) {
    for (auto& part : SplitPath(path)) CheckStorable(part, part);
    current_ = WalkFrom(root, path, true);
    Changed(root_);
  }
  return current_ != nullptr;
}

bool TRegistry::KeyExists(WideStringView path) const {
  std::lock_guard lock(Global().lock);
  return WalkFrom(HiveRoot(root_), path, false) != nullptr;
}

bool TRegistry::DeleteKey(WideStringView path) {
  auto parts = SplitPath(path);
  if (parts.empty()) return false;
  std::lock_guard lock(Global().lock);
  WideString last = parts.back();
  parts.pop_back();
  auto parent = HiveRoot(root_);
  for (auto& p : parts) {
    parent = Child(*parent, p);
    if (!parent) return false;
  }
  auto& kids = parent->children;
  for (auto it = kids.begin(); it != kids.end(); ++it) {
    if (SameTextIgnoringCase((*it)->name, last)) {
      kids.erase(it);
      Changed(root_);
      return true;
    }
  }
  return false;
}

bool TRegistry::ValueExists(WideStringView name) const { return GetDataType(name) != TRegDataType::rdUnknown; }

TRegDataType TRegistry::GetDataType(WideStringView name) const {
  std::lock_guard lock(Global().lock);
  if (!current_) return TRegDataType::rdUnknown;
  auto* v = FindValue(*current_, name);
  if (!v) return TRegDataType::rdUnknown;
  return v->type == RegistryValueType::DWord ? TRegDataType::rdInteger : TRegDataType::rdString;
}

WideString TRegistry::ReadString(WideStringView name) const {
  std::lock_guard lock(Global().lock);
  if (!current_) return {};
  auto* v = FindValue(*current_, name);
  if (!v) return {};
  if (v->type != RegistryValueType::String) InvalidType(name);
  return v->text;
}

std::int32_t TRegistry::ReadInteger(WideStringView name) const {
  std::lock_guard lock(Global().lock);
  auto* v = current_ ? FindValue(*current_, name) : nullptr;
  if (!v || v->type != RegistryValueType::DWord) InvalidType(name);
  return static_cast<std::int32_t>(v->number);
}

void TRegistry::WriteString(WideStringView name, WideStringView value) {
  std::lock_guard lock(Global().lock);
  if (!current_) throw Exception(u"Failed to set data for '" + WideString(name) + u"'");
  CheckStorable(name, name);
  CheckStorable(value, name);
  Store(*current_, RegistryFileValue{WideString(name), RegistryValueType::String, WideString(value), 0});
  Changed(root_);
}

void TRegistry::WriteInteger(WideStringView name, std::int32_t value) {
  std::lock_guard lock(Global().lock);
  if (!current_) throw Exception(u"Failed to set data for '" + WideString(name) + u"'");
  CheckStorable(name, name);
  Store(*current_,
        RegistryFileValue{WideString(name), RegistryValueType::DWord, WideString(), static_cast<std::uint32_t>(value)});
  Changed(root_);
}

bool TRegistry::DeleteValue(WideStringView name) {
  std::lock_guard lock(Global().lock);
  if (!current_) return false;
  auto& values = current_->values;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameTextIgnoringCase(it->name, name)) {
      values.erase(it);
      Changed(root_);
      return true;
    }
  }
  return false;
}

std::vector<WideString> TRegistry::GetKeyNames() const {
  std::lock_guard lock(Global().lock);
  std::vector<WideString> names;
  if (current_)
    for (const auto& c : current_->children) names.push_back(c->name);
  return names;
}

}  // namespace pw
