// The live class's operations: its life with the link library, connecting
// to the base station and playing, stopping, placing the video and the
// tuner's channel selection.
#include <new>
#include <utility>

#include "com/com_ptr.h"
#include "common/tlx_pc_cmn_region.h"
#include "common/tlx_pc_cmn_system.h"
#include "engine/engine_ini.h"
#include "engine/filter_tables.h"
#include "engine/graph_event_thread.h"
#include "engine/placement.h"
#include "engine/ravix_event_context.h"
#include "engine/tlx_pc_stm_ravix_if.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "link/tlx_bcf_api.h"
#include "win32/text.h"

using tlx::com::ComPtr;

namespace {

// The state-change requests of the stream session.
constexpr int kStateIdle = 0;
constexpr int kStateStarting = 1;
constexpr int kStateStreaming = 2;
constexpr int kStateStopping = 3;

// The band as the link library takes it: 2 -> 1, 3 -> 2, 0 and 1 -> 0.
int SentBand(int band) {
  switch (band) {
    case 2: return 1;
    case 3: return 2;
    default: return 0;
  }
}

}  // namespace

CTlxPcStmRavixIf* CTlxPcStmRavixIf::pCreate(const WCHAR* unused) {
  CTlxPcStmRavixIf* object = new (std::nothrow) CTlxPcStmRavixIf();
  if (object == nullptr) return nullptr;
  if (!object->bInitializeTlxBcf(unused)) {
    delete object;
    return nullptr;
  }
  return object;
}

CTlxPcStmRavixIf::CTlxPcStmRavixIf() : CTlxPcStmModeIf(kTlxPcStmClassRavix), m_nEngineCodec(tlx::engine::kEngineCodecMask) {}

CTlxPcStmRavixIf::~CTlxPcStmRavixIf() {
  {
    std::lock_guard<std::mutex> operation(m_operationLock);
    vDetachCallbacks();
    vEndThread();
    CTlxPcStmRavixIf::vCleanup();
  }
  if (m_bTlxInitDone) TlxBcfApi().tlxCleanup();
}

int CTlxPcStmRavixIf::bInitializeTlxBcf(const WCHAR*) {
  int options[6] = {TlxPcCmnGetModelIdForMiddle(), 0, 0, 0, 0, 0};
  if (TlxBcfApi().tlxInit(options) != 0) return FALSE;
  m_bTlxInitDone = true;
  return TlxBcfApi().tlxHnetMgr_SetConnType(2) == 0 ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus,
                                  TlxPcStmRestartProc restart, CWnd* owner, void* user) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  if (CTlxPcStmModeIf::bInitialize(notify, tvStatus, restart, owner, user)) {
    {
      std::lock_guard<std::mutex> hold(m_stateLock);
      vClearStreamParameters();
      m_nScalingMode = 0;
    }
    if (bInit(1)) {
      TlxBcfApi().tlxRavixMgr_AuthInit();
      if (bInitCallback()) return TRUE;
    }
  }
  vCleanup();
  return FALSE;
}

int CTlxPcStmRavixIf::bCleanup() {
  std::lock_guard<std::mutex> operation(m_operationLock);
  return bCleanupLocked();
}

int CTlxPcStmRavixIf::bCleanupLocked() {
  vDetachCallbacks();
  const int result = vEndThread();
  vCleanup();
  return result;
}

int CTlxPcStmRavixIf::vEndThread() {
  const int result = bEndGraphEventThread(m_pThread, 355, 364);
  // A detached thread still finishing an event no longer reaches this object.
  if (m_pEventContext) m_pEventContext->Detach();
  m_pEventContext.reset();
  return result;
}

int CTlxPcStmRavixIf::bSetBitrate(int code, int* out) {
  if (TlxBcfApi().tlxRavixMgr_SetBitrate(code, out) != 0) {
    vSetErrInfo(390, 14);
    return FALSE;
  }
  return TRUE;
}

void CTlxPcStmRavixIf::vSetMultiSound() { TlxBcfApi().tlxTvMgr_ChangeAudioBli(); }

