#include "dshow/media_sample.h"

#include <gtest/gtest.h>

#include <thread>

#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

class AllocatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                               allocator.ReceiveVoid()),
              S_OK);
  }
  HRESULT Set(LONG count, LONG size, LONG align = 1) {
    ALLOCATOR_PROPERTIES request{count, size, align, 0}, actual{};
    return allocator->SetProperties(&request, &actual);
  }
  ComPtr<IMemAllocator> allocator;
};

TEST_F(AllocatorTest, LendsItsBuffersAndWaitsWhenAllAreOut) {
  ASSERT_EQ(Set(2, 100, 16), S_OK);
  IMediaSample* sample = nullptr;
  EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* a = nullptr;
  IMediaSample* b = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(allocator->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
  EXPECT_GE(a->GetSize(), 100);
  BYTE* p;
  a->GetPointer(&p);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  EXPECT_EQ(Set(4, 100), VFW_E_ALREADY_COMMITTED);

  // A waiting caller gets the first buffer given back.
  std::thread waiter([&] {
    IMediaSample* got = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&got, nullptr, nullptr, 0), S_OK);
    got->Release();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  a->Release();
  waiter.join();

  // Decommitting wakes a waiter with an error; buffers still out come back
  // later, and the allocator outlives its last user's reference meanwhile.
  std::thread refused([&] {
    IMediaSample* got = nullptr;
    IMediaSample* second = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&got, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    got->Release();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(allocator->Decommit(), S_OK);
  refused.join();
  allocator.Reset();
  b->SetActualDataLength(3);
  b->Release();
}

TEST_F(AllocatorTest, RefusesBadProperties) {
  EXPECT_EQ(Set(1, 10, 3), VFW_E_BADALIGN);
  EXPECT_EQ(Set(1, 10, 0), VFW_E_BADALIGN);
  EXPECT_EQ(Set(-1, 10), E_INVALIDARG);
  EXPECT_EQ(Set(1, 0x7FFFFFF8, 16), E_INVALIDARG) << "rounding up to the alignment passes the largest size";
  EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
}

TEST_F(AllocatorTest, SamplesForgetTheirPropertiesWhenReturned) {
  ASSERT_EQ(Set(1, 8), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME start = 5, stop = 9, s, e;
  EXPECT_EQ(sample->SetActualDataLength(9), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(TRUE);
  CMediaType type = SimpleType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  sample->SetMediaType(&type);
  EXPECT_EQ(sample->GetTime(&s, &e), S_OK);
  sample->Release();
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(sample->GetTime(&s, &e), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
  AM_MEDIA_TYPE* none = reinterpret_cast<AM_MEDIA_TYPE*>(1);
  EXPECT_EQ(sample->GetMediaType(&none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(sample->GetActualDataLength(), 8);
  // A start without a stop reads back with a stop one unit later.
  sample->SetTime(&start, nullptr);
  EXPECT_EQ(sample->GetTime(&s, &e), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(e, start + 1);
  sample->Release();
  allocator->Decommit();
}

}  // namespace
}  // namespace tlx::dshow::test
