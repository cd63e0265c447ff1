#include "host/code_model.h"

#include <charconv>
#include <cmath>
#include <set>

#include "platform/rtl/strings.h"

namespace pw::host {

// ---- Elements -----------------------------------------------------------------------------

HRESULT TSyntaxInvokeExpression::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kInvokeExpression); });
}
HRESULT TSyntaxInvokeExpression::get_Name(BSTR* name) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(name, name_);
  });
}
HRESULT TSyntaxInvokeExpression::put_Name(BSTR name) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    name_ = WideString(BstrView(name));
  });
}
HRESULT TSyntaxInvokeExpression::get_Qualifier(IcvSyntaxElement** qualifier) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(qualifier, qualifier_);
  });
}
HRESULT TSyntaxInvokeExpression::put_Qualifier(IcvSyntaxElement* qualifier) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    qualifier_ = qualifier;
  });
}
HRESULT TSyntaxInvokeExpression::get_Arguments(IcvSyntaxExpressionCollection** arguments) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(arguments, arguments_);
  });
}
HRESULT TSyntaxInvokeExpression::put_Arguments(IcvSyntaxExpressionCollection* arguments) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    arguments_ = arguments;
  });
}
HRESULT TSyntaxInvokeExpression::get_HasArgumentList(VARIANT_BOOL* value) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<VARIANT_BOOL>(value, ToWordBool(hasArgumentList_));
  });
}
HRESULT TSyntaxInvokeExpression::put_HasArgumentList(VARIANT_BOOL value) {
  std::lock_guard guard(lock_);
  hasArgumentList_ = value != 0;
  return S_OK;
}

HRESULT TSyntaxExpressionCollection::Add(IcvSyntaxElement* element) {
  return SafeCall([&] {
    if (!element) throw EOleSysError(u"No element", E_INVALIDARG);
    std::lock_guard guard(lock_);
    items_.emplace_back(element);
  });
}
HRESULT TSyntaxExpressionCollection::GetCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, items_);
  });
}
HRESULT TSyntaxExpressionCollection::GetItem(std::int32_t index, IcvSyntaxElement** element) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutItem(element, items_, index);
  });
}

HRESULT TSyntaxConstantExpression::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kConstantExpression); });
}
HRESULT TSyntaxConstantExpression::get_Value(VARIANT* value) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(value, value_);
  });
}
HRESULT TSyntaxConstantExpression::put_Value(const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(value));
    std::lock_guard guard(lock_);
    value_ = std::move(v);
  });
}

HRESULT TSyntaxBinaryExpression::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kBinaryExpression); });
}
HRESULT TSyntaxBinaryExpression::get_Operator(std::int32_t* code) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(code, operator_);
  });
}
HRESULT TSyntaxBinaryExpression::put_Operator(std::int32_t code) {
  std::lock_guard guard(lock_);
  operator_ = code;
  return S_OK;
}
HRESULT TSyntaxBinaryExpression::get_Left(IcvSyntaxElement** left) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(left, left_);
  });
}
HRESULT TSyntaxBinaryExpression::put_Left(IcvSyntaxElement* left) {
  std::lock_guard guard(lock_);
  left_ = left;
  return S_OK;
}
HRESULT TSyntaxBinaryExpression::get_Right(IcvSyntaxElement** right) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(right, right_);
  });
}
HRESULT TSyntaxBinaryExpression::put_Right(IcvSyntaxElement* right) {
  std::lock_guard guard(lock_);
  right_ = right;
  return S_OK;
}

HRESULT TSyntaxRawText::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kRawText); });
}
HRESULT TSyntaxRawText::get_Text(BSTR* text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(text, text_);
  });
}
HRESULT TSyntaxRawText::put_Text(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    text_ = WideString(BstrView(text));
  });
}

