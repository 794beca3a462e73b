#include "dshow/internal/dsound_renderer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "dshow/base_renderer.h"
#include "dshow/basic_audio.h"
#include "dshow/reference_clock.h"
#include "dsound/dsound.h"

namespace tlx::dshow {
namespace {

// The most audio a sample may put ahead of the play cursor; Receive waits for
// the rest.
constexpr REFERENCE_TIME kMaxAhead = 500 * (UNITS / MILLISECONDS);
// The looping buffer holds one second: the queue, the bytes already handed to
// the device and room to spare.
constexpr REFERENCE_TIME kRingTime = UNITS;
// How often a waiting Receive and the service thread look at the cursor.
constexpr DWORD kPollMilliseconds = 5;
constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 96000;

// The buffer format of an accepted input type (WAVE_FORMAT_PCM, 16 bits), or
// a zero tag when the renderer cannot play the type.
WAVEFORMATEX PlayableFormat(const CMediaType& mt) {
  WAVEFORMATEX none{};
  if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx ||
      !IsFormatBlockValid(mt)) {
    return none;
  }
  WAVEFORMATEX f{};
  std::memcpy(&f, mt.pbFormat, sizeof f);
  if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    WAVEFORMATEXTENSIBLE x{};
    std::memcpy(&x, mt.pbFormat, sizeof x);
    if (x.SubFormat != KSDATAFORMAT_SUBTYPE_PCM || (f.nChannels != 1 && f.nChannels != 2 && f.nChannels != 6)) {
      return none;
    }
  } else if (f.wFormatTag != WAVE_FORMAT_PCM || (f.nChannels != 1 && f.nChannels != 2)) {
    return none;
  }
  if (f.wBitsPerSample != 16 || f.nSamplesPerSec < kMinRate || f.nSamplesPerSec > kMaxRate ||
      f.nBlockAlign != f.nChannels * 2 || f.nAvgBytesPerSec != f.nSamplesPerSec * f.nBlockAlign) {
    return none;
  }
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.cbSize = 0;
  return f;
}

REFERENCE_TIME SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() /
         100;
}

class DSoundRenderer;

class RendererClock final : public CBaseReferenceClock {
 public:
  RendererClock(DSoundRenderer* renderer, IUnknown* owner, HRESULT* hr)
      : CBaseReferenceClock("Audio Renderer clock", owner, hr), renderer_(renderer) {}
  ~RendererClock() override { StopAdviseThread(); }
  REFERENCE_TIME GetPrivateTime() override;

 private:
  DSoundRenderer* const renderer_;
};

class RendererVolume final : public CBasicAudio {
 public:
  RendererVolume(DSoundRenderer* renderer, IUnknown* owner) : CBasicAudio("Audio Renderer volume", owner), renderer_(renderer) {}
  // -10000 (silent) to 0 (unchanged) hundredths of a decibel.
  STDMETHODIMP put_Volume(long volume) override;
  STDMETHODIMP get_Volume(long* volume) override;
  // Only the centre: the output has no balance control.
  STDMETHODIMP put_Balance(long balance) override { return balance == 0 ? S_OK : E_NOTIMPL; }
  STDMETHODIMP get_Balance(long* balance) override {
    if (balance == nullptr) return E_POINTER;
    *balance = 0;
    return S_OK;
  }

 private:
  DSoundRenderer* const renderer_;
};

// Positions count bytes since the buffer opened: `played_` is what the play
// cursor has passed, `written_` the end of what the stream put in the ring.
// Bytes the cursor has passed are cleared behind it, so the ring plays
// silence wherever nothing new was written.
class DSoundRenderer final : public CBaseRenderer {
 public:
  DSoundRenderer(IUnknown* outer, HRESULT* hr) : CBaseRenderer(CLSID_DSoundRender, "Audio Renderer", outer, hr) {
    clock_ = new RendererClock(this, GetOwner(), hr);
    volume_ = new RendererVolume(this, GetOwner());
  }

