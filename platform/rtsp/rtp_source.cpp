#include "rtsp/rtp_source.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Seconds between the NTP epoch (1900) and the Unix epoch (1970).
constexpr int64_t kNtpToUnixSeconds = 2208988800LL;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// An unwrapped timestamp moved by a step; it stops at the ends of its range,
// which only billions of forward steps reach.
int64_t Advance(int64_t ext, int32_t step) {
  int64_t moved = 0;
  if (__builtin_add_overflow(ext, step, &moved)) return step > 0 ? INT64_MAX : INT64_MIN;
  return moved;
}

int64_t WallClockUs() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_usec;
}

// Reads bit fields most significant bit first.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t bits) : fData(data), fBits(bits) {}
  size_t remaining() const { return fBits - fPos; }
  uint32_t read(unsigned n) {
    uint32_t value = 0;
    for (unsigned i = 0; i < n; ++i, ++fPos) {
      value = (value << 1) | ((fData[fPos / 8] >> (7 - fPos % 8)) & 1);
    }
    return value;
  }

 private:
  const uint8_t* fData;
  size_t fBits;
  size_t fPos = 0;
};

}  // namespace

const char* ParseRtpPacket(const uint8_t* data, size_t size, RtpPacketInfo* info) {
  if (size < 12) return "shorter than an RTP header";
  if ((data[0] >> 6) != 2) return "RTP version is not 2";
  const bool padding = (data[0] & 0x20) != 0;
  const bool extension = (data[0] & 0x10) != 0;
  const size_t csrcCount = data[0] & 0x0F;
  size_t offset = 12 + 4 * csrcCount;
  if (offset > size) return "CSRC list beyond the packet";
  if (extension) {
    if (offset + 4 > size) return "header extension beyond the packet";
    offset += 4 + 4 * static_cast<size_t>(Be16(data + offset + 2));
    if (offset > size) return "header extension beyond the packet";
  }
  size_t end = size;
  if (padding) {
    const size_t pad = data[size - 1];
    if (pad == 0 || pad > size - offset) return "padding beyond the payload";
    end -= pad;
  }
  info->marker = (data[1] & 0x80) != 0;
  info->payloadType = data[1] & 0x7F;
  info->seqNum = Be16(data + 2);
  info->timestamp = Be32(data + 4);
  info->ssrc = Be32(data + 8);
  info->payloadOffset = offset;
  info->payloadSize = end - offset;
  return nullptr;
}

RTPSource::RTPSource(UsageEnvironment& env, uint8_t payloadType, unsigned timestampFrequency,
                     AuHeaderLayout auLayout)
    : FramedSource(env),
      fPayloadType(payloadType),
      fTimestampFrequency(std::max(timestampFrequency, 1u)),
      fMaxTimestampStep(kMaxTimestampStepSeconds * fTimestampFrequency),
      fAuLayout(auLayout) {}

std::optional<int32_t> RTPSource::timestampStep(uint32_t from, uint32_t to) const {
  const int32_t step = static_cast<int32_t>(to - from);
  if (step > fMaxTimestampStep || step < -fMaxTimestampStep) return std::nullopt;
  return step;
}

bool RTPSource::hasBeenSynchronizedUsingRTCP() const {
  auto it = fTiming.find(fLastReceivedSSRC);
  return it != fTiming.end() && it->second.reportPlaced;
}

void RTPSource::noteSenderReport(uint32_t ssrc, uint32_t ntpSeconds, uint32_t ntpFraction,
                                 uint32_t rtpTimestamp) {
  if (fTiming.count(ssrc) == 0 && fTiming.size() >= kMaxSenders) return;
  SenderTiming& t = fTiming[ssrc];
  const int64_t reportUs = (static_cast<int64_t>(ntpSeconds) - kNtpToUnixSeconds) * 1000000 +
                           static_cast<int64_t>((static_cast<uint64_t>(ntpFraction) * 1000000) >> 32);
  if (!t.havePackets) {
    t.reportWaiting = true;
    t.reportTimestamp = rtpTimestamp;
    t.reportUs = reportUs;
  } else if (placeReport(t, rtpTimestamp)) {
    t.reportUs = reportUs;
  }
}

bool RTPSource::placeReport(SenderTiming& t, uint32_t rtpTimestamp) {
  const std::optional<int32_t> step = timestampStep(t.lastTimestamp, rtpTimestamp);
  if (!step) {
    envir().log("RTCP sender report dropped: its RTP time is a jump away from the stream's\n");
    return false;
  }
  t.reportExt = Advance(t.extTimestamp, *step);
  t.reportPlaced = true;
  return true;
}

