// The web controls over a stub native object: the log rules of the custom control (mute count,
// prepared entries), the select elements' item reads and lookups, the item table, and the call
// information of the wait objects.
#include "host/com_support.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/support/stepping_clock.h"
#include "tests/web/module_library.h"
#include "web/controls/control_values.h"
#include "web/controls/edit_control.h"
#include "web/controls/select_elements.h"
#include "web/controls/tab_controls.h"
#include "web/controls/wait_objects.h"
#include "web/navigation/node_facts.h"
#include "core/automation/dispatch_helpers.h"

namespace pw::web {
namespace {

// A native object of a list: items, selection, disabled state; counts the reads of each member.
class TListObject final : public Implements<ComObject, IDispatch> {
 public:
  std::vector<WideString> items;
  std::vector<std::int32_t> selected;
  bool enabled = true, hasEditText = false, linesSelectedIsNull = false, multiSelect = true, giveRect = true;
  std::vector<std::int32_t> disabled;
  std::int32_t window = 0x7001;
  int rectCalls = 0;
  WideString editText;
  std::map<WideString, int> reads;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    static const WideString kNames[] = {u"LineCount", u"LineText",      u"LineSelected",         u"LinesSelected",
                                        u"Enabled",   u"IsMultiSelect", u"EditableComboBoxText", u"LineDisabled"};
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (kNames[i] == names[0] && (i != 6 || hasEditText)) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    VariantInit(result);
    OleVariant value;
    switch (id) {
      case 1:
        ++reads[u"LineCount"];
        value = OleVariant(static_cast<std::int32_t>(items.size()));
        break;
      case 2: {
        ++reads[u"LineText"];
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        const std::int32_t i = VariantDeref(params->rgvarg[0]).lVal;
        if (i < 0 || i >= static_cast<std::int32_t>(items.size())) return E_INVALIDARG;
        value = OleVariant(items[static_cast<std::size_t>(i)]);
        break;
      }
      case 3: value = OleVariant(selected.empty() ? -1 : selected[0]); break;
      case 4: {
        if (linesSelectedIsNull) {
          value = OleVariant::Null();
          break;
        }
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(selected.size()));
        for (std::size_t i = 0; i < selected.size(); ++i) {
          OleVariant element(selected[i]);
          const std::int32_t at = static_cast<std::int32_t>(i);
          SafeArrayPutElement(array, &at, element.Ptr());
        }
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = array;
        value = OleVariant::Attach(v);
        break;
      }
      case 5: value = OleVariant(enabled); break;
      case 6: value = OleVariant(multiSelect); break;
      case 8: {
        const std::int32_t i = VariantDeref(params->rgvarg[0]).lVal;
        value = OleVariant(std::find(disabled.begin(), disabled.end(), i) != disabled.end());
        break;
      }
      case 0x9001: {  // GetLineRect: item i is a 100 x 20 row at (10, 30 + 20 i) of the window
        ++rectCalls;
        if (params->cArgs != 7) return DISP_E_BADPARAMCOUNT;
        const std::int32_t i = params->rgvarg[6].lVal;
        if (!giveRect) {
          value = OleVariant(false);
          break;
        }
        const std::int32_t out[5] = {window, 10, 30 + 20 * i, 110, 50 + 20 * i};
        for (int k = 0; k < 5; ++k) *static_cast<std::int32_t*>(params->rgvarg[4 - k].byref) = out[k];
        value = OleVariant(true);
        break;
      }
      case 7: value = OleVariant(editText); break;
      default: return DISP_E_MEMBERNOTFOUND;
    }
    *result = value.Detach();
    return S_OK;
  }
};

class TListContext final : public Implements<ComObject, IpwObjectContext2> {
 public:
  ComPtr<IDispatch> object;
  HRESULT IsValid(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Renew(IUnknown**, GUID*, IpwObjectContext2**, VARIANT_BOOL*) override { return E_NOTIMPL; }
  PW_OBJECT_CONTEXT2_DEFAULTS
  HRESULT GetObject(IDispatch** o) override {
    *o = object.Get();
    if (*o) (*o)->AddRef();
    return S_OK;
  }
};

class WebControls : public ::testing::Test {
 protected:
  WebControls() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<host::TestHost>(options);
    library_ = std::make_unique<test::ScopedModuleLibrary>();
    list_ = MakeObject<TListObject>();
    list_->items = {u"alpha", u"beta", u"gamma", u"beta two"};
    context_ = MakeObject<TListContext>();
    context_->object = ComPtr<IDispatch>(static_cast<IDispatch*>(list_.Get()));
    node_ = host_->Sys().AddChild(u"Process", {OleVariant(u"chrome")})->AddChild(u"Select");
  }
  ~WebControls() override {
    library_.reset();
    host_.reset();
    StopHelperModules();  // the regular-expression library goes before the program ends
    SetHostExeFolderOverride(u"");
  }
  template <class T, class... Args>
  ComPtr<T> Make(bool attach, Args&&... args) {
    auto control = MakeObject<T>(host_->Manager(), context_.Get(), std::forward<Args>(args)...);
    if (attach) {
      EXPECT_EQ(control->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
    }
    return control;
  }
  std::vector<host::LogEntry> Entries() const { return host_->Log().Entries(); }
  WideString FullName() {
    WideString name;
    GetSysNodeFullName(host_->Manager(), static_cast<IpwSysNodeEx*>(node_.Get()), name);
    return name;
  }

  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<test::ScopedModuleLibrary> library_;  // after the host, which starts the library list
  ComPtr<TListObject> list_;
  ComPtr<TListContext> context_;
  ComPtr<host::TSysNode> node_;
};

TEST_F(WebControls, MutedLogWritesOnlyErrorsAndDropsPreparedEntries) {
  auto box = Make<TpwWebLstBoxElement>(true);
  box->MuteLog();
  box->PostLog(u"a message", {}, u"", {}, TpwWebLogKind::Message);
  box->PostLog(u"an event", {}, u"", {}, TpwWebLogKind::Event);
  box->PostLog(u"an error", {}, u"", {}, TpwWebLogKind::Error);
  box->PrepareLogEntry(u"The listbox item %s was clicked.", {u"'b'"}, u"", {}, TpwWebLogKind::Event);
  box->WriteLogEntry();
  EXPECT_EQ(box->Pending().kind, 0);  // dropped, not kept for later
  box->UnmuteLog();
  box->WriteLogEntry();  // nothing pending: nothing written
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text, u"an error");
  EXPECT_EQ(entries[0].additionalText, FullName());
}

