// The start-code walk of one decode call: what is passed over, where a call
// stops, the end marker, and truncated input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/status.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/core_harness.h"

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
  EXPECT_EQ(InspectInstance(handle).mb.index, 99u);
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
  EXPECT_EQ(last.frame.yPlane, InspectInstance(handle).refs.past->yOrigin);
}

TEST_F(FrameDriver, NotCodedVopShowsTheReferenceAndChangesNothing) {
  ASSERT_EQ(Decode(handle, stream.data(), pictures[1]).status, 0u);
  ASSERT_EQ(Decode(handle, stream.data() + pictures[1], pictures[2] - pictures[1]).status, 0u);
  const Mpeg4Decoder& decoder = InspectInstance(handle);
  const Picture* past = decoder.refs.past;
  const Picture* future = decoder.refs.future;
  const int32_t seconds = decoder.stream.nextReferenceBase;
  test::VolFields vol;  // the stream's time resolution is 25 as well
  // I, P and S (a reference like P): the reference just decoded; B: the
  // past reference. At a later time than that reference, it keeps its turn.
  for (uint32_t type : {0u, 1u, 3u, 2u}) {
    test::BitWriter writer;
    test::VopFields vop;
    vop.codingType = type;
    vop.moduloTimeBase = 1;
    vop.timeIncrement = 9;
    vop.coded = 0;
    test::WriteVopHeader(writer, vol, vop);
    const Call call = Decode(handle, writer.bytes().data(), writer.bytes().size());
    EXPECT_EQ(call.status, 0u);
    EXPECT_EQ(call.frame.pictureKind, type + 1);
    EXPECT_EQ(call.frame.outputAvailable, 1u);
    EXPECT_EQ(call.frame.yPlane, type == 2 ? past->yOrigin : future->yOrigin);
    EXPECT_EQ(future->returnedAhead, 0u);
    EXPECT_EQ(decoder.refs.past, past);
    EXPECT_EQ(decoder.refs.future, future);
    EXPECT_EQ(decoder.stream.nextReferenceBase, seconds);
  }
}

TEST(FrameDriverOrder, PredictedPictureWithoutReferenceIsSkippedQuietly) {
  const std::vector<uint8_t> stream = test::ReadFixture("sp_ip_176x144.m4v");
  const std::vector<size_t> vops = StartCodes(stream, 0xB6);
  ASSERT_GE(vops.size(), 3u);
  // The layer headers, then the first P-VOP: nothing to predict from.
  std::vector<uint8_t> input(stream.begin(), stream.begin() + long(vops[0]));
  input.insert(input.end(), stream.begin() + long(vops[1]), stream.begin() + long(vops[2]));
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  const Call call = Decode(handle, input.data(), input.size());
  EXPECT_EQ(call.status, 0u);
  EXPECT_EQ(call.frame.pictureKind, 2u);
  EXPECT_EQ(call.frame.outputAvailable, 0u);
  EXPECT_EQ(call.frame.consumed, input.size());
  EXPECT_EQ(InspectInstance(handle).refs.future->valid, 0u);
  Mpeg4DecExit(handle);
}

