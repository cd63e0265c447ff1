// The call information of the web plug-ins' waiting calls: how the host builds the script text
// of a wait on a page ("Page" with one parameter "URL") or on a named item of a page or a
// browser dialog (the item's name with no parameter, or one parameter "IndexOrName").
//
// Both are automation objects without script members of their own (the host receives them as
// IDispatch) and answer IpwObjectCallInformation; they never change after construction.
// GetParamName answers its one text for every index, also beyond the parameter count.
#pragma once

#include "core/automation/automation.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::web {

class TpwWaitPageObject final : public Implements<TCVAAutoIntfObject, IpwObjectCallInformation> {
 public:
  TpwWaitPageObject() : Implements(std::vector<IID>{}) {}

  HRESULT GetFirstFlag(VARIANT_BOOL* flag) override;              // True
  HRESULT GetName(BSTR* name) override;                           // "Page"
  HRESULT GetSecondFlag(VARIANT_BOOL* flag) override;             // False
  HRESULT GetParamCount(std::int32_t* count) override;            // 1
  HRESULT GetParamName(std::int32_t index, BSTR* name) override;  // "URL"
};

class TpwWaitItemObject final : public Implements<TCVAAutoIntfObject, IpwObjectCallInformation> {
 public:
  // The web testing plug-in makes "Alert", "Confirm", "Prompt", "Login" without a parameter and
  // "Item", "Frame" with one.
  TpwWaitItemObject(WideString name, bool noParameter)
      : Implements(std::vector<IID>{}), name_(std::move(name)), noParameter_(noParameter) {}

  HRESULT GetFirstFlag(VARIANT_BOOL* flag) override;              // True
  HRESULT GetName(BSTR* name) override;                           // the name
  HRESULT GetSecondFlag(VARIANT_BOOL* flag) override;             // False
  HRESULT GetParamCount(std::int32_t* count) override;            // 0 without a parameter, else 1
  HRESULT GetParamName(std::int32_t index, BSTR* name) override;  // "IndexOrName"

 private:
  const WideString name_;
  const bool noParameter_;
};

}  // namespace pw::web
