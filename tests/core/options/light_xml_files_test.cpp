#include "core/options/light_xml_files.h"

#include <gtest/gtest.h>
#include <locale.h>

#include "options_test_support.h"
#include "platform/com/safecall.h"

namespace pw {
namespace {

using namespace pw::test;

ComPtr<IStream> MemoryStream() { return MakeObject<TStreamAdapter>(new TMemoryStream(), TStreamOwnership::soOwned); }

std::string StreamBytes(IStream* stream) {
  auto* adapter = static_cast<TStreamAdapter*>(stream);
  auto* memory = static_cast<TMemoryStream*>(adapter->Stream());
  std::string bytes(static_cast<std::size_t>(memory->GetSize()), '\0');
  const auto pos = memory->Position();
  memory->SetPosition(0);
  memory->ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  memory->SetPosition(pos);
  return bytes;
}

// Writes a small document: Root (a, b) > Item (c) > Deep; Root > Empty.
void WriteSample(IcvDataWriter* root) {
  SafeCallCheck(root->BeginWrite());
  SafeCallCheck(root->WriteInteger(u"a", -1));
  SafeCallCheck(root->WriteString(u"b", u"x  y z <&>\"\t\u00E9"));
  SafeCallCheck(root->FlushProp());
  ComPtr<IcvDataWriter> item;
  SafeCallCheck(root->CreateChild(u"Item", item.Put()));
  SafeCallCheck(item->BeginWrite());
  SafeCallCheck(item->WriteBoolean(u"c", 2));
  SafeCallCheck(item->WriteDouble(u"d", 0.5));
  SafeCallCheck(item->WriteInt64(u"e", -9000000000LL));
  SafeCallCheck(item->FlushProp());
  ComPtr<IcvDataWriter> deep;
  SafeCallCheck(item->CreateChild(u"Deep", deep.Put()));
  SafeCallCheck(deep->BeginWrite());
  SafeCallCheck(deep->FlushProp());
  SafeCallCheck(deep->EndWrite());
  SafeCallCheck(item->EndWrite());
  ComPtr<IcvDataWriter> empty;
  SafeCallCheck(root->CreateChild(u"Empty", empty.Put()));
  SafeCallCheck(empty->BeginWrite());
  SafeCallCheck(empty->FlushProp());
  SafeCallCheck(empty->EndWrite());
  SafeCallCheck(root->EndWrite());
}

constexpr std::string_view kSampleText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
    "<Root a=\"-1\" b=\"x&#32;&#32;y z &lt;&amp;&gt;&quot;&#9;\xC3\xA9\">\r\n"
    "\t<Item c=\"True\" d=\"0.5\" e=\"-9000000000\">\r\n"
    "\t\t<Deep />\r\n"
    "\t</Item>\r\n"
    "\t<Empty />\r\n"
    "</Root>\r\n";

WideString Name(IcvXMLDataReader* r) {
  WideString n;
  SafeCallCheck(r->GetName(&n));
  return n;
}

WideString Value(IcvXMLDataReader* r, WideStringView name) {
  OleVariant v;
  SafeCallCheck(r->FindPropertyValue(name, OleVariant(u"<default>"), &v));
  EXPECT_EQ(v.Type(), VT_BSTR) << "attribute values read back as texts";
  return v.AsString();
}

ComPtr<IcvXMLDataReader> ChildAt(IcvXMLDataReader* r, std::int32_t i) {
  ComPtr<IcvXMLDataReader> c;
  SafeCallCheck(r->GetChild(i, c.Put()));
  return c;
}

void ExpectSample(IcvXMLDataReader* root) {
  EXPECT_EQ(Name(root), u"Root");
  std::int32_t count = 0;
  SafeCallCheck(root->GetPropertyCount(&count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Value(root, u"A"), u"-1");
  EXPECT_EQ(Value(root, u"b"), u"x  y z <&>\"\t\u00E9");
  SafeCallCheck(root->GetChildCount(&count));
  ASSERT_EQ(count, 2);
  auto item = ChildAt(root, 0);
  EXPECT_EQ(Name(item.Get()), u"Item");
  EXPECT_EQ(Value(item.Get(), u"c"), u"True");
  EXPECT_EQ(Value(item.Get(), u"d"), u"0.5");
  EXPECT_EQ(Value(item.Get(), u"e"), u"-9000000000");
  EXPECT_EQ(Value(item.Get(), u"missing"), u"<default>");
  EXPECT_EQ(Name(ChildAt(item.Get(), 0).Get()), u"Deep");
  EXPECT_EQ(Name(ChildAt(root, 1).Get()), u"Empty");
}

TEST(LightXml, WritesTheExactFormat) {
  // The decimal separator of the user's locale does not matter.
  const char* old = ::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  auto stream = MemoryStream();
  {
    TcvXMLDataWriterController controller(stream.Get());
    WriteSample(controller.GetWriter().Get());
  }
  if (old) ::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(StreamBytes(stream.Get()), kSampleText);
  EXPECT_EQ(kSampleText.find("\r\n"), 54u);  // a 56-byte declaration line
}

TEST(LightXml, WriterCallsOutOfOrderFailInsteadOfLosingData) {
  auto stream = MemoryStream();
  TcvXMLDataWriterController controller(stream.Get());
  auto root = controller.GetWriter();
  SafeCallCheck(root->BeginWrite());
  SafeCallCheck(root->FlushProp());
  EXPECT_NE(FailureMessage(root->WriteInteger(u"late", 1)).find("already been written"), std::string::npos);
  EXPECT_NE(FailureMessage(root->WriteString(u"bad", WideString(u"\u0001"))), "");
  SafeCallCheck(root->EndWrite());
  EXPECT_NE(root->EndWrite(), S_OK);
}

TEST(LightXml, FilesRoundTripAndAreReplacedOnlyWhenComplete) {
  ScratchDir folder;
  const std::string file = folder.Utf8File("data.xml");
  {
    auto controller = TcvXMLDataWriterController::CreateForFile(Utf8ToWide(file));
    WriteSample(controller->GetWriter().Get());
  }
  EXPECT_EQ(ReadFileBytes(file), kSampleText);
  TcvXMLDataReaderController reader(Utf8ToWide(file));
  auto root = reader.GetReader();
  ExpectSample(root.Get());
  EXPECT_EQ(reader.GetReader().Get(), root.Get());

  // A write that stops half-way leaves the old file.
  {
    auto controller = TcvXMLDataWriterController::CreateForFile(Utf8ToWide(file));
    auto writer = controller->GetWriter();
    SafeCallCheck(writer->BeginWrite());
    SafeCallCheck(writer->WriteInteger(u"half", 1));
    SafeCallCheck(writer->FlushProp());
  }
  EXPECT_EQ(ReadFileBytes(file), kSampleText);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"data.xml"});
}

// A file that reads only in part is never written over: what could not be read would be lost.
// A missing or empty file is written as usual.
TEST(LightXml, FilesThatDoNotReadAreNotOverwritten) {
  ScratchDir folder;
  const std::string file = folder.Utf8File("broken.xml");
  const std::string broken = "<Root a='1'>\n<One/>\n<Two b='2'><Thr";
  WriteFileBytes(file, broken);
  try {
    TcvXMLDataWriterController::CreateForFile(Utf8ToWide(file));
    ADD_FAILURE() << "the writer went ahead";
  } catch (const EcvXMLExceptions& e) {
    const std::string message = WideToUtf8(e.Message());
    EXPECT_NE(message.find("Cannot save the " + file + " file"), std::string::npos) << message;
    EXPECT_NE(message.find("line 3: "), std::string::npos) << message;
  }
  EXPECT_EQ(ReadFileBytes(file), broken);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"broken.xml"});

  for (const char* name : {"missing.xml", "empty.xml"}) {
    SCOPED_TRACE(name);
    const std::string target = folder.Utf8File(name);
    if (std::string(name) == "empty.xml") WriteFileBytes(target, "");
    {
      auto controller = TcvXMLDataWriterController::CreateForFile(Utf8ToWide(target));
      WriteSample(controller->GetWriter().Get());
    }
    EXPECT_EQ(ReadFileBytes(target), kSampleText);
  }
}

