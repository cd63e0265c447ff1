#include "platform/rtl/exceptions.h"

#include <cerrno>
#include <cstring>

#include "platform/rtl/strings.h"

namespace pw {

Exception::Exception(WideString message) : message_(std::move(message)), utf8_(WideToUtf8(message_)) {}

WideString SysErrorMessage(DWORD code) { return Utf8ToWide(std::strerror(static_cast<int>(code))); }

WideString HResultMessage(HRESULT hr) {
  struct Known {
    HRESULT code;
    const char16_t* text;
  };
  static const Known known[] = {
      {E_NOTIMPL, u"Not implemented"},
      {E_NOINTERFACE, u"No such interface supported"},
      {E_POINTER, u"Invalid pointer"},
      {E_ABORT, u"Operation aborted"},
      {E_FAIL, u"Unspecified error"},
      {E_UNEXPECTED, u"Catastrophic failure"},
      {E_ACCESSDENIED, u"Access is denied"},
      {E_OUTOFMEMORY, u"Not enough storage is available to complete this operation"},
      {E_INVALIDARG, u"The parameter is incorrect"},
      {DISP_E_UNKNOWNINTERFACE, u"Unknown interface"},
      {DISP_E_MEMBERNOTFOUND, u"Member not found"},
      {DISP_E_PARAMNOTFOUND, u"Parameter not found"},
      {DISP_E_TYPEMISMATCH, u"Type mismatch"},
      {DISP_E_UNKNOWNNAME, u"Unknown name"},
      {DISP_E_NONAMEDARGS, u"No named arguments"},
      {DISP_E_BADVARTYPE, u"Bad variable type"},
      {DISP_E_EXCEPTION, u"Exception occurred"},
      {DISP_E_OVERFLOW, u"Out of present range"},
      {DISP_E_BADINDEX, u"Invalid index"},
      {DISP_E_BADPARAMCOUNT, u"Invalid number of parameters"},
      {DISP_E_PARAMNOTOPTIONAL, u"Parameter not optional"},
      {TYPE_E_ELEMENTNOTFOUND, u"Element not found"},
      {TYPE_E_CANTLOADLIBRARY, u"Error loading type library/DLL"},
      {TYPE_E_LIBNOTREGISTERED, u"Library not registered"},
      {CO_E_OBJNOTCONNECTED, u"Object is not connected to server"},
      {RPC_E_DISCONNECTED, u"The object invoked has disconnected from its clients"},
      {RPC_E_TIMEOUT, u"This operation returned because the timeout period expired"},
      {RPC_E_WRONG_THREAD, u"The application called an interface that was marshalled for a different thread"},
      {RPC_E_CALL_REJECTED, u"Call was rejected by callee"},
      {RPC_E_SERVERCALL_RETRYLATER, u"The message filter indicated that the application is busy"},
      {REGDB_E_CLASSNOTREG, u"Class not registered"},
  };
  for (const auto& k : known)
    if (k.code == hr) return k.text;
  if ((static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x80070000u)
    return SysErrorMessage(static_cast<DWORD>(hr) & 0xFFFF);
  return u"Error " + IntToHexWide(static_cast<std::uint32_t>(hr), 8);
}

void RaiseOSError(DWORD code) {
  throw EOSError(u"System Error.  Code: " + IntToWide(code) + u".\n" + SysErrorMessage(code), code);
}

void RaiseLastOSError() { RaiseOSError(static_cast<DWORD>(errno)); }

void OleError(HRESULT hr) { throw EOleSysError(HResultMessage(hr), hr); }

HRESULT OleCheck(HRESULT hr) {
  if (Failed(hr)) OleError(hr);
  return hr;
}

}  // namespace pw
