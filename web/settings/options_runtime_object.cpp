#include "web/settings/options_runtime_object.h"

#include <atomic>
#include <memory>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/automation/dispatch_call.h"
#include "platform/automation/out_params.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::web {

namespace {

// The next block of DISPIDs: bases run from kOptionDispIdBlock up to the last whole block below
// 2^31 and then start again (objects far apart in time may share a base, which is harmless: a
// DISPID is only asked of the object that gave it).
DISPID NextDispIdBase() {
  static std::atomic<std::uint32_t> counter{0};
  constexpr std::uint32_t kBlocks = 0x7FFFFFFFu / kOptionDispIdBlock - 1;
  return static_cast<DISPID>((counter.fetch_add(1) % kBlocks + 1) * kOptionDispIdBlock);
}

// The two values are the same as a script compares them: of one type by value, else after
// turning the new one into the old one's type; values that do not convert differ.
bool SameValue(const VARIANT& current, const VARIANT& value) {
  OleVariant plain;
  if (Failed(VariantCopyInd(plain.Ptr(), &value))) return false;
  if (plain.Type() == current.vt) return VariantValuesEqual(current, plain.Get());
  if (current.vt == VT_EMPTY || current.vt == VT_NULL || plain.IsEmpty() || plain.IsNull()) return false;
  OleVariant converted;
  if (Failed(VariantChangeType(converted.Ptr(), plain.Ptr(), 0, current.vt))) return false;
  return VariantValuesEqual(current, converted.Get());
}

}  // namespace

TpwOptionsRuntimeObjectHelper::TpwOptionsRuntimeObjectHelper(IcvBaseManager* host)
    : host_(host), base_(NextDispIdBase()) {
  OleCheck(CreateGuid(attr_.guid));
  attr_.memidConstructor = MEMBERID_NIL;
  attr_.memidDestructor = MEMBERID_NIL;
  attr_.cbSizeInstance = 4;
  attr_.typekind = TKIND_DISPATCH;
  attr_.cImplTypes = 0;
  attr_.cbAlignment = 4;
  attr_.wTypeFlags = 0;
  attr_.wMajorVerNum = 1;
  attr_.wMinorVerNum = 0;
}

TpwOptionsRuntimeObjectHelper::~TpwOptionsRuntimeObjectHelper() = default;

bool TpwOptionsRuntimeObjectHelper::OptionOf(DISPID id, Option& option, std::size_t& index) const {
  std::lock_guard guard(lock_);
  if (id < base_ || id - base_ >= static_cast<DISPID>(options_.size())) return false;
  index = static_cast<std::size_t>(id - base_);
  option = options_[index];
  return true;
}

ComPtr<IpwSetting> TpwOptionsRuntimeObjectHelper::GetOptionSetting(std::size_t index) {
  GUID key{};
  {
    std::lock_guard guard(lock_);
    if (index >= options_.size()) return nullptr;
    key = options_[index].key;
  }
  return GetSetting(host_, key);
}

OleVariant TpwOptionsRuntimeObjectHelper::GetOptionValue(IpwSetting* setting) {
  if (!setting) return OleVariant::Null();
  OleVariant value;
  SafeCallCheck(setting->get_Value(value.Put()));
  return value;
}

void TpwOptionsRuntimeObjectHelper::SetOptionValue(IpwSetting* setting, const VARIANT& value) {
  if (setting) SafeCallCheck(setting->put_Value(value));
}

HRESULT TpwOptionsRuntimeObjectHelper::AddOption(GUID key, BSTR name, VARIANT_BOOL hidden, VARIANT_BOOL readOnly) {
  return SafeCall([&] {
    auto setting = GetSetting(host_, key);
    if (!setting)
      throw EOleSysError(u"The option \"" + WideString(BstrView(name)) + u"\" has no setting " + GuidToWideString(key),
                         E_INVALIDARG);
    GUID ownKey{};
    SafeCallCheck(setting->GetKey(&ownKey));
    std::lock_guard guard(lock_);
    if (options_.size() >= static_cast<std::size_t>(kOptionDispIdBlock))
      throw EOleSysError(u"The options object holds no more options", E_OUTOFMEMORY);
    options_.push_back({ownKey, readOnly != 0, hidden != 0, WideString(BstrView(name))});
    if (readOnly) ++readOnlyCount_;
  });
}

// ---- IDispatch ------------------------------------------------------------------------------

HRESULT TpwOptionsRuntimeObjectHelper::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TpwOptionsRuntimeObjectHelper::GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index != 0) return E_INVALIDARG;
  *typeInfo = static_cast<ITypeInfo*>(this);
  AddRef();
  return S_OK;
}

