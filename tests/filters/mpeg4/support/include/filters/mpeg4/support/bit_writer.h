// A test-side bitstream writer with the MPEG-4 header syntax: video object
// layer, group of VOP and VOP headers and sprite trajectory codes, for
// hand-made streams that no encoder at hand produces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx::mpeg4::test {

class BitWriter {
 public:
  // Appends the low `bits` bits of value, most significant first (bits 0-32).
  void Put(uint32_t value, int bits);
  // Bits written out as text, "0000 011 1": 0s and 1s, anything else ignored.
  void Put(const std::string& text);
  void Marker() { Put(1, 1); }
  // Zero bits up to the next byte boundary.
  void AlignWithZeros();
  // MPEG-4 stuffing: a 0 and then ones up to the byte boundary (a whole byte
  // 0x7F when already aligned).
  void Stuff();
  // Aligns with zeros and writes 00 00 01 code.
  void StartCode(uint32_t code);
  void Bytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t bitCount() const { return bytes_.size() * 8 - (free_ == 8 ? 0 : free_); }

 private:
  std::vector<uint8_t> bytes_;
  int free_ = 8;  // unused low bits of the last byte
};

// One vector component difference (not 0 < |difference| <= 32 << rSize is
// refused by the test) as the motion code, taken from the decoder's own code
// tables, its sign and the rSize-bit residual; 0 is the one-bit code.
void WriteVectorDifference(BitWriter& writer, int32_t difference, uint32_t rSize);

struct VolFields {
  uint32_t startCode = 0x120;
  uint32_t verid = 2;  // 1 writes no object layer identifier
  uint32_t volControlParameters = 0;
  uint32_t lowDelay = 1;  // written only with volControlParameters
  uint32_t shape = 0;
  uint32_t timeIncrementResolution = 25;
  uint32_t fixedVopRate = 0;
  uint32_t width = 176;
  uint32_t height = 144;
  uint32_t interlaced = 0;
  uint32_t spriteEnable = 0;
  uint32_t spriteWarpingPoints = 0;
  uint32_t spriteWarpingAccuracy = 0;
  uint32_t spriteBrightnessChange = 0;
  uint32_t not8Bit = 0;
  uint32_t quantPrecision = 5;  // written only with not8Bit
  uint32_t quantType = 0;
  uint32_t quarterSample = 0;
  uint32_t complexityEstimationDisable = 1;
  uint32_t estimationMethod = 0;
  uint32_t estimationShapeDisable = 1;   // 0 writes the six shape flags as 1
  uint32_t estimationTextureSet2Disable = 1;  // 0 writes its four flags as 1
  uint32_t resyncMarkerDisable = 0;
  uint32_t dataPartitioned = 0;
  uint32_t reversibleVlc = 0;
  uint32_t newpredEnable = 0;
  uint32_t reducedResolutionVopEnable = 0;
  uint32_t scalability = 0;
};

struct VopFields {
  uint32_t codingType = 0;
  uint32_t moduloTimeBase = 0;
  uint32_t timeIncrement = 0;
  uint32_t coded = 1;
  uint32_t roundingType = 0;
  uint32_t intraDcVlcThr = 0;
  uint32_t topFieldFirst = 0;
  uint32_t alternateVerticalScan = 0;
  int32_t du[3] = {};  // sprite trajectory codes, per warping point
  int32_t dv[3] = {};
  uint32_t quant = 4;
  uint32_t fcodeForward = 1;
  uint32_t fcodeBackward = 1;
};

// Start code through the last VOL field, aligned with stuffing to the next
// start code.
void WriteVol(BitWriter& writer, const VolFields& vol);
void WriteGov(BitWriter& writer, uint32_t hours, uint32_t minutes, uint32_t seconds);
// Start code through vop_quant and the f-codes; macroblock data follows.
void WriteVopHeader(BitWriter& writer, const VolFields& vol, const VopFields& vop);
// One warping vector code (values of magnitude below 2^15).
void WriteWarpingVectorCode(BitWriter& writer, int32_t value);

}  // namespace tlx::mpeg4::test
