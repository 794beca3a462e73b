// The bounded bit reader against a naive bit-at-a-time reader, with the
// input flush against an inaccessible page so any read outside it faults.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/start_codes.h"
#include "filters/mpeg4/core/stream_headers.h"

namespace tlx::mpeg4 {
namespace {

// Three pages: inaccessible, readable, inaccessible.
class GuardedPage {
 public:
  GuardedPage() {
    size_ = size_t(sysconf(_SC_PAGESIZE));
    void* block = mmap(nullptr, 3 * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(block, MAP_FAILED);
    base_ = static_cast<uint8_t*>(block);
    EXPECT_EQ(mprotect(base_ + size_, size_, PROT_READ | PROT_WRITE), 0);
  }
  ~GuardedPage() { munmap(base_, 3 * size_); }
  uint8_t* begin() const { return base_ + size_; }
  uint8_t* end() const { return base_ + 2 * size_; }
  size_t size() const { return size_; }

 private:
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
};

// Bit p of the input, zero past its end.
struct NaiveReader {
  const uint8_t* data;
  size_t length;
  uint64_t position = 0;
  uint32_t Bit(uint64_t p) const { return p < 8 * length ? (data[p / 8] >> (7 - p % 8)) & 1 : 0; }
  uint32_t Peek(int n) const {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) value = (value << 1) | Bit(position + i);
    return value;
  }
};

void RunRandomSession(const uint8_t* input, size_t length, uint32_t bitOffset, std::mt19937& random) {
  BitReader reader;
  BitReaderInit(reader, input, bitOffset, input + length);
  NaiveReader naive{input, length, bitOffset};
  std::uniform_int_distribution<int> operation(0, 9);
  std::uniform_int_distribution<int> width(1, 32);
  const uint64_t limit = 8 * length + 100;
  while (naive.position < limit) {
    ASSERT_EQ(BitWindow(reader), naive.Peek(32)) << "at bit " << naive.position;
    const int op = operation(random);
    if (op < 5) {
      const int n = width(random);
      ASSERT_EQ(BitRead(reader, n), naive.Peek(n)) << "read " << n << " at bit " << naive.position;
      naive.position += n;
    } else if (op < 7) {
      // A partial read and then a full 32-bit one.
      const int n = width(random) % 31 + 1;
      naive.position += n;
      BitSkip(reader, n);
      ASSERT_EQ(BitRead(reader, 32), naive.Peek(32)) << "32 after " << n;
      naive.position += 32;
    } else if (op < 8) {
      BitByteAlign(reader);
      naive.position = (naive.position + 7) / 8 * 8;
    } else {
      const int n = width(random) % 33;  // 0 .. 32
      BitSkip(reader, n);
      naive.position += n;
    }
    const uint8_t* byte = nullptr;
    uint32_t bit = 0;
    const int result = BitPosition(reader, &byte, &bit);
    if (naive.position < 8 * length) {
      ASSERT_EQ(result, 0);
      ASSERT_EQ(byte, input + naive.position / 8);
      ASSERT_EQ(bit, naive.position % 8);
      ASSERT_EQ(reader.status, 0u);
    } else {
      ASSERT_EQ(byte, input + length);
      ASSERT_EQ(bit, 0u);
      ASSERT_EQ(result, naive.position == 8 * length ? 0 : -1);
      ASSERT_EQ(reader.status, naive.position == 8 * length ? 0u : kStatusInvalidCode);
    }
    ASSERT_EQ(BitAtEnd(reader), naive.position >= 8 * length);
  }
}

TEST(BitReader, MatchesANaiveReaderAndNeverLeavesTheInput) {
  GuardedPage page;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> lengthOf(0, 40);
  std::uniform_int_distribution<int> byteOf(0, 255);
  for (int round = 0; round < 400; ++round) {
    for (size_t i = 0; i < page.size(); ++i) page.begin()[i] = uint8_t(byteOf(random));
    const size_t length = size_t(lengthOf(random));
    const uint32_t bitOffset = uint32_t(random() % 8) * (length > 0 ? 1 : 0);
    // Flush against the page before (unaligned end) and after (unaligned start).
    RunRandomSession(page.begin(), length, bitOffset, random);
    RunRandomSession(page.end() - length, length, bitOffset, random);
    if (HasFatalFailure()) return;
  }
}

TEST(BitReader, ReadsPastTheEndAsZerosAndMarksTheOverrun) {
  const uint8_t input[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA5, 0xFF, 0xFF};
  BitReader reader;
  BitReaderInit(reader, input + 1, 0, input + 6);  // FF FF FF FF A5
  EXPECT_EQ(BitRead(reader, 32), 0xFFFFFFFFu);
  EXPECT_EQ(BitWindow(reader), 0xA5000000u);
  EXPECT_EQ(BitRead(reader, 8), 0xA5u);
  EXPECT_EQ(reader.status, 0u);
  EXPECT_EQ(BitRead(reader, 1), 0u);
  EXPECT_EQ(reader.status, kStatusInvalidCode);
}

// Bytes and a starting bit; what the resynchronisation helpers see there.
TEST(BitReader, ResyncHelpers) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t skip;
    uint32_t resync17;  // BitNextIsResyncMarker(17)
    uint32_t peek17;    // BitPeekAfterStuffing(17)
  } cases[] = {
      {"stuffing 0111 then a marker", {0xA7, 0x00, 0x00, 0x80}, 4, 1, (0x7u << 17) | 1},
      {"aligned: a stuffing byte then a marker", {0x7F, 0x00, 0x00, 0x80}, 0, 1, 0xFE00},
      {"aligned: a start code", {0x00, 0x00, 0x01, 0xB6}, 0, 0, 0},
      {"zero stuffing then a marker (short-header style)", {0xF0, 0x00, 0x00, 0x80}, 4, 0xFFFFFFFF, 1},
      {"no stuffing pattern", {0xAB, 0xCD, 0xEF, 0x01}, 3, 0xFFFFFFFF, (0xBu << 17) | 0x19BDE},
  };
  for (const auto& c : cases) {
    BitReader reader;
    BitReaderInit(reader, c.bytes.data(), c.skip, c.bytes.data() + c.bytes.size());
    EXPECT_EQ(BitNextIsResyncMarker(reader, 17), c.resync17) << c.name;
    EXPECT_EQ(BitPeekAfterStuffing(reader, 17), c.peek17) << c.name;
  }
  // Skipping to a resync point stops where 16 zero bits start a byte.
  const uint8_t bytes[] = {0x12, 0x34, 0x00, 0x56, 0x00, 0x00, 0x81, 0xFF};
  BitReader reader;
  BitReaderInit(reader, bytes, 3, bytes + sizeof(bytes));
  BitSkipToResync(reader, 17);
  EXPECT_EQ(BitPositionBits(reader) - 8 * reader.begin, 32u);
  // A start code is found only when all of it lies in the data.
  const uint8_t tail[] = {0x55, 0x00, 0x00, 0x01};
  BitReaderInit(reader, tail, 0, tail + sizeof(tail));
  EXPECT_EQ(BitNextStartCode(reader), 0u);
  EXPECT_TRUE(BitAtEnd(reader));
}

