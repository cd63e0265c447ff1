#include "tools/pwhost/picture_command.h"

#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>

#include "host/test_host.h"
#include "interfaces/pwWebTesting.h"
#include "openapps/picture/picture.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/strings.h"

namespace pw::host {

const char* const kPictureUsage =
    "  picture find IMAGE NEEDLE [--left N] [--top N] [--transparent] [--pixels N] [--colors N]\n"
    "                            [--mask FILE]\n"
    "           print where NEEDLE first occurs in IMAGE (left, top, width, height), or why it\n"
    "           was not found; --pixels: differing pixels tolerated, --colors: tolerance of a\n"
    "           colour channel (0-255), --transparent: NEEDLE's top-left colour does not count,\n"
    "           --mask: black pixels of FILE do not count\n"
    "  picture compare A B [--transparent] [--pixels N] [--colors N] [--mask FILE] [--diff OUT]\n"
    "           print \"equal\" or \"different\" with the number of differing pixels and the largest\n"
    "           difference of a colour channel; --diff saves the difference picture (A in dim\n"
    "           grey, differing pixels red)\n"
    "  picture convert IN OUT [--rect X,Y,W,H] [--size WxH] [--stretch WxH [--halftone]]\n"
    "           load IN, take a part of it, resize or stretch it, save OUT in the format of its\n"
    "           extension (bmp, dib, png)\n";

namespace {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words after the two file names: flags and options with a value.
struct Options {
  std::map<std::string, std::string> values;
  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string Text(const std::string& name) const { return Has(name) ? values.at(name) : std::string(); }
  std::int32_t Number(const std::string& name, std::int32_t fallback) const {
    if (!Has(name)) return fallback;
    const std::string& v = values.at(name);
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < INT32_MIN || n > INT32_MAX) throw UsageError("--" + name + " wants a number");
    return static_cast<std::int32_t>(n);
  }
  // "A<separator>B<separator>..." as numbers.
  std::vector<std::int32_t> Numbers(const std::string& name, char separator, std::size_t count) const {
    std::vector<std::int32_t> out;
    std::string v = values.at(name);
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t stop = i + 1 < count ? v.find(separator, start) : v.size();
      if (stop == std::string::npos) break;
      const std::string part = v.substr(start, stop - start);
      char* end = nullptr;
      const long n = std::strtol(part.c_str(), &end, 10);
      if (part.empty() || *end != '\0' || n < INT32_MIN || n > INT32_MAX) break;
      out.push_back(static_cast<std::int32_t>(n));
      start = stop + 1;
    }
    if (out.size() != count) throw UsageError("--" + name + " wants " + std::to_string(count) + " numbers");
    return out;
  }
};

Options ParseOptions(const std::vector<std::string>& args, std::size_t from, const std::vector<std::string>& flags,
                     const std::vector<std::string>& valued) {
  Options o;
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) throw UsageError("unexpected " + a);
    const std::string name = a.substr(2);
    if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      o.values[name] = "";
    } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
      if (i + 1 >= args.size()) throw UsageError(a + " wants a value");
      o.values[name] = args[++i];
    } else {
      throw UsageError("unknown option " + a);
    }
  }
  return o;
}

// The thread's error information as text ("" when there is none).
std::string TakeErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return "";
  BString text;
  info->GetDescription(text.Put());
  return WideToUtf8(text.View());
}

