// The registry stand-in: typed values, the registry files (one process writes, the next reads;
// a broken file is kept and refused), and the reader and writer of the files' text.
#include "platform/com/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/com/registry_file.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/raised.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

namespace pw {
namespace {

using test::Raised;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The registry files in a scratch folder for one test; in memory again afterwards.
class RegistryFiles : public ::testing::Test {
 protected:
  void SetUp() override { SetRegistryFilesEnabled(true); }
  void TearDown() override { SetRegistryFilesEnabled(false); }
  std::filesystem::path Folder() const { return dir_.Path() / "probewright" / "registry"; }
  std::string HkcuFile() const { return (Folder() / "HKCU.reg").string(); }

  test::ScratchDir dir_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
};

TEST(Registry, TypedValuesAndWrongTypes) {
  SetRegistryFilesEnabled(false);
  TRegistry reg(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKey(u"\\Software\\RegistryTest\\Typed", true));
  reg.WriteString(u"Text", u"yes");
  reg.WriteInteger(u"Number", -2);
  EXPECT_EQ(reg.GetDataType(u"text"), TRegDataType::rdString);
  EXPECT_EQ(reg.GetDataType(u"NUMBER"), TRegDataType::rdInteger);
  EXPECT_EQ(reg.GetDataType(u"none"), TRegDataType::rdUnknown);
  EXPECT_EQ(reg.ReadString(u"Text"), u"yes");
  EXPECT_EQ(reg.ReadInteger(u"Number"), -2);
  EXPECT_EQ(Raised([&] { reg.ReadInteger(u"Text"); }), u"Invalid data type for 'Text'");
  EXPECT_EQ(Raised([&] { reg.ReadString(u"Number"); }), u"Invalid data type for 'Number'");
  EXPECT_EQ(Raised([&] { reg.ReadInteger(u"none"); }), u"Invalid data type for 'none'");
  EXPECT_EQ(reg.ReadString(u"none"), u"");
  // A value changes its type with the write.
  reg.WriteInteger(u"Text", 7);
  EXPECT_EQ(reg.ReadInteger(u"Text"), 7);
  EXPECT_TRUE(reg.DeleteValue(u"text"));
  EXPECT_FALSE(reg.DeleteValue(u"text"));
  EXPECT_FALSE(reg.ValueExists(u"Text"));
  // A line break cannot be kept in the files' text: refused before anything changes.
  EXPECT_EQ(Raised([&] { reg.WriteString(u"Broken", u"a\nb"); }), u"Failed to set data for 'Broken'");
  EXPECT_FALSE(reg.ValueExists(u"Broken"));
  EXPECT_TRUE(reg.DeleteKey(u"Software\\RegistryTest"));
}

TEST(Registry, FolderFollowsXdgElseHome) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/x/config");
    EXPECT_EQ(RegistryFolder(), std::filesystem::path("/x/config/probewright/registry"));
  }
  ScopedEnv home("HOME", "/x/home");
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative"}) {
    ScopedEnv x("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(RegistryFolder(), std::filesystem::path("/x/home/.config/probewright/registry"));
  }
  ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  EXPECT_NE(Raised([] { RegistryFolder(); }).find(u"neither XDG_CONFIG_HOME nor HOME"), WideString::npos);
}

// Run only as the child of OneProcessWritesTheNextReads.
TEST(RegistryChild, Writes) {
  if (!std::getenv("PW_REGISTRY_CHILD")) GTEST_SKIP() << "runs as a child process only";
  SetRegistryFilesEnabled(true);  // in the folder its parent gave
  TRegistry reg(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKey(u"Software\\Child", true));
  reg.WriteString(u"Said", u"quote \" and \\ back");
  reg.WriteInteger(u"Count", 0x2a);
  reg.WriteString(u"", u"default");
  SetRegistryFilesEnabled(false);
}

TEST_F(RegistryFiles, OneProcessWritesTheNextReads) {
  // The child writes through its own store into the folder of this test...
  int code = -1;
  const std::string out = test::RunCommand("PW_REGISTRY_CHILD=1 XDG_CONFIG_HOME='" + dir_.Path().string() + "' /proc/" +
                                               std::to_string(::getpid()) + "/exe --gtest_filter=RegistryChild.Writes",
                                           code);
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(test::ReadFileBytes(HkcuFile()).find("\"Count\"=dword:0000002a"), std::string::npos);
  // ...and this process reads it at the first use.
  SetRegistryFilesEnabled(true);
  TRegistry reg(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyReadOnly(u"\\software\\CHILD"));
  EXPECT_EQ(reg.ReadString(u"said"), u"quote \" and \\ back");
  EXPECT_EQ(reg.ReadInteger(u"Count"), 42);
  EXPECT_EQ(reg.ReadString(u""), u"default");
  // No temporary file is left beside it.
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(Folder())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"HKCU.reg"});
}

