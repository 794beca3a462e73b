// The rules the live graph is built and placed by: the video decoder chosen
// from the codec masks, and the placement of the video in the owner's area.
#include <gtest/gtest.h>

#include "engine/codec_choice.h"
#include "engine/filter_tables.h"
#include "engine/placement.h"
#include "engine_ini_fixture.h"

namespace tlx::engine {
namespace {

TEST(LiveGraphRules, VideoDecoderFromTheCodecMasks) {
  struct Case {
    int baseMask;
    bool avcAllowed;
    int codec;
    int row;
  };
  const Case cases[] = {
      {3, true, 1, 1},            // the base station's default: MPEG-4
      {5, true, 4, 2},            // AVC offered and allowed
      {5, false, 1, 1},           // AVC offered, not allowed
      {4, false, 0, -1},          // nothing left: the build fails
      {0x2000, true, 0x2000, 0},  // only through "BaseCodecs"
      {0x4004, true, 0x4000, 0},
      {0, true, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baseMask);
    const int codec = FavorableCodec(c.baseMask, kEngineCodecMask, c.avcAllowed);
    EXPECT_EQ(codec, c.codec);
    EXPECT_EQ(FindProperVideoFilter(codec), c.row);
  }
  EXPECT_TRUE(IsCodecAvail(kCodecAvcBit, 5, kEngineCodecMask, true));
  EXPECT_FALSE(IsCodecAvail(kCodecAvcBit, 5, kEngineCodecMask, false));
  EXPECT_FALSE(IsCodecAvail(2, 3, kEngineCodecMask, true));  // the engine has no codec 2
}

TEST(LiveGraphRules, WindowRectangleByColourSystem) {
  struct Case {
    int colourSystem;
    bool tvTuner;
    int width, height;
    PlacementRect window;
  };
  const Case cases[] = {
      {1, false, 640, 480, {10, 20, 640, 480}},
      {2, false, 640, 480, {1, 13, 672, 496}},
      {3, false, 640, 480, {1, 13, 672, 496}},
      {4, false, 640, 480, {3, 13, 696, 512}},
      {2, true, 640, 480, {10, 20, 640, 480}},  // the tuner uses the first row
      {0, false, 640, 480, {10, 20, 640, 480}},
      {7, false, 640, 480, {10, 20, 640, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colourSystem);
    EXPECT_EQ(WindowRect(DefaultPlacement(c.colourSystem, c.tvTuner), 10, 20, c.width, c.height), c.window);
  }
}

TEST(LiveGraphRules, AutomaticAdjustmentMovesBackByHalfTheExcess) {
  PlacementRecord record = DefaultPlacement(1, false);
  record.auto_adj = true;
  // Wider than 4:3: x moves back by (640 - 360 * 4 / 3) / 2.
  EXPECT_EQ(WindowRect(record, 10, 20, 640, 360), (PlacementRect{-70, 20, 640, 360}));
  // Taller: y moves back by (480 - 400 * 3 / 4) / 2.
  EXPECT_EQ(WindowRect(record, 10, 20, 400, 480), (PlacementRect{10, -70, 400, 480}));
}

// The window moves inside the owner; the picture fills the window from the
// window's own corner, so it is never shifted inside it.
TEST(LiveGraphRules, DestinationIsTheWholeWindowFromItsOwnCorner) {
  struct Case {
    const char* what;
    PlacementRecord record;
    int x, y, width, height;
    PlacementRect window;
  };
  PlacementRecord moved = DefaultPlacement(1, false);
  moved.pos_x = 5;
  moved.pos_y = -3;
  moved.size_x_num = 400;
  moved.size_y_num = 300;
  PlacementRecord adjusted = DefaultPlacement(1, false);
  adjusted.auto_adj = true;
  const Case cases[] = {
      {"area at the owner's corner", DefaultPlacement(1, false), 0, 0, 640, 480, {0, 0, 640, 480}},
      {"area at (20, 20)", DefaultPlacement(1, false), 20, 20, 640, 480, {20, 20, 640, 480}},
      {"area at (20, 0)", DefaultPlacement(1, false), 20, 0, 640, 480, {20, 0, 640, 480}},
      {"pos_x, pos_y and sizes from the INI", moved, 20, 20, 640, 480, {25, 17, 320, 240}},
      {"colour system 4", DefaultPlacement(4, false), 20, 20, 640, 480, {13, 13, 696, 512}},
      {"automatic adjustment", adjusted, 20, 20, 640, 360, {-60, 20, 640, 360}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PlacementRect window = WindowRect(c.record, c.x, c.y, c.width, c.height);
    EXPECT_EQ(window, c.window);
    EXPECT_EQ(DestinationRect(window), (PlacementRect{0, 0, c.window.width, c.window.height}));
  }
}

TEST(LiveGraphRules, SourceRectangles) {
  EXPECT_EQ(ModeSourceRect(0, 320, 240), (PlacementRect{4, 4, 292, 226}));
  EXPECT_EQ(ModeSourceRect(0, 352, 288), (PlacementRect{4, 4, 321, 271}));
  EXPECT_EQ(ModeSourceRect(1, 320, 240), (PlacementRect{12, 8, 296, 224}));
  EXPECT_EQ(ScaledSourceRect(DefaultPlacement(2, false), 10, 20, 352, 288), (PlacementRect{19, 27, 335, 278}));
}

TEST(LiveGraphRules, MovieSectionOverridesTheRecord) {
  test::EngineIni ini(
      "[Movie]\npos_x=5\npos_y=-3\nsize_x_num=0x320\nsize_x_den=0\nsize_y_num=300\nscaling_source=2\nauto_adj=1\n");
  const PlacementRecord record = ReadMoviePlacement(DefaultPlacement(4, false));
  EXPECT_EQ(record.pos_x, 5);
  EXPECT_EQ(record.pos_y, -3);
  EXPECT_EQ(record.size_x_num, 800);
  EXPECT_EQ(record.size_x_den, 800);  // 0 would divide by zero: the record's value stays
  EXPECT_EQ(record.size_y_num, 300);
  EXPECT_EQ(record.size_y_den, 600);
  EXPECT_TRUE(record.scaling_source);
  EXPECT_TRUE(record.auto_adj);
  ini.Rewrite("");
  const PlacementRecord unchanged = ReadMoviePlacement(DefaultPlacement(4, false));
  EXPECT_EQ(unchanged.pos_x, -7);
  EXPECT_EQ(unchanged.size_x_num, 870);
  EXPECT_FALSE(unchanged.auto_adj);
}

}  // namespace
}  // namespace tlx::engine