int CTlxPcStmRavixIf::bRunMovie(int colourSystem, int code, int autoBitrate, int& autoAvailable, int& avcAvailable,
                                int audioBitrate, int audioSampleRate, int width, int height, int frameRate,
                                int useAvc) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_nColorSystem = colourSystem;
    m_nBitrateCode = code;
    m_nAutoBitrate = autoBitrate;
    m_nAudioBitrate = audioBitrate;
    m_nAudioSampleRate = audioSampleRate;
    m_nVideoWidth = width;
    m_nVideoHeight = height;
    m_nFrameRate = (frameRate == 5 || frameRate == 15 || frameRate == 30) ? frameRate : 0;
    m_nLastSource = -1;
    m_nLastBand = -1;
    m_nLastChannel = -1;
    m_bAvcAllowed = useAvc;
  }
  m_nChangeStateError = 0;
  m_bConnectRequest = TRUE;

  if (!bCleanupLocked()) return FALSE;
  TlxBcfApi().tlxRavixMgr_AuthInit();
  if (!bSetBitrate(code, nullptr)) return FALSE;
  vNotifySuccess(0);

  m_bMiddleConnecting = TRUE;
  const int started = TlxBcfApi().tlxRavixMgr_ChangeState(kStateStarting);
  m_bMiddleConnecting = FALSE;
  if (started != 0) {
    m_nChangeStateError = started;
    vSetStatusForMiddle(kStateIdle);
    vSetErrInfo(454, 4);
    bResetLocked(1);
    return FALSE;
  }

  autoAvailable = bIsAutoBitrateAvail();
  const int baseCodec = nGetBaseCodec();
  const int scalingMode = nGetBaseScalingMode();
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    if (baseCodec != 0) m_nBaseCodec = baseCodec;
    avcAvailable = (m_nBaseCodec & eCodecAvc) != 0 ? TRUE : FALSE;
    if (!avcAvailable) m_bAvcAllowed = FALSE;
    if (!avcAvailable && m_nBitrateCode % 10 == 7) {
      m_nAutoBitrate = TRUE;
      m_nBitrateCode = 507;
      vClearStreamParameters();
    }
    if (!m_bAvcAllowed && m_nAutoBitrate != 0 && m_nBitrateCode % 10 != 7) m_nVideoWidth = 0;
    m_nScalingMode = scalingMode;
  }

  if (!bResetLocked(autoAvailable)) {
    vSetStatusForMiddle(kStateIdle);
    bCleanupLocked();
    return FALSE;
  }
  if (!m_bConnectRequest) {
    vSetStatusForMiddle(kStateIdle);
    return FALSE;
  }

  ComPtr<ITlxStreamSourceControl> source = ComPtr<ITlxStreamSourceControl>::Attach(pAddRefUnderLock(m_pStreamControl));
  std::string address;
  int port = 0;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    address = tlx::win32::Utf16ToUtf8(std::u16string_view(m_strServerAddress.GetString()));
    port = m_nServerPort;
  }
  const bool served = source && SUCCEEDED(source->SetServer(address.c_str(), static_cast<uint16_t>(port)));
  if (served && CTlxPcStmModeIf::bRunMovie()) {
    vSetStatusForMiddle(kStateStreaming);
    return TRUE;
  }
  vSetStatusForMiddle(kStateIdle);
  return FALSE;
}

int CTlxPcStmRavixIf::bStopMovie() {
  std::lock_guard<std::mutex> operation(m_operationLock);
  const HRESULT hideFailure = hHideVideoAndInvalidateOwner();
  const int stopping = TlxBcfApi().tlxRavixMgr_ChangeState(kStateStopping);
  if (stopping != 0) m_nChangeStateError = stopping;
  const int stopped = CTlxPcStmModeIf::bStopMovie();
  const int idle = TlxBcfApi().tlxRavixMgr_ChangeState(kStateIdle);
  if (idle != 0) m_nChangeStateError = idle;
  if (FAILED(hideFailure)) {
    // The hide's failure is what the caller hears of, after the stop.
    vSetFailure(533, 12, hideFailure);
    return FALSE;
  }
  return stopped;
}

