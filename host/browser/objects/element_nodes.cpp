#include "host/browser/objects/element_nodes.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/host/invoke_expressions.h"
#include "host/browser/keys.h"
#include "host/browser/objects/input_actions.h"
#include "host/node_context.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {

using browser::BrowserError;
using browser::Json;

namespace {

// The property that holds an element node's element identifier.
constexpr GUID kElementIdProperty = MakeGuid("{B3F1D6E2-7A4C-4E59-8C21-5D0F3A9E6B47}");
// ... and the number of the page's document it belongs to.
constexpr GUID kElementDocumentProperty = MakeGuid("{0C7E4B19-93D2-4F6A-B5E8-2A61D7C3F094}");

// What the two helpers below share: the element identifiers (kDispElementId's, kept on the page's
// window), the elements left out of the nodes, an element's node type and its cached text
// properties. Both must agree on these, or a search would name elements the nodes do not know.
constexpr const char* kElementHelperPrelude = R"(
  const w = window;
  if (!w.__pwIds) { w.__pwIds = new WeakMap(); w.__pwNextId = 0; w.__pwById = new Map(); }
  if (!this || (this.nodeType !== 9 && !this.isConnected)) return 'null';
  const idOf = (e) => {
    let id = w.__pwIds.get(e);
    if (id === undefined) { id = 'pw' + (++w.__pwNextId); w.__pwIds.set(e, id); w.__pwById.set(id, new WeakRef(e)); }
    return id;
  };
  const skip = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE', 'LINK', 'META', 'TITLE', 'HEAD', 'BASE']);
  const named = {TEXTAREA: 'Textarea', SELECT: 'Select', IMG: 'Image', TABLE: 'Table', FORM: 'Form',
                 LABEL: 'Label', UL: 'List', OL: 'List', LI: 'ListItem', IFRAME: 'Frame', FRAME: 'Frame'};
  const typeOf = (e) => {
    const t = e.tagName;
    if (t === 'A') return 'Link';
    if (t === 'BUTTON') return 'Button';
    if (t === 'INPUT') {
      const k = (e.getAttribute('type') || 'text').toLowerCase();
      if (k === 'checkbox') return 'Checkbox';
      if (k === 'radio') return 'RadioButton';
      if (k === 'button' || k === 'submit' || k === 'reset' || k === 'image') return 'Button';
      if (k === 'password') return 'PasswordBox';
      return 'Textbox';
    }
    if (named[t]) return named[t];
    if (/^H[1-6]$/.test(t)) return 'Heading';
    return 'Panel';
  };
  const cached = ['id', 'name', 'className', 'type', 'title', 'alt', 'href', 'src'];
  const propertiesOf = (e) => {
    const p = {};
    for (const k of cached) {
      try {
        if (!(k in e)) continue;
        const v = e[k];
        if (typeof v === 'string') p[k] = v;
      } catch (x) {}  // a property that raises is left out
    }
    return p;
  };
  const bodyOf = (d) => d.body || d.documentElement;
  const isFrame = (e) => e.tagName === 'IFRAME' || e.tagName === 'FRAME';
  // The element whose children a node shows: a document's body; a frame's document's body (null
  // when the page cannot reach that document: another site's); any other element itself.
  const innerOf = (e) => {
    if (e.nodeType === 9) return bodyOf(e);
    if (!isFrame(e)) return e;
    let d = null;
    try { d = e.contentDocument; } catch (x) { d = null; }
    return d ? bodyOf(d) : null;
  };
)";

// The elements below `this` (the document: below its body; a frame: below its document's body)
// as a JSON text
// [[identifier, type, id-or-name, index among the same type, tag, id, properties, children, role],
// ...]; null when `this` is gone. The identifiers are kDispElementId's; properties holds the
// element's text properties among `cached` that it has; children is the same list for the
// element's own children when `deep`, else null; role is the element's ARIA role attribute (empty
// without one).
constexpr const char* kLevelHelperRest = R"(
  const levelOf = (root) => {
    const counts = new Map(), out = [];
    if (!root) return out;
    for (const e of root.children) {
      if (skip.has(e.tagName)) continue;
      const type = typeOf(e);
      const index = counts.has(type) ? counts.get(type) + 1 : 0;
      counts.set(type, index);
      out.push([idOf(e), type, e.id || e.getAttribute('name') || '', index, e.tagName, e.id || '', propertiesOf(e),
                deep ? levelOf(innerOf(e)) : null, e.getAttribute('role') || '']);
    }
    return out;
  };
  return JSON.stringify(levelOf(innerOf(this)));
})";