// A late-bound call of a script member; a failure raises with the callee's message.
OleVariant Call(IDispatch* object, const char16_t* name, std::vector<OleVariant> args, WORD flags = DISPATCH_METHOD) {
  const char16_t* names[] = {name};
  DISPID id = 0;
  if (object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id) != S_OK)
    throw std::runtime_error("the picture has no member " + WideToUtf8(name));
  std::vector<VARIANT> slots(args.size());  // the callee reads the last slot as the first argument
  for (std::size_t i = 0; i < args.size(); ++i) slots[args.size() - 1 - i] = *args[i].Ptr();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{slots.empty() ? nullptr : slots.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                    static_cast<std::uint32_t>(slots.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  OleVariant result;
  EXCEPINFO failure{};
  SetErrorInfo(0, nullptr);
  const HRESULT hr = object->Invoke(id, GUID_NULL, 0, flags, &params, result.Put(), &failure, nullptr);
  if (Failed(hr)) {
    std::string text = failure.bstrDescription ? WideToUtf8(BstrView(failure.bstrDescription)) : TakeErrorText();
    ClearExcepInfo(failure);
    if (text.empty()) text = WideToUtf8(HResultMessage(hr));
    throw std::runtime_error(WideToUtf8(name) + ": " + text);
  }
  return result;
}

ComPtr<IDispatch> DispatchOf(const OleVariant& v) {
  const VARIANT& value = VariantDeref(*v.Ptr());
  return value.vt == VT_DISPATCH ? ComPtr<IDispatch>(value.pdispVal) : nullptr;
}

std::int32_t IntOf(const OleVariant& v) {
  OleVariant n;
  OleCheck(VariantChangeType(n.Ptr(), v.Ptr(), 0, VT_I4));
  return n.Ptr()->lVal;
}

// The command's state: a host without dialogs, the module's type library, loaded pictures.
class PictureSession {
 public:
  explicit PictureSession(const std::string& modulePath) {
    TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<TestHost>(options);
    ComPtr<ITypeLib> lib;
    if (Failed(LoadTypeLib(Utf8ToWide(modulePath), lib.Put())) || !lib)
      throw std::runtime_error("cannot read the type library of the module " + modulePath);
    TypeLibraries()->Add(lib.Get());
    // The picture's results (rectangles) are interfaces of the module's library, called here
    // in-process without the module: this program registers their thunks itself.
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
  }

  ComPtr<IDispatch> New() {
    auto picture = MakeObject<TpwPicture>(host_->Manager());
    return ComPtr<IDispatch>(picture->Dispatch());
  }
  ComPtr<IDispatch> Load(const std::string& file) {
    auto picture = New();
    if (Call(picture.Get(), u"LoadFromFile", {OleVariant(Utf8ToWide(file))}).Ptr()->boolVal == VARIANT_FALSE) {
      const std::string why = host_->ImageFormats().LastError();
      throw std::runtime_error("cannot load " + file + (why.empty() ? std::string() : " (" + why + ")"));
    }
    return picture;
  }
  void Save(IDispatch* picture, const std::string& file) {
    if (Call(picture, u"SaveToFile", {OleVariant(Utf8ToWide(file)), OleVariant()}).Ptr()->boolVal == VARIANT_FALSE) {
      const std::string why = host_->ImageFormats().LastError();
      throw std::runtime_error("cannot save " + file +
                               (why.empty() ? std::string(": no format for its extension") : " (" + why + ")"));
    }
  }
  OleVariant Mask(const Options& o) { return o.Has("mask") ? OleVariant(Load(o.Text("mask")).Get()) : OleVariant(); }

 private:
  std::unique_ptr<TestHost> host_;
};

int Find(PictureSession& s, const std::vector<std::string>& args, std::FILE* out) {
  const Options o = ParseOptions(args, 3, {"transparent"}, {"left", "top", "pixels", "colors", "mask"});
  const OleVariant left(o.Number("left", 0)), top(o.Number("top", 0)), pixels(o.Number("pixels", 0)),
      colors(o.Number("colors", 0));
  auto image = s.Load(args[1]);
  auto needle = s.Load(args[2]);
  const OleVariant rect = Call(image.Get(), u"Find",
                               {OleVariant(needle.Get()), left, top, OleVariant(o.Has("transparent")), pixels,
                                OleVariant(false), colors, s.Mask(o)});
  auto found = DispatchOf(rect);
  if (!found) {
    const std::string why = TakeErrorText();
    std::fprintf(out, "not found: %s\n", why.c_str());
    return 1;
  }
  std::fprintf(out, "found: left %d, top %d, width %d, height %d\n",
               IntOf(Call(found.Get(), u"Left", {}, DISPATCH_PROPERTYGET)),
               IntOf(Call(found.Get(), u"Top", {}, DISPATCH_PROPERTYGET)),
               IntOf(Call(found.Get(), u"Width", {}, DISPATCH_PROPERTYGET)),
               IntOf(Call(found.Get(), u"Height", {}, DISPATCH_PROPERTYGET)));
  return 0;
}

int Compare(PictureSession& s, const std::vector<std::string>& args, std::FILE* out) {
  const Options o = ParseOptions(args, 3, {"transparent"}, {"pixels", "colors", "mask", "diff"});
  const OleVariant transparent(o.Has("transparent")), pixels(o.Number("pixels", 0)), colors(o.Number("colors", 0));
  auto a = s.Load(args[1]);
  auto b = s.Load(args[2]);
  const bool equal =
      Call(a.Get(), u"Compare", {OleVariant(b.Get()), transparent, pixels, OleVariant(false), colors, s.Mask(o)})
          .Ptr()
          ->boolVal != VARIANT_FALSE;
  OleVariant statistic(0), deviation(0);
  OleVariant statisticRef, deviationRef;  // by reference to the two numbers
  statisticRef.Ptr()->vt = VT_BYREF | VT_I4;
  statisticRef.Ptr()->byref = &statistic.Ptr()->lVal;
  deviationRef.Ptr()->vt = VT_BYREF | VT_I4;
  deviationRef.Ptr()->byref = &deviation.Ptr()->lVal;
  const OleVariant difference = Call(a.Get(), u"DifferenceEx",
                                     {OleVariant(b.Get()), transparent, pixels, OleVariant(false), colors, s.Mask(o),
                                      OleVariant(false), statisticRef, deviationRef});
  std::fprintf(out, "%s: %d differing pixels, largest channel difference %d\n", equal ? "equal" : "different",
               statistic.Ptr()->lVal, deviation.Ptr()->lVal);
  if (o.Has("diff")) {
    auto picture = DispatchOf(difference);
    if (!picture) throw std::runtime_error("no difference picture");
    s.Save(picture.Get(), o.Text("diff"));
  }
  return equal ? 0 : 1;
}

int Convert(PictureSession& s, const std::vector<std::string>& args) {
  const Options o = ParseOptions(args, 3, {"halftone"}, {"rect", "size", "stretch"});
  if (o.Has("halftone") && !o.Has("stretch")) throw UsageError("--halftone goes with --stretch");
  const auto r = o.Has("rect") ? o.Numbers("rect", ',', 4) : std::vector<std::int32_t>();
  const auto size = o.Has("size") ? o.Numbers("size", 'x', 2) : std::vector<std::int32_t>();
  const auto stretch = o.Has("stretch") ? o.Numbers("stretch", 'x', 2) : std::vector<std::int32_t>();
  auto picture = s.Load(args[1]);
  if (o.Has("rect")) {
    picture = DispatchOf(
        Call(picture.Get(), u"GetRect", {OleVariant(r[0]), OleVariant(r[1]), OleVariant(r[2]), OleVariant(r[3])}));
  }
  if (o.Has("size")) {
    auto detached = MakeObject<TpwPictureSize>(nullptr, size[0], size[1]);
    Call(picture.Get(), u"Size", {OleVariant(detached->Dispatch())}, DISPATCH_PROPERTYPUT);
  }
  if (o.Has("stretch")) {
    Call(picture.Get(), u"Stretch", {OleVariant(stretch[0]), OleVariant(stretch[1]), OleVariant(o.Has("halftone"))});
  }
  s.Save(picture.Get(), args[2]);
  return 0;
}

}  // namespace

int RunPictureCommand(const std::vector<std::string>& args, const std::string& modulePath, std::FILE* out,
                      std::FILE* err) {
  const bool known = !args.empty() && (args[0] == "find" || args[0] == "compare" || args[0] == "convert");
  if (!known || args.size() < 3) {
    std::fprintf(err, "usage:\n%s", kPictureUsage);
    return 2;
  }
  try {
    PictureSession session(modulePath);
    if (args[0] == "find") return Find(session, args, out);
    if (args[0] == "compare") return Compare(session, args, out);
    return Convert(session, args);
  } catch (const UsageError& e) {
    std::fprintf(err, "pwhost: %s\nusage:\n%s", e.what(), kPictureUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(err, "pwhost: %s\n", e.what());
    return 1;
  }
}

}  // namespace pw::host
