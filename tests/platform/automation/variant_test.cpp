#include "platform/automation/variant.h"

#include <gtest/gtest.h>

#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"
#include "tests/support/variant_refs.h"

namespace pw {
namespace {

using test::ByRef;

OleVariant Cy(std::int64_t scaled) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_CY;
  v.cyVal.int64 = scaled;
  return OleVariant::Attach(v);
}

// Conversions: source value, target type -> result (compared as text) or failure code.
TEST(VariantChangeType, Table) {
  struct Case {
    OleVariant from;
    VARTYPE to;
    HRESULT hr;
    const char16_t* text;  // the result converted to text, when hr is S_OK
  };
  const Case cases[] = {
      {OleVariant(), VT_I4, S_OK, u"0"},
      {OleVariant(), VT_BSTR, S_OK, u""},
      {OleVariant(), VT_BOOL, S_OK, u"False"},
      {OleVariant::Null(), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(300), VT_UI1, DISP_E_OVERFLOW, nullptr},
      {OleVariant(255), VT_UI1, S_OK, u"255"},
      {OleVariant(-1), VT_UI4, DISP_E_OVERFLOW, nullptr},
      {OleVariant(-129), VT_I1, DISP_E_OVERFLOW, nullptr},
      {OleVariant(40000), VT_I2, DISP_E_OVERFLOW, nullptr},
      {OleVariant(2.5), VT_I4, S_OK, u"2"},  // half to even
      {OleVariant(3.5), VT_I4, S_OK, u"4"},
      {OleVariant(-2.5), VT_I4, S_OK, u"-2"},
      {OleVariant(2147483647.6), VT_I4, DISP_E_OVERFLOW, nullptr},
      {OleVariant(1e300), VT_R4, DISP_E_OVERFLOW, nullptr},
      {OleVariant(1e300), VT_I8, DISP_E_OVERFLOW, nullptr},
      {OleVariant(0.1), VT_BSTR, S_OK, u"0.1"},
      {OleVariant(1e20), VT_BSTR, S_OK, u"1E+20"},
      {OleVariant(-12), VT_BSTR, S_OK, u"-12"},
      {OleVariant(true), VT_I4, S_OK, u"-1"},
      {OleVariant(true), VT_UI1, S_OK, u"255"},  // True wraps in unsigned types
      {OleVariant(true), VT_BSTR, S_OK, u"True"},
      {OleVariant(false), VT_R8, S_OK, u"0"},
      {OleVariant(7), VT_BOOL, S_OK, u"True"},
      {OleVariant(u" 42 "), VT_I4, S_OK, u"42"},
      {OleVariant(u"4.5"), VT_I4, S_OK, u"4"},
      {OleVariant(u"1e3"), VT_I2, S_OK, u"1000"},
      {OleVariant(u"99999"), VT_I2, DISP_E_OVERFLOW, nullptr},
      {OleVariant(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u""), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"1,5"), VT_R8, DISP_E_TYPEMISMATCH, nullptr},  // locale-neutral: '.' only
      {OleVariant(u"9223372036854775807"), VT_I8, S_OK, u"9223372036854775807"},
      {OleVariant(u"18446744073709551615"), VT_UI8, S_OK, u"18446744073709551615"},
      {OleVariant(u"1e999"), VT_R8, DISP_E_OVERFLOW, nullptr},
      {OleVariant(u".5"), VT_R8, S_OK, u"0.5"},
      {OleVariant(u"-2.5E1"), VT_I4, S_OK, u"-25"},
      {OleVariant(u"+7."), VT_I4, S_OK, u"7"},
      // Only decimal numbers are numbers: no words the number parser would know, no stray signs.
      {OleVariant(u"nan"), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"inf"), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"-Infinity"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"NaN"), VT_BOOL, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"+-5"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"1e"), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"."), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"0x10"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"true"), VT_BOOL, S_OK, u"True"},
      {OleVariant(u"0"), VT_BOOL, S_OK, u"False"},
      {OleVariant(u"maybe"), VT_BOOL, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(u"5"), VT_DISPATCH, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(1.25), VT_CY, S_OK, u"1.25"},
      {Cy(25000), VT_I4, S_OK, u"2"},  // 2.5 rounds half to even
      {Cy(-123456), VT_BSTR, S_OK, u"-12.3456"},
      {OleVariant(5), VT_DATE, S_OK, u"5"},
      {OleVariant(5), VT_ERROR, DISP_E_TYPEMISMATCH, nullptr},
      {OleVariant(5), VT_VARIANT, DISP_E_BADVARTYPE, nullptr},
      {OleVariant(5), 0x0FFF, DISP_E_BADVARTYPE, nullptr},
  };
  for (const auto& c : cases) {
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = VariantChangeType(&out, &c.from.Get(), 0, c.to);
    std::string what = "from type " + std::to_string(c.from.Type()) + " to " + std::to_string(c.to);
    ASSERT_EQ(hr, c.hr) << what;
    if (hr == S_OK) {
      EXPECT_EQ(out.vt, c.to) << what;
      OleVariant result = OleVariant::Attach(out);
      if (c.to == VT_DATE) result = OleVariant(result.AsDouble());
      EXPECT_EQ(result.AsString(), c.text) << what;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << what;  // the destination is left alone
    }
  }
}

