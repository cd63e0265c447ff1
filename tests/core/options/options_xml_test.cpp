#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "core/options/options_xml_storage.h"
#include "core/options/xml_text.h"
#include "options_test_support.h"

namespace pw {
namespace {

using namespace pw::test;

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
    "<!DOCTYPE Nodes [\r\n"
    "<!ENTITY % NameValue \"CDATA\"><!ENTITY % PropType \"(I|S|D|L|H|B)\"><!ENTITY % VersionValue \"CDATA\">\r\n"
    "<!ELEMENT Prp (#PCDATA)><!ELEMENT Node (Node|Prp)*><!ELEMENT Nodes (Node)+>\r\n"
    "<!ATTLIST Nodes version CDATA \"1\">\r\n"
    "<!ATTLIST Node name CDATA #REQUIRED>\r\n"
    "<!ATTLIST Prp name CDATA #REQUIRED><!ATTLIST Prp type CDATA #REQUIRED><!ATTLIST Prp value CDATA #REQUIRED>]>\r\n";

class OptionsXml : public ::testing::Test {
 protected:
  ScratchDir folder;
  std::string file = folder.Utf8File("options.xml");

  struct Opened {
    ComPtr<IcvOptionsBuilder> builder;
    ComPtr<TcvSAX2OptionsReader> storage;
    ComPtr<IcvOptionsNode> Root() const { return builder->GetRoot(); }
  };
  Opened Open(bool sort = true, const std::string& path = "") {
    Opened o;
    o.storage = MakeObject<TcvSAX2OptionsReader>(Utf8ToWide(path.empty() ? file : path), sort);
    o.builder = CreateOptionsBuilder();
    o.builder->SetReader(o.storage.Get());
    return o;
  }
  std::string Bytes() const { return ReadFileBytes(file); }
  void Write(std::string_view body) { WriteFileBytes(file, body); }
};

TEST_F(OptionsXml, WritesTheExactFileFormat) {
  auto o = Open(true);
  auto item = o.Root();
  SafeCallCheck(Props(item.Get())->SetString(u"Signature", u"{0E8C3F2A-1B2C-4D5E-8F90-123456789ABC}"));
  SafeCallCheck(Props(item.Get())->SetString(u"Version", u"1.0"));
  SafeCallCheck(Props(item.Get())->SetBoolean(u"Flag", WordTrue));
  auto settings = Child(item.Get(), u"Settings");
  SafeCallCheck(Props(settings.Get())->SetInteger(u"Count", -12));
  const std::uint8_t bytes[] = {0x0A, 0xFF};
  SafeCallCheck(Props(settings.Get())->SetBinary(u"Blob", bytes, 2, WordFalse));
  SafeCallCheck(Props(settings.Get())->SetBinary(u"Empty", nullptr, 0, WordFalse));
  SafeCallCheck(Props(settings.Get())->SetDouble(u"Ratio", 0.1));
  SafeCallCheck(Props(settings.Get())->SetInt64(u"Big", -9007199254740993LL));
  SafeCallCheck(Props(settings.Get())->SetString(u"Text", u"a<b>&\"c\"\t\r\n  \u00E9\U0001F600"));
  Child(item.Get(), u"Empty Node");
  o.builder->Save();

  const std::string expected = std::string(kHeader) +
                               "<Nodes version=\"1\">\r\n"
                               "\t<Node name=\"root\">\r\n"
                               "\t\t<Node name=\"empty node\"/>\r\n"
                               "\t\t<Node name=\"settings\">\r\n"
                               "\t\t\t<Prp name=\"big\" type=\"L\" value=\"-9007199254740993\"/>\r\n"
                               "\t\t\t<Prp name=\"blob\" type=\"H\" value=\"0AFF\"/>\r\n"
                               "\t\t\t<Prp name=\"count\" type=\"I\" value=\"-12\"/>\r\n"
                               "\t\t\t<Prp name=\"empty\" type=\"H\" value=\" \"/>\r\n"
                               "\t\t\t<Prp name=\"ratio\" type=\"D\" value=\"0.1\"/>\r\n"
                               "\t\t\t<Prp name=\"text\" type=\"S\" value=\"a&lt;b&gt;&amp;&quot;c&quot;&#9;&#13;&#10;  "
                               "\xC3\xA9\xF0\x9F\x98\x80\"/>\r\n"
                               "\t\t</Node>\r\n"
                               "\t\t<Prp name=\"flag\" type=\"B\" value=\"-1\"/>\r\n"
                               "\t\t<Prp name=\"signature\" type=\"S\" value=\"{0E8C3F2A-1B2C-4D5E-8F90-123456789ABC}\"/>\r\n"
                               "\t\t<Prp name=\"version\" type=\"S\" value=\"1.0\"/>\r\n"
                               "\t</Node>\r\n"
                               "</Nodes>\r\n";
  EXPECT_EQ(Bytes(), expected);

  // Item files are recognised by the signature and version lines near the end.
  const std::string all = Bytes();
  const std::string tail = all.substr(all.size() - 180);
  EXPECT_NE(tail.find("<Prp name=\"signature\" type=\"S\" value=\"{"), std::string::npos);
  EXPECT_NE(tail.find("<Prp name=\"version\" type=\"S\" value=\""), std::string::npos);
}

TEST_F(OptionsXml, EveryTypeAndValueRoundTrips) {
  const std::vector<std::uint8_t> packedLookalike = [] {
    std::vector<std::uint8_t> v{'c', 'v', 'b', 'i', 'n', 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 1, 2, 3};
    return v;
  }();
  std::vector<std::uint8_t> huge(300000);
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  WideString hugeText(200000, u'x');
  for (std::size_t i = 0; i < hugeText.size(); i += 97) hugeText[i] = u'\u4E2D';

  struct Case {
    const char* what;
    std::function<void(IcvOptionsProperties*, WideStringView)> set;
    std::function<void(IcvOptionsProperties*, WideStringView)> check;
  };
  auto intCase = [](std::int32_t v) -> Case {
    return {"integer", [v](auto* p, auto n) { SafeCallCheck(p->SetInteger(n, v)); },
            [v](auto* p, auto n) { EXPECT_EQ(GetInt(p, n), v); }};
  };
  auto int64Case = [](std::int64_t v) -> Case {
    return {"int64", [v](auto* p, auto n) { SafeCallCheck(p->SetInt64(n, v)); },
            [v](auto* p, auto n) {
              std::int64_t r = 0;
              SafeCallCheck(p->GetInt64(n, 0, &r));
              EXPECT_EQ(r, v);
            }};
  };
  auto doubleCase = [](double v) -> Case {
    return {"double", [v](auto* p, auto n) { SafeCallCheck(p->SetDouble(n, v)); },
            [v](auto* p, auto n) {
              double r = 0;
              SafeCallCheck(p->GetDouble(n, 0, &r));
              EXPECT_EQ(std::bit_cast<std::uint64_t>(r), std::bit_cast<std::uint64_t>(v)) << r;
            }};
  };
  auto stringCase = [](WideString v) -> Case {
    return {"string", [v](auto* p, auto n) { SafeCallCheck(p->SetString(n, v)); },
            [v](auto* p, auto n) { EXPECT_TRUE(GetStr(p, n, u"<default>") == v); }};
  };
  auto boolCase = [](bool v) -> Case {
    return {"boolean", [v](auto* p, auto n) { SafeCallCheck(p->SetBoolean(n, ToWordBool(v))); },
            [v](auto* p, auto n) {
              WordBool r = 5;
              SafeCallCheck(p->GetBoolean(n, 5, &r));
              EXPECT_EQ(r, ToWordBool(v));
            }};
  };
  auto binaryCase = [](std::vector<std::uint8_t> v, bool compressed) -> Case {
    return {"binary", [v, compressed](auto* p, auto n) {
              SafeCallCheck(p->SetBinary(n, v.data(), static_cast<std::int32_t>(v.size()), ToWordBool(compressed)));
            },
            [v](auto* p, auto n) { EXPECT_TRUE(GetBin(p, n) == v); }};
  };
  const std::vector<Case> cases = {
      intCase(0), intCase(INT32_MIN), intCase(INT32_MAX),
      int64Case(0), int64Case(INT64_MIN), int64Case(INT64_MAX),
      doubleCase(0.0), doubleCase(-0.0), doubleCase(0.1), doubleCase(1.0 / 3), doubleCase(1e300),
      doubleCase(std::numeric_limits<double>::denorm_min()), doubleCase(-std::numeric_limits<double>::max()),
      doubleCase(std::numeric_limits<double>::infinity()), doubleCase(-std::numeric_limits<double>::infinity()),
      doubleCase(std::numeric_limits<double>::quiet_NaN()),
      stringCase(u""), stringCase(u" "), stringCase(u"  two  spaces  "), stringCase(u"tab\tline\nreturn\r"),
      stringCase(u"<&>\"'"), stringCase(u"\u00C4\u00D6\u00DC \u4E2D\u6587 \U0001F600"), stringCase(hugeText),
      boolCase(true), boolCase(false),
      binaryCase({}, false), binaryCase({}, true), binaryCase({0}, false), binaryCase(huge, false),
      binaryCase(huge, true), binaryCase(packedLookalike, false),
      binaryCase(std::vector<std::uint8_t>(16384, 0xAB), false),
      binaryCase(std::vector<std::uint8_t>(16385, 0xCD), true),
  };
  {
    auto o = Open();
    auto node = Path(o.Root().Get(), u"types/\u00DCbersicht \u4E2D");
    auto p = Props(node.Get());
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i].set(p.Get(), u"Prop\u00C9" + IntToWide(i));
    o.builder->Save();
  }
  auto o = Open();
  auto p = Props(Path(o.Root().Get(), u"TYPES/\u00FCBERSICHT \u4E2D").Get());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + " " + cases[i].what);
    cases[i].check(p.Get(), u"prop\u00E9" + IntToWide(i));
  }
}

