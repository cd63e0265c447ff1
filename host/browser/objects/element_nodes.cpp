#include "host/browser/objects/element_nodes.h"

#include <map>
#include <mutex>

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

// The elements below `this` (the document: below its body) as a JSON text
// [[identifier, type, id-or-name, index among the same type, tag, id, properties, children], ...];
// null when `this` is gone. The identifiers are kDispElementId's; properties holds the element's
// text properties among `cached` that it has; children is the same list for the element's
// own children when `deep`, else null.
constexpr const char* kLevelHelper = R"(function(deep) {
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
  const cached = ['id', 'name', 'className', 'type', 'title', 'alt', 'href', 'src'];
  const propertiesOf = (e) => {
    const p = {};
    for (const k of cached) {
      if (!(k in e)) continue;
      const v = e[k];
      if (typeof v === 'string') p[k] = v;
    }
    return p;
  };
  const levelOf = (root) => {
    const counts = new Map(), out = [];
    for (const e of root.children) {
      if (skip.has(e.tagName)) continue;
      const type = typeOf(e);
      const index = counts.has(type) ? counts.get(type) + 1 : 0;
      counts.set(type, index);
      out.push([idOf(e), type, e.id || e.getAttribute('name') || '', index, e.tagName, e.id || '', propertiesOf(e),
                deep ? levelOf(e) : null]);
    }
    return out;
  };
  return JSON.stringify(levelOf(this.nodeType === 9 ? (this.body || this.documentElement) : this));
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
    node.SetMember(click.first, [alive, id, how](std::vector<OleVariant>& args) {
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

// The element's cached properties (the level read's answer) as the node's member values.
void SetCachedProperties(TSysNode& node, const Json& item) {
  if (item.size() < 7 || !item.at(6).is_object()) return;
  for (const auto& [name, value] : item.at(6).items()) {
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
    SetCachedProperties(node, item);
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
        SetCachedProperties(*it->second, item);
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

// The loader of one node's level (the page's when elementId is empty; document 0: any document).
// An ask reads the node's level; a refresh reads its whole subtree in the same one evaluation.
void AttachLevel(TSysNode& node, std::shared_ptr<Context> context, std::string elementId, std::uint64_t document) {
  std::weak_ptr<Context> weak = context;
  // The page node's loader holds the context; the element nodes' loaders and members only look.
  std::shared_ptr<Context> owned = elementId.empty() ? context : nullptr;
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
        c->page->Evaluate("(" + std::string(kLevelHelper) + ").call(" + target + ", " + (refresh ? "true" : "false") + ")")
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
