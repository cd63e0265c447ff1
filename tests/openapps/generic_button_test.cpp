// The generic button: checks before the click, the click point, the wait time-out around the
// click, and the entries written after it; the disconnected object when the control is gone.
#include "host/com_support.h"
#include "openapps/extensions/controls.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

namespace m = control_members;

class TButtonObject final : public Implements<ComObject, IDispatch, IpwWaitTimeoutValue> {
 public:
  bool enabled = true, visible = true, failClick = false;
  std::int32_t width = 40, height = 16, waitTimeout = 5000, waitDuringClick = -1;
  std::vector<std::vector<std::int32_t>> clicks;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    if (WideStringView(names[0]) != u"Click") return DISP_E_UNKNOWNNAME;
    ids[0] = 500;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    auto boolean = [&](bool v) {
      result->vt = VT_BOOL;
      result->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    };
    auto integer = [&](std::int32_t v) {
      result->vt = VT_I4;
      result->lVal = v;
      return S_OK;
    };
    switch (id) {
      case m::kEnabled:
        return boolean(enabled);
      case m::kVisible:
        return boolean(visible);
      case m::kWidth:
        return integer(width);
      case m::kHeight:
        return integer(height);
      case 500: {
        waitDuringClick = waitTimeout;
        if (failClick) return E_ACCESSDENIED;
        std::vector<std::int32_t> args;
        for (int i = static_cast<int>(params->cArgs) - 1; i >= 0; --i) {
          if (params->rgvarg[i].vt != (VT_BYREF | VT_I4)) return DISP_E_TYPEMISMATCH;
          args.push_back(*static_cast<std::int32_t*>(params->rgvarg[i].byref));
        }
        clicks.push_back(args);
        return S_OK;
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  HRESULT GetValue(std::int32_t* v) override {
    *v = waitTimeout;
    return S_OK;
  }
  HRESULT SetValue(std::int32_t v) override {
    waitTimeout = v;
    return S_OK;
  }
};

class TButtonContext final : public Implements<ComObject, IpwObjectContext2> {
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

class GenericButtonTest : public ExtensionTest {
 protected:
  ComPtr<TpwGenericButton> Make(bool radio, bool attach = true) {
    context->object = static_cast<IDispatch*>(object.Get());
    auto button = MakeObject<TpwGenericButton>(Manager(), context.Get(), radio);
    if (attach) OleCheck(button->AttachNode(static_cast<IpwSysNodeEx*>(node.Get())));
    return button;
  }
  std::vector<WideString> Texts() {
    std::vector<WideString> texts;
    for (const auto& e : host->Log().Entries()) texts.push_back(e.text);
    return texts;
  }
  ComPtr<host::TSysNode> node = host->Sys().AddChild(u"Process", {OleVariant(u"app")})->AddChild(u"Button");
  ComPtr<TButtonObject> object = MakeObject<TButtonObject>();
  ComPtr<TButtonContext> context = MakeObject<TButtonContext>();
};

TEST_F(GenericButtonTest, ButtonAndRadioClickPoints) {
  ASSERT_EQ(Make(false)->Click(), S_OK);
  ASSERT_EQ(Make(true)->Click(), S_OK);  // 40 x 16: the smaller half, both ways
  EXPECT_EQ(object->clicks, (std::vector<std::vector<std::int32_t>>{{-1, -1, 0}, {8, 8, 0}}));
  EXPECT_EQ(Texts(), (std::vector<WideString>{u"[Event] The button was clicked with the left mouse button.",
                                              u"[Event] The radio button was clicked with the left mouse button."}));
  EXPECT_NE(host->Log().Entries()[0].additionalText.find(u"Tested object:\r\nSys.Process(\"app\").Button"),
            WideString::npos);
  EXPECT_EQ(object->waitDuringClick, 0);
  EXPECT_EQ(object->waitTimeout, 5000);
}

TEST_F(GenericButtonTest, DisabledAndInvisible) {
  object->enabled = false;
  ASSERT_EQ(Make(false)->Click(), S_OK);
  EXPECT_TRUE(object->clicks.empty());
  ASSERT_EQ(host->Log().Entries().size(), 1u);
  EXPECT_EQ(host->Log().Entries()[0].kind, host::LogEntry::Error);
  EXPECT_EQ(host->Log().Entries()[0].text, kControlDisabledText);

  object->enabled = true;
  object->visible = false;
  ASSERT_EQ(Make(false)->Click(), S_OK);
  EXPECT_EQ(object->clicks.size(), 1u);
  ASSERT_EQ(host->Log().Entries().size(), 3u);
  EXPECT_EQ(host->Log().Entries()[1].kind, host::LogEntry::Warning);
  EXPECT_EQ(host->Log().Entries()[1].text, kControlInvisibleText);
}

TEST_F(GenericButtonTest, FailingClickRestoresTheTimeOutAndWritesNoAction) {
  object->failClick = true;
  object->visible = false;
  EXPECT_EQ(Make(false)->Click(), E_ACCESSDENIED);
  EXPECT_EQ(object->waitTimeout, 5000);
  EXPECT_EQ(Texts(), std::vector<WideString>{kControlInvisibleText});
}

TEST_F(GenericButtonTest, UnattachedOrGone) {
  // Not attached: the click happens, nothing is written.
  ASSERT_EQ(Make(false, false)->Click(), S_OK);
  EXPECT_EQ(object->clicks.size(), 1u);
  EXPECT_TRUE(host->Log().Entries().empty());
  // The control object is gone: the disconnected object fails the first call in order.
  context->object = nullptr;
  auto button = MakeObject<TpwGenericButton>(Manager(), context.Get(), false);
  EXPECT_EQ(button->Click(), DISP_E_EXCEPTION);  // the record carries RPC_E_DISCONNECTED
  // The window helper comes with the first attach.
  EXPECT_FALSE(button->ControlWindow());
  OleCheck(button->AttachNode(static_cast<IpwSysNodeEx*>(node.Get())));
  EXPECT_TRUE(button->ControlWindow());
}

}  // namespace
}  // namespace pw
