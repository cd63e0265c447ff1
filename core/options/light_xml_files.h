// Light XML data files: one tree of elements, each with a name, attributes (name and text) and
// child elements, no text content.
//
// The writer streams the tree out element by element through IcvDataWriter; for every element
// the caller keeps the order BeginWrite, Write..., FlushProp, the children (CreateChild and the
// child's own sequence), EndWrite. Written form (UTF-8, CR LF line ends, no byte-order mark):
//
//   <?xml version="1.0" encoding="UTF-8" standalone="no"?>
//   <Root a="1" b="x">
//   <TAB><Child c="True" />
//   </Root>
//
// A file is written to a temporary file beside it, which replaces it when the root element is
// ended; a write that stops before that leaves the old file as it was.
//
// The reader parses a whole file into TcvXMLDataReader elements. The same tree has a binary
// form (32-bit little-endian counts, strings as their UTF-16 length and code units):
// SaveToStream and LoadFromStream.
//
// Attribute values cross these interfaces as texts: callers convert them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/com/interfaced_object.h"
#include "platform/rtl/istream.h"
#include "platform/automation/variant.h"

namespace pw {

class EcvXMLExceptions : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr const char16_t* kXmlInvalidIndex = u"Invalid index";
// The name of the element that a file which cannot be read gives.
inline constexpr const char16_t* kEmptyReaderName = u"{A236F65B-C3D4-416F-8212-138906E06E06}";
// The name of every writer's root element.
inline constexpr const char16_t* kRootElementName = u"Root";
// The deepest nesting that a file or a binary form may hold.
inline constexpr int kMaxDataElementDepth = 1000;

struct IcvDataWriter : IUnknown {
  static constexpr IID iid = MakeGuid("{F3775DEF-9476-4531-8B05-ABB03FBA1C4C}");
  virtual HRESULT BeginWrite() = 0;
  // Writes the start tag with the attributes given so far.
  virtual HRESULT FlushProp() = 0;
  virtual HRESULT EndWrite() = 0;
  virtual HRESULT CreateChild(WideStringView name, IcvDataWriter** writer) = 0;
  virtual HRESULT WriteInteger(WideStringView name, std::int32_t value) = 0;
  virtual HRESULT WriteString(WideStringView name, WideStringView value) = 0;
  virtual HRESULT WriteInt64(WideStringView name, std::int64_t value) = 0;
  virtual HRESULT WriteDouble(WideStringView name, double value) = 0;
  // Any non-zero value is True.
  virtual HRESULT WriteBoolean(WideStringView name, WordBool value) = 0;
};

struct IcvXMLDataReaderProperty : IUnknown {
  static constexpr IID iid = MakeGuid("{8683AE9A-40A1-40A2-98EA-200C785006D1}");
  virtual HRESULT GetName(WideString* name) = 0;
  // The attribute's text, as a string variant: callers convert it.
  virtual HRESULT GetValue(OleVariant* value) = 0;
};

struct IcvXMLDataReader : IUnknown {
  static constexpr IID iid = MakeGuid("{40BD8DA3-72A0-4678-BE22-5499CE6EE42C}");
  virtual HRESULT GetName(WideString* name) = 0;
  virtual HRESULT GetChildCount(std::int32_t* count) = 0;
  // Fails with "Invalid index" outside 0 .. count - 1.
  virtual HRESULT GetChild(std::int32_t index, IcvXMLDataReader** child) = 0;
  // The first child of that name (ignoring case), or nil.
  virtual HRESULT FindChild(WideStringView name, IcvXMLDataReader** child) = 0;
  virtual HRESULT GetPropertyCount(std::int32_t* count) = 0;
  virtual HRESULT GetProperty(std::int32_t index, IcvXMLDataReaderProperty** property) = 0;
  virtual HRESULT GetPropertyValue(std::int32_t index, OleVariant* value) = 0;
  // The first attribute of that name (ignoring case), or nil.
  virtual HRESULT FindProperty(WideStringView name, IcvXMLDataReaderProperty** property) = 0;
  // The attribute's text, or a copy of defaultValue when there is no such attribute.
  virtual HRESULT FindPropertyValue(WideStringView name, const OleVariant& defaultValue, OleVariant* value) = 0;
  virtual HRESULT SaveToStream(IStream* stream) = 0;
  // Replaces the element's content with the element read from the stream.
  virtual HRESULT LoadFromStream(IStream* stream) = 0;
};

struct IcvXMLDataReaderInternal : IcvXMLDataReader {
  static constexpr IID iid = MakeGuid("{D088F8A6-3154-47A8-8468-9737E2675C34}");
  using Inherited = IcvXMLDataReader;
  virtual HRESULT AddChild(IcvXMLDataReader* child) = 0;
  virtual HRESULT AddProperty(WideStringView name, WideStringView value) = 0;
};

class TcvXMLDataReader final : public Implements<TcvInterfacedObject, IcvXMLDataReaderInternal> {
 public:
  explicit TcvXMLDataReader(WideStringView name) : name_(name) {}

