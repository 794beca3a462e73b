#include "filters/mpeg4/support/bit_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "filters/mpeg4/core/block/coefficient_tables.h"

namespace tlx::mpeg4::test {

void BitWriter::Put(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (free_ == 8) {
      bytes_.push_back(0);
      free_ = 8;
    }
    --free_;
    bytes_.back() |= uint8_t(((value >> i) & 1) << free_);
    if (free_ == 0) free_ = 8;
  }
}

void BitWriter::Put(const std::string& text) {
  for (char c : text) {
    if (c == '0' || c == '1') Put(c == '1' ? 1u : 0u, 1);
  }
}

void BitWriter::AlignWithZeros() { free_ = 8; }

void BitWriter::Stuff() {
  const int remaining = free_ == 8 ? 8 : free_;
  Put(0, 1);
  Put((1u << (remaining - 1)) - 1, remaining - 1);
}

void BitWriter::StartCode(uint32_t code) {
  AlignWithZeros();
  Put(0x000001, 24);
  Put(code & 0xFF, 8);
}

void BitWriter::Bytes(const std::vector<uint8_t>& bytes) {
  AlignWithZeros();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void WriteVol(BitWriter& w, const VolFields& vol) {
  w.StartCode(vol.startCode);
  w.Put(0, 1);  // random_accessible_vol
  w.Put(1, 8);  // video_object_type_indication
  if (vol.verid != 1) {
    w.Put(1, 1);
    w.Put(vol.verid, 4);
    w.Put(1, 3);
  } else {
    w.Put(0, 1);
  }
  w.Put(1, 4);  // aspect_ratio_info: square
  w.Put(vol.volControlParameters, 1);
  if (vol.volControlParameters != 0) {
    w.Put(1, 2);  // chroma_format
    w.Put(vol.lowDelay, 1);
    w.Put(0, 1);  // no vbv_parameters
  }
  w.Put(vol.shape, 2);
  w.Marker();
  w.Put(vol.timeIncrementResolution, 16);
  w.Marker();
  w.Put(vol.fixedVopRate, 1);
  if (vol.fixedVopRate != 0) {
    int bits = 0;
    for (uint32_t v = vol.timeIncrementResolution - 1; v != 0; v >>= 1) ++bits;
    w.Put(1, bits < 1 ? 1 : bits);
  }
  w.Marker();
  w.Put(vol.width, 13);
  w.Marker();
  w.Put(vol.height, 13);
  w.Marker();
  w.Put(vol.interlaced, 1);
  w.Put(1, 1);  // obmc_disable
  w.Put(vol.spriteEnable, vol.verid == 1 ? 1 : 2);
  if (vol.spriteEnable == 2) {
    w.Put(vol.spriteWarpingPoints, 6);
    w.Put(vol.spriteWarpingAccuracy, 2);
    w.Put(vol.spriteBrightnessChange, 1);
  }
  w.Put(vol.not8Bit, 1);
  if (vol.not8Bit != 0) {
    w.Put(vol.quantPrecision, 4);
    w.Put(8, 4);
  }
  w.Put(vol.quantType, 1);
  if (vol.verid != 1) w.Put(vol.quarterSample, 1);
  w.Put(vol.complexityEstimationDisable, 1);
  if (vol.complexityEstimationDisable == 0) {
    w.Put(vol.estimationMethod, 2);
    w.Put(vol.estimationShapeDisable, 1);
    if (vol.estimationShapeDisable == 0) w.Put(0x3F, 6);
    w.Put(1, 1);  // texture set 1 disabled
    w.Marker();
    w.Put(vol.estimationTextureSet2Disable, 1);
    if (vol.estimationTextureSet2Disable == 0) w.Put(0xF, 4);
    w.Put(1, 1);  // motion compensation disabled
    w.Marker();
    if (vol.estimationMethod == 1) w.Put(1, 1);
  }
  w.Put(vol.resyncMarkerDisable, 1);
  w.Put(vol.dataPartitioned, 1);
  if (vol.dataPartitioned != 0) w.Put(vol.reversibleVlc, 1);
  if (vol.verid != 1) {
    w.Put(vol.newpredEnable, 1);
    if (vol.newpredEnable != 0) w.Put(0, 3);
    w.Put(vol.reducedResolutionVopEnable, 1);
  }
  w.Put(vol.scalability, 1);
  w.Stuff();
}

void WriteGov(BitWriter& w, uint32_t hours, uint32_t minutes, uint32_t seconds) {
  w.StartCode(0x1B3);
  w.Put(hours, 5);
  w.Put(minutes, 6);
  w.Marker();
  w.Put(seconds, 6);
  w.Put(1, 1);  // closed_gov
  w.Put(0, 1);  // broken_link
  w.Stuff();
}

void WriteVopHeader(BitWriter& w, const VolFields& vol, const VopFields& vop) {
  int incrementBits = 0;
  for (uint32_t v = vol.timeIncrementResolution - 1; v != 0; v >>= 1) ++incrementBits;
  if (incrementBits < 1) incrementBits = 1;
  w.StartCode(0x1B6);
  w.Put(vop.codingType, 2);
  for (uint32_t i = 0; i < vop.moduloTimeBase; ++i) w.Put(1, 1);
  w.Put(0, 1);
  w.Marker();
  w.Put(vop.timeIncrement, incrementBits);
  w.Marker();
  w.Put(vop.coded, 1);
  if (vop.coded == 0) {
    w.Stuff();
    return;
  }
  const bool gmc = vol.spriteEnable == 2;
  if (vop.codingType == 1 || (vop.codingType == 3 && gmc)) w.Put(vop.roundingType, 1);
  if (vol.complexityEstimationDisable == 0 && vop.codingType != 3) {
    if (vol.estimationShapeDisable == 0) {
      for (int i = 0; i < 6; ++i) w.Put(0xA5, 8);
    }
    if (vol.estimationTextureSet2Disable == 0) {
      // Coefficients, lines and symbols in 8 bits; the VLC bit count in 4.
      for (int i = 0; i < 3; ++i) w.Put(0x5A, 8);
      w.Put(0x6, 4);
    }
  }
  w.Put(vop.intraDcVlcThr, 3);
  if (vol.interlaced != 0) {
    w.Put(vop.topFieldFirst, 1);
    w.Put(vop.alternateVerticalScan, 1);
  }
  if (gmc && vop.codingType == 3) {
    for (uint32_t i = 0; i < vol.spriteWarpingPoints; ++i) {
      WriteWarpingVectorCode(w, vop.du[i]);
      WriteWarpingVectorCode(w, vop.dv[i]);
    }
  }
  w.Put(vop.quant, 5);
  if (vop.codingType != 0) w.Put(vop.fcodeForward, 3);
  if (vop.codingType == 2) w.Put(vop.fcodeBackward, 3);
}

void WriteWarpingVectorCode(BitWriter& w, int32_t value) {
  const uint32_t magnitude = uint32_t(std::abs(value));
  int length = 0;
  for (uint32_t v = magnitude; v != 0; v >>= 1) ++length;
  if (length == 0) {
    w.Put(0, 2);
  } else if (length <= 4) {
    w.Put(uint32_t(length) + 1, 3);  // 010, 011, 100, 101
  } else {
    w.Put((1u << (length - 3)) - 1, length - 3);  // length - 3 ones
    w.Put(0, 1);
  }
  if (length > 0) {
    const uint32_t code = value > 0 ? uint32_t(value) : uint32_t(value + (1 << length) - 1);
    w.Put(code, length);
  }
  w.Marker();
}

void WriteVectorDifference(BitWriter& writer, int32_t difference, uint32_t rSize) {
  if (difference == 0) {
    writer.Put(1, 1);
    return;
  }
  const uint32_t magnitude = uint32_t(std::abs(difference));
  const uint32_t code = ((magnitude - 1) >> rSize) + 1;
  ASSERT_LE(code, 32u) << "difference " << difference << " outside the range of r_size " << rSize;
  const ValueCode& c = code <= kShortMotionCodes.size() ? kShortMotionCodes[code - 1]
                                                        : kLongMotionCodes[code - 1 - kShortMotionCodes.size()];
  writer.Put(c.code, c.length);
  writer.Put(difference < 0 ? 1 : 0, 1);
  if (rSize != 0) writer.Put((magnitude - 1) & ((1u << rSize) - 1), int(rSize));
}

}  // namespace tlx::mpeg4::test