TEST_F(WebControls, PreparedEntryCarriesTheFullNameAfterItsDetails) {
  auto box = Make<TpwWebLstBoxElement>(true);
  struct Case {
    const char16_t* details;
    WideString expected;
  };
  const Case cases[] = {{u"", FullName()}, {u"Click at %s.", u"Click at (1, 2).\r\n\r\n" + FullName()}};
  for (const auto& c : cases) {
    box->PrepareLogEntry(u"The listbox item %s was clicked.", {u"'b'"}, c.details, {u"(1, 2)"}, TpwWebLogKind::Message);
    EXPECT_EQ(box->Pending().details, c.expected);
    box->WriteLogEntry();
    EXPECT_EQ(box->Pending().kind, 0);
  }
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].text, u"The listbox item 'b' was clicked.");
  EXPECT_EQ(entries[1].additionalText, cases[1].expected);
}

TEST_F(WebControls, DetachedControlWritesAndPreparesNothing) {
  auto box = Make<TpwWebLstBoxElement>(false);
  box->PostLog(u"an error", {}, u"", {}, TpwWebLogKind::Error);
  box->PrepareLogEntry(u"x", {}, u"", {}, TpwWebLogKind::Event);
  EXPECT_EQ(box->Pending().kind, 0);
  EXPECT_TRUE(Entries().empty());
}

TEST_F(WebControls, DisabledControlWritesItsErrorAlsoWhileMuted) {
  auto box = Make<TpwWebLstBoxElement>(true);
  EXPECT_TRUE(box->CheckEnabled());
  list_->enabled = false;
  box->MuteLog();
  EXPECT_FALSE(box->CheckEnabled());
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text, kWebControlDisabledText);
}

TEST_F(WebControls, ItemsAreFoundByIndexOrFirstMatchingPattern) {
  auto box = Make<TpwWebLstBoxElement>(true);
  struct Case {
    OleVariant item;
    std::int32_t index;
    const char16_t* designation;
  };
  const Case cases[] = {
      {OleVariant(u"beta"), 1, u"'beta'"},
      {OleVariant(u"be.*two"), 3, u"'beta two'"},
      {OleVariant(u"^g"), 2, u"'gamma'"},
      {OleVariant(u"delta"), -1, u"'delta'"},
      {OleVariant(2), 2, u"2"},
      {OleVariant(-1), -1, u"-1"},
      {OleVariant(4), -1, u"4"},
      {OleVariant(2.0), 2, u"2"},
  };
  for (const auto& c : cases) {
    const std::int32_t index = box->FindItemIndex(c.item.Get());
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(box->FormatItemForLog(c.item.Get(), index), c.designation);
  }
}

TEST_F(WebControls, ItemReadsOutOfRangeWriteTheNotFoundErrorOfTheirKind) {
  auto box = Make<TpwWebLstBoxElement>(true);
  auto combo = Make<TpwWebComboElement>(true, false);
  EXPECT_EQ(box->GetItem(1), u"beta");
  EXPECT_EQ(box->GetItem(4), u"");
  EXPECT_EQ(combo->GetItem(-1), u"");
  EXPECT_FALSE(combo->GetSelected(OleVariant(u"nothing like it").Get()));
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, u"The listbox item 4 not found.");
  EXPECT_EQ(entries[0].additionalText, u"Total number of items: 4.\r\n\r\n" + FullName());
  EXPECT_EQ(entries[1].text, u"The combo box item -1 not found.");
  EXPECT_EQ(entries[2].text, u"The combo box item 'nothing like it' not found.");
}

TEST_F(WebControls, SelectionReadsAndJoinedLists) {
  auto box = Make<TpwWebLstBoxElement>(true);
  list_->selected = {3, 1};
  EXPECT_EQ(box->GetSelectedItem(), 3);
  EXPECT_TRUE(box->GetSelected(OleVariant(1).Get()));
  EXPECT_FALSE(box->GetSelected(OleVariant(0).Get()));
  EXPECT_TRUE(box->GetSelected(OleVariant(u"gamma|two").Get()));  // matches item 3's text
  EXPECT_FALSE(box->GetSelected(OleVariant(u"alpha").Get()));
  EXPECT_EQ(box->GetSelectedItems(), u"beta two;beta");
  EXPECT_EQ(box->GetItemList(), u"alpha;beta;gamma;beta two");
  box->SetListSeparator(u"");
  EXPECT_EQ(box->GetListSeparator(), u";");
  box->SetListSeparator(u" | ");
  EXPECT_EQ(box->GetItemList(), u"alpha | beta | gamma | beta two");
  list_->linesSelectedIsNull = true;
  EXPECT_EQ(box->GetSelectedItems(), u"");
  EXPECT_FALSE(box->GetSelected(OleVariant(1).Get()));
  list_->items.clear();
  EXPECT_EQ(box->GetItemList(), u"");
}

TEST_F(WebControls, ComboTextPrefersTheEditText) {
  auto combo = Make<TpwWebComboElement>(true, true);
  EXPECT_TRUE(combo->OpenWithoutClick());
  EXPECT_EQ(combo->GetText(), u"");  // nothing selected
  list_->selected = {2};
  EXPECT_EQ(combo->GetText(), u"gamma");
  list_->hasEditText = true;
  list_->editText = u"typed";
  EXPECT_EQ(combo->GetText(), u"typed");
}

