#include "options_test_support.h"

#include <fstream>
#include <sstream>

#include "core/options_name_pool.h"

namespace pw::test {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

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
