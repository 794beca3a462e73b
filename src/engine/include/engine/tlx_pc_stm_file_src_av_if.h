// CTlxPcStmFileSrcAVIf: plays a local movie file through an MP4 file source,
// the AVC and AAC decoders, a video renderer and the system audio renderer.
// At the end of the file the restart callback gets reason 3 (play again from
// the start), EC_NEED_RESTART gives 2 and EC_DISPLAY_CHANGED 0. The operations
// that concern only the live stream return TRUE (or 0) without doing
// anything. Error records carry class number 2.
#pragma once

#include <memory>

#include "engine/tlx_pc_stm_com_loader.h"
#include "engine/tlx_pc_stm_mode_if.h"

namespace tlx::engine {
class GraphEventThread;
}

class CTlxPcStmFileSrcAVIf : public CTlxPcStmModeIf {
 public:
  // A new object, null when it cannot be allocated.
  static CTlxPcStmFileSrcAVIf* pCreate();
  // Ends the graph-event thread and releases the graph, as bCleanup does.
  ~CTlxPcStmFileSrcAVIf() override;

  // The base class's, then the stream parameters cleared and the file path
  // emptied.
  int bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus, TlxPcStmRestartProc restart,
                  CWnd* owner, void* user) override;
  // bStopMovie (its result does not count), then the graph-event thread is
  // ended (posting WM_QUIT failed: 177/2; not ended within 5000 ms: 186/1,
  // and the thread is left to end on its own) and the graph released. TRUE
  // when there was no thread or it ended.
  int bCleanup() override;
  int bSetBitrate(int code, int* out) override;
  void vSetMultiSound() override;
  // Only the third argument counts: when set the graph is rebuilt first
  // (bCleanup, then a fresh build). The video window is shown, the file
  // rewound to 0 and the graph run; each step is skipped when its interface
  // is missing, so without a graph the result is the run's 297/3.
  int bRunMovie(int colourSystem, int code, int rebuild, int& autoAvailable, int& avcAvailable, int audioBitrate,
                int audioSampleRate, int width, int height, int frameRate, int useAvc) override;
  // Hides the video window (244/12), invalidates the owner window and stops
  // the graph; a failed hide still stops it and reports FALSE.
  int bStopMovie() override;
  // Remembers the area; places the video window when there is one, else TRUE.
  int bSetMoviePosition(int x, int y, int width, int height) override;
  // The base class's when the graph has audio, else the volume is only
  // remembered; TRUE then.
  int bSetVolume(long volume) override;
  int bSetSelectChannel(int source, int band, int channel, int flush) override;
  int bGetVideoIn(int& input) override;
  int bSetPictureCtrl(int brightness, int contrast, int saturation, int hue, int sharpness) override;
  int bGetActualBitrate(DWORD& video, DWORD& audio) override;
  // Stores the movie file's path; TRUE.
  int bSetMovieFile(CString path) override;
  void vAbortConnectionAsync() override;
  void vAbortConnection() override;
  int GetChangeStateError() override;

 protected:
  CTlxPcStmFileSrcAVIf();

  // The base class's, then the three loaders are deleted (their modules
  // unload after the graph is gone).
  void vCleanup() override;
  // The row's values to the overload below.
  virtual HRESULT hAddFilterCom(const CFilterParam& param, IBaseFilter** filter, CTlxPcStmComLoader** loader);
  // From the module file first when a file name and a loader slot are
  // given, else or on failure by registered name.
  virtual HRESULT hAddFilterCom(const GUID& clsid, const WCHAR* name, const WCHAR* file, IBaseFilter** filter,
                                CTlxPcStmComLoader** loader);
  // Builds the graph (lines 436 to 569, id 24); a failed filter step or a
  // file that does not load skips the remaining filter steps. Always then the
  // interfaces (582) and the owner window (586); TRUE when both succeed.
  int bInit(int autoAvailable);
  // Starts the graph-event thread.
  int bInitCallback();
  // bInit, the graph-event thread, then the remembered area and volume.
  int bReset(int autoAvailable);

 private:
  int bCleanupLocked();
  int bStopMovieLocked();
  int bResetLocked();
  void vAddFilterSteps();

  CTlxPcStmComLoader* m_pFileSrcLoader = nullptr;
  CTlxPcStmComLoader* m_pADecLoader = nullptr;
  CTlxPcStmComLoader* m_pVDecLoader = nullptr;
  std::unique_ptr<tlx::engine::GraphEventThread> m_pThread;
  // The last area given to bSetMoviePosition; under the state lock.
  int m_nMovieX = 0;
  int m_nMovieY = 0;
  int m_nMovieWidth = 0;
  int m_nMovieHeight = 0;
  int m_nChangeStateError = 0;
  CString m_strMovieFile;  // under the state lock
};
