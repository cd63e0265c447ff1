// The select controls attached by hand to real <select> elements of the engine: the item reads
// and the lookup by pattern go through the host's list members. Run by the CTest test
// "web_engine" only.
#include "host/com_support.h"
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/com/comobject.h"
#include "platform/rtl/strings.h"
#include "graphics/png.h"
#include "host/browser/objects/window_pictures.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/module_library.h"
#include "web/controls/page_actions.h"
#include "web/controls/page_picture.h"
#include "web/controls/page_picture_method.h"
#include "openapps/picture/picture.h"
#include "core/host/invoke_expressions.h"
#include "project/wait/wait_helper.h"
#include "web/navigation/node_facts.h"
#include "web/controls/select_elements.h"
#include "web/controls/tab_controls.h"
#include "web/controls/edit_control.h"
#include "web/plugin/web_builders.h"
#include "tests/support/stepping_clock.h"
#include "platform/automation/bstr.h"

#include <fstream>
#include <map>

namespace pw::web {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

class TElementContext final : public Implements<ComObject, IpwObjectContext2> {
 public:
  explicit TElementContext(ComPtr<IDispatch> object) : object_(std::move(object)) {}
  HRESULT IsValid(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Renew(IUnknown**, GUID*, IpwObjectContext2**, VARIANT_BOOL*) override { return E_NOTIMPL; }
  PW_OBJECT_CONTEXT2_DEFAULTS
  HRESULT GetObject(IDispatch** o) override {
    *o = object_.Get();
    if (*o) (*o)->AddRef();
    return S_OK;
  }

 private:
  ComPtr<IDispatch> object_;
};

ComPtr<IDispatch> Element(IDispatch* document, const char16_t* id) {
  const char16_t* name = u"getElementById";
  DISPID dispId = DISPID_UNKNOWN;
  OleCheck(document->GetIDsOfNames(GUID_NULL, &name, 1, 0, &dispId));
  OleVariant arg(id);
  DISPPARAMS params{arg.Ptr(), nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  OleCheck(document->Invoke(dispId, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
  OleVariant held = OleVariant::Attach(result);
  return ComPtr<IDispatch>(held.Ptr()->pdispVal);
}

TEST(RealEngineWebControls, SelectControlsReadRealOptions) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost host(options);
    const std::string page = std::string(PW_TEST_SOURCE_DIR) + "/examples/web/controls.html";
    auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + page);
    auto document = host.Browsers().Document(*tested);
    pw::web::test::ScopedModuleLibrary library;  // the controls answer scripts through it
    auto listContext = MakeObject<TElementContext>(Element(document.Get(), u"fruit"));
    auto comboContext = MakeObject<TElementContext>(Element(document.Get(), u"size"));
    auto box = MakeObject<TpwWebLstBoxElement>(host.Manager(), listContext.Get());
    auto combo = MakeObject<TpwWebComboElement>(host.Manager(), comboContext.Get(), true);
    ASSERT_EQ(box->AttachNode(static_cast<IpwSysNodeEx*>(tested->node.Get())), S_OK);
    ASSERT_EQ(combo->AttachNode(static_cast<IpwSysNodeEx*>(tested->node.Get())), S_OK);

    EXPECT_EQ(box->GetLineCount(), 4);
    EXPECT_EQ(box->GetItemList(), u"Apple;Banana;Cherry;Damson");
    EXPECT_EQ(box->FindItemIndex(OleVariant(u"^D").Get()), 3);
    EXPECT_EQ(box->GetSelectedItem(), -1);
    EXPECT_TRUE(box->CheckEnabled());
    tested->page->Evaluate(
        "document.getElementById('fruit').options[1].selected = true;"
        "document.getElementById('fruit').options[3].selected = true");
    EXPECT_EQ(box->GetSelectedItems(), u"Banana;Damson");
    EXPECT_TRUE(box->GetSelected(OleVariant(u"Dam").Get()));
    EXPECT_FALSE(box->GetSelected(OleVariant(0).Get()));
    EXPECT_EQ(combo->GetText(), u"Medium");
    EXPECT_EQ(combo->GetItem(2), u"Large");

    // The ARIA tab list: its tabs, captions and the selected one.
    auto tabsContext = MakeObject<TElementContext>(Element(document.Get(), u"tabs"));
    auto tabs = MakeObject<TpwWebTabListControl>(host.Manager(), tabsContext.Get());
    ASSERT_EQ(tabs->AttachNode(static_cast<IpwSysNodeEx*>(tested->node.Get())), S_OK);
    EXPECT_EQ(tabs->GetTabCount(), 2);
    EXPECT_EQ(tabs->GetFocusedTab(), 0);
    EXPECT_EQ(tabs->GetTabCaption(1), u"Details");
    EXPECT_EQ(tabs->FindTabIndex(OleVariant(u"^Det").Get()), 1);
    EXPECT_EQ(tabs->FormatTabForLog(OleVariant(u"^Det").Get(), 1), u"'Details'");
    tabs->ClickTab(OleVariant(u"Details").Get());
    EXPECT_EQ(tabs->GetFocusedTab(), 1);
    EXPECT_EQ(host.Log().Entries().back().text, u"The tab page 'Details' is activated.");
    tabs->ClickTab(OleVariant(u"Nothing").Get());
    EXPECT_EQ(host.Log().Entries().back().text, u"The tab page 'Nothing' not found.");
    tabs->ClickTab(OleVariant(5).Get());  // passed on unchecked: the element gives no rectangle
    EXPECT_EQ(host.Log().Entries().back().text, u"Cannot perform the ClickTab operation.");

    // Clicks select the real option: the page sees the value and its change event.
    const auto text = [&](const char* expression) {
      return tested->page->Evaluate(expression).object.value("value", std::string());
    };
    box->ClickItemAction(TpwListClick::Click, OleVariant(u"^Apple$").Get(), -1, -1, 0);
    EXPECT_EQ(text("document.getElementById('out').textContent"), "fruit:Apple");
    EXPECT_EQ(box->GetSelectedItems(), u"Apple");  // a plain click selects only the clicked item
    EXPECT_EQ(host.Log().Entries().back().text, u"The listbox item 'Apple' was clicked with the left mouse button.");
    box->SelectListItem(OleVariant(3).Get(), true);  // with Control: added to the selection
    EXPECT_EQ(box->GetSelectedItems(), u"Apple;Damson");
    box->ClickItemAction(TpwListClick::Click, OleVariant(u"Cherry").Get(), -1, -1, 0);
    EXPECT_EQ(host.Log().Entries().back().text, u"The listbox item 'Cherry' is disabled.");
    EXPECT_EQ(box->GetSelectedItems(), u"Apple;Damson");
    box->MultiSelectItems(OleVariant(u"Banana;Damson").Get());
    EXPECT_EQ(box->GetSelectedItems(), u"Banana;Damson");

    // wItemBounds: the option's rectangle in the page, one row below the other.
    auto first = box->ItemBounds(OleVariant(0).Get());
    auto second = box->ItemBounds(OleVariant(u"Banana").Get());
    ASSERT_TRUE(first && second);
    const auto coordinate = [](IDispatch* rect, const char16_t* name) { return DispInvoke(rect, name, {}).Get().lVal; };
    EXPECT_GT(coordinate(first.Get(), u"Right"), coordinate(first.Get(), u"Left"));
    EXPECT_GT(coordinate(first.Get(), u"Bottom"), coordinate(first.Get(), u"Top"));
    EXPECT_EQ(coordinate(second.Get(), u"Top"), coordinate(first.Get(), u"Bottom"));
    EXPECT_FALSE(box->ItemBounds(OleVariant(u"Nothing").Get()));

    tested->page->Evaluate("document.getElementById('fruit').disabled = true");
    EXPECT_FALSE(box->CheckEnabled());
    const auto entries = host.Log().Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, kWebControlDisabledText);
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

// A late-bound object whose one member "contentDocument" is the page's document, as the engine's
// page nodes answer it.
class TPageNative final : public Implements<ComObject, IDispatch> {
 public:
  explicit TPageNative(ComPtr<IDispatch> document) : document_(std::move(document)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    if (WideStringView(names[0]) != u"contentDocument") return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    VariantInit(result);
    *result = OleVariant(document_.Get()).Detach();
    return S_OK;
  }

 private:
  ComPtr<IDispatch> document_;
};

// A tall page of text, images and colour bands; nothing fixed or animated.
std::string TallPage(int bands = 50) {
  std::string html = R"(<!DOCTYPE html><html><head><style>
    html, body { margin: 0; } body { width: 1280px; font: 16px sans-serif; }
    .band { height: 400px; position: relative; }
    p { margin: 0; padding: 20px; }
    img { position: absolute; left: 900px; top: 40px; }
  </style></head><body>)";
  const char* colours[] = {"#c0392b", "#2980b9", "#27ae60", "#f1c40f", "#8e44ad", "#ecf0f1", "#34495e"};
  for (int i = 0; i < bands; ++i) {
    html += "<div class=band style='background:" + std::string(colours[i % 7]) + "'><p>Band " + std::to_string(i) +
            " with some text that runs along the band to give the raster something to draw.</p>"
            "<img width=120 height=80 src=\"data:image/svg+xml,<svg xmlns='http://www.w3.org/2000/svg' "
            "width='120' height='80'><circle cx='40' cy='40' r='30' fill='white'/><rect x='70' y='10' "
            "width='40' height='60' fill='black'/></svg>\"></div>";
  }
  return html + "</body></html>";
}

TEST(RealEngineWebControls, PagePictureEqualsTheEnginesFullCapture) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  pw::test::ScratchDir dir;
  std::ofstream(dir.Utf8File("tall.html")) << TallPage();
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + dir.Utf8File("tall.html"));
  auto native = MakeObject<TPageNative>(host.Browsers().Document(*tested));
  const auto size = [&](const char* expression) {
    return static_cast<std::int32_t>(tested->page->Evaluate(expression).object.value("value", 0));
  };
  const TRect view{0, 0, size("window.innerWidth"), size("window.innerHeight")};
  ComPtr<IDispatch> target;
  TpwPageMetrics metrics;
  ASSERT_TRUE(GetFirefoxPageMetrics(native.Get(), view, view, target, metrics));
  ASSERT_EQ(metrics.ScrollWidth, 1280);
  ASSERT_EQ(metrics.ScrollHeight, 20000);

