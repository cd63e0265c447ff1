// pwhost editor load and save, run in-process.
#include "tools/pwhost/editor_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace pw::host {
namespace {

class EditorCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("pw_editor_cmd_" + std::to_string(::getpid()) + "_" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const char* name, const std::string& bytes) {
    auto p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  static std::string Read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int Run(std::vector<std::string> args) {
    std::FILE* o = std::tmpfile();
    std::FILE* e = std::tmpfile();
    const int rc = RunEditorCommand(args, o, e);
    out = Slurp(o);
    err = Slurp(e);
    return rc;
  }
  static std::string Slurp(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }
  std::filesystem::path dir;
  std::string out, err;
};

TEST_F(EditorCommandTest, LoadReportsEncodingLinesAndExpandedText) {
  const auto f = Write("a.txt", "\xEF\xBB\xBF\x61\tb\r\nc\xC3\xA9");
  for (const char* mode : {"--print", "--list"}) {
    std::vector<std::string> args{"load", f, "--print", "--tabs", "3"};
    if (std::string(mode) == "--list") args.push_back("--list");
    ASSERT_EQ(Run(args), 0) << err;
    EXPECT_EQ(out, "encoding\tutf-8\nlines\t2\na  b\nc\xC3\xA9\n");
  }
  ASSERT_EQ(Run({"load", Write("b.txt", "x")}), 0);
  EXPECT_EQ(out, "encoding\tansi\nlines\t1\n");
}

TEST_F(EditorCommandTest, SaveConvertsAndKeeps) {
  const auto in = Write("in.txt", "h\xE9");
  const auto outFile = (dir / "out.txt").string();
  ASSERT_EQ(Run({"save", in, outFile, "--encoding", "utf16"}), 0) << err;
  EXPECT_EQ(Read(outFile), std::string("\xFF\xFEh\0\xE9\0", 6));
  ASSERT_EQ(Run({"save", outFile, outFile, "--encoding", "keep", "--list"}), 0) << err;
  EXPECT_EQ(Read(outFile), std::string("\xFF\xFEh\0\xE9\0", 6));
  ASSERT_EQ(Run({"save", in, outFile, "--encoding", "utf8"}), 0);
  EXPECT_EQ(Read(outFile), "\xEF\xBB\xBFh\xC3\xA9");
}

TEST_F(EditorCommandTest, BadInputAndArguments) {
  const auto bin = Write("bin.dat", std::string("ab\0cd", 5));
  const auto outFile = (dir / "out.txt").string();
  EXPECT_EQ(Run({"save", bin, outFile, "--encoding", "ansi"}), 1);
  EXPECT_NE(err.find(bin), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(outFile));
  EXPECT_EQ(Run({"load", bin, "--list"}), 1);
  EXPECT_EQ(Run({"load", (dir / "missing").string()}), 1);
  EXPECT_EQ(Run({"load", bin, "--tabs", "8 4"}), 2);
  EXPECT_NE(err.find("The Tab Stop box must hold a string that contains integer values in ascending order and "
                     "separated with spaces."),
            std::string::npos);
  EXPECT_EQ(Run({"save", bin, outFile, "--encoding", "latin1"}), 2);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({}), 2);
}

}  // namespace
}  // namespace pw::host

namespace pw::host {
namespace {

TEST_F(EditorCommandTest, HighlightPrintsRunsAndRejectsUnknownSchemes) {
  const auto f = Write("a.pas", "begin x\r\n{ c\r\n}");
  ASSERT_EQ(Run({"highlight", "--scheme", "pascal", f}), 0) << err;
  EXPECT_EQ(out, "1\t1\t5\tKeyword\n1\t6\t1\tSpace\n1\t7\t1\tIdentifier\n2\t1\t3\tComment\n3\t1\t1\tComment\n");
  EXPECT_EQ(Run({"highlight", "--scheme", "cobolx", f}), 2);
  EXPECT_EQ(Run({"highlight", "--scheme", "cpp", Write("b.bin", std::string("ab\0", 3))}), 1);
}

TEST_F(EditorCommandTest, ToRtfWritesAParagraphPerLineInTheSchemesStyles) {
  const auto f = Write("a.cpp", "int x;\r\n\t{}");
  ASSERT_EQ(Run({"to-rtf", f, "--scheme", "cpp"}), 0) << err;
  // Each role in its colour: the keyword navy (and bold, as the scheme has it), symbols maroon.
  EXPECT_EQ(out,
            "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Courier New;}}{\\colortbl\r\n\\red0\\green0\\blue0;"
            "\\red0\\green0\\blue128;\\red128\\green0\\blue0;}\\cf1\\f0\\fs20\\b\\nosupersub int\\cf0\\b0  x\\cf2 ;\r\n"
            "\\par\\cf0 \\tab \\cf2 \\{\\}}");
  const auto g = Write("b.cpp", "x = \"s\" + 1; // c\r\n#if");
  ASSERT_EQ(Run({"to-rtf", g, "--scheme", "cpp"}), 0) << err;
  for (const char* colour : {"\\red0\\green0\\blue255;", "\\red0\\green128\\blue128;", "\\red0\\green128\\blue0;",
                             "\\red128\\green128\\blue0;"})
    EXPECT_NE(out.find(colour), std::string::npos) << colour;  // string, number, comment, preprocessor
  ASSERT_EQ(Run({"to-rtf", f, "--line-numbers"}), 0) << err;
  EXPECT_EQ(out,
            "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Courier New;}}{\\colortbl\r\n\\red0\\green0\\blue0;}"
            "\\cf0\\f0\\fs20\\nosupersub  1    int x;\r\n\\par  2    \\tab \\{\\}}");
  EXPECT_EQ(Run({"to-rtf", f, "--scheme", "lisp"}), 2);
  EXPECT_EQ(Run({"to-rtf"}), 2);
}

TEST_F(EditorCommandTest, FromRtfPrintsTextOrEvents) {
  const auto f = Write("a.rtf", "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255;}\\f0\\fs20 Hi \\cf1\\b there\\par "
                                "\\u8364?{\\pict\\emfblip 00}}");
  ASSERT_EQ(Run({"from-rtf", f}), 0) << err;
  EXPECT_EQ(out, "Hi there\r\n\xE2\x82\xAC");
  ASSERT_EQ(Run({"from-rtf", f, "--runs"}), 0) << err;
  EXPECT_EQ(out,
            "run\t\"Hi \"\tArial\t10\tnone\tnone\t-\n"
            "run\t\"there\"\tArial\t10\tFF0000\tnone\tb\n"
            "paragraph\tbreak\t0\t0\t0\t0\t0\n"
            "run\t\"\xE2\x82\xAC\"\tArial\t10\tFF0000\tnone\tb\n");
  EXPECT_EQ(Run({"from-rtf", Write("b.rtf", "plain text")}), 1);
  EXPECT_NE(err.find("not an RTF document"), std::string::npos) << err;
  EXPECT_EQ(Run({"from-rtf", (dir / "missing.rtf").string()}), 1);
  EXPECT_NE(err.find("missing.rtf"), std::string::npos) << err;
}

}  // namespace
}  // namespace pw::host
