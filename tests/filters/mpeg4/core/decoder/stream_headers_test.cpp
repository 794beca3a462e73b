// Stream headers: every fixture's layer and picture headers against
// libavcodec's picture lines, the refusal table on hand-made layers, and the
// sprite trajectory codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/frame_driver.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/stream_headers.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/reference_decoder.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;
using test::VolFields;
using test::VopFields;

// The fields of one libavcodec picture line ("qp:8 fc:1,1 I size:... pro:1
// alt:0 top:0 hpel part:0 resync:1 w:0 a:0 rnd:1 vot:1 VOLC dc:99 ... time:0
// tincr:0").
struct PictureLine {
  int qp = 0, fcodeForward = 0, fcodeBackward = 0;
  char type = '?';
  int progressive = 0, alternate = 0, top = 0;
  char pel = '?';
  int partitioned = 0, points = 0, accuracy = 0, rounding = 0, dc = 0;
  long long time = 0;
  int increment = 0;
};

PictureLine Parse(const std::string& line) {
  PictureLine p;
  std::map<std::string, std::string> fields;
  size_t at = 0;
  while (at < line.size()) {
    size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    const std::string word = line.substr(at, end - at);
    const size_t colon = word.find(':');
    if (colon != std::string::npos) {
      fields[word.substr(0, colon)] = word.substr(colon + 1);
    } else if (word.size() == 1) {
      p.type = word[0];
    } else if (word.size() == 4 && word.substr(1) == "pel") {
      p.pel = word[0];
    }
    at = end + 1;
  }
  p.qp = std::stoi(fields["qp"]);
  std::sscanf(fields["fc"].c_str(), "%d,%d", &p.fcodeForward, &p.fcodeBackward);
  p.progressive = std::stoi(fields["pro"]);
  p.alternate = std::stoi(fields["alt"]);
  p.top = std::stoi(fields["top"]);
  p.partitioned = std::stoi(fields["part"]);
  p.points = std::stoi(fields["w"]);
  p.accuracy = std::stoi(fields["a"]);
  p.rounding = std::stoi(fields["rnd"]);
  p.dc = std::stoi(fields["dc"]);
  p.time = std::stoll(fields["time"]);
  p.increment = std::stoi(fields["tincr"]);
  return p;
}

bool ContainsGroupHeader(const std::vector<uint8_t>& stream, size_t from, size_t to) {
  for (size_t i = from; i + 3 < to; ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB3) return true;
  }
  return false;
}

class FixtureHeaders : public testing::TestWithParam<std::string> {};

