// StreamBuffer: the start-code scanner against a plain matcher, compaction,
// the free-space limit, sources flush against inaccessible pages, decoder
// failure and the two ways of emptying.
#include "filters/mpeg4/stream_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "filter_harness.h"
#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/guarded_block.h"
#include "filters/mpeg4/support/stream_corrupter.h"

namespace tlx::mpeg4::filtertest {
namespace {

using test::GuardedBlock;
using test::ReadFixture;
using test::VopStarts;

size_t NaivePictureStarts(const std::vector<uint8_t>& bytes) {
  size_t count = 0;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && (bytes[i + 3] == 0xB6 || bytes[i + 3] == 0xB7))
      ++count;
  }
  return count;
}

// Appends `bytes` cut at the given points.
void AppendInPieces(StreamBuffer& buffer, const std::vector<uint8_t>& bytes, std::vector<size_t> cuts) {
  cuts.push_back(bytes.size());
  size_t at = 0;
  for (size_t cut : cuts) {
    ASSERT_EQ(buffer.AppendBytes(bytes.data() + at, cut - at), cut - at);
    at = cut;
  }
}

TEST(StreamBuffer, ScannerCountsWhatAPlainMatcherCountsAcrossAnyCuts) {
  std::mt19937 random(19);
  // Bytes drawn mostly from start-code material, so prefixes of every length
  // and start codes next to each other are common.
  const uint8_t alphabet[] = {0x00, 0x00, 0x00, 0x01, 0x01, 0xB6, 0xB7, 0xB0, 0x20, 0xFF};
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(random() % 300);
    for (uint8_t& b : bytes) b = random() % 4 == 0 ? uint8_t(random()) : alphabet[random() % sizeof(alphabet)];
    std::vector<size_t> cuts;
    for (size_t i = 1; i < bytes.size(); ++i) {
      if (random() % 5 == 0) cuts.push_back(i);
    }
    StreamBuffer buffer;
    buffer.AllocateBuffer(1024);
    AppendInPieces(buffer, bytes, cuts);
    const size_t expected = NaivePictureStarts(bytes);
    ASSERT_EQ(buffer.AppendedPictures(), expected) << "round " << round;
    ASSERT_EQ(buffer.PendingPictures(), expected);
    ASSERT_EQ(buffer.UnreadBytes(), bytes.size());
    if (!bytes.empty()) {
      ASSERT_EQ(std::memcmp(buffer.Unread(), bytes.data(), bytes.size()), 0);
    }
  }
}

TEST(StreamBuffer, CountsOnlyWholePictureStartsWhereverTheyAreCut) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<size_t> cuts;
    uint32_t pictures;
  };
  const Case cases[] = {
      {"00 00 | 01 B6", {0x00, 0x00, 0x01, 0xB6}, {2}, 1},
      {"00 | 00 | 01 | B6", {0x00, 0x00, 0x01, 0xB6}, {1, 2, 3}, 1},
      {"three zeros", {0x00, 0x00, 0x00, 0x01, 0xB6}, {}, 1},
      {"one zero", {0x00, 0x01, 0xB6}, {}, 0},
      {"sequence start", {0x00, 0x00, 0x01, 0xB0}, {}, 0},
      {"end marker", {0x00, 0x00, 0x01, 0xB7}, {3}, 1},
      {"object start, then a picture", {0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xB6}, {}, 1},
      {"two pictures back to back", {0x00, 0x00, 0x01, 0xB6, 0x00, 0x00, 0x01, 0xB6}, {5}, 2},
  };
  for (const Case& c : cases) {
    StreamBuffer buffer;
    buffer.AllocateBuffer(64);
    AppendInPieces(buffer, c.bytes, c.cuts);
    EXPECT_EQ(buffer.AppendedPictures(), c.pictures) << c.what;
  }
}

