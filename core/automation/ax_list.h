// Member listing from type information (TAxList), type-library lookup through the registry,
// and reading a property of an automation object for display.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/rtl/rtl.h"
#include "platform/automation/typeinfo.h"

namespace pw {

// The parameter holder of one member; members are listed without their parameters.
class TAxParams : public TObject {};

// One listed member.
class TAxProp : public TObject {
 public:
  bool Visible = true;      // FUNCFLAG_FNONBROWSABLE clear
  WideString Name;          // the documentation name (UTF-16: any character a name may hold)
  DISPID MemberId = 0;
  WORD InvokeKinds = 0;     // INVOKE_FUNC | INVOKE_PROPERTYGET | ...
  TAxParams Params;
  VARTYPE ResultType = VT_EMPTY;  // after following one VT_PTR level
  bool ResultIsVoid = false;      // a pointer to VT_VOID
  bool Hidden = false;            // FUNCFLAG_FHIDDEN
};

// An owning list of TAxProp.
class TAxList : public TObject {
 public:
  void Clear() { items_.clear(); }
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  TAxProp& Items(std::int32_t index) { return *items_.at(static_cast<std::size_t>(index)); }
  void Insert(std::int32_t index, std::unique_ptr<TAxProp> item) {
    items_.insert(items_.begin() + index, std::move(item));
  }

 private:
  std::vector<std::unique_ptr<TAxProp>> items_;
};

// Adds the functions of an interface of `lib` to the front of `list`, so the list ends in the
// reverse of the type information's order. A host manager, when given, decides through the
// host setting {45CDFDD4-4F90-45E9-A997-D6947AB6B576} whether hidden types and members are
// listed. Nothing happens when the library does not describe the interface.
void AddTypeInfoMembers(IcvBaseManager* host, ITypeLib* lib, const GUID& iid, bool walkHiddenType,
                        bool listHiddenMembers, bool listRestrictedMembers, WORD invokeKindMask, TAxList& list);

// The type library of an interface, through "Interface\{iid}\Typelib" in the registry; nil
// when it cannot be found or loaded.
ComPtr<ITypeLib> LoadTypeLibForInterface(const GUID& iid);
// A registered type library, any version when `version` is empty; nil when it cannot be found.
ComPtr<ITypeLib> LoadRegisteredTypeLib(const GUID& libId, WideStringView version);

// Reads a property for display: the value, or a text that tells why it cannot be shown.
OleVariant GetAxPropertyValue(IDispatch* object, DISPID id, DISPPARAMS* params, WideStringView memberName);

}  // namespace pw
