#include "project/wait/wait_helper.h"

#include <unordered_set>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/com/guid.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {

HRESULT PutText(BSTR* out, WideStringView text) {
  if (!out) return E_POINTER;
  *out = BString(text).Detach();
  return S_OK;
}

GUID AskHostState(IpwHostState* state, const GUID& question) {
  GUID answer{};
  SafeCallCheck(state->GetState(question, &answer));
  return answer;
}

ComPtr<IpwHostState> RequiredHostState(IcvBaseManager* manager) {
  auto state = GetHostState(manager);
  if (!state) throw EOleSysError(u"The host has no state service", E_NOINTERFACE);
  return state;
}

}  // namespace

// ---- TpwTestEngineEventListener ----------------------------------------------------------

TpwTestEngineEventListener::TpwTestEngineEventListener(IcvBaseManager* manager, IpwTestEngineEventListenerOwner* owner,
                                                       bool flag, WideStringView name)
    : flag_(flag), owner_(owner), manager_(manager), name_(name) {
  OleCheck(CreateGuid(key_));
  auto broker = GetObjectBroker(manager);
  if (!broker) throw EOleSysError(u"The host has no object broker", E_NOINTERFACE);
  SafeCallCheck(broker->RegisterSubscription(this));
}

ComPtr<TpwTestEngineEventListener> TpwTestEngineEventListener::CreateWithHandler(IcvBaseManager* manager, bool flag,
                                                                                 WideStringView name,
                                                                                 Handler handler) {
  auto listener = MakeObject<TpwTestEngineEventListener>(manager, nullptr, flag, name);
  listener->handler_ = std::move(handler);
  return listener;
}

HRESULT TpwTestEngineEventListener::GetDisposableName(BSTR* name) { return PutText(name, name_); }

HRESULT TpwTestEngineEventListener::Dispose() {
  return SafeCall([&] {
    if (disposed_) return;
    disposed_ = true;
    auto manager = std::move(manager_);
    owner_ = nullptr;
    handler_ = nullptr;
    auto broker = GetObjectBroker(manager.Get());
    if (broker) SafeCallCheck(broker->UnregisterSubscription(&key_));
  });
}

HRESULT TpwTestEngineEventListener::GetKey(GUID* key) {
  if (!key) return E_POINTER;
  *key = key_;
  return S_OK;
}

HRESULT TpwTestEngineEventListener::GetName(BSTR* name) { return PutText(name, name_ + kListenerNameSuffix); }

HRESULT TpwTestEngineEventListener::GetCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TpwTestEngineEventListener::GetItem(std::int32_t, GUID* eventIid, std::int32_t* value) {
  if (!eventIid || !value) return E_POINTER;
  *eventIid = IpwTestEngineEvents::iid;
  *value = flag_ ? -1 : 0;
  return S_OK;
}

HRESULT TpwTestEngineEventListener::OnEvent(std::int32_t eventId, const VARIANT& param) {
  return SafeCall([&] {
    if (owner_) {
      SafeCallCheck(owner_->OnEngineEvent(eventId, param));
    } else if (handler_ && (eventId == 8 || eventId == 11)) {
      handler_(eventId);
    }
  });
}

HRESULT TpwTestEngineEventListener::OnEvent2(std::int32_t value) {
  return SafeCall([&] {
    if (owner_)
      SafeCallCheck(owner_->OnEngineEvent2(value));
    else if (handler_)
      handler_(value);
  });
}

// ---- Run states ----------------------------------------------------------------------------

bool IsRunStateActive(IcvBaseManager* manager) {
  auto state = RequiredHostState(manager);
  return AskHostState(state.Get(), kRunModeQuestion) == kRunModeActive ||
         AskHostState(state.Get(), kEngineStateQuestion) == kEngineStateRunning;
}

bool IsRunStateAlternate(IcvBaseManager* manager) {
  auto state = RequiredHostState(manager);
  return AskHostState(state.Get(), kEngineStateQuestion) == kEngineStateAlternate;
}

// ---- TpwWaitHelper ---------------------------------------------------------------------------