TEST(StreamBuffer, AppendsOnlyWhatFitsAndCompactionKeepsTheUnreadBytes) {
  const std::vector<uint8_t> stream = ReadFixture("sp_ip_176x144.m4v");
  ASSERT_FALSE(stream.empty());
  StreamBuffer buffer;
  const size_t capacity = stream.size() / 2;
  ASSERT_EQ(buffer.AllocateBuffer(capacity), capacity);
  EXPECT_EQ(buffer.AppendBytes(stream.data(), stream.size()), capacity) << "the short count";
  EXPECT_EQ(buffer.AppendBytes(stream.data(), 1), 0u);

  Mpeg4DecFrame frame{};
  ASSERT_EQ(buffer.DecodeOnePicture(frame), 0);
  const size_t consumed = frame.consumed;
  ASSERT_GT(consumed, 0u);
  EXPECT_EQ(buffer.UnreadBytes(), capacity - consumed);
  EXPECT_EQ(buffer.DecodedPictures(), 1u);
  EXPECT_EQ(buffer.CompactBuffer(), consumed);
  EXPECT_EQ(buffer.CompactBuffer(), 0u) << "nothing more to move";
  ASSERT_EQ(buffer.UnreadBytes(), capacity - consumed);
  EXPECT_EQ(std::memcmp(buffer.Unread(), stream.data() + consumed, capacity - consumed), 0);
  // The room freed at the end takes the next bytes.
  EXPECT_EQ(buffer.AppendBytes(stream.data() + capacity, stream.size()), consumed);
  EXPECT_EQ(std::memcmp(buffer.Unread(), stream.data() + consumed, capacity), 0);

  // No buffer: nothing is held and nothing accepted.
  EXPECT_EQ(buffer.AllocateBuffer(0), 0u);
  EXPECT_EQ(buffer.AppendBytes(stream.data(), 4), 0u);
  EXPECT_EQ(buffer.UnreadBytes(), 0u);
}

TEST(StreamBuffer, ReadsNoByteOutsideTheSource) {
  std::mt19937 random(7);
  StreamBuffer buffer;
  buffer.AllocateBuffer(4096);
  for (size_t length = 0; length <= 40; ++length) {
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes) b = random() % 3 == 0 ? 0 : uint8_t(random());
    if (length >= 4) std::memcpy(bytes.data() + length - 4, kEndOfStreamMarker, 4);
    GuardedBlock block(4096);
    for (uint8_t* source : {block.Tail(length), block.Head()}) {
      if (length > 0) std::memcpy(source, bytes.data(), length);
      buffer.ResetBuffer();
      ASSERT_EQ(buffer.AppendBytes(source, length), length);
      EXPECT_EQ(buffer.AppendedPictures(), NaivePictureStarts(bytes)) << length;
    }
  }
}

TEST(StreamBuffer, ADecoderFailureGivesAFreshInstanceAndKeepsTheUnreadBytes) {
  const std::vector<uint8_t> stream = ReadFixture("sp_ip_176x144.m4v");
  StreamBuffer buffer;
  buffer.AllocateBuffer(stream.size());
  buffer.AppendBytes(stream.data(), stream.size());
  Mpeg4DecFrame frame{};
  SetCoreAllocationFailure(1);
  const int32_t failed = buffer.DecodeOnePicture(frame);
  SetCoreAllocationFailure(0);
  EXPECT_LT(failed, 0);
  EXPECT_EQ(buffer.UnreadBytes(), stream.size());
  EXPECT_NE(buffer.Decoder(), nullptr);
  // The failed instance would report its fatal status from now on; the
  // fresh one reads the sequence header from the bytes that were kept.
  frame = Mpeg4DecFrame{};
  EXPECT_EQ(buffer.DecodeOnePicture(frame), 0);
  EXPECT_EQ(frame.pictureKind, 1u);
}

// Clear keeps the sequence header: the stream goes on at its next I-VOP
// without one. Reset forgets it: the same bytes decode nothing.
TEST(StreamBuffer, AfterClearTheNextIntraPictureDecodesAndAfterResetItNeedsASequenceHeader) {
  const std::vector<uint8_t> stream = ReadFixture("sp_ip_176x144.m4v");
  const std::vector<size_t> starts = VopStarts(stream);
  ASSERT_GT(starts.size(), 13u);
  for (const bool clear : {true, false}) {
    StreamBuffer buffer;
    buffer.AllocateBuffer(stream.size());
    buffer.AppendBytes(stream.data(), starts[3]);
    Mpeg4DecFrame frame{};
    for (int i = 0; i < 2; ++i) ASSERT_EQ(buffer.DecodeOnePicture(frame), 0);
    if (clear) {
      buffer.ClearBuffer();
    } else {
      buffer.ResetBuffer();
    }
    EXPECT_EQ(buffer.UnreadBytes(), 0u);
    EXPECT_EQ(buffer.AppendedPictures() + buffer.PendingPictures() + buffer.DecodedPictures(), 0u);
    // The I-VOP of picture 12 and the P-VOP after it.
    buffer.AppendBytes(stream.data() + starts[12], starts[14] - starts[12]);
    frame = Mpeg4DecFrame{};
    const int32_t intra = buffer.DecodeOnePicture(frame);
    const uint32_t kind = frame.pictureKind;
    frame = Mpeg4DecFrame{};
    buffer.DecodeOnePicture(frame);
    if (clear) {
      EXPECT_EQ(intra, 0);
      EXPECT_EQ(kind, 1u);
      EXPECT_EQ(frame.outputAvailable, 1u) << "the I-VOP is returned";
    } else {
      EXPECT_NE(intra, 0);
      EXPECT_EQ(frame.outputAvailable, 0u);
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest
