// CTlxPcStmRavixIf: plays the base station's live stream. It builds the graph
// from the system's filter tables and the engine's INI file (network source,
// two decryptors, audio and video decoders, audio and video renderers), asks
// the base station through the link library to stream, hands the stream key
// to both decryptors when the source has authenticated, and reports progress,
// tuner status and restarts through the three callbacks. Error records carry
// class number 1.
//
// Threads: the panel's controller thread runs the operations; its
// user-interface thread may call bSetMoviePosition, vAbortConnectionAsync and
// vAbortConnection meanwhile; the graph-event thread and the link library's
// event thread call the callbacks. The state lock of the base class also
// guards the private interfaces, the movie rectangle, the last channel
// selection and the codec state added here; the connect-request and
// connecting flags are atomics.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engine/tlx_pc_stm_com_loader.h"
#include "engine/tlx_pc_stm_mode_if.h"
#include "link/tlx_bcf.h"

struct ITlxStreamSourceControl;
struct IAESDecryptorKey;
struct IRavixAudioRendererControl;

namespace tlx::engine {
class GraphEventThread;
class RavixEventContext;
}

class CTlxPcStmRavixIf : public CTlxPcStmModeIf {
 public:
  // A new object that has started the link library (bInitializeTlxBcf); null
  // when it cannot be allocated or the start fails. The argument is not used.
  static CTlxPcStmRavixIf* pCreate(const WCHAR* unused);
  // Whatever of bCleanup is still needed (callbacks detached, thread ended,
  // graph released), the private interfaces released, then tlxCleanup when
  // tlxInit succeeded.
  ~CTlxPcStmRavixIf() override;

