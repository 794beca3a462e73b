// The audio renderer on the manual sound backend and virtual time: the
// sample path and the fill routine driven directly, the render thread driven
// by playing the buffer, and the clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "dshow/media_sample.h"
#include "dsound/manual_backend.h"
#include "filters/audio_renderer/ravix_ds_aud_renderer.h"
#include "platform/dsound/support/pcm_format.h"

struct RendererTestAccess {
  using R = CRavixDSAudRenderer;
  static const StreamingConfig& Config(R* r) { return r->m_cfg; }
  static int State(R* r) { return r->m_state; }
  static UINT Queued(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->QueuedBlocks();
  }
  static std::vector<BYTE> Fill(R* r) {
    std::vector<BYTE> block(r->m_cfg.notifySize);
    UINT read = 0;
    EXPECT_EQ(r->Fill(block.data(), r->m_cfg.notifySize, &read), S_OK);
    return block;
  }
  static SampleTimeRecord BlockInHand(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_blockInHand;
  }
  static UINT PlayThreshold(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_playThreshold;
  }
  static UINT Prebuffer(R* r) { return r->m_prebuffer; }
  static UINT BaseRate(R* r) { return r->m_baseRate; }
  static UINT MaxRate(R* r) { return r->m_maxRate; }
  static UINT OutputRate(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_upsampler.OutputRate();
  }
  static bool Stretching(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_stretch;
  }
  static bool Flash(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_flash;
  }
  static bool CatchUp(R* r) {
    CAutoLock l(&r->m_StreamLock);
    return r->m_catchUp;
  }
  static void Restretch(R* r) {
    CAutoLock l(&r->m_StreamLock);
    r->m_stretch = true;
    r->m_currentRate = 2 * r->m_maxRate;
    r->StretchUpdate();
  }
  // Queues whole blocks of one value, as the sink does.
  static void Queue(R* r, UINT blocks, REFERENCE_TIME start, int16_t value) {
    CAutoLock l(&r->m_StreamLock);
    std::vector<int16_t> frame(r->m_cfg.notifySize / 2, value);
    for (UINT i = 0; i < blocks; ++i) {
      SampleTimeRecord record{start + static_cast<REFERENCE_TIME>(i) * r->m_cfg.blockDuration, r->m_cfg.notifySize, 0};
      ASSERT_EQ(r->Deliver(reinterpret_cast<const BYTE*>(frame.data()), r->m_cfg.notifySize, 0, &record), 0);
    }
  }
  static IDirectSoundBuffer* Buffer(R* r) {
    CAutoLock l(&r->m_BufferLock);
    return r->m_pStreamBuffer != nullptr ? r->m_pStreamBuffer->Buffer() : nullptr;
  }
  static void WriteTable(R* r, UINT index, REFERENCE_TIME time, bool valid) {
    CAutoLock l(&r->m_TableLock);
    r->m_table.Write(index, time, valid);
    r->m_tableValid = true;
  }
  static UINT LastWrittenBlock(R* r) {
    CAutoLock l(&r->m_TableLock);
    UINT index = 0;
    r->m_table.Read(&index);
    return index;
  }
  static bool Alive(R* r) { return r->m_alive; }
  // The render thread is back in its wait with no notification pending.
  static bool Waiting(R* r) { return tlx::win32::WaiterCount(r->m_events[0]) == 1; }
};