HRESULT TpwOptionsRuntimeObjectHelper::GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count,
                                                     LCID, DISPID* dispIds) {
  if (count > 0 && (!names || !dispIds)) return E_POINTER;
  HRESULT hr = S_OK;
  std::lock_guard guard(lock_);
  for (std::uint32_t n = 0; n < count; ++n) {
    dispIds[n] = DISPID_UNKNOWN;
    const WideStringView wanted = names[n] ? WideStringView(names[n]) : WideStringView();
    for (std::size_t i = 0; i < options_.size(); ++i) {
      if (SameTextIgnoringCase(options_[i].name, wanted)) {
        dispIds[n] = base_ + static_cast<DISPID>(i);
        break;
      }
    }
    if (dispIds[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

void TpwOptionsRuntimeObjectHelper::AskToStopRun() {
  auto messenger = project::GetMessenger(host_);
  if (!messenger) return;
  BString text(kReadOnlyOptionQuestion);
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(messenger->Confirm(text.Get(), 0, 0, 0, &yes));
  if (!yes) return;
  auto run = GetHostService<IpwRunControl>(host_, kOptionsRunControlService);
  if (run) SafeCallCheck(run->StopRun(0, 0));
}

HRESULT TpwOptionsRuntimeObjectHelper::Invoke(DISPID dispId, const IID&, LCID, WORD flags, DISPPARAMS* params,
                                              VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t*) {
  Option option;
  std::size_t index = 0;
  if (!OptionOf(dispId, option, index)) return DISP_E_MEMBERNOTFOUND;
  const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (!get && !put) return DISP_E_MEMBERNOTFOUND;
  const std::uint32_t args = params ? params->cArgs : 0;
  if (!get) {
    // A put reads its one argument: a writable property with another count is refused before
    // anything is read.
    if (option.readOnly && args != 1) return E_INVALIDARG;
    if (!option.readOnly && args != 1) return DISP_E_BADPARAMCOUNT;
    if (!params->rgvarg) return E_POINTER;
  }
  const HRESULT hr = SafeCall([&] {
    auto setting = GetOptionSetting(index);
    if (get) {
      OleVariant value = GetOptionValue(setting.Get());
      if (result) {
        VariantClear(result);
        *result = value.Detach();
      }
      return;
    }
    const VARIANT& value = params->rgvarg[0];
    if (!option.readOnly) {
      SetOptionValue(setting.Get(), value);
      return;
    }
    const OleVariant current = GetOptionValue(setting.Get());
    if (!SameValue(current.Get(), value)) AskToStopRun();
  });
  return Succeeded(hr) ? S_OK : FailedCall(hr, excepInfo);
}

// ---- ITypeInfo ------------------------------------------------------------------------------

HRESULT TpwOptionsRuntimeObjectHelper::GetTypeAttr(TYPEATTR** attr) {
  if (!attr) return E_POINTER;
  std::lock_guard guard(lock_);
  attr_.cFuncs = static_cast<WORD>(2 * options_.size() - static_cast<std::size_t>(readOnlyCount_));
  *attr = &attr_;
  return S_OK;
}

HRESULT TpwOptionsRuntimeObjectHelper::GetFuncDesc(std::uint32_t index, FUNCDESC** desc) {
  if (!desc) return E_POINTER;
  *desc = nullptr;
  std::lock_guard guard(lock_);
  const std::size_t count = 2 * options_.size() - static_cast<std::size_t>(readOnlyCount_);
  if (index >= count) return E_INVALIDARG;
  // Each property's get, then a writable property's put.
  std::size_t at = 0, property = 0;
  bool isPut = false;
  for (; property < options_.size(); ++property) {
    if (at == index) break;
    ++at;
    if (!options_[property].readOnly) {
      if (at == index) {
        isPut = true;
        break;
      }
      ++at;
    }
  }
  auto f = std::make_unique<FUNCDESC>();
  f->memid = base_ + static_cast<DISPID>(property);
  f->funckind = FUNC_STATIC;
  f->callconv = CC_STDCALL;
  if (isPut) {
    f->invkind = INVOKE_PROPERTYPUT;
    f->cParams = 1;
    f->lprgelemdescParam = new ELEMDESC[1]{};
    f->lprgelemdescParam[0].tdesc.vt = VT_VARIANT;
    f->elemdescFunc.tdesc.vt = VT_EMPTY;
  } else {
    f->invkind = INVOKE_PROPERTYGET;
    f->elemdescFunc.tdesc.vt = VT_VARIANT;
    f->elemdescFunc.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  }
  if (options_[property].hidden) f->wFuncFlags = FUNCFLAG_FHIDDEN;
  *desc = f.release();
  return S_OK;
}

void TpwOptionsRuntimeObjectHelper::ReleaseFuncDesc(FUNCDESC* desc) {
  if (!desc) return;
  delete[] desc->lprgelemdescParam;
  delete desc;
}

HRESULT TpwOptionsRuntimeObjectHelper::GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames,
                                                std::uint32_t* count) {
  return SafeCall([&] {
    CheckOut(count);
    *count = 0;
    Option option;
    std::size_t index = 0;
    if (maxNames < 1 || !OptionOf(memid, option, index)) OleError(E_INVALIDARG);
    SetOut(names, option.name);
    *count = 1;
  });
}

HRESULT TpwOptionsRuntimeObjectHelper::GetIDsOfNames(const char16_t* const* names, std::uint32_t count,
                                                     DISPID* memids) {
  return GetIDsOfNames(GUID_NULL, names, count, 0, memids);
}

HRESULT TpwOptionsRuntimeObjectHelper::Invoke(void*, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                              EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return Invoke(memid, GUID_NULL, 0, flags, params, result, excepInfo, argErr);
}

HRESULT TpwOptionsRuntimeObjectHelper::GetDocumentation(DISPID memid, BSTR* name, BSTR* docString, DWORD* helpContext,
                                                        BSTR* helpFile) {
  if (name) *name = nullptr;
  if (docString) *docString = nullptr;
  if (helpFile) *helpFile = nullptr;
  if (helpContext) *helpContext = 0;
  return SafeCall([&] {
    if (memid == MEMBERID_NIL) {
      if (name) *name = SysAllocString(u"IDispatch");
      return;
    }
    Option option;
    std::size_t index = 0;
    if (!OptionOf(memid, option, index)) OleError(E_INVALIDARG);
    BString description;
    if (docString)
      if (auto setting = GetOptionSetting(index)) SafeCallCheck(setting->GetDescription(description.Put()));
    if (name) *name = SysAllocString(option.name);
    if (docString && description.Get()) *docString = description.Detach();
  });
}

HRESULT TpwOptionsRuntimeObjectHelper::GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) {
  if (lib) *lib = nullptr;
  if (index) *index = 0;
  return E_NOTIMPL;
}

// ---- The drop-down variant ------------------------------------------------------------------

void TpwOptionsRuntimeObjectHelperThatCanManageTableSettingsWithSingleKeyColumnAlsoKnownAsCombobox::SetOptionValue(
    IpwSetting* setting, const VARIANT& value) {
  ComPtr<IcvTableSetting_DVS> table;
  if (!setting || Failed(setting->QueryInterface(IcvTableSetting_DVS::iid, table.PutVoid())) || !table) {
    TpwOptionsRuntimeObjectHelper::SetOptionValue(setting, value);
    return;
  }
  const WideString text = OleVariant(value).AsString();
  const WideString wanted = WideLowerCase(text);
  std::int32_t rows = 0;
  SafeCallCheck(table->GetRowCount(&rows));
  WideString possible;
  for (std::int32_t r = 0; r < rows; ++r) {
    OleVariant cell;
    SafeCallCheck(table->GetCell(0, r, cell.Put()));
    const WideString cellText = cell.IsEmpty() || cell.IsNull() ? WideString() : cell.AsString();
    if (WideLowerCase(cellText) == wanted) {
      SafeCallCheck(table->SetCurrentRow(r));
      return;
    }
    if (!possible.empty()) possible += u", ";
    possible += u"\"" + cellText + u"\"";
  }
  throw EOleSysError(u"Unable to apply the \"" + text + u"\" value.\r\n\r\nPossible values: " + possible, E_INVALIDARG);
}

// ---- Helpers --------------------------------------------------------------------------------

ComPtr<IpwOptionsRuntimeObject> CreateOptionsRuntimeObject(IcvBaseManager* host, bool dropDowns) {
  if (dropDowns)
    return MakeObject<TpwOptionsRuntimeObjectHelperThatCanManageTableSettingsWithSingleKeyColumnAlsoKnownAsCombobox>(
        host);
  return MakeObject<TpwOptionsRuntimeObjectHelper>(host);
}

void AddOption(IpwOptionsRuntimeObject* object, const GUID& key, WideStringView name, bool hidden, bool readOnly) {
  BString text(name);
  SafeCallCheck(object->AddOption(key, text.Get(), hidden ? VARIANT_TRUE : VARIANT_FALSE,
                                  readOnly ? VARIANT_TRUE : VARIANT_FALSE));
}

}  // namespace pw::web
