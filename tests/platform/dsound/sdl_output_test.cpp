// Looping buffers on SDL audio's dummy and disk drivers, in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "dsound/dsound.h"
#include "platform/dsound/support/pcm_format.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A device and one secondary buffer on the driver the environment names.
class SdlBuffer {
 public:
  HRESULT Open(DWORD size, WORD channels = 2) {
    HRESULT hr = DirectSoundCreate8(nullptr, &sound_, nullptr);
    if (FAILED(hr)) return hr;
    const WAVEFORMATEX format = tlx::dsound::test::PcmFormat(channels, 48000);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = 0x18188;
    desc.dwBufferBytes = size;
    desc.lpwfxFormat = &format;
    return sound_->CreateSoundBuffer(&desc, &buffer_, nullptr);
  }
  ~SdlBuffer() { Close(); }
  void Close() {
    if (buffer_ != nullptr) buffer_->Release();
    if (sound_ != nullptr) sound_->Release();
    buffer_ = nullptr;
    sound_ = nullptr;
  }
  IDirectSoundBuffer* operator->() { return buffer_; }

  void Write(const std::vector<BYTE>& bytes) {
    void* a1 = nullptr;
    DWORD n1 = 0;
    ASSERT_EQ(buffer_->Lock(0, static_cast<DWORD>(bytes.size()), &a1, &n1, nullptr, nullptr, 0), DS_OK);
    std::memcpy(a1, bytes.data(), n1);
    ASSERT_EQ(buffer_->Unlock(a1, n1, nullptr, 0), DS_OK);
  }

 private:
  IDirectSound8* sound_ = nullptr;
  IDirectSoundBuffer* buffer_ = nullptr;
};

class SdlOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tlx-dsound-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // The disk driver, writing a 10 ms period every 2 ms.
  fs::path UseDisk() {
    const fs::path file = dir_ / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "2", 1);
    return file;
  }

  fs::path dir_;
};

// Stereo samples that never repeat within a lap and begin away from zero.
std::vector<BYTE> Pattern(DWORD bytes) {
  std::vector<BYTE> out(bytes);
  for (DWORD i = 0; i < bytes / 2; ++i) {
    const auto sample = static_cast<int16_t>(((i * 2654435761u) >> 13) | 1);
    std::memcpy(out.data() + 2 * i, &sample, 2);
  }
  return out;
}

// Plays the ring until the file holds a few laps after the start of the
// pattern; returns the file from that start on.
std::vector<BYTE> PlayLaps(SdlBuffer& buffer, const fs::path& file, const std::vector<BYTE>& ring, int laps) {
  EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  const auto deadline = steady_clock::now() + std::chrono::seconds(20);
  std::vector<BYTE> content;
  while (steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
    std::error_code ec;
    if (fs::file_size(file, ec) >= ring.size() * (laps + 2)) break;
  }
  EXPECT_EQ(buffer->Stop(), DS_OK);
  buffer.Close();
  std::ifstream in(file, std::ios::binary);
  content.assign(std::istreambuf_iterator<char>(in), {});
  // Silence comes first, while the device waited for Play.
  size_t start = 0;
  while (start < content.size() && content[start] == 0) ++start;
  return std::vector<BYTE>(content.begin() + static_cast<long>(start), content.end());
}

TEST_F(SdlOutputTest, DiskFileHoldsTheRingBitForBitLapAfterLap) {
  // Stereo, and 5.1 as SDL audio opens six channels.
  for (const WORD channels : {2, 6}) {
    SCOPED_TRACE(channels);
    const fs::path file = UseDisk();
    fs::remove(file);
    SdlBuffer buffer;
    const DWORD size = 4 * 1024 * channels * 2u;
    ASSERT_EQ(buffer.Open(size, channels), DS_OK);
    const auto ring = Pattern(size);
    buffer.Write(ring);
    const auto played = PlayLaps(buffer, file, ring, 3);
    ASSERT_GE(played.size(), ring.size() * 3);
    for (size_t i = 0; i < ring.size() * 3; ++i) {
      ASSERT_EQ(played[i], ring[i % ring.size()]) << "byte " << i;
    }
  }
}

TEST_F(SdlOutputTest, DiskFileHoldsTheRingScaledByTheVolume) {
  const fs::path file = UseDisk();
  SdlBuffer buffer;
  ASSERT_EQ(buffer.Open(4096), DS_OK);
  const auto ring = Pattern(4096);
  buffer.Write(ring);
  ASSERT_EQ(buffer->SetVolume(-600), DS_OK);
  const auto played = PlayLaps(buffer, file, ring, 2);
  ASSERT_GE(played.size(), ring.size() * 2);
  const double factor = std::pow(10.0, -0.3);
  for (size_t i = 0; i < ring.size() * 2; i += 2) {
    int16_t in;
    int16_t out;
    std::memcpy(&in, ring.data() + i % ring.size(), 2);
    std::memcpy(&out, played.data() + i, 2);
    ASSERT_NEAR(out, in * factor, 1.0) << "sample " << i / 2;
  }
}

TEST_F(SdlOutputTest, DummyDevicePlaysAtItsByteRateWithAMonotonicCursor) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SdlBuffer buffer;
  const DWORD size = 192000;
  ASSERT_EQ(buffer.Open(size), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  DWORD previous = 0;
  uint64_t played = 0;
  const auto start = steady_clock::now();
  while (steady_clock::now() - start < milliseconds(2000)) {
    std::this_thread::sleep_for(milliseconds(3));
    DWORD cursor = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&cursor, nullptr), DS_OK);
    ASSERT_LT(cursor, size);
    const DWORD step = (cursor + size - previous) % size;
    ASSERT_LT(step, size / 2) << "the cursor went back from " << previous << " to " << cursor;
    played += step;
    previous = cursor;
  }
  const double seconds = std::chrono::duration<double>(steady_clock::now() - start).count();
  EXPECT_NEAR(static_cast<double>(played), seconds * 192000, seconds * 192000 * 0.2);
  EXPECT_EQ(buffer->Stop(), DS_OK);
}

TEST_F(SdlOutputTest, UnknownDriverFailsToOpen) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  IDirectSound8* sound = nullptr;
  EXPECT_EQ(DirectSoundCreate8(nullptr, &sound, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(sound, nullptr);
}

size_t ThreadCount() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

TEST_F(SdlOutputTest, OpenAndCloseCyclesLeaveNoThreadBehind) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto cycle = [] {
    SdlBuffer buffer;
    ASSERT_EQ(buffer.Open(19200), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(milliseconds(30));
    ASSERT_EQ(buffer->Stop(), DS_OK);
  };
  // The first cycle may start threads of the process's own runtime (a
  // sanitizer's, for one) that stay for good.
  cycle();
  const size_t before = ThreadCount();
  for (int i = 0; i < 4; ++i) cycle();
  EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
