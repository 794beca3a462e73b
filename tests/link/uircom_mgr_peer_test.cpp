// The remote-commander manager against the test peer over the internet link:
// frames, code blocks and the repeater, sealed codes, learning and capture,
// the configuration message and what the base sends, well-formed or not.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/control/uircom_mgr.h"
#include "session_peer_support.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

long ScaledMs(long ms) { return ms / TickScale(); }

std::string ToHex(const uint8_t* bytes, size_t n) { return Hex(std::string(reinterpret_cast<const char*>(bytes), n)); }

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// The text of `"field": "..."` in a record line.
std::string RecordText(const std::string& line, const char* field) {
  const std::string key = std::string("\"") + field + "\": \"";
  const size_t at = line.find(key);
  if (at == std::string::npos) return "";
  const size_t end = line.find('"', at + key.size());
  return line.substr(at + key.size(), end - at - key.size());
}

// What the learning callback was given.
struct Calls {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::pair<int, std::string>> calls;  // (status, "") or (0, code hex)
  intptr_t user = 0;

  static int Callback(int what, intptr_t data, int value, intptr_t user) {
    auto* self = reinterpret_cast<Calls*>(user);
    std::lock_guard guard(self->lock);
    if (what == 0) {
      self->calls.emplace_back(0, ToHex(reinterpret_cast<const uint8_t*>(data), static_cast<size_t>(value)));
    } else {
      self->calls.emplace_back(value, "");
    }
    self->changed.notify_all();
    return 0;
  }
  bool Wait(size_t count, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock_(lock);
    return changed.wait_for(lock_, limit, [&] { return calls.size() >= count; });
  }
  std::vector<std::pair<int, std::string>> Taken() {
    std::lock_guard guard(lock);
    return calls;
  }
};

class UiRcomPeerTest : public SessionPeerTest {
 protected:
  void TearDown() override {
    UiRcomMgr_Cleanup();
    SessionPeerTest::TearDown();
  }
  // The peer, the session in state 2 as the stream engine brings it, and
  // the manager.
  std::unique_ptr<PeerProcess> Start(const std::string& options = "", bool playing = true) {
    auto peer = StartPeer("\"ravix\": {}, \"uircom\": {" + options + "}");
    if (!peer->running()) return peer;
    Target(*peer);
    if (playing) {
      EXPECT_EQ(0, tlxRavixMgr_ChangeState(1));
      EXPECT_EQ(0, tlxRavixMgr_ChangeState(2));
    }
    EXPECT_EQ(0, UiRcomMgr_Init());
    return peer;
  }
  static void Inject(PeerProcess& peer, const std::string& frameBytes) {
    ASSERT_EQ("done", peer.Command("{\"do\": \"send\", \"via\": \"link\", \"hex\": \"" +
                                   Hex(Message("UiRcom", 0, frameBytes)) + "\"}"));
  }
  // (phase, code hex) of each code block and -1 for each release, in order.
  static std::vector<std::pair<int, std::string>> Sent(PeerProcess& peer) {
    std::vector<std::pair<int, std::string>> sent;
    for (const std::string& line : Records(peer, {"uircom_"})) {
      if (line.find("uircom_code") != std::string::npos) {
        sent.emplace_back(static_cast<int>(RecordNumber(line, "phase")), RecordText(line, "code"));
      } else if (line.find("uircom_release") != std::string::npos) {
        sent.emplace_back(-1, "");
      }
    }
    return sent;
  }
};

TEST(UiRcomRules, FramesAndConfigurationChecks) {
  uint8_t frame[kRcomFrameMax];
  const uint8_t data[3] = {1, 2, 3};
  ASSERT_EQ(8, UiRcom_Frame(1, data, 3, frame));
  EXPECT_EQ("0100030401020306", ToHex(frame, 8));
  ASSERT_EQ(7, UiRcom_Frame(2, data, 3, frame));
  EXPECT_EQ("02000305010203", ToHex(frame, 7));
  std::vector<uint8_t> big(276, 0xFF);
  EXPECT_EQ(kRcomSendParameterError, UiRcom_Frame(1, big.data(), 276, frame));
  EXPECT_EQ(kRcomSendParameterError, UiRcom_Frame(1, big.data(), 0, frame));
  ASSERT_EQ(280, UiRcom_Frame(1, big.data(), 275, frame));
  EXPECT_EQ("01011315", ToHex(frame, 4));
  EXPECT_EQ(static_cast<uint8_t>(275 * 0xFF), frame[279]);

  char key[13];
  EXPECT_EQ(0, tlxUiRcomMgr_GetParameter(4097, key, 13));
  EXPECT_STREQ("BrandolQuist", key);
  EXPECT_EQ(-1, tlxUiRcomMgr_GetParameter(4097, key, 12));
  EXPECT_EQ(-1, tlxUiRcomMgr_GetParameter(4096, key, 13));
}

