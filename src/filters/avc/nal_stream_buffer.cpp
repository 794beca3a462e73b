#include "nal_stream_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tlx::avc {
namespace {

// The scan machine: next state by state and byte class (0, 1, other).
inline int Step(int state, uint8_t byte) {
  static constexpr int kOnZero[4] = {1, 2, 2, 0};
  if (byte == 0) return kOnZero[state];
  if (byte == 1 && state == 2) return 3;
  return 0;
}

}  // namespace

int ScanStartCodes(const uint8_t* data, size_t n, int* state) {
  int s = *state, found = 0;
  size_t i = 0;
  const auto byteStep = [&](uint8_t byte) {
    s = Step(s, byte);
    if (s == 3) ++found;
  };
  for (; i < n && (reinterpret_cast<uintptr_t>(data + i) & 3) != 0; ++i) byteStep(data[i]);
  for (; i + 4 <= n; i += 4) {
    const uint8_t* word = data + i;
    // From state 0 a start code can only complete in this word with a zero
    // second byte and a third byte of 0 or 1; a non-zero last byte leaves
    // state 0 behind it.
    if (s == 0 && word[3] != 0 && (word[1] != 0 || word[2] > 1)) continue;
    for (int k = 0; k < 4; ++k) byteStep(word[k]);
  }
  for (; i < n; ++i) byteStep(data[i]);
  *state = s;
  return found;
}

size_t UnitLengthToNextStartCode(const uint8_t* data, size_t n) {
  for (size_t i = 1; i + 2 < n; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  return n;
}

const uint8_t* FindStartCode(const uint8_t* data, size_t n) {
  int state = 0;
  for (size_t i = 0; i < n; ++i) {
    state = Step(state, data[i]);
    if (state == 3) return data + i + 1;
  }
  return nullptr;
}

std::unique_ptr<CNalStreamBuffer> CNalStreamBuffer::Create(size_t capacity) {
  std::unique_ptr<CNalStreamBuffer> buffer(new (std::nothrow) CNalStreamBuffer);
  if (buffer == nullptr) return nullptr;
  CStartCodeFifo& fifo = buffer->fifo_;
  fifo.rawBlock.reset(new (std::nothrow) uint8_t[capacity + kNalBufferAlignment]);
  if (fifo.rawBlock == nullptr) return nullptr;
  const uintptr_t raw = reinterpret_cast<uintptr_t>(fifo.rawBlock.get());
  fifo.base = fifo.rawBlock.get() + ((kNalBufferAlignment - raw % kNalBufferAlignment) % kNalBufferAlignment);
  fifo.capacity = capacity;
  fifo.readPointer = fifo.base;
  return buffer;
}

void CNalStreamBuffer::Drop() {
  ringWrite_ = ringRead_ = 0;
  pendingTime_ = pendingDiscontinuity_ = false;
  std::fill(std::begin(ringFlags_), std::end(ringFlags_), 0u);
  fifo_.readPointer = fifo_.base;
  fifo_.held = 0;
  fifo_.scanState = 0;
  fifo_.startCodes = 0;
}

void CNalStreamBuffer::Append(const uint8_t* data, size_t length) {
  const auto freeSpace = [this] {
    return fifo_.capacity - static_cast<size_t>(fifo_.readPointer - fifo_.base) - fifo_.held;
  };
  if (freeSpace() < length) {
    if (fifo_.readPointer - fifo_.base > 1) {
      std::memmove(fifo_.base, fifo_.readPointer, fifo_.held);
      fifo_.readPointer = fifo_.base;
    }
    if (freeSpace() < length) {
      // The pending marks belong to the bytes being appended: they stay.
      const bool pendingTime = pendingTime_, pendingDiscontinuity = pendingDiscontinuity_;
      Drop();
      pendingTime_ = pendingTime;
      pendingDiscontinuity_ = pendingDiscontinuity;
    }
  }
  const size_t n = std::min(length, freeSpace());
  uint8_t* destination = fifo_.readPointer + fifo_.held;
  std::memcpy(destination, data, n);
  fifo_.held += n;
  const int completed = ScanStartCodes(destination, n, &fifo_.scanState);
  fifo_.startCodes += completed;
  for (int k = 0; k < completed; ++k) {
    uint32_t flags = 0;
    int64_t time = 0;
    if (k == 0) {
      flags = pendingDiscontinuity_ ? kRingDiscontinuity : 0;
      if (pendingTime_) {
        flags |= kRingTimeValid;
        time = pendingTimeValue_;
      }
      pendingTime_ = pendingDiscontinuity_ = false;
    }
    ringTimes_[ringWrite_] = time;
    ringFlags_[ringWrite_] = flags;
    ringWrite_ = (ringWrite_ + 1) % kTimeRingSize;
  }
}

void CNalStreamBuffer::SetPendingTime(int64_t time) {
  pendingTime_ = true;
  pendingTimeValue_ = time;
}

void CNalStreamBuffer::SetPendingDiscontinuity() { pendingDiscontinuity_ = true; }

void CNalStreamBuffer::ConsumeBytes(size_t n) {
  if (n >= fifo_.held) {
    fifo_.readPointer = fifo_.base;
    fifo_.held = 0;
  } else {
    fifo_.readPointer += n;
    fifo_.held -= n;
  }
  ringRead_ = (ringRead_ + 1) % kTimeRingSize;
  if (fifo_.startCodes > 0) --fifo_.startCodes;
}

}  // namespace tlx::avc
