#include "avccore/nal_units.h"

#include <gtest/gtest.h>

#include <vector>

namespace tlx::avccore {
namespace {

TEST(NalUnits, UnitEndIsTheFirstStartCodeAfterTheFirstByte) {
  struct Case {
    std::vector<uint8_t> unit;
    size_t end;
  };
  const Case cases[] = {
      {{0x65, 0x88, 0x84}, 3},
      {{0x65, 0x88, 0, 0, 1, 0x41}, 2},
      {{0x65, 0x88, 0, 0, 0, 1, 0x41}, 3},  // the leading zero stays with the unit
      {{0x09, 0xF0, 0, 0, 2, 0, 0, 1, 0x67}, 5},
      {{0, 0, 1, 0x67}, 4},  // a start code at offset 0 does not count
      {{0x67, 0, 0}, 3},
      {{0x67}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(UnitEnd(c.unit), c.end);
}

TEST(NalUnits, LengthPrefixedSamplesMustTileExactly) {
  struct Case {
    std::vector<uint8_t> unit;
    bool tiles;
  };
  const Case cases[] = {
      {{0, 0, 0, 2, 0x65, 0x88}, true},
      {{0, 0, 0, 1, 0x09, 0, 0, 0, 2, 0x65, 0x88}, true},
      {{0, 0, 0, 2, 0x65, 0x88, 0, 0}, true},   // trailing zeros
      {{0, 0, 0, 3, 0x65, 0x88}, false},        // runs past the end
      {{0, 0, 0, 1, 0x65, 0x88}, false},        // a stray byte after it
      {{0, 0, 0, 0}, false},                    // nothing in it
      {{0, 0, 1, 0x65}, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x65}, false},  // a length beyond any buffer
  };
  for (const Case& c : cases) EXPECT_EQ(TilesWithLengthPrefixes(c.unit), c.tiles);
}

TEST(NalUnits, AccessUnitStarts) {
  struct Case {
    std::vector<uint8_t> nal;
    bool starts;
  };
  const Case cases[] = {
      {{0x09, 0xF0}, true}, {{0x67, 0x64}, true}, {{0x68, 0xEE}, true}, {{0x06, 0x05}, true},
      {{0x0E, 0x00}, true}, {{0x12, 0x00}, true}, {{0x13, 0x00}, false},
      {{0x65, 0x88}, true},   // first_mb_in_slice 0
      {{0x65, 0x48}, false},  // a later slice of the same picture
      {{0x41, 0x9A}, true}, {{0x01, 0x40}, false}, {{0x0C, 0xFF}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(StartsAccessUnit(c.nal), c.starts) << int(c.nal[0]);
}

}  // namespace
}  // namespace tlx::avccore
