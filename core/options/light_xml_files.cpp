#include "core/options/light_xml_files.h"

#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/options/safe_file.h"
#include "core/options/xml_text.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n";

WideString FromUtf8(const char* s) {
  const char* p = s;
  while (*p && static_cast<unsigned char>(*p) < 0x80) ++p;
  if (!*p) return WideString(s, p);
  return Utf8ToWide(s);
}

// ---- the binary form ---------------------------------------------------------------------

[[noreturn]] void RaiseDamagedData() { throw EcvXMLExceptions(u"The binary data of the element is damaged"); }

[[noreturn]] void RaiseBrokenData() { throw EcvXMLExceptions(u"The binary data of the element breaks off"); }

void WriteBytes(IStream* stream, const void* data, std::size_t size) {
  ULONG written = 0;
  if (size == 0) return;
  if (Failed(stream->Write(data, static_cast<ULONG>(size), &written)) || written != size)
    throw EcvXMLExceptions(u"Cannot write the element to the stream");
}

void ReadBytes(IStream* stream, void* data, std::size_t size) {
  ULONG read = 0;
  if (size == 0) return;
  if (Failed(stream->Read(data, static_cast<ULONG>(size), &read)) || read != size) RaiseBrokenData();
}

void WriteStreamInteger(IStream* stream, std::int32_t value) {
  std::uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
  WriteBytes(stream, b, 4);
}

