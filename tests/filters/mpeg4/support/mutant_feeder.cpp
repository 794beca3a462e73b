#include "filters/mpeg4/support/mutant_feeder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4::test {
namespace {

// Marks the clock for the duration of one decoder call.
class TimedCall {
 public:
  explicit TimedCall(CallClock* clock) : clock_(clock) {
    if (clock_ != nullptr) {
      clock_->started = std::chrono::steady_clock::now().time_since_epoch().count();
    }
  }
  ~TimedCall() {
    if (clock_ != nullptr) clock_->started = 0;
  }
  TimedCall(const TimedCall&) = delete;
  TimedCall& operator=(const TimedCall&) = delete;

 private:
  CallClock* clock_;
};

// Touches the first and last sample of every row of a returned plane.
uint32_t TouchPlane(const uint8_t* plane, uint32_t stride, uint32_t width, uint32_t height) {
  uint32_t sum = 0;
  for (uint32_t row = 0; row < height; ++row) sum += plane[size_t(row) * stride] + plane[size_t(row) * stride + width - 1];
  return sum;
}

std::unique_ptr<uint8_t[]> ExactCopy(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  return exact;
}

void Feed(void* handle, const std::vector<uint8_t>& bytes, const std::string& what, const FeedOptions& options) {
  const size_t length = bytes.size();
  const std::unique_ptr<uint8_t[]> exact = ExactCopy(bytes);
  size_t offset = 0;
  size_t calls = 0;
  while (offset < length) {
    ASSERT_LT(++calls, length + 8) << what << ": no progress";
    Mpeg4DecFrame frame{};
    frame.input = exact.get() + offset;
    frame.inputLength = uint32_t(length - offset);
    uint32_t status = 0;
    {
      const TimedCall timed(options.clock);
      status = Mpeg4DecAFrame(handle, &frame);
    }
    ASSERT_LT(status, 0x80000000u) << what;
    ASSERT_LE(frame.consumed, length - offset) << what;
    if (frame.outputAvailable != 0) {
      ASSERT_GT(frame.width, 0u) << what;
      ASSERT_GT(frame.height, 0u) << what;
      TouchPlane(frame.yPlane, frame.yStride, frame.width, frame.height);
      TouchPlane(frame.uPlane, frame.uStride, frame.width / 2, frame.height / 2);
      TouchPlane(frame.vPlane, frame.vStride, frame.width / 2, frame.height / 2);
    }
    if (options.requireProgress) {
      ASSERT_GT(frame.consumed, 0u) << what << ": nothing consumed at " << offset;
    }
    if (frame.consumed == 0) break;
    offset += frame.consumed;
  }
}

// The two header looks on the same bytes, each from an exact-size block.
void Look(void* handle, const std::vector<uint8_t>& bytes, const std::string& what, const FeedOptions& options) {
  const std::unique_ptr<uint8_t[]> exact = ExactCopy(bytes);
  for (auto look : {Mpeg4DecLookSequenceHeader, Mpeg4DecLookPictureHeader}) {
    Mpeg4DecFrame frame{};
    frame.input = exact.get();
    frame.inputLength = uint32_t(bytes.size());
    uint32_t status = 0;
    {
      const TimedCall timed(options.clock);
      status = look(handle, &frame);
    }
    ASSERT_LT(status, 0x80000000u) << what;
    ASSERT_LE(frame.consumed, bytes.size()) << what;
  }
}

}  // namespace

void FeedFresh(const std::vector<uint8_t>& bytes, const std::string& what, const FeedOptions& options) {
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Look(handle, bytes, what + " (look)", options);
  Feed(handle, bytes, what, options);
  static const std::vector<uint8_t> kEnd = {0x00, 0x00, 0x01, 0xB7};
  Feed(handle, kEnd, what + " (end marker)", options);
  EXPECT_LT(Mpeg4DecExit(handle), 0x80000000u) << what;
}

}  // namespace tlx::mpeg4::test
