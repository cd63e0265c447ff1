// The script-visible picture: TpwPicture owns one bitmap handle (0 when empty) and offers its
// size, pixels, parts, stretching, files (through the host's image formats), the clipboard,
// comparison and search. Its size object (TpwPictureSize) and the rectangles Find returns
// (TPictureRect) are automation objects too.
//
// Ownership: the picture deletes its bitmap when it gets another one or goes; pictures that
// operations return are new objects of their callers. A picture is used from one thread.
// Failures of script-visible methods become failure results with the messages of
// picture_errors.h; a failing operation frees what it made and the picture keeps its bitmap.
#pragma once

#include <cstdint>

#include "core/automation/automation.h"
#include "graphics/bitmap.h"
#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/variant.h"
#include "platform/ui/gdi.h"

namespace pw {

class TpwPicture;

class TpwPictureSize final : public AutoImplements<TCVAAutoIntfObject, IpwSize_Internal> {
 public:
  TpwPictureSize(TpwPicture* picture, std::int32_t width, std::int32_t height);

  HRESULT get_Width(std::int32_t* value) override;
  HRESULT put_Width(std::int32_t value) override;
  HRESULT get_Height(std::int32_t* value) override;
  HRESULT put_Height(std::int32_t value) override;
  HRESULT DetachPicture() override;
  HRESULT SetSize(std::int32_t width, std::int32_t height) override;

  std::int32_t Width() const { return Width_; }
  std::int32_t Height() const { return Height_; }

 private:
  std::int32_t Width_, Height_;
  TpwPicture* Picture_;  // not counted; nil when detached
};

class TPictureRect final : public AutoImplements<TCVAAutoIntfObject, IpwRect> {
 public:
  TPictureRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

  HRESULT get_Left(std::int32_t* v) override;
  HRESULT put_Left(std::int32_t v) override;
  HRESULT get_Top(std::int32_t* v) override;
  HRESULT put_Top(std::int32_t v) override;
  HRESULT get_Right(std::int32_t* v) override;
  HRESULT put_Right(std::int32_t v) override;
  HRESULT get_Bottom(std::int32_t* v) override;
  HRESULT put_Bottom(std::int32_t v) override;
  HRESULT get_Width(std::int32_t* v) override;
  HRESULT get_Height(std::int32_t* v) override;

 private:
  std::int32_t Left_, Top_, Right_, Bottom_;
};

class TpwPicture final : public AutoImplements<TCVAAutoIntfObject, IpwPicture2, IpwPictureInternal> {
 public:
  // An empty picture (no bitmap, 0 x 0).
  explicit TpwPicture(IcvBaseManager* manager);
  // A picture with a new bitmap of width x height in the format of `templateBitmap` (raises
  // EpwPictureSysError when it cannot be made).
  TpwPicture(IcvBaseManager* manager, HBITMAP templateBitmap, std::int32_t width, std::int32_t height);
  ~TpwPicture() override;

  // Takes the bitmap (0: empty); the old one is deleted.
  void SetHandle(HBITMAP bitmap);
  HBITMAP Bitmap() const { return Bitmap_; }
  IcvBaseManager* Manager() const { return Manager_.Get(); }

  // IpwPicture
  HRESULT get_Handle(std::int32_t* bitmap) override;
  HRESULT get_Size(IpwSize** value) override;
  HRESULT put_Size(IpwSize* value) override;
  HRESULT SaveToFile(BSTR fileName, const VARIANT& options, VARIANT_BOOL* success) override;
  HRESULT LoadFromFile(BSTR fileName, VARIANT_BOOL* success) override;
  HRESULT CopyToClipboard() override;
  HRESULT Find(const VARIANT& picture, std::int32_t left, std::int32_t top, VARIANT_BOOL transparent,
               std::int32_t pixelTolerance, VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
               IDispatch** rect) override;
  HRESULT Compare(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                  VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
                  VARIANT_BOOL* equal) override;
  HRESULT Difference(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                     VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
                     IpwPicture** result) override;
  HRESULT get_Pixels(std::int32_t x, std::int32_t y, std::int32_t* color) override;
  HRESULT put_Pixels(std::int32_t x, std::int32_t y, std::int32_t color) override;
  HRESULT GetRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  IpwPicture** result) override;
  HRESULT Stretch(std::int32_t width, std::int32_t height, VARIANT_BOOL halftone) override;
  HRESULT CreateFormatOptions(BSTR formatName, IDispatch** options) override;
  HRESULT DifferenceEx(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                       VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask, VARIANT_BOOL option,
                       std::int32_t* statistic, std::int32_t* deviation, IpwPicture** result) override;
  // IpwPicture2
  HRESULT DetachHandle(std::int32_t* bitmap) override;
  HRESULT IsBlackWhite(VARIANT_BOOL* result) override;
  // IpwPictureInternal
  void SetTag(BSTR value) override;
  void GetTag(BSTR* value) override;

  // Selecting the bitmap into the memory context, and putting it back.
  void SelectBitmap();
  void ReleaseSelection();
  HDC MemoryDC() const { return MemoryDC_; }

 private:
  enum class CompareKind { Compare, Difference, DifferenceEx };
  void CheckBitmap() const;  // EpwEmptyPicture, EpwInvalidPicture
  void Resize(std::int32_t width, std::int32_t height);
  void DoStretch(std::int32_t width, std::int32_t height, bool halftone);
  ComPtr<IpwPicture> CopyRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
  bool DoLoad(const WideString& fileName);
  bool DoSave(const WideString& fileName, const VARIANT& options);
  // The comparison core of Compare, Difference and DifferenceEx.
  bool CompareCore(CompareKind kind, const VARIANT& picture, bool transparent, std::int32_t pixelTolerance,
                   bool captureFlag, std::int32_t colorTolerance, const VARIANT& mask, bool option,
                   std::int32_t* statistic, std::int32_t* deviation, ComPtr<IpwPicture>* result);
  ComPtr<IDispatch> DoFind(const VARIANT& picture, std::int32_t left, std::int32_t top, bool transparent,
                           std::int32_t pixelTolerance, bool captureFlag, std::int32_t colorTolerance,
                           const VARIANT& mask);

  HBITMAP Bitmap_ = 0;
  HDC MemoryDC_ = 0;
  HGDIOBJ PreviousObject_ = 0;
  ComPtr<IcvBaseManager> Manager_;
  ComPtr<TpwPictureSize> SizeObject_;
  WideString Tag_;
};

// A script value as a picture: empty, null and integer 0 give nil; a string loads that file
// into a new picture; a picture object is used as it is; another object with IDispatch is asked
// for the picture of its whole area (its method "Picture"(0, 0, -1, -1, captureFlag)).
// Anything else raises EpwInvalidPictureArgument.
ComPtr<IpwPicture> PictureFromVariant(IcvBaseManager* manager, const VARIANT& value, bool captureFlag);

// The bitmap behind a picture interface (this module's pictures: their handle; others: their
// Handle property); 0 for an empty one.
HBITMAP PictureHandle(IpwPicture* picture);

}  // namespace pw