  ~DSoundRenderer() override {
    // The clock's advise thread reads the renderer: it goes first.
    delete clock_;
    delete volume_;
    StopService();
    CloseSound();
  }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IReferenceClock) return clock_->NonDelegatingQueryInterface(iid, object);
    if (iid == IID_IBasicAudio) return volume_->NonDelegatingQueryInterface(iid, object);
    return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT CheckMediaType(const CMediaType* mt) override {
    if (mt == nullptr) return E_POINTER;
    return PlayableFormat(*mt).wFormatTag != 0 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT SetMediaType(const CMediaType* mt) override {
    CAutoLock sound(&soundLock_);
    format_ = PlayableFormat(*mt);
    return S_OK;
  }

  // Not used: Receive writes every sample itself.
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }

  // The buffer is opened when the filter leaves Stopped and closed when it
  // stops; it plays only while running.
  STDMETHODIMP Pause() override {
    CAutoLock lock(&m_InterfaceLock);
    const FILTER_STATE old = m_State;
    if (old == State_Stopped && InputPin()->IsConnected()) {
      const HRESULT hr = OpenSound();
      if (FAILED(hr)) return hr;
      StartService();
    }
    const HRESULT hr = CBaseRenderer::Pause();
    if (old == State_Running) SetPlaying(false, 0);
    return hr;
  }

  STDMETHODIMP Run(REFERENCE_TIME start) override {
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Running) return S_OK;
    // Leaves Stopped through Pause, which opens the buffer.
    const HRESULT hr = CBaseRenderer::Run(start);
    if (FAILED(hr)) return hr;
    SetPlaying(true, start);
    return hr;
  }

  STDMETHODIMP Stop() override {
    CAutoLock lock(&m_InterfaceLock);
    StopService();
    // Breaks off a Receive waiting for room and waits for it to return.
    const HRESULT hr = CBaseRenderer::Stop();
    CloseSound();
    return hr;
  }

  HRESULT Receive(IMediaSample* sample) override;

  HRESULT EndOfStream() override {
    if (m_State == State_Stopped) return S_OK;
    m_bEOS = TRUE;
    Ready();
    return SendEndOfStream();
  }

  // EC_COMPLETE waits until the queue has played out while running.
  HRESULT SendEndOfStream() override {
    {
      CAutoLock sound(&soundLock_);
      UpdateCursor();
      if (!playing_ || played_ < written_) return S_OK;
    }
    return CBaseRenderer::SendEndOfStream();
  }

  // A flush discards what is queued; the next sample starts the timeline
  // afresh where the device stands.
  HRESULT BeginFlush() override {
    const HRESULT hr = CBaseRenderer::BeginFlush();
    CAutoLock sound(&soundLock_);
    Discard();
    return hr;
  }

  REFERENCE_TIME ClockTime();
  HRESULT PutVolume(long volume);
  long GetVolume() {
    CAutoLock sound(&soundLock_);
    return volume_level_;
  }

 private:
  HRESULT OpenSound();
  void CloseSound();
  void SetPlaying(bool playing, REFERENCE_TIME start);
  // Reads the cursor, counts what it passed and clears those bytes.
  void UpdateCursor();
  // The first position the stream may still write: past the bytes the
  // device has already taken.
  ULONGLONG WritableFrom();
  void Discard();
  // Puts `size` bytes (silence for null data) at written_, waiting while the
  // queue is full. FALSE when a stop or flush broke off the wait.
  bool Append(const BYTE* data, ULONGLONG size);
  void WriteRing(ULONGLONG position, const BYTE* data, DWORD size);
  // Whole frames, rounded to nearest; 0 for a negative duration. Computed
  // in two parts, so no time a sample can carry overflows.
  ULONGLONG BytesFor(REFERENCE_TIME duration) const {
    if (duration <= 0) return 0;
    const auto rate = static_cast<LONGLONG>(format_.nSamplesPerSec);
    const LONGLONG frames = duration / UNITS * rate + (duration % UNITS * rate + UNITS / 2) / UNITS;
    return static_cast<ULONGLONG>(frames) * format_.nBlockAlign;
  }
  REFERENCE_TIME TimeFor(ULONGLONG bytes) const {
    return static_cast<REFERENCE_TIME>(bytes / format_.nBlockAlign) * UNITS / format_.nSamplesPerSec;
  }

  void StartService();
  void StopService();

  RendererClock* clock_ = nullptr;
  RendererVolume* volume_ = nullptr;

  // Locks in this order: m_InterfaceLock, m_RendererLock, soundLock_.
  CCritSec soundLock_;
  WAVEFORMATEX format_{};
  IDirectSound8* sound_ = nullptr;
  IDirectSoundBuffer* buffer_ = nullptr;
  DWORD ringBytes_ = 0;
  DWORD cursor_ = 0;  // the play cursor at the last look
  ULONGLONG played_ = 0;
  ULONGLONG written_ = 0;
  ULONGLONG cleared_ = 0;  // bytes behind the cursor already silenced
  bool playing_ = false;
  REFERENCE_TIME runStart_ = 0;
  // The stream time of the byte at anchorBytes_, fixed by the first sample
  // after the buffer opened or a flush.
  bool anchored_ = false;
  REFERENCE_TIME anchorTime_ = 0;
  ULONGLONG anchorBytes_ = 0;
  long volume_level_ = 0;
  REFERENCE_TIME lastClock_ = 0;
  REFERENCE_TIME lastClockAt_ = SteadyNow();

  // Clears played bytes and sends EC_COMPLETE while the filter is active.
  std::thread service_;
  CAMEvent stopService_{TRUE};
};

