// The post-processing strategies the output step runs a returned picture
// through before converting it: a plain copy, and the deblocking filter
// (thresholds THR1 2 and THR2 6, each macroblock's quantiser from the
// picture's quantiser map). They read the decoded picture and write the work
// picture; a reference picture is never modified.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4 {

class Picture;

inline constexpr int kDeblockThreshold1 = 2;
inline constexpr int kDeblockThreshold2 = 6;

// Filters eight sample lines across one 8-sample stretch of a block edge:
// sample k of line i is at line + k x across + i x along (k 0-9, the edge
// between samples 4 and 5); samples 1-8 are written back. Per line, with
// eq_cnt the number of k in 0-8 with |s_k - s_k+1| <= thr1:
// eq_cnt >= thr2 (DC offset mode): when max - min of s1..s8 < 2 qp, s1..s8
// become the nine-tap low-pass (1 1 2 2 4 2 2 1 1, +8, / 16) with s0 / s9
// standing in beyond the edges where they are within qp of s1 / s8.
// Otherwise (default mode): with a0 = 2(s3 - s6) - 5(s4 - s5) and a1, a2 the
// same on s1..s4 and s5..s8, when |a0| / 8 < qp and a0 and s4 - s5 have
// opposite signs, s4 and s5 move towards each other by
// min((5(|a0| - min|a|) + 32) / 64, |s4 - s5| / 2).
using DeblockEdgeKernel = void (*)(uint8_t* line, ptrdiff_t across, ptrdiff_t along, int qp, int thr1, int thr2);
void DeblockEdge(uint8_t* line, ptrdiff_t across, ptrdiff_t along, int qp, int thr1, int thr2);
// Eight lines at once, decisions as lane masks; the same bytes. Lines with
// neither across nor along 1 go to the plain form.
void DeblockEdgeSse2(uint8_t* line, ptrdiff_t across, ptrdiff_t along, int qp, int thr1, int thr2);

// One plane: source copied to destination, then every interior horizontal
// edge (rows at multiples of 8), then every interior vertical edge, in place.
// A horizontal edge takes the quantiser of the macroblock below it, a
// vertical edge that of the macroblock to its right (macroblocks of
// `macroblockSize` samples, map rows of mapColumns bytes). Picture borders are
// never filtered.
void DeblockPlane(DeblockEdgeKernel kernel, uint8_t* destination, ptrdiff_t destinationStride, const uint8_t* source,
                  ptrdiff_t sourceStride, int width, int height, const uint8_t* quantiserMap, int mapColumns,
                  int macroblockSize, int thr1, int thr2);

// Copies a picture's three planes unchanged.
class PictureCopyStrategy {
 public:
  virtual ~PictureCopyStrategy() = default;
  // Writes source's visible planes into destination, which has its size.
  virtual void Process(Picture& destination, const Picture& source);
};

// Deblocks luma (16-sample macroblocks) and both chroma planes (8-sample
// macroblocks) with the given edge kernel.
class DeblockingStrategy : public PictureCopyStrategy {
 public:
  explicit DeblockingStrategy(DeblockEdgeKernel kernel) : kernel_(kernel) {}
  void Process(Picture& destination, const Picture& source) override;

 private:
  DeblockEdgeKernel kernel_;
};

}  // namespace tlx::mpeg4
