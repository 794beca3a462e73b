#include "avc_input_handler.h"

namespace tlx::avc {

bool CAvcByteStreamHandler::Locate(const uint8_t** data, size_t* length) {
  const CStartCodeFifo& fifo = buffer_->fifo();
  const uint8_t* found = FindStartCode(fifo.readPointer, fifo.held);
  offset_ = found != nullptr ? static_cast<size_t>(found - fifo.readPointer) : 0;
  *data = fifo.readPointer + offset_;
  *length = fifo.held - offset_;
  return true;
}

bool CAvcByteStreamHandler::NextNal(const uint8_t** data, size_t* length) {
  return buffer_->fifo().startCodes >= 2 && Locate(data, length);
}

bool CAvcByteStreamHandler::NextNalAtEnd(const uint8_t** data, size_t* length) {
  return buffer_->fifo().startCodes >= 1 && Locate(data, length);
}

bool CAvcByteStreamHandler::GetTime(int64_t* time) {
  if ((buffer_->ReadFlags() & kRingTimeValid) == 0) return false;
  *time = buffer_->ReadTime();
  return true;
}

void CAvcByteStreamHandler::Consume(size_t bytes) { buffer_->ConsumeBytes(bytes + offset_); }

}  // namespace tlx::avc
