#include "openapps/picture/picture_errors.h"
#include "picture_fixture.h"

namespace pw::test {
namespace {

const OleVariant kNothing;

TEST_F(PictureTest, AnEmptyPictureRaisesWhereItNeedsPixels) {
  auto p = Empty();
  std::int32_t handle = -1, colour = 0;
  EXPECT_EQ(p->get_Handle(&handle), S_OK);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(0, 0));
  const std::u16string empty = u"The Picture object does not contain any images.";
  EXPECT_TRUE(Failed(p->get_Pixels(0, 0, &colour)));
  EXPECT_EQ(Error(), empty);
  ComPtr<IpwPicture> part;
  EXPECT_TRUE(Failed(p->GetRect(0, 0, 1, 1, part.Put())));
  EXPECT_EQ(Error(), empty);
  EXPECT_TRUE(Failed(p->Stretch(2, 2, VARIANT_FALSE)));
  EXPECT_EQ(Error(), empty);
  auto size = MakeObject<TpwPictureSize>(nullptr, 3, 3);
  EXPECT_TRUE(Failed(p->put_Size(size.Get())));
  EXPECT_EQ(Error(), empty);
  VARIANT_BOOL saved = VARIANT_TRUE;
  EXPECT_EQ(p->SaveToFile(BString(u"x.bmp").Get(), *kNothing.Ptr(), &saved), S_OK);
  EXPECT_EQ(saved, VARIANT_FALSE);
  EmptyClipboard();
  EXPECT_EQ(p->CopyToClipboard(), S_OK);
  EXPECT_EQ(GetClipboardBitmap(), 0);
  VARIANT_BOOL blackWhite = VARIANT_TRUE;
  EXPECT_EQ(p->IsBlackWhite(&blackWhite), S_OK);
  EXPECT_EQ(blackWhite, VARIANT_FALSE);
}

TEST_F(PictureTest, GetRectClipsToThePicture) {
  auto p = Picture(Pattern(100, 100));
  struct Case {
    std::int32_t x, y, w, h;
    std::int32_t width, height;  // -1: "Invalid arguments."
    std::int32_t fromX, fromY;
  };
  const Case cases[] = {
      {-5, -5, 10, 10, 5, 5, 0, 0}, {10, 10, -1, -1, 90, 90, 10, 10}, {95, 0, 10, 3, 5, 3, 95, 0},
      {100, 0, 1, 1, -1, -1, 0, 0}, {0, 0, 0, 5, -1, -1, 0, 0},       {-10, 0, 10, 5, -1, -1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.w) + "," +
                 std::to_string(c.h));
    ComPtr<IpwPicture> part;
    const HRESULT hr = p->GetRect(c.x, c.y, c.w, c.h, part.Put());
    if (c.width < 0) {
      EXPECT_TRUE(Failed(hr));
      EXPECT_EQ(Error(), u"Invalid arguments.");
      continue;
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(SizeOf(part.Get()), std::make_pair(c.width, c.height));
    auto* made = static_cast<TpwPicture*>(part.Get());
    EXPECT_EQ(Pixels(made).GetPixel(0, 0), Pixels(p.Get()).GetPixel(c.fromX, c.fromY));
    EXPECT_EQ(Pixels(made).GetPixel(c.width - 1, c.height - 1),
              Pixels(p.Get()).GetPixel(c.fromX + c.width - 1, c.fromY + c.height - 1));
  }
}

TEST_F(PictureTest, SizeKeepsTheTopLeftPart) {
  auto p = Picture(Pattern(100, 100));
  const std::uint32_t corner = Pixels(p.Get()).GetPixel(49, 49);
  std::int32_t before = 0, after = 0;
  p->get_Handle(&before);
  auto same = MakeObject<TpwPictureSize>(nullptr, 100, 100);
  EXPECT_EQ(p->put_Size(same.Get()), S_OK);
  p->get_Handle(&after);
  EXPECT_EQ(before, after);  // the same size changes nothing
  auto half = MakeObject<TpwPictureSize>(nullptr, 50, 50);
  EXPECT_EQ(p->put_Size(half.Get()), S_OK);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(50, 50));
  EXPECT_EQ(Pixels(p.Get()).GetPixel(49, 49), corner);
  // The picture's own size object resizes it; a zero size is refused.
  ComPtr<IpwSize> size;
  p->get_Size(size.Put());
  EXPECT_EQ(size->put_Width(20), S_OK);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(20, 50));
  EXPECT_TRUE(Failed(size->put_Height(0)));
  EXPECT_EQ(Error(), u"Invalid value.");
  EXPECT_TRUE(Failed(p->put_Size(nullptr)));
  EXPECT_EQ(Error(), u"Invalid value.");
  // Growing past the pixel cap fails and keeps the picture.
  auto huge = MakeObject<TpwPictureSize>(nullptr, 100000, 100000);
  EXPECT_TRUE(Failed(p->put_Size(huge.Get())));
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(20, 50));
}

