#include <gtest/gtest.h>

#include "core/options/options_name_pool.h"
#include "core/options/options_xml_storage.h"
#include "options_test_support.h"

namespace pw {
namespace {

using namespace pw::test;

class OptionsTree : public ::testing::Test {
 protected:
  ComPtr<IcvOptionsBuilder> builder = CreateOptionsBuilder();
  ComPtr<IcvOptionsNode> root = builder->GetRoot();
};

TEST_F(OptionsTree, NamesArePooledIgnoringCaseAndReportedInLowerCase) {
  auto a = Child(root.Get(), u"Settings");
  auto b = Child(root.Get(), u"SETTINGS");
  EXPECT_EQ(a.Get(), b.Get());
  WideString name;
  SafeCallCheck(a->GetName(&name));
  EXPECT_EQ(name, u"settings");
  EXPECT_TRUE(Exists(root.Get(), u"sEtTiNgS"));
  EXPECT_EQ(ChildNames(root.Get()), std::vector<WideString>{u"settings"});

  auto props = Props(a.Get());
  SafeCallCheck(props->SetInteger(u"Width", 1));
  SafeCallCheck(props->SetInteger(u"WIDTH", 2));
  EXPECT_EQ(GetInt(props.Get(), u"width"), 2);
  EXPECT_EQ(PropertyList(props.Get()), (std::vector<std::pair<WideString, TcvPropertyType>>{{u"width", ptInteger}}));

  // Non-ASCII names fold too, and the pool counts every user of a name.
  auto c = Child(root.Get(), u"\u00C4RGER");
  EXPECT_EQ(c.Get(), Child(root.Get(), u"\u00E4rger").Get());
  EXPECT_EQ(OptionsNamePool()->UseCount(u"\u00E4RGER"), 1);
}

TEST_F(OptionsTree, NamesLeaveThePoolWithTheirLastUser) {
  {
    auto other = CreateOptionsBuilder();
    Child(other->GetRoot().Get(), u"OnlyHereName");
    SafeCallCheck(Props(other->GetRoot().Get())->SetString(u"OnlyHereProperty", u"x"));
    EXPECT_EQ(OptionsNamePool()->UseCount(u"onlyherename"), 1);
    EXPECT_EQ(OptionsNamePool()->UseCount(u"onlyhereproperty"), 1);
  }
  EXPECT_EQ(OptionsNamePool()->Find(u"onlyherename"), nullptr);
  EXPECT_EQ(OptionsNamePool()->Find(u"onlyhereproperty"), nullptr);
}

TEST_F(OptionsTree, NodeOperationsReportTheirFailures) {
  ComPtr<IcvOptionsNode> none;
  EXPECT_EQ(FailureMessage(root->GetNode(u"", none.Put())), "Cannot get the node without a name");
  EXPECT_EQ(FailureMessage(root->CopyTo(root.Get())), "Cannot copy the node to itself");
  // Copying into a node below the source would never end.
  auto inner = Path(root.Get(), u"a/b");
  EXPECT_EQ(FailureMessage(Child(root.Get(), u"a")->CopyTo(inner.Get())), "Cannot copy the node to itself");
  EXPECT_EQ(FailureMessage(builder->GetRoot()->DeleteNode(u"missing")), "");
  EXPECT_THROW(builder->Save(), EcvOptionsException);
}

TEST_F(OptionsTree, PropertyGettersAndTypes) {
  auto p = Props(root.Get());
  SafeCallCheck(p->SetInteger(u"i", -5));
  SafeCallCheck(p->SetString(u"s", u"text"));
  SafeCallCheck(p->SetDouble(u"d", 0.25));
  SafeCallCheck(p->SetInt64(u"l", INT64_MIN));
  SafeCallCheck(p->SetBoolean(u"b", 2));  // any non-zero value is true
  const std::uint8_t bytes[] = {1, 2, 3};
  SafeCallCheck(p->SetBinary(u"h", bytes, 3, WordFalse));

  double d = 0;
  std::int64_t l = 0;
  WordBool b = 0;
  SafeCallCheck(p->GetDouble(u"d", 9, &d));
  SafeCallCheck(p->GetInt64(u"l", 9, &l));
  SafeCallCheck(p->GetBoolean(u"b", WordFalse, &b));
  EXPECT_EQ(GetInt(p.Get(), u"i"), -5);
  EXPECT_EQ(GetStr(p.Get(), u"s"), u"text");
  EXPECT_EQ(d, 0.25);
  EXPECT_EQ(l, INT64_MIN);
  EXPECT_EQ(b, WordTrue);
  EXPECT_EQ(GetBin(p.Get(), u"h"), (std::vector<std::uint8_t>{1, 2, 3}));

  // Missing names answer the default; other types fail.
  EXPECT_EQ(GetInt(p.Get(), u"missing", 42), 42);
  EXPECT_EQ(GetStr(p.Get(), u"missing", u"dflt"), u"dflt");
  std::int32_t i = 0;
  EXPECT_EQ(FailureMessage(p->GetInteger(u"s", 0, &i)), "Invalid property type");
  EXPECT_EQ(FailureMessage(p->GetBinarySize(u"i", &i)), "Invalid property type");
  EXPECT_EQ(FailureMessage(p->GetBinarySize(u"missing", &i)), "The property does not exist");
  std::int32_t copied = 5;
  SafeCallCheck(p->GetBinary(u"missing", nullptr, 0, &copied));
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(TypeOf(p.Get(), u"missing"), ptNotExists);
  EXPECT_EQ(TypeOf(p.Get(), u"L"), ptInt64);
  EXPECT_NE(p->SetBinary(u"bad", bytes, -1, WordFalse), S_OK);

  // Clear marks all deleted: getters answer defaults again.
  SafeCallCheck(p->Clear());
  EXPECT_EQ(GetInt(p.Get(), u"i"), -7);
  EXPECT_TRUE(PropertyList(p.Get()).empty());
}

TEST_F(OptionsTree, DeletedNodeComesBackEmptyWhenAskedForAgain) {
  auto settings = Path(root.Get(), u"settings");
  Path(settings.Get(), u"inner/deeper");
  SafeCallCheck(Props(settings.Get())->SetString(u"name", u"value"));
  SafeCallCheck(root->DeleteNode(u"SETTINGS"));
  EXPECT_FALSE(Exists(root.Get(), u"settings"));
  EXPECT_TRUE(ChildNames(root.Get()).empty());

  auto again = Child(root.Get(), u"settings");
  EXPECT_EQ(again.Get(), settings.Get());
  EXPECT_TRUE(ChildNames(again.Get()).empty());
  EXPECT_EQ(GetStr(Props(again.Get()).Get(), u"name"), u"<none>");

  EXPECT_EQ(Path(root.Get(), u"x/y")->GetName(nullptr), E_POINTER);
  SafeCallCheck(root->Clear());
  EXPECT_TRUE(ChildNames(root.Get()).empty());
  EXPECT_FALSE(Exists(root.Get(), u"x"));
}

// The look-ahead iterators must not skip or repeat a child when the walked table changes, so
// every change of the table ends the walk.
TEST_F(OptionsTree, ChangingAWalkedCollectionEndsTheWalk) {
  for (int i = 0; i < 3; ++i) Child(root.Get(), u"c" + IntToWide(i));
  SafeCallCheck(Props(root.Get())->SetInteger(u"p", 1));

  struct Case {
    const char* what;
    std::function<void()> change;
    bool invalidates;
  };
  const Case cases[] = {
      {"deleting a child", [&] { SafeCallCheck(root->DeleteNode(u"c1")); }, true},
      {"creating a child", [&] { Child(root.Get(), u"new"); }, true},
      {"asking for an existing child", [&] { Child(root.Get(), u"c0"); }, false},
      {"clearing the node", [&] { SafeCallCheck(root->Clear()); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IcvOptionsNodeIterator> it;
    SafeCallCheck(root->GetNodes(it.Put()));
    c.change();
    const std::string expected = c.invalidates ? "The iterator is used incorrectly" : "";
    EXPECT_EQ(RaisedMessage([&] { it->HasNext(); }), expected);
    EXPECT_EQ(RaisedMessage([&] { it->Skip(1); }), expected);
    EXPECT_EQ(RaisedMessage([&] { it->Reset(); }), expected);
    if (c.invalidates) {
      ComPtr<IcvOptionsNode> n;
      EXPECT_EQ(RaisedMessage([&] { it->Next(n); }), expected);
    }
  }

  auto props = Props(Child(root.Get(), u"fresh").Get());
  SafeCallCheck(props->SetInteger(u"a", 1));
  ComPtr<IcvPropertiesIterator> pit;
  SafeCallCheck(props->GetIterator(pit.Put()));
  SafeCallCheck(props->SetInteger(u"a", 2));  // a new value of an existing property
  EXPECT_EQ(RaisedMessage([&] { pit->HasNext(); }), "");
  SafeCallCheck(props->SetInteger(u"b", 1));  // a new property
  EXPECT_EQ(RaisedMessage([&] { pit->HasNext(); }), "The iterator is used incorrectly");

  // Properties that are cleared, or that come back after a Clear, leave or join the walk too:
  // the walk must not hand out a deleted property or miss one that came back.
  SafeCallCheck(props->GetIterator(pit.Put()));
  SafeCallCheck(props->Clear());
  CV_PROPERTY_DESCRIPTION d;
  EXPECT_EQ(RaisedMessage([&] { pit->Next(d); }), "The iterator is used incorrectly");
  SafeCallCheck(props->GetIterator(pit.Put()));
  SafeCallCheck(props->Clear());  // nothing is present: nothing changes
  EXPECT_EQ(RaisedMessage([&] { pit->HasNext(); }), "");
  SafeCallCheck(props->SetInteger(u"a", 3));
  EXPECT_EQ(RaisedMessage([&] { pit->HasNext(); }), "The iterator is used incorrectly");
  SafeCallCheck(props->GetIterator(pit.Put()));
  SafeCallCheck(root->DeleteNode(u"fresh"));
  EXPECT_EQ(RaisedMessage([&] { pit->Next(d); }), "The iterator is used incorrectly");
}

TEST_F(OptionsTree, IteratorsVisitEveryLiveEntryOnceAndSkip) {
  for (int i = 0; i < 100; ++i) Child(root.Get(), u"n" + IntToWide(i));
  SafeCallCheck(root->DeleteNode(u"n50"));
  EXPECT_EQ(ChildNames(root.Get()).size(), 99u);

  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(root->GetNodes(it.Put()));
  it->Skip(98);
  EXPECT_TRUE(it->HasNext());
  ComPtr<IcvOptionsNode> last;
  it->Next(last);
  EXPECT_FALSE(it->HasNext());
  EXPECT_EQ(RaisedMessage([&] { it->Next(last); }), "The iterator is used incorrectly");
  it->Reset();
  EXPECT_TRUE(it->HasNext());
  // The iterator answers the host's iterator interface too.
  EXPECT_TRUE(it.As<IcvIterator>());
}

TEST_F(OptionsTree, CopyToCopiesEverythingAndKeepsWhatTheDestinationHas) {
  auto src = Path(root.Get(), u"src");
  SafeCallCheck(Props(Path(src.Get(), u"a/b").Get())->SetString(u"s", u"deep"));
  SafeCallCheck(Props(src.Get())->SetInteger(u"i", 1));
  std::vector<std::uint8_t> big(20000, 7);
  SafeCallCheck(Props(src.Get())->SetBinary(u"big", big.data(), 20000, WordTrue));
  Child(src.Get(), u"gone");
  SafeCallCheck(src->DeleteNode(u"gone"));

  auto other = CreateOptionsBuilder();
  auto dst = other->GetRoot();
  SafeCallCheck(Props(dst.Get())->SetInteger(u"i", 5));
  SafeCallCheck(Props(dst.Get())->SetInteger(u"kept", 9));
  SafeCallCheck(src->CopyTo(dst.Get()));

  EXPECT_EQ(ChildNames(dst.Get()), std::vector<WideString>{u"a"});
  EXPECT_EQ(GetStr(Props(Path(dst.Get(), u"a/b").Get()).Get(), u"s"), u"deep");
  EXPECT_EQ(GetInt(Props(dst.Get()).Get(), u"i"), 1);
  EXPECT_EQ(GetInt(Props(dst.Get()).Get(), u"kept"), 9);
  EXPECT_EQ(GetBin(Props(dst.Get()).Get(), u"big"), big);

  // Copying into an ancestor is finite.
  SafeCallCheck(Path(root.Get(), u"src/a")->CopyTo(root.Get()));
  EXPECT_TRUE(Exists(root.Get(), u"b"));
}

TEST_F(OptionsTree, TypeChangeKeepsOneProperty) {
  auto p = Props(root.Get());
  SafeCallCheck(p->SetInteger(u"Value", 1));
  SafeCallCheck(p->SetString(u"VALUE", u"one"));
  EXPECT_EQ(TypeOf(p.Get(), u"value"), ptString);
  EXPECT_EQ(PropertyList(p.Get()), (std::vector<std::pair<WideString, TcvPropertyType>>{{u"value", ptString}}));
}

TEST_F(OptionsTree, InterfacesKeepTheTreeAliveAndSurviveTheirNodesRemoval) {
  ComPtr<IcvOptionsNode> held;
  ComPtr<IcvOptionsProperties> heldProps;
  {
    auto b = CreateOptionsBuilder();
    held = Path(b->GetRoot().Get(), u"a/b");
    heldProps = Props(held.Get());
  }  // the builder lives on through the held node
  SafeCallCheck(heldProps->SetInteger(u"x", 3));
  EXPECT_EQ(GetInt(heldProps.Get(), u"x"), 3);

  // A node that is removed at a save while it is held stays usable, detached from the tree.
  ScratchDir folder;
  auto b = CreateOptionsBuilder();
  b->SetReader(CreateOptionsXmlReader(folder.File("t.xml"), true).Get());
  auto a = Path(b->GetRoot().Get(), u"a");
  auto props = Props(Path(a.Get(), u"child").Get());
  SafeCallCheck(props->SetInteger(u"x", 1));
  b->Save();
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(a->GetNodes(it.Put()));
  SafeCallCheck(b->GetRoot()->DeleteNode(u"a"));
  b->Save();
  SafeCallCheck(props->SetInteger(u"x", 2));
  EXPECT_EQ(GetInt(props.Get(), u"x"), 2);
  EXPECT_EQ(ChildNames(a.Get()), std::vector<WideString>{});
  EXPECT_EQ(RaisedMessage([&] { it->HasNext(); }), "The iterator is used incorrectly");
  EXPECT_FALSE(Exists(b->GetRoot().Get(), u"a"));
  b->Save();
  EXPECT_EQ(ReadFileBytes(folder.Utf8File("t.xml")).find("child"), std::string::npos);
}

TEST_F(OptionsTree, SaveSendsOnlyWhatChanged) {
  ScratchDir folder;
  const WideString file = folder.File("data.xml");
  {
    auto b = CreateOptionsBuilder();
    b->SetReader(CreateOptionsXmlReader(file, true).Get());
    auto p = Props(Path(b->GetRoot().Get(), u"a/b").Get());
    SafeCallCheck(p->SetInteger(u"one", 1));
    SafeCallCheck(p->SetString(u"two", u"2"));
    SafeCallCheck(Props(b->GetRoot().Get())->SetBoolean(u"flag", WordTrue));
    b->Save();
  }
  auto recorder = MakeObject<test::RecordingReader>(CreateOptionsXmlReader(file, true));
  auto b = CreateOptionsBuilder();
  b->SetReader(recorder.Get());

  // Nothing is read before it is asked for.
  EXPECT_TRUE(recorder->calls.empty());
  auto p = Props(Path(b->GetRoot().Get(), u"a/b").Get());
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"GetChildNodes", "GetChildNodes", "GetPropertyList"}));

