#include <gtest/gtest.h>
#include "host/test_host.h"
TEST(Smoke, Builds) { pw::host::TestHost host; EXPECT_TRUE(host.Manager()); }
