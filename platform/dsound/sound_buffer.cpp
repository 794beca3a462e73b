#include "dsound/internal/sound_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "win32/synch.h"

namespace tlx::dsound {

double VolumeFactor(LONG volume) {
  if (volume <= DSBVOLUME_MIN) return 0.0;
  if (volume >= DSBVOLUME_MAX) return 1.0;
  return std::pow(10.0, volume / 2000.0);
}

void ApplyVolume(BYTE* bytes, DWORD size, double factor) {
  for (DWORD i = 0; i + 1 < size; i += 2) {
    int16_t sample;
    std::memcpy(&sample, bytes + i, 2);
    const long scaled = std::lround(sample * factor);
    sample = static_cast<int16_t>(std::clamp<long>(scaled, -32768, 32767));
    std::memcpy(bytes + i, &sample, 2);
  }
}

bool IsPlayableFormat(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2 || format.nChannels == 6) &&
         format.wBitsPerSample == 16 && format.nSamplesPerSec >= 100 && format.nSamplesPerSec <= 200000 &&
         format.nBlockAlign == format.nChannels * 2 &&
         format.nAvgBytesPerSec == format.nSamplesPerSec * format.nBlockAlign;
}

SoundBuffer::SoundBuffer() : primary_(true) {}

SoundBuffer::SoundBuffer(std::shared_ptr<Backend> backend, const WAVEFORMATEX& format, DWORD size)
    : primary_(false), backend_(std::move(backend)), format_(format), size_(size), staging_(size), ring_(size) {}

SoundBuffer::~SoundBuffer() {
  // The output pulls no more once closed.
  if (output_ != nullptr) output_->Close();
}

HRESULT SoundBuffer::Open() { return backend_->Open(format_, this, &output_); }

HRESULT SoundBuffer::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirectSoundBuffer) {
    *object = static_cast<IDirectSoundBuffer*>(this);
  } else if (iid == IID_IDirectSoundNotify && !primary_) {
    *object = static_cast<IDirectSoundNotify*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG SoundBuffer::AddRef() { return ++refs_; }

ULONG SoundBuffer::Release() {
  const ULONG count = --refs_;
  if (count == 0) delete this;
  return count;
}

HRESULT SoundBuffer::GetStatus(DWORD* status) {
  if (status == nullptr) return DSERR_INVALIDPARAM;
  const bool lost = output_ != nullptr && output_->Lost();
  std::lock_guard hold(lock_);
  *status = (playing_ ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0) | (lost ? DSBSTATUS_BUFFERLOST : 0);
  return DS_OK;
}

HRESULT SoundBuffer::GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) {
  if (primary_) return DSERR_INVALIDCALL;
  const bool paced = output_->Paced();
  const auto now = std::chrono::steady_clock::now();
  DWORD play;
  DWORD write;
  {
    std::lock_guard hold(lock_);
    write = cursor_;
    play = cursor_;
    if (paced) {
      // Between two pulls the device plays the last one at its byte rate.
      const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - pullTime_).count();
      uint64_t played = elapsed <= 0 ? 0 : static_cast<uint64_t>(elapsed) * format_.nAvgBytesPerSec / 1000000000u;
      played = std::min<uint64_t>(played, pullBytes_);
      played -= played % format_.nBlockAlign;
      play = static_cast<DWORD>((pullStart_ + played) % size_);
    }
  }
  if (playCursor != nullptr) *playCursor = play;
  if (writeCursor != nullptr) *writeCursor = write;
  return DS_OK;
}

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, void** audio1, DWORD* bytes1, void** audio2, DWORD* bytes2,
                          DWORD flags) {
  if (primary_) return DSERR_INVALIDCALL;
  if (audio1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
  if (output_->Lost()) return DSERR_BUFFERLOST;
  std::lock_guard hold(lock_);
  if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) offset = cursor_;
  if ((flags & DSBLOCK_ENTIREBUFFER) != 0) bytes = size_;
  if (offset >= size_ || bytes == 0 || bytes > size_) return DSERR_INVALIDPARAM;
  const DWORD first = std::min(bytes, size_ - offset);
  DWORD second = bytes - first;
  if (audio2 == nullptr || bytes2 == nullptr) second = 0;
  std::memcpy(staging_.data() + offset, ring_.data() + offset, first);
  std::memcpy(staging_.data(), ring_.data(), second);
  *audio1 = staging_.data() + offset;
  *bytes1 = first;
  if (audio2 != nullptr) *audio2 = second != 0 ? staging_.data() : nullptr;
  if (bytes2 != nullptr) *bytes2 = second;
  return DS_OK;
}

