#include "core/automation/variant_utils.h"

#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "tests/support/variant_refs.h"

namespace pw {
namespace {

using test::ByRef;

TEST(GetVarTypeNoRef, DropsTheReferenceBitAndFollowsVariantReferences) {
  OleVariant i(std::int32_t{5});
  VARIANT byRefInt = ByRef(VT_I4, &i.Get().lVal);
  EXPECT_EQ(GetVarTypeNoRef(byRefInt), VT_I4);

  VARIANT inner = ByRef(VT_VARIANT, &i.Get());
  VARIANT outer = ByRef(VT_VARIANT, &inner);
  EXPECT_EQ(GetVarTypeNoRef(outer), VT_I4);
  EXPECT_EQ(GetVarTypeNoRef(OleVariant().Get()), VT_EMPTY);
  // A chain that refers back to itself ends.
  VARIANT loop;
  VariantInit(&loop);
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_EQ(GetVarTypeNoRef(loop), VT_VARIANT);
  // An array keeps its array bit.
  VARIANT arr;
  VariantInit(&arr);
  arr.vt = VT_ARRAY | VT_BYREF | VT_VARIANT;
  EXPECT_EQ(GetVarTypeNoRef(arr), VT_ARRAY | VT_VARIANT);
}

TEST(SameVariantValue, ComparesByTheTypeOfTheFirstValue) {
  struct Case {
    OleVariant a, b;
    int expected;
  } cases[] = {
      {OleVariant(std::int32_t{1}), OleVariant(1.0 + 1e-11), 0},
      {OleVariant(std::int32_t{1}), OleVariant(1.5), -1},
      {OleVariant(2.5), OleVariant(std::int32_t{2}), 1},
      {OleVariant::Of(VT_UI1, 200), OleVariant::Of(VT_I8, 200), 0},
      {OleVariant(std::int32_t{3}), OleVariant(u"3"), 0},  // B converted to a number
      {OleVariant(u"abc"), OleVariant(u"ABD"), -1},
      {OleVariant(u"Node"), OleVariant(u"nODE"), 0},
      {OleVariant(u"b"), OleVariant(u"A"), 1},
      {OleVariant(u"10"), OleVariant(std::int32_t{10}), 0},  // B converted to text
      {OleVariant(true), OleVariant(true), 0},
      {OleVariant(true), OleVariant(false), 1},
      {OleVariant(false), OleVariant(true), -1},
      {OleVariant(), OleVariant(std::int32_t{1}), 0},  // other types of A give 0
      {OleVariant::Null(), OleVariant(u"x"), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SameVariantValue(c.a.Get(), c.b.Get()), c.expected)
        << "a type " << c.a.Get().vt << ", b type " << c.b.Get().vt;
}

TEST(SameVariantValue, AValueThatCannotBeConvertedRaises) {
  try {
    SameVariantValue(OleVariant(std::int32_t{1}).Get(), OleVariant(u"not a number").Get());
    FAIL() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_TYPEMISMATCH);
  }
}

}  // namespace
}  // namespace pw