TpwWaitHelper::TpwWaitHelper(IcvBaseManager* manager, std::int32_t timeout, WideStringView text)
    : manager_(manager), text_(text) {
  listener_ = TpwTestEngineEventListener::CreateWithHandler(manager, false, u"TpwWaitHelper", [](std::int32_t) {});
  try {
    if (timeout < 0) {
      OleVariant setting = GetSettingValue(manager, kDefaultWaitTimeoutSetting);
      timeout = setting.Get().vt == VT_EMPTY ? -1 : setting.AsInt();
    }
    timeout_ = timeout;
    startTick_ = GetTickCount();
    if (timeout_ > kIndicatorThreshold) {
      auto provider = GetHostService<IpwHostObjectProvider>(manager, kHostObjectProviderService);
      if (!provider) throw EOleSysError(u"The host has no indicator provider", E_NOINTERFACE);
      ComPtr<IUnknown> object;
      SafeCallCheck(provider->GetIndicator(object.Put()));
      indicator_ = QueryAs<IpwIndicatorInternal>(object.Get());
      if (indicator_) {
        BString bar(text_);
        indicatorId_ = indicator_->StartProgress(bar.Get(), 0, timeout_);
      }
    }
  } catch (...) {
    listener_->Dispose();
    throw;
  }
}

TpwWaitHelper::~TpwWaitHelper() {
  if (listener_) listener_->Dispose();
  listener_ = nullptr;
  if (indicator_ && indicatorId_ != -1) indicator_->StopProgress(indicatorId_);
}

bool TpwWaitHelper::WaitStep() {
  if (!IsRunStateActive(manager_.Get()) && !IsRunStateAlternate(manager_.Get())) return false;
  auto run = GetHostService<IpwRunControl>(manager_.Get(), kRunControlService);
  if (!run) throw EOleSysError(u"The host has no run control", E_NOINTERFACE);
  VARIANT_BOOL stop = VARIANT_FALSE;
  SafeCallCheck(run->IsStopRequested(&stop));
  if (stop != VARIANT_FALSE) return false;
  // Unsigned: a wrapped tick count stays right, and a negative time-out is never exceeded.
  const DWORD elapsed = GetTickCount() - startTick_;
  if (elapsed > static_cast<DWORD>(timeout_)) return false;
  if (indicator_ && indicatorId_ != -1) indicator_->UpdateProgress(indicatorId_, static_cast<std::int32_t>(elapsed));
  SleepMs(kStepMs);
  return true;
}

// ---- Unique names --------------------------------------------------------------------------

WideString FormatUniqueName(WideStringView format, WideStringView baseName, std::int32_t index) {
  WideString out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      const char16_t c = format[i + 1];
      if (c == u's') {
        out += baseName;
        ++i;
        continue;
      }
      if (c == u'd') {
        out += IntToWide(index);
        ++i;
        continue;
      }
      if (c == u'%') {
        out += u'%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

void GenerateUniqueNameEx(IpwProjectNode* parent, WideStringView baseName, const GUID* excludeKey, WideStringView format,
                          bool alwaysNumber, std::int32_t& index, WideString& name) {
  const WideStringView fmt = format.empty() ? WideStringView(u"%s%d") : format;
  if (index == -1) index = alwaysNumber ? 1 : 0;
  auto candidate = [&](std::int32_t i) {
    return alwaysNumber || i > 0 ? FormatUniqueName(fmt, baseName, i) : WideString(baseName);
  };
  if (parent) {
    std::unordered_set<WideString> taken;
    ForEachChild(parent, [&](IpwProjectNode* child) {
      if (excludeKey && NodeKey(child) == *excludeKey) return true;
      taken.insert(WideLowerCase(NodeName(child)));
      return true;
    });
    while (taken.contains(WideLowerCase(candidate(index)))) ++index;
  }
  name = candidate(index);
}

void GenerateUniqueName(IpwProjectNode* parent, WideStringView baseName, const GUID* excludeKey, bool alwaysNumber,
                        WideString& name, WideStringView format) {
  std::int32_t index = -1;
  GenerateUniqueNameEx(parent, baseName, excludeKey, format, alwaysNumber, index, name);
}

}  // namespace pw::project
