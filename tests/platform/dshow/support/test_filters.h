// Filters for tests of anything built on the filter layer: a pushing source
// that plays a script, an in-place transform, a renderer that records what it
// receives, and a clock the test sets by hand. The source and the renderer
// also answer private interfaces, so a test can drive copies made by the test
// filter module.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dshow/base_renderer.h"
#include "dshow/media_sample.h"
#include "dshow/reference_clock.h"
#include "dshow/source.h"
#include "dshow/transform_filter.h"

namespace tlx::dshow::test {

// {6E2B7A31-9C1D-4F55-8D2E-1A0B3C4D5E01} and on.
inline constexpr CLSID CLSID_ScriptedSource{0x6E2B7A31, 0x9C1D, 0x4F55, {0x8D, 0x2E, 0x1A, 0x0B, 0x3C, 0x4D, 0x5E, 0x01}};
inline constexpr CLSID CLSID_InPlaceMarker{0x6E2B7A31, 0x9C1D, 0x4F55, {0x8D, 0x2E, 0x1A, 0x0B, 0x3C, 0x4D, 0x5E, 0x02}};
inline constexpr CLSID CLSID_RecordingRenderer{0x6E2B7A31, 0x9C1D, 0x4F55,
                                               {0x8D, 0x2E, 0x1A, 0x0B, 0x3C, 0x4D, 0x5E, 0x03}};
inline constexpr IID IID_IScriptedSource{0x6E2B7A31, 0x9C1D, 0x4F55, {0x8D, 0x2E, 0x1A, 0x0B, 0x3C, 0x4D, 0x5E, 0x11}};
inline constexpr IID IID_IRecordingRenderer{0x6E2B7A31, 0x9C1D, 0x4F55,
                                            {0x8D, 0x2E, 0x1A, 0x0B, 0x3C, 0x4D, 0x5E, 0x12}};

inline constexpr const char16_t* kScriptedSourceName = u"Test Scripted Source";
inline constexpr const char16_t* kInPlaceMarkerName = u"Test In-Place Marker";
inline constexpr const char16_t* kRecordingRendererName = u"Test Recording Renderer";

// The order in which filters changed state, as "name:Pause" and so on.
class StateLog {
 public:
  void Add(const std::string& entry);
  std::vector<std::string> Take();

 private:
  std::mutex lock_;
  std::vector<std::string> entries_;
};

// One step of a source's script.
struct ScriptItem {
  enum Kind { kSample, kEndOfStream, kFlush, kNewSegment };
  Kind kind = kSample;
  std::vector<BYTE> bytes;
  bool hasTime = false;
  bool hasStop = true;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool hasMediaTime = false;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  bool sync = false;
  bool preroll = false;
  bool discontinuity = false;
  std::optional<CMediaType> type;  // travels with the sample and becomes the pin's type
  REFERENCE_TIME segmentStart = 0;
  REFERENCE_TIME segmentStop = 0;
  double rate = 1.0;

  static ScriptItem Sample(std::vector<BYTE> bytes, REFERENCE_TIME start, REFERENCE_TIME stop);
  static ScriptItem Untimed(std::vector<BYTE> bytes);
  static ScriptItem EndOfStream();
  static ScriptItem Flush();
  static ScriptItem NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
};

struct IScriptedSource : IUnknown {
  // Offers only this type.
  virtual HRESULT SetMediaType(const CMediaType& mt) = 0;
  // Offers these types in this order and accepts any of them.
  virtual HRESULT SetMediaTypes(std::vector<CMediaType> types) = 0;
  // The buffers asked of the allocator.
  virtual HRESULT SetBuffers(LONG count, LONG size) = 0;
  // Replaces the script; a running pin plays new items as they come.
  virtual HRESULT SetScript(std::vector<ScriptItem> items) = 0;
  virtual HRESULT AppendScript(std::vector<ScriptItem> items) = 0;
  // Items played since the last start or seek.
  virtual LONG Played() = 0;
};

// What the renderer saw, in order.
struct ReceivedSample {
  std::vector<BYTE> bytes;
  HRESULT timeResult;
  REFERENCE_TIME start;
  REFERENCE_TIME stop;
  HRESULT mediaTimeResult;
  LONGLONG mediaStart;
  LONGLONG mediaStop;
  bool sync;
  bool preroll;
  bool discontinuity;
  std::optional<CMediaType> type;
  // Stream time when it was presented (without a clock: -1).
  REFERENCE_TIME presentedAt;
};

struct IRecordingRenderer : IUnknown {
  virtual std::vector<ReceivedSample> Samples() = 0;
  // "sample", "eos", "begin-flush", "end-flush", "segment <start>".
  virtual std::vector<std::string> Events() = 0;
  virtual void ClearRecords() = 0;
};

// Notes Stop, Pause and Run of a filter in a state log.
template <typename Base>
class StateLogging : public Base {
 public:
  template <typename... Args>
  StateLogging(StateLog* log, const char* name, Args&&... args)
      : Base(std::forward<Args>(args)...), log_(log), name_(name) {}

