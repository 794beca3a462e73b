// Hand-built RTP and RTCP packets and a sink that keeps what it receives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtsp/media_sink.h"

inline void PutBe16(std::string* s, unsigned v) {
  s->push_back(static_cast<char>(v >> 8));
  s->push_back(static_cast<char>(v));
}
inline void PutBe32(std::string* s, uint32_t v) {
  PutBe16(s, v >> 16);
  PutBe16(s, v & 0xFFFF);
}

struct RtpFields {
  uint16_t seq = 0;
  uint32_t ts = 0;
  bool marker = false;
  uint8_t pt = 97;
  uint32_t ssrc = 0x11223344;
};

inline std::string RtpPacket(const RtpFields& fields, const std::string& payload) {
  std::string p;
  p.push_back(static_cast<char>(0x80));
  p.push_back(static_cast<char>((fields.marker ? 0x80 : 0) | fields.pt));
  PutBe16(&p, fields.seq);
  PutBe32(&p, fields.ts);
  PutBe32(&p, fields.ssrc);
  return p + payload;
}

// An AU header section (13-bit sizes, 3-bit index fields) followed by the AUs.
inline std::string AuPayload(const std::vector<std::string>& aus, size_t wholeSize = 0) {
  std::string p;
  PutBe16(&p, static_cast<unsigned>(16 * aus.size()));
  for (const std::string& au : aus) PutBe16(&p, static_cast<unsigned>((wholeSize ? wholeSize : au.size()) << 3));
  for (const std::string& au : aus) p += au;
  return p;
}

inline std::string SenderReport(uint32_t ssrc, uint32_t ntpSec, uint32_t ntpFrac, uint32_t rtpTs,
                                int reportBlocks = 0) {
  std::string p;
  p.push_back(static_cast<char>(0x80 | reportBlocks));
  p.push_back(static_cast<char>(200));
  PutBe16(&p, static_cast<unsigned>(6 + 6 * reportBlocks));
  PutBe32(&p, ssrc);
  PutBe32(&p, ntpSec);
  PutBe32(&p, ntpFrac);
  PutBe32(&p, rtpTs);
  PutBe32(&p, 10);
  PutBe32(&p, 1000);
  p += std::string(24 * reportBlocks, '\0');
  return p;
}

inline std::string RtcpPart(uint8_t type, int count, const std::string& body) {
  std::string p;
  p.push_back(static_cast<char>(0x80 | count));
  p.push_back(static_cast<char>(type));
  PutBe16(&p, static_cast<unsigned>(body.size() / 4));
  return p + body;
}

// Pulls frames into a buffer of maxSize bytes and keeps them.
class CollectingSink : public MediaSink {
 public:
  struct Frame {
    std::string data;
    unsigned truncated;
    struct timeval time;
  };
  CollectingSink(UsageEnvironment& env, unsigned maxSize) : MediaSink(env), fBuffer(maxSize) {}

  std::vector<Frame> frames;
  bool closed = false;

 protected:
  bool continuePlaying() override {
    fSource->getNextFrame(fBuffer.data(), static_cast<unsigned>(fBuffer.size()), AfterGetting, this,
                          onSourceClosure, this);
    return true;
  }

 private:
  static void AfterGetting(void* data, unsigned size, unsigned truncated, struct timeval time,
                           unsigned) {
    auto* self = static_cast<CollectingSink*>(data);
    self->frames.push_back(Frame{std::string(reinterpret_cast<char*>(self->fBuffer.data()), size),
                                 truncated, time});
    if (self->fSource != nullptr) self->continuePlaying();
  }
  std::vector<unsigned char> fBuffer;
};
