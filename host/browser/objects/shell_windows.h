// The shell's list of browser windows: the "iexplore" browsers of the test host, with the
// list's events (a browser window registered or revoked) through a connection point on
// `DShellWindowsEvents`. CoCreateInstance of CLSID_ShellWindows answers the one list of the
// test host while its browsers object lives.
//
// Each browser is in the list under a cookie (0x10000 + its id), given in the events. `Item`
// takes an index (0 to Count - 1, in the order the browsers opened) or a cookie and answers the
// browser object (IWebBrowser2), nil for neither. `Count` counts the browsers. The events are
// raised on the thread that opened or closed the browser, after the host's lock is released.
// The object is free-threaded; once the host's browsers are gone the list is empty.
#pragma once

#include <memory>
#include <mutex>

#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"
#include "platform/com/connection_points.h"
#include "platform/com/free_threaded.h"
#include "platform/com/guid.h"

namespace pw::host {

class TBrowsers;
struct TestedBrowser;

inline constexpr CLSID CLSID_ShellWindows = MakeGuid("{9BA05972-F6A8-11CF-A442-00A0C90A8F39}");
inline constexpr IID DIID_DShellWindowsEvents = MakeGuid("{FE4106E0-399A-11D0-A48C-00A0C90A8F39}");
inline constexpr DISPID kEventWindowRegistered = 200;
inline constexpr DISPID kEventWindowRevoked = 201;
inline constexpr DISPID kDispShellCount = 0x60020000;
inline constexpr DISPID kDispShellItem = 0;  // also the default member
inline constexpr std::int32_t kShellCookieBase = 0x10000;

struct IShellWindows : IDispatch {
  static constexpr IID iid = MakeGuid("{85CB6900-4D95-11CF-960C-0080C7F4EE85}");
  using Inherited = IDispatch;
  virtual HRESULT get_Count(std::int32_t* count) = 0;
  virtual HRESULT Item(VARIANT index, IDispatch** browser) = 0;
};

class TShellWindows final : public FreeThreaded<Implements<ComObject, IShellWindows, IConnectionPointContainer>> {
 public:
  explicit TShellWindows(TBrowsers& browsers) : browsers_(&browsers) {}

  // The host's browsers are going: the list is empty from now on.
  void Detach();
  // A browser came (registered) or went.
  void Notify(bool registered, const TestedBrowser& browser);

  HRESULT get_Count(std::int32_t* count) override;
  HRESULT Item(VARIANT index, IDispatch** browser) override;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override;

  HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override;

 protected:
  void Constructed() noexcept override;

 private:
  std::mutex mutex_;
  TBrowsers* browsers_;
  ComPtr<TConnectionPoint> point_;
};

}  // namespace pw::host