TEST_P(FixtureHeaders, EqualLibavcodecsPictureLines) {
  const std::vector<uint8_t> stream = test::ReadFixture(GetParam());
  test::ReferenceOptions options;
  options.pictureLines = true;
  const test::ReferenceDecode reference = test::DecodeWithLibavcodec(stream, options);
  ASSERT_FALSE(reference.frames.empty());
  ASSERT_FALSE(reference.pictureLines.empty());

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  const Mpeg4Decoder& decoder = InspectInstance(handle);
  static constexpr int kThresholds[8] = {99, 13, 15, 17, 19, 21, 23, 0};
  size_t offset = 0;
  size_t picture = 0;
  while (offset < stream.size() && picture < reference.pictureLines.size()) {
    Mpeg4DecFrame frame{};
    frame.input = stream.data() + offset;
    frame.inputLength = uint32_t(stream.size() - offset);
    const uint32_t status = Mpeg4DecLookPictureHeader(handle, &frame);
    if (frame.consumed == 0) break;
    const bool afterGroup = ContainsGroupHeader(stream, offset, offset + frame.consumed);
    offset += frame.consumed;
    // End markers and not-coded VOPs (libavcodec prints no line for them).
    if (frame.pictureKind == 0 || decoder.stream.vop.coded == 0) continue;
    ASSERT_EQ(status, 0u) << "picture " << picture;
    const PictureLine line = Parse(reference.pictureLines[picture]);
    const VolHeader& vol = decoder.stream.vol;
    const VopHeader& vop = decoder.stream.vop;
    SCOPED_TRACE("picture " + std::to_string(picture) + ": " + reference.pictureLines[picture]);
    EXPECT_EQ(vol.width, uint32_t(reference.frames[0].width));
    EXPECT_EQ(vol.height, uint32_t(reference.frames[0].height));
    EXPECT_EQ(vol.timeIncrementResolution, uint32_t(reference.timeIncrementResolution));
    EXPECT_EQ(vol.interlaced, uint32_t(1 - line.progressive));
    EXPECT_EQ(vol.quarterSample, line.pel == 'q' ? 1u : 0u);
    EXPECT_EQ(vol.dataPartitioned, uint32_t(line.partitioned));
    EXPECT_EQ(vol.reversibleVlc, 0u);  // no encoder at hand writes reversible codes
    EXPECT_EQ(vol.spriteEnable == kSpriteGmc ? vol.spriteWarpingPoints : 0u, uint32_t(line.points));
    EXPECT_EQ(vol.spriteWarpingAccuracy, uint32_t(line.accuracy));
    EXPECT_EQ("IPBS"[vop.codingType], line.type);
    EXPECT_EQ(vop.timeIncrement, uint32_t(line.increment));
    EXPECT_EQ(1 - int(vop.roundingType), line.rounding);
    EXPECT_EQ(kThresholds[decoder.stream.intraDcVlcIndex], line.dc);
    EXPECT_EQ(vop.topFieldFirst, uint32_t(line.top));
    EXPECT_EQ(vop.alternateVerticalScan, uint32_t(line.alternate));
    // A look keeps no running time base; right after a group header it is
    // exact.
    if (afterGroup) {
      EXPECT_EQ(int64_t(frame.timeSeconds) * vol.timeIncrementResolution + frame.timeIncrement, line.time);
    }
    ++picture;
  }
  EXPECT_EQ(picture, reference.pictureLines.size());
  Mpeg4DecExit(handle);

  // Decoding (whatever the macroblock layer makes of the data) also reads
  // vop_quant and the f-codes, and keeps the running time base.
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  const Mpeg4Decoder& decoding = InspectInstance(handle);
  offset = 0;
  picture = 0;
  int64_t firstTime = 0;
  long long firstLineTime = 0;
  while (offset < stream.size() && picture < reference.pictureLines.size()) {
    Mpeg4DecFrame frame{};
    frame.input = stream.data() + offset;
    frame.inputLength = uint32_t(stream.size() - offset);
    Mpeg4DecAFrame(handle, &frame);
    if (frame.consumed == 0) break;
    offset += frame.consumed;
    if (frame.pictureKind == 0 || decoding.stream.vop.coded == 0) continue;
    const PictureLine line = Parse(reference.pictureLines[picture]);
    SCOPED_TRACE("decoded picture " + std::to_string(picture) + ": " + reference.pictureLines[picture]);
    const VopHeader& vop = decoding.stream.vop;
    EXPECT_EQ(vop.quant, uint32_t(line.qp));
    if (vop.codingType != kVopI) {
      EXPECT_EQ(vop.fcodeForward, uint32_t(line.fcodeForward));
    }
    if (vop.codingType == kVopB) {
      EXPECT_EQ(vop.fcodeBackward, uint32_t(line.fcodeBackward));
    }
    // Without a group header the time base starts unknown (-1 seconds) here
    // and at 0 in libavcodec: times are compared from the first picture on.
    const int64_t time = int64_t(int32_t(frame.timeSeconds)) * frame.timeResolution + frame.timeIncrement;
    if (picture == 0) {
      firstTime = time;
      firstLineTime = line.time;
    }
    EXPECT_EQ(time - firstTime, line.time - firstLineTime);
    ++picture;
  }
  EXPECT_EQ(picture, reference.pictureLines.size());
  Mpeg4DecExit(handle);
}