TEST_F(WebControls, ItemTableIsOneValueColumn) {
  auto box = Make<TpwWebLstBoxElement>(true);
  auto table = QueryAs<IpwItemTable>(static_cast<IpwNodeSlice*>(box.Get()));
  ASSERT_TRUE(table);
  std::int32_t rows = 0, columns = 0;
  EXPECT_EQ(table->GetRowCount(&rows), S_OK);
  EXPECT_EQ(table->GetColumnCount(&columns), S_OK);
  EXPECT_EQ(rows, 4);
  EXPECT_EQ(columns, 1);
  BString name;
  EXPECT_EQ(table->GetColumnName(7, name.Put()), S_OK);
  EXPECT_EQ(name.View(), u"Value");
  OleVariant cell;
  EXPECT_EQ(table->BeginRead(), S_OK);
  EXPECT_EQ(table->GetCellValue(2, 99, cell.Ptr()), S_OK);
  EXPECT_EQ(table->EndRead(), S_OK);
  EXPECT_EQ(BstrView(cell.Get().bstrVal), u"gamma");
}

TEST_F(WebControls, TabsAreFoundByCaptionPatternOrUncheckedIndex) {
  auto tabs = Make<TpwWebTabListControl>(true);
  EXPECT_EQ(tabs->GetTabCount(), 4);
  EXPECT_EQ(tabs->GetFocusedTab(), -1);  // none selected
  list_->selected = {2};
  EXPECT_EQ(tabs->GetFocusedTab(), 2);
  EXPECT_EQ(tabs->GetTabCaption(3), u"beta two");
  EXPECT_EQ(tabs->GetTabCaption(9), u"");  // the element refuses: empty by default
  struct Case {
    OleVariant item;
    std::int32_t index;
    const char16_t* designation;
  };
  const Case cases[] = {{OleVariant(u"two$"), 3, u"'beta two'"},
                        {OleVariant(u"Name"), -1, u"'Name'"},
                        {OleVariant(7), 7, u"7"},  // beyond the last tab, passed on unchecked
                        {OleVariant(-3), -3, u"-3"}};
  for (const auto& c : cases) {
    const std::int32_t index = tabs->FindTabIndex(c.item.Get());
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(tabs->FormatTabForLog(c.item.Get(), index), c.designation);
  }
  // ClickTab: a left click at the tab's centre, then the event; refusals click nothing.
  tabs->ClickTab(OleVariant(u"gam").Get());
  ASSERT_EQ(host_->Input().Actions().size(), 1u);
  EXPECT_EQ(host_->Input().Actions()[0], (host::InputAction{list_->window, 0x2028001, 60, 80, 0}));
  EXPECT_EQ(Entries().back().text, u"The tab page 'gamma' is activated.");
  tabs->ClickTab(OleVariant(u"Name").Get());
  EXPECT_EQ(Entries().back().text, u"The tab page 'Name' not found.");
  list_->giveRect = false;
  tabs->ClickTab(OleVariant(7).Get());
  EXPECT_EQ(Entries().back().text, u"Cannot perform the ClickTab operation.");
  EXPECT_EQ(host_->Input().Actions().size(), 1u);
  // An item that is no number and no text fails the call.
  EXPECT_THROW(tabs->FindTabIndex(OleVariant(static_cast<IDispatch*>(nullptr)).Get()), EOleSysError);
}

