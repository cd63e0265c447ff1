#include "core/automation/ax_list.h"

#include "core/host/module_proxy.h"
#include "interfaces/ProbewrightInternal.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/registry.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr GUID kShowHiddenSetting = MakeGuid("{45CDFDD4-4F90-45E9-A997-D6947AB6B576}");
constexpr GUID kOleAutomationLibrary = MakeGuid("{00020430-0000-0000-C000-000000000046}");

// The host's Boolean setting; False when the host has no such service or setting.
bool HostBooleanSetting(IcvBaseManager* host, const GUID& key) {
  ComPtr<IUnknown> service;
  SafeCallCheck(host->GetService(IpwSettingsManager::iid, service.Put()));
  auto settings = QueryAs<IpwSettingsManager>(service.Get());
  if (!settings) return false;
  ComPtr<IpwSetting> setting;
  SafeCallCheck(settings->GetSetting(key, setting.Put()));
  if (!setting) return false;
  OleVariant value;
  SafeCallCheck(setting->get_Value(value.Put()));
  return !value.IsEmpty() && value.AsBool();
}

void AddFunction(ITypeInfo* info, const FUNCDESC& f, TAxList& list) {
  auto prop = std::make_unique<TAxProp>();
  BString name;
  if (Succeeded(info->GetDocumentation(f.memid, name.Put(), nullptr, nullptr, nullptr)))
    prop->Name = WideString(name.View());
  else prop->Name = u"Unknown";
  prop->MemberId = f.memid;
  prop->InvokeKinds = static_cast<WORD>(f.invkind);
  prop->Visible = (f.wFuncFlags & FUNCFLAG_FNONBROWSABLE) == 0;
  prop->Hidden = (f.wFuncFlags & FUNCFLAG_FHIDDEN) != 0;
  const TYPEDESC* t = &f.elemdescFunc.tdesc;
  if (t->vt == VT_PTR && t->lptdesc) {
    t = t->lptdesc;
    prop->ResultIsVoid = t->vt == VT_VOID;
  }
  prop->ResultType = t->vt;
  list.Insert(0, std::move(prop));
}

// The path of the first "win32" key below `path`, depth-first; empty when there is none.
WideString FindWin32Key(TRegistry& reg, const WideString& path) {
  if (!reg.OpenKeyReadOnly(path)) return {};
  auto names = reg.GetKeyNames();
  for (const auto& n : names)
    if (SameTextIgnoringCase(n, u"win32")) return path + u"\\" + n;
  for (const auto& n : names) {
    WideString hit = FindWin32Key(reg, path + u"\\" + n);
    if (!hit.empty()) return hit;
  }
  return {};
}

}  // namespace

void AddTypeInfoMembers(IcvBaseManager* host, ITypeLib* lib, const GUID& iid, bool walkHiddenType,
                        bool listHiddenMembers, bool listRestrictedMembers, WORD invokeKindMask, TAxList& list) {
  if (!lib) return;
  ComPtr<ITypeInfo> info;
  if (Failed(lib->GetTypeInfoOfGuid(iid, info.Put())) || !info) return;
  TYPEATTR* attr = nullptr;
  OleCheck(info->GetTypeAttr(&attr));
  struct Release {
    ITypeInfo* info;
    TYPEATTR* attr;
    ~Release() { info->ReleaseTypeAttr(attr); }
  } release{info.Get(), attr};
  if (host) walkHiddenType = listHiddenMembers = HostBooleanSetting(host, kShowHiddenSetting);
  if ((attr->wTypeFlags & TYPEFLAG_FHIDDEN) && !walkHiddenType) return;
  for (std::uint32_t i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    OleCheck(info->GetFuncDesc(i, &f));
    bool skip = ((f->wFuncFlags & FUNCFLAG_FHIDDEN) && !listHiddenMembers) ||
                ((f->wFuncFlags & FUNCFLAG_FRESTRICTED) && !listRestrictedMembers) || !(f->invkind & invokeKindMask);
    try {
      if (!skip) AddFunction(info.Get(), *f, list);
    } catch (...) {
      info->ReleaseFuncDesc(f);
      throw;
    }
    info->ReleaseFuncDesc(f);
  }
}

