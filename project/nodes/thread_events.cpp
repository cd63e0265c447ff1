#include "project/nodes/thread_events.h"

#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {
void Post(IcvBaseManager* manager, TpwContainerThreadEventBlock& block) {
  auto broker = GetObjectBroker(manager);
  if (!broker) throw EOleSysError(u"The host has no object broker.", E_NOINTERFACE);
  SafeCallCheck(broker->PostAndWait(kContainerThreadEventClass, reinterpret_cast<std::intptr_t>(&block),
                                    static_cast<std::int32_t>(sizeof(block)), -1));
}

// Posts a replacement and takes the node the host wrote into `slot`: kept in `newNode` when the
// replacement succeeded, released otherwise (also when the post raises).
bool PostForNewNode(IcvBaseManager* manager, TpwContainerThreadEventBlock& block, IpwProjectNode*& slot,
                    const WordBool& result, ComPtr<IpwProjectNode>& newNode) {
  try {
    Post(manager, block);
  } catch (...) {
    ComPtr<IpwProjectNode>::Attach(slot);
    throw;
  }
  ComPtr<IpwProjectNode> written = ComPtr<IpwProjectNode>::Attach(slot);
  slot = nullptr;
  newNode = result ? std::move(written) : nullptr;
  return result != 0;
}
}  // namespace

bool PostAddChild(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child) {
  WordBool result = WordFalse;
  TpwProjectNodeContainerThreadEvent_AddChild record{ComPtr<IpwProjectNodeContainer>(container),
                                                     ComPtr<IpwProjectNode>(child), &result};
  TpwContainerThreadEventBlock block{kAddChild, &record};
  Post(manager, block);
  return result != 0;
}

void PostRemoveChild(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child, bool flag) {
  TpwProjectNodeContainerThreadEvent_RemoveChild record{ComPtr<IpwProjectNodeContainer>(container),
                                                        ComPtr<IpwProjectNode>(child), ToWordBool(flag)};
  TpwContainerThreadEventBlock block{kRemoveChild, &record};
  Post(manager, block);
}

bool PostReplaceOnFake(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwProjectNode* child,
                       ComPtr<IpwProjectNode>& newNode) {
  newNode = nullptr;
  WordBool result = WordFalse;
  IpwProjectNode* slot = nullptr;
  TpwProjectNodeContainerThreadEvent_ReplaceOnFake record{ComPtr<IpwProjectNodeContainer>(container),
                                                          ComPtr<IpwProjectNode>(child), &slot, &result};
  TpwContainerThreadEventBlock block{kReplaceOnFake, &record};
  return PostForNewNode(manager, block, slot, result, newNode);
}

bool PostReplaceOnReal(IcvBaseManager* manager, IpwProjectNodeContainer* container, IpwFakeProjectNode* fake,
                       ComPtr<IpwProjectNode>& newNode) {
  newNode = nullptr;
  WordBool result = WordFalse;
  IpwProjectNode* slot = nullptr;
  TpwProjectNodeContainerThreadEvent_ReplaceOnReal record{ComPtr<IpwProjectNodeContainer>(container),
                                                          ComPtr<IpwFakeProjectNode>(fake), &slot, &result};
  TpwContainerThreadEventBlock block{kReplaceOnReal, &record};
  return PostForNewNode(manager, block, slot, result, newNode);
}

HRESULT RunContainerThreadEvent(void* data, std::int32_t size) {
  if (!data || size != static_cast<std::int32_t>(sizeof(TpwContainerThreadEventBlock))) return E_INVALIDARG;
  auto* block = static_cast<TpwContainerThreadEventBlock*>(data);
  if (!block->Record) return E_INVALIDARG;
  switch (block->Kind) {
    case kAddChild: {
      auto* r = static_cast<TpwProjectNodeContainerThreadEvent_AddChild*>(block->Record);
      if (!r->Container || !r->Result) return E_INVALIDARG;
      VARIANT_BOOL added = VARIANT_FALSE;
      HRESULT hr = r->Container->AddChild(r->Child.Get(), &added);
      *r->Result = Succeeded(hr) ? added : WordFalse;
      return hr;
    }
    case kRemoveChild: {
      auto* r = static_cast<TpwProjectNodeContainerThreadEvent_RemoveChild*>(block->Record);
      if (!r->Container) return E_INVALIDARG;
      return r->Container->RemoveChild(r->Child.Get(), r->Flag);
    }
    case kReplaceOnFake: {
      auto* r = static_cast<TpwProjectNodeContainerThreadEvent_ReplaceOnFake*>(block->Record);
      if (!r->Container || !r->NewNode || !r->Result) return E_INVALIDARG;
      VARIANT_BOOL replaced = VARIANT_FALSE;
      HRESULT hr = r->Container->ReplaceOnFake(r->Child.Get(), r->NewNode, &replaced);
      *r->Result = Succeeded(hr) ? replaced : WordFalse;
      return hr;
    }
    case kReplaceOnReal: {
      auto* r = static_cast<TpwProjectNodeContainerThreadEvent_ReplaceOnReal*>(block->Record);
      if (!r->Container || !r->NewNode || !r->Result) return E_INVALIDARG;
      VARIANT_BOOL replaced = VARIANT_FALSE;
      HRESULT hr = r->Container->ReplaceOnReal(r->Fake.Get(), r->NewNode, &replaced);
      *r->Result = Succeeded(hr) ? replaced : WordFalse;
      return hr;
    }
    default:
      return E_INVALIDARG;
  }
}

}  // namespace pw::project