TEST_F(WebControls, TheEightClicksOfAListBox) {
  auto box = Make<TpwWebLstBoxElement>(true);
  const WideString name = FullName();
  struct Case {
    TpwListClick kind;
    std::int32_t x, y, shift;
    DISPID action;
    std::int32_t clickX, clickY;
    const char16_t* message;
    const char16_t* details;
  };
  // Item 1 ('beta') is the row (10, 50) - (110, 70): its centre is (60, 60).
  const Case cases[] = {
      {TpwListClick::Click, 0, 0, 0, 0x2028001, 60, 60,
       u"The listbox item 'beta' was clicked with the left mouse button.",
       u"Click at the point (60, 60) with no key pressed."},
      {TpwListClick::DblClick, 0, 0, 0x2000, 0x2028004, 60, 60,
       u"The listbox item 'beta' was double-clicked with the left mouse button.",
       u"Click at the point (60, 60) with the Shift key pressed."},
      {TpwListClick::ClickXY, 5, 7, 0, 0x2028001, 15, 57,
       u"The listbox item 'beta' was clicked with the left mouse button.",
       u"Click at the point (15, 57) with no key pressed."},
      {TpwListClick::DblClickXY, -1, -1, 0, 0x2028004, 60, 60,
       u"The listbox item 'beta' was double-clicked with the left mouse button.",
       u"Click at the point (60, 60) with no key pressed."},
      {TpwListClick::ClickR, 0, 0, 0x4000, 0x2028003, 60, 60,
       u"The listbox item 'beta' was clicked with the right mouse button.",
       u"Click at the point (60, 60) with the Control key pressed."},
      {TpwListClick::DblClickR, 0, 0, 0, 0x2028006, 60, 60,
       u"The listbox item 'beta' was double-clicked with the right mouse button.",
       u"Click at the point (60, 60) with no key pressed."},
      {TpwListClick::ClickRXY, 99, 19, 0, 0x2028003, 109, 69,
       u"The listbox item 'beta' was clicked with the right mouse button.",
       u"Click at the point (109, 69) with no key pressed."},
      {TpwListClick::DblClickRXY, 0, 0, 0xA000, 0x2028006, 10, 50,
       u"The listbox item 'beta' was double-clicked with the right mouse button.",
       u"Click at the point (10, 50) with the Shift + Alt key pressed."},
  };
  for (const auto& c : cases) {
    const auto before = host_->Input().Actions().size();
    box->ClickItemAction(c.kind, OleVariant(u"^beta$").Get(), c.x, c.y, c.shift);
    const auto actions = host_->Input().Actions();
    ASSERT_EQ(actions.size(), before + 1);
    EXPECT_EQ(actions.back(), (host::InputAction{list_->window, c.action, c.clickX, c.clickY, c.shift}));
    const auto entry = Entries().back();
    // The test host's log offers the extended interface: events are events.
    EXPECT_EQ(entry.kind, host::LogEntry::Event);
    EXPECT_EQ(entry.text, WideString(c.message));
    EXPECT_EQ(entry.additionalText, WideString(c.details) + u"\r\n\r\n" + name);
  }

  // Refusals: one error each, no click.
  struct Refusal {
    TpwListClick kind;
    OleVariant item;
    std::int32_t x, y;
    const char16_t* error;
  };
  list_->disabled = {2};
  const Refusal refusals[] = {
      {TpwListClick::ClickXY, OleVariant(1), 100, 5,
       u"There was an attempt to perform an action at point (100, 5), which is beyond the item's bounds."},
      {TpwListClick::ClickRXY, OleVariant(1), 5, 20,
       u"There was an attempt to perform an action at point (5, 20), which is beyond the item's bounds."},
      {TpwListClick::Click, OleVariant(2), 0, 0, u"The listbox item 2 is disabled."},
      {TpwListClick::Click, OleVariant(9), 0, 0, u"The listbox item 9 not found."},
  };
  const auto clicks = host_->Input().Actions().size();
  for (const auto& r : refusals) {
    box->ClickItemAction(r.kind, r.item.Get(), r.x, r.y, 0);
    EXPECT_EQ(Entries().back().kind, host::LogEntry::Error);
    EXPECT_EQ(Entries().back().text, r.error);
  }
  list_->giveRect = false;
  box->ClickItemAction(TpwListClick::Click, OleVariant(u"alpha").Get(), 0, 0, 0);
  EXPECT_EQ(Entries().back().text, u"Cannot activate the 'alpha' item.");
  list_->giveRect = true;
  list_->enabled = false;
  box->ClickItemAction(TpwListClick::Click, OleVariant(0).Get(), 0, 0, 0);
  EXPECT_EQ(Entries().back().text, kWebControlDisabledText);
  EXPECT_EQ(host_->Input().Actions().size(), clicks);
}

TEST_F(WebControls, SelectItemClicksWithControlOrSaysAlready) {
  auto box = Make<TpwWebLstBoxElement>(true);
  list_->selected = {1};
  box->SelectListItem(OleVariant(u"beta").Get(), true);
  EXPECT_EQ(Entries().back().text, u"The listbox item 'beta' is already selected.");
  EXPECT_EQ(Entries().back().kind, host::LogEntry::Message);
  EXPECT_TRUE(host_->Input().Actions().empty());
  box->SelectListItem(OleVariant(0).Get(), true);
  ASSERT_EQ(host_->Input().Actions().size(), 1u);
  EXPECT_EQ(host_->Input().Actions()[0].shift, 0x4000);
  EXPECT_EQ(Entries().back().text, u"The listbox item 0 was selected.");
  // -1: every item whose state differs (the stub's selection does not follow the clicks).
  box->SelectListItem(OleVariant(-1).Get(), false);
  EXPECT_EQ(host_->Input().Actions().size(), 2u);  // only item 1 was selected
  EXPECT_EQ(Entries().back().text, u"The listbox item 1 was unselected.");
  list_->multiSelect = false;
  box->SelectListItem(OleVariant(-1).Get(), true);
  EXPECT_EQ(Entries().back().text, u"The listbox does not support multiple selection.");
  box->SelectListItem(OleVariant(2).Get(), false);
  EXPECT_EQ(Entries().back().text, u"The listbox item 2 is already unselected.");
  box->SelectListItem(OleVariant(1).Get(), false);
  EXPECT_EQ(Entries().back().text, u"The listbox does not support multiple selection.");
  list_->items.clear();
  const auto entries = Entries().size();
  box->SelectListItem(OleVariant(-1).Get(), true);  // an empty list box: nothing to do
  EXPECT_EQ(Entries().size(), entries);
  EXPECT_EQ(host_->Input().Actions().size(), 2u);
}

TEST_F(WebControls, MultiSelectClicksQuietlyAndWritesOneSummary) {
  auto box = Make<TpwWebLstBoxElement>(true);
  struct Case {
    OleVariant items;
    std::vector<std::int32_t> shifts;
    const char16_t* summary;
  };
  const Case cases[] = {
      {OleVariant(u"alpha;gamma"), {0, 0x4000}, u"The list of selected items:\r\n'alpha'\r\n'gamma'\r\n."},
      {OleVariant(u"alpha;;gamma"), {0}, u"The list of selected items:\r\n'alpha'\r\n."},
      {OleVariant(3), {0}, u"The list of selected items:\r\n3\r\n."},
  };
  for (const auto& c : cases) {
    const auto before = host_->Input().Actions().size();
    const auto entriesBefore = Entries().size();
    box->MultiSelectItems(c.items.Get());
    const auto actions = host_->Input().Actions();
    ASSERT_EQ(actions.size() - before, c.shifts.size());
    for (std::size_t i = 0; i < c.shifts.size(); ++i) EXPECT_EQ(actions[before + i].shift, c.shifts[i]);
    ASSERT_EQ(Entries().size(), entriesBefore + 1);  // no per-click events
    EXPECT_EQ(Entries().back().text, u"The number of selected items has changed (see details).");
    EXPECT_EQ(Entries().back().additionalText, c.summary + (u"\r\n\r\n" + FullName()));
  }
  // A failing item stops the loop: its error is written although the clicks are muted, no summary.
  const auto before = host_->Input().Actions().size();
  box->MultiSelectItems(OleVariant(u"beta;nothing;alpha").Get());
  EXPECT_EQ(host_->Input().Actions().size(), before + 1);
  EXPECT_EQ(Entries().back().text, u"The listbox item 'nothing' not found.");
  EXPECT_TRUE(box->IsLogEnabled());
  list_->multiSelect = false;
  box->MultiSelectItems(OleVariant(u"beta").Get());
  EXPECT_EQ(Entries().back().text, u"The listbox does not support multiple selection.");
}