TEST_F(OptionsXml, NamesThatDifferOnlyInCaseAreOneProperty) {
  {
    auto o = Open();
    auto p = Props(o.Root().Get());
    SafeCallCheck(p->SetString(u"Name", u"first"));
    SafeCallCheck(p->SetString(u"NAME", u"second"));
    Child(o.Root().Get(), u"Node");
    Child(o.Root().Get(), u"NODE");
    o.builder->Save();
  }
  const std::string bytes = Bytes();
  EXPECT_EQ(bytes.find("first"), std::string::npos);
  EXPECT_NE(bytes.find("<Prp name=\"name\" type=\"S\" value=\"second\"/>"), std::string::npos);
  auto o = Open();
  EXPECT_EQ(ChildNames(o.Root().Get()), std::vector<WideString>{u"node"});
}

TEST_F(OptionsXml, DeepAndWideTreesRoundTrip) {
  {
    auto o = Open(false);
    auto node = o.Root();
    for (int depth = 0; depth < 300; ++depth) {
      node = Child(node.Get(), u"level" + IntToWide(depth));
      SafeCallCheck(Props(node.Get())->SetInteger(u"depth", depth));
    }
    for (int i = 0; i < 2000; ++i) Child(o.Root().Get(), u"wide" + IntToWide(i));
    o.builder->Save();
  }
  auto o = Open(false);
  o.builder->LoadAll();
  auto node = o.Root();
  for (int depth = 0; depth < 300; ++depth) {
    node = Child(node.Get(), u"level" + IntToWide(depth));
    ASSERT_EQ(GetInt(Props(node.Get()).Get(), u"depth"), depth);
  }
  EXPECT_EQ(ChildNames(o.Root().Get()).size(), 2001u);
}

