// The web examples through pwhost run against the real engine: the plug-in's builders attach the
// slices the scripts call (no slice is attached by hand), and the log is what the example says.
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "graphics/png.h"
#include "tests/support/scratch_dir.h"

namespace {

// Runs a command line and answers its standard output and error; the exit status in `status`.
std::string RunCommandLine(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(RealEngineExamples, WebFindLogsItsLookupsInOrder) {
  const std::string source = PW_TEST_SOURCE_DIR;
  int status = 0;
  const std::string out =
      RunCommandLine(std::string(PW_TEST_HOST_DIR) + "/pwhost run " + source +
                         "/examples/web-find.js --browser chrome --url " + source + "/examples/web/find.html",
                     status);
  EXPECT_EQ(status, 0) << out;
  const char* expected[] = {"Message: Sys.Browser(\"chrome\")\nMessage: 3\n",
                            "Message: first second third\n",
                            "Message: 4\n",
                            "Message: second\n",
                            "Message: third\n",
                            "Message: null\n",
                            "Message: 2\n",
                            "Message: True\n",
                            "Message: False\nMessage: False\n"};
  std::size_t at = 0;
  for (const char* line : expected) {
    const std::size_t found = out.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << out;
    at = found + 1;
  }
}

// The form example: the builders attach the check-box, list-box and combo-box slices to the
// host's element nodes, value is read from the page and written to it, and the two boxes that
// cannot be set are the run's two errors.
TEST(RealEngineExamples, WebFormRunsThroughTheBuilders) {
  const std::string source = PW_TEST_SOURCE_DIR;
  pw::test::ScratchDir dir;  // the script saves its picture in the current folder
  int status = 0;
  const std::string out =
      RunCommandLine("cd '" + dir.Path().string() + "' && " + std::string(PW_TEST_HOST_DIR) + "/pwhost run " + source +
                         "/examples/web-form.js --browser iexplore --url " + source + "/examples/web/form.html",
                     status);
  EXPECT_EQ(status, 0) << out;
  const char* expected[] = {"Message: The name field holds Ann\n",
                            "Message: Now it holds Bob\n",
                            "Event: The check box was clicked with the left mouse button. (",
                            "Event: The check box was clicked with the left mouse button. (",
                            "Error: The check box was clicked, but the specified state was not set up. (",
                            "Error: Unable to perform the action because the control is disabled. (",
                            "Event: The listbox item 'Green' was selected. (",
                            "Message: Selected colours: Green\n",
                            "Event: The combo box item 'Large' was selected. (",
                            "Message: The size is Large (item 2)\n",
                            "Message: The page is ",
                            "Message: The page picture is saved: true\n",
                            "Message: An element 'nothing' exists: false\n",
                            "Event: Errors so far: 2\n"};
  std::size_t at = 0;
  for (const char* line : expected) {
    const std::size_t found = out.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << out;
    at = found + 1;
  }
  // The picture is the whole page: its size is the page's scroll size, as the page wrote it.
  int width = 0, height = 0;
  const std::size_t size = out.find("Message: The page is ");
  ASSERT_EQ(std::sscanf(out.c_str() + size, "Message: The page is %d x %d", &width, &height), 2) << out;
  std::ifstream file(dir.Path() / "web-form.png", std::ios::binary);
  ASSERT_TRUE(file) << out;
  const std::string png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto picture = pw::graphics::ReadPng(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
  EXPECT_EQ(picture.width(), width);
  EXPECT_EQ(picture.height(), height);
  EXPECT_GT(height, 1600);  // taller than a viewport: stitched from several shots
}

// The navigation example: the builders attach the navigation slice to the host's page node (its
// URL and NavigateTo reach the slice, relative URLs against the page's), and the process's
// IEFrame slice and the frame window's Page slice to the "iexplore" process and its frame window.
TEST(RealEngineExamples, WebNavigateRunsThroughTheBuilders) {
  const std::string source = PW_TEST_SOURCE_DIR;
  int status = 0;
  const std::string out =
      RunCommandLine(std::string(PW_TEST_HOST_DIR) + "/pwhost run " + source +
                         "/examples/web-navigate.js --browser iexplore --url " + source + "/examples/web/form.html",
                     status);
  EXPECT_EQ(status, 0) << out;
  const char* expected[] = {"Message: The page shows form.html\n",
                            "Message: Now it shows find.html\n",
                            "Message: Loaded: form.html?step=2\n",
                            "Event: Navigating to the find.html page. (",
                            "Message: ToUrl answered a page that shows find.html\n",
                            "Message: The frame window exists: true\n",
                            "Message: The frame shows find.html\n",
                            "Message: The frame shows form.html: false\n"};
  std::size_t at = 0;
  for (const char* line : expected) {
    const std::size_t found = out.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << out;
    at = found + 1;
  }
  EXPECT_EQ(out.find("Error:"), std::string::npos) << out;
}

}  // namespace
