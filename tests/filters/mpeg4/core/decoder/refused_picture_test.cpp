// Pictures the core refuses: never returned, in display order or at the end
// marker, and consumed whole; a picture that leaves the core is one it
// decoded, and a clean call is one that decoded or parsed something.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/status.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/plane_comparison.h"
#include "filters/mpeg4/support/random_vops.h"
#include "filters/mpeg4/support/reference_decoder.h"
#include "filters/mpeg4/support/tolerance_gates.h"
#include "inter_fixtures.h"

namespace tlx::mpeg4::test {
namespace {

enum class Feeding { Whole, PicturePerCall };

bool IsShortHeader(const std::string& name) { return name.ends_with(".h263"); }

// True when `bytes` holds a picture start at `at`: a VOP start code, the end
// marker, or (in a short-header stream) a byte-aligned picture start code.
bool PictureStartAt(const uint8_t* bytes, size_t length, size_t at, bool shortHeader) {
  if (at + 4 > length || bytes[at] != 0 || bytes[at + 1] != 0) return false;
  if (shortHeader && (bytes[at + 2] & 0xFC) == 0x80) return true;
  return bytes[at + 2] == 1 && (bytes[at + 3] == 0xB6 || bytes[at + 3] == 0xB7);
}

// True when `bytes` holds any start code the driver recognises.
bool HoldsStartCode(const uint8_t* bytes, size_t length, bool shortHeader) {
  for (size_t at = 0; at + 4 <= length; ++at) {
    if (bytes[at] == 0 && bytes[at + 1] == 0 && (bytes[at + 2] == 1 || (shortHeader && (bytes[at + 2] & 0xFC) == 0x80))) {
      return true;
    }
  }
  return false;
}

// The input of a call cut to one picture: up to the start of the picture
// after the first one it holds.
uint32_t OnePicture(const uint8_t* bytes, uint32_t length, bool shortHeader) {
  size_t at = 0;
  while (at < length && !PictureStartAt(bytes, length, at, shortHeader)) ++at;
  for (++at; at < length; ++at) {
    if (PictureStartAt(bytes, length, at, shortHeader)) return uint32_t(at);
  }
  return length;
}

struct RefusalHook {
  Mpeg4Decoder* decoder = nullptr;
  bool refuse = false;
};

// The forced refusal: the macroblock layer of the chosen call reports what
// it does not decode.
void RefuseMacroblock(void* context, const MacroblockReport&) {
  auto* hook = static_cast<RefusalHook*>(context);
  if (hook->refuse) hook->decoder->status |= kStatusUnsupported;
}

struct Feed {
  CoreDecode decode;
  std::vector<uint32_t> consumed;
};

// Feeds the stream as `feeding` says, with the macroblock layer refusing the
// calls `refuse` picks (by call number, or by chance when `random` is given)
// and inputs cut by `cut`, when given, to a random length. Checks what every
// call must hold: a returned picture's store holds a decoded picture, and a
// clean call that used bytes found a start code in them.
Feed FeedStream(const std::vector<uint8_t>& stream, bool shortHeader, Feeding feeding, int64_t refuseCall,
                std::mt19937* random = nullptr) {
  Feed feed;
  RefusalHook hook;
  DriveDecoder(
      stream,
      [&](Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, int call) {
        hook.decoder = &decoder;
        hook.refuse = call == refuseCall;
        if (feeding == Feeding::PicturePerCall) frame.inputLength = OnePicture(frame.input, frame.inputLength, shortHeader);
        if (random != nullptr) {
          hook.refuse = (*random)() % 4 == 0;
          if ((*random)() % 3 == 0) frame.inputLength = 1 + (*random)() % frame.inputLength;
        }
      },
      [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status) {
        const size_t call = feed.decode.statuses.size();
        feed.decode.statuses.push_back(status);
        feed.consumed.push_back(frame.consumed);
        if (frame.pictureKind != 0 && decoder.stream.vop.coded != 0) feed.decode.vops.push_back({uint32_t(call), frame.pictureKind});
        if (status == 0 && frame.consumed != 0) {
          EXPECT_TRUE(HoldsStartCode(frame.input, frame.consumed, shortHeader)) << "call " << call << " used bytes without a header";
        }
        if (frame.outputAvailable == 0) {
          EXPECT_EQ(frame.yPlane, nullptr) << "call " << call;
          return;
        }
        const Picture* store = ReturnedStore(frame, decoder);
        ASSERT_NE(store, nullptr) << "call " << call;
        EXPECT_EQ(store->valid, kPictureValid) << "call " << call << " returned a store that holds no decoded picture";
        feed.decode.pictures.push_back(CopyReturnedPicture(frame, decoder));
      },
      RefuseMacroblock, &hook);
  return feed;
}

bool SamePicture(const CorePicture& a, const CorePicture& b) { return a.y == b.y && a.u == b.u && a.v == b.v; }

// The call of the VOP of `kind` to refuse: the first after the stream's first
// VOP (the first one for a stream with a single I-VOP), or -1 when none.
int64_t ChooseRefusal(const CoreDecode& clean, uint32_t kind) {
  int64_t chosen = -1;
  for (size_t i = 0; i < clean.vops.size(); ++i) {
    if (clean.vops[i].kind != kind) continue;
    chosen = clean.vops[i].call;
    if (i > 0) break;
  }
  return chosen;
}

class RefusedPictures : public testing::TestWithParam<std::string> {};

// Fed whole and one picture per call: the clean decode equals libavcodec's;
// with the refusal forced for each picture kind in turn the refused picture
// never comes out, the pictures before it come out as in the clean decode,
// and every picture that does come out is one of the clean decode's, in its
// order (nothing grey, nothing stale, nothing repeated).
TEST_P(RefusedPictures, AreNeverReturned) {
  const std::vector<uint8_t> stream = ReadFixture(GetParam());
  const bool shortHeader = IsShortHeader(GetParam());
  ReferenceOptions options;
  options.shortHeader = shortHeader;
  const ReferenceDecode reference = DecodeWithLibavcodec(stream, options);
  for (const Feeding feeding : {Feeding::Whole, Feeding::PicturePerCall}) {
    SCOPED_TRACE(feeding == Feeding::Whole ? "fed whole" : "one picture per call");
    const Feed clean = FeedStream(stream, shortHeader, feeding, -1);
    for (size_t call = 0; call < clean.decode.statuses.size(); ++call) {
      EXPECT_EQ(clean.decode.statuses[call], 0u) << "call " << call;
    }
    const std::vector<CorePicture>& shown = clean.decode.pictures;
    ASSERT_EQ(shown.size(), reference.frames.size());
    for (size_t i = 0; i < shown.size(); ++i) {
      ExpectPlanesWithinGate(shown[i], reference.frames[i], i, kGatePredictedMaxDifference, kGatePredictedMinPsnr);
    }
    const std::vector<uint32_t> display = DisplayOrderCalls(clean.decode);
    ASSERT_EQ(display.size(), shown.size());

    for (uint32_t kind = 1; kind <= 4; ++kind) {
      const int64_t refused = ChooseRefusal(clean.decode, kind);
      if (refused < 0) continue;
      SCOPED_TRACE("kind " + std::to_string(kind) + " refused at call " + std::to_string(refused));
      const Feed forced = FeedStream(stream, shortHeader, feeding, refused);
      ASSERT_GT(forced.decode.statuses.size(), size_t(refused));
      EXPECT_EQ(forced.decode.statuses[size_t(refused)] & kStatusUnsupported, kStatusUnsupported);
      // The refused picture is consumed as the clean decode consumed it.
      EXPECT_EQ(forced.consumed[size_t(refused)], clean.consumed[size_t(refused)]);
      const size_t position = size_t(std::find(display.begin(), display.end(), uint32_t(refused)) - display.begin());
      ASSERT_LT(position, shown.size());
      const std::vector<CorePicture>& ours = forced.decode.pictures;
      // What was decoded before the refused picture and is shown before it
      // comes out.
      for (size_t i = 0; i < position; ++i) {
        if (display[i] > uint32_t(refused)) continue;
        const bool found =
            std::any_of(ours.begin(), ours.end(), [&](const CorePicture& p) { return SamePicture(p, shown[i]); });
        EXPECT_TRUE(found) << "picture " << i << " decoded before the refused one is missing";
      }
      size_t next = 0;
      for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_FALSE(SamePicture(ours[i], shown[position])) << "picture " << i << " is the refused one";
        while (next < shown.size() && !SamePicture(ours[i], shown[next])) ++next;
        ASSERT_LT(next, shown.size()) << "picture " << i << " is none of the clean decode's, in order";
        ++next;
      }
      // A refused B-VOP costs only itself.
      if (kind == 3) {
        EXPECT_EQ(ours.size() + 1, shown.size());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RefusedPictures, testing::ValuesIn(kInterFixtures),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return FixtureTestName(info.param);
                         });

// A packed stream (each P-VOP followed in its packet by the B-VOP shown
// before it, then a not-coded VOP at the P-VOP's time): fed whole and one
// picture per call, every placeholder returns the reference due, that
// picture's own turn returns nothing, and the pictures equal libavcodec's
// one for one in display order.
TEST(PackedStream, PlaceholdersReturnTheDuePictureOnce) {
  const std::vector<uint8_t> stream = ReadFixture("packed_b1_176x144.m4v");
  const ReferenceDecode reference = DecodeWithLibavcodec(stream, ReferenceOptions{});
  for (const Feeding feeding : {Feeding::Whole, Feeding::PicturePerCall}) {
    SCOPED_TRACE(feeding == Feeding::Whole ? "fed whole" : "one picture per call");
    const Feed feed = FeedStream(stream, false, feeding, -1);
    const std::vector<CorePicture>& ours = feed.decode.pictures;
    ASSERT_EQ(ours.size(), reference.frames.size());
    size_t placeholders = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      ExpectPlanesWithinGate(ours[i], reference.frames[i], i, kGatePredictedMaxDifference, kGatePredictedMinPsnr);
      if (!ours[i].placeholder) continue;
      ++placeholders;
      EXPECT_NE(reference.frames[i].pictureType, 'B') << "picture " << i;
    }
    // Every reference but the first sits behind a placeholder.
    EXPECT_GE(placeholders, reference.frames.size() / 3);
  }
}

// A short-header picture refused by its header (a source format this core
// does not decode) before good pictures, all fed whole: the refused call
// uses the picture to the next picture start code and returns nothing, and
// every following picture decodes as without it.
TEST(RefusedShortHeaderPicture, IsConsumedToTheNextPictureStartCode) {
  const std::vector<uint8_t> clean = ReadFixture("h263_176x144.h263");
  const uint32_t firstLength = OnePicture(clean.data(), uint32_t(clean.size()), true);
  ASSERT_LT(firstLength, clean.size());
  std::vector<uint8_t> stream(clean.begin(), clean.begin() + firstLength);
  stream[4] |= 0x1C;  // source format 7
  stream.insert(stream.end(), clean.begin(), clean.end());

  const Feed expected = FeedStream(clean, true, Feeding::Whole, -1);
  const Feed ours = FeedStream(stream, true, Feeding::Whole, -1);
  ASSERT_FALSE(ours.decode.statuses.empty());
  EXPECT_EQ(ours.decode.statuses[0], kStatusUnsupported);
  EXPECT_EQ(ours.consumed[0], firstLength);
  ASSERT_EQ(ours.decode.pictures.size(), expected.decode.pictures.size());
  for (size_t i = 0; i < ours.decode.pictures.size(); ++i) {
    EXPECT_TRUE(SamePicture(ours.decode.pictures[i], expected.decode.pictures[i])) << "picture " << i;
  }
  EXPECT_EQ(std::vector<uint32_t>(ours.decode.statuses.begin() + 1, ours.decode.statuses.end()),
            expected.decode.statuses);
}

// An MPEG-4 P-VOP refused by its header (f-code 0: no vector range)
// between good pictures, fed whole: its call reports 0x4, uses the VOP to
// the next start code and returns only the picture already due (the
// reference before it); the P-VOP predicted from it is refused with 0x2 and
// returns nothing, and so does the I-VOP after them (the picture due there
// is the refused one). The pictures that come out are those of the stream
// without the two refused VOPs.
TEST(RefusedVopHeader, IsConsumedToTheNextStartCodeAndReturnsNothing) {
  std::mt19937 random(30);
  VolFields vol;
  vol.width = 64;
  vol.height = 48;
  vol.resyncMarkerDisable = 1;
  auto written = [](const std::function<void(BitWriter&)>& write) {
    BitWriter w;
    write(w);
    return w.bytes();
  };
  const std::vector<uint8_t> layer = written([&](BitWriter& w) { WriteVol(w, vol); });
  const std::vector<uint8_t> intra0 = written([&](BitWriter& w) { WriteDcOnlyIntraVop(w, vol, 0, random); });
  const std::vector<uint8_t> predicted1 = written([&](BitWriter& w) { WritePredictionOnlyVop(w, vol, 1, random); });
  const std::vector<uint8_t> refused = written([&](BitWriter& w) {
    VopFields vop;
    vop.codingType = 1;
    vop.timeIncrement = 2;
    vop.fcodeForward = 0;
    WriteVopHeader(w, vol, vop);
    w.Put(0x5A5A5A, 24);
    w.Stuff();
  });
  const std::vector<uint8_t> dependent = written([&](BitWriter& w) { WritePredictionOnlyVop(w, vol, 3, random); });
  const std::vector<uint8_t> intra4 = written([&](BitWriter& w) { WriteDcOnlyIntraVop(w, vol, 4, random); });
  const std::vector<uint8_t> predicted5 = written([&](BitWriter& w) { WritePredictionOnlyVop(w, vol, 5, random); });
  auto join = [](std::initializer_list<const std::vector<uint8_t>*> parts) {
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>* part : parts) bytes.insert(bytes.end(), part->begin(), part->end());
    return bytes;
  };
  const std::vector<uint8_t> stream = join({&layer, &intra0, &predicted1, &refused, &dependent, &intra4, &predicted5});
  const std::vector<uint8_t> without = join({&layer, &intra0, &predicted1, &intra4, &predicted5});

