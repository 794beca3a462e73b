// Our side of the reference comparison: a stream fed through the exported
// functions call after call, the pictures returned and what the macroblock
// observer saw.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/support/reference_decoder.h"

namespace tlx::mpeg4 {
struct Mpeg4Decoder;
struct MacroblockReport;
class Picture;
}  // namespace tlx::mpeg4

namespace tlx::mpeg4::test {

struct CorePicture {
  uint32_t kind = 0;     // picture kind of the call that returned it
  bool placeholder = false;  // returned for a VOP without data (vop_coded 0)
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
  uint32_t mode = 0;            // how the vectors were used (MacroblockReport::mode)
  int16_t levels[6][64] = {};
  uint32_t call = 0;            // the decode call that decoded it
};

// A call that decoded a coded VOP, and the picture kind it returned (1 I,
// 2 P, 3 B, 4 S).
struct CoreVop {
  uint32_t call = 0;
  uint32_t kind = 0;
};

struct CoreDecode {
  std::vector<CorePicture> pictures;           // in the order returned
  std::vector<uint32_t> statuses;              // one per call
  std::vector<CoreMacroblock> macroblocks;     // decode order, when observed
  std::vector<CoreVop> vops;                   // decode order
};

// The calls of the coded VOPs in display order: a B-VOP is shown at once, a
// reference when the next reference is decoded (or at the end).
std::vector<uint32_t> DisplayOrderCalls(const CoreDecode& decode);

// Feeds the whole stream, then the end marker that returns the last
// reference picture.
CoreDecode DecodeWithCore(const std::vector<uint8_t>& stream, bool observe);

// As DecodeWithCore (observed), with libavcodec's pictures as references:
// before every VOP the two reference stores receive `frames` (libavcodec's
// decode, display order) of the references that VOP predicts from, so each
// picture shows our decoding of that VOP alone. Pictures whose size is not
// the stores' (layers not a whole number of macroblocks) are not injected.
CoreDecode DecodeWithInjectedReferences(const std::vector<uint8_t>& stream, const std::vector<ReferenceFrame>& frames);

// Feeds the stream and the end marker call by call: prepare(frame, decoder,
// call) runs before each call (input fields set), after(frame, decoder, status)
// after each call; the observer, when given, sees every macroblock. False
// when no instance could be made.
using PrepareCall = std::function<void(Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, int call)>;
using AfterCall = std::function<void(const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status)>;
bool DriveDecoder(const std::vector<uint8_t>& stream, const PrepareCall& prepare, const AfterCall& after,
                  void (*observer)(void*, const MacroblockReport&) = nullptr, void* context = nullptr);

// The store whose planes the frame returned (null when none holds them).
const Picture* ReturnedStore(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder);
// The picture a call returned (outputAvailable 1), copied with the quantiser
// map of its store.
CorePicture CopyReturnedPicture(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder);

// The quantiser map of the store whose planes the frame returned (null when
// none holds them).
const uint8_t* ReturnedQuantiserMap(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder);

// The fixture streams made in the build tree by make_fixtures.sh.
std::vector<uint8_t> ReadFixture(const std::string& name);
std::string FixturePath(const std::string& name);
// A test name for a fixture file: its stem, the size's x upper-cased.
std::string FixtureTestName(const std::string& name);

}  // namespace tlx::mpeg4::test