TEST_F(RegistryFiles, EveryChangeIsWrittenAndReadBack) {
  TRegistry reg(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKey(u"A\\Empty", true));
  ASSERT_TRUE(reg.OpenKey(u"A\\B", true));
  reg.WriteInteger(u"N", 1);
  reg.WriteString(u"S", u"\u00e9t\u00e9");
  SetRegistryFilesEnabled(true);  // forget the memory: the next use reads the file
  EXPECT_TRUE(reg.KeyExists(u"A\\Empty"));
  ASSERT_TRUE(reg.OpenKeyReadOnly(u"A\\B"));
  EXPECT_EQ(reg.ReadString(u"S"), u"\u00e9t\u00e9");
  EXPECT_TRUE(reg.DeleteValue(u"N"));
  EXPECT_TRUE(reg.DeleteKey(u"A\\Empty"));
  SetRegistryFilesEnabled(true);
  EXPECT_FALSE(reg.KeyExists(u"A\\Empty"));
  ASSERT_TRUE(reg.OpenKeyReadOnly(u"A\\B"));
  EXPECT_FALSE(reg.ValueExists(u"N"));
  EXPECT_TRUE(reg.ValueExists(u"S"));
}

TEST_F(RegistryFiles, ABrokenFileIsRefusedAndKept) {
  std::filesystem::create_directories(Folder());
  const std::string broken = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"v\"=hex:01,02\n";
  test::WriteFileBytes(HkcuFile(), broken);
  TRegistry reg(RootKey::CurrentUser);
  const WideString error = Raised([&] { reg.OpenKey(u"X", true); });
  EXPECT_NE(error.find(u"HKCU.reg"), WideString::npos) << WideToUtf8(error);
  EXPECT_NE(error.find(u"line 4"), WideString::npos) << WideToUtf8(error);
  EXPECT_FALSE(Raised([&] { reg.KeyExists(u"X"); }).empty());
  EXPECT_EQ(test::ReadFileBytes(HkcuFile()), broken);
  // Mended, it is read at the next use.
  test::WriteFileBytes(HkcuFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"v\"=\"ok\"\n");
  ASSERT_TRUE(reg.OpenKeyReadOnly(u"X"));
  EXPECT_EQ(reg.ReadString(u"v"), u"ok");
}

TEST_F(RegistryFiles, LocalMachineIsReadButNeverWritten) {
  std::filesystem::create_directories(Folder());
  const std::string hklm =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\M]\r\n\"Version\"=\"9.0\"\r\n";
  test::WriteFileBytes((Folder() / "HKLM.reg").string(), hklm);
  TRegistry reg(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKey(u"Software\\M", false));
  EXPECT_EQ(reg.ReadString(u"Version"), u"9.0");
  reg.WriteString(u"Version", u"10.0");  // kept in memory only
  EXPECT_EQ(reg.ReadString(u"Version"), u"10.0");
  EXPECT_EQ(test::ReadFileBytes((Folder() / "HKLM.reg").string()), hklm);
  EXPECT_FALSE(std::filesystem::exists(HkcuFile()));
}

TEST(RegistryText, ReadsWhatItWrites) {
  const std::vector<RegistryFileKey> keys = {
      {u"", {{u"", RegistryValueType::String, u"root default", 0}}},
      {u"Software\\Empty", {}},
      {u"Software\\V",
       {{u"Text", RegistryValueType::String, u"a \"b\" \\c\\ \u4e2d", 0},
        {u"Max", RegistryValueType::DWord, u"", 0xffffffffu},
        {u"Zero", RegistryValueType::DWord, u"", 0}}},
  };
  const std::string text = FormatRegistryText(keys, "HKEY_CURRENT_USER");
  EXPECT_EQ(ParseRegistryText(text, "HKEY_CURRENT_USER"), keys);
}

TEST(RegistryText, AcceptedForms) {
  // UTF-16 with its mark, the old header, comments, spaces, short DWORDs, repeated keys and values.
  const std::string utf8 =
      "REGEDIT4\n; comment\n[HKEY_CURRENT_USER\\\\K\\]\n \"a\" = dword:A \n[hkey_current_user\\k]\n\"A\"=\"x\"\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : utf8) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  for (const auto& bytes : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
    const auto keys = ParseRegistryText(bytes, "HKEY_CURRENT_USER");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, u"K");
    ASSERT_EQ(keys[0].values.size(), 1u);
    EXPECT_EQ(keys[0].values[0].text, u"x");
  }
}

TEST(RegistryText, RefusedForms) {
  const std::string head = "Windows Registry Editor Version 5.00\n";
  const struct {
    std::string text, error;
  } cases[] = {
      {"", "no header"},
      {"[HKEY_CURRENT_USER\\K]\n", "no header"},
      {head + "\"v\"=\"x\"\n", "line 2: a value before the first key"},
      {head + "[HKEY_LOCAL_MACHINE\\K]\n", "not under HKEY_CURRENT_USER"},
      {head + "[HKEY_CURRENT_USER\\K\n", "unended key name"},
      {head + "[-HKEY_CURRENT_USER\\K]\n", "deleting keys"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=hex(2):00\n", "unsupported value type"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=dword:123456789\n", "longer than eight"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=dword:\n", "unsupported value type"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=dword:12x\n", "text after the value"},
      {head + "[HKEY_CURRENT_USER]\n\"v=\"x\"\n", "no '='"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=\"x\n", "unended quoted text"},
      {head + "[HKEY_CURRENT_USER]\n\"v\"=\"\\n\"\n", "unknown escape"},
      {head + "[HKEY_CURRENT_USER]\nv=1\n", "neither a key nor a value"},
      {"\xFF\xFE\x41", "odd number"},
  };
  for (const auto& c : cases) {
    try {
      ParseRegistryText(c.text, "HKEY_CURRENT_USER");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const RegistryFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what() << " for " << c.text;
    }
  }
}

}  // namespace
}  // namespace pw
