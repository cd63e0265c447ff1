// The module's own type library, registered for the life of a scope, as the module registers it:
// the script-visible controls answer by name through it (their construction looks up the type
// information of their interfaces). Made while a host runs (the host starts the library list).
#pragma once

#include <string>

#include "core/automation/automation.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/rtl/strings.h"

namespace pw::web::test {

class ScopedModuleLibrary {
 public:
  ScopedModuleLibrary() {
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
    const char* path = PW_MODULE_TYPELIB;
    OleCheck(LoadTypeLib(WideString(path, path + std::char_traits<char>::length(path)), library_.Put()));
    TypeLibraries()->Add(library_.Get());
  }
  ScopedModuleLibrary(const ScopedModuleLibrary&) = delete;
  ScopedModuleLibrary& operator=(const ScopedModuleLibrary&) = delete;

 private:
  ComPtr<ITypeLib> library_;
};

}  // namespace pw::web::test