// A good configuration block with names in both entries.
std::vector<uint8_t> ConfigBlock() {
  std::vector<uint8_t> block(kRcomConfigBlock, 0);
  block[0] = 1;
  block[1] = 2;
  std::memcpy(block.data() + 2, "RC01", 4);
  for (int entry : {6, 139}) {
    block[entry] = 1;
    std::memcpy(block.data() + entry + 5, "Maker Co.", 9);
    std::memcpy(block.data() + entry + 69, "Model-1 (x)", 11);
  }
  return block;
}

TEST(UiRcomRules, ConfigurationBlockCheck) {
  struct Case {
    const char* what;
    int offset;
    uint8_t value;
    bool valid;
  };
  const Case cases[] = {
      {"good", 0, 1, true},           {"byte 0 is 0", 0, 0, true},     {"byte 0 is 2", 0, 2, false},
      {"input 2", 1, 2, true},        {"input 3", 1, 3, false},        {"kind 3", 6, 3, false},
      {"second kind 3", 139, 3, false}, {"control", 11, 0x1F, false},  {"byte 0x7F", 11, 0x7F, false},
      {"byte 0xC0", 80, 0xC0, false}, {"quote", 144, '"', false},      {"comma", 208, ',', false},
      {"colon", 11, ':', false},      {"equals", 144 + 64 + 10, '=', false},
      {"after the NUL", 21, ',', true}, {"model text unchecked", 3, ',', true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> block = ConfigBlock();
    block[c.offset] = c.value;
    EXPECT_EQ(c.valid, UiRcomMgr_ConfigValid(block.data())) << c.what;
  }
}

TEST_F(UiRcomPeerTest, CodesGoOutWithPressAndReleaseTiming) {
  auto peer = Start();
  ASSERT_TRUE(peer->running()) << peer->error();
  const uint8_t a[5] = {0xA1, 2, 3, 4, 5}, b[5] = {0xB1, 2, 3, 4, 5}, c[5] = {0xC1, 2, 3, 4, 5};
  // Ignored lengths and unknown kinds.
  const std::vector<uint8_t> longCode(256, 7);
  EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(1, a, 4));
  EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(6, longCode.data(), 256));
  EXPECT_EQ(-1, tlxUiRcomMgr_SendCommand(7, a, 5));

  struct Case {
    const char* what;
    std::function<void()> presses;
    std::vector<std::pair<int, std::string>> sent;
  };
  const std::string ha = "a102030405", hb = "b102030405", hc = "c102030405";
  const Case cases[] = {
      {"press and release at once",
       [&] {
         EXPECT_EQ(0, tlxUiRcomMgrSend(a, 5));
         EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
       },
       {{1, ha}, {-1, ""}}},
      // Presses and holds well away from the 250 ms repeat delay, so a
      // loaded machine's late wake-ups do not turn one into the other.
      {"presses every 100 ms",
       [&] {
         for (const uint8_t* code : {a, b}) {
           EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(1, code, 5));
           std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(100)));
         }
         EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(1, c, 5));
         EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
       },
       {{0, ha}, {0, hb}, {1, hc}, {-1, ""}}},
      {"press, 500 ms, release",
       [&] {
         EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(1, a, 5));
         std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(500)));
         EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
       },
       {{0, ha}, {-1, ""}}},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.what);
    const size_t before = Sent(*peer).size();
    cs.presses();
    ASSERT_TRUE(WaitUntil([&] { return Sent(*peer).size() >= before + cs.sent.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(500)));
    const auto sent = Sent(*peer);
    const std::vector<std::pair<int, std::string>> now(sent.begin() + static_cast<long>(before), sent.end());
    EXPECT_EQ(cs.sent, now);
  }
  // A long code is a 260-byte block of kind 6.
  const std::vector<uint8_t> code(200, 0x5A);
  EXPECT_EQ(0, tlxUiRcomMgrSend(code.data(), 200));
  EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
  ASSERT_TRUE(WaitRecords(*peer, {"uircom_code", "\"kind\": 6", "\"length\": 200"}, 1));
}

