// The exported functions: argument checks, creation and out-of-memory at
// every allocation, sizing by the layer header, discontinuity and reset.
#include <gtest/gtest.h>

#include <vector>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/core_harness.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;
using test::VolFields;

std::vector<uint8_t> VolBytes(uint32_t width, uint32_t height) {
  BitWriter writer;
  VolFields vol;
  vol.width = width;
  vol.height = height;
  test::WriteVol(writer, vol);
  writer.StartCode(0x1B6);
  return writer.bytes();
}

uint32_t LookSequence(void* handle, const std::vector<uint8_t>& bytes) {
  Mpeg4DecFrame frame{};
  frame.input = bytes.data();
  frame.inputLength = uint32_t(bytes.size());
  return Mpeg4DecLookSequenceHeader(handle, &frame);
}

uint32_t Decode(void* handle, const uint8_t* data, size_t length, Mpeg4DecFrame& frame) {
  frame = Mpeg4DecFrame{};
  frame.input = data;
  frame.inputLength = uint32_t(length);
  return Mpeg4DecAFrame(handle, &frame);
}

TEST(DecoderInterface, NullHandlesAndInitEx) {
  Mpeg4DecFrame frame{};
  EXPECT_EQ(Mpeg4DecInit(nullptr), 0x100000u);
  EXPECT_EQ(Mpeg4DecExit(nullptr), 0x100000u);
  EXPECT_EQ(Mpeg4DecAFrame(nullptr, &frame), 0x100000u);
  EXPECT_EQ(Mpeg4DecDiscon(nullptr), 0x100000u);
  EXPECT_EQ(Mpeg4DecReset(nullptr), 0x100000u);
  EXPECT_EQ(Mpeg4DecLookSequenceHeader(nullptr, &frame), 0x100000u);
  EXPECT_EQ(Mpeg4DecLookPictureHeader(nullptr, &frame), 0x100000u);
  EXPECT_EQ(Mpeg4DecDebugDump(nullptr, 0), 0x100000u);
  void* handle = &frame;
  EXPECT_EQ(Mpeg4DecInitEx(&handle, 0), 0x200000u);
  EXPECT_EQ(handle, &frame);
}

TEST(DecoderInterface, OutOfMemoryAtEveryAllocationOfInit) {
  SetCoreAllocationFailure(0);
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  const unsigned allocations = CoreAllocationCount();
  ASSERT_GT(allocations, 1u);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
  for (unsigned n = 1; n <= allocations; ++n) {
    SetCoreAllocationFailure(n);
    handle = &handle;
    EXPECT_EQ(Mpeg4DecInit(&handle), kStatusOutOfMemory) << "allocation " << n;
    EXPECT_EQ(handle, nullptr) << "allocation " << n;
  }
  SetCoreAllocationFailure(0);
}

TEST(DecoderInterface, OutOfMemoryWhileSizingIsStickyUntilExit) {
  const std::vector<uint8_t> vol = VolBytes(176, 144);
  SetCoreAllocationFailure(0);
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  SetCoreAllocationFailure(0);
  ASSERT_EQ(LookSequence(handle, vol), 0u);
  const unsigned allocations = CoreAllocationCount();
  ASSERT_GT(allocations, 4u);
  Mpeg4DecExit(handle);
  for (unsigned n = 1; n <= allocations; ++n) {
    SetCoreAllocationFailure(0);
    ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
    SetCoreAllocationFailure(n);
    EXPECT_EQ(LookSequence(handle, vol), kStatusOutOfMemory) << "allocation " << n;
    SetCoreAllocationFailure(0);
    Mpeg4DecFrame frame{};
    EXPECT_GE(Decode(handle, vol.data(), vol.size(), frame), kStatusOutOfMemory);
    EXPECT_GE(LookSequence(handle, vol), kStatusOutOfMemory);
    frame = Mpeg4DecFrame{};
    frame.input = vol.data();
    frame.inputLength = uint32_t(vol.size());
    EXPECT_GE(Mpeg4DecLookPictureHeader(handle, &frame), kStatusOutOfMemory);
    EXPECT_GE(Mpeg4DecDiscon(handle), kStatusOutOfMemory);
    EXPECT_GE(Mpeg4DecReset(handle), kStatusOutOfMemory);
    EXPECT_GE(Mpeg4DecDebugDump(handle, 0), kStatusOutOfMemory);
    EXPECT_EQ(Mpeg4DecExit(handle), 0u);
  }
}