// The candidates of a search below `this` (the document: below its body), in the order of the
// element nodes (depth first, the same elements as the level helper, a frame's document's
// elements right after the frame): elements whose tag may equal
// `tag` (empty: any) and whose `property` (one of the names the nodes answer from the element:
// tagName, idStr and the cached text properties) may equal `text` ignoring case or match it as a
// mask. "May": the test is looser than the caller's own (non-ASCII code units compare as equal, a
// mask is tried as a complete regular expression), never stricter. Answers JSON
// {"complete": bool, "found": [[link, ...], ...]}, a link per level from the first element below
// `this` down to the candidate: [identifier, type, id-or-name, index among the same type,
// properties]; null when `this` is gone.
constexpr const char* kSearchHelperRest = R"(
  const lower = (c) => (c >= 65 && c <= 90 ? c + 32 : c);
  const looselySame = (a, b) => {
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; ++i) {
      const x = a.charCodeAt(i), y = b.charCodeAt(i);
      if (x !== y && x < 128 && y < 128 && lower(x) !== lower(y)) return false;
    }
    return true;
  };
  const plain = text.indexOf('*') < 0 && text.indexOf('?') < 0;  // then the mask is the text itself
  let source = '^';
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (c === '*' && text[i + 1] === '*') { source += '\\*'; ++i; }
    else if (c === '*') source += '[\\s\\S]*';
    else if (c === '?') source += '(?:[\\s\\S]|$)';
    else source += c.replace(/[\\^$.*+?()[\]{}|\/]/g, '\\$&');
  }
  let mask = null;
  if (!plain) {
    try { mask = new RegExp(source + '$'); } catch (e) { mask = null; }
    if (!mask) return JSON.stringify({complete: false, found: []});  // undecided: the caller walks
  }
  const valueOf = (e) => {
    try {
      if (property === 'tagName') return e.tagName;
      if (property === 'idStr') return e.id || '';
      if (!(property in e)) return null;
      const v = e[property];
      return typeof v === 'string' ? v : null;
    } catch (x) {
      return null;  // an element whose property raises is no candidate
    }
  };
  const root = innerOf(this);
  if (!root) return JSON.stringify({complete: true, found: []});  // a frame the page cannot reach
  // The element whose node holds x's node: its parent, or for an element right below a frame's
  // body the frame.
  const upOf = (x) => {
    const p = x.parentElement;
    if (p === root) return p;
    const d = x.ownerDocument;
    if (p && p === bodyOf(d) && d.defaultView && d.defaultView.frameElement) return d.defaultView.frameElement;
    return p;
  };
  // The chain of links from the first element below the root down to `e`; null when `e` or an
  // element above it is left out of the nodes.
  const chainOf = (e) => {
    const chain = [];
    for (let x = e; x && x !== root; x = upOf(x)) {
      if (skip.has(x.tagName)) return null;
      const type = typeOf(x), label = x.id || x.getAttribute('name') || '';
      let index = 0;  // only an element without id or name is known by it
      for (let y = label ? null : x.previousElementSibling; y; y = y.previousElementSibling) {
        if (!skip.has(y.tagName) && typeOf(y) === type) ++index;
      }
      chain.push([idOf(x), type, label, index, propertiesOf(x)]);
    }
    return chain.reverse();
  };
  const found = [];
  let complete = true;
  // Every element below r in document order (the order of a depth-first walk), a frame's
  // document's elements right after the frame; false once the list is full. The frames are
  // found in one query first, so a page without any costs no test per element.
  const scan = (r) => {
    const all = r.getElementsByTagName('*');
    const frames = new Set(r.querySelectorAll('iframe, frame'));
    for (let i = 0; i < all.length; ++i) {
      const e = all[i];
      if (tag === '' || looselySame(e.tagName, tag)) {
        const v = valueOf(e);
        if (v !== null && (looselySame(v, text) || (mask && mask.test(v)))) {
          const chain = chainOf(e);
          if (chain) {
            if (found.length >= max) { complete = false; return false; }
            found.push(chain);
          }
        }
      }
      if (frames.size !== 0 && frames.has(e)) {
        const inner = innerOf(e);
        if (inner && !scan(inner)) return false;
      }
    }
    return true;
  };
  scan(root);
  return JSON.stringify({complete, found});
})";

