#include "core/options/options_xml_storage.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "core/options/safe_file.h"
#include "core/options/xml_text.h"
#include "platform/rtl/rtl_stream.h"
#include "platform/rtl/strings.h"

namespace pw {

struct TcvSAX2OptionsReader::PropertyRecord {
  WideString name;
  PropertyRecord* next = nullptr;
  bool deleted = false;
  TcvPropertyType type = ptInteger;
  std::int32_t intValue = 0;
  bool boolValue = false;
  WideString strValue;
  std::vector<std::uint8_t> binary;
  double doubleValue = 0;
  std::int64_t int64Value = 0;
  TcvCookie id = 0;
};

struct TcvSAX2OptionsReader::NodeRecord {
  WideString name;
  NodeRecord* firstChild = nullptr;
  NodeRecord* lastChild = nullptr;
  NodeRecord* nextSibling = nullptr;
  PropertyRecord* firstProperty = nullptr;
  bool deleted = false;
  TcvCookie id = 0;
};

namespace {

constexpr char kTypeLetters[] = "ISDLHB";

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
    "<!DOCTYPE Nodes [\r\n"
    "<!ENTITY % NameValue \"CDATA\"><!ENTITY % PropType \"(I|S|D|L|H|B)\"><!ENTITY % VersionValue \"CDATA\">\r\n"
    "<!ELEMENT Prp (#PCDATA)><!ELEMENT Node (Node|Prp)*><!ELEMENT Nodes (Node)+>\r\n"
    "<!ATTLIST Nodes version CDATA \"1\">\r\n"
    "<!ATTLIST Node name CDATA #REQUIRED>\r\n"
    "<!ATTLIST Prp name CDATA #REQUIRED><!ATTLIST Prp type CDATA #REQUIRED><!ATTLIST Prp value CDATA #REQUIRED>]>\r\n"
    "<Nodes version=\"1\">\r\n";
constexpr std::string_view kFooter = "</Nodes>\r\n";

int HexValue(char16_t c) {
  const auto b = static_cast<unsigned char>(c & 0xFF);
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  return -1;
}

// Two hexadecimal digits per byte, high nibble first; an odd last digit is ignored; a bad
// high digit gives $F0 in the high nibble, a bad low digit makes the whole byte $FF; a NUL
// ends the text.
std::vector<std::uint8_t> DecodeHex(WideStringView text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    if (text[i] == 0 || text[i + 1] == 0) break;
    const int hi = HexValue(text[i]);
    const int lo = HexValue(text[i + 1]);
    std::uint8_t b = hi < 0 ? 0xF0 : static_cast<std::uint8_t>(hi << 4);
    b = lo < 0 ? 0xFF : static_cast<std::uint8_t>(b | lo);
    bytes.push_back(b);
  }
  return bytes;
}

// DecodeHex straight from the parser's UTF-8 text when it is all ASCII (as hexadecimal values
// are), without a UTF-16 copy of what may be many megabytes; nullopt for any other text.
std::optional<std::vector<std::uint8_t>> DecodeAsciiHex(const char* text) {
  const std::size_t length = std::strlen(text);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(length / 2);
  for (std::size_t i = 0; i + 1 < length; i += 2) {
    if (static_cast<unsigned char>(text[i]) >= 0x80 || static_cast<unsigned char>(text[i + 1]) >= 0x80)
      return std::nullopt;
    const int hi = HexValue(static_cast<char16_t>(text[i]));
    const int lo = HexValue(static_cast<char16_t>(text[i + 1]));
    std::uint8_t b = hi < 0 ? 0xF0 : static_cast<std::uint8_t>(hi << 4);
    b = lo < 0 ? 0xFF : static_cast<std::uint8_t>(b | lo);
    bytes.push_back(b);
  }
  if (length % 2 && static_cast<unsigned char>(text[length - 1]) >= 0x80) return std::nullopt;
  return bytes;
}

void AppendHex(std::string& out, const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (bytes.empty()) {
    out += ' ';
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 2);
  char* p = out.data() + start;
  for (std::uint8_t b : bytes) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 15];
  }
}

