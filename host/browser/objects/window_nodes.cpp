#include "host/browser/objects/window_nodes.h"

#include "core/automation/text_search.h"
#include "host/browser/objects/input_actions.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

struct Search {
  WideString className = u"*", caption = u"*";
  std::int32_t index = 1;
};

Search SearchOf(const std::vector<OleVariant>& args) {
  Search s;
  if (!args.empty()) s.className = args[0].AsString();
  if (args.size() > 1) s.caption = args[1].AsString();
  if (args.size() > 2) {
    OleVariant n;
    if (Failed(VariantChangeType(n.Ptr(), &VariantDeref(args[2].Get()), 0, VT_I4))) {
      throw EOleSysError(u"The window index is not a number", DISP_E_TYPEMISMATCH);
    }
    s.index = std::max<std::int32_t>(n.Get().lVal, 1);
  }
  return s;
}

bool Matches(const WideString& mask, const WideString& text) {
  return WideMatchesMask(WideLowerCase(mask), WideLowerCase(text));
}

// An object outside the tree for a window that is not there.
OleVariant Missing(const Search& s) {
  auto node = MakeObject<TSysNode>(
      nullptr, u"Window", std::vector<OleVariant>{OleVariant(s.className), OleVariant(s.caption), OleVariant(s.index)},
      GUID_NULL);
  node->SetMemberValue(u"Exists", OleVariant(false));
  node->SetMemberValue(u"Visible", OleVariant(false));
  return OleVariant(node->Dispatch());
}

void AddWindowMembers(TSysNode& node, TBrowsers& browsers, HWND window, std::int32_t browserId);

// The node of a window under `parent` (made at the first ask).
ComPtr<TSysNode> WindowNode(TSysNode& parent, TBrowsers& browsers, HWND window, std::int32_t browserId,
                            const WideString& caption, std::int32_t index) {
  for (const auto& child : parent.Children()) {
    std::int32_t handle = 0;
    if (Succeeded(child->GetHandle(&handle)) && static_cast<HWND>(handle) == window) return child;
  }
  return parent.AddChild(u"Window", {OleVariant(GetWindowClassName(window)), OleVariant(caption), OleVariant(index)},
                         GUID_NULL, [&](TSysNode& node) {
                           node.SetWindowHandle(static_cast<std::int32_t>(window));
                           AddWindowMembers(node, browsers, window, browserId);
                         });
}

WideString CaptionOf(TBrowsers& browsers, HWND window) {
  auto b = browsers.FindByWindow(window);
  if (!b || b->window != window) return {};
  try {
    return Utf8ToWide(b->page->Title());
  } catch (const browser::BrowserError&) {
    return {};  // a page that cannot answer (a dialog is open) has no caption to match
  }
}

void AddWindowMembers(TSysNode& node, TBrowsers& browsers, HWND window, std::int32_t browserId) {
  TBrowsers* owner = &browsers;
  node.SetMemberValue(u"WndClass", OleVariant(GetWindowClassName(window)));
  node.SetMemberValue(u"Visible", OleVariant(true));
  node.SetMember(u"WndCaption",
                 [owner, window](std::vector<OleVariant>&) { return OleVariant(CaptionOf(*owner, window)); });
  const std::pair<const char16_t*, DISPID> actions[] = {{u"Click", kActionClick},
                                                        {u"ClickR", kActionClickR},
                                                        {u"DblClick", kActionDblClick},
                                                        {u"HoverMouse", kActionHoverMouse},
                                                        {u"Keys", kActionKeys}};
  for (const auto& [name, id] : actions) {
    node.SetMethod(name, [owner, window, browserId, id = id](std::vector<OleVariant>& args) {
      if (!owner->Find(browserId)) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
      InputAction action;
      action.window = static_cast<std::int32_t>(window), action.action = id;
      if (id == kActionKeys) {
        if (args.empty()) throw EOleSysError(u"Keys needs the keys to type", E_INVALIDARG);
        action.keys = args[0].AsString();
      } else {
        std::int32_t values[3] = {-1, -1, 0};
        for (std::size_t i = 0; i < args.size() && i < 3; ++i) {
          OleVariant n;
          if (Failed(VariantChangeType(n.Ptr(), &VariantDeref(args[i].Get()), 0, VT_I4))) {
            throw EOleSysError(u"The argument " + IntToWide(static_cast<std::int32_t>(i + 1)) + u" is not a number",
                               DISP_E_TYPEMISMATCH);
          }
          values[i] = n.Get().lVal;
        }
        action.x = values[0], action.y = values[1], action.shift = values[2];
      }
      try {
        PerformInputAction(*owner, action);
      } catch (const browser::BrowserError& e) {
        throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
      }
      return OleVariant();
    });
  }
  // The direct child windows.
  TSysNode* raw = &node;  // the member lives with the node: no counted reference to itself
  node.SetMethod(u"Window", [owner, window, browserId, raw](std::vector<OleVariant>& args) {
    const Search s = SearchOf(args);
    std::int32_t seen = 0;
    for (const HWND child : GetChildWindowHandles(window)) {
      if (GetParentWindow(child) != window) continue;
      if (!Matches(s.className, GetWindowClassName(child)) || !Matches(s.caption, u"")) continue;
      if (++seen == s.index) return OleVariant(WindowNode(*raw, *owner, child, browserId, u"", s.index)->Dispatch());
    }
    return Missing(s);
  });
}

}  // namespace

void AddProcessWindowMember(TSysNode& processNode, TBrowsers& browsers, BrowserKind kind) {
  TBrowsers* owner = &browsers;
  TSysNode* process = &processNode;  // the member lives with the node
  processNode.SetMethod(u"Window", [owner, process, kind](std::vector<OleVariant>& args) {
    const Search s = SearchOf(args);
    std::int32_t seen = 0;
    const auto list = owner->List();
    for (const auto& b : list) {  // the frames
      if (b->kind != kind || !Matches(s.className, BrowserWindowClass(kind))) continue;
      const WideString caption = s.caption == u"*" ? WideString() : CaptionOf(*owner, b->window);
      if (s.caption != u"*" && !Matches(s.caption, caption)) continue;
      if (++seen == s.index) {
        return OleVariant(WindowNode(*process, *owner, b->window, b->id,
                                     s.caption == u"*" ? CaptionOf(*owner, b->window) : caption, s.index)
                              ->Dispatch());
      }
    }
    for (const auto& b : list) {  // the open dialogs
      if (b->kind != kind || !b->dialogNode || !Matches(s.className, u"#32770")) continue;
      const auto dialog = b->page->OpenDialog();
      if (!Matches(s.caption, dialog ? Utf8ToWide(dialog->message) : WideString())) continue;
      if (++seen == s.index) return OleVariant(b->dialogNode->Dispatch());
    }
    return Missing(s);
  });
}

}  // namespace pw::host
