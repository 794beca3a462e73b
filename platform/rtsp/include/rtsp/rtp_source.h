// An RTP stream received on an interleaved channel, turned back into frames.
// Two framings: access units with RFC 3640 AU headers (when the stream has a
// size length), otherwise payloads joined up to the marker bit. Frames carry a
// presentation time from the sender's reports, or from the arrival of the
// stream's first packet until a report comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "rtsp/interleaved_demux.h"
#include "rtsp/media_sink.h"
#include "rtsp/reception_stats.h"

// The fixed part of an RTP packet and where its payload lies.
struct RtpPacketInfo {
  bool marker = false;
  uint8_t payloadType = 0;
  uint16_t seqNum = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  size_t payloadOffset = 0;
  size_t payloadSize = 0;
};

// Checks the version, skips the CSRC list and the header extension, removes
// the padding, and checks every length against the packet. Returns null on
// success, else the reason.
const char* ParseRtpPacket(const uint8_t* data, size_t size, RtpPacketInfo* info);

// Bit widths of the RFC 3640 AU header fields; sizeLength 0 selects the
// marker framing.
struct AuHeaderLayout {
  unsigned sizeLength = 0;
  unsigned indexLength = 0;
  unsigned indexDeltaLength = 0;
};

class RTPSource : public FramedSource, public InterleavedReceiver {
 public:
  // Frames completed while no request is pending wait in a queue of at most
  // this many frames and bytes; beyond either the oldest are dropped (the
  // newest frame is always kept).
  static constexpr size_t kMaxQueuedFrames = 32;
  static constexpr size_t kMaxQueuedBytes = 4 * 1024 * 1024;
  // A frame joined from more bytes than this is dropped: no sender of ours
  // makes one, and the join must not grow without bound.
  static constexpr size_t kMaxFrameBytes = 4 * 1024 * 1024;
  // Senders (SSRCs) kept apart; packets and reports of further ones are
  // dropped, so a stream of made-up SSRCs cannot grow the tables.
  static constexpr size_t kMaxSenders = 16;
  // A sender's timestamps step by less than this between two packets. A
  // larger step is a jump of its clock, not time passing: the frame takes the
  // presentation time of the one before, and the stream goes on from there.
  // A sender report whose RTP time lies this far from the sender's packets
  // cannot place them and is not used.
  static constexpr int64_t kMaxTimestampStepSeconds = 10;

  RTPSource(UsageEnvironment& env, uint8_t payloadType, unsigned timestampFrequency,
            AuHeaderLayout auLayout);

  void handleInterleavedPacket(const uint8_t* data, size_t size) override;
  // The source closes: its sink hears of it through its close function.
  void handleConnectionClosed() override { handleClosure(); }

  uint8_t rtpPayloadFormat() const { return fPayloadType; }
  unsigned timestampFrequency() const { return fTimestampFrequency; }
  RTPReceptionStatsDB& receptionStatsDB() { return fReceptionStats; }
  uint32_t lastReceivedSSRC() const { return fLastReceivedSSRC; }
  // Whether the presentation times of the last sender come from its report.
  bool hasBeenSynchronizedUsingRTCP() const;

  // A sender report: at NTP time ntpSeconds.ntpFraction the sender's RTP clock
  // read rtpTimestamp.
  void noteSenderReport(uint32_t ssrc, uint32_t ntpSeconds, uint32_t ntpFraction,
                        uint32_t rtpTimestamp);

  // Packets refused by the checks; packets skipped up to the next marker or
  // carrying part of an access unit larger than kMaxFrameBytes; and frames
  // lost: partial ones dropped at a gap, and frames pushed out of a full
  // queue.
  uint64_t numMalformedPackets() const { return fNumMalformedPackets; }
  uint64_t numDroppedPackets() const { return fNumDroppedPackets; }
  uint64_t numDroppedFrames() const { return fNumDroppedFrames; }

 protected:
  void doGetNextFrame() override;

 private:
  struct Frame {
    std::string data;
    struct timeval presentationTime;
  };
  // Per sender: the running (unwrapped) timestamp and the two time bases.
  struct SenderTiming {
    bool havePackets = false;
    uint32_t lastTimestamp = 0;
    int64_t extTimestamp = 0;   // lastTimestamp unwrapped, jumps left out
    int64_t firstExt = 0;       // the first packet's unwrapped timestamp
    int64_t firstArrivalUs = 0;  // its arrival, Unix time in microseconds
    bool reportWaiting = false;  // a report came before the first packet
    uint32_t reportTimestamp = 0;  // its RTP time
    bool reportPlaced = false;   // reportExt is on the running scale
    int64_t reportExt = 0;
    int64_t reportUs = 0;        // the report's NTP time as Unix microseconds
  };

  struct timeval presentationTimeFor(uint32_t ssrc, uint32_t timestamp);
  // The step from one timestamp to another on the sender's clock, or nothing
  // when it is a jump.
  std::optional<int32_t> timestampStep(uint32_t from, uint32_t to) const;
  // Puts a report's RTP time on the sender's running timestamp; false (the
  // report dropped, an earlier one kept) when it is a jump away from the
  // last packet's.
  bool placeReport(SenderTiming& t, uint32_t rtpTimestamp);
  void handleMarkerFraming(const RtpPacketInfo& info, const uint8_t* payload);
  void handleAuFraming(const RtpPacketInfo& info, const uint8_t* payload);
  void completeFrame(std::string data, uint32_t timestamp, uint32_t ssrc);
  void dropPartial();
  void deliverQueued();

  uint8_t fPayloadType;
  unsigned fTimestampFrequency;
  int64_t fMaxTimestampStep;  // kMaxTimestampStepSeconds in clock ticks
  AuHeaderLayout fAuLayout;
  RTPReceptionStatsDB fReceptionStats;
  std::map<uint32_t, SenderTiming> fTiming;
  uint32_t fLastReceivedSSRC = 0;

  // Framing state.
  bool fHavePrevious = false;
  uint16_t fPreviousSeq = 0;
  std::string fPartial;
  bool fPartialActive = false;
  uint32_t fPartialTimestamp = 0;
  size_t fPartialExpected = 0;  // AU mode: the fragmented AU's whole size
  bool fSkipToMarker = false;

  std::deque<Frame> fQueue;
  size_t fQueuedBytes = 0;
  bool fDelivering = false;
  uint64_t fNumMalformedPackets = 0;
  uint64_t fNumDroppedPackets = 0;
  uint64_t fNumDroppedFrames = 0;
};
