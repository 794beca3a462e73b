#include "test_filters.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "dshow/pos_pass_thru.h"
#include "win32/timing.h"

namespace tlx::dshow::test {

void StateLog::Add(const std::string& entry) {
  std::lock_guard lock(lock_);
  entries_.push_back(entry);
}

std::vector<std::string> StateLog::Take() {
  std::lock_guard lock(lock_);
  return std::exchange(entries_, {});
}

ScriptItem ScriptItem::Sample(std::vector<BYTE> bytes, REFERENCE_TIME start, REFERENCE_TIME stop) {
  ScriptItem item;
  item.bytes = std::move(bytes);
  item.hasTime = true;
  item.start = start;
  item.stop = stop;
  item.sync = true;
  return item;
}

ScriptItem ScriptItem::Untimed(std::vector<BYTE> bytes) {
  ScriptItem item;
  item.bytes = std::move(bytes);
  return item;
}

ScriptItem ScriptItem::EndOfStream() {
  ScriptItem item;
  item.kind = kEndOfStream;
  return item;
}

ScriptItem ScriptItem::Flush() {
  ScriptItem item;
  item.kind = kFlush;
  return item;
}

ScriptItem ScriptItem::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  ScriptItem item;
  item.kind = kNewSegment;
  item.segmentStart = start;
  item.segmentStop = stop;
  item.rate = rate;
  return item;
}

CMediaType SimpleType(REFGUID major, REFGUID sub) {
  CMediaType mt;
  mt.SetType(&major);
  mt.SetSubtype(&sub);
  mt.SetFormatType(&FORMAT_None);
  return mt;
}

// ------------------------------------------------------------ source pin

