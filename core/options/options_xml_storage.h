// The options XML file: the storage behind an options tree.
//
// On first use the storage parses the whole file into records of nodes and properties; the
// tree then reads and writes those records through storage identities; the outermost
// EndUpdate rewrites the whole file from the records (through a temporary file beside it, so
// the file is never left half written).
//
// File format (UTF-8): the XML declaration, a DOCTYPE with an internal subset, the root element
// `Nodes` (attribute `version` "1") holding one `Node` (the tree's root, written with the name
// "root"); a `Node` holds its child `Node` elements, then its properties as empty `Prp`
// elements with the attributes `name`, `type` (one of I S D L H B) and `value`.
//
// A file that does not parse reads as an empty tree; the storage remembers why (LoadFailure)
// and refuses to save over that file, so that nothing in it is lost. Only a regular file is
// read or replaced: a folder, a device or a FIFO is refused without waiting on it.
//
// The whole file goes to the XML parser in one piece (a token is scanned once however long it
// is); LoadFromMemory and SaveToMemory do the same with bytes in memory instead of the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/com/interfaced_object.h"
#include "core/options/options_intf.h"

namespace pw {

class TcvSAX2OptionsReader final : public Implements<TcvInterfacedObject, IcvOptionsReader> {
 public:
  // `fileName` is the file's name (UTF-16; UTF-8 at the operating system). With sortOnWrite,
  // children and properties are written sorted by name (ignoring case).
  TcvSAX2OptionsReader(WideStringView fileName, bool sortOnWrite);
  ~TcvSAX2OptionsReader() override;

  // Why the file read as an empty tree; `failed` is false when it read cleanly or was not
  // read (yet).
  struct LoadFailure {
    bool failed = false;
    std::int64_t line = 0;  // 0 when the file could not be read at all
    WideString message;
  };
  const LoadFailure& GetLoadFailure() const { return failure_; }
  // "line 3: unknown property type 'X'"-style text of the failure.
  WideString LoadFailureText() const;
  const WideString& FileName() const { return fileName_; }

  // Parses `bytes` as the file's content (replacing whatever was read), as GetRoot parses the
  // file; the load failure tells how it went.
  void LoadFromMemory(std::string_view bytes);
  // The file's bytes as EndUpdate would write them (deleted records are dropped first);
  // raises EcvOptionsException for a tree that no file can hold.
  std::string SaveToMemory();

  // IcvOptionsReader
  void GetStorageInfo(CV_OPTIONS_STORAGE_INFO& info) override;
  TcvCookie GetRoot() override;
  void GetChildNodes(TcvCookie node, TPropertyCookiesArray& children) override;
  WideString GetNodeName(TcvCookie node) override;
  void GetPropertyList(TcvCookie node, TPropertyCookiesArray& properties) override;
  void GetPropertyDescription(TcvCookie property, TPropertyDescription& description) override;
  void ReadBinary(TcvCookie property, void* buffer, std::int32_t& size) override;
  TcvCookie AddNode(TcvCookie parent, WideStringView name) override;
  void DeleteNode(TcvCookie node) override;
  TcvCookie AddProperty(TcvCookie node, WideStringView name, TcvPropertyType type) override;
  void DeleteProperty(TcvCookie property) override;
  void SetInteger(TcvCookie property, std::int32_t value) override;
  void SetString(TcvCookie property, WideStringView value) override;
  void SetDouble(TcvCookie property, double value) override;
  void SetInt64(TcvCookie property, std::int64_t value) override;
  void SetBinary(TcvCookie property, const void* data, std::int32_t size) override;
  void SetBoolean(TcvCookie property, bool value) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void BeginNodeUpdate(TcvCookie node) override;
  void EndNodeUpdate(TcvCookie node) override;
  void Clear() override;

  struct NodeRecord;
  struct PropertyRecord;
  class Parser;

 private:
  NodeRecord* NewNode(NodeRecord* parent, WideString name);
  // Inserts after `after`, or at the head of the list when it is nil.
  PropertyRecord* NewProperty(NodeRecord* node, WideString name, TcvPropertyType type, PropertyRecord* after);
  NodeRecord* NodeAt(TcvCookie id) const;
  PropertyRecord* PropertyAt(TcvCookie id) const;
  PropertyRecord* TypedProperty(TcvCookie id, TcvPropertyType type) const;
  void FreeNode(NodeRecord* node);
  void FreeProperty(PropertyRecord* property);
  void FreeContent(NodeRecord* node);
  void MarkDeleted(NodeRecord* node);
  void Purge(NodeRecord* node);
  void Parse();
  void ParseBytes(std::string_view bytes);
  void ProbeFile();
  void WriteFile();
  // Sends the file's bytes to `sink` in pieces.
  void WriteTo(const std::function<void(std::string_view)>& sink);

  friend class Parser;

  // Records come from the heap one by one. A project keeps one storage per item open, most of
  // them holding a few records: a block pool of its own per storage (64 KiB pages) gave each
  // such storage a page of memory that nothing else shared, which the system had to supply on
  // first touch and take back at close; the heap packs the records of many storages together.
  WideString fileName_;
  std::string path_;  // UTF-8
  bool sortOnWrite_;
  NodeRecord* root_ = nullptr;
  std::int32_t updateLevel_ = 0;
  bool startEmpty_ = false;
  LoadFailure failure_;
  // Identity -> record; slot 0 is never used, freed records leave an empty slot.
  struct Slot {
    void* record = nullptr;
    bool node = false;
  };
  std::vector<Slot> slots_;
};

// A storage for the options XML file `fileName`, as the tree takes it.
ComPtr<IcvOptionsReader> CreateOptionsXmlReader(WideStringView fileName, bool sortOnWrite);

// The longest name of a node or property (UTF-16 code units) that a file may hold: names are
// keys that programs choose, and every line of a dump repeats the names above it, so a
// longer name would only multiply what a reader has to hold. Longer names do not parse and
// are not written.
inline constexpr std::size_t kMaxOptionsNameLength = 255;

}  // namespace pw