// What a script calls by name on the node: the members of the list box's and the combo box's
// interfaces reach the control (the node answers its own members, then its slices').
TEST_F(WebControls, ScriptsReachTheListAndComboMembersThroughTheNode) {
  auto box = Make<TpwWebLstBoxElement>(false);
  OleCheck(node_->AddExtension(IpwWebListBoxControl::iid, box->Dispatch(), GUID_NULL, 0));
  IDispatch* node = static_cast<IpwSysNodeEx*>(node_.Get());
  const auto call = [&](const char16_t* name, std::vector<OleVariant> args = {}) {
    return DispInvoke(node, name, args);
  };
  list_->selected = {1, 3};
  EXPECT_EQ(call(u"wItemCount").Get().lVal, 4);
  EXPECT_EQ(call(u"wItem", {OleVariant(2)}).AsString(), u"gamma");
  EXPECT_EQ(call(u"wSelectedItem").Get().lVal, 1);
  EXPECT_NE(call(u"wSelected", {OleVariant(u"^beta two$")}).Get().boolVal, VARIANT_FALSE);
  EXPECT_EQ(call(u"wItemList").AsString(), u"alpha;beta;gamma;beta two");
  // The separator is put as a property; an empty one reads back as ";".
  const auto put = [&](const char16_t* text) {
    const char16_t* names[] = {u"wListSeparator"};
    DISPID id = 0;
    OleCheck(node->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
    OleVariant value(text);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value.Ptr(), &named, 1, 1};
    OleCheck(node->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
  };
  put(u" | ");
  EXPECT_EQ(call(u"wSelectedItems").AsString(), u"beta | beta two");
  put(u"");
  EXPECT_EQ(call(u"wListSeparator").AsString(), u";");

  // wItemBounds: the item's rectangle relative to the control (no activation: nothing is
  // reported or clicked); nil for an item that has none.
  const auto clicks = host_->Input().Actions().size();
  auto bounds = VarToDispatch(call(u"wItemBounds", {OleVariant(1)}).Get());
  ASSERT_TRUE(bounds);
  EXPECT_EQ(DispInvoke(bounds.Get(), u"Left", {}).Get().lVal, 10);
  EXPECT_EQ(DispInvoke(bounds.Get(), u"Top", {}).Get().lVal, 50);
  EXPECT_EQ(DispInvoke(bounds.Get(), u"Right", {}).Get().lVal, 110);
  EXPECT_EQ(DispInvoke(bounds.Get(), u"Bottom", {}).Get().lVal, 70);
  EXPECT_FALSE(VarToDispatch(call(u"wItemBounds", {OleVariant(u"nothing")}).Get()));
  EXPECT_EQ(Entries().back().text, u"The listbox item 'nothing' not found.");
  EXPECT_EQ(host_->Input().Actions().size(), clicks);

  // The clicks by name, with their arguments in order.
  call(u"ClickItemRXY", {OleVariant(u"^gamma"), OleVariant(4), OleVariant(6), OleVariant(0x2000)});
  EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028003, 14, 76, 0x2000}));
  call(u"DblClickItem", {OleVariant(0), OleVariant(0)});
  EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028004, 60, 40, 0}));
  // A script variable comes by reference: its text is the item's pattern all the same.
  BString gamma(u"^gamma$");
  BSTR gammaText = gamma.Get();
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_BSTR;
  byRef.byref = &gammaText;
  call(u"ClickItem", {OleVariant::Attach(byRef), OleVariant(0)});
  EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028001, 60, 80, 0}));
  // An index by reference (as the node passes integers) is the index.
  call(u"SelectItem", {OleVariant(1), OleVariant(true)});
  EXPECT_EQ(Entries().back().text, u"The listbox item 1 is already selected.");
  call(u"MultiSelect", {OleVariant(u"alpha")});
  EXPECT_EQ(Entries().back().text, u"The number of selected items has changed (see details).");

  // The combo box on a node of its own.
  auto comboNode = host_->Sys().AddChild(u"Process", {OleVariant(u"chrome")})->AddChild(u"Select");
  auto combo = Make<TpwWebComboElement>(false, true);
  OleCheck(comboNode->AddExtension(IpwWebComboBoxControl::iid, combo->Dispatch(), GUID_NULL, 0));
  IDispatch* comboDispatch = static_cast<IpwSysNodeEx*>(comboNode.Get());
  const auto comboCall = [&](const char16_t* name, std::vector<OleVariant> args = {}) {
    return DispInvoke(comboDispatch, name, args);
  };
  list_->hasEditText = true;
  list_->editText = u"typed";
  EXPECT_EQ(comboCall(u"wText").AsString(), u"typed");
  list_->hasEditText = false;
  EXPECT_EQ(comboCall(u"wText").AsString(), u"beta");
  EXPECT_EQ(comboCall(u"wItemCount").Get().lVal, 4);
  EXPECT_EQ(comboCall(u"wItem", {OleVariant(9)}).AsString(), u"");
  EXPECT_EQ(Entries().back().text, u"The combo box item 9 not found.");
  EXPECT_EQ(comboCall(u"wItemList").AsString(), u"alpha;beta;gamma;beta two");
  host_->Windows().SetWindowState(list_->window, false, false);  // the list window goes with the click
  comboCall(u"ClickItem", {OleVariant(u"^gamma")});
  EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028001, 60, 80, 0}));
  EXPECT_EQ(Entries().back().text, u"The combo box item 'gamma' was selected.");
}

