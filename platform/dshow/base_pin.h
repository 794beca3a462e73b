// Pins: connection and media-type negotiation (CBasePin), the pushing output
// pin with allocator negotiation (CBaseOutputPin), the receiving input pin
// (CBaseInputPin), and the pin and media-type enumerators.
#pragma once

#include <string>
#include <vector>

#include "com/counted.h"
#include "dshow/base_filter.h"

class CBasePin : public CUnknown, public IPin, public IQualityControl {
 public:
  // `lock` is the filter's state lock.
  CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  // A pin lives as long as its filter: counts go to the filter.
  ULONG NonDelegatingAddRef() override;
  ULONG NonDelegatingRelease() override;

  // IPin
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IQualityControl
  STDMETHODIMP Notify(IBaseFilter* self, Quality q) override;
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  // Negotiation hooks.
  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  virtual HRESULT SetMediaType(const CMediaType* mt);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // The preferred types, from position 0; VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int position, CMediaType* mt);
  virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
  void IncrementTypeVersion() { ++m_TypeVersion; }

  // State hooks, called by the filter for connected pins.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME start);

  BOOL IsConnected() const { return m_Connected != nullptr; }
  IPin* GetConnected() const { return m_Connected; }
  BOOL IsStopped() const { return m_pFilter->IsStopped(); }
  CBaseFilter* Filter() const { return m_pFilter; }
  const std::u16string& Name() const { return m_pName; }
  const CMediaType& CurrentMediaType() const { return m_mt; }
  REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
  REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
  double CurrentRate() const { return m_dRate; }

  // Disconnects without the state check, for the filter's own use.
  HRESULT DisconnectInternal();

 protected:
  virtual HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* mt);
  virtual HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);
  HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
  // Checks a proposed type, refusing a format block too short for its type
  // before any hook reads it.
  HRESULT CheckProposedType(const CMediaType* mt);

  std::u16string m_pName;
  IPin* m_Connected = nullptr;  // with a reference
  PIN_DIRECTION m_dir;
  CCritSec* m_pLock;
  std::atomic<BOOL> m_bRunTimeError{FALSE};
  BOOL m_bCanReconnectWhenActive = FALSE;
  BOOL m_bTryMyTypesFirst = FALSE;
  CBaseFilter* m_pFilter;
  IQualityControl* m_pQSink = nullptr;
  LONG m_TypeVersion = 1;
  CMediaType m_mt;
  REFERENCE_TIME m_tStart = 0;
  REFERENCE_TIME m_tStop = MAX_TIME;
  double m_dRate = 1.0;
};

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name);
  ~CBaseOutputPin() override;

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;

  // Allocator negotiation: the input pin's allocator first, else our own
  // (InitAllocator); DecideBufferSize sets its properties either way.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT InitAllocator(IMemAllocator** allocator);

  virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                    DWORD flags);
  virtual HRESULT Deliver(IMediaSample* sample);
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // Commits and decommits the allocator.
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Data does not flow into an output pin.
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  IMemAllocator* Allocator() const { return m_pAllocator; }
  IMemInputPin* InputPin() const { return m_pInputPin; }

 protected:
  IMemAllocator* m_pAllocator = nullptr;  // with a reference
  IMemInputPin* m_pInputPin = nullptr;    // with a reference
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name);
  ~CBaseInputPin() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  // Checks the state and a media type the sample carries; derived pins
  // process the sample when this returns S_OK.
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Inactive() override;

  // S_OK while samples may flow, S_FALSE while flushing, an error otherwise.
  virtual HRESULT CheckStreaming();
  BOOL IsFlushing() const { return m_bFlushing; }
  BOOL IsReadOnly() const { return m_bReadOnly; }
  IMemAllocator* Allocator() const { return m_pAllocator; }

 protected:
  IMemAllocator* m_pAllocator = nullptr;  // with a reference
  BOOL m_bReadOnly = FALSE;
  std::atomic<BOOL> m_bFlushing{FALSE};
};

// Enumerates the pins of a filter; VFW_E_ENUM_OUT_OF_SYNC when they change.
class CEnumPins final : public tlx::com::Counted<IEnumPins> {
 public:
  CEnumPins(CBaseFilter* filter, const CEnumPins* from);
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IEnumPins, object); }
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** clone) override;

 private:
  ~CEnumPins() override;
  bool OutOfSync();

  CBaseFilter* filter_;  // with a reference
  int position_ = 0;
  LONG version_;
};

// Enumerates the preferred media types of a pin.
class CEnumMediaTypes final : public tlx::com::Counted<IEnumMediaTypes> {
 public:
  CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* from);
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IEnumMediaTypes, object); }
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** clone) override;

 private:
  ~CEnumMediaTypes() override;

  CBasePin* pin_;  // with a reference
  int position_ = 0;
  LONG version_;
};

// Copies a UTF-16 name into a fixed buffer, truncating and terminating it.
void CopyPinName(const std::u16string& name, WCHAR* buffer, size_t size);
// A CoTaskMemAlloc'ed copy with its terminating zero; null when out of memory.
LPWSTR CoTaskStringCopy(const std::u16string& text);