HRESULT TSyntaxComment::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kCommentStatement); });
}
HRESULT TSyntaxComment::get_Body(IcvSyntaxElement** body) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(body, body_);
  });
}
HRESULT TSyntaxComment::put_Body(IcvSyntaxElement* body) {
  std::lock_guard guard(lock_);
  body_ = body;
  return S_OK;
}

HRESULT TSyntaxCommentText::GetElementKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, kCommentText); });
}
HRESULT TSyntaxCommentText::get_Text(BSTR* text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(text, text_);
  });
}
HRESULT TSyntaxCommentText::put_Text(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    text_ = WideString(BstrView(text));
  });
}

ComPtr<IcvSyntaxCodeInvokeExpression> MakeInvokeExpression(WideStringView name, const std::vector<OleVariant>& args,
                                                           IcvSyntaxElement* qualifier) {
  auto invoke = MakeObject<TSyntaxInvokeExpression>();
  BString n(name);
  OleCheck(invoke->put_Name(n.Get()));
  if (qualifier) OleCheck(invoke->put_Qualifier(qualifier));
  if (!args.empty()) {
    auto list = MakeObject<TSyntaxExpressionCollection>();
    for (const auto& a : args) {
      auto c = MakeObject<TSyntaxConstantExpression>();
      OleCheck(c->put_Value(a.Get()));
      OleCheck(list->Add(c.Get()));
    }
    OleCheck(invoke->put_Arguments(list.Get()));
    OleCheck(invoke->put_HasArgumentList(VARIANT_TRUE));
  }
  return invoke;
}

// ---- Rendering ----------------------------------------------------------------------------