int CTlxPcStmRavixIf::bSetMoviePosition(int x, int y, int width, int height) {
  int colourSystem = 1;
  int scalingMode = 0;
  bool hasWindow = false;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_nMovieX = x;
    m_nMovieY = y;
    m_nMovieWidth = width;
    m_nMovieHeight = height;
    colourSystem = m_nColorSystem;
    scalingMode = m_nScalingMode;
    hasWindow = m_pVideoWindow != nullptr;
  }
  // Without a video window the area waits for the next graph.
  if (!hasWindow) return TRUE;
  using namespace tlx::engine;
  const PlacementRecord record = ReadMoviePlacement(DefaultPlacement(colourSystem, GetTVTunerEnabled()));
  ComPtr<IBasicVideo> video = ComPtr<IBasicVideo>::Attach(pAddRefUnderLock(m_pBasicVideo));
  long videoWidth = 0;
  long videoHeight = 0;
  if (!record.scaling_source) {
    const PlacementRect window = WindowRect(record, x, y, width, height);
    if (!CTlxPcStmModeIf::bSetMoviePosition(window.x, window.y, window.width, window.height)) return FALSE;
    if ((scalingMode == 0 || scalingMode == 1) && video) {
      const PlacementRect destination = DestinationRect(window);
      video->SetDestinationPosition(destination.x, destination.y, destination.width, destination.height);
      if (bGetVideoSize(videoWidth, videoHeight)) {
        const PlacementRect source = ModeSourceRect(scalingMode, videoWidth, videoHeight);
        video->SetSourcePosition(source.x, source.y, source.width, source.height);
      }
    }
    return TRUE;
  }
  if (!bGetVideoSize(videoWidth, videoHeight)) return FALSE;
  if (!CTlxPcStmModeIf::bSetMoviePosition(x, y, width, height)) return FALSE;
  const PlacementRect source = ScaledSourceRect(record, x, y, videoWidth, videoHeight);
  HRESULT hr = video ? video->SetSourcePosition(source.x, source.y, source.width, source.height) : E_NOINTERFACE;
  if (bCheckFailed(hr)) {
    vSetErrInfo(621, 13);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmRavixIf::bSetSelectChannel(int source, int band, int channel, int flush) {
  if (source < 0 || source > 2 || band < 0 || band > 3) return FALSE;
  const int sentBand = SentBand(band);
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    if (m_nLastSource == source && m_nLastBand == sentBand && m_nLastChannel == channel) return TRUE;
  }
  if (TlxBcfApi().tlxTvMgr_SelectEx(source, sentBand, channel, 0, 0) != 0) return FALSE;
  if (flush) bSendFlashBuffers();
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_nLastSource = source;
  m_nLastBand = sentBand;
  m_nLastChannel = channel;
  return TRUE;
}

int CTlxPcStmRavixIf::bGetVideoIn(int& input) {
  input = TlxBcfApi().tlxTvMgr_GetVideoIn();
  return input == -1 ? FALSE : TRUE;
}

int CTlxPcStmRavixIf::bSetPictureCtrl(int brightness, int contrast, int saturation, int hue, int sharpness) {
  return TlxBcfApi().tlxTvMgr_SetPictureCtrl(brightness, contrast, saturation, hue, sharpness) == 0 ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::bGetActualBitrate(DWORD& video, DWORD& audio) {
  ComPtr<ITlxStreamSourceControl> source = ComPtr<ITlxStreamSourceControl>::Attach(pAddRefUnderLock(m_pStreamControl));
  if (source) source->GetActualBitrate(&video, &audio);
  return TRUE;
}

int CTlxPcStmRavixIf::bSetMovieFile(CString) { return TRUE; }

void CTlxPcStmRavixIf::vAbortConnectionAsync() {
  if (bIsMiddleConnecting()) {
    bDisconnectAsync();
  } else {
    m_bConnectRequest = FALSE;
  }
}

void CTlxPcStmRavixIf::vAbortConnection() {
  ComPtr<ITlxStreamSourceControl> source = ComPtr<ITlxStreamSourceControl>::Attach(pAddRefUnderLock(m_pStreamControl));
  if (source) source->Abort();
}

int CTlxPcStmRavixIf::GetChangeStateError() { return m_nChangeStateError; }

int CTlxPcStmRavixIf::bSendFlashBuffers() {
  if (tlx::engine::ReadEngineIniInt(u"Pelmo", u"FlashBuffer", 1) == 0) return TRUE;
  ComPtr<IRavixAudioRendererControl> control =
      ComPtr<IRavixAudioRendererControl>::Attach(pAddRefUnderLock(m_pRendererControl));
  if (control) control->FlashBuffers(0);
  return TRUE;
}

void CTlxPcStmRavixIf::vSetBaseCodecType(eCodec mask) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_nBaseCodec = mask;
}

