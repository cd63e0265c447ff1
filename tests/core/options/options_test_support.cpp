#include "options_test_support.h"

#include "core/options/options_name_pool.h"

namespace pw::test {

namespace {
// The options name pool is a unit of the module; the tests start it once for the binary.
class OptionsUnitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { StartOptionsNamePool(); }
  void TearDown() override { StopOptionsNamePool(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OptionsUnitEnvironment);
}  // namespace

}  // namespace pw::test
