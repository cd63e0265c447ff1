#include "host/browser/objects/dom_object.h"

#include <cmath>
#include <limits>

#include "platform/automation/dispatch_call.h"
#include "platform/automation/safearray.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {

using browser::BrowserError;
using browser::ErrorKind;
using browser::Json;
using browser::RemoteValue;

namespace {

// kind: 0 method or property get, 1 property get, 2 property put, 3 method. An empty name is
// the object's default member: an item of a collection, or the object itself.
constexpr const char* kInvokeHelper = R"(function(kind, name, ...args) {
  if (kind === 2) { this[name] = args[0]; return undefined; }
  if (name === '') {
    if (args.length && typeof this.item === 'function') return this.item(args[0]);
    return this;
  }
  const v = this[name];
  if (typeof v === 'function' && kind !== 1) return v.apply(this, args);
  if (args.length && v != null && typeof v.item === 'function') return v.item(args[0]);
  return v;
})";

constexpr const char* kResolveHelper = R"(function(n) {
  if (n in this) return n;
  const l = n.toLowerCase();
  for (const k in this) if (k.toLowerCase() === l) return k;
  return '';
})";

// Returns an array of nodes (or a scalar for XPath expressions that yield one).
constexpr const char* kXPathHelper = R"(function(expression, inFrames) {
  const collect = (doc, context, out) => {
    const r = doc.evaluate(expression, context, null, XPathResult.ANY_TYPE, null);
    switch (r.resultType) {
      case XPathResult.NUMBER_TYPE: return r.numberValue;
      case XPathResult.STRING_TYPE: return r.stringValue;
      case XPathResult.BOOLEAN_TYPE: return r.booleanValue;
    }
    for (let n = r.iterateNext(); n; n = r.iterateNext()) out.push(n);
    if (inFrames) for (const f of doc.querySelectorAll('iframe,frame')) {
      let d = null;
      try { d = f.contentDocument; } catch (e) {}
      if (d) collect(d, d, out);
    }
    return out;
  };
  const doc = this.nodeType === 9 ? this : this.ownerDocument;
  return collect(doc, this, []);
})";

constexpr const char* kCssHelper = R"(function(selector, single) {
  return single ? this.querySelector(selector) : Array.from(this.querySelectorAll(selector));
})";

// The element identifier: a page-wide name kept in a weak map of the page's window, with the
// reverse map that finds the element again by it (element_nodes.h reads levels and resolves nodes
// through both). An element of a frame the page reaches (the same site's) is named in the page's
// maps like the page's own (it has a test object under its frame's); one of a frame the page
// cannot reach is named apart, in its own window's maps.
constexpr const char* kIdHelper = R"(function() {
  let w = (this.ownerDocument || this).defaultView || window;
  let prefix = 'pw';
  try {
    if (w.top !== w && w.top.document) w = w.top;
  } catch (e) {
    prefix = 'pwf';
  }
  if (!w.__pwIds) { w.__pwIds = new WeakMap(); w.__pwNextId = 0; w.__pwById = new Map(); }
  let id = w.__pwIds.get(this);
  if (id === undefined) { id = prefix + (++w.__pwNextId); w.__pwIds.set(this, id); w.__pwById.set(id, new WeakRef(this)); }
  return id;
})";

// The chain of element identifiers from a child of the page's body down to this element, as a
// JSON text, through the frames it is in (a frame's node holds the elements below its document's
// body); "" for an element outside the bodies or in a frame the page cannot reach.
constexpr const char* kChainHelper = R"(function() {
  let t = null;
  try { t = window.top; if (!t.document) t = null; } catch (e) { t = null; }
  if (!t) return '';
  const d = t.document, w = t;
  if (!w.__pwIds) { w.__pwIds = new WeakMap(); w.__pwNextId = 0; w.__pwById = new Map(); }
  const idOf = (e) => {
    let id = w.__pwIds.get(e);
    if (id === undefined) { id = 'pw' + (++w.__pwNextId); w.__pwIds.set(e, id); w.__pwById.set(id, new WeakRef(e)); }
    return id;
  };
  const bodyOf = (x) => x.body || x.documentElement;
  const root = bodyOf(d);
  const chain = [];
  let e = this;
  while (e && e !== root) {
    const od = e.ownerDocument;
    if (od !== d && (e === bodyOf(od) || e === od.documentElement)) return '';
    chain.unshift(idOf(e));
    let p = e.parentElement;
    if (od !== d && p === bodyOf(od)) p = od.defaultView ? od.defaultView.frameElement : null;
    e = p;
  }
  return e === root && this !== root ? JSON.stringify(chain) : '';
})";

