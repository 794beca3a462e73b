#include "dshow/pos_pass_thru.h"

#include <cmath>

#include "dshow/ref_time.h"

namespace {

LONGLONG SecondsToUnits(REFTIME seconds) { return static_cast<LONGLONG>(std::llround(seconds * UNITS)); }
REFTIME UnitsToSeconds(LONGLONG units) { return static_cast<REFTIME>(units) / UNITS; }

}  // namespace

// ----------------------------------------------------------- CMediaPosition

HRESULT CMediaPosition::get_Duration(REFTIME* length) {
  if (length == nullptr) return E_POINTER;
  LONGLONG duration;
  HRESULT hr = Seeking()->GetDuration(&duration);
  if (SUCCEEDED(hr)) *length = UnitsToSeconds(duration);
  return hr;
}

HRESULT CMediaPosition::put_CurrentPosition(REFTIME time) {
  LONGLONG position = SecondsToUnits(time);
  return Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

HRESULT CMediaPosition::get_CurrentPosition(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG position;
  HRESULT hr = Seeking()->GetCurrentPosition(&position);
  if (SUCCEEDED(hr)) *time = UnitsToSeconds(position);
  return hr;
}

HRESULT CMediaPosition::get_StopTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG stop;
  HRESULT hr = Seeking()->GetStopPosition(&stop);
  if (SUCCEEDED(hr)) *time = UnitsToSeconds(stop);
  return hr;
}

HRESULT CMediaPosition::put_StopTime(REFTIME time) {
  LONGLONG stop = SecondsToUnits(time);
  return Seeking()->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning);
}

HRESULT CMediaPosition::get_PrerollTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG preroll;
  HRESULT hr = Seeking()->GetPreroll(&preroll);
  if (SUCCEEDED(hr)) *time = UnitsToSeconds(preroll);
  return hr;
}

HRESULT CMediaPosition::put_PrerollTime(REFTIME) { return E_NOTIMPL; }
HRESULT CMediaPosition::put_Rate(double rate) { return Seeking()->SetRate(rate); }
HRESULT CMediaPosition::get_Rate(double* rate) { return Seeking()->GetRate(rate); }

HRESULT CMediaPosition::CanSeekForward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  DWORD caps = AM_SEEKING_CanSeekForwards;
  *can = Seeking()->CheckCapabilities(&caps) == S_OK ? OATRUE : OAFALSE;
  return S_OK;
}

HRESULT CMediaPosition::CanSeekBackward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  DWORD caps = AM_SEEKING_CanSeekBackwards;
  *can = Seeking()->CheckCapabilities(&caps) == S_OK ? OATRUE : OAFALSE;
  return S_OK;
}

// ------------------------------------------------------------- CPosPassThru

CPosPassThru::CPosPassThru(const char* name, IUnknown* outer, HRESULT* hr, IPin* pin)
    : CUnknown(name, outer), m_pPin(pin) {
  if (pin == nullptr && hr != nullptr) *hr = E_POINTER;
}

HRESULT CPosPassThru::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
  if (iid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

IMediaSeeking* CPosPassThru::PeerSeeking(HRESULT* hr) {
  IPin* peer = nullptr;
  if (FAILED(m_pPin->ConnectedTo(&peer)) || peer == nullptr) {
    *hr = VFW_E_NOT_CONNECTED;
    return nullptr;
  }
  IMediaSeeking* seeking = nullptr;
  if (FAILED(peer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)))) seeking = nullptr;
  peer->Release();
  *hr = seeking != nullptr ? S_OK : E_NOTIMPL;
  return seeking;
}

// Every call goes to the peer's IMediaSeeking.
#define TLX_FORWARD_SEEKING(name, params, args)  \
  HRESULT CPosPassThru::name params {            \
    HRESULT hr;                                  \
    IMediaSeeking* seeking = PeerSeeking(&hr);   \
    if (seeking == nullptr) return hr;           \
    hr = seeking->name args;                     \
    seeking->Release();                          \
    return hr;                                   \
  }
TLX_MEDIA_SEEKING_METHODS(TLX_FORWARD_SEEKING)
#undef TLX_FORWARD_SEEKING

// ----------------------------------------------------- CRendererPosPassThru

CRendererPosPassThru::CRendererPosPassThru(const char* name, IUnknown* outer, HRESULT* hr, IPin* pin)
    : CPosPassThru(name, outer, hr, pin) {}

HRESULT CRendererPosPassThru::RegisterMediaTime(IMediaSample* sample) {
  REFERENCE_TIME start, stop;
  if (FAILED(sample->GetTime(&start, &stop))) return S_FALSE;
  return RegisterMediaTime(start, stop);
}

HRESULT CRendererPosPassThru::RegisterMediaTime(LONGLONG start, LONGLONG stop) {
  CAutoLock lock(&m_PositionLock);
  m_StartMedia = start;
  m_EndMedia = stop;
  m_bReset = false;
  return S_OK;
}

HRESULT CRendererPosPassThru::ResetMediaTime() {
  CAutoLock lock(&m_PositionLock);
  m_StartMedia = m_EndMedia = 0;
  m_bReset = true;
  return S_OK;
}

HRESULT CRendererPosPassThru::EOS() {
  // At the end the position is the end of the last sample shown.
  CAutoLock lock(&m_PositionLock);
  if (m_bReset) return S_FALSE;
  m_StartMedia = m_EndMedia;
  return S_OK;
}