ComPtr<ITypeLib> LoadRegisteredTypeLib(const GUID& libId, WideStringView version) {
  try {
    TRegistry reg(RootKey::ClassesRoot);
    WideString start = u"Typelib\\" + GuidToWideString(libId);
    if (!version.empty()) start += u"\\" + WideString(version);
    WideString key = FindWin32Key(reg, start);
    if (key.empty() || !reg.OpenKeyReadOnly(key)) return nullptr;
    WideString path = reg.ReadString(u"");
    if (path.empty()) return nullptr;
    ComPtr<ITypeLib> lib;
    if (Failed(LoadTypeLib(path, lib.Put()))) return nullptr;
    return lib;
  } catch (...) {
    return nullptr;
  }
}

ComPtr<ITypeLib> LoadTypeLibForInterface(const GUID& iid) {
  try {
    TRegistry reg(RootKey::ClassesRoot);
    ComPtr<ITypeLib> lib;
    if (reg.OpenKeyReadOnly(u"Interface\\" + GuidToWideString(iid) + u"\\Typelib")) {
      WideString libId = reg.ReadString(u"");
      WideString version = reg.ReadString(u"Version");
      reg.CloseKey();
      if (auto g = GuidFromString(WideStringView(libId))) {
        lib = LoadRegisteredTypeLib(*g, version);
        if (!lib && !version.empty()) lib = LoadRegisteredTypeLib(*g, u"");
      }
    }
    if (!lib && (iid == IDispatch::iid || iid == IUnknown::iid || iid == IID_IEnumVARIANT))
      lib = LoadRegisteredTypeLib(kOleAutomationLibrary, u"");
    return lib;
  } catch (...) {
    return nullptr;
  }
}

OleVariant GetAxPropertyValue(IDispatch* object, DISPID id, DISPPARAMS* params, WideStringView memberName) {
  if (!object) return OleVariant();
  if (auto readable = QueryAs<IpwReadableMembers>(object)) {
    VARIANT_BOOL all = VARIANT_FALSE;
    SafeCallCheck(readable->AllMembersReadable(&all));
    if (!all) {
      OleVariant names;
      SafeCallCheck(readable->ReadableMembers(names.Put()));
      bool listed = false;
      const VARIANT& v = VariantDeref(names.Get());
      if ((v.vt & VT_ARRAY) && v.parray) {
        SAFEARRAY* a = (v.vt & VT_BYREF) ? *static_cast<SAFEARRAY**>(v.byref) : v.parray;
        std::int32_t lo = 0, hi = -1;
        SafeArrayGetLBound(a, 1, &lo);
        SafeArrayGetUBound(a, 1, &hi);
        for (std::int32_t i = lo; i <= hi && !listed; ++i) {
          OleVariant element;
          if ((v.vt & VT_TYPEMASK) == VT_VARIANT) {
            SafeArrayGetElement(a, &i, element.Put());
          } else if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
            BSTR s = nullptr;
            SafeArrayGetElement(a, &i, &s);
            element = OleVariant(BstrView(s));
            SysFreeString(s);
          }
          listed = element.Type() == VT_BSTR && BstrView(element.Get().bstrVal) == memberName;
        }
      }
      if (!listed) return OleVariant(u"Cannot get the value of this property.");
    }
  }
  EXCEPINFO info{};
  static DISPPARAMS none{nullptr, nullptr, 0, 0};
  OleVariant result;
  HRESULT hr;
  ReporterBeginForeignCall();
  try {
    hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, params ? params : &none, result.Put(), &info, nullptr);
  } catch (...) {
    ReporterEndForeignCall();
    throw;
  }
  ReporterEndForeignCall();
  if (Failed(hr)) {
    WideString text = hr == DISP_E_EXCEPTION ? WideTrim(BstrView(info.bstrDescription)) : HResultMessage(hr);
    ClearExcepInfo(info);
    return OleVariant(u"Error: " + text);
  }
  ClearExcepInfo(info);
  return result;
}

}  // namespace pw
