// The whole-page picture over stub metrics and a scripted window: the tiles and their order,
// the limits of a requested rectangle, the refusals, and the two metric routines over
// late-bound stand-ins of a page.
#include "web/controls/page_picture.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {
namespace {

// A late-bound object of named properties.
class TPropertyBag final : public Implements<ComObject, IDispatch> {
 public:
  std::map<WideString, OleVariant> values;
  TPropertyBag& Set(const char16_t* name, OleVariant value) {
    values[name] = std::move(value);
    return *this;
  }
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    auto it = values.find(names[0]);
    if (it == values.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = static_cast<DISPID>(std::distance(values.begin(), it) + 1);
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    auto it = values.begin();
    std::advance(it, id - 1);
    VariantInit(result);
    return VariantCopy(result, it->second.Ptr());
  }
};

OleVariant Obj(const ComPtr<TPropertyBag>& bag) { return OleVariant(static_cast<IDispatch*>(bag.Get())); }

TpwPageMetrics Metrics(std::int32_t clientW, std::int32_t clientH, std::int32_t scrollW, std::int32_t scrollH) {
  TpwPageMetrics m;
  m.ClientWidth = clientW;
  m.ClientHeight = clientH;
  m.ScrollWidth = scrollW;
  m.ScrollHeight = scrollH;
  return m;
}

TEST(PagePicture, TilesStepByTheClientSizeAndAlignTheLastToTheEdge) {
  struct Case {
    TpwPageMetrics metrics;
    std::int32_t x, y, w, h;
    std::vector<TpwPageTile> tiles;
  };
  const Case cases[] = {
      {Metrics(500, 400, 500, 1000), -1, -1, -1, -1, {{0, 0}, {0, 400}, {0, 600}}},
      {Metrics(800, 600, 300, 500), -1, -1, -1, -1, {{0, 0}}},  // narrower and lower than the view
      {Metrics(400, 300, 1000, 700),
       -1,
       -1,
       -1,
       -1,
       {{0, 0}, {0, 300}, {0, 400}, {400, 0}, {400, 300}, {400, 400}, {600, 0}, {600, 300}, {600, 400}}},
      {Metrics(400, 300, 1000, 700), 0, 0, 300, 200, {{0, 0}}},  // stops after the covering tiles
      {Metrics(400, 300, 1000, 700), 350, -1, 100, 10, {{0, 0}, {400, 0}}},
  };
  for (const auto& c : cases) {
    TpwPageMetrics m = c.metrics;
    EXPECT_EQ(PlanPageTiles(m, c.x, c.y, c.w, c.h), c.tiles);
  }
}

TEST(PagePicture, RefusesBadSizesAndZeroSteps) {
  for (auto [w, h] : {std::pair{0, -1}, {-1, 0}, {-2, 5}, {5, -7}}) {
    try {
      CheckPagePictureArguments(w, h);
      ADD_FAILURE() << w << " x " << h << " accepted";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.ErrorCode(), E_INVALIDARG);
    }
  }
  CheckPagePictureArguments(-1, -1);
  CheckPagePictureArguments(1, 300);
  TpwPageMetrics zero = Metrics(0, 400, 500, 1000);
  EXPECT_THROW(PlanPageTiles(zero, -1, -1, -1, -1), EOleSysError);  // would never advance
}

TEST(PagePicture, StitchesClientBlocksAndCrops) {
  // A page of 10 x 25 pixels whose pixel (x, y) has the colour y * 16 + x, seen through a 10 x 10
  // client area at (2, 3) of a 14 x 15 window picture.
  TpwPageMetrics m = Metrics(10, 10, 10, 25);
  m.Left = 2;
  m.Top = 1;
  m.OffsetY = 2;
  std::int32_t scrollX = -1, scrollY = -1;
  int shots = 0;
  auto scrollTo = [&](std::int32_t x, std::int32_t y) { scrollX = x, scrollY = y; };
  auto takeShot = [&] {
    ++shots;
    graphics::Bitmap shot(14, 15, graphics::PixelFormat::Rgb32());
    for (std::int32_t y = 0; y < 10; ++y)
      for (std::int32_t x = 0; x < 10; ++x)
        shot.SetPixel(2 + x, 3 + y, 0xFF000000u | static_cast<std::uint32_t>((scrollY + y) * 16 + scrollX + x));
    return shot;
  };
  auto page = StitchPagePicture(m, -1, -1, -1, -1, scrollTo, takeShot);
  ASSERT_EQ(page.width(), 10);
  ASSERT_EQ(page.height(), 25);
  EXPECT_EQ(shots, 3);
  for (std::int32_t y = 0; y < 25; ++y)
    for (std::int32_t x = 0; x < 10; ++x) ASSERT_EQ(page.GetPixel(x, y) & 0xFFFFFF, std::uint32_t(y * 16 + x));
  EXPECT_EQ(scrollY, 15);  // left where the last tile was taken

  shots = 0;
  auto part = StitchPagePicture(m, 3, 4, 5, 6, scrollTo, takeShot);
  EXPECT_EQ(shots, 1);  // the first row of tiles covers rows 4 to 9
  ASSERT_EQ(part.width(), 5);
  ASSERT_EQ(part.height(), 6);
  EXPECT_EQ(part.GetPixel(0, 0) & 0xFFFFFF, std::uint32_t(4 * 16 + 3));
  EXPECT_EQ(part.GetPixel(4, 5) & 0xFFFFFF, std::uint32_t(9 * 16 + 7));

  auto failed = StitchPagePicture(m, -1, -1, -1, -1, scrollTo, [] { return graphics::Bitmap(); });
  EXPECT_TRUE(failed.empty());
}

