// The options runtime object: host settings shown to scripts as the properties of one object,
// whose dispatch interface is built at run time (one property per added option) and described
// by the object itself as its own ITypeInfo, so completion and inspection list the properties.
//
// Contract:
// - AddOption(Key, Name, Hidden, ReadOnly) appends a property for an existing host setting
//   (a missing setting fails with E_INVALIDARG and nothing is added). Values are never cached:
//   every get and put goes to the host setting at once; a setting that has gone reads as Null
//   and ignores writes.
// - DISPIDs: property i is Base + i. Base comes from a process-wide counter: each object takes
//   the next block of kOptionDispIdBlock ids in the positive range above the reserved DISPIDs,
//   so an object holds at most kOptionDispIdBlock options.
// - Names match ignoring case. Invoke: a get answers the value; a put needs exactly one argument
//   on a writable property (else DISP_E_BADPARAMCOUNT); a put on a read-only property that
//   changes the value asks the user whether to stop the test (yes stops the run), never writes
//   and answers S_OK; with another number of arguments E_INVALIDARG. A failing host call is a
//   script error (DISP_E_EXCEPTION with the message).
// - The type description: kind dispatch, a get function per property and a put function per
//   writable one (2 x properties - read-only count), the hidden flag for hidden options. The
//   operations the platform's ITypeInfo lacks are not there.
// - The drop-down variant writes a table setting by the text of a row's first cell (ignoring
//   case) and selects that row; a text that matches no row raises "Unable to apply ..." with the
//   list of possible values. Other settings are written as they are.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/typeinfo.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"

namespace pw::web {

// The options object's own interface: an IDispatch with one method of its own.
struct IpwOptionsRuntimeObject : IDispatch {
  static constexpr IID iid = MakeGuid("{2CAFD0D5-E4E1-4039-8F0E-7FCA939B97C8}");
  using Inherited = IDispatch;
  virtual HRESULT AddOption(GUID key, BSTR name, VARIANT_BOOL hidden, VARIANT_BOOL readOnly) = 0;
};

// The test-engine service through which a read-only put stops the run.
inline constexpr GUID kOptionsRunControlService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr DISPID kOptionDispIdBlock = 0x10000;

inline constexpr char16_t kReadOnlyOptionQuestion[] =
    u"The Options object allows you only to read option values.\r\nThe operation cannot be completed.\r\n"
    u"Terminate the test execution?";

class TpwOptionsRuntimeObjectHelper : public Implements<ComObject, IpwOptionsRuntimeObject, ITypeInfo> {
 public:
  // `host`: the service locator through which settings, the messenger and the test engine are
  // reached; not held (the host outlives the objects its plug-ins hand out).
  explicit TpwOptionsRuntimeObjectHelper(IcvBaseManager* host);
  ~TpwOptionsRuntimeObjectHelper() override;

  DISPID Base() const noexcept { return base_; }

  // IpwOptionsRuntimeObject
  HRESULT AddOption(GUID key, BSTR name, VARIANT_BOOL hidden, VARIANT_BOOL readOnly) override;
  // IDispatch
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;
  // ITypeInfo
  HRESULT GetTypeAttr(TYPEATTR** attr) override;
  HRESULT GetFuncDesc(std::uint32_t index, FUNCDESC** desc) override;
  HRESULT GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) override;
  HRESULT GetIDsOfNames(const char16_t* const* names, std::uint32_t count, DISPID* memids) override;
  HRESULT Invoke(void* instance, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t* argErr) override;
  HRESULT GetDocumentation(DISPID memid, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override;
  HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) override;
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC* desc) override;

 protected:
  // The host setting behind property i (nil when it has gone).
  virtual ComPtr<IpwSetting> GetOptionSetting(std::size_t index);
  // The setting's value; Null without a setting.
  virtual OleVariant GetOptionValue(IpwSetting* setting);
  // Writes the setting; nothing without a setting.
  virtual void SetOptionValue(IpwSetting* setting, const VARIANT& value);

  IcvBaseManager* Host() const noexcept { return host_; }

 private:
  struct Option {
    GUID key;
    bool readOnly;
    bool hidden;
    WideString name;
  };
  // The option of a DISPID; false when the DISPID is unknown.
  bool OptionOf(DISPID id, Option& option, std::size_t& index) const;
  void AskToStopRun();

  IcvBaseManager* host_;
  const DISPID base_;
  mutable std::mutex lock_;
  std::vector<Option> options_;
  std::int32_t readOnlyCount_ = 0;
  TYPEATTR attr_{};
};

// The drop-down variant: table settings with a single key column are written by a row's text.
class TpwOptionsRuntimeObjectHelperThatCanManageTableSettingsWithSingleKeyColumnAlsoKnownAsCombobox final
    : public TpwOptionsRuntimeObjectHelper {
 public:
  using TpwOptionsRuntimeObjectHelper::TpwOptionsRuntimeObjectHelper;

 protected:
  void SetOptionValue(IpwSetting* setting, const VARIANT& value) override;
};

// A new options object (the drop-down variant when `dropDowns`).
ComPtr<IpwOptionsRuntimeObject> CreateOptionsRuntimeObject(IcvBaseManager* host, bool dropDowns);
// Adds an option, raising what AddOption failed with.
void AddOption(IpwOptionsRuntimeObject* object, const GUID& key, WideStringView name, bool hidden = false,
               bool readOnly = false);

}  // namespace pw::web