std::int32_t ReadStreamInteger(IStream* stream) {
  std::uint8_t b[4];
  ReadBytes(stream, b, 4);
  return static_cast<std::int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

void WriteStreamWideString(IStream* stream, WideStringView s) {
  WriteStreamInteger(stream, static_cast<std::int32_t>(s.size()));
  std::string bytes(s.size() * 2, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) {
    bytes[2 * i] = static_cast<char>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  WriteBytes(stream, bytes.data(), bytes.size());
}

// The string grows only as its bytes arrive, so a damaged length cannot ask for a huge block.
WideString ReadStreamWideString(IStream* stream) {
  const std::int32_t length = ReadStreamInteger(stream);
  if (length < 0) RaiseDamagedData();
  WideString s;
  std::vector<std::uint8_t> chunk;
  for (std::int32_t done = 0; done < length;) {
    const std::int32_t n = std::min(length - done, 65536);
    chunk.resize(static_cast<std::size_t>(n) * 2);
    ReadBytes(stream, chunk.data(), chunk.size());
    for (std::int32_t i = 0; i < n; ++i)
      s.push_back(static_cast<char16_t>(chunk[2 * static_cast<std::size_t>(i)] | chunk[2 * static_cast<std::size_t>(i) + 1] << 8));
    done += n;
  }
  return s;
}

std::uint64_t StreamPosition(IStream* stream) {
  std::uint64_t pos = 0;
  if (Failed(stream->Seek(0, STREAM_SEEK_CUR, &pos))) throw EcvXMLExceptions(u"The stream cannot seek");
  return pos;
}

void PatchStreamInteger(IStream* stream, std::uint64_t position, std::int32_t value) {
  const std::uint64_t here = StreamPosition(stream);
  if (Failed(stream->Seek(static_cast<std::int64_t>(position), STREAM_SEEK_SET, nullptr)))
    throw EcvXMLExceptions(u"The stream cannot seek");
  WriteStreamInteger(stream, value);
  if (Failed(stream->Seek(static_cast<std::int64_t>(here), STREAM_SEEK_SET, nullptr)))
    throw EcvXMLExceptions(u"The stream cannot seek");
}

class TcvXMLDataReaderProperty final : public Implements<TcvInterfacedObject, IcvXMLDataReaderProperty> {
 public:
  TcvXMLDataReaderProperty(WideString name, WideString value) : name_(std::move(name)), value_(std::move(value)) {}
  HRESULT GetName(WideString* name) override {
    if (!name) return E_POINTER;
    return SafeCall([&] { *name = name_; });
  }
  HRESULT GetValue(OleVariant* value) override {
    if (!value) return E_POINTER;
    return SafeCall([&] { *value = OleVariant(value_); });
  }

 private:
  WideString name_, value_;
};

// Raises when fileName exists and does not read to its end (reading a file, below).
void RefuseUnreadableFile(WideStringView fileName);

}  // namespace

// ---- writing -----------------------------------------------------------------------------

// Where the writers of one document put their bytes: a stream, or a file that is put in place
// when the root element ends.
class TcvXMLDataWriterController::Target {
 public:
  explicit Target(ComPtr<IStream> stream) : stream_(std::move(stream)) {}
  explicit Target(std::unique_ptr<TcvSafeFileWriter> file) : file_(std::move(file)) {}

  void Write(std::string_view bytes) {
    if (finished_) throw EcvXMLExceptions(u"The document has already been ended");
    if (file_) file_->Write(bytes);
    else WriteBytes(stream_.Get(), bytes.data(), bytes.size());
  }
  void Finish() {
    if (finished_) throw EcvXMLExceptions(u"The document has already been ended");
    if (file_) file_->Commit();
    finished_ = true;
  }
  IStream* Stream() const { return stream_.Get(); }

 private:
  ComPtr<IStream> stream_;
  std::unique_ptr<TcvSafeFileWriter> file_;
  bool finished_ = false;
};

namespace {

using Target = TcvXMLDataWriterController::Target;

class TcvDataWriter final : public Implements<TcvInterfacedObject, IcvDataWriter> {
 public:
  TcvDataWriter(std::shared_ptr<Target> target, WideStringView name, int depth)
      : target_(std::move(target)), name_(WideToUtf8(name)), depth_(depth) {}

  HRESULT BeginWrite() override { return S_OK; }
  HRESULT FlushProp() override {
    return SafeCall([&] {
      if (!flushed_) WriteStartTag();
    });
  }
  HRESULT EndWrite() override {
    return SafeCall([&] {
      if (!flushed_) WriteStartTag();
      if (ended_) throw EcvXMLExceptions(u"The element has already been ended");
      ended_ = true;
      if (startTagOpen_) target_->Write(" />\r\n");
      else target_->Write(std::string(static_cast<std::size_t>(depth_), '\t') + "</" + name_ + ">\r\n");
      if (depth_ == 0) target_->Finish();
    });
  }
  HRESULT CreateChild(WideStringView name, IcvDataWriter** writer) override {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    return SafeCall([&] {
      if (!flushed_) WriteStartTag();
      if (ended_) throw EcvXMLExceptions(u"The element has already been ended");
      // A reader takes back kMaxDataElementDepth elements nested in all, the root among them.
      if (depth_ + 1 >= kMaxDataElementDepth)
        throw EcvXMLExceptions(u"The elements cannot be nested more than " + IntToWide(kMaxDataElementDepth) +
                               u" levels deep");
      if (startTagOpen_) {
        target_->Write(">\r\n");
        startTagOpen_ = false;
      }
      *writer = MakeObject<TcvDataWriter>(target_, name, depth_ + 1).Detach();
    });
  }
  HRESULT WriteInteger(WideStringView name, std::int32_t value) override {
    return SafeCall([&] { Add(name, std::to_string(value)); });
  }
  HRESULT WriteString(WideStringView name, WideStringView value) override {
    return SafeCall([&] { Add(name, EscapeXMLText(value)); });
  }
  HRESULT WriteInt64(WideStringView name, std::int64_t value) override {
    return SafeCall([&] { Add(name, std::to_string(value)); });
  }
  HRESULT WriteDouble(WideStringView name, double value) override {
    return SafeCall([&] { Add(name, FormatDouble(value)); });
  }
  HRESULT WriteBoolean(WideStringView name, WordBool value) override {
    return SafeCall([&] { Add(name, value != 0 ? "True" : "False"); });
  }

 private:
  void Add(WideStringView name, std::string text) {
    // An attribute that came after the start tag would be lost.
    if (flushed_) throw EcvXMLExceptions(u"The attributes of the " + Utf8ToWide(name_) + u" element have already been written");
    pending_.emplace_back(WideToUtf8(name), std::move(text));
  }
  void WriteStartTag() {
    std::string line(static_cast<std::size_t>(depth_), '\t');
    line += '<';
    line += name_;
    for (const auto& [name, text] : pending_) {
      line += ' ';
      line += name;
      line += "=\"";
      line += text;
      line += '"';
    }
    pending_.clear();
    flushed_ = true;
    target_->Write(line);
  }

  std::shared_ptr<Target> target_;
  std::string name_;
  int depth_;
  std::vector<std::pair<std::string, std::string>> pending_;
  bool flushed_ = false;
  bool startTagOpen_ = true;
  bool ended_ = false;
};

// The binary form, written in place: the counts are patched once they are known.
class TcvSerializeDataWriter final : public Implements<TcvInterfacedObject, IcvDataWriter> {
 public:
  TcvSerializeDataWriter(std::shared_ptr<Target> target, WideStringView name)
      : target_(std::move(target)), name_(name) {}

  HRESULT BeginWrite() override {
    return SafeCall([&] {
      WriteStreamWideString(Stream(), name_);
      propertyCountAt_ = StreamPosition(Stream());
      WriteStreamInteger(Stream(), 0);
    });
  }
  HRESULT FlushProp() override {
    return SafeCall([&] {
      if (propertyCount_ > 0) PatchStreamInteger(Stream(), propertyCountAt_, propertyCount_);
      childCountAt_ = StreamPosition(Stream());
      WriteStreamInteger(Stream(), 0);
    });
  }
  HRESULT EndWrite() override {
    return SafeCall([&] {
      if (childCount_ > 0) PatchStreamInteger(Stream(), childCountAt_, childCount_);
    });
  }
  HRESULT CreateChild(WideStringView name, IcvDataWriter** writer) override {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    return SafeCall([&] {
      ++childCount_;
      *writer = MakeObject<TcvSerializeDataWriter>(target_, name).Detach();
    });
  }
  HRESULT WriteInteger(WideStringView name, std::int32_t value) override { return Add(name, IntToWide(value)); }
  HRESULT WriteString(WideStringView name, WideStringView value) override { return Add(name, WideString(value)); }
  HRESULT WriteInt64(WideStringView name, std::int64_t value) override { return Add(name, IntToWide(value)); }
  HRESULT WriteDouble(WideStringView name, double value) override { return Add(name, AsciiToWide(FormatDouble(value))); }
  HRESULT WriteBoolean(WideStringView name, WordBool value) override {
    return Add(name, value != 0 ? u"True" : u"False");
  }

 private:
  IStream* Stream() const { return target_->Stream(); }
  HRESULT Add(WideStringView name, WideString text) {
    return SafeCall([&] {
      ++propertyCount_;
      WriteStreamWideString(Stream(), name);
      WriteStreamWideString(Stream(), text);
    });
  }

  std::shared_ptr<Target> target_;
  WideString name_;
  std::uint64_t propertyCountAt_ = 0;
  std::int32_t propertyCount_ = 0;
  std::uint64_t childCountAt_ = 0;
  std::int32_t childCount_ = 0;
};

}  // namespace

std::string EscapeXMLText(WideStringView s) {
  std::string out;
  out.reserve(s.size());
  if (auto bad = AppendXmlAttributeText(out, s, true))
    throw EcvXMLExceptions(u"The character " + CharacterName(*bad) + u" cannot be written to an XML file");
  return out;
}

TcvXMLDataWriterController::TcvXMLDataWriterController(IStream* stream)
    : target_(std::make_shared<Target>(ComPtr<IStream>(stream))) {
  target_->Write(kDeclaration);
}

std::unique_ptr<TcvXMLDataWriterController> TcvXMLDataWriterController::CreateForFile(WideStringView fileName) {
  RefuseUnreadableFile(fileName);
  std::unique_ptr<TcvXMLDataWriterController> controller(new TcvXMLDataWriterController());
  controller->target_ = std::make_shared<Target>(std::make_unique<TcvSafeFileWriter>(WideToUtf8(fileName)));
  controller->target_->Write(kDeclaration);
  return controller;
}

TcvXMLDataWriterController::~TcvXMLDataWriterController() = default;

ComPtr<IcvDataWriter> TcvXMLDataWriterController::GetWriter() {
  if (Serialize) {
    if (!target_->Stream()) throw EcvXMLExceptions(u"The binary form is written to streams only");
    return MakeObject<TcvSerializeDataWriter>(target_, kRootElementName);
  }
  return MakeObject<TcvDataWriter>(target_, kRootElementName, 0);
}

// ---- the element tree --------------------------------------------------------------------

HRESULT TcvXMLDataReader::GetName(WideString* name) {
  if (!name) return E_POINTER;
  return SafeCall([&] { *name = name_; });
}

HRESULT TcvXMLDataReader::GetChildCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = static_cast<std::int32_t>(children_.size());
  return S_OK;
}