// What a save writes is what a load takes back: a tree nested deeper than a file may hold is
// refused at the save, and the file stays as it was.
TEST_F(OptionsXml, NestingIsLimitedAlikeInWritingAndReading) {
  auto nest = [](IcvOptionsNode* root, int levels) {
    ComPtr<IcvOptionsNode> node(root);
    for (int i = 0; i < levels; ++i) node = Child(node.Get(), u"n");
    SafeCallCheck(Props(node.Get())->SetInteger(u"leaf", levels));
  };
  {
    auto o = Open();
    nest(o.Root().Get(), kMaxOptionsNodeDepth - 1);  // the root and 999 levels below it
    o.builder->Save();
  }
  const std::string saved = Bytes();
  {
    auto o = Open();
    EXPECT_FALSE(o.storage->GetLoadFailure().failed) << WideToUtf8(o.storage->LoadFailureText());
    ComPtr<IcvOptionsNode> node = o.Root();
    for (int i = 0; i < kMaxOptionsNodeDepth - 1; ++i) node = Child(node.Get(), u"n");
    EXPECT_EQ(GetInt(Props(node.Get()).Get(), u"leaf"), kMaxOptionsNodeDepth - 1);
  }
  {
    auto o = Open();
    nest(o.Root().Get(), kMaxOptionsNodeDepth);
    const std::string message = RaisedMessage([&] { o.builder->Save(); });
    EXPECT_NE(message.find("nested more than 1000 levels deep"), std::string::npos) << message;
  }
  EXPECT_EQ(Bytes(), saved);
}

TEST_F(OptionsXml, LoadAndSaveOfAnUnchangedTreeIsByteIdentical) {
  for (bool sort : {true, false}) {
    SCOPED_TRACE(sort ? "sorted" : "unsorted");
    {
      auto o = Open(sort);
      for (int i = 0; i < 20; ++i) {
        auto n = Path(o.Root().Get(), u"n" + IntToWide(i % 7) + u"/m" + IntToWide(i));
        auto p = Props(n.Get());
        SafeCallCheck(p->SetInteger(u"z" + IntToWide(i), i));
        SafeCallCheck(p->SetDouble(u"a" + IntToWide(i), i / 7.0));
        SafeCallCheck(p->SetString(u"M" + IntToWide(i), u"v\t" + IntToWide(i)));
      }
      o.builder->Save();
    }
    const std::string first = Bytes();
    {
      auto o = Open(sort);
      o.builder->LoadAll();
      o.builder->Save();
    }
    EXPECT_EQ(Bytes(), first);
    {
      // Only what changed is different afterwards.
      auto o = Open(sort);
      SafeCallCheck(Props(Path(o.Root().Get(), u"n3/m3").Get())->SetInteger(u"z3", 333));
      o.builder->Save();
    }
    std::string expected = first;
    const std::string old = "name=\"z3\" type=\"I\" value=\"3\"";
    const auto at = expected.find(old);
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, old.size(), "name=\"z3\" type=\"I\" value=\"333\"");
    EXPECT_EQ(Bytes(), expected);
  }
}