// UTF-8 from the parser to UTF-16; most names and values are plain ASCII.
WideString FromUtf8(const char* s) {
  const char* p = s;
  while (*p && static_cast<unsigned char>(*p) < 0x80) ++p;
  if (!*p) return WideString(s, p);
  return Utf8ToWide(s);
}

const char* FindAttribute(const XML_Char** atts, const char* name) {
  for (; *atts; atts += 2)
    if (std::strcmp(atts[0], name) == 0) return atts[1];
  return nullptr;
}

}  // namespace

// ---- parsing -----------------------------------------------------------------------------

class TcvSAX2OptionsReader::Parser {
 public:
  explicit Parser(TcvSAX2OptionsReader& owner) : owner_(owner), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) throw EOutOfMemory();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Parser::OnStart, &Parser::OnEnd);
  }
  ~Parser() { XML_ParserFree(parser_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // Parses the whole content. False with `line` and `message` set when it fails.
  bool Run(std::string_view bytes) {
    // The parser takes an int length; pieces that large keep a token from being scanned more
    // than a few times.
    constexpr std::size_t kPiece = 1u << 30;
    do {
      const std::size_t n = std::min(bytes.size(), kPiece);
      const bool last = n == bytes.size();
      if (XML_Parse(parser_, bytes.data(), static_cast<int>(n), last) != XML_STATUS_OK) {
        const XML_Error code = XML_GetErrorCode(parser_);
        if (code == XML_ERROR_ABORTED && failed_) return false;
        return Failed(static_cast<std::int64_t>(XML_GetCurrentLineNumber(parser_)), XML_ErrorString(code));
      }
      bytes.remove_prefix(n);
    } while (!bytes.empty());
    return true;
  }

  std::int64_t line = 0;
  std::string message;

 private:
  struct Frame {
    NodeRecord* node;
    PropertyRecord* tail;  // properties read so far keep the file's order
  };

  static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** atts) {
    auto* self = static_cast<Parser*>(data);
    if (self->failed_) return;
    try {
      self->Start(name, atts);
    } catch (const std::exception& e) {
      self->Stop(e.what());
    } catch (...) {
      self->Stop("the file cannot be read");
    }
  }

  static void XMLCALL OnEnd(void* data, const XML_Char* name) {
    auto* self = static_cast<Parser*>(data);
    if (!self->failed_ && std::strcmp(name, "Node") == 0 && !self->stack_.empty()) self->stack_.pop_back();
  }

  bool Failed(std::int64_t atLine, std::string text) {
    failed_ = true;
    line = atLine;
    message = std::move(text);
    return false;
  }

  void Stop(std::string text) {
    Failed(static_cast<std::int64_t>(XML_GetCurrentLineNumber(parser_)), std::move(text));
    XML_StopParser(parser_, XML_FALSE);
  }

  void Start(std::string_view element, const XML_Char** atts) {
    if (element == "Prp") return StartProperty(atts);
    if (element == "Node") return StartNode(atts);
    if (element == "Nodes") {
      const char* version = FindAttribute(atts, "version");
      if (!version) return Stop("the Nodes element has no 'version' attribute");
      auto v = ParseInt32(version);
      if (!v || *v != 1) return Stop("the data format version '" + std::string(version) + "' is not supported");
      return;
    }
    Stop("unexpected element '" + std::string(element) + "'");
  }

  void StartNode(const XML_Char** atts) {
    if (stack_.empty()) {
      // Every Node directly under Nodes is the one root; its name is not read.
      if (!owner_.root_) owner_.root_ = owner_.NewNode(nullptr, u"root");
      PropertyRecord* tail = owner_.root_->firstProperty;
      while (tail && tail->next) tail = tail->next;
      stack_.push_back({owner_.root_, tail});
      return;
    }
    const char* name = FindAttribute(atts, "name");
    if (!name) return Stop("a Node element has no 'name' attribute");
    if (stack_.size() >= static_cast<std::size_t>(kMaxOptionsNodeDepth))
      return Stop("the nodes are nested more than " + std::to_string(kMaxOptionsNodeDepth) + " levels deep");
    WideString wide = FromUtf8(name);
    if (!CheckName(wide)) return;
    stack_.push_back({owner_.NewNode(stack_.back().node, std::move(wide)), nullptr});
  }

  void StartProperty(const XML_Char** atts) {
    if (stack_.empty()) return Stop("a Prp element stands outside any Node element");
    const char* name = FindAttribute(atts, "name");
    const char* type = FindAttribute(atts, "type");
    const char* value = FindAttribute(atts, "value");
    for (auto [attr, text] : {std::pair{"name", name}, {"type", type}, {"value", value}})
      if (!text) return Stop(std::string("a Prp element has no '") + attr + "' attribute");
    if (!*name || !*type) return;  // skipped without error
    const char* letter = std::strchr(kTypeLetters, type[0]);
    if (!letter) return Stop("unknown property type '" + std::string(type) + "'");
    const auto code = static_cast<TcvPropertyType>(letter - kTypeLetters);
    WideString wide = FromUtf8(name);
    if (!CheckName(wide)) return;
    Frame& frame = stack_.back();
    PropertyRecord* p = owner_.NewProperty(frame.node, std::move(wide), code, frame.tail);
    frame.tail = p;
    if (!*value && code != ptString) return;
    // A number or Boolean text into its field; a text that is none stops the parse.
    auto take = [&](const auto& parsed, auto& field) {
      if (parsed)
        field = *parsed;
      else
        Stop("'" + std::string(value) + "' is not a valid " + WideToUtf8(PropertyTypeName(code)) + " value");
    };
    switch (code) {
      case ptInteger: take(ParseInt32(value), p->intValue); break;
      case ptInt64: take(ParseInt64(value), p->int64Value); break;
      case ptDouble: take(ParseDouble(value), p->doubleValue); break;
      case ptBoolean: take(ParseBoolean(value), p->boolValue); break;
      case ptString: p->strValue = FromUtf8(value); break;
      case ptBinary: {
        auto ascii = DecodeAsciiHex(value);
        p->binary = ascii ? std::move(*ascii) : DecodeHex(FromUtf8(value));
        break;
      }
      default: break;
    }
  }

  bool CheckName(const WideString& name) {
    if (name.size() <= kMaxOptionsNameLength) return true;
    Stop("a name is longer than " + std::to_string(kMaxOptionsNameLength) + " characters");
    return false;
  }

  TcvSAX2OptionsReader& owner_;
  XML_Parser parser_;
  std::vector<Frame> stack_;
  bool failed_ = false;
};

