// The component stream and collections: collection bookkeeping and notices, a collection's
// items in the stream, and a table of damaged or hostile streams that the reader refuses with
// a clear error.
#include "platform/rtl/filer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/rtl/collection.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

class TNode;

// A collection of named items, each holding a number and a collection of its own.
class TNodes : public TCollection {
 public:
  TNodes();
  WideString ClassName() const override { return u"TNodes"; }
  TNode* Node(std::int32_t i) const;
  int updates = 0;
  TCollectionItem* lastUpdate = nullptr;

 protected:
  void Update(TCollectionItem* item) override {
    ++updates;
    lastUpdate = item;
  }
};

class TNode : public TCollectionItem {
 public:
  explicit TNode(TCollection* c) : TCollectionItem(c) {}
  WideString ClassName() const override { return u"TNode"; }
  void PublishedProperties(TPropList& list) override {
    list.AddWideString(
        "Name", [this] { return name; }, [this](const WideString& v) { SetName(v); });
    list.AddInteger(
        "Value", 0, [this] { return value; }, [this](std::int32_t v) { value = v; });
    list.AddObject("Children", [this] { return children.get(); });
  }
  void Assign(TPersistent* source) override {
    auto* other = dynamic_cast<TNode*>(source);
    if (!other) return TPersistent::Assign(source);
    name = other->name;
    value = other->value;
    children->Assign(other->children.get());
  }
  void SetName(const WideString& v) {
    name = v;
    Changed(false);
  }
  WideString name;
  std::int32_t value = 0;
  std::unique_ptr<TNodes> children = std::make_unique<TNodes>();
};

TNodes::TNodes() : TCollection([](TCollection* c) -> TCollectionItem* { return new TNode(c); }) {}
TNode* TNodes::Node(std::int32_t i) const { return static_cast<TNode*>(Items(i)); }

class TRoot : public TPersistent {
 public:
  WideString ClassName() const override { return u"TRoot"; }
  void PublishedProperties(TPropList& list) override {
    list.AddBoolean(
        "Flag", false, [this] { return flag; }, [this](bool v) { flag = v; });
    list.AddObject("Nodes", [this] { return &nodes; });
  }
  bool flag = false;
  TNodes nodes;
};

std::string Bytes(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.Size()));
}
std::string S(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }
std::string N(std::size_t count) { return std::string(count, '\0'); }

void Read(const std::string& bytes, TPersistent& object) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  s.SetPosition(0);
  ReadObjectFromStream(s, object);
}

TEST(Collection, ItemsJoinLeaveAndReportOutsideUpdateBrackets) {
  TNodes nodes;
  TNode* a = static_cast<TNode*>(nodes.Add());
  TNode* b = static_cast<TNode*>(nodes.Add());
  TNode* c = static_cast<TNode*>(nodes.Insert(0));
  EXPECT_EQ(nodes.Count(), 3);
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(std::vector<std::int32_t>({a->ID(), b->ID(), c->ID()}), std::vector<std::int32_t>({0, 1, 2}));
  EXPECT_EQ(nodes.FindItemID(1), b);
  a->SetIndex(99);  // clamped: last
  EXPECT_EQ(nodes.Items(2), a);
  nodes.updates = 0;
  b->SetName(u"b");
  EXPECT_EQ(nodes.updates, 1);
  EXPECT_EQ(nodes.lastUpdate, b);
  nodes.BeginUpdate();
  b->SetName(u"bb");
  delete c;  // leaves the collection
  nodes.Add();
  EXPECT_EQ(nodes.updates, 1);
  nodes.EndUpdate();
  EXPECT_EQ(nodes.updates, 2);
  EXPECT_EQ(nodes.lastUpdate, nullptr);
  EXPECT_EQ(nodes.Node(2)->ID(), 3);  // IDs are not reused
  try {
    nodes.Items(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), u"List index out of bounds (3)");
  }
  EXPECT_THROW(nodes.Insert(-1), EListError);
  TNodes copy;
  copy.Assign(&nodes);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Node(0)->name, u"bb");
  nodes.Delete(0);
  EXPECT_EQ(nodes.Count(), 2);
  nodes.Clear();
  EXPECT_EQ(nodes.Count(), 0);
}

