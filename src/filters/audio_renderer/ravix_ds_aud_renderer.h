// The player's audio renderer: it queues the 16-bit PCM it receives the
// moment it arrives, keeps the queue between fixed bounds (stretching while it
// is short, dropping or playing it down fast when it is long), plays it
// through a looping sound buffer fed by a render thread, and serves as the
// graph's reference clock, read from the play position.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "dshow/base_renderer.h"
#include "dshow/basic_audio.h"
#include "dshow/reference_clock.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"
#include "linear_resampler.h"
#include "notify_time_table.h"
#include "ravix_ds_util.h"
#include "renderer_services.h"

// One per queued block, in the time queue as raw bytes.
struct SampleTimeRecord {
  int64_t start;    // the media sample's start time, 100-ns units
  uint32_t length;  // bytes of PCM the record stands for
  uint32_t unused;
};
static_assert(sizeof(SampleTimeRecord) == 16);
static_assert(offsetof(SampleTimeRecord, length) == 8);

// The renderer's states.
enum RendererState : int {
  kRendererNew = 0,
  kRendererTypeSet = 1,
  kRendererRunning = 2,
  kRendererStopped = 3,
  kRendererFailed = 4,
};

// Sizes fixed by the first sample after a start.
struct StreamingConfig {
  UINT notifySize = 0;              // bytes of every sample and of every buffer block
  UINT notifyCount = 0;             // blocks in the sound buffer
  UINT bufferBytes = 0;
  REFERENCE_TIME blockDuration = 0;  // 100-ns units
  UINT queueCapacity = 0;           // bytes of 4 s
  UINT stretchLimit = 0;            // blocks of 2.5 s
  UINT dropThreshold = 0;           // blocks of 3.5 s
  UINT dropAmount = 0;              // blocks of 1 s
};

// The blocks the sound buffer may have: one event each, and a wait takes at
// most this many.
inline constexpr UINT kMaxNotifyCount = MAXIMUM_WAIT_OBJECTS;

class CRavixDSAudRenderer;

class CRendererControl final : public CUnknown, public IRavixAudioRendererControl {
 public:
  CRendererControl(CRavixDSAudRenderer* renderer, IUnknown* owner) : CUnknown("control", owner), m_pRenderer(renderer) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP Reserved() override { return S_OK; }
  STDMETHODIMP FlashBuffers(int unused) override;
  STDMETHODIMP SetTimeCorrection(REFERENCE_TIME correction) override;
  STDMETHODIMP GetTimeCorrection(REFERENCE_TIME* correction) override;
  STDMETHODIMP SetGain(unsigned numerator, unsigned denominator) override;

 private:
  CRavixDSAudRenderer* const m_pRenderer;
};

class CRendererClock final : public CBaseReferenceClock {
 public:
  CRendererClock(CRavixDSAudRenderer* renderer, IUnknown* owner, HRESULT* hr)
      : CBaseReferenceClock("clock", owner, hr), m_pRenderer(renderer) {}
  ~CRendererClock() override { StopAdviseThread(); }
  // The renderer's time as it stands: it keeps itself from going back.
  STDMETHODIMP GetTime(REFERENCE_TIME* time) override;
  REFERENCE_TIME GetPrivateTime() override;

 private:
  CRavixDSAudRenderer* const m_pRenderer;
};

class CRendererVolume final : public CBasicAudio {
 public:
  CRendererVolume(CRavixDSAudRenderer* renderer, IUnknown* owner) : CBasicAudio("volume", owner), m_pRenderer(renderer) {}
  STDMETHODIMP put_Volume(long volume) override;
  STDMETHODIMP get_Volume(long* volume) override;
  STDMETHODIMP put_Balance(long) override { return S_OK; }
  STDMETHODIMP get_Balance(long* balance) override;

 private:
  CRavixDSAudRenderer* const m_pRenderer;
};

