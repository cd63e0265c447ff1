// Texts a script hands to conversions: a string variant converted to every numeric, Boolean
// and date type, and GUID text parsing. Where the type is exact (integers, GUIDs) a text that
// converts must convert back to an equal value. The bytes are the text as UTF-8 when the first
// byte is even, as UTF-16 (little-endian) when it is odd.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/guid.h"
#include "platform/rtl/strings.h"

using namespace pw;

namespace {

WideString TextOf(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  if ((data[0] & 1) == 0) return Utf8ToWide(fuzz::AsText(data + 1, size - 1));
  WideString s((size - 1) / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8);
  return s;
}

bool IsExact(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL: return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const WideString text = TextOf(data, size);
  OleVariant source(text);
  static constexpr VARTYPE kTypes[] = {VT_I1,  VT_UI1,  VT_I2, VT_UI2, VT_I4, VT_UI4,  VT_I8,  VT_UI8,
                                       VT_INT, VT_UINT, VT_R4, VT_R8,  VT_CY, VT_BOOL, VT_DATE};
  for (VARTYPE vt : kTypes) {
    OleVariant value;
    if (Failed(VariantChangeType(value.Ptr(), source.Ptr(), 0, vt))) continue;
    fuzz::Check(value.Type() == vt, "a conversion gave another type");
    OleVariant back;
    if (Failed(VariantChangeType(back.Ptr(), value.Ptr(), 0, VT_BSTR))) continue;
    if (!IsExact(vt)) continue;
    OleVariant again;
    fuzz::Check(Succeeded(VariantChangeType(again.Ptr(), back.Ptr(), 0, vt)),
                "the text of a converted integer does not convert back");
    fuzz::Check(VariantValuesEqual(again.Get(), value.Get()), "the text of a converted integer reads as another value");
  }

  if (auto guid = GuidFromString(WideStringView(text))) {
    const WideString printed = GuidToWideString(*guid);
    fuzz::Check(GuidFromString(WideStringView(printed)) == guid, "a printed GUID reads as another GUID");
    fuzz::Check(SameTextIgnoringCase(printed, text), "a GUID text reads as another GUID");
  }
  const std::string narrow = WideToUtf8(text);
  if (auto guid = GuidFromString(std::string_view(narrow)))
    fuzz::Check(GuidFromString(WideStringView(text)) == guid, "a GUID reads differently as UTF-8 and UTF-16");
  return 0;
}
