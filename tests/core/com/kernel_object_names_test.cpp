#include "core/com/kernel_object_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace pw {
namespace {

TEST(GlobalObjectName, PutsTheNameIntoTheGlobalNamespaceOnce) {
  const std::string session = "_" + std::to_string(::getsid(0));
  struct Case {
    const char16_t* name;
    bool perSession;
    std::string expected;
  };
  const Case cases[] = {
      {u"ProbeMap", false, "Global\\ProbeMap"},
      {u"Global\\ProbeMap", false, "Global\\ProbeMap"},
      {u"ProbeMap", true, "Global\\ProbeMap" + session},
      {u"Global\\ProbeMap", true, "Global\\ProbeMap" + session},
      {u"global\\x", false, "Global\\global\\x"},  // the prefix is matched exactly
      {u"", false, "Global\\"},
      {u"Map\u00C4", false, "Global\\Map\xC3\x84"},  // UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(MakeGlobalObjectName(c.name, c.perSession), c.expected) << c.expected;
}

TEST(GlobalObjectName, SessionIdIsTheProcessSessionOrMinusOne) {
  EXPECT_EQ(GetProcessSessionId(static_cast<DWORD>(::getpid())), ::getsid(0));
  EXPECT_EQ(GetProcessSessionId(0x7FFFFFF0u), -1);  // no such process
  EXPECT_EQ(GetProcessSessionId(0), -1);            // nor is 0 the calling process
  EXPECT_EQ(GetGlobalSecurityAttributes(), nullptr);
}

}  // namespace
}  // namespace pw
