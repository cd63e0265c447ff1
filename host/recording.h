// The host's recording objects: test objects of a recording, recorded actions,
// the list of a recording that the analyzer walks and rewrites, the code writer
// and its calls, and the recording service with which plug-ins register their
// analyzers.
//
// The list keeps every action it ever held in one sequence, so its cursor stays
// valid whatever automates do: a detached or deleted action stays in place, out
// of the enumeration. New actions made from a source (CreateAction*, position
// -1) stand just before the source, and AddAction puts one just before the
// cursor, so the enumeration running never meets them; a position of 0 or more
// stands before the live action of that index. InsertBefore moves an action.
// Detaching an action twice fails ("The action was detached already"); deleting
// a detached or deleted action changes nothing.
#pragma once

#include <list>
#include <map>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/com/guid.h"

namespace pw::host {

inline constexpr GUID kRecordingService = MakeGuid("{7304CEEC-41E0-461E-9B13-F1B94DF03466}");

class TRecordedObject final : public Implements<ComObject, IpwRecordedObject> {
 public:
  TRecordedObject(const GUID& id, WideString name, const GUID& kind = GUID{})
      : id_(id), kind_(kind), name_(std::move(name)) {}
  const GUID& Id() const { return id_; }
  const GUID& Kind() const { return kind_; }
  const WideString& Name() const { return name_; }
  TRecordedObject* Parent() const { return parent_.Get(); }
  void SetParent(TRecordedObject* parent) { parent_ = parent; }
  void SetProperty(WideStringView name, const OleVariant& value);
  // Properties in the order they were set.
  const std::vector<std::pair<WideString, OleVariant>>& Properties() const { return properties_; }

  HRESULT GetId(GUID* id) override;
  HRESULT GetKind(GUID* kind) override;
  HRESULT GetRelated(IUnknown** node) override;
  PW_HOST_RESERVED(6)
  PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) PW_HOST_RESERVED(13)
      PW_HOST_RESERVED(14) VARIANT_BOOL GetProperty(BSTR name, VARIANT* value) override;

 private:
  GUID id_;
  GUID kind_;
  WideString name_;
  ComPtr<TRecordedObject> parent_;
  std::vector<std::pair<WideString, OleVariant>> properties_;
};

class TRecordedCall;

enum class RecordedActionState { Live, Detached, Deleted };

class TRecordedAction final : public Implements<ComObject, IpwRecordedAction> {
 public:
  TRecordedAction(const GUID& kind, const GUID& target, IUnknown* object)
      : kind_(kind), target_(target), object_(object) {}

  const GUID& Kind() const { return kind_; }
  const GUID& Target() const { return target_; }
  IUnknown* Object() const { return object_.Get(); }
  // Parameters and binary blocks in the order they were first set.
  const std::vector<std::pair<GUID, OleVariant>>& Params() const { return params_; }
  const std::vector<std::pair<GUID, std::vector<std::uint8_t>>>& Blocks() const { return blocks_; }
  void SetParamValue(const GUID& key, const OleVariant& value);
  void SetBlock(const GUID& key, std::vector<std::uint8_t> data);
  RecordedActionState State() const { return state_; }
  int DetachCount() const { return detachCount_; }
  const std::vector<ComPtr<TRecordedAction>>& Sources() const { return sources_; }
  // What the description gave it.
  TRecordedCall* Call() const { return call_.Get(); }
  bool CodeFlag() const { return codeFlag_; }
  const std::vector<ComPtr<IcvSyntaxElement>>& StatementsBefore() const { return statements_; }

  PW_HOST_RESERVED(3)
  HRESULT GetKind(GUID* kind) override;
  HRESULT GetObject(IUnknown** object) override;
  HRESULT GetTargetId(GUID* target) override;
  HRESULT SetParam(const GUID& key, const VARIANT& value) override;
  VARIANT_BOOL GetParam(const GUID& key, VARIANT* value) override;
  HRESULT SetParamData(const GUID& key, std::uint8_t* buffer, std::int32_t size) override;
  VARIANT_BOOL GetParamData(const GUID& key, std::uint8_t* buffer, std::int32_t size) override;

 private:
  friend class TRecordedActionList;
  friend class TRecordedCodeWriter;
  GUID kind_;
  GUID target_;
  ComPtr<IUnknown> object_;
  std::vector<std::pair<GUID, OleVariant>> params_;
  std::vector<std::pair<GUID, std::vector<std::uint8_t>>> blocks_;
  RecordedActionState state_ = RecordedActionState::Live;
  int detachCount_ = 0;
  std::vector<ComPtr<TRecordedAction>> sources_;
  ComPtr<TRecordedCall> call_;
  bool codeFlag_ = false;
  std::vector<ComPtr<IcvSyntaxElement>> statements_;
  std::list<ComPtr<TRecordedAction>>::iterator position_;
  const void* owner_ = nullptr;
};