  int shots = 0;
  const auto takeShot = [&] {
    ++shots;
    std::int32_t bitmap = 0;
    EXPECT_EQ(host.Windows().GetWindowPicture(static_cast<std::int32_t>(tested->window), 0, &bitmap), S_OK);
    graphics::Bitmap shot;
    if (auto pixels = BitmapPixels(bitmap)) shot = *pixels;
    EXPECT_EQ(shot.format().bitCount, 32);  // the screen's format
    DeleteObject(bitmap);
    return shot;
  };
  const auto stitched = StitchPagePicture(
      metrics, -1, -1, -1, -1, [&](std::int32_t x, std::int32_t y) { ScrollPageTo(target.Get(), x, y); }, takeShot);
  ASSERT_EQ(stitched.width(), 1280);
  ASSERT_EQ(stitched.height(), 20000);
  TpwPageMetrics planned = metrics;
  EXPECT_EQ(shots, static_cast<int>(PlanPageTiles(planned, -1, -1, -1, -1).size()));

  const std::string png = tested->page->Screenshot(std::nullopt, true);
  const auto full =
      graphics::ReadPng(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
  ASSERT_EQ(full.width(), 1280);
  ASSERT_EQ(full.height(), 20000);
  std::int64_t differing = 0;
  std::vector<std::uint32_t> a(1280), b(1280);
  for (std::int32_t y = 0; y < 20000; ++y) {
    stitched.ReadRow(y, a.data());
    full.ReadRow(y, b.data());
    for (std::size_t x = 0; x < a.size(); ++x) differing += (a[x] & 0xFFFFFF) != (b[x] & 0xFFFFFF);
  }
  EXPECT_EQ(differing, 0) << "pixels that differ between the stitched page and the engine's own capture";
}

// The page context of a tested page: its browser object's close member 0x7FFF0001 is the browser
// object's Quit, refused (raising) or ignored as the case wants.
class TEngineCloseMember final : public Implements<ComObject, IDispatch> {
 public:
  enum Mode { Quit, Raise, Ignore };
  TEngineCloseMember(ComPtr<IDispatch> browser, Mode mode) : browser_(std::move(browser)), mode_(mode) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    if (result) VariantInit(result);
    if (id != kBrowserCloseDispid) return DISP_E_MEMBERNOTFOUND;
    if (mode_ == Raise) return E_FAIL;
    if (mode_ == Quit) DispInvoke(browser_.Get(), u"Quit", {}, DISPATCH_METHOD);
    return S_OK;
  }