HRESULT TcvXMLDataReader::GetChild(std::int32_t index, IcvXMLDataReader** child) {
  if (!child) return E_POINTER;
  *child = nullptr;
  return SafeCall([&] {
    if (index < 0 || static_cast<std::size_t>(index) >= children_.size()) throw EcvXMLExceptions(kXmlInvalidIndex);
    *child = ComPtr<IcvXMLDataReader>(children_[static_cast<std::size_t>(index)]).Detach();
  });
}

HRESULT TcvXMLDataReader::FindChild(WideStringView name, IcvXMLDataReader** child) {
  if (!child) return E_POINTER;
  *child = nullptr;
  return SafeCall([&] {
    for (const auto& c : children_) {
      WideString childName;
      SafeCallCheck(c->GetName(&childName));
      if (SameTextIgnoringCase(childName, name)) {
        *child = ComPtr<IcvXMLDataReader>(c).Detach();
        return;
      }
    }
  });
}

HRESULT TcvXMLDataReader::GetPropertyCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = static_cast<std::int32_t>(names_.size());
  return S_OK;
}

void TcvXMLDataReader::CheckPropertyIndex(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) throw EcvXMLExceptions(kXmlInvalidIndex);
}

std::int32_t TcvXMLDataReader::IndexOfProperty(WideStringView name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (SameTextIgnoringCase(names_[i], name)) return static_cast<std::int32_t>(i);
  return -1;
}

