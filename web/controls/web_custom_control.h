// TpwWebCustomControl: the base of the slices that turn a web element node into a control (the
// select elements, the tab list). It keeps the host's manager and the element's object context,
// gives the element's native object (the host's automation object of the element, reached
// late-bound), checks that the control is enabled, and writes test-log entries in two ways:
//   PostLog          at once, only while the slice is attached; while the log is muted
//                    (MuteLog/UnmuteLog counted) only errors are written;
//   PrepareLogEntry  formatted now, written by WriteLogEntry after the action: the details
//   /WriteLogEntry   followed (after one empty line when there are details) by the node's full
//                    name; a muted log drops the prepared entry; a host without a log keeps it.
// Failures of host calls raise; the script methods of subclasses turn them into failure results.
#pragma once

#include <vector>

#include "core/automation/rect.h"
#include "openapps/extensions/node_slice.h"
#include "web/navigation/web_log.h"

namespace pw::web {

inline constexpr char16_t kWebControlDisabledText[] = u"Unable to perform the action because the control is disabled.";

// GetLineRect (DISPID 0x9001) of a list's native object: the item's window and rectangle; False
// when the object gives none. A failing call raises.
bool CallGetLineRect(IDispatch* native, std::int32_t index, bool activate, std::int32_t& window, TRect& rect);
// A member of an actions object (Click 0x2028001, ClickM 0x2028002, ClickR 0x2028003, DblClick
// 0x2028004, DblClickR 0x2028006) with ClientX, ClientY and Shift; a failure raises.
void CallPointAction(IDispatch* actions, DISPID action, std::int32_t x, std::int32_t y, std::int32_t shift);
// The input service's actions object of a window (IpwSysControlBaseActions members by DISPID);
// raises when the host has no input service or gives no object.
ComPtr<IDispatch> WindowActionsOf(IcvBaseManager* manager, std::int32_t window);

class TpwWebCustomControl : public TpwNodeSlice {
 public:
  // The element's native object: what the context's object operation gives; nil when none.
  ComPtr<IDispatch> GetNativeObject();
  IcvBaseManager* Manager() const { return manager_.Get(); }

  // The steps of an action:
  //   Click                the node's own late-bound "Click"(X, Y, Shift) (Integers by reference);
  //                        nothing when the slice has no node; failures become the result.
  //   ActivateWindow       brings the top-level window that holds the element to the front.
  //   ReportActionTarget   the key of the slice's node to the run item's action-point sink (a key
  //                        that cannot be read, or GUID_NULL, reports nothing).
  //   ControlCentreAction  the native object's member 0x0200000B with (-1, -1).
  //   ReportActionPoint    the point to the sink: as given when X or Y is -1, else plus the
  //                        window rectangle's top-left corner.
  virtual HRESULT Click(std::int32_t x, std::int32_t y, std::int32_t shift);
  void ActivateWindow();
  void ReportActionTarget();
  void ControlCentreAction();
  void ReportActionPoint(std::int32_t window, std::int32_t x, std::int32_t y, std::int32_t flag);
  IcvWindowsManager* WindowsManager();
  // WindowActionsOf through the slice's manager.
  ComPtr<IDispatch> WindowActions(std::int32_t window) { return WindowActionsOf(manager_.Get(), window); }
  // The input service's action object of the slice's node (by its key) in a window; a slice
  // without a node raises "Unable to find the object %s. ..." with the name its node reference
  // reports (empty when it never had one). Asked anew at each call.
  ComPtr<IDispatch> GetWindowActionObject(std::int32_t window);

  // "Enabled" of the native object (True when it cannot be read); a disabled control writes the
  // error (also while muted) and answers False.
  bool CheckEnabled();

  void PostLog(WideStringView message, TpwLogArgs messageArgs, WideStringView details, TpwLogArgs detailsArgs,
               TpwWebLogKind kind);
  void PrepareLogEntry(WideStringView message, TpwLogArgs messageArgs, WideStringView details, TpwLogArgs detailsArgs,
                       TpwWebLogKind kind);
  void WriteLogEntry();
  void MuteLog() { ++logMuteCount_; }
  void UnmuteLog() { --logMuteCount_; }
  bool IsLogEnabled() const { return logMuteCount_ == 0; }

  // The pending entry (for tests and subclasses): kind 0 while none is pending.
  struct PendingEntry {
    WideString message, details;
    std::uint8_t kind = 0;
  };
  const PendingEntry& Pending() const { return pending_; }

 protected:
  TpwWebCustomControl(IcvBaseManager* manager, IpwObjectContext2* context, std::vector<IID> iids);

 private:
  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwObjectContext2> context_;
  ComPtr<IcvWindowsManager> windows_;
  PendingEntry pending_;
  std::int32_t logMuteCount_ = 0;
};

}  // namespace pw::web