REFERENCE_TIME RendererClock::GetPrivateTime() { return renderer_->ClockTime(); }

HRESULT RendererVolume::put_Volume(long volume) { return renderer_->PutVolume(volume); }

HRESULT RendererVolume::get_Volume(long* volume) {
  if (volume == nullptr) return E_POINTER;
  *volume = renderer_->GetVolume();
  return S_OK;
}

HRESULT DSoundRenderer::OpenSound() {
  CAutoLock sound(&soundLock_);
  if (buffer_ != nullptr) return S_OK;
  if (format_.nBlockAlign == 0) return VFW_E_NOT_CONNECTED;
  HRESULT hr = DirectSoundCreate8(nullptr, &sound_, nullptr);
  if (FAILED(hr)) return hr;
  ringBytes_ = static_cast<DWORD>(BytesFor(kRingTime));
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
  desc.dwBufferBytes = ringBytes_;
  desc.lpwfxFormat = &format_;
  hr = sound_->CreateSoundBuffer(&desc, &buffer_, nullptr);
  if (SUCCEEDED(hr)) hr = buffer_->SetVolume(volume_level_);
  if (FAILED(hr)) {
    CloseSound();
    return hr;
  }
  buffer_->GetCurrentPosition(&cursor_, nullptr);
  played_ = written_ = cleared_ = 0;
  anchored_ = false;
  return S_OK;
}

void DSoundRenderer::CloseSound() {
  CAutoLock sound(&soundLock_);
  if (buffer_ != nullptr) buffer_->Release();
  if (sound_ != nullptr) sound_->Release();
  buffer_ = nullptr;
  sound_ = nullptr;
  playing_ = false;
  anchored_ = false;
}

void DSoundRenderer::SetPlaying(bool playing, REFERENCE_TIME start) {
  CAutoLock sound(&soundLock_);
  if (buffer_ == nullptr) return;
  UpdateCursor();
  playing_ = playing;
  runStart_ = start;
  if (playing) {
    buffer_->Play(0, 0, DSBPLAY_LOOPING);
  } else {
    buffer_->Stop();
  }
}

void DSoundRenderer::UpdateCursor() {
  if (buffer_ == nullptr) return;
  DWORD cursor = 0;
  if (FAILED(buffer_->GetCurrentPosition(&cursor, nullptr)) || cursor >= ringBytes_) return;
  played_ += (cursor + ringBytes_ - cursor_) % ringBytes_;
  cursor_ = cursor;
  // Silence over what has played, so that a lap without new audio is quiet.
  const ULONGLONG behind = std::min<ULONGLONG>(played_ - cleared_, ringBytes_);
  if (behind != 0) WriteRing(played_ - behind, nullptr, static_cast<DWORD>(behind));
  cleared_ = played_;
}

ULONGLONG DSoundRenderer::WritableFrom() {
  DWORD play = 0;
  DWORD write = 0;
  if (buffer_ == nullptr || FAILED(buffer_->GetCurrentPosition(&play, &write))) return played_;
  return played_ + (write + ringBytes_ - play) % ringBytes_;
}

void DSoundRenderer::Discard() {
  if (buffer_ == nullptr) return;
  UpdateCursor();
  const ULONGLONG from = WritableFrom();
  if (written_ > from) {
    const ULONGLONG queued = std::min<ULONGLONG>(written_ - from, ringBytes_);
    WriteRing(from, nullptr, static_cast<DWORD>(queued));
  }
  written_ = from;
  anchored_ = false;
}

void DSoundRenderer::WriteRing(ULONGLONG position, const BYTE* data, DWORD size) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  if (FAILED(buffer_->Lock(static_cast<DWORD>(position % ringBytes_), size, &first, &firstBytes, &second,
                           &secondBytes, 0))) {
    return;
  }
  if (data != nullptr) {
    std::memcpy(first, data, firstBytes);
    if (second != nullptr) std::memcpy(second, data + firstBytes, secondBytes);
  } else {
    std::memset(first, 0, firstBytes);
    if (second != nullptr) std::memset(second, 0, secondBytes);
  }
  buffer_->Unlock(first, firstBytes, second, secondBytes);
}

