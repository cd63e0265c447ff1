// Helpers for the options tests: checked calls through the tree's interfaces and a storage
// wrapper that records what the tree sends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/com/interfaced_object.h"
#include "core/options/options_tree.h"
#include "platform/com/errorinfo.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {

// The message of what `f` raises, empty when it raises nothing.
template <class F>
std::string RaisedMessage(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return WideToUtf8(e.Message());
  }
  return "";
}

// The message of the failure that `hr` reports through the thread's error information.
inline std::string FailureMessage(HRESULT hr) {
  if (Succeeded(hr)) return "";
  try {
    SafeCallCheck(hr);
  } catch (const Exception& e) {
    return WideToUtf8(e.Message());
  }
  return "?";
}

inline ComPtr<IcvOptionsNode> Child(IcvOptionsNode* node, WideStringView name) {
  ComPtr<IcvOptionsNode> child;
  SafeCallCheck(node->GetNode(name, child.Put()));
  return child;
}

// Follows "a/b/c" from node, creating what is missing.
inline ComPtr<IcvOptionsNode> Path(IcvOptionsNode* node, WideStringView path) {
  ComPtr<IcvOptionsNode> current(node);
  while (!path.empty()) {
    auto slash = path.find(u'/');
    current = Child(current.Get(), path.substr(0, slash));
    path = slash == WideStringView::npos ? WideStringView() : path.substr(slash + 1);
  }
  return current;
}

inline ComPtr<IcvOptionsProperties> Props(IcvOptionsNode* node) {
  ComPtr<IcvOptionsProperties> p;
  SafeCallCheck(node->GetProperties(p.Put()));
  return p;
}

inline bool Exists(IcvOptionsNode* node, WideStringView name) {
  WordBool b = WordFalse;
  SafeCallCheck(node->NodeExists(name, &b));
  return b != 0;
}

inline std::vector<WideString> ChildNames(IcvOptionsNode* node) {
  std::vector<WideString> names;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(node->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> child;
    it->Next(child);
    WideString name;
    SafeCallCheck(child->GetName(&name));
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::vector<std::pair<WideString, TcvPropertyType>> PropertyList(IcvOptionsProperties* props) {
  std::vector<std::pair<WideString, TcvPropertyType>> list;
  ComPtr<IcvPropertiesIterator> it;
  SafeCallCheck(props->GetIterator(it.Put()));
  while (it->HasNext()) {
    CV_PROPERTY_DESCRIPTION d;
    it->Next(d);
    list.emplace_back(d.Name, d.Type);
  }
  std::sort(list.begin(), list.end());
  return list;
}

inline bool IsModified(IcvOptionsNode* node) {
  WordBool b = WordFalse;
  SafeCallCheck(node->IsModified(&b));
  return b != 0;
}

inline std::int32_t GetInt(IcvOptionsProperties* p, WideStringView name, std::int32_t def = -7) {
  std::int32_t v = 0;
  SafeCallCheck(p->GetInteger(name, def, &v));
  return v;
}

inline WideString GetStr(IcvOptionsProperties* p, WideStringView name, WideStringView def = u"<none>") {
  WideString v;
  SafeCallCheck(p->GetString(name, def, &v));
  return v;
}

inline std::vector<std::uint8_t> GetBin(IcvOptionsProperties* p, WideStringView name) {
  std::int32_t size = 0;
  SafeCallCheck(p->GetBinarySize(name, &size));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::int32_t copied = 0;
  SafeCallCheck(p->GetBinary(name, bytes.data(), size, &copied));
  bytes.resize(static_cast<std::size_t>(copied));
  return bytes;
}

inline TcvPropertyType TypeOf(IcvOptionsProperties* p, WideStringView name) {
  auto types = QueryAs<IcvOptionsPropertyTypes>(p);
  TcvPropertyType t = -1;
  SafeCallCheck(types->GetPropertyType(name, &t));
  return t;
}

// Forwards to another storage and records the name of every call that changes it.
class RecordingReader final : public Implements<TcvInterfacedObject, IcvOptionsReader> {
 public:
  explicit RecordingReader(ComPtr<IcvOptionsReader> inner) : inner_(std::move(inner)) {}
  std::vector<std::string> calls;
  // The calls that change the storage (no reads, no update brackets).
  std::vector<std::string> Changes() const {
    std::vector<std::string> r;
    for (auto& c : calls)
      if (c != "BeginUpdate" && c != "EndUpdate" && c != "BeginNodeUpdate" && c != "EndNodeUpdate" && !c.starts_with("Get"))
        r.push_back(c);
    return r;
  }

  void GetStorageInfo(CV_OPTIONS_STORAGE_INFO& info) override { inner_->GetStorageInfo(info); }
  TcvCookie GetRoot() override { return inner_->GetRoot(); }
  void GetChildNodes(TcvCookie n, TPropertyCookiesArray& c) override {
    calls.push_back("GetChildNodes");
    inner_->GetChildNodes(n, c);
  }
  WideString GetNodeName(TcvCookie n) override { return inner_->GetNodeName(n); }
  void GetPropertyList(TcvCookie n, TPropertyCookiesArray& p) override {
    calls.push_back("GetPropertyList");
    inner_->GetPropertyList(n, p);
  }
  void GetPropertyDescription(TcvCookie p, TPropertyDescription& d) override { inner_->GetPropertyDescription(p, d); }
  void ReadBinary(TcvCookie p, void* b, std::int32_t& s) override { inner_->ReadBinary(p, b, s); }
  TcvCookie AddNode(TcvCookie p, WideStringView n) override { return Log("AddNode", n), inner_->AddNode(p, n); }
  void DeleteNode(TcvCookie n) override { Log("DeleteNode"), inner_->DeleteNode(n); }
  TcvCookie AddProperty(TcvCookie n, WideStringView name, TcvPropertyType t) override {
    return Log("AddProperty", name), inner_->AddProperty(n, name, t);
  }
  void DeleteProperty(TcvCookie p) override { Log("DeleteProperty"), inner_->DeleteProperty(p); }
  void SetInteger(TcvCookie p, std::int32_t v) override { Log("SetInteger"), inner_->SetInteger(p, v); }
  void SetString(TcvCookie p, WideStringView v) override { Log("SetString"), inner_->SetString(p, v); }
  void SetDouble(TcvCookie p, double v) override { Log("SetDouble"), inner_->SetDouble(p, v); }
  void SetInt64(TcvCookie p, std::int64_t v) override { Log("SetInt64"), inner_->SetInt64(p, v); }
  void SetBinary(TcvCookie p, const void* d, std::int32_t s) override { Log("SetBinary"), inner_->SetBinary(p, d, s); }
  void SetBoolean(TcvCookie p, bool v) override { Log("SetBoolean"), inner_->SetBoolean(p, v); }
  void BeginUpdate() override { Log("BeginUpdate"), inner_->BeginUpdate(); }
  void EndUpdate() override { Log("EndUpdate"), inner_->EndUpdate(); }
  void BeginNodeUpdate(TcvCookie n) override { Log("BeginNodeUpdate"), inner_->BeginNodeUpdate(n); }
  void EndNodeUpdate(TcvCookie n) override { Log("EndNodeUpdate"), inner_->EndNodeUpdate(n); }
  void Clear() override { Log("Clear"), inner_->Clear(); }

 private:
  void Log(const char* what, WideStringView arg = {}) {
    calls.push_back(arg.empty() ? std::string(what) : std::string(what) + " " + WideToUtf8(arg));
  }
  ComPtr<IcvOptionsReader> inner_;
};

}  // namespace pw::test