// ---- the storage -------------------------------------------------------------------------

TcvSAX2OptionsReader::TcvSAX2OptionsReader(WideStringView fileName, bool sortOnWrite)
    : fileName_(fileName), path_(WideToUtf8(fileName)), sortOnWrite_(sortOnWrite) {
  slots_.emplace_back();
}

TcvSAX2OptionsReader::~TcvSAX2OptionsReader() {
  if (root_) FreeNode(root_);
}

ComPtr<IcvOptionsReader> CreateOptionsXmlReader(WideStringView fileName, bool sortOnWrite) {
  return MakeObject<TcvSAX2OptionsReader>(fileName, sortOnWrite);
}

WideString TcvSAX2OptionsReader::LoadFailureText() const {
  if (!failure_.failed) return {};
  if (failure_.line > 0) return u"line " + IntToWide(failure_.line) + u": " + failure_.message;
  return failure_.message;
}

TcvSAX2OptionsReader::NodeRecord* TcvSAX2OptionsReader::NewNode(NodeRecord* parent, WideString name) {
  if (slots_.size() > 0xFFFFFFFFu) throw EcvOptionsException(u"Too many records in the options storage");
  auto* n = new NodeRecord;
  n->name = std::move(name);
  n->id = static_cast<TcvCookie>(slots_.size());
  slots_.push_back({n, true});
  if (parent) {
    if (parent->lastChild) parent->lastChild->nextSibling = n;
    else parent->firstChild = n;
    parent->lastChild = n;
  }
  return n;
}

