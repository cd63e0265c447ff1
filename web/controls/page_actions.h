// TpwBrowserPageActions (IpwBrowserPageActions): the close action the host calls on a page node.
//
// ClosePage:
//   - the page node must answer IpwNativeContext, and the page context it gives (GetPageContext)
//     must answer IpwObjectContext2; otherwise nothing is done;
//   - the page's name is the first element of the context's information (IpwPageContextInformation,
//     when it answers with an array), else the node's name text; its full name is the entry's
//     additional text;
//   - first way: the context's browser object, member 0x7FFF0001 without arguments; the page
//     counts as closed when the call returns (an exception leaves it open);
//   - second way, when the first did not close it: the top-level window of the page's pivot window
//     (the first node from the pivot window's node up that answers IpwSysWindowActions) is closed
//     with the default wait time-out as its wait time, its own wait time-out 0 meanwhile;
//   - a page that counts as closed is then awaited (gone from the tree) for the default wait
//     time-out (negative: no limit; a page already gone counts also with a time-out of 0); when it was the only page of
//     its process, the process node is awaited the same way too (the answer is not used);
//   - the entry: the event "The '%s' page was closed." when the page went, else the error "The '%s'
//     page was not closed.". Both go through the web log writer, so a log without the extended
//     interface gets them too (the event as an "[Event] " message).
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr DISPID kBrowserCloseDispid = 0x7FFF0001;

class TpwBrowserPageActions final : public Implements<TpwNodeSlice, IpwBrowserPageActions> {
 public:
  explicit TpwBrowserPageActions(IcvBaseManager* manager) : Implements(std::vector<IID>{}), manager_(manager) {}
  HRESULT ClosePage() override;

 private:
  ComPtr<IcvBaseManager> manager_;
};

}  // namespace pw::web