  recorder->calls.clear();
  b->Save();  // unchanged
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"BeginUpdate", "EndUpdate"}));

  recorder->calls.clear();
  SafeCallCheck(p->SetInteger(u"one", 1));  // the same value
  SafeCallCheck(p->SetString(u"two", u"changed"));
  b->Save();
  EXPECT_EQ(recorder->Changes(), std::vector<std::string>{"SetString"});

  recorder->calls.clear();
  SafeCallCheck(p->SetString(u"Two", u"now a number? no: a type change"));
  SafeCallCheck(p->SetDouble(u"two", 2.5));
  Child(b->GetRoot().Get(), u"added");
  SafeCallCheck(b->GetRoot()->DeleteNode(u"a"));
  b->Save();
  auto changes = recorder->Changes();
  std::sort(changes.begin(), changes.end());
  EXPECT_EQ(changes, (std::vector<std::string>{"AddNode added", "DeleteNode"}));

  // The type change reached the file as one record of the new type (the node holding it was
  // deleted above, so check it on a fresh pair).
  recorder->calls.clear();
  auto q = Props(Child(b->GetRoot().Get(), u"added").Get());
  SafeCallCheck(q->SetInteger(u"v", 1));
  b->Save();
  SafeCallCheck(q->SetString(u"V", u"text"));
  b->Save();
  EXPECT_EQ(recorder->Changes(), (std::vector<std::string>{"AddProperty v", "SetInteger", "DeleteProperty",
                                                          "AddProperty v", "SetString"}));
  auto reread = CreateOptionsBuilder();
  reread->SetReader(CreateOptionsXmlReader(file, true).Get());
  auto r = Props(Child(reread->GetRoot().Get(), u"added").Get());
  EXPECT_EQ(PropertyList(r.Get()), (std::vector<std::pair<WideString, TcvPropertyType>>{{u"v", ptString}}));
  EXPECT_EQ(GetStr(r.Get(), u"v"), u"text");
}

