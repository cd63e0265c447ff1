// The page-picture slice (TpwWebPagePictureMethod) on a page node of the test host: a scripted
// page (late-bound document, root element and scrolling view) under a window whose pictures
// show the scrolled viewport; the argument check before anything happens, the pause, the tiles,
// the crop, and the fallback to the node's own Picture.
#include <gtest/gtest.h>

#include <vector>

#include "openapps/picture/picture.h"
#include "platform/com/comobject.h"
#include "platform/ui/gdi.h"
#include "tests/web/nav_fixture.h"
#include "web/controls/page_picture_method.h"

namespace pw::web {
namespace {

// A late-bound page: "contentDocument" > "documentElement" (sizes) and "defaultView" (scrollTo,
// recorded). Row y of the page has the colour y.
class TScriptedPage final : public Implements<ComObject, IDispatch> {
 public:
  enum Kind { Native, Document, Root, View };
  struct State {
    std::int32_t scrollWidth = 500, scrollHeight = 1000, clientWidth = 500, clientHeight = 400;
    std::vector<std::pair<std::int32_t, std::int32_t>> scrolls;
    bool answersDocument = true;
  };
  TScriptedPage(Kind kind, std::shared_ptr<State> state) : kind_(kind), state_(std::move(state)) {}

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    static const std::vector<std::pair<Kind, WideString>> kMembers = {
        {Native, u"contentDocument"}, {Document, u"documentElement"},
        {Document, u"defaultView"},   {Root, u"scrollWidth"},
        {Root, u"scrollHeight"},      {Root, u"clientWidth"},
        {Root, u"clientHeight"},      {View, u"scrollTo"}};
    for (std::size_t i = 0; i < kMembers.size(); ++i) {
      if (kMembers[i].first == kind_ && kMembers[i].second == names[0]) {
        if (kind_ == Native && !state_->answersDocument) break;
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (result) VariantInit(result);
    OleVariant value;
    switch (id) {
      case 1: value = Object(Document); break;
      case 2: value = Object(Root); break;
      case 3: value = Object(View); break;
      case 4: value = OleVariant(state_->scrollWidth); break;
      case 5: value = OleVariant(state_->scrollHeight); break;
      case 6: value = OleVariant(state_->clientWidth); break;
      case 7: value = OleVariant(state_->clientHeight); break;
      case 8:
        if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
        state_->scrolls.emplace_back(*static_cast<std::int32_t*>(params->rgvarg[1].byref),
                                     *static_cast<std::int32_t*>(params->rgvarg[0].byref));
        break;
      default: return DISP_E_MEMBERNOTFOUND;
    }
    if (result) *result = value.Detach();
    return S_OK;
  }

 private:
  OleVariant Object(Kind kind) {
    auto object = MakeObject<TScriptedPage>(kind, state_);
    return OleVariant(static_cast<IDispatch*>(object.Get()));
  }
  Kind kind_;
  std::shared_ptr<State> state_;
};

class PagePictureMethod : public test::NavTest {
 protected:
  static constexpr std::int32_t kWindow = 0x9200;
  PagePictureMethod() {
    auto process = AddProcess(4200);
    auto window = AddWindow(process, kWindow, false);
    page = AddPage(window, u"http://shop.test/", 4200, true);
    page->SetNativeObject(GUID_NULL,
                          static_cast<IDispatch*>(MakeObject<TScriptedPage>(TScriptedPage::Native, state).Get()));
    host.Windows().SetWindowRects(kWindow, {0, 0, 500, 400}, {0, 0, 500, 400});
    // The window shows the viewport: row y of the shot is row scrollY + y of the page.
    host.Windows().SetPictureSource([this](std::int32_t window, std::int32_t) -> std::int32_t {
      ++shots;
      if (window != kWindow || !giveShots) return 0;
      const std::int32_t top = state->scrolls.empty() ? 0 : state->scrolls.back().second;
      std::vector<std::uint32_t> pixels(500 * 400);
      for (std::int32_t y = 0; y < 400; ++y)
        std::fill_n(pixels.begin() + y * 500, 500, static_cast<std::uint32_t>(top + y));
      return CreateBitmapOfSize(500, 400, std::move(pixels));
    });
    slice = MakeObject<TpwWebPagePictureMethod>(Manager());
    Attach(page, slice, IpwWebPagePicture::iid);
  }
  // PagePicture by name on the node, as a script calls it.
  OleVariant Call(std::vector<OleVariant> args) { return CallNode(page, u"PagePicture", std::move(args)); }
  static std::shared_ptr<graphics::Bitmap> PixelsOf(const OleVariant& picture) {
    auto p = QueryAs<IpwPicture>(VarToDispatch(picture.Get()).Get());
    if (!p) return nullptr;
    std::int32_t handle = 0;
    OleCheck(p->get_Handle(&handle));
    return BitmapPixels(handle);
  }

