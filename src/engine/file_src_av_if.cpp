// Local file playback: the file class's graph, its run and its events.
#include "engine/tlx_pc_stm_file_src_av_if.h"

#include <new>
#include <utility>

#include "com/com_ptr.h"
#include "dshow/errors.h"
#include "dshow/guids.h"
#include "engine/filter_tables.h"
#include "engine/graph_event_thread.h"

using tlx::com::ComPtr;
using tlx::engine::GraphEventThread;

namespace {

constexpr int kErrGraph = 24;

// The restart reason of a graph event of the file class; -1 for the others.
int RestartReasonOf(long code) {
  switch (code) {
    case EC_COMPLETE: return 3;
    case EC_NEED_RESTART: return 2;
    case EC_DISPLAY_CHANGED: return 0;
    default: return -1;
  }
}

}  // namespace

CTlxPcStmFileSrcAVIf* CTlxPcStmFileSrcAVIf::pCreate() { return new (std::nothrow) CTlxPcStmFileSrcAVIf(); }

CTlxPcStmFileSrcAVIf::CTlxPcStmFileSrcAVIf() : CTlxPcStmModeIf(kTlxPcStmClassFile) {}

CTlxPcStmFileSrcAVIf::~CTlxPcStmFileSrcAVIf() {
  std::lock_guard<std::mutex> operation(m_operationLock);
  if (m_pThread) m_pThread->End();
  m_pThread.reset();
  CTlxPcStmFileSrcAVIf::vCleanup();
}

int CTlxPcStmFileSrcAVIf::bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus,
                                      TlxPcStmRestartProc restart, CWnd* owner, void* user) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  if (!CTlxPcStmModeIf::bInitialize(notify, tvStatus, restart, owner, user)) {
    vCleanup();
    return FALSE;
  }
  std::lock_guard<std::mutex> hold(m_stateLock);
  vClearStreamParameters();
  m_strMovieFile = CString();
  return TRUE;
}

int CTlxPcStmFileSrcAVIf::bCleanup() {
  std::lock_guard<std::mutex> operation(m_operationLock);
  return bCleanupLocked();
}

int CTlxPcStmFileSrcAVIf::bCleanupLocked() {
  bStopMovieLocked();
  const int result = bEndGraphEventThread(m_pThread, 177, 186);
  vCleanup();
  return result;
}

int CTlxPcStmFileSrcAVIf::bSetBitrate(int, int*) { return TRUE; }

void CTlxPcStmFileSrcAVIf::vSetMultiSound() {}

int CTlxPcStmFileSrcAVIf::bRunMovie(int, int, int rebuild, int&, int&, int, int, int, int, int, int) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  if (rebuild != 0) {
    if (!bCleanupLocked()) return FALSE;
    if (!bResetLocked()) {
      bCleanupLocked();
      return FALSE;
    }
  }
  ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
  if (window) window->put_Visible(OATRUE);
  ComPtr<IMediaPosition> position = ComPtr<IMediaPosition>::Attach(pAddRefUnderLock(m_pMediaPosition));
  if (position) position->put_CurrentPosition(0);
  return CTlxPcStmModeIf::bRunMovie();
}

int CTlxPcStmFileSrcAVIf::bStopMovie() {
  std::lock_guard<std::mutex> operation(m_operationLock);
  return bStopMovieLocked();
}

int CTlxPcStmFileSrcAVIf::bStopMovieLocked() {
  const HRESULT hideFailure = hHideVideoAndInvalidateOwner();
  const int stopped = CTlxPcStmModeIf::bStopMovie();
  if (FAILED(hideFailure)) {
    // The hide's failure is what the caller hears of, after the stop.
    vSetFailure(244, 12, hideFailure);
    return FALSE;
  }
  return stopped;
}

int CTlxPcStmFileSrcAVIf::bSetMoviePosition(int x, int y, int width, int height) {
  bool hasWindow = false;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_nMovieX = x;
    m_nMovieY = y;
    m_nMovieWidth = width;
    m_nMovieHeight = height;
    hasWindow = m_pVideoWindow != nullptr;
  }
  return hasWindow ? CTlxPcStmModeIf::bSetMoviePosition(x, y, width, height) : TRUE;
}

int CTlxPcStmFileSrcAVIf::bSetVolume(long volume) {
  bool hasAudio = false;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    hasAudio = m_pBasicAudio != nullptr;
    if (!hasAudio) m_lVolume = volume;
  }
  return hasAudio ? CTlxPcStmModeIf::bSetVolume(volume) : TRUE;
}

int CTlxPcStmFileSrcAVIf::bSetSelectChannel(int, int, int, int) { return TRUE; }

int CTlxPcStmFileSrcAVIf::bGetVideoIn(int&) { return TRUE; }

int CTlxPcStmFileSrcAVIf::bSetPictureCtrl(int, int, int, int, int) { return TRUE; }

int CTlxPcStmFileSrcAVIf::bGetActualBitrate(DWORD&, DWORD&) { return TRUE; }

int CTlxPcStmFileSrcAVIf::bSetMovieFile(CString path) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_strMovieFile = path;
  return TRUE;
}

void CTlxPcStmFileSrcAVIf::vAbortConnectionAsync() {}

void CTlxPcStmFileSrcAVIf::vAbortConnection() {}

int CTlxPcStmFileSrcAVIf::GetChangeStateError() { return m_nChangeStateError; }

void CTlxPcStmFileSrcAVIf::vCleanup() {
  CTlxPcStmModeIf::vCleanup();
  delete std::exchange(m_pFileSrcLoader, nullptr);
  delete std::exchange(m_pADecLoader, nullptr);
  delete std::exchange(m_pVDecLoader, nullptr);
}

