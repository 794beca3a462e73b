// The stream fixtures (made into TLX_STREAM_FIXTURES by
// tests/fixtures/stream/make_fixtures.sh) and libavformat's packets of them.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <string>
#include <vector>

inline std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("TLX_STREAM_FIXTURES");
  return std::string(dir ? dir : "") + "/" + name;
}

inline std::vector<std::string> Packets(const std::string& path) {
  std::vector<std::string> packets;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return packets;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) == 0) {
    packets.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
  return packets;
}
