// The control window helper: the window handle (from the control object, from the node tree,
// never a stale one), the rectangle through the windows manager, and the point test.
#include "host/com_support.h"
#include "openapps/extensions/control_window.h"

#include "core/host/host_services.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

namespace m = control_members;

// A control object of the host, written by hand: its members by DISPID, counted.
class TFakeControl final : public Implements<ComObject, IDispatch> {
 public:
  bool visible = true, gives = false, hasCheckPoint = false, checkPointFails = false, checkPointAnswer = false;
  std::int32_t handle = 0, left = 10, top = 20, width = 30, height = 40;
  int windowCalls = 0, lookups = 0;
  HRESULT raiseOnLeft = S_OK;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    ++lookups;
    if (!hasCheckPoint || WideStringView(names[0]) != m::kCheckPointAccessible) return DISP_E_UNKNOWNNAME;
    ids[0] = 77;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    auto integer = [&](std::int32_t v) {
      result->vt = VT_I4;
      result->lVal = v;
      return S_OK;
    };
    auto boolean = [&](bool v) {
      result->vt = VT_BOOL;
      result->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    };
    switch (id) {
      case m::kVisible:
        return boolean(visible);
      case m::kWidth:
        return integer(width);
      case m::kHeight:
        return integer(height);
      case m::kLeft:
        return Failed(raiseOnLeft) ? raiseOnLeft : integer(left);
      case m::kTop:
        return integer(top);
      case m::kWindowHandle:
        ++windowCalls;
        *static_cast<std::int32_t*>(params->rgvarg[0].byref) = gives ? handle : 0;
        return boolean(gives);
      case 77:
        if (checkPointFails) return E_FAIL;
        lastPoint = {params->rgvarg[1].lVal, params->rgvarg[0].lVal};
        return boolean(checkPointAnswer);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  std::pair<std::int32_t, std::int32_t> lastPoint{};
  IDispatch* Dispatch() { return this; }
};

class TFakeLock final : public Implements<ComObject, IpwContextLock> {
 public:
  int locks = 0;
  HRESULT Lock() override {
    ++locks;
    return S_OK;
  }
};

class TFakeContext final : public Implements<ComObject, IpwObjectContext2> {
 public:
  bool valid = true;
  ComPtr<IDispatch> object;
  ComPtr<IpwObjectContext2> next;
  ComPtr<TFakeLock> lock = MakeObject<TFakeLock>();
  GUID key = MakeGuid("{ABABABAB-0000-0000-0000-000000000001}");
  HRESULT failObject = S_OK;
  HRESULT IsValid(VARIANT_BOOL* v) override {
    *v = valid ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Renew(IUnknown** l, GUID* k, IpwObjectContext2** c, VARIANT_BOOL* ok) override {
    *l = lock->Identity();
    (*l)->AddRef();
    *k = key;
    *c = next.Get();
    if (*c) (*c)->AddRef();
    *ok = next ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  PW_OBJECT_CONTEXT2_DEFAULTS
  HRESULT GetObject(IDispatch** o) override {
    if (Failed(failObject)) return failObject;
    *o = object.Get();
    if (*o) (*o)->AddRef();
    return S_OK;
  }
};

class ControlWindowTest : public ExtensionTest {
 protected:
  void SetUp() override {
    ClearProcessDescriptions();
    DescribeProcess({4102, u"app.exe", {}, {{0x100, u"Main"}, {0x200, u"Child"}}});
    windowNode = host->Sys().AddChild(u"Process")->AddChild(u"Window");
    windowNode->SetWindowHandle(0x100);
    controlNode = windowNode->AddChild(u"Button");
    control = MakeObject<TFakeControl>();
    context = MakeObject<TFakeContext>();
    context->object = control->Dispatch();
    ComPtr<IUnknown> ref;
    OleCheck(controlNode->Resolve(ref.Put()));
    helper = MakeObject<TpwOpenControlWindow>(Manager(), QueryAs<IpwNodeReference>(ref.Get()).Get(), context.Get());
  }
  void TearDown() override { ClearProcessDescriptions(); }
  ComPtr<host::TSysNode> windowNode, controlNode;
  ComPtr<TFakeControl> control;
  ComPtr<TFakeContext> context;
  ComPtr<TpwOpenControlWindow> helper;
};

TEST_F(ControlWindowTest, WindowFromTheObjectOrTheNodeTree) {
  // The object gives no window: the window node's handle, cached while that window exists.
  EXPECT_EQ(helper->GetWindowHandle(), 0x100);
  EXPECT_EQ(helper->GetWindowHandle(), 0x100);
  EXPECT_EQ(control->windowCalls, 1);
  // The cached window is destroyed: the stale handle is never answered.
  DestroyWindow(0x100);
  control->gives = true;
  control->handle = 0x200;
  EXPECT_EQ(helper->GetWindowHandle(), 0x200);
  DestroyWindow(0x200);
  control->gives = false;
  EXPECT_EQ(helper->GetWindowHandle(), 0);  // no window left anywhere
  // A failing context answers 0.
  context->failObject = E_UNEXPECTED;
  EXPECT_EQ(helper->GetWindowHandle(), 0);
}

TEST_F(ControlWindowTest, PivotWindowWhenNoAncestorIsAWindow) {
  windowNode->SetWindowHandle(0);
  windowNode->SetPivotWindow(0x200);
  EXPECT_EQ(helper->GetWindowHandle(), 0x200);
  EXPECT_EQ(helper->FindPivotWindow(), 0x200);
}

TEST_F(ControlWindowTest, RectangleInTheWindowsCoordinates) {
  host->Processes();  // the windows manager converts from the window's client origin
  auto windows = GetHostService<IcvWindowsManager>(Manager(), kWindowsManagerService);
  static_cast<host::TWindowsManager*>(windows.Get())->SetClientOrigin(0x100, 1000, 2000);
  std::int32_t l = 0, t = 0, r = 0, b = 0;
  ASSERT_EQ(helper->GetControlRect(&l, &t, &r, &b), VARIANT_TRUE);
  EXPECT_EQ(std::vector<std::int32_t>({l, t, r, b}), std::vector<std::int32_t>({1010, 2020, 1040, 2060}));
  control->raiseOnLeft = E_FAIL;  // a failing read answers False
  EXPECT_EQ(helper->GetControlRect(&l, &t, &r, &b), VARIANT_FALSE);
  DestroyWindow(0x100);  // no window: False
  control->raiseOnLeft = S_OK;
  EXPECT_EQ(helper->GetControlRect(&l, &t, &r, &b), VARIANT_FALSE);
}

TEST_F(ControlWindowTest, PointTestByMemberOrVisibility) {
  // Without the member: the visibility, and the name is looked up once.
  EXPECT_EQ(helper->IsPointAccessible(1, 2), VARIANT_TRUE);
  control->visible = false;
  EXPECT_EQ(helper->IsPointAccessible(1, 2), VARIANT_FALSE);
  EXPECT_EQ(control->lookups, 1);

  auto other = MakeObject<TFakeControl>();
  other->hasCheckPoint = true;
  context->object = other->Dispatch();
  ComPtr<IUnknown> ref;
  OleCheck(controlNode->Resolve(ref.Put()));
  auto withMember =
      MakeObject<TpwOpenControlWindow>(Manager(), QueryAs<IpwNodeReference>(ref.Get()).Get(), context.Get());
  EXPECT_EQ(withMember->IsPointAccessible(5, 6), VARIANT_FALSE);
  EXPECT_EQ(other->lastPoint, (std::pair<std::int32_t, std::int32_t>{5, 6}));
  other->checkPointAnswer = true;
  EXPECT_EQ(withMember->IsPointAccessible(5, 6), VARIANT_TRUE);
  other->checkPointAnswer = false;
  other->checkPointFails = true;  // a failing test counts as reachable
  EXPECT_EQ(withMember->IsPointAccessible(5, 6), VARIANT_TRUE);
  EXPECT_EQ(other->lookups, 1);
  // A raising context answers False.
  context->failObject = E_UNEXPECTED;
  EXPECT_EQ(withMember->IsPointAccessible(5, 6), VARIANT_FALSE);
}

TEST_F(ControlWindowTest, ContextRenewedWhenItNoLongerHolds) {
  auto renewed = MakeObject<TFakeContext>();
  auto fresh = MakeObject<TFakeControl>();
  renewed->object = fresh->Dispatch();
  context->valid = false;
  context->next = renewed;
  EXPECT_EQ(helper->GetControlObject().Get(), static_cast<IDispatch*>(fresh.Get()));
  EXPECT_EQ(context->lock->locks, 1);
  EXPECT_EQ(controlNode->ContextKeys(), std::vector<GUID>{context->key});
  // From now on the renewed context answers, without another renewal.
  EXPECT_EQ(helper->GetControlObject().Get(), static_cast<IDispatch*>(fresh.Get()));
  EXPECT_EQ(context->lock->locks, 1);
}

}  // namespace
}  // namespace pw