// Plays the script on the pin's thread. Seeking moves to the first sample
// at or after the new position and rebases the times on it.
class ScriptedSourcePin final : public CSourceStream {
 public:
  ScriptedSourcePin(HRESULT* hr, ScriptedSource* filter)
      : CSourceStream("scripted pin", hr, filter, u"Out"), types_{SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32)} {}

  ~ScriptedSourcePin() override {
    if (seeking_ != nullptr) seeking_->Release();
  }

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IMediaSeeking) {
      if (seeking_ == nullptr) {
        HRESULT hr = S_OK;
        auto* seeking = new Seeking(this, GetOwner(), &hr);
        seeking_ = seeking->GetInnerUnknown();
        seeking_->AddRef();
      }
      return seeking_->QueryInterface(iid, object);
    }
    return CSourceStream::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    std::lock_guard lock(scriptLock_);
    if (static_cast<size_t>(position) >= types_.size()) return VFW_S_NO_MORE_ITEMS;
    return mt->Set(types_[static_cast<size_t>(position)]);
  }

  HRESULT CheckMediaType(const CMediaType* mt) override {
    std::lock_guard lock(scriptLock_);
    return std::find(types_.begin(), types_.end(), *mt) != types_.end() ? S_OK : E_FAIL;
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(wanted.cBuffers, bufferCount_.load());
    wanted.cbBuffer = std::max(wanted.cbBuffer, bufferSize_.load());
    if (wanted.cbAlign < 1) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
  }

  HRESULT FillBuffer(IMediaSample*) override { return S_FALSE; }

  void SetTypes(std::vector<CMediaType> types) {
    std::lock_guard lock(scriptLock_);
    types_ = std::move(types);
  }
  void SetBuffers(LONG count, LONG size) {
    bufferCount_ = count;
    bufferSize_ = size;
  }
  void SetScript(std::vector<ScriptItem> items, bool append) {
    {
      std::lock_guard lock(scriptLock_);
      if (!append) {
        script_.clear();
        next_ = 0;
        played_ = 0;
      }
      for (auto& item : items) script_.push_back(std::move(item));
    }
    moreScript_.Set();
  }
  LONG Played() {
    std::lock_guard lock(scriptLock_);
    return played_;
  }

  // Moves the script to `start` while the pin's thread is held.
  HRESULT Reposition(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    bool running = ThreadExists();
    if (running) {
      DeliverBeginFlush();
      Stop();
    }
    {
      std::lock_guard lock(scriptLock_);
      origin_ = start;
      next_ = script_.size();
      for (size_t i = 0; i < script_.size(); ++i) {
        if (script_[i].kind == ScriptItem::kSample && (!script_[i].hasTime || script_[i].start >= start)) {
          next_ = i;
          break;
        }
      }
      played_ = 0;
    }
    if (running) {
      DeliverEndFlush();
      DeliverNewSegment(start, stop, rate);
      Pause();
    }
    return S_OK;
  }

 protected:
  HRESULT DoBufferProcessingLoop() override {
    for (;;) {
      Command command;
      if (CheckRequest(&command)) {
        if (command == CMD_STOP) return S_FALSE;  // answered by the thread's main loop
        Reply(command == CMD_RUN || command == CMD_PAUSE ? S_OK : static_cast<DWORD>(E_UNEXPECTED));
        continue;
      }
      std::optional<ScriptItem> item;
      REFERENCE_TIME origin;
      {
        std::lock_guard lock(scriptLock_);
        if (next_ < script_.size()) item = script_[next_];
        origin = origin_;
      }
      if (!item) {
        HANDLE waits[2] = {GetRequestHandle(), moreScript_};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        moreScript_.Reset();
        continue;
      }
      if (item->kind == ScriptItem::kSample) {
        HRESULT hr = DeliverItem(*item, origin);
        if (hr == VFW_E_NOT_COMMITTED) {
          Sleep(1);  // decommitted: a stop is on its way
          continue;
        }
      } else if (item->kind == ScriptItem::kEndOfStream) {
        DeliverEndOfStream();
      } else if (item->kind == ScriptItem::kFlush) {
        DeliverBeginFlush();
        DeliverEndFlush();
      } else {
        DeliverNewSegment(item->segmentStart, item->segmentStop, item->rate);
      }
      std::lock_guard lock(scriptLock_);
      ++next_;
      ++played_;
    }
  }

 private:
  class Seeking final : public CSourceSeeking {
   public:
    Seeking(ScriptedSourcePin* pin, IUnknown* outer, HRESULT* hr)
        : CSourceSeeking("scripted seeking", outer, hr, &lock_), pin_(pin) {}

   protected:
    HRESULT ChangeStart() override {
      REFERENCE_TIME start, stop;
      double rate;
      {
        CAutoLock lock(&lock_);
        start = m_rtStart;
        stop = m_rtStop;
        rate = m_dRateSeeking;
      }
      return pin_->Reposition(start, stop, rate);
    }
    HRESULT ChangeStop() override { return S_OK; }
    HRESULT ChangeRate() override { return S_OK; }

   private:
    CCritSec lock_;
    ScriptedSourcePin* pin_;
  };

  HRESULT DeliverItem(const ScriptItem& item, REFERENCE_TIME origin) {
    IMediaSample* sample = nullptr;
    REFERENCE_TIME start = item.start - origin;
    REFERENCE_TIME stop = item.stop - origin;
    HRESULT hr = GetDeliveryBuffer(&sample, item.hasTime ? &start : nullptr, item.hasTime ? &stop : nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = std::min<LONG>(static_cast<LONG>(item.bytes.size()), sample->GetSize());
    if (length > 0) std::memcpy(data, item.bytes.data(), static_cast<size_t>(length));
    sample->SetActualDataLength(length);
    if (item.hasTime) sample->SetTime(&start, item.hasStop ? &stop : nullptr);
    if (item.hasMediaTime) {
      LONGLONG ms = item.mediaStart, me = item.mediaStop;
      sample->SetMediaTime(&ms, &me);
    }
    sample->SetSyncPoint(item.sync);
    sample->SetPreroll(item.preroll);
    sample->SetDiscontinuity(item.discontinuity);
    if (item.type) {
      sample->SetMediaType(const_cast<CMediaType*>(&*item.type));
      SetTypes({*item.type});
    }
    hr = Deliver(sample);
    sample->Release();
    return hr;
  }

  std::mutex scriptLock_;
  std::vector<CMediaType> types_;
  std::vector<ScriptItem> script_;
  size_t next_ = 0;
  LONG played_ = 0;
  REFERENCE_TIME origin_ = 0;
  CAMEvent moreScript_{TRUE};
  std::atomic<LONG> bufferCount_{2};
  std::atomic<LONG> bufferSize_{4096};
  IUnknown* seeking_ = nullptr;
};

// ---------------------------------------------------------------- source

ScriptedSource::ScriptedSource(IUnknown* outer, HRESULT* hr, StateLog* log, const char* name)
    : StateLogging(log, name, "scripted source", outer, CLSID_ScriptedSource, hr) {
  pin_ = new ScriptedSourcePin(hr, this);
}

CUnknown* ScriptedSource::CreateInstance(IUnknown* outer, HRESULT* hr) { return new ScriptedSource(outer, hr); }

