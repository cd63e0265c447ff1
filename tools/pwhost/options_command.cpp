#include "tools/pwhost/options_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "core/options/options_path.h"
#include "core/options/safe_file.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "core/options/xml_text.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "tools/pwhost/commands.h"

namespace pw::host {

const char* const kOptionsUsage =
    "  options dump FILE\n"
    "           print the options XML file FILE as a tree: one line per node (node PATH) and\n"
    "           per property (prop PATH TYPE VALUE, and the field compressed after a Binary\n"
    "           value stored packed), fields separated by tabs\n"
    "  options set FILE PATH TYPE VALUE\n"
    "           set the property PATH (nodes and property name joined by /) of FILE to VALUE\n"
    "           of TYPE (Integer, String, Double, Int64, Binary as hexadecimal, Boolean) and\n"
    "           save FILE; missing nodes and a missing FILE are created\n";

namespace {

class UsageError : public Exception {
 public:
  using Exception::Exception;
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (auto b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

std::vector<std::uint8_t> ParseHex(const std::string& text) {
  if (text.size() % 2) throw UsageError(u"a Binary value needs two hexadecimal digits per byte");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned v = 0;
    for (std::size_t k = i; k < i + 2; ++k) {
      char c = text[k];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) throw UsageError(u"'" + Utf8ToWide(text) + u"' is not hexadecimal");
      v = v * 16 + static_cast<unsigned>(d);
    }
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  return bytes;
}

ComPtr<TcvSAX2OptionsReader> OpenStorage(const std::string& file, ComPtr<IcvOptionsBuilder>& builder) {
  // Item files are kept sorted, as the project tree writes them.
  auto storage = MakeObject<TcvSAX2OptionsReader>(Utf8ToWide(file), true);
  builder = CreateOptionsBuilder();
  builder->SetReader(storage.Get());
  return storage;
}

// Prints a node's line, its properties and then its children, each sorted by name, as the walk
// goes; `path` is the node's path, shared by the whole walk (each level appends its name and
// takes it off again).
void DumpNode(IcvOptionsNode* node, std::string& path, std::FILE* out) {
  std::fprintf(out, "node\t%s\n", path.empty() ? "/" : path.c_str());
  ComPtr<IcvOptionsProperties> props;
  SafeCallCheck(node->GetProperties(props.Put()));
  std::vector<CV_PROPERTY_DESCRIPTION> list;
  ComPtr<IcvPropertiesIterator> pit;
  SafeCallCheck(props->GetIterator(pit.Put()));
  while (pit->HasNext()) {
    CV_PROPERTY_DESCRIPTION d;
    pit->Next(d);
    list.push_back(d);
  }
  std::sort(list.begin(), list.end(), [](auto& a, auto& b) { return CompareTextIgnoringCase(a.Name, b.Name) < 0; });
  TcvProperties* table = TcvOptionsNode::FromInterface(node)->Properties();
  for (const auto& d : list) {
    const std::size_t mark = path.size();
    path += '/';
    path += EscapeOptionsText(d.Name, true);
    std::string value;
    switch (d.Type) {
      case ptInteger: {
        std::int32_t v = 0;
        SafeCallCheck(props->GetInteger(d.Name, 0, &v));
        value = std::to_string(v);
        break;
      }
      case ptString: {
        WideString v;
        SafeCallCheck(props->GetString(d.Name, u"", &v));
        value = "\"" + EscapeOptionsText(v, false) + "\"";
        break;
      }
      case ptDouble: {
        double v = 0;
        SafeCallCheck(props->GetDouble(d.Name, 0, &v));
        value = FormatDouble(v);
        break;
      }
      case ptInt64: {
        std::int64_t v = 0;
        SafeCallCheck(props->GetInt64(d.Name, 0, &v));
        value = std::to_string(v);
        break;
      }
      case ptBoolean: {
        WordBool v = 0;
        SafeCallCheck(props->GetBoolean(d.Name, 0, &v));
        value = v ? "True" : "False";
        break;
      }
      case ptBinary: {
        auto* stub = static_cast<TcvBinaryPropertyStub*>(table->FindPresent(d.Name));
        value = Hex(stub->GetValue());
        if (stub->Compressed()) value += "\tcompressed";
        break;
      }
      default: break;
    }
    std::fprintf(out, "prop\t%s\t%s\t%s\n", path.c_str(), WideToUtf8(PropertyTypeName(d.Type)).c_str(), value.c_str());
    path.resize(mark);
  }
  std::vector<std::pair<WideString, ComPtr<IcvOptionsNode>>> children;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(node->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> child;
    it->Next(child);
    WideString childName;
    SafeCallCheck(child->GetName(&childName));
    children.emplace_back(childName, child);
  }
  std::sort(children.begin(), children.end(),
            [](auto& a, auto& b) { return CompareTextIgnoringCase(a.first, b.first) < 0; });
  for (auto& [childName, child] : children) {
    const std::size_t mark = path.size();
    path += '/';
    path += EscapeOptionsText(childName, true);
    DumpNode(child.Get(), path, out);
    path.resize(mark);
  }
}

int Dump(const std::string& file, std::FILE* out, std::FILE* err) {
  struct stat st;
  if (::stat(file.c_str(), &st) != 0) {
    std::fprintf(err, "pwhost: %s: %s\n", file.c_str(), WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno))).c_str());
    return 1;
  }
  ComPtr<IcvOptionsBuilder> builder;
  auto storage = OpenStorage(file, builder);
  auto root = builder->GetRoot();
  if (storage->GetLoadFailure().failed) {
    std::fprintf(err, "pwhost: cannot read %s: %s\n", file.c_str(), WideToUtf8(storage->LoadFailureText()).c_str());
    return 1;
  }
  std::string path;
  DumpNode(root.Get(), path, out);
  return 0;
}