TEST_F(OptionsXml, SortOnWriteOrdersByNameIgnoringCase) {
  Write(std::string(kHeader) +
        "<Nodes version=\"1\"><Node name=\"root\">"
        "<Node name=\"b\"/><Node name=\"A\"/><Node name=\"c\"/>"
        "<Prp name=\"y\" type=\"I\" value=\"1\"/><Prp name=\"X\" type=\"I\" value=\"2\"/>"
        "</Node></Nodes>");
  {
    auto o = Open(true);
    SafeCallCheck(Props(o.Root().Get())->SetInteger(u"x", 3));
    o.builder->Save();
  }
  const std::string bytes = Bytes();
  const auto a = bytes.find("name=\"A\""), b = bytes.find("name=\"b\""), c = bytes.find("name=\"c\"");
  const auto x = bytes.find("name=\"X\""), y = bytes.find("name=\"y\"");
  EXPECT_TRUE(a < b && b < c && c < x && x < y) << bytes;
  // Names read from a file stay as they were written.
  EXPECT_NE(bytes.find("<Prp name=\"X\" type=\"I\" value=\"3\"/>"), std::string::npos);
}

// Two records of one name (the file was written by hand or by another program): the later one
// is read and the earlier one goes at the next save, so that it cannot come back when the later
// one is deleted.
TEST_F(OptionsXml, OfTwoRecordsOfOneNameTheLaterWinsAndTheEarlierGoes) {
  Write(std::string(kHeader) +
        "<Nodes version=\"1\"><Node name=\"root\">"
        "<Node name=\"Item\"><Prp name=\"v\" type=\"I\" value=\"1\"/></Node>"
        "<Node name=\"ITEM\"><Prp name=\"v\" type=\"I\" value=\"2\"/></Node>"
        "<Prp name=\"P\" type=\"S\" value=\"earlier\"/><Prp name=\"p\" type=\"I\" value=\"5\"/>"
        "</Node></Nodes>");
  {
    auto o = Open();
    EXPECT_EQ(ChildNames(o.Root().Get()), std::vector<WideString>{u"item"});
    EXPECT_EQ(GetInt(Props(Child(o.Root().Get(), u"item").Get()).Get(), u"v"), 2);
    EXPECT_EQ(GetInt(Props(o.Root().Get()).Get(), u"p"), 5);
    EXPECT_TRUE(IsModified(o.Root().Get()));
    o.builder->Save();
  }
  const std::string bytes = Bytes();
  EXPECT_EQ(bytes.find("value=\"1\""), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("earlier"), std::string::npos) << bytes;
  {
    auto o = Open();
    SafeCallCheck(o.Root()->DeleteNode(u"item"));
    SafeCallCheck(Props(o.Root().Get())->Clear());
    o.builder->Save();
  }
  auto o = Open();
  EXPECT_TRUE(ChildNames(o.Root().Get()).empty());
  EXPECT_TRUE(PropertyList(Props(o.Root().Get()).Get()).empty());
}

TEST_F(OptionsXml, ReadingFollowsTheFormatRules) {
  Write(std::string(kHeader) +
        "<Nodes version=\"1\">\n"
        "<Node name=\"ignored\"><Prp name=\"a\" type=\"Integer\" value=\"$10\"/>"
        "<Prp name=\"\" type=\"I\" value=\"1\"/><Prp name=\"skipped\" type=\"\" value=\"1\"/>"
        "<Prp name=\"e\" type=\"I\" value=\"\"/><Prp name=\"t1\" type=\"B\" value=\"True\"/>"
        "<Prp name=\"t2\" type=\"B\" value=\"1\"/><Prp name=\"f\" type=\"B\" value=\"0\"/>"
        "<Prp name=\"h1\" type=\"H\" value=\"0A1\"/><Prp name=\"h2\" type=\"H\" value=\"zz0zz0\"/>"
        "<Prp name=\"h3\" type=\"H\" value=\" \"/><Prp name=\"d\" type=\"D\" value=\" 1.5E3 \"/>"
        "<Prp name=\"s\" type=\"S\" value=\"\"/><Prp name=\"ref\" type=\"S\" value=\"&#x41;&amp;&#10;\"/>"
        "text is dropped"
        "<Node name=\"Child\"/></Node>\n"
        "<Node name=\"second root\"><Prp name=\"merged\" type=\"L\" value=\"-5\"/></Node>\n"
        "</Nodes>");
  auto o = Open();
  auto p = Props(o.Root().Get());
  EXPECT_EQ(GetInt(p.Get(), u"a"), 16);
  EXPECT_EQ(GetInt(p.Get(), u"e"), 0);
  EXPECT_EQ(TypeOf(p.Get(), u""), ptNotExists);
  EXPECT_EQ(TypeOf(p.Get(), u"skipped"), ptNotExists);
  for (auto [name, value] : {std::pair{u"t1", WordTrue}, {u"t2", WordTrue}, {u"f", WordFalse}}) {
    WordBool b = 7;
    SafeCallCheck(p->GetBoolean(name, 7, &b));
    EXPECT_EQ(b, value);
  }
  EXPECT_EQ(GetBin(p.Get(), u"h1"), std::vector<std::uint8_t>{0x0A});
  EXPECT_EQ(GetBin(p.Get(), u"h2"), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xF0}));
  EXPECT_TRUE(GetBin(p.Get(), u"h3").empty());
  double d = 0;
  SafeCallCheck(p->GetDouble(u"d", 0, &d));
  EXPECT_EQ(d, 1500.0);
  EXPECT_EQ(GetStr(p.Get(), u"s"), u"");
  EXPECT_EQ(GetStr(p.Get(), u"ref"), u"A&\n");
  std::int64_t merged = 0;
  SafeCallCheck(p->GetInt64(u"merged", 0, &merged));
  EXPECT_EQ(merged, -5);
  EXPECT_EQ(ChildNames(o.Root().Get()), std::vector<WideString>{u"child"});
  EXPECT_FALSE(o.storage->GetLoadFailure().failed);
}

