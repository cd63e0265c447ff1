// The host's operations sit in the slots that callers in the module reach them by: the slot
// numbers that the module's code relies on, read back from the host's type library (which is
// generated from the same description as the C++ interfaces).
#include <gtest/gtest.h>

#include "core/automation/automation.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

// The slot of the interface's member with that name and kind; -1 when there is none.
int SlotOf(const IID& iid, WideStringView name, INVOKEKIND kind) {
  ComPtr<ITypeInfo> info = TypeLibraries()->GetTypeInfoOfGuid(iid);
  TYPEATTR* attr = nullptr;
  OleCheck(info->GetTypeAttr(&attr));
  WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (WORD i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    OleCheck(info->GetFuncDesc(i, &f));
    BString member;
    std::uint32_t names = 0;
    OleCheck(info->GetNames(f->memid, member.Put(), 1, &names));
    int slot = f->oVft / static_cast<int>(sizeof(void*));
    bool match = f->invkind == kind && member.View() == name;
    info->ReleaseFuncDesc(f);
    if (match) return slot;
  }
  return -1;
}

struct Given {
  const char* interfaceName;
  IID iid;
  const char16_t* member;
  INVOKEKIND kind;
  int slot;
};

template <Interface I>
Given Op(const char* name, const char16_t* member, int slot, INVOKEKIND kind = INVOKE_FUNC) {
  return {name, I::iid, member, kind, slot};
}

