// The one reader of an RTSP connection that carries RTP and RTCP interleaved:
// '$', a channel byte, a 16-bit big-endian length, then the packet. Any other
// byte that can start an RTSP message starts one; bytes that form neither are
// skipped up to the next '$' or "RTSP/". The buffer outlives single reads, so a partial
// frame or message waits for the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "rtsp/rtsp_message.h"

// Receives the packets of one interleaved channel.
class InterleavedReceiver {
 public:
  virtual ~InterleavedReceiver() = default;
  virtual void handleInterleavedPacket(const uint8_t* data, size_t size) = 0;
  // The connection ended: nothing more will come.
  virtual void handleConnectionClosed() {}
};

class InterleavedDemux {
 public:
  using MessageHandler = std::function<void(const RtspMessage&)>;
  // A message refused as malformed, with the reason.
  using RefusalHandler = std::function<void(const std::string& reason)>;

  void bindChannel(uint8_t channel, InterleavedReceiver* receiver);
  void unbindChannel(uint8_t channel);
  // Unbinds every channel bound to this receiver.
  void unbindReceiver(InterleavedReceiver* receiver);
  // The receiver bound to the channel, or null.
  InterleavedReceiver* receiverOf(uint8_t channel) const;
  void setMessageHandler(MessageHandler handler) { fOnMessage = std::move(handler); }
  void setRefusalHandler(RefusalHandler handler) { fOnRefusal = std::move(handler); }

  // Appends bytes to the buffer without looking at them.
  void append(const void* data, size_t size);
  // Dispatches every whole frame and message at the front of the buffer.
  void process();
  void feed(const void* data, size_t size) {
    append(data, size);
    process();
  }

  enum class HeaderResult { kNeedMore, kDone, kTooLong };
  // Takes an HTTP response header (status line to the empty line) from the
  // front of the buffer, if it is complete within `limit` bytes. What follows
  // it stays for process().
  HeaderResult takeHttpHeader(size_t limit, std::string* header);

  // Frames on channels nothing is bound to, and bytes skipped as junk.
  // Tells every bound receiver, once, that the connection ended.
  void closeAll();

  uint64_t unboundFrames() const { return fUnboundFrames; }
  uint64_t junkBytes() const { return fJunkBytes; }
  size_t buffered() const { return fBuffer.size() - fStart; }
  // Drops the buffered bytes and every channel binding.
  void clear();

 private:
  std::string fBuffer;
  size_t fStart = 0;  // bytes of fBuffer already taken
  bool fProcessing = false;
  RtspMessageParser fParser;
  std::map<uint8_t, InterleavedReceiver*> fChannels;
  MessageHandler fOnMessage;
  RefusalHandler fOnRefusal;
  uint64_t fUnboundFrames = 0;
  uint64_t fJunkBytes = 0;
};
