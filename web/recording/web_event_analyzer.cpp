#include "web/recording/web_event_analyzer.h"

#include "core/host/host_settings.h"
#include "core/host/node_names.h"
#include "core/automation/text_search.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/recording/analyze_automates.h"
#include "web/recording/recorded_actions.h"

namespace pw::web {

namespace {

constexpr GUID kSyntaxService = MakeGuid("{DEC76189-3991-46A6-9D7B-E1A2EBA99C44}");
// The code model's operator code of string concatenation.
constexpr std::int32_t kConcatenation = 33;

ComPtr<IcvSyntaxManager> GetSyntaxManager(IcvBaseManager* manager) {
  if (!manager) throw EOleSysError(u"No host manager", E_POINTER);
  ComPtr<IUnknown> service;
  OleCheck(manager->GetService(kSyntaxService, service.Put()));
  ComPtr<IcvSyntaxManager> syntax;
  if (!service) throw EOleSysError(u"The host has no syntax manager", E_NOINTERFACE);
  OleCheck(service->QueryInterface(IcvSyntaxManager::iid, syntax.PutVoid()));
  return syntax;
}

// The file extension of a URL: from its last "." after the last "/", "\" or
// ":".
WideString UrlExtension(WideStringView url) {
  auto dot = url.find_last_of(u"./\\:");
  if (dot == WideStringView::npos || url[dot] != u'.') return {};
  return WideString(url.substr(dot));
}

const char16_t* const kClickNames[8] = {u"Click",  u"Click", u"ClickR", u"Click",
                                        u"ClickM", u"Click", u"ClickR", u"Click"};
const char16_t* const kItemClickNames[8] = {u"ClickItem",  u"ClickItem", u"ClickItemR", u"ClickItem",
                                            u"ClickItemM", u"ClickItem", u"ClickItemR", u"ClickItem"};

}  // namespace

TpwWebEventAnalyzer::TpwWebEventAnalyzer(IcvBaseManager* manager)
    : manager_(manager), syntax_(GetSyntaxManager(manager)), options_(manager) {}

template <class I>
ComPtr<I> TpwWebEventAnalyzer::NewElement() {
  ComPtr<IUnknown> made;
  OleCheck(syntax_->CreateObject(I::iid, made.Put()));
  ComPtr<I> element;
  if (made) OleCheck(made->QueryInterface(I::iid, element.PutVoid()));
  if (!element) throw EOleSysError(u"The syntax manager made no object for " + GuidToWideString(I::iid), E_NOINTERFACE);
  return element;
}

ComPtr<IcvSyntaxElement> TpwWebEventAnalyzer::Constant(const OleVariant& value) {
  auto constant = NewElement<IcvSyntaxConstantExpression>();
  OleCheck(constant->put_Value(value.Get()));
  return ComPtr<IcvSyntaxElement>(constant);
}

// ---- Analysis
// ----------------------------------------------------------------------------------

HRESULT TpwWebEventAnalyzer::Analyze(IpwRecordedActionList* actions) {
  return SafeCall([&] { DoAnalyze(actions); });
}

void TpwWebEventAnalyzer::DoAnalyze(IpwRecordedActionList* actions) {
  if (!actions) throw EOleSysError(u"No recording", E_POINTER);
  auto automates = MakeAutomates(manager_.Get(), actions);
  TpwAnalyseAutomate* inProgress = nullptr;
  auto offer = [&](IpwRecordedAction* action) {
    if (inProgress) {
      TpwAnalyseAutomate* current = inProgress;
      current->Analyse(action);
      switch (current->State()) {
        case AutomateState::InProgress:
          return;
        case AutomateState::Finished:
          current->Reset();
          inProgress = nullptr;
          return;
        case AutomateState::Released:
          current->Reset();
          inProgress = nullptr;
          break;
        case AutomateState::Idle:
          inProgress = nullptr;
          break;
      }
    }
    for (auto& automate : automates) {
      inProgress = automate.get();
      automate->Analyse(action);
      switch (automate->State()) {
        case AutomateState::InProgress:
          return;
        case AutomateState::Finished:
          automate->Reset();
          inProgress = nullptr;
          return;
        case AutomateState::Released:
          automate->Reset();
          inProgress = nullptr;
          break;
        case AutomateState::Idle:
          inProgress = nullptr;
          break;
      }
    }
  };
  std::exception_ptr failure;
  try {
    OleCheck(actions->Reset());
    while (actions->HasNext()) {
      ComPtr<IpwRecordedAction> action;
      OleCheck(actions->Next(action.Put()));
      if (!action) throw EOleSysError(u"The recording gave no action", E_UNEXPECTED);
      offer(action.Get());
    }
  } catch (...) {
    failure = std::current_exception();
  }
  // Every automate is reset, also after a failure; the first failure is the one
  // reported.
  for (auto& automate : automates) {
    try {
      automate->Reset();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// ---- URLs
// ---------------------------------------------------------------------------------------

ComPtr<IcvSyntaxElement> TpwWebEventAnalyzer::UrlExpression(WideStringView url) {
  if (url.empty()) return nullptr;
  WideString host = options_.GetTestedHost();
  WideString as = options_.GetRecordTestedHostAs();
  if (host.empty() || as.empty()) return Constant(OleVariant(url));
  ComPtr<IcvSyntaxElement> result;
  auto join = [&](ComPtr<IcvSyntaxElement> piece) {
    if (!result) {
      result = std::move(piece);
      return;
    }
    auto binary = NewElement<IcvSyntaxBinaryExpression>();
    OleCheck(binary->put_Left(result.Get()));
    OleCheck(binary->put_Right(piece.Get()));
    OleCheck(binary->put_Operator(kConcatenation));
    result = ComPtr<IcvSyntaxElement>(binary);
  };
  const auto length = static_cast<std::int32_t>(url.size());
  std::int32_t start = 1;
  while (start < length) {
    std::int32_t found = WidePosEx(host, url, start);
    if (found == 0) break;
    if (found > start)
      join(Constant(
          OleVariant(url.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(found - start)))));
    auto raw = NewElement<IcvSyntaxRawText>();
    BString text(as);
    OleCheck(raw->put_Text(text.Get()));
    join(ComPtr<IcvSyntaxElement>(raw));
    start = found + static_cast<std::int32_t>(host.size());
  }
  if (start <= length) join(Constant(OleVariant(url.substr(static_cast<std::size_t>(start - 1)))));
  return result;
}

WideString TpwWebEventAnalyzer::UrlText(WideStringView url) {
  auto expression = UrlExpression(url);
  if (!expression) return {};
  BString text;
  OleCheck(syntax_->RenderElement(expression.Get(), GetCurrentLanguageKey(manager_.Get()), text.Put()));
  return WideString(text.View());
}

WideString TpwWebEventAnalyzer::MaskUrl(WideStringView url) {
  if (!options_.GetIgnoreDynamicUrlParams()) return WideString(url);
  std::vector<WideString> names;
  options_.GetDynamicParameters(names);
  return MaskDynamicUrlParams(url, names);
}

// ---- The object namer
// ---------------------------------------------------------------------------

HRESULT TpwWebEventAnalyzer::MakeObjectExpression(BSTR name, VARIANT_BOOL hasParams, const VARIANT& params,
                                                  IcvSyntaxElement** expression, VARIANT_BOOL* result) {
  return SafeCall([&] {
    if (!expression || !result) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *expression = nullptr;
    *result = VARIANT_FALSE;
    const VARIANT& p = VariantDeref(params);
    if (!hasParams || !SameTextIgnoringCase(BstrView(name), u"page") || !(p.vt & VT_ARRAY) || !p.parray) return;
    if (SafeArrayGetDim(p.parray) != 1) return;
    std::int32_t low = 0, high = -1;
    OleCheck(SafeArrayGetLBound(p.parray, 1, &low));
    OleCheck(SafeArrayGetUBound(p.parray, 1, &high));
    if (low != high) return;
    OleVariant element;
    VARTYPE vt = p.vt & ~VT_ARRAY;
    if (vt == VT_VARIANT) {
      OleCheck(SafeArrayGetElement(p.parray, &low, element.Put()));
    } else if (vt == VT_BSTR) {
      BSTR s = nullptr;
      OleCheck(SafeArrayGetElement(p.parray, &low, &s));
      element = OleVariant(BstrView(s));
      SysFreeString(s);
    } else {
      throw EOleSysError(u"The page parameter is no text", DISP_E_TYPEMISMATCH);
    }
    WideString url = element.IsEmpty() || element.IsNull() ? WideString() : element.AsString();
    auto invoke = NewElement<IcvSyntaxCodeInvokeExpression>();
    BString page(u"Page");
    OleCheck(invoke->put_Name(page.Get()));
    OleCheck(invoke->put_HasArgumentList(VARIANT_TRUE));
    auto list = NewElement<IcvSyntaxExpressionCollection>();
    auto urlExpression = UrlExpression(MaskUrl(url));
    if (!urlExpression) urlExpression = Constant(OleVariant(u""));
    OleCheck(list->Add(urlExpression.Get()));
    OleCheck(invoke->put_Arguments(list.Get()));
    *expression = static_cast<IcvSyntaxElement*>(invoke.Detach());
    *result = VARIANT_TRUE;
  });
}

// ---- Descriptions
// -------------------------------------------------------------------------------

HRESULT TpwWebEventAnalyzer::Describe(IpwRecordedCodeWriter* writer, IpwRecordedActionList* actions) {
  return SafeCall([&] { DoDescribe(writer, actions); });
}

void TpwWebEventAnalyzer::DoDescribe(IpwRecordedCodeWriter* writer, IpwRecordedActionList* actions) {
  if (!writer || !actions) throw EOleSysError(u"No code writer or recording", E_POINTER);
  GUID previousKind{}, previousObject{};
  WideString lastBrowserType;

  auto newCall = [&](IUnknown* object, WideStringView method) {
    ComPtr<IpwRecordedCall> call;
    OleCheck(writer->NewCall(call.Put()));
    if (!call) throw EOleSysError(u"The code writer made no call", E_UNEXPECTED);
    OleCheck(call->SetObject(object));
    BString m(method);
    OleCheck(call->SetMethod(m.Get()));
    return call;
  };
  auto addParam = [](IpwRecordedCall* call, const OleVariant& value) { OleCheck(call->AddParam(value.Get())); };
  auto finish = [&](IpwRecordedAction* action, IpwRecordedCall* call, WideStringView description, bool flag) {
    if (!description.empty()) {
      BString d(description);
      OleCheck(call->SetDescription(d.Get()));
    }
    OleCheck(writer->SetActionCode(action, call, flag ? VARIANT_TRUE : VARIANT_FALSE));
  };
  auto addShift = [](IpwRecordedAction* action, IpwRecordedCall* call) {
    std::int32_t shift = ParamInt(action, keys::kShiftState).value_or(0);
    if (shift == 0) return;
    ComPtr<IpwRecordedSetParam> set;
    OleCheck(call->AddSetParam(set.Put()));
    if (!set) throw EOleSysError(u"The call made no set parameter", E_UNEXPECTED);
    const std::pair<std::int32_t, const char16_t*> members[] = {{4, u"skShift"}, {2, u"skCtrl"}, {1, u"skAlt"}};
    for (const auto& [bit, member] : members)
      if (shift & bit) {
        BString n(member);
        OleCheck(set->AddMember(n.Get(), 16));
      }
  };
  auto clickMethod = [](IpwRecordedAction* action, const char16_t* const* table) {
    std::int32_t mask = ParamInt(action, keys::kButtonMask).value_or(0) & 7;
    WideString name = table[mask];
    if (ParamIsTrue(action, keys::kDoubleClick)) name = u"Dbl" + name;
    return name;
  };
  auto findObject = [&](IpwRecordedAction* action, const GUID& key) -> ComPtr<IUnknown> {
    WideString text = ParamText(action, key);
    if (text.empty()) return nullptr;
    auto id = GuidFromString(std::u16string_view(text));
    if (!id) return nullptr;
    ComPtr<IUnknown> object;
    OleCheck(actions->FindObject(*id, object.Put()));
    return object;
  };

  auto describeItemClick = [&](IpwRecordedAction* action, IUnknown* object) {
    WideString method = clickMethod(action, kItemClickNames);
    WideString given = ParamText(action, keys::kItemMethod);
    if (GetActionParam(action, keys::kItemMethod) && given != u"ClickItem") method = given;
    auto call = newCall(object, method);
    auto item = GetActionParam(action, keys::kItem);
    if (!item || (item->Type() == VT_BSTR && BstrView(item->Get().bstrVal).empty()) || item->IsEmpty()) {
      auto text = GetActionParam(action, keys::kItemText);
      addParam(call.Get(), text ? *text : OleVariant(u""));
    } else {
      addParam(call.Get(), *item);
    }
    if (auto extra = GetActionParam(action, keys::kItemExtra)) addParam(call.Get(), *extra);
    addShift(action, call.Get());
    OleCheck(call->SetFlag(VARIANT_FALSE));
    finish(action, call.Get(), u"Selects the %p1 item of the '%n' select control.", false);
  };

  auto describeNavigation = [&](IpwRecordedAction* action) {
    auto onProcess = GetActionParam(action, keys::kOnProcess);
    if (!onProcess || !ParamIsTrue(action, keys::kOnProcess)) return;
    auto typeParam = GetActionParam(action, keys::kBrowserType);
    if (!typeParam) return;
    WideString type = typeParam->IsEmpty() || typeParam->IsNull() ? WideString() : typeParam->AsString();
    bool single = false;
    try {
      single = GetSettingValue(manager_.Get(), kSingleBrowserSetting).AsBool();
    } catch (const Exception&) {
      single = false;
    }
    bool activated = !single && ParamIsTrue(action, keys::kActivated);
    WideString url = ParamText(action, keys::kUrl);
    if (!single && !type.empty() && !SameTextIgnoringCase(type, lastBrowserType)) {
      lastBrowserType = type;
      if (activated) return;
      // Item(type).Navigate(url): a statement of its own before the action.
      auto item = NewElement<IcvSyntaxCodeInvokeExpression>();
      BString itemName(u"Item");
      OleCheck(item->put_Name(itemName.Get()));
      auto itemArgs = NewElement<IcvSyntaxExpressionCollection>();
      OleCheck(itemArgs->Add(Constant(OleVariant(type)).Get()));
      OleCheck(item->put_Arguments(itemArgs.Get()));
      OleCheck(item->put_HasArgumentList(VARIANT_TRUE));
      auto navigate = NewElement<IcvSyntaxCodeInvokeExpression>();
      BString navigateName(u"Navigate");
      OleCheck(navigate->put_Name(navigateName.Get()));
      auto navigateArgs = NewElement<IcvSyntaxExpressionCollection>();
      OleCheck(navigateArgs->Add(Constant(OleVariant(url)).Get()));
      OleCheck(navigate->put_Arguments(navigateArgs.Get()));
      OleCheck(navigate->put_HasArgumentList(VARIANT_TRUE));
      OleCheck(navigate->put_Qualifier(item.Get()));
      OleCheck(writer->AddStatementBefore(action, navigate.Get()));
      return;
    }
    if (activated) return;
    // The page call.
    auto object = findObject(action, keys::kPageObjectId);
    if (!object) object = findObject(action, keys::kAltPageObjectId);
    if (!object) return;
    if (TpwWebTestingOptions::GetRecordOnProcess()) {
      while (object && ObjectKind(object.Get()) != kinds::kProcessNode) object = ObjectRelated(object.Get());
      if (!object) return;
    }
    ComPtr<IpwRecordedCall> call;
    if (GetActionParam(action, keys::kActivateObjectId)) {
      auto target = findObject(action, keys::kActivateObjectId);
      call = newCall(target ? target.Get() : object.Get(), u"Activate");
    } else {
      call = newCall(object.Get(), u"ToUrl");
      auto expression = UrlExpression(url);
      if (!expression) expression = Constant(OleVariant(u""));
      addParam(call.Get(), OleVariant(static_cast<IUnknown*>(expression.Get())));
      if (SameTextIgnoringCase(UrlExtension(url), u".mht")) OleCheck(call->SetFlag(VARIANT_TRUE));
    }
    finish(action, call.Get(), u"Navigates to the '%p1' address.", true);
  };

  OleCheck(actions->Reset());
  while (actions->HasNext()) {
    ComPtr<IpwRecordedAction> holder;
    OleCheck(actions->Next(holder.Put()));
    if (!holder) throw EOleSysError(u"The recording gave no action", E_UNEXPECTED);
    IpwRecordedAction* action = holder.Get();
    GUID kind = ActionKind(action);
    auto object = ActionObject(action);
    GUID objectId = object ? ObjectId(object.Get()) : GUID{};

    if (kind == kinds::kWaitAction) {
      if (!(kind == previousKind && objectId == previousObject)) {
        if (options_.GetAddWaitComments()) {
          if (auto url = GetActionParam(action, keys::kUrl)) {
            WideString urlText = url->IsEmpty() || url->IsNull() ? WideString() : url->AsString();
            auto comment = NewElement<IcvSyntaxComment>();
            auto text = NewElement<IcvSyntaxCommentText>();
            BString t(WideFormat(u"Please wait until download completes: %s", {UrlText(urlText)}));
            OleCheck(text->put_Text(t.Get()));
            OleCheck(comment->put_Body(text.Get()));
            OleCheck(writer->AddStatementBefore(action, comment.Get()));
          }
        }
        auto call = newCall(object.Get(), u"Wait");
        finish(action, call.Get(),
               u"Waits until the browser loads the page and is ready to accept "
               u"user input.",
               false);
      }
    } else if (kind == kinds::kNavigateAction) {
      describeNavigation(action);
    } else if (kind == kinds::kClickAction && GetActionParam(action, keys::kItem)) {
      describeItemClick(action, object.Get());
    } else if (kind == kinds::kClickAction) {
      auto call = newCall(object.Get(), clickMethod(action, kClickNames));
      addParam(call.Get(), OleVariant(ParamInt(action, keys::kX).value_or(0)));
      addParam(call.Get(), OleVariant(ParamInt(action, keys::kY).value_or(0)));
      addShift(action, call.Get());
      OleCheck(call->SetFlag(VARIANT_FALSE));
      finish(action, call.Get(), u"Clicks the '%n' control.", false);
    } else if (kind == kinds::kItemClickAction) {
      describeItemClick(action, object.Get());
    } else if (kind == kinds::kSetCheckedAction) {
      auto call = newCall(object.Get(), u"ClickChecked");
      auto checked = GetActionParam(action, keys::kChecked);
      addParam(call.Get(), checked ? *checked : OleVariant(false));
      finish(action, call.Get(), u"Sets the Checked property of the '%n' check box to %p1.", false);
    } else if (kind == kinds::kRefreshAction) {
      auto call = newCall(object.Get(), u"Refresh");
      finish(action, call.Get(), u"", true);
    } else if (kind == kinds::kTabClickAction) {
      auto call = newCall(object.Get(), u"ClickTab");
      addParam(call.Get(), OleVariant(ParamText(action, keys::kItem)));
      finish(action, call.Get(), u"Selects the %p1 tab of the '%n' tab control.", false);
    } else if (kind == kinds::kClosePageAction) {
      auto call = newCall(object.Get(), u"Close");
      finish(action, call.Get(), u"Closes the browser page.", false);
    } else if (kind == kinds::kSimpleClickAction) {
      auto call = newCall(object.Get(), ParamText(action, keys::kMethodName));
      finish(action, call.Get(), u"Clicks the '%n' control.", true);
    }
    previousKind = kind;
    previousObject = objectId;
  }
}

}  // namespace pw::web
