// The byte FIFO between threads, and the stream buffer and device on the
// manual sound backend.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "com/hresult.h"
#include "dsound/manual_backend.h"
#include "filters/audio_renderer/ravix_ds_util.h"
#include "platform/dsound/support/pcm_format.h"
#include "win32/synch.h"

namespace {

using namespace std::chrono_literals;

TEST(BlockingFifo, TheByteBeyondCapacityWaitsForTheReader) {
  CBlockingFifo fifo;
  ASSERT_EQ(fifo.Create(10), 0);
  std::vector<BYTE> eleven(11);
  for (BYTE i = 0; i < 11; ++i) eleven[i] = i + 1;
  std::atomic<bool> written{false};
  auto writer = std::async(std::launch::async, [&] {
    fifo.Write(eleven.data(), 11);
    written = true;
  });
  while (fifo.GetUsed() != 10) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(written);
  BYTE got[11];
  ASSERT_EQ(fifo.Read(got, 1), 1u);
  ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(fifo.GetUsed(), 10u);
  ASSERT_EQ(fifo.Read(got + 1, 10), 10u);
  EXPECT_EQ(std::vector<BYTE>(got, got + 11), eleven);
}

TEST(BlockingFifo, DiscardBeyondWhatIsHeldEmptiesIt) {
  CBlockingFifo fifo;
  EXPECT_EQ(fifo.GetUsed(), 0xFFFFFFFFu);
  ASSERT_EQ(fifo.Create(10), 0);
  const BYTE bytes[7] = {1, 2, 3, 4, 5, 6, 7};
  fifo.Write(bytes, 7);
  EXPECT_EQ(fifo.Discard(0), 0u);
  EXPECT_EQ(fifo.Discard(2), 2u);
  EXPECT_EQ(fifo.Discard(50), 5u);
  EXPECT_EQ(fifo.GetUsed(), 0u);
  // Wraps around the ring's end.
  fifo.Write(bytes, 7);
  BYTE out[7];
  fifo.Read(out, 7);
  EXPECT_EQ(std::memcmp(out, bytes, 7), 0);
}

TEST(BlockingFifo, RandomChunksPassBetweenTwoThreadsIntact) {
  CBlockingFifo fifo;
  ASSERT_EQ(fifo.Create(37), 0);
  std::vector<BYTE> input(20000);
  std::mt19937 random(3);
  for (auto& b : input) b = static_cast<BYTE>(random());
  auto writer = std::async(std::launch::async, [&] {
    std::mt19937 sizes(5);
    for (size_t at = 0; at < input.size();) {
      const UINT n = std::min<UINT>(sizes() % 100 + 1, static_cast<UINT>(input.size() - at));
      fifo.Write(input.data() + at, n);
      at += n;
    }
  });
  std::vector<BYTE> output(input.size());
  auto reader = std::async(std::launch::async, [&] {
    std::mt19937 sizes(9);
    for (size_t at = 0; at < output.size();) {
      const UINT n = std::min<UINT>(sizes() % 100 + 1, static_cast<UINT>(output.size() - at));
      fifo.Read(output.data() + at, n);
      at += n;
    }
  });
  ASSERT_EQ(writer.wait_for(60s), std::future_status::ready);
  ASSERT_EQ(reader.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(output, input);
}

// Fills each block with its running number and records the notifications.
class CountingSource : public IBlockSource {
 public:
  HRESULT Fill(BYTE* buffer, UINT size, UINT* sizeRead) override {
    std::memset(buffer, ++fills, size);
    *sizeRead = size - shortBy;
    return S_OK;
  }
  HRESULT Notify(UINT offset) override {
    notified.push_back(offset);
    return S_OK;
  }
  const WAVEFORMATEX* GetFormat() override { return &format; }
  WAVEFORMATEX format = tlx::dsound::test::PcmFormat(2, 48000);
  int fills = 0;
  UINT shortBy = 0;
  std::vector<UINT> notified;
};

class StreamBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = tlx::dsound::ManualBackend::Install();
    for (auto& e : events_) e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    for (auto e : events_) CloseHandle(e);
    tlx::dsound::SetBackendFactory(nullptr);
  }
  std::shared_ptr<tlx::dsound::ManualBackend> backend_;
  HANDLE events_[23];
  CountingSource source_;
};