const std::string& LevelHelper() {
  static const std::string text = std::string("function(deep) {") + kElementHelperPrelude + kLevelHelperRest;
  return text;
}
const std::string& SearchHelper() {
  static const std::string text =
      std::string("function(property, text, tag, max) {") + kElementHelperPrelude + kSearchHelperRest;
  return text;
}

// The element's viewport rectangle after it is scrolled into view, as [left, top, width, height]
// (an element of a frame: moved by the frames' content boxes up to the page's viewport);
// optionally it takes the focus.
constexpr const char* kPlaceHelper = R"(function(focus) {
  this.scrollIntoView({block: 'nearest', inline: 'nearest'});
  if (focus && typeof this.focus === 'function') this.focus();
  const b = this.getBoundingClientRect();
  let x = b.left, y = b.top;
  for (let w = this.ownerDocument.defaultView; w && w.frameElement; w = w.parent) {
    const f = w.frameElement, r = f.getBoundingClientRect(), s = f.ownerDocument.defaultView.getComputedStyle(f);
    x += r.left + f.clientLeft + (parseFloat(s.paddingLeft) || 0);
    y += r.top + f.clientTop + (parseFloat(s.paddingTop) || 0);
  }
  return JSON.stringify([x, y, b.width, b.height]);
})";

std::string ElementExpression(const std::string& id) {
  return "(() => { const r = window.__pwById && window.__pwById.get(" + Json(id).dump() +
         "); const e = r && r.deref(); return e && e.isConnected ? e : null; })()";
}

[[noreturn]] void RaiseBrowserError(const BrowserError& e) { throw EOleSysError(Utf8ToWide(e.what()), E_FAIL); }

// The kind under which an element node offers its element object to the element builder.
constexpr GUID kWebElementKind = MakeGuid("{85B7275D-2E99-4A15-8D21-821BCA3D04A1}");
constexpr DISPID kControlTypeDispId = 0xC001;

// The control type of an element from its tag, its "type" property and its ARIA role: "input@"
// and the input's type, "multiselect" for a select that takes several items (else "select"),
// "flash@tablist" (the tab-list control the builders know) for an element of role "tablist" (its
// list members answer its tabs), otherwise the tag in lower case ("button", "iframe", "div", ...).
WideString ControlTypeOf(const std::string& tag, const Json& properties, const std::string& role) {
  std::string type;
  if (properties.is_object()) type = properties.value("type", std::string());
  const WideString lowerTag = WideLowerCase(Utf8ToWide(tag));
  if (lowerTag == u"input") return u"input@" + WideLowerCase(Utf8ToWide(type.empty() ? "text" : type));
  if (lowerTag == u"select") return type == "select-multiple" ? u"multiselect" : u"select";
  if (role == "tablist") return u"flash@tablist";
  return lowerTag;
}

