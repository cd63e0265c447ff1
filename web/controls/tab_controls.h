// TpwWebTabListControl: an element that shows tabbed pages (an ARIA tab list on the engine) as a
// control: its tabs through the native object's list members ("LineCount" default 0,
// "LineSelected" default -1, "LineText"(index) default empty). A tab is named by its caption (a
// string, matched as a pattern of the regular-expression module; the first match wins) or by its
// index (any other variant, converted and used unchecked; one that cannot be converted raises).
// A designation is the index as a number, or a caption between single quotes.
#pragma once

#include "web/controls/web_custom_control.h"

namespace pw::web {

class TpwWebTabListControl : public TpwWebCustomControl {
 public:
  TpwWebTabListControl(IcvBaseManager* manager, IpwObjectContext2* context)
      : TpwWebCustomControl(manager, context, {}) {}

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
  void ClickTab(const VARIANT& item);
};

}  // namespace pw::web
