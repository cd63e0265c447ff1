#include "project/nodes/small_services.h"

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

HRESULT TpwStringCollection::GetCount(std::int32_t* count) {
  return SafeCall([&] {
    if (!count) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *count = static_cast<std::int32_t>(items_.size());
  });
}

HRESULT TpwStringCollection::GetItem(std::int32_t index, BSTR* item) {
  return SafeCall([&] {
    if (!item) throw EOleSysError(u"Invalid pointer", E_POINTER);
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
      throw EOleSysError(u"The list has no item with this index.", E_INVALIDARG);
    *item = SysAllocString(items_[static_cast<std::size_t>(index)]);
  });
}

namespace {
GUID AskState(IcvBaseManager* manager, const GUID& question) {
  auto state = GetHostState(manager);
  GUID answer{};
  if (state) SafeCallCheck(state->GetState(question, &answer));
  return answer;
}

bool AskReloadManager(IcvBaseManager* manager, WideStringView fileName, IpwProjectNode* node) {
  auto reload = GetHostService<IpwFileReloadManager>(manager, kFileReloadService);
  if (!reload) return false;
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(reload->ReloadWanted(BString(fileName).Get(), node, &yes));
  return yes != VARIANT_FALSE;
}
}  // namespace

bool IsFileReloadWanted(IcvBaseManager* manager, WideStringView fileName, IpwProjectNode* node, bool silent) {
  GUID mode = AskState(manager, kHostModeQuestion);
  if (mode == kHostModeInteractive) return AskReloadManager(manager, fileName, node);
  if (mode == kHostModeRunning && AskState(manager, kReloadQuestion) == kReloadAlways) return true;
  return silent ? false : AskReloadManager(manager, fileName, node);
}

TpwFileReloadBatch::TpwFileReloadBatch(IcvBaseManager* manager)
    : reload_(GetHostService<IpwFileReloadManager>(manager, kFileReloadService)) {
  if (reload_) SafeCallCheck(reload_->BeginReloadBatch());
}

TpwFileReloadBatch::~TpwFileReloadBatch() {
  if (reload_) reload_->EndReloadBatch();
}

bool AskLoadFromUnsavedFile(IcvBaseManager* manager, WideStringView fileName) {
  auto query = GetHostService<IpwLoadFromUnsavedFileQuery>(manager, kUnsavedFileQueryService);
  if (!query) return false;
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(query->LoadFromUnsavedFile(BString(fileName).Get(), &yes));
  return yes != VARIANT_FALSE;
}

ComPtr<IpwProjectUpdate> GetBrokerObject(IcvBaseManager* manager) {
  auto broker = GetObjectBroker(manager);
  if (!broker) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(broker->GetObject(IpwProjectUpdate::iid, -1, object.Put()));
  return CastHostObject<IpwProjectUpdate>(object.Get());
}

}  // namespace pw::project