HRESULT ScriptedSource::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IScriptedSource) return GetInterface(static_cast<IScriptedSource*>(this), object);
  return StateLogging::NonDelegatingQueryInterface(iid, object);
}

HRESULT ScriptedSource::SetMediaType(const CMediaType& mt) { return SetMediaTypes({mt}); }
HRESULT ScriptedSource::SetMediaTypes(std::vector<CMediaType> types) {
  if (types.empty()) return E_INVALIDARG;
  pin_->SetTypes(std::move(types));
  return S_OK;
}
HRESULT ScriptedSource::SetBuffers(LONG count, LONG size) {
  if (count < 1 || size < 1) return E_INVALIDARG;
  pin_->SetBuffers(count, size);
  return S_OK;
}
HRESULT ScriptedSource::SetScript(std::vector<ScriptItem> items) {
  pin_->SetScript(std::move(items), false);
  return S_OK;
}
HRESULT ScriptedSource::AppendScript(std::vector<ScriptItem> items) {
  pin_->SetScript(std::move(items), true);
  return S_OK;
}
LONG ScriptedSource::Played() { return pin_->Played(); }

// ---------------------------------------------------------------- marker

InPlaceMarker::InPlaceMarker(IUnknown* outer, HRESULT* hr, StateLog* log, const char* name)
    : StateLogging(log, name, "in-place marker", outer, CLSID_InPlaceMarker, hr, true) {}

CUnknown* InPlaceMarker::CreateInstance(IUnknown* outer, HRESULT* hr) { return new InPlaceMarker(outer, hr); }

HRESULT InPlaceMarker::CheckInputType(const CMediaType*) { return S_OK; }

HRESULT InPlaceMarker::Transform(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  for (LONG i = 0, n = sample->GetActualDataLength(); i < n; ++i) ++data[i];
  ++transformed_;
  return S_OK;
}

HRESULT InPlaceMarker::Pause() {
  HRESULT fail = failPause_.exchange(S_OK);
  if (FAILED(fail) && m_State == State_Stopped) {
    Note("Pause");
    return fail;
  }
  return StateLogging::Pause();
}

// ------------------------------------------------------------- allocator

StarvableAllocator::StarvableAllocator(HRESULT* hr) : CMemAllocator("starvable allocator", nullptr, hr) {
  fed_.Set();
}

HRESULT StarvableAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags) {
  while (starved_) {
    if ((flags & AM_GBF_NOWAIT) != 0) return VFW_E_TIMEOUT;
    if (!IsCommitted()) return VFW_E_NOT_COMMITTED;
    fed_.Wait(5);
  }
  const HRESULT hr = CMemAllocator::GetBuffer(sample, start, stop, flags);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(typeLock_);
  if (nextType_) {
    (*sample)->SetMediaType(&*nextType_);
    nextType_.reset();
  }
  return hr;
}

HRESULT StarvableAllocator::Decommit() {
  HRESULT hr = CMemAllocator::Decommit();
  fed_.Set();  // waiters look at the commit state again
  return hr;
}

void StarvableAllocator::SetTypeOfNextBuffer(const CMediaType& type) {
  std::lock_guard lock(typeLock_);
  nextType_ = type;
}

void StarvableAllocator::SetStarved(bool starved) {
  starved_ = starved;
  if (starved) {
    fed_.Reset();
  } else {
    fed_.Set();
  }
}

// -------------------------------------------------------------- renderer

namespace {

// The renderer's pin, offering the starvable allocator and noting segments.
class RecordingPin final : public CRendererInputPin {
 public:
  RecordingPin(RecordingRenderer* renderer, HRESULT* hr) : CRendererInputPin(renderer, hr, u"In"), owner_(renderer) {}

  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override {
    if (allocator == nullptr) return E_POINTER;
    *allocator = owner_->Allocator();
    (*allocator)->AddRef();
    return S_OK;
  }

  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
    owner_->AddEvent("segment " + std::to_string(start));
    return CRendererInputPin::NewSegment(start, stop, rate);
  }

 private:
  RecordingRenderer* owner_;
};

}  // namespace

RecordingRenderer::RecordingRenderer(IUnknown* outer, HRESULT* hr, StateLog* log, const char* name)
    : StateLogging(log, name, CLSID_RecordingRenderer, "recording renderer", outer, hr) {
  allocator_ = new StarvableAllocator(hr);
  allocator_->NonDelegatingAddRef();
}

