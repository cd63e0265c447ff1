// The web event analyzer that the web testing plug-in registers with the host's
// recording service. Three entries, each on the caller's thread, with no state
// between calls:
//  - Analyze: offers every recorded action to the twelve automates in their
//  fixed order (the
//    automate in progress first) and resets all of them at the end, also when a
//    step fails;
//  - Describe: gives every recorded web action its script call and description,
//  wait comments
//    and browser navigation statements;
//  - MakeObjectExpression: the code expression Page(URL) of a recorded page
//  object.
// URLs in code have the tested host replaced by the text the user records it
// as, and, when the option says so, their dynamic parameters masked.
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "web/options/web_testing_options.h"

namespace pw::web {

class TpwWebEventAnalyzer final
    : public Implements<TcvInterfacedObject, IpwRecordingDescriber, IpwRecordingObjectNamer, IpwRecordingAnalyzer> {
 public:
  // Raises when the host has no syntax manager.
  explicit TpwWebEventAnalyzer(IcvBaseManager* manager);

  // IpwRecordingDescriber
  HRESULT Describe(IpwRecordedCodeWriter* writer, IpwRecordedActionList* actions) override;
  // IpwRecordingObjectNamer
  HRESULT MakeObjectExpression(BSTR name, VARIANT_BOOL hasParams, const VARIANT& params, IcvSyntaxElement** expression,
                               VARIANT_BOOL* result) override;
  // IpwRecordingAnalyzer
  HRESULT Operation3() override { return S_OK; }
  HRESULT Operation4() override { return S_OK; }
  HRESULT Analyze(IpwRecordedActionList* actions) override;

  // The URL as code: constants, and the tested host as the record-as text
  // joined in with the language's concatenation; nil for an empty URL.
  ComPtr<IcvSyntaxElement> UrlExpression(WideStringView url);
  // UrlExpression as source text of the current scripting language.
  WideString UrlText(WideStringView url);
  // The URL with its dynamic parameters masked when the option says so.
  WideString MaskUrl(WideStringView url);

  const TpwWebTestingOptions& Options() const { return options_; }

 private:
  void DoAnalyze(IpwRecordedActionList* actions);
  void DoDescribe(IpwRecordedCodeWriter* writer, IpwRecordedActionList* actions);
  template <class I>
  ComPtr<I> NewElement();
  ComPtr<IcvSyntaxElement> Constant(const OleVariant& value);

  ComPtr<IcvBaseManager> manager_;
  ComPtr<IcvSyntaxManager> syntax_;
  TpwWebTestingOptions options_;
};

}  // namespace pw::web
