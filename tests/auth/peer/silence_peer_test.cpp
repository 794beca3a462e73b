// A base station that never answers: the exchange gives up after its 10 s
// receive limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "peer_fixture.h"
#include "auth/tlx_authentication.h"

namespace {

using Silence = tlx::test::PeerTest;

TEST_F(Silence, AuthenticationGivesUpAfterTenSeconds) {
  Start(tlx::test::HttpScenario(R"("answers": {"ravix": [{"do": "silence"}]})"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Authenticate(), TLX_E_AUTH_FAILED);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(9500));
  EXPECT_LT(waited, std::chrono::seconds(13));
}

}  // namespace
