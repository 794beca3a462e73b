#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/peer_process.h"
#include "tunnel_session.h"

namespace {

// A base that accepts DESCRIBE and falls silent: the wait ends after the
// default 10 s.
TEST(ResponseWaitSlow, DefaultLimitIsTenSeconds) {
  const char* dir = std::getenv("TLX_STREAM_FIXTURES");
  const std::string fixtures = dir ? dir : "";
  tlx::test::PeerProcess peer(R"({"services": {"http": {"stream": {"media": {"video": ")" + fixtures +
                              R"(/video.m4v", "audio": ")" + fixtures +
                              R"(/audio_24000.aac"}, "faults": {"answers": {"DESCRIBE": {"do": "silence"}}}}}}})");
  ASSERT_TRUE(peer.running()) << peer.error();
  TestEnvironment t;
  TunnelClient client(*t.env);
  ASSERT_TRUE(client.open(peer.port())) << t.env->getResultMsg();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.describeURL(("rtsp://127.0.0.1:" + std::to_string(peer.port()) + "/DSP/vfr=30./").c_str()));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::seconds(10));
  EXPECT_LT(waited, std::chrono::seconds(15));
  EXPECT_EQ(std::string(t.env->getResultMsg()), "DESCRIBE failed: no response within 10000 ms");
}

}  // namespace
