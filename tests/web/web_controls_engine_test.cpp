// The select controls attached by hand to real <select> elements of the engine: the item reads
// and the lookup by pattern go through the host's list members. Run by the CTest test
// "web_engine" only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/com/comobject.h"
#include "platform/rtl/strings.h"
#include "web/controls/select_elements.h"

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
    tested->page->Evaluate("document.getElementById('fruit').options[1].selected = true;"
                           "document.getElementById('fruit').options[3].selected = true");
    EXPECT_EQ(box->GetSelectedItems(), u"Banana;Damson");
    EXPECT_TRUE(box->GetSelected(OleVariant(u"Dam").Get()));
    EXPECT_FALSE(box->GetSelected(OleVariant(0).Get()));
    EXPECT_EQ(combo->GetText(), u"Medium");
    EXPECT_EQ(combo->GetItem(2), u"Large");

    tested->page->Evaluate("document.getElementById('fruit').disabled = true");
    EXPECT_FALSE(box->CheckEnabled());
    const auto entries = host.Log().Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, kWebControlDisabledText);
  }
  StopHelperModules();
  SetHostExeFolderOverride(u"");
}

}  // namespace
}  // namespace pw::web
