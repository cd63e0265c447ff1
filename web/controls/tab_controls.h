// TpwWebTabListControl: an element that shows tabbed pages (an ARIA tab list on the engine) as a
// control: its tabs through the native object's list members ("LineCount" default 0,
// "LineSelected" default -1, "LineText"(index) default empty). A tab is named by its caption (a
// string, matched as a pattern of the regular-expression module; the first match wins) or by its
// index (any other variant, converted and used unchecked; one that cannot be converted raises).
// A designation is the index as a number, or a caption between single quotes.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "web/controls/web_custom_control.h"

namespace pw::web {

class TpwWebTabListControl : public AutoImplements<TpwWebCustomControl, IpwWebTabControl> {
 public:
  TpwWebTabListControl(IcvBaseManager* manager, IpwObjectContext2* context)
      : AutoImplements(manager, context, std::vector<IID>{IpwWebTabControl::iid}) {}

  // IpwWebTabControl: the members below as script calls (failures become the result).
  HRESULT ClickTab(const VARIANT& item) override;
  HRESULT get_TabCount(std::int32_t* value) override;
  HRESULT get_FocusedTab(std::int32_t* value) override;
  HRESULT get_TabCaption(std::int32_t index, BSTR* value) override;

  std::int32_t GetTabCount();
  std::int32_t GetFocusedTab();
  WideString GetTabCaption(std::int32_t index);
  // -1 when no caption matches; an index is answered as it is.
  std::int32_t FindTabIndex(const VARIANT& item);
  WideString FormatTabForLog(const VARIANT& item, std::int32_t index);
  // Selects a tab by a left click at its centre (its rectangle from the native object's
  // GetLineRect, made relative to its window; the click through the input service's actions
  // object of that window), then writes "The tab page '%s' is activated."; an unknown tab or a
  // tab without a rectangle writes its error and clicks nothing. Nothing without a native object.
  void ClickTabItem(const VARIANT& item);
};

// TpwWebTabButtonControl: a browser tab's button (no counterpart on this engine yet: tested on
// stub nodes). Close: the node's context object under the context key must answer IpwTabContext
// with a native object; otherwise nothing happens. The native object's "GetCloseHitPoint"(True,
// X, Y, Window) gives the close button's point: without one, the error "The tab page cannot be
// closed." ("The tab page is inactive or has no Close button."); else the point is reported to
// the action-point sink and clicked (middle button when the control was made so, else left),
// and the tab's presence (IpwTabPresence) is read every 20 ms for at most 1000 ms on the clock,
// or until the run stops. The event "The tab page was closed." is written only when the tab is
// gone; a tab that stays gives the error "The tab page was not closed." (the same details, the
// node's full name) rather than a success it did not have.
class TpwWebTabButtonControl final : public AutoImplements<TpwNodeSlice, IpwWebTabButtonControl> {
 public:
  TpwWebTabButtonControl(IcvBaseManager* manager, const GUID& contextKey, bool closeWithMiddleClick)
      : AutoImplements(std::vector<IID>{IpwWebTabButtonControl::iid}), manager_(manager), contextKey_(contextKey),
        closeWithMiddleClick_(closeWithMiddleClick) {}
  HRESULT Close() override;

 private:
  ComPtr<IcvBaseManager> manager_;
  const GUID contextKey_;
  const bool closeWithMiddleClick_;
};

}  // namespace pw::web
