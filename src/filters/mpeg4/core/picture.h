// A decoded-picture store: bordered planes plus the per-picture state the
// decoder keeps (kind, validity, reorder delay, rounding, time, quantiser
// map), and the pixel operations the macroblock layer needs.
//
// The pixel work goes through a kernel table chosen once per decoder
// instance: PlainPicture uses the plain C++ kernels, SimdPicture the vector
// ones. Both give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plane_store.h"
#include "reconstruction.h"

namespace tlx::mpeg4 {

struct PictureKernels {
  decltype(&tlx::mpeg4::PutIntraMacroblock) putIntraMacroblock;
  decltype(&tlx::mpeg4::AddInterMacroblock) addInterMacroblock;
};

extern const PictureKernels kPlainPictureKernels;
extern const PictureKernels kSimdPictureKernels;

// The valid word of a picture that holds a complete decoded picture.
inline constexpr uint32_t kPictureValid = 3;

class Picture : public PlaneStore {
 public:
  explicit Picture(const PictureKernels& kernels) : kernels(&kernels) {}
  ~Picture() override;

  // Sizes the planes with the given luma border (chroma border half of it)
  // and a quantiser map of one byte per macroblock. A size change replaces
  // the map. Returns the picture's status.
  uint32_t PictureAllocate(int width, int height, int borderX, int borderY, uint32_t format);

  // Writes the inverse DCT of the six blocks (four luma, U, V) of the
  // macroblock at luma position (x, y). With fieldDct the luma blocks 0-1
  // hold the top field and 2-3 the bottom field. Every block comes back zero.
  void PutIntraMacroblock(int16_t (*blocks)[64], int x, int y, int fieldDct, const uint32_t* shapes);
  // Adds the inverse DCT of the blocks whose kCodedBlockBit are set in
  // codedBlocks to the prediction already in the picture.
  void AddInterMacroblock(int16_t (*blocks)[64], int x, int y, int fieldDct, uint32_t codedBlocks,
                          const uint32_t* shapes);
  // The first-kind reconstruction operations; same results.
  void PutIntraMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, const uint32_t* shapes);
  void AddInterMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, uint32_t codedBlocks,
                           const uint32_t* shapes);
  // Copies the 16x16 luma and 8x8 chroma samples of the macroblock at luma
  // position (x, y) from source, which has the same geometry.
  void CopyMacroblock(const Picture& source, int x, int y);
  // Replicates the edge samples into the borders and the extra rows below.
  void PadBorders();
  // The planes as the pixel kernels see them.
  PicturePlanes Planes() const;

  const PictureKernels* kernels;
  int16_t lumaBorderX = 0;
  int16_t lumaBorderY = 0;
  int16_t chromaBorderX = 0;
  int16_t chromaBorderY = 0;
  uint32_t roundingAdd = 1;   // 1 - vop_rounding_type of the picture predicted into
  uint32_t kind = 0;          // VOP coding type
  uint32_t valid = 0;         // kPictureValid while a complete picture is held
  uint32_t reorder = 0;       // twice the reorder delay
  uint8_t* quantiserMap = nullptr;  // one byte per macroblock, rows of width / 16
  uint32_t quantiserMapSize = 0;
  int32_t timeSeconds = 0;    // accumulated modulo time base
  int32_t timeIncrement = 0;
  int32_t timeResolution = 0;
};

class PlainPicture : public Picture {
 public:
  PlainPicture() : Picture(kPlainPictureKernels) {}
};

class SimdPicture : public Picture {
 public:
  SimdPicture() : Picture(kSimdPictureKernels) {}
};

// Picture times (seconds, increment, resolution) and the tick arithmetic
// built on them.
void PictureTimeSet(Picture& picture, int32_t seconds, int32_t increment, int32_t resolution);
// (a.seconds - b.seconds) x a.resolution + a.increment - b.increment.
int32_t PictureTimeDifference(const Picture& a, const Picture& b);
// (seconds x resolution + increment) / unit, rounded to nearest with halves
// away from zero; the plain tick count for unit 0.
int32_t PictureTimeScaled(const Picture& picture, int32_t unit);

}  // namespace tlx::mpeg4
