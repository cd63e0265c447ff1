#include "web/options/web_testing_options.h"

#include "core/host/host_settings.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::web {

namespace {

bool IsTrue(const OleVariant& v) {
  if (v.Type() != VT_BOOL) return false;
  return v.Get().boolVal != VARIANT_FALSE;
}

WideString AsText(const OleVariant& v) {
  if (v.IsEmpty() || v.IsNull()) return {};
  return v.AsString();
}

}  // namespace

TpwWebTestingOptions::TpwWebTestingOptions(IcvBaseManager* settings) : settings_(settings) {}

bool TpwWebTestingOptions::GetAddWaitComments() const {
  return IsTrue(GetSettingValue(settings_.Get(), kAddWaitCommentsOption));
}

WideString TpwWebTestingOptions::GetTestedHost() const {
  return AsText(GetSettingValue(settings_.Get(), kTestedHostOption));
}

WideString TpwWebTestingOptions::GetRecordTestedHostAs() const {
  return AsText(GetSettingValue(settings_.Get(), kRecordTestedHostAsOption));
}

bool TpwWebTestingOptions::GetIgnoreDynamicUrlParams() const {
  return IsTrue(GetSettingValue(settings_.Get(), kIgnoreDynamicUrlParamsOption));
}

void TpwWebTestingOptions::GetDynamicParameters(std::vector<WideString>& names) const {
  auto setting = GetSetting(settings_.Get(), kDynamicParametersOption);
  auto table = setting.As<IpwTableSetting>();
  if (!table) return;
  std::int32_t rows = 0;
  OleCheck(table->GetRowCount(&rows));
  for (std::int32_t row = 0; row < rows; ++row) {
    OleVariant cell;
    OleCheck(table->GetCell(0, row, cell.Put()));
    names.push_back(AsText(cell));
  }
}

WideString MaskDynamicUrlParams(WideStringView url, const std::vector<WideString>& names) {
  for (const auto& n : names)
    if (n == u"*") return MaskAllUrlParams(url);
  WideString result(url);
  for (const auto& n : names) result = MaskUrlParameter(result, n);
  return result;
}

WideString MaskAllUrlParams(WideStringView url) {
  auto semicolon = url.find(u';');
  auto question = url.find(u'?');
  std::size_t p = WideStringView::npos;
  if (semicolon != WideStringView::npos && (question == WideStringView::npos || semicolon < question))
    p = semicolon;
  else
    p = question;
  if (p == WideStringView::npos) p = url.find(u'#');
  if (p == WideStringView::npos) return WideString(url);
  return WideString(url.substr(0, p)) + u"*";
}

WideString MaskUrlParameter(WideStringView url, WideStringView name) {
  WideString result;
  constexpr std::size_t kNone = WideStringView::npos;
  std::size_t start = 0;  // the first character not yet copied; kNone: nothing pending
  WideString buffer;
  int state = 0;
  for (std::size_t i = 0; i < url.size(); ++i) {
    char16_t c = url[i];
    switch (state) {
      case 0:
        if (c == u'?' || c == u'&' || c == u';') {
          buffer.clear();
          state = 1;
        }
        break;
      case 1:
        if (c == u'=') {
          if (SameTextIgnoringCase(buffer, name)) {
            result += WideString(url.substr(start, i + 1 - start)) + u"*";
            start = kNone;
            state = 2;
          } else {
            state = 0;
          }
        } else if (c == u'?' || c == u'&' || c == u';') {
          // A parameter without a value: the next name starts here.
          buffer.clear();
        } else {
          buffer += c;
        }
        break;
      default:
        if (c == u'&' || c == u'?') {
          start = i;
          buffer.clear();
          state = 1;
        }
        break;
    }
  }
  if (start != kNone) result += WideString(url.substr(start));
  return result;
}

}  // namespace pw::web