HRESULT TcvXMLDataReader::GetProperty(std::int32_t index, IcvXMLDataReaderProperty** property) {
  if (!property) return E_POINTER;
  *property = nullptr;
  return SafeCall([&] {
    CheckPropertyIndex(index);
    const auto i = static_cast<std::size_t>(index);
    *property = MakeObject<TcvXMLDataReaderProperty>(names_[i], values_[i]).Detach();
  });
}

HRESULT TcvXMLDataReader::GetPropertyValue(std::int32_t index, OleVariant* value) {
  if (!value) return E_POINTER;
  return SafeCall([&] {
    CheckPropertyIndex(index);
    *value = OleVariant(values_[static_cast<std::size_t>(index)]);
  });
}

HRESULT TcvXMLDataReader::FindProperty(WideStringView name, IcvXMLDataReaderProperty** property) {
  if (!property) return E_POINTER;
  *property = nullptr;
  return SafeCall([&] {
    const std::int32_t i = IndexOfProperty(name);
    if (i >= 0)
      *property = MakeObject<TcvXMLDataReaderProperty>(names_[static_cast<std::size_t>(i)], values_[static_cast<std::size_t>(i)])
                      .Detach();
  });
}

HRESULT TcvXMLDataReader::FindPropertyValue(WideStringView name, const OleVariant& defaultValue, OleVariant* value) {
  if (!value) return E_POINTER;
  return SafeCall([&] {
    const std::int32_t i = IndexOfProperty(name);
    *value = i >= 0 ? OleVariant(values_[static_cast<std::size_t>(i)]) : defaultValue;
  });
}

HRESULT TcvXMLDataReader::AddChild(IcvXMLDataReader* child) {
  if (!child) return E_POINTER;
  return SafeCall([&] { children_.emplace_back(child); });
}

HRESULT TcvXMLDataReader::AddProperty(WideStringView name, WideStringView value) {
  return SafeCall([&] {
    names_.emplace_back(name);
    values_.emplace_back(value);
  });
}

void TcvXMLDataReader::Save(IStream* stream) const {
  WriteStreamWideString(stream, name_);
  WriteStreamInteger(stream, static_cast<std::int32_t>(names_.size()));
  for (std::size_t i = 0; i < names_.size(); ++i) {
    WriteStreamWideString(stream, names_[i]);
    WriteStreamWideString(stream, values_[i]);
  }
  WriteStreamInteger(stream, static_cast<std::int32_t>(children_.size()));
  for (const auto& c : children_) SafeCallCheck(c->SaveToStream(stream));
}

void TcvXMLDataReader::Load(IStream* stream, int depth) {
  if (depth > kMaxDataElementDepth) throw EcvXMLExceptions(u"The binary data of the element is nested too deeply");
  children_.clear();
  names_.clear();
  values_.clear();
  name_ = ReadStreamWideString(stream);
  const std::int32_t properties = ReadStreamInteger(stream);
  if (properties < 0) RaiseDamagedData();
  for (std::int32_t i = 0; i < properties; ++i) {
    WideString name = ReadStreamWideString(stream);
    WideString value = ReadStreamWideString(stream);
    names_.push_back(std::move(name));
    values_.push_back(std::move(value));
  }
  const std::int32_t children = ReadStreamInteger(stream);
  if (children < 0) RaiseDamagedData();
  for (std::int32_t i = 0; i < children; ++i) {
    auto child = MakeObject<TcvXMLDataReader>(u"");
    child->Load(stream, depth + 1);
    children_.emplace_back(child);
  }
}

HRESULT TcvXMLDataReader::SaveToStream(IStream* stream) {
  if (!stream) return E_POINTER;
  return SafeCall([&] { Save(stream); });
}