 private:
  ComPtr<IDispatch> browser_;
  Mode mode_;
};

TEST(RealEngineWebControls, PagesCloseThroughTheirBrowserOrWindow) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  host.Settings().DefineSetting(project::kDefaultWaitTimeoutSetting, host::kSettingInteger, u"Wait", OleVariant(1000));
  const std::string page = "file://" + std::string(PW_TEST_SOURCE_DIR) + "/examples/web/controls.html";
  const auto close = [&](const std::shared_ptr<host::TestedBrowser>& tested, TEngineCloseMember::Mode mode) {
    auto member = MakeObject<TEngineCloseMember>(host.Browsers().BrowserObject(*tested), mode);
    auto context = MakeObject<TElementContext>(ComPtr<IDispatch>(static_cast<IDispatch*>(member.Get())));
    tested->node->SetPageContext(static_cast<IpwObjectContext2*>(context.Get()));
    auto slice = MakeObject<TpwBrowserPageActions>(host.Manager());
    EXPECT_EQ(slice->AttachNode(static_cast<IpwSysNodeEx*>(tested->node.Get())), S_OK);
    EXPECT_EQ(slice->ClosePage(), S_OK);
    return host.Log().Entries().back();
  };
  auto first = host.Browsers().Launch(host::BrowserKind::Chrome, page);
  auto second = host.Browsers().Launch(host::BrowserKind::Chrome, page);
  auto third = host.Browsers().Launch(host::BrowserKind::Chrome, page);

  // The browser member closes the page.
  auto entry = close(first, TEngineCloseMember::Quit);
  EXPECT_EQ(entry.text.substr(0, 4), u"The ");
  EXPECT_TRUE(entry.text.ends_with(u" page was closed."));
  EXPECT_FALSE(host.Browsers().Find(first->id));

  // A page that stays gives the error.
  entry = close(second, TEngineCloseMember::Ignore);
  EXPECT_EQ(entry.kind, host::LogEntry::Error);
  EXPECT_TRUE(entry.text.ends_with(u" page was not closed."));
  EXPECT_TRUE(host.Browsers().Find(second->id));
  host.Browsers().Close(second->id);

  // The browser member raises: the page's window closes it (the last page: its process is awaited
  // too, and stays while the engine runs).
  third->node->SetPivotWindow(static_cast<std::int32_t>(third->window));
  auto window = third->node->Parent()->AddChild(u"Window", {OleVariant(u"Chrome_WidgetWin_1")});
  window->SetWindowHandle(static_cast<std::int32_t>(third->window));
  const int id = third->id;
  window->SetWindowActionHandler([&](WideStringView action) {
    if (action.starts_with(u"close")) host.Browsers().Close(id);
  });
  entry = close(third, TEngineCloseMember::Raise);
  EXPECT_TRUE(entry.text.ends_with(u" page was closed.")) << WideToUtf8(entry.text);
  EXPECT_EQ(window->WindowActions(), std::vector<WideString>{u"close 1000"});
  EXPECT_FALSE(host.Browsers().Find(id));
}

