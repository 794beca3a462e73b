#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "filters/avc/avc_input_handler.h"

namespace tlx::avc {
namespace {

using Bytes = std::vector<uint8_t>;

// The scan machine one byte at a time, as the table gives it.
int ByteWiseScan(const uint8_t* data, size_t n, int* state) {
  static constexpr int kNext[4][3] = {{1, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 0, 0}};
  int found = 0;
  for (size_t i = 0; i < n; ++i) {
    const int cls = data[i] == 0 ? 0 : data[i] == 1 ? 1 : 2;
    *state = kNext[*state][cls];
    if (*state == 3) ++found;
  }
  return found;
}

TEST(StartCodeScan, WordWiseScanEqualsTheByteMachine) {
  std::mt19937 random(7);
  const uint8_t alphabet[] = {0, 0, 0, 0, 1, 1, 2, 0x65, 0xFF};
  std::vector<uint8_t> block(4096 + 8);
  for (int round = 0; round < 2000; ++round) {
    const size_t offset = random() % 8, length = random() % 64;
    for (size_t i = 0; i < length; ++i) block[offset + i] = alphabet[random() % sizeof(alphabet)];
    int state = static_cast<int>(random() % 4), reference = state;
    const int got = ScanStartCodes(block.data() + offset, length, &state);
    ASSERT_EQ(got, ByteWiseScan(block.data() + offset, length, &reference)) << round;
    ASSERT_EQ(state, reference) << round;
  }
}

struct Sample {
  Bytes bytes;
  std::optional<int64_t> time = std::nullopt;
  bool discontinuity = false;
};

struct Unit {
  Bytes bytes;  // without the zeros that end it
  std::optional<int64_t> time = std::nullopt;
  bool discontinuity = false;
  bool operator==(const Unit&) const = default;
};

void PrintTo(const Unit& unit, std::ostream* os) {
  *os << "{" << unit.bytes.size() << " bytes, first " << (unit.bytes.empty() ? -1 : unit.bytes[0]) << ", time "
      << (unit.time ? *unit.time : -1) << ", disc " << unit.discontinuity << "}";
}

// What the core takes of a unit: up to the first 00 00 01 after its first byte.
size_t Taken(const uint8_t* data, size_t length) {
  for (size_t i = 1; i + 2 < length; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  return length;
}

Unit Take(CAvcInputHandler& handler, const uint8_t* data, size_t length) {
  Unit unit;
  const size_t taken = Taken(data, length);
  size_t end = taken;
  while (end > 0 && data[end - 1] == 0) --end;
  unit.bytes.assign(data, data + end);
  int64_t time = 0;
  if (handler.GetTime(&time)) unit.time = time;
  unit.discontinuity = handler.GetDiscontinuity();
  handler.Consume(taken);
  return unit;
}

// Feeds the samples as Receive does and ends as end of stream does; the units
// fed while samples arrive come first, then those of the end.
std::pair<std::vector<Unit>, std::vector<Unit>> Feed(CAvcInputHandler& handler, const std::vector<Sample>& samples) {
  std::vector<Unit> during, atEnd;
  for (const Sample& sample : samples) {
    if (sample.discontinuity) handler.SetDiscontinuity();
    if (sample.time) handler.SetTime(*sample.time);
    handler.Append(sample.bytes.data(), sample.bytes.size());
    const uint8_t* data;
    size_t length;
    while (handler.NextNal(&data, &length)) during.push_back(Take(handler, data, length));
  }
  const uint8_t* data;
  size_t length;
  while (handler.NextNalAtEnd(&data, &length)) atEnd.push_back(Take(handler, data, length));
  return {during, atEnd};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const Bytes kSc3 = {0, 0, 1}, kSc4 = {0, 0, 0, 1};
const Bytes kA = {0x09, 0xF0}, kB = {0x67, 0x42, 0x11}, kC = {0x68, 0xCE, 0x38}, kD = {0x65, 0x88, 0x84, 0x21};

TEST(ByteStreamHandler, SampleLayoutsGiveTheirUnitsTimesAndMarks) {
  struct Case {
    const char* name;
    std::vector<Sample> samples;
    std::vector<Unit> during, atEnd;
  };
  const Bytes dHead(kD.begin(), kD.begin() + 2), dTail(kD.begin() + 2, kD.end());
  const Case cases[] = {
      {"three units and the start of a fourth",
       {{Cat({kSc4, kA, kSc4, kB, kSc3, kC, kSc4, dHead}), 100}, {dTail, 200}},
       {{kA, 100}, {kB}, {kC}},
       {{kD}}},
      {"a time on a sample that begins inside a unit",
       {{Cat({kSc4, dHead}), 100}, {Cat({dTail, kSc4, kA, kSc4, kB}), 200, true}, {kSc4, 300}},
       {{kD, 100}, {kA, 200, true}, {kB}},
       {{{}, 300}}},  // a start code at the very end: an empty unit
      {"a start code split across samples",
       {{Cat({kSc4, kA, Bytes{0, 0}}), 100}, {Cat({Bytes{1}, kB, kSc3, kC}), 200}},
       {{kA, 100}, {kB, 200}},
       {{kC}}},
      {"00 00 01 00 00 01 completes one start code",
       {{Cat({kSc3, kSc3, kD, kSc3, kA}), 100}},
       {{Cat({kSc3, kD}), 100}},
       {{kA}}},
      {"long zero runs",
       {{Cat({Bytes(10, 0), Bytes{1}, kA, Bytes(9, 0), kSc3, kB}), 100}, {Cat({Bytes(20, 0), kSc3, kC})}},
       {{kA, 100}, {kB}},
       {{kC}}},
      {"bytes before the first start code",
       {{Cat({Bytes{0x65, 0x11, 0x00}, kSc3, kA, kSc3, kB}), 100}},
       {{kA, 100}},
       {{kB}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CAvcByteStreamHandler handler(CNalStreamBuffer::Create());
    const auto [during, atEnd] = Feed(handler, c.samples);
    EXPECT_EQ(during, c.during);
    EXPECT_EQ(atEnd, c.atEnd);
  }
}

TEST(ByteStreamHandler, TheTimeRingWrapsAt1024) {
  CAvcByteStreamHandler handler(CNalStreamBuffer::Create());
  std::vector<Sample> samples;
  for (int i = 0; i < 1100; ++i) samples.push_back({Cat({kSc3, kD}), i * 10});
  const auto [during, atEnd] = Feed(handler, samples);
  ASSERT_EQ(during.size(), 1099u);
  ASSERT_EQ(atEnd.size(), 1u);
  for (int i = 0; i < 1099; ++i) EXPECT_EQ(during[i].time, i * 10);
  EXPECT_EQ(atEnd[0].time, 10990);
  EXPECT_EQ(handler.buffer().ringRead(), 1100 % kTimeRingSize);
}

TEST(ByteStreamHandler, AnAppendBeyondTheFreeSpaceEmptiesTheBufferAndKeepsTheNewBytes) {
  CAvcByteStreamHandler handler(CNalStreamBuffer::Create(64));
  const Bytes first = Cat({kSc3, Bytes(37, 0x11)});
  handler.SetTime(100);
  handler.Append(first.data(), first.size());
  // Consuming makes room at the front: the next bytes are moved, not dropped.
  const uint8_t* data;
  size_t length;
  ASSERT_TRUE(handler.NextNalAtEnd(&data, &length));
  handler.Consume(20);
  const Bytes second = Cat({kSc3, kB, Bytes(20, 0x22)});
  handler.Append(second.data(), second.size());
  EXPECT_EQ(handler.buffer().fifo().held, first.size() - 23 + second.size());
  // Too much for what is left: everything held goes, the new bytes stay.
  const Bytes third = Cat({kSc3, kC, Bytes(50, 0x33)});
  handler.SetTime(300);
  handler.Append(third.data(), third.size());
  EXPECT_EQ(handler.buffer().fifo().held, third.size());
  EXPECT_EQ(handler.buffer().fifo().startCodes, 1);
  ASSERT_TRUE(handler.NextNalAtEnd(&data, &length));
  EXPECT_EQ(Bytes(data, data + length), Cat({kC, Bytes(50, 0x33)}));
  int64_t time = 0;
  ASSERT_TRUE(handler.GetTime(&time));
  EXPECT_EQ(time, 300);
  // Beyond the capacity itself: only what fits is kept.
  const Bytes huge(100, 0x44);
  handler.Append(huge.data(), huge.size());
  EXPECT_EQ(handler.buffer().fifo().held, 64u);
}

TEST(ByteStreamHandler, ResetForgetsDataMarksAndTimes) {
  CAvcByteStreamHandler handler(CNalStreamBuffer::Create());
  const Bytes bytes = Cat({kSc3, kA, kSc3, kB});
  handler.SetTime(5);
  handler.SetDiscontinuity();
  handler.Append(bytes.data(), bytes.size());
  handler.Reset();
  const uint8_t* data;
  size_t length;
  EXPECT_FALSE(handler.NextNalAtEnd(&data, &length));
  const auto [during, atEnd] = Feed(handler, {{bytes}});
  EXPECT_EQ(during, (std::vector<Unit>{{kA}}));
  EXPECT_EQ(atEnd, (std::vector<Unit>{{kB}}));
}

TEST(SampleHandler, HandsOutEachSampleWholeWithItsMarks) {
  CAvcSampleHandler handler;
  const Bytes sample = {0, 0, 0, 2, 0x65, 0x88};
  const uint8_t* data;
  size_t length;
  EXPECT_FALSE(handler.NextNal(&data, &length));
  handler.SetTime(70);
  handler.SetDiscontinuity();
  handler.Append(sample.data(), sample.size());
  ASSERT_TRUE(handler.NextNal(&data, &length));
  EXPECT_EQ(data, sample.data());
  EXPECT_EQ(length, sample.size());
  int64_t time = 0;
  EXPECT_TRUE(handler.GetTime(&time));
  EXPECT_EQ(time, 70);
  EXPECT_TRUE(handler.GetDiscontinuity());
  handler.Consume(2);
  EXPECT_FALSE(handler.NextNalAtEnd(&data, &length));
  EXPECT_FALSE(handler.GetTime(&time));
  EXPECT_FALSE(handler.GetDiscontinuity());
}

}  // namespace
}  // namespace tlx::avc