TEST(ComponentStream, CollectionsNestAndRoundTrip) {
  TRoot root;
  TNode* x = static_cast<TNode*>(root.nodes.Add());
  x->SetName(u"x");
  x->value = -2;
  static_cast<TNode*>(x->children->Add())->value = 1000;
  TMemoryStream s;
  WriteObjectToStream(s, root, "R");
  const std::string expected = "TPF0" + S("TRoot") + S("R") + S("Nodes") + "\x0E" + "\x01" + S("Name") +
                               std::string("\x14\x01\0\0\0x", 6) + S("Value") + "\x02\xFE" + S("Children") + "\x0E" +
                               "\x01" + S("Name") + std::string("\x12\0\0\0\0", 5) + S("Value") + "\x03\xE8\x03" +
                               N(1) + N(1) + N(1) + N(1) + N(2);
  EXPECT_EQ(Bytes(s), expected);
  TRoot back;
  back.nodes.Add();
  back.nodes.Add();
  back.nodes.updates = 0;
  Read(expected, back);
  ASSERT_EQ(back.nodes.Count(), 1);
  EXPECT_EQ(back.nodes.updates, 1);  // read inside one update bracket
  EXPECT_EQ(back.nodes.Node(0)->name, u"x");
  EXPECT_EQ(back.nodes.Node(0)->value, -2);
  ASSERT_EQ(back.nodes.Node(0)->children->Count(), 1);
  EXPECT_EQ(back.nodes.Node(0)->children->Node(0)->value, 1000);
}

TEST(ComponentStream, TheReaderRefusesDamagedStreamsWithAClearError) {
  const std::string head = "TPF0" + S("TRoot") + S("");
  // Nested collections, each item opening the next: deeper than the reader goes.
  std::string deep = head;
  for (int i = 0; i < 100; ++i) deep += S(i == 0 ? "Nodes" : "Children") + "\x0E\x01";
  struct Case {
    const char* what;
    std::string bytes;
    std::u16string message;
  };
  const Case cases[] = {
      {"empty", "", u"Stream read error"},
      {"another signature", "TPF1" + S("TRoot") + S("") + N(2), u"Invalid stream format"},
      {"another class", "TPF0" + S("TNode") + S("") + N(2), u"The stream holds a TNode, not a TRoot"},
      {"a class name past the end", "TPF0\x09TRo", u"Stream read error"},
      {"no end of properties", head, u"Stream read error"},
      {"unknown property", head + S("Fleg") + "\x09" + N(2), u"Error reading TRoot.Fleg: Property Fleg does not exist"},
      {"path through a value", head + S("Flag.X") + "\x09" + N(2),
       u"Error reading TRoot.Flag.X: Property Flag does not exist"},
      {"Boolean as a number", head + S("Flag") + "\x02\x01" + N(2),
       u"Error reading TRoot.Flag: Invalid property value"},
      {"unknown value kind", head + S("Flag") + "\x63" + N(2), u"Error reading TRoot.Flag: Invalid stream format"},
      {"collection as a Boolean", head + S("Nodes") + "\x09" + N(2),
       u"Error reading TRoot.Nodes: Invalid property value"},
      {"item without its list", head + S("Nodes") + "\x0E\x09" + N(3),
       u"Error reading TRoot.Nodes: Invalid stream format"},
      {"a string longer than the data", head + S("Nodes") + "\x0E\x01" + S("Name") + "\x12\xFF\xFF\xFF\x7F" + N(4),
       u"Error reading TNode.Name: Stream read error"},
      {"a negative length", head + S("Nodes") + "\x0E\x01" + S("Name") + "\x14\xFF\xFF\xFF\xFF" + N(4),
       u"Error reading TNode.Name: Invalid property value"},
      {"an integer cut short", head + S("Nodes") + "\x0E\x01" + S("Value") + "\x04\x01\x02",
       u"Error reading TNode.Value: Stream read error"},
      {"children inside", head + N(1) + S("TNode") + S("") + N(2) + N(1),
       u"Invalid stream format: objects inside TRoot are not read"},
      {"nesting too deep", deep, u"Invalid stream format: objects nest too deeply"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TRoot root;
    try {
      Read(c.bytes, root);
      ADD_FAILURE() << "read";
    } catch (const EReadError& e) {
      if (c.message.find(u"nest too deeply") != std::u16string::npos)
        EXPECT_NE(e.Message().find(c.message), std::u16string::npos) << WideToUtf8(e.Message());
      else EXPECT_EQ(e.Message(), c.message) << WideToUtf8(e.Message());
    }
  }
}

TEST(ComponentStream, ValueKindsTheReaderAcceptsForAWideString) {
  struct Case {
    std::string bytes;
    std::u16string value;
  };
  const Case cases[] = {
      {std::string("\x12\x01\0\0\0\xAC\x20", 7), u"\u20ac"}, {std::string("\x14\x03\0\0\0\xE2\x82\xAC", 8), u"\u20ac"},
      {std::string("\x14\x01\0\0\0\xFF", 6), u"\uFFFD"},  // not UTF-8
      {std::string("\x06\x01\x80", 3), u"\u20ac"},        // the system code page
      {std::string("\x0C\x01\0\0\0\x80", 6), u"\u20ac"},
  };
  for (const auto& c : cases) {
    TMemoryStream s;
    s.WriteBuffer(c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()));
    s.SetPosition(0);
    TReader r(s);
    EXPECT_EQ(r.ReadWideString(), c.value);
    EXPECT_EQ(s.Position(), s.Size());
  }
}

}  // namespace
}  // namespace pw
