#include "mp4source/mp4_file_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "dshow/pos_pass_thru.h"
#include "dshow/source.h"
#include "stream_reader.h"
#include "stream_types.h"
#include "win32/text.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tlx::mp4source {
namespace {

// Buffers each output pin asks of its allocator.
constexpr LONG kVideoBuffers = 8;
constexpr LONG kAudioBuffers = 16;
// Buffer sizes when the file's index lists no samples.
constexpr size_t kUnindexedVideoBuffer = 1 << 20;
constexpr size_t kUnindexedAudioBuffer = 1 << 16;
// No buffer is made larger, whatever a damaged index claims; a sample above
// it is skipped.
constexpr size_t kLargestBuffer = 8 << 20;
// Room for the parameter sets and start codes the byte-stream conversion
// adds to an access unit.
constexpr size_t kAnnexBGrowth = 1024;

class Mp4FileSource;

// Where the pins play from and to, in the file's time counted from its
// origin; the source restarts its pins when the start moves.
class SourcePositions final : public CSourceSeeking {
 public:
  SourcePositions(Mp4FileSource* source, IUnknown* outer);

  void SetDuration(REFERENCE_TIME duration) {
    CAutoLock lock(&lock_);
    m_rtDuration = duration;
    m_rtStop = duration;
  }
  void Get(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    CAutoLock lock(&lock_);
    *start = m_rtStart;
    *stop = m_rtStop;
  }
  REFERENCE_TIME Stop() {
    CAutoLock lock(&lock_);
    return m_rtStop;
  }

 protected:
  HRESULT ChangeStart() override;
  // The pins read the stop as they go.
  HRESULT ChangeStop() override { return S_OK; }
  // Files play at their own speed.
  HRESULT ChangeRate() override {
    CAutoLock lock(&lock_);
    if (m_dRateSeeking == 1.0) return S_OK;
    m_dRateSeeking = 1.0;
    return E_NOTIMPL;
  }

 private:
  CCritSec lock_;
  Mp4FileSource* source_;
};

struct PinSetup {
  std::unique_ptr<StreamReader> reader;
  CMediaType type;
  bool audio = false;
  size_t bufferSize = 0;
  REFERENCE_TIME origin = 0;
  int sampleRate = 0;
};

class Mp4StreamPin final : public CSourceStream {
 public:
  Mp4StreamPin(Mp4FileSource* source, HRESULT* hr, LPCWSTR name, PinSetup setup);

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  HRESULT GetMediaType(CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT OnThreadStartPlay() override;
  HRESULT FillBuffer(IMediaSample* sample) override;

  // Flushes downstream and restarts the pin's thread from the current start.
  void Restart();

 private:
  Mp4FileSource* source_;
  PinSetup setup_;
  // Stream thread only.
  REFERENCE_TIME segmentStart_ = 0;
  bool discontinuity_ = true;
  bool ended_ = false;
};

class Mp4FileSource final : public CSource, public IFileSourceFilter {
 public:
  Mp4FileSource(IUnknown* outer, HRESULT* hr)
      : CSource("MP4 file source", outer, CLSID_TlxMp4FileSource, hr), positions_(this, GetOwner()) {}

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    if (iid == IID_IMediaSeeking) return SeekingInterface(object);
    return CSource::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT SeekingInterface(void** object) { return positions_.NonDelegatingQueryInterface(IID_IMediaSeeking, object); }
  SourcePositions& Positions() { return positions_; }

