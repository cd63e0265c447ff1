// Item files in the light XML format (data format 1), nodes that read and write their own
// format (data format 2), and the node extender's part in loads, saves and unloads.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "core/files/file_utils.h"
#include "core/options/light_xml_files.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "project/storage/node_file_helpers.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "project/nodes/small_services.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

using namespace project;

std::string ReadText(const WideString& file) {
  std::ifstream in(WideToUtf8(file), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const WideString& file, const std::string& text) {
  std::ofstream(WideToUtf8(file), std::ios::binary) << text;
}

// A node kept as a light XML file: its value is an attribute of the root element.
class TLightNode final : public TItemNode {
 public:
  explicit TLightNode() : TItemNode(nullptr, kFileStorageKind) {}
  bool failWrite = false;
  std::uint8_t GetDataFormat() override { return 1; }
  bool LoadFromReader(IcvXMLDataReader* reader) override {
    if (!TpwProjectNode::LoadFromReader(reader)) return false;
    OleVariant v;
    SafeCallCheck(reader->FindPropertyValue(u"Value", OleVariant(u""), &v));
    value = v.AsString();
    ++loads;
    return true;
  }
  std::int32_t WriteHeader(IcvDataWriter* writer) override {
    std::int32_t result = TpwProjectNode::WriteHeader(writer);
    if (result == 0) SafeCallCheck(writer->WriteString(u"Value", value));
    return result;
  }
  std::int32_t WriteData(IcvDataWriter* writer) override { return failWrite ? 1 : 0; }
};

class LightFileTest : public ItemNodeTest {
 protected:
  ComPtr<TLightNode> OpenLight(const WideString& file) {
    auto node = MakeObject<TLightNode>();
    OleCheck(node->Initialize(host.Manager()));
    nodes_.push_back(node);
    if (!node->ReloadFromFileName(file, false)) return nullptr;
    return node;
  }
};

TEST_F(LightFileTest, WrittenAndReadInTheLightFormat) {
  const WideString file = dir.File("L.pwi");
  auto node = OpenLight(file);
  ASSERT_TRUE(node);
  // A missing file is written at once, in the light format.
  const std::string text = ReadText(file);
  EXPECT_EQ(text.rfind("<?xml", 0), 0u) << text;
  EXPECT_NE(text.find("Signature=\"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}\""), std::string::npos) << text;
  EXPECT_FALSE(node->IsModified());
  node->SetValue(u"a < b");
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_FALSE(node->IsModified());
  Finalize(node.Get());
  auto again = OpenLight(file);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->value, u"a < b");
  EXPECT_FALSE(again->DataNode());  // a light node keeps no options tree
}

TEST_F(LightFileTest, AnOptionsFileIsReadAndSavedLight) {
  // An options XML file of the type (recognised by its last bytes).
  auto reader = CreateOptionsXmlReader(dir.File("O.pwi"), true);
  auto builder = CreateOptionsBuilder();
  builder->SetReader(reader.Get());
  auto root = builder->GetRoot();
  SafeCallCheck(PropertiesOf(root.Get())->SetString(u"Signature", u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}"));
  SafeCallCheck(PropertiesOf(root.Get())->SetString(u"Version", u"8.0"));
  SafeCallCheck(PropertiesOf(root.Get())->SetString(u"A", u"old"));
  builder->Save();
  ASSERT_TRUE(IsProjectItemFileFormat(dir.File("O.pwi")));
  auto node = OpenLight(dir.File("O.pwi"));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->loads, 1);  // through Load
  node->value = u"old";
  EXPECT_TRUE(node->IsModified());  // its next save writes the light format
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(ReadText(dir.File("O.pwi")).find("<Prp "), std::string::npos);
  Finalize(node.Get());
  auto again = OpenLight(dir.File("O.pwi"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->value, u"old");
}

TEST_F(LightFileTest, ChecksOfALightFile) {
  struct Case {
    const char* name;
    std::string text;
    std::int32_t error;
  } cases[] = {
      {"S.pwi", R"(<Root Signature="{00000000-0000-0000-0000-000000000001}" Version="9.0" />)", kErrInvalidFormat},
      {"N.pwi", R"(<Root Signature="{e96aee9e-8fe9-4ada-bdab-53aee029022e}" Version="99.0" />)", kVersionNewer},
      {"E.pwi", R"(<Root Signature="{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}" />)", kVersionUnknown},
      {"G.pwi", "not xml at all", kErrInvalidFormat},
  };
  for (const auto& c : cases) {
    const WideString file = dir.File(c.name);
    WriteText(file, c.text);
    auto node = MakeObject<TLightNode>();
    OleCheck(node->Initialize(host.Manager()));
    nodes_.push_back(node);
    EXPECT_FALSE(node->ReloadFromFileName(file, true)) << c.name;
    EXPECT_EQ(node->ErrorCode(), c.error) << c.name;
    EXPECT_EQ(ReadText(file), c.text) << "a refused file is left as it was";
  }
  // A signature in other case and an older release's version open.
  WriteText(dir.File("K.pwi"),
            R"(<Root Signature="{e96aee9e-8fe9-4ada-bdab-53aee029022e}" Version="8.0" Value="k" />)");
  auto node = OpenLight(dir.File("K.pwi"));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->value, u"k");
}

