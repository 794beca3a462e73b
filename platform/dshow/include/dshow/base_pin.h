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

// Enumerates what an owner holds by index; VFW_E_ENUM_OUT_OF_SYNC once the
// owner's version changes, until Reset.
template <typename Traits>
class CVersionedEnum final : public tlx::com::Counted<typename Traits::Interface> {
 public:
  using Owner = typename Traits::Owner;
  using Element = typename Traits::Element;

  CVersionedEnum(Owner* owner, const CVersionedEnum* from)
      : owner_(owner), position_(from != nullptr ? from->position_ : 0),
        version_(from != nullptr ? from->version_ : Traits::Version(owner)) {
    owner_->AddRef();
  }

  HRESULT QueryInterface(REFIID iid, void** object) override { return this->Answer(iid, Traits::kIid, object); }

  STDMETHODIMP Next(ULONG count, Element** elements, ULONG* fetched) override {
    if (elements == nullptr) return E_POINTER;
    if (fetched == nullptr && count > 1) return E_INVALIDARG;
    if (fetched != nullptr) *fetched = 0;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    while (got < count && Traits::Get(owner_, position_, &elements[got])) {
      ++position_;
      ++got;
    }
    if (fetched != nullptr) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) override {
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    for (; count > 0; --count, ++position_) {
      Element* element = nullptr;
      if (!Traits::Get(owner_, position_, &element)) return S_FALSE;
      Traits::Drop(element);
    }
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    version_ = Traits::Version(owner_);
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(typename Traits::Interface** clone) override {
    if (clone == nullptr) return E_POINTER;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    *clone = new CVersionedEnum(owner_, this);
    return S_OK;
  }

 private:
  ~CVersionedEnum() override { owner_->Release(); }
  bool OutOfSync() { return Traits::Version(owner_) != version_; }

  Owner* owner_;  // with a reference
  int position_;
  LONG version_;
};

// The pins of a filter.
struct PinEnumTraits {
  using Interface = IEnumPins;
  using Element = IPin;
  using Owner = CBaseFilter;
  static constexpr const IID& kIid = IID_IEnumPins;
  static LONG Version(CBaseFilter* filter) { return filter->GetPinVersion(); }
  static bool Get(CBaseFilter* filter, int index, IPin** pin);
  static void Drop(IPin* pin) { pin->Release(); }
};
using CEnumPins = CVersionedEnum<PinEnumTraits>;

// The preferred media types of a pin, each a copy the caller deletes.
struct MediaTypeEnumTraits {
  using Interface = IEnumMediaTypes;
  using Element = AM_MEDIA_TYPE;
  using Owner = CBasePin;
  static constexpr const IID& kIid = IID_IEnumMediaTypes;
  static LONG Version(CBasePin* pin) { return pin->GetMediaTypeVersion(); }
  static bool Get(CBasePin* pin, int index, AM_MEDIA_TYPE** type);
  static void Drop(AM_MEDIA_TYPE* type) { DeleteMediaType(type); }
};
using CEnumMediaTypes = CVersionedEnum<MediaTypeEnumTraits>;

// Copies a UTF-16 name into a fixed buffer, truncating and terminating it.
void CopyPinName(const std::u16string& name, WCHAR* buffer, size_t size);
// A CoTaskMemAlloc'ed copy with its terminating zero; null when out of memory.
LPWSTR CoTaskStringCopy(const std::u16string& text);