  STDMETHODIMP Load(LPCOLESTR file, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP GetCurFile(LPOLESTR* file, AM_MEDIA_TYPE* mt) override;

  // Every pin starts again from the current start.
  HRESULT RestartPins() {
    CAutoLock lock(&m_cStateLock);
    for (CSourceStream* pin : m_paStreams) static_cast<Mp4StreamPin*>(pin)->Restart();
    return S_OK;
  }

 private:
  HRESULT AddStreamPin(const std::string& path, int index, bool video, const FileLayout& layout);

  SourcePositions positions_;
  std::u16string file_;
};

// ------------------------------------------------------------- positions

SourcePositions::SourcePositions(Mp4FileSource* source, IUnknown* outer)
    : CSourceSeeking("MP4 file source positions", outer, nullptr, &lock_), source_(source) {}

HRESULT SourcePositions::ChangeStart() { return source_->RestartPins(); }

// ------------------------------------------------------------------ pins

Mp4StreamPin::Mp4StreamPin(Mp4FileSource* source, HRESULT* hr, LPCWSTR name, PinSetup setup)
    : CSourceStream("MP4 stream", hr, source, name), source_(source), setup_(std::move(setup)) {}

HRESULT Mp4StreamPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaSeeking) return source_->SeekingInterface(object);
  return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

HRESULT Mp4StreamPin::GetMediaType(CMediaType* mt) {
  *mt = setup_.type;
  return S_OK;
}

HRESULT Mp4StreamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = std::max(request->cBuffers, setup_.audio ? kAudioBuffers : kVideoBuffers);
  request->cbBuffer = std::max(request->cbBuffer, static_cast<LONG>(setup_.bufferSize));
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < static_cast<LONG>(setup_.bufferSize) || actual.cBuffers < 1 ? E_FAIL : S_OK;
}

HRESULT Mp4StreamPin::OnThreadStartPlay() {
  REFERENCE_TIME stop;
  source_->Positions().Get(&segmentStart_, &stop);
  discontinuity_ = true;
  // From the start, the file plays from its first packet.
  ended_ = !(segmentStart_ <= 0 ? setup_.reader->SeekToFirst() : setup_.reader->Seek(segmentStart_ + setup_.origin));
  if (ended_) std::fprintf(stderr, "mp4 source: cannot seek to %lld\n", static_cast<long long>(segmentStart_));
  return DeliverNewSegment(segmentStart_, stop, 1.0);
}

HRESULT Mp4StreamPin::FillBuffer(IMediaSample* sample) {
  StreamReader& reader = *setup_.reader;
  for (;;) {
    if (ended_) return S_FALSE;
    std::string error;
    StreamReader::Result result = reader.Next(&error);
    if (int skipped = reader.TakeSkipped(); skipped > 0) {
      std::fprintf(stderr, "mp4 source: %d damaged sample(s) of stream %d skipped\n", skipped, reader.Stream().index);
      discontinuity_ = true;
    }
    if (result == StreamReader::Result::kError) std::fprintf(stderr, "mp4 source: %s\n", error.c_str());
    if (result != StreamReader::Result::kPacket) {
      ended_ = true;
      return S_FALSE;
    }
    if (reader.Size() > static_cast<size_t>(sample->GetSize())) {
      std::fprintf(stderr, "mp4 source: a sample of %zu bytes in stream %d is larger than its buffer; skipped\n",
                   reader.Size(), reader.Stream().index);
      discontinuity_ = true;
      continue;
    }
    const Time100ns at = reader.Start();
    if (at != kNoTime && at - setup_.origin >= source_->Positions().Stop()) {
      ended_ = true;
      return S_FALSE;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, reader.Data(), reader.Size());
    sample->SetActualDataLength(static_cast<LONG>(reader.Size()));
    if (at != kNoTime) {
      REFERENCE_TIME start = at - setup_.origin - segmentStart_;
      REFERENCE_TIME stop = start + reader.Duration();
      sample->SetTime(&start, reader.Duration() > 0 ? &stop : nullptr);
      if (setup_.audio && setup_.sampleRate > 0) {
        // The first PCM sample's number; bit 0 stays clear, as it would mark
        // the unit for catch-up.
        LONGLONG first = av_rescale(at - setup_.origin, setup_.sampleRate, 10000000) & ~LONGLONG{1};
        LONGLONG last = first + av_rescale(reader.Duration(), setup_.sampleRate, 10000000);
        sample->SetMediaTime(&first, &last);
      }
    }
    sample->SetSyncPoint(reader.IsKeyFrame());
    sample->SetDiscontinuity(discontinuity_);
    discontinuity_ = false;
    return S_OK;
  }
}

void Mp4StreamPin::Restart() {
  if (!ThreadExists()) return;
  DeliverBeginFlush();
  Stop();
  DeliverEndFlush();
  Pause();
}

// ---------------------------------------------------------------- filter

HRESULT Mp4FileSource::AddStreamPin(const std::string& path, int index, bool video, const FileLayout& layout) {
  PinSetup setup;
  std::string error;
  bool annexB = false;
  if (video) {
    // H.264 that cannot be turned into a byte stream is offered as other video.
    setup.reader = StreamReader::Open(path, index, true, &error);
    annexB = setup.reader != nullptr;
    if (!annexB) setup.reader = StreamReader::Open(path, index, false, &error);
  } else {
    setup.reader = StreamReader::Open(path, index, false, &error);
  }
  if (!setup.reader) {
    std::fprintf(stderr, "mp4 source: %s\n", error.c_str());
    return E_FAIL;
  }
  const AVStream& stream = setup.reader->Stream();
  setup.type = video ? VideoType(stream, annexB) : AudioType(stream);
  if (!setup.type.IsValid()) return E_OUTOFMEMORY;
  setup.audio = !video;
  setup.origin = layout.origin;
  setup.sampleRate = stream.codecpar->sample_rate;
  const size_t largest = video ? layout.largestVideo : layout.largestAudio;
  if (largest == 0) {
    setup.bufferSize = video ? kUnindexedVideoBuffer : kUnindexedAudioBuffer;
  } else {
    const size_t growth = annexB ? kAnnexBGrowth + 2 * static_cast<size_t>(stream.codecpar->extradata_size) : 0;
    setup.bufferSize = std::min(largest + growth, kLargestBuffer);
  }
  HRESULT hr = S_OK;
  new Mp4StreamPin(this, &hr, video ? u"Video" : u"Audio", std::move(setup));
  return hr;
}

HRESULT Mp4FileSource::Load(LPCOLESTR file, const AM_MEDIA_TYPE*) {
  if (file == nullptr) return E_POINTER;
  CAutoLock lock(&m_cStateLock);
  if (!m_paStreams.empty()) return E_UNEXPECTED;
  std::u16string name(file, win32::WideLength(file));
  const std::string path = win32::Utf16ToUtf8(name);
  FileLayout layout;
  std::string error;
  if (!ProbeFile(path, &layout, &error)) {
    std::fprintf(stderr, "mp4 source: %s\n", error.c_str());
    return E_FAIL;
  }
  if (layout.video < 0 && layout.audio < 0) {
    std::fprintf(stderr, "mp4 source: %s has neither video nor audio\n", path.c_str());
    return E_FAIL;
  }
  HRESULT hr = S_OK;
  if (layout.video >= 0) hr = AddStreamPin(path, layout.video, true, layout);
  if (SUCCEEDED(hr) && layout.audio >= 0) hr = AddStreamPin(path, layout.audio, false, layout);
  if (FAILED(hr)) {
    while (!m_paStreams.empty()) delete m_paStreams.back();
    return hr;
  }
  positions_.SetDuration(layout.duration);
  file_ = std::move(name);
  return S_OK;
}

HRESULT Mp4FileSource::GetCurFile(LPOLESTR* file, AM_MEDIA_TYPE* mt) {
  if (file == nullptr) return E_POINTER;
  CAutoLock lock(&m_cStateLock);
  *file = nullptr;
  if (file_.empty()) return E_FAIL;
  *file = CoTaskStringCopy(file_);
  if (*file == nullptr) return E_OUTOFMEMORY;
  // Load takes no type, so none is kept.
  if (mt != nullptr) std::memset(mt, 0, sizeof *mt);
  return S_OK;
}

}  // namespace

CUnknown* CreateMp4FileSource(IUnknown* outer, HRESULT* hr) { return new Mp4FileSource(outer, hr); }

}  // namespace tlx::mp4source