// A file that does not read is an empty tree, and it is never written over.
TEST_F(OptionsXml, BadFilesReadEmptyAndAreNotOverwritten) {
  const std::string body = "<Node name=\"root\"><Node name=\"child\"/><Prp name=\"p\" type=\"I\" value=\"1\"/></Node>";
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
    int line;
  };
  const Case cases[] = {
      {"truncated", std::string(kHeader) + "<Nodes version=\"1\">\r\n" + body.substr(0, 40), "", 9},
      {"wrong root", "<Root>\n" + body + "</Root>", "unexpected element 'Root'", 1},
      {"version 2", "<Nodes version=\"2\">" + body + "</Nodes>", "the data format version '2' is not supported", 1},
      {"no version", "<Nodes>" + body + "</Nodes>", "the Nodes element has no 'version' attribute", 1},
      {"lower-case type", "<Nodes version=\"1\"><Node name=\"r\">\n<Prp name=\"p\" type=\"i\" value=\"1\"/></Node></Nodes>",
       "unknown property type 'i'", 2},
      {"bad integer", "<Nodes version=\"1\"><Node name=\"r\"><Prp name=\"p\" type=\"I\" value=\"abc\"/></Node></Nodes>",
       "'abc' is not a valid Integer value", 1},
      {"integer out of range",
       "<Nodes version=\"1\"><Node name=\"r\"><Prp name=\"p\" type=\"I\" value=\"2147483648\"/></Node></Nodes>",
       "'2147483648' is not a valid Integer value", 1},
      {"bad double", "<Nodes version=\"1\"><Node name=\"r\"><Prp name=\"p\" type=\"D\" value=\"1,5\"/></Node></Nodes>",
       "'1,5' is not a valid Double value", 1},
      {"bad boolean", "<Nodes version=\"1\"><Node name=\"r\"><Prp name=\"p\" type=\"B\" value=\"yes\"/></Node></Nodes>",
       "'yes' is not a valid Boolean value", 1},
      {"missing value", "<Nodes version=\"1\"><Node name=\"r\"><Prp name=\"p\" type=\"I\"/></Node></Nodes>",
       "a Prp element has no 'value' attribute", 1},
      {"property outside a node", "<Nodes version=\"1\"><Prp name=\"p\" type=\"I\" value=\"1\"/></Nodes>",
       "a Prp element stands outside any Node element", 1},
      {"node without name", "<Nodes version=\"1\"><Node><Node/></Node></Nodes>", "a Node element has no 'name' attribute",
       1},
      {"not XML", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "", 1},
      {"text only", "just some words", "", 1},
      {"too deep", "<Nodes version=\"1\">" + [] {
         std::string s;
         for (int i = 0; i <= kMaxOptionsNodeDepth; ++i) s += "<Node name=\"n\">";
         return s;
       }(), "the nodes are nested more than 1000 levels deep", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(c.bytes);
    auto o = Open();
    EXPECT_TRUE(ChildNames(o.Root().Get()).empty());
    EXPECT_TRUE(PropertyList(Props(o.Root().Get()).Get()).empty());
    const auto& failure = o.storage->GetLoadFailure();
    ASSERT_TRUE(failure.failed);
    if (*c.message) {
      EXPECT_EQ(WideToUtf8(failure.message), c.message);
    }
    EXPECT_EQ(failure.line, c.line);

    SafeCallCheck(Props(o.Root().Get())->SetInteger(u"new", 1));
    try {
      o.builder->Save();
      ADD_FAILURE() << "the save went through";
    } catch (const EcvOptionsException& e) {
      const std::string message = WideToUtf8(e.Message());
      EXPECT_NE(message.find(file), std::string::npos) << message;
      EXPECT_NE(message.find("line " + std::to_string(c.line)), std::string::npos) << message;
    }
    EXPECT_EQ(Bytes(), c.bytes);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"options.xml"});
  }
}