TcvSAX2OptionsReader::PropertyRecord* TcvSAX2OptionsReader::NewProperty(NodeRecord* node, WideString name,
                                                                        TcvPropertyType type, PropertyRecord* after) {
  if (slots_.size() > 0xFFFFFFFFu) throw EcvOptionsException(u"Too many records in the options storage");
  auto* p = new PropertyRecord;
  p->name = std::move(name);
  p->type = type;
  p->id = static_cast<TcvCookie>(slots_.size());
  slots_.push_back({p, false});
  if (after) {
    p->next = after->next;
    after->next = p;
  } else {
    p->next = node->firstProperty;
    node->firstProperty = p;
  }
  return p;
}

TcvSAX2OptionsReader::NodeRecord* TcvSAX2OptionsReader::NodeAt(TcvCookie id) const {
  if (id == 0 || id >= slots_.size() || !slots_[id].record || !slots_[id].node)
    throw EcvOptionsException(u"Invalid node identity " + IntToWide(id) + u" in the options storage");
  return static_cast<NodeRecord*>(slots_[id].record);
}

TcvSAX2OptionsReader::PropertyRecord* TcvSAX2OptionsReader::PropertyAt(TcvCookie id) const {
  if (id == 0 || id >= slots_.size() || !slots_[id].record || slots_[id].node)
    throw EcvOptionsException(u"Invalid property identity " + IntToWide(id) + u" in the options storage");
  return static_cast<PropertyRecord*>(slots_[id].record);
}

TcvSAX2OptionsReader::PropertyRecord* TcvSAX2OptionsReader::TypedProperty(TcvCookie id, TcvPropertyType type) const {
  PropertyRecord* p = PropertyAt(id);
  if (p->type != type) throw EcvOptionsException(kOptInvalidType);
  return p;
}

void TcvSAX2OptionsReader::FreeProperty(PropertyRecord* property) {
  slots_[property->id].record = nullptr;
  delete property;
}

void TcvSAX2OptionsReader::FreeContent(NodeRecord* node) {
  for (NodeRecord* c = node->firstChild; c;) {
    NodeRecord* next = c->nextSibling;
    FreeNode(c);
    c = next;
  }
  for (PropertyRecord* p = node->firstProperty; p;) {
    PropertyRecord* next = p->next;
    FreeProperty(p);
    p = next;
  }
  node->firstChild = node->lastChild = nullptr;
  node->firstProperty = nullptr;
}

void TcvSAX2OptionsReader::FreeNode(NodeRecord* node) {
  FreeContent(node);
  slots_[node->id].record = nullptr;
  delete node;
}

void TcvSAX2OptionsReader::MarkDeleted(NodeRecord* node) {
  // The root record stays: deleting it empties it.
  if (node != root_) node->deleted = true;
  for (NodeRecord* c = node->firstChild; c; c = c->nextSibling) MarkDeleted(c);
  for (PropertyRecord* p = node->firstProperty; p; p = p->next) p->deleted = true;
}

void TcvSAX2OptionsReader::Purge(NodeRecord* node) {
  NodeRecord* last = nullptr;
  for (NodeRecord** link = &node->firstChild; *link;) {
    NodeRecord* c = *link;
    if (c->deleted) {
      *link = c->nextSibling;
      FreeNode(c);
    } else {
      Purge(c);
      last = c;
      link = &c->nextSibling;
    }
  }
  node->lastChild = last;
  for (PropertyRecord** link = &node->firstProperty; *link;) {
    PropertyRecord* p = *link;
    if (p->deleted) {
      *link = p->next;
      FreeProperty(p);
    } else {
      link = &p->next;
    }
  }
}

