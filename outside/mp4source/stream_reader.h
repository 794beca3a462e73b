// One stream of an MP4 file read through its own demuxer context, so each
// output pin reads at its own pace: packets of the other streams are
// discarded by the demuxer, and H.264 access units leave as a byte stream
// with start codes (parameter sets in front of key frames).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVBSFContext;
struct AVPacket;
struct AVStream;

namespace tlx::mp4source {

// 100-ns units.
using Time100ns = int64_t;
inline constexpr Time100ns kNoTime = INT64_MIN;

class StreamReader {
 public:
  // Opens `path` (UTF-8) for stream `index`; with `annexB` the stream must be
  // H.264 and is converted. Null, with `error` set, when that fails.
  static std::unique_ptr<StreamReader> Open(const std::string& path, int index, bool annexB, std::string* error);
  ~StreamReader();
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  enum class Result { kPacket, kEnd, kError };
  // Reads the next packet of the stream; on kPacket the accessors below
  // describe it until the next call. A packet the demuxer marks damaged or
  // the conversion refuses is counted in Skipped() and passed over; kError
  // is a failure of the file itself, with `error` set.
  Result Next(std::string* error);
  const uint8_t* Data() const;
  size_t Size() const;
  // Presentation time and duration in 100-ns units (kNoTime / 0 when the
  // file has none).
  Time100ns Start() const;
  Time100ns Duration() const;
  bool IsKeyFrame() const;
  // Packets passed over since the last call.
  int TakeSkipped();

  // Moves to the key frame at or before `position` (the file's own time, in
  // 100-ns units). False when the demuxer cannot seek there.
  bool Seek(Time100ns position);
  // Moves to the stream's first packet, even one that starts before the
  // stream's start (the priming frame of an audio encoder, which a decoder
  // needs before the first audible one).
  bool SeekToFirst();

  const AVStream& Stream() const;

 private:
  StreamReader() = default;

  AVFormatContext* format_ = nullptr;
  AVBSFContext* filter_ = nullptr;
  AVPacket* read_ = nullptr;
  AVPacket* packet_ = nullptr;
  int index_ = -1;
  int skipped_ = 0;
};

// The file's streams as the source plays them: the first video and the first
// audio stream (-1 when none), the earliest start of the two and the length,
// in 100-ns units, and each stream's largest sample as the index lists it
// (0 when the index lists none).
struct FileLayout {
  int video = -1;
  int audio = -1;
  Time100ns origin = 0;
  Time100ns duration = 0;
  size_t largestVideo = 0;
  size_t largestAudio = 0;
};
// Probes the file; false, with `error` set, when libavformat cannot open it.
bool ProbeFile(const std::string& path, FileLayout* layout, std::string* error);

}  // namespace tlx::mp4source
