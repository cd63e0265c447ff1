#include "graphics/blit.h"
#include "openapps/picture/bitmap_utils.h"
#include "openapps/picture/picture_errors.h"
#include "picture_fixture.h"
#include "platform/kernel/clock.h"

namespace pw::test {
namespace {

const OleVariant kNothing;

bool CompareOf(TpwPicture* a, const OleVariant& b, std::int32_t pixelTolerance = 0, std::int32_t colorTolerance = 0,
               bool transparent = false, const OleVariant& mask = OleVariant()) {
  VARIANT_BOOL equal = VARIANT_FALSE;
  EXPECT_EQ(a->Compare(*b.Ptr(), transparent ? VARIANT_TRUE : VARIANT_FALSE, pixelTolerance, VARIANT_FALSE,
                       colorTolerance, *mask.Ptr(), &equal),
            S_OK);
  return equal != VARIANT_FALSE;
}

graphics::Bitmap In(const graphics::Bitmap& b, const graphics::PixelFormat& f) { return b.Converted(f); }

TEST_F(PictureTest, CompareAcrossFormatPairs) {
  // A picture whose colours every format below holds: black, white, red, blue.
  graphics::Bitmap base(6, 4, graphics::PixelFormat::Rgb24());
  const std::uint32_t colours[] = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF0000FF};
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 6; ++x) base.SetPixel(x, y, colours[(x + y) % 4]);
  graphics::Bitmap mono(6, 4, graphics::PixelFormat::Rgb24());
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 6; ++x) mono.SetPixel(x, y, colours[(x * y) % 2]);
  struct Case {
    const char* name;
    graphics::Bitmap a, b;
  };
  const auto p8a = graphics::PixelFormat::Indexed(8, {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF});
  const auto p8b = graphics::PixelFormat::Indexed(8, {0x0000FF, 0xFF0000, 0xFFFFFF, 0x000000, 0x123456});
  const Case cases[] = {
      {"24/24", base, base},
      {"24/32", base, In(base, graphics::PixelFormat::Rgb32())},
      {"32/24", In(base, graphics::PixelFormat::Rgb32()), base},
      {"32/alpha", In(base, graphics::PixelFormat::Rgb32()), In(base, graphics::PixelFormat::Argb32())},
      {"equal palettes", In(base, p8a), In(base, p8a)},
      {"unequal palettes", In(base, p8a), In(base, p8b)},
      {"565/555", In(base, graphics::PixelFormat::Rgb565()), In(base, graphics::PixelFormat::Rgb555())},
      {"565/24", In(base, graphics::PixelFormat::Rgb565()), base},
      {"1 bit/24", In(mono, graphics::PixelFormat::Indexed(1, {0, 0xFFFFFF})), mono},
      {"8/4 bit", In(base, p8a), In(base, graphics::PixelFormat::Indexed(4, graphics::SixteenColourPalette()))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto a = Picture(c.a);
    auto b = Picture(c.b);
    EXPECT_TRUE(CompareOf(a.Get(), Of(b.Get())));
    // One pixel changed: different, unless the pixel tolerance allows one.
    graphics::Bitmap changed = c.b;
    changed.SetPixel(2, 1, changed.GetPixel(2, 1) == 0xFF000000 ? 0xFFFFFFFF : 0xFF000000);
    auto d = Picture(std::move(changed));
    EXPECT_FALSE(CompareOf(a.Get(), Of(d.Get())));
    EXPECT_TRUE(CompareOf(a.Get(), Of(d.Get()), 1));
  }
}

TEST_F(PictureTest, TheFourthByteOfPixelsWithoutAlphaDoesNotCount) {
  // A 32-bit picture read from a file may carry anything in the byte that is not alpha.
  graphics::Bitmap noisy = Pattern(5, 3, graphics::PixelFormat::Rgb32());
  for (std::size_t i = 3; i < noisy.Bytes().size(); i += 4) noisy.Bytes()[i] = static_cast<std::uint8_t>(i);
  auto a = Picture(Pattern(5, 3));
  auto b = Picture(noisy);
  auto c = Picture(Pattern(5, 3, graphics::PixelFormat::Rgb32()));
  EXPECT_TRUE(CompareOf(a.Get(), Of(b.Get())));
  EXPECT_TRUE(CompareOf(c.Get(), Of(b.Get())));
  auto hay = Picture(Pattern(20, 10));
  ComPtr<IDispatch> found;
  ASSERT_EQ(hay->Find(*Of(b.Get()).Ptr(), 0, 0, VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), found.Put()),
            S_OK);
  EXPECT_TRUE(found);
}

