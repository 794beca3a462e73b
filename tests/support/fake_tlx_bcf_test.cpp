#include "support/fake_tlx_bcf.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace tlx::test {
namespace {

// A start held in the fake ends the way the test chooses; the hook sees the
// result on the starting thread once the call is over.
TEST(FakeTlxBcfStart, BlockedStartEndsByReleaseOrByStopFromAnotherThread) {
  struct Case {
    bool stop;
    int expected;
  };
  for (const Case c : {Case{false, 0}, Case{true, 7}}) {
    SCOPED_TRACE(c.stop ? "stopped" : "released");
    FakeTlxBcf fake;
    fake.SetAbortedStartResult(7);
    fake.BlockStart();
    std::promise<std::pair<int, std::thread::id>> hooked;
    fake.SetAfterStartHook([&hooked](int result) { hooked.set_value({result, std::this_thread::get_id()}); });

    std::thread::id starterId;
    auto start = std::async(std::launch::async, [&starterId] {
      starterId = std::this_thread::get_id();
      return TlxBcfApi().tlxRavixMgr_ChangeState(1);
    });
    // On a failure the starter is let go, so the test ends instead of hanging.
    auto letGo = [&fake] {
      fake.BlockStart(false);
      fake.ReleaseStart();
    };
    if (!fake.WaitStartBlocked()) letGo();
    ASSERT_EQ(start.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    if (c.stop) {
      EXPECT_EQ(TlxBcfApi().tlxRavixMgr_ChangeState(3), 0);
    } else {
      EXPECT_TRUE(fake.ReleaseStart());
    }
    const bool ended = start.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended) letGo();
    ASSERT_TRUE(ended);
    EXPECT_EQ(start.get(), c.expected);
    auto [hookResult, hookThread] = hooked.get_future().get();
    EXPECT_EQ(hookResult, c.expected);
    EXPECT_EQ(hookThread, starterId);
    EXPECT_FALSE(fake.ReleaseStart());

    std::vector<int> states;
    for (const FakeTlxBcfCall& call : fake.CallsOf("tlxRavixMgr_ChangeState")) states.push_back(call.ints.at(0));
    EXPECT_EQ(states, c.stop ? std::vector<int>({1, 3}) : std::vector<int>({1}));
  }
}

// What one callback saw: the event ids and first payload words, and whether
// every call came on the fake's event thread.
struct Receiver {
  std::mutex mutex;
  std::vector<std::pair<uint32_t, uint32_t>> events;
  std::thread::id eventThread;
  bool offThread = false;
  int attachInside = 0;
  int detachInside = 0;
};

template <int N>
void Receive(void* context, const TLX_EVENT_MSG* message) {
  auto* receiver = static_cast<Receiver*>(context);
  uint32_t word0 = 0;
  std::memcpy(&word0, message->payload, sizeof(word0));
  // Attaching and detaching are refused on the event thread.
  int attach = TlxBcfApi().tlxEventMgrCallbackAttach(Receive<N>, context, 0x1);
  int detach = TlxBcfApi().tlxEventMgrCallbackDetach(Receive<N>);
  std::lock_guard lock(receiver->mutex);
  receiver->events.emplace_back(message->eventId, word0);
  if (std::this_thread::get_id() != receiver->eventThread) receiver->offThread = true;
  receiver->attachInside = attach;
  receiver->detachInside = detach;
}

TEST(FakeTlxBcfEvents, DeliveredOnTheEventThreadByMaskUntilDetached) {
  const TlxBcfApiTable* before = &TlxBcfApi();
  {
    FakeTlxBcf fake;
    ASSERT_NE(fake.EventThreadId(), std::this_thread::get_id());
    Receiver tv, session;
    tv.eventThread = session.eventThread = fake.EventThreadId();
    const TlxBcfApiTable& api = TlxBcfApi();
    ASSERT_EQ(api.tlxEventMgrCallbackAttach(Receive<0>, &tv, EVENT_ID_TV), 0);
    ASSERT_EQ(api.tlxEventMgrCallbackAttach(Receive<1>, &session, EVENT_ID_RAVIX | EVENT_ID_NETWORK), 0);

    fake.FireEvent(EVENT_ID_TV, {6, 3, 0});
    fake.FireEvent(EVENT_ID_NETWORK, {11});
    ASSERT_TRUE(fake.WaitDelivered(fake.FireEvent(EVENT_ID_RAVIX, {12, 1})));

    ASSERT_EQ(api.tlxEventMgrCallbackDetach(Receive<0>), 0);
    EXPECT_EQ(api.tlxEventMgrCallbackDetach(Receive<0>), -1);
    fake.FireEvent(EVENT_ID_TV, {99});
    ASSERT_TRUE(fake.WaitDelivered(fake.FireEvent(EVENT_ID_RAVIX, {13})));

    std::lock_guard tvLock(tv.mutex);
    std::lock_guard sessionLock(session.mutex);
    using Events = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(tv.events, (Events{{EVENT_ID_TV, 6}}));
    EXPECT_EQ(session.events, (Events{{EVENT_ID_NETWORK, 11}, {EVENT_ID_RAVIX, 12}, {EVENT_ID_RAVIX, 13}}));
    EXPECT_FALSE(tv.offThread || session.offThread);
    EXPECT_EQ(tv.attachInside, -1);
    EXPECT_EQ(tv.detachInside, -1);
    EXPECT_EQ(fake.AttachedMasks(), std::vector<unsigned>{EVENT_ID_RAVIX | EVENT_ID_NETWORK});
  }
  EXPECT_EQ(&TlxBcfApi(), before);
}

// Scripted refusals: an attach with a failing mask leaves nothing attached,
// a detach with one keeps the callback receiving.
TEST(FakeTlxBcfEvents, ScriptedAttachAndDetachFailuresPerMask) {
  FakeTlxBcf fake;
  fake.FailAttach(EVENT_ID_TV);
  fake.FailDetach(EVENT_ID_NETWORK);
  Receiver tv, network;
  tv.eventThread = network.eventThread = fake.EventThreadId();
  const TlxBcfApiTable& api = TlxBcfApi();
  EXPECT_EQ(api.tlxEventMgrCallbackAttach(Receive<0>, &tv, EVENT_ID_TV), -1);
  EXPECT_EQ(api.tlxEventMgrCallbackAttach(Receive<1>, &network, EVENT_ID_NETWORK), 0);
  EXPECT_EQ(api.tlxEventMgrCallbackDetach(Receive<1>), -1);
  fake.FireEvent(EVENT_ID_TV, {1});
  ASSERT_TRUE(fake.WaitDelivered(fake.FireEvent(EVENT_ID_NETWORK, {2})));
  std::lock_guard tvLock(tv.mutex);
  std::lock_guard networkLock(network.mutex);
  EXPECT_TRUE(tv.events.empty());
  EXPECT_EQ(network.events.size(), 1u);
}

// The remote commander's entries: sends record their phase and code bytes,
// results are scripted, and the parameter text is answered only when it fits.
TEST(FakeTlxBcfRemoteCommander, SendsRecordTheirBytesAndResultsAndParametersAreScripted) {
  FakeTlxBcf fake;
  const TlxBcfApiTable& api = TlxBcfApi();
  const char code[] = {'\x01', '\x00', '\xFF', '\x7E', '\x02'};
  EXPECT_EQ(api.tlxUiRcomMgr_SendCommand(1, code, 5), 0);
  EXPECT_EQ(api.tlxUiRcomMgr_SendCommand(2, nullptr, 0), 0);
  fake.SetResult("tlxUiRcomMgr_SendCommand", -1);
  fake.SetResult("tlxUiRcomMgr_StartCapture", 3);
  fake.SetResult("tlxUiRcomMgr_StopCapture", 6);
  EXPECT_EQ(api.tlxUiRcomMgr_SendCommand(6, code, 3), -1);
  EXPECT_EQ(api.tlxUiRcomMgr_StartCapture(), 3);
  EXPECT_EQ(api.tlxUiRcomMgr_StopCapture(), 6);

  std::vector<FakeTlxBcfCall> sends = fake.CallsOf("tlxUiRcomMgr_SendCommand");
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[0].ints, (std::vector<int>{1, 5}));
  EXPECT_EQ(sends[0].bytes, std::string(code, 5));
  EXPECT_EQ(sends[1].ints, (std::vector<int>{2, 0}));
  EXPECT_EQ(sends[1].bytes, "");
  EXPECT_EQ(sends[2].bytes, std::string(code, 3));
  EXPECT_EQ(fake.CountCalls("tlxUiRcomMgr_StartCapture"), 1);