HRESULT CTlxPcStmFileSrcAVIf::hAddFilterCom(const CFilterParam& param, IBaseFilter** filter,
                                            CTlxPcStmComLoader** loader) {
  return hAddFilterCom(param.m_clsid, param.m_pszName, param.m_pszFileName, filter, loader);
}

HRESULT CTlxPcStmFileSrcAVIf::hAddFilterCom(const GUID& clsid, const WCHAR* name, const WCHAR* file,
                                            IBaseFilter** filter, CTlxPcStmComLoader** loader) {
  if (file != nullptr && file[0] != 0 && loader != nullptr) {
    const HRESULT hr = hAddFilterDll(clsid, file, filter, loader);
    if (SUCCEEDED(hr)) return hr;
  }
  return hAddFilter(name, filter);
}

void CTlxPcStmFileSrcAVIf::vAddFilterSteps() {
  // Each step that fails writes its line and ends the filter steps; the
  // pointers release themselves.
  ComPtr<IBaseFilter> source;
  HRESULT hr = hAddFilterCom(tlx::engine::kFileSourceRow, source.Receive(), &m_pFileSrcLoader);
  if (bCheckFailed(hr)) return vSetErrInfo(451, kErrGraph);
  ComPtr<IFileSourceFilter> fileSource = source.As<IFileSourceFilter>(IID_IFileSourceFilter);
  CString path;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    path = m_strMovieFile;
  }
  // A file that does not load skips the filter steps without a line.
  if (!fileSource || FAILED(fileSource->Load(path, nullptr))) return;

  ComPtr<IBaseFilter> videoDecoder;
  hr = hAddFilterCom(tlx::engine::kFileVideoDecoderRow, videoDecoder.Receive(), &m_pVDecLoader);
  if (bCheckFailed(hr)) return vSetErrInfo(471, kErrGraph);
  ComPtr<IAvcDecMode> mode;
  hr = videoDecoder->QueryInterface(IID_IAvcDecMode, mode.ReceiveVoid());
  if (bCheckFailed(hr)) return vSetErrInfo(480, kErrGraph);
  mode->SetMode(0);
  hr = hConnectFilters(source.Get(), videoDecoder.Get());
  if (bCheckFailed(hr)) return vSetErrInfo(492, kErrGraph);

  ComPtr<IBaseFilter> renderer;
  eVMRType kind = eAddProperVideoRenderer(*renderer.Receive(), eVMRTypeNone);
  if (kind == eVMRTypeNone) return vSetErrInfo(500, kErrGraph);
  for (;;) {
    hr = hConnectFilters(videoDecoder.Get(), renderer.Get());
    if (!bCheckFailed(hr)) break;
    // The renderer that did not connect stays in the graph, unconnected.
    kind = eGetNextProperVMRType(kind);
    if (kind != eVMRTypeNone) kind = eAddProperVideoRenderer(*renderer.Receive(), kind);
    if (kind == eVMRTypeNone) return vSetErrInfo(512, kErrGraph);
  }
  vSetAspectRatioModeNone(renderer.Get(), kind);

  ComPtr<IBaseFilter> audioDecoder;
  hr = hAddFilterCom(tlx::engine::kFileAudioDecoderRow, audioDecoder.Receive(), &m_pADecLoader);
  if (bCheckFailed(hr)) return vSetErrInfo(545, kErrGraph);
  hr = hConnectFilters(source.Get(), audioDecoder.Get());
  if (bCheckFailed(hr)) return vSetErrInfo(552, kErrGraph);
  ComPtr<IBaseFilter> audioRenderer;
  hr = hAddFilter(CLSID_DSoundRender, u"Audio Renderer", audioRenderer.Receive());
  if (bCheckFailed(hr)) return vSetErrInfo(562, kErrGraph);
  hr = hConnectFilters(audioDecoder.Get(), audioRenderer.Get());
  if (bCheckFailed(hr)) return vSetErrInfo(569, kErrGraph);
}

int CTlxPcStmFileSrcAVIf::bInit(int) {
  HRESULT hr = hCreateFilterGraph();
  if (FAILED(hr)) {
    vSetErrInfo(436, kErrGraph);
    return FALSE;
  }
  vAddFilterSteps();
  hr = hGetInterface();
  if (bCheckFailed(hr)) {
    vSetErrInfo(582, kErrGraph);
    return FALSE;
  }
  CWnd* owner = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    owner = m_pOwnerWnd;
  }
  if (!bSetOwnerWnd(owner)) {
    vSetErrInfo(586, kErrGraph);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmFileSrcAVIf::bInitCallback() {
  ComPtr<IMediaEvent> events = ComPtr<IMediaEvent>::Attach(pAddRefUnderLock(m_pMediaEvent));
  TlxPcStmRestartProc restart = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    restart = m_pRestart;
    user = m_pUser;
  }
  // The thread keeps its own copies: it may outlive this object.
  m_pThread = GraphEventThread::Start(events.Get(), [restart, user](long code, LONG_PTR, LONG_PTR) {
    const int reason = RestartReasonOf(code);
    if (reason >= 0 && restart != nullptr) restart(reason, user);
  });
  return m_pThread ? TRUE : FALSE;
}

int CTlxPcStmFileSrcAVIf::bReset(int) {
  std::lock_guard<std::mutex> operation(m_operationLock);
  return bResetLocked();
}

int CTlxPcStmFileSrcAVIf::bResetLocked() {
  if (!bInit(1)) return FALSE;
  if (!bInitCallback()) return FALSE;
  return bPlaceAndSoundAgain(m_nMovieX, m_nMovieY, m_nMovieWidth, m_nMovieHeight);
}
