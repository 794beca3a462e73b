// The internet link component against the base station's end in the test peer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com/counted.h"
#include "support/peer_process.h"
#include "vexlink/vexlink.h"
#include "win32/ticks.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tlx::test::PeerProcess;

// The component as the link library gets it: the module's class factory.
IVexlinkManager* CreateManager() {
  static void* module = [] {
    const auto path = std::filesystem::canonical("/proc/self/exe").parent_path() / "libVexlink.so";
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }();
  if (module == nullptr) return nullptr;
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(module, kDllGetClassObjectName));
  IClassFactory* factory = nullptr;
  if (getClassObject == nullptr ||
      FAILED(getClassObject(CLSID_VexlinkManager, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  IVexlinkManager* manager = nullptr;
  factory->CreateInstance(nullptr, IID_IVexlinkManager, reinterpret_cast<void**>(&manager));
  factory->Release();
  return manager;
}

// Keeps what the component delivers.
class RecordingSink final : public tlx::com::Counted<IVexlinkSink> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IVexlinkSink, object); }
  STDMETHODIMP notify(const uint8_t* data, uint32_t length) override {
    std::lock_guard lock(lock_);
    frames_.emplace_back(reinterpret_cast<const char*>(data), length);
    arrived_.notify_all();
    return S_OK;
  }
  std::vector<std::string> WaitFor(size_t count) {
    std::unique_lock lock(lock_);
    arrived_.wait_for(lock, 10s, [&] { return frames_.size() >= count; });
    return frames_;
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<std::string> frames_;
};

struct Manager {
  Manager() : manager(CreateManager()) {}
  ~Manager() {
    if (manager != nullptr) manager->Release();
  }
  IVexlinkManager* operator->() const { return manager; }
  IVexlinkManager* manager;
};

std::string Scenario(const std::string& options) {
  return "{\"services\": {\"vexlink\": {" + options + "}}}";
}

// A control message of `size` bytes: a header naming the group, then a payload.
std::string Message(size_t size, char fill) {
  std::string message(size, fill);
  message.replace(0, 8, std::string("TEST\0\0\0\0", 8));
  return message;
}

