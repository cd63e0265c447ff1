// Helpers of project items that run during a test: a subscription to the test engine's events,
// a timed wait with a progress indicator that ends with the run, and unique child names.
//
// TpwTestEngineEventListener: registers itself with the object broker (RegisterSubscription) at
// creation and leaves it at Dispose (UnregisterSubscription with its key); after Dispose no event
// reaches its owner or handler. With an owner every OnEvent and OnEvent2 goes to the owner; with a
// handler OnEvent reaches it only for the event ids 8 and 11, OnEvent2 always (with the value).
// Names: the given name through IcvDisposableObject, the name + " - TpwTestEngineEventListener"
// through the event interface and the descriptor. The descriptor lists one entry, the event
// interface with -1 when the flag is set, else 0.
//
// TpwWaitHelper (manager, timeout, text): a negative time-out takes the host's default wait
// setting {9EB8E8E6-...}; a negative setting means no limit, and so does a missing or empty one
// (not 0: the wait still ends with the run or at a stop request). Above 1000 ms it shows a progress
// bar (0 to the time-out) with the text until it is destroyed. WaitStep answers False without
// sleeping when neither running state holds, when the run control asks to stop, or when more
// than the time-out passed (unsigned 32-bit tick arithmetic); otherwise it moves the bar, sleeps
// 50 ms on the injectable clock and answers True. The caller repeats its own test after each True.
//
// GenerateUniqueName: BaseName, or Format applied to (BaseName, Index) ("%s%d" when empty; "%s"
// takes the name, "%d" the number, "%%" a percent sign), with the smallest index from the start
// (0 without AlwaysNumber, where 0 is the bare name; 1 with it) that no child of Parent holds,
// ignoring case; a child whose key equals *ExcludeKey never blocks a name. One pass over the
// children, whatever their number. A nil Parent gives the first candidate.
#pragma once

#include <cstdint>
#include <functional>

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::project {

// The host's default wait time-out (ms).
inline constexpr GUID kDefaultWaitTimeoutSetting = MakeGuid("{9EB8E8E6-D2F2-4A8A-ADFB-492E8C0EAFEF}");
// The run control, asked of the test-engine state service.
inline constexpr GUID kRunControlService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kHostObjectProviderService = MakeGuid("{EBDBAC08-25B3-4B2C-9545-1BD01637FFBB}");
// Host-state questions and the answers that keep a wait going.
inline constexpr GUID kRunModeQuestion = MakeGuid("{73BD8AE3-0F50-47B6-B1E0-14669814AE32}");
inline constexpr GUID kRunModeActive = MakeGuid("{C02D6A1A-4483-497F-9835-D6E2BFEFF730}");
inline constexpr GUID kEngineStateQuestion = MakeGuid("{D8418F0B-3CD9-40C6-9FCF-B30068D2BF3C}");
inline constexpr GUID kEngineStateRunning = MakeGuid("{3DACEED8-213B-43BB-9443-511B441BACDF}");
inline constexpr GUID kEngineStateAlternate = MakeGuid("{E0583945-014B-4BFC-B8C3-0F5B419797F4}");

inline constexpr char16_t kListenerNameSuffix[] = u" - TpwTestEngineEventListener";

class TpwTestEngineEventListener final
    : public Implements<TcvInterfacedObject, IcvDisposableObject, IpwTestEngineEvents, IpwEventSubscription> {
 public:
  using Handler = std::function<void(std::int32_t eventIdOrValue)>;

  // Registers with the broker (a failure raises).
  TpwTestEngineEventListener(IcvBaseManager* manager, IpwTestEngineEventListenerOwner* owner, bool flag,
                             WideStringView name);
  // With a handler instead of an owner.
  static ComPtr<TpwTestEngineEventListener> CreateWithHandler(IcvBaseManager* manager, bool flag, WideStringView name,
                                                              Handler handler);

  // IcvDisposableObject
  HRESULT GetDisposableName(BSTR* name) override;
  HRESULT Dispose() override;
  // IcvKeyItem, IpwEventSubscription
  HRESULT GetKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetItem(std::int32_t index, GUID* eventIid, std::int32_t* value) override;
  // IpwTestEngineEvents
  HRESULT OnEvent(std::int32_t eventId, const VARIANT& param) override;
  HRESULT OnEvent2(std::int32_t value) override;

 private:
  bool flag_;
  ComPtr<IpwTestEngineEventListenerOwner> owner_;
  Handler handler_;
  GUID key_;
  ComPtr<IcvBaseManager> manager_;
  WideString name_;
  bool disposed_ = false;
};

// True when the host state answers the mode question with the active mode, or the engine-state
// question with the running state; the alternate running state is the second test.
bool IsRunStateActive(IcvBaseManager* manager);
bool IsRunStateAlternate(IcvBaseManager* manager);

class TpwWaitHelper {
 public:
  static constexpr std::int32_t kIndicatorThreshold = 1000;
  static constexpr DWORD kStepMs = 50;

  TpwWaitHelper(IcvBaseManager* manager, std::int32_t timeout, WideStringView text);
  ~TpwWaitHelper();
  TpwWaitHelper(const TpwWaitHelper&) = delete;
  TpwWaitHelper& operator=(const TpwWaitHelper&) = delete;

  bool WaitStep();
  std::int32_t Timeout() const { return timeout_; }

 private:
  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwIndicatorInternal> indicator_;
  WideString text_;
  DWORD startTick_ = 0;
  std::int32_t timeout_ = 0;
  std::int32_t indicatorId_ = -1;
  ComPtr<TpwTestEngineEventListener> listener_;
};

// Format with "%s" (the name), "%d" (the number) and "%%".
WideString FormatUniqueName(WideStringView format, WideStringView baseName, std::int32_t index);

// Index in and out: -1 picks the start by AlwaysNumber; the index of the answer comes back.
void GenerateUniqueNameEx(IpwProjectNode* parent, WideStringView baseName, const GUID* excludeKey,
                          WideStringView format, bool alwaysNumber, std::int32_t& index, WideString& name);
void GenerateUniqueName(IpwProjectNode* parent, WideStringView baseName, const GUID* excludeKey, bool alwaysNumber,
                        WideString& name, WideStringView format = {});

}  // namespace pw::project