  // The base class's, then the stream parameters and scaling mode cleared,
  // the graph built (bInit(1)), tlxRavixMgr_AuthInit and bInitCallback; on
  // any failure vCleanup and FALSE.
  int bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus, TlxPcStmRestartProc restart,
                  CWnd* owner, void* user) override;
  // Detaches the three link-library callbacks, ends the graph-event thread
  // (posting WM_QUIT failed: 355/2; not ended within 5000 ms: 364/1, the
  // thread is detached) and releases the graph in every case.
  int bCleanup() override;
  // tlxRavixMgr_SetBitrate(code, out); failure 390/14.
  int bSetBitrate(int code, int* out) override;
  // tlxTvMgr_ChangeAudioBli.
  void vSetMultiSound() override;
  // Connects to the base station and plays: stores the stream parameters,
  // rebuilds the graph, starts the stream (tlxRavixMgr_ChangeState(1); a
  // refusal gives 454/4, ChangeState(0) and a fresh graph), adopts what the
  // base station reports (automatic bit rate, codecs, scaling mode), rebuilds
  // with the quality string, hands the server to the source and runs the
  // graph; ChangeState(2) on success, else ChangeState(0) and FALSE.
  int bRunMovie(int colourSystem, int code, int autoBitrate, int& autoAvailable, int& avcAvailable, int audioBitrate,
                int audioSampleRate, int width, int height, int frameRate, int useAvc) override;
  // Hides the video window (533/12), invalidates the owner, sends
  // ChangeState(3), stops the graph (the base class's) and sends
  // ChangeState(0): every step runs even when hiding failed, which still
  // makes the result FALSE. Non-zero state-change results are kept as the
  // change-state error.
  int bStopMovie() override;
  // Remembers the area and places the video inside it (placement record of
  // the scaling mode and colour system, section "Movie" overrides). TRUE
  // without a video window (the values are kept for the next graph).
  int bSetMoviePosition(int x, int y, int width, int height) override;
  // Source 0 tuner, 1 and 2 video inputs; bands 0 to 3 (sent as 0, 0, 1, 2).
  // The last successful selection again: TRUE without a link call. With
  // flush set, bSendFlashBuffers after a successful selection.
  int bSetSelectChannel(int source, int band, int channel, int flush) override;
  // tlxTvMgr_GetVideoIn; FALSE when it gives -1.
  int bGetVideoIn(int& input) override;
  // tlxTvMgr_SetPictureCtrl; TRUE when it returns 0.
  int bSetPictureCtrl(int brightness, int contrast, int saturation, int hue, int sharpness) override;
  // The source's measured rates when it is there; TRUE.
  int bGetActualBitrate(DWORD& video, DWORD& audio) override;
  // TRUE; the path is not used.
  int bSetMovieFile(CString path) override;
  // While connecting: tlxRavixMgr_ChangeState(3) (non-zero kept as the
  // change-state error); otherwise the connect request is withdrawn, so a
  // bRunMovie in progress does not start the graph.
  void vAbortConnectionAsync() override;
  // ITlxStreamSourceControl::Abort when the source is there.
  void vAbortConnection() override;
  int GetChangeStateError() override;
  // IRavixAudioRendererControl::FlashBuffers(0) when the renderer is there
  // and "Pelmo" "FlashBuffer" (default 1) is non-zero; TRUE.
  int bSendFlashBuffers() override;
  void vSetBaseCodecType(eCodec mask) override;
  // tlxTvMgr_SetTVParams(kind, text in UTF-8); TRUE when it returns 0.
  int bSetupTVParams(int kind, const WCHAR* text) override;

  // tlxInit with the region's model id in the first of six option words,
  // then tlxHnetMgr_SetConnType(2); TRUE when both return 0. The argument is
  // not used.
  int bInitializeTlxBcf(const WCHAR* unused);

 protected:
  CTlxPcStmRavixIf();

  // The connecting-to-the-base-station flag.
  int bIsMiddleConnecting() const;
  // tlxRavixMgr_ChangeState(state): TRUE when it returns 0, else the result
  // is kept as the change-state error and FALSE.
  int vSetStatusForMiddle(int state);
  // tlxRavixMgr_ChangeState(3): a non-zero result is kept as the
  // change-state error and gives TRUE, else FALSE.
  int bDisconnectAsync();

  // IMediaControl, IBasicAudio and IMediaEvent with the two cancelled
  // default handlings; graph building uses the base class's.
  HRESULT hGetInterface() override;
  // The private interfaces released, the base class's, then the seven
  // loaders deleted (their modules unload after the graph is gone).
  void vCleanup() override;
  // The row's values to the overload below.
  virtual HRESULT hAddFilterCom(const CFilterParam& param, IBaseFilter** filter, CTlxPcStmComLoader** loader);
  // From the module file first when "FilterDll" is set, the file name is
  // not empty and a loader slot is given; else or on failure by registered
  // name.
  virtual HRESULT hAddFilterCom(const GUID& clsid, const WCHAR* name, const WCHAR* file, IBaseFilter** filter,
                                CTlxPcStmComLoader** loader);

  // Builds the live graph (lines 1078 to 1959, id 24 or 25); every filter
  // and pin obtained is released on failure.
  int bInit(int autoAvailable);
  // Attaches the three link-library callbacks (1826, 1833, 1840, id 1) and
  // starts the graph-event thread.
  int bInitCallback();
  // bInit, bInitCallback, then the remembered area and volume.
  int bReset(int autoAvailable);
  // The post filter named by "PostFilter" (none when empty).
  HRESULT hAddPostFilter(IBaseFilter** filter);
  // Decryptor -> Infinite Pin Tee -> decoder, and the tee's second output to
  // a dump writer writing "rawaudio.aac" or "rawvideo.m4v".
  int bConnectDumpFilter(IBaseFilter* from, IBaseFilter* to, bool audio);
  // SyncUsingStreamOffset(TRUE) and SetMaxGraphLatency(0) (1891, 1900,
  // 1910).
  int bEnableLiveSourceMode();
  // The audio renderer's clock as the graph's sync source (1941, 1950,
  // 1959).
  int bSetReferenceClock(IBaseFilter* audioRenderer);

  // Video decoder choice over the base codec mask, the engine's mask and
  // the AVC-allowed flag.
  int GetFavorableCodec() const;
  int bIsCodecAvail(eCodec codec) const;
  int nFindProperVideoFilter() const;

  // From tlxRavixMgr_GetBaseInfo: the automatic-bit-rate flag (TRUE when
  // the call fails), the low 3 bits of the codec word (0 when it fails) and
  // the scaling mode (0 when it fails).
  int bIsAutoBitrateAvail();
  int nGetBaseCodec();
  int nGetBaseScalingMode();
  // The quality string for the current stream parameters (section
  // "DSPParam" overrides, then the preset table).
  void vGetBitrate(int autoAvailable, std::string& quality);

  // Link-library event callbacks; the context is the stream object.
  static void vTvEventProc(void* context, const TLX_EVENT_MSG* message);
  static void vRavixEventProc(void* context, const TLX_EVENT_MSG* message);
  static void vNetworkEventProc(void* context, const TLX_EVENT_MSG* message);

  // What the callbacks are to hear of one graph event: up to two notify
  // events (event, ok, error id) and a restart reason (-1: none).
  struct GraphEventOutcome {
    int notifies[2][3] = {};
    int notifyCount = 0;
    int restartReason = -1;
    void Notify(int event, int ok = TRUE, int errorId = 0);
  };
  // The object's part of one graph event, on the graph-event thread: the
  // key hand-over, showing the video window, re-placing the video, the
  // session's keep-alive. A failure notify writes (2533, error id) to the
  // error record first; a success notify leaves it alone.
  GraphEventOutcome oHandleGraphEvent(long code);
  // The key hand-over of EC_TLX_AUTH_END: the stream key to decryptor A,
  // then B; TRUE when all three steps succeeded. The key is wiped after use.
  int bHandOverKey();
  // The notify callback on the calling thread with ok 1 and error id 0 (a
  // success notify leaves the error record alone).
  void vNotifySuccess(int event);

  // Under the state lock.
  ITlxStreamSourceControl* m_pStreamControl = nullptr;
  IAESDecryptorKey* m_pAudioKey = nullptr;  // decryptor A, audio path
  IAESDecryptorKey* m_pVideoKey = nullptr;  // decryptor B, video path
  int m_bFilterDll = TRUE;
  int m_nVMRTypeSetting = 0;
  eVMRType m_eVMRTypeInUse = eVMRTypeNone;
  int m_bDumpStream = FALSE;
  CTlxPcStmComLoader* m_pSourceLoader = nullptr;
  CTlxPcStmComLoader* m_pDecryptorALoader = nullptr;
  CTlxPcStmComLoader* m_pDecryptorBLoader = nullptr;
  CTlxPcStmComLoader* m_pADecLoader = nullptr;
  CTlxPcStmComLoader* m_pVDecLoader = nullptr;
  CTlxPcStmComLoader* m_pAudioRendererLoader = nullptr;
  CTlxPcStmComLoader* m_pPostFilterLoader = nullptr;
  std::unique_ptr<tlx::engine::GraphEventThread> m_pThread;
  int m_nMovieX = 0;
  int m_nMovieY = 0;
  int m_nMovieWidth = 0;
  int m_nMovieHeight = 0;
  std::atomic<int> m_bConnectRequest{FALSE};
  std::atomic<int> m_bMiddleConnecting{FALSE};
  std::atomic<int> m_nChangeStateError{0};
  int m_nBaseCodec = 3;
  int m_nEngineCodec;
  int m_bAvcAllowed = TRUE;
  int m_nScalingMode = 0;
  int m_nLastSource = -1;
  int m_nLastBand = -1;
  int m_nLastChannel = -1;
  IRavixAudioRendererControl* m_pRendererControl = nullptr;

 private:
  int bCleanupLocked();
  int bResetLocked(int autoAvailable);

  // The steps of bInit, in its order. Each step that fails writes its error
  // record (id 24 unless said otherwise) and returns FALSE (eVMRTypeNone).
  // The filters added so far travel in a LiveGraphFilters record, which
  // releases its references when bInit returns (the graph keeps its own).
  struct LiveGraphFilters;
  // vSetErrInfo(line, errorId), then FALSE.
  int bInitFailed(int line, int errorId);
  // The "Filter" keys BaseCodecs, FilterDll, VMRType and DumpStream, each
  // defaulting to the value held (a removed key keeps the last value read);
  // no renderer kind in use.
  void vReadFilterSettings();
  // A new graph (1078), the video row (1089), then its filters: stream
  // source, decryptors A and B, the post filter, the audio and video
  // decoders with the "Filter" names, files and classes overriding the
  // row's, and mode 0 for the AVC decoder (1096 to 1149).
  int bAddLiveFilters(LiveGraphFilters& filters);
  // The audio renderer, a sound device and the renderer's control, which
  // replaces the one held (1163, 1170, 1182, id 25).
  int bAddAudioRenderer(LiveGraphFilters& filters);
  // The source's control, which replaces the one held, told the quality
  // string of the stream parameters (1192, 1224).
  int bSetSourceQuality(IBaseFilter* source, int autoAvailable);
  // Source pin "1" -> decryptor A -> [tee with the dump writer when `dump`]
  // audio decoder -> audio renderer (1237 to 1265).
  int bConnectAudioPath(const LiveGraphFilters& filters, bool dump);
  // Source pin "2" -> decryptor B -> [tee with the dump writer when `dump`]
  // video decoder -> post filter when there is one (1277 to 1309); the last
  // of them becomes filters.lastVideo.
  int bConnectVideoPath(LiveGraphFilters& filters, bool dump);
  // The video renderer of the preferred kind (VMRType & 15 when 1-3) or the
  // kinds after it, until one connects to lastVideo (1339, 1356); a renderer
  // that did not connect stays in the graph, unconnected. The kind connected,
  // its aspect-ratio mode none.
  eVMRType eConnectVideoRenderer(IBaseFilter* lastVideo, int vmrSetting);
  // Both decryptors' key interfaces, which replace the ones held (1403,
  // 1408).
  int bTakeDecryptorKeys(const LiveGraphFilters& filters);
  // The graph's interfaces (1429), the owner window (1433), live-source mode
  // and the audio renderer's clock (their own records).
  int bFinishLiveGraph(IBaseFilter* audioRenderer);
  // Ends the graph-event thread (355/2, 364/1 as bCleanup) and detaches it
  // from the object; TRUE when there was none or it ended.
  int vEndThread();
  // Detaches the three link-library callbacks when they are attached.
  void vDetachCallbacks();

  // Whether tlxInit succeeded, so tlxCleanup balances it.
  bool m_bTlxInitDone = false;
  bool m_bCallbacksAttached = false;
  std::shared_ptr<tlx::engine::RavixEventContext> m_pEventContext;
};