TEST_F(OptionsXml, BadPackedValuesFailClearlyAndLoseNothing) {
  auto packed = [](std::vector<std::uint8_t> block) {
    std::string hex;
    for (auto b : block) {
      char buf[3];
      std::snprintf(buf, sizeof buf, "%02X", b);
      hex += buf;
    }
    return std::string(kHeader) +
           "<Nodes version=\"1\"><Node name=\"root\"><Prp name=\"bad\" type=\"H\" value=\"" + hex +
           "\"/><Prp name=\"good\" type=\"I\" value=\"5\"/></Node></Nodes>";
  };
  std::vector<std::uint8_t> valid = PackBinaryValue("hello hello hello hello", 23);
  std::vector<std::uint8_t> liar = valid;
  liar[12] = 0xFF, liar[13] = 0xFF, liar[14] = 0xFF, liar[15] = 0x7F;  // claims 2 GB
  std::vector<std::uint8_t> shortClaim = valid;
  shortClaim[12] = 5;  // says 5 bytes, holds 23
  std::vector<std::uint8_t> longClaim = valid;
  longClaim[12] = 24;
  std::vector<std::uint8_t> truncated(valid.begin(), valid.end() - 4);
  std::vector<std::uint8_t> garbage = valid;
  for (std::size_t i = 16; i < garbage.size(); ++i) garbage[i] ^= 0x5A;

  // The damaged value raises when it is asked for, again on every call; the other properties of
  // its table read and change, and the save writes the damaged block back as it was.
  for (const auto& block : {liar, shortClaim, longClaim, truncated, garbage}) {
    const std::string bytes = packed(block);
    const std::string attribute =
        bytes.substr(bytes.find("<Prp name=\"bad\""), bytes.find("/>") + 2 - bytes.find("<Prp"));
    Write(bytes);
    auto o = Open();
    auto p = Props(o.Root().Get());
    for (int round = 0; round < 2; ++round) {
      std::int32_t size = -1;
      HRESULT hr = p->GetBinarySize(u"bad", &size);
      EXPECT_NE(FailureMessage(hr).find("The packed value of the 'bad' Binary property is damaged"), std::string::npos)
          << FailureMessage(hr);
    }
    std::int32_t good = 0;
    SafeCallCheck(p->GetInteger(u"good", 0, &good));
    EXPECT_EQ(good, 5);
    SafeCallCheck(p->SetInteger(u"good", 6));
    Child(o.Root().Get(), u"other");
    o.builder->Save();
    EXPECT_NE(Bytes().find(attribute), std::string::npos) << Bytes();
    EXPECT_NE(Bytes().find("name=\"good\" type=\"I\" value=\"6\""), std::string::npos);
  }
  Write(packed(valid));
  auto o = Open();
  auto p = Props(o.Root().Get());
  auto value = GetBin(p.Get(), u"bad");
  EXPECT_EQ(std::string(value.begin(), value.end()), "hello hello hello hello");
}

TEST_F(OptionsXml, SavingGoesThroughATemporaryFile) {
  {
    auto o = Open();
    SafeCallCheck(Props(o.Root().Get())->SetString(u"kept", u"safe"));
    o.builder->Save();
  }
  const std::string before = Bytes();
  ::chmod(file.c_str(), 0640);
  {
    // A value that XML cannot hold fails the save before the file is touched.
    auto o = Open();
    SafeCallCheck(Props(o.Root().Get())->SetString(u"bad", WideString(u"a\u0001b")));
    try {
      o.builder->Save();
      ADD_FAILURE() << "the save went through";
    } catch (const EcvOptionsException& e) {
      EXPECT_NE(WideToUtf8(e.Message()).find("U+0001"), std::string::npos);
    }
  }
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"options.xml"});
  {
    auto o = Open();
    SafeCallCheck(Props(o.Root().Get())->SetString(u"more", u"x"));
    o.builder->Save();
  }
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"options.xml"});

  // Through a symbolic link the linked file is replaced and the link stays.
  const std::string link = folder.Utf8File("link.xml");
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  {
    auto o = Open(true, link);
    SafeCallCheck(Props(o.Root().Get())->SetString(u"via", u"link"));
    o.builder->Save();
  }
  struct stat lst;
  ASSERT_EQ(::lstat(link.c_str(), &lst), 0);
  EXPECT_TRUE(S_ISLNK(lst.st_mode));
  EXPECT_NE(Bytes().find("via"), std::string::npos);
}