HRESULT CRendererPosPassThru::GetCurrentPosition(LONGLONG* current) {
  if (current == nullptr) return E_POINTER;
  LONGLONG shown;
  {
    CAutoLock lock(&m_PositionLock);
    if (m_bReset) return CPosPassThru::GetCurrentPosition(current);
    shown = m_StartMedia;
  }
  // Sample times count from the segment start, which is the position the
  // upstream filter was last set to. Asked without the position lock, which
  // the streaming thread takes under the pins' locks.
  LONGLONG segmentStart = 0;
  LONGLONG stop;
  if (FAILED(CPosPassThru::GetPositions(&segmentStart, &stop))) segmentStart = 0;
  *current = segmentStart + shown;
  return S_OK;
}

// ----------------------------------------------------------- CSourceSeeking

CSourceSeeking::CSourceSeeking(const char* name, IUnknown* outer, HRESULT*, CCritSec* lock)
    : CUnknown(name, outer),
      m_rtDuration(MAX_TIME),
      m_rtStop(MAX_TIME),
      m_dwSeekingCaps(AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanSeekAbsolute |
                      AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration),
      m_pLock(lock) {}

HRESULT CSourceSeeking::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CSourceSeeking::GetCapabilities(DWORD* caps) {
  if (caps == nullptr) return E_POINTER;
  *caps = m_dwSeekingCaps;
  return S_OK;
}

HRESULT CSourceSeeking::CheckCapabilities(DWORD* caps) {
  if (caps == nullptr) return E_POINTER;
  DWORD asked = *caps;
  *caps &= m_dwSeekingCaps;
  if (*caps == asked) return S_OK;
  return *caps != 0 ? S_FALSE : E_FAIL;
}

HRESULT CSourceSeeking::IsFormatSupported(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CSourceSeeking::QueryPreferredFormat(GUID* format) {
  if (format == nullptr) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT CSourceSeeking::GetTimeFormat(GUID* format) { return QueryPreferredFormat(format); }

HRESULT CSourceSeeking::IsUsingTimeFormat(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CSourceSeeking::SetTimeFormat(const GUID* format) {
  if (format == nullptr) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CSourceSeeking::GetDuration(LONGLONG* duration) {
  if (duration == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  *duration = m_rtDuration;
  return S_OK;
}

HRESULT CSourceSeeking::GetStopPosition(LONGLONG* stop) {
  if (stop == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  *stop = m_rtStop;
  return S_OK;
}

HRESULT CSourceSeeking::GetCurrentPosition(LONGLONG*) {
  // The renderer knows what is shown; the source only where it started.
  return E_NOTIMPL;
}

HRESULT CSourceSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                          const GUID* sourceFormat) {
  if (target == nullptr) return E_POINTER;
  auto isMediaTime = [](const GUID* f) { return f == nullptr || *f == TIME_FORMAT_MEDIA_TIME; };
  if (!isMediaTime(targetFormat) || !isMediaTime(sourceFormat)) return E_INVALIDARG;
  *target = source;
  return S_OK;
}

HRESULT CSourceSeeking::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  DWORD currentMode = currentFlags & AM_SEEKING_PositioningBitsMask;
  DWORD stopMode = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((currentMode != AM_SEEKING_NoPositioning && current == nullptr) ||
      (stopMode != AM_SEEKING_NoPositioning && stop == nullptr)) {
    return E_POINTER;
  }
  {
    CAutoLock lock(m_pLock);
    if (currentMode == AM_SEEKING_AbsolutePositioning) {
      m_rtStart = *current;
    } else if (currentMode == AM_SEEKING_RelativePositioning) {
      m_rtStart += *current;
    } else if (currentMode != AM_SEEKING_NoPositioning) {
      return E_INVALIDARG;
    }
    if (stopMode == AM_SEEKING_AbsolutePositioning) {
      m_rtStop = *stop;
    } else if (stopMode == AM_SEEKING_RelativePositioning) {
      m_rtStop += *stop;
    } else if (stopMode == AM_SEEKING_IncrementalPositioning) {
      m_rtStop = m_rtStart + *stop;
    }
    if ((currentFlags & AM_SEEKING_ReturnTime) != 0 && current != nullptr) *current = m_rtStart;
    if ((stopFlags & AM_SEEKING_ReturnTime) != 0 && stop != nullptr) *stop = m_rtStop;
  }
  HRESULT hr = S_OK;
  if (currentMode != AM_SEEKING_NoPositioning) {
    hr = ChangeStart();
  } else if (stopMode != AM_SEEKING_NoPositioning) {
    hr = ChangeStop();
  }
  return hr;
}

HRESULT CSourceSeeking::GetPositions(LONGLONG* current, LONGLONG* stop) {
  CAutoLock lock(m_pLock);
  if (current != nullptr) *current = m_rtStart;
  if (stop != nullptr) *stop = m_rtStop;
  return S_OK;
}

HRESULT CSourceSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  CAutoLock lock(m_pLock);
  if (earliest != nullptr) *earliest = 0;
  if (latest != nullptr) *latest = m_rtDuration;
  return S_OK;
}

HRESULT CSourceSeeking::SetRate(double rate) {
  if (rate <= 0) return E_INVALIDARG;
  {
    CAutoLock lock(m_pLock);
    m_dRateSeeking = rate;
  }
  return ChangeRate();
}

HRESULT CSourceSeeking::GetRate(double* rate) {
  if (rate == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  *rate = m_dRateSeeking;
  return S_OK;
}

HRESULT CSourceSeeking::GetPreroll(LONGLONG* preroll) {
  if (preroll == nullptr) return E_POINTER;
  *preroll = 0;
  return S_OK;
}