TEST_F(PictureTest, StretchRepeatsOrPicksPixelsAndAverages) {
  auto p = Picture(Pattern(100, 100));
  const graphics::Bitmap original = Pixels(p.Get());
  EXPECT_EQ(p->Stretch(50, 100, VARIANT_FALSE), S_OK);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(50, 100));
  for (std::int32_t i = 0; i < 50; ++i) EXPECT_EQ(Pixels(p.Get()).GetPixel(i, 7), original.GetPixel(2 * i + 1, 7));
  std::int32_t handle = 0, again = 0;
  p->get_Handle(&handle);
  EXPECT_EQ(p->Stretch(50, 100, VARIANT_FALSE), S_OK);
  p->get_Handle(&again);
  EXPECT_EQ(handle, again);
  EXPECT_TRUE(Failed(p->Stretch(0, 10, VARIANT_FALSE)));
  EXPECT_EQ(Error(), u"Invalid arguments.");
  // Narrower and lower at once, wider and lower, grown: each target pixel is a source pixel.
  struct Case {
    std::int32_t w, h;
  };
  for (Case c : {Case{30, 20}, Case{130, 40}, Case{100, 30}, Case{60, 100}, Case{150, 210}}) {
    auto q = Picture(Pattern(100, 100));
    ASSERT_EQ(q->Stretch(c.w, c.h, VARIANT_FALSE), S_OK);
    EXPECT_EQ(SizeOf(q.Get()), std::make_pair(c.w, c.h));
    const auto x = static_cast<std::int32_t>((2LL * (c.w - 1) + 1) * 100 / (2LL * c.w));
    const auto y = static_cast<std::int32_t>((2LL * (c.h - 1) + 1) * 100 / (2LL * c.h));
    EXPECT_EQ(Pixels(q.Get()).GetPixel(c.w - 1, c.h - 1), original.GetPixel(x, y)) << c.w << "x" << c.h;
  }
  // Halftone: 2 x 2 become their mean.
  graphics::Bitmap four(2, 2, graphics::PixelFormat::Rgb24());
  four.SetPixel(0, 0, 0xFF000000);
  four.SetPixel(1, 0, 0xFF640000);
  four.SetPixel(0, 1, 0xFF00C800);
  four.SetPixel(1, 1, 0xFF64C828);
  auto h = Picture(std::move(four));
  ASSERT_EQ(h->Stretch(1, 1, VARIANT_TRUE), S_OK);
  EXPECT_EQ(Pixels(h.Get()).GetPixel(0, 0), 0xFF32640Au);
  // Past the cap: refused, the picture kept.
  EXPECT_TRUE(Failed(h->Stretch(100000, 100000, VARIANT_FALSE)));
  EXPECT_EQ(SizeOf(h.Get()), std::make_pair(1, 1));
}

TEST_F(PictureTest, PixelsAreColourRefsInsideTheBitmap) {
  auto p = Picture(Filled(4, 3, 0xFF112233));
  std::int32_t colour = 0;
  ASSERT_EQ(p->get_Pixels(1, 1, &colour), S_OK);
  EXPECT_EQ(colour, 0x332211);  // 0x00BBGGRR
  ASSERT_EQ(p->put_Pixels(3, 2, 0x0000FF), S_OK);
  EXPECT_EQ(Pixels(p.Get()).GetPixel(3, 2), 0xFFFF0000u);
  EXPECT_TRUE(Failed(p->get_Pixels(4, 0, &colour)));
  EXPECT_EQ(Error(), u"The specified coordinates are out of bounds.");
  EXPECT_TRUE(Failed(p->put_Pixels(0, -1, 0)));
  EXPECT_EQ(Error(), u"The specified coordinates are out of bounds.");
}

