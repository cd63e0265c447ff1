#include "web/recording/analyze_automates.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/recording/recorded_actions.h"

namespace pw::web {

namespace {

constexpr GUID kWindowsManagerService = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");

bool ObjectTypeIs(IpwRecordedAction* action, WideStringView type) {
  auto v = GetActionParam(action, keys::kObjectType);
  if (!v || v->IsEmpty() || v->IsNull()) return false;
  return SameTextIgnoringCase(v->AsString(), type);
}

OleVariant ParamOrEmpty(IpwRecordedAction* action, const GUID& key) {
  auto v = GetActionParam(action, key);
  return v ? *v : OleVariant();
}

}  // namespace

// ---- The base
// --------------------------------------------------------------------------------

TpwAnalyseAutomate::TpwAnalyseAutomate(IcvBaseManager* manager, IpwRecordedActionList* actions)
    : manager_(manager), actions_(actions) {}

void TpwAnalyseAutomate::Detach(IpwRecordedAction* action) { OleCheck(actions_->DetachAction(action)); }

void TpwAnalyseAutomate::Delete(IpwRecordedAction* action) { OleCheck(actions_->DeleteAction(action)); }

ComPtr<IpwRecordedAction> TpwAnalyseAutomate::Create(IpwRecordedAction* source, const GUID& kind, const GUID& target) {
  ComPtr<IpwRecordedAction> made;
  OleCheck(actions_->CreateAction(source, kind, target, made.Put()));
  return made;
}

ComPtr<IpwRecordedAction> TpwAnalyseAutomate::CreateAt(IpwRecordedAction* source, const GUID& kind,
                                                       const GUID& target) {
  ComPtr<IpwRecordedAction> made;
  OleCheck(actions_->CreateActionAt(source, kind, target, -1, made.Put()));
  return made;
}

ComPtr<IpwRecordedAction> TpwAnalyseAutomate::CreateLike(IpwRecordedAction* source, const GUID& kind,
                                                         const GUID& target) {
  ComPtr<IpwRecordedAction> made;
  OleCheck(actions_->CreateActionLike(source, kind, target, -1, made.Put()));
  return made;
}

void TpwAnalyseAutomate::Link(IpwRecordedAction* newAction, IpwRecordedAction* source) {
  OleCheck(actions_->LinkSource(newAction, source));
}

bool IsInputKind(const GUID& kind, bool inProgress) {
  if (kind == kinds::kClick || kind == kinds::kInput2 || kind == kinds::kInput3 || kind == kinds::kKeyPress)
    return true;
  return inProgress && (kind == kinds::kInProgressInput1 || kind == kinds::kInProgressInput2);
}

std::vector<std::uint8_t> MergeScreenBlock(IpwRecordedAction* earlier, IpwRecordedAction* later) {
  std::vector<std::uint8_t> merged(kScreenBlockSize, 0);
  if (later)
    if (auto block = GetActionData(later, keys::kScreenBlock, kScreenBlockSize)) merged = *block;
  std::fill(merged.begin(), merged.begin() + 16, std::uint8_t{0});
  if (earlier)
    if (auto block = GetActionData(earlier, keys::kScreenBlock, kScreenBlockSize))
      std::copy(block->begin(), block->begin() + 16, merged.begin());
  return merged;
}

WideString ResolveBrowserType(IpwRecordedAction* action) {
  WideString type;
  if (auto given = GetActionParam(action, keys::kBrowserTypeGiven)) {
    type = given->IsEmpty() || given->IsNull() ? WideString() : given->AsString();
  } else {
    auto node = ActionObject(action);
    while (node && ObjectKind(node.Get()) != kinds::kProcessNode) node = ObjectRelated(node.Get());
    if (node) {
      auto name = ObjectProperty(node.Get(), u"ProcessName");
      WideString process = name && !name->IsEmpty() && !name->IsNull() ? name->AsString() : WideString();
      if (SameTextIgnoringCase(process, u"iexplore") || SameTextIgnoringCase(process, u"presentationhost"))
        type = u"btIExplorer";
      else if (SameTextIgnoringCase(process, u"chrome"))
        type = u"btChrome";
      else if (SameTextIgnoringCase(process, u"firefox"))
        type = u"btFirefox";
      else if (SameTextIgnoringCase(process, u"opera"))
        type = u"btOpera";
      else if (SameTextIgnoringCase(process, u"safari"))
        type = u"btSafari";
    }
  }
  SetActionParam(action, keys::kBrowserType, OleVariant(type));
  return type;
}

// ---- Activate
// --------------------------------------------------------------------------------

void TpwActivateAutomate::MarkActivation(IpwRecordedAction* action, WideStringView url) {
  WideString type = ResolveBrowserType(action);
  if (!lastActivation_ || ParamIsTrue(lastActivation_.Get(), keys::kActivated)) return;
  if (!SameTextIgnoringCase(ResolveBrowserType(lastActivation_.Get()), type)) return;
  SetActionParam(lastActivation_.Get(), keys::kActivationUrl, OleVariant(url));
  SetActionParam(lastActivation_.Get(), keys::kActivated, OleVariant(true));
  lastActivation_ = nullptr;
  SetActionParam(action, keys::kActivated, OleVariant(true));
}

void TpwActivateAutomate::ResolveObjectReference(IpwRecordedAction* action) {
  WideString ref = ParamText(action, keys::kObjectRef);
  if (ref.empty()) return;
  auto id = GuidFromString(std::u16string_view(ref));
  if (!id) return;
  ComPtr<IUnknown> object;
  OleCheck(actions_->FindObject(*id, object.Put()));
  if (!object) return;
  if (ObjectKind(object.Get()) == kinds::kProcessNode) object = ObjectRelated(object.Get());
  if (!object) return;
  SetActionParam(action, keys::kPageObjectId, OleVariant(GuidToWideString(ObjectId(object.Get()))));
  SetActionParam(action, keys::kObjectRef, OleVariant(u""));
}

void TpwActivateAutomate::Analyse(IpwRecordedAction* action) {
  if (state_ != AutomateState::Idle) return;
  GUID kind = ActionKind(action);
  if (kind == kinds::kPageClosed || kind == kinds::kClosePageAction) return SetState(AutomateState::Released);
  if (ActionTarget(action) == kActivationTarget) {
    lastActivation_ = action;
    return SetState(AutomateState::Released);
  }
  auto browser = ParamInt(action, keys::kBrowserId);
  if (kind == kinds::kNavigateAction) {
    if (browser) {
      WideString url = ParamText(action, keys::kUrl);
      MarkActivation(action, url);
      browsers_[*browser] = {url, nullptr};
      ResolveObjectReference(action);
    }
    return SetState(AutomateState::Finished);
  }
  if (kind == kinds::kBrowserOpened) {
    if (browser) browsers_[*browser].Action = action;
    return SetState(AutomateState::Finished);
  }
  if (!browser) return SetState(AutomateState::Released);
  WideString url = ParamText(action, keys::kUrl);
  if (!url.empty()) {
    auto found = browsers_.find(*browser);
    bool insert = found == browsers_.end() || (!SameTextIgnoringCase(found->second.Url, url) && found->second.Action);
    if (insert) {
      ComPtr<IpwRecordedAction> navigation;
      if (found != browsers_.end() && found->second.Action) {
        auto opened = found->second.Action;
        GUID openedTarget = ActionTarget(opened.Get());
        navigation = CreateLike(opened.Get(), kinds::kNavigateAction, openedTarget);
        OleCheck(actions_->InsertBefore(navigation.Get(), opened.Get()));
        SetActionParam(navigation.Get(), keys::kObjectRef, OleVariant(GuidToWideString(openedTarget)));
      } else {
        navigation = CreateAt(action, kinds::kNavigateAction, ActionTarget(action));
        OleCheck(actions_->InsertBefore(navigation.Get(), action));
      }
      SetActionParam(navigation.Get(), keys::kUrl, OleVariant(url));
      SetActionParam(navigation.Get(), keys::kBrowserId, OleVariant(*browser));
      for (const GUID& key : {keys::kPageObjectId, keys::kAltPageObjectId, keys::kActivateObjectId, keys::kOnProcess})
        if (auto v = GetActionParam(action, key)) SetActionParam(navigation.Get(), key, *v);
      MarkActivation(navigation.Get(), url);
    }
    browsers_[*browser] = {url, nullptr};
  }
  if (ParamIsTrue(action, keys::kOpensBrowser)) {
    Detach(action);
    OleCheck(actions_->AddAction(kinds::kBrowserOpened, ActionTarget(action)));
    return SetState(AutomateState::Finished);
  }
  WideString retarget = ParamText(action, keys::kRetarget);
  if (!retarget.empty()) {
    GUID target = StringToGuid(retarget);
    SetActionParam(action, keys::kRetarget, OleVariant(u""));
    Detach(action);
    OleCheck(actions_->AddAction(kind, target));
    return SetState(AutomateState::Finished);
  }
  SetState(AutomateState::Released);
}

// ---- Page close
// ------------------------------------------------------------------------------

void TpwPageCloseAutomate::Analyse(IpwRecordedAction* action) {
  if (state_ == AutomateState::Idle) {
    if (ParamIsTrue(action, keys::kCloseRequested)) {
      request_ = action;
      return SetState(AutomateState::InProgress);
    }
    return SetState(AutomateState::Released);
  }
  if (state_ != AutomateState::InProgress) return;
  if (ActionKind(action) == kinds::kPageClosed) {
    closing_ = action;
    Flush();
    return SetState(AutomateState::Finished);
  }
  SetState(AutomateState::Released);
}

void TpwPageCloseAutomate::Reset() {
  TpwAnalyseAutomate::Reset();
  Flush();
}

void TpwPageCloseAutomate::Flush() {
  auto request = std::move(request_);
  auto closing = std::move(closing_);
  request_ = nullptr;
  closing_ = nullptr;
  if (!request) return;
  if (!closing) {
    TpwSimplificationAutomate simplification(manager_.Get(), actions_.Get());
    simplification.Analyse(request.Get());
    return;
  }
  GUID target = ActionTarget(closing.Get());
  Detach(request.Get());
  Detach(closing.Get());
  auto made = Create(closing.Get(), kinds::kClosePageAction, target);
  Link(made.Get(), closing.Get());
}

// ---- Not ready, useless
// ----------------------------------------------------------------------

void TpwNotReadyAutomate::Analyse(IpwRecordedAction* action) {
  if (ParamIsTrue(action, keys::kNotReady)) {
    Delete(action);
    return SetState(AutomateState::Finished);
  }
  SetState(AutomateState::Released);
}

void TpwUselessAutomate::Analyse(IpwRecordedAction* action) {
  if (ParamIsTrue(action, keys::kUseless) ||
      (ActionKind(action) == kinds::kUseless && GetActionParam(action, keys::kBrowserId))) {
    Delete(action);
    return SetState(AutomateState::Finished);
  }
  SetState(AutomateState::Released);
}

// ---- Select change
// ---------------------------------------------------------------------------

void TpwSelectChangeAutomate::Gather(IpwRecordedAction* action) {
  for (const auto& g : gathered_)
    if (SameAction(g.Get(), action)) return;  // each action is gathered, and so detached, once
  gathered_.emplace_back(action);
}

void TpwSelectChangeAutomate::MakeComposite(IpwRecordedAction* source, const GUID& kind) {
  ComPtr<IpwRecordedAction> keep(source);
  Gather(source);
  GUID target = ActionTarget(source);
  IpwRecordedAction* earlier = nullptr;
  IpwRecordedAction* later = nullptr;
  std::vector<std::uint8_t> scratch(kScreenBlockSize);
  for (const auto& g : gathered_)
    if (ReadActionData(g.Get(), keys::kScreenBlock, scratch.data(), kScreenBlockSize)) {
      if (!earlier) earlier = g.Get();
      later = g.Get();
    }
  auto merged = MergeScreenBlock(earlier, later);
  OleCheck(source->SetParamData(keys::kScreenBlock, merged.data(), kScreenBlockSize));
  auto gathered = std::move(gathered_);
  gathered_.clear();
  for (const auto& g : gathered) Detach(g.Get());
  auto made = Create(source, kind, target);
  Link(made.Get(), source);
}

void TpwSelectChangeAutomate::SetState(AutomateState state) {
  if (state_ == AutomateState::InProgress) {
    if (heldClick_ && state != AutomateState::Finished) {
      auto held = std::move(heldClick_);
      heldClick_ = nullptr;
      MakeComposite(held.Get(), kinds::kClickAction);
    }
    if (state == AutomateState::Idle) {
      auto gathered = std::move(gathered_);
      gathered_.clear();
      for (const auto& g : gathered) Delete(g.Get());
    }
  }
  state_ = state;
  if (state != AutomateState::InProgress) {
    gathered_.clear();
    heldClick_ = nullptr;
  }
}

void TpwSelectChangeAutomate::Analyse(IpwRecordedAction* action) {
  GUID kind = ActionKind(action);
  if (state_ == AutomateState::Idle) {
    if (!IsInputKind(kind, false) || IsSpecialClick(action, kind)) return SetState(AutomateState::Released);
    if (ParamIsTrue(action, keys::kSelectPending)) {
      SetActionParam(action, keys::kSelectPending, OleVariant(false));
      targetId_ = ActionTarget(action);
      Gather(action);
      return SetState(AutomateState::InProgress);
    }
    return SetState(AutomateState::Released);
  }
  if (state_ != AutomateState::InProgress) return;
  if (IsInputKind(kind, true) && !IsSpecialClick(action, kind)) {
    bool belongs = ActionTarget(action) == targetId_;
    if (!belongs)
      if (auto block = GetActionData(action, keys::kKeyStateBlock, kKeyStateBlockSize))
        belongs = ((*block)[39] & 0x80) != 0;  // bit 31 of the word at offset 36
    if (!belongs) return SetState(AutomateState::Released);
    Gather(action);
    return;
  }
  if (kind == kinds::kSelectChanged) {
    Gather(action);
    MakeComposite(action, kinds::kItemClickAction);
    return SetState(AutomateState::Finished);
  }
  if (kind == kinds::kPendingClick) {
    if (!heldClick_) {
      heldClick_ = action;
      Gather(action);
      return;
    }
    auto held = std::move(heldClick_);
    heldClick_ = nullptr;
    MakeComposite(held.Get(), kinds::kClickAction);
    return SetState(AutomateState::Released);
  }
  // Anything else is taken while the selection is open.
}

// ---- Double click
// ----------------------------------------------------------------------------

TpwDblClickAutomate::TpwDblClickAutomate(IcvBaseManager* manager, IpwRecordedActionList* actions)
    : TpwAnalyseAutomate(manager, actions) {
  if (!manager) throw EOleSysError(u"No host manager", E_POINTER);
  ComPtr<IUnknown> service;
  OleCheck(manager->GetService(kWindowsManagerService, service.Put()));
  auto windows = service.As<IcvWindowsManager>();
  if (!windows) throw EOleSysError(u"The host has no windows manager", E_NOINTERFACE);
  std::int32_t width = 0, height = 0;
  std::uint32_t time = 0;
  OleCheck(windows->GetDoubleClickSettings(&width, &height, &time));
  dblClickTime_ = time;
}

void TpwDblClickAutomate::Analyse(IpwRecordedAction* action) {
  GUID kind = ActionKind(action);
  if (kind != kinds::kClickAction && kind != kinds::kItemClickAction) return SetState(AutomateState::Released);
  if (previous_ && ParamIsTrue(action, keys::kDoubleClick) && ActionTarget(action) == ActionTarget(previous_.Get())) {
    bool within = false;
    try {
      auto now = GetActionParam(action, keys::kTimeStamp);
      auto before = GetActionParam(previous_.Get(), keys::kTimeStamp);
      if (now && before) {
        auto elapsed = static_cast<std::uint32_t>(now->AsInt()) - static_cast<std::uint32_t>(before->AsInt());
        within = elapsed <= dblClickTime_;
      }
    } catch (const std::exception&) {
      within = false;
    }
    if (within) {
      auto previous = std::move(previous_);
      previous_ = nullptr;
      Delete(previous.Get());
      return SetState(AutomateState::Finished);
    }
  }
  previous_ = action;
  SetState(AutomateState::Released);
}

// ---- Check box
// -------------------------------------------------------------------------------

void TpwCheckboxChangeAutomate::Analyse(IpwRecordedAction* action) {
  GUID kind = ActionKind(action);
  if (kind == kinds::kCheckChanged) {
    if (previous_ && ActionTarget(previous_.Get()) == ActionTarget(action)) {
      auto previous = std::move(previous_);
      previous_ = nullptr;
      Detach(previous.Get());
      Detach(action);
      auto made = Create(action, kinds::kSetCheckedAction, ActionTarget(previous.Get()));
      Link(made.Get(), action);
      Link(made.Get(), previous.Get());
      SetActionParam(made.Get(), keys::kMethodName, OleVariant(u""));
      return SetState(AutomateState::Finished);
    }
    return SetState(AutomateState::Released);
  }
  previous_ = nullptr;
  if (kind == kinds::kClick || kind == kinds::kSimpleClickAction)
    previous_ = action;
  else if (kind == kinds::kKeyPress && ParamText(action, keys::kKeyText) == u" ")
    previous_ = action;
  SetState(AutomateState::Released);
}

// ---- Refresh
// ---------------------------------------------------------------------------------

void TpwRefreshAutomate::Analyse(IpwRecordedAction* action) {
  if (ActionKind(action) != kinds::kRefreshEvent) return SetState(AutomateState::Released);
  auto made = CreateAt(action, kinds::kRefreshAction, ActionTarget(action));
  Link(made.Get(), action);
  Delete(action);
  SetState(AutomateState::Finished);
}

// ---- Flash combo box and tab list
// ------------------------------------------------------------

void TpwFlashComboboxAutomate::Analyse(IpwRecordedAction* action) {
  GUID kind = ActionKind(action);
  if (state_ == AutomateState::Idle) {
    if (kind == kinds::kItemClickAction || !GetActionParam(action, keys::kObjectType))
      return SetState(AutomateState::Released);
    if (ObjectTypeIs(action, u"FLASH@COMBOBOX")) {
      comboClick_ = action;
      return SetState(AutomateState::InProgress);
    }
    WideString parent = ParamText(action, keys::kParentId);
    if (ObjectTypeIs(action, u"FLASH@LISTITEM") && !parent.empty()) {
      GUID parentId = StringToGuid(parent);
      Detach(action);
      auto made = Create(action, kinds::kItemClickAction, parentId);
      Link(made.Get(), action);
      SetActionParam(made.Get(), keys::kItem, ParamOrEmpty(action, keys::kItemValue));
      return SetState(AutomateState::Finished);
    }
    return SetState(AutomateState::Released);
  }
  if (state_ != AutomateState::InProgress) return;
  if (!ObjectTypeIs(action, u"FLASH@LISTITEM")) {
    comboClick_ = nullptr;
    return SetState(AutomateState::Released);
  }
  auto combo = std::move(comboClick_);
  comboClick_ = nullptr;
  GUID target = ActionTarget(combo.Get());
  auto merged = MergeScreenBlock(combo.Get(), action);
  Detach(combo.Get());
  Detach(action);
  auto made = Create(action, kinds::kItemClickAction, target);
  Link(made.Get(), combo.Get());
  OleCheck(made->SetParamData(keys::kScreenBlock, merged.data(), kScreenBlockSize));
  SetActionParam(made.Get(), keys::kItem, ParamOrEmpty(action, keys::kItemValue));
  SetState(AutomateState::Finished);
}

void TpwFlashTabListAutomate::Analyse(IpwRecordedAction* action) {
  if (state_ != AutomateState::Idle) return;
  if (ActionKind(action) != kinds::kClick || !ObjectTypeIs(action, u"FLASH@PAGETAB"))
    return SetState(AutomateState::Released);
  auto parentType = GetActionParam(action, keys::kParentType);
  bool inTabList = parentType && !parentType->IsEmpty() && !parentType->IsNull() &&
                   SameTextIgnoringCase(parentType->AsString(), u"FLASH@TABLIST");
  WideString parent = ParamText(action, keys::kParentId);
  if (inTabList && !parent.empty()) {
    GUID parentId = StringToGuid(parent);
    Detach(action);
    auto made = Create(action, kinds::kTabClickAction, parentId);
    Link(made.Get(), action);
    SetActionParam(made.Get(), keys::kItem, ParamOrEmpty(action, keys::kItemValue));
    return SetState(AutomateState::Finished);
  }
  if (!inTabList) {
    auto made = CreateLike(action, kinds::kSimpleClickAction, ActionTarget(action));
    Link(made.Get(), action);
    SetActionParam(made.Get(), keys::kMethodName, OleVariant(u"Click"));
    Delete(action);
    return SetState(AutomateState::Finished);
  }
  SetState(AutomateState::Released);
}

// ---- Address edit
// ----------------------------------------------------------------------------

void TpwIE8EditAutomate::Analyse(IpwRecordedAction* action) {
  GUID kind = ActionKind(action);
  bool onEdit = ObjectTypeIs(action, u"IE8ADDRESSEDIT");
  if (state_ == AutomateState::Idle) {
    if (!onEdit) return SetState(AutomateState::Released);
    if (kind == kinds::kSetTextAction) return SetState(AutomateState::Released);
    if (kind == kinds::kKeyPress) {
      keys_.emplace_back(action);
      return SetState(AutomateState::InProgress);
    }
    Delete(action);
    return SetState(AutomateState::Finished);
  }
  if (state_ != AutomateState::InProgress) return;
  if (kind == kinds::kAddressEditIgnorable1 || kind == kinds::kAddressEditIgnorable2) return;
  if (onEdit) {
    if (kind == kinds::kKeyPress)
      keys_.emplace_back(action);
    else
      Delete(action);
    return;
  }
  SetState(AutomateState::Released);
}

void TpwIE8EditAutomate::Reset() {
  TpwAnalyseAutomate::Reset();
  Flush();
}

void TpwIE8EditAutomate::Flush() {
  auto keys = std::move(keys_);
  keys_.clear();
  WideString text;
  for (const auto& k : keys) text += ParamText(k.Get(), keys::kKeyText);
  for (const auto& k : keys) Detach(k.Get());
  if (keys.empty()) return;
  auto last = keys.back();
  auto made = Create(last.Get(), kinds::kSetTextAction, ActionTarget(last.Get()));
  Link(made.Get(), last.Get());
  SetActionParam(made.Get(), keys::kItemValue, OleVariant(text));
}

// ---- Simplification
// --------------------------------------------------------------------------

void TpwSimplificationAutomate::Analyse(IpwRecordedAction* action) {
  if (ActionKind(action) != kinds::kClick) return SetState(AutomateState::Released);
  std::uint8_t count[kClickCountSize] = {};
  ReadActionData(action, keys::kClickCount, count, kClickCountSize);
  std::uint8_t block[kClickBlockSize];
  if (ReadActionData(action, keys::kClickBlock, block, kClickBlockSize) &&
      ((block[0] | block[1] | block[2] | block[3]) != 0 || (count[0] | count[1] | count[2] | count[3]) != 0))
    return SetState(AutomateState::Released);
  if (ParamText(action, keys::kMethodName).empty()) return SetState(AutomateState::Released);
  auto made = CreateLike(action, kinds::kSimpleClickAction, ActionTarget(action));
  Link(made.Get(), action);
  Delete(action);
  SetState(AutomateState::Finished);
}

std::vector<std::unique_ptr<TpwAnalyseAutomate>> MakeAutomates(IcvBaseManager* manager,
                                                               IpwRecordedActionList* actions) {
  std::vector<std::unique_ptr<TpwAnalyseAutomate>> list;
  list.reserve(12);
  list.push_back(std::make_unique<TpwActivateAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwPageCloseAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwNotReadyAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwUselessAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwSelectChangeAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwDblClickAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwCheckboxChangeAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwRefreshAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwFlashComboboxAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwFlashTabListAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwIE8EditAutomate>(manager, actions));
  list.push_back(std::make_unique<TpwSimplificationAutomate>(manager, actions));
  return list;
}

}  // namespace pw::web
