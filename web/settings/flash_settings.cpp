#include "web/settings/flash_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "core/automation/text_search.h"
#include "core/host/module_proxy.h"
#include "platform/automation/out_params.h"
#include "platform/com/registry.h"
#include "platform/kernel/environment.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/settings/flash_files.h"

namespace pw::web {

namespace {

constexpr char16_t kDebugConfigFile[] = u"%HOMEDRIVE%\\%HOMEPATH%\\mm.cfg";
constexpr char16_t kLogFile[] = u"%APPDATA%\\Macromedia\\Flash Player\\Logs\\flashlog.txt";
constexpr char16_t kTrustFile[] = u"%APPDATA%\\Macromedia\\Flash Player\\#Security\\FlashPlayerTrust\\quillory.cfg";
constexpr char16_t kInjectorFile[] = u"..\\Open Apps\\Flex\\FlashInjector.swf";
constexpr char16_t kActiveXKey[] = u"\\Software\\Macromedia\\FlashPlayerActiveX";
constexpr char16_t kPluginKey[] = u"\\Software\\Macromedia\\FlashPlayerPlugin";
constexpr char16_t kPlayerFolder[] = u"%windir%\\System32\\Macromed\\Flash\\";
constexpr char16_t kActiveXMask[] = u"*.ocx";
constexpr char16_t kPluginMask[] = u"np*.dll";
constexpr std::string_view kDebuggerMark = "Release-Debugger";

constexpr char16_t kPreloadSwf[] = u"PreloadSWF";
constexpr char16_t kAs3Trace[] = u"AS3Trace";
constexpr char16_t kTraceOutputFileEnable[] = u"TraceOutputFileEnable";
constexpr char16_t kErrorReportingEnable[] = u"ErrorReportingEnable";
constexpr char16_t kTraceOutputBuffered[] = u"TraceOutputBuffered";

std::string FileName(const WideString& path) { return WideToUtf8(path); }

// The whole file; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const WideString& path) {
  std::ifstream in(FileName(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

[[noreturn]] void RaiseWriteFailure(const WideString& path, int error) {
  throw Exception(u"Cannot write the file '" + path + u"': " + Utf8ToWide(std::strerror(error)) + u".");
}

// Writes the bytes to a new file beside `path` and renames it over `path`: the old file stays as
// it was until the new one is complete. The folder is made when missing. Raises on failure.
void ReplaceFile(const WideString& path, std::string_view bytes) {
  const std::filesystem::path target(FileName(path));
  std::error_code ec;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  std::string temp = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) RaiseWriteFailure(path, errno);
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!error && ::fchmod(fd, 0644) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    RaiseWriteFailure(path, error);
  }
}

// ---- mm.cfg -------------------------------------------------------------------------------

// The configuration's text without the byte order mark; nothing when it cannot be read.
std::optional<std::string> ReadDebugConfig() {
  auto bytes = ReadWholeFile(FlashDebugConfigPath());
  if (bytes) *bytes = std::string(DebugConfigText(*bytes));
  return bytes;
}

void WriteDebugConfig(std::string_view text) { ReplaceFile(FlashDebugConfigPath(), DebugConfigBytes(text)); }

// The value of the first line named `key`; nothing when there is none or it is empty.
std::optional<std::string> GetConfigValue(WideStringView key) {
  const auto text = ReadDebugConfig();
  if (!text) return std::nullopt;
  return DebugConfigValue(*text, WideToUtf8(key));
}

void SetConfigValue(WideStringView key, std::string_view value) {
  WriteDebugConfig(DebugConfigWithValue(ReadDebugConfig().value_or(std::string()), WideToUtf8(key), value));
}

bool GetConfigBool(WideStringView key) { return GetConfigValue(key) == std::optional<std::string>("1"); }

// ---- the trust file -----------------------------------------------------------------------

// The trust file's text; empty when it is missing.
WideString ReadTrustText() {
  const auto bytes = ReadWholeFile(FlashTrustFilePath());
  return bytes ? TrustTextOf(*bytes) : WideString();
}

void WriteTrustText(WideStringView text) { ReplaceFile(FlashTrustFilePath(), TrustFileBytes(text)); }

// ---- the player's registration ------------------------------------------------------------

// The registration key of a browser kind, opened read-only; false when absent.
bool OpenRegistration(TRegistry& registry, std::int32_t kind) {
  return registry.OpenKeyReadOnly(kind == -1 ? kActiveXKey : kPluginKey);
}

// "isScriptDebugger" as an integer; nothing when the value is absent. The registry stand-in
// keeps values as text, so its decimal text is read.
std::optional<std::int64_t> ReadRegistrationInteger(const TRegistry& registry, WideStringView name) {
  if (!registry.ValueExists(name)) return std::nullopt;
  if (registry.GetDataType(name) == TRegDataType::rdInteger) return std::int64_t{registry.ReadInteger(name)};
  const std::string text = WideToUtf8(WideTrim(registry.ReadString(name)));
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::int64_t{-1};
  return value;
}

// The first file (in name order) of the folder matching the mask, ignoring case.
std::optional<std::string> FirstPlayerFile(const WideString& folder, WideStringView mask) {
  std::error_code ec;
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(FileName(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (WideMatchesMask(WideLowerCase(mask), WideLowerCase(Utf8ToWide(name)))) names.push_back(it->path().string());
  }
  if (names.empty()) return std::nullopt;
  return *std::min_element(names.begin(), names.end());
}

}  // namespace

WideString ExpandFlashPath(WideStringView path) {
  WideString result = CanonicalizePath(ExpandEnvironmentStrings(path));
  for (std::size_t at; (at = result.find(u"//")) != WideString::npos;) result.erase(at, 1);
  return result;
}

WideString FlashDebugConfigPath() { return ExpandFlashPath(kDebugConfigFile); }
WideString FlashLogFilePath() { return ExpandFlashPath(kLogFile); }
WideString FlashTrustFilePath() { return ExpandFlashPath(kTrustFile); }
WideString FlashInjectorPath() { return ExpandFlashPath(GetHostExeFolder() + kInjectorFile); }

std::int32_t FlashBrowserKind(const VARIANT& browser) {
  OleVariant value(browser);
  while (value.Type() == (VT_BYREF | VT_VARIANT)) value = OleVariant(*value.Get().pvarVal);
  if ((value.Type() & VT_TYPEMASK) == VT_BSTR) {
    static constexpr const char16_t* kNames[] = {u"iexplore", u"firefox", u"chrome", u"opera", u"safari"};
    const WideString name = WideLowerCase(value.AsString());
    for (std::int32_t i = 0; i < 5; ++i)
      if (name == kNames[i]) return -(i + 1);
    return 0;
  }
  switch (value.Type() & VT_TYPEMASK) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8: {
      const double number = value.AsDouble();
      for (std::int32_t kind = -1; kind >= -5; --kind)
        if (number == kind) return kind;
      return 0;
    }
    default: return 0;
  }
}

bool FileContainsText(const std::string& path, std::string_view text) {
  if (text.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The tail of the block before (at most text.size() bytes) stays at the front of the buffer.
  std::vector<char> buffer(text.size() + kFileSearchBlockSize);
  std::size_t tail = 0;
  bool found = false;
  for (;;) {
    std::size_t got = 0;
    while (got < kFileSearchBlockSize) {
      const ssize_t n = ::read(fd, buffer.data() + tail + got, kFileSearchBlockSize - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got == 0) break;
    const std::size_t size = tail + got;
    if (::memmem(buffer.data(), size, text.data(), text.size())) {
      found = true;
      break;
    }
    const std::size_t keep = std::min(text.size(), size);
    std::memmove(buffer.data(), buffer.data() + size - keep, keep);
    tail = keep;
    if (got < kFileSearchBlockSize) break;
  }
  ::close(fd);
  return found;
}

FlashVersionNumbers ParseVersionNumbers(WideStringView text) {
  const char16_t separator = text.find(u',') != WideStringView::npos ? u',' : u'.';
  std::int32_t numbers[4] = {};
  std::size_t start = 0;
  for (int item = 0; item < 4 && start <= text.size(); ++item) {
    std::size_t end = text.find(separator, start);
    if (end == WideStringView::npos) end = text.size();
    const std::string part = WideToUtf8(WideTrim(text.substr(start, end - start)));
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (!part.empty() && error == std::errc() && stop == part.data() + part.size()) numbers[item] = value;
    start = end + 1;
  }
  return {numbers[0], numbers[1], numbers[2], numbers[3]};
}

// ---- TpwFileVersionInfo -------------------------------------------------------------------

TpwFileVersionInfo::TpwFileVersionInfo(WideString text)
    : AutoImplements(std::vector<IID>{IpwFileVersionInfo::iid}), numbers_(ParseVersionNumbers(text)),
      text_(std::move(text)) {}

HRESULT TpwFileVersionInfo::get_MajorPart(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, numbers_.first); });
}
HRESULT TpwFileVersionInfo::get_MinorPart(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, numbers_.second); });
}
HRESULT TpwFileVersionInfo::get_BuildPart(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, numbers_.fourth); });
}
HRESULT TpwFileVersionInfo::get_ReleasePart(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, numbers_.third); });
}

