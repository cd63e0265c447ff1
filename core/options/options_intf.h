// The options tree's interfaces and the records it shares with its storage.
//
// An options tree is a tree of named nodes, each with a table of typed, named properties. The
// host and the project tree use it through IcvOptionsNode and IcvOptionsProperties (COM rules:
// HRESULT results, exceptions become failure codes with error information). The tree keeps
// itself in step with a storage behind IcvOptionsReader; IcvOptionsBuilder makes the tree and
// binds it to a storage. Those two, like IcvOptionsNodeInternal, are module-internal: their
// operations raise exceptions instead of answering failure codes.
//
// Strings cross these interfaces as WideStringView in and WideString* out.
#pragma once

#include <cstdint>
#include <vector>

#include "core/containers/checked_iterators.h"
#include "platform/com/comptr.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/unknown.h"

namespace pw {

// Property type codes; also the index of the type letter in the options XML file.
using TcvPropertyType = std::int32_t;
inline constexpr TcvPropertyType ptInteger = 0;
inline constexpr TcvPropertyType ptString = 1;
inline constexpr TcvPropertyType ptDouble = 2;
inline constexpr TcvPropertyType ptInt64 = 3;
inline constexpr TcvPropertyType ptBinary = 4;
inline constexpr TcvPropertyType ptBoolean = 5;
// What a type query answers for a property that does not exist.
inline constexpr TcvPropertyType ptNotExists = 0x8000;

// The English name of a type code ("Integer", ...), empty for an unknown code.
const char16_t* PropertyTypeName(TcvPropertyType type);

// A storage identity: 0 means "not stored yet".
using TcvCookie = std::uint32_t;
using TPropertyCookiesArray = std::vector<TcvCookie>;

// What the storage reports for one stored property; only the field of its type is meaningful.
struct TPropertyDescription {
  WideString Name;
  TcvPropertyType Type = ptInteger;
  std::int32_t IntValue = 0;
  WideString StrValue;
  double DoubleValue = 0;
  std::int64_t Int64Value = 0;
  bool BoolValue = false;
  std::int32_t BinarySize = 0;
};

struct CV_OPTIONS_STORAGE_INFO {
  std::int32_t Kind = 0;  // 1: a file
  WideString Location;    // the file name
};

struct CV_PROPERTY_DESCRIPTION {
  WideString Name;  // lower case
  TcvPropertyType Type = ptInteger;
};

// Every failure of the options tree and its storages.
class EcvOptionsException : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr const char16_t* kOptNoReader = u"No reader assigned";
inline constexpr const char16_t* kOptInvalidType = u"Invalid property type";
inline constexpr const char16_t* kOptNoProperty = u"The property does not exist";
inline constexpr const char16_t* kOptIteratorMisuse = u"The iterator is used incorrectly";
inline constexpr const char16_t* kOptCopyToItself = u"Cannot copy the node to itself";
inline constexpr const char16_t* kOptNodeWithoutName = u"Cannot get the node without a name";
inline constexpr const char16_t* kOptNoTempSpace = u"Not enough disk space in the temporary directory.";
inline constexpr const char16_t* kOptCannotOpenFile = u"Cannot open the %s file. Reason: %s";

struct IcvOptionsNode;
struct IcvOptionsProperties;

// The storage as the tree sees it. Module-internal; operations raise on failure.
struct IcvOptionsReader : IUnknown {
  static constexpr IID iid = MakeGuid("{FB0F6CB9-7051-48EA-BDDD-C0A5B978A7D0}");
  virtual void GetStorageInfo(CV_OPTIONS_STORAGE_INFO& info) = 0;
  virtual TcvCookie GetRoot() = 0;
  virtual void GetChildNodes(TcvCookie node, TPropertyCookiesArray& children) = 0;
  virtual WideString GetNodeName(TcvCookie node) = 0;
  virtual void GetPropertyList(TcvCookie node, TPropertyCookiesArray& properties) = 0;
  virtual void GetPropertyDescription(TcvCookie property, TPropertyDescription& description) = 0;
  // Copies min(size, stored length) bytes and sets size to that number.
  virtual void ReadBinary(TcvCookie property, void* buffer, std::int32_t& size) = 0;
  virtual TcvCookie AddNode(TcvCookie parent, WideStringView name) = 0;
  virtual void DeleteNode(TcvCookie node) = 0;
  virtual TcvCookie AddProperty(TcvCookie node, WideStringView name, TcvPropertyType type) = 0;
  virtual void DeleteProperty(TcvCookie property) = 0;
  virtual void SetInteger(TcvCookie property, std::int32_t value) = 0;
  virtual void SetString(TcvCookie property, WideStringView value) = 0;
  virtual void SetDouble(TcvCookie property, double value) = 0;
  virtual void SetInt64(TcvCookie property, std::int64_t value) = 0;
  virtual void SetBinary(TcvCookie property, const void* data, std::int32_t size) = 0;
  virtual void SetBoolean(TcvCookie property, bool value) = 0;
  virtual void BeginUpdate() = 0;
  // The storage commits at the outermost EndUpdate.
  virtual void EndUpdate() = 0;
  virtual void BeginNodeUpdate(TcvCookie node) = 0;
  virtual void EndNodeUpdate(TcvCookie node) = 0;
  // The storage is to start empty: the next save writes the whole tree into it.
  virtual void Clear() = 0;
};

// Iterators over the live children of a node and over the present properties of a table.
// They are checked: every operation after the walked collection changed raises
// EcvOptionsException "The iterator is used incorrectly", as does Next at the end.
struct IcvOptionsNodeIterator : IcvIterator {
  static constexpr IID iid = MakeGuid("{F39421D0-ABA5-4CF1-B206-5CDA51B2A31D}");
  using Inherited = IcvIterator;
  virtual void Next(ComPtr<IcvOptionsNode>& node) = 0;
};

struct IcvPropertiesIterator : IcvIterator {
  static constexpr IID iid = MakeGuid("{92BE422C-B52A-4D07-8D07-4223D1BA5296}");
  using Inherited = IcvIterator;
  // The name comes in lower case.
  virtual void Next(CV_PROPERTY_DESCRIPTION& description) = 0;
};

// A node of the tree. Names compare ignoring case and are reported in lower case.
struct IcvOptionsNode : IUnknown {
  static constexpr IID iid = MakeGuid("{85A753A9-022E-42AC-818D-77679EA52F29}");
  virtual HRESULT GetName(WideString* name) = 0;
  // The child of that name, created when missing.
  virtual HRESULT GetNode(WideStringView name, IcvOptionsNode** node) = 0;
  virtual HRESULT DeleteNode(WideStringView name) = 0;
  virtual HRESULT NodeExists(WideStringView name, WordBool* exists) = 0;
  // Deletes every child and every property; the node itself stays.
  virtual HRESULT Clear() = 0;
  // Copies the whole content into destination, overwriting name by name.
  virtual HRESULT CopyTo(IcvOptionsNode* destination) = 0;
  virtual HRESULT GetNodes(IcvOptionsNodeIterator** iterator) = 0;
  virtual HRESULT GetProperties(IcvOptionsProperties** properties) = 0;
  virtual HRESULT IsModified(WordBool* modified) = 0;
  virtual HRESULT GetStorageInfo(CV_OPTIONS_STORAGE_INFO* info) = 0;
};

// Module-internal.
struct IcvOptionsNodeInternal : IUnknown {
  static constexpr IID iid = MakeGuid("{4E804390-F98C-4DAF-B4B5-2803F72F5523}");
  // Drops the node's content from memory and deletes its stored records.
  virtual void ReleaseContent() = 0;
};

// The property table of a node. A getter answers its default for a missing property and
// fails with "Invalid property type" for a property of another type; a setter creates the
// property or changes its type.
struct IcvOptionsProperties : IUnknown {
  static constexpr IID iid = MakeGuid("{0EFA31D8-7670-4532-A9E1-0AC737E491CC}");
  virtual HRESULT GetInteger(WideStringView name, std::int32_t defaultValue, std::int32_t* value) = 0;
  virtual HRESULT GetString(WideStringView name, WideStringView defaultValue, WideString* value) = 0;
  virtual HRESULT GetInt64(WideStringView name, std::int64_t defaultValue, std::int64_t* value) = 0;
  virtual HRESULT GetDouble(WideStringView name, double defaultValue, double* value) = 0;
  // Copies up to bufferSize bytes; *copied is 0 for a missing property.
  virtual HRESULT GetBinary(WideStringView name, void* buffer, std::int32_t bufferSize, std::int32_t* copied) = 0;
  virtual HRESULT GetBoolean(WideStringView name, WordBool defaultValue, WordBool* value) = 0;
  virtual HRESULT SetInteger(WideStringView name, std::int32_t value) = 0;
  virtual HRESULT SetString(WideStringView name, WideStringView value) = 0;
  virtual HRESULT SetInt64(WideStringView name, std::int64_t value) = 0;
  virtual HRESULT SetDouble(WideStringView name, double value) = 0;
  virtual HRESULT SetBinary(WideStringView name, const void* data, std::int32_t size, WordBool compressed) = 0;
  virtual HRESULT SetBoolean(WideStringView name, WordBool value) = 0;
  virtual HRESULT GetBinarySize(WideStringView name, std::int32_t* size) = 0;
  virtual HRESULT PropertyExists(WideStringView name, WordBool* exists) = 0;
  virtual HRESULT GetIterator(IcvPropertiesIterator** iterator) = 0;
  // Marks every property deleted.
  virtual HRESULT Clear() = 0;
};

struct IcvOptionsPropertyTypes : IUnknown {
  static constexpr IID iid = MakeGuid("{1D0BFE81-F9BD-4AC4-82DA-8BE3C4A7A49E}");
  // The type code of a present property, ptNotExists when it is missing or deleted.
  virtual HRESULT GetPropertyType(WideStringView name, TcvPropertyType* type) = 0;
};

// Makes a tree and binds it to a storage. Module-internal; operations raise on failure.
struct IcvOptionsBuilder : IUnknown {
  static constexpr IID iid = MakeGuid("{39AFA89E-FFB0-43AF-B126-DCEF4E3DB1CA}");
  // Moves the tree to another storage (nil detaches it, keeping the content in memory).
  virtual void SetReader(IcvOptionsReader* reader) = 0;
  virtual ComPtr<IcvOptionsReader> GetReader() = 0;
  virtual ComPtr<IcvOptionsNode> GetRoot() = 0;
  // Sends the storage what changed since the last load or save.
  virtual void Save() = 0;
  // Reads the whole tree from the storage.
  virtual void LoadAll() = 0;
  virtual void ReleaseReader() = 0;
};

// The deepest nesting of nodes (the root is the first level) that a file may hold and that a
// tree saves: deeper files do not parse, deeper trees are refused before the save recurses.
inline constexpr int kMaxOptionsNodeDepth = 1000;

}  // namespace pw
