// Item types and the creation parameters of new items.
//
// A plug-in declares each item type it offers as a TProjectNodeInfo record
// (constant data whose texts are pointers to variables filled at start-up) and
// hands the host one node-information object per type (TpwProjectNodeInfo, or
// TpwFileProjectNodeInfo for types kept in files). When the user picks a type,
// the host asks the information for a configuration-information object bound to
// the parent: the parameters the user edits (Name, and Location for file-kept
// types), their defaults, their checks and the messages about problems, and
// finally the new item's file.
//
// Configuration classes, one concern per level: TpwProjectNodeConfigInfo (the
// parameter list and the single-instance rule) > TpwNamedProjectNodeConfigInfo
// (Name) > TpwFileProjectNodeConfigInfo (Location and the file) >
// TpwFileProjectNodeConfigInfoValidIdent (identifier names) and
// TpwFileProjectNodeSeparateFolderConfigInfo (Location/Name/Name.ext). Lengths
// are UTF-16 units; paths use the platform's delimiter.
#pragma once

#include <vector>

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/ui/gdi.h"

namespace pw::project {

class TpwProjectNodeConfigInfo;
// A configuration class: makes the object with its defaults filled in.
using TConfigInfoClass = ComPtr<TpwProjectNodeConfigInfo> (*)(IcvBaseManager* owner, IpwProjectNodeInfo* nodeInfo,
                                                              IpwProjectNode* parent);

// Property indexes of an item type's information.
enum TNodeInfoProperty : std::int32_t {
  kInfoTypeName = 0,
  kInfoBitmap = 1,
  kInfoCaption = 2,
  kInfoDescription = 3,
  kInfoLongDescription = 4,
  kInfoNumber = 5,
  kInfoFile = 6,
  kInfoText = 7,
  kInfoHelpFile = 8,
  kInfoSingleInstance = 9,
  kInfoFlag10 = 10,
  kInfoNumberedNames = 11,
  kInfoFlag12 = 12,
  kInfoFlag13 = 13,
};

// The description of one item type. Nil text pointers read as empty texts.
struct TProjectNodeInfo {
  const GUID* typeKey = nullptr;
  const WideString* typeName = nullptr;
  WideString bitmapName;
  const WideString* caption = nullptr;
  const WideString* description = nullptr;
  const WideString* longDescription = nullptr;
  std::int32_t number = 0;
  const WideString* infoFile = nullptr;  // relative to the host program's folder; nil: the program itself
  WideString text;
  const WideString* helpFile = nullptr;  // relative to the host program's
                                         // folder; nil: "ProjectWizard.chm"
  const GUID* parentTypeKey = nullptr;
  bool singleInstance = false;
  bool flag10 = false;
  bool numberedNames = false;  // numbered default names, and the name may be changed
  bool flag12 = false;
  bool flag13 = false;
  TConfigInfoClass configClass = nullptr;
  const WideString* defaultFileName = nullptr;
  const WideString* fileExtension = nullptr;
  const WideString* pluginName = nullptr;
};

// The information object of an item type. The bitmap (property 1) is loaded on
// first request and deleted with the object.
class TpwProjectNodeInfo : public Implements<TcvInterfacedObject, IpwFileProjectNodeInfo, IpwProjectNodeInfoPlugin> {
 public:
  TpwProjectNodeInfo(IcvBaseManager* owner, const TProjectNodeInfo& info);
  ~TpwProjectNodeInfo() override;

  const TProjectNodeInfo& Info() const { return info_; }
  IcvBaseManager* Owner() const { return owner_.Get(); }
  // The property's value; E_INVALIDARG (raised) for an index outside 0 .. 13.
  OleVariant Property(std::int32_t index);

  HRESULT GetKey(GUID* key) override;
  HRESULT GetProperty(std::int32_t index, VARIANT* value) override;
  HRESULT GetParentTypeKey(GUID* key) override;
  HRESULT CreateConfigInfo(IpwProjectNode* parent, IpwProjectNodeConfigInfo** configInfo) override;
  HRESULT GetDefaultFileName(BSTR* fileName) override;
  HRESULT GetFileExtension(BSTR* extension) override;
  HRESULT GetPluginName(BSTR* name) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;
  virtual bool IsFileInfo() const { return false; }

 private:
  ComPtr<IcvBaseManager> owner_;
  TProjectNodeInfo info_;
  HBITMAP bitmap_ = 0;
};

// The information object of an item type kept in files: also
// IpwFileProjectNodeInfo.
class TpwFileProjectNodeInfo : public TpwProjectNodeInfo {
 public:
  using TpwProjectNodeInfo::TpwProjectNodeInfo;

 protected:
  bool IsFileInfo() const override { return true; }
};

// One parameter: its caption (with "&" before the accelerator) and its value.
struct TpwCfgParam {
  WideString Name;
  OleVariant Value;
};

class TpwProjectNodeConfigInfo : public Implements<TcvInterfacedObject, IpwProjectNodeConfigInfo> {
 public:
  TpwProjectNodeConfigInfo(IcvBaseManager* owner, IpwProjectNodeInfo* nodeInfo, IpwProjectNode* parent);

  // Makes the parameters from GetParamNames and fills the defaults: run once,
  // right after construction (the configuration classes do it).
  void Setup();

