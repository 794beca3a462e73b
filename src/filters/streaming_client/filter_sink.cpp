#include "filter_sink.h"

#include <cstring>

#include "debug_log.h"

const TlxSinkLayout kVideoSinkLayout{'V', 0x800000, 0x80000, 300, 0xF0F0F0F0u, false};
const TlxSinkLayout kAudioSinkLayout{'A', 0x100000, 20480, 200, 0xE0E0E0E0u, true};

namespace {

constexpr unsigned kInBandHeaderBytes = 12;
constexpr uint32_t kMarkerMagic = 0xD0D0D0D0u;

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint8_t* TlxFrameBuffer::FreeSpace() {
  if (fExtents.empty()) return fBytes.data();
  const size_t head = fExtents.front().offset;
  const size_t tail = fExtents.back().offset + fExtents.back().size;
  if (fExtents.back().offset >= head) {
    if (fBytes.size() - tail >= fLargest) return fBytes.data() + tail;
    if (head >= fLargest) return fBytes.data();
    return nullptr;
  }
  // Wrapped: the free space lies between the newest and the oldest frame.
  if (head - tail >= fLargest) return fBytes.data() + tail;
  return nullptr;
}

void TlxFrameBuffer::Commit(uint8_t* at, unsigned size) { fExtents.push_back({Offset(at), size}); }

void TlxFrameBuffer::ReleaseOldest() {
  if (!fExtents.empty()) fExtents.pop_front();
}

TlxFilterSink::TlxFilterSink(UsageEnvironment& env, const TlxSinkLayout& layout, std::function<void()> onFirstFrame)
    : MediaSink(env),
      fLayout(layout),
      fOnFirstFrame(std::move(onFirstFrame)),
      fRing(layout.ringBytes, layout.largestFrame),
      fScratch(layout.largestFrame) {}

TlxFilterSink::~TlxFilterSink() { stopPlaying(); }

void TlxFilterSink::prepareNextBuffer() {
  std::lock_guard<std::mutex> lock(fLock);
  fTo = fRing.FreeSpace();
  if (fTo == nullptr) fTo = fScratch.data();
}

bool TlxFilterSink::continuePlaying() {
  if (fSource == nullptr) return false;
  prepareNextBuffer();
  fSource->getNextFrame(fTo, fLayout.largestFrame, afterGettingFrame, this, onClosure, this);
  return true;
}

void TlxFilterSink::afterGettingFrame(void* clientData, unsigned frameSize, unsigned numTruncatedBytes,
                                      struct timeval presentationTime, unsigned) {
  auto* sink = static_cast<TlxFilterSink*>(clientData);
  sink->afterGettingFrame(frameSize, numTruncatedBytes, presentationTime);
  sink->continuePlaying();
}

void TlxFilterSink::onClosure(void* clientData) { static_cast<TlxFilterSink*>(clientData)->End(); }

void TlxFilterSink::Drop(const char* why) {
  ++fDropped;
  StreamDebugLog::Instance().Debug("Drop frame %c\t%llu\t%llu\t%s\n", fLayout.medium,
                                   static_cast<unsigned long long>(fReceived),
                                   static_cast<unsigned long long>(fDropped), why);
}

void TlxFilterSink::SignalFirstFrame() {
  if (fSignalled) return;
  fSignalled = true;
  if (fOnFirstFrame) fOnFirstFrame();
}

void TlxFilterSink::afterGettingFrame(unsigned frameSize, unsigned numTruncatedBytes, struct timeval pt) {
  std::unique_lock<std::mutex> lock(fLock);
  uint8_t* data = fTo;
  if (fClosed || fEnded) return;
  if (data == fScratch.data()) return Drop("no room");
  if (numTruncatedBytes > 0) return Drop("truncated");
  if (fLayout.hasMarkers && frameSize >= kInBandHeaderBytes && ReadLe32(data) == kMarkerMagic) {
    fMarkerPending = true;
    SignalFirstFrame();
    StreamDebugLog::Instance().Sink("%ld\t%u\t%u\t%zu\tM\n", static_cast<long>(pt.tv_sec), 0u, frameSize,
                                    fQueue.size());
    return;
  }
  const size_t queued = fQueue.size() - (fFrontTaken ? 1 : 0);
  if (queued >= kDropAt) return Drop("queue");
  if (queued >= fLayout.storeSize) {
    if (fDropWhileFull) return Drop("queue full");
    const bool taken = fChanged.wait_for(lock, kFullQueueWait, [&] {
      return fClosed || fQueue.size() - (fFrontTaken ? 1 : 0) < fLayout.storeSize;
    });
    if (fClosed) return;
    if (!taken) {
      fDropWhileFull = true;
      return Drop("queue full");
    }
  }
  TlxFrameDescr frame;
  frame.data = data;
  frame.size = frameSize;
  if (frameSize >= kInBandHeaderBytes && ReadLe32(data) == fLayout.magic) {
    frame.stampMs = ReadLe32(data + 8);
    frame.offset = kInBandHeaderBytes;
  } else {
    frame.stampMs = static_cast<uint32_t>(static_cast<uint64_t>(pt.tv_sec) * 1000 + pt.tv_usec / 1000);
  }
  frame.marker = fMarkerPending;
  fMarkerPending = false;
  fRing.Commit(data, frameSize);
  fQueue.push_back(frame);
  ++fReceived;
  SignalFirstFrame();
  StreamDebugLog::Instance().Sink("%llu\t%u\t%u\t%zu\t%c\n", static_cast<unsigned long long>(fReceived),
                                  frame.stampMs, frameSize, fQueue.size(), fLayout.medium);
  fChanged.notify_all();
}

void TlxFilterSink::End() {
  std::lock_guard<std::mutex> lock(fLock);
  if (fEnded) return;
  fEnded = true;
  TlxFrameDescr end;
  end.end = true;
  fQueue.push_back(end);
  fChanged.notify_all();
}

TlxFilterSink::Take TlxFilterSink::TakeFrame(TlxFrameDescr* frame) {
  std::unique_lock<std::mutex> lock(fLock);
  if (fFrontTaken) {
    // A frame the pin did not release goes before the next is taken.
    fQueue.pop_front();
    fRing.ReleaseOldest();
    fFrontTaken = false;
  }
  fChanged.wait(lock, [&] { return fClosed || !fQueue.empty(); });
  if (fClosed) return Take::kClosed;
  if (fQueue.front().end) return Take::kEnd;
  *frame = fQueue.front();
  fFrontTaken = true;
  fDropWhileFull = false;
  fChanged.notify_all();
  return Take::kFrame;
}

void TlxFilterSink::ReleaseFrame() {
  std::lock_guard<std::mutex> lock(fLock);
  if (!fFrontTaken) return;
  fQueue.pop_front();
  fRing.ReleaseOldest();
  fFrontTaken = false;
  fChanged.notify_all();
}

void TlxFilterSink::Close() {
  std::lock_guard<std::mutex> lock(fLock);
  fClosed = true;
  fChanged.notify_all();
}

uint64_t TlxFilterSink::framesReceived() {
  std::lock_guard<std::mutex> lock(fLock);
  return fReceived;
}

uint64_t TlxFilterSink::framesDropped() {
  std::lock_guard<std::mutex> lock(fLock);
  return fDropped;
}

size_t TlxFilterSink::queuedFrames() {
  std::lock_guard<std::mutex> lock(fLock);
  return fQueue.size() - (fFrontTaken ? 1 : 0);
}
