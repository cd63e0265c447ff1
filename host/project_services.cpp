#include "host/project_services.h"

namespace pw::host {

THostProjectNode::THostProjectNode(IpwProjectNode* parent, const GUID& typeKey, WideStringView name, const GUID& key)
    : parent_(parent), typeKey_(typeKey), key_(key), name_(name) {
  if (key_ == GUID_NULL) OleCheck(CreateGuid(key_));
}

void* THostProjectNode::GetInterface(const IID& riid) noexcept {
  // Only Project nodes answer the project interface.
  if (riid == IpwProject::iid && typeKey_ != kProjectNodeType) return nullptr;
  return Implements::GetInterface(riid);
}

HRESULT THostProjectNode::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}
HRESULT THostProjectNode::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}
HRESULT THostProjectNode::SetName(BSTR name) {
  return SafeCall([&] { name_ = WideString(BstrView(name)); });
}
HRESULT THostProjectNode::GetTypeKey(GUID* typeKey) {
  return SafeCall([&] { SetOutValue(typeKey, typeKey_); });
}
HRESULT THostProjectNode::GetAttribute(std::int32_t, VARIANT*) { return E_INVALIDARG; }
HRESULT THostProjectNode::SetAttribute(std::int32_t, const VARIANT&) { return E_INVALIDARG; }
HRESULT THostProjectNode::GetGuidAttribute(std::int32_t, GUID*) { return E_INVALIDARG; }
HRESULT THostProjectNode::SetGuidAttribute(std::int32_t, const GUID&) { return E_INVALIDARG; }
HRESULT THostProjectNode::GetParent(IpwProjectNode** parent) {
  return SafeCall([&] { SetOut(parent, parent_); });
}
HRESULT THostProjectNode::GetLanguageKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, languageKey_); });
}

void TProjectRegistry::SetSuiteOpen(bool open) {
  std::lock_guard guard(lock_);
  suiteOpen_ = open;
}
void TProjectRegistry::AddNode(IpwProjectNode* node) {
  std::lock_guard guard(lock_);
  nodes_.emplace_back(node);
}
void TProjectRegistry::SetCurrentNode(IpwProjectNode* node) {
  std::lock_guard guard(lock_);
  current_ = node;
}
void TProjectRegistry::SetCurrentLanguage(const GUID& key) {
  std::lock_guard guard(lock_);
  language_ = key;
}
void TProjectRegistry::SetRunItem(IcvKeyItem* item) {
  std::lock_guard guard(lock_);
  runItem_ = item;
}
void TProjectRegistry::Clear() {
  std::lock_guard guard(lock_);
  nodes_.clear();
  current_ = nullptr;
  runItem_ = nullptr;
  suiteOpen_ = false;
}

HRESULT TProjectRegistry::IsSuiteOpen(VARIANT_BOOL* open) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<VARIANT_BOOL>(open, ToWordBool(suiteOpen_));
  });
}

HRESULT TProjectRegistry::GetCurrentNode(IpwProjectNode** node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(node, current_);
  });
}

HRESULT TProjectRegistry::GetNodeByKey(const GUID& key, IpwProjectNode** node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    for (const auto& n : nodes_) {
      GUID k{};
      if (Succeeded(n->GetKey(&k)) && k == key) return SetOut(node, n);
    }
    SetOut(node, ComPtr<IpwProjectNode>());
  });
}

HRESULT TProjectRegistry::GetCurrentLanguageKey(GUID* key) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(key, language_);
  });
}

HRESULT TProjectRegistry::GetCurrentItem(IcvKeyItem** item) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(item, runItem_);
  });
}

HRESULT TProjectRegistry::GetRunState(GUID* state) {
  return SafeCall([&] { SetOutValue(state, run_ ? run_->State() : GUID_NULL); });
}

std::vector<WideString> TDiagnosticLog::Lines() const {
  std::lock_guard guard(lock_);
  return lines_;
}

HRESULT TDiagnosticLog::Write(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    lines_.emplace_back(BstrView(text));
  });
}

}  // namespace pw::host
