// The one rule for out parameters: a nil out pointer raises "Invalid pointer" (E_POINTER)
// before anything is written or allocated; at a boundary that is the call's result.
#include "platform/automation/out_params.h"

#include <gtest/gtest.h>

#include "platform/com/errorinfo.h"
#include "platform/com/safecall.h"

namespace pw {
namespace {

TEST(OutParams, ANilPointerFailsWithEPointerAndErrorInformation) {
  const auto nilCases = {
      +[] { SetOutValue<std::int32_t>(nullptr, 5); },
      +[] { SetOutBool(nullptr, true); },
      +[] { SetOut(static_cast<BSTR*>(nullptr), u"text"); },
      +[] { SetOut(static_cast<VARIANT*>(nullptr), OleVariant(1)); },
      +[] { SetOut(static_cast<IUnknown**>(nullptr), ComPtr<IUnknown>()); },
  };
  for (auto setter : nilCases) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(SafeCallBoundary([&] { setter(); }), E_POINTER);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    BString text;
    info->GetDescription(text.Put());
    EXPECT_EQ(text.View(), u"Invalid pointer");
  }
}

TEST(OutParams, ValuesReachTheirPointers) {
  std::int32_t n = 0;
  VARIANT_BOOL b = VARIANT_FALSE;
  BSTR s = nullptr;
  VARIANT v;
  VariantInit(&v);
  SetOutValue(&n, 7);
  SetOutBool(&b, true);
  SetOut(&s, u"text");
  SetOut(&v, OleVariant(u"value"));
  EXPECT_EQ(n, 7);
  EXPECT_EQ(b, VARIANT_TRUE);
  EXPECT_EQ(BstrView(s), u"text");
  EXPECT_EQ(BstrView(v.bstrVal), u"value");
  SysFreeString(s);
  VariantClear(&v);
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  SetOut(&none, ComPtr<IUnknown>());
  EXPECT_EQ(none, nullptr);  // nil stays nil
}

}  // namespace
}  // namespace pw