// The control information of an element: ControlType by DISPID 0xC001, fixed when the node is made.
class TControlInfo final : public Implements<ComObject, IDispatch> {
 public:
  explicit TControlInfo(WideString type) : type_(std::move(type)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override {
    if (count != 1 || !names || !ids || !SameTextIgnoringCase(names[0], u"ControlType")) return DISP_E_UNKNOWNNAME;
    ids[0] = kControlTypeDispId;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (id != kControlTypeDispId) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (result) {
      VariantClear(result);
      *result = OleVariant(type_).Detach();
    }
    return S_OK;
  }

 private:
  WideString type_;
};

// The element object of an element node (its native object of the element kind): its object
// context (7) and its control information (15); it stands for no browser tab.
class TElementObject final : public Implements<ComObject, IpwTabContext> {
 public:
  TElementObject(ComPtr<IUnknown> context, ComPtr<IDispatch> info)
      : context_(std::move(context)), info_(std::move(info)) {}
  HRESULT GetTabObject(IDispatch** tab) override {
    if (tab) *tab = nullptr;
    return E_NOTIMPL;
  }
  // The element value and a made context are the described Firefox elements' (the engine's
  // elements have their object context already).
  HRESULT GetElementValue(VARIANT* value) override {
    if (value) VariantInit(value);
    return E_NOTIMPL;
  }
  HRESULT MakeObjectContext(BSTR, const VARIANT&, IUnknown** context) override {
    if (context) *context = nullptr;
    return E_NOTIMPL;
  }
  PW_HOST_RESERVED(6) HRESULT GetObjectContext(IUnknown** context) override {
    if (!context) return E_POINTER;
    *context = ComPtr<IUnknown>(context_).Detach();
    return S_OK;
  }
  PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9)
  PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) HRESULT
      GetControlInfo(IDispatch** info) override {
    if (!info) return E_POINTER;
    *info = ComPtr<IDispatch>(info_).Detach();
    return S_OK;
  }

 private:
  ComPtr<IUnknown> context_;
  ComPtr<IDispatch> info_;
};

// Reads (no argument) or writes (one) a member of the element, raising what the element raised.
OleVariant ElementMember(IDispatch* element, const char16_t* name, DISPID id, std::vector<OleVariant>& args) {
  if (id == DISPID_UNKNOWN) {
    const char16_t* names[1] = {name};
    OleCheck(element->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
  }
  EXCEPINFO info{};
  OleVariant result;
  HRESULT hr;
  if (args.empty()) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    hr = element->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), &info, nullptr);
  } else {
    VARIANT value = args.back().Get();
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    hr = element->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, &info, nullptr);
  }
  if (Failed(hr)) {
    WideString message = info.bstrDescription ? WideString(BstrView(info.bstrDescription)) : WideString();
    const HRESULT code = hr == DISP_E_EXCEPTION && info.scode ? info.scode : hr;
    ClearExcepInfo(info);
    if (message.empty()) message = WideString(u"The element's ") + name + u" cannot be read or written";
    throw EOleSysError(message, code);
  }
  ClearExcepInfo(info);
  return result;
}

// A level's state: which document it was read from, and whether it was.
struct Level {
  std::uint64_t document = 0;
  bool read = false;
};

struct Context {
  std::shared_ptr<browser::Page> page;
  std::shared_ptr<DomNames> names;
  std::int32_t window = 0;
  // The state of each node's level by element identifier (the page's: the empty one), so that a
  // deep read marks the levels below it read.
  std::mutex mutex;
  std::map<std::string, Level> levels;

  Level LevelOf(const std::string& id) {
    std::lock_guard guard(mutex);
    auto it = levels.find(id);
    return it == levels.end() ? Level{} : it->second;
  }
  void MarkRead(const std::string& id, std::uint64_t document) {
    std::lock_guard guard(mutex);
    levels[id] = Level{document, true};
  }
};

std::int32_t IntArg(const std::vector<OleVariant>& args, std::size_t index, std::int32_t fallback) {
  if (index >= args.size()) return fallback;
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), &VariantDeref(args[index].Get()), 0, VT_I4))) {
    throw EOleSysError(u"The argument " + IntToWide(static_cast<std::int32_t>(index + 1)) + u" is not a number",
                       DISP_E_TYPEMISMATCH);
  }
  return n.Get().lVal;
}

void AttachLevel(TSysNode& node, std::shared_ptr<Context> context, std::string elementId, std::uint64_t document);

