// Streaming through the filter in a running graph, sample by sample: which
// pictures go out, with which stamps, in which order, and how the filter
// recovers from damage, discontinuities, missing buffers and samples too
// large for its buffer. Every delivered picture is compared with the core
// API's own output for the same stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "filter_harness.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/stream_corrupter.h"

namespace tlx::mpeg4::filtertest {
namespace {

using test::ReadFixture;

constexpr int kWidth = 176, kHeight = 144;
constexpr size_t kYuy2Bytes = kWidth * 2 * kHeight;

struct Stream {
  explicit Stream(const std::string& name) : bytes(ReadFixture(name)), pictures(SplitPictures(bytes)) {
    reference = CoreOutput(bytes, kMpeg4OutputYuy2, kWidth * 2, kWidth, kHeight, kYuy2Bytes);
  }
  // I-VOPs are sync points.
  bool Intra(size_t index) const {
    const std::vector<uint8_t>& p = pictures[index];
    const size_t at = test::VopStarts(p).back();
    return (p[at + 4] >> 6) == 0;
  }
  std::vector<uint8_t> bytes;
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<CorePictureBytes> reference;  // the core's clean pictures, display order
};

// The clean picture of a decode index.
const CorePictureBytes* CleanPicture(const Stream& stream, uint32_t decodeIndex) {
  for (const CorePictureBytes& p : stream.reference) {
    if (p.decodeIndex == decodeIndex) return &p;
  }
  return nullptr;
}

// The decode indices of the delivered pictures (from their stamps, given by
// PictureStamp), each checked against the clean picture of that index.
std::vector<uint32_t> DeliveredIndices(const Stream& stream, const std::vector<ReceivedSample>& delivered) {
  std::vector<uint32_t> indices;
  for (const ReceivedSample& s : delivered) {
    EXPECT_EQ(s.timeResult, S_OK);
    EXPECT_TRUE(s.sync);
    const auto index = uint32_t(s.start / kFrameTime - 1);
    EXPECT_EQ(s.stop, s.start + kFrameTime);
    indices.push_back(index);
    const CorePictureBytes* clean = CleanPicture(stream, index);
    EXPECT_NE(clean, nullptr) << index;
    if (clean != nullptr) {
      EXPECT_TRUE(s.bytes == clean->bytes) << "picture " << index;
    }
  }
  return indices;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
  std::vector<uint32_t> r;
  for (uint32_t i = first; i <= last; ++i) r.push_back(i);
  return r;
}

std::vector<uint32_t> ReferenceOrder(const Stream& stream, uint32_t first = 0, uint32_t last = ~0u) {
  std::vector<uint32_t> order;
  for (const CorePictureBytes& p : stream.reference) {
    if (p.decodeIndex >= first && p.decodeIndex <= last) order.push_back(p.decodeIndex);
  }
  return order;
}

class Streaming : public ::testing::Test {
 protected:
  void SetUp() override { SetErrorOutput(false); }
};

TEST_F(Streaming, OnePicturePerSampleDeliversEveryPictureInDisplayOrderWithItsSamplesStamps) {
  for (const char* name : {"sp_ip_176x144.m4v", "b2_176x144.m4v", "qpel_b2_176x144.m4v"}) {
    SCOPED_TRACE(name);
    const Stream stream(name);
    ASSERT_GT(stream.pictures.size(), 10u);
    FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
    ASSERT_EQ(g.outputConnect, S_OK);
    for (size_t i = 0; i < stream.pictures.size(); ++i) {
      ASSERT_EQ(g.Feed(stream.pictures[i], PictureStamp(i), stream.Intra(i)), S_OK);
      if (i < 2) {
        EXPECT_TRUE(g.Delivered().empty()) << "the first two samples deliver nothing";
      }
    }
    EXPECT_EQ(g.filter->Buffer().DecodedPictures(), stream.pictures.size() - 1);
    ASSERT_EQ(g.EndOfStream(), S_OK);
    const std::vector<ReceivedSample> delivered = g.Delivered();
    EXPECT_EQ(delivered.size(), stream.pictures.size()) << "N pictures in, N out";
    EXPECT_EQ(DeliveredIndices(stream, delivered), ReferenceOrder(stream));
    EXPECT_EQ(g.EndOfStreams(), 1);
  }
}

TEST_F(Streaming, StampsFollowThePicturesThatStartInASample) {
  const Stream stream("b2_176x144.m4v");
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  // A first sample that is no sync point is dropped.
  EXPECT_EQ(g.Feed(stream.pictures[0], PictureStamp(0), false), S_OK);
  EXPECT_EQ(g.filter->Buffer().UnreadBytes(), 0u);
  // Each picture in two halves: the second half starts no picture, so its
  // stamps (a second away) must leave nothing behind.
  for (size_t i = 0; i < stream.pictures.size(); ++i) {
    const std::vector<uint8_t>& p = stream.pictures[i];
    const std::vector<uint8_t> head(p.begin(), p.begin() + long(p.size() / 2)), tail(p.begin() + long(p.size() / 2), p.end());
    ASSERT_EQ(g.Feed(head, PictureStamp(i), stream.Intra(i)), S_OK);
    Stamp late = PictureStamp(i);
    late.start += 10000000;
    late.stop += 10000000;
    ASSERT_EQ(g.Feed(tail, late, false), S_OK);
  }
  g.EndOfStream();
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), ReferenceOrder(stream));
}