TEST_F(PictureTest, CompareDifferenceAndTheirArguments) {
  auto a = Picture(Pattern(8, 8));
  graphics::Bitmap other = Pattern(8, 8, graphics::PixelFormat::Rgb32());
  other.SetPixel(3, 4, other.GetPixel(3, 4) ^ 0x00000030);  // blue off by 48
  auto b = Picture(std::move(other));
  EXPECT_FALSE(CompareOf(a.Get(), Of(b.Get())));
  EXPECT_TRUE(CompareOf(a.Get(), Of(b.Get()), 0, 48));
  EXPECT_FALSE(CompareOf(a.Get(), Of(b.Get()), 0, 47));
  // Missing and empty pictures: Compare answers, Difference raises.
  EXPECT_FALSE(CompareOf(a.Get(), kNothing));
  auto empty = Empty();
  EXPECT_FALSE(CompareOf(a.Get(), Of(empty.Get())));
  EXPECT_TRUE(CompareOf(empty.Get(), Of(Empty().Get())));
  ComPtr<IpwPicture> diff;
  EXPECT_TRUE(Failed(a->Difference(*kNothing.Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), diff.Put())));
  EXPECT_EQ(Error(), u"The Null value cannot be passed instead of the Picture object.");
  EXPECT_TRUE(
      Failed(a->Difference(*Of(empty.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), diff.Put())));
  EXPECT_EQ(Error(), u"The Picture object does not contain any images.");
  VARIANT_BOOL equal;
  for (std::int32_t t : {-1, 256}) {
    EXPECT_TRUE(Failed(a->Compare(*Of(b.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, t, *kNothing.Ptr(), &equal)));
    EXPECT_EQ(Error(), u"The ColorTolerance parameter is incorrect.");
  }
  // Difference: nil for equal pictures, a picture of the differences otherwise.
  ASSERT_EQ(a->Difference(*Of(a.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), diff.Put()), S_OK);
  EXPECT_FALSE(diff);
  ASSERT_EQ(a->Difference(*Of(b.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), diff.Put()), S_OK);
  ASSERT_TRUE(diff);
  auto* d = static_cast<TpwPicture*>(diff.Get());
  EXPECT_EQ(Pixels(d).GetPixel(3, 4), 0xFFFF0000u);
  EXPECT_NE(Pixels(d).GetPixel(0, 0), 0xFFFF0000u);
  // DifferenceEx: a picture also when equal; the count and the largest channel difference.
  std::int32_t count = -1, deviation = -1;
  ComPtr<IpwPicture> ex;
  ASSERT_EQ(a->DifferenceEx(*Of(a.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), VARIANT_FALSE,
                            &count, &deviation, ex.Put()),
            S_OK);
  EXPECT_TRUE(ex);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(a->DifferenceEx(*Of(b.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), VARIANT_TRUE,
                            &count, &deviation, ex.Put()),
            S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(deviation, 48);
  EXPECT_EQ(Pixels(static_cast<TpwPicture*>(ex.Get())).GetPixel(0, 0), 0xFF000000u);  // only the differences
  // Different sizes: Compare answers False, Difference shows the union.
  auto wide = Picture(Pattern(10, 8));
  EXPECT_FALSE(CompareOf(a.Get(), Of(wide.Get()), 1000, 255));
  ASSERT_EQ(a->DifferenceEx(*Of(wide.Get()).Ptr(), VARIANT_FALSE, 0, VARIANT_FALSE, 0, *kNothing.Ptr(), VARIANT_FALSE,
                            &count, &deviation, ex.Put()),
            S_OK);
  EXPECT_EQ(SizeOf(ex.Get()), std::make_pair(10, 8));
  EXPECT_EQ(count, 16);
  // A mask and transparency as Find has them.
  graphics::Bitmap maskBits = Filled(8, 8, 0xFFFFFFFF);
  maskBits.SetPixel(3, 4, 0xFF000000);
  auto mask = Picture(std::move(maskBits));
  EXPECT_TRUE(CompareOf(a.Get(), Of(b.Get()), 0, 0, false, Of(mask.Get())));
  auto black = Picture(Filled(8, 8, 0xFF000000));
  EXPECT_TRUE(CompareOf(a.Get(), Of(black.Get()), 0, 0, true));
}

struct FindArgs {
  std::int32_t left = 0, top = 0;
  bool transparent = false;
  std::int32_t pixelTolerance = 0, colorTolerance = 0;
  OleVariant mask;
};

ComPtr<IDispatch> FindIn(TpwPicture* p, const OleVariant& sought, const FindArgs& args = {}, HRESULT* hr = nullptr) {
  ComPtr<IDispatch> rect;
  const HRESULT r = p->Find(*sought.Ptr(), args.left, args.top, args.transparent ? VARIANT_TRUE : VARIANT_FALSE,
                            args.pixelTolerance, VARIANT_FALSE, args.colorTolerance, *args.mask.Ptr(), rect.Put());
  if (hr)
    *hr = r;
  else
    EXPECT_EQ(r, S_OK);
  return rect;
}

std::array<std::int32_t, 4> RectOf(IDispatch* d) {
  auto rect = QueryAs<IpwRect>(d);
  std::array<std::int32_t, 4> r{};
  rect->get_Left(&r[0]);
  rect->get_Top(&r[1]);
  rect->get_Width(&r[2]);
  rect->get_Height(&r[3]);
  return r;
}

TEST_F(PictureTest, FindGivesThePlaceOrTheReason) {
  auto hay = Picture(Pattern(40, 30));
  ComPtr<IpwPicture> needle;
  ASSERT_EQ(hay->GetRect(25, 12, 6, 5, needle.Put()), S_OK);
  auto found = FindIn(hay.Get(), Of(needle.Get()));
  ASSERT_TRUE(found);
  EXPECT_EQ(RectOf(found.Get()), (std::array<std::int32_t, 4>{25, 12, 6, 5}));
  // The whole picture at (0, 0).
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(hay.Get())).Get()), (std::array<std::int32_t, 4>{0, 0, 40, 30}));
  // The reasons, with their GUIDs, on a call that succeeds.
  struct Case {
    const char* name;
    OleVariant sought;
    FindArgs args;
    std::size_t reason;
  };
  auto empty = Empty();
  auto missing = Picture(Filled(6, 5, 0xFF010203));
  FindArgs left;
  left.left = -1;
  FindArgs beyond;
  beyond.left = 40 - 6 + 1;
  const Case cases[] = {
      {"left -1", Of(needle.Get()), left, 5},
      {"null", OleVariant(), {}, 0},
      {"empty sought", Of(empty.Get()), {}, 2},
      {"larger", Of(Picture(Pattern(41, 2)).Get()), {}, 3},
      {"past the last column", Of(needle.Get()), beyond, 3},
      {"missing", Of(missing.Get()), {}, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetErrorInfo(0, nullptr);
    EXPECT_FALSE(FindIn(hay.Get(), c.sought, c.args));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    GUID guid;
    info->GetGUID(&guid);
    EXPECT_EQ(guid, PictureFindErrors[c.reason].guid);
    BString text;
    info->GetDescription(text.Put());
    EXPECT_EQ(text.Str(), PictureFindErrors[c.reason].message);
  }
  EXPECT_FALSE(FindIn(empty.Get(), Of(needle.Get())));
  EXPECT_EQ(Error(), PictureFindErrors[1].message);
  // At the last column only that column is searched.
  FindArgs last;
  last.left = 25;
  EXPECT_TRUE(FindIn(hay.Get(), Of(needle.Get()), last));
  last.left = 26;
  EXPECT_FALSE(FindIn(hay.Get(), Of(needle.Get()), last));
  // A colour tolerance outside 0..255 is an error.
  HRESULT hr = S_OK;
  FindArgs bad;
  bad.colorTolerance = 256;
  FindIn(hay.Get(), Of(needle.Get()), bad, &hr);
  EXPECT_TRUE(Failed(hr));
  EXPECT_EQ(Error(), u"The ColorTolerance parameter is incorrect.");
}