// The list members (dom_object.h). Every answer is a JSON text {"v": change count, "r": result}.
constexpr const char* kListHelper = R"(function(op, index, op2) {
  const w = (this.ownerDocument || document).defaultView || window;
  if (op === 'enabled') {
    let d = !!this.disabled;
    try { d = d || !!(this.closest && this.closest('fieldset[disabled]')); } catch (e) {}
    return JSON.stringify({v: 0, r: !d});
  }
  const isSelect = this.tagName === 'SELECT';
  const isTabs = !isSelect && this.getAttribute && this.getAttribute('role') === 'tablist';
  if (!isSelect && !isTabs) throw new Error('The object has no items');
  if (!w.__pwLists) w.__pwLists = new WeakMap();
  let entry = w.__pwLists.get(this);
  if (!entry) {
    entry = {v: 1};
    new w.MutationObserver(() => { entry.v++; }).observe(this,
        {subtree: true, childList: true, characterData: true, attributes: true});
    if (isSelect) this.addEventListener('change', () => { entry.v++; }, true);
    w.__pwLists.set(this, entry);
  }
  const items = isSelect ? Array.from(this.options) : Array.from(this.querySelectorAll('[role=tab]'));
  const text = (i) => isSelect ? i.text : (i.textContent || '').trim();
  const selected = (i) => isSelect ? i.selected : i.getAttribute('aria-selected') === 'true';
  const inRange = (n) => Number.isInteger(n) && n >= 0 && n < items.length;
  let r;
  switch (op) {
    case 'count': r = items.length; break;
    case 'texts': r = items.map(text); break;
    case 'text': if (!inRange(index)) throw new Error('The item index is out of range'); r = text(items[index]); break;
    case 'selected': r = isSelect ? this.selectedIndex : items.findIndex(selected); break;
    case 'selectedList': r = []; items.forEach((i, n) => { if (selected(i)) r.push(n); }); break;
    case 'disabled':
      if (!inRange(index)) throw new Error('The item index is out of range');
      r = isSelect ? !!(items[index].disabled || (items[index].parentElement &&
                       items[index].parentElement.tagName === 'OPTGROUP' && items[index].parentElement.disabled))
                   : items[index].getAttribute('aria-disabled') === 'true';
      break;
    case 'multi': r = isSelect ? !!this.multiple : false; break;
    case 'rect': {
      if (!inRange(index)) { r = null; break; }
      if (isSelect && !this.multiple && this.size <= 1) {  // a drop-down: its list window shows the items
        if (!w.__pwIds) { w.__pwIds = new WeakMap(); w.__pwNextId = 0; w.__pwById = new Map(); }
        let id = w.__pwIds.get(this);
        if (id === undefined) { id = 'pw' + (++w.__pwNextId); w.__pwIds.set(this, id); w.__pwById.set(id, new WeakRef(this)); }
        const b = this.getBoundingClientRect();
        r = {id: id, count: items.length, height: Math.max(1, Math.round(b.height)), width: Math.max(1, Math.round(b.width))};
        break;
      }
      const item = items[index];
      if (op2) item.scrollIntoView({block: 'nearest', inline: 'nearest'});
      const b = item.getBoundingClientRect();
      if (b.width <= 0 || b.height <= 0) { r = null; break; }
      r = [Math.round(b.left), Math.round(b.top), Math.round(b.right), Math.round(b.bottom)];
      break;
    }
    default: throw new Error('Unknown list member');
  }
  return JSON.stringify({v: entry.v, r: r});
})";