TEST_F(Streaming, AStartTimeAloneStampsBothEndsAndAnUntimedSampleOnlyBuffers) {
  const Stream stream("sp_ip_176x144.m4v");
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t i = 0; i < 4; ++i) {
    Stamp stamp = PictureStamp(i);
    stamp.kind = Stamp::kStartOnly;
    ASSERT_TRUE(SUCCEEDED(g.Feed(stream.pictures[i], stamp, stream.Intra(i))));
  }
  std::vector<ReceivedSample> delivered = g.Delivered();
  ASSERT_EQ(delivered.size(), 2u);
  for (size_t i = 0; i < delivered.size(); ++i) {
    EXPECT_EQ(delivered[i].start, PictureStamp(i).start);
    EXPECT_EQ(delivered[i].stop, PictureStamp(i).start) << "the start in both rings";
  }
  const size_t unread = g.filter->Buffer().UnreadBytes();
  EXPECT_EQ(g.Feed(stream.pictures[4], Stamp{Stamp::kNone}, false), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(g.Delivered().size(), 2u) << "nothing decoded";
  EXPECT_EQ(g.filter->Buffer().UnreadBytes(), unread + stream.pictures[4].size());
  EXPECT_EQ(g.filter->Buffer().PendingPictures(), 2u);
}

TEST_F(Streaming, ADiscontinuityDeliversWhatWasBufferedAndResumesAtTheNextSyncPoint) {
  const Stream stream("sp_ip_176x144.m4v");
  ASSERT_TRUE(stream.Intra(12) && !stream.Intra(6));
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t i = 0; i <= 5; ++i) ASSERT_EQ(g.Feed(stream.pictures[i], PictureStamp(i), stream.Intra(i)), S_OK);
  // The stream jumps; its sequence header came only once, at its start.
  ASSERT_EQ(g.Feed(stream.pictures[8], PictureStamp(8), false, true), S_OK);
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), Range(0, 5)) << "the last reference too";
  for (size_t i = 9; i < stream.pictures.size(); ++i)
    ASSERT_EQ(g.Feed(stream.pictures[i], PictureStamp(i), stream.Intra(i)), S_OK);
  g.EndOfStream();
  std::vector<uint32_t> expected = Range(0, 5);
  for (uint32_t i : ReferenceOrder(stream, 12)) expected.push_back(i);
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), expected);
}