  STDMETHODIMP Stop() override {
    Note("Stop");
    return Base::Stop();
  }
  STDMETHODIMP Pause() override {
    Note("Pause");
    return Base::Pause();
  }
  STDMETHODIMP Run(REFERENCE_TIME start) override {
    Note("Run");
    return Base::Run(start);
  }

 protected:
  void Note(const char* what) {
    if (log_ != nullptr) log_->Add(name_ + ":" + what);
  }

 private:
  StateLog* log_;
  std::string name_;
};

class ScriptedSourcePin;

class ScriptedSource final : public StateLogging<CSource>, public IScriptedSource {
 public:
  ScriptedSource(IUnknown* outer, HRESULT* hr, StateLog* log = nullptr, const char* name = "source");
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT SetMediaType(const CMediaType& mt) override;
  HRESULT SetMediaTypes(std::vector<CMediaType> types) override;
  HRESULT SetBuffers(LONG count, LONG size) override;
  HRESULT SetScript(std::vector<ScriptItem> items) override;
  HRESULT AppendScript(std::vector<ScriptItem> items) override;
  LONG Played() override;

  ScriptedSourcePin* Pin() { return pin_; }

 private:
  ScriptedSourcePin* pin_;
};

// Changes each byte in place (adds one), so a test sees it passed through.
class InPlaceMarker final : public StateLogging<CTransInPlaceFilter> {
 public:
  InPlaceMarker(IUnknown* outer, HRESULT* hr, StateLog* log = nullptr, const char* name = "marker");
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  HRESULT CheckInputType(const CMediaType* mt) override;
  HRESULT Transform(IMediaSample* sample) override;
  STDMETHODIMP Pause() override;

  // The next Pause from Stopped fails with this result.
  void FailNextPause(HRESULT hr) { failPause_ = hr; }
  LONG Transformed() const { return transformed_; }

 private:
  std::atomic<HRESULT> failPause_{S_OK};
  std::atomic<LONG> transformed_{0};
};

// A memory allocator that can be told to have no buffer for a while, and to
// attach a media type to a buffer it hands out, as a renderer's allocator
// does when the renderer asks for a new format.
class StarvableAllocator final : public CMemAllocator {
 public:
  StarvableAllocator(HRESULT* hr);
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
  STDMETHODIMP Decommit() override;
  void SetStarved(bool starved);
  // The next buffer handed out carries this type; later ones carry none.
  void SetTypeOfNextBuffer(const CMediaType& type);

 private:
  std::atomic<bool> starved_{false};
  CAMEvent fed_{TRUE};
  std::mutex typeLock_;
  std::optional<CMediaType> nextType_;
};

class RecordingRenderer final : public StateLogging<CBaseRenderer>, public IRecordingRenderer {
 public:
  RecordingRenderer(IUnknown* outer, HRESULT* hr, StateLog* log = nullptr, const char* name = "renderer");
  ~RecordingRenderer() override;
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  STDMETHODIMP Stop() override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  CBasePin* GetPinInternal() override;

  std::vector<ReceivedSample> Samples() override;
  std::vector<std::string> Events() override;
  void ClearRecords() override;

  // Types the pin accepts (major type, subtype); none means any.
  void SetAcceptedTypes(std::vector<std::pair<GUID, GUID>> types);
  // Holding keeps every received sample, so the upstream allocator runs dry.
  void SetHolding(bool hold);
  size_t HeldSamples();
  StarvableAllocator* Allocator();
  void AddEvent(const std::string& event);

 private:
  void ReleaseHeld();

  std::mutex recordLock_;
  std::vector<ReceivedSample> samples_;
  std::vector<std::string> events_;
  std::vector<std::pair<GUID, GUID>> accepted_;
  bool holding_ = false;
  std::vector<IMediaSample*> held_;
  StarvableAllocator* allocator_ = nullptr;  // with a reference
};

// A clock whose time the test sets.
class ManualClock final : public CBaseReferenceClock {
 public:
  explicit ManualClock(HRESULT* hr);
  ~ManualClock() override;
  REFERENCE_TIME GetPrivateTime() override { return time_; }
  void SetTime(REFERENCE_TIME time) { time_ = time; }
  void Advance(REFERENCE_TIME delta) { time_ += delta; }

 private:
  std::atomic<REFERENCE_TIME> time_{1};
};

// A property page's site that keeps the status changes it is told of.
class RecordingPageSite final : public IPropertyPageSite {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT OnStatusChange(DWORD flags) override {
    changes.push_back(flags);
    return S_OK;
  }
  HRESULT GetLocaleID(LCID*) override { return E_NOTIMPL; }
  HRESULT GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  std::vector<DWORD> changes;
};

// A media type with major type and subtype and no format block.
CMediaType SimpleType(REFGUID major, REFGUID sub);

}  // namespace tlx::dshow::test
