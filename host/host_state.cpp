#include "host/host_state.h"

namespace pw::host {

void THostState::SetAnswer(const GUID& question, const GUID& answer) {
  std::lock_guard guard(lock_);
  if (answer == GUID_NULL)
    answers_.erase(question);
  else
    answers_[question] = answer;
}

HRESULT THostState::GetState(const GUID& question, GUID* answer) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = answers_.find(question);
    if (at != answers_.end()) return SetOutValue(answer, at->second);
    if (question == kHostModeQuestion && config_->Interactive()) return SetOutValue(answer, kHostModeInteractive);
    SetOutValue(answer, GUID_NULL);
  });
}

WideString TIndicator::Text() const {
  std::lock_guard guard(lock_);
  return stack_.empty() ? WideString() : stack_.back();
}

std::vector<WideString> TIndicator::History() const {
  std::lock_guard guard(lock_);
  return history_;
}

HRESULT TIndicator::PushText(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    stack_.emplace_back(BstrView(text));
    history_.emplace_back(BstrView(text));
  });
}

HRESULT TIndicator::RestoreText() {
  std::lock_guard guard(lock_);
  if (!stack_.empty()) stack_.pop_back();
  return S_OK;
}

void THostObjectProvider::RegisterObject(const GUID& key, IUnknown* object) {
  std::lock_guard guard(lock_);
  if (object)
    objects_[key] = object;
  else
    objects_.erase(key);
}

HRESULT THostObjectProvider::GetObjectByKey(const GUID& key, IUnknown** object) {
  return SafeCall([&] {
    ComPtr<IUnknown> found;
    {
      std::lock_guard guard(lock_);
      auto at = objects_.find(key);
      if (at != objects_.end()) found = at->second;
    }
    if (!found && finder_) found = finder_(key);
    SetOut(object, found);
  });
}

HRESULT THostObjectProvider::GetIndicator(IUnknown** indicator) {
  return SafeCall([&] { SetOut(indicator, ComPtr<IUnknown>(static_cast<IpwIndicatorInternal*>(indicator_.Get()))); });
}

}  // namespace pw::host
