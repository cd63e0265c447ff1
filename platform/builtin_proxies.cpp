// The proxies that the platform provides for its own interfaces.
#include <vector>

#include "platform/marshal.h"

namespace pw {

std::vector<std::pair<IID, ProxyFactory>> BuiltinProxies() { return {}; }

}  // namespace pw