void TcvSAX2OptionsReader::Parse() {
  failure_ = {};
  auto cannotRead = [&](int error) {
    failure_ = {true, 0, u"the file cannot be read: " + SysErrorMessage(static_cast<DWORD>(error))};
  };
  // Without blocking: a FIFO would otherwise wait for a writer for ever.
  int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) cannotRead(errno);
    return;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    cannotRead(errno);
    ::close(fd);
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    cannotRead(EISDIR);
    ::close(fd);
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    failure_ = {true, 0, u"it is not a regular file"};
    ::close(fd);
    return;
  }
  if (st.st_size == 0) {
    ::close(fd);  // an empty file holds nothing to keep
    return;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  // A small file is read into memory: unmapping a mapping costs every other processor that ran
  // one of the process's threads an interrupt, far more than copying a few kilobytes.
  constexpr std::size_t kReadLimit = 256 * 1024;
  if (size <= kReadLimit) {
    auto bytes = std::make_unique_for_overwrite<char[]>(size);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::read(fd, bytes.get() + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int error = errno;
        ::close(fd);
        return cannotRead(error);
      }
      if (n == 0) break;  // the file became shorter: what was there is parsed
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    ParseBytes(std::string_view(bytes.get(), done));
    return;
  }
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int error = errno;
  ::close(fd);
  if (map == MAP_FAILED) return cannotRead(error);
  try {
    ParseBytes(std::string_view(static_cast<const char*>(map), size));
  } catch (...) {
    ::munmap(map, size);
    throw;
  }
  ::munmap(map, size);
}

void TcvSAX2OptionsReader::LoadFromMemory(std::string_view bytes) {
  if (root_) FreeContent(root_);
  failure_ = {};
  startEmpty_ = false;
  if (!bytes.empty()) ParseBytes(bytes);
  if (!root_) root_ = NewNode(nullptr, u"root");
}

void TcvSAX2OptionsReader::ParseBytes(std::string_view bytes) {
  bool ok = false;
  std::int64_t line = 0;
  std::string message;
  try {
    Parser parser(*this);
    ok = parser.Run(bytes);
    line = parser.line;
    message = std::move(parser.message);
  } catch (const std::exception& e) {
    message = e.what();
  }
  if (!ok) {
    failure_ = {true, line, Utf8ToWide(message)};
    if (root_) FreeContent(root_);
  }
}

void TcvSAX2OptionsReader::ProbeFile() {
  // Nothing is created here: a save that fails later leaves no file where there was none.
  const std::string target = ResolveSaveTarget(path_);
  auto raise = [&](int error) {
    throw EcvOptionsException(WideFormat(kOptCannotOpenFile, {fileName_, SysErrorMessage(static_cast<DWORD>(error))}));
  };
  int fd = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != ENOENT) {
    raise(errno);
  } else {
    try {
      CheckCreatableTarget(target);
    } catch (const EFCreateError& e) {
      raise(static_cast<int>(e.ErrorCode()));
    }
  }
  try {
    CheckReplaceableTarget(target);
  } catch (const EFCreateError& e) {
    throw EcvOptionsException(u"Cannot save the " + fileName_ + u" file: " + e.Message());
  }
}

void TcvSAX2OptionsReader::WriteFile() {
  TcvSafeFileWriter file(path_);
  WriteTo([&](std::string_view bytes) { file.Write(bytes); });
  file.Commit();
}

std::string TcvSAX2OptionsReader::SaveToMemory() {
  GetRoot();
  Purge(root_);
  std::string bytes;
  WriteTo([&](std::string_view piece) { bytes += piece; });
  return bytes;
}

