// Objects a project node owns or hands out: TpwPropertyObject, one entry of the
// host's properties panel, and TpwProjectNodePersonalBitmap, the node's own
// icon composed of a base bitmap and up to four corner overlays (0 top left, 1
// top right, 2 bottom left, 3 bottom right).
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/ui/gdi.h"

namespace pw::project {

// A property entry. Caption, category and description point to texts that
// outlive it. Once detached (or made without an owner) it answers Unassigned
// and ignores writes.
class TpwPropertyObject final : public Implements<TcvInterfacedObject, IpwPropertyObjectEx> {
 public:
  TpwPropertyObject(const WideString* caption, const WideString* category, const WideString* description, bool readOnly,
                    std::int32_t index, IpwPropertyObjectOwner* owner);

  HRESULT GetCaption(BSTR* caption) override;
  HRESULT GetCategory(BSTR* category) override;
  HRESULT GetDescription(BSTR* description) override;
  // True only while read-only and attached.
  HRESULT GetReadOnly(VARIANT_BOOL* readOnly) override;
  HRESULT GetValue(VARIANT* value) override;
  // E_FAIL while read-only.
  HRESULT SetValue(const VARIANT& value) override;
  HRESULT Detach() override;

 private:
  const WideString *caption_, *category_, *description_;
  bool readOnly_;
  std::int32_t index_;
  ComPtr<IpwPropertyObjectOwner> owner_;
};

class TpwProjectNodePersonalBitmap {
 public:
  TpwProjectNodePersonalBitmap(IcvBaseManager* manager, const GUID& typeKey);
  ~TpwProjectNodePersonalBitmap();
  TpwProjectNodePersonalBitmap(const TpwProjectNodePersonalBitmap&) = delete;
  TpwProjectNodePersonalBitmap& operator=(const TpwProjectNodePersonalBitmap&) = delete;

  // Takes the handle as the base bitmap (owned from now on; the old one is
  // deleted unless it is the same handle). Changed when the old or the new
  // handle is not 0.
  void SetBitmapHandle(HBITMAP handle, bool& changed);
  // E_INVALIDARG (raised) for an index outside 0 .. 3.
  HBITMAP GetBitmapPart(std::int32_t index) const;
  // The part takes the handle (not owned); Changed when it differs.
  void SetBitmapPart(std::int32_t index, HBITMAP handle, bool& changed);
  // The composite's handle; 0 when there is nothing to show.
  HBITMAP GetBitmapHandle() const { return composite_; }

 private:
  void Rebuild();

  ComPtr<IcvBaseManager> manager_;
  GUID typeKey_;
  HBITMAP base_ = 0;
  HBITMAP parts_[4] = {0, 0, 0, 0};
  HBITMAP composite_ = 0;
};

}  // namespace pw::project
