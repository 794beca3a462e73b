#include "link/os/event_mgr.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "link_test_support.h"
#include "win32/threads.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

// What the callbacks saw, in call order.
struct Call {
  void* context;
  uint32_t eventId;
  std::vector<uint8_t> payload;
  DWORD thread;
};

std::mutex g_lock;
std::condition_variable g_changed;
std::vector<Call> g_calls;

void Record(void* context, const TLX_EVENT_MSG* message) {
  std::lock_guard lock(g_lock);
  g_calls.push_back(
      Call{context, message->eventId, {message->payload, message->payload + message->length}, GetCurrentThreadId()});
  g_changed.notify_all();
}

std::vector<Call> WaitForCalls(size_t count) {
  std::unique_lock lock(g_lock);
  g_changed.wait_for(lock, std::chrono::seconds(5), [count] { return g_calls.size() >= count; });
  return g_calls;
}

// Sixteen further callbacks, distinct functions.
template <size_t... I>
constexpr std::array<TLX_EVENT_CALLBACK, sizeof...(I)> MakeCallbacks(std::index_sequence<I...>) {
  return {[](void* context, const TLX_EVENT_MSG* message) {
    (void)I;
    Record(context, message);
  }...};
}
constexpr auto kOthers = MakeCallbacks(std::make_index_sequence<16>());

class EventManager : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    g_calls.clear();
    ASSERT_EQ(eventMgrStart(), 0);
  }
  void TearDown() override {
    EXPECT_EQ(eventMgrStop(), 0);
    LinkTest::TearDown();
  }
};

int Post(uint32_t id, uint8_t value, int timeoutTicks = -1) {
  return eventMgrPost(id, &value, 1, timeoutTicks);
}

TEST_F(EventManager, AttachingAgainReplacesContextAndMaskInTheSameSlot) {
  int first = 0;
  int second = 0;
  ASSERT_EQ(eventMgrCallbackAttach(&Record, &first, EVENT_ID_TV), 0);
  ASSERT_EQ(eventMgrCallbackAttach(&Record, &second, EVENT_ID_ANET), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 1), 0);
  ASSERT_EQ(Post(EVENT_ID_ANET, 2), 0);
  ASSERT_EQ(Post(EVENT_ID_TV | EVENT_ID_ANET, 3), 0);
  const std::vector<Call> calls = WaitForCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(calls[i].context, &second);
    EXPECT_EQ(calls[i].payload, std::vector<uint8_t>{static_cast<uint8_t>(i + 2)});
  }
  // One slot: fifteen further callbacks still fit, the sixteenth does not.
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(eventMgrCallbackAttach(kOthers[i], nullptr, 1), 0) << i;
  EXPECT_EQ(eventMgrCallbackAttach(kOthers[15], nullptr, 1), -1);
  EXPECT_EQ(eventMgrCallbackDetach(kOthers[3]), 0);
  EXPECT_EQ(eventMgrCallbackAttach(kOthers[15], nullptr, 1), 0);
  EXPECT_EQ(eventMgrCallbackDetach(kOthers[3]), -1);
  EXPECT_EQ(eventMgrCallbackAttach(nullptr, nullptr, 1), -1);
  EXPECT_EQ(eventMgrCallbackDetach(nullptr), -1);
}

TEST_F(EventManager, CallbacksRunInPostOrderOnTheManagersThread) {
  ASSERT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_RAVIX | EVENT_ID_DISCOVERY), 0);
  for (uint8_t i = 0; i < 30; ++i) {
    // Unmatched events in between are taken out and dropped; with a wait
    // without limit nothing would move if they stayed.
    ASSERT_EQ(Post(0x1, 0xEE), 0);
    ASSERT_EQ(Post(i % 2 ? EVENT_ID_RAVIX : EVENT_ID_DISCOVERY, i), 0);
  }
  const std::vector<Call> calls = WaitForCalls(30);
  ASSERT_EQ(calls.size(), 30u);
  const DWORD managerThread = calls[0].thread;
  EXPECT_NE(managerThread, GetCurrentThreadId());
  EXPECT_EQ(static_cast<int>(managerThread), taskNameToId("tEventMgr"));
  for (uint8_t i = 0; i < 30; ++i) {
    EXPECT_EQ(calls[i].payload, std::vector<uint8_t>{i});
    EXPECT_EQ(calls[i].thread, managerThread);
  }
}

