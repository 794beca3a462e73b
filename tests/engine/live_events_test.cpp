// The live class's events: each graph event's callbacks, the stream key's
// hand-over to the two decryptors, the link library's TV, stream-session and
// home-network events, and the end of the graph-event thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dshow/errors.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"
#include "live_stream_fixture.h"

namespace tlx::engine::test {
namespace {

using com::ComPtr;

// The 16 bytes of a 32-digit hex text (either case).
std::vector<int> KeyBytes(const std::string& hex) {
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<int> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
  return bytes;
}

std::vector<int> HeldKey(IBaseFilter* decryptor) {
  ComPtr<IAESDecryptorKey> key = Query<IAESDecryptorKey>(decryptor, IID_IAESDecryptorKey);
  if (!key) return {};
  char held[kAESDecryptorKeyDigits] = {};
  if (FAILED(key->GetKey(held))) return {};
  return KeyBytes(std::string(held, sizeof(held)));
}

int SetKeyCalls(IBaseFilter* decryptor) {
  ComPtr<IFakeFilterControl> control = Query<IFakeFilterControl>(decryptor, IID_IFakeFilterControl);
  int count = 0;
  for (const std::string& call : control->Calls()) count += call.rfind("SetKey", 0) == 0;
  return count;
}

class LiveEventsTest : public LiveStreamTest {
 protected:
  void SetUp() override {
    LiveStreamTest::SetUp();
    ASSERT_TRUE(Initialize());
  }
  // The callbacks one graph event gives; an event that gives none is
  // followed by a marker so the wait is bounded by what came before it.
  std::vector<CallbackCall> CallbacksOf(long code, size_t expected) {
    ClearCallbacks();
    EXPECT_EQ(stream_->Raise(code), S_OK);
    if (expected == 0) {
      EXPECT_EQ(stream_->Raise(EC_TLX_FRAME_WAIT), S_OK);
      WaitForCallbacks(1);
      auto calls = Callbacks();
      if (!calls.empty() && calls.back() == N(4)) calls.pop_back();
      return calls;
    }
    WaitForCallbacks(expected);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Callbacks();
  }
};

TEST_F(LiveEventsTest, EachGraphEventGivesItsCallbacks) {
  struct Case {
    long code;
    std::vector<CallbackCall> calls;
  };
  const Case cases[] = {
      {EC_TLX_CONNECT_BEGIN, {N(0)}},       {EC_TLX_CONNECT_END, {N(1)}},   {EC_TLX_STOP_BEGIN, {N(2)}},
      {EC_TLX_STOP_END, {N(3), N(9)}},      {EC_TLX_FRAME_WAIT, {N(4)}},    {EC_TLX_FRAME_READY, {N(5), N(8)}},
      {EC_TLX_AUTH_BEGIN, {N(6)}},          {EC_TLX_LOOP_ENDED, {R(0)}},    {EC_NEED_RESTART, {R(2)}},
      {EC_DISPLAY_CHANGED, {R(0)}},         {EC_TLX_STATISTICS, {}},        {EC_PAUSED, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(CallbacksOf(c.code, c.calls.size()), c.calls);
  }
  // The statistics keep the session alive.
  EXPECT_TRUE(link_.WaitForCalls("tlxRavixMgr_ChangeState", 1));
  EXPECT_EQ(link_.CallsOf("tlxRavixMgr_ChangeState").back().ints, std::vector<int>{256});
  // The frame shows the video window.
  const auto calls = stream_->Control(CLSID_VideoMixingRenderer9)->Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "put_Visible -1"), calls.end());
}

TEST_F(LiveEventsTest, AVideoWindowThatCannotBeShownGivesPlayingWithItsError) {
  stream_->Control(CLSID_VideoMixingRenderer9)->SetResult("put_Visible", E_FAIL);
  EXPECT_EQ(CallbacksOf(EC_TLX_FRAME_READY, 1), std::vector<CallbackCall>{N(8, 0, 12)});
  ExpectRecord(2533, 12);
}

TEST_F(LiveEventsTest, ASuccessNotifyLeavesAFailureRecordAlone) {
  link_.SetResult("tlxRavixMgr_SetBitrate", 1);
  EXPECT_FALSE(stream_->bSetBitrate(505, nullptr));
  EXPECT_EQ(CallbacksOf(EC_TLX_STOP_END, 2), (std::vector<CallbackCall>{N(3), N(9)}));
  ExpectRecord(390, 14);
}

TEST_F(LiveEventsTest, TheRenderDeviceEventPlacesTheVideoAgainOnTheMixingRenderer) {
  ASSERT_EQ(stream_->RendererInUse(), eVMRType9);
  stream_->bSetMoviePosition(10, 20, 640, 480);
  auto renderer = stream_->Control(CLSID_VideoMixingRenderer9);
  renderer->ClearCalls();
  EXPECT_TRUE(CallbacksOf(EC_VMR_RENDERDEVICE_SET, 0).empty());
  const auto calls = renderer->Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "SetWindowPosition 10 20 640 480"), calls.end());
}