// The slice on an engine page, as a script calls it: the page node's native object answers
// "contentDocument", its pivot window is the browser's window; the picture equals the engine's own
// full-page capture.
TEST(RealEngineWebControls, PagePictureSliceOfAnEnginePage) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  pw::test::ScratchDir dir;
  std::ofstream(dir.Utf8File("bands.html")) << TallPage(8);
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  pw::web::test::ScopedModuleLibrary library;
  auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + dir.Utf8File("bands.html"));
  const auto size = [&](const char* expression) {
    return static_cast<std::int32_t>(tested->page->Evaluate(expression).object.value("value", 0));
  };
  const auto window = static_cast<std::int32_t>(tested->window);
  const TRect view{0, 0, size("window.innerWidth"), size("window.innerHeight")};
  host.Windows().SetWindowRects(window, view, view);
  auto windowNode = tested->node->Parent()->AddChild(u"Window", {OleVariant(u"Chrome_WidgetWin_1")});
  windowNode->SetWindowHandle(window);
  tested->node->SetPivotWindow(window);
  tested->node->SetNativeObject(
      GUID_NULL, static_cast<IDispatch*>(MakeObject<TPageNative>(host.Browsers().Document(*tested)).Get()));
  auto slice = MakeObject<TpwWebPagePictureMethod>(host.Manager());
  ASSERT_EQ(slice->AttachNode(static_cast<IpwSysNodeEx*>(tested->node.Get())), S_OK);

  const OleVariant missing;  // an argument left out (empty)
  ComPtr<IDispatch> picture;
  ASSERT_EQ(slice->PagePicture(missing.Get(), missing.Get(), missing.Get(), missing.Get(), picture.Put()), S_OK);
  auto p = QueryAs<IpwPicture>(picture.Get());
  ASSERT_TRUE(p);
  std::int32_t handle = 0;
  ASSERT_EQ(p->get_Handle(&handle), S_OK);
  auto stitched = BitmapPixels(handle);
  ASSERT_TRUE(stitched);
  ASSERT_EQ(stitched->width(), 1280);
  ASSERT_EQ(stitched->height(), 3200);

  const std::string png = tested->page->Screenshot(std::nullopt, true);
  const auto full =
      graphics::ReadPng(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
  ASSERT_EQ(full.height(), 3200);
  std::int64_t differing = 0;
  std::vector<std::uint32_t> a(1280), b(1280);
  for (std::int32_t y = 0; y < 3200; ++y) {
    stitched->ReadRow(y, a.data());
    full.ReadRow(y, b.data());
    for (std::size_t x = 0; x < a.size(); ++x) differing += (a[x] & 0xFFFFFF) != (b[x] & 0xFFFFFF);
  }
  EXPECT_EQ(differing, 0);
}