// The point of an element action: the element's corner plus (x, y), or its centre.
std::pair<double, double> ActionPoint(const Context& c, const std::string& id, std::int32_t x, std::int32_t y,
                                      bool focus) {
  const std::string text = c.page
                               ->Evaluate("(" + std::string(kPlaceHelper) + ").call(" + ElementExpression(id) + ", " +
                                          (focus ? "true" : "false") + ")")
                               .object.value("value", std::string());
  const Json rect = Json::parse(text);
  const double left = rect.at(0).get<double>(), top = rect.at(1).get<double>();
  if (x < 0 || y < 0) return {left + rect.at(2).get<double>() / 2, top + rect.at(3).get<double>() / 2};
  return {left + x, top + y};
}

void AddElementMembers(TSysNode& node, const std::shared_ptr<Context>& context, const std::string& id,
                       std::uint64_t document) {
  std::weak_ptr<Context> weak = context;
  auto alive = [weak, id, document]() {
    auto c = weak.lock();
    if (!c || c->page->Closed() || c->page->Document() != document) {
      throw EOleSysError(Utf8ToWide(browser::kStaleObjectMessage), E_FAIL);
    }
    return c;
  };
  const std::pair<const char16_t*, std::pair<browser::MouseButton, int>> clicks[] = {
      {u"Click", {browser::MouseButton::Left, 1}},
      {u"ClickR", {browser::MouseButton::Right, 1}},
      {u"DblClick", {browser::MouseButton::Left, 2}}};
  for (const auto& click : clicks) {
    const auto how = click.second;
    node.SetMethod(click.first, [alive, id, how](std::vector<OleVariant>& args) {
      auto c = alive();
      try {
        const auto [px, py] = ActionPoint(*c, id, IntArg(args, 0, -1), IntArg(args, 1, -1), false);
        c->page->Click(px, py, how.first, how.second, EngineModifiers(IntArg(args, 2, 0)));
      } catch (const BrowserError& e) {
        RaiseBrowserError(e);
      }
      return OleVariant();
    });
  }
  node.SetMethod(u"HoverMouse", [alive, id](std::vector<OleVariant>& args) {
    auto c = alive();
    try {
      const auto [px, py] = ActionPoint(*c, id, IntArg(args, 0, -1), IntArg(args, 1, -1), false);
      c->page->MoveMouse(px, py);
    } catch (const BrowserError& e) {
      RaiseBrowserError(e);
    }
    return OleVariant();
  });
  node.SetMethod(u"Keys", [alive, id](std::vector<OleVariant>& args) {
    auto c = alive();
    if (args.empty()) throw EOleSysError(u"Keys needs the keys to type", E_INVALIDARG);
    const WideString keys = args[0].AsString();
    try {
      const auto strokes = browser::ParseKeyString(keys);  // a bad key string types nothing
      ActionPoint(*c, id, -1, -1, true);
      for (const auto& s : strokes) c->page->Key(s.key, s.modifiers);
    } catch (const BrowserError& e) {
      RaiseBrowserError(e);
    }
    return OleVariant();
  });
}

// The element's cached properties (the level read's answer) as the node's member values.
void SetCachedProperties(TSysNode& node, const Json& properties) {
  if (!properties.is_object()) return;
  for (const auto& [name, value] : properties.items()) {
    if (value.is_string()) node.SetMemberValue(Utf8ToWide(name), OleVariant(Utf8ToWide(value.get<std::string>())));
  }
}

