// The forwarding wrappers over a bound stand-in of the authentication
// library, which records every call.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "link/config/tlx_auth_fns.h"
#include "link_env_support.h"

namespace tlx::link {
namespace {

std::string TakeCalls() {
  static const auto take = test::StubEntry<void (*)(char*, int)>("libTlxAuthStub.so", "StubAuthTakeCalls");
  char calls[1024] = {};
  if (take != nullptr) take(calls, sizeof calls);
  return calls;
}

TEST(AuthForward, EveryWrapperPassesItsArgumentsAndItsAnswer) {
  test::UseTestEnvironment();
  ASSERT_TRUE(tlxAuthBind());
  TakeCalls();
  char out[64] = {};
  const struct {
    const char* name;
    std::function<long long()> call;
    long long result;
    const char* recorded;
  } cases[] = {
      {"registration", [] { return tlxAuthRegistration("1234", "alias", "base.test", 5021, 1, 2); },
       static_cast<int32_t>(0x80041016), "Registration 1234 alias base.test 5021 1 2\n"},
      {"reg value", [] { return static_cast<long long>(tlxAuthGetRegValue("key").size()); }, 12,
       "GetRegValue key\n"},
      {"null reg value", [] { return static_cast<long long>(tlxAuthGetRegValue("none").size()); }, 0,
       "GetRegValue none\n"},
      {"init", [] { return tlxAuthInit(); }, 1, "AuthInit\n"},
      {"authentication", [] { return tlxAuthAuthentication(17, "base.test", 5022, 0); }, 0x17,
       "Authentication 17 base.test 5022 0\n"},
      {"aks", [&] { return tlxAuthGetAKS(out); }, 5, "GetAKS\n"},
      {"password", [&] { return tlxAuthMakePassword(out, 20, "nonce"); }, 6, "MakePassword 20 nonce\n"},
      {"base type", [] { return tlxAuthGetBaseType(); }, 7, "GetBaseType\n"},
      {"codec type", [] { return tlxAuthGetCodecType(); }, 0xC0DE, "GetCodecType\n"},
      {"scaling", [] { return tlxAuthGetScalingMode(); }, 9, "GetScalingMode\n"},
      {"base id", [] { return tlxAuthGetBaseId() == "BASE-0042"; }, 1, "GetBaseId\n"},
      {"request", [] { return tlxAuthRequestAuthentication("base.test", 5023, "GET", "/x"); }, 11,
       "RequestAuthentication base.test 5023 GET /x\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, c.call());
    EXPECT_EQ(c.recorded, TakeCalls());
  }
  EXPECT_EQ("stored-value", tlxAuthGetRegValue("key"));
  TakeCalls();
  TLX_SYSINFO_RECORD record{};
  tlxAuthSysInfoRegister(&record);
  EXPECT_EQ("SysInfoRegister\n", TakeCalls());
}

}  // namespace
}  // namespace tlx::link