TEST_F(EventManager, PostChecksThePayload) {
  const uint8_t payload[49] = {};
  struct Case {
    const void* payload;
    int length;
    int result;
  };
  for (const Case& c : {Case{payload, 48, 0}, Case{payload, 0, 0}, Case{payload, 49, -1}, Case{payload, -1, -1},
                        Case{nullptr, 0, -1}}) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(eventMgrPost(EVENT_ID_TV, c.payload, c.length, 0), c.result);
  }
}

// Holds the manager inside a callback until released.
struct Gate {
  std::mutex lock;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  int attachResult = 0;
  int detachResult = 0;
};

void Blocking(void* context, const TLX_EVENT_MSG*) {
  auto& gate = *static_cast<Gate*>(context);
  gate.attachResult = eventMgrCallbackAttach(&Record, nullptr, 1);
  gate.detachResult = eventMgrCallbackDetach(&Blocking);
  std::unique_lock lock(gate.lock);
  gate.entered = true;
  gate.changed.notify_all();
  gate.changed.wait(lock, [&gate] { return gate.open; });
}

void Open(Gate& gate) {
  std::lock_guard lock(gate.lock);
  gate.open = true;
  gate.changed.notify_all();
}

void WaitEntered(Gate& gate) {
  std::unique_lock lock(gate.lock);
  gate.changed.wait(lock, [&gate] { return gate.entered; });
}

TEST_F(EventManager, CallbackCannotChangeReceiversAndAFullQueueRefusesAtOnce) {
  Gate gate;
  ASSERT_EQ(eventMgrCallbackAttach(&Blocking, &gate, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 0), 0);
  WaitEntered(gate);
  EXPECT_EQ(gate.attachResult, -1);
  EXPECT_EQ(gate.detachResult, -1);
  for (int i = 0; i < kEventQueueDepth; ++i) EXPECT_EQ(Post(EVENT_ID_NETWORK, 1, 0), 0) << i;
  const auto start = Clock::now();
  EXPECT_EQ(Post(EVENT_ID_NETWORK, 1, 0), -1);
  EXPECT_LT(ElapsedMs(start), kSchedulingSlackMs);
  Open(gate);
  EXPECT_EQ(eventMgrCallbackDetach(&Blocking), 0);
}

TEST_F(EventManager, DetachWaitsForADeliveryInProgress) {
  Gate gate;
  ASSERT_EQ(eventMgrCallbackAttach(&Blocking, &gate, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 0), 0);
  WaitEntered(gate);
  std::atomic<bool> detached{false};
  std::thread detacher([&] {
    EXPECT_EQ(eventMgrCallbackDetach(&Blocking), 0);
    detached = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(detached);
  Open(gate);
  detacher.join();
  EXPECT_TRUE(detached);
}

// A callback that outlasts the task's stop wait still has the table lock and
// the queue under it: stop returns only after the callback has returned.
std::atomic<bool> g_slowReturned{false};
void SlowToReturn(void* context, const TLX_EVENT_MSG* message) {
  Blocking(context, message);
  g_slowReturned = true;
}

TEST_F(EventManager, StopOutlastsACallbackThatOutlastsTheTaskStopWait) {
  Gate gate;
  g_slowReturned = false;
  ASSERT_EQ(eventMgrCallbackAttach(&SlowToReturn, &gate, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 0), 0);
  WaitEntered(gate);
  std::thread opener([&gate] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    Open(gate);
  });
  EXPECT_EQ(eventMgrStop(), 0);
  EXPECT_TRUE(g_slowReturned) << "stop returned while a callback still ran";
  opener.join();
  // The old task may still be on its way out while a new manager starts.
  ASSERT_EQ(eventMgrStart(), 0);
  ASSERT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 5), 0);
  EXPECT_EQ(WaitForCalls(1).size(), 1u);
}