// Every MPEG-4 stream of the fixture matrix that the layer header accepts
// (mq and big are refused: see below).
const std::vector<std::string> kAcceptedFixtures = {
    "b2_176x144.m4v",
    "b2_352x288.m4v",
    "dp_176x144.m4v",
    "dp_352x288.m4v",
    "dp_b1_176x144.m4v",
    "dp_b1_352x288.m4v",
    "dquant_176x144.m4v",
    "dquant_352x288.m4v",
    "gmc_352x288.m4v",
    "gmc_b_352x288.m4v",
    "i_aic_176x144.m4v",
    "i_aic_352x288.m4v",
    "i_dquant_176x144.m4v",
    "i_dquant_352x288.m4v",
    "i_ilace_tff0_176x144.m4v",
    "i_ilace_tff0_352x288.m4v",
    "i_ilace_tff1_176x144.m4v",
    "i_ilace_tff1_352x288.m4v",
    "i_max_720x576.m4v",
    "i_neutral_q2_176x144.m4v",
    "i_neutral_q2_352x288.m4v",
    "i_neutral_q2_720x576.m4v",
    "i_neutral_q4_176x144.m4v",
    "i_neutral_q4_352x288.m4v",
    "i_neutral_q4_720x576.m4v",
    "i_odd_184x136.m4v",
    "i_packets_176x144.m4v",
    "i_packets_352x288.m4v",
    "i_q20_176x144.m4v",
    "i_q20_352x288.m4v",
    "i_q2_176x144.m4v",
    "i_q2_352x288.m4v",
    "i_q31_176x144.m4v",
    "i_q31_352x288.m4v",
    "i_q8_176x144.m4v",
    "i_q8_352x288.m4v",
    "ilace_tff0_176x144.m4v",
    "ilace_tff0_352x288.m4v",
    "ilace_tff1_176x144.m4v",
    "ilace_tff1_352x288.m4v",
    "max_720x576.m4v",
    "mv4_176x144.m4v",
    "mv4_352x288.m4v",
    "odd_184x136.m4v",
    "packets_176x144.m4v",
    "packets_352x288.m4v",
    "qpel_176x144.m4v",
    "qpel_352x288.m4v",
    "qpel_b2_176x144.m4v",
    "qpel_b2_352x288.m4v",
    "sp_ip_176x144.m4v",
    "sp_ip_352x288.m4v",
};

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FixtureHeaders, testing::ValuesIn(kAcceptedFixtures),
    [](const testing::TestParamInfo<std::string>& info) {
      std::string name = info.param.substr(0, info.param.find('.'));
      for (char& c : name) {
        if (c == 'x') c = 'X';
      }
      return name;
    });

struct LookResult {
  uint32_t status;
  uint32_t volSeen;
  uint32_t mbCount;
  Mpeg4DecFrame frame;
};

LookResult LookAt(const std::vector<uint8_t>& bytes) {
  void* handle = nullptr;
  EXPECT_EQ(Mpeg4DecInit(&handle), 0u);
  LookResult result{};
  result.frame.input = bytes.data();
  result.frame.inputLength = uint32_t(bytes.size());
  // The internal look, without the reset that the export adds on failure.
  Mpeg4Decoder& decoder = InspectInstance(handle);
  result.status = LookSequenceHeader(decoder, result.frame);
  result.volSeen = decoder.stream.volSeen;
  result.mbCount = decoder.grid.count;
  Mpeg4DecExit(handle);
  return result;
}

std::vector<uint8_t> Vol(const VolFields& vol) {
  BitWriter writer;
  test::WriteVol(writer, vol);
  writer.StartCode(0x1B6);
  return writer.bytes();
}