TEST_F(PictureTest, FilesThroughTheHostsFormats) {
  ScratchDir dir;
  auto p = Picture(Pattern(9, 5));
  VARIANT_BOOL ok = VARIANT_FALSE;
  for (const char* name : {"a.bmp", "a.PNG", "a.dib"}) {
    ASSERT_EQ(p->SaveToFile(BString(dir.File(name)).Get(), *kNothing.Ptr(), &ok), S_OK);
    EXPECT_TRUE(ok) << name;
    auto q = Empty();
    ASSERT_EQ(q->LoadFromFile(BString(dir.File(name)).Get(), &ok), S_OK);
    EXPECT_TRUE(ok) << name;
    EXPECT_EQ(Pixels(q.Get()).ToArgb(), Pixels(p.Get()).ToArgb()) << name;
  }
  // An extension that no format lists: not saved; loaded by whichever format reads it.
  ASSERT_EQ(p->SaveToFile(BString(dir.File("a.img")).Get(), *kNothing.Ptr(), &ok), S_OK);
  EXPECT_FALSE(ok);
  std::filesystem::copy_file(dir.Utf8File("a.PNG"), dir.Utf8File("png.img"));
  std::filesystem::copy_file(dir.Utf8File("a.bmp"), dir.Utf8File("bmp.png"));
  for (const char* name : {"png.img", "bmp.png"}) {
    auto q = Empty();
    ASSERT_EQ(q->LoadFromFile(BString(dir.File(name)).Get(), &ok), S_OK);
    EXPECT_TRUE(ok) << name;
  }
  // A failed load leaves the picture empty and says so.
  WriteFileBytes(dir.Utf8File("bad.png"), "not an image");
  ASSERT_EQ(p->LoadFromFile(BString(dir.File("bad.png")).Get(), &ok), S_OK);
  EXPECT_FALSE(ok);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(0, 0));
  EXPECT_FALSE(host_->ImageFormats().LastError().empty());
}

TEST_F(PictureTest, FormatOptions) {
  ScratchDir dir;
  auto p = Picture(Pattern(40, 40));
  ComPtr<IDispatch> options;
  EXPECT_TRUE(Failed(p->CreateFormatOptions(BString(u"GIF").Get(), options.Put())));
  EXPECT_EQ(Error(), u"Unknown image format: \"GIF\"");
  ASSERT_EQ(p->CreateFormatOptions(BString(u"png").Get(), options.Put()), S_OK);
  auto png = QueryAs<IpwPngFormatOptions>(options.Get());
  ASSERT_TRUE(png);
  EXPECT_TRUE(Failed(png->put_CompressionLevel(10)));
  ASSERT_EQ(png->put_CompressionLevel(0), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(p->SaveToFile(BString(dir.File("plain.png")).Get(), *OleVariant(options.Get()).Ptr(), &ok), S_OK);
  EXPECT_TRUE(ok);
  png->put_CompressionLevel(9);
  ASSERT_EQ(p->SaveToFile(BString(dir.File("small.png")).Get(), *OleVariant(options.Get()).Ptr(), &ok), S_OK);
  EXPECT_GT(std::filesystem::file_size(dir.Path() / "plain.png"), std::filesystem::file_size(dir.Path() / "small.png"));
  ComPtr<IDispatch> bmpOptions;
  ASSERT_EQ(p->CreateFormatOptions(BString(u"BMP").Get(), bmpOptions.Put()), S_OK);
  EXPECT_FALSE(bmpOptions);
  // Options that are not image-format options are refused.
  EXPECT_TRUE(Failed(p->SaveToFile(BString(dir.File("x.png")).Get(), *OleVariant(p->Dispatch()).Ptr(), &ok)));
  EXPECT_EQ(Error(), u"Invalid arguments.");
}

TEST_F(PictureTest, PictureArgumentsFromScriptValues) {
  ScratchDir dir;
  auto p = Picture(Pattern(3, 3));
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(p->SaveToFile(BString(dir.File("p.bmp")).Get(), *kNothing.Ptr(), &ok), S_OK);
  EXPECT_FALSE(PictureFromVariant(Manager(), *kNothing.Ptr(), false));
  EXPECT_FALSE(PictureFromVariant(Manager(), *OleVariant::Null().Ptr(), false));
  EXPECT_FALSE(PictureFromVariant(Manager(), *OleVariant(0).Ptr(), false));
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(false).Ptr(), false), EpwInvalidPictureArgument);
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(7).Ptr(), false), EpwInvalidPictureArgument);
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(2.5).Ptr(), false), EpwInvalidPictureArgument);
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(dir.File("none.bmp")).Ptr(), false),
               EpwInvalidPictureArgument);
  auto loaded = PictureFromVariant(Manager(), *OleVariant(dir.File("p.bmp")).Ptr(), false);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(SizeOf(loaded.Get()), std::make_pair(3, 3));
  EXPECT_EQ(PictureFromVariant(Manager(), *Of(p.Get()).Ptr(), false).Get(), static_cast<IpwPicture*>(p.Get()));
  // An object without a "Picture" method is no picture.
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(host_->Log().Dispatch()).Ptr(), false),
               EpwInvalidPictureArgument);
}

