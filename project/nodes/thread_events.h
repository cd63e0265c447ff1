// Container changes posted to the host's main thread. A container whose children change away
// from the main thread posts one of four events (add a child, remove one, replace a real node by
// a fake one or back) to the host's object broker and waits until the host ran the same
// container operation on its main thread and wrote the answer; on the main thread the post runs
// at once. The records are in-memory structs of this process (their layout is incidental): the
// event block is the kind and the record's address, posted with its size.
#pragma once

#include <cstdint>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::project {

inline constexpr GUID kContainerThreadEventClass = MakeGuid("{0B7EF925-A1B0-480E-9BBC-C4F3DE400927}");

struct TpwProjectNodeContainerThreadEvent_AddChild {
  ComPtr<IpwProjectNodeContainer> Container;
  ComPtr<IpwProjectNode> Child;
  WordBool* Result;
};
struct TpwProjectNodeContainerThreadEvent_RemoveChild {
  ComPtr<IpwProjectNodeContainer> Container;
  ComPtr<IpwProjectNode> Child;
  WordBool Flag;
};
// NewNode points to a slot that the host fills with a counted reference.
struct TpwProjectNodeContainerThreadEvent_ReplaceOnFake {
  ComPtr<IpwProjectNodeContainer> Container;
  ComPtr<IpwProjectNode> Child;
  IpwProjectNode** NewNode;
  WordBool* Result;
};
struct TpwProjectNodeContainerThreadEvent_ReplaceOnReal {
  ComPtr<IpwProjectNodeContainer> Container;
  ComPtr<IpwFakeProjectNode> Fake;
  IpwProjectNode** NewNode;
  WordBool* Result;
};

enum TContainerThreadEventKind : std::uint8_t {
  kAddChild = 0,
  kRemoveChild = 1,
  kReplaceOnFake = 2,
  kReplaceOnReal = 3
};

struct TpwContainerThreadEventBlock {
  std::uint8_t Kind;
  void* Record;
};

// Each returns once the host handled the event; a failing post raises.
bool PostAddChild(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child);
void PostRemoveChild(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child, bool flag);
// NewNode: the node the host put in place, nil unless the answer is True.
bool PostReplaceOnFake(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child,
                       ComPtr<IpwProjectNode>& newNode);
bool PostReplaceOnReal(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwFakeProjectNode* fake,
                       ComPtr<IpwProjectNode>& newNode);

// The host's side: checks the block's size and kind and runs the container operation it names,
// writing the answer into the record.
HRESULT RunContainerThreadEvent(void* data, std::int32_t size);

}  // namespace pw::project
