// The start-code walk of one decode call: what is passed over, where a call
// stops, the end marker, and truncated input.
#include <gtest/gtest.h>

#include <vector>

#include "core_harness.h"
#include "inspection.h"
#include "mpeg4_dec.h"

namespace tlx::mpeg4 {
namespace {

std::vector<size_t> StartCodes(const std::vector<uint8_t>& stream, uint8_t code) {
  std::vector<size_t> at;
  for (size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == code) at.push_back(i);
  }
  return at;
}

struct Call {
  uint32_t status;
  Mpeg4DecFrame frame;
};

Call Decode(void* handle, const uint8_t* data, size_t length) {
  Call call{};
  call.frame.input = data;
  call.frame.inputLength = uint32_t(length);
  call.status = Mpeg4DecAFrame(handle, &call.frame);
  return call;
}

class FrameDriver : public testing::Test {
 protected:
  void SetUp() override {
    stream = test::ReadFixture("i_q8_176x144.m4v");
    pictures = StartCodes(stream, 0xB0);
    ASSERT_GE(pictures.size(), 3u);
    ASSERT_EQ(pictures[0], 0u);
    ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  }
  void TearDown() override { Mpeg4DecExit(handle); }

  std::vector<uint8_t> stream;
  std::vector<size_t> pictures;
  void* handle = nullptr;
};

TEST_F(FrameDriver, StopsAtTheStartCodeOfTheNextPicture) {
  const Call first = Decode(handle, stream.data(), stream.size());
  EXPECT_EQ(first.status, 0u);
  EXPECT_EQ(first.frame.consumed, pictures[1]);
  EXPECT_EQ(first.frame.pictureKind, 1u);
  EXPECT_EQ(first.frame.width, 176u);
  EXPECT_EQ(first.frame.height, 144u);
  EXPECT_EQ(first.frame.outputAvailable, 0u);
  const Call second = Decode(handle, stream.data() + pictures[1], stream.size() - pictures[1]);
  EXPECT_EQ(second.status, 0u);
  EXPECT_EQ(second.frame.consumed, pictures[2] - pictures[1]);
  EXPECT_EQ(second.frame.outputAvailable, 1u);
  EXPECT_EQ(second.frame.reorderDelay, 1u);
  EXPECT_EQ(second.frame.yStride, 208u);
  EXPECT_EQ(second.frame.uStride, 104u);
  EXPECT_EQ(second.frame.timeResolution, 25u);
  EXPECT_EQ(second.frame.timeIncrement, 1u);
}

TEST_F(FrameDriver, PassesOverJunkAndUserDataBeforeTheLayer) {
  std::vector<uint8_t> input = {0xFF, 0x12, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x01, 0xB2, 'x', 'y'};
  input.insert(input.end(), stream.begin(), stream.begin() + long(pictures[1]));
  // User data between the video object and its layer, as some encoders put it.
  const size_t layer = StartCodes(input, 0x20).front();
  input.insert(input.begin() + long(layer), {0x00, 0x00, 0x01, 0xB2, 'u', 's', 'e', 'r'});
  const Call call = Decode(handle, input.data(), input.size());
  EXPECT_EQ(call.status, 0u);
  EXPECT_EQ(call.frame.pictureKind, 1u);
  EXPECT_EQ(call.frame.consumed, input.size());
  EXPECT_EQ(InspectInstance(handle).mbIndex, 99u);
}

TEST_F(FrameDriver, EndMarkerReturnsTheLastReference) {
  Decode(handle, stream.data(), pictures[1]);
  const Call second = Decode(handle, stream.data() + pictures[1], pictures[2] - pictures[1]);
  ASSERT_EQ(second.status, 0u);
  const uint8_t* firstPlane = second.frame.yPlane;
  const uint8_t end[] = {0x00, 0x00, 0x01, 0xB7};
  const Call last = Decode(handle, end, sizeof(end));
  EXPECT_EQ(last.status, 0u);
  EXPECT_EQ(last.frame.pictureKind, 0u);
  EXPECT_EQ(last.frame.timeSeconds, 0x7FFFFFFFu);
  EXPECT_EQ(last.frame.timeIncrement, 0x7FFFFFFFu);
  EXPECT_EQ(last.frame.timeResolution, 0x7FFFFFFFu);
  EXPECT_EQ(last.frame.outputAvailable, 1u);
  EXPECT_EQ(last.frame.consumed, 4u);
  EXPECT_NE(last.frame.yPlane, firstPlane);  // the second picture, not the first
  EXPECT_EQ(last.frame.yPlane, InspectInstance(handle).pastReference->yOrigin);
}

TEST_F(FrameDriver, TruncatedPicturesAreNeverClean) {
  const size_t vop = StartCodes(stream, 0xB6).front();
  for (size_t length = vop + 8; length + 2 <= pictures[1]; length += 53) {
    void* fresh = nullptr;
    ASSERT_EQ(Mpeg4DecInit(&fresh), 0u);
    const Call call = Decode(fresh, stream.data(), length);
    EXPECT_NE(call.status, 0u) << "length " << length;
    EXPECT_LE(call.frame.consumed, length);
    Mpeg4DecExit(fresh);
  }
}

TEST_F(FrameDriver, ConsumedNeverExceedsTheInput) {
  for (size_t length = 0; length < pictures[2]; length += 97) {
    const Call call = Decode(handle, stream.data(), length);
    EXPECT_LE(call.frame.consumed, length);
  }
}

TEST_F(FrameDriver, MisalignedBufferBaseOrEnd) {
  alignas(4) uint8_t bytes[8] = {0x00, 0x00, 0x01, 0xB7};
  Mpeg4DecFrame frame{};
  frame.input = bytes;
  frame.inputLength = 4;
  frame.bufferBase = bytes + 1;
  EXPECT_EQ(Mpeg4DecAFrame(handle, &frame), 0x100000u);
  frame.bufferBase = bytes;
  frame.inputLength = 3;
  EXPECT_EQ(Mpeg4DecAFrame(handle, &frame), 0x200000u);
  frame.inputLength = 4;
  EXPECT_EQ(Mpeg4DecAFrame(handle, &frame), 0u);
}

}  // namespace
}  // namespace tlx::mpeg4
