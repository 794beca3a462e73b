#include "rtsp/interleaved_demux.h"

#include <algorithm>
#include <string_view>
#include <vector>

void InterleavedDemux::bindChannel(uint8_t channel, InterleavedReceiver* receiver) {
  fChannels[channel] = receiver;
}

void InterleavedDemux::unbindChannel(uint8_t channel) { fChannels.erase(channel); }

void InterleavedDemux::unbindReceiver(InterleavedReceiver* receiver) {
  std::erase_if(fChannels, [&](const auto& entry) { return entry.second == receiver; });
}

InterleavedReceiver* InterleavedDemux::receiverOf(uint8_t channel) const {
  auto it = fChannels.find(channel);
  return it == fChannels.end() ? nullptr : it->second;
}

void InterleavedDemux::closeAll() {
  std::vector<InterleavedReceiver*> receivers;
  for (const auto& [channel, receiver] : fChannels) {
    if (std::find(receivers.begin(), receivers.end(), receiver) == receivers.end()) {
      receivers.push_back(receiver);
    }
  }
  for (InterleavedReceiver* receiver : receivers) receiver->handleConnectionClosed();
}

void InterleavedDemux::append(const void* data, size_t size) {
  // Drop what was taken before growing, so the buffer stays the size of what
  // is still pending.
  if (fStart > 0 && (fStart == fBuffer.size() || fStart >= 65536)) {
    fBuffer.erase(0, fStart);
    fStart = 0;
  }
  fBuffer.append(static_cast<const char*>(data), size);
}

void InterleavedDemux::clear() {
  fChannels.clear();
  fBuffer.clear();
  fStart = 0;
  fParser.reset();
}

void InterleavedDemux::process() {
  // A handler may feed more bytes (a response wait reading on); the outer call
  // goes on with them.
  if (fProcessing) return;
  fProcessing = true;
  for (;;) {
    std::string_view data(fBuffer.data() + fStart, fBuffer.size() - fStart);
    if (data.empty()) break;
    if (data[0] == '$') {
      fParser.reset();
      if (data.size() < 4) break;
      const uint8_t channel = static_cast<uint8_t>(data[1]);
      const size_t length = (static_cast<uint8_t>(data[2]) << 8) | static_cast<uint8_t>(data[3]);
      if (data.size() < 4 + length) break;
      fStart += 4 + length;
      auto it = fChannels.find(channel);
      if (it == fChannels.end()) {
        ++fUnboundFrames;
        continue;
      }
      // The packet is copied out: the receiver may cause the buffer to grow.
      std::string packet(data.substr(4, length));
      it->second->handleInterleavedPacket(reinterpret_cast<const uint8_t*>(packet.data()),
                                          packet.size());
      continue;
    }
    RtspMessage message;
    size_t consumed = 0;
    std::string error;
    const auto result = fParser.parse(data, &message, &consumed, &error);
    if (result == RtspMessageParser::Result::kNeedMore) break;
    if (result == RtspMessageParser::Result::kNotMessage) {
      // Junk: skipped up to the next frame or response start (which may be
      // cut short at the end of the buffer).
      static constexpr std::string_view kVersion = "RTSP/";
      consumed = 1;
      while (consumed < data.size() && data[consumed] != '$' &&
             !(data[consumed] == 'R' && kVersion.starts_with(data.substr(consumed, kVersion.size())))) {
        ++consumed;
      }
      fJunkBytes += consumed;
      fStart += consumed;
      continue;
    }
    fStart += consumed;
    if (result == RtspMessageParser::Result::kMessage) {
      if (fOnMessage) fOnMessage(message);
    } else if (result == RtspMessageParser::Result::kRefused) {
      if (fOnRefusal) fOnRefusal(error);
    }
  }
  fProcessing = false;
}

InterleavedDemux::HeaderResult InterleavedDemux::takeHttpHeader(size_t limit, std::string* header) {
  std::string_view data(fBuffer.data() + fStart, fBuffer.size() - fStart);
  const size_t end = FindHeaderEnd(data.substr(0, limit));
  if (end == std::string_view::npos) {
    return data.size() >= limit ? HeaderResult::kTooLong : HeaderResult::kNeedMore;
  }
  header->assign(data.substr(0, end));
  fStart += end;
  return HeaderResult::kDone;
}
