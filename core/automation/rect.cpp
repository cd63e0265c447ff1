#include "core/automation/rect.h"

#include "platform/automation/out_params.h"
#include "core/automation/dispatch_helpers.h"
#include "platform/rtl/exceptions.h"

namespace pw {

TpwRect::TpwRect(const TRect& r) : AutoImplements({IpwRect::iid}), rect_(r) {}

HRESULT TpwRect::Get(std::int32_t* out, std::int32_t v) {
  return SafeCall([&] {
    CheckOut(out);
    *out = v;
  });
}

HRESULT TpwRect::Put(std::int32_t& field, std::int32_t v) {
  field = v;
  return S_OK;
}

HRESULT TpwRect::get_Width(std::int32_t* value) {
  // Wraps rather than overflows for extreme coordinates.
  return Get(value, static_cast<std::int32_t>(static_cast<std::uint32_t>(rect_.Right) - static_cast<std::uint32_t>(rect_.Left)));
}

HRESULT TpwRect::get_Height(std::int32_t* value) {
  return Get(value, static_cast<std::int32_t>(static_cast<std::uint32_t>(rect_.Bottom) - static_cast<std::uint32_t>(rect_.Top)));
}

ComPtr<IpwTestLog> GetTestLog(IcvBaseManager* manager) { return GetLogObject(manager); }

}  // namespace pw
