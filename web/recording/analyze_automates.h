// The recording automates: small state machines that the web event analyzer
// offers every recorded action to, in a fixed order. Each one recognises one
// pattern of low-level actions and rewrites the recording through the list's
// operations (create the composite, link the actions it stands for, detach or
// delete them); an action it does not take it releases.
//
// States: Idle, InProgress (the action was taken and the automate wants the
// next one first), Finished (taken, pattern complete), Released (not taken).
// The analyzer turns Finished and Released back into Idle with Reset at once,
// and resets every automate at the end of the recording, when automates that
// gathered actions turn them into their script action.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::web {

enum class AutomateState : std::uint8_t { Idle = 0, InProgress = 1, Finished = 2, Released = 3 };

class TpwAnalyseAutomate {
 public:
  TpwAnalyseAutomate(IcvBaseManager* manager, IpwRecordedActionList* actions);
  virtual ~TpwAnalyseAutomate() = default;
  TpwAnalyseAutomate(const TpwAnalyseAutomate&) = delete;
  TpwAnalyseAutomate& operator=(const TpwAnalyseAutomate&) = delete;

  virtual void SetState(AutomateState state) { state_ = state; }
  virtual void Analyse(IpwRecordedAction* action) = 0;
  virtual void Reset() { SetState(AutomateState::Idle); }
  AutomateState State() const { return state_; }

 protected:
  // The list's operations, raising on failure.
  void Detach(IpwRecordedAction* action);
  void Delete(IpwRecordedAction* action);
  ComPtr<IpwRecordedAction> Create(IpwRecordedAction* source, const GUID& kind, const GUID& target);
  ComPtr<IpwRecordedAction> CreateAt(IpwRecordedAction* source, const GUID& kind, const GUID& target);
  ComPtr<IpwRecordedAction> CreateLike(IpwRecordedAction* source, const GUID& kind, const GUID& target);
  void Link(IpwRecordedAction* newAction, IpwRecordedAction* source);

  ComPtr<IcvBaseManager> manager_;
  AutomateState state_ = AutomateState::Idle;
  ComPtr<IpwRecordedActionList> actions_;
};

// True for the four input kinds, and while in progress also for the two
// follow-up kinds.
bool IsInputKind(const GUID& kind, bool inProgress);

// The 1056-byte screen block of a composite: Later's block (zeros when it has
// none) with its first 16 bytes taken from Earlier's block (zeros when it has
// none). Either may be nil.
std::vector<std::uint8_t> MergeScreenBlock(IpwRecordedAction* earlier, IpwRecordedAction* later);

// The browser type of an action: its given type, else the process name of the
// first process above its object ("btIExplorer", "btChrome", ...; empty for
// other names). Stored on the action as its browser type.
WideString ResolveBrowserType(IpwRecordedAction* action);

struct TActivatedBrowserInfo {
  WideString Url;
  ComPtr<IpwRecordedAction> Action;
};

class TpwActivateAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;

 private:
  void MarkActivation(IpwRecordedAction* action, WideStringView url);
  void ResolveObjectReference(IpwRecordedAction* action);
  std::map<std::int32_t, TActivatedBrowserInfo> browsers_;
  ComPtr<IpwRecordedAction> lastActivation_;
};

class TpwPageCloseAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
  void Reset() override;

 private:
  void Flush();
  ComPtr<IpwRecordedAction> request_;
  ComPtr<IpwRecordedAction> closing_;
};

class TpwNotReadyAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
};

class TpwUselessAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
};

class TpwSelectChangeAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void SetState(AutomateState state) override;
  void Analyse(IpwRecordedAction* action) override;

 private:
  void Gather(IpwRecordedAction* action);
  void MakeComposite(IpwRecordedAction* source, const GUID& kind);
  std::vector<ComPtr<IpwRecordedAction>> gathered_;
  GUID targetId_{};
  ComPtr<IpwRecordedAction> heldClick_;
};

class TpwDblClickAutomate final : public TpwAnalyseAutomate {
 public:
  // Reads the double-click time from the host's windows manager (raises without
  // one).
  TpwDblClickAutomate(IcvBaseManager* manager, IpwRecordedActionList* actions);
  void Analyse(IpwRecordedAction* action) override;
  std::uint32_t DblClickTime() const { return dblClickTime_; }

 private:
  ComPtr<IpwRecordedAction> previous_;
  std::uint32_t dblClickTime_ = 0;
};

class TpwCheckboxChangeAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;

 private:
  ComPtr<IpwRecordedAction> previous_;
};

class TpwRefreshAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
};

class TpwFlashComboboxAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;

 private:
  ComPtr<IpwRecordedAction> comboClick_;
};

class TpwFlashTabListAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
};

class TpwIE8EditAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
  void Reset() override;

 private:
  void Flush();
  std::vector<ComPtr<IpwRecordedAction>> keys_;
};

class TpwSimplificationAutomate final : public TpwAnalyseAutomate {
 public:
  using TpwAnalyseAutomate::TpwAnalyseAutomate;
  void Analyse(IpwRecordedAction* action) override;
};

// The twelve automates in the order in which actions are offered to them.
std::vector<std::unique_ptr<TpwAnalyseAutomate>> MakeAutomates(IcvBaseManager* manager, IpwRecordedActionList* actions);

}  // namespace pw::web
