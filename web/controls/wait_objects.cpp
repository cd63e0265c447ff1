#include "web/controls/wait_objects.h"

#include "platform/automation/out_params.h"

namespace pw::web {

HRESULT TpwWaitPageObject::GetFirstFlag(VARIANT_BOOL* flag) {
  return SafeCall([&] { SetOutBool(flag, true); });
}
HRESULT TpwWaitPageObject::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, u"Page"); });
}
HRESULT TpwWaitPageObject::GetSecondFlag(VARIANT_BOOL* flag) {
  return SafeCall([&] { SetOutBool(flag, false); });
}
HRESULT TpwWaitPageObject::GetParamCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 1); });
}
HRESULT TpwWaitPageObject::GetParamName(std::int32_t, BSTR* name) {
  return SafeCall([&] { SetOut(name, u"URL"); });
}

HRESULT TpwWaitItemObject::GetFirstFlag(VARIANT_BOOL* flag) {
  return SafeCall([&] { SetOutBool(flag, true); });
}
HRESULT TpwWaitItemObject::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}
HRESULT TpwWaitItemObject::GetSecondFlag(VARIANT_BOOL* flag) {
  return SafeCall([&] { SetOutBool(flag, false); });
}
HRESULT TpwWaitItemObject::GetParamCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, noParameter_ ? 0 : 1); });
}
HRESULT TpwWaitItemObject::GetParamName(std::int32_t, BSTR* name) {
  return SafeCall([&] { SetOut(name, u"IndexOrName"); });
}

}  // namespace pw::web