// The stream with zero bytes over the middle of picture `index`: a run of
// zero bits no macroblock code begins with, so the core reports damage.
std::vector<std::vector<uint8_t>> WithDamagedPicture(const Stream& stream, size_t index) {
  std::vector<std::vector<uint8_t>> pictures = stream.pictures;
  std::vector<uint8_t>& p = pictures[index];
  const size_t from = p.size() / 3, to = std::min(p.size() - 1, from + 24);
  std::fill(p.begin() + long(from), p.begin() + long(to), 0);
  if (p[to] <= 1) p[to] = 0xFF;  // no start code after the run
  return pictures;
}

struct ErrorOutputCase {
  bool present;
  DWORD value;
  bool delivered;  // damaged P-VOPs are delivered
};

TEST_F(Streaming, ErrorOutputDecidesWhetherDamagedPredictedPicturesGoOut) {
  const Stream stream("sp_ip_176x144.m4v");
  const size_t n = stream.pictures.size();
  const ErrorOutputCase cases[] = {{false, 0, false}, {true, 0, false}, {true, 1, true}, {true, 7, false}};
  for (const ErrorOutputCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "ErrorOutput " << (c.present ? std::to_string(c.value) : "absent"));
    SetErrorOutput(c.present, c.value);
    // A damaged P-VOP (5), then a damaged I-VOP (12).
    std::vector<std::vector<uint8_t>> pictures = WithDamagedPicture(stream, 5);
    pictures[12] = WithDamagedPicture(stream, 12)[12];
    FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
    EXPECT_EQ(g.filter->ErrorOutput(), c.value == 1 ? 1u : 0u);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(g.Feed(pictures[i], PictureStamp(i), stream.Intra(i)), S_OK);
    g.EndOfStream();
    const std::vector<ReceivedSample> delivered = g.Delivered();
    std::vector<uint32_t> indices;
    for (const ReceivedSample& s : delivered) indices.push_back(uint32_t(s.start / kFrameTime - 1));
    if (c.delivered) {
      EXPECT_EQ(indices, Range(0, uint32_t(n - 1)));
    } else {
      // 0-4 clean; the damaged P-VOP and what predicts from it dropped; the
      // damaged I-VOP shown, with the pictures that follow it.
      std::vector<uint32_t> expected = Range(0, 4);
      for (uint32_t i = 12; i < n; ++i) expected.push_back(i);
      EXPECT_EQ(indices, expected);
      for (size_t j = 0; j < 5 && j < delivered.size(); ++j)
        EXPECT_TRUE(delivered[j].bytes == CleanPicture(stream, uint32_t(j))->bytes) << j;
      ASSERT_GT(delivered.size(), 5u);
      EXPECT_FALSE(delivered[5].bytes == CleanPicture(stream, 12)->bytes) << "the damaged I-VOP itself";
    }
  }
}

TEST_F(Streaming, ADamagedPictureAfterADiscontinuityResumesAtTheNextIntraPicture) {
  const Stream stream("sp_ip_176x144.m4v");
  const std::vector<std::vector<uint8_t>> pictures = WithDamagedPicture(stream, 14);
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t i = 0; i <= 3; ++i) g.Feed(pictures[i], PictureStamp(i), stream.Intra(i));
  g.Feed(pictures[12], PictureStamp(12), true, true);
  for (size_t i = 13; i < pictures.size(); ++i) g.Feed(pictures[i], PictureStamp(i), stream.Intra(i));
  g.EndOfStream();
  std::vector<uint32_t> expected = Range(0, 3);
  for (uint32_t i : {12u, 13u, 24u}) expected.push_back(i);
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), expected);
}

