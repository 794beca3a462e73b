// The test runner must keep every test off the real network: inside it, the
// only network interface is loopback.
#include <gtest/gtest.h>
#include <ifaddrs.h>

#include <cstdlib>
#include <set>
#include <string>

namespace {

TEST(TestNamespace, OnlyLoopbackIsVisible) {
  if (std::getenv("TLX_TEST_NETNS") == nullptr) GTEST_SKIP() << "not started by scripts/test";
  ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  std::set<std::string> names;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) names.insert(a->ifa_name);
  freeifaddrs(list);
  EXPECT_EQ(names, std::set<std::string>{"lo"});
}

}  // namespace