bool DSoundRenderer::Append(const BYTE* data, ULONGLONG size) {
  const ULONGLONG limit = BytesFor(kMaxAhead);
  while (size != 0) {
    ULONGLONG room = 0;
    {
      CAutoLock sound(&soundLock_);
      if (buffer_ == nullptr) return false;
      UpdateCursor();
      const ULONGLONG queued = written_ - played_;
      room = queued < limit ? limit - queued : 0;
      room -= room % format_.nBlockAlign;
      if (room != 0) {
        const auto run = static_cast<DWORD>(std::min(room, size));
        WriteRing(written_, data, run);
        written_ += run;
        size -= run;
        if (data != nullptr) data += run;
        continue;
      }
    }
    // A full queue completes a pause as well as a written sample does.
    if (m_State == State_Paused) Ready();
    if (WaitForSingleObject(m_ThreadSignal, kPollMilliseconds) == WAIT_OBJECT_0) return false;
  }
  return true;
}

HRESULT DSoundRenderer::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  {
    CAutoLock lock(&m_InterfaceLock);
    const HRESULT hr = InputPin()->CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (m_bEOS) return VFW_E_SAMPLE_REJECTED_EOS;
    m_bInReceive = TRUE;
  }
  BYTE* data = nullptr;
  const LONG length = sample->GetActualDataLength();
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
  bool written = true;
  if (SUCCEEDED(sample->GetPointer(&data)) && length > 0) {
    ULONGLONG size = static_cast<ULONGLONG>(length);
    ULONGLONG gap = 0;
    {
      CAutoLock sound(&soundLock_);
      if (buffer_ == nullptr) {
        m_bInReceive = FALSE;
        return VFW_E_WRONG_STATE;
      }
      size -= size % format_.nBlockAlign;
      UpdateCursor();
      // Nothing goes where the device has already been.
      const ULONGLONG from = std::max(written_, WritableFrom());
      written_ = from;
      if (!anchored_) {
        anchored_ = true;
        anchorTime_ = timed ? start : 0;
        anchorBytes_ = from;
      }
      if (timed) {
        // Off by up to a frame counts as in place; a start too far before
        // the anchor to subtract counts as late.
        REFERENCE_TIME offset = 0;
        const bool before = start < anchorTime_ || __builtin_sub_overflow(start, anchorTime_, &offset);
        const ULONGLONG at = before ? 0 : anchorBytes_ + BytesFor(offset);
        if (at > from + format_.nBlockAlign) {
          gap = at - from;
        } else if (at + format_.nBlockAlign < from) {
          const ULONGLONG late = std::min(from - at, size);
          data += late;
          size -= late;
        }
      }
    }
    written = Append(nullptr, gap) && Append(data, size);
  }
  m_bInReceive = FALSE;
  if (written && m_State == State_Paused) Ready();
  return S_OK;
}

REFERENCE_TIME DSoundRenderer::ClockTime() {
  CAutoLock sound(&soundLock_);
  UpdateCursor();
  const REFERENCE_TIME now = SteadyNow();
  REFERENCE_TIME t;
  if (playing_ && anchored_ && played_ >= anchorBytes_ && played_ < written_) {
    t = runStart_ + anchorTime_ + TimeFor(played_ - anchorBytes_);
  } else {
    // Nothing of the stream under the cursor: the system's pace.
    t = lastClock_ + (now - lastClockAt_);
  }
  lastClockAt_ = now;
  lastClock_ = std::max(lastClock_, t);
  return lastClock_;
}

HRESULT DSoundRenderer::PutVolume(long volume) {
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return E_INVALIDARG;
  CAutoLock sound(&soundLock_);
  volume_level_ = volume;
  if (buffer_ != nullptr) buffer_->SetVolume(volume);
  return S_OK;
}

void DSoundRenderer::StartService() {
  if (service_.joinable()) return;
  stopService_.Reset();
  service_ = std::thread([this] {
    while (!stopService_.Wait(kPollMilliseconds)) {
      {
        CAutoLock sound(&soundLock_);
        UpdateCursor();
      }
      if (m_bEOS) SendEndOfStream();
    }
  });
}

void DSoundRenderer::StopService() {
  if (!service_.joinable()) return;
  stopService_.Set();
  service_.join();
}

}  // namespace

CUnknown* CreateDSoundRenderer(IUnknown* outer, HRESULT* hr) {
  auto* renderer = new DSoundRenderer(outer, hr);
  if (FAILED(*hr)) {
    delete renderer;
    return nullptr;
  }
  return renderer;
}

}  // namespace tlx::dshow
