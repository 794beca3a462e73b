#include "stream_buffer.h"

#include <cstring>
#include <new>

namespace tlx::mpeg4 {

namespace {

constexpr uint8_t kVopStartCodeValue = 0xB6;
constexpr uint8_t kEndMarkerValue = 0xB7;

}  // namespace

StreamBuffer::StreamBuffer() {
  if (Mpeg4DecInit(&decoder_) != 0) decoder_ = nullptr;
}

StreamBuffer::~StreamBuffer() { Mpeg4DecExit(decoder_); }

size_t StreamBuffer::AllocateBuffer(size_t size) {
  storage_.reset();
  base_ = nullptr;
  capacity_ = 0;
  if (size > 0) {
    storage_.reset(new (std::nothrow) uint8_t[size]);
    if (storage_) {
      base_ = storage_.get();
      capacity_ = size;
    }
  }
  ResetBuffer();
  return capacity_;
}

void StreamBuffer::Empty() {
  read_ = write_ = base_;
  scanner_ = 0;
  pending_ = appended_ = decoded_ = 0;
}

void StreamBuffer::ResetBuffer() {
  Empty();
  Mpeg4DecReset(decoder_);
}

void StreamBuffer::ClearBuffer() {
  Empty();
  Mpeg4DecDiscon(decoder_);
}

size_t StreamBuffer::AppendBytes(const uint8_t* source, size_t length) {
  const size_t room = capacity_ - static_cast<size_t>(write_ - base_);
  const size_t count = length < room ? length : room;
  if (count == 0) return 0;
  ScanAndCopy(write_, source, count);
  write_ += count;
  return count;
}

void StreamBuffer::ScanAndCopy(uint8_t* destination, const uint8_t* source, size_t length) {
  std::memcpy(destination, source, length);
  const uint8_t* p = source;
  const uint8_t* const end = source + length;
  int state = scanner_;
  while (p < end) {
    if (state == 0) {
      // No prefix in progress: only a zero byte can begin one.
      const void* zero = std::memchr(p, 0, static_cast<size_t>(end - p));
      if (zero == nullptr) break;
      p = static_cast<const uint8_t*>(zero) + 1;
      state = 1;
      continue;
    }
    const uint8_t byte = *p++;
    switch (state) {
      case 1:
        state = byte == 0 ? 2 : 0;
        break;
      case 2:
        state = byte == 0 ? 2 : byte == 1 ? 3 : 0;
        break;
      default:
        if (byte == kVopStartCodeValue || byte == kEndMarkerValue) {
          ++pending_;
          ++appended_;
        }
        // A zero after a whole start code may begin the next prefix.
        state = byte == 0 ? 1 : 0;
        break;
    }
  }
  scanner_ = state;
}

size_t StreamBuffer::CompactBuffer() {
  const size_t shift = static_cast<size_t>(read_ - base_);
  if (shift == 0) return 0;
  const size_t unread = UnreadBytes();
  std::memmove(base_, read_, unread);
  read_ = base_;
  write_ = base_ + unread;
  return shift;
}

int32_t StreamBuffer::DecodeOnePicture(Mpeg4DecFrame& frame) {
  if (pending_ > 0) --pending_;
  ++decoded_;
  frame.input = read_;
  frame.inputLength = static_cast<uint32_t>(UnreadBytes());
  const int32_t result = static_cast<int32_t>(Mpeg4DecAFrame(decoder_, &frame));
  if (result < 0) {
    Mpeg4DecExit(decoder_);
    decoder_ = nullptr;
    if (Mpeg4DecInit(&decoder_) != 0) decoder_ = nullptr;
    return result;
  }
  // The decoder never reports more than it was given; the bound keeps the
  // invariant whatever it says.
  const uint32_t consumed = frame.consumed < frame.inputLength ? frame.consumed : frame.inputLength;
  read_ += consumed;
  return result;
}

}  // namespace tlx::mpeg4