TEST(StreamHeaders, RefusalTable) {
  auto with = [](auto change) {
    VolFields vol;
    change(vol);
    return vol;
  };
  const struct {
    const char* name;
    VolFields vol;
    uint32_t status;
  } cases[] = {
      {"plain", VolFields{}, 0},
      {"720x576", with([](VolFields& v) { v.width = 720, v.height = 576; }), 0},
      {"721 wide", with([](VolFields& v) { v.width = 721, v.height = 576; }), 0x2},
      {"577 high", with([](VolFields& v) { v.height = 577; }), 0x2},
      {"width 0", with([](VolFields& v) { v.width = 0; }), 0x4},
      {"height 0", with([](VolFields& v) { v.height = 0; }), 0x4},
      {"binary shape", with([](VolFields& v) { v.shape = 1; }), 0x2},
      {"not 8 bit", with([](VolFields& v) { v.not8Bit = 1; }), 0x2},
      {"mpeg quantisation", with([](VolFields& v) { v.quantType = 1; }), 0x2},
      {"static sprite, version 1", with([](VolFields& v) { v.verid = 1, v.spriteEnable = 1; }), 0x2},
      {"static sprite, version 2", with([](VolFields& v) { v.spriteEnable = 1; }), 0x2},
      {"gmc, version 2", with([](VolFields& v) { v.spriteEnable = 2, v.spriteWarpingPoints = 3; }), 0},
      {"gmc, version 5", with([](VolFields& v) { v.verid = 5, v.spriteEnable = 2, v.spriteWarpingPoints = 2; }), 0},
      {"4 warping points", with([](VolFields& v) { v.spriteEnable = 2, v.spriteWarpingPoints = 4; }), 0x2},
      {"brightness change", with([](VolFields& v) { v.spriteEnable = 2, v.spriteBrightnessChange = 1; }), 0x2},
      {"scalability", with([](VolFields& v) { v.scalability = 1; }), 0x2},
      {"newpred", with([](VolFields& v) { v.newpredEnable = 1; }), 0x2},
      {"reduced resolution", with([](VolFields& v) { v.reducedResolutionVopEnable = 1; }), 0x2},
      {"complexity method 1", with([](VolFields& v) { v.complexityEstimationDisable = 0, v.estimationMethod = 1; }),
       0x2},
      {"complexity with gmc",
       with([](VolFields& v) { v.complexityEstimationDisable = 0, v.spriteEnable = 2, v.spriteWarpingPoints = 1; }),
       0x2},
      {"complexity method 0", with([](VolFields& v) { v.complexityEstimationDisable = 0; }), 0},
      {"version 1, control parameters", with([](VolFields& v) { v.verid = 1, v.volControlParameters = 1; }), 0},
  };
  for (const auto& c : cases) {
    const LookResult result = LookAt(Vol(c.vol));
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.volSeen, c.status == 0 ? 1u : 0u) << c.name;
    EXPECT_EQ(result.frame.sequenceFound, c.status == 0 ? kMpeg4SequenceFound : 0u) << c.name;
  }
}

// One decode call on the bytes, its record left for the caller.
uint32_t DecodeCall(void* handle, const std::vector<uint8_t>& bytes, Mpeg4DecFrame& frame) {
  frame = Mpeg4DecFrame{};
  frame.input = bytes.data();
  frame.inputLength = uint32_t(bytes.size());
  return Mpeg4DecAFrame(handle, &frame);
}

// A refused layer after a good one leaves nothing to decode until the next
// good layer: its fields are half written (here 40 warping points, where a
// picture holds at most 3) and must not steer the pictures that follow.
TEST(StreamHeaders, RefusedLayerAfterAGoodOneStopsDecoding) {
  VolFields good;
  good.spriteEnable = 2;
  good.spriteWarpingPoints = 3;
  VolFields refused = good;
  refused.spriteWarpingPoints = 40;
  VolFields noPoints = good;
  noPoints.spriteWarpingPoints = 0;
  VopFields sprite;
  sprite.codingType = 3;

  BitWriter first;
  test::WriteVol(first, good);
  BitWriter second;
  test::WriteVol(second, refused);
  test::WriteVopHeader(second, noPoints, sprite);
  second.Bytes(std::vector<uint8_t>(64, 0));
  second.StartCode(0x1B7);

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4DecFrame frame;
  DecodeCall(handle, first.bytes(), frame);
  ASSERT_EQ(InspectInstance(handle).stream.volSeen, 1u);

  const uint32_t status = DecodeCall(handle, second.bytes(), frame);
  // Refused, and the picture after it met without a layer.
  EXPECT_EQ(status & 0x3u, 0x3u);
  EXPECT_EQ(InspectInstance(handle).stream.volSeen, 0u);
  EXPECT_EQ(frame.outputAvailable, 0u);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
}

