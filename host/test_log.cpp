#include "host/test_log.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/kernel/clock.h"
#include "platform/rtl/strings.h"

namespace pw::host {

const char16_t* LogKindName(LogEntry::Kind kind) {
  switch (kind) {
    case LogEntry::Message: return u"Message";
    case LogEntry::Warning: return u"Warning";
    case LogEntry::Error: return u"Error";
    case LogEntry::Event: return u"Event";
  }
  return u"";
}

namespace {

bool Missing(const VARIANT& v) {
  const VARIANT& d = VariantDeref(v);
  return d.vt == VT_EMPTY || d.vt == VT_NULL || (d.vt == VT_ERROR && d.scode == DISP_E_PARAMNOTFOUND);
}

// The size of a picture object (IpwPicture); nothing when it tells none.
std::optional<std::pair<std::int32_t, std::int32_t>> PictureSize(IUnknown* object) {
  auto picture = QueryAs<IpwPicture>(object);
  if (!picture) return std::nullopt;
  ComPtr<IpwSize> size;
  std::int32_t width = 0, height = 0;
  if (Failed(picture->get_Size(size.Put())) || !size || Failed(size->get_Width(&width)) ||
      Failed(size->get_Height(&height)))
    return std::nullopt;
  return std::pair{width, height};
}

WideString VariantText(const VARIANT& v) { return Missing(v) ? WideString() : OleVariant(VariantDeref(v)).AsString(); }

}  // namespace

TTestLog::TTestLog(std::shared_ptr<HostConfig> config)
    : AutoImplements({IpwScriptLog::iid}), config_(std::move(config)) {}

std::vector<LogEntry> TTestLog::Entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

std::int32_t TTestLog::CountOf(LogEntry::Kind kind) const {
  std::lock_guard guard(lock_);
  return static_cast<std::int32_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const LogEntry& e) { return e.kind == kind; }));
}

void TTestLog::Add(LogEntry::Kind kind, WideString text, WideString additionalText, std::int32_t priority) {
  Add(kind, std::move(text), std::move(additionalText), priority, nullptr, -1);
}

void TTestLog::Add(LogEntry::Kind kind, WideString text, WideString additionalText, std::int32_t priority,
                   ComPtr<IUnknown> picture, std::int64_t timeMs) {
  WideString line = WideString(LogKindName(kind)) + u": " + text;
  if (!additionalText.empty()) line += u" (" + additionalText + u")";
  LogEntry entry;
  entry.kind = kind;
  entry.text = std::move(text);
  entry.additionalText = std::move(additionalText);
  entry.priority = priority;
  entry.timeMs = timeMs < 0 ? CurrentClock().NowMs() : static_cast<std::uint64_t>(timeMs);
  if (picture) {
    if (auto size = PictureSize(picture.Get())) {
      entry.pictureWidth = size->first;
      entry.pictureHeight = size->second;
      line += u" [picture " + IntToWide(size->first) + u"\u00D7" + IntToWide(size->second) + u"]";
    } else {
      line += u" [picture]";
    }
    entry.picture = std::move(picture);
  }
  {
    std::lock_guard guard(lock_);
    entries_.push_back(std::move(entry));
  }
  config_->Print(line);
}

HRESULT TTestLog::Message(BSTR text, BSTR additionalText, std::int32_t priority) {
  return SafeCall([&] { Add(LogEntry::Message, WideString(BstrView(text)), WideString(BstrView(additionalText)), priority); });
}
HRESULT TTestLog::Error(BSTR text, BSTR additionalText, std::int32_t priority) {
  return SafeCall([&] { Add(LogEntry::Error, WideString(BstrView(text)), WideString(BstrView(additionalText)), priority); });
}
HRESULT TTestLog::Warning(BSTR text, BSTR additionalText, std::int32_t priority) {
  return SafeCall([&] { Add(LogEntry::Warning, WideString(BstrView(text)), WideString(BstrView(additionalText)), priority); });
}
HRESULT TTestLog::Event(BSTR text, BSTR additionalText, std::int32_t priority) {
  return SafeCall([&] { Add(LogEntry::Event, WideString(BstrView(text)), WideString(BstrView(additionalText)), priority); });
}

HRESULT TTestLog::Post(LogEntry::Kind kind, BSTR text, const VARIANT& additionalText, const VARIANT& priority) {
  return SafeCall([&] {
    WideString details = Missing(additionalText) ? WideString() : OleVariant(VariantDeref(additionalText)).AsString();
    std::int32_t prio = Missing(priority) ? kNormalPriority : OleVariant(VariantDeref(priority)).AsInt();
    Add(kind, WideString(BstrView(text)), std::move(details), prio);
  });
}

