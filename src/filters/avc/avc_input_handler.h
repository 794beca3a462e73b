// The input handlers of the AVC decoder filter, one per input subtype: they
// take each sample and hand out the units to feed, with the time and
// discontinuity that belong to each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "nal_stream_buffer.h"

namespace tlx::avc {

class CAvcInputHandler {
 public:
  virtual ~CAvcInputHandler() = default;
  virtual void Reset() = 0;
  virtual void SetTime(int64_t time) = 0;
  virtual void SetDiscontinuity() = 0;
  virtual void Append(const uint8_t* data, size_t length) = 0;
  // The next complete unit: from after its start code to the end of the data.
  virtual bool NextNal(const uint8_t** data, size_t* length) = 0;
  // As NextNal, and also the last unit, which no start code follows.
  virtual bool NextNalAtEnd(const uint8_t** data, size_t* length) = 0;
  virtual bool GetTime(int64_t* time) = 0;
  virtual bool GetDiscontinuity() = 0;
  virtual void Consume(size_t bytes) = 0;
};

// Byte stream with start codes (MEDIASUBTYPE_TlxAVC), over the stream buffer.
class CAvcByteStreamHandler : public CAvcInputHandler {
 public:
  explicit CAvcByteStreamHandler(std::unique_ptr<CNalStreamBuffer> buffer) : buffer_(std::move(buffer)) {}

  void Reset() override { buffer_->Drop(); }
  void SetTime(int64_t time) override { buffer_->SetPendingTime(time); }
  void SetDiscontinuity() override { buffer_->SetPendingDiscontinuity(); }
  void Append(const uint8_t* data, size_t length) override { buffer_->Append(data, length); }
  bool NextNal(const uint8_t** data, size_t* length) override;
  bool NextNalAtEnd(const uint8_t** data, size_t* length) override;
  bool GetTime(int64_t* time) override;
  bool GetDiscontinuity() override { return (buffer_->ReadFlags() & kRingDiscontinuity) != 0; }
  void Consume(size_t bytes) override;

  const CNalStreamBuffer& buffer() const { return *buffer_; }

 private:
  bool Locate(const uint8_t** data, size_t* length);

  std::unique_ptr<CNalStreamBuffer> buffer_;
  size_t offset_ = 0;  // of the current unit from the read pointer
};

// Whole samples (MEDIASUBTYPE_TlxAVCC), each handed to the core as received.
class CAvcSampleHandler : public CAvcInputHandler {
 public:
  // Forgets the sample, whose memory is not held past its Receive.
  void Reset() override { hasData_ = hasTime_ = discontinuity_ = false; }
  void SetTime(int64_t time) override {
    time_ = time;
    hasTime_ = true;
  }
  void SetDiscontinuity() override { discontinuity_ = true; }
  void Append(const uint8_t* data, size_t length) override {
    data_ = data;
    length_ = length;
    hasData_ = true;
  }
  bool NextNal(const uint8_t** data, size_t* length) override { return NextNalAtEnd(data, length); }
  bool NextNalAtEnd(const uint8_t** data, size_t* length) override {
    if (!hasData_) return false;
    *data = data_;
    *length = length_;
    return true;
  }
  bool GetTime(int64_t* time) override {
    if (hasTime_) *time = time_;
    return hasTime_;
  }
  bool GetDiscontinuity() override { return discontinuity_; }
  void Consume(size_t) override { hasData_ = hasTime_ = discontinuity_ = false; }

 private:
  const uint8_t* data_ = nullptr;
  size_t length_ = 0;
  bool hasData_ = false;
  int64_t time_ = 0;
  bool hasTime_ = false;
  bool discontinuity_ = false;
};

}  // namespace tlx::avc