// The element node below a page node whose identifier (id, name or index) is `identifier`, its
// parent's level read through the node's interface as a script would.
ComPtr<host::TSysNode> ElementNode(host::TSysNode& parent, const char16_t* identifier) {
  std::int32_t count = 0;
  EXPECT_EQ(static_cast<IpwScriptSysNode&>(parent).get_ChildCount(&count), S_OK);
  for (const auto& child : parent.Children()) {
    if (child->MemberValue(u"ObjectIdentifier").AsString() == identifier) return child;
  }
  return nullptr;
}

// The combo box on the engine's element node of a one-line select: GetLineRect with Activate opens
// the host's list window, the row click chooses the item as a user does, the window goes, so the
// wait for it ends at once; the page sees the choice and the log gets the event.
TEST(RealEngineWebControls, ComboClickItemChoosesInTheListWindow) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost host(options);
    const std::string page = std::string(PW_TEST_SOURCE_DIR) + "/examples/web/controls.html";
    auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + page);
    pw::web::test::ScopedModuleLibrary library;
    auto node = ElementNode(*tested->node, u"size");
    ASSERT_TRUE(node);
    ComPtr<IUnknown> nativeObject;
    ASSERT_EQ(node->GetNativeObject(GUID_NULL, nativeObject.Put()), S_OK);
    auto context = MakeObject<TElementContext>(QueryAs<IDispatch>(nativeObject.Get()));
    auto combo = MakeObject<TpwWebComboElement>(host.Manager(), context.Get(), true);
    ASSERT_EQ(combo->AttachNode(static_cast<IpwSysNodeEx*>(node.Get())), S_OK);
    const auto text = [&](const char* expression) {
      return tested->page->Evaluate(expression).object.value("value", std::string());
    };

    pw::test::SteppingClock clock;
    ScopedClock scoped(clock);
    const std::size_t inputs = host.Input().Actions().size();
    combo->ClickComboItem(OleVariant(u"^Lar").Get());
    EXPECT_LT(clock.Slept(), 100u) << "the list window went with the click: the wait ends at once";
    EXPECT_EQ(text("document.getElementById('size').value"), "Large");
    EXPECT_EQ(text("document.getElementById('out').textContent"), "size:Large");
    EXPECT_EQ(combo->GetText(), u"Large");
    ASSERT_GT(host.Input().Actions().size(), inputs);
    const auto click = host.Input().Actions().back();
    EXPECT_EQ(click.action, 0x2028001);
    EXPECT_NE(click.window, static_cast<std::int32_t>(tested->window)) << "the row of the list window is clicked";
    VARIANT_BOOL exists = VARIANT_TRUE;
    EXPECT_EQ(host.Windows().WindowExists(click.window, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE);
    auto entry = host.Log().Entries().back();
    EXPECT_EQ(entry.text, u"The combo box item 'Large' was selected.");
    EXPECT_EQ(entry.additionalText, node->FullNameText());

    // By index, back to the first; an item that is not there is an error and changes nothing.
    combo->ClickComboItem(OleVariant(0).Get());
    EXPECT_EQ(text("document.getElementById('out').textContent"), "size:Small");
    EXPECT_EQ(host.Log().Entries().back().text, u"The combo box item 0 was selected.");
    combo->ClickComboItem(OleVariant(u"Huge").Get());
    EXPECT_EQ(host.Log().Entries().back().kind, host::LogEntry::Error);
    EXPECT_EQ(text("document.getElementById('size').value"), "Small");
    EXPECT_LT(clock.Slept(), 100u);
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

// PostKeys on the engine's element nodes: the mouse rests on the parent's corner, then the keys are
// typed into the input.
TEST(RealEngineWebControls, PostKeysHoversTheParentThenTypes) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  pw::test::ScratchDir dir;
  std::ofstream(dir.Utf8File("edit.html")) << R"(<!DOCTYPE html><html><body style="margin:0">
    <div id="bar" style="position:absolute; left:40px; top:30px; width:400px; height:60px">
      <input id="address" style="margin:20px 0 0 100px; width:200px">
    </div>
    <div id="out"></div>
    <input id="loose">
    <script>
      const out = document.getElementById('out');
      document.getElementById('bar').addEventListener('mousemove', (e) => {
        out.textContent += 'hover ' + e.clientX + ',' + e.clientY + ';';
      });
      document.getElementById('address').addEventListener('keydown', (e) => {
        if (e.key === 'Enter') out.textContent += 'enter;';
      });
    </script></body></html>)";
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost host(options);
    pw::web::test::ScopedModuleLibrary library;  // the slice's type information
    auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + dir.Utf8File("edit.html"));
    auto bar = ElementNode(*tested->node, u"bar");
    ASSERT_TRUE(bar);
    auto input = ElementNode(*bar, u"address");
    ASSERT_TRUE(input);
    auto edit = MakeObject<TpwWebIE8EditControl>();
    ASSERT_EQ(edit->AttachNode(static_cast<IpwSysNodeEx*>(input.Get())), S_OK);
    BString keys(u"abc[Enter]");
    ASSERT_EQ(edit->PostKeys(keys.Get()), S_OK);
    const auto text = [&](const char* expression) {
      return tested->page->Evaluate(expression).object.value("value", std::string());
    };
    EXPECT_EQ(text("document.getElementById('address').value"), "abc");
    EXPECT_EQ(text("document.getElementById('out').textContent"), "hover 40,30;enter;");

    // A bad key string types nothing and is the call's failure.
    BString bad(u"x[NoSuchKey]");
    EXPECT_NE(edit->PostKeys(bad.Get()), S_OK);
    EXPECT_EQ(text("document.getElementById('address').value"), "abc");

    // An input directly below the body: its parent is the page node, whose HoverMouse rests the
    // mouse on the page's corner; then the keys are typed.
    auto loose = ElementNode(*tested->node, u"loose");
    ASSERT_TRUE(loose);
    auto looseEdit = MakeObject<TpwWebIE8EditControl>();
    ASSERT_EQ(looseEdit->AttachNode(static_cast<IpwSysNodeEx*>(loose.Get())), S_OK);
    tested->page->Evaluate(
        "document.addEventListener('mousemove', (e) => { document.getElementById('out').textContent += "
        "'page ' + e.clientX + ',' + e.clientY + ';'; })");
    EXPECT_EQ(looseEdit->PostKeys(keys.Get()), S_OK);
    EXPECT_EQ(text("document.getElementById('loose').value"), "abc");
    EXPECT_NE(text("document.getElementById('out').textContent").find("page 0,0;"), std::string::npos);
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