  HRESULT GetName(WideString* name) override;
  HRESULT GetChildCount(std::int32_t* count) override;
  HRESULT GetChild(std::int32_t index, IcvXMLDataReader** child) override;
  HRESULT FindChild(WideStringView name, IcvXMLDataReader** child) override;
  HRESULT GetPropertyCount(std::int32_t* count) override;
  HRESULT GetProperty(std::int32_t index, IcvXMLDataReaderProperty** property) override;
  HRESULT GetPropertyValue(std::int32_t index, OleVariant* value) override;
  HRESULT FindProperty(WideStringView name, IcvXMLDataReaderProperty** property) override;
  HRESULT FindPropertyValue(WideStringView name, const OleVariant& defaultValue, OleVariant* value) override;
  HRESULT SaveToStream(IStream* stream) override;
  HRESULT LoadFromStream(IStream* stream) override;
  HRESULT AddChild(IcvXMLDataReader* child) override;
  HRESULT AddProperty(WideStringView name, WideStringView value) override;

 private:
  void Load(IStream* stream, int depth);
  void Save(IStream* stream) const;
  std::int32_t IndexOfProperty(WideStringView name) const;
  void CheckPropertyIndex(std::int32_t index) const;

  WideString name_;
  std::vector<ComPtr<IcvXMLDataReader>> children_;
  std::vector<WideString> names_;
  std::vector<WideString> values_;
};

class TcvXMLDataWriterController : public TObject {
 public:
  // Writes the XML declaration to the stream at once.
  explicit TcvXMLDataWriterController(IStream* stream);
  // Writes to a temporary file beside fileName (a UTF-16 name); ending the root element puts
  // it in place of the file. Raises EFCreateError when the temporary file cannot be made, and
  // EcvXMLExceptions when fileName exists but does not read to its end, since writing over it
  // would lose what could not be read.
  static std::unique_ptr<TcvXMLDataWriterController> CreateForFile(WideStringView fileName);
  ~TcvXMLDataWriterController() override;

  // A new root writer (named "Root") each call; the binary form when Serialize is set.
  ComPtr<IcvDataWriter> GetWriter();
  bool Serialize = false;

  class Target;

 private:
  TcvXMLDataWriterController() = default;
  std::shared_ptr<Target> target_;
};

class TcvXMLDataReaderController : public TObject {
 public:
  explicit TcvXMLDataReaderController(WideStringView fileName) : fileName_(fileName) {}
  static std::unique_ptr<TcvXMLDataReaderController> CreateEmpty() {
    return std::make_unique<TcvXMLDataReaderController>(u"");
  }

  // Parses the file on the first call and answers the same root every time: the first
  // element of the file with everything read before an error, or an empty element named
  // kEmptyReaderName when the file is missing or holds no element.
  ComPtr<IcvXMLDataReader> GetReader();

 private:
  ComPtr<IcvXMLDataReader> Parse();

  WideString fileName_;
  ComPtr<IcvXMLDataReader> reader_;
};

// Escapes a text for an attribute value: markup characters, tab, line feed and carriage
// return become references, and so do spaces that stand beside another space. Raises
// EcvXMLExceptions for a character that XML cannot hold.
std::string EscapeXMLText(WideStringView s);

}  // namespace pw
