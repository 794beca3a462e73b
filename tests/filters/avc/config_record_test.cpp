#include "filters/avc/avc_config_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "outside/avccore/support/avc_streams.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TLX_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TLX_ASAN 1
#endif
#ifdef TLX_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace tlx::avc {
namespace {

using Bytes = std::vector<uint8_t>;

struct Record {
  const char* name;
  Bytes bytes;
  int result;
  int parsed;
  std::vector<Bytes> sps, pps;  // the lists after the parse
};

// A record with the given sets, reserved bits set.
Bytes MakeRecord(const std::vector<Bytes>& sps, const std::vector<Bytes>& pps, Bytes trailing = {}) {
  Bytes record = {1, 0x64, 0x00, 0x1E, 0xFF, static_cast<uint8_t>(0xE0 | sps.size())};
  for (const Bytes& set : sps) {
    record.push_back(static_cast<uint8_t>(set.size() >> 8));
    record.push_back(static_cast<uint8_t>(set.size()));
    record.insert(record.end(), set.begin(), set.end());
  }
  record.push_back(static_cast<uint8_t>(pps.size()));
  for (const Bytes& set : pps) {
    record.push_back(static_cast<uint8_t>(set.size() >> 8));
    record.push_back(static_cast<uint8_t>(set.size()));
    record.insert(record.end(), set.begin(), set.end());
  }
  record.insert(record.end(), trailing.begin(), trailing.end());
  return record;
}

const Bytes kSps1 = {0x67, 0x64, 0x00, 0x1E, 0xAC, 0xD9};
const Bytes kSps2 = {0x67, 0x4D, 0x40};
const Bytes kPps1 = {0x68, 0xEB, 0xE3, 0xCB, 0x22, 0xC0};
const Bytes kPps2 = {0x68, 0xCE};

std::vector<Record> Records() {
  Bytes reserved = MakeRecord({kSps1}, {kPps1});
  reserved[4] = 0xFB;  // reserved bits 0x3E
  Bytes cut = MakeRecord({kSps1}, {kPps1});
  cut.resize(cut.size() - 3);
  Bytes overflow = MakeRecord({kSps1}, {});
  overflow[6] = 0xFF;  // first length far beyond the record
  return {
      {"empty lists", MakeRecord({}, {}), 0, 1, {}, {}},
      {"two of each", MakeRecord({kSps1, kSps2}, {kPps1, kPps2}), 0, 1, {kSps1, kSps2}, {kPps1, kPps2}},
      {"reserved bits", reserved, kAvcCfgFormatError, 0, {}, {}},
      {"trailing fields", MakeRecord({kSps1, kSps2}, {kPps1, kPps2}, {0xFC, 0xF8, 0xF8, 0x00}), kAvcCfgLengthError, 1,
       {kSps1, kSps2}, {kPps1, kPps2}},
      {"length sum overflow", overflow, kAvcCfgLengthError, 0, {}, {}},
      {"too short for the header", {1, 0x64, 0x00}, kAvcCfgFormatError, 0, {}, {}},
      {"cut inside the picture list", cut, kAvcCfgLengthError, 1, {kSps1}, {}},
      {"no picture list", MakeRecord({kSps1}, {}), 0, 1, {kSps1}, {}},
  };
}

// The record at offset within a block whose other bytes are unreadable under
// ASan, so any read outside it is caught.
class PlacedRecord {
 public:
  PlacedRecord(const Bytes& bytes, size_t offset) : block_(new uint8_t[offset + bytes.size()]) {
    data_ = block_.get() + offset;
    std::memcpy(data_, bytes.data(), bytes.size());
#ifdef TLX_ASAN
    ASAN_POISON_MEMORY_REGION(block_.get(), offset);
#endif
  }
  ~PlacedRecord() {
#ifdef TLX_ASAN
    ASAN_UNPOISON_MEMORY_REGION(block_.get(), data_ - block_.get());
#endif
  }
  const uint8_t* data() const { return data_; }