[[noreturn]] void Raise(const std::string& text) { throw EOleSysError(Utf8ToWide(text), DISP_E_EXCEPTION); }

constexpr IID kDomObjectIid = MakeGuid("{6E1C2A51-3F0B-4C8E-9A77-0B1D5E2F4C10}");

class TDomObject : public Implements<ComObject, IDispatch> {
 public:
  TDomObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names, RemoteValue value)
      : page_(std::move(page)),
        names_(std::move(names)),
        objectId_(value.ObjectId()),
        className_(value.object.value("className", value.Type())),
        document_(page_->Document()) {}
  // An element known by its identifier, looked up at its first use.
  TDomObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names, std::string elementId,
             std::uint64_t document)
      : page_(std::move(page)), names_(std::move(names)), elementId_(std::move(elementId)), document_(document) {}

  ~TDomObject() override {
    std::string id;
    {
      std::lock_guard lock(resolveMutex_);
      id = objectId_;
    }
    if (!id.empty() && !page_->Closed() && page_->Document() == document_) page_->Release(id);
  }

  // The engine's handle of the object (an element known by its identifier is looked up first).
  std::string ObjectId() {
    std::lock_guard lock(resolveMutex_);
    if (objectId_.empty()) {
      CheckAlive();
      const RemoteValue r =
          page_->Evaluate("(() => { const r = window.__pwById && window.__pwById.get(" + Json(elementId_).dump() +
                          "); const e = r && r.deref(); return e && e.isConnected ? e : null; })()");
      if (!r.IsObject()) Raise(browser::kStaleObjectMessage);
      if (page_->Document() != document_) {
        page_->Release(r.ObjectId());
        Raise(browser::kStaleObjectMessage);
      }
      objectId_ = r.ObjectId();
      className_ = r.object.value("className", r.Type());
    }
    return objectId_;
  }
  std::string ClassName() {
    ObjectId();
    std::lock_guard lock(resolveMutex_);
    return className_;
  }

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (riid == kDomObjectIid && ppv) {
      *ppv = this;  // no reference: an identity probe of this layer only
      return S_OK;
    }
    return ComObject::QueryInterface(riid, ppv);
  }

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT result = S_OK;
    const HRESULT hr = SafeCall([&] {
      for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      if (count == 0) return;
      const std::string name = WideToUtf8(names[0]);
      if (const DISPID fixed = ListMemberId(name); fixed != DISPID_UNKNOWN) {
        ids[0] = fixed;
        if (count > 1) result = DISP_E_UNKNOWNNAME;
        return;
      }
      const std::string className = ClassName();
      std::optional<std::string> resolved = names_->Resolved(className, name);
      if (!resolved) {
        CheckAlive();
        resolved = page_->CallOn(ObjectId(), kResolveHelper, Json::array({{{"value", name}}}))
                       .object.value("value", std::string());
        names_->SetResolved(className, name, *resolved);
      }
      if (resolved->empty()) {
        result = DISP_E_UNKNOWNNAME;
        return;
      }
      ids[0] = names_->IdOf(*resolved);
      if (count > 1) result = DISP_E_UNKNOWNNAME;  // named arguments are not supported
    });
    return Failed(hr) ? hr : result;
  }

  HRESULT Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    if (result) VariantInit(result);
    OleVariant value;
    HRESULT status = S_OK;
    const HRESULT hr = SafeCall([&] {
      CheckAlive();
      Json args = Json::array();
      const std::uint32_t count = params ? params->cArgs : 0;
      for (std::uint32_t i = count; i-- > 0;) {
        if (params->cNamedArgs > 0 && i < params->cNamedArgs && params->rgdispidNamedArgs[i] != DISPID_PROPERTYPUT) {
          continue;
        }
        args.push_back(ToArgument(params->rgvarg[i]));
      }
      switch (id) {
        case kDispEvaluateXPath:
          value = Call(kXPathHelper, ArgsOr(args, {"", false}), true);
          return;
        case kDispQueryCss:
          value = Call(kCssHelper, ArgsOr(args, {"", false}), true);
          return;
        case kDispElementId: {
          // Known without a call: an element made by its identifier, or one of a result whose
          // identifiers came with it.
          std::string known;
          {
            std::lock_guard lock(resolveMutex_);
            known = !knownId_.empty() ? knownId_ : elementId_;
          }
          value = known.empty() ? Call(kIdHelper, Json::array(), false) : OleVariant(Utf8ToWide(known));
          return;
        }
        case kDispElementTestObject: {
          std::optional<std::string> knownChain;
          {
            std::lock_guard lock(resolveMutex_);
            knownChain = knownChain_;
          }
          const std::string chain =
              knownChain ? *knownChain : page_->CallOn(ObjectId(), kChainHelper).object.value("value", std::string());
          ComPtr<IDispatch> node;
          if (!chain.empty())
            node = names_->TestObjectOf(page_.get(), Json::parse(chain).get<std::vector<std::string>>());
          if (!node) Raise("The element has no test object");
          value = OleVariant(node.Get());
          return;
        }
        case kDispLineCount:
        case kDispLineText:
        case kDispLineSelected:
        case kDispLinesSelected:
        case kDispLineDisabled:
        case kDispIsMultiSelect:
        case kDispEnabled: value = ListMember(id, args); return;
        case kDispGetLineRect: value = LineRect(params, args); return;
        default:
          break;
      }
      std::string name;
      if (id != DISPID_VALUE) {
        auto known = names_->NameOf(id);
        if (!known) {
          status = DISP_E_MEMBERNOTFOUND;
          return;
        }
        name = *known;
      }
      int kind = 0;
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        kind = 2;
        if (args.empty()) {
          status = DISP_E_BADPARAMCOUNT;
          return;
        }
      } else if ((flags & DISPATCH_METHOD) && !(flags & DISPATCH_PROPERTYGET)) {
        kind = 3;
      } else if (!(flags & DISPATCH_METHOD)) {
        kind = 1;
      }
      Json callArgs = Json::array({{{"value", kind}}, {{"value", name}}});
      for (auto& a : args) callArgs.push_back(a);
      value = ToVariant(page_, names_, page_->CallOn(ObjectId(), kInvokeHelper, std::move(callArgs), kind == 3));
    });
    if (Failed(hr)) return FailedCall(hr, excepInfo);
    if (Failed(status)) return status;
    if (result) *result = value.Detach();
    return S_OK;
  }

 private:
  static DISPID ListMemberId(const std::string& name) {
    static const std::pair<const char*, DISPID> kMembers[] = {{"LineCount", kDispLineCount},
                                                              {"LineText", kDispLineText},
                                                              {"LineSelected", kDispLineSelected},
                                                              {"LinesSelected", kDispLinesSelected},
                                                              {"LineDisabled", kDispLineDisabled},
                                                              {"IsMultiSelect", kDispIsMultiSelect},
                                                              {"Enabled", kDispEnabled}};
    for (const auto& [member, id] : kMembers) {
      if (name == member) return id;
    }
    return DISPID_UNKNOWN;
  }

  // One list read: the answer's result, and the change count it saw.
  Json ListCall(const char* op, std::optional<std::int64_t> index) {
    Json args = Json::array({{{"value", op}}});
    if (index) args.push_back({{"value", *index}});
    const RemoteValue r = page_->CallOn(ObjectId(), kListHelper, std::move(args));
    const Json answer = Json::parse(r.object.value("value", std::string("{}")));
    const std::int64_t version = answer.value("v", std::int64_t{0});
    if (version != 0) {
      std::lock_guard lock(listMutex_);
      if (version != listVersion_) listTexts_.reset();
      listVersion_ = version;
      listConfirmed_ = std::chrono::steady_clock::now();
    }
    return answer.value("r", Json());
  }

  static std::int64_t IndexArgument(const Json& args) {
    if (args.empty() || !args[0].contains("value") || !args[0]["value"].is_number()) {
      Raise("The item index must be a number");
    }
    return args[0]["value"].is_number_integer() ? args[0]["value"].get<std::int64_t>()
                                                : static_cast<std::int64_t>(args[0]["value"].get<double>());
  }

  OleVariant ListMember(DISPID id, const Json& args) {
    switch (id) {
      case kDispLineCount:
        return OleVariant(static_cast<std::int32_t>(ListCall("count", std::nullopt).get<std::int64_t>()));
      case kDispLineSelected:
        return OleVariant(static_cast<std::int32_t>(ListCall("selected", std::nullopt).get<std::int64_t>()));
      case kDispIsMultiSelect: return OleVariant(ListCall("multi", std::nullopt).get<bool>());
      case kDispEnabled: return OleVariant(ListCall("enabled", std::nullopt).get<bool>());
      case kDispLineDisabled: return OleVariant(ListCall("disabled", IndexArgument(args)).get<bool>());
      case kDispLinesSelected: {
        const Json list = ListCall("selectedList", std::nullopt);
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(list.size()));
        if (!array) throw EOleSysError(u"Out of memory", E_OUTOFMEMORY);
        for (std::size_t i = 0; i < list.size(); ++i) {
          OleVariant element(static_cast<std::int32_t>(list[i].get<std::int64_t>()));
          const std::int32_t index = static_cast<std::int32_t>(i);
          SafeArrayPutElement(array, &index, element.Ptr());
        }
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = array;
        return OleVariant::Attach(v);
      }
      default: break;
    }
    // LineText: from the texts kept while the list has not changed, else all texts in one read.
    const std::int64_t index = IndexArgument(args);
    {
      std::lock_guard lock(listMutex_);
      if (listTexts_ && std::chrono::steady_clock::now() - listConfirmed_ < kListTextLifetime) {
        if (index < 0 || index >= static_cast<std::int64_t>(listTexts_->size())) {
          Raise("The item index is out of range");
        }
        return OleVariant((*listTexts_)[static_cast<std::size_t>(index)]);
      }
    }
    const Json texts = ListCall("texts", std::nullopt);
    auto kept = std::make_shared<std::vector<WideString>>();
    kept->reserve(texts.size());
    for (const auto& t : texts) kept->push_back(Utf8ToWide(t.get<std::string>()));
    std::lock_guard lock(listMutex_);
    listTexts_ = kept;
    if (index < 0 || index >= static_cast<std::int64_t>(kept->size())) Raise("The item index is out of range");
    return OleVariant((*kept)[static_cast<std::size_t>(index)]);
  }

  // GetLineRect: the out values are the by-reference arguments 3 to 7 (in call order).
  OleVariant LineRect(DISPPARAMS* params, const Json& args) {
    if (!params || params->cArgs != 7) throw EOleSysError(u"GetLineRect takes seven arguments", DISP_E_BADPARAMCOUNT);
    const std::int64_t index = IndexArgument(args);
    const bool activate = args.size() > 1 && args[1].contains("value") && args[1]["value"].is_boolean()
                              ? args[1]["value"].get<bool>()
                              : (args.size() > 1 && args[1].contains("value") && args[1]["value"].is_number() &&
                                 args[1]["value"].get<double>() != 0);
    Json callArgs = Json::array({{{"value", "rect"}}, {{"value", index}}, {{"value", activate}}});
    const RemoteValue r = page_->CallOn(ObjectId(), kListHelper, std::move(callArgs));
    const Json answer = Json::parse(r.object.value("value", std::string("{}")));
    Json rect = answer.value("r", Json());
    std::int32_t window = 0;
    if (rect.is_object()) {  // a drop-down select: the item's rectangle in its list window
      DropDownList list{rect.value("id", std::string()), rect.value("count", 0), rect.value("height", 1),
                        rect.value("width", 1)};
      window = names_->DropDown(page_.get(), list, activate);
      if (window == 0) return OleVariant(false);
      const std::int32_t top = static_cast<std::int32_t>(index) * list.itemHeight;
      rect = Json::array({0, top, list.width, top + list.itemHeight});
    } else {
      window = names_->WindowOf(page_.get());
    }
    if (!rect.is_array() || rect.size() != 4) return OleVariant(false);
    const std::int32_t values[5] = {window, rect[0].get<std::int32_t>(), rect[1].get<std::int32_t>(),
                                    rect[2].get<std::int32_t>(), rect[3].get<std::int32_t>()};
    for (int i = 0; i < 5; ++i) {
      VARIANT& out = params->rgvarg[params->cArgs - 3 - i];  // call order 2..6, stored in reverse
      if (out.vt == (VT_BYREF | VT_I4) && out.byref) {
        *static_cast<std::int32_t*>(out.byref) = values[i];
      } else if (out.vt == (VT_BYREF | VT_VARIANT) && out.byref) {
        VARIANT* target = static_cast<VARIANT*>(out.byref);
        VariantClear(target);
        target->vt = VT_I4;
        target->lVal = values[i];
      } else {
        throw EOleSysError(u"GetLineRect gives its rectangle through arguments passed by reference",
                           DISP_E_TYPEMISMATCH);
      }
    }
    return OleVariant(true);
  }

  void CheckAlive() const {
    if (page_->Closed() || page_->Document() != document_) Raise(browser::kStaleObjectMessage);
  }

  static Json ArgsOr(Json args, std::initializer_list<Json> defaults) {
    Json out = Json::array();
    std::size_t i = 0;
    for (const auto& d : defaults) {
      out.push_back(i < args.size() ? args[i] : Json{{"value", d}});
      ++i;
    }
    return out;
  }

  Json ToArgument(const VARIANT& arg) const {
    const VARIANT& v = VariantDeref(arg);
    switch (v.vt) {
      case VT_EMPTY:
        return Json::object();  // undefined
      case VT_NULL:
        return {{"value", nullptr}};
      case VT_BOOL:
        return {{"value", v.boolVal != VARIANT_FALSE}};
      case VT_BSTR:
        return {{"value", WideToUtf8(BstrView(v.bstrVal))}};
      case VT_DISPATCH:
      case VT_UNKNOWN: {
        const std::string id = RemoteObjectId(reinterpret_cast<IDispatch*>(v.pdispVal));
        if (id.empty()) {
          if (!v.pdispVal) return {{"value", nullptr}};
          Raise("Only objects of the page can be passed to it");
        }
        return {{"objectId", id}};
      }
      case VT_R4:
      case VT_R8:
      case VT_CY:
      case VT_DATE: {
        OleVariant d;
        OleCheck(VariantChangeType(d.Ptr(), &v, 0, VT_R8));
        return {{"value", d.Ptr()->dblVal}};
      }
      default: {
        OleVariant n;
        if (Failed(VariantChangeType(n.Ptr(), &v, 0, VT_I8))) Raise("The argument cannot be passed to the page");
        return {{"value", n.Ptr()->llVal}};
      }
    }
  }

  // One call of a page-side member; arrays of results become arrays of variants.
  OleVariant Call(const char* helper, Json args, bool arrays) {
    const RemoteValue r = page_->CallOn(ObjectId(), helper, std::move(args));
    if (!arrays || r.Subtype() != "array") return ToVariant(page_, names_, r);
    // Every element's handle in one more round trip.
    const Json props = page_->Conn().Call("Runtime.getProperties",
                                          {{"objectId", r.ObjectId()}, {"ownProperties", true}}, page_->SessionId());
    std::vector<std::pair<std::size_t, Json>> items;
    for (const auto& p : props.value("result", Json::array())) {
      const std::string key = p.value("name", std::string());
      if (key.empty() || key.find_first_not_of("0123456789") != std::string::npos) continue;
      items.emplace_back(std::stoul(key), p.value("value", Json::object()));
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // The identifiers of the elements among them, in one more round trip (a search that turns the
    // elements into test objects reads each one's).
    std::vector<std::pair<std::string, std::string>> ids;  // identifier and chain of each element
    try {
      const RemoteValue named = page_->CallOn(
          r.ObjectId(),
          std::string("function() { const id = ") + kIdHelper + "; const chain = " + kChainHelper +
              "; return JSON.stringify(this.map(e => (e && e.nodeType === 1) ? [id.call(e), chain.call(e)] : "
              "['', '']));}",
          Json::array());
      ids = Json::parse(named.object.value("value", std::string("[]")))
                .get<std::vector<std::pair<std::string, std::string>>>();
    } catch (const std::exception&) {
      ids.clear();  // each element reads its own then
    }
    page_->Release(r.ObjectId());
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
    if (!array) throw EOleSysError(u"Out of memory", E_OUTOFMEMORY);
    for (std::size_t i = 0; i < items.size(); ++i) {
      RemoteValue item{items[i].second};
      const std::size_t at = items[i].first;
      OleVariant element;
      if (item.IsObject() && at < ids.size() && !ids[at].first.empty()) {
        auto object = MakeObject<TDomObject>(page_, names_, item);
        object->knownId_ = ids[at].first;
        object->knownChain_ = ids[at].second;
        element = OleVariant(static_cast<IDispatch*>(object.Get()));
      } else {
        element = ToVariant(page_, names_, item);
      }
      const std::int32_t index = static_cast<std::int32_t>(i);
      SafeArrayPutElement(array, &index, element.Ptr());
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = array;
    return OleVariant::Attach(v);
  }

  std::shared_ptr<browser::Page> page_;
  std::shared_ptr<DomNames> names_;
  std::mutex resolveMutex_;
  std::string elementId_;  // an element known by its identifier until it is looked up
  std::string knownId_;    // the identifier of an element of a result, read with the result
  // ... and its chain of identifiers from the body's child down (empty: no test object)
  std::optional<std::string> knownChain_;
  std::string objectId_;
  std::string className_;
  std::uint64_t document_;
  // The item texts last read, valid for listVersion_ (dom_object.h).
  std::mutex listMutex_;
  std::shared_ptr<std::vector<WideString>> listTexts_;
  std::int64_t listVersion_ = 0;
  std::chrono::steady_clock::time_point listConfirmed_;
};

}  // namespace

