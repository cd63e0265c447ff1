#include "project/nodes/companions.h"

#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/rtl/exceptions.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {
void CheckOut(const void* p) {
  if (!p) throw EOleSysError(u"Invalid pointer", E_POINTER);
}
BSTR AllocText(const WideString* text) { return SysAllocString(text ? WideStringView(*text) : WideStringView()); }
}  // namespace

TpwPropertyObject::TpwPropertyObject(const WideString* caption, const WideString* category,
                                     const WideString* description, bool readOnly, std::int32_t index,
                                     IpwPropertyObjectOwner* owner)
    : caption_(caption),
      category_(category),
      description_(description),
      readOnly_(readOnly),
      index_(index),
      owner_(owner) {}

HRESULT TpwPropertyObject::GetCaption(BSTR* caption) {
  return SafeCall([&] { CheckOut(caption), *caption = AllocText(caption_); });
}
HRESULT TpwPropertyObject::GetCategory(BSTR* category) {
  return SafeCall([&] { CheckOut(category), *category = AllocText(category_); });
}
HRESULT TpwPropertyObject::GetDescription(BSTR* description) {
  return SafeCall([&] { CheckOut(description), *description = AllocText(description_); });
}
HRESULT TpwPropertyObject::GetReadOnly(VARIANT_BOOL* readOnly) {
  return SafeCall([&] { CheckOut(readOnly), *readOnly = ToWordBool(readOnly_ && owner_); });
}
HRESULT TpwPropertyObject::GetValue(VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    OleVariant v;
    if (owner_) owner_->GetPropertyValue(index_, v.Put());
    VariantInit(value);
    *value = v.Detach();
  });
}
HRESULT TpwPropertyObject::SetValue(const VARIANT& value) {
  return SafeCall([&] {
    if (readOnly_ && owner_) throw EOleSysError(u"The property is read-only.", E_FAIL);
    if (owner_) owner_->SetPropertyValue(index_, value);
  });
}
HRESULT TpwPropertyObject::Detach() {
  return SafeCall([&] { owner_ = nullptr; });
}

// ---- TpwProjectNodePersonalBitmap

TpwProjectNodePersonalBitmap::TpwProjectNodePersonalBitmap(IcvBaseManager* manager, const GUID& typeKey)
    : manager_(manager), typeKey_(typeKey) {}

TpwProjectNodePersonalBitmap::~TpwProjectNodePersonalBitmap() {
  if (base_) DeleteObject(base_);
  if (composite_) DeleteObject(composite_);
}

void TpwProjectNodePersonalBitmap::SetBitmapHandle(HBITMAP handle, bool& changed) {
  changed = false;
  if (handle == base_) return;  // the handle it holds already
  if (base_) DeleteObject(base_);
  changed = base_ != 0 || handle != 0;
  base_ = handle;
  if (changed) Rebuild();
}

HBITMAP TpwProjectNodePersonalBitmap::GetBitmapPart(std::int32_t index) const {
  if (index < 0 || index > 3) throw EOleSysError(u"The bitmap has no part with this index.", E_INVALIDARG);
  return parts_[index];
}

void TpwProjectNodePersonalBitmap::SetBitmapPart(std::int32_t index, HBITMAP handle, bool& changed) {
  changed = false;
  if (index < 0 || index > 3) throw EOleSysError(u"The bitmap has no part with this index.", E_INVALIDARG);
  changed = parts_[index] != handle;
  if (!changed) return;
  parts_[index] = handle;
  Rebuild();
}

void TpwProjectNodePersonalBitmap::Rebuild() {
  if (composite_) DeleteObject(composite_);
  composite_ = 0;
  bool anyPart = parts_[0] || parts_[1] || parts_[2] || parts_[3];
  if (!anyPart && !base_) return;
  composite_ = CopyImage(base_ ? base_ : GetNodeTypeImage(manager_.Get(), typeKey_));
  if (!composite_) composite_ = CreateBitmapHandle();
  if (!anyPart) return;
  BitmapData target;
  GetBitmapData(composite_, target);
  for (std::int32_t i = 0; i < 4; ++i) {
    if (!parts_[i]) continue;
    BitmapData part;
    if (!GetBitmapData(parts_[i], part)) continue;
    std::int32_t x = (i == 1 || i == 3) ? target.width - part.width : 0;
    std::int32_t y = (i == 2 || i == 3) ? target.height - part.height : 0;
    DrawTransparent(composite_, parts_[i], x, y);
  }
}

}  // namespace pw::project