long long SoundBuffer::StagingOffset(const void* pointer, DWORD bytes) const {
  const auto* p = static_cast<const BYTE*>(pointer);
  if (p < staging_.data() || p > staging_.data() + size_) return -1;
  const auto offset = static_cast<long long>(p - staging_.data());
  return bytes <= size_ - offset ? offset : -1;
}

HRESULT SoundBuffer::Unlock(void* audio1, DWORD bytes1, void* audio2, DWORD bytes2) {
  if (primary_) return DSERR_INVALIDCALL;
  const long long first = audio1 != nullptr ? StagingOffset(audio1, bytes1) : 0;
  const long long second = audio2 != nullptr ? StagingOffset(audio2, bytes2) : 0;
  if (audio1 == nullptr || first < 0 || second < 0) return DSERR_INVALIDPARAM;
  std::lock_guard hold(lock_);
  std::memcpy(ring_.data() + first, staging_.data() + first, bytes1);
  if (audio2 != nullptr) std::memcpy(ring_.data() + second, staging_.data() + second, bytes2);
  return DS_OK;
}

HRESULT SoundBuffer::Play(DWORD, DWORD, DWORD) {
  if (!primary_ && output_->Lost()) return DSERR_BUFFERLOST;
  {
    std::lock_guard hold(lock_);
    playing_ = true;
  }
  if (!primary_) output_->Play();
  return DS_OK;
}

HRESULT SoundBuffer::Stop() {
  {
    std::lock_guard hold(lock_);
    playing_ = false;
  }
  if (!primary_) output_->Pause();
  return DS_OK;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD position) {
  if (primary_) return DSERR_INVALIDCALL;
  if (position >= size_) return DSERR_INVALIDPARAM;
  std::lock_guard hold(lock_);
  cursor_ = position - position % format_.nBlockAlign;
  pullStart_ = cursor_;
  pullBytes_ = 0;
  return DS_OK;
}

HRESULT SoundBuffer::SetVolume(LONG volume) {
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard hold(lock_);
  volume_ = volume;
  return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LONG* volume) {
  if (volume == nullptr) return DSERR_INVALIDPARAM;
  std::lock_guard hold(lock_);
  *volume = volume_;
  return DS_OK;
}

HRESULT SoundBuffer::SetFormat(const WAVEFORMATEX* format) {
  if (!primary_) return DSERR_INVALIDCALL;
  if (format == nullptr) return DSERR_INVALIDPARAM;
  if (!IsPlayableFormat(*format)) return DSERR_BADFORMAT;
  format_ = *format;
  return DS_OK;
}

HRESULT SoundBuffer::Restore() {
  if (!primary_) output_->Restore();
  return DS_OK;
}

HRESULT SoundBuffer::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) {
  if (count != 0 && positions == nullptr) return DSERR_INVALIDPARAM;
  auto list = std::make_shared<std::vector<DSBPOSITIONNOTIFY>>();
  for (DWORD i = 0; i < count; ++i) {
    if (positions[i].dwOffset >= size_ || positions[i].hEventNotify == nullptr) return DSERR_INVALIDPARAM;
    list->push_back(positions[i]);
  }
  std::lock_guard hold(lock_);
  if (playing_) return DSERR_INVALIDCALL;
  notifications_ = std::move(list);
  return DS_OK;
}

void SoundBuffer::Pull(BYTE* out, DWORD bytes) {
  const bool paced = output_ != nullptr && output_->Paced();
  const bool lost = output_ != nullptr && output_->Lost();
  const auto now = paced ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
  DWORD start;
  LONG volume;
  std::shared_ptr<const std::vector<DSBPOSITIONNOTIFY>> notifications;
  {
    std::lock_guard hold(lock_);
    start = cursor_;
    pullStart_ = cursor_;
    pullTime_ = now;
    if (!playing_ || lost) {
      pullBytes_ = 0;
      std::memset(out, 0, bytes);
      return;
    }
    for (DWORD done = 0; done < bytes;) {
      const DWORD run = std::min(bytes - done, size_ - cursor_);
      std::memcpy(out + done, ring_.data() + cursor_, run);
      done += run;
      cursor_ = (cursor_ + run) % size_;
    }
    pullBytes_ = bytes;
    volume = volume_;
    notifications = notifications_;
  }
  if (volume != DSBVOLUME_MAX) ApplyVolume(out, bytes, VolumeFactor(volume));
  if (notifications == nullptr) return;
  // An offset is passed when it lies in (start, start + bytes] around the ring.
  for (const DSBPOSITIONNOTIFY& n : *notifications) {
    DWORD ahead = (n.dwOffset + size_ - start) % size_;
    if (ahead == 0) ahead = size_;
    if (ahead <= bytes) SetEvent(n.hEventNotify);
  }
}

}  // namespace tlx::dsound