TEST(PagePicture, MetricRoutinesReadTheRootOrTheBody) {
  auto root = MakeObject<TPropertyBag>();
  root->Set(u"scrollWidth", OleVariant(1000)).Set(u"scrollHeight", OleVariant(3000));
  root->Set(u"clientWidth", OleVariant(800)).Set(u"clientHeight", OleVariant(600));
  auto body = MakeObject<TPropertyBag>();
  body->Set(u"scrollWidth", OleVariant(900)).Set(u"scrollHeight", OleVariant(2000));
  body->Set(u"clientWidth", OleVariant(700)).Set(u"clientHeight", OleVariant(500));
  auto view = MakeObject<TPropertyBag>();
  view->Set(u"scrollTo", OleVariant(0));
  auto document = MakeObject<TPropertyBag>();
  document->Set(u"documentElement", Obj(root)).Set(u"defaultView", Obj(view)).Set(u"body", Obj(body));
  document->Set(u"parentWindow", Obj(view));
  auto native = MakeObject<TPropertyBag>();
  native->Set(u"contentDocument", Obj(document));

  ComPtr<IDispatch> target;
  TpwPageMetrics m;
  // The engine's pages: no screen position members (0), so no offsets; the client rectangle's
  // corner is where the client area starts.
  ASSERT_TRUE(GetFirefoxPageMetrics(native.Get(), {0, 0, 800, 600}, {0, 0, 800, 600}, target, m));
  EXPECT_EQ(target.Get(), static_cast<IDispatch*>(view.Get()));
  EXPECT_EQ(m.ScrollHeight, 3000);
  EXPECT_EQ(m.ClientWidth, 800);
  EXPECT_EQ(m.OffsetX, 0);
  // A root client area larger than the window's: the body's sizes.
  ASSERT_TRUE(GetFirefoxPageMetrics(native.Get(), {0, 0, 790, 600}, {0, 0, 790, 600}, target, m));
  EXPECT_EQ(m.ClientWidth, 700);
  EXPECT_EQ(m.ScrollHeight, 2000);
  // scroll="no": the visible part only.
  body->Set(u"scroll", OleVariant(u"no"));
  ASSERT_TRUE(GetFirefoxPageMetrics(native.Get(), {0, 0, 800, 600}, {0, 0, 800, 600}, target, m));
  EXPECT_EQ(m.ScrollWidth, 800);
  EXPECT_EQ(m.ScrollHeight, 600);
  ASSERT_TRUE(GetIEPageMetrics(native.Get(), {0, 0, 800, 600}, target, m));
  EXPECT_EQ(m.ScrollHeight, 600);
  EXPECT_FALSE(GetIEPageMetrics(native.Get(), {0, 0, 799, 600}, target, m));  // window smaller than the client
  // A zero client size answers False in both.
  root->Set(u"clientWidth", OleVariant(0));
  body->Set(u"clientWidth", OleVariant(0));
  EXPECT_FALSE(GetFirefoxPageMetrics(native.Get(), {0, 0, 800, 600}, {0, 0, 800, 600}, target, m));
  EXPECT_FALSE(GetIEPageMetrics(native.Get(), {0, 0, 800, 600}, target, m));
  // Only a view with an "opera" object is taken by the third routine: offsets from its screen
  // position, the body's client size when the root's is larger than the client rectangle.
  root->Set(u"clientWidth", OleVariant(800));
  body->Set(u"clientWidth", OleVariant(700));
  EXPECT_FALSE(GetOperaPageMetrics(native.Get(), {0, 0, 800, 600}, {0, 0, 800, 600}, target, m));
  view->Set(u"opera", Obj(MakeObject<TPropertyBag>())).Set(u"screenTop", OleVariant(130));
  view->Set(u"screenLeft", OleVariant(14));
  root->Set(u"clientTop", OleVariant(2));
  ASSERT_TRUE(GetOperaPageMetrics(native.Get(), {10, 100, 900, 800}, {0, 0, 800, 600}, target, m));
  EXPECT_EQ(target.Get(), static_cast<IDispatch*>(view.Get()));
  EXPECT_EQ((std::vector<std::int32_t>{m.OffsetX, m.OffsetY, m.Top, m.ClientWidth, m.ScrollWidth}),
            (std::vector<std::int32_t>{4, 30, 2, 800, 800}));  // scroll="no" still clamps
  ASSERT_TRUE(GetOperaPageMetrics(native.Get(), {0, 0, 900, 800}, {0, 0, 750, 600}, target, m));
  EXPECT_EQ(m.ClientWidth, 700);
  EXPECT_FALSE(GetOperaPageMetrics(native.Get(), {0, 0, 900, 800}, {0, 0, 650, 600}, target, m));
  body->Set(u"clientWidth", OleVariant(0));
  EXPECT_FALSE(GetOperaPageMetrics(native.Get(), {0, 0, 900, 800}, {0, 0, 650, 600}, target, m));  // zero step
  root->Set(u"clientWidth", OleVariant(0));
  EXPECT_FALSE(GetOperaPageMetrics(native.Get(), {0, 0, 900, 800}, {0, 0, 800, 600}, target, m));
  // Not a page.
  auto other = MakeObject<TPropertyBag>();
  EXPECT_FALSE(GetFirefoxPageMetrics(other.Get(), {0, 0, 800, 600}, {0, 0, 800, 600}, target, m));
  EXPECT_FALSE(GetIEPageMetrics(other.Get(), {0, 0, 800, 600}, target, m));
}

}  // namespace
}  // namespace pw::web
