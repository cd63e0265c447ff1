// Late-bound helpers: take an IDispatch out of a variant, test for a member, read a property
// or call a method with a fallback value instead of an exception, and compare a property with
// a wanted value (texts also as wildcard masks). Also the names of the host's runtime objects,
// the test-log lookup and file versions.
#pragma once

#include <array>
#include <span>
#include <string>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/automation/variant.h"

namespace pw {

// The IDispatch a variant holds directly, or through a chain of by-reference variants; nil
// otherwise (a by-reference IDispatch too).
ComPtr<IDispatch> VarToDispatch(const VARIANT& v);
// True when the object resolves the name.
bool DispHasMember(IDispatch* object, const char16_t* name);

// Reads a property (or calls a parameterless method); the default when the object is nil, the
// name is unknown or the call fails. Never raises.
OleVariant DispGetProperty(IDispatch* object, const char16_t* name, const OleVariant& defaultValue);
OleVariant DispGetPropertyByID(IDispatch* object, DISPID id, const OleVariant& defaultValue);
// Calls a member with arguments in call order (the callee receives them in that order); the
// default when anything fails. Never raises.
OleVariant DispCallMethod(IDispatch* object, const char16_t* name, std::span<const OleVariant> args,
                          const OleVariant& defaultValue);
OleVariant DispCallMethodByID(IDispatch* object, DISPID id, std::span<const OleVariant> args,
                              const OleVariant& defaultValue);

// True when the property's value matches the wanted one (VariantsMatch); an object value is
// compared through its default member. False for a nil object or an unknown name.
bool DispPropertyMatches(IDispatch* object, const char16_t* name, const VARIANT& wanted);
bool DispPropertyMatchesByID(IDispatch* object, DISPID id, const VARIANT& wanted);
// The wanted value converted to the found value's type, then compared: texts equal ignoring
// case or the found text matching the wanted one as a mask; other types by value.
bool VariantsMatch(const VARIANT& wanted, const VARIANT& found);

// The names under which the host publishes its runtime objects to scripts, in order.
inline constexpr std::array<WideStringView, 51> kRuntimeObjectNames = {
    u"Log", u"TestedApps", u"LLPlayer", u"ADO", u"BDE", u"DB", u"BuiltIn", u"DLL", u"DbgServices", u"OCR",
    u"Utilities", u"Win32API", u"ProjectSuite", u"Project", u"Regions", u"Files", u"Objects", u"Tables",
    u"DBTables", u"XML", u"ODT", u"Self", u"This", u"Utils", u"Indicator", u"NetworkSuite",
    u"TracewellIntegration", u"Consts", u"Global constants.", u"slPacker", u"Sys", u"PDA", u"NameMapping",
    u"Aliases", u"KeywordTests", u"Runner", u"LoadTesting", u"ObjectMapping", u"DDT", u"cvUtils", u"cvString",
    u"cvConvert", u"cvDateTime", u"cvFileSystem", u"cvFile", u"cvEnvironment", u"cvObject", u"cvDlg",
    u"ManualTestBuilder", u"Browsers", u"Item"};

// The host's test log, the runtime object "Log": nil when the host has no such object or it is
// no test log. Raises when the host gives no runtime-object service.
ComPtr<IpwTestLog> GetLogObject(IcvBaseManager* manager);

struct FileVersion {
  DWORD major = 0, minor = 0, release = 0, build = 0;
};
// The version numbers of a file's version resource. Files here carry no version resource: the
// answer comes from the table of described modules the host fills (file names compared ignoring
// case, '\\' and '/' alike); any other file answers False with all four numbers 0.
bool GetFileVersion(const std::string& fileName, FileVersion& version);
// Describes (or re-describes) the version resource of a file; thread-safe.
void SetDescribedFileVersion(const std::string& fileName, const FileVersion& version);
// Forgets a described file; nothing happens for a file never described.
void RemoveDescribedFileVersion(const std::string& fileName);

}  // namespace pw