  std::shared_ptr<TScriptedPage::State> state = std::make_shared<TScriptedPage::State>();
  ComPtr<host::TSysNode> page;
  ComPtr<TpwWebPagePictureMethod> slice;
  int shots = 0;
  bool giveShots = true;
};

TEST_F(PagePictureMethod, StitchesTheWholePageAfterThePause) {
  const auto slept = clock.Slept();
  const int updates = host.Windows().Updates();
  const OleVariant picture = Call({});
  EXPECT_GE(clock.Slept() - slept, kPagePicturePauseMs);
  EXPECT_EQ(host.Windows().Updates(), updates + 1);  // the windows manager's update before the shots
  EXPECT_EQ(host.Windows().Crops(), std::vector<WideString>{u"-1 -1 -1 -1"});  // the host's region operation
  EXPECT_EQ(state->scrolls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}, {0, 400}, {0, 600}}));
  EXPECT_EQ(shots, 3);
  auto pixels = PixelsOf(picture);
  ASSERT_TRUE(pixels);
  ASSERT_EQ(pixels->width(), 500);
  ASSERT_EQ(pixels->height(), 1000);
  EXPECT_EQ(pixels->format().bitCount, 32);
  for (std::int32_t y : {0, 399, 400, 799, 999}) EXPECT_EQ(pixels->GetPixel(250, y) & 0xFFFFFF, std::uint32_t(y));
}

TEST_F(PagePictureMethod, ARectangleStopsEarlyAndIsCropped) {
  const OleVariant picture = Call({OleVariant(0), OleVariant(0), OleVariant(300), OleVariant(200)});
  EXPECT_EQ(shots, 1);
  EXPECT_EQ(host.Windows().Crops(), std::vector<WideString>{u"0 0 300 200"});
  auto pixels = PixelsOf(picture);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->width(), 300);
  EXPECT_EQ(pixels->height(), 200);
  // A rectangle beyond the page: the region operation refuses it and the node's own picture is taken.
  auto own = MakeObject<TpwPicture>(Manager());
  page->SetMember(u"Picture",
                  [&](std::vector<OleVariant>&) { return OleVariant(static_cast<IDispatch*>(own->Dispatch())); });
  const OleVariant beyond = Call({OleVariant(600), OleVariant(0), OleVariant(10), OleVariant(10)});
  EXPECT_EQ(Identity(beyond), QueryAs<IUnknown>(own->Dispatch()).Get());
  EXPECT_EQ(host.Windows().Crops().back(), u"600 0 10 10");
}

TEST_F(PagePictureMethod, BadSizesFailBeforeAnythingHappens) {
  for (auto [w, h] : {std::pair{0, -1}, {-1, 0}, {-2, 10}}) {
    const auto slept = clock.Slept();
    try {
      Call({OleVariant(-1), OleVariant(-1), OleVariant(w), OleVariant(h)});
      ADD_FAILURE() << w << " x " << h << " accepted";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.ErrorCode(), E_INVALIDARG);
    }
    EXPECT_EQ(clock.Slept(), slept);  // no pause
  }
  EXPECT_TRUE(state->scrolls.empty());
  EXPECT_EQ(shots, 0);
}

TEST_F(PagePictureMethod, FallsBackToTheNodesOwnPicture) {
  std::vector<std::vector<std::int32_t>> asked;
  auto own = MakeObject<TpwPicture>(Manager());
  page->SetMember(u"Picture", [&](std::vector<OleVariant>& args) {
    std::vector<std::int32_t> values;
    for (auto& a : args) values.push_back(VariantDeref(a.Get()).lVal);
    asked.push_back(values);
    return OleVariant(static_cast<IDispatch*>(own->Dispatch()));
  });
  // No window picture, then a node that is no page of a known browser: both take the node's own.
  giveShots = false;
  OleVariant picture = Call({OleVariant(1), OleVariant(2), OleVariant(30), OleVariant(40)});
  EXPECT_EQ(Identity(picture), QueryAs<IUnknown>(own->Dispatch()).Get());
  state->answersDocument = false;
  giveShots = true;
  shots = 0;
  picture = Call({});
  EXPECT_EQ(Identity(picture), QueryAs<IUnknown>(own->Dispatch()).Get());
  EXPECT_EQ(shots, 0);
  // A page beyond the bitmap cap (500 x 600000 x 4 bytes) is not shot at all.
  state->answersDocument = true;
  state->scrollHeight = 600000;
  picture = Call({});
  EXPECT_EQ(Identity(picture), QueryAs<IUnknown>(own->Dispatch()).Get());
  EXPECT_EQ(shots, 0);
  EXPECT_EQ(asked, (std::vector<std::vector<std::int32_t>>{{1, 2, 30, 40}, {-1, -1, -1, -1}, {-1, -1, -1, -1}}));
}

}  // namespace
}  // namespace pw::web
