#include "core/com/unit_table.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace pw {
namespace {

std::string gLog;
bool gFailThird = false;

void StartA() { gLog += "+a"; }
void StopA() { gLog += "-a"; }
void StartB() { gLog += "+b"; }
void StopB() {
  gLog += "-b";
  throw std::runtime_error("b stop failed");
}
void StartC() {
  if (gFailThird) throw std::runtime_error("c failed");
  gLog += "+c";
}
void StopC() { gLog += "-c"; }

constexpr UnitEntry kUnits[] = {{"a", StartA, StopA}, {"b", StartB, StopB}, {"nil", nullptr, nullptr},
                                {"c", StartC, StopC}};

TEST(UnitTable, StartsInOrderStopsInReverseEachOnce) {
  gLog.clear();
  gFailThird = false;
  UnitTable table(kUnits);
  table.Start();
  table.Start();  // already started units start no second time
  EXPECT_EQ(gLog, "+a+b+c");
  // A failing stop does not keep the others from stopping; its failure comes out at the end.
  EXPECT_THROW(table.Stop(), std::runtime_error);
  EXPECT_EQ(gLog, "+a+b+c-c-b-a");
  table.Stop();
  EXPECT_EQ(gLog, "+a+b+c-c-b-a");
}

TEST(UnitTable, AFailedStartStopsWhatStartedAndReportsTheStartFailure) {
  gLog.clear();
  gFailThird = true;
  UnitTable table(kUnits);
  try {
    table.Start();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "c failed");
  }
  EXPECT_EQ(gLog, "+a+b-b-a");
  EXPECT_FALSE(table.IsStarted(0));
  gFailThird = false;
}

}  // namespace
}  // namespace pw