class TRecordedActionList final : public Implements<ComObject, IpwRecordedActionList> {
 public:
  TRecordedActionList();
  void AddObject(TRecordedObject* object);
  TRecordedObject* FindObjectById(const GUID& id) const;
  // The objects in the order they were added.
  const std::vector<ComPtr<TRecordedObject>>& Objects() const { return objectOrder_; }
  // Appends an action (its object: the recording's object with the target's id,
  // else nil).
  ComPtr<TRecordedAction> Append(const GUID& kind, const GUID& target);
  ComPtr<TRecordedAction> Append(const GUID& kind, const GUID& target, TRecordedObject* object);
  // The actions still in the recording, in order.
  std::vector<ComPtr<TRecordedAction>> LiveActions() const;
  // Every action the list ever held (also detached and deleted ones), in order.
  std::vector<ComPtr<TRecordedAction>> AllActions() const;

  PW_HOST_RESERVED(3)
  HRESULT FindObject(const GUID& id, IUnknown** object) override;
  VARIANT_BOOL HasNext() override;
  HRESULT Reset() override;
  HRESULT DetachAction(IpwRecordedAction* action) override;
  HRESULT AddAction(const GUID& kind, const GUID& target) override;
  HRESULT CreateAction(IpwRecordedAction* source, const GUID& kind, const GUID& target,
                       IpwRecordedAction** made) override;
  HRESULT CreateActionAt(IpwRecordedAction* source, const GUID& kind, const GUID& target, std::int32_t position,
                         IpwRecordedAction** made) override;
  HRESULT CreateActionLike(IpwRecordedAction* source, const GUID& kind, const GUID& target, std::int32_t position,
                           IpwRecordedAction** made) override;
  HRESULT LinkSource(IpwRecordedAction* made, IpwRecordedAction* source) override;
  HRESULT InsertBefore(IpwRecordedAction* made, IpwRecordedAction* action) override;
  HRESULT DeleteAction(IpwRecordedAction* action) override;
  PW_HOST_RESERVED(15)
  HRESULT Next(IpwRecordedAction** action) override;

 private:
  using Entries = std::list<ComPtr<TRecordedAction>>;
  TRecordedAction* Own(IpwRecordedAction* action) const;
  ComPtr<TRecordedAction> MakeFrom(TRecordedAction* source, const GUID& kind, const GUID& target);
  Entries::iterator PositionOf(std::int32_t position, TRecordedAction* source);
  void SkipDead();

  Entries entries_;
  Entries::iterator cursor_;
  std::map<GUID, ComPtr<TRecordedObject>> objects_;
  std::vector<ComPtr<TRecordedObject>> objectOrder_;
};

// One parameter of a recorded call: a value (a constant, or a code element as
// VT_UNKNOWN) or a set of named members.
struct RecordedCallParam {
  OleVariant value;
  bool isSet = false;
  std::vector<std::pair<WideString, std::int32_t>> members;
};

class TRecordedSetParam final : public Implements<ComObject, IpwRecordedSetParam> {
 public:
  explicit TRecordedSetParam(TRecordedCall* call, std::size_t index) : call_(call), index_(index) {}
  HRESULT AddMember(BSTR name, std::int32_t code) override;

 private:
  ComPtr<TRecordedCall> call_;
  std::size_t index_;
};

class TRecordedCall final : public Implements<ComObject, IpwRecordedCall> {
 public:
  IUnknown* Object() const { return object_.Get(); }
  const WideString& Method() const { return method_; }
  const std::vector<RecordedCallParam>& Params() const { return params_; }
  bool Flag() const { return flag_; }
  const WideString& Description() const { return description_; }

  HRESULT SetObject(IUnknown* object) override;
  HRESULT SetMethod(BSTR name) override;
  HRESULT AddParam(const VARIANT& value) override;
  HRESULT AddSetParam(IpwRecordedSetParam** set) override;
  PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) HRESULT SetFlag(VARIANT_BOOL flag) override;
  PW_HOST_RESERVED(10)
  PW_HOST_RESERVED(11) HRESULT SetDescription(BSTR text) override;

 private:
  friend class TRecordedSetParam;
  ComPtr<IUnknown> object_;
  WideString method_;
  std::vector<RecordedCallParam> params_;
  bool flag_ = false;
  WideString description_;
};

class TRecordedCodeWriter final : public Implements<ComObject, IpwRecordedCodeWriter> {
 public:
  PW_HOST_RESERVED(3)
  HRESULT NewCall(IpwRecordedCall** call) override;
  PW_HOST_RESERVED(5)
  HRESULT SetActionCode(IpwRecordedAction* action, IpwRecordedCall* call, VARIANT_BOOL flag) override;
  PW_HOST_RESERVED(7)
  HRESULT AddStatementBefore(IpwRecordedAction* action, IcvSyntaxElement* statement) override;
};

// The call as source text of a language: Object.Method(params); a set is
// written "a | b" in JavaScript and "a Or b" in VBScript.
WideString RenderRecordedCall(const TRecordedCall& call, const GUID& languageKey);
// The description with "%n" replaced by the object's name and "%p1" by the
// first parameter.
WideString ExpandRecordedDescription(const TRecordedCall& call, const GUID& languageKey);

// The recording service: the analyzers plug-ins registered, in order.
class TRecordingService final : public Implements<ComObject, IpwRecordingService> {
 public:
  HRESULT Register(IUnknown* analyzer) override;
  HRESULT Remove(IUnknown* analyzer) override;
  std::vector<ComPtr<IUnknown>> Analyzers() const;

 private:
  mutable std::mutex lock_;
  std::vector<ComPtr<IUnknown>> analyzers_;
};

}  // namespace pw::host