// The ARIA tab list as a script reaches it: the web element builder attaches the tab-list control
// to the host's element node (its control type names the tab list), and the node answers the
// control's members by name.
TEST(RealEngineWebControls, TheTabListIsClickedThroughTheBuilders) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost host(options);
    pw::web::test::ScopedModuleLibrary library;
    auto builder = MakeObject<TpwWebElementExtenderBuilder>(host.Manager());
    host.ObjectTree().AddBuilder(builder.Get());
    const std::string page = std::string(PW_TEST_SOURCE_DIR) + "/examples/web/controls.html";
    auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + page);
    auto tabs = ElementNode(*tested->node, u"tabs");
    ASSERT_TRUE(tabs);
    const auto slices = tabs->Slices();
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].iid, slice_iids::kTabList);
    auto out = ElementNode(*tested->node, u"out");  // a plain div: no control
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->Slices().empty());

    IDispatch* script = static_cast<IpwSysNodeEx*>(tabs.Get());
    const auto get = [&](const char16_t* name, std::vector<OleVariant> args = {}) {
      return DispInvoke(script, name, args, DISPATCH_PROPERTYGET);
    };
    EXPECT_EQ(get(u"TabCount").AsString(), u"2");
    EXPECT_EQ(get(u"FocusedTab").AsString(), u"0");
    EXPECT_EQ(get(u"TabCaption", {OleVariant(1)}).AsString(), u"Details");
    const std::vector<OleVariant> details{OleVariant(u"^Det")};
    DispInvoke(script, u"ClickTab", details, DISPATCH_METHOD);
    EXPECT_EQ(get(u"FocusedTab").AsString(), u"1");
    auto entry = host.Log().Entries().back();
    EXPECT_EQ(entry.text, u"The tab page 'Details' is activated.");
    EXPECT_EQ(entry.additionalText, tabs->FullNameText());
    EXPECT_EQ(tested->page->Evaluate("document.querySelectorAll('[role=tab]')[1].getAttribute('aria-selected')")
                  .object.value("value", std::string()),
              "true");
    host.ObjectTree().ClearBuilders();
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

