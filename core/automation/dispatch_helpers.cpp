#include "core/automation/dispatch_helpers.h"

#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/automation/text_search.h"
#include "platform/automation/dispatch.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

DISPID IdOfName(IDispatch* object, const char16_t* name, bool& found) {
  DISPID id = DISPID_UNKNOWN;
  const char16_t* names[1] = {name};
  found = object && name && object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id) == S_OK;
  return id;
}

}  // namespace

ComPtr<IDispatch> VarToDispatch(const VARIANT& v) {
  if (v.vt == VT_DISPATCH) return ComPtr<IDispatch>(v.pdispVal);
  if (!(v.vt & VT_BYREF)) return nullptr;
  const VARIANT* p = &VariantDeref(v);
  if (p != &v && p->vt == VT_DISPATCH) return ComPtr<IDispatch>(p->pdispVal);
  return nullptr;
}

bool DispHasMember(IDispatch* object, const char16_t* name) {
  bool found;
  IdOfName(object, name, found);
  return found;
}

OleVariant DispGetProperty(IDispatch* object, const char16_t* name, const OleVariant& defaultValue) {
  bool found;
  DISPID id = IdOfName(object, name, found);
  if (!found) return defaultValue;
  return DispGetPropertyByID(object, id, defaultValue);
}

OleVariant DispGetPropertyByID(IDispatch* object, DISPID id, const OleVariant& defaultValue) {
  return DispCallMethodByID(object, id, {}, defaultValue);
}

OleVariant DispCallMethod(IDispatch* object, const char16_t* name, std::span<const OleVariant> args,
                          const OleVariant& defaultValue) {
  bool found;
  DISPID id = IdOfName(object, name, found);
  if (!found) return defaultValue;
  return DispCallMethodByID(object, id, args, defaultValue);
}

OleVariant DispCallMethodByID(IDispatch* object, DISPID id, std::span<const OleVariant> args,
                              const OleVariant& defaultValue) {
  if (!object) return defaultValue;
  try {
    // The callee reads the last slot as the first argument.
    std::vector<VARIANT> slots(args.size());
    for (auto& s : slots) VariantInit(&s);
    struct Cleanup {
      std::vector<VARIANT>& v;
      ~Cleanup() {
        for (auto& s : v) VariantClear(&s);
      }
    } cleanup{slots};
    for (std::size_t i = 0; i < args.size(); ++i)
      if (Failed(VariantCopy(&slots[args.size() - 1 - i], &args[i].Get()))) return defaultValue;
    DISPPARAMS params{slots.empty() ? nullptr : slots.data(), nullptr, static_cast<std::uint32_t>(slots.size()), 0};
    OleVariant result = OleVariant::Null();
    HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, result.Put(),
                                nullptr, nullptr);
    if (Failed(hr)) return defaultValue;
    return result;
  } catch (...) {
    return defaultValue;
  }
}

bool DispPropertyMatchesByID(IDispatch* object, DISPID id, const VARIANT& wanted) {
  OleVariant value = DispGetPropertyByID(object, id, OleVariant());
  if (value.Type() == VT_DISPATCH && value.Get().pdispVal) {
    ComPtr<IDispatch> inner(value.Get().pdispVal);
    value = DispGetPropertyByID(inner.Get(), DISPID_VALUE, OleVariant());
  }
  return VariantsMatch(wanted, value.Get());
}

bool DispPropertyMatches(IDispatch* object, const char16_t* name, const VARIANT& wanted) {
  bool found;
  DISPID id = IdOfName(object, name, found);
  return found && DispPropertyMatchesByID(object, id, wanted);
}

bool VariantsMatch(const VARIANT& wanted0, const VARIANT& found0) {
  OleVariant wanted, found;
  if (Failed(VariantCopyInd(wanted.Put(), &wanted0)) || Failed(VariantCopyInd(found.Put(), &found0))) return false;
  if (wanted.Type() != found.Type()) {
    if (found.IsNull() || found.IsEmpty()) return false;
    VARIANT converted;
    VariantInit(&converted);
    if (Succeeded(VariantChangeType(&converted, &wanted.Get(), 0, found.Type()))) wanted = OleVariant::Attach(converted);
  }
  if (wanted.Type() != found.Type()) return false;
  if (found.Type() == VT_BSTR) {
    WideStringView w = BstrView(wanted.Get().bstrVal), f = BstrView(found.Get().bstrVal);
    return SameTextIgnoringCase(w, f) || WideMatchesMask(w, f);
  }
  return VariantValuesEqual(wanted.Get(), found.Get());
}

ComPtr<IpwTestLog> GetLogObject(IcvBaseManager* manager) {
  if (!manager) return nullptr;
  ComPtr<IUnknown> service;
  SafeCallCheck(manager->GetService(IpwRuntimeObjectService::iid, service.Put()));
  auto runtime = QueryAs<IpwRuntimeObjectService>(service.Get());
  if (!runtime) throw EOleSysError(u"Interface not supported", E_NOINTERFACE);
  ComPtr<IUnknown> object;
  BString name(kRuntimeObjectNames[0]);
  runtime->GetRuntimeObject(name.Get(), GUID_NULL, object.Put());  // the result code is not examined
  return QueryAs<IpwTestLog>(object.Get());
}

// The table lives in the platform library, so the host that fills it and a loaded module that
// reads it share one table.
bool GetFileVersion(const std::string& fileName, FileVersion& version) {
  const auto found = FindModuleFileVersion(fileName);
  if (!found) {
    version = FileVersion{};
    return false;
  }
  version = FileVersion{found->major, found->minor, found->release, found->build};
  return true;
}

void SetDescribedFileVersion(const std::string& fileName, const FileVersion& version) {
  DescribeModuleFileVersion(fileName, {version.major, version.minor, version.release, version.build});
}

void RemoveDescribedFileVersion(const std::string& fileName) { RemoveModuleFileVersion(fileName); }

}  // namespace pw