struct timeval RTPSource::presentationTimeFor(uint32_t ssrc, uint32_t timestamp) {
  const SenderTiming& t = fTiming[ssrc];
  const int64_t ext = Advance(t.extTimestamp, static_cast<int32_t>(timestamp - t.lastTimestamp));
  const int64_t baseUs = t.reportPlaced ? t.reportUs : t.firstArrivalUs;
  const int64_t baseExt = t.reportPlaced ? t.reportExt : t.firstExt;
  // 128 bits hold the product for any distance between two 64-bit
  // timestamps; the result is kept within 64-bit microseconds.
  const __int128 exact = baseUs + (static_cast<__int128>(ext) - baseExt) * 1000000 / fTimestampFrequency;
  const int64_t us = static_cast<int64_t>(
      std::clamp<__int128>(exact, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
  struct timeval tv;
  tv.tv_sec = static_cast<time_t>(us / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
  if (tv.tv_usec < 0) {
    tv.tv_usec += 1000000;
    tv.tv_sec -= 1;
  }
  return tv;
}

void RTPSource::handleInterleavedPacket(const uint8_t* data, size_t size) {
  RtpPacketInfo info;
  const char* problem = ParseRtpPacket(data, size, &info);
  if (problem == nullptr && info.payloadType != fPayloadType) problem = "foreign payload type";
  if (problem == nullptr && fTiming.count(info.ssrc) == 0 && fTiming.size() >= kMaxSenders) {
    problem = "too many senders";
  }
  if (problem != nullptr) {
    ++fNumMalformedPackets;
    envir().log(std::string("RTP packet dropped: ") + problem + "\n");
    return;
  }
  fReceptionStats.noteIncomingPacket(info.ssrc, info.seqNum, static_cast<unsigned>(info.payloadSize));
  fLastReceivedSSRC = info.ssrc;

  SenderTiming& t = fTiming[info.ssrc];
  if (!t.havePackets) {
    t.havePackets = true;
    t.lastTimestamp = info.timestamp;
    t.extTimestamp = info.timestamp;
    t.firstExt = t.extTimestamp;
    t.firstArrivalUs = WallClockUs();
    if (t.reportWaiting) placeReport(t, t.reportTimestamp);
    t.reportWaiting = false;
  } else {
    const std::optional<int32_t> step = timestampStep(t.lastTimestamp, info.timestamp);
    if (step) {
      t.extTimestamp = Advance(t.extTimestamp, *step);
    } else {
      envir().log("RTP timestamp jump of " + std::to_string(static_cast<int32_t>(info.timestamp - t.lastTimestamp)) +
                  " ticks: the stream's time goes on from the previous frame\n");
    }
    t.lastTimestamp = info.timestamp;
  }

  const bool gap = fHavePrevious && info.seqNum != static_cast<uint16_t>(fPreviousSeq + 1);
  fHavePrevious = true;
  fPreviousSeq = info.seqNum;
  if (gap && fPartialActive) dropPartial();

  const uint8_t* payload = data + info.payloadOffset;
  if (fAuLayout.sizeLength > 0) {
    handleAuFraming(info, payload);
  } else {
    // A packet after a gap may belong to a frame whose start was lost.
    if (gap) fSkipToMarker = true;
    handleMarkerFraming(info, payload);
  }
}

void RTPSource::dropPartial() {
  fPartialActive = false;
  fPartial.clear();
  ++fNumDroppedFrames;
}

void RTPSource::handleMarkerFraming(const RtpPacketInfo& info, const uint8_t* payload) {
  if (fSkipToMarker) {
    ++fNumDroppedPackets;
    if (info.marker) fSkipToMarker = false;
    return;
  }
  // A new timestamp without the previous frame's marker: that frame is
  // incomplete, this packet begins the next one.
  if (fPartialActive && info.timestamp != fPartialTimestamp) dropPartial();
  if (!fPartialActive) {
    fPartialActive = true;
    fPartialTimestamp = info.timestamp;
    fPartial.clear();
  }
  if (fPartial.size() + info.payloadSize > kMaxFrameBytes) {
    dropPartial();
    fSkipToMarker = !info.marker;
    return;
  }
  fPartial.append(reinterpret_cast<const char*>(payload), info.payloadSize);
  if (info.marker) {
    fPartialActive = false;
    completeFrame(std::move(fPartial), info.timestamp, info.ssrc);
    fPartial.clear();
  }
}

void RTPSource::handleAuFraming(const RtpPacketInfo& info, const uint8_t* payload) {
  auto refuse = [&](const char* why) {
    ++fNumMalformedPackets;
    envir().log(std::string("RTP packet dropped: ") + why + "\n");
  };
  if (info.payloadSize < 2) return refuse("no AU-headers-length");
  const size_t headerBits = Be16(payload);
  const size_t headerBytes = (headerBits + 7) / 8;
  if (2 + headerBytes > info.payloadSize) return refuse("AU headers beyond the payload");
  std::vector<size_t> sizes;
  BitReader bits(payload + 2, headerBits);
  while (bits.remaining() > 0) {
    const unsigned fieldBits = fAuLayout.sizeLength +
                               (sizes.empty() ? fAuLayout.indexLength : fAuLayout.indexDeltaLength);
    if (fieldBits > bits.remaining()) return refuse("AU header section cut short");
    sizes.push_back(bits.read(fAuLayout.sizeLength));
    bits.read(fieldBits - fAuLayout.sizeLength);
  }
  if (sizes.empty()) return refuse("no AU header");
  const uint8_t* data = payload + 2 + headerBytes;
  const size_t dataSize = info.payloadSize - 2 - headerBytes;

  if (fPartialActive) {
    // Only the next fragment of the same AU may follow a fragment.
    if (sizes.size() == 1 && sizes[0] == fPartialExpected && info.timestamp == fPartialTimestamp &&
        fPartial.size() + dataSize <= fPartialExpected) {
      fPartial.append(reinterpret_cast<const char*>(data), dataSize);
      if (!info.marker) return;
      if (fPartial.size() == fPartialExpected) {
        fPartialActive = false;
        completeFrame(std::move(fPartial), info.timestamp, info.ssrc);
        fPartial.clear();
      } else {
        dropPartial();
      }
      return;
    }
    dropPartial();
  }
  if (sizes.size() == 1 && sizes[0] > dataSize) {
    // The last fragment of an AU whose start was lost, or a fragment of one
    // too large to join: each of its packets is dropped as it comes.
    if (info.marker || sizes[0] > kMaxFrameBytes) {
      ++fNumDroppedPackets;
      return;
    }
    fPartialActive = true;
    fPartialExpected = sizes[0];
    fPartialTimestamp = info.timestamp;
    fPartial.assign(reinterpret_cast<const char*>(data), dataSize);
    return;
  }
  size_t total = 0;
  for (size_t s : sizes) total += s;
  if (total != dataSize) return refuse("AU sizes do not match the payload");
  for (size_t s : sizes) {
    completeFrame(std::string(reinterpret_cast<const char*>(data), s), info.timestamp, info.ssrc);
    data += s;
  }
}

void RTPSource::completeFrame(std::string data, uint32_t timestamp, uint32_t ssrc) {
  fQueuedBytes += data.size();
  fQueue.push_back(Frame{std::move(data), presentationTimeFor(ssrc, timestamp)});
  while (fQueue.size() > kMaxQueuedFrames || (fQueue.size() > 1 && fQueuedBytes > kMaxQueuedBytes)) {
    fQueuedBytes -= fQueue.front().data.size();
    fQueue.pop_front();
    ++fNumDroppedFrames;
  }
  deliverQueued();
}

void RTPSource::doGetNextFrame() { deliverQueued(); }

void RTPSource::deliverQueued() {
  // A request made from inside the callback is served by this loop, not by a
  // deeper call.
  if (fDelivering) return;
  fDelivering = true;
  while (isCurrentlyAwaitingData() && !fQueue.empty()) {
    Frame frame = std::move(fQueue.front());
    fQueue.pop_front();
    fQueuedBytes -= frame.data.size();
    const size_t n = std::min<size_t>(frame.data.size(), fMaxSize);
    if (n > 0) std::memcpy(fTo, frame.data.data(), n);
    fFrameSize = static_cast<unsigned>(n);
    fNumTruncatedBytes = static_cast<unsigned>(frame.data.size() - n);
    fPresentationTime = frame.presentationTime;
    fDurationInMicroseconds = 0;
    afterGetting(this);
  }
  fDelivering = false;
}