RecordingRenderer::~RecordingRenderer() {
  ReleaseHeld();
  allocator_->NonDelegatingRelease();
}

CUnknown* RecordingRenderer::CreateInstance(IUnknown* outer, HRESULT* hr) { return new RecordingRenderer(outer, hr); }

HRESULT RecordingRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IRecordingRenderer) return GetInterface(static_cast<IRecordingRenderer*>(this), object);
  return StateLogging::NonDelegatingQueryInterface(iid, object);
}

CBasePin* RecordingRenderer::GetPinInternal() {
  CAutoLock lock(&m_InterfaceLock);
  if (m_pInputPin == nullptr) {
    HRESULT hr = S_OK;
    m_pInputPin = new RecordingPin(this, &hr);
  }
  return m_pInputPin;
}

StarvableAllocator* RecordingRenderer::Allocator() { return allocator_; }

HRESULT RecordingRenderer::Stop() {
  HRESULT hr = StateLogging::Stop();
  ReleaseHeld();
  return hr;
}

HRESULT RecordingRenderer::CheckMediaType(const CMediaType* mt) {
  std::lock_guard lock(recordLock_);
  if (accepted_.empty()) return S_OK;
  for (auto& [major, sub] : accepted_) {
    if (mt->majortype == major && mt->subtype == sub) return S_OK;
  }
  return E_FAIL;
}

HRESULT RecordingRenderer::DoRenderSample(IMediaSample* sample) {
  ReceivedSample r{};
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  r.bytes.assign(data, data + sample->GetActualDataLength());
  r.timeResult = sample->GetTime(&r.start, &r.stop);
  r.mediaTimeResult = sample->GetMediaTime(&r.mediaStart, &r.mediaStop);
  r.sync = sample->IsSyncPoint() == S_OK;
  r.preroll = sample->IsPreroll() == S_OK;
  r.discontinuity = sample->IsDiscontinuity() == S_OK;
  AM_MEDIA_TYPE* type = nullptr;
  if (sample->GetMediaType(&type) == S_OK) {
    r.type = CMediaType(*type);
    DeleteMediaType(type);
  }
  CRefTime now;
  r.presentedAt = SUCCEEDED(StreamTime(now)) ? now.GetUnits() : -1;
  std::lock_guard lock(recordLock_);
  samples_.push_back(std::move(r));
  events_.push_back("sample");
  if (holding_) {
    sample->AddRef();
    held_.push_back(sample);
  }
  return S_OK;
}

HRESULT RecordingRenderer::EndOfStream() {
  AddEvent("eos");
  return CBaseRenderer::EndOfStream();
}

HRESULT RecordingRenderer::BeginFlush() {
  AddEvent("begin-flush");
  ReleaseHeld();
  return CBaseRenderer::BeginFlush();
}

HRESULT RecordingRenderer::EndFlush() {
  AddEvent("end-flush");
  return CBaseRenderer::EndFlush();
}

void RecordingRenderer::AddEvent(const std::string& event) {
  std::lock_guard lock(recordLock_);
  events_.push_back(event);
}

std::vector<ReceivedSample> RecordingRenderer::Samples() {
  std::lock_guard lock(recordLock_);
  return samples_;
}

std::vector<std::string> RecordingRenderer::Events() {
  std::lock_guard lock(recordLock_);
  return events_;
}

void RecordingRenderer::ClearRecords() {
  std::lock_guard lock(recordLock_);
  samples_.clear();
  events_.clear();
}

void RecordingRenderer::SetAcceptedTypes(std::vector<std::pair<GUID, GUID>> types) {
  std::lock_guard lock(recordLock_);
  accepted_ = std::move(types);
}

void RecordingRenderer::SetHolding(bool hold) {
  {
    std::lock_guard lock(recordLock_);
    holding_ = hold;
  }
  if (!hold) ReleaseHeld();
}

size_t RecordingRenderer::HeldSamples() {
  std::lock_guard lock(recordLock_);
  return held_.size();
}

void RecordingRenderer::ReleaseHeld() {
  std::vector<IMediaSample*> held;
  {
    std::lock_guard lock(recordLock_);
    held.swap(held_);
  }
  for (IMediaSample* sample : held) sample->Release();
}

// ----------------------------------------------------------------- clock

ManualClock::ManualClock(HRESULT* hr) : CBaseReferenceClock("manual clock", nullptr, hr) {}
ManualClock::~ManualClock() { StopAdviseThread(); }

}  // namespace tlx::dshow::test