HRESULT TpwFileVersionInfo::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (dispId != DISPID_VALUE)
    return TcvFreeMarshaledAutoIntfObject::Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  if (result) *result = OleVariant(text_).Detach();
  return S_OK;
}

// ---- TpwFlashSettings ---------------------------------------------------------------------

HRESULT TpwFlashSettings::InstallInjector() {
  return SafeCall([&] { SetConfigValue(kPreloadSwf, WideToUtf8(FlashInjectorPath())); });
}

HRESULT TpwFlashSettings::UninstallInjector() {
  return SafeCall([&] { SetConfigValue(kPreloadSwf, ""); });
}

HRESULT TpwFlashSettings::AddTrustedLocation(BSTR path) {
  return SafeCall([&] {
    if (auto text = TrustTextWithLocation(ReadTrustText(), TrustedLocation(BstrView(path)))) WriteTrustText(*text);
  });
}

HRESULT TpwFlashSettings::RemoveTrustedLocation(BSTR path) {
  return SafeCall([&] {
    const WideString location = TrustedLocation(BstrView(path));
    WriteTrustText(TrustTextWithoutLocation(ReadTrustText(), location));
  });
}

HRESULT TpwFlashSettings::GetVersion(const VARIANT& browser, IDispatch** value) {
  return SafeCall([&] {
    ComPtr<IDispatch> version;
    const std::int32_t kind = FlashBrowserKind(browser);
    TRegistry registry(RootKey::LocalMachine);
    if (kind != 0 && OpenRegistration(registry, kind) && registry.ValueExists(u"Version")) {
      auto info = MakeObject<TpwFileVersionInfo>(registry.ReadString(u"Version"));
      version = ComPtr<IDispatch>(info->Dispatch());
    }
    SetOut(value, version);
  });
}