TEST_F(LightFileTest, AFailedWriteLeavesTheFileWhole) {
  const WideString file = dir.File("W.pwi");
  auto node = OpenLight(file);
  ASSERT_TRUE(node);
  const std::string before = ReadText(file);
  node->SetValue(u"new");
  node->failWrite = true;
  EXPECT_EQ(node->SaveToOwnFileResult(), 1);
  EXPECT_EQ(ReadText(file), before);
  EXPECT_TRUE(node->IsModified());
  // A rename that cannot write keeps the old name and file.
  WideString name(u"Other");
  EXPECT_NE(node->AsNode()->SetName(BString(name).Get()), S_OK);
  EXPECT_EQ(node->Name(), u"W");
  EXPECT_TRUE(FileExistsName(file));
  EXPECT_FALSE(FileExistsName(dir.File("Other.pwi")));
  node->failWrite = false;
  ASSERT_EQ(node->AsNode()->SetName(BString(name).Get()), S_OK);
  EXPECT_FALSE(FileExistsName(file));
  EXPECT_NE(ReadText(dir.File("Other.pwi")).find("Value=\"new\""), std::string::npos);
  // A copy leaves the node where it is.
  ASSERT_EQ(node->SaveToNewFileName(dir.File("Copy.pwi"), false), 0);
  EXPECT_EQ(node->FileName(), dir.File("Other.pwi"));
  EXPECT_NE(ReadText(dir.File("Copy.pwi")).find("Value=\"new\""), std::string::npos);
}

// A node that keeps its value as the whole text of its file.
class TOwnNode final : public Implements<TItemNode, IpwOwnFormatNode> {
 public:
  TOwnNode() : Implements(nullptr, kFileStorageKind) {}
  std::vector<WideString> calls;
  std::uint8_t GetDataFormat() override { return 2; }
  HRESULT ReadFile(BSTR fileName, VARIANT_BOOL quiet, IUnknown** data, VARIANT_BOOL* read) override {
    calls.push_back(u"read");
    std::string text = ReadText(WideString(BstrView(fileName)));
    *data = nullptr;
    *read = ToWordBool(text.rfind("own:", 0) == 0);
    return S_OK;
  }
  HRESULT LoadFile(BSTR fileName, IUnknown*, VARIANT_BOOL* loaded) override {
    calls.push_back(u"load");
    if (FileExistsName(BstrView(fileName))) value = Utf8ToWide(ReadText(WideString(BstrView(fileName))).substr(4));
    *loaded = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT WriteFile(BSTR fileName, VARIANT_BOOL asCopy, std::int32_t* result) override {
    calls.push_back(asCopy ? u"write copy" : u"write");
    WriteText(WideString(BstrView(fileName)), "own:" + WideToUtf8(value));
    *result = 0;
    return S_OK;
  }
};

TEST_F(ItemNodeTest, NodesOfTheirOwnFormat) {
  auto node = MakeObject<TOwnNode>();
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  const WideString file = dir.File("X.own");
  ASSERT_TRUE(node->ReloadFromFileName(file, false));
  EXPECT_EQ(ReadText(file), "own:");
  node->SetValue(u"v");
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  ASSERT_EQ(node->SaveToNewFileName(dir.File("Y.own"), false), 0);
  EXPECT_EQ(ReadText(dir.File("Y.own")), "own:v");
  EXPECT_EQ(node->calls, (std::vector<WideString>{u"load", u"write", u"write", u"write copy"}));
  Finalize(node.Get());

  auto again = MakeObject<TOwnNode>();
  OleCheck(again->Initialize(host.Manager()));
  nodes_.push_back(again);
  ASSERT_TRUE(again->ReloadFromFileName(file, false));
  EXPECT_EQ(again->value, u"v");
  EXPECT_EQ(again->calls, (std::vector<WideString>{u"read", u"load"}));
  // A file the node does not read is refused and left alone.
  WriteText(dir.File("Z.own"), "other");
  auto refused = MakeObject<TOwnNode>();
  OleCheck(refused->Initialize(host.Manager()));
  nodes_.push_back(refused);
  EXPECT_FALSE(refused->ReloadFromFileName(dir.File("Z.own"), true));
  EXPECT_EQ(ReadText(dir.File("Z.own")), "other");
}

// An extender that records what the node asks of it.
class TRecordingExtender final : public Implements<TcvInterfacedObject, IpwPNExtenderProvider> {
 public:
  std::vector<WideString> calls;
  bool modified = false;
  std::int32_t copyResult = 0;
  HRESULT Initialize(IcvBaseManager*, IpwProjectNode* node) override { return Log(u"initialize"); }
  HRESULT Finalize() override { return Log(u"finalize"); }
  HRESULT IsModified(VARIANT_BOOL* result) override { return *result = ToWordBool(modified), S_OK; }
  HRESULT AfterLoad() override { return Log(u"after load"); }
  HRESULT Save() override { return Log(u"save"); }
  HRESULT Unload(VARIANT_BOOL finalizing) override { return Log(finalizing ? u"unload finalizing" : u"unload"); }
  HRESULT GetFileNames(IpwStringCollection** files) override {
    *files = MakeObject<TpwStringCollection>(std::vector<WideString>{u"/ext/b.dat", u"/ext/a.dat"}).Detach();
    return S_OK;
  }
  HRESULT AfterSaveToFile(BSTR file, std::int32_t* result) override {
    *result = 0;
    return Log(u"after save " + WideExtractFileName(BstrView(file)));
  }
  HRESULT AfterSaveCopy(BSTR file, std::int32_t* result) override {
    *result = copyResult;
    return Log(u"after copy " + WideExtractFileName(BstrView(file)));
  }
  HRESULT BeforeWrite() override { return Log(u"before write"); }
  HRESULT SaveUnsaved() override { return Log(u"save unsaved"); }