HRESULT TTestLog::Message(BSTR text, const VARIANT& additionalText, const VARIANT& priority) {
  return Post(LogEntry::Message, text, additionalText, priority);
}
HRESULT TTestLog::Warning(BSTR text, const VARIANT& additionalText, const VARIANT& priority) {
  return Post(LogEntry::Warning, text, additionalText, priority);
}
HRESULT TTestLog::Error(BSTR text, const VARIANT& additionalText, const VARIANT& priority) {
  return Post(LogEntry::Error, text, additionalText, priority);
}
HRESULT TTestLog::Event(BSTR text, const VARIANT& additionalText, const VARIANT& priority) {
  return Post(LogEntry::Event, text, additionalText, priority);
}

HRESULT TTestLog::get_ErrCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, CountOf(LogEntry::Error)); });
}

void TTestLog::DropPictures() {
  std::vector<ComPtr<IUnknown>> pictures;  // released outside the lock
  std::lock_guard guard(lock_);
  for (auto& e : entries_)
    if (e.picture) pictures.push_back(std::move(e.picture));
}

HRESULT TTestLog::PostExtended(LogEntry::Kind kind, const VARIANT& text, const VARIANT& additionalText,
                               std::int32_t priority, const VARIANT& picture, std::int32_t time) {
  return SafeCall([&] {
    const VARIANT& p = VariantDeref(picture);
    ComPtr<IUnknown> shown = (p.vt == VT_DISPATCH || p.vt == VT_UNKNOWN) ? ComPtr<IUnknown>(p.punkVal) : nullptr;
    Add(kind, VariantText(text), VariantText(additionalText), priority, std::move(shown), time);
  });
}

HRESULT TTestLog::Message(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT&,
                          const VARIANT& picture, std::int32_t time) {
  return PostExtended(LogEntry::Message, text, additionalText, priority, picture, time);
}
HRESULT TTestLog::Warning(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT&,
                          const VARIANT& picture, std::int32_t time) {
  return PostExtended(LogEntry::Warning, text, additionalText, priority, picture, time);
}
HRESULT TTestLog::Error(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT&,
                        const VARIANT& picture, std::int32_t time) {
  return PostExtended(LogEntry::Error, text, additionalText, priority, picture, time);
}
HRESULT TTestLog::Event(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT&,
                        const VARIANT& picture, std::int32_t time) {
  return PostExtended(LogEntry::Event, text, additionalText, priority, picture, time);
}

// ---- TRuntimeObjectService ----------------------------------------------------------------

void TRuntimeObjectService::Register(WideStringView name, IUnknown* object, const GUID& projectKey) {
  std::lock_guard guard(lock_);
  for (auto& e : objects_)
    if (e.projectKey == projectKey && SameTextIgnoringCase(e.name, name)) {
      e.object = object;
      return;
    }
  objects_.push_back({WideString(name), projectKey, object});
}

void TRuntimeObjectService::Unregister(WideStringView name, const GUID& projectKey) {
  std::lock_guard guard(lock_);
  std::erase_if(objects_,
                [&](const Entry& e) { return e.projectKey == projectKey && SameTextIgnoringCase(e.name, name); });
}

ComPtr<IUnknown> TRuntimeObjectService::Find(WideStringView name, const GUID& projectKey) const {
  std::lock_guard guard(lock_);
  ComPtr<IUnknown> own;
  for (const auto& e : objects_) {
    if (!SameTextIgnoringCase(e.name, name)) continue;
    if (e.projectKey == projectKey) return e.object;
    if (e.projectKey == GUID_NULL) own = e.object;
  }
  return own;
}

std::vector<WideString> TRuntimeObjectService::Names() const {
  std::lock_guard guard(lock_);
  std::vector<WideString> names;
  for (const auto& e : objects_)
    if (e.projectKey == GUID_NULL) names.push_back(e.name);
  return names;
}

void TRuntimeObjectService::Clear() {
  std::vector<Entry> old;
  std::lock_guard guard(lock_);
  old.swap(objects_);
}

HRESULT TRuntimeObjectService::GetRuntimeObject(BSTR name, const GUID& projectKey, IUnknown** result) {
  return SafeCall([&] { SetOut(result, Find(BstrView(name), projectKey)); });  // nil: no object of that name
}

}  // namespace pw::host
