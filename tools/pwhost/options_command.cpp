#include "tools/pwhost/options_command.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/options/options_name_pool.h"
#include "core/options/options_path.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "core/options/xml_text.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

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

// The options name pool lives while a command runs.
struct NamePoolUnit {
  NamePoolUnit() { StartOptionsNamePool(); }
  ~NamePoolUnit() { StopOptionsNamePool(); }
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

int Set(const std::string& file, const std::string& path, const std::string& type, const std::string& text) {
  const std::vector<WideString> names = SplitOptionsPath(path);
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
  auto invalid = [&](const char* what) {
    return UsageError(u"'" + Utf8ToWide(text) + u"' is not a valid " + AsciiToWide(what) + u" value");
  };
  auto is = [&](const char* word, const char* letter) {
    return SameTextIgnoringCase(std::string_view(type), std::string_view(word)) || type == letter;
  };
  if (is("Integer", "I")) {
    auto v = ParseInt32(text);
    if (!v) throw invalid("Integer");
    SafeCallCheck(props->SetInteger(name, *v));
  } else if (is("String", "S")) {
    SafeCallCheck(props->SetString(name, Utf8ToWide(text)));
  } else if (is("Double", "D")) {
    auto v = ParseDouble(text);
    if (!v) throw invalid("Double");
    SafeCallCheck(props->SetDouble(name, *v));
  } else if (is("Int64", "L")) {
    auto v = ParseInt64(text);
    if (!v) throw invalid("Int64");
    SafeCallCheck(props->SetInt64(name, *v));
  } else if (is("Binary", "H")) {
    std::vector<std::uint8_t> bytes = ParseHex(text);
    // A Binary value that was stored packed stays packed.
    auto* table = TcvOptionsNode::FromInterface(node.Get())->Properties();
    auto* old = dynamic_cast<TcvBinaryPropertyStub*>(table->FindPresent(name));
    SafeCallCheck(props->SetBinary(name, bytes.data(), static_cast<std::int32_t>(bytes.size()),
                                   ToWordBool(old && old->Compressed())));
  } else if (is("Boolean", "B")) {
    auto v = ParseBoolean(text);
    if (!v) throw invalid("Boolean");
    SafeCallCheck(props->SetBoolean(name, ToWordBool(*v)));
  } else {
    throw UsageError(u"unknown type " + Utf8ToWide(type) + u" (Integer, String, Double, Int64, Binary or Boolean)");
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
