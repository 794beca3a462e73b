// Feeds byte streams to a demultiplexer and writes down what it dispatched,
// one text per event, so a stream fed in pieces can be compared with the same
// stream fed whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rtsp/interleaved_demux.h"

class DemuxRecorder {
 public:
  struct Channel : InterleavedReceiver {
    DemuxRecorder* owner;
    int id;
    void handleInterleavedPacket(const uint8_t* data, size_t size) override {
      owner->events.push_back("frame " + std::to_string(id) + " " +
                              std::string(reinterpret_cast<const char*>(data), size));
    }
  };

  explicit DemuxRecorder(int channels = 0) : fChannels(channels) {
    for (int i = 0; i < channels; ++i) {
      fChannels[i].owner = this;
      fChannels[i].id = i;
      demux.bindChannel(static_cast<uint8_t>(i), &fChannels[i]);
    }
    demux.setMessageHandler([this](const RtspMessage& m) { events.push_back(Describe(m)); });
    demux.setRefusalHandler([this](const std::string& why) { events.push_back("refused " + why); });
  }

  static std::string Describe(const RtspMessage& m) {
    std::string text = m.isResponse ? "response " + std::to_string(m.statusCode) + " [" + m.reason + "]"
                                    : "request " + m.method + " " + m.url;
    for (const auto& [n, v] : m.headers) text += " " + n + "=" + v;
    return text + " body[" + m.body + "]";
  }

  InterleavedDemux demux;
  std::vector<std::string> events;

 private:
  std::vector<Channel> fChannels;
};

// The events of the stream fed whole; checks that every split into two pieces
// and a feed one byte at a time give the same.
inline std::vector<std::string> EventsOfEverySplit(const std::string& stream, int channels,
                                                   bool* allSame) {
  DemuxRecorder whole(channels);
  whole.demux.feed(stream.data(), stream.size());
  *allSame = true;
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    DemuxRecorder split(channels);
    split.demux.feed(stream.data(), cut);
    split.demux.feed(stream.data() + cut, stream.size() - cut);
    if (split.events != whole.events) *allSame = false;
  }
  DemuxRecorder bytes(channels);
  for (char c : stream) bytes.demux.feed(&c, 1);
  if (bytes.events != whole.events) *allSame = false;
  return whole.events;
}