void TcvSAX2OptionsReader::WriteTo(const std::function<void(std::string_view)>& sink) {
  std::string out(kHeader);
  auto name = [&](WideStringView s) {
    if (s.size() > kMaxOptionsNameLength)
      throw EcvOptionsException(u"Cannot save the " + fileName_ + u" file: the name \"" + WideString(s.substr(0, 32)) +
                                u"...\" is longer than " + IntToWide(static_cast<long long>(kMaxOptionsNameLength)) +
                                u" characters.");
  };
  auto text = [&](WideStringView owner, WideStringView s) {
    if (auto bad = AppendXmlAttributeText(out, s))
      throw EcvOptionsException(u"Cannot save the " + fileName_ + u" file: the text of \"" + WideString(owner) +
                                u"\" holds the character " + CharacterName(*bad) + u", which XML cannot store.");
  };
  auto flush = [&] {
    if (out.size() >= (1 << 20)) {
      sink(out);
      out.clear();
    }
  };
  auto byName = [](const auto* a, const auto* b) { return CompareTextIgnoringCase(a->name, b->name) < 0; };
  std::vector<std::vector<NodeRecord*>> childLists;
  auto writeNode = [&](auto& self, NodeRecord* node, int depth) -> void {
    // The root is at depth 1: a file holds what its reader takes back, kMaxOptionsNodeDepth
    // nodes nested in all.
    if (depth > kMaxOptionsNodeDepth)
      throw EcvOptionsException(u"Cannot save the " + fileName_ + u" file: its nodes are nested more than " +
                                IntToWide(kMaxOptionsNodeDepth) + u" levels deep.");
    out.append(static_cast<std::size_t>(depth), '\t');
    if (node != root_) name(node->name);
    out += "<Node name=\"";
    text(node->name, node == root_ ? WideStringView(u"root") : WideStringView(node->name));
    out += '"';
    if (!node->firstChild && !node->firstProperty) {
      out += "/>\r\n";
      flush();
      return;
    }
    out += ">\r\n";
    std::vector<NodeRecord*> children;
    for (NodeRecord* c = node->firstChild; c; c = c->nextSibling) children.push_back(c);
    std::vector<PropertyRecord*> properties;
    for (PropertyRecord* p = node->firstProperty; p; p = p->next) properties.push_back(p);
    if (sortOnWrite_) {
      std::stable_sort(children.begin(), children.end(), byName);
      std::stable_sort(properties.begin(), properties.end(), byName);
    }
    for (NodeRecord* c : children) self(self, c, depth + 1);
    for (PropertyRecord* p : properties) {
      out.append(static_cast<std::size_t>(depth + 1), '\t');
      name(p->name);
      out += "<Prp name=\"";
      text(p->name, p->name);
      out += "\" type=\"";
      out += kTypeLetters[p->type];
      out += "\" value=\"";
      switch (p->type) {
        case ptInteger: out += std::to_string(p->intValue); break;
        case ptString: text(p->name, p->strValue); break;
        case ptDouble: out += FormatDouble(p->doubleValue); break;
        case ptInt64: out += std::to_string(p->int64Value); break;
        case ptBinary: AppendHex(out, p->binary); break;
        case ptBoolean: out += p->boolValue ? "-1" : "0"; break;
        default: break;
      }
      out += "\"/>\r\n";
      flush();
    }
    out.append(static_cast<std::size_t>(depth), '\t');
    out += "</Node>\r\n";
    flush();
  };
  writeNode(writeNode, root_, 1);
  out += kFooter;
  sink(out);
}

// ---- IcvOptionsReader --------------------------------------------------------------------

void TcvSAX2OptionsReader::GetStorageInfo(CV_OPTIONS_STORAGE_INFO& info) {
  info.Kind = 1;
  info.Location = fileName_;
}

TcvCookie TcvSAX2OptionsReader::GetRoot() {
  if (!root_) {
    if (!startEmpty_) Parse();
    if (!root_) root_ = NewNode(nullptr, u"root");
  }
  return root_->id;
}

void TcvSAX2OptionsReader::GetChildNodes(TcvCookie node, TPropertyCookiesArray& children) {
  children.clear();
  for (NodeRecord* c = NodeAt(node)->firstChild; c; c = c->nextSibling) children.push_back(c->id);
}

WideString TcvSAX2OptionsReader::GetNodeName(TcvCookie node) { return NodeAt(node)->name; }

void TcvSAX2OptionsReader::GetPropertyList(TcvCookie node, TPropertyCookiesArray& properties) {
  properties.clear();
  for (PropertyRecord* p = NodeAt(node)->firstProperty; p; p = p->next) properties.push_back(p->id);
}

void TcvSAX2OptionsReader::GetPropertyDescription(TcvCookie property, TPropertyDescription& d) {
  const PropertyRecord* p = PropertyAt(property);
  d = TPropertyDescription{};
  d.Name = p->name;
  d.Type = p->type;
  switch (p->type) {
    case ptInteger: d.IntValue = p->intValue; break;
    case ptString: d.StrValue = p->strValue; break;
    case ptDouble: d.DoubleValue = p->doubleValue; break;
    case ptInt64: d.Int64Value = p->int64Value; break;
    case ptBinary: d.BinarySize = static_cast<std::int32_t>(p->binary.size()); break;
    case ptBoolean: d.BoolValue = p->boolValue; break;
    default: break;
  }
}

