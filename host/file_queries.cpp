#include "host/file_queries.h"
#include "host/project_services.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::host {

void TFileQuestions::QueueAnswer(bool answer) {
  std::lock_guard guard(lock_);
  answers_.push_back(answer);
}

std::vector<FileQuestion> TFileQuestions::Questions() const {
  std::lock_guard guard(lock_);
  return questions_;
}

bool TFileQuestions::Ask(BSTR fileName, WideString text) {
  WideString name(BstrView(fileName));
  std::lock_guard guard(lock_);
  bool answer = withoutDialogs_;
  if (config_->Interactive()) {
    if (answers_.empty()) throw EOleSysError(u"The test host has no answer for the file " + name, E_FAIL);
    answer = answers_.front();
    answers_.pop_front();
  }
  questions_.push_back({name, answer, std::move(text)});
  return answer;
}

HRESULT TFileReloadManager::ReloadWanted(BSTR fileName, IUnknown* node, VARIANT_BOOL* reload) {
  return SafeCall([&] {
    CheckOut(reload);
    WideString name(BstrView(fileName));
    {
      std::lock_guard guard(batchLock_);
      auto at = batchAnswers_.find(name);
      if (batchDepth_ > 0 && at != batchAnswers_.end()) return SetOutBool(reload, at->second);
    }
    WideString fullName;
    if (auto projectNode = QueryAs<IpwProjectNode>(node)) fullName = project::GetNodeDisplayPath(projectNode.Get());
    WideString text = u"Project element: " + fullName + u"\r\nFile: " + name;
    bool answer = Ask(fileName, std::move(text));
    {
      std::lock_guard guard(batchLock_);
      if (batchDepth_ > 0) batchAnswers_.emplace(name, answer);
    }
    SetOutBool(reload, answer);
  });
}

HRESULT TFileReloadManager::BeginReloadBatch() {
  return SafeCall([&] {
    std::lock_guard guard(batchLock_);
    ++batchDepth_;
  });
}

HRESULT TFileReloadManager::EndReloadBatch() {
  return SafeCall([&] {
    std::lock_guard guard(batchLock_);
    if (batchDepth_ == 0) throw EOleSysError(u"No reload batch is open.", E_UNEXPECTED);
    if (--batchDepth_ == 0) batchAnswers_.clear();
  });
}

std::int32_t TFileReloadManager::BatchDepth() const {
  std::lock_guard guard(batchLock_);
  return batchDepth_;
}

HRESULT TUnsavedFileQuery::LoadFromUnsavedFile(BSTR fileName, VARIANT_BOOL* load) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(load, ToWordBool(Ask(fileName))); });
}

void TProviderRegistry::SetAvailable(const GUID& key, bool available) {
  std::lock_guard guard(lock_);
  if (available)
    unavailable_.erase(key);
  else
    unavailable_[key] = true;
}

void TProviderRegistry::Clear() {
  std::map<GUID, std::vector<ComPtr<IUnknown>>> old;
  std::lock_guard guard(lock_);
  old.swap(objects_);
}

HRESULT TProviderRegistry::GetRegisteredObject(const GUID& key, IUnknown** object, std::int32_t index) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    requests_.push_back(u"GetRegisteredObject " + GuidToWideString(key) + u" " + IntToWide(index));
    SetOut(object, ComPtr<IUnknown>());
    auto at = objects_.find(key);
    if (at == objects_.end() || at->second.empty()) return;
    const auto& list = at->second;
    if (index < 0) return SetOut(object, list.back());
    SetOutItem(object, list, index);
  });
}

HRESULT TProviderRegistry::RegisterObject(const GUID& key, IUnknown* object) {
  return SafeCall([&] {
    if (!object) throw EOleSysError(u"No object", E_INVALIDARG);
    std::lock_guard guard(lock_);
    objects_[key].emplace_back(object);
  });
}

HRESULT TProviderRegistry::UnregisterObject(const GUID& key) {
  return SafeCall([&] {
    std::vector<ComPtr<IUnknown>> gone;
    std::lock_guard guard(lock_);
    auto at = objects_.find(key);
    if (at == objects_.end()) return;
    gone.swap(at->second);
    objects_.erase(at);
  });
}

HRESULT TProviderRegistry::IsRegistered(const GUID& key, VARIANT_BOOL* result) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    requests_.push_back(u"IsRegistered " + GuidToWideString(key));
    auto at = objects_.find(key);
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(at != objects_.end() && !at->second.empty()));
  });
}

HRESULT TProviderRegistry::IsAvailable(const GUID& key, VARIANT_BOOL* result) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    requests_.push_back(u"IsAvailable " + GuidToWideString(key));
    auto at = objects_.find(key);
    bool registered = at != objects_.end() && !at->second.empty();
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(registered && unavailable_.count(key) == 0));
  });
}

std::vector<WideString> TProviderRegistry::Requests() const {
  std::lock_guard guard(lock_);
  return requests_;
}
std::vector<WideString> TProviderRegistry::ReloadNotices() const {
  std::lock_guard guard(lock_);
  return reloadNotices_;
}
HRESULT TProviderRegistry::BeforeReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    reloadNotices_.push_back(u"BeforeReload " + NoticeName(node));
  });
}
HRESULT TProviderRegistry::AfterReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    reloadNotices_.push_back(u"AfterReload " + NoticeName(node));
  });
}

}  // namespace pw::host