namespace {

enum class Lang { JavaScript, VBScript };

WideString NumberText(double d, Lang lang) {
  if (std::isnan(d)) return lang == Lang::JavaScript ? u"NaN" : u"(0/0)";
  if (std::isinf(d)) {
    if (lang == Lang::JavaScript) return d > 0 ? u"Infinity" : u"-Infinity";
    throw EOleSysError(u"An infinite number has no VBScript form", E_INVALIDARG);
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return AsciiToWide(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

WideString QuoteJavaScript(WideStringView s) {
  WideString r = u"\"";
  for (char16_t c : s) {
    switch (c) {
      case u'"': r += u"\\\""; break;
      case u'\\': r += u"\\\\"; break;
      case u'\n': r += u"\\n"; break;
      case u'\r': r += u"\\r"; break;
      case u'\t': r += u"\\t"; break;
      default:
        if (c < 0x20 || c == 0x2028 || c == 0x2029)
          r += u"\\u" + IntToHexWide(c, 4);
        else
          r += c;
    }
  }
  return r + u"\"";
}

WideString QuoteVBScript(WideStringView s) {
  // Control characters have no escape inside VBScript literals: they are joined in with Chr.
  WideString r;
  WideString run;
  auto flush = [&] {
    if (!r.empty()) r += u" & ";
    r += u"\"" + run + u"\"";
    run.clear();
  };
  bool any = false;
  for (char16_t c : s) {
    if (c < 0x20) {
      if (!run.empty() || !any) flush();
      r += u" & Chr(" + IntToWide(c) + u")";
      any = true;
      continue;
    }
    run += c;
    if (c == u'"') run += u'"';
  }
  if (!run.empty() || !any) flush();
  return r;
}

WideString RenderConstant(const VARIANT& value, Lang lang) {
  const VARIANT& v = VariantDeref(value);
  bool js = lang == Lang::JavaScript;
  switch (v.vt) {
    case VT_EMPTY: return js ? u"null" : u"Empty";
    case VT_NULL: return js ? u"null" : u"Null";
    case VT_BOOL: return v.boolVal ? (js ? u"true" : u"True") : (js ? u"false" : u"False");
    case VT_BSTR: return js ? QuoteJavaScript(BstrView(v.bstrVal)) : QuoteVBScript(BstrView(v.bstrVal));
    case VT_I1: return IntToWide(v.cVal);
    case VT_UI1: return IntToWide(v.bVal);
    case VT_I2: return IntToWide(v.iVal);
    case VT_UI2: return IntToWide(v.uiVal);
    case VT_I4:
    case VT_INT: return IntToWide(v.lVal);
    case VT_UI4:
    case VT_UINT: return IntToWide(v.ulVal);
    case VT_I8: return IntToWide(v.llVal);
    case VT_UI8: return AsciiToWide(std::to_string(v.ullVal));
    case VT_R4: return NumberText(v.fltVal, lang);
    case VT_R8: return NumberText(v.dblVal, lang);
    case VT_CY: return NumberText(static_cast<double>(v.cyVal.int64) / 10000.0, lang);
    default: break;
  }
  // Anything else is written as its text.
  OleVariant copy(v);
  WideString text;
  try {
    text = copy.AsString();
  } catch (const Exception&) {
    throw EOleSysError(u"A constant of type " + IntToWide(v.vt) + u" has no source form", E_INVALIDARG);
  }
  return js ? QuoteJavaScript(text) : QuoteVBScript(text);
}

class Renderer {
 public:
  explicit Renderer(Lang lang) : lang_(lang) {}

  WideString Render(IcvSyntaxElement* element) {
    if (!element) return {};
    IUnknown* id = IdentityOf(element);
    if (!visiting_.insert(id).second) throw EOleSysError(u"The code element refers to itself", E_INVALIDARG);
    WideString r = RenderOnce(element);
    visiting_.erase(id);
    return r;
  }

 private:
  WideString RenderOnce(IcvSyntaxElement* element) {
    if (auto invoke = QueryAs<IcvSyntaxCodeInvokeExpression>(element)) {
      BString name;
      OleCheck(invoke->get_Name(name.Put()));
      ComPtr<IcvSyntaxElement> qualifier;
      OleCheck(invoke->get_Qualifier(qualifier.Put()));
      WideString r;
      if (qualifier) r = Render(qualifier.Get()) + u".";
      r += name.Str();
      VARIANT_BOOL hasList = VARIANT_FALSE;
      OleCheck(invoke->get_HasArgumentList(&hasList));
      if (hasList) {
        ComPtr<IcvSyntaxExpressionCollection> args;
        OleCheck(invoke->get_Arguments(args.Put()));
        r += u"(" + (args ? RenderList(args.Get()) : WideString()) + u")";
      }
      return r;
    }
    if (auto list = QueryAs<IcvSyntaxExpressionCollection>(element)) return RenderList(list.Get());
    if (auto binary = QueryAs<IcvSyntaxBinaryExpression>(element)) {
      std::int32_t code = 0;
      OleCheck(binary->get_Operator(&code));
      ComPtr<IcvSyntaxElement> left, right;
      OleCheck(binary->get_Left(left.Put()));
      OleCheck(binary->get_Right(right.Put()));
      if (code != kConcatenationOperator)
        throw EOleSysError(u"The code model has no operator " + IntToWide(code), E_INVALIDARG);
      return Render(left.Get()) + (lang_ == Lang::JavaScript ? u" + " : u" & ") + Render(right.Get());
    }
    if (auto raw = QueryAs<IcvSyntaxRawText>(element)) {
      BString text;
      OleCheck(raw->get_Text(text.Put()));
      return WideString(text.View());
    }
    if (auto comment = QueryAs<IcvSyntaxComment>(element)) {
      ComPtr<IcvSyntaxElement> body;
      OleCheck(comment->get_Body(body.Put()));
      return (lang_ == Lang::JavaScript ? u"// " : u"' ") + Render(body.Get());
    }
    if (auto text = QueryAs<IcvSyntaxCommentText>(element)) {
      BString t;
      OleCheck(text->get_Text(t.Put()));
      WideString r(t.View());
      for (auto& c : r)
        if (c == u'\r' || c == u'\n') c = u' ';
      return r;
    }
    if (auto constant = QueryAs<IcvSyntaxConstantExpression>(element)) {
      OleVariant v;
      OleCheck(constant->get_Value(v.Put()));
      return RenderConstant(v.Get(), lang_);
    }
    throw EOleSysError(u"The code element has no source form", E_INVALIDARG);
  }

  WideString RenderList(IcvSyntaxExpressionCollection* list) {
    std::int32_t count = 0;
    OleCheck(list->GetCount(&count));
    WideString r;
    for (std::int32_t i = 0; i < count; ++i) {
      ComPtr<IcvSyntaxElement> item;
      OleCheck(list->GetItem(i, item.Put()));
      if (i > 0) r += u", ";
      r += Render(item.Get());
    }
    return r;
  }

  Lang lang_;
  std::set<IUnknown*> visiting_;
};

}  // namespace

WideString RenderSyntaxElement(IcvSyntaxElement* element, const GUID& languageKey) {
  Lang lang;
  if (languageKey == kJavaScriptLanguageKey)
    lang = Lang::JavaScript;
  else if (languageKey == kVBScriptLanguageKey)
    lang = Lang::VBScript;
  else
    throw EOleSysError(u"Unknown scripting language " + GuidToWideString(languageKey), E_INVALIDARG);
  return Renderer(lang).Render(element);
}

// ---- TSyntaxManager -----------------------------------------------------------------------

TSyntaxManager::TSyntaxManager()
    : languages_{{kJavaScriptLanguageKey, u"JavaScript"}, {kVBScriptLanguageKey, u"VBScript"}} {}

HRESULT TSyntaxManager::GetLanguageCount(std::int32_t* count) {
  return SafeCall([&] { SetOutCount(count, languages_); });
}

HRESULT TSyntaxManager::GetLanguageKey(std::int32_t index, GUID* key) {
  return SafeCall([&] {
    CheckIndex(index, languages_.size());
    SetOutValue(key, languages_[static_cast<std::size_t>(index)].key);
  });
}

HRESULT TSyntaxManager::GetLanguageName(const GUID& key, BSTR* name) {
  return SafeCall([&] {
    for (const auto& l : languages_)
      if (l.key == key) return SetOut(name, l.name);
    throw EOleSysError(u"Unknown scripting language " + GuidToWideString(key), E_INVALIDARG);
  });
}

HRESULT TSyntaxManager::RenderElement(IcvSyntaxElement* element, const GUID& languageKey, BSTR* text) {
  return SafeCall([&] {
    if (!element) throw EOleSysError(u"No code element", E_INVALIDARG);
    SetOut(text, RenderSyntaxElement(element, languageKey));
  });
}

HRESULT TSyntaxManager::CreateObject(const GUID& iid, IUnknown** object) {
  return SafeCall([&] {
    ComPtr<IUnknown> made;
    if (iid == IcvSyntaxCodeInvokeExpression::iid)
      made = MakeObject<TSyntaxInvokeExpression>()->Identity();
    else if (iid == IcvSyntaxExpressionCollection::iid)
      made = MakeObject<TSyntaxExpressionCollection>()->Identity();
    else if (iid == IcvSyntaxConstantExpression::iid)
      made = MakeObject<TSyntaxConstantExpression>()->Identity();
    else if (iid == IcvSyntaxBinaryExpression::iid)
      made = MakeObject<TSyntaxBinaryExpression>()->Identity();
    else if (iid == IcvSyntaxRawText::iid)
      made = MakeObject<TSyntaxRawText>()->Identity();
    else if (iid == IcvSyntaxComment::iid)
      made = MakeObject<TSyntaxComment>()->Identity();
    else if (iid == IcvSyntaxCommentText::iid)
      made = MakeObject<TSyntaxCommentText>()->Identity();
    else
      throw EOleSysError(u"The code model has no object for " + GuidToWideString(iid), E_NOINTERFACE);
    OleCheck(made->QueryInterface(iid, reinterpret_cast<void**>(object)));
  });
}

}  // namespace pw::host
