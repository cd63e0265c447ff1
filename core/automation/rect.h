// TpwRect: the automation rectangle that scripts receive for screen bounds.
#pragma once

#include "core/automation/automation.h"
#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"

namespace pw {

// A platform rectangle, in screen pixels.
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Four coordinates, stored as given (a rectangle may be empty or inverted), and the derived
// Width and Height.
class TpwRect : public AutoImplements<TCVAAutoIntfObject, IpwRect> {
 public:
  explicit TpwRect(const TRect& r);

  HRESULT get_Left(std::int32_t* value) override { return Get(value, rect_.Left); }
  HRESULT put_Left(std::int32_t value) override { return Put(rect_.Left, value); }
  HRESULT get_Top(std::int32_t* value) override { return Get(value, rect_.Top); }
  HRESULT put_Top(std::int32_t value) override { return Put(rect_.Top, value); }
  HRESULT get_Right(std::int32_t* value) override { return Get(value, rect_.Right); }
  HRESULT put_Right(std::int32_t value) override { return Put(rect_.Right, value); }
  HRESULT get_Bottom(std::int32_t* value) override { return Get(value, rect_.Bottom); }
  HRESULT put_Bottom(std::int32_t value) override { return Put(rect_.Bottom, value); }
  HRESULT get_Width(std::int32_t* value) override;
  HRESULT get_Height(std::int32_t* value) override;

 private:
  HRESULT Get(std::int32_t* out, std::int32_t v);
  HRESULT Put(std::int32_t& field, std::int32_t v);

  TRect rect_;
};

// The host's test log: the same lookup as GetLogObject.
ComPtr<IpwTestLog> GetTestLog(IcvBaseManager* manager);

}  // namespace pw
