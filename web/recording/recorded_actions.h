// The recorded-action vocabulary the analyzer uses (kinds and parameter keys
// are the host's GUIDs) and small readers over the host's recorded actions: a
// missing parameter reads as absent, empty text, 0 or False; a missing binary
// block as absent (callers zero-fill).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/com/guid.h"

namespace pw::web {

namespace kinds {
inline constexpr GUID kClick = MakeGuid("{B707146F-408D-43B2-B335-09DA5F546AF2}");
inline constexpr GUID kInput2 = MakeGuid("{6ACE4F7F-D512-43F5-8BF1-DF361A3488D6}");
inline constexpr GUID kInput3 = MakeGuid("{DFC00BA3-ACA7-4A64-BC48-148E7D20D660}");
inline constexpr GUID kKeyPress = MakeGuid("{A7256EDA-DCFC-43F9-8908-D8CCB0653B9C}");
inline constexpr GUID kInProgressInput1 = MakeGuid("{3FC42BB5-A992-4FE3-A29E-21D2925DFDC5}");
inline constexpr GUID kInProgressInput2 = MakeGuid("{6AEA3EBB-BABC-4254-8D16-BFD214A5151B}");
inline constexpr GUID kSelectChanged = MakeGuid("{0680E2EE-BCF8-4D5B-8F9F-A203B947E13B}");
inline constexpr GUID kPendingClick = MakeGuid("{CB895828-5C87-413F-820E-5426A0CEEF3D}");
inline constexpr GUID kItemClickAction = MakeGuid("{DBEF24C6-9012-47B3-9283-184E0398797D}");
inline constexpr GUID kClickAction = MakeGuid("{0A5DF60F-C06A-482F-97BD-31E7EC4095F1}");
inline constexpr GUID kSimpleClickAction = MakeGuid("{967B4404-BE91-4702-A018-BFAEB8027532}");
inline constexpr GUID kCheckChanged = MakeGuid("{7D8BA68C-0524-4734-8D20-0208CDFF343C}");
inline constexpr GUID kSetCheckedAction = MakeGuid("{9EAB7003-AE87-49BB-9665-76FD48A953E5}");
inline constexpr GUID kRefreshEvent = MakeGuid("{ED4F9236-03BA-420F-980F-C0C8D054CD90}");
inline constexpr GUID kRefreshAction = MakeGuid("{A9D41948-4ACE-485F-BBEC-86AAEC064CA4}");
inline constexpr GUID kSetTextAction = MakeGuid("{52C4BB32-5C22-412F-A5DA-C507385FEF22}");
inline constexpr GUID kPageClosed = MakeGuid("{2C1D4F62-2D29-4478-9E1A-20FD01494C1F}");
inline constexpr GUID kClosePageAction = MakeGuid("{CF2F39CC-4C9F-496D-83A6-E8EADB621FB9}");
inline constexpr GUID kTabClickAction = MakeGuid("{55FB2362-A760-4A22-8788-0024B0486C76}");
inline constexpr GUID kNavigateAction = MakeGuid("{E410A32F-386A-4F78-80EC-18C467504A60}");
inline constexpr GUID kUseless = MakeGuid("{E95A927D-B00A-47E2-A762-A082A539E932}");
inline constexpr GUID kAddressEditIgnorable1 = MakeGuid("{1CA72069-0071-42B6-852D-1E6B26A399BA}");
inline constexpr GUID kAddressEditIgnorable2 = MakeGuid("{38ACB439-C16E-469C-95D9-9FA331FD72B5}");
inline constexpr GUID kBrowserOpened = MakeGuid("{77206036-2D7F-498C-A822-6FE74E9BC66B}");
inline constexpr GUID kWaitAction = MakeGuid("{CEE5A01E-F543-46B6-AC17-D38AD90B64D9}");
// The kind of a test object that is a process.
inline constexpr GUID kProcessNode = MakeGuid("{89700BDC-D5D8-4BE2-ACC3-E934A765A45A}");
}  // namespace kinds

namespace keys {
inline constexpr GUID kClickBlock = MakeGuid("{B707146F-408D-43B2-B335-09DA5F546AF2}");  // 16 bytes
inline constexpr GUID kSelectPending = MakeGuid("{C1DC1B5B-29B6-4499-AE66-46793451CE86}");
inline constexpr GUID kKeyStateBlock = MakeGuid("{4B6E1BCE-474C-4C86-8137-913ABE4DB22A}");  // 40 bytes
inline constexpr GUID kScreenBlock = MakeGuid("{A18BD7A8-1835-41E3-A4EB-087E0CF3F9F0}");    // 1056 bytes
inline constexpr GUID kDoubleClick = MakeGuid("{8C5B9DD9-1DC7-4AA9-9F92-4DEB5D1DCA16}");
inline constexpr GUID kTimeStamp = MakeGuid("{C76D40F5-15D0-4954-B3F4-5141DD7D44CC}");
inline constexpr GUID kNotReady = MakeGuid("{20D604C1-4784-444F-8764-00D5EADBDA2F}");
inline constexpr GUID kUseless = MakeGuid("{292F0A0D-46FE-44D0-83C4-A1FD04F571C9}");
inline constexpr GUID kBrowserId = MakeGuid("{3B078FC5-4EAD-418C-8B2E-E033F7CCB9B7}");
inline constexpr GUID kMethodName = MakeGuid("{1B934CE1-CEE4-4326-8CCA-41CD497BF8C9}");
inline constexpr GUID kKeyText = MakeGuid("{9FFC15A6-6E10-47DC-9F0E-4C40F3F464D8}");
inline constexpr GUID kObjectType = MakeGuid("{0F55E733-797C-4DB9-9EDD-C2A95476E8F4}");
inline constexpr GUID kParentType = MakeGuid("{D2389E33-3B6C-4DD0-BE5D-210162199169}");
inline constexpr GUID kParentId = MakeGuid("{DBE36D9D-E285-4AEE-8FDD-0654CA5F376B}");
inline constexpr GUID kItemValue = MakeGuid("{18C900F0-4256-4BA4-A6EE-3AF074DCCB9F}");
inline constexpr GUID kItem = MakeGuid("{4223EE3B-4855-4826-AEF2-124E4C2E5C38}");
inline constexpr GUID kClickCount = MakeGuid("{D5D6BD9E-4FAB-4969-8236-37E3C075DC59}");  // 4 bytes
inline constexpr GUID kCloseRequested = MakeGuid("{9158CF91-9A97-4821-B68C-BF6135DD37D8}");
// Navigation and activation.
inline constexpr GUID kUrl = MakeGuid("{EC65A7C5-089A-4853-995C-9480FD384B08}");
inline constexpr GUID kObjectRef = MakeGuid("{F0FE4A9A-A653-451D-82DF-865FE1E2D5D0}");
inline constexpr GUID kPageObjectId = MakeGuid("{9BD8E0C4-E444-4131-9C61-CD0284DC760E}");
inline constexpr GUID kAltPageObjectId = MakeGuid("{FC3156AD-1721-42B6-9356-A8FD658D2154}");
inline constexpr GUID kActivateObjectId = MakeGuid("{E166B0EE-DB2B-45DB-BC3E-1A49D33F855B}");
inline constexpr GUID kOnProcess = MakeGuid("{2395C5B1-CE9F-42B1-B102-52ECBFE7404C}");
inline constexpr GUID kActivated = MakeGuid("{F57BA103-FAAE-4611-B2A8-877801093E3D}");
inline constexpr GUID kActivationUrl = MakeGuid("{82B0F897-8931-4063-BCB2-E0EFDC04C31D}");
inline constexpr GUID kBrowserTypeGiven = MakeGuid("{69172647-4EAB-4BB8-90EF-A124D284B1C8}");
inline constexpr GUID kBrowserType = MakeGuid("{E8B3E4C9-CA9D-4200-AB2C-2E77D4E136C4}");
inline constexpr GUID kOpensBrowser = MakeGuid("{AFAE6489-AD91-405D-B335-DB354BF3F4F5}");
inline constexpr GUID kRetarget = MakeGuid("{F04D8898-0388-411F-80C7-F6D5A47D73A1}");
// Descriptions.
inline constexpr GUID kButtonMask = MakeGuid("{275441E6-1DC5-4A5A-8E3C-62EB0085E316}");
inline constexpr GUID kShiftState = MakeGuid("{449A9FA2-A3D6-46A5-98A0-9440795A9DBD}");
inline constexpr GUID kX = MakeGuid("{15A58D5A-B562-42C0-9F83-91B8E63A4BC6}");
inline constexpr GUID kY = MakeGuid("{0DBE5311-22EC-4412-9CC3-F3CE136A2504}");
inline constexpr GUID kItemText = MakeGuid("{07DBFDC5-BBA3-4509-AA6E-4289E6118FEB}");
inline constexpr GUID kItemExtra = MakeGuid("{FB49D7CF-4DBF-4212-B371-A1BB7DE16260}");
inline constexpr GUID kItemMethod = MakeGuid("{B949BD97-BCD0-4A3D-898E-21726FFE507D}");
inline constexpr GUID kChecked = MakeGuid("{6B944E1B-70AF-4389-83F8-69916976D220}");
}  // namespace keys

// The special target of activation actions.
inline constexpr GUID kActivationTarget = MakeGuid("{C9E103A5-C7B8-43CF-B43F-8DB25F38E104}");
// The host setting: record every navigation in one browser.
inline constexpr GUID kSingleBrowserSetting = MakeGuid("{0787AA13-4C49-418A-A688-B23BE9F226F4}");

inline constexpr std::int32_t kClickBlockSize = 16;
inline constexpr std::int32_t kKeyStateBlockSize = 40;
inline constexpr std::int32_t kScreenBlockSize = 1056;
inline constexpr std::int32_t kClickCountSize = 4;

GUID ActionKind(IpwRecordedAction* action);
GUID ActionTarget(IpwRecordedAction* action);
ComPtr<IUnknown> ActionObject(IpwRecordedAction* action);
std::optional<OleVariant> GetActionParam(IpwRecordedAction* action, const GUID& key);
// True when the parameter is there and reads as True.
bool ParamIsTrue(IpwRecordedAction* action, const GUID& key);
// The parameter as text; empty when absent.
WideString ParamText(IpwRecordedAction* action, const GUID& key);
// The parameter as an integer; absent when missing or not a number.
std::optional<std::int32_t> ParamInt(IpwRecordedAction* action, const GUID& key);
void SetActionParam(IpwRecordedAction* action, const GUID& key, const OleVariant& value);
// Reads a block into the caller's buffer of Size bytes; False when the action has none.
bool ReadActionData(IpwRecordedAction* action, const GUID& key, std::uint8_t* buffer, std::int32_t size);
std::optional<std::vector<std::uint8_t>> GetActionData(IpwRecordedAction* action, const GUID& key, std::int32_t size);
// The first 32-bit word of a block (little-endian).
std::uint32_t FirstWord(const std::vector<std::uint8_t>& block);
// A click whose 16-byte click block has a non-zero first word (a click that is
// not plain).
bool IsSpecialClick(IpwRecordedAction* action, const GUID& kind);
bool SameAction(IpwRecordedAction* a, IpwRecordedAction* b);

// The identifier, kind and related node of a test object (nil related at the
// top).
GUID ObjectId(IUnknown* object);
GUID ObjectKind(IUnknown* object);
ComPtr<IUnknown> ObjectRelated(IUnknown* object);
std::optional<OleVariant> ObjectProperty(IUnknown* object, WideStringView name);

}  // namespace pw::web
