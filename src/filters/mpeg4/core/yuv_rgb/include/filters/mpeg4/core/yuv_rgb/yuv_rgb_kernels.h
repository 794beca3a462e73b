// The YUV-to-RGB line kernels shared by the MPEG-4 and AVC decoder modules:
// the colour state, per-sample chroma terms, the vertical blends of two
// chroma rows, the packers that combine luma with the terms into pixels
// of five formats and the chunk loop of a row converter built from them.
// Every kernel has a plain form and an SSE2 form with the same bytes, and
// the chunk loop also an AVX2 form; a YuvRgbKernels table chosen once from
// the feature word gives a caller one set.
//
// Fixed point: a chroma term is 32 times a colour difference in output
// levels, a luma term 64 times the level plus the rounding half, and a pixel
// channel is clamp((luma term + 2 x term) >> 6) on the even (co-sited) pixel
// of a pair and clamp((luma term + t[k] + t[k+1]) >> 6) on the odd one.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

// The colour state a converter owns. SetRange writes the scalar fields and
// keeps the eight-lane copies the vector forms read in step with them.
struct ColourState {
  int32_t lumaOffset = 0;
  int32_t cbToB = 0;   // scale 8192
  int32_t cbToG = 0;
  int32_t crToG = 0;
  int32_t crToR = 0;
  int32_t lumaGain = 0;  // scale 16384
  alignas(16) int16_t lumaOffset8[8] = {};
  alignas(16) int16_t lumaGain8[8] = {};
  alignas(16) int16_t cbToB8[8] = {};
  alignas(16) int16_t crToR8[8] = {};
  alignas(16) int16_t greenPairs8[8] = {};  // cbToG, crToG alternating
};

// Loads the studio-range BT.601 set (fullRange 0: 16531, -3203, -6660,
// 13074, gain 19076) or the full-range set (14508, -2818, -5849, 11485,
// 16384), then lumaOffset = (((16 - lumaLift) x lumaGain x 128) >> 15) - 32.
// The lift is held to 0..16 (the values callers pass), where every luma and
// pixel sum of the vector forms stays within their 16-bit lanes.
void SetRange(ColourState& colour, int fullRange, int lumaLift);

// The three term lines of a converter (one entry per chroma sample).
struct TermLines {
  int16_t* r;
  int16_t* g;
  int16_t* b;
};

// A term window: 48 entries, red at 0-15, green at 16-31, blue at 32-47;
// entry j of a run belongs to chroma sample (chunk start + j). Windows are
// 16-byte aligned.
inline constexpr int kWindowRun = 16;
inline constexpr int kWindowEntries = 48;

// Output pixel formats, in the order of the converters' operation tables.
enum class RgbFormat : int { Rgb555, Rgb565, Rgb24, Rgb32, Rgb32Rev };
inline constexpr int kRgbFormatCount = 5;
// Bytes per pixel of each format.
inline constexpr int kRgbPixelBytes[kRgbFormatCount] = {2, 2, 3, 4, 4};

// Terms of the 8 chroma samples at cb and cr into entries position..+7 of the
// term lines: red (crToR x v) >> 16, green (cbToG x u + crToG x v + 32768) >>
// 16, blue (cbToB x u) >> 16, with u = (Cb - 128) x 256, v = (Cr - 128) x 256.
void ComputeChromaTerms(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                        int position);
void ComputeChromaTermsSse2(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                            int position);

// Progressive blend of entries 0-7 of the three runs of window a (chroma row
// k) and window b (row k+1), in place: red and green a = (3a + b + 2) >> 2,
// b = (a + 3b + 2) >> 2; blue, with d = (a - b) >> 1, a = (a + b + d + 1) >> 1,
// b = (a + b - d + 1) >> 1. The vector form equals the plain one for terms
// ComputeChromaTerms produces.
void BlendChromaRows(int16_t* a, int16_t* b);
void BlendChromaRowsSse2(int16_t* a, int16_t* b);

// Field blend of entries 0-7 of the runs of windows w and x, in place:
// w = (7w + x + 4) >> 3, x = (5x + 3w + 4) >> 3. The top field passes (window
// of row k+1, window of row k), the bottom field (row k, row k+1).
void BlendFieldChromaRows(int16_t* w, int16_t* x);
void BlendFieldChromaRowsSse2(int16_t* w, int16_t* x);

// Output pixels 2k and 2k+1 from luma y[0], y[1] and the terms at `terms`
// (entry 0 = t[k], entry 1 = t[k+1] of each run, runs 16 entries apart).
using PackPairKernel = void (*)(const ColourState& colour, uint8_t* destination, const uint8_t* luma,
                                const int16_t* terms);
void PackPair555(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms);
void PackPair565(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms);
void PackPair24(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms);
void PackPair32(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms);
void PackPair32Rev(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms);