// A property set again after a Clear keeps its stored record: only a changed value is written,
// and only the properties that stay cleared are deleted.
TEST_F(OptionsTree, PropertiesSetAgainAfterAClearKeepTheirRecords) {
  ScratchDir folder;
  const WideString file = folder.File("cleared.xml");
  auto recorder = MakeObject<test::RecordingReader>(CreateOptionsXmlReader(file, true));
  auto b = CreateOptionsBuilder();
  b->SetReader(recorder.Get());
  auto p = Props(b->GetRoot().Get());
  for (const char16_t* name : {u"a", u"b", u"c"}) SafeCallCheck(p->SetBoolean(name, WordTrue));
  b->Save();

  recorder->calls.clear();
  SafeCallCheck(p->Clear());
  SafeCallCheck(p->SetBoolean(u"A", WordTrue));   // the value it had
  SafeCallCheck(p->SetBoolean(u"b", WordFalse));  // another value
  b->Save();
  auto changes = recorder->Changes();
  std::sort(changes.begin(), changes.end());
  EXPECT_EQ(changes, (std::vector<std::string>{"DeleteProperty", "SetBoolean"}));

  auto reread = CreateOptionsBuilder();
  reread->SetReader(CreateOptionsXmlReader(file, true).Get());
  auto r = Props(reread->GetRoot().Get());
  EXPECT_EQ(PropertyList(r.Get()),
            (std::vector<std::pair<WideString, TcvPropertyType>>{{u"a", ptBoolean}, {u"b", ptBoolean}}));
  WordBool value = WordTrue;
  SafeCallCheck(r->GetBoolean(u"b", WordTrue, &value));
  EXPECT_EQ(value, WordFalse);
}

