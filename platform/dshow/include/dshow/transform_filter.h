// A filter with one input and one output pin that makes each output sample
// from an input sample, and its in-place form that changes samples where they
// are and passes them on.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "dshow/base_pin.h"
#include "dshow/pos_pass_thru.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(const char* objectName, CTransformFilter* filter, HRESULT* hr, LPCWSTR name);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;

  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 protected:
  CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
 public:
  CTransformOutputPin(const char* objectName, CTransformFilter* filter, HRESULT* hr, LPCWSTR name);
  ~CTransformOutputPin() override;

  // IMediaSeeking and IMediaPosition pass through to the filter upstream.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;

  // Quality messages go to the filter, which passes them upstream.
  STDMETHODIMP Notify(IBaseFilter* self, Quality q) override;

 protected:
  CTransformFilter* m_pTransformFilter;
  IUnknown* m_pPosition = nullptr;  // the pass-through, made on first query
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const char* name, IUnknown* outer, REFCLSID clsid);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  // Stop ends streaming after the input stopped taking samples; Pause starts
  // it (StartStreaming) when both pins are connected.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // What a transform filter decides.
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
  virtual HRESULT CheckInputType(const CMediaType* in) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;

  // Hooks.
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }
  virtual HRESULT AlterQuality(Quality) { return S_FALSE; }
  virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
  virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
  virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }

  // The stream, as the input pin hands it on.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  CTransformInputPin* InputPin() { return m_pInput; }
  CTransformOutputPin* OutputPin() { return m_pOutput; }

 protected:
  // An output buffer carrying the input sample's times and flags.
  virtual HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** out);
  // Makes both pins; the derived filter may make its own first.
  virtual void CreatePins();

  friend class CTransformInputPin;
  friend class CTransformOutputPin;

  BOOL m_bEOSDelivered = FALSE;
  BOOL m_bSampleSkipped = FALSE;
  BOOL m_bQualityChanged = FALSE;
  CCritSec m_csFilter;   // the filter's state
  CCritSec m_csReceive;  // the streaming thread's
  CTransformInputPin* m_pInput = nullptr;
  CTransformOutputPin* m_pOutput = nullptr;
};

class CTransInPlaceFilter : public CTransformFilter {
 public:
  // `modifiesData` false marks a filter that only reads its samples.
  CTransInPlaceFilter(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT* hr, bool modifiesData = true);

  // Changes a sample in place.
  virtual HRESULT Transform(IMediaSample* sample) = 0;

  HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }
  // Offers the input type downstream.
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Receive(IMediaSample* sample) override;

 protected:
  void CreatePins() override;
  // True when the upstream filter delivers into a different allocator than
  // ours downstream, so each sample must be copied.
  bool UsingDifferentAllocators();
  IMediaSample* Copy(IMediaSample* source);

  friend class CTransInPlaceInputPin;
  friend class CTransInPlaceOutputPin;

  bool m_bModifiesData;
};

class CTransInPlaceInputPin : public CTransformInputPin {
 public:
  CTransInPlaceInputPin(const char* objectName, CTransInPlaceFilter* filter, HRESULT* hr, LPCWSTR name);
  // Hands out the downstream pin's allocator when the output is connected.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  // The types downstream accepts, when it is connected.
  HRESULT CheckMediaType(const CMediaType* mt) override;
};

class CTransInPlaceOutputPin : public CTransformOutputPin {
 public:
  CTransInPlaceOutputPin(const char* objectName, CTransInPlaceFilter* filter, HRESULT* hr, LPCWSTR name);
  // Offers the types upstream offers and accepts (see GetMediaType); once
  // connected with another type than the input's, reconnects the input with
  // it, so one type runs through. Upstream is asked before this connection
  // takes the filter's lock and the input reconnected after it lets go:
  // upstream takes its own lock before ours when it connects to us, so
  // asking it under ours could deadlock. A reconnection upstream refuses
  // undoes this connection and returns the refusal.
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
  // Offers the input's allocator downstream before its own.
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
  // A type the filter takes that is the input's or one upstream offered
  // when last asked.
  HRESULT CheckMediaType(const CMediaType* mt) override;
  // The types upstream offers and accepts, in its order: asked anew at each
  // call but inside Connect, which asked once before taking the lock;
  // E_UNEXPECTED while the input is unconnected.
  HRESULT GetMediaType(int position, CMediaType* mt) override;

 private:
  // Asks the upstream pin for its types and keeps those it accepts.
  void AskUpstream();

  std::atomic<bool> connecting_{false};  // in Connect, where upstream is not asked
  std::mutex offeredLock_;               // taken alone, never while calling out
  std::vector<CMediaType> offered_;
};