// A test object whose "Picture" method captures its whole area: records its arguments and
// answers a picture (or, when told, a number).
class TCapturable final : public Implements<ComObject, IDispatch> {
 public:
  explicit TCapturable(ComPtr<IpwPicture> picture) : picture_(std::move(picture)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    if (WideStringView(names[0]) != u"Picture") return DISP_E_UNKNOWNNAME;
    *ids = 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    for (std::uint32_t i = params->cArgs; i-- > 0;) {  // the last slot is the first argument
      OleVariant v(params->rgvarg[i]);
      OleVariant text;
      VariantChangeType(text.Ptr(), v.Ptr(), 0, VT_BSTR);
      arguments += WideToUtf8(BstrView(text.Ptr()->bstrVal)) + " ";
    }
    if (picture_) {
      *result = VARIANT{};
      result->vt = VT_DISPATCH;
      result->pdispVal = picture_.Get();
      picture_->AddRef();
    }
    return S_OK;
  }
  std::string arguments;

 private:
  ComPtr<IpwPicture> picture_;
};

TEST_F(PictureTest, TestObjectsAreAskedForThePictureOfTheirWholeArea) {
  auto p = Picture(Pattern(3, 3));
  auto object = MakeObject<TCapturable>(ComPtr<IpwPicture>(static_cast<IpwPicture*>(p.Get())));
  auto captured = PictureFromVariant(Manager(), *OleVariant(static_cast<IDispatch*>(object.Get())).Ptr(), true);
  EXPECT_EQ(captured.Get(), static_cast<IpwPicture*>(p.Get()));
  EXPECT_EQ(object->arguments, "0 0 -1 -1 True ");
  auto nothing = MakeObject<TCapturable>(nullptr);
  EXPECT_THROW(PictureFromVariant(Manager(), *OleVariant(static_cast<IDispatch*>(nothing.Get())).Ptr(), false),
               EpwInvalidPictureArgument);
  EXPECT_EQ(nothing->arguments, "0 0 -1 -1 False ");
}

TEST_F(PictureTest, HandlesTagsAndClipboard) {
  auto p = Picture(Filled(2, 2, 0xFFFFFFFF));
  VARIANT_BOOL bw = VARIANT_FALSE;
  EXPECT_EQ(p->IsBlackWhite(&bw), S_OK);
  EXPECT_TRUE(bw);
  p->put_Pixels(0, 0, 0x808080);
  p->IsBlackWhite(&bw);
  EXPECT_FALSE(bw);
  ASSERT_EQ(p->CopyToClipboard(), S_OK);
  const HBITMAP pasted = GetClipboardBitmap();
  EXPECT_NE(pasted, 0);
  EXPECT_NE(pasted, p->Bitmap());
  DeleteObject(pasted);
  EmptyClipboard();
  p->SetTag(BString(u"tag").Get());
  BString tag;
  p->GetTag(tag.Put());
  EXPECT_EQ(tag.Str(), u"tag");
  std::int32_t handle = 0;
  ASSERT_EQ(p->DetachHandle(&handle), S_OK);
  EXPECT_NE(handle, 0);
  EXPECT_EQ(SizeOf(p.Get()), std::make_pair(0, 0));
  EXPECT_EQ(p->Bitmap(), 0);
  EXPECT_TRUE(DeleteObject(handle));  // the caller owns it now
}

}  // namespace
}  // namespace pw::test