TEST_F(OptionsXml, FilesThatCannotBeOpenedAreReported) {
  const std::string missing = folder.Utf8File("no such folder/x.xml");
  auto o = Open(true, missing);
  SafeCallCheck(Props(o.Root().Get())->SetInteger(u"x", 1));
  try {
    o.builder->Save();
    ADD_FAILURE();
  } catch (const EcvOptionsException& e) {
    EXPECT_EQ(WideToUtf8(e.Message()), "Cannot open the " + missing + " file. Reason: No such file or directory");
  }
  // A folder in place of the file cannot be read, so it is not written either.
  const std::string dir = folder.Utf8File("a folder");
  ::mkdir(dir.c_str(), 0755);
  auto d = Open(true, dir);
  SafeCallCheck(Props(d.Root().Get())->SetInteger(u"x", 1));
  try {
    d.builder->Save();
    ADD_FAILURE();
  } catch (const EcvOptionsException& e) {
    EXPECT_NE(WideToUtf8(e.Message()).find("Is a directory"), std::string::npos);
  }
}

TEST_F(OptionsXml, AnEmptyFileIsAnEmptyTreeThatMayBeSaved) {
  Write("");
  auto o = Open();
  EXPECT_FALSE(o.storage->GetLoadFailure().failed);
  SafeCallCheck(Props(o.Root().Get())->SetInteger(u"x", 1));
  o.builder->Save();
  EXPECT_NE(Bytes().find("name=\"x\""), std::string::npos);
}

TEST_F(OptionsXml, OnlyTheOutermostUpdateWrites) {
  auto storage = MakeObject<TcvSAX2OptionsReader>(Utf8ToWide(file), true);
  storage->GetRoot();
  storage->BeginUpdate();  // the probe creates the missing file empty
  EXPECT_EQ(Bytes(), "");
  storage->BeginUpdate();
  storage->AddProperty(storage->GetRoot(), u"p", ptInteger);
  storage->EndUpdate();
  EXPECT_EQ(Bytes(), "");
  storage->EndUpdate();
  EXPECT_NE(Bytes().find("name=\"p\""), std::string::npos);
  // Deleted records go at the outermost EndUpdate; deleting the root empties it.
  storage->BeginUpdate();
  storage->DeleteNode(storage->GetRoot());
  storage->EndUpdate();
  EXPECT_EQ(Bytes(), std::string(kHeader) + "<Nodes version=\"1\">\r\n\t<Node name=\"root\"/>\r\n</Nodes>\r\n");
  EXPECT_THROW(storage->SetString(storage->GetRoot(), u"x"), EcvOptionsException);
}

