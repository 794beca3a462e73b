#include "dshow/reference_clock.h"

#include <gtest/gtest.h>

#include "graph_fixture.h"
#include "win32/timing.h"

namespace tlx::dshow::test {
namespace {

constexpr REFERENCE_TIME kMs = 10000;

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HRESULT hr = S_OK;
    clock = new ManualClock(&hr);
    ref = Adopt<IReferenceClock>(clock, IID_IReferenceClock);
    clock->SetTime(1000 * kMs);
  }
  ManualClock* clock;
  ComPtr<IReferenceClock> ref;
};

TEST_F(ClockTest, NeverGoesBack) {
  REFERENCE_TIME t;
  EXPECT_EQ(ref->GetTime(&t), S_OK);
  EXPECT_EQ(t, 1000 * kMs);
  clock->SetTime(900 * kMs);
  EXPECT_EQ(ref->GetTime(&t), S_FALSE);
  EXPECT_EQ(t, 1000 * kMs);
  clock->SetTime(1001 * kMs);
  EXPECT_EQ(ref->GetTime(&t), S_OK);
  EXPECT_EQ(t, 1001 * kMs);
  EXPECT_EQ(ref->GetTime(nullptr), E_POINTER);
}

TEST_F(ClockTest, OneShotAdviseFiresOnceTheClockGetsThere) {
  HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(ref->AdviseTime(1000 * kMs, 50 * kMs, event, &cookie), S_OK);
  EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
  clock->Advance(49 * kMs);
  EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
  clock->Advance(1 * kMs);
  EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(ref->Unadvise(cookie), S_FALSE) << "a fired one-shot advise is gone";
  EXPECT_EQ(clock->PendingAdvises(), 0u);

  // Cancelled before its time, it never fires.
  ASSERT_EQ(ref->AdviseTime(1050 * kMs, 10 * kMs, event, &cookie), S_OK);
  EXPECT_EQ(ref->Unadvise(cookie), S_OK);
  clock->Advance(100 * kMs);
  EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);

  // A time already past (a late sample, before its segment start) fires at once.
  ASSERT_EQ(ref->AdviseTime(1000 * kMs, -10 * kMs, event, &cookie), S_OK);
  EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
  CloseHandle(event);
}

TEST_F(ClockTest, PeriodicAdviseCatchesUpAfterAJump) {
  HANDLE semaphore = CreateSemaphore(nullptr, 0, 100, nullptr);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(ref->AdvisePeriodic(1010 * kMs, 10 * kMs, semaphore, &cookie), S_OK);
  EXPECT_EQ(WaitForSingleObject(semaphore, 20), WAIT_TIMEOUT);
  clock->Advance(30 * kMs);  // a stalled clock jumping ahead: 1010, 1020, 1030 are due
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(semaphore, 1000), WAIT_OBJECT_0) << i;
  EXPECT_EQ(WaitForSingleObject(semaphore, 20), WAIT_TIMEOUT);
  EXPECT_EQ(ref->Unadvise(cookie), S_OK);
  CloseHandle(semaphore);
}

TEST_F(ClockTest, RefusesBadAdvises) {
  HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  DWORD_PTR cookie;
  EXPECT_EQ(ref->AdviseTime(0, 10, nullptr, &cookie), E_INVALIDARG);
  EXPECT_EQ(ref->AdviseTime(0, 10, event, nullptr), E_POINTER);
  EXPECT_EQ(ref->AdviseTime(0, 0, event, &cookie), E_INVALIDARG);
  // Sample times come from the stream; a wild one must not wrap the sum.
  EXPECT_EQ(ref->AdviseTime(0x7FFFFFFFFFFFFF00, 0x1000, event, &cookie), E_INVALIDARG);
  EXPECT_EQ(ref->AdvisePeriodic(0, 0, event, &cookie), E_INVALIDARG);
  EXPECT_EQ(ref->AdvisePeriodic(-1, 10, event, &cookie), E_INVALIDARG);
  EXPECT_EQ(ref->Unadvise(12345), S_FALSE);
  CloseHandle(event);
}

TEST(SystemClock, FollowsTheTickCount) {
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                             clock.ReceiveVoid()),
            S_OK);
  REFERENCE_TIME a, b;
  clock->GetTime(&a);
  Sleep(20);
  clock->GetTime(&b);
  EXPECT_GE(b - a, 15 * kMs);
  EXPECT_LT(b - a, 2000 * kMs);
}

}  // namespace
}  // namespace tlx::dshow::test