TEST(Vexlink, ConnectResultsFollowTheTable) {
  const struct {
    std::string options;
    HRESULT result;
  } cases[] = {
      {"", S_OK},
      {"\"answer\": \"refuse\", \"status\": 4106", VexlinkRefusal(0x100A)},
      {"\"answer\": \"refuse\", \"status\": 4117", VexlinkRefusal(0x1015)},
      {"\"answer\": \"refuse\", \"status\": 4118", VexlinkRefusal(0x1016)},
      {"\"answer\": \"refuse\", \"status\": 4119", VexlinkRefusal(0x1017)},
      {"\"answer\": \"refuse\", \"status\": 4120", VexlinkRefusal(0x1018)},
      {"\"answer\": \"refuse\", \"status\": 4123", VexlinkRefusal(0x101B)},
      {"\"answer\": \"garbage\"", VEXLINK_E_PROTOCOL},
      {"\"answer\": \"close\"", VEXLINK_E_UNREACHABLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    PeerProcess peer(Scenario(c.options));
    ASSERT_TRUE(peer.running()) << peer.error();
    Manager manager;
    ASSERT_NE(manager.manager, nullptr);
    EXPECT_EQ(c.result, manager->connect("127.0.0.1", peer.port(), nullptr, 0));
  }
  Manager manager;
  EXPECT_EQ(E_INVALIDARG, manager->connect("127.0.0.1", 5021, "proxy", 8080));
  EXPECT_EQ(VEXLINK_E_UNREACHABLE, manager->connect("", 5021, nullptr, 0));
  EXPECT_EQ(VEXLINK_E_UNREACHABLE, manager->connect("name.invalid", 5021, nullptr, 0));
  int closedPort;
  {
    PeerProcess gone(Scenario(""));
    closedPort = gone.port();
  }
  EXPECT_EQ(VEXLINK_E_UNREACHABLE, manager->connect("127.0.0.1", closedPort, nullptr, 0));
}

TEST(Vexlink, ASilentBaseTimesOutAndDisconnectAbortsTheWait) {
  PeerProcess peer(Scenario("\"answer\": \"silent\""));
  ASSERT_TRUE(peer.running()) << peer.error();
  Manager silent;
  const auto start = Clock::now();
  EXPECT_EQ(VEXLINK_E_UNREACHABLE, silent->connect("127.0.0.1", peer.port(), nullptr, 0));
  const auto answerTime = std::chrono::milliseconds(TimeoutMilliseconds(vexlink::kAnswerTicks, TimeoutUnit::kTicks));
  EXPECT_GE(Clock::now() - start, answerTime - 20ms);

  Manager aborted;
  HRESULT result = S_OK;
  std::thread connector([&] { result = aborted->connect("127.0.0.1", peer.port(), nullptr, 0); });
  std::this_thread::sleep_for(answerTime / 4);
  const auto abortStart = Clock::now();
  aborted->disconnect();
  connector.join();
  EXPECT_LT(Clock::now() - abortStart, answerTime / 2);
  EXPECT_EQ(E_ABORT, result);
}

TEST(Vexlink, FramesArriveByteExactBothWays) {
  for (const char* mode : {"", ", \"split\": true"}) {
    SCOPED_TRACE(mode);
    PeerProcess peer(Scenario(std::string("\"echo\": true") + mode));
    ASSERT_TRUE(peer.running()) << peer.error();
    Manager manager;
    auto* sink = new RecordingSink();
    manager->setSink(sink);
    ASSERT_EQ(S_OK, manager->connect("127.0.0.1", peer.port(), nullptr, 0));
    const std::vector<std::string> sent = {Message(16, 'a'), Message(17, 'b'), Message(1040, 'c')};
    for (const std::string& message : sent) {
      EXPECT_EQ(S_OK, manager->send(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
    }
    EXPECT_EQ(sent, sink->WaitFor(sent.size()));
    const std::string tooShort(15, 'x');
    EXPECT_EQ(E_INVALIDARG, manager->send(reinterpret_cast<const uint8_t*>(tooShort.data()), 15));
    manager->disconnect();
    EXPECT_EQ(E_FAIL, manager->send(reinterpret_cast<const uint8_t*>(sent[0].data()), 16));
    sink->Release();
  }
}

TEST(Vexlink, AMalformedFrameEndsTheConnectionWithNothingOfItDelivered) {
  // Two good frames in one piece, then the fault.
  const std::string good = "0010" + std::string(32, '4') + "0011" + std::string(34, '5');
  const struct {
    const char* name;
    std::string fault;
    bool closeAfter;
  } cases[] = {
      {"length 0", "0000" + std::string(32, '6'), false},
      {"length 15", "000f" + std::string(30, '6'), false},
      {"length 1041", "0411" + std::string(2082, '6'), false},
      {"length 65535", "ffff" + std::string(64, '6'), false},
      {"closed mid-frame", "0020" + std::string(20, '6'), true},
      {"closed mid-length", "00", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PeerProcess peer(Scenario("\"inject\": [{\"hex\": \"" + good + c.fault + "\"}]" +
                              (c.closeAfter ? ", \"close_after_inject\": true" : "")));
    ASSERT_TRUE(peer.running()) << peer.error();
    Manager manager;
    auto* sink = new RecordingSink();
    manager->setSink(sink);
    ASSERT_EQ(S_OK, manager->connect("127.0.0.1", peer.port(), nullptr, 0));
    const std::vector<std::string> frames = sink->WaitFor(2);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(std::string(16, 'D'), frames[0]);
    EXPECT_EQ(std::string(17, 'U'), frames[1]);
    // The connection is gone: a send fails.
    const std::string message = Message(16, 'z');
    HRESULT result = S_OK;
    for (int i = 0; i < 200 && result == S_OK; ++i) {
      result = manager->send(reinterpret_cast<const uint8_t*>(message.data()), message.size());
      std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(E_FAIL, result);
    EXPECT_EQ(2u, sink->WaitFor(2).size()) << "nothing of the malformed frame";
    manager->disconnect();
    sink->Release();
  }
}

TEST(Vexlink, ThePeerAnswersAGroupFromItsTable) {
  const std::string reply = Message(24, 'r');
  std::string hex;
  for (unsigned char byte : reply) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  PeerProcess peer(Scenario("\"replies\": {\"TEST\": [{\"hex\": \"" + hex + "\"}]}"));
  ASSERT_TRUE(peer.running()) << peer.error();
  Manager manager;
  auto* sink = new RecordingSink();
  manager->setSink(sink);
  ASSERT_EQ(S_OK, manager->connect("127.0.0.1", peer.port(), nullptr, 0));
  std::string other = Message(16, 'o');
  other.replace(0, 4, "OTHR");
  const std::string asked = Message(20, 'q');
  EXPECT_EQ(S_OK, manager->send(reinterpret_cast<const uint8_t*>(other.data()), other.size()));
  EXPECT_EQ(S_OK, manager->send(reinterpret_cast<const uint8_t*>(asked.data()), asked.size()));
  EXPECT_EQ(std::vector<std::string>{reply}, sink->WaitFor(1));
  manager->disconnect();
  sink->Release();
}

}  // namespace
