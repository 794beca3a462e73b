// StreamBuffer: the byte accumulator between the filter's input samples and
// the decoder core. It copies sample bytes behind each other, counts the
// picture starts (00 00 01 B6, and the end marker 00 00 01 B7) that pass
// through while copying, and hands the decoder one contiguous run of bytes
// per decode call. It owns exactly one decoder instance, which it resets,
// tells of discontinuities and recreates after a failure.
//
// Invariant: base <= read <= write <= base + capacity; unread bytes are
// [read, write). All counters and both pointers are reset together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {

// The end-of-stream marker the player appends after a stream's last picture.
inline constexpr uint8_t kEndOfStreamMarker[4] = {0x00, 0x00, 0x01, 0xB7};

class StreamBuffer {
 public:
  // Creates the decoder instance; a failed creation leaves the handle null,
  // and every decode then reports the core's invalid-argument status.
  StreamBuffer();
  ~StreamBuffer();
  StreamBuffer(const StreamBuffer&) = delete;
  StreamBuffer& operator=(const StreamBuffer&) = delete;

  // Replaces the byte buffer by one of `size` bytes (0: none) and resets.
  // Returns the capacity: 0 when the allocation failed, and the buffer then
  // holds and accepts nothing.
  size_t AllocateBuffer(size_t size);
  // Empties the buffer and resets the decoder: it forgets its sequence
  // header and its reference pictures.
  void ResetBuffer();
  // Empties the buffer and tells the decoder of a discontinuity: it forgets
  // its reference pictures and keeps the sequence header.
  void ClearBuffer();
  // Copies min(length, free space at the end) bytes behind the unread ones,
  // counting the picture starts among them; returns the number copied.
  size_t AppendBytes(const uint8_t* source, size_t length);
  // Moves the unread bytes to the front; returns how far they moved.
  size_t CompactBuffer();
  // Has the decoder decode from the unread bytes into `frame` (its input
  // fields are set here, its output fields by the caller) and moves past
  // what it used. A negative result (fatal) replaces the decoder by a fresh
  // instance, which waits for a sequence header, and keeps the unread bytes.
  int32_t DecodeOnePicture(Mpeg4DecFrame& frame);

  size_t UnreadBytes() const { return static_cast<size_t>(write_ - read_); }
  const uint8_t* Unread() const { return read_; }
  // Picture starts among the unread bytes that no decode call has taken.
  uint32_t PendingPictures() const { return pending_; }
  // Picture starts appended since the last reset: a running picture index.
  uint32_t AppendedPictures() const { return appended_; }
  // Decode calls since the last reset.
  uint32_t DecodedPictures() const { return decoded_; }
  void* Decoder() const { return decoder_; }

 private:
  // Empties the buffer and zeroes the scanner and the counters.
  void Empty();
  // Copies `length` bytes and runs the start-code scanner over the source.
  void ScanAndCopy(uint8_t* destination, const uint8_t* source, size_t length);

  void* decoder_ = nullptr;
  std::unique_ptr<uint8_t[]> storage_;
  uint8_t* base_ = nullptr;
  uint8_t* read_ = nullptr;
  uint8_t* write_ = nullptr;
  size_t capacity_ = 0;
  // Start-code prefix progress: 0 nothing, 1 one zero, 2 two or more zeros,
  // 3 zeros then 01 (the next byte is the start code's value).
  int scanner_ = 0;
  uint32_t pending_ = 0;
  uint32_t appended_ = 0;
  uint32_t decoded_ = 0;
};

}  // namespace tlx::mpeg4