ComPtr<TSysNode> AddElementNode(TSysNode& parent, const std::shared_ptr<Context>& context, const Json& item,
                                std::uint64_t document) {
  const std::string id = item.at(0).get<std::string>();
  const WideString type = Utf8ToWide(item.at(1).get<std::string>());
  const std::string named = item.at(2).get<std::string>();
  const OleVariant identifier =
      named.empty() ? OleVariant(item.at(3).get<std::int32_t>()) : OleVariant(Utf8ToWide(named));
  return parent.AddChild(type, {identifier}, GUID_NULL, [&](TSysNode& node) {
    node.SetProperty(kElementIdProperty, OleVariant(Utf8ToWide(id)));
    node.SetProperty(kElementDocumentProperty, OleVariant(static_cast<double>(document)));
    node.SetMemberValue(u"ObjectType", OleVariant(type));
    node.SetMemberValue(u"ObjectIdentifier", identifier);
    node.SetMemberValue(u"tagName", OleVariant(Utf8ToWide(item.at(4).get<std::string>())));
    node.SetMemberValue(u"idStr", OleVariant(Utf8ToWide(item.at(5).get<std::string>())));
    if (item.size() >= 7) SetCachedProperties(node, item.at(6));
    node.SetPivotWindow(context->window);
    auto element = MakeElementObject(context->page, context->names, id, document);
    node.SetNativeObject(GUID_NULL, element.Get());
    auto objectContext =
        MakeObject<TNodeObjectContext>([element] { return element; }, Utf8ToWide(id),
                                       WideLowerCase(Utf8ToWide(item.at(4).get<std::string>())), OleVariant());
    objectContext->SetKind(kWebElementKind, 0);
    node.SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(objectContext.Get()));
    // The element object the element builder asks for: the builders attach the element's control
    // slice (check box, select, button, frame) by its control type.
    const Json noProperties;
    auto info = MakeObject<TControlInfo>(
        ControlTypeOf(item.at(4).get<std::string>(), item.size() >= 7 ? item.at(6) : noProperties,
                      item.size() >= 9 && item.at(8).is_string() ? item.at(8).get<std::string>() : std::string()));
    auto elementObject = MakeObject<TElementObject>(
        ComPtr<IUnknown>(static_cast<IpwObjectContext2*>(objectContext.Get())), ComPtr<IDispatch>(info.Get()));
    node.SetNativeObject(kWebElementKind, static_cast<IpwTabContext*>(elementObject.Get()));
    // What a user changes is read from the element at each call (and written to it): no cached
    // copy, and no property searches look at.
    node.SetLiveMember(u"value", [element](std::vector<OleVariant>& args) {
      return ElementMember(element.Get(), u"value", DISPID_UNKNOWN, args);
    });
    node.SetLiveMember(u"checked", [element](std::vector<OleVariant>& args) {
      return ElementMember(element.Get(), u"checked", DISPID_UNKNOWN, args);
    });
    node.SetLiveMember(u"Enabled", [element](std::vector<OleVariant>& args) {
      if (!args.empty()) throw EOleSysError(u"Enabled cannot be written", DISP_E_BADPARAMCOUNT);
      return ElementMember(element.Get(), u"Enabled", kDispEnabled, args);
    });
    AddElementMembers(node, context, id, document);
    AttachLevel(node, context, id, document);
  });
}

void RemoveAll(TSysNode& node) {
  for (const auto& child : node.Children()) node.RemoveChild(child.Get());
}

// Makes a node's children those of a level read (`items`, the level helper's list), keeping the
// nodes of elements that are still there under the same name; with the children's own lists (a
// deep read) their levels too, each marked read.
void ApplyLevel(TSysNode& self, const std::shared_ptr<Context>& c, const Json& items, std::uint64_t current) {
  std::map<std::string, ComPtr<TSysNode>> kept;
  for (const auto& child : self.Children()) kept.emplace(ElementIdOf(*child), child);
  std::vector<ComPtr<TSysNode>> order;
  for (const auto& item : items) {
    const std::string id = item.at(0).get<std::string>();
    auto it = kept.find(id);
    if (it != kept.end()) {
      const std::string named = item.at(2).get<std::string>();
      const OleVariant identifier =
          named.empty() ? OleVariant(item.at(3).get<std::int32_t>()) : OleVariant(Utf8ToWide(named));
      if (it->second->MemberValue(u"ObjectType").AsString() == Utf8ToWide(item.at(1).get<std::string>()) &&
          it->second->MemberValue(u"ObjectIdentifier").AsString() == identifier.AsString() &&
          it->second->MemberValue(u"ObjectIdentifier").Get().vt == identifier.Get().vt) {
        it->second->SetMemberValue(u"idStr", OleVariant(Utf8ToWide(item.at(5).get<std::string>())));
        if (item.size() >= 7) SetCachedProperties(*it->second, item.at(6));
        order.push_back(it->second);
        kept.erase(it);
        continue;
      }
    }
    order.push_back(nullptr);
  }
  for (const auto& [id, child] : kept) self.RemoveChild(child.Get());
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (!order[i]) order[i] = AddElementNode(self, c, items[i], current);
  }
  // Moving each child costs a pass over the children: only when the order changed.
  const auto children = self.Children();
  bool inOrder = children.size() == order.size();
  for (std::size_t i = 0; inOrder && i < order.size(); ++i) inOrder = children[i].Get() == order[i].Get();
  if (!inOrder) {
    for (std::size_t i = 0; i < order.size(); ++i) self.MoveChild(order[i].Get(), i);
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Json& item = items[i];
    if (item.size() < 8 || !item.at(7).is_array()) continue;
    ApplyLevel(*order[i], c, item.at(7), current);
    c->MarkRead(item.at(0).get<std::string>(), current);
  }
}