  const Feed expected = FeedStream(without, false, Feeding::Whole, -1);
  const Feed ours = FeedStream(stream, false, Feeding::Whole, -1);
  // Calls: I0 (with the layer), P1, the refused P-VOP, the P-VOP after it,
  // I4, P5, the end marker.
  ASSERT_EQ(ours.decode.statuses.size(), 7u);
  EXPECT_EQ(ours.decode.statuses, (std::vector<uint32_t>{0, 0, kStatusOutOfRange, kStatusUnsupported, 0, 0, 0}));
  EXPECT_EQ(ours.consumed[2], refused.size());
  EXPECT_EQ(ours.consumed[3], dependent.size());
  ASSERT_EQ(expected.decode.pictures.size(), 4u);  // I0, P1, I4, P5
  ASSERT_EQ(ours.decode.pictures.size(), expected.decode.pictures.size());
  for (size_t i = 0; i < ours.decode.pictures.size(); ++i) {
    EXPECT_TRUE(SamePicture(ours.decode.pictures[i], expected.decode.pictures[i])) << "picture " << i;
  }
}

// The fixtures cut at random points with random refusals: the checks every
// call holds (FeedStream) over many mixed sequences.
TEST(RefusedPictureProperty, RandomCutsAndRefusalsReturnOnlyDecodedPictures) {
  std::mt19937 random(30);
  for (const std::string& name : kInterFixtures) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> stream = ReadFixture(name);
    for (int round = 0; round < 3; ++round) {
      FeedStream(stream, IsShortHeader(name), round % 2 == 0 ? Feeding::Whole : Feeding::PicturePerCall, -1, &random);
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4::test