TEST_F(PictureTest, FindToleratesAsAsked) {
  // Neighbours differ by more than the colour tolerance used below.
  graphics::Bitmap steps(20, 15, graphics::PixelFormat::Rgb24());
  for (std::int32_t y = 0; y < 15; ++y)
    for (std::int32_t x = 0; x < 20; ++x)
      steps.SetPixel(x, y,
                     graphics::Argb(255, static_cast<std::uint32_t>(x * 12), static_cast<std::uint32_t>(y * 15), 99));
  auto hay = Picture(std::move(steps));
  graphics::Bitmap changed(5, 5, graphics::PixelFormat::Rgb32());
  graphics::CopyPixels(Pixels(hay.Get()), 10, 7, 5, 5, changed, 0, 0);
  changed.SetPixel(2, 2, changed.GetPixel(2, 2) ^ 0x000A0000);  // red off by 10
  changed.SetPixel(4, 0, changed.GetPixel(4, 0) ^ 0x00000003);  // blue off by 3
  auto needle = Picture(std::move(changed));
  EXPECT_FALSE(FindIn(hay.Get(), Of(needle.Get())));
  FindArgs two;
  two.pixelTolerance = 2;
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(needle.Get()), two).Get())[0], 10);
  FindArgs colour;
  colour.colorTolerance = 10;
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(needle.Get()), colour).Get())[1], 7);
  // Every pixel tolerated: the first position.
  FindArgs all;
  all.pixelTolerance = 25;
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(needle.Get()), all).Get()), (std::array<std::int32_t, 4>{0, 0, 5, 5}));
  // A mask that leaves the changed pixels out.
  graphics::Bitmap maskBits = Filled(5, 5, 0xFFFFFFFF);
  maskBits.SetPixel(2, 2, 0xFF000000);
  maskBits.SetPixel(4, 0, 0xFF000000);
  auto mask = Picture(std::move(maskBits));
  FindArgs masked;
  masked.mask = Of(mask.Get());
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(needle.Get()), masked).Get())[0], 10);
  // Alpha 0 everywhere: the first position.
  auto invisible = Picture(Filled(4, 4, 0x00FFFFFF, graphics::PixelFormat::Argb32()));
  EXPECT_EQ(RectOf(FindIn(hay.Get(), Of(invisible.Get())).Get())[0], 0);
}