// The name of an element node's member that the search helper answers, as the helper takes it;
// empty for any other name. Members are found ignoring case. "name" is not among them: the node's
// own "Name" comes first.
std::string SearchableProperty(WideStringView property) {
  static const char* const kNames[] = {"tagName", "idStr", "id", "className", "type", "title", "alt", "href", "src"};
  for (const char* name : kNames) {
    if (SameTextIgnoringCase(Utf8ToWide(name), property)) return name;
  }
  return {};
}

// The child of `node` that stands for a link of a search answer (same element, type and
// identifier), reading the node's level when it was not read and once more with a refresh when
// the child is not there or not the same; nil when there is none even then.
ComPtr<TSysNode> ChildForLink(TSysNode& node, const Json& link) {
  const std::string id = link.at(0).get<std::string>();
  const WideString type = Utf8ToWide(link.at(1).get<std::string>());
  const std::string named = link.at(2).get<std::string>();
  const OleVariant identifier =
      named.empty() ? OleVariant(link.at(3).get<std::int32_t>()) : OleVariant(Utf8ToWide(named));
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 0) {
      std::int32_t count = 0;
      node.GetChildCount(&count);  // reads the level when it was not read yet
    } else {
      node.Refresh();
    }
    for (const auto& child : node.Children()) {
      if (ElementIdOf(*child) != id) continue;
      const OleVariant kept = child->MemberValue(u"ObjectIdentifier");
      if (child->MemberValue(u"ObjectType").AsString() == type && kept.Get().vt == identifier.Get().vt &&
          kept.AsString() == identifier.AsString()) {
        return child;
      }
    }
  }
  return nullptr;
}

// The search below a node (the page's when elementId is empty) in one evaluation of the search
// helper; the candidates' nodes are found (levels read as needed) and their cached properties
// brought up to date from the answer, as a refresh would. A candidate whose node cannot be found
// ends the list there, incomplete.
void AttachSearch(TSysNode& node, std::weak_ptr<Context> weak, std::string elementId, std::uint64_t document) {
  node.SetElementSearch(
      [weak, elementId, document](TSysNode& self, WideStringView property, WideStringView text, WideStringView tag,
                                  std::int32_t maxCount) -> std::optional<TSysNode::ElementCandidates> {
        const std::string name = SearchableProperty(property);
        if (name.empty()) return std::nullopt;
        auto c = weak.lock();
        if (!c || c->page->Closed()) return std::nullopt;
        const std::uint64_t current = c->page->Document();
        if (document != 0 && current != document) return TSysNode::ElementCandidates{};  // its element is gone
        const std::string target = elementId.empty() ? std::string("document") : ElementExpression(elementId);
        std::string answer;
        try {
          answer = c->page
                       ->Evaluate("(" + SearchHelper() + ").call(" + target + ", " + Json(name).dump() + ", " +
                                  Json(WideToUtf8(text)).dump() + ", " + Json(WideToUtf8(tag)).dump() + ", " +
                                  std::to_string(std::max(maxCount, 1)) + ")")
                       .object.value("value", std::string());
        } catch (const BrowserError& e) {
          RaiseBrowserError(e);
        }
        const Json result = Json::parse(answer.empty() ? std::string("null") : answer);
        TSysNode::ElementCandidates candidates;
        if (!result.is_object()) return candidates;  // the element is gone: nothing below it
        candidates.complete = result.value("complete", false);
        for (const auto& chain : result.at("found")) {
          ComPtr<TSysNode> at(&self);
          for (const auto& link : chain) {
            at = ChildForLink(*at, link);
            if (!at) break;
            if (link.size() >= 5) SetCachedProperties(*at, link.at(4));
          }
          if (!at) {
            candidates.complete = false;
            break;
          }
          candidates.nodes.push_back(at);
        }
        return candidates;
      });
}

