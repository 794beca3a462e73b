// The elementary-stream buffer of the AVC decoder filter: a byte queue that
// counts start codes as bytes arrive, and a ring of the time stamps and
// discontinuity marks that belong to the units those start codes begin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tlx::avc {

inline constexpr size_t kNalBufferCapacity = 3800000;
inline constexpr size_t kNalBufferAlignment = 128;
inline constexpr int kTimeRingSize = 1024;

// Start-code scan: state 0..3, one step per byte; entering state 3 completes
// 00 00 01 (after any number of zeros). Returns the start codes completed in
// the n bytes and leaves the state after them. Words that cannot complete a
// start code are skipped whole; the result equals the byte-wise machine.
int ScanStartCodes(const uint8_t* data, size_t n, int* state);

// The byte queue at the head of the buffer.
struct CStartCodeFifo {
  uint8_t* readPointer = nullptr;
  size_t held = 0;
  std::unique_ptr<uint8_t[]> rawBlock;  // capacity + alignment bytes
  uint8_t* base = nullptr;              // rawBlock rounded up to the alignment
  size_t capacity = 0;
  int scanState = 0;
  int startCodes = 0;  // completed in the held data and not yet consumed
};

// Time-ring flag bits.
inline constexpr uint32_t kRingTimeValid = 0x1;
inline constexpr uint32_t kRingDiscontinuity = 0x2;

class CNalStreamBuffer {
 public:
  // Null when the block cannot be allocated.
  static std::unique_ptr<CNalStreamBuffer> Create(size_t capacity = kNalBufferCapacity);

  // Appends one sample's bytes. When they do not fit even after moving the
  // held bytes to the front, everything held is dropped first; bytes beyond
  // the capacity are lost. The first start code completed by these bytes
  // takes the pending time and discontinuity.
  void Append(const uint8_t* data, size_t length);
  void SetPendingTime(int64_t time);
  void SetPendingDiscontinuity();
  // Empties the queue, the ring and the pending marks.
  void Drop();
  // Drops n bytes at the head (all when n >= held), moves to the next ring
  // entry and counts one start code consumed.
  void ConsumeBytes(size_t n);

  const CStartCodeFifo& fifo() const { return fifo_; }
  uint32_t ReadFlags() const { return ringFlags_[ringRead_]; }
  int64_t ReadTime() const { return ringTimes_[ringRead_]; }
  int ringRead() const { return ringRead_; }
  int ringWrite() const { return ringWrite_; }

 private:
  CNalStreamBuffer() = default;

  CStartCodeFifo fifo_;
  int ringWrite_ = 0;
  int ringRead_ = 0;
  int64_t ringTimes_[kTimeRingSize] = {};
  uint32_t ringFlags_[kTimeRingSize] = {};
  bool pendingTime_ = false;
  int64_t pendingTimeValue_ = 0;
  bool pendingDiscontinuity_ = false;
};

// Bytes of the unit at data up to the next start code (its first 00 00 01 at
// offset 1 or later), or n when none follows.
size_t UnitLengthToNextStartCode(const uint8_t* data, size_t n);

// Position just after the first start code in [data, data + n) (which is
// data + n for one that ends there), or null when there is none (the scan
// machine from state 0).
const uint8_t* FindStartCode(const uint8_t* data, size_t n);

}  // namespace tlx::avc
