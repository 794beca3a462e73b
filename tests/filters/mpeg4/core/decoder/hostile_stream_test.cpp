// Damaged and hostile input: intra streams with flipped bits, cut short, and
// with headers spliced into the middle of picture data, fed call after call.
// Each input sits in a heap block of its exact size, so the sanitizer build
// catches any read outside it; every call must use at most what it was given
// and the walk must end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {
namespace {

// The first pictures of a stream (each begins with its own headers).
std::vector<uint8_t> Head(const std::vector<uint8_t>& stream, int pictures) {
  int seen = 0;
  for (size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6 && ++seen > pictures) {
      return std::vector<uint8_t>(stream.begin(), stream.begin() + i);
    }
  }
  return stream;
}

// Everything before the first picture: the sequence, object and layer headers.
std::vector<uint8_t> Headers(const std::vector<uint8_t>& stream) { return Head(stream, 0); }

// Touches the first and last sample of every row of a returned plane.
uint32_t TouchPlane(const uint8_t* plane, uint32_t stride, uint32_t width, uint32_t height) {
  uint32_t sum = 0;
  for (uint32_t row = 0; row < height; ++row) sum += plane[size_t(row) * stride] + plane[size_t(row) * stride + width - 1];
  return sum;
}

// Feeds the bytes through one instance until they are used up, the decoder
// stops consuming, or the number of calls shows it is going round in circles.
void Feed(void* handle, const std::vector<uint8_t>& bytes, const std::string& what) {
  const size_t length = bytes.size();
  std::unique_ptr<uint8_t[]> exact(new uint8_t[length == 0 ? 1 : length]);
  if (length != 0) std::memcpy(exact.get(), bytes.data(), length);
  size_t offset = 0;
  size_t calls = 0;
  while (offset < length) {
    ASSERT_LT(++calls, length + 8) << what << ": no progress";
    Mpeg4DecFrame frame{};
    frame.input = exact.get() + offset;
    frame.inputLength = uint32_t(length - offset);
    const uint32_t status = Mpeg4DecAFrame(handle, &frame);
    ASSERT_LT(status, 0x80000000u) << what;
    ASSERT_LE(frame.consumed, length - offset) << what;
    if (frame.outputAvailable != 0) {
      ASSERT_GT(frame.width, 0u) << what;
      ASSERT_GT(frame.height, 0u) << what;
      TouchPlane(frame.yPlane, frame.yStride, frame.width, frame.height);
      TouchPlane(frame.uPlane, frame.uStride, frame.width / 2, frame.height / 2);
      TouchPlane(frame.vPlane, frame.vStride, frame.width / 2, frame.height / 2);
    }
    if (frame.consumed == 0) break;
    offset += frame.consumed;
  }
}

// The two header looks on the same bytes, each from an exact-size block.
void Look(void* handle, const std::vector<uint8_t>& bytes, const std::string& what) {
  const size_t length = bytes.size();
  std::unique_ptr<uint8_t[]> exact(new uint8_t[length == 0 ? 1 : length]);
  if (length != 0) std::memcpy(exact.get(), bytes.data(), length);
  for (auto look : {Mpeg4DecLookSequenceHeader, Mpeg4DecLookPictureHeader}) {
    Mpeg4DecFrame frame{};
    frame.input = exact.get();
    frame.inputLength = uint32_t(length);
    ASSERT_LT(look(handle, &frame), 0x80000000u) << what;
    ASSERT_LE(frame.consumed, length) << what;
  }
}

void FeedFresh(const std::vector<uint8_t>& bytes, const std::string& what) {
  void* handle = nullptr;
  ASSERT_EQ(Mpeg4DecInit(&handle), 0u);
  Look(handle, bytes, what + " (look)");
  Feed(handle, bytes, what);
  static const std::vector<uint8_t> kEnd = {0x00, 0x00, 0x01, 0xB7};
  Feed(handle, kEnd, what + " (end marker)");
  EXPECT_LT(Mpeg4DecExit(handle), 0x80000000u) << what;
}

TEST(HostileStreams, MutatedIntraStreamsDecodeSafely) {
  const char* const kSources[] = {"i_q2_176x144.m4v",           "i_q31_176x144.m4v",      "i_aic_176x144.m4v",
                                  "i_dquant_176x144.m4v",       "i_ilace_tff1_176x144.m4v", "i_packets_176x144.m4v",
                                  "i_odd_184x136.m4v",          "i_neutral_q4_176x144.m4v"};
  std::vector<std::vector<uint8_t>> seeds;
  std::vector<std::vector<uint8_t>> headers;
  for (const char* name : kSources) {
    const std::vector<uint8_t> stream = test::ReadFixture(name);
    ASSERT_FALSE(stream.empty()) << name;
    seeds.push_back(Head(stream, 2));
    headers.push_back(Headers(stream));
  }
  std::mt19937 random(20261210);
  auto below = [&](size_t n) { return size_t(random() % n); };
  constexpr int kCases = 3000;
  for (int n = 0; n < kCases; ++n) {
    std::vector<uint8_t> bytes = seeds[n % seeds.size()];
    std::string what = "case " + std::to_string(n) + ":";
    const int mutations = 1 + int(below(4));
    for (int m = 0; m < mutations; ++m) {
      switch (below(6)) {
        case 0:  // a few flipped bits
        case 1: {
          const int flips = 1 + int(below(8));
          for (int f = 0; f < flips; ++f) bytes[below(bytes.size())] ^= uint8_t(1u << below(8));
          what += " flips";
          break;
        }
        case 2: {  // a header byte overwritten, where the values steer the parse
          std::vector<size_t> starts;
          for (size_t i = 0; i + 3 < bytes.size(); ++i) {
            if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) starts.push_back(i + 3);
          }
          const size_t from = starts.empty() ? 0 : starts[below(starts.size())];
          bytes[std::min(bytes.size() - 1, from + below(24))] = uint8_t(random());
          what += " header-byte";
          break;
        }
        case 3: {  // cut short
          bytes.resize(below(bytes.size()) + 1);
          what += " cut";
          break;
        }
        case 4: {  // a start code where none belongs
          static const uint8_t kCodes[] = {0x00, 0x20, 0xB0, 0xB2, 0xB3, 0xB5, 0xB6, 0xB7, 0xC3};
          const uint8_t code = below(4) == 0 ? uint8_t(random()) : kCodes[below(sizeof(kCodes))];
          const std::vector<uint8_t> startCode = {0x00, 0x00, 0x01, code};
          bytes.insert(bytes.begin() + below(bytes.size() + 1), startCode.begin(), startCode.end());
          what += " start-code";
          break;
        }
        default: {  // another stream's headers spliced in at any position
          const std::vector<uint8_t>& spliced = headers[below(headers.size())];
          const size_t at = below(bytes.size());
          const size_t take = 1 + below(spliced.size());
          bytes.insert(bytes.begin() + at, spliced.begin(), spliced.begin() + take);
          what += " splice";
          break;
        }
      }
    }
    FeedFresh(bytes, what);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace tlx::mpeg4
