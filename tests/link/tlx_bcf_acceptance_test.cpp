// A new user's sequence from start to finish, through the library's exports
// only, with the test peer as the base station on its internet link: start,
// connect a stream session, change the channel, press and release a remote
// key, stop, disconnect, clean up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export_test_support.h"
#include "link/tlx_bcf.h"
#include "link_env_support.h"
#include "support/peer_process.h"

namespace {

using namespace std::chrono_literals;
using tlx::link::test::Comparator;

// Lines of the peer's record that contain `text`.
std::vector<std::string> Lines(tlx::test::PeerProcess& peer, const std::string& text) {
  std::vector<std::string> lines;
  for (const std::string& line : peer.RecordLines()) {
    if (line.find(text) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

size_t ChannelRecords(tlx::test::PeerProcess& peer, int channel) {
  size_t count = 0;
  for (const std::vector<int>& words : tlx::test::TvRequestWords(peer)) {
    if (words.size() >= 8 && words[0] == 3 && words[1] == 0 && words[2] == channel && words[7] == 0) ++count;
  }
  return count;
}

TEST(LinkAcceptance, AVideoInputQueryThatIsNotAnsweredGivesMinusOne) {
  tlx::link::test::UseTestEnvironment();
  tlx::test::PeerProcess peer("{\"services\": {\"vexlink\": {}, \"ravix\": {}, \"tv\": {\"silent\": true}}}");
  ASSERT_TRUE(peer.running()) << peer.error();
  ASSERT_EQ(tlxInit(nullptr), 0);
  ASSERT_EQ(tlxHnetMgr_SetConnType(2), 0);
  uint8_t link[68] = {};
  const std::string port = std::to_string(peer.port());
  std::memcpy(link + 4, port.c_str(), port.size());
  std::memcpy(link + 16, "127.0.0.1", 9);
  ASSERT_EQ(tlxAnetMgrAPI_SetConfig(2, 6, link), 1);
  ASSERT_EQ(tlxRavixMgr_ChangeState(1), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tlxTvMgr_GetVideoIn(), -1);
  // 600 ticks, divided by ten.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
  EXPECT_EQ(tlxRavixMgr_ChangeState(0), 0);
  EXPECT_EQ(tlxCleanup(), 0);
}

TEST(LinkAcceptance, ConnectChangeChannelPressAKeyDisconnect) {
  tlx::link::test::UseTestEnvironment();
  tlx::link::test::DeleteTree(tlx::link::test::kTlxKey);
  Comparator comparator;
  std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  const int threadsBefore = tlx::link::test::Threads();

  tlx::test::PeerProcess peer(
      "{\"services\": {\"vexlink\": {}, \"ravix\": {}, \"tv\": {\"video_input\": 2}, \"uircom\": {}}}");
  ASSERT_TRUE(peer.running()) << peer.error();

  int option = 0;
  ASSERT_EQ(tlxInit(&option), 0);
  ASSERT_EQ(tlxHnetMgr_SetConnType(2), 0);
  EXPECT_EQ(tlxHnetMgr_GetConnType(), 2);
  uint8_t link[68] = {};
  const uint16_t useLink = 49;
  std::memcpy(link, &useLink, sizeof useLink);
  const std::string port = std::to_string(peer.port());
  std::memcpy(link + 4, port.c_str(), port.size());
  std::memcpy(link + 16, "127.0.0.1", 9);
  ASSERT_EQ(tlxAnetMgrAPI_SetConfig(2, 6, link), 1);
  ASSERT_EQ(tlxRavixMgr_ChangeState(1), 0);
  ASSERT_EQ(tlxRavixMgr_ChangeState(2), 0);
  EXPECT_EQ(tlxRavixMgr_GetState(), 2);

  // Whatever the TV manager re-selected by itself as the link came up is
  // answered before the channel is changed.
  std::this_thread::sleep_for(200ms);
  const size_t before = ChannelRecords(peer, 4);
  ASSERT_EQ(tlxTvMgr_SelectEx(0, 0, 4, 0, 0), 0);
  ASSERT_TRUE(WaitUntil([&] { return ChannelRecords(peer, 4) == before + 1; }));
  ASSERT_TRUE(WaitUntil([&] { return !Lines(peer, "\"tv_answer\"").empty(); }));
  // Two response periods of the link (600 ticks, here divided by ten).
  std::this_thread::sleep_for(2 * 600 * 1000ms / 60 / 10);
  EXPECT_EQ(ChannelRecords(peer, 4), before + 1) << "acknowledged: no resend";
  EXPECT_EQ(tlxTvMgr_GetVideoIn(), 2);

  const char key[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(tlxUiRcomMgr_SendCommand(1, key, 5), 0);
  EXPECT_EQ(tlxUiRcomMgr_SendCommand(2, nullptr, 0), 0);
  ASSERT_TRUE(WaitUntil([&] { return !Lines(peer, "\"uircom_release\"").empty(); }));
  std::vector<std::string> sent;
  for (const std::string& line : Lines(peer, "\"uircom_")) {
    if (line.find("\"uircom_code\"") != std::string::npos || line.find("\"uircom_release\"") != std::string::npos) {
      sent.push_back(line);
    }
  }
  ASSERT_EQ(sent.size(), 2u);
  for (const char* field : {"\"uircom_code\"", "\"kind\": 1,", "\"phase\": 1,", "\"length\": 5,", "\"code\": \"0102030405\""}) {
    EXPECT_NE(sent[0].find(field), std::string::npos) << sent[0];
  }
  EXPECT_NE(sent[1].find("\"uircom_release\""), std::string::npos);
  EXPECT_TRUE(comparator.WaitFor("cmdid=1\ndata=0102030405\n"));
  EXPECT_TRUE(comparator.WaitFor("cmdid=2\ndata=\n"));

  ASSERT_EQ(tlxRavixMgr_ChangeState(3), 0);
  EXPECT_TRUE(WaitUntil([&] {
    for (const std::vector<int>& words : tlx::test::TvRequestWords(peer)) {
      if (!words.empty() && words[0] == 1) return true;
    }
    return false;
  })) << "the stop action";
  ASSERT_EQ(tlxRavixMgr_ChangeState(0), 0);
  EXPECT_TRUE(WaitUntil([&] { return !Lines(peer, "\"vexlink_closed\"").empty(); })) << "the link closes";
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_TRUE(tlx::link::test::ThreadsBackTo(threadsBefore));
}

}  // namespace
