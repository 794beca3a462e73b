// The real core against libavcodec's own decode of the same units.
#include <gtest/gtest.h>

#include <random>

#include "core_driver.h"

namespace tlx::avctest {
namespace {

void ExpectSamePictures(const std::vector<PulledPicture>& got, const std::vector<Picture>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const Picture& g = got[i].picture;
    SCOPED_TRACE(i);
    EXPECT_EQ(g.width, want[i].width);
    EXPECT_EQ(g.height, want[i].height);
    EXPECT_EQ(g.time, want[i].time);
    EXPECT_EQ(g.flags, want[i].flags);
    EXPECT_TRUE(g.y == want[i].y && g.u == want[i].u && g.v == want[i].v);
  }
}

struct Fixture {
  const char* file;
  int width, height;
  int32_t flags;
};

class RealCore : public ::testing::TestWithParam<std::tuple<Fixture, int32_t>> {
 protected:
  void SetUp() override { ASSERT_TRUE(core_.loaded()); }
  CoreLibrary core_{RealCoreFolder()};
};

TEST_P(RealCore, DecodesLikeLibavcodecInDisplayOrder) {
  const auto [fixture, mode] = GetParam();
  const AvcStream stream = ReadAvcStream(FixturePath(fixture.file));
  const auto reference = ReferenceDecode(stream.annexB);
  CoreDriver driver(core_, mode);
  driver.FeedAnnexB(stream.annexB);
  driver.Drain();
  ExpectSamePictures(driver.pulled(), reference);
  for (const PulledPicture& pulled : driver.pulled()) {
    EXPECT_EQ(pulled.picture.width, fixture.width);
    EXPECT_EQ(pulled.picture.height, fixture.height);
    EXPECT_EQ(pulled.picture.flags, fixture.flags);
    EXPECT_EQ(pulled.sequence.width, fixture.width);
  }
  for (size_t i = 1; i < driver.pulled().size(); ++i)
    EXPECT_LT(driver.pulled()[i - 1].picture.time, driver.pulled()[i].picture.time);
  EXPECT_EQ(driver.notShownReports, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealCore,
    ::testing::Combine(::testing::Values(Fixture{"progressive_320x240.mp4", 320, 240, TLXAVC_PICTURE_PROGRESSIVE},
                                         Fixture{"cropped_320x180.mp4", 320, 180, TLXAVC_PICTURE_PROGRESSIVE},
                                         Fixture{"tff_720x480.mp4", 720, 480, 0},
                                         Fixture{"bff_720x480.mp4", 720, 480, TLXAVC_PICTURE_BOTTOM_FIRST}),
                       ::testing::Values(0, 0x100)));

// The parameter sets of an avcC record as units without start codes.
std::vector<std::vector<uint8_t>> ParameterSets(const std::vector<uint8_t>& avcC) {
  std::vector<std::vector<uint8_t>> sets;
  size_t pos = 5;
  for (int list = 0; list < 2 && pos < avcC.size(); ++list) {
    const int count = list == 0 ? avcC[pos++] & 0x1F : avcC[pos++];
    for (int i = 0; i < count && pos + 2 <= avcC.size(); ++i) {
      const size_t length = (size_t{avcC[pos]} << 8) | avcC[pos + 1];
      sets.emplace_back(avcC.begin() + pos + 2, avcC.begin() + pos + 2 + length);
      pos += 2 + length;
    }
  }
  return sets;
}

TEST(RealCoreSamples, LengthPrefixedSamplesDecodeToTheSamePictures) {
  CoreLibrary core(RealCoreFolder());
  const AvcStream stream = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  CoreDriver driver(core, 0);
  for (const auto& set : ParameterSets(stream.avcC)) {
    TlxAvcNalResult result{};
    ASSERT_EQ(driver.Unit(set.data(), set.size(), &result), 0);
    EXPECT_EQ(result.word[1], static_cast<int32_t>(set.size()));
  }
  for (const AccessUnit& sample : stream.lengthPrefixed) {
    TlxAvcNalResult result{};
    int32_t status;
    while ((status = driver.Unit(sample.bytes.data(), sample.bytes.size(), &result)) == TLXAVC_STATUS_BUSY)
      driver.PullAll();
    ASSERT_EQ(status, 0);
    EXPECT_EQ(result.word[1], static_cast<int32_t>(sample.bytes.size()));
    driver.AfterUnit(result, true, sample.time);
    driver.PullAll();
  }
  driver.Drain();
  ExpectSamePictures(driver.pulled(), ReferenceDecode(stream.annexB));
}

// Pictures in a form the core does not put out are dropped, and the calls
// that dropped them say so, in either mode.
TEST(RealCoreSamples, PicturesOfAnotherFormAreDroppedAndReported) {
  CoreLibrary core(RealCoreFolder());
  for (const char* file : {"high444_320x240.mp4", "high10_320x240.mp4"}) {
    for (const int32_t mode : {0, 0x100}) {
      SCOPED_TRACE(::testing::Message() << file << " mode " << mode);
      const AvcStream stream = ReadAvcStream(FixturePath(file));
      CoreDriver driver(core, mode);
      driver.FeedAnnexB(stream.annexB);
      driver.Drain();
      EXPECT_TRUE(driver.pulled().empty());
      EXPECT_GT(driver.notShownReports, 0);
    }
  }
}

TEST(RealCoreSamples, ALengthPrefixedSampleThatDoesNotTileIsDropped) {
  CoreLibrary core(RealCoreFolder());
  CoreDriver driver(core, 0);
  const std::vector<uint8_t> sample = {0, 0, 0, 9, 0x65, 0x88, 0x84};
  TlxAvcNalResult result{};
  EXPECT_EQ(driver.Unit(sample.data(), sample.size(), &result), 0);
  EXPECT_EQ(result.word[1], static_cast<int32_t>(sample.size()));
  driver.Drain();
  EXPECT_TRUE(driver.pulled().empty());
}

// Damaged data is concealed: no crash, no negative status, and from the next
// intact IDR on the pictures are those of the clean stream.
TEST(RealCoreSamples, DamagedUnitsAreConcealedAndTheNextIdrDecodesClean) {
  CoreLibrary core(RealCoreFolder());
  const AvcStream stream = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  const auto clean = ReferenceDecode(stream.annexB);
  std::mt19937 random(20);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    std::vector<AccessUnit> units(stream.annexB.begin(), stream.annexB.begin() + 12);
    for (AccessUnit& unit : units) {
      switch (round % 3) {
        case 0:  // random bytes in place of the unit, start codes kept
          for (size_t i = 5; i < unit.bytes.size(); ++i) unit.bytes[i] = static_cast<uint8_t>(random());
          break;
        case 1:  // truncated
          unit.bytes.resize(unit.bytes.size() / (2 + random() % 3));
          break;
        default:  // bit flips
          for (int k = 0; k < 8; ++k) unit.bytes[4 + random() % (unit.bytes.size() - 4)] ^= 1 << (random() % 8);
      }
    }
    units.insert(units.end(), stream.annexB.begin() + 12, stream.annexB.end());
    CoreDriver driver(core, round % 2 ? 0x100 : 0);
    driver.FeedAnnexB(units);
    driver.Drain();
    std::vector<PulledPicture> tail;
    for (const PulledPicture& pulled : driver.pulled())
      if (pulled.picture.time >= stream.annexB[12].time) tail.push_back(pulled);
    const std::vector<Picture> cleanTail(clean.end() - static_cast<long>(stream.annexB.size() - 12), clean.end());
    ExpectSamePictures(tail, cleanTail);
  }
}

}  // namespace
}  // namespace tlx::avctest