void TcvSAX2OptionsReader::ReadBinary(TcvCookie property, void* buffer, std::int32_t& size) {
  const PropertyRecord* p = TypedProperty(property, ptBinary);
  const std::size_t n = std::min<std::size_t>(size < 0 ? 0 : static_cast<std::size_t>(size), p->binary.size());
  if (n) std::memcpy(buffer, p->binary.data(), n);
  size = static_cast<std::int32_t>(n);
}

TcvCookie TcvSAX2OptionsReader::AddNode(TcvCookie parent, WideStringView name) {
  return NewNode(NodeAt(parent), WideString(name))->id;
}

void TcvSAX2OptionsReader::DeleteNode(TcvCookie node) {
  // A record that is already gone needs no deleting.
  if (node == 0 || node >= slots_.size() || !slots_[node].record || !slots_[node].node) return;
  MarkDeleted(static_cast<NodeRecord*>(slots_[node].record));
}

TcvCookie TcvSAX2OptionsReader::AddProperty(TcvCookie node, WideStringView name, TcvPropertyType type) {
  if (type < ptInteger || type > ptBoolean) throw EcvOptionsException(kOptInvalidType);
  return NewProperty(NodeAt(node), WideString(name), type, nullptr)->id;
}

void TcvSAX2OptionsReader::DeleteProperty(TcvCookie property) {
  if (property == 0 || property >= slots_.size() || !slots_[property].record || slots_[property].node) return;
  static_cast<PropertyRecord*>(slots_[property].record)->deleted = true;
}

void TcvSAX2OptionsReader::SetInteger(TcvCookie property, std::int32_t value) {
  TypedProperty(property, ptInteger)->intValue = value;
}

void TcvSAX2OptionsReader::SetString(TcvCookie property, WideStringView value) {
  TypedProperty(property, ptString)->strValue = value;
}

void TcvSAX2OptionsReader::SetDouble(TcvCookie property, double value) {
  TypedProperty(property, ptDouble)->doubleValue = value;
}

void TcvSAX2OptionsReader::SetInt64(TcvCookie property, std::int64_t value) {
  TypedProperty(property, ptInt64)->int64Value = value;
}

void TcvSAX2OptionsReader::SetBinary(TcvCookie property, const void* data, std::int32_t size) {
  if (size < 0 || (size > 0 && !data)) OleError(E_INVALIDARG);
  auto* bytes = static_cast<const std::uint8_t*>(data);
  TypedProperty(property, ptBinary)->binary.assign(bytes, bytes + size);
}

void TcvSAX2OptionsReader::SetBoolean(TcvCookie property, bool value) {
  TypedProperty(property, ptBoolean)->boolValue = value;
}

void TcvSAX2OptionsReader::BeginUpdate() {
  if (updateLevel_ == 0) {
    // Whatever the file holds is read before it can be replaced.
    GetRoot();
    if (failure_.failed)
      throw EcvOptionsException(u"Cannot save the " + fileName_ + u" file: it could not be read (" +
                                LoadFailureText() + u"), and saving would lose its content.");
    ProbeFile();
  }
  ++updateLevel_;
}

void TcvSAX2OptionsReader::EndUpdate() {
  if (updateLevel_ <= 0) return;
  if (--updateLevel_ > 0) return;
  Purge(root_);
  WriteFile();
}

void TcvSAX2OptionsReader::BeginNodeUpdate(TcvCookie) {}

void TcvSAX2OptionsReader::EndNodeUpdate(TcvCookie) { startEmpty_ = false; }

void TcvSAX2OptionsReader::Clear() {
  startEmpty_ = true;
  // The storage is to be replaced by a tree: what it read goes, and so does the refusal to
  // overwrite a file that did not read.
  if (root_) FreeContent(root_);
  failure_ = {};
}

}  // namespace pw
