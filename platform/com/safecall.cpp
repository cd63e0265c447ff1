#include "platform/com/safecall.h"

#include <new>

#include "platform/automation/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

HRESULT HandleSafeCallException(std::exception_ptr e, const GUID& errorIid, WideStringView source,
                                WideStringView helpFile) noexcept {
  HRESULT result = E_UNEXPECTED;
  WideString description, src(source), help(helpFile);
  DWORD helpContext = 0;
  try {
    try {
      std::rethrow_exception(e);
    } catch (const EOleException& x) {
      result = x.ErrorCode();
      description = x.Message();
      if (!x.Source().empty()) src = x.Source();
      if (!x.HelpFile().empty()) help = x.HelpFile();
      helpContext = static_cast<DWORD>(x.HelpContext());
    } catch (const EOleSysError& x) {
      result = x.ErrorCode();
      description = x.Message();
      helpContext = static_cast<DWORD>(x.HelpContext());
    } catch (const Exception& x) {
      description = x.Message();
      helpContext = static_cast<DWORD>(x.HelpContext());
    } catch (const std::bad_alloc&) {
      result = E_OUTOFMEMORY;
      description = u"Out of memory";
    } catch (const std::exception& x) {
      description = Utf8ToWide(x.what());
    } catch (...) {
    }
    // A "failure" that carries a success code must still be reported as a failure.
    if (!Failed(result)) result = E_UNEXPECTED;

    ComPtr<ICreateErrorInfo> create;
    if (Succeeded(CreateErrorInfo(create.Put()))) {
      create->SetGUID(errorIid);
      if (!src.empty()) create->SetSource(src.c_str());
      if (!help.empty()) create->SetHelpFile(help.c_str());
      create->SetDescription(description.c_str());
      create->SetHelpContext(helpContext);
      if (auto info = create.As<IErrorInfo>()) SetErrorInfo(0, info.Get());
    }
  } catch (...) {
    // Out of memory while building the error information: the code alone goes back.
  }
  return result;
}

HRESULT SafeCallCheck(HRESULT hr) {
  if (!Failed(hr)) return hr;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) == S_OK && info) {
    BString description, source, helpFile;
    DWORD helpContext = 0;
    info->GetDescription(description.Put());
    info->GetSource(source.Put());
    info->GetHelpFile(helpFile.Put());
    info->GetHelpContext(&helpContext);
    WideString message = description.Str();
    if (message.empty()) message = HResultMessage(hr);
    throw EOleException(message, hr, source.Str(), helpFile.Str(), static_cast<int>(helpContext));
  }
  throw EOleSysError(HResultMessage(hr), hr);
}

}  // namespace pw