// A short-header picture sets up the whole layer, whatever a refused layer
// before it left behind (here a quantiser precision of 0 bits).
TEST(StreamHeaders, ShortHeaderAfterARefusedLayerSetsItsOwnLayer) {
  VolFields refused;
  refused.not8Bit = 1;
  refused.quantPrecision = 0;
  BitWriter layer;
  test::WriteVol(layer, refused);
  const std::vector<uint8_t> shortPicture = test::ReadFixture("h263_176x144.h263");
  BitWriter picture;
  test::WriteVopHeader(picture, VolFields{}, VopFields{});
  picture.Bytes(std::vector<uint8_t>(64, 0));

  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  for (const std::vector<uint8_t>* bytes : {&layer.bytes(), &shortPicture, &picture.bytes()}) {
    Mpeg4DecFrame frame;
    DecodeCall(handle, *bytes, frame);
  }
  EXPECT_EQ(InspectInstance(handle).stream.vol.quantPrecision, 5u);
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
}

TEST(StreamHeaders, RefusedStreamsFromTheEncoder) {
  // MPEG quantisation is refused after the stores were sized.
  const LookResult mq = LookAt(test::ReadFixture("mq_176x144.m4v"));
  EXPECT_EQ(mq.status, 0x2u);
  EXPECT_EQ(mq.mbCount, 99u);
  EXPECT_EQ(LookAt(test::ReadFixture("big_736x576.m4v")).status, 0x2u);

  // Short headers: the sizes of the source-format table; 16CIF is refused.
  const struct {
    const char* file;
    uint32_t width, height, status;
  } shortHeaders[] = {{"h263_128x96.h263", 128, 96, 0},
                      {"h263_176x144.h263", 176, 144, 0},
                      {"h263_ps_352x288.h263", 352, 288, 0},
                      {"h263_704x576.h263", 704, 576, 0},
                      {"h263_1408x1152.h263", 0, 0, 0x2}};
  for (const auto& s : shortHeaders) {
    // A refused size is not reported.
    const LookResult result = LookAt(test::ReadFixture(s.file));
    EXPECT_EQ(result.status, s.status) << s.file;
    EXPECT_EQ(result.frame.width, s.width) << s.file;
    EXPECT_EQ(result.frame.height, s.height) << s.file;
    EXPECT_EQ(result.frame.shortHeader, s.status == 0 ? 1u : 0u) << s.file;
  }
}

// A new instance that has looked at the picture header the writer holds.
void* LookAtPicture(BitWriter& writer) {
  writer.StartCode(0x1B7);
  void* handle = nullptr;
  EXPECT_EQ(Mpeg4DecInit(&handle), 0u);
  Mpeg4DecFrame frame{};
  frame.input = writer.bytes().data();
  frame.inputLength = uint32_t(writer.bytes().size());
  EXPECT_EQ(Mpeg4DecLookPictureHeader(handle, &frame), 0u);
  return handle;
}

TEST(StreamHeaders, VopHeaderAfterComplexityEstimates) {
  VolFields vol;
  vol.complexityEstimationDisable = 0;
  vol.estimationShapeDisable = 0;
  BitWriter writer;
  test::WriteVol(writer, vol);
  VopFields vop;
  vop.codingType = 1;
  vop.roundingType = 1;
  vop.intraDcVlcThr = 3;
  test::WriteVopHeader(writer, vol, vop);
  void* handle = LookAtPicture(writer);
  const Mpeg4Decoder& decoder = InspectInstance(handle);
  EXPECT_EQ(decoder.stream.vol.estimationFlags, 0x3Fu);
  EXPECT_EQ(decoder.stream.vop.codingType, 1u);
  EXPECT_EQ(decoder.stream.vop.roundingType, 1u);
  EXPECT_EQ(decoder.stream.intraDcVlcIndex, 3u);
  Mpeg4DecExit(handle);
}

// The texture estimates sit between the shape estimates and
// intra_dc_vlc_thr; the last of them, the VLC bit count, is 4 bits wide.
TEST(StreamHeaders, VopHeaderAfterTextureEstimates) {
  VolFields vol;
  vol.complexityEstimationDisable = 0;
  vol.estimationShapeDisable = 0;
  vol.estimationTextureSet2Disable = 0;
  vol.interlaced = 1;
  for (uint32_t codingType : {0u, 1u, 2u}) {
    BitWriter writer;
    test::WriteVol(writer, vol);
    VopFields vop;
    vop.codingType = codingType;
    vop.roundingType = codingType == 1 ? 1 : 0;
    vop.intraDcVlcThr = 5;
    vop.topFieldFirst = 1;
    vop.alternateVerticalScan = 0;
    test::WriteVopHeader(writer, vol, vop);
    void* handle = LookAtPicture(writer);
    const Mpeg4Decoder& decoder = InspectInstance(handle);
    EXPECT_EQ(decoder.stream.vol.estimationFlags, 0x3C3Fu) << codingType;
    EXPECT_EQ(decoder.stream.vop.codingType, codingType);
    EXPECT_EQ(decoder.stream.vop.roundingType, vop.roundingType) << codingType;
    EXPECT_EQ(decoder.stream.intraDcVlcIndex, 5u) << codingType;
    EXPECT_EQ(decoder.stream.vop.topFieldFirst, 1u) << codingType;
    EXPECT_EQ(decoder.stream.vop.alternateVerticalScan, 0u) << codingType;
    Mpeg4DecExit(handle);
  }
}