TEST(HostSlots, OperationsSitWhereTheirCallersReachThem) {
  host::TestHost host;  // the host's own type library is registered while a host runs
  const INVOKEKIND get = INVOKE_PROPERTYGET, put = INVOKE_PROPERTYPUT;
  const Given given[] = {
      Op<IcvBaseManager>("IcvBaseManager", u"GetHostMode", 7),
      Op<IcvBaseManager>("IcvBaseManager", u"GetService", 11),
      Op<IcvBaseManager>("IcvBaseManager", u"GetInformation", 12),
      Op<IpwSettingsManager>("IpwSettingsManager", u"GetSetting", 11),
      Op<IpwSettingsGroups>("IpwSettingsGroups", u"CreateGroup", 3),
      Op<IpwSettingsGroups>("IpwSettingsGroups", u"FindGroup", 6),
      Op<IpwSettingsGroup>("IpwSettingsGroup", u"GetPath", 4),
      Op<IpwSettingsGroup>("IpwSettingsGroup", u"GetItems", 5),
      Op<IpwSettingsGroup>("IpwSettingsGroup", u"CreateSetting", 6),
      Op<IpwSettingsGroup>("IpwSettingsGroup", u"AddSetting", 9),
      Op<IpwSettingsNotifier>("IpwSettingsNotifier", u"AddListener", 17),
      Op<IpwSettingsNotifier>("IpwSettingsNotifier", u"RemoveListener", 18),
      Op<IpwSettingsNotifier>("IpwSettingsNotifier", u"CreateItemContainer", 19),
      Op<IpwSettingsNotifier>("IpwSettingsNotifier", u"AddKeyListener", 20),
      Op<IpwSettingsNotifier>("IpwSettingsNotifier", u"RemoveKeyListener", 21),
      Op<IpwSettingsIterator>("IpwSettingsIterator", u"HasNext", 4),
      Op<IpwSettingsIterator>("IpwSettingsIterator", u"Next", 6),
      Op<IpwSettingsItemContainer>("IpwSettingsItemContainer", u"Add", 3),
      Op<IpwOptionsPages>("IpwOptionsPages", u"CreatePage", 3),
      Op<IpwTableSetting>("IpwTableSetting", u"BeginUpdate", 7),
      Op<IpwTableSetting>("IpwTableSetting", u"EndUpdate", 8),
      Op<IpwTableSetting>("IpwTableSetting", u"GetKind", 10),
      Op<IpwTableSetting>("IpwTableSetting", u"Value", 21, get),
      Op<IpwTableSetting>("IpwTableSetting", u"Value", 22, put),
      Op<IpwTableSetting>("IpwTableSetting", u"AppendRow", 25),
      Op<IpwTableSetting>("IpwTableSetting", u"GetRowCount", 29),
      Op<IpwTableSetting>("IpwTableSetting", u"GetCell", 30),
      Op<IpwTableSetting>("IpwTableSetting", u"SetCell", 31),
      Op<IpwTableSetting>("IpwTableSetting", u"SetCurrentRow", 33),
      Op<IcvTableSettingSchema_DVS>("IcvTableSettingSchema_DVS", u"AddColumn", 3),
      Op<IcvTableSettingSchema_DVS>("IcvTableSettingSchema_DVS", u"GetColumnCount", 4),
      Op<IcvTableSettingSchema_DVS>("IcvTableSettingSchema_DVS", u"GetColumnKind", 5),
      Op<IcvSettingInternal>("IcvSettingInternal", u"ToggleFlags", 5),
      Op<IcvMessenger>("IcvMessenger", u"Confirm", 11),
      Op<IcvMessenger>("IcvMessenger", u"ShowError", 17),
      Op<IcvMessenger>("IcvMessenger", u"Ask", 27),
      Op<IpwHostObjectProvider>("IpwHostObjectProvider", u"GetIndicator", 17),
      Op<IpwIndicatorInternal>("IpwIndicatorInternal", u"BeginUpdate", 3),
      Op<IpwIndicatorInternal>("IpwIndicatorInternal", u"EndUpdate", 4),
      Op<IpwIndicatorInternal>("IpwIndicatorInternal", u"StartProgress", 23),
      Op<IpwIndicatorInternal>("IpwIndicatorInternal", u"StopProgress", 24),
      Op<IpwIndicatorInternal>("IpwIndicatorInternal", u"UpdateProgress", 25),
      Op<IpwTestEngineState>("IpwTestEngineState", u"GetRunState", 3),
      Op<IpwStopRequestService>("IpwStopRequestService", u"IsStopping", 4),
      Op<IpwRuntimeObjectService>("IpwRuntimeObjectService", u"GetRuntimeObject", 13),
      Op<IcvSyntaxManager>("IcvSyntaxManager", u"CreateObject", 11),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"Name", 15, get),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"Name", 16, put),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"Arguments", 17, get),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"Arguments", 18, put),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"Qualifier", 19, get),
      Op<IcvSyntaxCodeInvokeExpression>("IcvSyntaxCodeInvokeExpression", u"HasArgumentList", 22, put),
      Op<IcvSyntaxExpressionCollection>("IcvSyntaxExpressionCollection", u"GetCount", 3),
      Op<IcvSyntaxExpressionCollection>("IcvSyntaxExpressionCollection", u"Add", 4),
      Op<IcvSyntaxExpressionCollection>("IcvSyntaxExpressionCollection", u"GetItem", 8),
      Op<IcvSyntaxConstantExpression>("IcvSyntaxConstantExpression", u"Value", 14, put),
      Op<IpwSysNode>("IpwSysNode", u"GetParent", 10),
      Op<IpwSysNodeHighlight>("IpwSysNodeHighlight", u"ResetHighlight", 5),
      Op<IpwProjectNode>("IpwProjectNode", u"GetKey", 3),
      Op<IpwProjectNode>("IpwProjectNode", u"GetTypeKey", 6),
      Op<IpwProjectNode>("IpwProjectNode", u"GetParent", 11),
      Op<IpwProjectNodeRegistry>("IpwProjectNodeRegistry", u"IsSuiteOpen", 12),
      Op<IpwProjectNodeRegistry>("IpwProjectNodeRegistry", u"GetCurrentNode", 19),
      Op<IpwProject>("IpwProject", u"GetLanguageKey", 3),
      Op<IcvWindowsManagerEx>("IcvWindowsManagerEx", u"GetProcessWindows", 6),
      Op<IcvWindowsManagerEx>("IcvWindowsManagerEx", u"UpdateWindows", 78),
      Op<IcvWindowsManagerEx>("IcvWindowsManagerEx", u"CropPicture", 79),
      Op<IcvWindowsManagerEx>("IcvWindowsManagerEx", u"ClearHighlight", 90),
  };
  for (const auto& g : given)
    EXPECT_EQ(SlotOf(g.iid, g.member, g.kind), g.slot) << g.interfaceName << "." << WideToUtf8(g.member);

  // A node's interfaces: IpwSysNode is IDispatch's (slots 3 to 6) with its own from 7 to 24,
  // and IpwSysNodeEx continues it from 25 to 34.
  EXPECT_EQ(SlotOf(IpwSysNode::iid, u"Invoke", INVOKE_FUNC), 6);
  for (const char16_t* own : {u"GetPropertyValue", u"GetMappedNameElement", u"GetChildren", u"GetNodeKey",
                              u"GetContextObject", u"GetChildCount", u"Refresh", u"GetObjectTypeKey"}) {
    int slot = SlotOf(IpwSysNodeEx::iid, own, INVOKE_FUNC);
    EXPECT_TRUE(slot >= 25 && slot <= 34 && slot != 28) << WideToUtf8(own) << " at " << slot;
  }
  for (const char16_t* own : {u"GetExtensionCount", u"GetExtension"}) {
    int slot = SlotOf(IpwSysNode::iid, own, INVOKE_FUNC);
    EXPECT_TRUE(slot >= 7 && slot <= 24 && slot != 10 && slot != 13 && slot != 16 && slot != 19)
        << WideToUtf8(own) << " at " << slot;
  }
}

}  // namespace
}  // namespace pw
