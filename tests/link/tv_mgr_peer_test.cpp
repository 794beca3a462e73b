// The TV manager against the test peer, over the internet link and over UDP:
// the slots, resends, acknowledgements, events of the base, the video-input
// query and the auto-preset.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "session_peer_support.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

// One answer period of the road, scaled: 600 ticks on the link, 300 on UDP.
long AnswerMs(bool link) { return (link ? 600 : 300) * 1000 / 60 / TickScale(); }

class TvPeerTest : public SessionPeerTest, public testing::WithParamInterface<bool> {
 protected:
  bool link() const { return GetParam(); }
  // The peer with its TV responder (options), the road of the parameter and
  // the TV manager started.
  std::unique_ptr<PeerProcess> Start(const std::string& tvOptions = "") {
    auto peer = StartPeer("\"tv\": {" + tvOptions + "}");
    if (!peer->running()) return peer;
    // Started first, so the network events of the road's set-up reach it
    // before a test begins (they re-select nothing: no resume mode yet).
    EXPECT_EQ(0, TvMgr_Init(0x300));
    EventLog network(EVENT_ID_NETWORK);
    if (link()) {
      UseInternetLink(*peer);
    } else {
      UseLocalNetwork();
      WaitUntil([] { return KACH_LinkUp() && KACH_LinkState() == kKachLinkUp; });
    }
    network.WaitFor([](const EventLog::Event& e) { return !e.words.empty() && e.words[0] == 0; });
    std::this_thread::sleep_for(50ms);
    return peer;
  }
  void Inject(PeerProcess& peer, const std::string& bytes) {
    ASSERT_EQ("done", peer.Command("{\"do\": \"send\", \"via\": \"" + std::string(link() ? "link" : "udp") +
                                   "\", \"hex\": \"" + Hex(bytes) + "\"}"));
  }
  // The request records the peer received, as word lists.
  static std::vector<std::vector<int>> Requests(PeerProcess& peer) {
    std::vector<std::vector<int>> records;
    for (const std::string& line : Records(peer, {"tv_record", "\"type\": 0"})) records.push_back(RecordInts(line, "words"));
    return records;
  }
  static bool WaitRequests(PeerProcess& peer, size_t count, std::chrono::milliseconds limit = 10s) {
    return WaitUntil([&] { return Requests(peer).size() >= count; }, limit);
  }
};

std::string TvEvent(std::vector<int32_t> words) {
  words.resize(12, -1);
  std::string payload;
  for (int32_t word : words) payload.append(reinterpret_cast<const char*>(&word), 4);
  return Message("TV", 2, payload);
}

// A step of a slot case: a channel change (band 0, that channel) or, for
// channel 0, a picture change.
int Request(int channel) {
  return channel == 0 ? tlxTvMgr_SetPictureCtrl(1, 2, 3, 4, 5) : tlxTvMgr_ChannelEnter(0, channel, 0, -1);
}