TEST(StreamHeaders, SpriteTrajectoryCodes) {
  // Every length class, both signs, and the extremes of the longest.
  const int32_t values[] = {0,    1,     -1,    2,     -3,    4,     -7,    8,     -15,    16,     -31,   32,
                            -63,  64,    -127,  128,   -255,  256,   -511,  512,   -1023,  1024,   -2047, 2048,
                            -4095, 4096, -8191, 8192, -16383, 16384, -32767, 32767, 16385, -16384};
  BitWriter writer;
  for (int32_t value : values) test::WriteWarpingVectorCode(writer, value);
  const std::vector<uint8_t> bytes = writer.bytes();
  Mpeg4Decoder decoder;
  BitReaderInit(decoder.reader, bytes.data(), 0, bytes.data() + bytes.size());
  for (int32_t value : values) EXPECT_EQ(ReadWarpingVectorCode(decoder), value);
  EXPECT_EQ(decoder.status, 0u);

  const struct {
    const char* name;
    uint32_t bits, width;
    int32_t value;
    uint32_t status, consumed;
  } errors[] = {
      {"000: length 0 without its marker", 0b000, 3, 0, 0x100, 3},
      {"twelve leading ones: length 15", (0x1FFEu << 16) | (0x7FFFu << 1) | 1, 29, 32767, 0, 29},
      {"thirteen leading ones", 0x1FFF0u, 17, 0, 0x100, 0},
      {"zero marker after a code", 0b010'1'0, 5, 1, 0x100, 5},
  };
  for (const auto& e : errors) {
    BitWriter w;
    w.Put(e.bits, int(e.width));
    w.Put(0xFFFFFFFF, 32);
    Mpeg4Decoder d;
    BitReaderInit(d.reader, w.bytes().data(), 0, w.bytes().data() + w.bytes().size());
    EXPECT_EQ(ReadWarpingVectorCode(d), e.value) << e.name;
    EXPECT_EQ(d.status, e.status) << e.name;
    EXPECT_EQ(BitPositionBits(d.reader) - 8 * d.reader.begin, e.consumed) << e.name;
  }
}

TEST(StreamHeaders, SpritePictureWarpedPoints) {
  VolFields vol;
  vol.spriteEnable = 2;
  vol.spriteWarpingPoints = 3;
  vol.spriteWarpingAccuracy = 3;
  BitWriter writer;
  test::WriteVol(writer, vol);
  VopFields vop;
  vop.codingType = 3;
  const int32_t du[3] = {5, -2, 7}, dv[3] = {-4, 3, 0};
  for (int i = 0; i < 3; ++i) vop.du[i] = du[i], vop.dv[i] = dv[i];
  test::WriteVopHeader(writer, vol, vop);
  void* handle = LookAtPicture(writer);
  const VopHeader& header = InspectInstance(handle).stream.vop;
  EXPECT_EQ(header.warpingPoints, 3u);
  EXPECT_EQ(header.warpedX[0], 5);
  EXPECT_EQ(header.warpedY[0], -4);
  EXPECT_EQ(header.warpedX[1], 2 * 176 + 5 - 2);
  EXPECT_EQ(header.warpedY[1], -4 + 3);
  EXPECT_EQ(header.warpedX[2], 5 + 7);
  EXPECT_EQ(header.warpedY[2], 2 * 144 - 4);
  Mpeg4DecExit(handle);
}

}  // namespace
}  // namespace tlx::mpeg4