DISPID DomNames::IdOf(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto [it, added] = ids_.emplace(name, kFirstNameDispId + static_cast<DISPID>(names_.size()));
  if (added) names_.push_back(name);
  return it->second;
}

std::optional<std::string> DomNames::NameOf(DISPID id) const {
  std::lock_guard lock(mutex_);
  if (id < kFirstNameDispId || static_cast<std::size_t>(id - kFirstNameDispId) >= names_.size()) return std::nullopt;
  return names_[static_cast<std::size_t>(id - kFirstNameDispId)];
}

std::optional<std::string> DomNames::Resolved(const std::string& className, const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = resolved_.find({className, name});
  if (it == resolved_.end()) return std::nullopt;
  return it->second;
}

void DomNames::SetWindowOf(std::function<std::int32_t(const browser::Page*)> resolver) {
  std::lock_guard lock(mutex_);
  windowOf_ = std::move(resolver);
}

std::int32_t DomNames::WindowOf(const browser::Page* page) const {
  std::function<std::int32_t(const browser::Page*)> resolver;
  {
    std::lock_guard lock(mutex_);
    resolver = windowOf_;
  }
  return resolver ? resolver(page) : 0;
}

void DomNames::SetResolved(const std::string& className, const std::string& name, const std::string& resolved) {
  std::lock_guard lock(mutex_);
  resolved_[{className, name}] = resolved;
}

