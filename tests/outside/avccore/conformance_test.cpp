// The core's contract, run against the real core and against the fake core,
// so that the filter's tests with the fake hold for the real one.
#include <gtest/gtest.h>

#include <algorithm>

#include "core_driver.h"

namespace tlx::avctest {
namespace {

struct CoreUnderTest {
  const char* name;
  std::string (*folder)();
};

class CoreConformance : public ::testing::TestWithParam<CoreUnderTest> {
 protected:
  void SetUp() override {
    core_ = std::make_unique<CoreLibrary>(GetParam().folder());
    ASSERT_TRUE(core_->loaded());
    stream_ = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
    ASSERT_FALSE(stream_.annexB.empty());
  }

  static std::vector<int64_t> SortedTimes(const std::vector<AccessUnit>& units) {
    std::vector<int64_t> times;
    for (const AccessUnit& unit : units) times.push_back(unit.time);
    std::sort(times.begin(), times.end());
    return times;
  }
  static std::vector<int64_t> SortedTimes(const std::vector<PulledPicture>& pictures) {
    std::vector<int64_t> times;
    for (const PulledPicture& pulled : pictures) {
      EXPECT_TRUE(pulled.picture.timeValid);
      times.push_back(pulled.picture.time);
    }
    std::sort(times.begin(), times.end());
    return times;
  }