 private:
  std::unique_ptr<uint8_t[]> block_;
  uint8_t* data_;
};

std::vector<Bytes> Sets(AvcCfgContext* context, int kind, int count) {
  std::vector<Bytes> sets;
  for (int i = 1; i <= count; ++i) {
    const uint8_t* data = nullptr;
    int length = 0;
    if (avcCfgGetParamSet(context, kind, i, &data, &length) != 0) break;
    sets.emplace_back(data, data + length);
  }
  return sets;
}

TEST(ConfigRecord, ParsesEveryRecordAtEveryAlignment) {
  for (const Record& record : Records()) {
    for (size_t offset = 0; offset < 8; ++offset) {
      SCOPED_TRACE(std::string(record.name) + " at offset " + std::to_string(offset));
      PlacedRecord placed(record.bytes, offset);
      AvcCfgContext* context = nullptr;
      ASSERT_EQ(avcCfgCreate(&context), 0);
      EXPECT_EQ(avcCfgParse(context, placed.data(), static_cast<int>(record.bytes.size())), record.result);
      EXPECT_EQ(context->parsed, record.parsed);
      EXPECT_EQ(Sets(context, kAvcCfgSequence, 32), record.sps);
      EXPECT_EQ(Sets(context, kAvcCfgPicture, 256), record.pps);
      if (record.parsed) {
        int count = -1;
        EXPECT_EQ(avcCfgGetCount(context, kAvcCfgSequence, &count), 0);
        EXPECT_EQ(count, static_cast<int>(record.sps.size()));
        EXPECT_EQ(avcCfgGetCount(context, 0x10000 | kAvcCfgPicture, &count), 0);  // high bits ignored
        if (record.result == 0) {
          EXPECT_EQ(count, static_cast<int>(record.pps.size()));
        }
      }
      EXPECT_EQ(avcCfgDestroy(&context), 0);
      EXPECT_EQ(context, nullptr);
    }
  }
}

TEST(ConfigRecord, QueriesAndTheirRefusals) {
  AvcCfgContext* context = nullptr;
  ASSERT_EQ(avcCfgCreate(&context), 0);
  int count = -1;
  EXPECT_EQ(avcCfgGetCount(context, kAvcCfgSequence, &count), kAvcCfgNotParsed);
  const Bytes record = MakeRecord({kSps1}, {kPps1, kPps2});
  EXPECT_EQ(avcCfgParse(nullptr, record.data(), 5), kAvcCfgNullArgument);
  EXPECT_EQ(avcCfgParse(context, nullptr, 5), kAvcCfgNullArgument);
  EXPECT_EQ(avcCfgParse(context, record.data(), 0), kAvcCfgNullArgument);
  ASSERT_EQ(avcCfgParse(context, record.data(), static_cast<int>(record.size())), 0);
  EXPECT_EQ(avcCfgGetCount(context, 2, &count), kAvcCfgFormatError);
  EXPECT_EQ(avcCfgGetCount(nullptr, 0, &count), kAvcCfgNullArgument);
  const uint8_t* data = record.data();
  int length = -1;
  EXPECT_EQ(avcCfgGetParamSet(context, kAvcCfgPicture, 0, &data, &length), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(avcCfgGetParamSet(context, kAvcCfgPicture, 3, &data, &length), kAvcCfgFormatError);
  EXPECT_EQ(avcCfgGetParamSet(context, kAvcCfgSequence, 2, &data, &length), kAvcCfgFormatError);
  EXPECT_EQ(avcCfgGetParamSet(context, kAvcCfgPicture, -1, &data, &length), kAvcCfgFormatError);
  EXPECT_EQ(avcCfgGetParamSet(nullptr, kAvcCfgPicture, 1, &data, &length), kAvcCfgNullArgument);
  EXPECT_EQ(context->lengthSizeMinusOne, 3);
  EXPECT_EQ(context->profileIndication, 0x64);
  EXPECT_EQ(avcCfgDestroy(&context), 0);
  EXPECT_EQ(avcCfgDestroy(&context), 0);
  EXPECT_EQ(avcCfgDestroy(nullptr), 0);
  EXPECT_EQ(avcCfgCreate(nullptr), kAvcCfgNullArgument);
}

// The record libavformat gives for each fixture names the same parameter sets
// as the stream's own Annex-B units.
TEST(ConfigRecord, FixtureRecordsMatchTheirStreams) {
  for (const char* file : {"progressive_320x240.mp4", "cropped_320x180.mp4", "tff_720x480.mp4", "bff_720x480.mp4"}) {
    SCOPED_TRACE(file);
    const avctest::AvcStream stream = avctest::ReadAvcStream(avctest::FixturePath(file));
    std::vector<Bytes> sps, pps;
    for (const Bytes& nal : avctest::SplitNalUnits(stream.annexB.at(0).bytes)) {
      if ((nal[0] & 0x1F) == 7) sps.push_back(nal);
      if ((nal[0] & 0x1F) == 8) pps.push_back(nal);
    }
    AvcCfgContext* context = nullptr;
    ASSERT_EQ(avcCfgCreate(&context), 0);
    // High-profile records carry chroma and depth fields after the sets.
    EXPECT_EQ(avcCfgParse(context, stream.avcC.data(), static_cast<int>(stream.avcC.size())),
              stream.avcC[1] == 0x64 ? kAvcCfgLengthError : kAvcCfgOk);
    EXPECT_EQ(Sets(context, kAvcCfgSequence, 32), sps);
    EXPECT_EQ(Sets(context, kAvcCfgPicture, 256), pps);
    EXPECT_FALSE(sps.empty());
    avcCfgDestroy(&context);
  }
}

}  // namespace
}  // namespace tlx::avc