// A page closes as a script closes it: the context-table builder attaches the page-close slice to
// the host's page node, the node's "Close" reaches the slice, and the page context the node gives
// holds the browser object, whose close member closes the page. No context is made by hand.
TEST(RealEngineWebControls, APageClosesThroughItsOwnNodeAndContext) {
  if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost host(options);
    host.Settings().DefineSetting(project::kDefaultWaitTimeoutSetting, host::kSettingInteger, u"Wait",
                                  OleVariant(1000));
    pw::web::test::ScopedModuleLibrary library;
    // The lookups' slices answer through the services' library, which this test does not load:
    // the builder leaves them out.
    struct KeptFactories {
      TpwWebSliceFactories saved = WebSliceFactories();
      ~KeptFactories() { WebSliceFactories() = saved; }
    } kept;
    WebSliceFactories().evaluateXPath = nullptr;
    WebSliceFactories().cssSelector = nullptr;
    auto builder = MakeObject<TpwOpenAppContextTableBuilder>(static_cast<IpwSysManager*>(&host.ObjectTree()),
                                                             MakeGuid("{6A0C2E51-3B7D-4F28-9E14-C85D0B7A2F63}"),
                                                             kContextTableKind);
    host.ObjectTree().AddBuilder(builder.Get());
    const std::string page = "file://" + std::string(PW_TEST_SOURCE_DIR) + "/examples/web/controls.html";
    auto first = host.Browsers().Launch(host::BrowserKind::Chrome, page);
    auto second = host.Browsers().Launch(host::BrowserKind::Chrome, page);  // not the last page
    bool attached = false;
    for (const auto& slice : first->node->Slices()) attached = attached || slice.iid == slice_iids::kPageActions;
    EXPECT_TRUE(attached);
    for (const auto& failure : host.ObjectTree().BuilderFailures()) ADD_FAILURE() << WideToUtf8(failure);

    const WideString fullName = first->node->FullNameText();
    const int id = first->id;
    DispInvoke(static_cast<IpwSysNodeEx*>(first->node.Get()), u"Close", std::vector<OleVariant>{}, DISPATCH_METHOD);
    EXPECT_FALSE(host.Browsers().Find(id));
    EXPECT_TRUE(host.Browsers().Find(second->id));
    const auto entry = host.Log().Entries().back();
    EXPECT_EQ(entry.kind, host::LogEntry::Event);
    EXPECT_TRUE(entry.text.ends_with(u" page was closed.")) << WideToUtf8(entry.text);
    EXPECT_EQ(entry.additionalText, fullName);
    host.ObjectTree().ClearBuilders();
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

}  // namespace
}  // namespace pw::web
