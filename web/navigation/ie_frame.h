// The IE frame slices: TpwWebIEFrameMethod gives an IE tab process IEFrame and WaitIEFrame
// (IpwWebIEFrameMethod), TpwWebIEFrameExtender gives an IE frame window Page (IpwWebIEFrame).
//
// IEFrame (Index) / WaitIEFrame (Index, Timeout): the frame window of the tab lives in another
// process, the frame process (its id given at creation; 0 = none). The search walks the
// children of the tab process's parent for the process with that id and asks it for
// Window("IEFrame", "*", Index + 1) (IEFrame counts from 0, Window from 1: IEFrame(0) is the
// first frame); an answer that exists is the result. Without one it waits
// 100 ms on a time-out counter, refreshes the parent and looks again until the limit passes
// (elapsed time unsigned against the limit) or the run stops. IEFrame waits the default wait
// time-out; WaitIEFrame waits Timeout ms, -1 without a limit (any other negative Timeout looks
// once). Nothing found, no frame process or no node: the host's object for "IEFrame" (a
// placeholder whose Exists is False).
//
// Page (URL): the page with the URL ("*" and "?" patterns; "*" as given, any other URL
// canonical) among the frame window's descendants, else among those of the browser node it
// refers to (refreshed first), else among the pages of the nearest browser node above the frame
// (its "ObjectType" "Browser") that the frame window shows (their pivot window is the frame's:
// the host's pages live under their browser's process, not under its windows). Not found, or a
// step raised: the host's object for Page("URL"), never another page. Without a node: nil.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr DWORD kIEFrameWaitStepMs = 100;
inline constexpr char16_t kWaitingForIEFrameText[] = u"Waiting for the IEFrame object.";

class TpwWebIEFrameMethod final : public AutoImplements<TpwNodeSlice, IpwWebIEFrameMethod> {
 public:
  TpwWebIEFrameMethod(IcvBaseManager* manager, std::int32_t frameProcessId);

  HRESULT IEFrame(std::int32_t index, IDispatch** value) override;
  HRESULT WaitIEFrame(std::int32_t index, std::int32_t timeout, IDispatch** value) override;

 private:
  // Limit in ms; TpwTimeoutCounter::kNoTimeLimit waits until the frame is there or the run stops.
  ComPtr<IDispatch> FindFrame(std::int32_t index, DWORD limit);

  ComPtr<IcvBaseManager> manager_;
  std::int32_t frameProcessId_;
};

class TpwWebIEFrameExtender final : public AutoImplements<TpwNodeSlice, IpwWebIEFrame> {
 public:
  TpwWebIEFrameExtender(IcvBaseManager* manager, const GUID& contextKey);

  HRESULT Page(BSTR url, IDispatch** value) override;

 private:
  ComPtr<IcvBaseManager> manager_;
  GUID contextKey_;
};

}  // namespace pw::web
