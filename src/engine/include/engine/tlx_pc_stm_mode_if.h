// CTlxPcStmModeIf: one DirectShow playback graph and the operations common to
// every kind of playback. The panel creates a derived object with its static
// pCreate, hands it its callbacks and owner window with bInitialize, drives it
// through the virtual operations below and deletes it through the virtual
// destructor. An int result is TRUE (1) on success and FALSE (0) on failure; a
// failure is written to the error record (module 2, class 0 for this class,
// 1 for the live class, 2 for the file class), which vGetLastErrorInfo copies
// out.
//
// Locking: the state lock guards the graph interface pointers, the error
// record, the last HRESULT, the volume and the callbacks (and what derived
// classes add to that state). An operation copies the pointers it needs under
// it, with a reference of their own, and calls the graph outside it, so a
// teardown on another thread never releases a pointer in use. The operation
// lock serialises bInitialize, bRunMovie, bStopMovie, bCleanup and bReset.
// No lock is held across a callback, a graph state change or a thread join.
// Objects are never copied: each owns its modules and thread.
#pragma once

#include <mutex>

#include "common/tlx_pc_cmn_err_info.h"
#include "dshow/interfaces.h"
#include "mfc/cstring.h"
#include "mfc/wnd.h"

class CTlxPcStmComLoader;

// The three callbacks handed to bInitialize; `user` is the pointer given
// there.
using TlxPcStmNotifyProc = void (*)(int event, void* user, int ok, int errorId);
using TlxPcStmTvStatusProc = void (*)(int kind, int value, void* user);
using TlxPcStmRestartProc = void (*)(int reason, void* user);

// Codec bits of a codec mask.
enum eCodec : int {
  eCodecMpeg4 = 0x0001,
  eCodecAvc = 0x0004,
};

// Video renderer kinds.
enum eVMRType : int {
  eVMRTypeNone = 0,
  eVMRType9 = 1,        // Video Mixing Renderer 9
  eVMRTypeOld = 2,      // the old video renderer
  eVMRType7 = 3,        // Video Mixing Renderer 7
};

inline constexpr int kTlxPcStmModuleId = 2;
inline constexpr int kTlxPcStmClassBase = 0;
inline constexpr int kTlxPcStmClassRavix = 1;
inline constexpr int kTlxPcStmClassFile = 2;

class CTlxPcStmModeIf {
 public:
  CTlxPcStmModeIf(const CTlxPcStmModeIf&) = delete;
  CTlxPcStmModeIf& operator=(const CTlxPcStmModeIf&) = delete;

  // Releases what is left of the graph.
  virtual ~CTlxPcStmModeIf();

  // Stores the callbacks, the owner window and the user pointer; TRUE.
  virtual int bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus, TlxPcStmRestartProc restart,
                          CWnd* owner, void* user);
  // Ends what the object runs and releases its graph.
  virtual int bCleanup() = 0;
  virtual int bSetBitrate(int code, int* out) = 0;
  virtual void vSetMultiSound() = 0;
  virtual void vSetServerAddress(const WCHAR* address, int port);

 protected:
  // IMediaControl::Run. Without a control line 297 id 3; failure 305/4.
  virtual int bRunMovie();

 public:
  virtual int bRunMovie(int colourSystem, int code, int autoBitrate, int& autoAvailable, int& avcAvailable,
                        int audioBitrate, int audioSampleRate, int width, int height, int frameRate,
                        int useAvc) = 0;
  // Hides the video window when there is one (failure 97/12) and stops the
  // graph (failure 105/5); the graph is stopped even when hiding failed.
  // Without a control line 88 id 3.
  virtual int bStopMovie();
  // IVideoWindow::SetWindowPosition (failure 130/13); without a video window
  // FALSE with last HRESULT 0 and no line.
  virtual int bSetMoviePosition(int x, int y, int width, int height);
  // IBasicVideo::GetVideoSize; none 144/3, failure 151/6.
  virtual int bGetVideoSize(long& width, long& height);
  // IBasicAudio::put_Volume(volume - 10000), then the volume is remembered;
  // none 166/3, failure 174/11.
  virtual int bSetVolume(long volume);
  // The remembered volume; TRUE.
  virtual int bGetVolume(long& volume);
  virtual int bSetSelectChannel(int source, int band, int channel, int flush) = 0;
  virtual int bGetVideoIn(int& input) = 0;
  virtual int bSetPictureCtrl(int brightness, int contrast, int saturation, int hue, int sharpness) = 0;
  virtual int bGetActualBitrate(DWORD& video, DWORD& audio) = 0;
  virtual int bSetMovieFile(CString path) = 0;
  // IMediaControl::GetState(0) gives State_Running; without a control 207/3.
  virtual int bIsRanMovie();
  virtual void vGetLastErrorInfo(CTlxPcCmnErrInfo& info);
  virtual HRESULT hGetLastErrorCodeForDirectX();
  virtual void vAbortConnectionAsync() = 0;
  virtual void vAbortConnection() = 0;
  // 0.
  virtual int GetChangeStateError();
  // TRUE.
  virtual int bSendFlashBuffers();
  // Nothing.
  virtual void vSetBaseCodecType(eCodec mask);
  // TRUE.
  virtual int bSetupTVParams(int kind, const WCHAR* text);

 protected:
  explicit CTlxPcStmModeIf(int classId);

  // The video window's owner and message drain become the owner's handle
  // (null for a null owner), its style WS_CHILD | WS_CLIPSIBLINGS. Without a
  // video window 263/3; failures 270/8, 277/9, 284/10.
  virtual int bSetOwnerWnd(CWnd* owner);
  // Error record (2, class, line, errorId, 0).
  virtual void vSetErrInfo(int line, int errorId);
  // Releases the graph's interfaces (hiding and detaching the video window
  // first), removes every filter and releases the graph.
  virtual void vCleanup();
  // Removes the graph's filters one by one, enumerating again after each.
  virtual void vRemoveAllFilters();
  virtual void vSafeRelease(IBaseFilter** filter);
  // A new filter graph; the result is also the last HRESULT.
  virtual HRESULT hCreateFilterGraph();
  // From the graph, in this order: IMediaControl, IVideoWindow, IBasicVideo,
  // IBasicAudio, IMediaEvent, IMediaPosition; default handling of
  // EC_DISPLAY_CHANGED and EC_NEED_RESTART cancelled; the video window kept
  // hidden. Stops at the first failure; E_FAIL without a graph.
  virtual HRESULT hGetInterface();
  // Creates the class and adds it to the graph under `name`; E_FAIL without
  // a graph. On failure *filter is null.
  virtual HRESULT hAddFilter(const GUID& clsid, const WCHAR* name, IBaseFilter** filter);
  // The filter of the legacy filter category whose "FriendlyName" equals the
  // name exactly, added to the graph under that name; E_FAIL when none.
  virtual HRESULT hAddFilter(const WCHAR* friendlyName, IBaseFilter** filter);
  // The class created from its module file through a new loader, which
  // replaces (and frees) the one in *loader; REGDB_E_CLASSNOTREG when the
  // module or its DllGetClassObject is missing. Added without a name.
  virtual HRESULT hAddFilterDll(const GUID& clsid, const WCHAR* file, IBaseFilter** filter,
                                CTlxPcStmComLoader** loader);
  // ConnectDirect from `out` to the first unconnected input pin of `to`.
  virtual HRESULT hConnectPinToFilter(IPin* out, IBaseFilter* to);
  // The first unconnected output pin of `from` to the first unconnected
  // input pin of `to`.
  virtual HRESULT hConnectFilters(IBaseFilter* from, IBaseFilter* to);
  // The first pin of that direction that is not connected, with a
  // reference; E_FAIL when none, E_POINTER for a null out-pointer.
  virtual HRESULT hGetUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin);
  // Keeps the value as last HRESULT; TRUE when it is a failure.
  virtual int bCheckFailed(HRESULT& hr);

  // Video renderer kinds in the order they are tried: 1 -> 3 -> 2 -> 0 and
  // 0 -> 1 (before Windows Vista 3 -> 1 -> 2 -> 0 and 0 -> 3).
  static eVMRType eGetNextProperVMRType(eVMRType kind);
  // Adds the renderer of that kind: 1 Video Mixing Renderer 9, 2 the old
  // renderer, 3 Video Mixing Renderer 7.
  int bAddVideoRenderer(IBaseFilter*& renderer, eVMRType kind);
  // Tries kind (0: the first of the order) and the kinds after it; the kind
  // added, 0 when none could be.
  eVMRType eAddProperVideoRenderer(IBaseFilter*& renderer, eVMRType kind);
  // The renderer's aspect-ratio mode becomes VMR_ARMODE_NONE (the picture
  // fills its rectangle) when it has the control for its kind.
  static void vSetAspectRatioModeNone(IBaseFilter* renderer, eVMRType kind);

  // Copies of the state under the state lock, each with its own reference.
  template <typename T>
  T* pAddRefUnderLock(T* const& member) const {
    std::lock_guard<std::mutex> hold(m_stateLock);
    if (member != nullptr) member->AddRef();
    return member;
  }
  // Queries the graph for `iid` and keeps the result in `member`, releasing
  // what it held before.
  template <typename T>
  HRESULT hKeepGraphInterface(IGraphBuilder* graph, REFIID iid, T*& member) {
    T* obtained = nullptr;
    const HRESULT hr = graph->QueryInterface(iid, reinterpret_cast<void**>(&obtained));
    if (FAILED(hr)) return hr;
    T* previous = nullptr;
    {
      std::lock_guard<std::mutex> hold(m_stateLock);
      previous = member;
      member = obtained;
    }
    if (previous != nullptr) previous->Release();
    return hr;
  }
  // Writes the error record and the last HRESULT together.
  void vSetFailure(int line, int errorId, HRESULT hr);

  mutable std::mutex m_stateLock;
  std::mutex m_operationLock;

  // The state below is read and written under m_stateLock.
  CTlxPcCmnErrInfo m_errInfo;
  IGraphBuilder* m_pGraph = nullptr;
  IMediaControl* m_pMediaControl = nullptr;
  IMediaPosition* m_pMediaPosition = nullptr;
  IVideoWindow* m_pVideoWindow = nullptr;
  IBasicAudio* m_pBasicAudio = nullptr;
  IBasicVideo* m_pBasicVideo = nullptr;
  IMediaEvent* m_pMediaEvent = nullptr;
  CWnd* m_pOwnerWnd = nullptr;
  HRESULT m_hrLast = S_OK;
  CString m_strServerAddress;
  int m_nServerPort = 0;
  void* m_pUser = nullptr;
  int m_nBitrateCode = 5;
  int m_nAudioBitrate = 0;
  int m_nAudioSampleRate = 0;
  int m_nVideoWidth = 0;
  int m_nVideoHeight = 0;
  int m_nFrameRate = 0;
  int m_nAutoBitrate = 1;
  long m_lVolume = 8800;
  int m_nColorSystem;
  TlxPcStmNotifyProc m_pNotify = nullptr;
  TlxPcStmTvStatusProc m_pTvStatus = nullptr;
  TlxPcStmRestartProc m_pRestart = nullptr;

 private:
  const int m_nClassId;
};
