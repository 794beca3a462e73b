// The buffers a device makes: the primary buffer, which only takes the output
// format, and the looping secondary buffers.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "dsound/backend.h"
#include "dsound/dsound.h"

namespace tlx::dsound {

// The scale of a volume in hundredths of a decibel, as a factor; 1 at 0 and 0
// at DSBVOLUME_MIN.
double VolumeFactor(LONG volume);
// Scales 16-bit samples in place, rounding to nearest and clipping.
void ApplyVolume(BYTE* bytes, DWORD size, double factor);
// 16-bit PCM with 1, 2 or 6 channels and consistent rates.
bool IsPlayableFormat(const WAVEFORMATEX& format);

class SoundBuffer final : public IDirectSoundBuffer, public IDirectSoundNotify, private Stream {
 public:
  // The primary buffer of a device.
  SoundBuffer();
  // A secondary buffer of `size` bytes in `format`; Open connects its output.
  SoundBuffer(std::shared_ptr<Backend> backend, const WAVEFORMATEX& format, DWORD size);
  HRESULT Open();

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetStatus(DWORD* status) override;
  STDMETHODIMP GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) override;
  STDMETHODIMP Lock(DWORD offset, DWORD bytes, void** audio1, DWORD* bytes1, void** audio2, DWORD* bytes2,
                    DWORD flags) override;
  STDMETHODIMP Unlock(void* audio1, DWORD bytes1, void* audio2, DWORD bytes2) override;
  STDMETHODIMP Play(DWORD reserved, DWORD priority, DWORD flags) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP SetCurrentPosition(DWORD position) override;
  STDMETHODIMP SetVolume(LONG volume) override;
  STDMETHODIMP GetVolume(LONG* volume) override;
  STDMETHODIMP SetFormat(const WAVEFORMATEX* format) override;
  STDMETHODIMP Restore() override;

  STDMETHODIMP SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;

 private:
  ~SoundBuffer();
  void Pull(BYTE* out, DWORD bytes) override;
  // The offset of a pointer into the staging copy, or -1.
  long long StagingOffset(const void* pointer, DWORD bytes) const;

  std::atomic<ULONG> refs_{1};
  const bool primary_;
  std::shared_ptr<Backend> backend_;
  WAVEFORMATEX format_{};
  const DWORD size_ = 0;
  std::unique_ptr<Output> output_;
  // What Lock hands out; Unlock copies it into the ring. Used by the feeding
  // thread only.
  std::vector<BYTE> staging_;

  mutable std::mutex lock_;  // guards what follows; nothing calls out under it
  std::vector<BYTE> ring_;
  DWORD cursor_ = 0;  // next byte to play
  bool playing_ = false;
  LONG volume_ = 0;
  std::shared_ptr<const std::vector<DSBPOSITIONNOTIFY>> notifications_;
  // The last pull of a paced output: where it began, its size and when.
  DWORD pullStart_ = 0;
  DWORD pullBytes_ = 0;
  std::chrono::steady_clock::time_point pullTime_;
};

}  // namespace tlx::dsound
