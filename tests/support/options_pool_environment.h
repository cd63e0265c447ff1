// The options name pool is a unit of the module: a test binary whose tests use the options tree
// registers this environment once (AddGlobalTestEnvironment), which starts the pool before the
// tests and stops it after them.
#pragma once

#include <gtest/gtest.h>

#include "core/options/options_name_pool.h"

namespace pw::test {

class OptionsNamePoolEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { StartOptionsNamePool(); }
  void TearDown() override { StopOptionsNamePool(); }
};

}  // namespace pw::test