TEST_P(TvPeerTest, OneRecordInFlightAndOneWaiting) {
  struct Case {
    const char* what;
    std::vector<int> requests;  // the first is in flight while the others come
    std::vector<int> sent;      // action 3 channels, or 0 for action 10
  };
  const Case cases[] = {
      {"a channel change waits", {10, 11}, {10, 11}},
      {"a second channel change replaces it", {10, 11, 12}, {10, 12}},
      {"a picture change does not replace a channel change", {10, 11, 0}, {10, 11}},
      {"a channel change replaces a picture change", {10, 0, 12}, {10, 12}},
      {"a picture change replaces a picture change", {10, 0, 0}, {10, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto peer = Start("\"script\": [{\"delay_ms\": " + std::to_string(AnswerMs(link()) / 3) + "}]");
    ASSERT_TRUE(peer->running()) << peer->error();
    for (int request : c.requests) EXPECT_EQ(0, Request(request));
    ASSERT_TRUE(WaitRequests(*peer, c.sent.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(AnswerMs(link()) / 2));
    const auto requests = Requests(*peer);
    ASSERT_EQ(c.sent.size(), requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
      ASSERT_EQ(12u, requests[i].size());
      EXPECT_EQ(c.sent[i] == 0 ? TV_ACT_PICTURE : TV_ACT_CHANNEL, requests[i][0]) << i;
      if (c.sent[i] != 0) EXPECT_EQ(c.sent[i], requests[i][2]) << i;
    }
    TvMgr_Cleanup();
    KACH_Shutdown();
    tlxLinkMgrDisconnect();
  }
}

TEST_P(TvPeerTest, AChannelChangeRecordCarriesTheSettings) {
  auto peer = Start();
  ASSERT_TRUE(peer->running()) << peer->error();
  ASSERT_EQ(0, tlxTvMgr_SetPictureCtrlOffline(0, 0, 0, 0, 0));
  EXPECT_EQ(-1, tlxTvMgr_ChannelEnter(2, 63, 1, 1));
  EXPECT_EQ(-1, tlxTvMgr_InputSelect(4, 1, 1));
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(2, 113, 1, 5));
  ASSERT_TRUE(WaitRequests(*peer, 1));
  const int picture = 16 << 26 | 16 << 20 | 16 << 14 | 16 << 8;
  EXPECT_EQ((std::vector<int>{3, 0, 113, 0, TvMgr_BitrateCode(), -1, -1, 2, 1, -1, picture, -1}), Requests(*peer)[0]);
  EXPECT_TRUE(WaitUntil([] { return TvMgr_PlayState() == kPlaying; }));
  ASSERT_EQ(0, tlxTvMgr_InputSelect(3, 0, -1));
  ASSERT_TRUE(WaitRequests(*peer, 2));
  EXPECT_EQ((std::vector<int>{3, 3, -1, 0, TvMgr_BitrateCode(), -1, -1, -1, 0, -1, picture, -1}), Requests(*peer)[1]);
}

TEST_P(TvPeerTest, UnansweredRequestsAreResentByTheirCount) {
  auto peer = Start("\"silent\": true");
  ASSERT_TRUE(peer->running()) << peer->error();
  // A channel change without end.
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(1, 5, 0, -1));
  ASSERT_TRUE(WaitRequests(*peer, 5));
  for (const auto& record : Requests(*peer)) EXPECT_EQ(5, record[2]);
  // A stop replaces nothing in flight: it waits, then the channel change is
  // dropped for it and the stop goes out once and is resent twice.
  ASSERT_EQ(0, tlxTvMgr_Stop());
  EXPECT_EQ(kPlayStopped, TvMgr_PlayState());
  std::this_thread::sleep_for(std::chrono::milliseconds(AnswerMs(link()) * 6));
  const auto requests = Requests(*peer);
  int stops = 0;
  for (const auto& record : requests) stops += record[0] == TV_ACT_STOP;
  EXPECT_EQ(3, stops);
  EXPECT_EQ(TV_ACT_STOP, requests.back()[0]);
  for (int i = 1; i < 12; ++i) {
    if (i != 6) EXPECT_EQ(-1, requests.back()[i]) << i;
  }
}

TEST_P(TvPeerTest, BusyAndRefusedAnswers) {
  // Busy: resent with a count of 2, so two time-outs later it is dropped.
  auto peer = Start("\"script\": [{\"status\": 105}], \"silent\": true");
  ASSERT_TRUE(peer->running()) << peer->error();
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(0, 30, 0, -1));
  ASSERT_TRUE(WaitRequests(*peer, 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(AnswerMs(link()) * 4));
  EXPECT_EQ(3u, Requests(*peer).size());
  // The slot is free again; done plays, refused ends the play.
  ASSERT_EQ("done", peer->Command("{\"do\": \"tv_set\", \"silent\": false}"));
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(0, 31, 0, -1));
  EXPECT_TRUE(WaitUntil([] { return TvMgr_PlayState() == kPlaying; }));
  ASSERT_EQ("done", peer->Command("{\"do\": \"tv_set\", \"status\": 108}"));
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(0, 32, 0, -1));
  EXPECT_TRUE(WaitUntil([] { return TvMgr_PlayState() == kNotPlaying; }));
}

