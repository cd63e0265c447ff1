// The interfaces between the module and the host's helper libraries (cvComHelp, cvRegExpr,
// cvStatistic, cvReporter), and the libraries' file names on this platform.
//
// File names: each helper library is a shared object named as the host names it, with ".so" in
// place of ".dll": "cvComHelp.dll" is cvComHelp.so, "cvRegExpr.dll" cvRegExpr.so,
// "cvStatistic.dll" cvStatistic.so, "cvReporter.dll" cvReporter.so.
#pragma once

#include "platform/automation/bstr.h"
#include "platform/com/unknown.h"

namespace pw {

inline constexpr char16_t kComHelpLibrary[] = u"cvComHelp.so";
inline constexpr char16_t kRegExprLibrary[] = u"cvRegExpr.so";
inline constexpr char16_t kStatisticLibrary[] = u"cvStatistic.so";
inline constexpr char16_t kReporterLibrary[] = u"cvReporter.so";

// Exports of the helper libraries.
inline constexpr char kGetModuleIntfExport[] = "GetModuleIntf";
inline constexpr char kRegisterCounterExport[] = "RegisterCounter";
inline constexpr char kIncCounterExport[] = "IncCounter";
// Fills *intf with the library's module interface (with a reference).
using GetModuleIntfProc = HRESULT (*)(IUnknown** intf);
// 0 on success.
using RegisterCounterProc = std::int32_t (*)(const GUID* key, const char16_t* name);
using IncCounterProc = std::int32_t (*)(const GUID* key, std::int32_t amount);

// Handed by a module proxy to the library's module; the module calls it to have the proxy
// unload.
struct IcvModuleProxyCallback : IUnknown {
  static constexpr IID iid = MakeGuid("{6D26EF70-10E3-4321-8FEA-CB63B923685C}");
  using Inherited = IUnknown;
  virtual HRESULT RequestUnload() = 0;
};

// A helper library's module interface.
struct IcvModuleIntf : IUnknown {
  static constexpr IID iid = MakeGuid("{C6736F7A-FD53-4EE5-9899-478623853C6C}");
  using Inherited = IUnknown;
  virtual HRESULT GetModuleName(BSTR* name) = 0;
  virtual HRESULT GetModuleVersion(DWORD* version) = 0;
  // A proxy attaches and detaches.
  virtual HRESULT AttachProxy(IcvModuleProxyCallback* proxy) = 0;
  virtual HRESULT DetachProxy(IcvModuleProxyCallback* proxy) = 0;
};

// ---- the COM helper library -----------------------------------------------------------------

// Runs on the invoker's thread (the Windows API convention has no meaning here).
using InvokerProc = void (*)(void* param);

struct IcvInvoker : IUnknown {
  static constexpr IID iid = MakeGuid("{0C9CF793-8A8D-469A-8AFF-4204953CDDA0}");
  using Inherited = IUnknown;
  // Runs proc(param) on the object's thread and waits for it.
  virtual HRESULT Invoke(InvokerProc proc, void* param) = 0;
};

struct IcvSTA1 : IcvInvoker {
  static constexpr IID iid = MakeGuid("{4E80B773-695E-4F7F-9DAC-E1DAD9E008C8}");
  using Inherited = IcvInvoker;
};

struct IcvMTA : IcvInvoker {
  static constexpr IID iid = MakeGuid("{7826F3B0-4238-467E-9684-1B5D3280574D}");
  using Inherited = IcvInvoker;
};

struct IcvComHelpModule : IUnknown {
  static constexpr IID iid = MakeGuid("{4DEC1F99-814E-4004-8E69-BDDA4C3E8193}");
  using Inherited = IUnknown;
  virtual HRESULT GetGlobalInterfaceTable(IUnknown** table) = 0;
  virtual HRESULT GetSTA1(IUnknown** thread) = 0;
  virtual HRESULT GetMTA(IUnknown** thread) = 0;
  virtual HRESULT CreateSTA(IUnknown** thread) = 0;
};

// ---- the regular-expression library ---------------------------------------------------------

// A compiled expression. The dialect is the library's own (helpers/regexpr/README.md): braces
// capture, parentheses only group, \d is a decimal and \h a hexadecimal digit.
struct IcvRegExpr : IUnknown {
  static constexpr IID iid = MakeGuid("{9A3E6C21-7D4B-4F0E-8B52-6E1D0C9F4A37}");
  using Inherited = IUnknown;
  // Compiles the pattern; fails (with error information) when it is not a valid expression.
  virtual HRESULT SetPattern(const char16_t* pattern) = 0;
  // Whether the expression matches somewhere in the subject.
  virtual HRESULT Test(const char16_t* subject, WordBool* matched) = 0;
  // The captures of the last successful Test: their count, and each by number from 1 (0 is the
  // whole match).
  virtual HRESULT GetCaptureCount(std::int32_t* count) = 0;
  virtual HRESULT GetCapture(std::int32_t index, BSTR* text) = 0;
};

struct IcvRegExprModule : IcvModuleIntf {
  static constexpr IID iid = MakeGuid("{37C852F0-D3FD-4B2B-8E43-95190C07CB41}");
  using Inherited = IcvModuleIntf;
  virtual HRESULT CreateRegExpr(IcvRegExpr** expression) = 0;
  // Whether the pattern matches the subject; fails for an invalid pattern.
  virtual HRESULT Match(const char16_t* pattern, const char16_t* subject, WordBool* matched) = 0;
};

// ---- the reporter library -------------------------------------------------------------------

struct IcvReporterModule : IUnknown {
  static constexpr IID iid = MakeGuid("{D5431099-AC60-42F3-82AF-2DE07CAE3936}");
  using Inherited = IUnknown;
  // The brackets recorded so far, one per line ("BeginForeignCall", ...), and forgetting them.
  virtual HRESULT GetRecord(BSTR* record) = 0;
  virtual HRESULT ClearRecord() = 0;
  virtual HRESULT BeginForeignCall() = 0;
  virtual HRESULT EndForeignCall() = 0;
  virtual HRESULT BeginNetworkRead() = 0;
  virtual HRESULT EndNetworkRead() = 0;
};

}  // namespace pw
