// Our side of the reference comparison: a stream fed through the exported
// functions call after call, the pictures returned and what the macroblock
// observer saw.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {
struct Mpeg4Decoder;
struct MacroblockReport;
}  // namespace tlx::mpeg4

namespace tlx::mpeg4::test {

struct CorePicture {
  uint32_t kind = 0;     // picture kind of the call that returned it
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, u, v;        // tightly packed, the layer's size
  std::vector<uint8_t> quantiserMap;   // per macroblock, raster order
};

struct CoreMacroblock {
  uint32_t index = 0;
  uint32_t flags = 0;
  uint32_t codedBlockPattern = 0;
  uint32_t quantiser = 0;
  int32_t vectors[4][2] = {};   // per 8x8 block; the forward ones in B-VOPs
  int32_t backward[4][2] = {};  // backward vectors of B-VOP macroblocks
  int16_t levels[6][64] = {};
};

struct CoreDecode {
  std::vector<CorePicture> pictures;           // in the order returned
  std::vector<uint32_t> statuses;              // one per call
  std::vector<CoreMacroblock> macroblocks;     // decode order, when observed
};

// Feeds the whole stream, then the end marker that returns the last
// reference picture.
CoreDecode DecodeWithCore(const std::vector<uint8_t>& stream, bool observe);

// Feeds the stream and the end marker call by call: prepare(frame, call)
// runs before each call (input fields set), after(frame, decoder, status)
// after each call; the observer, when given, sees every macroblock. False
// when no instance could be made.
using PrepareCall = std::function<void(Mpeg4DecFrame& frame, int call)>;
using AfterCall = std::function<void(const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status)>;
bool DriveDecoder(const std::vector<uint8_t>& stream, const PrepareCall& prepare, const AfterCall& after,
                  void (*observer)(void*, const MacroblockReport&) = nullptr, void* context = nullptr);

// The quantiser map of the store whose planes the frame returned (null when
// none holds them).
const uint8_t* ReturnedQuantiserMap(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder);

// The fixture streams made in the build tree by make_fixtures.sh.
std::vector<uint8_t> ReadFixture(const std::string& name);
std::string FixturePath(const std::string& name);
// A test name for a fixture file: its stem, the size's x upper-cased.
std::string FixtureTestName(const std::string& name);

}  // namespace tlx::mpeg4::test
