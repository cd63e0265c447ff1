// The walk of an object's automation type information into a recorder: each type information
// the object's IDispatch answers, and then, depth first in index order, every interface it
// implements directly or through its bases. The walk only traverses; what is recorded is the
// recorder's (its sink describes one type information, the recorder takes the description).
// A type reachable along several paths is handed over once per path.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/typeinfo.h"

namespace pw {

// The key names of recorded type descriptions; a recorder may use them or not.
inline constexpr const char16_t* kTypeKeyProperties = u"Properties";
inline constexpr const char16_t* kTypeKeyItem = u"Item%d";
inline constexpr const char16_t* kTypeKeyFunctions = u"Functions";
inline constexpr const char16_t* kTypeKeyVars = u"Vars";
inline constexpr const char16_t* kTypeKeyFunctionDescriptions = u"FunctionDescriptions";
inline constexpr const char16_t* kTypeKeyVarDescriptions = u"VarDescriptions";
inline constexpr const char16_t* kTypeKeyFuncDesc = u"FuncDesc";
inline constexpr const char16_t* kTypeKeyName = u"Name";
inline constexpr const char16_t* kTypeKeyDoc = u"Doc";
inline constexpr const char16_t* kTypeKeyIsBasic = u"IsBasic";
inline constexpr const char16_t* kTypeKeyParam = u"Param%d";
inline constexpr const char16_t* kTypeKeyTypeN = u"Type%d";
inline constexpr const char16_t* kTypeKeyData = u"Data";
inline constexpr const char16_t* kTypeKeyReturnValue = u"ReturnValue";
inline constexpr const char16_t* kTypeKeyType = u"Type";
inline constexpr const char16_t* kTypeKeyFlags = u"Flags";
inline constexpr const char16_t* kTypeKeyDefValue = u"DefValue";
inline constexpr const char16_t* kTypeKeyTypeDesc = u"TypeDesc";
inline constexpr const char16_t* kTypeKeyParamDesc = u"ParamDesc";

// Walks every type information of Object into Recorder, only while the recorder's sink records.
// Raises the interface-cast error when Object does not answer IDispatch; failures of single
// type-information calls end that branch silently.
void WalkDispatchTypeInfos(IpwTypeInfoRecorder* recorder, IUnknown* object);
// Records one type information and walks its implemented interfaces.
void WalkTypeInfo(ITypeInfo* info, IpwTypeInfoRecorder* recorder);

}  // namespace pw