TEST(XmlText, NumberTextsFollowTheRuntimesRules) {
  EXPECT_EQ(ParseInt32(" -12"), -12);
  EXPECT_EQ(ParseInt32("+7"), 7);
  EXPECT_EQ(ParseInt32("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseInt32("0x10"), 16);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_FALSE(ParseInt32("2147483648"));
  EXPECT_FALSE(ParseInt32("12 "));
  EXPECT_FALSE(ParseInt32(""));
  EXPECT_FALSE(ParseInt32("-"));
  EXPECT_EQ(ParseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_FALSE(ParseInt64("9223372036854775808"));
  EXPECT_EQ(ParseDouble("1e-400"), 0.0);
  EXPECT_EQ(ParseDouble("-1e400"), -HUGE_VAL);
  EXPECT_EQ(ParseDouble(".5"), 0.5);
  EXPECT_FALSE(ParseDouble("1.5x"));
  EXPECT_FALSE(ParseDouble("++1"));
  EXPECT_EQ(ParseBoolean("FALSE"), false);
  EXPECT_EQ(ParseBoolean("-1"), true);
  EXPECT_EQ(ParseBoolean("0.0"), false);
  EXPECT_EQ(FormatDouble(0.5), "0.5");
  EXPECT_EQ(FormatDouble(100), "100");
  EXPECT_EQ(FormatDouble(1e21), "1E21");
  EXPECT_EQ(FormatDouble(0.1 + 0.2), "0.30000000000000004");
}

// The runtime's general format, with as many digits as the value needs to read back.
TEST(XmlText, DoublesAreWrittenInTheGeneralFormatWithTheFewestDigits) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1e5, "100000"},
      {-1e6, "-1000000"},
      {123.25, "123.25"},
      {999999999999999.0, "999999999999999"},
      {123456789012345.67, "123456789012345.67"},
      {1e15, "1E15"},
      {-1.5e300, "-1.5E300"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {0.00001, "1E-5"},
      {-2.5e-7, "-2.5E-7"},
      {std::numeric_limits<double>::denorm_min(), "5E-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157E308"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(FormatDouble(value), text);
    const auto back = ParseDouble(FormatDouble(value));
    ASSERT_TRUE(back.has_value());
    if (std::isnan(value)) EXPECT_TRUE(std::isnan(*back));
    else EXPECT_EQ(std::bit_cast<std::uint64_t>(*back), std::bit_cast<std::uint64_t>(value));
  }
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

using namespace pw::test;

// Names have a length limit: a file with a longer name does not read (and is not written
// over), a tree with one is not saved, and the limit is named in both errors.
TEST_F(OptionsXml, NamesLongerThanTheLimitNeitherReadNorSave) {
  const std::string longName(kMaxOptionsNameLength + 1, 'n');
  const std::string fits(kMaxOptionsNameLength, 'n');
  for (const std::string& element :
       {"<Node name=\"" + longName + "\"/>", "<Prp name=\"" + longName + "\" type=\"I\" value=\"1\"/>"}) {
    SCOPED_TRACE(element);
    const std::string bytes = "<Nodes version=\"1\"><Node name=\"root\">" + element + "</Node></Nodes>";
    Write(bytes);
    auto o = Open();
    EXPECT_TRUE(ChildNames(o.Root().Get()).empty());
    ASSERT_TRUE(o.storage->GetLoadFailure().failed);
    EXPECT_EQ(WideToUtf8(o.storage->GetLoadFailure().message), "a name is longer than 255 characters");
    EXPECT_THROW(o.builder->Save(), EcvOptionsException);
    EXPECT_EQ(Bytes(), bytes);
  }
  std::remove(file.c_str());
  for (const bool asNode : {true, false}) {
    auto o = Open();
    SafeCallCheck(Props(o.Root().Get())->SetInteger(Utf8ToWide(fits), 1));
    o.builder->Save();
    const std::string saved = Bytes();
    if (asNode)
      Child(o.Root().Get(), Utf8ToWide(longName));
    else
      SafeCallCheck(Props(o.Root().Get())->SetInteger(Utf8ToWide(longName), 2));
    const std::string message = RaisedMessage([&] { o.builder->Save(); });
    EXPECT_NE(message.find("is longer than 255 characters"), std::string::npos) << message;
    EXPECT_EQ(Bytes(), saved);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"options.xml"});
  }
}

// A tree far deeper than a file may hold is refused by the save before its recursion can
// exhaust the stack, and the file is not touched.
TEST_F(OptionsXml, AFarTooDeepTreeIsRefusedBeforeTheSaveRecurses) {
  {
    auto o = Open();
    SafeCallCheck(Props(o.Root().Get())->SetInteger(u"kept", 1));
    o.builder->Save();
  }
  const std::string saved = Bytes();
  auto o = Open();
  ComPtr<IcvOptionsNode> node = o.Root();
  for (int i = 0; i < 6000; ++i) node = Child(node.Get(), u"n");
  node = nullptr;
  // The tree refuses it, before the storage is sent a single node of it.
  EXPECT_EQ(RaisedMessage([&] { o.builder->Save(); }),
            "Cannot save the options: the nodes are nested more than 1000 levels deep.");
  EXPECT_EQ(Bytes(), saved);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"options.xml"});
}

// What is not a regular file is refused at once, without waiting for a writer of a FIFO.
TEST_F(OptionsXml, OnlyRegularFilesAreReadOrReplaced) {
  const std::string fifo = folder.Utf8File("pipe.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [path, text] : {std::pair{fifo, "it is not a regular file"},
                                   {folder.Path().string(), "the file cannot be read: Is a directory"}}) {
    SCOPED_TRACE(path);
    auto o = Open(true, path);
    EXPECT_TRUE(ChildNames(o.Root().Get()).empty());
    ASSERT_TRUE(o.storage->GetLoadFailure().failed);
    EXPECT_EQ(WideToUtf8(o.storage->LoadFailureText()), text);
    EXPECT_THROW(o.builder->Save(), EcvOptionsException);
  }
  struct stat st;
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Loading from memory and saving to memory give what the file gives.
TEST_F(OptionsXml, MemoryLoadAndSaveMatchTheFile) {
  {
    auto o = Open();
    SafeCallCheck(Props(Path(o.Root().Get(), u"a/b").Get())->SetString(u"s", u"x \u00E9"));
    SafeCallCheck(Props(o.Root().Get())->SetDouble(u"d", 0.5));
    o.builder->Save();
  }
  auto storage = MakeObject<TcvSAX2OptionsReader>(u"memory.xml", true);
  storage->LoadFromMemory(Bytes());
  EXPECT_FALSE(storage->GetLoadFailure().failed);
  EXPECT_EQ(storage->SaveToMemory(), Bytes());
  storage->LoadFromMemory("<Nodes version=\"2\"/>");
  EXPECT_TRUE(storage->GetLoadFailure().failed);
  storage->LoadFromMemory("");
  EXPECT_FALSE(storage->GetLoadFailure().failed);
  TPropertyCookiesArray children;
  storage->GetChildNodes(storage->GetRoot(), children);
  EXPECT_TRUE(children.empty());
}

}  // namespace
}  // namespace pw
