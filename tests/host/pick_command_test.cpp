// pwhost pick: the sample desktop's list, picks at points, mapping, exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/pwhost/pick_command.h"

namespace pw::host {
namespace {

struct Run {
  int code;
  std::string out, err;
};

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) text.append(buffer, n);
  std::fclose(f);
  return text;
}

Run Pick(std::vector<std::string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int code = RunPickCommand(args, out, err);
  return {code, ReadAll(out), ReadAll(err)};
}

TEST(PickCommand, ListsThePickableObjects) {
  auto r = Pick({});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("120 350 200 380\tSys.Process(\"orders\")"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("pwhost"), std::string::npos);             // the own process's window is not pickable
  EXPECT_EQ(r.out.find("TpwPDAScreenPanel"), std::string::npos);  // nor the screen panel
}

TEST(PickCommand, PicksAndMaps) {
  auto r = Pick({"150,360", "450,120"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("450,120\tSys.Process(\"orders\").Window(\"TOrderForm\", \"Orders\", 1)\n"), std::string::npos);
  EXPECT_EQ(Pick({"150,360", "700,500"}).code, 1);  // the screen panel: nothing picked

  auto m = Pick({"--map", "150,360", "320,360", "150,360"});
  EXPECT_EQ(m.code, 0) << m.err;
  EXPECT_NE(m.out.find("  item Sys.orders.Orders.OK\tWndClass=\"TButton\" WndCaption=\"OK\" Index=1 ControlId=11\t"
                       "search root: yes\talias: OK\n"),
            std::string::npos)
      << m.out;
  EXPECT_NE(m.out.find("  item Sys.orders.Orders.OK2\t"), std::string::npos) << m.out;
  EXPECT_NE(m.out.find("  mapped already\n"), std::string::npos) << m.out;
}

TEST(PickCommand, WrongArguments) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"1,x"}, {"--map"}, {"1;2"}, {"+1,2"}, {"--maps", "1,2"}})
    EXPECT_EQ(Pick(args).code, 2);
}

}  // namespace
}  // namespace pw::host