TEST_F(LiveEventsTest, TheKeyHandOver) {
  auto decryptorA = stream_->DecryptorOnPin(u"1");
  auto decryptorB = stream_->DecryptorOnPin(u"2");
  ASSERT_TRUE(decryptorA && decryptorB);

  // The link library has no key: neither decryptor is called.
  link_.SetResult("tlxRavixMgr_GetKeyKK", -1);
  EXPECT_EQ(CallbacksOf(EC_TLX_AUTH_END, 1), std::vector<CallbackCall>{N(7, 0, 21)});
  ExpectRecord(2533, 21);
  EXPECT_EQ(SetKeyCalls(decryptorA.Get()) + SetKeyCalls(decryptorB.Get()), 0);
  link_.SetResult("tlxRavixMgr_GetKeyKK", 0);

  // Decryptor A refuses: B is not called.
  ComPtr<IFakeFilterControl> controlA = Query<IFakeFilterControl>(decryptorA.Get(), IID_IFakeFilterControl);
  controlA->SetResult("SetKey", E_FAIL);
  EXPECT_EQ(CallbacksOf(EC_TLX_AUTH_END, 1), std::vector<CallbackCall>{N(7, 0, 21)});
  EXPECT_EQ(SetKeyCalls(decryptorA.Get()), 1);
  EXPECT_EQ(SetKeyCalls(decryptorB.Get()), 0);
  controlA->SetResult("SetKey", S_OK);

  // Both take the key the link library built, asked for in 33 bytes.
  const std::string key = "0123456789abcdefFEDCBA9876543210";
  link_.SetKeyKK(key);
  EXPECT_EQ(CallbacksOf(EC_TLX_AUTH_END, 1), std::vector<CallbackCall>{N(7)});
  EXPECT_EQ(link_.CallsOf("tlxRavixMgr_GetKeyKK").back().ints, std::vector<int>{33});
  const std::vector<int> expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                                     0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(HeldKey(decryptorA.Get()), expected);
  EXPECT_EQ(HeldKey(decryptorB.Get()), expected);
}

TEST_F(LiveEventsTest, TheLinkLibraryEventsOnItsOwnThread) {
  struct Case {
    uint32_t eventId;
    std::vector<uint32_t> words;
    std::vector<CallbackCall> calls;
  };
  const Case cases[] = {
      {EVENT_ID_TV, {0, 9}, {T(5, 0)}},     {EVENT_ID_TV, {2, 0}, {T(1, 1)}},
      {EVENT_ID_TV, {2, 1}, {T(2, 1)}},     {EVENT_ID_TV, {2, 2}, {T(3, 1)}},
      {EVENT_ID_TV, {2, 3}, {T(0, 0)}},     {EVENT_ID_TV, {1, 0}, {T(0, 0)}},
      {EVENT_ID_RAVIX, {6, 3}, {R(0)}},     {EVENT_ID_RAVIX, {6, 4}, {}},
      {EVENT_ID_RAVIX, {5, 3}, {}},         {EVENT_ID_NETWORK, {0, 2, 2}, {R(1)}},
      {EVENT_ID_NETWORK, {0, 2, 3}, {}},    {EVENT_ID_NETWORK, {1, 2, 2}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.eventId << " " << c.words.at(0) << " " << c.words.at(1));
    ClearCallbacks();
    ASSERT_TRUE(link_.WaitDelivered(link_.FireEvent(c.eventId, c.words)));
    EXPECT_EQ(Callbacks(), c.calls);
    for (std::thread::id id : CallbackThreads()) EXPECT_EQ(id, link_.EventThreadId());
  }
}

TEST_F(LiveEventsTest, TheThreadWaitingForAnEventEndsAtOnce) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // inside GetEvent
  EXPECT_TRUE(stream_->bCleanup());
  CTlxPcCmnErrInfo info;
  stream_->vGetLastErrorInfo(info);
  EXPECT_NE(info.nGetLine(), 364);
  EXPECT_TRUE(link_.AttachedMasks().empty());
}

}  // namespace
}  // namespace tlx::engine::test