TEST_F(UiRcomPeerTest, SealedCodesAreOpenedFirst) {
  auto peer = Start();
  ASSERT_TRUE(peer->running()) << peer->error();
  struct Case {
    std::string plain;
    int kind;
    int sentKind;
  };
  const Case cases[] = {{"0102030405", 6, 1}, {"0102030405060708090a", 6, 6}, {"a0a1a2a3a4", 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    const size_t before = Records(*peer, {"uircom_sealed"}).size();
    ASSERT_EQ("done", peer->Command("{\"do\": \"uircom_seal\", \"hex\": \"" + c.plain + "\"}"));
    ASSERT_TRUE(WaitRecords(*peer, {"uircom_sealed"}, before + 1));
    std::vector<uint8_t> sealed = FromHex(RecordText(Records(*peer, {"uircom_sealed"}).back(), "sealed"));
    EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(c.kind, sealed.data(), static_cast<int>(sealed.size())));
    EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
    ASSERT_TRUE(WaitRecords(*peer, {"uircom_code", c.plain}, 1));
    EXPECT_EQ(1u, Records(*peer, {"uircom_code", c.plain, "\"kind\": " + std::to_string(c.sentKind)}).size());
    // Spoiled, it does not open and nothing goes out.
    sealed[sealed.size() / 2] ^= 1;
    const size_t codes = Records(*peer, {"uircom_code"}).size();
    EXPECT_EQ(-1, tlxUiRcomMgr_SendCommand(c.kind, sealed.data(), static_cast<int>(sealed.size())));
    const size_t releases = Records(*peer, {"uircom_release"}).size();
    EXPECT_EQ(0, tlxUiRcomMgr_SendCommand(2, nullptr, 0));
    ASSERT_TRUE(WaitRecords(*peer, {"uircom_release"}, releases + 1));
    EXPECT_EQ(codes, Records(*peer, {"uircom_code"}).size());
  }
  const uint8_t empty[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(-1, tlxUiRcomMgr_SendCommand(1, empty, 4)) << "the marker alone opens to nothing";
}

TEST_F(UiRcomPeerTest, LearningWithoutAnswersEndsWithStatus6) {
  auto peer = Start("\"silent\": true");
  ASSERT_TRUE(peer->running()) << peer->error();
  Calls calls;
  EXPECT_EQ(2, tlxUiRcomMgr_StartLearning(&Calls::Callback, 0, reinterpret_cast<intptr_t>(&calls)));
  ASSERT_TRUE(calls.Wait(1));
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{{6, ""}}), calls.Taken());
  std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(3000)));
  EXPECT_EQ(6u, Records(*peer, {"uircom_learning", "\"id\": 51", "\"mode\": 1"}).size());
}