// Sixteen output pixels from 16 luma samples and window entries 0-8 of each
// run, exactly as eight pair packers would. Entry 8 must hold the next
// chunk's first term or, at the right edge, the replicated last one. The
// vector forms load luma unaligned and read nothing beyond entry 8.
using Pack16Kernel = void (*)(const ColourState& colour, uint8_t* destination, const uint8_t* luma,
                              const int16_t* window);
void Pack16Rgb555(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb565(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb24(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb32(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb32Rev(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb555Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb565Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb24Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb32Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window);
void Pack16Rgb32RevSse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma,
                        const int16_t* window);

// How a row converter takes its chroma: the given row alone, or blended with
// the row whose terms the term lines hold (the previous call's): progressive
// 3/4-1/4 then 1/4-3/4, top field 5/8-3/8 then 1/8-7/8, bottom field 7/8-1/8
// then 3/8-5/8 for the first and the second row.
enum class RowBlend : int { None, Progressive, TopField, BottomField };

// The chunk loop of a row converter: for each of `groups` chunks j, the
// terms of chroma samples 8j..8j+8 (blended with the term lines' entries
// unless `blend` is None: windows a of the line entries and b of the new
// terms, blended as BlendChromaRows(a, b), BlendFieldChromaRows(b, a) for
// the top field, BlendFieldChromaRows(a, b) for the bottom one) give 16
// pixels of row 1 from window a and, for a pair, of row 2 from window b, in
// `format` from luma 16j on, at destination pixel 16j. Afterwards term-line
// entries 0..8 groups - 1 hold the new terms and the later ones are
// unchanged. Reads chroma samples up to 8 groups + 7, luma and destination
// only inside the 16 groups pixels; destination2 and luma2 unused without a
// blend. With `edge`, chunk groups - 1 ends the row: its sample 8 is its
// blended sample 7 repeated, and chroma and term lines are read only up to
// 8 groups - 1. The SSE2 form makes a block of chunks' terms into a buffer
// on its stack, then packs each row of the block straight to the
// destination, with the same bytes.
using ConvertChunksKernel = void (*)(const ColourState& colour, const TermLines& lines, RowBlend blend,
                                     RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                     const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                                     const uint8_t* cr, int groups, bool edge);
void ConvertChunks(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                   uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                   const uint8_t* cb, const uint8_t* cr, int groups, bool edge);
void ConvertChunksSse2(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                       uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                       const uint8_t* cb, const uint8_t* cr, int groups, bool edge);
// The AVX2 form, for processors with kFeatureAvx2 only: pairs of rows in the
// four-byte formats convert both rows at once; the rest as the SSE2 form.
// Same bytes and reads.
void ConvertChunksAvx2(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                       uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                       const uint8_t* cb, const uint8_t* cr, int groups, bool edge);

// Copies exactly byteCount bytes (any count, 0 included).
void CopyLine(uint8_t* destination, const uint8_t* source, int byteCount);
void CopyLineSse2(uint8_t* destination, const uint8_t* source, int byteCount);

// Row averages over n bytes: AverageRows8 per byte (a + b + 1) >> 1;
// AverageRows555 and AverageRows565 per 16-bit pixel of n / 2 (an odd last
// byte is ignored), each component (a + b) >> 1.
using AverageRowsKernel = void (*)(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows8(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows555(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows565(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows8Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows555Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);
void AverageRows565Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n);

// One set of the kernels above; formats are indexed by RgbFormat.
struct YuvRgbKernels {
  decltype(&ComputeChromaTerms) computeChromaTerms;
  decltype(&BlendChromaRows) blendChromaRows;
  decltype(&BlendFieldChromaRows) blendFieldChromaRows;
  PackPairKernel packPair[kRgbFormatCount];
  Pack16Kernel pack16[kRgbFormatCount];
  ConvertChunksKernel convertChunks;
  decltype(&CopyLine) copyLine;
  // By format: 555, 565, then the byte average for the three byte formats.
  AverageRowsKernel averageRows[kRgbFormatCount];
};

extern const YuvRgbKernels kPlainYuvRgbKernels;
extern const YuvRgbKernels kSse2YuvRgbKernels;
// The SSE2 set with the AVX2 chunk loop.
extern const YuvRgbKernels kAvx2YuvRgbKernels;

// Copies term-line entries [position, position + 8) of the three lines into
// entries [offset, offset + 8) of the window's runs.
void GatherTerms(int16_t* window, const TermLines& lines, int position, int offset);

// Blends entries 0-7 of window a (the term lines' row) and window b (the new
// row) by `blend` with the set's blend kernels, as ConvertChunks states.
void BlendWindows(const YuvRgbKernels& kernels, RowBlend blend, int16_t* a, int16_t* b);

// The vector sets by the feature word: the AVX2 set when it has
// kFeatureAvx2, else the SSE2 set.
const YuvRgbKernels& VectorYuvRgbKernels(uint32_t features);

}  // namespace tlx::mpeg4