// A stop-request service on which each position takes a tenth of a second and that asks to stop
// at its 250th question.
class TStopAfter final : public Implements<ComObject, IpwStopRequestService> {
 public:
  explicit TStopAfter(ManualClock& clock) : clock_(clock) {}
  HRESULT Reserved3() override { return E_NOTIMPL; }
  VARIANT_BOOL IsStopping() override {
    clock_.Advance(100);
    return ++asked == 250 ? VARIANT_TRUE : VARIANT_FALSE;
  }
  int asked = 0;

 private:
  ManualClock& clock_;
};

TEST_F(PictureTest, FindStopsOnRequestAndShowsProgressAfterASecond) {
  ManualClock clock;
  ScopedClock useClock(clock);
  auto stop = MakeObject<TStopAfter>(clock);
  host_->SetService(IpwStopRequestService::iid, stop->Identity());
  auto hay = Picture(Pattern(60, 10));
  auto missing = Picture(Filled(3, 3, 0xFF010203));
  FindArgs from;
  from.left = 2;
  EXPECT_FALSE(FindIn(hay.Get(), Of(missing.Get()), from));
  EXPECT_EQ(Error(), PictureFindErrors[6].message);
  EXPECT_EQ(stop->asked, 250);
  // 8 positions a column: 0.8 s a column, so the first report comes at the third column (x = 4),
  // then every second column or so; the bar goes when the search ends.
  const std::vector<WideString> events = host_->Indicator().Events();
  ASSERT_GE(events.size(), 6u);
  EXPECT_EQ(events[0], u"begin");
  EXPECT_EQ(events[1].substr(0, 6), u"start ");
  EXPECT_NE(events[1].find(u"Picture.Find 2 57"), WideString::npos) << WideToUtf8(events[1]);
  EXPECT_EQ(events[2], u"end");
  EXPECT_EQ(events[3].substr(0, 7), u"update ");
  EXPECT_EQ(events[3].substr(events[3].size() - 2), u" 4");
  EXPECT_EQ(events[events.size() - 3], u"begin");
  EXPECT_EQ(events[events.size() - 2].substr(0, 5), u"stop ");
  EXPECT_EQ(events.back(), u"end");
  EXPECT_TRUE(host_->Indicator().Bars().empty());
  // Without a stop request the search runs to its end.
  host_->SetService(IpwStopRequestService::iid, nullptr);
  EXPECT_FALSE(FindIn(hay.Get(), Of(missing.Get())));
  EXPECT_EQ(Error(), PictureFindErrors[4].message);
}

}  // namespace
}  // namespace pw::test