// The input service's action object of the control's node in a window: asked by the node's key;
// a control without a node raises the not-found text instead.
TEST_F(WebControls, WindowActionObjectIsAskedByTheNodesKey) {
  auto detached = Make<TpwWebLstBoxElement>(false);
  try {
    detached->GetWindowActionObject(list_->window);
    ADD_FAILURE() << "a control without a node gave an action object";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.Message(), u"Unable to find the object . See Additional Information for details.");
  }
  EXPECT_TRUE(host_->Input().ActionObjectRequests().empty());

  auto box = Make<TpwWebLstBoxElement>(true);
  auto actions = box->GetWindowActionObject(list_->window);
  ASSERT_TRUE(actions);
  GUID key = GUID_NULL;
  OleCheck(QueryAs<IcvKeyItem>(static_cast<IpwSysNodeEx*>(node_.Get()))->GetKey(&key));
  ASSERT_EQ(host_->Input().ActionObjectRequests().size(), 1u);
  EXPECT_EQ(host_->Input().ActionObjectRequests()[0], (std::pair<GUID, std::int32_t>{key, list_->window}));
  CallPointAction(actions.Get(), 0x2028003, 3, 4, 0x4000);
  EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028003, 3, 4, 0x4000}));
}

TEST(WaitObjects, AnswerTheirFixedCallInformation) {
  struct Case {
    ComPtr<IpwObjectCallInformation> info;
    const char16_t* name;
    std::int32_t params;
    const char16_t* paramName;
  };
  auto page = MakeObject<TpwWaitPageObject>();
  auto alert = MakeObject<TpwWaitItemObject>(u"Alert", true);
  auto frame = MakeObject<TpwWaitItemObject>(u"Frame", false);
  const Case cases[] = {{ComPtr<IpwObjectCallInformation>(page.Get()), u"Page", 1, u"URL"},
                        {ComPtr<IpwObjectCallInformation>(alert.Get()), u"Alert", 0, u"IndexOrName"},
                        {ComPtr<IpwObjectCallInformation>(frame.Get()), u"Frame", 1, u"IndexOrName"}};
  for (const auto& c : cases) {
    VARIANT_BOOL first = VARIANT_FALSE, second = VARIANT_TRUE;
    std::int32_t count = -1;
    BString name;
    EXPECT_EQ(c.info->GetFirstFlag(&first), S_OK);
    EXPECT_EQ(c.info->GetSecondFlag(&second), S_OK);
    EXPECT_EQ(c.info->GetName(name.Put()), S_OK);
    EXPECT_EQ(c.info->GetParamCount(&count), S_OK);
    EXPECT_EQ(first, VARIANT_TRUE);
    EXPECT_EQ(second, VARIANT_FALSE);
    EXPECT_EQ(name.View(), c.name);
    EXPECT_EQ(count, c.params);
    for (std::int32_t index : {0, 1, 5, -1}) {  // any index, also beyond the count
      BString param;
      EXPECT_EQ(c.info->GetParamName(index, param.Put()), S_OK);
      EXPECT_EQ(param.View(), c.paramName);
    }
    // Handed to the host as IDispatch: an automation object without members of its own.
    EXPECT_TRUE(QueryAs<IDispatch>(c.info.Get()));
  }
}

// The run item whose sink gets the action points, for the life of a scope.
class ScopedRunItem {
 public:
  explicit ScopedRunItem(host::TestHost& host) : host_(host) {
    item_ = MakeObject<host::THostProjectNode>(nullptr, GUID_NULL, u"Test");
    item_->GetKey(&key_);
    host_.Projects().SetRunItem(item_.Get());
  }
  ~ScopedRunItem() { host_.Projects().SetRunItem(nullptr); }
  const GUID& Key() const { return key_; }

 private:
  host::TestHost& host_;
  ComPtr<host::THostProjectNode> item_;
  GUID key_{};
};

TEST_F(WebControls, ClicksReportTheirTargetAndPointToTheRunItemsSink) {
  auto box = Make<TpwWebLstBoxElement>(true);
  auto tabs = Make<TpwWebTabListControl>(true);
  // Without a run item nothing is reported, and the click is made all the same.
  box->ClickItemAction(TpwListClick::Click, OleVariant(1).Get(), -1, -1, 0);
  EXPECT_TRUE(host_->ActionPoints().Reports().empty());
  EXPECT_EQ(host_->Input().Actions().size(), 1u);

  ScopedRunItem run(*host_);
  host_->Windows().SetWindowRects(list_->window, {100, 200, 500, 600}, {104, 230, 496, 596});
  GUID nodeKey{};
  node_->GetKey(&nodeKey);
  ASSERT_NE(nodeKey, GUID_NULL);
  box->ClickItemAction(TpwListClick::Click, OleVariant(1).Get(), -1, -1, 0);  // centre (60, 60)
  tabs->ClickTab(OleVariant(u"gam").Get());                                   // centre (60, 80)
  box->ReportActionPoint(list_->window, -1, 7, 3);                            // -1: passed as given
  const auto reports = host_->ActionPoints().Reports();
  ASSERT_EQ(reports.size(), 5u);
  for (std::size_t i : {0u, 2u}) {
    EXPECT_FALSE(reports[i].isPoint);
    EXPECT_EQ(reports[i].key, nodeKey);
    EXPECT_EQ(reports[i].item, run.Key());
  }
  EXPECT_TRUE(reports[1].isPoint);
  EXPECT_EQ((std::vector<std::int32_t>{reports[1].window, reports[1].x, reports[1].y, reports[1].flag}),
            (std::vector<std::int32_t>{list_->window, 160, 260, 1}));
  EXPECT_EQ((std::vector<std::int32_t>{reports[3].x, reports[3].y, reports[3].flag}),
            (std::vector<std::int32_t>{160, 280, 1}));
  EXPECT_EQ((std::vector<std::int32_t>{reports[4].x, reports[4].y, reports[4].flag}),
            (std::vector<std::int32_t>{-1, 7, 3}));
}