// Resync markers are told by their zero run after the stuffing: at least
// length - 1 zeros (longer runs, as encoders write for B-VOPs, too), at most
// 22, since 23 zeros and a 1 begin a start code.
TEST(BitReader, ResyncMarkerLengthsAreRecognisedTolerantly) {
  const struct {
    uint32_t zeros;
    uint32_t length;
    uint32_t expected;
  } cases[] = {{15, 17, 0}, {16, 17, 17}, {17, 17, 18}, {16, 18, 0}, {17, 18, 18}, {22, 17, 23}, {23, 17, 0}};
  for (const auto& c : cases) {
    // Stuffing 0111 from bit 4, then the zero run and a 1.
    std::vector<uint8_t> bytes(8, 0);
    bytes[0] = 0xA7;
    const uint32_t one = 8 + c.zeros;
    bytes[one / 8] |= uint8_t(0x80 >> (one % 8));
    BitReader reader;
    BitReaderInit(reader, bytes.data(), 4, bytes.data() + bytes.size());
    EXPECT_EQ(BitResyncMarkerBits(reader, c.length), c.expected) << c.zeros << " zeros, length " << c.length;
  }
}

TEST(BitReader, TimeIncrementWidths) {
  const struct {
    uint32_t resolution, bits;
  } cases[] = {{1, 1}, {2, 1}, {30, 5}, {1000, 10}, {65535, 16}, {25, 5}, {0, 16}};
  for (const auto& c : cases) EXPECT_EQ(ComputeTimeIncrementBits(c.resolution), c.bits) << c.resolution;
}

}  // namespace
}  // namespace tlx::mpeg4