int CTlxPcStmRavixIf::bSetupTVParams(int kind, const WCHAR* text) {
  const std::string narrow = tlx::win32::Utf16ToUtf8(text == nullptr ? std::u16string_view() : std::u16string_view(text));
  return TlxBcfApi().tlxTvMgr_SetTVParams(kind, narrow.c_str()) == 0 ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::bIsMiddleConnecting() const { return m_bMiddleConnecting; }

int CTlxPcStmRavixIf::vSetStatusForMiddle(int state) {
  const int result = TlxBcfApi().tlxRavixMgr_ChangeState(state);
  if (result == 0) return TRUE;
  m_nChangeStateError = result;
  return FALSE;
}

int CTlxPcStmRavixIf::bDisconnectAsync() {
  const int result = TlxBcfApi().tlxRavixMgr_ChangeState(kStateStopping);
  if (result == 0) return FALSE;
  m_nChangeStateError = result;
  return TRUE;
}

int CTlxPcStmRavixIf::bIsAutoBitrateAvail() {
  TLX_BASE_INFO info{};
  if (TlxBcfApi().tlxRavixMgr_GetBaseInfo(&info) != 0) return TRUE;
  return info.type3 != 0 ? TRUE : FALSE;
}

int CTlxPcStmRavixIf::nGetBaseCodec() {
  TLX_BASE_INFO info{};
  if (TlxBcfApi().tlxRavixMgr_GetBaseInfo(&info) != 0) return 0;
  return info.codec & 7;
}

int CTlxPcStmRavixIf::nGetBaseScalingMode() {
  TLX_BASE_INFO info{};
  if (TlxBcfApi().tlxRavixMgr_GetBaseInfo(&info) != 0) return 0;
  return info.scaling;
}

void CTlxPcStmRavixIf::vCleanup() {
  IUnknown* privates[] = {nullptr, nullptr, nullptr, nullptr};
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    privates[0] = std::exchange(m_pStreamControl, nullptr);
    privates[1] = std::exchange(m_pAudioKey, nullptr);
    privates[2] = std::exchange(m_pVideoKey, nullptr);
    privates[3] = std::exchange(m_pRendererControl, nullptr);
  }
  for (IUnknown* p : privates) {
    if (p != nullptr) p->Release();
  }
  CTlxPcStmModeIf::vCleanup();
  for (CTlxPcStmComLoader** loader : {&m_pSourceLoader, &m_pDecryptorALoader, &m_pDecryptorBLoader, &m_pADecLoader,
                                      &m_pVDecLoader, &m_pAudioRendererLoader, &m_pPostFilterLoader}) {
    delete std::exchange(*loader, nullptr);
  }
}

HRESULT CTlxPcStmRavixIf::hGetInterface() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  auto keep = [this, &graph](REFIID iid, auto*& member) { return hKeepGraphInterface(graph.Get(), iid, member); };
  HRESULT hr = keep(IID_IMediaControl, m_pMediaControl);
  if (SUCCEEDED(hr)) hr = keep(IID_IBasicAudio, m_pBasicAudio);
  if (SUCCEEDED(hr)) hr = keep(IID_IMediaEvent, m_pMediaEvent);
  if (FAILED(hr)) return hr;
  ComPtr<IMediaEvent> events = ComPtr<IMediaEvent>::Attach(pAddRefUnderLock(m_pMediaEvent));
  hr = events->CancelDefaultHandling(EC_DISPLAY_CHANGED);
  if (SUCCEEDED(hr)) hr = events->CancelDefaultHandling(EC_NEED_RESTART);
  return hr;
}