ComPtr<IDispatch> MakeDomObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                                const RemoteValue& value) {
  if (!value.IsObject()) throw EOleSysError(u"The value is not an object", E_INVALIDARG);
  auto object = MakeObject<TDomObject>(std::move(page), std::move(names), value);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(object.Get()));
}

ComPtr<IDispatch> MakeElementObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                                    const std::string& elementId, std::uint64_t document) {
  auto object = MakeObject<TDomObject>(std::move(page), std::move(names), elementId, document);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(object.Get()));
}

void DomNames::SetTestObjectOf(
    std::function<ComPtr<IDispatch>(const browser::Page*, const std::vector<std::string>&)> resolver) {
  std::lock_guard lock(mutex_);
  testObjectOf_ = std::move(resolver);
}

void DomNames::SetDropDown(std::function<std::int32_t(const browser::Page*, const DropDownList&, bool)> resolver) {
  std::lock_guard lock(mutex_);
  dropDown_ = std::move(resolver);
}

std::int32_t DomNames::DropDown(const browser::Page* page, const DropDownList& list, bool open) const {
  std::function<std::int32_t(const browser::Page*, const DropDownList&, bool)> resolver;
  {
    std::lock_guard lock(mutex_);
    resolver = dropDown_;
  }
  return resolver ? resolver(page, list, open) : 0;
}