 private:
  HRESULT Log(WideStringView call) {
    calls.emplace_back(call);
    return S_OK;
  }
};

class TExtendedNode final : public TItemNode {
 public:
  TExtendedNode() : TItemNode(nullptr, kFileStorageKind), extender(MakeObject<TRecordingExtender>()) {}
  ComPtr<TRecordingExtender> extender;
  ComPtr<IpwPNExtenderProvider> CreateExtender() override { return extender; }
};

TEST_F(ItemNodeTest, ExtenderTakesPartInTheNodesLife) {
  auto node = MakeObject<TExtendedNode>();
  auto& calls = node->extender->calls;
  OleCheck(node->Initialize(host.Manager()));
  EXPECT_EQ(calls, std::vector<WideString>{u"initialize"});
  ASSERT_TRUE(node->ReloadFromFileName(dir.File("E.pwi"), false));
  // Opened, and the missing file written at once.
  EXPECT_EQ(calls, (std::vector<WideString>{u"initialize", u"after load", u"save"}));
  calls.clear();

  EXPECT_FALSE(node->IsModified());
  node->extender->modified = true;
  EXPECT_TRUE(node->IsModified());
  node->extender->modified = false;

  node->SetValue(u"1");
  std::int32_t result = -1;
  ASSERT_EQ(node->SaveToUnsavedCopy(&result), S_OK);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(calls, (std::vector<WideString>{u"save unsaved", u"after save E.pwi.~$pwUnsaved$"}));
  calls.clear();
  ASSERT_EQ(node->SaveToNewFileName(dir.File("F.pwi"), false), 0);
  EXPECT_EQ(calls, (std::vector<WideString>{u"save", u"after copy F.pwi"}));
  // The extender's failure of a copy is the save's.
  node->extender->copyResult = 1;
  EXPECT_EQ(node->SaveToNewFileName(dir.File("G.pwi"), false), 1);
  calls.clear();

  // The node's file names hold the extender's, sorted.
  std::vector<WideString> names;
  auto list = node->GetStringCollection();
  std::int32_t count = 0;
  OleCheck(list->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString item;
    OleCheck(list->GetItem(i, item.Put()));
    names.emplace_back(item.View());
  }
  EXPECT_EQ(names, (std::vector<WideString>{u"/ext/a.dat", u"/ext/b.dat", dir.File("E.pwi")}));

  // A reload neither unloads nor loads the extender; removal does, then lets it go.
  host.UnsavedFiles().QueueAnswer(false);  // the unsaved copy is not wanted
  ASSERT_TRUE(node->Reload());
  EXPECT_TRUE(calls.empty()) << WideToUtf8(calls.front());
  auto extender = node->extender;
  OleCheck(node->FinalizeNode());
  EXPECT_EQ(extender->calls, (std::vector<WideString>{u"unload finalizing", u"finalize"}));
  EXPECT_FALSE(node->Extender());
}

}  // namespace
}  // namespace pw::test
