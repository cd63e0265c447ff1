// The host's test log (the runtime object "Log") and the runtime-object service that publishes
// script-visible objects by name.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "core/automation/automation.h"
#include "host/com_support.h"
#include "host/host_config.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

struct LogEntry {
  enum Kind { Message, Warning, Error, Event };
  Kind kind = Message;
  WideString text;
  WideString additionalText;
  std::int32_t priority = 0;
  std::uint64_t timeMs = 0;  // the host clock when the entry was posted
  // A picture posted with the entry (the extended log), kept as given, and its size when it
  // is a picture object (0 otherwise).
  ComPtr<IUnknown> picture;
  std::int32_t pictureWidth = 0, pictureHeight = 0;
};

const char16_t* LogKindName(LogEntry::Kind kind);

// Priority of entries that scripts post without one.
inline constexpr std::int32_t kNormalPriority = 300;

// The test log: IpwTestLog and IpwExtendedTestLog for plug-ins, IpwScriptLog for scripts.
// Entries are printed (through the host's printer) as they arrive; an entry with a picture
// ends in "[picture W×H]" ("[picture]" when the object tells no size).
class TTestLog final : public AutoImplements<TCVAAutoIntfObject, IpwScriptLog, IpwTestLog, IpwExtendedTestLog> {
 public:
  explicit TTestLog(std::shared_ptr<HostConfig> config);

  std::vector<LogEntry> Entries() const;
  std::int32_t CountOf(LogEntry::Kind kind) const;
  void Add(LogEntry::Kind kind, WideString text, WideString additionalText, std::int32_t priority);
  // Lets the entries' pictures go (their sizes stay): a picture may hold the host's manager.
  void DropPictures();
  // An entry with a picture (nil: none) at a time (-1: now).
  void Add(LogEntry::Kind kind, WideString text, WideString additionalText, std::int32_t priority,
           ComPtr<IUnknown> picture, std::int64_t timeMs);

  // IpwTestLog
  HRESULT Message(BSTR text, BSTR additionalText, std::int32_t priority) override;
  HRESULT Error(BSTR text, BSTR additionalText, std::int32_t priority) override;
  HRESULT Warning(BSTR text, BSTR additionalText, std::int32_t priority) override;
  HRESULT Event(BSTR text, BSTR additionalText, std::int32_t priority) override;
  // IpwScriptLog
  HRESULT Message(BSTR text, const VARIANT& additionalText, const VARIANT& priority) override;
  HRESULT Warning(BSTR text, const VARIANT& additionalText, const VARIANT& priority) override;
  HRESULT Error(BSTR text, const VARIANT& additionalText, const VARIANT& priority) override;
  HRESULT Event(BSTR text, const VARIANT& additionalText, const VARIANT& priority) override;
  HRESULT get_ErrCount(std::int32_t* count) override;
  // IpwExtendedTestLog: texts as variants (Null, empty or missing: no text), the attributes
  // are not kept, the picture an object or anything else for none, time -1 now, else the host
  // clock's milliseconds.
  HRESULT Message(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT& attributes,
                  const VARIANT& picture, std::int32_t time) override;
  HRESULT Warning(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT& attributes,
                  const VARIANT& picture, std::int32_t time) override;
  HRESULT Error(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT& attributes,
                const VARIANT& picture, std::int32_t time) override;
  HRESULT Event(const VARIANT& text, const VARIANT& additionalText, std::int32_t priority, const VARIANT& attributes,
                const VARIANT& picture, std::int32_t time) override;
  // The interface's unused slots.
  HRESULT Reserved3() override { return E_NOTIMPL; }
  HRESULT Reserved4() override { return E_NOTIMPL; }
  HRESULT Reserved5() override { return E_NOTIMPL; }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }

 private:
  HRESULT Post(LogEntry::Kind kind, BSTR text, const VARIANT& additionalText, const VARIANT& priority);
  HRESULT PostExtended(LogEntry::Kind kind, const VARIANT& text, const VARIANT& additionalText, std::int32_t priority,
                       const VARIANT& picture, std::int32_t time);

  std::shared_ptr<HostConfig> config_;
  mutable std::mutex lock_;
  std::vector<LogEntry> entries_;
};

// The runtime objects that scripts see by name. The host registers its own ("Log", "Sys") under
// GUID_NULL; objects of one project are registered under the project's key. Names compare
// ignoring case.
class TRuntimeObjectService final : public Implements<ComObject, IpwRuntimeObjectService> {
 public:
  // Replaces an object of the same name and project.
  void Register(WideStringView name, IUnknown* object, const GUID& projectKey = GUID_NULL);
  void Unregister(WideStringView name, const GUID& projectKey = GUID_NULL);
  // The project's object of that name, else the host's own; nil when neither exists.
  ComPtr<IUnknown> Find(WideStringView name, const GUID& projectKey = GUID_NULL) const;
  // The names of the host's own objects in the order they were registered.
  std::vector<WideString> Names() const;
  void Clear();

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  HRESULT GetRuntimeObject(BSTR name, const GUID& projectKey, IUnknown** result) override;

 private:
  struct Entry {
    WideString name;
    GUID projectKey;
    ComPtr<IUnknown> object;
  };
  mutable std::mutex lock_;
  std::vector<Entry> objects_;
};

}  // namespace pw::host