namespace {

using namespace std::chrono_literals;
using A = RendererTestAccess;

template <typename F>
bool WaitFor(F condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

CMediaType WaveType(WORD channels, DWORD rate, WORD bits = 16, ULONG length = 18, WORD tag = WAVE_FORMAT_PCM) {
  WAVEFORMATEX f = tlx::dsound::test::PcmFormat(channels, rate, bits);
  f.wFormatTag = tag;
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&GUID_NULL);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&f), length);
  return mt;
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = tlx::dsound::ManualBackend::Install();
    renderer_ = Make();
  }
  void TearDown() override {
    for (auto* r : {second_, renderer_}) {
      if (r == nullptr) continue;
      r->Stop();
      r->NonDelegatingRelease();
    }
    tlx::dsound::SetBackendFactory(nullptr);
  }
  CRavixDSAudRenderer* Make() {
    HRESULT hr = S_OK;
    auto* r = new CRavixDSAudRenderer(nullptr, &hr);
    r->NonDelegatingAddRef();
    r->SetServices({[this] { return now_.load(); },
                    [this](DWORD ms) {
                      now_ += ms;
                      std::this_thread::sleep_for(1ms);
                    },
                    [] { return static_cast<HWND>(nullptr); }});
    return r;
  }
  HRESULT Send(CRavixDSAudRenderer* r, UINT bytes, REFERENCE_TIME start, int16_t value = 1000, bool marked = false) {
    std::vector<int16_t> data(bytes / 2 + 1, value);
    CMediaSample sample("test", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), static_cast<LONG>(bytes));
    REFERENCE_TIME stop = start + 1;
    sample.SetTime(&start, &stop);
    LONGLONG mediaStart = marked ? 1 : 0;
    LONGLONG mediaStop = 2;
    sample.SetMediaTime(&mediaStart, &mediaStop);
    return r->Receive(&sample);
  }
  // 48 kHz stereo with samples of 4096 bytes, the render thread's buffer
  // open and playing.
  void Start48k(CRavixDSAudRenderer* r, REFERENCE_TIME start = 0) {
    auto mt = WaveType(2, 48000);
    ASSERT_EQ(r->SetMediaType(&mt), S_OK);
    ASSERT_EQ(Send(r, 4096, start), S_OK);
    ASSERT_TRUE(WaitFor([&] { return A::Buffer(r) != nullptr && backend_->Current() != nullptr && backend_->Current()->Playing(); }));
  }

  std::atomic<DWORD> now_{5000};
  std::shared_ptr<tlx::dsound::ManualBackend> backend_;
  CRavixDSAudRenderer* renderer_ = nullptr;
  CRavixDSAudRenderer* second_ = nullptr;
};

std::vector<int16_t> Samples(const std::vector<BYTE>& block) {
  std::vector<int16_t> s(block.size() / 2);
  std::memcpy(s.data(), block.data(), block.size());
  return s;
}

TEST_F(RendererTest, MediaTypesAreCheckedAndTakenOnlyBeforeStreaming) {
  struct Case {
    CMediaType mt;
    HRESULT expected;
  };
  auto video = WaveType(2, 48000);
  video.SetType(&MEDIATYPE_Video);
  auto noBlock = WaveType(2, 48000);
  noBlock.ResetFormatBuffer();
  auto otherFormat = WaveType(2, 48000);
  otherFormat.SetFormatType(&GUID_NULL);
  const Case cases[] = {
      {WaveType(2, 48000), S_OK},
      {WaveType(1, 22050, 8), S_OK},  // refused only when the first sample comes
      {WaveType(2, 48000, 16, 16), S_OK},
      {WaveType(2, 48000, 16, 15), E_INVALIDARG},
      {WaveType(2, 48000, 16, 18, 3), E_INVALIDARG},
      {video, E_INVALIDARG},
      {noBlock, E_INVALIDARG},
      {otherFormat, E_INVALIDARG},
  };
  for (const Case& c : cases) EXPECT_EQ(renderer_->CheckMediaType(&c.mt), c.expected);
  EXPECT_EQ(renderer_->CheckMediaType(nullptr), E_POINTER);

  // A 16-byte block is taken with no extra bytes.
  auto shortBlock = WaveType(2, 48000, 16, 16);
  ASSERT_EQ(renderer_->SetMediaType(&shortBlock), S_OK);
  EXPECT_EQ(A::State(renderer_), kRendererTypeSet);
  Start48k(renderer_);
  EXPECT_EQ(A::State(renderer_), kRendererRunning);
  auto mt = WaveType(2, 48000);
  EXPECT_EQ(renderer_->SetMediaType(&mt), E_FAIL);
}

TEST_F(RendererTest, TheFirstSampleFixesTheSizes) {
  Start48k(renderer_);
  const auto& cfg = A::Config(renderer_);
  EXPECT_EQ(cfg.notifyCount, 23u);
  EXPECT_EQ(cfg.bufferBytes, 94208u);
  EXPECT_EQ(cfg.blockDuration, 213333);
  EXPECT_EQ(cfg.stretchLimit, 117u);
  EXPECT_EQ(cfg.dropThreshold, 164u);
  EXPECT_EQ(cfg.dropAmount, 46u);
  EXPECT_EQ(A::Prebuffer(renderer_), 23u);
  EXPECT_EQ(A::BaseRate(renderer_), 24000u);
  EXPECT_EQ(A::MaxRate(renderer_), 25440u);
  REFERENCE_TIME correction = 0;
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  ASSERT_EQ(control->GetTimeCorrection(&correction), S_OK);
  EXPECT_EQ(correction, 200000);
  EXPECT_EQ(control->GetTimeCorrection(nullptr), E_FAIL);
  control->Release();

  // A sample of another length is refused and the next one taken.
  EXPECT_EQ(Send(renderer_, 4000, 1), E_FAIL);
  EXPECT_EQ(Send(renderer_, 4096, 2), S_OK);

  second_ = Make();
  auto mt = WaveType(2, 24000);
  ASSERT_EQ(second_->SetMediaType(&mt), S_OK);
  ASSERT_EQ(Send(second_, 4096, 0), S_OK);
  EXPECT_EQ(A::Config(second_).notifyCount, 11u);
}

TEST_F(RendererTest, AFirstSampleThePathCannotPlayFailsTheStream) {
  struct Case {
    CMediaType mt;
    UINT bytes;
  };
  const Case cases[] = {
      {WaveType(2, 48000), 120004},    // no block fits the buffer
      {WaveType(3, 48000), 4098},      // three channels
      {WaveType(2, 48000, 8), 4096},   // 8-bit samples
      {WaveType(2, 48000), 1000},      // 96 blocks, more than a wait takes
  };
  for (const Case& c : cases) {
    auto* r = Make();
    ASSERT_EQ(r->SetMediaType(&c.mt), S_OK);
    EXPECT_EQ(Send(r, c.bytes, 0), E_FAIL);
    EXPECT_EQ(A::State(r), kRendererFailed);
    EXPECT_EQ(Send(r, c.bytes, 1), E_FAIL);
    r->Stop();
    r->NonDelegatingRelease();
  }
}

TEST_F(RendererTest, StopThenRunSetsUpAgainFromTheKeptFormat) {
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(control->SetTimeCorrection(5), S_OK);
  Start48k(renderer_);
  ASSERT_EQ(renderer_->Stop(), S_OK);
  EXPECT_FALSE(A::Alive(renderer_));
  EXPECT_EQ(A::State(renderer_), kRendererStopped);
  EXPECT_EQ(Send(renderer_, 4096, 0), E_FAIL);
  ASSERT_EQ(renderer_->Run(0), S_OK);
  EXPECT_EQ(control->SetTimeCorrection(5), S_OK);
  ASSERT_EQ(Send(renderer_, 4096, 0), S_OK);
  EXPECT_EQ(A::State(renderer_), kRendererRunning);
  REFERENCE_TIME correction = 0;
  control->GetTimeCorrection(&correction);
  EXPECT_EQ(correction, 200000);
  ASSERT_TRUE(WaitFor([&] { return A::Buffer(renderer_) != nullptr; }));
  control->Release();
}

TEST_F(RendererTest, StretchRateFallsWithTheQueueInLargeSteps) {
  Start48k(renderer_);
  struct Case {
    UINT queued;
    UINT rate;
  };
  UINT queued = A::Queued(renderer_);
  for (const Case c : {Case{0, 25440}, Case{50, 24824}, Case{100, 24209}}) {
    if (c.queued > queued) A::Queue(renderer_, c.queued - queued, 0, 0);
    if (c.queued == 0) {
      while (A::Queued(renderer_) > 0) A::Fill(renderer_);
    }
    queued = c.queued;
    A::Restretch(renderer_);
    EXPECT_EQ(A::OutputRate(renderer_), c.rate) << c.queued;
  }

  // From an empty queue, sample by sample: every change is at least 480 down.
  auto* r = Make();
  second_ = r;
  auto mt = WaveType(2, 48000);
  ASSERT_EQ(r->SetMediaType(&mt), S_OK);
  UINT rate = 0;
  std::vector<UINT> rates;
  for (int i = 0; i < 160 && (i == 0 || A::Stretching(r)); ++i) {
    ASSERT_EQ(Send(r, 4096, i * 213333), S_OK);
    if (A::OutputRate(r) != rate) rates.push_back(rate = A::OutputRate(r));
  }
  EXPECT_FALSE(A::Stretching(r));
  ASSERT_GE(rates.size(), 3u);
  EXPECT_EQ(rates.front(), 25440u);
  EXPECT_EQ(rates.back(), 24000u);
  for (size_t i = 1; i + 1 < rates.size(); ++i) EXPECT_GE(rates[i - 1] - rates[i], 480u);
}

TEST_F(RendererTest, ALongQueueDropsASecondAndAnEmptyOneCollectsHalfASecond) {
  Start48k(renderer_);
  A::Queue(renderer_, 164 - A::Queued(renderer_), 0, 7);
  ASSERT_EQ(Send(renderer_, 4096, 0), S_OK);
  EXPECT_LE(A::Queued(renderer_), 164u - 46u + 2u);
  EXPECT_GE(A::Queued(renderer_), 164u - 46u);
  EXPECT_EQ(A::PlayThreshold(renderer_), 1u);

  while (A::Queued(renderer_) > 0) EXPECT_NE(A::BlockInHand((A::Fill(renderer_), renderer_)).length, 0u);
  // Dry: silence until 23 blocks are there again, stretching meanwhile.
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 0));
  EXPECT_EQ(A::BlockInHand(renderer_).length, 0u);
  A::Queue(renderer_, 22, 0, 7);
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 0));
  EXPECT_TRUE(A::Stretching(renderer_));
  A::Queue(renderer_, 1, 0, 7);
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 7));
}

TEST_F(RendererTest, GainScalesQueuedBlocks) {
  Start48k(renderer_);
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  while (A::Queued(renderer_) > 0) A::Fill(renderer_);
  EXPECT_EQ(control->SetGain(1, 0), E_INVALIDARG);
  struct Case {
    unsigned n, d;
    int16_t in, out;
  };
  for (const Case c : {Case{3, 2, 30000, 32767}, Case{3, 2, -30000, -32768}, Case{3, 2, 1001, 1501},
                       Case{2, 3, 30000, 30000}}) {
    ASSERT_EQ(control->SetGain(c.n, c.d), S_OK);
    A::Queue(renderer_, 1, 0, c.in);
    EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, c.out));
  }
  control->Release();
}

TEST_F(RendererTest, FlashPlaysTheExcessDownWithinItsWindow) {
  Start48k(renderer_);
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  while (A::Queued(renderer_) > 0) A::Fill(renderer_);
  A::Queue(renderer_, 46, 0, 6400);  // about 1 s: nothing happens
  ASSERT_EQ(control->FlashBuffers(0), S_OK);
  EXPECT_FALSE(A::Flash(renderer_));
  A::Queue(renderer_, 48, 46 * 213333, 6400);  // about 2 s
  ASSERT_EQ(control->FlashBuffers(0), S_OK);
  ASSERT_TRUE(A::Flash(renderer_));
  const DWORD start = now_;
  int fills = 0;
  while (A::Flash(renderer_) && fills < 100) {
    const auto block = Samples(A::Fill(renderer_));
    if (A::Flash(renderer_)) {
      for (int16_t s : block) ASSERT_TRUE(s == 0 || s == 6400 >> 6) << s;
    }
    now_ += 21;
    ++fills;
  }
  EXPECT_FALSE(A::Flash(renderer_));
  EXPECT_LE(now_ - start, 700u + 21u);
  // Down to half a second; a window that ran out plays one more block.
  EXPECT_GE(A::Queued(renderer_), 22u);
  EXPECT_LE(A::Queued(renderer_), 23u);
  // Then play goes on from the queue at full level.
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 6400));

  // A window that has run out discards the oldest blocks above half a
  // second, and play goes on with the rest.
  while (A::Queued(renderer_) > 0) A::Fill(renderer_);
  A::Queue(renderer_, 30, 0, 6400);
  A::Queue(renderer_, 30, 0, 5);
  ASSERT_EQ(control->FlashBuffers(0), S_OK);
  ASSERT_TRUE(A::Flash(renderer_));
  now_ += 800;
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 5));
  EXPECT_FALSE(A::Flash(renderer_));
  EXPECT_EQ(A::Queued(renderer_), 22u);

  // Once a marked sample was seen, flash never starts again.
  ASSERT_EQ(Send(renderer_, 4096, 0, 1, true), S_OK);
  A::Queue(renderer_, 60, 0, 5);
  ASSERT_EQ(control->FlashBuffers(0), S_OK);
  EXPECT_FALSE(A::Flash(renderer_));
  control->Release();
}

TEST_F(RendererTest, FlashOutsideRunningChangesNothing) {
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(control->FlashBuffers(0), S_OK);
  EXPECT_EQ(control->Reserved(), S_OK);
  control->Release();
}

TEST_F(RendererTest, CatchUpEndsAtTheBlockLastQueuedOrOnAnEmptyQueue) {
  Start48k(renderer_);
  while (A::Queued(renderer_) > 0) A::Fill(renderer_);
  A::Queue(renderer_, 60, 1000000, 6400);
  // The marked sample is queued behind them and ends the catch-up.
  ASSERT_EQ(Send(renderer_, 4096, 99000000, 6400, true), S_OK);
  ASSERT_TRUE(A::CatchUp(renderer_)) << A::Queued(renderer_) << " " << A::Flash(renderer_);
  int fills = 0;
  while (A::CatchUp(renderer_) && fills < 200) {
    // Decimated and 36 dB down; the marked sample was stretched from the
    // level before it.
    for (int16_t s : Samples(A::Fill(renderer_))) ASSERT_LE(std::abs(s), 6400 >> 6);
    ++fills;
  }
  EXPECT_FALSE(A::CatchUp(renderer_));
  EXPECT_EQ(A::Queued(renderer_), 0u);
  EXPECT_LT(fills, 61);
}

TEST_F(RendererTest, EndFlushEmptiesTheQueues) {
  Start48k(renderer_);
  A::Queue(renderer_, 30, 0, 9);
  ASSERT_EQ(renderer_->EndFlush(), S_OK);
  EXPECT_EQ(A::Queued(renderer_), 0u);
  EXPECT_EQ(A::PlayThreshold(renderer_), 23u);
  EXPECT_EQ(Samples(A::Fill(renderer_)), std::vector<int16_t>(2048, 0));
}

TEST_F(RendererTest, CompanionsShareTheFiltersIdentityAndCount) {
  IBasicAudio* audio = nullptr;
  IReferenceClock* clock = nullptr;
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)), S_OK);
  ASSERT_EQ(renderer_->QueryInterface(IID_IReferenceClock, reinterpret_cast<void**>(&clock)), S_OK);
  ASSERT_EQ(renderer_->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(clock->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
  EXPECT_EQ(filter, static_cast<IBaseFilter*>(renderer_));
  EXPECT_EQ(audio->AddRef(), 6u);  // the test's, the three companions', the filter's, this one
  for (IUnknown* u : std::initializer_list<IUnknown*>{audio, audio, clock, control, filter}) u->Release();
  long balance = 1;
  EXPECT_EQ(audio->get_Balance(&balance), S_OK);
  EXPECT_EQ(balance, 0);
}

TEST_F(RendererTest, VolumeGivenEarlyReachesTheBufferFromTheRenderThread) {
  IBasicAudio* audio = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)), S_OK);
  ASSERT_EQ(audio->put_Volume(-600), S_OK);
  long volume = 1;
  ASSERT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, 0);
  Start48k(renderer_);
  auto output = backend_->Current();
  now_ += 100;
  output->Advance(4096);
  ASSERT_TRUE(WaitFor([&] {
    long v = 0;
    audio->get_Volume(&v);
    return v == -600;
  }));
  ASSERT_EQ(audio->put_Volume(-1200), S_OK);
  ASSERT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, -1200);
  audio->Release();
}

TEST_F(RendererTest, TheRenderThreadFillsBlocksAsTheyPlay) {
  Start48k(renderer_);
  auto output = backend_->Current();
  ASSERT_EQ(renderer_->Stop(), S_OK);
  ASSERT_EQ(renderer_->Run(0), S_OK);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(Send(renderer_, 4096, i * 213333, static_cast<int16_t>(100 + i)), S_OK);
  ASSERT_TRUE(WaitFor([&] { return backend_->Current() != nullptr && backend_->Current()->Playing(); }));
  output = backend_->Current();
  // Each played block is refilled with the next queued one, one behind the
  // block just finished.
  const UINT before = A::Queued(renderer_);
  auto settle = [&] {
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(WaitFor([&] { return A::Waiting(renderer_); }));
  };
  for (UINT block = 0; block < 4; ++block) {
    now_ += 22;
    output->Advance(4096);
    if (block > 0) ASSERT_TRUE(WaitFor([&] { return A::LastWrittenBlock(renderer_) == block - 1; }));
    settle();
  }
  EXPECT_LT(A::Queued(renderer_), before);
  // Notifications within a block's time of the last fill are dropped together;
  // the next one covers every block passed.
  output->Advance(8192);
  settle();
  EXPECT_EQ(A::LastWrittenBlock(renderer_), 2u);
  now_ += 22;
  output->Advance(4096);
  ASSERT_TRUE(WaitFor([&] { return A::LastWrittenBlock(renderer_) == 5; }));
}

TEST_F(RendererTest, AFailingOpenFailsTheStreamAndFreesTheProcessSlot) {
  backend_->FailOpens(DSERR_NODRIVER);
  auto mt = WaveType(2, 48000);
  ASSERT_EQ(renderer_->SetMediaType(&mt), S_OK);
  // The first sample starts the render thread, which opens the device on its
  // own: the sample is taken, or refused when the open has failed already.
  const HRESULT first = Send(renderer_, 4096, 0);
  EXPECT_TRUE(first == S_OK || first == E_FAIL) << std::hex << first;
  ASSERT_TRUE(WaitFor([&] { return A::State(renderer_) == kRendererFailed; }));
  EXPECT_TRUE(WaitFor([&] { return !A::Alive(renderer_); }));
  EXPECT_EQ(Send(renderer_, 4096, 1), E_FAIL);
  backend_->FailOpens(S_OK);
  second_ = Make();
  Start48k(second_);
}

TEST_F(RendererTest, ASecondInstancePlaysNothingAndStopsPromptly) {
  Start48k(renderer_);
  second_ = Make();
  auto mt = WaveType(2, 48000);
  ASSERT_EQ(second_->SetMediaType(&mt), S_OK);
  ASSERT_EQ(Send(second_, 4096, 0), S_OK);
  ASSERT_TRUE(WaitFor([&] { return !A::Alive(second_); }));
  EXPECT_EQ(backend_->Outputs().size(), 1u);
  EXPECT_EQ(second_->Stop(), S_OK);
}

TEST_F(RendererTest, ClockReadsTheBlockUnderTheCursor) {
  Start48k(renderer_);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IReferenceClock, reinterpret_cast<void**>(&clock)), S_OK);
  REFERENCE_TIME t = -1;
  // No time yet: +1 per read.
  ASSERT_EQ(clock->GetTime(&t), S_OK);
  EXPECT_EQ(t, 0);
  ASSERT_EQ(clock->GetTime(&t), S_OK);
  EXPECT_EQ(t, 1);
  EXPECT_EQ(clock->GetTime(nullptr), E_POINTER);

  // One lap, then blocks 0..3 of the next: block 3 of the first lap plays.
  for (UINT i = 0; i < 23; ++i) A::WriteTable(renderer_, i, i == 3 ? 10000000 : 0, true);
  for (UINT i = 0; i < 4; ++i) A::WriteTable(renderer_, i, 0, true);
  IDirectSoundBuffer* buffer = A::Buffer(renderer_);
  ASSERT_EQ(buffer->SetCurrentPosition(3 * 4096 + 1920), DS_OK);
  ASSERT_EQ(clock->GetTime(&t), S_OK);
  EXPECT_EQ(t, 9900000);

  // Stream times that restart near zero hold the clock for 300,000 reads.
  for (UINT i = 4; i < 23; ++i) A::WriteTable(renderer_, i, 0, true);
  for (UINT i = 0; i < 23; ++i) A::WriteTable(renderer_, i, 0, true);
  for (UINT i = 0; i < 4; ++i) A::WriteTable(renderer_, i, 0, true);
  for (int read = 1; read <= 300000; ++read) {
    clock->GetTime(&t);
    ASSERT_EQ(t, 9900000 + read);
  }
  clock->GetTime(&t);
  EXPECT_EQ(t, 100000);  // uncorrected: not above the correction

  // Silence under the cursor: +1 per read.
  for (UINT i = 4; i < 23; ++i) A::WriteTable(renderer_, i, 0, false);
  for (UINT i = 0; i < 4; ++i) A::WriteTable(renderer_, i, 0, false);
  clock->GetTime(&t);
  EXPECT_EQ(t, 100001);

  // After Stop the clock starts again from 0.
  ASSERT_EQ(renderer_->Stop(), S_OK);
  clock->GetTime(&t);
  EXPECT_EQ(t, 0);
  clock->Release();
}

TEST_F(RendererTest, ClockRunsOnSmoothlyOverManyLaps) {
  Start48k(renderer_, 0);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(renderer_->QueryInterface(IID_IReferenceClock, reinterpret_cast<void**>(&clock)), S_OK);
  for (int i = 1; i < 150; ++i) ASSERT_EQ(Send(renderer_, 4096, i * 213333), S_OK);
  auto output = backend_->Current();
  REFERENCE_TIME previous = 0;
  REFERENCE_TIME first = -1;
  int valid = 0;
  // Four laps, a quarter block at a time.
  for (int step = 0; step < 4 * 23 * 4; ++step) {
    if (step % 4 == 0) now_ += 22;
    output->Advance(1024);
    if (step % 4 == 3) {
      const UINT expected = (step / 4 + 23 - 1) % 23;
      if (step >= 7) ASSERT_TRUE(WaitFor([&] { return A::LastWrittenBlock(renderer_) == expected; })) << step;
      std::this_thread::sleep_for(2ms);
      ASSERT_TRUE(WaitFor([&] { return A::Waiting(renderer_); }));
    }
    REFERENCE_TIME t = 0;
    clock->GetTime(&t);
    ASSERT_GE(t, previous);
    // Never a jump of a lap (about half a second).
    ASSERT_LT(t - previous, 1000000) << step;
    if (t - previous > 10) {
      ++valid;
      if (first < 0) first = t;
    }
    previous = t;
  }
  EXPECT_GT(valid, 100);
  EXPECT_GT(previous - first, 2 * 5000000);
  clock->Release();
}

}  // namespace