// An integer text of the command line: decimal or "$"/"0x" hexadecimal after an optional sign.
// Decimal and negative values must lie in the signed range of `bits`; an unsigned hexadecimal
// text may give the whole bit pattern ($FFFFFFFF is -1 as an Integer). Nothing else is taken.
std::optional<std::int64_t> StrictInteger(const std::string& text, int bits) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 1, "$") == 0) {
    base = 16, i += 1;
  } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16, i += 2;
  }
  if (i == text.size()) return std::nullopt;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                       : -1;
    if (d < 0) return std::nullopt;
    if (magnitude > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return std::nullopt;
    magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  const std::uint64_t signedMax = (std::uint64_t{1} << (bits - 1)) - 1;
  if (negative) {
    if (magnitude > signedMax + 1) return std::nullopt;
    return magnitude == signedMax + 1 ? (bits == 64 ? INT64_MIN : -static_cast<std::int64_t>(magnitude))
                                      : -static_cast<std::int64_t>(magnitude);
  }
  if (base == 10 && magnitude > signedMax) return std::nullopt;
  // A hexadecimal bit pattern: the value of those bits as a signed number of `bits` bits.
  if (magnitude > signedMax) return static_cast<std::int64_t>(magnitude - limit - 1);
  return static_cast<std::int64_t>(magnitude);
}

// A value of the command line, checked before the file is touched.
struct Value {
  TcvPropertyType type = ptInteger;
  std::int64_t integer = 0;
  double real = 0;
  WideString text;
  std::vector<std::uint8_t> bytes;
};