// The loader of one node's level (the page's when elementId is empty; document 0: any document).
// An ask reads the node's level; a refresh reads its whole subtree in the same one evaluation.
void AttachLevel(TSysNode& node, std::shared_ptr<Context> context, std::string elementId, std::uint64_t document) {
  std::weak_ptr<Context> weak = context;
  // The page node's loader holds the context; the element nodes' loaders and members only look.
  std::shared_ptr<Context> owned = elementId.empty() ? context : nullptr;
  AttachSearch(node, weak, elementId, document);
  node.SetChildLoader([owned, weak, elementId, document](TSysNode& self, bool refresh) {
    (void)owned;
    auto c = weak.lock();
    if (!c || c->page->Closed()) return;
    const std::uint64_t current = c->page->Document();
    if (document != 0 && current != document) {  // an element of a document that is gone
      RemoveAll(self);
      return;
    }
    const Level level = c->LevelOf(elementId);
    if (level.read && level.document == current && !refresh) return;
    if (level.document != current) RemoveAll(self);
    const std::string target = elementId.empty() ? std::string("document") : ElementExpression(elementId);
    const std::string text =
        c->page->Evaluate("(" + LevelHelper() + ").call(" + target + ", " + (refresh ? "true" : "false") + ")")
            .object.value("value", std::string());
    if (c->page->Document() != current) return;  // the page moved on meanwhile: read again at the next ask
    c->MarkRead(elementId, current);
    const Json items = Json::parse(text.empty() ? std::string("null") : text);
    if (!items.is_array()) {  // the element is gone
      RemoveAll(self);
      return;
    }
    ApplyLevel(self, c, items, current);
  });
}

}  // namespace

void AttachElementNodes(TSysNode& pageNode, std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                        std::int32_t window) {
  auto context = std::make_shared<Context>();
  context->page = std::move(page);
  context->names = std::move(names);
  context->window = window;
  AttachLevel(pageNode, std::move(context), std::string(), 0);
}

void DropElementNodes(TSysNode& pageNode, std::uint64_t document) {
  for (const auto& child : pageNode.Children()) {
    OleVariant value;
    if (Failed(child->GetPropertyValue(kElementDocumentProperty, value.Ptr()))) continue;
    if (value.Get().vt == VT_R8 && static_cast<std::uint64_t>(value.Get().dblVal) != document) {
      pageNode.RemoveChild(child.Get());
    }
  }
}

std::string ElementIdOf(TSysNode& node) {
  OleVariant value;
  if (Failed(node.GetPropertyValue(kElementIdProperty, value.Ptr()))) return {};
  const VARIANT& v = value.Get();
  if (v.vt != VT_BSTR) return {};
  return WideToUtf8(BstrView(v.bstrVal));
}

ComPtr<TSysNode> FindElementNode(TSysNode& pageNode, const std::vector<std::string>& chain) {
  ComPtr<TSysNode> node(&pageNode);
  for (const auto& id : chain) {
    const WideString wide = Utf8ToWide(id);
    ComPtr<TSysNode> next;
    for (int attempt = 0; attempt < 2 && !next; ++attempt) {
      if (attempt == 0) {
        std::int32_t count = 0;
        node->GetChildCount(&count);  // reads the level when it was not read yet
      } else {
        node->Refresh();
      }
      next = node->FindChild([&](const TSysNode& child) { return child.PropertyIs(kElementIdProperty, wide); });
    }
    if (!next) return nullptr;
    node = next;
  }
  return node;
}

}  // namespace pw::host