  std::unique_ptr<CoreLibrary> core_;
  AvcStream stream_;
};

TEST_P(CoreConformance, EveryAccessUnitGivesOnePictureWithItsTime) {
  CoreDriver driver(*core_, 0);
  driver.FeedAnnexB(stream_.annexB);
  driver.Drain();
  EXPECT_EQ(SortedTimes(driver.pulled()), SortedTimes(stream_.annexB));
  EXPECT_GT(driver.callbacks.load(), 0);
  for (const PulledPicture& pulled : driver.pulled()) EXPECT_EQ(pulled.timeInfo.discontinuity, 0);
}

TEST_P(CoreConformance, NewTimingIsReportedAndAnswersTheFieldDuration) {
  CoreDriver driver(*core_, 0);
  driver.FeedAnnexB(stream_.annexB);
  ASSERT_TRUE(driver.newTiming);
  const TlxAvcSideInfoQuery query{-1, TLXAVC_SIDE_TIMING, sizeof(TlxAvcTimingInfo)};
  TlxAvcTimingInfo timing{};
  ASSERT_EQ(core_->GetSideInfo(driver.handle, &query, &timing), 0);
  EXPECT_EQ(timing.whole, 0);
  EXPECT_EQ(timing.numerator, 1001);
  EXPECT_EQ(timing.denominator, 60000);
}

TEST_P(CoreConformance, BusyTakesNothingAndIgnoresTheMarksAfterIt) {
  CoreDriver driver(*core_, 0);
  std::vector<uint8_t> bytes;
  for (const AccessUnit& unit : stream_.annexB) bytes.insert(bytes.end(), unit.bytes.begin(), unit.bytes.end());
  size_t pos = 4;  // after the first start code
  int32_t status = 0;
  TlxAvcNalResult result{};
  while (pos < bytes.size()) {
    result = {};
    status = driver.Unit(bytes.data() + pos, bytes.size() - pos, &result);
    if (status == TLXAVC_STATUS_BUSY) break;
    ASSERT_EQ(status, 0);
    pos += static_cast<size_t>(result.word[1]) + 3;
  }
  ASSERT_EQ(status, TLXAVC_STATUS_BUSY);
  for (int word : result.word) EXPECT_EQ(word, 0);
  // Marks after a busy answer belong to no unit.
  const TlxAvcExtTimeStamp bogus{999, 1};
  core_->AttachExtTimeStamp(driver.handle, &bogus);
  const TlxAvcAuxData marks{1, 1};
  core_->SetAuxData(driver.handle, &marks);
  driver.PullAll();
  result = {};
  ASSERT_EQ(driver.Unit(bytes.data() + pos, bytes.size() - pos, &result), 0);
  EXPECT_EQ(result.word[4], 0);
  driver.Drain();
  for (const PulledPicture& pulled : driver.pulled()) {
    EXPECT_FALSE(pulled.picture.timeValid && pulled.picture.time == 999);
    EXPECT_EQ(pulled.timeInfo.discontinuity, 0);
  }
}

TEST_P(CoreConformance, AuxDataMarksTheUnitAndIsAcknowledgedOnTheNext) {
  CoreDriver driver(*core_, 0);
  const auto nals = SplitNalUnits(stream_.annexB[0].bytes);
  std::vector<uint8_t> first;
  for (const auto& nal : nals) {
    first.insert(first.end(), {0, 0, 1});
    first.insert(first.end(), nal.begin(), nal.end());
  }
  size_t pos = 3;
  for (size_t k = 0; k < nals.size(); ++k) {
    TlxAvcNalResult result{};
    ASSERT_EQ(driver.Unit(first.data() + pos, first.size() - pos, &result), 0);
    EXPECT_EQ(result.word[1], static_cast<int32_t>(nals[k].size()));
    EXPECT_EQ(result.word[4], k == 1 ? 1 : 0);
    driver.AfterUnit(result, k == 0, 5000, k == 0);
    pos += nals[k].size() + 3;
  }
  driver.Drain();
  ASSERT_EQ(driver.pulled().size(), 1u);
  EXPECT_EQ(driver.pulled()[0].picture.time, 5000);
  EXPECT_EQ(driver.pulled()[0].timeInfo.discontinuity, 1);
}

TEST_P(CoreConformance, FlushOnAnEmptyCoreCallsBackOnceAndDrains) {
  CoreDriver driver(*core_, 0);
  uint8_t buffer[32] = {};
  EXPECT_EQ(core_->FinalizePicture(driver.handle, buffer), 0);
  EXPECT_EQ(core_->FlushPicture(driver.handle, buffer), 0);
  EXPECT_EQ(driver.callbacks.load(), 1);
  int32_t count = -1, ratio = 0;
  EXPECT_EQ(core_->GetNumUnpullPicture(driver.handle, &count), TLXAVC_STATUS_DRAINING);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(core_->GetDecodeRatio(driver.handle, &ratio), 0);
  EXPECT_GE(ratio, 100);
  EXPECT_EQ(core_->Discontinue(driver.handle), 0);
  EXPECT_EQ(core_->GetNumUnpullPicture(driver.handle, &count), 0);
}

TEST_P(CoreConformance, DecodingGoesOnAfterFlushAndDiscontinue) {
  CoreDriver driver(*core_, 0);
  const std::vector<AccessUnit> firstGop(stream_.annexB.begin(), stream_.annexB.begin() + 12);
  const std::vector<AccessUnit> secondGop(stream_.annexB.begin() + 12, stream_.annexB.end());
  driver.FeedAnnexB(firstGop);
  driver.Drain();
  ASSERT_EQ(driver.pulled().size(), firstGop.size());
  EXPECT_EQ(core_->Discontinue(driver.handle), 0);
  driver.FeedAnnexB(secondGop);
  driver.Drain();
  EXPECT_EQ(driver.pulled().size(), stream_.annexB.size());
}

TEST_P(CoreConformance, InitializeReleasesQueuedPictures) {
  CoreDriver driver(*core_, 0);
  driver.FeedAnnexB(stream_.annexB, /*pullAlways=*/false);
  int32_t count = 0;
  core_->GetNumUnpullPicture(driver.handle, &count);
  EXPECT_GT(count, 0);
  EXPECT_EQ(core_->Initialize(driver.handle), 0);
  EXPECT_EQ(core_->GetNumUnpullPicture(driver.handle, &count), 0);
  EXPECT_EQ(count, 0);
  TlxAvcPictureId id{};
  TlxAvcPicture planes{};
  TlxAvcPictureTime time{};
  EXPECT_LT(core_->GetPicture(driver.handle, &id, &planes, &time), 0);
}

INSTANTIATE_TEST_SUITE_P(Cores, CoreConformance,
                         ::testing::Values(CoreUnderTest{"Real", &RealCoreFolder},
                                           CoreUnderTest{"Fake", &FakeCoreFolder}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tlx::avctest
