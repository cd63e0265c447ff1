// Full names of test objects as script code: the chain of code-model elements of a node's name
// and its ancestors', rendered by the host in the current scripting language. Also a node's
// extension by key and the reset of the object tree's highlights.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw {

inline constexpr GUID kSyntaxManagerService = MakeGuid("{DEC76189-3991-46A6-9D7B-E1A2EBA99C44}");
inline constexpr GUID kNodeRegistryService = MakeGuid("{24B6FA0B-0143-461A-9758-AEB9E9A9428B}");
inline constexpr GUID kRunControlService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kSysManagerService = MakeGuid("{0157ED9A-887B-4FC5-BBAD-19ECB6BD9115}");
// The host setting that names the current scripting language.
inline constexpr GUID kCurrentLanguageSettingKey = MakeGuid("{63CE614F-7E70-45FF-8635-E9A86B0F7750}");
// Property keys of a node's first and second name.
inline constexpr GUID kFirstNamePropertyKey = MakeGuid("{E38E283C-D00E-428E-B146-C2555847E758}");
inline constexpr GUID kSecondNamePropertyKey = MakeGuid("{49AB793E-88F7-4B7A-82B4-C6A3FCE36794}");
inline constexpr GUID kProjectNodeTypeKey = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");
inline constexpr GUID kNodeExtensionKey = MakeGuid("{4A9F9237-C1F7-4B80-9573-8440D7B37DC6}");

// The language named by the host setting; GUID_NULL when no language has that name.
GUID GetCurrentLanguageKey(IcvBaseManager* manager);
// The first language of the syntax manager whose name equals Name ignoring case; GUID_NULL
// when none does (or the host has no syntax manager).
GUID FindLanguageKeyByName(IcvBaseManager* manager, WideStringView name);
// The language of the project in use (the project of the item the run works on, else of the
// current node); the current language when no suite is open or no project is found.
GUID GetProjectLanguageKey(IcvBaseManager* manager);

// The node's name element qualified by its ancestors' up to the root, or up to the first
// ancestor with a mapped name when PreferMapped is set. A level without a name contributes
// nothing. Nil when no level has a name.
ComPtr<IcvSyntaxCodeInvokeExpression> CreateNodeNameSyntax(IpwSysNode* node, bool useSecondName, bool preferMapped);
// The node's full name as code of the project's language; empty for a nil node or manager.
WideString GenerateSysNodeFullName(IcvBaseManager* manager, IpwSysNode* node, bool preferMapped);

// The first extension of the node whose key is Key; nil when none.
ComPtr<IpwSysNode> FindNodeExtension(IpwSysNode* node, const GUID& key);
ComPtr<IpwSysNode> FindNodeExtensionByGuid(IpwSysNode* node);
// Resets the highlight of every top-level node of the object tree.
void ResetSysNodeHighlights(IcvBaseManager* manager);

}  // namespace pw