ComPtr<IDispatch> DomNames::TestObjectOf(const browser::Page* page, const std::vector<std::string>& chain) const {
  std::function<ComPtr<IDispatch>(const browser::Page*, const std::vector<std::string>&)> resolver;
  {
    std::lock_guard lock(mutex_);
    resolver = testObjectOf_;
  }
  return resolver ? resolver(page, chain) : nullptr;
}

ComPtr<IDispatch> DocumentObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names) {
  const RemoteValue document = page->Evaluate("document");
  return MakeDomObject(std::move(page), std::move(names), document);
}

OleVariant ToVariant(const std::shared_ptr<browser::Page>& page, const std::shared_ptr<DomNames>& names,
                     const RemoteValue& value) {
  const std::string type = value.Type();
  if (type == "undefined" || type.empty()) return OleVariant();
  if (value.Subtype() == "null") return OleVariant::Null();
  if (value.IsObject()) {
    auto object = MakeDomObject(page, names, value);
    return OleVariant(object.Get());
  }
  const Json& v = value.object.contains("value") ? value.object["value"] : Json();
  if (type == "string") return OleVariant(Utf8ToWide(v.get<std::string>()));
  if (type == "boolean") return OleVariant(v.get<bool>());
  if (type == "number") {
    if (v.is_number_integer() && v.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
        v.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max()) {
      return OleVariant(static_cast<std::int32_t>(v.get<std::int64_t>()));
    }
    if (v.is_number()) {
      const double d = v.get<double>();
      if (std::floor(d) == d && std::fabs(d) <= 2147483647.0) return OleVariant(static_cast<std::int32_t>(d));
      return OleVariant(d);
    }
    const std::string special = value.object.value("unserializableValue", std::string());
    if (special == "-0") return OleVariant(0);
    if (special == "Infinity") return OleVariant(std::numeric_limits<double>::infinity());
    if (special == "-Infinity") return OleVariant(-std::numeric_limits<double>::infinity());
    return OleVariant(std::numeric_limits<double>::quiet_NaN());
  }
  if (type == "bigint") return OleVariant(Utf8ToWide(value.object.value("description", std::string())));
  return OleVariant(Utf8ToWide(value.object.value("description", std::string())));
}

std::string RemoteObjectId(IDispatch* object) {
  if (!object) return {};
  void* self = nullptr;
  if (object->QueryInterface(kDomObjectIid, &self) != S_OK || !self) return {};
  try {
    return static_cast<TDomObject*>(self)->ObjectId();
  } catch (const std::exception&) {
    return {};  // an element that is gone
  }
}

}  // namespace pw::host