TEST_F(Streaming, WithoutDeliveryBuffersEveryPictureIsDecodedOnceAndLaterOnesAreClean) {
  const Stream stream("b2_176x144.m4v");
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  IMemAllocator* allocator = g.renderer->Allocator();
  for (size_t i = 0; i < stream.pictures.size(); ++i) {
    if (i == 4) allocator->Decommit();
    if (i == 9) allocator->Commit();
    ASSERT_EQ(g.Feed(stream.pictures[i], PictureStamp(i), stream.Intra(i)), S_OK);
  }
  EXPECT_EQ(g.filter->Buffer().DecodedPictures(), stream.pictures.size() - 1) << "one decode call per picture";
  g.EndOfStream();
  const std::vector<uint32_t> indices = DeliveredIndices(stream, g.Delivered());
  const std::vector<uint32_t> all = ReferenceOrder(stream);
  // Everything returned while buffers were missing is gone; everything after
  // is there and clean.
  ASSERT_FALSE(indices.empty());
  const auto resumed = std::find(all.begin(), all.end(), indices.back());
  EXPECT_TRUE(std::equal(indices.end() - (all.end() - resumed), indices.end(), resumed));
  EXPECT_GE(indices.size(), all.size() - 6);
  EXPECT_LT(indices.size(), all.size());
}

TEST_F(Streaming, AnEndMarkerSampleOfFourBytesEndsTheStreamWithItsLastPicture) {
  const Stream stream("sp_ip_176x144.m4v");
  const size_t n = stream.pictures.size();
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t i = 0; i < n; ++i) g.Feed(stream.pictures[i], PictureStamp(i), stream.Intra(i));
  const std::vector<uint8_t> marker(std::begin(kEndOfStreamMarker), std::end(kEndOfStreamMarker));
  ASSERT_EQ(g.Feed(marker, PictureStamp(n), false), S_OK);
  EXPECT_EQ(g.filter->Buffer().UnreadBytes(), 4u) << "the marker waits";
  g.EndOfStream();
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), Range(0, uint32_t(n - 1))) << "each picture once";
}

TEST_F(Streaming, ASampleLargerThanTheBufferDeliversNoDamagedPicture) {
  SetErrorOutput(true, 1);  // even pictures with errors would go out
  const Stream stream("sp_ip_176x144.m4v");
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t i = 0; i < stream.pictures.size(); ++i) {
    std::vector<uint8_t> bytes = stream.pictures[i];
    if (i == 4) {
      // Picture 4 with 600,000 bytes inside it: the end of it cannot fit.
      std::mt19937 random(4);
      std::vector<uint8_t> filler(600000);
      for (uint8_t& b : filler) b = uint8_t(1 + random() % 255);
      bytes.insert(bytes.begin() + long(bytes.size() / 2), filler.begin(), filler.end());
    }
    g.Feed(bytes, PictureStamp(i), stream.Intra(i));
  }
  g.EndOfStream();
  std::vector<uint32_t> expected = Range(0, 1);
  for (uint32_t i = 12; i < stream.pictures.size(); ++i) expected.push_back(i);
  EXPECT_EQ(DeliveredIndices(stream, g.Delivered()), expected);
}

// The filter counts only MPEG-4 picture starts, so a short-header stream
// never has two pictures buffered and nothing goes out, not even at the end.
TEST_F(Streaming, AShortHeaderStreamDeliversNothing) {
  const std::vector<uint8_t> stream = ReadFixture("h263_176x144.h263");
  FilterGraph g(Mpeg4InputType(kWidth, kHeight), MEDIASUBTYPE_YUY2);
  for (size_t at = 0, i = 0; at < stream.size(); at += 1500, ++i) {
    const std::vector<uint8_t> piece(stream.begin() + long(at), stream.begin() + long(std::min(stream.size(), at + 1500)));
    ASSERT_TRUE(SUCCEEDED(g.Feed(piece, PictureStamp(i))));
  }
  EXPECT_EQ(g.filter->Buffer().DecodedPictures(), 0u);
  EXPECT_EQ(g.EndOfStream(), S_OK);
  EXPECT_TRUE(g.Delivered().empty());
  EXPECT_EQ(g.EndOfStreams(), 1);
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest
