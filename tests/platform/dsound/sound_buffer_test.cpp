// Looping buffers on the manual backend: the test plays them byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "dsound/dsound.h"
#include "dsound/manual_backend.h"
#include "platform/dsound/support/pcm_format.h"
#include "win32/synch.h"

namespace {

using tlx::dsound::ManualBackend;
using tlx::dsound::ManualOutput;

constexpr DWORD kBlock = 4096;
constexpr DWORD kBlocks = 23;
constexpr DWORD kSize = kBlock * kBlocks;

using tlx::dsound::test::PcmFormat;

class SoundBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = ManualBackend::Install();
    ASSERT_EQ(DirectSoundCreate8(nullptr, &sound_, nullptr), DS_OK);
    ASSERT_EQ(sound_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    if (buffer_ != nullptr) buffer_->Release();
    if (sound_ != nullptr) sound_->Release();
    for (HANDLE e : events_) CloseHandle(e);
    tlx::dsound::SetBackendFactory(nullptr);
  }

  HRESULT Create(const WAVEFORMATEX& format, DWORD size, IDirectSoundBuffer** out) {
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = 0x18188;
    desc.dwBufferBytes = size;
    desc.lpwfxFormat = &format;
    return sound_->CreateSoundBuffer(&desc, out, nullptr);
  }

  // The 48 kHz stereo buffer of 23 blocks of 4096 bytes, with one event per
  // block at its last byte.
  void CreateRing() {
    ASSERT_EQ(Create(PcmFormat(2, 48000), kSize, &buffer_), DS_OK);
    output_ = backend_->Current();
    ASSERT_NE(output_, nullptr);
    IDirectSoundNotify* notify = nullptr;
    ASSERT_EQ(buffer_->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)), S_OK);
    std::vector<DSBPOSITIONNOTIFY> positions;
    for (DWORD k = 0; k < kBlocks; ++k) {
      events_.push_back(CreateEvent(nullptr, FALSE, FALSE, nullptr));
      positions.push_back({kBlock - 1 + k * kBlock, events_.back()});
    }
    EXPECT_EQ(notify->SetNotificationPositions(kBlocks, positions.data()), DS_OK);
    notify->Release();
  }

  std::set<int> SignalledEvents() {
    std::set<int> set;
    for (size_t k = 0; k < events_.size(); ++k) {
      if (WaitForSingleObject(events_[k], 0) == WAIT_OBJECT_0) set.insert(static_cast<int>(k));
    }
    return set;
  }

  void Write(DWORD offset, const std::vector<BYTE>& bytes) {
    void* a1 = nullptr;
    void* a2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    ASSERT_EQ(buffer_->Lock(offset, static_cast<DWORD>(bytes.size()), &a1, &n1, &a2, &n2, 0), DS_OK);
    std::memcpy(a1, bytes.data(), n1);
    if (n2 != 0) std::memcpy(a2, bytes.data() + n1, n2);
    ASSERT_EQ(buffer_->Unlock(a1, n1, a2, n2), DS_OK);
  }

  DWORD PlayCursor() {
    DWORD play = 0;
    EXPECT_EQ(buffer_->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
  }

  std::shared_ptr<ManualBackend> backend_;
  IDirectSound8* sound_ = nullptr;
  IDirectSoundBuffer* buffer_ = nullptr;
  std::shared_ptr<ManualOutput> output_;
  std::vector<HANDLE> events_;
};

std::vector<BYTE> Pattern(DWORD size, int seed) {
  std::vector<BYTE> bytes(size);
  for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

TEST_F(SoundBufferTest, AdvancesSetTheEventsOfTheOffsetsPassed) {
  CreateRing();
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  std::set<int> all;
  for (int k = 0; k < static_cast<int>(kBlocks); ++k) all.insert(k);
  std::set<int> lower(all);
  lower.erase(22);
  std::set<int> upper;
  for (int k = 3; k < static_cast<int>(kBlocks); ++k) upper.insert(k);
  struct Step {
    DWORD advance;
    std::set<int> events;
    DWORD cursorAfter;
  };
  const Step steps[] = {
      {4094, {}, 4094},                    // short of the first offset
      {1, {0}, 4095},                      // onto offset 4095
      {1, {}, 4096},
      {8192, {1, 2}, 12288},               // two offsets in one advance
      {kSize - 12288 - 1, upper, 94207},   // up to the last offset
      {1, {}, 0},                          // the wrap itself passes none
      {kSize, all, 0},                     // a whole lap sets each once
      {kSize - 2, lower, kSize - 2},       // all but the last offset
      {4098, {22, 0}, 4096},               // across the wrap
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.advance);
    EXPECT_EQ(output_->Advance(step.advance).size(), step.advance);
    EXPECT_EQ(SignalledEvents(), step.events);
    EXPECT_EQ(PlayCursor(), step.cursorAfter);
  }
}

TEST_F(SoundBufferTest, LoopingReplaysUnrewrittenBytesAndStoppedPlaysSilence) {
  CreateRing();
  const auto pattern = Pattern(kSize, 3);
  Write(0, pattern);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(output_->Advance(kSize), pattern);
  EXPECT_EQ(output_->Advance(kSize), pattern);
  EXPECT_EQ(output_->Advance(1000), std::vector<BYTE>(pattern.begin(), pattern.begin() + 1000));

  SignalledEvents();
  ASSERT_EQ(buffer_->Stop(), DS_OK);
  EXPECT_FALSE(output_->Playing());
  EXPECT_EQ(output_->Advance(5000), std::vector<BYTE>(5000, 0));
  EXPECT_EQ(PlayCursor(), 1000u);
  EXPECT_TRUE(SignalledEvents().empty());
  DWORD status = 0;
  ASSERT_EQ(buffer_->GetStatus(&status), DS_OK);
  EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u);

  // Positions fall back to whole sample frames.
  ASSERT_EQ(buffer_->SetCurrentPosition(kSize - 10), DS_OK);
  EXPECT_EQ(PlayCursor(), kSize - 12);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  auto wrapped = output_->Advance(20);
  EXPECT_EQ(std::vector<BYTE>(wrapped.begin(), wrapped.begin() + 12),
            std::vector<BYTE>(pattern.end() - 12, pattern.end()));
  EXPECT_EQ(std::vector<BYTE>(wrapped.begin() + 12, wrapped.end()),
            std::vector<BYTE>(pattern.begin(), pattern.begin() + 8));
}

TEST_F(SoundBufferTest, LockGivesASecondRegionOnlyOnWrap) {
  CreateRing();
  struct Case {
    DWORD offset;
    DWORD bytes;
    DWORD flags;
    DWORD first;
    DWORD second;
  };
  const Case cases[] = {
      {0, kBlock, 0, kBlock, 0},
      {kSize - kBlock, kBlock, 0, kBlock, 0},
      {kSize - 100, 300, 0, 100, 200},
      {5, 0, DSBLOCK_ENTIREBUFFER, kSize - 5, 5},
  };
  for (const Case& c : cases) {
    void* a1 = nullptr;
    void* a2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    ASSERT_EQ(buffer_->Lock(c.offset, c.bytes, &a1, &n1, &a2, &n2, c.flags), DS_OK);
    EXPECT_EQ(n1, c.first);
    EXPECT_EQ(n2, c.second);
    EXPECT_EQ(a2 == nullptr, c.second == 0);
    EXPECT_EQ(buffer_->Unlock(a1, n1, a2, n2), DS_OK);
  }
  // The second region is the start of the ring.
  const auto pattern = Pattern(300, 9);
  Write(kSize - 100, pattern);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  auto played = output_->Advance(kSize);
  EXPECT_EQ(std::vector<BYTE>(played.begin(), played.begin() + 200),
            std::vector<BYTE>(pattern.begin() + 100, pattern.end()));
  EXPECT_EQ(std::vector<BYTE>(played.end() - 100, played.end()),
            std::vector<BYTE>(pattern.begin(), pattern.begin() + 100));

  void* a1 = nullptr;
  DWORD n1 = 0;
  EXPECT_EQ(buffer_->Lock(kSize, 4, &a1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer_->Lock(0, kSize + 1, &a1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  BYTE elsewhere[4];
  EXPECT_EQ(buffer_->Unlock(elsewhere, 4, nullptr, 0), DSERR_INVALIDPARAM);
}

TEST_F(SoundBufferTest, VolumeScalesBy10ToTheVolumeOver2000) {
  CreateRing();
  const int16_t samples[] = {0, 1, -1, 1000, -1000, 12345, -23456, 32767, -32768};
  std::vector<BYTE> bytes(sizeof samples * 2);
  std::memcpy(bytes.data(), samples, sizeof samples);
  std::memcpy(bytes.data() + sizeof samples, samples, sizeof samples);
  Write(0, bytes);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  LONG volume = 1;
  ASSERT_EQ(buffer_->GetVolume(&volume), DS_OK);
  EXPECT_EQ(volume, 0);

  for (LONG v : {0L, -600L, -10000L}) {
    SCOPED_TRACE(v);
    ASSERT_EQ(buffer_->SetVolume(v), DS_OK);
    ASSERT_EQ(buffer_->SetCurrentPosition(0), DS_OK);
    auto played = output_->Advance(static_cast<DWORD>(sizeof samples));
    int16_t out[std::size(samples)];
    std::memcpy(out, played.data(), sizeof out);
    for (size_t i = 0; i < std::size(samples); ++i) {
      const double expected = samples[i] * std::pow(10.0, v / 2000.0);
      if (v == 0) {
        EXPECT_EQ(out[i], samples[i]);
      } else if (v == -10000) {
        EXPECT_EQ(out[i], 0);
      } else {
        EXPECT_NEAR(out[i], expected, 1.0) << samples[i];
      }
    }
  }
  EXPECT_EQ(buffer_->SetVolume(-10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer_->SetVolume(1), DSERR_INVALIDPARAM);
  ASSERT_EQ(buffer_->GetVolume(&volume), DS_OK);
  EXPECT_EQ(volume, -10000);
}

TEST_F(SoundBufferTest, LostBufferIsReportedUntilRestored) {
  CreateRing();
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  output_->SetLost(true);
  DWORD status = 0;
  ASSERT_EQ(buffer_->GetStatus(&status), DS_OK);
  EXPECT_NE(status & DSBSTATUS_BUFFERLOST, 0u);
  void* a1 = nullptr;
  DWORD n1 = 0;
  EXPECT_EQ(buffer_->Lock(0, 4, &a1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
  EXPECT_EQ(buffer_->Restore(), DS_OK);
  ASSERT_EQ(buffer_->GetStatus(&status), DS_OK);
  EXPECT_EQ(status & DSBSTATUS_BUFFERLOST, 0u);
  EXPECT_EQ(buffer_->Lock(0, 4, &a1, &n1, nullptr, nullptr, 0), DS_OK);
  EXPECT_EQ(buffer_->Unlock(a1, n1, nullptr, 0), DS_OK);
}

TEST_F(SoundBufferTest, RefusesWhatItCannotPlay) {
  IDirectSoundBuffer* buffer = nullptr;
  EXPECT_EQ(Create(PcmFormat(1, 44100, 8), 4096, &buffer), DSERR_BADFORMAT);
  for (const WORD channels : {3, 4, 5, 8}) {
    EXPECT_EQ(Create(PcmFormat(channels, 44100), 4800, &buffer), DSERR_BADFORMAT) << channels;
  }
  auto inconsistent = PcmFormat(2, 44100);
  inconsistent.nAvgBytesPerSec = 1;
  EXPECT_EQ(Create(inconsistent, 4096, &buffer), DSERR_BADFORMAT);
  EXPECT_EQ(Create(PcmFormat(2, 44100), 4098, &buffer), DSERR_INVALIDPARAM);  // not whole frames
  EXPECT_EQ(Create(PcmFormat(2, 44100), 0, &buffer), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer, nullptr);

  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  ASSERT_EQ(sound_->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
  const auto format = PcmFormat(2, 48000);
  EXPECT_EQ(buffer->SetFormat(&format), DS_OK);
  EXPECT_EQ(buffer->SetFormat(nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  void* notify = nullptr;
  EXPECT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify, &notify), E_NOINTERFACE);
  EXPECT_EQ(buffer->Release(), 0u);
  EXPECT_TRUE(backend_->Outputs().empty());

  backend_->FailOpens(DSERR_NODRIVER);
  EXPECT_EQ(Create(PcmFormat(2, 48000), kSize, &buffer), DSERR_NODRIVER);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(SoundBufferTest, SixChannelsPlayInTheirOwnFormat) {
  IDirectSoundBuffer* buffer = nullptr;
  ASSERT_EQ(Create(PcmFormat(6, 48000), 12 * 1000, &buffer), DS_OK);
  buffer_ = buffer;
  output_ = backend_->Current();
  ASSERT_NE(output_, nullptr);
  EXPECT_EQ(output_->Format().nChannels, 6);
  EXPECT_EQ(output_->Format().nBlockAlign, 12);
  const auto pattern = Pattern(12 * 1000, 5);
  Write(0, pattern);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(output_->Advance(12 * 1000), pattern);
  // Positions fall back to whole six-channel frames.
  ASSERT_EQ(buffer_->SetCurrentPosition(20), DS_OK);
  EXPECT_EQ(PlayCursor(), 12u);
}

TEST_F(SoundBufferTest, NotificationPositionsAreCheckedAndOnlySetWhileStopped) {
  CreateRing();
  IDirectSoundNotify* notify = nullptr;
  ASSERT_EQ(buffer_->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)), S_OK);
  DSBPOSITIONNOTIFY outside{kSize, events_[0]};
  EXPECT_EQ(notify->SetNotificationPositions(1, &outside), DSERR_INVALIDPARAM);
  DSBPOSITIONNOTIFY noEvent{0, nullptr};
  EXPECT_EQ(notify->SetNotificationPositions(1, &noEvent), DSERR_INVALIDPARAM);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  DSBPOSITIONNOTIFY fine{0, events_[0]};
  EXPECT_EQ(notify->SetNotificationPositions(1, &fine), DSERR_INVALIDCALL);
  notify->Release();
  // The buffer and its notify interface share one count.
  EXPECT_EQ(buffer_->Release(), 0u);
  buffer_ = nullptr;
  EXPECT_TRUE(output_->Closed());
  EXPECT_TRUE(output_->Advance(16).empty());
}

TEST(DirectSoundCreate, WithoutOutputThereIsNoDriver) {
  tlx::dsound::SetBackendFactory([] { return std::shared_ptr<tlx::dsound::Backend>(); });
  IDirectSound8* sound = reinterpret_cast<IDirectSound8*>(1);
  EXPECT_EQ(DirectSoundCreate8(nullptr, &sound, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(sound, nullptr);
  tlx::dsound::SetBackendFactory(nullptr);
}

}  // namespace