TEST_F(StreamBufferTest, FillsBlocksInOrderAndWrapsWithOneEventPerBlock) {
  CDsDevice device;
  CDsStreamBuffer* stream = nullptr;
  EXPECT_EQ(device.CreateStreamBuffer(&stream, &source_, 0x18188, 23, 4096, events_), CO_E_NOTINITIALIZED);
  EXPECT_EQ(device.SetPrimaryFormat(&source_.format), CO_E_NOTINITIALIZED);
  ASSERT_EQ(device.Open(nullptr, DSSCL_PRIORITY), S_OK);
  ASSERT_EQ(device.SetPrimaryFormat(&source_.format), S_OK);
  EXPECT_EQ(device.CreateStreamBuffer(nullptr, &source_, 0x18188, 23, 4096, events_), E_INVALIDARG);
  EXPECT_EQ(device.CreateStreamBuffer(&stream, nullptr, 0x18188, 23, 4096, events_), E_INVALIDARG);
  EXPECT_EQ(device.CreateStreamBuffer(&stream, &source_, 0x18188, 23, 4096, nullptr), E_INVALIDARG);
  ASSERT_EQ(device.CreateStreamBuffer(&stream, &source_, 0x18188, 23, 4096, events_), S_OK);
  auto output = backend_->Current();
  ASSERT_NE(output, nullptr);
  ASSERT_EQ(stream->Reset(), S_OK);
  ASSERT_EQ(stream->Start(), S_OK);
  EXPECT_TRUE(output->Playing());

  // Each notification offset is the last byte of its block.
  for (int k = 0; k < 23; ++k) {
    output->Advance(k == 0 ? 4095 : 4096);
    ASSERT_EQ(WaitForSingleObject(events_[k], 0), WAIT_OBJECT_0) << k;
  }
  for (int k = 0; k < 24; ++k) ASSERT_EQ(stream->FillNextBlock(), S_OK);
  EXPECT_EQ(source_.notified.size(), 24u);
  EXPECT_EQ(source_.notified[22], 22u * 4096);
  EXPECT_EQ(source_.notified[23], 0u);
  EXPECT_EQ(stream->WriteOffset(), 4096u);
  // Block 0 was written twice, block 1 once.
  output->Advance(1);
  auto lap = output->Advance(23 * 4096);
  EXPECT_EQ(lap[0], 24);
  EXPECT_EQ(lap[4096], 2);
  EXPECT_EQ(lap[22 * 4096], 23);

  // A lost buffer is restored and cleared, and the block due is skipped.
  output->SetLost(true);
  ASSERT_EQ(stream->FillNextBlock(), S_OK);
  EXPECT_EQ(source_.fills, 24);
  EXPECT_EQ(stream->WriteOffset(), 4096u);
  DWORD status = 0;
  stream->Buffer()->GetStatus(&status);
  EXPECT_EQ(status & DSBSTATUS_BUFFERLOST, 0u);
  EXPECT_EQ(output->Advance(23 * 4096), std::vector<BYTE>(23 * 4096, 0));

  // A short fill fails.
  source_.shortBy = 2;
  EXPECT_EQ(stream->FillNextBlock(), E_FAIL);
  delete stream;
  EXPECT_TRUE(output->Closed());
}

TEST_F(StreamBufferTest, ABlockThatWrapsTheBufferIsRefused) {
  CDsDevice device;
  ASSERT_EQ(device.Open(nullptr, DSSCL_PRIORITY), S_OK);
  IDirectSound8* sound = nullptr;
  ASSERT_EQ(DirectSoundCreate8(nullptr, &sound, nullptr), S_OK);
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwBufferBytes = 10000;
  desc.lpwfxFormat = &source_.format;
  IDirectSoundBuffer* buffer = nullptr;
  ASSERT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), S_OK);
  CDsStreamBuffer stream(buffer, &source_, 4096, 10000);
  EXPECT_EQ(stream.FillNextBlock(), S_OK);
  EXPECT_EQ(stream.FillNextBlock(), S_OK);
  EXPECT_EQ(stream.FillNextBlock(), E_UNEXPECTED);
  sound->Release();

  backend_->FailOpens(DSERR_NODRIVER);
  CDsStreamBuffer* none = nullptr;
  EXPECT_EQ(device.CreateStreamBuffer(&none, &source_, 0x18188, 23, 4096, events_), DSERR_NODRIVER);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
