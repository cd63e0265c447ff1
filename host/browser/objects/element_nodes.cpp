#include "host/browser/objects/element_nodes.h"

#include <map>

#include "host/browser/keys.h"
#include "host/browser/objects/input_actions.h"
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

// One level: the elements below `this` (the document: below its body) as a JSON text
// [[identifier, type, id-or-name, index among the same type, tag, id], ...]; null when `this` is
// gone. The identifiers are kDispElementId's.
constexpr const char* kLevelHelper = R"(function() {
  const w = window;
  if (!w.__pwIds) { w.__pwIds = new WeakMap(); w.__pwNextId = 0; w.__pwById = new Map(); }
  if (!this || (this.nodeType !== 9 && !this.isConnected)) return 'null';
  const idOf = (e) => {
    let id = w.__pwIds.get(e);
    if (id === undefined) { id = 'pw' + (++w.__pwNextId); w.__pwIds.set(e, id); w.__pwById.set(id, new WeakRef(e)); }
    return id;
  };
  const skip = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE', 'LINK', 'META', 'TITLE', 'HEAD', 'BASE']);
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
    const named = {TEXTAREA: 'Textarea', SELECT: 'Select', IMG: 'Image', TABLE: 'Table', FORM: 'Form',
                   LABEL: 'Label', UL: 'List', OL: 'List', LI: 'ListItem', IFRAME: 'Frame', FRAME: 'Frame'};
    if (named[t]) return named[t];
    if (/^H[1-6]$/.test(t)) return 'Heading';
    return 'Panel';
  };
  const root = this.nodeType === 9 ? (this.body || this.documentElement) : this;
  const counts = new Map(), out = [];
  for (const e of root.children) {
    if (skip.has(e.tagName)) continue;
    const type = typeOf(e);
    const index = counts.has(type) ? counts.get(type) + 1 : 0;
    counts.set(type, index);
    out.push([idOf(e), type, e.id || e.getAttribute('name') || '', index, e.tagName, e.id || '']);
  }
  return JSON.stringify(out);
})";

// The element's viewport rectangle after it is scrolled into view, as [left, top, width, height];
// optionally it takes the focus.
constexpr const char* kPlaceHelper = R"(function(focus) {
  this.scrollIntoView({block: 'nearest', inline: 'nearest'});
  if (focus && typeof this.focus === 'function') this.focus();
  const b = this.getBoundingClientRect();
  return JSON.stringify([b.left, b.top, b.width, b.height]);
})";

std::string ElementExpression(const std::string& id) {
  return "(() => { const r = window.__pwById && window.__pwById.get(" + Json(id).dump() +
         "); const e = r && r.deref(); return e && e.isConnected ? e : null; })()";
}

[[noreturn]] void RaiseBrowserError(const BrowserError& e) { throw EOleSysError(Utf8ToWide(e.what()), E_FAIL); }

struct Context {
  std::shared_ptr<browser::Page> page;
  std::shared_ptr<DomNames> names;
  std::int32_t window = 0;
};

// A level's state: which document it was read from, and whether it was.
struct Level {
  std::uint64_t document = 0;
  bool read = false;
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
  for (const auto& [name, how] : clicks) {
    node.SetMember(name, [alive, id, how](std::vector<OleVariant>& args) {
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
  node.SetMember(u"HoverMouse", [alive, id](std::vector<OleVariant>& args) {
    auto c = alive();
    try {
      const auto [px, py] = ActionPoint(*c, id, IntArg(args, 0, -1), IntArg(args, 1, -1), false);
      c->page->MoveMouse(px, py);
    } catch (const BrowserError& e) {
      RaiseBrowserError(e);
    }
    return OleVariant();
  });
  node.SetMember(u"Keys", [alive, id](std::vector<OleVariant>& args) {
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
    node.SetPivotWindow(context->window);
    auto element = MakeElementObject(context->page, context->names, id, document);
    node.SetNativeObject(GUID_NULL, element.Get());
    AddElementMembers(node, context, id, document);
    AttachLevel(node, context, id, document);
  });
}

void RemoveAll(TSysNode& node) {
  for (const auto& child : node.Children()) node.RemoveChild(child.Get());
}

// The loader of one node's level (the page's when elementId is empty; document 0: any document).
void AttachLevel(TSysNode& node, std::shared_ptr<Context> context, std::string elementId, std::uint64_t document) {
  auto level = std::make_shared<Level>();
  std::weak_ptr<Context> weak = context;
  // The page node's loader holds the context; the element nodes' loaders and members only look.
  std::shared_ptr<Context> owned = elementId.empty() ? context : nullptr;
  node.SetChildLoader([owned, weak, level, elementId, document](TSysNode& self, bool refresh) {
    (void)owned;
    auto c = weak.lock();
    if (!c || c->page->Closed()) return;
    const std::uint64_t current = c->page->Document();
    if (document != 0 && current != document) {  // an element of a document that is gone
      RemoveAll(self);
      return;
    }
    if (level->read && level->document == current && !refresh) return;
    if (level->document != current) RemoveAll(self);
    const std::string target = elementId.empty() ? std::string("document") : ElementExpression(elementId);
    const std::string text = c->page->Evaluate("(" + std::string(kLevelHelper) + ").call(" + target + ")")
                                 .object.value("value", std::string());
    if (c->page->Document() != current) return;  // the page moved on meanwhile: read again at the next ask
    level->document = current;
    level->read = true;
    const Json items = Json::parse(text.empty() ? std::string("null") : text);
    if (!items.is_array()) {  // the element is gone
      RemoveAll(self);
      return;
    }
    // Keep the nodes of elements that are still there under the same name; the rest go.
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
      self.MoveChild(order[i].Get(), i);
    }
  });
}

}  // namespace

void AttachElementNodes(TSysNode& pageNode, std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                        std::int32_t window) {
  AttachLevel(pageNode, std::make_shared<Context>(Context{std::move(page), std::move(names), window}), std::string(),
              0);
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
    ComPtr<TSysNode> next;
    for (int attempt = 0; attempt < 2 && !next; ++attempt) {
      if (attempt == 0) {
        std::int32_t count = 0;
        node->GetChildCount(&count);  // reads the level when it was not read yet
      } else {
        node->Refresh();
      }
      for (const auto& child : node->Children()) {
        if (ElementIdOf(*child) == id) next = child;
      }
    }
    if (!next) return nullptr;
    node = next;
  }
  return node;
}

}  // namespace pw::host