TEST_F(OptionsTree, SetReaderMovesTheTreeAndReleaseReaderKeepsIt) {
  ScratchDir folder;
  const WideString first = folder.File("first.xml");
  const WideString second = folder.File("second.xml");
  auto b = CreateOptionsBuilder();
  b->SetReader(CreateOptionsXmlReader(first, true).Get());
  SafeCallCheck(Props(Path(b->GetRoot().Get(), u"x/y").Get())->SetString(u"s", u"v"));
  b->Save();
  const std::string firstBytes = ReadFileBytes(WideToUtf8(first));

  // The second file has content of its own, which the moved tree replaces.
  {
    auto other = CreateOptionsBuilder();
    other->SetReader(CreateOptionsXmlReader(second, true).Get());
    SafeCallCheck(Props(other->GetRoot().Get())->SetInteger(u"old", 1));
    other->Save();
  }
  b->SetReader(CreateOptionsXmlReader(second, true).Get());
  EXPECT_TRUE(IsModified(b->GetRoot().Get()));
  b->Save();
  EXPECT_EQ(ReadFileBytes(WideToUtf8(second)), firstBytes);

  b->ReleaseReader();
  EXPECT_EQ(GetStr(Props(Path(b->GetRoot().Get(), u"x/y").Get()).Get(), u"s"), u"v");
  CV_OPTIONS_STORAGE_INFO info;
  SafeCallCheck(b->GetRoot()->GetStorageInfo(&info));
  EXPECT_EQ(info.Kind, 0);

  // An empty tree that takes a storage shows what the storage holds.
  auto empty = CreateOptionsBuilder();
  empty->GetRoot();
  empty->SetReader(CreateOptionsXmlReader(first, true).Get());
  EXPECT_EQ(GetStr(Props(Path(empty->GetRoot().Get(), u"x/y").Get()).Get(), u"s"), u"v");
  SafeCallCheck(empty->GetRoot()->GetStorageInfo(&info));
  EXPECT_EQ(info.Kind, 1);
  EXPECT_EQ(info.Location, first);
}

TEST_F(OptionsTree, ReleaseContentDropsTheNodesDataFromMemoryAndStorage) {
  ScratchDir folder;
  auto b = CreateOptionsBuilder();
  b->SetReader(CreateOptionsXmlReader(folder.File("r.xml"), false).Get());
  auto data = Path(b->GetRoot().Get(), u"data");
  SafeCallCheck(Props(Path(data.Get(), u"inner").Get())->SetInteger(u"i", 1));
  SafeCallCheck(Props(data.Get())->SetInteger(u"j", 2));
  b->Save();
  QueryAs<IcvOptionsNodeInternal>(data.Get())->ReleaseContent();
  EXPECT_TRUE(ChildNames(data.Get()).empty());
  EXPECT_EQ(GetInt(Props(data.Get()).Get(), u"j"), -7);
  b->Save();
  const std::string bytes = ReadFileBytes(folder.Utf8File("r.xml"));
  EXPECT_EQ(bytes.find("inner"), std::string::npos);
}

}  // namespace
}  // namespace pw