TEST_F(UiRcomPeerTest, LearningAndCapture) {
  struct Case {
    const char* what;
    std::string options;
    int flags;
    int start;
    std::vector<std::pair<int, std::string>> calls;  // after a capture
  };
  const std::string code = "0011223344556677";
  const Case cases[] = {
      {"learned plain", "\"learned\": {\"code\": \"" + code + "\"}", 0, 0, {{0, code}}},
      {"error 2", "\"learned\": {\"code\": \"" + code + "\", \"error\": 2}", 0, 0, {{5, ""}}},
      {"error 1", "\"learned\": {\"code\": \"" + code + "\", \"error\": 1}", 0, 0, {{4, ""}}},
      {"length beyond the frame", "\"learned\": {\"code\": \"" + code + "\", \"length\": 9}", 0, 0, {{4, ""}}},
      {"length beyond 256", "\"learned\": {\"code\": \"" + std::string(2 * 260, 'e') + "\"}", 0, 0, {{4, ""}}},
      {"capture refused", "\"capture_result\": 1", 0, 0, {{2, ""}}},
      {"learning refused", "\"learn_result\": 1", 0, 2, {{2, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto peer = Start(c.options);
    ASSERT_TRUE(peer->running()) << peer->error();
    Calls calls;
    EXPECT_EQ(c.start, tlxUiRcomMgr_StartLearning(&Calls::Callback, c.flags, reinterpret_cast<intptr_t>(&calls)));
    if (c.start == 0) {
      EXPECT_EQ(3, tlxUiRcomMgr_StartLearning(&Calls::Callback, 0, 0)) << "learning already";
      EXPECT_EQ(0, tlxUiRcomMgr_StartCapture());
    }
    ASSERT_TRUE(calls.Wait(c.calls.size()));
    EXPECT_EQ(c.calls, calls.Taken());
    if (c.start == 0 && c.calls[0].first != 2) {
      EXPECT_TRUE(WaitRecords(*peer, {"uircom_learning", "\"id\": 53"}, 1)) << "the learned data is acknowledged";
    }
    EXPECT_EQ(0, tlxUiRcomMgr_StopLearning(1));
    UiRcomMgr_Cleanup();
    EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
  }
}

TEST_F(UiRcomPeerTest, ASealedLearnedCodeOpensInThePeer) {
  const std::string code = "8899aabbccddeeff00";
  auto peer = Start("\"learned\": {\"code\": \"" + code + "\"}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Calls calls;
  ASSERT_EQ(0, tlxUiRcomMgr_StartLearning(&Calls::Callback, 1, reinterpret_cast<intptr_t>(&calls)));
  ASSERT_EQ(0, tlxUiRcomMgr_StartCapture());
  ASSERT_TRUE(calls.Wait(1));
  const auto taken = calls.Taken();
  ASSERT_EQ(0, taken[0].first);
  EXPECT_EQ("ffffffff", taken[0].second.substr(0, 8));
  ASSERT_EQ("done", peer->Command("{\"do\": \"uircom_open\", \"hex\": \"" + taken[0].second + "\"}"));
  ASSERT_TRUE(WaitRecords(*peer, {"uircom_opened"}, 1));
  EXPECT_EQ(code, RecordText(Records(*peer, {"uircom_opened"})[0], "hex"));
  // Capture stop and learning stop go out with their modes.
  ASSERT_EQ(0, tlxUiRcomMgr_StartCapture());
  EXPECT_EQ(0, tlxUiRcomMgr_StopCapture());
  EXPECT_EQ(0, tlxUiRcomMgr_StopLearning(1));
  EXPECT_TRUE(WaitRecords(*peer, {"uircom_learning", "\"id\": 52", "\"mode\": 1"}, 1));
  EXPECT_TRUE(WaitRecords(*peer, {"uircom_learning", "\"id\": 51", "\"mode\": 0"}, 1));
}

TEST_F(UiRcomPeerTest, CaptureAndConfigurationNeedSessionState2) {
  auto peer = Start("", false);
  ASSERT_TRUE(peer->running()) << peer->error();
  for (int state : {0, 1}) {
    SCOPED_TRACE(state);
    if (state == 1) ASSERT_EQ(0, tlxRavixMgr_ChangeState(1));
    EXPECT_EQ(3, tlxUiRcomMgr_StartCapture());
    EXPECT_EQ(0, tlxUiRcomMgr_StopCapture());
    EXPECT_EQ(3, tlxUiRcomMgr_StartLearning(&Calls::Callback, 0, 0));
    EXPECT_EQ(0, tlxUiRcomMgr_StopLearning(0));
    EXPECT_EQ(-1, UiRcomMgr_SetConfig(ConfigBlock().data()));
  }
  ASSERT_EQ(0, tlxRavixMgr_ChangeState(2));
  EXPECT_EQ(3, tlxUiRcomMgr_StartCapture()) << "not learning";
  EXPECT_EQ(3, tlxUiRcomMgr_StopCapture()) << "not capturing";
  UiRcomMgr_Cleanup();
  EXPECT_EQ(3, tlxUiRcomMgr_StartCapture()) << "no manager";
  EXPECT_EQ(3, tlxUiRcomMgr_StopCapture());
  EXPECT_EQ(3, tlxUiRcomMgr_StartLearning(&Calls::Callback, 0, 0));
  EXPECT_EQ(0u, Records(*peer, {"uircom_frame"}).size());
}

TEST_F(UiRcomPeerTest, ConfigurationMessage) {
  auto peer = Start();
  ASSERT_TRUE(peer->running()) << peer->error();
  std::vector<uint8_t> bad = ConfigBlock();
  bad[11] = ':';
  EXPECT_EQ(-1, UiRcomMgr_SetConfig(bad.data()));
  const std::vector<uint8_t> block = ConfigBlock();
  EXPECT_EQ(0, UiRcomMgr_SetConfig(block.data()));
  const auto configs = Records(*peer, {"uircom_config"});
  ASSERT_EQ(1u, configs.size()) << "the bad block was not sent";
  EXPECT_EQ(273, RecordNumber(configs[0], "size"));
  EXPECT_EQ("36" + ToHex(block.data(), block.size()), RecordText(configs[0], "data"));
  ASSERT_EQ("done", peer->Command("{\"do\": \"uircom_set\", \"config_status\": 3}"));
  EXPECT_EQ(-1, UiRcomMgr_SetConfig(block.data()));
  ASSERT_EQ("done", peer->Command("{\"do\": \"uircom_set\", \"silent\": true}"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(-1, UiRcomMgr_SetConfig(block.data()));
  EXPECT_GE(ElapsedMs(start), ScaledMs(3500) * 9 / 10);
  EXPECT_LT(ElapsedMs(start), ScaledMs(3500) + kSchedulingSlackMs);
}

TEST_F(UiRcomPeerTest, MalformedFramesOfTheBaseAreDropped) {
  auto peer = Start("\"silent\": true");
  ASSERT_TRUE(peer->running()) << peer->error();
  auto frame = [](std::vector<uint8_t> data) {
    uint8_t out[kRcomFrameMax];
    const int size = UiRcom_Frame(1, data.data(), static_cast<int>(data.size()), out);
    return std::string(reinterpret_cast<const char*>(out), static_cast<size_t>(size));
  };
  const std::string good = frame({154, 0});
  std::string badHeader = good, badFooter = good, longLength = good, shortFrame = good.substr(0, 6);
  badHeader[3] ^= 1;
  badFooter.back() ^= 1;
  longLength[1] = 1;
  longLength[2] = 20;  // 276
  longLength[3] = static_cast<char>(1 + 1 + 20);
  std::thread answers([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(500)));
    for (const std::string& bad : {badHeader, badFooter, longLength, shortFrame, frame({0})}) Inject(*peer, bad);
  });
  EXPECT_EQ(-1, UiRcomMgr_SetConfig(ConfigBlock().data())) << "no good answer came";
  answers.join();
  // The task still runs: a frame whose data begins with 0 did not end it.
  std::thread answer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ScaledMs(500)));
    Inject(*peer, good);
  });
  EXPECT_EQ(0, UiRcomMgr_SetConfig(ConfigBlock().data()));
  answer.join();
  EXPECT_NE(-1, taskNameToId("tUiRcom"));
}

TEST_F(UiRcomPeerTest, NoThreadRemainsAfterTheShutDown) {
  auto peer = Start();
  ASSERT_TRUE(peer->running()) << peer->error();
  ASSERT_EQ(0, TvMgr_Init(0));
  EXPECT_NE(-1, taskNameToId("tUiRcom"));
  EXPECT_NE(-1, taskNameToId("tTvMgr"));
  EXPECT_TRUE(WaitUntil([] { return taskNameToId("tRavixMsg") != -1; }));
  UiRcomMgr_Cleanup();
  TvMgr_Cleanup();
  RavixMgr_Cleanup();
  for (const char* name : {"tUiRcom", "tTvMgr", "tTvMgrEv", "tRavix", "tRavixMsg"}) {
    EXPECT_TRUE(WaitTaskEnded(name)) << name;
  }
}

}  // namespace
}  // namespace tlx::link::test
