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
#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

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

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";

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

// The configuration's bytes without the byte order mark; nothing when it cannot be read.
std::optional<std::string> ReadDebugConfig() {
  auto bytes = ReadWholeFile(FlashDebugConfigPath());
  if (bytes && bytes->starts_with(kUtf8Bom)) bytes->erase(0, kUtf8Bom.size());
  return bytes;
}

void WriteDebugConfig(std::string_view text) {
  std::string bytes(kUtf8Bom);
  bytes += text;
  ReplaceFile(FlashDebugConfigPath(), bytes);
}

// Lines end at CR LF, LF or CR; a line break at the end opens no further line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

bool LineHasName(std::string_view line, std::string_view name) {
  const std::size_t equals = line.find('=');
  return equals != std::string_view::npos && SameTextIgnoringCase(line.substr(0, equals), name);
}

// The value of the first line named `key`; nothing when there is none or it is empty.
std::optional<std::string> GetConfigValue(WideStringView key) {
  const auto text = ReadDebugConfig();
  if (!text) return std::nullopt;
  const std::string name = WideToUtf8(key);
  for (const std::string& line : SplitLines(*text)) {
    if (!LineHasName(line, name)) continue;
    std::string value = line.substr(line.find('=') + 1);
    if (value.empty()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

void SetConfigValue(WideStringView key, std::string_view value) {
  std::vector<std::string> lines = SplitLines(ReadDebugConfig().value_or(std::string()));
  const std::string name = WideToUtf8(key);
  const auto found =
      std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return LineHasName(l, name); });
  if (found != lines.end()) {
    if (value.empty()) lines.erase(found);
    else *found = name + "=" + std::string(value);
  } else if (!value.empty()) {
    lines.push_back(name + "=" + std::string(value));
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteDebugConfig(text);
}

bool GetConfigBool(WideStringView key) { return GetConfigValue(key) == std::optional<std::string>("1"); }

// ---- the trust file -----------------------------------------------------------------------

// The trust file's text; empty when it is missing. A file that does not start with FF FE is
// read as the system code page's text, so the locations it lists are kept when the file is
// next written (as UTF-16).
WideString ReadTrustText() {
  const auto bytes = ReadWholeFile(FlashTrustFilePath());
  if (!bytes) return WideString();
  if (!bytes->starts_with(kUtf16Bom)) return SystemCodePageToWide(*bytes);
  WideString text;
  text.reserve((bytes->size() - 2) / 2);
  for (std::size_t i = 2; i + 1 < bytes->size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) |
                                  (static_cast<unsigned char>((*bytes)[i + 1]) << 8));
  return text;
}

void WriteTrustText(WideStringView text) {
  std::string bytes(kUtf16Bom);
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  ReplaceFile(FlashTrustFilePath(), bytes);
}

// A trusted location as it is stored: trimmed; an empty one or one holding a line break is
// refused (it would not be one line of the file).
WideString TrustedLocationOf(BSTR path) {
  WideString location = WideTrim(BstrView(path));
  if (location.empty()) throw EOleSysError(u"The trusted location is empty.", E_INVALIDARG);
  if (location.find_first_of(u"\r\n") != WideString::npos)
    throw EOleSysError(u"A trusted location cannot hold a line break.", E_INVALIDARG);
  return location;
}

// The lines of the trust text with their line ends: [start, end of text) and the text's end.
struct TrustLine {
  std::size_t start, textEnd, end;  // end: after the line break
};
std::vector<TrustLine> TrustLines(WideStringView text) {
  std::vector<TrustLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find(u'\n', start);
    const std::size_t end = lf == WideStringView::npos ? text.size() : lf + 1;
    std::size_t textEnd = lf == WideStringView::npos ? text.size() : lf;
    if (textEnd > start && text[textEnd - 1] == u'\r') --textEnd;
    lines.push_back({start, textEnd, end});
    start = end;
  }
  return lines;
}

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
    const WideString location = TrustedLocationOf(path);
    WideString text = ReadTrustText();
    for (const TrustLine& line : TrustLines(text))
      if (WideStringView(text).substr(line.start, line.textEnd - line.start) == location) return;
    if (!text.empty() && text.back() != u'\n') text += u"\r\n";
    text += location + u"\r\n";
    WriteTrustText(text);
  });
}

HRESULT TpwFlashSettings::RemoveTrustedLocation(BSTR path) {
  return SafeCall([&] {
    const WideString location = TrustedLocationOf(path);
    const WideString text = ReadTrustText();
    WideString kept;
    kept.reserve(text.size());
    for (const TrustLine& line : TrustLines(text)) {
      const WideStringView view(text);
      if (view.substr(line.start, line.textEnd - line.start) != location)
        kept.append(view.substr(line.start, line.end - line.start));
    }
    WriteTrustText(kept);
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