  fake.SetParameter(4097, "key-text");
  char out[16];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(api.tlxUiRcomMgr_GetParameter(4097, out, 9), 0);
  EXPECT_STREQ(out, "key-text");
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(api.tlxUiRcomMgr_GetParameter(4097, out, 8), -1);  // no room for the zero
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(api.tlxUiRcomMgr_GetParameter(4098, out, 16), -1);
  EXPECT_EQ(fake.CallsOf("tlxUiRcomMgr_GetParameter")[1].ints, (std::vector<int>{4097, 8}));
}

struct Learned {
  std::mutex mutex;
  std::thread::id thread;
  std::vector<std::tuple<int, std::string, int>> calls;  // what, bytes, value
};

int Learn(int what, intptr_t data, int value, intptr_t user) {
  auto* learned = reinterpret_cast<Learned*>(user);
  std::string bytes = what == 0 && data != 0 ? std::string(reinterpret_cast<const char*>(data), value) : "";
  std::lock_guard lock(learned->mutex);
  learned->thread = std::this_thread::get_id();
  learned->calls.emplace_back(what, bytes, value);
  return 0;
}

// The learning callback runs on the fake's thread with the user value of a
// start that succeeded, and no longer once learning stopped.
TEST(FakeTlxBcfRemoteCommander, LearningCallbackFiresOnTheEventThreadUntilStopped) {
  FakeTlxBcf fake;
  const TlxBcfApiTable& api = TlxBcfApi();
  Learned refused, learned;
  fake.SetResult("tlxUiRcomMgr_StartLearning", 2);
  EXPECT_EQ(api.tlxUiRcomMgr_StartLearning(Learn, 1, reinterpret_cast<intptr_t>(&refused)), 2);
  ASSERT_TRUE(fake.WaitDelivered(fake.FireLearning(1, "", 6)));
  fake.SetResult("tlxUiRcomMgr_StartLearning", 0);
  EXPECT_EQ(api.tlxUiRcomMgr_StartLearning(Learn, 0, reinterpret_cast<intptr_t>(&learned)), 0);
  fake.FireLearning(0, std::string("\x12\x34\x00\x56", 4), 4);
  ASSERT_TRUE(fake.WaitDelivered(fake.FireLearning(1, "", 2)));
  EXPECT_EQ(api.tlxUiRcomMgr_StopLearning(1), 0);
  ASSERT_TRUE(fake.WaitDelivered(fake.FireLearning(1, "", 5)));

  EXPECT_TRUE(refused.calls.empty());
  std::lock_guard lock(learned.mutex);
  using Calls = std::vector<std::tuple<int, std::string, int>>;
  EXPECT_EQ(learned.calls, (Calls{{0, std::string("\x12\x34\x00\x56", 4), 4}, {1, "", 2}}));
  EXPECT_EQ(learned.thread, fake.EventThreadId());
  EXPECT_EQ(fake.CallsOf("tlxUiRcomMgr_StartLearning")[0].ints, std::vector<int>{1});
  EXPECT_EQ(fake.CallsOf("tlxUiRcomMgr_StopLearning")[0].ints, std::vector<int>{1});
}

// Without a stand-in the table reaches the link library's own functions.
TEST(FakeTlxBcfRemoteCommander, TheTableDefaultsToTheLinkLibrary) {
  const TlxBcfApiTable& api = TlxBcfApi();
  EXPECT_EQ(api.tlxUiRcomMgr_SendCommand, &tlxUiRcomMgr_SendCommand);
  EXPECT_EQ(api.tlxUiRcomMgr_StartLearning, &tlxUiRcomMgr_StartLearning);
  EXPECT_EQ(api.tlxUiRcomMgr_StopLearning, &tlxUiRcomMgr_StopLearning);
  EXPECT_EQ(api.tlxUiRcomMgr_StartCapture, &tlxUiRcomMgr_StartCapture);
  EXPECT_EQ(api.tlxUiRcomMgr_StopCapture, &tlxUiRcomMgr_StopCapture);
  EXPECT_EQ(api.tlxUiRcomMgr_GetParameter, &tlxUiRcomMgr_GetParameter);
}

}  // namespace
}  // namespace tlx::test