TEST_F(WebControls, ControlClickCallsTheNodesOwnClick) {
  auto detached = Make<TpwWebComboElement>(false, false);
  EXPECT_EQ(detached->Click(1, 2, 3), S_OK);  // no node: nothing to do
  std::vector<std::int32_t> got;
  node_->SetMember(u"Click", [&](std::vector<OleVariant>& args) {
    for (auto& a : args) got.push_back(ToInt(a, -99));
    return OleVariant();
  });
  auto combo = Make<TpwWebComboElement>(true, false);
  EXPECT_EQ(combo->Click(-1, -1, 0x4000), S_OK);
  EXPECT_EQ(got, (std::vector<std::int32_t>{-1, -1, 0x4000}));
  node_->SetMember(u"Click", [](std::vector<OleVariant>&) -> OleVariant { throw EOleSysError(u"gone", E_FAIL); });
  EXPECT_EQ(combo->Click(-1, -1, 0), E_FAIL);
}

TEST_F(WebControls, ComboClickItemSelectsInTheListWindowAndWaitsForItToClose) {
  pw::test::SteppingClock clock;
  ScopedClock scoped(clock);
  int opened = 0;
  node_->SetMember(u"Click", [&](std::vector<OleVariant>&) {
    ++opened;
    return OleVariant();
  });
  ScopedRunItem run(*host_);
  const WideString name = FullName();
  struct Case {
    bool openWithoutClick;
    bool listStays;
    int opens;
    std::uint64_t waited;
  };
  // The list window goes with the click (the wait ends at once) or stays (3000 ms at most).
  const Case cases[] = {{false, false, 1, 0}, {true, false, 0, 0}, {true, true, 0, 3000}};
  for (const auto& c : cases) {
    opened = 0;
    host_->Windows().SetWindowState(list_->window, !c.listStays ? false : true, true);
    auto combo = Make<TpwWebComboElement>(true, c.openWithoutClick);
    const auto before = host_->Input().Actions().size();
    const std::uint64_t slept = clock.Slept();
    combo->ClickComboItem(OleVariant(u"^gamma").Get());
    EXPECT_EQ(opened, c.opens);
    ASSERT_EQ(host_->Input().Actions().size(), before + 1);
    EXPECT_EQ(host_->Input().Actions().back(), (host::InputAction{list_->window, 0x2028001, 60, 80, 0}));
    EXPECT_GE(clock.Slept() - slept, c.waited);
    EXPECT_LT(clock.Slept() - slept, c.waited + 100);
    EXPECT_EQ(Entries().back().text, u"The combo box item 'gamma' was selected.");
    EXPECT_EQ(Entries().back().additionalText, name);
    const auto point = host_->ActionPoints().Reports().back();
    EXPECT_EQ((std::vector<std::int32_t>{point.window, point.x, point.y, point.flag}),
              (std::vector<std::int32_t>{list_->window, 60, 80, 2}));
  }

  // Refusals: one error each, nothing clicked, no event.
  auto combo = Make<TpwWebComboElement>(true, true);
  list_->disabled = {1};
  struct Refusal {
    OleVariant item;
    const char16_t* error;
  };
  const Refusal refusals[] = {{OleVariant(u"delta"), u"The combo box item 'delta' not found."},
                              {OleVariant(7), u"The combo box item 7 not found."},
                              {OleVariant(1), u"The combo box item 1 is disabled."}};
  const auto clicks = host_->Input().Actions().size();
  for (const auto& r : refusals) {
    combo->ClickComboItem(r.item.Get());
    EXPECT_EQ(Entries().back().kind, host::LogEntry::Error);
    EXPECT_EQ(Entries().back().text, r.error);
  }
  list_->giveRect = false;
  const auto entries = Entries().size();
  combo->ClickComboItem(OleVariant(0).Get());
  ASSERT_EQ(Entries().size(), entries + 1);  // the prepared event stays unwritten
  EXPECT_EQ(Entries().back().text, u"Cannot perform the ClickItem operation.");
  list_->enabled = false;
  combo->ClickComboItem(OleVariant(0).Get());
  EXPECT_EQ(Entries().back().text, kWebControlDisabledText);
  EXPECT_EQ(host_->Input().Actions().size(), clicks);
}

// The native object of a browser tab: its close point and whether it is still there.
class TTabObject final : public Implements<ComObject, IDispatch, IpwTabPresence, IpwTabContext> {
 public:
  bool givePoint = true;
  int presentReads = 0, goneAfter = 1;  // -1: stays
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    if (WideStringView(names[0]) != u"GetCloseHitPoint") return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (id != 1 || params->cArgs != 4) return DISP_E_BADPARAMCOUNT;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = givePoint ? VARIANT_TRUE : VARIANT_FALSE;
    if (givePoint) {  // call order: Activate, X, Y, Window
      *static_cast<std::int32_t*>(params->rgvarg[2].byref) = 140;
      *static_cast<std::int32_t*>(params->rgvarg[1].byref) = 12;
      *static_cast<std::int32_t*>(params->rgvarg[0].byref) = 0x7002;
    }
    return S_OK;
  }
  HRESULT IsPresent(VARIANT_BOOL* present) override {
    ++presentReads;
    *present = goneAfter < 0 || presentReads < goneAfter ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT GetTabObject(IDispatch** tab) override {
    *tab = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT GetElementValue(VARIANT*) override { return E_NOTIMPL; }
  HRESULT MakeObjectContext(BSTR, const VARIANT&, IUnknown**) override { return E_NOTIMPL; }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT GetObjectContext(IUnknown**) override { return E_NOTIMPL; }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved9() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved11() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }
  HRESULT Reserved13() override { return E_NOTIMPL; }
  HRESULT Reserved14() override { return E_NOTIMPL; }
  HRESULT GetControlInfo(IDispatch**) override { return E_NOTIMPL; }
};