// Every cut of the first picture, also those that fall exactly after a
// macroblock; each in a buffer of its own length, so a read past the cut is
// a read past the buffer.
TEST_F(FrameDriver, TruncatedPicturesAreNeverClean) {
  const size_t vop = StartCodes(stream, 0xB6).front();
  for (size_t length = vop + 8; length + 2 <= pictures[1]; ++length) {
    void* fresh = nullptr;
    ASSERT_EQ(Mpeg4DecInit(&fresh), 0u);
    const std::vector<uint8_t> cut(stream.begin(), stream.begin() + long(length));
    const Call call = Decode(fresh, cut.data(), length);
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

namespace tlx::mpeg4 {
namespace {

// The first three pictures of the stream with video packets.
class VideoPackets : public testing::Test {
 protected:
  void SetUp() override {
    const std::vector<uint8_t> stream = test::ReadFixture("i_packets_176x144.m4v");
    const std::vector<size_t> pictures = StartCodes(stream, 0xB0);
    ASSERT_GE(pictures.size(), 4u);
    clean.assign(stream.begin(), stream.begin() + long(pictures[3]));
    pictureOne = pictures[1];
    pictureTwo = pictures[2];
    // Resync markers of picture 1: 16 zero bits on a byte boundary, then a 1.
    for (size_t i = StartCodes(clean, 0xB6)[1] + 4; i + 2 < pictureTwo; ++i) {
      if (clean[i] == 0 && clean[i + 1] == 0 && (clean[i + 2] & 0x80) != 0) markers.push_back(i);
    }
    ASSERT_GE(markers.size(), 3u);
    reference = test::DecodeWithCore(clean, false);
    ASSERT_EQ(reference.pictures.size(), 3u);
  }

  static const uint8_t* Macroblock(const std::vector<uint8_t>& plane, int width, int column, int row, int size) {
    return plane.data() + size_t(row * size) * width + size_t(column * size);
  }

  static bool SameMacroblock(const test::CorePicture& a, const test::CorePicture& b, int column, int row) {
    for (int line = 0; line < 16; ++line) {
      if (std::memcmp(Macroblock(a.y, a.width, column, row, 16) + line * a.width,
                      Macroblock(b.y, b.width, column, row, 16) + line * b.width, 16) != 0) {
        return false;
      }
    }
    for (int line = 0; line < 8; ++line) {
      const int half = a.width / 2;
      if (std::memcmp(Macroblock(a.u, half, column, row, 8) + line * half,
                      Macroblock(b.u, half, column, row, 8) + line * half, 8) != 0 ||
          std::memcmp(Macroblock(a.v, half, column, row, 8) + line * half,
                      Macroblock(b.v, half, column, row, 8) + line * half, 8) != 0) {
        return false;
      }
    }
    return true;
  }

  std::vector<uint8_t> clean;
  size_t pictureOne = 0, pictureTwo = 0;
  std::vector<size_t> markers;
  test::CoreDecode reference;
};

TEST_F(VideoPackets, LostPacketIsConcealedFromThePastReference) {
  // Drop the second packet of picture 1; its macroblocks are copied from
  // picture 0 and everything else decodes as before.
  std::vector<uint8_t> damaged(clean);
  damaged.erase(damaged.begin() + long(markers[0]), damaged.begin() + long(markers[1]));
  const test::CoreDecode result = test::DecodeWithCore(damaged, false);
  for (uint32_t status : result.statuses) EXPECT_EQ(status, 0u);
  ASSERT_EQ(result.pictures.size(), 3u);
  // The macroblock number: the 7 bits after the marker bit.
  const int first = clean[markers[0] + 2] & 0x7F;
  const int next = clean[markers[1] + 2] & 0x7F;
  ASSERT_LT(first, next);
  for (int mb = 0; mb < 99; ++mb) {
    const bool lost = mb >= first && mb < next;
    const test::CorePicture& expected = lost ? reference.pictures[0] : reference.pictures[1];
    EXPECT_TRUE(SameMacroblock(result.pictures[1], expected, mb % 11, mb / 11)) << "macroblock " << mb;
  }
  EXPECT_EQ(result.pictures[0].y, reference.pictures[0].y);
  EXPECT_EQ(result.pictures[2].y, reference.pictures[2].y);
}

TEST_F(VideoPackets, HeaderExtensionIsReadAndDecodesTheSame) {
  // Rewrite the second packet of picture 1 with a header extension that
  // repeats the picture's time, type and intra DC threshold.
  auto bit = [this](size_t p) { return uint32_t(clean[p / 8] >> (7 - p % 8)) & 1; };
  const size_t start = markers[0] * 8;
  const size_t extensionFlag = start + 17 + 7 + 5;  // marker, macroblock number, quant_scale
  ASSERT_EQ(bit(extensionFlag), 0u);
  size_t dataEnd = markers[1] * 8 - 1;
  while (bit(dataEnd) == 1) --dataEnd;  // drop the stuffing: ones, then its leading 0
  test::BitWriter writer;
  for (size_t p = start; p < extensionFlag; ++p) writer.Put(bit(p), 1);
  writer.Put(1, 1);  // header_extension_code
  writer.Put(0, 1);  // modulo_time_base
  writer.Marker();
  writer.Put(1, 5);  // vop_time_increment of picture 1
  writer.Marker();
  writer.Put(0, 2);  // I-VOP
  writer.Put(0, 3);  // intra_dc_vlc_thr
  for (size_t p = extensionFlag + 1; p < dataEnd; ++p) writer.Put(bit(p), 1);
  writer.Stuff();
  std::vector<uint8_t> extended(clean.begin(), clean.begin() + long(markers[0]));
  extended.insert(extended.end(), writer.bytes().begin(), writer.bytes().end());
  extended.insert(extended.end(), clean.begin() + long(markers[1]), clean.end());

  const test::CoreDecode result = test::DecodeWithCore(extended, false);
  for (uint32_t status : result.statuses) EXPECT_EQ(status, 0u);
  ASSERT_EQ(result.pictures.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(result.pictures[i].y, reference.pictures[i].y) << "picture " << i;
    EXPECT_EQ(result.pictures[i].v, reference.pictures[i].v) << "picture " << i;
  }
}

TEST_F(VideoPackets, CorruptPacketDamagesOnlyItsPicture) {
  std::vector<uint8_t> damaged(clean);
  std::fill(damaged.begin() + long(markers[0]) + 6, damaged.begin() + long(markers[0]) + 14, 0x00);
  const test::CoreDecode result = test::DecodeWithCore(damaged, false);
  ASSERT_EQ(result.pictures.size(), 3u);
  // The call that decoded picture 1 reports the damage; the next one is clean.
  ASSERT_GE(result.statuses.size(), 3u);
  EXPECT_NE(result.statuses[1], 0u);
  EXPECT_EQ(result.statuses[2], 0u);
  EXPECT_EQ(result.pictures[0].y, reference.pictures[0].y);
  EXPECT_EQ(result.pictures[2].y, reference.pictures[2].y);
  EXPECT_EQ(result.pictures[2].u, reference.pictures[2].u);
  // Macroblocks before the damaged packet are intact.
  const int first = clean[markers[0] + 2] & 0x7F;
  for (int mb = 0; mb < first; ++mb) {
    EXPECT_TRUE(SameMacroblock(result.pictures[1], reference.pictures[1], mb % 11, mb / 11)) << "macroblock " << mb;
  }
}

}  // namespace
}  // namespace tlx::mpeg4

namespace tlx::mpeg4 {
namespace {

// Damaged streams: every call ends, uses no more than it was given, and
// touches nothing outside the input (the sanitizer builds watch that).
TEST(MalformedInput, DamagedStreamsNeitherCrashNorHang) {
  std::mt19937 random(11);
  for (const char* name : {"i_packets_176x144.m4v", "i_ilace_tff1_176x144.m4v", "i_dquant_352x288.m4v",
                           "b2_176x144.m4v", "gmc_352x288.m4v", "h263_176x144.h263"}) {
    std::vector<uint8_t> stream = test::ReadFixture(name);
    const std::vector<size_t> pictures = StartCodes(stream, 0xB0);
    if (pictures.size() > 3) stream.resize(pictures[3]);
    stream.resize(std::min<size_t>(stream.size(), 40000));
    for (int round = 0; round < 30; ++round) {
      std::vector<uint8_t> damaged(stream);
      std::uniform_int_distribution<size_t> at(0, damaged.size() - 1);
      switch (round % 3) {
        case 0:  // scattered bytes
          for (int i = 0; i < 20; ++i) damaged[at(random)] = uint8_t(random());
          break;
        case 1:  // a run of zeros (false resync markers and start codes)
          std::fill_n(damaged.begin() + long(at(random) / 2), 24, 0x00);
          break;
        default:  // cut short, and a start code dropped in at random
          damaged.resize(at(random) + 1);
          damaged.insert(damaged.begin() + long(damaged.size() / 2), {0x00, 0x00, 0x01, uint8_t(random())});
          break;
      }
      const test::CoreDecode result = test::DecodeWithCore(damaged, true);
      EXPECT_LE(result.statuses.size(), damaged.size() + 5) << name << " round " << round;
      for (uint32_t status : result.statuses) EXPECT_LT(status, 0x80000000u) << name << " round " << round;
    }
  }
}

// The seconds count of a stream grows by every modulo time base it sends; a
// long or hostile stream can carry it past the largest 32-bit value, where it
// wraps (as the reported unsigned field does) for pictures and header looks.
TEST(FrameDriverTime, SecondsWrapPastTheLargestCount) {
  test::VolFields vol;
  test::BitWriter layer;
  test::WriteVol(layer, vol);
  test::VopFields intra;
  intra.moduloTimeBase = 1;
  test::BitWriter picture;
  test::WriteVopHeader(picture, vol, intra);
  picture.Bytes(std::vector<uint8_t>(16, 0));
  picture.StartCode(0x1B7);

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Decode(handle, layer.bytes().data(), layer.bytes().size());
  Mpeg4Decoder& decoder = InspectInstance(handle);
  ASSERT_EQ(decoder.stream.volSeen, 1u);
  decoder.stream.nextReferenceBase = decoder.stream.lastReferenceBase = 0x7FFFFFFF;
  const Call look = [&] {
    Call call{};
    call.frame.input = picture.bytes().data();
    call.frame.inputLength = uint32_t(picture.bytes().size());
    call.status = Mpeg4DecLookPictureHeader(handle, &call.frame);
    return call;
  }();
  EXPECT_EQ(look.frame.timeSeconds, 0x80000000u);
  const Call decoded = Decode(handle, picture.bytes().data(), picture.bytes().size());
  EXPECT_EQ(decoded.frame.pictureKind, 1u);
  EXPECT_EQ(decoded.frame.timeSeconds, 0x80000000u);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
}

// A sprite picture of a data-partitioned layer is not decoded: its call
// reports 0x2 instead of leaving the picture stale without a word. The layer
// is the partitioned fixture's with global motion compensation added; its
// first (intra) picture follows unchanged and decodes clean.
TEST(DataPartitioning, SpritePicturesReportUnsupported) {
  const std::vector<uint8_t> fixture = test::ReadFixture("dp_176x144.m4v");
  const std::vector<uint8_t> vopCode = {0x00, 0x00, 0x01, 0xB6};
  const auto first = std::search(fixture.begin(), fixture.end(), vopCode.begin(), vopCode.end());
  const auto second = std::search(first + 4, fixture.end(), vopCode.begin(), vopCode.end());
  ASSERT_NE(second, fixture.end());

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4DecFrame look{};
  look.input = fixture.data();
  look.inputLength = uint32_t(first - fixture.begin());
  ASSERT_EQ(Mpeg4DecLookSequenceHeader(handle, &look), 0u);
  const VolHeader layer = InspectInstance(handle).stream.vol;
  Mpeg4DecExit(handle);
  ASSERT_EQ(layer.dataPartitioned, 1u);

  test::VolFields vol;
  vol.timeIncrementResolution = layer.timeIncrementResolution;
  vol.width = layer.width;
  vol.height = layer.height;
  vol.dataPartitioned = 1;
  vol.reversibleVlc = layer.reversibleVlc;
  vol.spriteEnable = kSpriteGmc;
  test::BitWriter writer;
  test::WriteVol(writer, vol);
  std::vector<uint8_t> stream = writer.bytes();
  stream.insert(stream.end(), first, second);
  test::VopFields sprite;
  sprite.codingType = kVopS;
  sprite.timeIncrement = 1;
  test::BitWriter picture;
  test::WriteVopHeader(picture, vol, sprite);
  picture.Put(0xA5A5A5A5, 32);
  picture.Stuff();
  stream.insert(stream.end(), picture.bytes().begin(), picture.bytes().end());

  const test::CoreDecode decoded = test::DecodeWithCore(stream, false);
  ASSERT_GE(decoded.statuses.size(), 2u);
  EXPECT_EQ(decoded.statuses[0], 0u);
  EXPECT_EQ(decoded.statuses[1], kStatusUnsupported);
}

}  // namespace
}  // namespace tlx::mpeg4
