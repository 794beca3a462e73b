// A filter with one input pin that presents each sample when the reference
// clock reaches its stream time. Paused, it holds the first sample and counts
// as ready; end of stream becomes EC_COMPLETE once streaming.
#pragma once

#include <atomic>

#include "dshow/am_thread.h"
#include "dshow/base_pin.h"
#include "dshow/pos_pass_thru.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
 public:
  CRendererInputPin(CBaseRenderer* renderer, HRESULT* hr, LPCWSTR name);

  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT Active() override;
  HRESULT Inactive() override;

 protected:
  CBaseRenderer* m_pRenderer;
};

class CBaseRenderer : public CBaseFilter {
 public:
  CBaseRenderer(REFCLSID clsid, const char* name, IUnknown* outer, HRESULT* hr);
  ~CBaseRenderer() override;

  // IMediaSeeking and IMediaPosition pass upstream through the renderer.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  // VFW_S_STATE_INTERMEDIATE while paused without a sample to show.
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  // What a renderer decides.
  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT SetMediaType(const CMediaType*) { return S_OK; }

  // Connection and streaming hooks.
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }
  virtual HRESULT OnStartStreaming() { return S_OK; }
  virtual HRESULT OnStopStreaming() { return S_OK; }
  virtual void OnReceiveFirstSample(IMediaSample*) {}
  virtual void OnWaitStart() {}
  virtual void OnWaitEnd() {}
  virtual void PrepareRender() {}
  virtual void OnRenderStart(IMediaSample*) {}
  virtual void OnRenderEnd(IMediaSample*) {}

  // Scheduling. GetSampleTimes: S_OK to show now, S_FALSE to wait until the
  // returned start, an error to drop the sample.
  virtual HRESULT GetSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  // A quality hook: decides from the times whether and when to show.
  virtual HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  // Asks the clock to signal the render event at the sample's time; FALSE
  // when the sample is to be dropped.
  virtual BOOL ScheduleSample(IMediaSample* sample);
  // Waits for the render event, or for a stop or flush (an error then).
  virtual HRESULT WaitForRenderTime();
  // The stream through the input pin.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT PrepareReceive(IMediaSample* sample);
  virtual HRESULT Render(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT SendEndOfStream();
  virtual HRESULT ResetEndOfStream();
  // Quality messages upstream.
  virtual HRESULT SendNotify(REFERENCE_TIME late);

  virtual CBasePin* GetPinInternal();
  CRendererInputPin* InputPin() { return m_pInputPin; }
  BOOL IsEndOfStream() { return m_bEOS; }
  BOOL IsStreaming() { return m_bStreaming; }
  BOOL HaveCurrentSample();
  // The held sample, with a reference.
  IMediaSample* GetCurrentSample();
  CCritSec* InterfaceLock() { return &m_InterfaceLock; }
  CCritSec* RendererLock() { return &m_RendererLock; }

 protected:
  HRESULT CancelNotification();
  void ClearPendingSample();
  void Ready() { m_evComplete.Set(); }
  void NotReady() { m_evComplete.Reset(); }
  // Lets the sample wait proceed (TRUE) or breaks it off (FALSE).
  void SourceThreadCanWait(BOOL canWait);
  HRESULT StartStreaming();
  HRESULT StopStreaming();
  // Settles Ready/NotReady after a state change to Paused.
  void CompleteStateChange(FILTER_STATE oldState);
  void WaitForReceiveToComplete();

  CCritSec m_InterfaceLock;  // the filter's state
  CCritSec m_RendererLock;   // the held sample and scheduling
  CRendererInputPin* m_pInputPin = nullptr;
  IUnknown* m_pPosition = nullptr;  // CRendererPosPassThru, made on first query
  CRendererPosPassThru* m_pPositionObject = nullptr;
  CAMEvent m_RenderEvent;          // the clock's advise for the held sample
  CAMEvent m_ThreadSignal{TRUE};   // set to break off the streaming thread's wait
  CAMEvent m_evComplete{TRUE};     // set when a pause has completed
  std::atomic<BOOL> m_bAbort{FALSE};
  std::atomic<BOOL> m_bStreaming{FALSE};
  std::atomic<BOOL> m_bInReceive{FALSE};
  DWORD_PTR m_dwAdvise = 0;
  IMediaSample* m_pMediaSample = nullptr;  // held, with a reference
  std::atomic<BOOL> m_bEOS{FALSE};
  std::atomic<BOOL> m_bEOSDelivered{FALSE};
  REFERENCE_TIME m_SignalTime = 0;
};
