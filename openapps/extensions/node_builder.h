// TpwSysNodeBuilder: the base of the builders that plug-ins hand the host. The host offers every
// new test object to ExtendNode (subclasses attach their slices there) and asks the builder for
// the standard properties of the nodes it serves (GetNodeProperty); the base answers them from
// a fixed table through virtual operations. Its default name of a node is Child(position), or
// Unknown for a node that is no child of its parent.
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"

namespace pw {

// The standard node properties that the base answers.
namespace node_properties {
inline constexpr GUID kTypeName = MakeGuid("{D142DA3A-7069-43EF-86CE-6E0887015564}");
inline constexpr GUID kNameSyntax = MakeGuid("{E38E283C-D00E-428E-B146-C2555847E758}");
inline constexpr GUID kNameSyntaxAlt = MakeGuid("{49AB793E-88F7-4B7A-82B4-C6A3FCE36794}");
inline constexpr GUID kIntegerA = MakeGuid("{2EEC20DD-5852-4F53-BC46-21533C1D0F8B}");
inline constexpr GUID kIntegerB = MakeGuid("{05DF7888-0DC3-4937-A1B4-95097F3D5F14}");
inline constexpr GUID kAlwaysFalse = MakeGuid("{BC504B49-B590-4D80-B690-7FE73BE0203D}");
inline constexpr GUID kBoolean = MakeGuid("{E03B1EB5-BD8B-42B0-8153-6DD9AAEBCCFF}");
inline constexpr GUID kNullA = MakeGuid("{15269134-A358-4D05-A720-C42FCF11CBA0}");
inline constexpr GUID kNullB = MakeGuid("{CC8E49F1-613D-4413-9585-31F7793E02CF}");
inline constexpr GUID kNameText = MakeGuid("{A0572AB9-A386-439B-ABF4-D79E3FC9D2AC}");
}  // namespace node_properties

inline constexpr GUID kSysManagerHostService = MakeGuid("{0157ED9A-887B-4FC5-BBAD-19ECB6BD9115}");

class TpwSysNodeBuilder : public Implements<TcvInterfacedObject, IpwSysNodeBuilder, IpwSysNodePropertyProvider> {
 public:
  TpwSysNodeBuilder(IcvBaseManager* manager, const GUID& key, const GUID& kind);
  // A builder made from the object-tree manager takes the host's manager from it (raises when
  // the object-tree manager fails to answer it).
  TpwSysNodeBuilder(IpwSysManager* sysManager, const GUID& key, const GUID& kind);

  IcvBaseManager* Manager() const { return manager_.Get(); }
  // The host's object-tree manager (nil when the host has none).
  ComPtr<IpwSysManager> SysManager() const;
  // A new code-model object of the kind from the host's syntax manager (kept after first use).
  ComPtr<IUnknown> GetSyntaxObject(const GUID& kind);

  // IcvKeyItem / IpwSysNodeBuilder
  HRESULT GetKey(GUID* key) override;
  HRESULT GetKind(GUID* kind) override;
  HRESULT ExtendNode(IpwSysNode* node) override;
  HRESULT BuilderOperation6(IUnknown* first, const VARIANT& second, const VARIANT& third) override;
  // Every builder answers it (the base raises E_NOTIMPL).
  HRESULT BuilderOperation7(IUnknown* node, VARIANT_BOOL* result) override;
  // IpwSysNodePropertyProvider: the table of standard properties; Unassigned for others.
  HRESULT GetNodeProperty(IpwSysNode* node, const GUID& property, VARIANT* value) override;

 protected:
  // "SysNode" unless the manager's type registry names the node's object type.
  virtual WideString GetNodeTypeName(IpwSysNode* node);
  // Child(position) among the parent's children, or Unknown.
  virtual ComPtr<IUnknown> GetNodeNameSyntax(IpwSysNode* node);
  virtual ComPtr<IUnknown> GetNodeNameSyntaxAlt(IpwSysNode* node) { return GetNodeNameSyntax(node); }
  virtual std::int32_t GetNodeIntPropertyA(IpwSysNode*) { return -1; }
  virtual std::int32_t GetNodeIntPropertyB(IpwSysNode*) { return 0; }
  virtual bool GetNodeBoolProperty(IpwSysNode*) { return true; }
  virtual void DoExtendNode(IpwSysNode*) {}
  virtual void DoOperation6(IUnknown*, const VARIANT&, const VARIANT&) {}
  virtual bool DoOperation7(IUnknown* node) = 0;

 private:
  ComPtr<IcvBaseManager> manager_;
  GUID key_, kind_;
  ComPtr<IcvSyntaxManager> syntax_;
};

// The node's position among its parent's children (by key); -1 without a parent or a match.
std::int32_t GetSysNodePosition(IpwSysNode* node);

}  // namespace pw