TEST(DecoderInterface, MacroblockNumberBitsAndTableSizing) {
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4Decoder& decoder = InspectInstance(handle);
  const struct {
    uint32_t width, height, count, bits;
  } sizes[] = {{176, 144, 99, 7}, {16, 16, 1, 1}, {352, 288, 396, 9}, {720, 576, 1620, 11}};
  for (const auto& s : sizes) {
    ASSERT_EQ(LookSequence(handle, VolBytes(s.width, s.height)), 0u) << s.width;
    EXPECT_EQ(decoder.grid.count, s.count);
    EXPECT_EQ(decoder.grid.numberBits, s.bits) << s.width << "x" << s.height;
  }
  // Smaller keeps the tables and refills the column and row arrays.
  const int32_t* columns = decoder.grid.column;
  ASSERT_EQ(LookSequence(handle, VolBytes(176, 144)), 0u);
  EXPECT_EQ(decoder.grid.column, columns);
  EXPECT_EQ(decoder.grid.allocatedCount, 1620u);
  EXPECT_EQ(decoder.grid.column[12], 1);
  EXPECT_EQ(decoder.grid.row[12], 1);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);

  // Larger than allocated: new tables for the new count.
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4Decoder& fresh = InspectInstance(handle);
  ASSERT_EQ(LookSequence(handle, VolBytes(176, 144)), 0u);
  EXPECT_EQ(fresh.grid.allocatedCount, 99u);
  ASSERT_EQ(LookSequence(handle, VolBytes(352, 288)), 0u);
  EXPECT_EQ(fresh.grid.allocatedCount, 396u);
  EXPECT_EQ(fresh.grid.allocatedColumns, 22u);
  EXPECT_EQ(fresh.grid.column[395], 21);
  EXPECT_EQ(fresh.grid.row[395], 17);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
}

// Offsets of the visual-object-sequence start codes that begin each picture
// of an ffmpeg stream.
std::vector<size_t> PictureStarts(const std::vector<uint8_t>& stream) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB0) starts.push_back(i);
  }
  return starts;
}

size_t FindVop(const std::vector<uint8_t>& stream, size_t from) {
  for (size_t i = from; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6) return i;
  }
  return stream.size();
}

TEST(DecoderInterface, DisconKeepsTheLayerAndResetForgetsIt) {
  const std::vector<uint8_t> stream = test::ReadFixture("i_q8_176x144.m4v");
  const std::vector<size_t> starts = PictureStarts(stream);
  ASSERT_GE(starts.size(), 3u);
  const size_t vop = FindVop(stream, starts[1]);
  const uint8_t* vopOnly = stream.data() + vop;
  const size_t vopLength = starts[2] - vop;

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4DecFrame frame;
  ASSERT_EQ(Decode(handle, stream.data(), starts[1], frame), 0u);
  EXPECT_EQ(Mpeg4DecDiscon(handle), 0u);
  // The layer stays: a picture without one decodes; the references were
  // forgotten, so there is nothing to show yet.
  EXPECT_EQ(Decode(handle, vopOnly, vopLength, frame), 0u);
  EXPECT_EQ(frame.pictureKind, 1u);
  EXPECT_EQ(frame.outputAvailable, 0u);
  EXPECT_EQ(frame.consumed, vopLength);
  EXPECT_EQ(Decode(handle, vopOnly, vopLength, frame), 0u);
  EXPECT_EQ(frame.outputAvailable, 1u);

  EXPECT_EQ(Mpeg4DecReset(handle), 0u);
  EXPECT_EQ(InspectInstance(handle).stream.volSeen, 0u);
  EXPECT_EQ(Decode(handle, vopOnly, vopLength, frame), 0x200u);
  EXPECT_EQ(frame.pictureKind, 0u);

  // A failed sequence look resets the decoder too.
  ASSERT_EQ(Decode(handle, stream.data(), starts[1], frame), 0u);
  ASSERT_EQ(InspectInstance(handle).stream.volSeen, 1u);
  EXPECT_NE(LookSequence(handle, std::vector<uint8_t>(vopOnly, vopOnly + vopLength)), 0u);
  EXPECT_EQ(InspectInstance(handle).stream.volSeen, 0u);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
}

}  // namespace
}  // namespace tlx::mpeg4