TEST(VariantChangeType, FollowsReferenceChainsAndConvertsInPlace) {
  OleVariant inner(u"17");
  VARIANT r1 = ByRef(VT_VARIANT, &inner.Get());
  VARIANT r2 = ByRef(VT_VARIANT, &r1);
  OleVariant out;
  ASSERT_EQ(VariantChangeType(out.Put(), &r2, 0, VT_I4), S_OK);
  EXPECT_EQ(out.Get().lVal, 17);

  std::int32_t n = 9;
  VARIANT byref = ByRef(VT_I4, &n);
  ASSERT_EQ(VariantCopyInd(out.Put(), &byref), S_OK);
  EXPECT_EQ(out.Type(), VT_I4);
  EXPECT_EQ(out.Get().lVal, 9);

  OleVariant s(u"3");
  ASSERT_EQ(VariantChangeType(s.Ptr(), s.Ptr(), 0, VT_R8), S_OK);  // in place frees the string
  EXPECT_EQ(s.Type(), VT_R8);
  EXPECT_EQ(s.Get().dblVal, 3.0);

  // A chain that refers back to itself is refused instead of followed for ever.
  VARIANT loop[2];
  loop[0] = ByRef(VT_VARIANT, &loop[1]);
  loop[1] = ByRef(VT_VARIANT, &loop[0]);
  EXPECT_EQ(VariantChangeType(out.Put(), &loop[0], 0, VT_I4), E_INVALIDARG);
  EXPECT_EQ(VariantCopyInd(out.Put(), &loop[0]), E_INVALIDARG);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(SafeArray, RefusesBoundsWhoseElementsCannotExist) {
  // 2^16 elements in each of four dimensions: 2^64 elements, which wrap a size count.
  const SAFEARRAYBOUND huge[4] = {{0x10000, 0}, {0x10000, 0}, {0x10000, 0}, {0x10000, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 4, huge), nullptr);
  // An empty dimension makes an empty array, whatever the others say.
  const SAFEARRAYBOUND empty[3] = {{0x10000, 0}, {0, 1}, {0xFFFFFFFF, 0}};
  SAFEARRAY* a = SafeArrayCreate(VT_I4, 3, empty);
  ASSERT_NE(a, nullptr);
  std::int32_t at[3] = {0, 1, 0};
  std::int32_t value = 0;
  EXPECT_EQ(SafeArrayGetElement(a, at, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(Variant, CopiesOwnStringsAndArrays) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  ASSERT_NE(a, nullptr);
  std::int32_t i = 1;
  OleVariant text(u"x");
  ASSERT_EQ(SafeArrayPutElement(a, &i, &text.Get()), S_OK);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_VARIANT;
  v.parray = a;
  OleVariant original = OleVariant::Attach(v);
  OleVariant copy = original;
  ASSERT_NE(copy.Get().parray, a);
  OleVariant element;
  ASSERT_EQ(SafeArrayGetElement(copy.Get().parray, &i, element.Put()), S_OK);
  EXPECT_EQ(element.AsString(), u"x");
  std::int32_t lo = 5, hi = 5;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 1);
  std::int32_t bad = 2;
  EXPECT_EQ(SafeArrayGetElement(a, &bad, element.Put()), DISP_E_BADINDEX);
  void* data = nullptr;
  SafeArrayAccessData(a, &data);
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  SafeArrayUnaccessData(a);
  EXPECT_TRUE(VariantValuesEqual(OleVariant(u"a").Get(), OleVariant(u"a").Get()));
  EXPECT_FALSE(VariantValuesEqual(OleVariant(u"a").Get(), OleVariant(u"A").Get()));
}

TEST(SafeArray, LocksNestUpToTheirLimitAndAnUnlockNeedsALock) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_TRUE(a);
  EXPECT_EQ(SafeArrayUnlock(a), E_UNEXPECTED);
  for (std::uint32_t i = 0; i < kSafeArrayMaxLocks; ++i) ASSERT_EQ(SafeArrayLock(a), S_OK);
  EXPECT_EQ(SafeArrayLock(a), E_UNEXPECTED);
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(a, &data), E_UNEXPECTED);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(a->cLocks, kSafeArrayMaxLocks);
  for (std::uint32_t i = 0; i < kSafeArrayMaxLocks; ++i) ASSERT_EQ(SafeArrayUnlock(a), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

}  // namespace
}  // namespace pw