// The writer nests no deeper than the reader takes back, so a written file never reads cut off.
TEST(LightXml, NestingIsLimitedAlikeInWritingAndReading) {
  ScratchDir folder;
  const std::string file = folder.Utf8File("deep.xml");
  {
    auto controller = TcvXMLDataWriterController::CreateForFile(Utf8ToWide(file));
    std::vector<ComPtr<IcvDataWriter>> open{controller->GetWriter()};
    SafeCallCheck(open.back()->BeginWrite());
    SafeCallCheck(open.back()->FlushProp());
    for (int depth = 1; depth < kMaxDataElementDepth; ++depth) {
      ComPtr<IcvDataWriter> child;
      SafeCallCheck(open.back()->CreateChild(u"e", child.Put()));
      SafeCallCheck(child->BeginWrite());
      SafeCallCheck(child->WriteInteger(u"depth", depth));
      SafeCallCheck(child->FlushProp());
      open.push_back(child);
    }
    ComPtr<IcvDataWriter> tooDeep;
    EXPECT_NE(FailureMessage(open.back()->CreateChild(u"e", tooDeep.Put())).find("1000 levels deep"), std::string::npos);
    while (!open.empty()) {
      SafeCallCheck(open.back()->EndWrite());
      open.pop_back();
    }
  }
  TcvXMLDataReaderController reader(Utf8ToWide(file));
  ComPtr<IcvXMLDataReader> element = reader.GetReader();
  for (int depth = 1; depth < kMaxDataElementDepth; ++depth) element = ChildAt(element.Get(), 0);
  EXPECT_EQ(Value(element.Get(), u"depth"), IntToWide(kMaxDataElementDepth - 1));
}