class CRavixDSAudRenderer final : public CBaseRenderer,
                                  private IBlockSource,
                                  private IResamplerSink,
                                  private IDecimatorSource {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  CRavixDSAudRenderer(IUnknown* outer, HRESULT* hr);
  ~CRavixDSAudRenderer() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  // Every sample goes straight to the sample path, whatever the filter state.
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT WaitForRenderTime() override { return S_OK; }
  BOOL ScheduleSample(IMediaSample*) override { return TRUE; }
  // Stale audio queued before or during a flush is discarded.
  HRESULT EndFlush() override;

  // Replaces time, sleeping and the main-window lookup; before the first
  // sample.
  void SetServices(RendererServices services) { m_services = std::move(services); }

  // The control interface, the volume object and the clock.
  HRESULT StartFlash();
  HRESULT SetTimeCorrection(REFERENCE_TIME correction);
  REFERENCE_TIME GetTimeCorrection();
  HRESULT SetGain(unsigned numerator, unsigned denominator);
  void PutVolume(long volume);
  long GetVolume();
  REFERENCE_TIME GetClockTime();

 private:
  friend struct RendererTestAccess;

  // IBlockSource, for the stream buffer on the render thread.
  HRESULT Fill(BYTE* buffer, UINT size, UINT* sizeRead) override;
  HRESULT Notify(UINT offset) override;
  const WAVEFORMATEX* GetFormat() override { return m_hasFormat ? &m_format : nullptr; }
  // IResamplerSink: queues one output frame of the upsampler.
  int Deliver(const BYTE* frame, UINT frameBytes, REFERENCE_TIME frameTime, const void* record) override;
  // IDecimatorSource: hands a queued block to the decimator.
  HRESULT Pull(BYTE* buffer, UINT size, REFERENCE_TIME* time) override;

  // The first sample after a start fixes the sizes, makes the queues and the
  // converters and starts the render thread.
  HRESULT SetupStreaming(IMediaSample* sample);
  HRESULT SetupConverters();
  void TearDown();
  UINT BytesFor(REFERENCE_TIME duration) const;

  // Buffer-level control, under the stream lock.
  UINT QueuedBlocks() const { return m_timeQueue.GetUsed() / sizeof(SampleTimeRecord); }
  void DiscardBlocks(UINT blocks);
  void DropCheck();
  void StretchUpdate();
  void RequestCatchUp();
  bool FlashFill(BYTE* buffer, UINT size);
  bool CatchUpFill(BYTE* buffer, UINT size);
  bool PlayGate();
  void ReadBlock(BYTE* buffer, UINT size, SampleTimeRecord* record);
  void ApplyGain(BYTE* buffer, UINT size) const;
  void EndMode();

  // The render thread.
  HRESULT StartRenderThread();
  void StopRenderThread();
  void SignalEvents();
  DWORD RenderThreadProc();
  HRESULT OpenOutput();
  void CloseOutput();
  void ApplyPendingVolume();

  // Locks in this order: m_InterfaceLock (L1), m_RendererLock (L2), m_ClockLock
  // (L3), m_StreamLock, then m_TableLock, and m_BufferLock last of all.
  CCritSec m_ClockLock;
  CCritSec m_StreamLock;
  CCritSec m_TableLock;
  CCritSec m_BufferLock;

  CRendererControl* m_pControl = nullptr;
  CRendererClock* m_pClockObject = nullptr;
  CRendererVolume* m_pVolume = nullptr;
  RendererServices m_services = RendererServices::Default();

  WAVEFORMATEX m_format{};
  bool m_hasFormat = false;
  std::atomic<int> m_state{kRendererNew};
  StreamingConfig m_cfg;

  // Under the stream lock.
  CBlockingFifo m_dataQueue;
  CBlockingFifo m_timeQueue;
  CLinearResampler m_upsampler{this};
  CSampleDecimator m_decimator{this};
  UINT m_playThreshold = 0;
  UINT m_prebuffer = 0;
  bool m_stretch = false;
  UINT m_baseRate = 0;
  UINT m_maxRate = 0;
  UINT m_currentRate = 0;
  bool m_flash = false;
  UINT m_flashTarget = 0;
  DWORD m_flashWindow = 700;
  DWORD m_flashStart = 0;
  bool m_marked = false;
  bool m_catchUp = false;
  UINT m_catchUpIn = 0;
  UINT m_catchUpOut = 700;
  REFERENCE_TIME m_catchUpEnd = -1;
  REFERENCE_TIME m_lastWritten = 0;
  SampleTimeRecord m_blockInHand{};  // size 0: silence
  unsigned m_gainNumerator = 0;
  unsigned m_gainDenominator = 0;
  REFERENCE_TIME m_timeCorrection = 0;

  // Under the table lock.
  CNotifyTimeTable m_table;
  bool m_tableValid = false;

  // Under the clock lock.
  REFERENCE_TIME m_lastTime = 0;
  UINT m_holdCount = 0;

  // The render thread and what it owns.
  std::atomic<bool> m_run{false};
  std::atomic<bool> m_alive{false};
  HANDLE m_hThread = nullptr;
  std::vector<HANDLE> m_events;
  CDsDevice m_device;
  HWND m_window = nullptr;

  // Under the buffer lock.
  CDsStreamBuffer* m_pStreamBuffer = nullptr;
  long m_volume = 0;
  bool m_volumePending = false;
};