Value ParseValue(const std::string& type, const std::string& text) {
  auto invalid = [&](const char* what) {
    return UsageError(u"'" + Utf8ToWide(text) + u"' is not a valid " + AsciiToWide(what) + u" value");
  };
  auto is = [&](const char* word, const char* letter) {
    return SameTextIgnoringCase(std::string_view(type), std::string_view(word)) || type == letter;
  };
  Value v;
  if (is("Integer", "I")) {
    auto n = StrictInteger(text, 32);
    if (!n) throw invalid("Integer");
    v.type = ptInteger, v.integer = *n;
  } else if (is("String", "S")) {
    v.type = ptString, v.text = StrictUtf8ToWide(text, "the value");
  } else if (is("Double", "D")) {
    auto d = ParseDouble(text);
    if (!d) throw invalid("Double");
    v.type = ptDouble, v.real = *d;
  } else if (is("Int64", "L")) {
    auto n = StrictInteger(text, 64);
    if (!n) throw invalid("Int64");
    v.type = ptInt64, v.integer = *n;
  } else if (is("Binary", "H")) {
    v.type = ptBinary, v.bytes = ParseHex(text);
  } else if (is("Boolean", "B")) {
    // True or False in any case, or an integer (0 is False).
    std::optional<bool> b;
    if (SameTextIgnoringCase(std::string_view(text), std::string_view("True"))) b = true;
    else if (SameTextIgnoringCase(std::string_view(text), std::string_view("False"))) b = false;
    else if (auto n = StrictInteger(text, 64)) b = *n != 0;
    if (!b) throw invalid("Boolean");
    v.type = ptBoolean, v.integer = *b;
  } else {
    throw UsageError(u"unknown type " + Utf8ToWide(type) + u" (Integer, String, Double, Int64, Binary or Boolean)");
  }
  return v;
}

int Set(const std::string& file, const std::string& path, const std::string& type, const std::string& text) {
  const std::vector<WideString> names = SplitOptionsPath(path);
  const Value value = ParseValue(type, text);
  // Writers of the same file take turns from the read to the write, so none loses another's
  // change.
  TcvFileUpdateLock lock(file);
  ComPtr<IcvOptionsBuilder> builder;
  auto storage = OpenStorage(file, builder);
  ComPtr<IcvOptionsNode> node = builder->GetRoot();
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    ComPtr<IcvOptionsNode> child;
    SafeCallCheck(node->GetNode(names[i], child.Put()));
    node = child;
  }
  const WideString& name = names.back();
  ComPtr<IcvOptionsProperties> props;
  SafeCallCheck(node->GetProperties(props.Put()));
  switch (value.type) {
    case ptInteger: SafeCallCheck(props->SetInteger(name, static_cast<std::int32_t>(value.integer))); break;
    case ptString: SafeCallCheck(props->SetString(name, value.text)); break;
    case ptDouble: SafeCallCheck(props->SetDouble(name, value.real)); break;
    case ptInt64: SafeCallCheck(props->SetInt64(name, value.integer)); break;
    case ptBoolean: SafeCallCheck(props->SetBoolean(name, ToWordBool(value.integer != 0))); break;
    case ptBinary: {
      // A Binary value that was stored packed stays packed.
      auto* table = TcvOptionsNode::FromInterface(node.Get())->Properties();
      auto* old = dynamic_cast<TcvBinaryPropertyStub*>(table->FindPresent(name));
      SafeCallCheck(props->SetBinary(name, value.bytes.data(), static_cast<std::int32_t>(value.bytes.size()),
                                     ToWordBool(old && old->Compressed())));
      break;
    }
    default: break;
  }
  builder->Save();
  return 0;
}

}  // namespace

int RunOptionsCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const bool dump = args.size() == 2 && args[0] == "dump";
  const bool set = args.size() == 5 && args[0] == "set";
  if (!dump && !set) {
    std::fprintf(err, "usage:\n%s", kOptionsUsage);
    return 2;
  }
  try {
    NamePoolUnit unit;
    if (dump) return Dump(args[1], out, err);
    return Set(args[1], args[2], args[3], args[4]);
  } catch (const UsageError& e) {
    std::fprintf(err, "pwhost: %s\n", e.what());
    return 2;
  } catch (const EcvOptionsPathError& e) {
    std::fprintf(err, "pwhost: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(err, "pwhost: %s\n", e.what());
    return 1;
  }
}

}  // namespace pw::host
