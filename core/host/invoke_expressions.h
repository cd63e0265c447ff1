// Script calls with constant arguments as text of the project's language, rendered by the
// host's code model; host objects by key; a node's open-applications context item.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/automation/dispatch.h"

namespace pw {

inline constexpr GUID kHostObjectsService = MakeGuid("{EBDBAC08-25B3-4B2C-9545-1BD01637FFBB}");
inline constexpr GUID kContextItemKey = MakeGuid("{010C9CA9-DAD6-477B-92A5-A435CF493762}");

// Name(arg1, arg2, ...) with the first Count arguments of the call record in call order (one
// less with SkipLast); the bare name when Count is 0. Empty without a syntax manager.
WideString BuildInvokeExpressionText(IcvBaseManager* manager, WideStringView name, const DISPPARAMS& args,
                                     std::int32_t count, bool skipLast);
// The current language of the project-node registry; GUID_NULL without the service.
GUID GetRegistryLanguageKey(IcvBaseManager* manager);
// The host object with the key; nil when there is none.
ComPtr<IUnknown> GetSysNodeByKey(IcvBaseManager* manager, const GUID& key);
// The node's context item of the open-applications context table; nil when it has none.
ComPtr<IpwOpenAppContextItem> GetNodeContextItem(IUnknown* node);

}  // namespace pw