TEST_F(WebControls, TabButtonCloseClicksTheCloseButtonAndWaitsForTheTab) {
  pw::test::SteppingClock clock;
  ScopedClock scoped(clock);
  host::ScopedRunState running(host_->RunState(), host::kRunStateRunning);
  const GUID contextKey = MakeGuid("{0B5C3F7E-8E4B-4C56-9D0F-3A8C2C1E7B11}");
  auto tab = MakeObject<TTabObject>();
  node_->SetContextObject(contextKey, static_cast<IpwTabContext*>(tab.Get()));
  const WideString name = FullName();
  struct Case {
    bool middle;
    int goneAfter;
    bool closed;
    std::uint64_t minWait, maxWait;
  };
  const Case cases[] = {
      {false, 1, true, 20, 20},        // gone at the first look
      {true, 3, true, 60, 60},         // the middle button; gone at the third look
      {false, -1, false, 1000, 1020},  // stays: the wait ends after 1000 ms, and says so
  };
  for (const auto& c : cases) {
    tab->presentReads = 0;
    tab->goneAfter = c.goneAfter;
    auto button = MakeObject<TpwWebTabButtonControl>(host_->Manager(), contextKey, c.middle);
    ASSERT_EQ(button->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
    const std::uint64_t slept = clock.Slept();
    EXPECT_EQ(button->Close(), S_OK);
    EXPECT_GE(clock.Slept() - slept, c.minWait);
    EXPECT_LE(clock.Slept() - slept, c.maxWait);
    EXPECT_EQ(host_->Input().Actions().back(),
              (host::InputAction{0x7002, c.middle ? 0x2028002 : 0x2028001, 140, 12, 0}));
    const auto entry = Entries().back();
    EXPECT_EQ(entry.text, c.closed ? u"The tab page was closed." : u"The tab page was not closed.");
    EXPECT_EQ(entry.kind, c.closed ? host::LogEntry::Event : host::LogEntry::Error);
    EXPECT_EQ(entry.additionalText, name);
  }

  // Without a close point: the error, and no click.
  const auto clicks = host_->Input().Actions().size();
  tab->givePoint = false;
  auto button = MakeObject<TpwWebTabButtonControl>(host_->Manager(), contextKey, false);
  ASSERT_EQ(button->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
  EXPECT_EQ(button->Close(), S_OK);
  EXPECT_EQ(Entries().back().text, u"The tab page cannot be closed.");
  EXPECT_EQ(Entries().back().additionalText, u"The tab page is inactive or has no Close button.\r\n\r\n" + name);
  // A node without the tab's context, and a detached button: nothing at all.
  const auto entries = Entries().size();
  auto other =
      MakeObject<TpwWebTabButtonControl>(host_->Manager(), MakeGuid("{6A1D1B52-3D5B-4B39-9A0E-5C2F4B8E9D01}"), false);
  ASSERT_EQ(other->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
  EXPECT_EQ(other->Close(), S_OK);
  EXPECT_EQ(MakeObject<TpwWebTabButtonControl>(host_->Manager(), contextKey, false)->Close(), S_OK);
  EXPECT_EQ(Entries().size(), entries);
  EXPECT_EQ(host_->Input().Actions().size(), clicks);
}

TEST_F(WebControls, TabButtonCloseStopsWaitingWhenTheRunStops) {
  pw::test::SteppingClock clock;
  ScopedClock scoped(clock);
  const GUID contextKey = MakeGuid("{0B5C3F7E-8E4B-4C56-9D0F-3A8C2C1E7B11}");
  auto tab = MakeObject<TTabObject>();
  tab->goneAfter = -1;
  node_->SetContextObject(contextKey, static_cast<IpwTabContext*>(tab.Get()));
  auto button = MakeObject<TpwWebTabButtonControl>(host_->Manager(), contextKey, false);
  ASSERT_EQ(button->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
  EXPECT_EQ(button->Close(), S_OK);  // no run: one look
  EXPECT_EQ(tab->presentReads, 1);
  EXPECT_EQ(Entries().back().text, u"The tab page was not closed.");
}

TEST_F(WebControls, PostKeysHoversTheParentThenTypes) {
  std::vector<WideString> calls;
  auto parent = node_->Parent();  // the node's own "Parent"
  ASSERT_TRUE(parent);
  parent->SetMember(u"HoverMouse", [&](std::vector<OleVariant>& args) {
    calls.push_back(u"HoverMouse " + ToText(args.at(0)) + u"," + ToText(args.at(1)));
    return OleVariant();
  });
  node_->SetMember(u"Keys", [&](std::vector<OleVariant>& args) {
    calls.push_back(u"Keys " + ToText(args.at(0)));
    return OleVariant();
  });
  auto edit = MakeObject<TpwWebIE8EditControl>();
  BString keys(u"abc[Enter]");
  EXPECT_EQ(edit->PostKeys(keys.Get()), S_OK);  // detached: ignored
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(edit->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
  EXPECT_EQ(edit->PostKeys(keys.Get()), S_OK);
  EXPECT_EQ(calls, (std::vector<WideString>{u"HoverMouse 0,0", u"Keys abc[Enter]"}));
  node_->SetMember(u"Keys", [](std::vector<OleVariant>&) -> OleVariant { throw EOleSysError(u"no keys", E_FAIL); });
  EXPECT_EQ(edit->PostKeys(keys.Get()), E_FAIL);
}

}  // namespace
}  // namespace pw::web
