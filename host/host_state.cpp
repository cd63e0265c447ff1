#include "host/host_state.h"

#include <algorithm>
#include <string>

#include "host/object_tree.h"
#include "platform/rtl/strings.h"

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
    if (question == kRunStateQuestion && run_) return SetOutValue(answer, run_->State());
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

std::vector<TIndicator::Progress> TIndicator::Bars() const {
  std::lock_guard guard(lock_);
  return bars_;
}

int TIndicator::UpdateLevel() const {
  std::lock_guard guard(lock_);
  return updateLevel_;
}

std::vector<WideString> TIndicator::Events() const {
  std::lock_guard guard(lock_);
  return events_;
}

void TIndicator::Record(WideString what) { events_.push_back(std::move(what)); }

namespace {
WideString Number(std::int64_t n) { return Utf8ToWide(std::to_string(n)); }
}  // namespace

HRESULT TIndicator::BeginUpdate() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    ++updateLevel_;
    Record(u"begin");
  });
}

HRESULT TIndicator::EndUpdate() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (updateLevel_ > 0) --updateLevel_;
    Record(u"end");
  });
}

HRESULT TIndicator::PushText(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    stack_.emplace_back(BstrView(text));
    history_.emplace_back(BstrView(text));
    Record(u"push " + WideString(BstrView(text)));
  });
}

HRESULT TIndicator::RestoreText() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (!stack_.empty()) stack_.pop_back();
    Record(u"restore");
  });
}

std::int32_t TIndicator::StartProgress(BSTR text, std::int32_t min, std::int32_t max) {
  try {
    std::lock_guard guard(lock_);
    std::int32_t id = nextId_++;
    if (nextId_ <= 0) nextId_ = 1;  // ids stay positive: never 0 (none) or -1 (none)
    bars_.push_back({id, WideString(BstrView(text)), min, max, min});
    Record(u"start " + Number(id) + u" " + WideString(BstrView(text)) + u" " + Number(min) + u" " + Number(max));
    return id;
  } catch (...) {
    return -1;  // a plain call reports no error: no bar
  }
}

void TIndicator::StopProgress(std::int32_t id) {
  try {
    std::lock_guard guard(lock_);
    std::erase_if(bars_, [&](const Progress& p) { return p.id == id; });
    Record(u"stop " + Number(id));
  } catch (...) {
  }
}

void TIndicator::UpdateProgress(std::int32_t id, std::int32_t position) {
  try {
    std::lock_guard guard(lock_);
    for (auto& bar : bars_)
      if (bar.id == id) bar.position = std::clamp(position, std::min(bar.min, bar.max), std::max(bar.min, bar.max));
    Record(u"update " + Number(id) + u" " + Number(position));
  } catch (...) {
  }
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

void THostObjectProvider::RegisterName(WideStringView name, IUnknown* object) {
  std::lock_guard guard(lock_);
  std::erase_if(names_, [&](const auto& n) { return SameTextIgnoringCase(n.first, name); });
  if (object) names_.emplace_back(WideString(name), ComPtr<IUnknown>(object));
}

void THostObjectProvider::SetNameFinder(NameFinder finder) {
  std::lock_guard guard(lock_);
  nameFinder_ = std::move(finder);
}

std::vector<WideString> THostObjectProvider::NameRequests() const {
  std::lock_guard guard(lock_);
  return nameRequests_;
}

HRESULT THostObjectProvider::GetObjectByName(BSTR name, IUnknown** object) {
  return SafeCall([&] {
    const WideString text(name ? WideStringView(name) : WideStringView());
    ComPtr<IUnknown> found;
    NameFinder finder;
    {
      std::lock_guard guard(lock_);
      nameRequests_.push_back(text);
      for (const auto& n : names_)
        if (SameTextIgnoringCase(n.first, text)) found = n.second;
      finder = nameFinder_;
    }
    if (!found && finder) found = finder(text);
    if (!found) {
      auto placeholder = MakeObject<TSysNode>(nullptr, text, std::vector<OleVariant>{}, GUID_NULL);
      placeholder->SetMemberValue(u"Exists", OleVariant(false));
      found = ComPtr<IUnknown>(static_cast<IpwSysNodeEx*>(placeholder.Get()));
    }
    SetOut(object, found);
  });
}

HRESULT THostObjectProvider::GetIndicator(IUnknown** indicator) {
  return SafeCall([&] { SetOut(indicator, ComPtr<IUnknown>(static_cast<IpwIndicatorInternal*>(indicator_.Get()))); });
}

}  // namespace pw::host
