// The stream source as a fake: pin "1" sends audio and pin "2" video, each
// the samples a test scripts, while the filter runs; the scripted graph
// events are raised when it starts running. The control interface records
// what the engine hands over.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "dshow/factory_template.h"
#include "dshow/source.h"
#include "fake_recorder.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "filters/streaming_client/tlx_stream_source_control.h"

namespace {

class FakeStreamingClient;

// A pin's scripted items: samples, and an end of stream.
struct PinItem {
  bool endOfStream = false;
  FakeSample sample;
};

class FakeSourcePin final : public CSourceStream {
 public:
  FakeSourcePin(HRESULT* hr, FakeStreamingClient* filter, LPCWSTR name, REFGUID major, REFGUID subtype);

  HRESULT GetMediaType(CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Never called: the loop below delivers the script itself.
  HRESULT FillBuffer(IMediaSample*) override { return E_UNEXPECTED; }

  // Called by the filter when an item may be ready: a new one was scripted
  // or the filter started running.
  void Wake() { wake_.Set(); }
  // Under the filter's script lock.
  std::deque<PinItem>& Items() { return items_; }

 protected:
  // Sends the items while the filter runs, waiting for more in between;
  // answers the thread's requests as they come.
  HRESULT DoBufferProcessingLoop() override;

 private:
  HRESULT Send(const FakeSample& sample);

  FakeStreamingClient* const source_;
  const GUID major_;
  const GUID subtype_;
  CAMEvent wake_{TRUE};
  std::deque<PinItem> items_;
};

class FakeStreamingClient final : public CSource, public ITlxStreamSourceControl, public FakeRecorder {
 public:
  FakeStreamingClient(IUnknown* outer, HRESULT* hr)
      : CSource("fake stream source", outer, CLSID_TlxStreamingClient, hr),
        audio_(new FakeSourcePin(hr, this, u"1", MEDIATYPE_Audio, MEDIASUBTYPE_TlxAAC)),
        video_(new FakeSourcePin(hr, this, u"2", MEDIATYPE_Video, MEDIASUBTYPE_TlxMP4V)) {}
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) { return new FakeStreamingClient(outer, hr); }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ITlxStreamSourceControl) return GetInterface(static_cast<ITlxStreamSourceControl*>(this), object);
    if (iid == IID_IFakeFilterControl) return GetInterface(static_cast<IFakeFilterControl*>(this), object);
    return CSource::NonDelegatingQueryInterface(iid, object);
  }

  // ------------------------------------------------------------ the script

  STDMETHODIMP Run(REFERENCE_TIME start) override {
    const HRESULT hr = CSource::Run(start);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(scriptLock_);
    running_ = true;
    for (const Event& event : events_) NotifyEvent(event.code, event.param1, event.param2);
    events_.clear();
    audio_->Wake();
    video_->Wake();
    return hr;
  }
  STDMETHODIMP Pause() override {
    StopSending();
    return CSource::Pause();
  }
  STDMETHODIMP Stop() override {
    StopSending();
    return CSource::Stop();
  }

  HRESULT ScriptEvent(long code, LONG_PTR param1, LONG_PTR param2) override {
    std::lock_guard lock(scriptLock_);
    if (!running_) {
      events_.push_back({code, param1, param2});
      return S_OK;
    }
    // The graph's sink takes events from any thread and never calls back.
    return NotifyEvent(code, param1, param2);
  }
  HRESULT ScriptSample(int pin, FakeSample sample) override {
    if (sample.bytes.size() > static_cast<size_t>(kFakeSampleBytes)) return E_INVALIDARG;
    return Script(pin, PinItem{false, std::move(sample)});
  }
  HRESULT ScriptEndOfStream(int pin) override { return Script(pin, PinItem{true, {}}); }

  // The pin's next item while the filter runs.
  std::optional<PinItem> NextItem(FakeSourcePin* pin) {
    std::lock_guard lock(scriptLock_);
    if (!running_ || pin->Items().empty()) return std::nullopt;
    PinItem item = std::move(pin->Items().front());
    pin->Items().pop_front();
    return item;
  }

  // ------------------------------------------------ ITlxStreamSourceControl

  STDMETHODIMP SetServer(const char* host, int port) override {
    const HRESULT hr = Call("SetServer", host, port);
    if (hr != S_OK) return hr;
    return host == nullptr ? E_POINTER : S_OK;
  }
  STDMETHODIMP SetQuality(const char* text) override {
    const HRESULT hr = Call("SetQuality", text);
    if (hr != S_OK) return hr;
    return text == nullptr ? E_POINTER : S_OK;
  }
  STDMETHODIMP SetProxy(const char* host, int port) override { return Call("SetProxy", host, port); }
  STDMETHODIMP SetMode(int mode) override { return Call("SetMode", mode); }
  STDMETHODIMP Reserved1(int) override { return Call("Reserved1"); }
  STDMETHODIMP Abort() override { return Call("Abort"); }
  STDMETHODIMP Reserved2(int, int) override { return Call("Reserved2"); }
  STDMETHODIMP GetActualBitrate(DWORD* video, DWORD* audio) override {
    const HRESULT hr = Call("GetActualBitrate");
    if (hr != S_OK) return hr;
    if (video == nullptr || audio == nullptr) return E_POINTER;
    const std::vector<long> rates = Values("GetActualBitrate", 2);
    *video = static_cast<DWORD>(rates[0]);
    *audio = static_cast<DWORD>(rates[1]);
    return S_OK;
  }
  STDMETHODIMP Reserved3(int) override { return Call("Reserved3"); }
  STDMETHODIMP Reserved4(int, int) override { return Call("Reserved4"); }
  STDMETHODIMP SetParams(const TlxStreamSourceParams* params) override {
    const HRESULT hr = Call("SetParams");
    if (hr != S_OK) return hr;
    return params == nullptr ? E_INVALIDARG : S_OK;
  }
  // A block of zeros.
  STDMETHODIMP GetParams(TlxStreamSourceParams* params) override {
    const HRESULT hr = Call("GetParams");
    if (hr != S_OK) return hr;
    if (params == nullptr) return E_INVALIDARG;
    std::memset(params, 0, sizeof(*params));
    return S_OK;
  }
  STDMETHODIMP ApplyQuality(const char* text) override { return Call("ApplyQuality", text); }

 private:
  struct Event {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
  };

  HRESULT Script(int pin, PinItem item) {
    FakeSourcePin* target = pin == 1 ? audio_ : pin == 2 ? video_ : nullptr;
    if (target == nullptr) return E_INVALIDARG;
    {
      std::lock_guard lock(scriptLock_);
      target->Items().push_back(std::move(item));
    }
    target->Wake();
    return S_OK;
  }
  void StopSending() {
    std::lock_guard lock(scriptLock_);
    running_ = false;
  }

  // Pins belong to CSource, which deletes them.
  FakeSourcePin* const audio_;
  FakeSourcePin* const video_;
  std::mutex scriptLock_;
  bool running_ = false;
  std::vector<Event> events_;
};