HRESULT TcvXMLDataReader::LoadFromStream(IStream* stream) {
  if (!stream) return E_POINTER;
  return SafeCall([&] { Load(stream, 0); });
}

// ---- reading a file ----------------------------------------------------------------------

namespace {

struct ParseState {
  XML_Parser parser = nullptr;
  std::vector<ComPtr<TcvXMLDataReader>> stack;
  ComPtr<TcvXMLDataReader> root;
  bool stopped = false;
  // Why the file did not read to its end: the line (0 when it could not be read at all) and
  // the parser's message.
  bool failed = false;
  std::int64_t line = 0;
  std::string message;

  void Fail(std::int64_t atLine, std::string text) {
    failed = true;
    line = atLine;
    message = std::move(text);
  }
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** atts) {
  auto* s = static_cast<ParseState*>(data);
  if (s->stopped) return;
  try {
    if (s->stack.size() >= static_cast<std::size_t>(kMaxDataElementDepth))
      throw EcvXMLExceptions(u"the elements are nested more than " + IntToWide(kMaxDataElementDepth) + u" levels deep");
    auto element = MakeObject<TcvXMLDataReader>(FromUtf8(name));
    for (; *atts; atts += 2) SafeCallCheck(element->AddProperty(FromUtf8(atts[0]), FromUtf8(atts[1])));
    if (!s->root) s->root = element;
    if (!s->stack.empty()) SafeCallCheck(s->stack.back()->AddChild(element.Get()));
    s->stack.push_back(element);
  } catch (const Exception& e) {
    // As at a fatal error: what was read so far stays.
    s->Fail(static_cast<std::int64_t>(XML_GetCurrentLineNumber(s->parser)), WideToUtf8(e.Message()));
    s->stopped = true;
    s->stack.clear();
    XML_StopParser(s->parser, XML_FALSE);
  } catch (...) {
    s->Fail(static_cast<std::int64_t>(XML_GetCurrentLineNumber(s->parser)), "the element cannot be read");
    s->stopped = true;
    s->stack.clear();
    XML_StopParser(s->parser, XML_FALSE);
  }
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
  auto* s = static_cast<ParseState*>(data);
  if (!s->stopped && !s->stack.empty()) s->stack.pop_back();
}

// Parses a whole file into `state`. False when there is no such file.
bool ParseDataFile(const std::string& path, ParseState& state) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    state.Fail(0, WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno))));
    return true;
  }
  state.parser = XML_ParserCreate(nullptr);
  if (!state.parser) {
    ::close(fd);
    state.Fail(0, "out of memory");
    return true;
  }
  XML_SetUserData(state.parser, &state);
  XML_SetElementHandler(state.parser, OnStart, OnEnd);
  bool empty = true;
  for (;;) {
    void* buffer = XML_GetBuffer(state.parser, 1 << 16);
    if (!buffer) {
      state.Fail(0, "out of memory");
      break;
    }
    ssize_t n = ::read(fd, buffer, 1 << 16);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      state.Fail(0, WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno))));
      break;
    }
    // An empty file holds nothing to lose.
    if (n == 0 && empty) break;
    empty = false;
    if (XML_ParseBuffer(state.parser, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
      if (!state.failed)
        state.Fail(static_cast<std::int64_t>(XML_GetCurrentLineNumber(state.parser)),
                   XML_ErrorString(XML_GetErrorCode(state.parser)));
      break;
    }
    if (n == 0) break;
  }
  XML_ParserFree(state.parser);
  state.parser = nullptr;
  ::close(fd);
  return true;
}

// A file that does not read to its end is not replaced: what could not be read would be lost.
void RefuseUnreadableFile(WideStringView fileName) {
  ParseState state;
  if (!ParseDataFile(WideToUtf8(fileName), state) || !state.failed) return;
  const WideString where = state.line > 0 ? u"line " + IntToWide(state.line) + u": " : WideString();
  throw EcvXMLExceptions(u"Cannot save the " + WideString(fileName) + u" file: it could not be read (" + where +
                         Utf8ToWide(state.message) + u"), and saving would lose its content.");
}

}  // namespace

ComPtr<IcvXMLDataReader> TcvXMLDataReaderController::Parse() {
  if (fileName_.empty()) return nullptr;
  ParseState state;
  ParseDataFile(WideToUtf8(fileName_), state);
  return state.root;
}

ComPtr<IcvXMLDataReader> TcvXMLDataReaderController::GetReader() {
  if (!reader_) {
    reader_ = Parse();
    if (!reader_) reader_ = MakeObject<TcvXMLDataReader>(kEmptyReaderName);
  }
  return reader_;
}

}  // namespace pw