// The manager cannot stop itself from one of its callbacks: the task would
// wait for its own end and then return into a freed table lock.
std::atomic<int> g_stopFromCallback{1};
void Stopping(void*, const TLX_EVENT_MSG* message) {
  g_stopFromCallback = eventMgrStop();
  Record(nullptr, message);
}

TEST_F(EventManager, ACallbackCannotStopTheManager) {
  ASSERT_EQ(eventMgrCallbackAttach(&Stopping, nullptr, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 1), 0);
  ASSERT_EQ(WaitForCalls(1).size(), 1u);
  EXPECT_EQ(g_stopFromCallback, -1);
  ASSERT_EQ(eventMgrCallbackDetach(&Stopping), 0);
  ASSERT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_TV), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 2), 0) << "still running";
  EXPECT_EQ(WaitForCalls(2).size(), 2u);
}

TEST_F(EventManager, QueueReceiverGetsTheWholeMessage) {
  MSG_Q_ID queue = msgQCreate(4, 100, 0);
  ASSERT_EQ(eventMgrQueueAttach(queue, EVENT_ID_AUTOPRESET), 0);
  ASSERT_EQ(eventMgrQueueAttach(queue, EVENT_ID_AUTOPRESET | EVENT_ID_TV), 0);  // same slot
  const uint8_t payload[5] = {1, 2, 3, 4, 5};
  TLX_TIMESPEC before;
  tickClock(0, &before);
  ASSERT_EQ(eventMgrPost(EVENT_ID_AUTOPRESET, payload, 5, -1), 0);
  uint8_t buffer[100];
  std::memset(buffer, 0xAA, sizeof buffer);
  int result = -2;
  {
    TestTask task("tReceiver", [&] { result = msgQReceive(queue, buffer, sizeof buffer, 300); });
  }
  ASSERT_EQ(result, 0);
  TLX_EVENT_MSG message;
  std::memcpy(&message, buffer, sizeof message);
  const uint64_t beforeUs = uint64_t(before.tv_sec) * 1000000 + uint64_t(before.tv_nsec) / 1000;
  EXPECT_GE(message.timeStamp, beforeUs);
  EXPECT_LT(message.timeStamp, beforeUs + 5000000);
  EXPECT_EQ(message.timeStamp % 1000, 0u) << "a millisecond tick in microseconds";
  EXPECT_EQ(message.eventId, EVENT_ID_AUTOPRESET);
  EXPECT_EQ(message.length, 5u);
  EXPECT_EQ(std::memcmp(message.payload, payload, 5), 0);
  for (size_t i = 5; i < sizeof message.payload; ++i) EXPECT_EQ(message.payload[i], 0) << i;
  EXPECT_EQ(buffer[64], 0xAA) << "exactly 64 bytes";
  EXPECT_EQ(eventMgrQueueDetach(queue), 0);
  EXPECT_EQ(eventMgrQueueDetach(queue), -1);
  msgQDelete(queue);
}

TEST_F(EventManager, StopThenStartBeginsAfresh) {
  ASSERT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_TV), 0);
  EXPECT_EQ(eventMgrStart(), 0) << "already started";
  EXPECT_EQ(eventMgrStop(), 0);
  EXPECT_EQ(eventMgrStop(), 0);
  EXPECT_EQ(taskNameToId("tEventMgr"), -1);
  EXPECT_EQ(Post(EVENT_ID_TV, 1), -1);
  EXPECT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_TV), -1);
  ASSERT_EQ(eventMgrStart(), 0);
  ASSERT_EQ(Post(EVENT_ID_TV, 1), 0);
  ASSERT_EQ(eventMgrCallbackAttach(&Record, nullptr, EVENT_ID_NETWORK), 0);
  ASSERT_EQ(Post(EVENT_ID_NETWORK, 2), 0);
  const std::vector<Call> calls = WaitForCalls(1);
  ASSERT_EQ(calls.size(), 1u) << "the table was cleared by the new start";
  EXPECT_EQ(calls[0].payload, std::vector<uint8_t>{2});
}

}  // namespace
}  // namespace tlx::link::test