TEST_P(TvPeerTest, VideoInputQuery) {
  auto peer = Start("\"video_input\": 3");
  ASSERT_TRUE(peer->running()) << peer->error();
  EXPECT_EQ(3, tlxTvMgr_GetVideoIn());
  ASSERT_TRUE(WaitRequests(*peer, 1));
  EXPECT_EQ((std::vector<int>{22, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}), Requests(*peer)[0]);
  ASSERT_EQ("done", peer->Command("{\"do\": \"tv_set\", \"silent\": true}"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(-1, tlxTvMgr_GetVideoIn());
  EXPECT_GE(ElapsedMs(start), AnswerMs(true) * 9 / 10);
  EXPECT_LT(ElapsedMs(start), AnswerMs(true) * 2 + kSchedulingSlackMs);
}

TEST_P(TvPeerTest, EventsAndAnswersOfTheBaseAreCheckedFirst) {
  auto peer = Start("\"video_input\": 2");
  ASSERT_TRUE(peer->running()) << peer->error();
  EventLog tv(EVENT_ID_TV);
  // Malformed or unknown: short records, unknown events and actions.
  Inject(*peer, Message("TV", 2, Words({18, 2, 1})));
  Inject(*peer, Message("TV", 1, Words({22, 5, -1, -1, -1, -1, 100, -1, -1, -1, -1})));
  Inject(*peer, TvEvent({99, 1, 2}));
  Inject(*peer, Message("TV", 1, TvEvent({55, 1, 2, 3, 4, 5, 100}).substr(16)));
  Inject(*peer, Message("TV", 7, TvEvent({18, 2, 1}).substr(16)));
  // Event 18: bilingual state and mode class.
  Inject(*peer, TvEvent({18, 2, 1}));
  ASSERT_TRUE(tv.WaitFor([](const EventLog::Event&) { return true; }));
  EXPECT_EQ(1u, tv.events().size());
  EXPECT_EQ((std::vector<int32_t>{2, 1, 0}), tv.events()[0].words);
  EXPECT_EQ(1, tlxTvMgr_GetAudioBli()) << "the base's mode is taken";
  // The next request works.
  EXPECT_EQ(2, tlxTvMgr_GetVideoIn());
  // Bilingual: region code 0 uses kind 3, which takes mode 1 to 0 and 0 to 1.
  EXPECT_EQ(0, tlxTvMgr_ChangeAudioBli());
  ASSERT_TRUE(WaitRequests(*peer, 2));
  EXPECT_EQ(TV_ACT_BILINGUAL, Requests(*peer)[1][0]);
  EXPECT_EQ(0, Requests(*peer)[1][1]);
  EXPECT_TRUE(WaitUntil([] { return tlxTvMgr_GetAudioBli() == 0; }));
  EXPECT_EQ(1, tlxTvMgr_ChangeAudioBli());
}

TEST_P(TvPeerTest, AutoPresetEndsWithItsResult) {
  // A good result: five words whose bits land in the table.
  std::string resultOptions = "\"result\": {\"band\": 2, \"checksum\": " + std::to_string(0x40000005) + ", \"words\": [5, 0, 0, " +
                              std::to_string(0x40000000) + ", 0]}";
  auto peer = Start(resultOptions);
  ASSERT_TRUE(peer->running()) << peer->error();
  EventLog preset(EVENT_ID_AUTOPRESET);
  uint8_t table[kPresetTableSize];
  ASSERT_EQ(0, tlxTvMgr_StartAutoPreset(2));
  EXPECT_EQ(-1, tlxTvMgr_StartAutoPreset(2)) << "one runs";
  EXPECT_EQ(-1, tlxTvMgr_GetAutoPresetResult(2, table)) << "while it runs";
  // The result is asked after the band's 3600 ticks.
  ASSERT_TRUE(preset.WaitFor([](const EventLog::Event&) { return true; }, 20s));
  EXPECT_EQ((std::vector<int32_t>{kPresetGood}), preset.events()[0].words);
  const auto requests = Requests(*peer);
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(TV_ACT_PRESET_START, requests[0][0]);
  EXPECT_EQ(2, requests[0][2]);
  EXPECT_EQ(TV_ACT_PRESET_RESULT, requests[1][0]);
  EXPECT_EQ(requests[0][1], requests[1][1]) << "the identifier";
  std::memset(table, 0xEE, sizeof table);
  ASSERT_EQ(0, tlxTvMgr_GetAutoPresetResult(2, table));
  for (int i = 0; i < kPresetTableSize; ++i) EXPECT_EQ(i == 0 || i == 2 || i == 126 ? 1 : 0, table[i]) << i;
  EXPECT_EQ(-1, tlxTvMgr_GetAutoPresetResult(0, table)) << "another band";
  EXPECT_EQ(-1, tlxTvMgr_GetAutoPresetResult(3, table));

  // A bad checksum in event 21 gives state 1; the result stays.
  preset.Clear();
  ASSERT_EQ("done", peer->Command("{\"do\": \"tv_set\", \"result\": null}"));
  ASSERT_EQ(0, tlxTvMgr_StartAutoPreset(0));
  ASSERT_TRUE(WaitRequests(*peer, 3));
  const int id = Requests(*peer)[2][1];
  Inject(*peer, TvEvent({21, id + 1, 0, 5, 5, 0, 100, 0, 0, 0}));  // another identifier: ignored
  Inject(*peer, TvEvent({21, id, 0, 6, 5, 0, 100, 0, 0, 0}));
  ASSERT_TRUE(preset.WaitFor([](const EventLog::Event&) { return true; }));
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(1u, preset.events().size());
  EXPECT_EQ((std::vector<int32_t>{kPresetFailed}), preset.events()[0].words);
  EXPECT_EQ(-1, tlxTvMgr_GetAutoPresetResult(0, table)) << "the last good result is of band 2";
  EXPECT_EQ(0, tlxTvMgr_GetAutoPresetResult(2, table));
}

TEST_P(TvPeerTest, AutoPresetStartRefusedOrCutByTheNetwork) {
  auto peer = Start("\"script\": [{\"status\": 104}]");
  ASSERT_TRUE(peer->running()) << peer->error();
  EventLog preset(EVENT_ID_AUTOPRESET);
  ASSERT_EQ(0, tlxTvMgr_StartAutoPreset(1));
  ASSERT_TRUE(preset.WaitFor([](const EventLog::Event&) { return true; }));
  EXPECT_EQ((std::vector<int32_t>{kPresetNetworkDown}), preset.events()[0].words);
  // The cancel goes out with the identifier.
  ASSERT_TRUE(WaitRequests(*peer, 2));
  EXPECT_EQ(TV_ACT_PRESET_CANCEL, Requests(*peer)[1][0]);
  EXPECT_EQ(Requests(*peer)[0][1], Requests(*peer)[1][1]);

  // Network down while one runs: its watchdog of 900 ticks ends it with 3.
  preset.Clear();
  ASSERT_EQ(0, tlxTvMgr_StartAutoPreset(1));
  ASSERT_TRUE(WaitRequests(*peer, 3));
  const int32_t down[3] = {1, 0, 0};
  ASSERT_EQ(0, eventMgrPost(EVENT_ID_NETWORK, down, sizeof down, -1));
  ASSERT_TRUE(preset.WaitFor([](const EventLog::Event&) { return true; }, 20s));
  EXPECT_EQ((std::vector<int32_t>{kPresetNetworkDown}), preset.events()[0].words);
}

TEST_P(TvPeerTest, NetworkDownClearsAndUpSelectsTheLastChannelAgain) {
  auto peer = Start("\"silent\": true");
  ASSERT_TRUE(peer->running()) << peer->error();
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(0, 40, 1, 7));
  ASSERT_EQ(0, tlxTvMgr_ChannelEnter(0, 41, 1, 7));  // pending
  ASSERT_TRUE(WaitRequests(*peer, 1));
  std::thread asker([] { EXPECT_EQ(-1, tlxTvMgr_GetVideoIn()); });
  std::this_thread::sleep_for(20ms);
  const int32_t down[3] = {1, 0, 0};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(0, eventMgrPost(EVENT_ID_NETWORK, down, sizeof down, -1));
  asker.join();
  EXPECT_LT(ElapsedMs(start), AnswerMs(true) / 2 + kSchedulingSlackMs / 2) << "the waiter was cancelled";
  EXPECT_EQ(kNotPlaying, TvMgr_PlayState());
  ASSERT_EQ("done", peer->Command("{\"do\": \"tv_set\", \"silent\": false}"));
  const size_t before = Requests(*peer).size();
  const int32_t up[3] = {0, 1, 1};
  ASSERT_EQ(0, eventMgrPost(EVENT_ID_NETWORK, up, sizeof up, -1));
  ASSERT_TRUE(WaitRequests(*peer, before + 1));
  const auto requests = Requests(*peer);
  const auto& again = requests[before];
  EXPECT_EQ(TV_ACT_CHANNEL, again[0]);
  EXPECT_EQ(41, again[2]) << "the last stored channel";
  EXPECT_EQ(0, again[8]) << "re-selected without storing";
  for (size_t i = 0; i < before; ++i) EXPECT_NE(22, requests[i][0]) << "the query came after the slots were cleared";
}

INSTANTIATE_TEST_SUITE_P(Road, TvPeerTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Link" : "Udp"; });

}  // namespace
}  // namespace tlx::link::test
