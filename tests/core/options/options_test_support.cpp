#include "options_test_support.h"

#include "tests/support/options_pool_environment.h"

namespace pw::test {

namespace {
// The tests start the options name pool once for the binary.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OptionsNamePoolEnvironment);
}  // namespace

}  // namespace pw::test