  std::int32_t ParamCount() const { return static_cast<std::int32_t>(params_.size()); }
  // Raise EListError for an index outside the list.
  const TpwCfgParam& Param(std::int32_t index) const;
  void SetParamValue(std::int32_t index, const OleVariant& value);
  // Runs every check; the first failing parameter's index in BadIndex (-1 when
  // all pass).
  virtual bool Validate(std::int32_t& badIndex);

  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetName(std::int32_t index, BSTR* name) override;
  HRESULT GetValue(std::int32_t index, VARIANT* value) override;
  HRESULT SetValue(std::int32_t index, const VARIANT& value) override;
  HRESULT Validate(std::int32_t* badIndex, VARIANT_BOOL* ok) override;

 protected:
  virtual std::vector<WideString> GetParamNames() { return {}; }
  virtual void InitDefaults() {}
  virtual bool ValidateParam(std::int32_t index) { return true; }

  OleVariant InfoProperty(std::int32_t index) const;
  WideString InfoText(std::int32_t index) const { return InfoProperty(index).AsString(); }
  bool InfoBool(std::int32_t index) const { return InfoProperty(index).AsBool(); }

  ComPtr<IcvBaseManager> owner_;
  ComPtr<IpwProjectNodeInfo> nodeInfo_;
  ComPtr<IpwProjectNode> parent_;

 private:
  std::vector<TpwCfgParam> params_;
};

class TpwNamedProjectNodeConfigInfo : public TpwProjectNodeConfigInfo {
 public:
  using TpwProjectNodeConfigInfo::TpwProjectNodeConfigInfo;
  using TpwProjectNodeConfigInfo::Validate;
  bool Validate(std::int32_t& badIndex) override;
  std::int32_t NameIndex() const { return nameIndex_; }
  WideString Name() const { return Param(nameIndex_).Value.AsString(); }

 protected:
  std::vector<WideString> GetParamNames() override;
  void InitDefaults() override;
  bool ValidateParam(std::int32_t index) override;
  // 0 no character rule, 1 file-name characters, 2 identifier of the parent's
  // project language, 3 identifier of the language whose names begin with a
  // letter.
  virtual std::int32_t GetNameCheckMode() { return 0; }
  virtual WideString GenerateDefaultName();
  // The parent's children's names, sorted; empty for a single-instance type or
  // no parent.
  std::vector<WideString> CollectSiblingNames() const;

  std::int32_t nameIndex_ = -1;
};

class TpwFileProjectNodeConfigInfo : public Implements<TpwNamedProjectNodeConfigInfo, IpwFileProjectNodeConfigInfo> {
 public:
  using Implements::Implements;
  using TpwNamedProjectNodeConfigInfo::Validate;
  bool Validate(std::int32_t& badIndex) override;
  std::int32_t LocationIndex() const { return locationIndex_; }

  // The new item's file: Location/Name followed by the extension.
  virtual WideString GetFileName();
  // The folder part of GenerateFileName for the folder.
  virtual WideString GetFileFolder(WideStringView folder);
  // The type's extension.
  WideString GetTypeFileExtension() const;
  // The first free numbered file in the folder (blank: the default folder).
  virtual WideString GenerateFileName(WideStringView folder);
  // The folder of the nearest persistent node from the parent up; "/" without a
  // parent.
  virtual WideString GetDefaultFolder();

  HRESULT GetFileFolder(BSTR folder, BSTR* result) override;
  HRESULT GetFileExtension(BSTR* extension) override;
  HRESULT GetFullFileName(BSTR* fileName) override;

 protected:
  std::vector<WideString> GetParamNames() override;
  void InitDefaults() override;
  bool ValidateParam(std::int32_t index) override;
  std::int32_t GetNameCheckMode() override { return 1; }
  WideString GenerateDefaultName() override;
  virtual bool DeleteFile(WideStringView fileName);
  // Whether a numbered candidate is taken.
  virtual bool CandidateTaken(WideStringView dir, WideStringView candidate, WideStringView ext);

  std::int32_t locationIndex_ = -1;
};

class TpwFileProjectNodeConfigInfoValidIdent : public TpwFileProjectNodeConfigInfo {
 public:
  using TpwFileProjectNodeConfigInfo::TpwFileProjectNodeConfigInfo;

 protected:
  std::int32_t GetNameCheckMode() override { return 2; }
};

class TpwFileProjectNodeSeparateFolderConfigInfo : public TpwFileProjectNodeConfigInfo {
 public:
  using TpwFileProjectNodeConfigInfo::TpwFileProjectNodeConfigInfo;
  WideString GetFileName() override;
  WideString GetFileFolder(WideStringView folder) override;

 protected:
  bool ValidateParam(std::int32_t index) override;
  bool CandidateTaken(WideStringView dir, WideStringView candidate, WideStringView ext) override;
};

// The configuration class of T.
template <class T>
ComPtr<TpwProjectNodeConfigInfo> ConfigInfoClass(IcvBaseManager* owner, IpwProjectNodeInfo* nodeInfo,
                                                 IpwProjectNode* parent) {
  ComPtr<TpwProjectNodeConfigInfo> info = MakeObject<T>(owner, nodeInfo, parent);
  info->Setup();
  return info;
}

// The reserved device names: True when the name (ignoring case) is one of them.
bool IsReservedDeviceName(WideStringView name);
// Whether the folder exists.
bool FolderExists(WideStringView folder);

}  // namespace pw::project