TEST(LightXml, ReaderLookupsAndIndexes) {
  ScratchDir folder;
  const std::string file = folder.Utf8File("r.xml");
  WriteFileBytes(file, "<R x='1' X='2'><item n='first'/><ITEM n='second'/>text<other/></R>");
  TcvXMLDataReaderController controller(Utf8ToWide(file));
  auto root = controller.GetReader();
  ComPtr<IcvXMLDataReader> found;
  SafeCallCheck(root->FindChild(u"Item", found.Put()));
  EXPECT_EQ(Value(found.Get(), u"n"), u"first");
  SafeCallCheck(root->FindChild(u"none", found.Put()));
  EXPECT_FALSE(found);
  EXPECT_EQ(Value(root.Get(), u"x"), u"1");
  // A missing attribute gives a copy of the default, whatever its type.
  OleVariant missing;
  SafeCallCheck(root->FindPropertyValue(u"absent", OleVariant(std::int32_t{7}), &missing));
  EXPECT_EQ(missing.Type(), VT_I4);
  EXPECT_EQ(missing.Get().lVal, 7);
  ComPtr<IcvXMLDataReaderProperty> p;
  SafeCallCheck(root->GetProperty(1, p.Put()));
  WideString text;
  SafeCallCheck(p->GetName(&text));
  EXPECT_EQ(text, u"X");
  for (std::int32_t bad : {-1, 3}) {
    ComPtr<IcvXMLDataReader> c;
    EXPECT_EQ(FailureMessage(root->GetChild(bad, c.Put())), "Invalid index");
  }
  EXPECT_EQ(FailureMessage(root->GetProperty(2, p.Put())), "Invalid index");
  OleVariant value;
  EXPECT_EQ(FailureMessage(root->GetPropertyValue(-1, &value)), "Invalid index");
}