FakeSourcePin::FakeSourcePin(HRESULT* hr, FakeStreamingClient* filter, LPCWSTR name, REFGUID major, REFGUID subtype)
    : CSourceStream("fake source pin", hr, filter, name), source_(filter), major_(major), subtype_(subtype) {}

HRESULT FakeSourcePin::GetMediaType(CMediaType* mt) {
  mt->SetType(&major_);
  mt->SetSubtype(&subtype_);
  mt->SetFormatType(&FORMAT_None);
  return S_OK;
}

HRESULT FakeSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = std::max<long>(wanted.cBuffers, 4);
  wanted.cbBuffer = std::max<long>(wanted.cbBuffer, kFakeSampleBytes);
  wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= kFakeSampleBytes ? S_OK : E_FAIL;
}

HRESULT FakeSourcePin::DoBufferProcessingLoop() {
  for (;;) {
    Command command;
    if (CheckRequest(&command)) {
      if (command == CMD_STOP) return S_FALSE;  // the thread's main loop answers it
      Reply(command == CMD_RUN || command == CMD_PAUSE ? S_OK : static_cast<DWORD>(E_UNEXPECTED));
      continue;
    }
    // Reset before looking, so a wake between the look and the wait counts.
    wake_.Reset();
    std::optional<PinItem> item = source_->NextItem(this);
    if (!item) {
      HANDLE waits[2] = {GetRequestHandle(), wake_};
      WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      continue;
    }
    if (item->endOfStream) {
      DeliverEndOfStream();
    } else {
      Send(item->sample);
    }
  }
}

HRESULT FakeSourcePin::Send(const FakeSample& sample) {
  IMediaSample* buffer = nullptr;
  HRESULT hr = GetDeliveryBuffer(&buffer, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;  // decommitted: the filter is stopping
  BYTE* data = nullptr;
  buffer->GetPointer(&data);
  if (!sample.bytes.empty()) std::memcpy(data, sample.bytes.data(), sample.bytes.size());
  buffer->SetActualDataLength(static_cast<long>(sample.bytes.size()));
  REFERENCE_TIME start = sample.start, stop = sample.stop;
  buffer->SetTime(&start, &stop);
  buffer->SetSyncPoint(TRUE);
  hr = Deliver(buffer);
  buffer->Release();
  return hr;
}

const AMOVIESETUP_FILTER kSetup{&CLSID_TlxStreamingClient, u"TLX Streaming Client", MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"TLX Streaming Client", &CLSID_TlxStreamingClient, FakeStreamingClient::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