HRESULT TpwFlashSettings::IsDebugVersion(const VARIANT& browser, VARIANT_BOOL* value) {
  return SafeCall([&] {
    bool debug = false;
    const std::int32_t kind = FlashBrowserKind(browser);
    TRegistry registry(RootKey::LocalMachine);
    if (kind != 0 && OpenRegistration(registry, kind)) {
      if (const auto flag = ReadRegistrationInteger(registry, u"isScriptDebugger")) {
        debug = *flag == 1;
      } else if (const SystemVersion system = GetSystemVersion();
                 system.major > 6 || (system.major == 6 && system.minor > 1)) {
        // No 32-bit process runs on a 64-bit system here, so there is no redirection to lift.
        const auto file = FirstPlayerFile(ExpandFlashPath(kPlayerFolder), kind == -1 ? kActiveXMask : kPluginMask);
        debug = file && FileContainsText(*file, kDebuggerMark);
      }
    }
    SetOutBool(value, debug);
  });
}

HRESULT TpwFlashSettings::get_IsInjectorInstalled(VARIANT_BOOL* value) {
  return SafeCall([&] {
    const auto stored = GetConfigValue(kPreloadSwf);
    SetOutBool(value,
               stored && WideLowerCase(ExpandFlashPath(Utf8ToWide(*stored))) == WideLowerCase(FlashInjectorPath()));
  });
}

HRESULT TpwFlashSettings::get_DebugConfigPath(BSTR* value) {
  return SafeCall([&] { SetOut(value, FlashDebugConfigPath()); });
}

HRESULT TpwFlashSettings::get_FlashLogFilePath(BSTR* value) {
  return SafeCall([&] { SetOut(value, FlashLogFilePath()); });
}

HRESULT TpwFlashSettings::get_FlashLogEnabled(VARIANT_BOOL* value) {
  return SafeCall([&] { SetOutBool(value, GetConfigBool(kTraceOutputFileEnable)); });
}

HRESULT TpwFlashSettings::put_FlashLogEnabled(VARIANT_BOOL value) {
  return SafeCall([&] {
    const std::string flag = value ? "1" : "0";
    SetConfigValue(kTraceOutputFileEnable, flag);
    SetConfigValue(kErrorReportingEnable, flag);
    if (value) SetConfigValue(kTraceOutputBuffered, "1");
  });
}

HRESULT TpwFlashSettings::get_FunctionTraceEnabled(VARIANT_BOOL* value) {
  return SafeCall([&] { SetOutBool(value, GetConfigBool(kAs3Trace)); });
}

HRESULT TpwFlashSettings::put_FunctionTraceEnabled(VARIANT_BOOL value) {
  return SafeCall([&] { SetConfigValue(kAs3Trace, value ? "1" : "0"); });
}

HRESULT TpwFlashSettings::get_DebugConfigContents(BSTR* value) {
  return SafeCall([&] { SetOut(value, Utf8ToWide(ReadDebugConfig().value_or(std::string()))); });
}

HRESULT TpwFlashSettings::put_DebugConfigContents(BSTR value) {
  return SafeCall([&] { WriteDebugConfig(WideToUtf8(BstrView(value))); });
}

HRESULT TpwFlashSettings::get_FlashTrustedLocations(BSTR* value) {
  return SafeCall([&] { SetOut(value, ReadTrustText()); });
}

ComPtr<IDispatch> CreateFlashSettingsObject() {
  auto settings = MakeObject<TpwFlashSettings>();
  return ComPtr<IDispatch>(settings->Dispatch());
}

}  // namespace pw::web