TEST(LightXml, FilesThatDoNotReadGiveWhatWasReadOrAnEmptyElement) {
  ScratchDir folder;
  struct Case {
    const char* what;
    std::string bytes;
    const char16_t* rootName;
    int children;
  };
  const Case cases[] = {
      {"missing", "", kEmptyReaderName, 0},
      {"empty", "", kEmptyReaderName, 0},
      {"not XML", "\x01\x02 binary", kEmptyReaderName, 0},
      {"breaks off", "<Root a='1'><One/><Two b='2'><Thr", u"Root", 2},
      {"too deep", [] {
         std::string s;
         for (int i = 0; i < 5000; ++i) s += "<e>";
         return s;
       }(),
       u"e", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = folder.Utf8File(std::string(c.what) + ".xml");
    if (std::string(c.what) != "missing") WriteFileBytes(file, c.bytes);
    TcvXMLDataReaderController controller(Utf8ToWide(file));
    auto root = controller.GetReader();
    EXPECT_EQ(Name(root.Get()), c.rootName);
    std::int32_t count = -1;
    SafeCallCheck(root->GetChildCount(&count));
    EXPECT_EQ(count, c.children);
  }
  auto empty = TcvXMLDataReaderController::CreateEmpty()->GetReader();
  EXPECT_EQ(Name(empty.Get()), kEmptyReaderName);
}

TEST(LightXml, BinaryFormRoundTripsAndRejectsDamagedData) {
  ScratchDir folder;
  const std::string file = folder.Utf8File("b.xml");
  WriteFileBytes(file, std::string(kSampleText));
  auto root = TcvXMLDataReaderController(Utf8ToWide(file)).GetReader();
  auto stream = MemoryStream();
  SafeCallCheck(root->SaveToStream(stream.Get()));
  const std::string bytes = StreamBytes(stream.Get());
  // "Root" as 4 UTF-16 units, then its attribute count.
  EXPECT_EQ(bytes.substr(0, 14), std::string("\x04\0\0\0R\0o\0o\0t\0\x02\0\0\0", 16).substr(0, 14));

  auto copy = MakeObject<TcvXMLDataReader>(u"");
  SafeCallCheck(stream->Seek(0, STREAM_SEEK_SET, nullptr));
  SafeCallCheck(copy->LoadFromStream(stream.Get()));
  ExpectSample(copy.Get());

  // The serializing writer gives the same bytes as SaveToStream, after the declaration that
  // every controller writes first.
  auto written = MemoryStream();
  {
    TcvXMLDataWriterController controller(written.Get());
    controller.Serialize = true;
    auto w = controller.GetWriter();
    WriteSample(w.Get());
  }
  EXPECT_EQ(StreamBytes(written.Get()).substr(56), bytes);

  // Every truncation fails cleanly; a huge length does not allocate what is not there.
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{7}, bytes.size() / 2, bytes.size() - 1}) {
    auto partial = MemoryStream();
    SafeCallCheck(partial->Write(bytes.data(), static_cast<ULONG>(cut), nullptr));
    SafeCallCheck(partial->Seek(0, STREAM_SEEK_SET, nullptr));
    auto target = MakeObject<TcvXMLDataReader>(u"");
    EXPECT_NE(FailureMessage(target->LoadFromStream(partial.Get())).find("breaks off"), std::string::npos) << cut;
  }
  auto huge = MemoryStream();
  const char lie[] = "\xFF\xFF\xFF\x7F" "ab";
  SafeCallCheck(huge->Write(lie, 6, nullptr));
  SafeCallCheck(huge->Seek(0, STREAM_SEEK_SET, nullptr));
  EXPECT_NE(FailureMessage(MakeObject<TcvXMLDataReader>(u"")->LoadFromStream(huge.Get())), "");

  // A negative count of attributes or children is damage, not an empty list: read as empty it
  // would save back as other bytes.
  for (const std::string& damaged :
       {std::string("\0\0\0\0\0\0\0\xB6\0\0\0\0", 12), std::string("\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF", 12)}) {
    auto stream = MemoryStream();
    SafeCallCheck(stream->Write(damaged.data(), static_cast<ULONG>(damaged.size()), nullptr));
    SafeCallCheck(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    EXPECT_EQ(FailureMessage(MakeObject<TcvXMLDataReader>(u"")->LoadFromStream(stream.Get())),
              "The binary data of the element is damaged");
  }
}

}  // namespace
}  // namespace pw
