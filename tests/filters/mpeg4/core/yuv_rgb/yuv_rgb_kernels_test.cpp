// The YUV-to-RGB line kernels: the arithmetic's fixed cases, the blend forms
// over the whole term range, every SSE2 kernel against its plain twin and
// the vector chunk loops against the plain one.
#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/support/guarded_block.h"
#include "rgb_reference_model.h"

namespace tlx::mpeg4 {
namespace {

// Exhaustive sweeps run whole in the plain build and sampled under the
// sanitizers, which slow them a hundredfold.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSweepStep = 97;
#else
constexpr int kSweepStep = 1;
#endif

ColourState Colour(int fullRange, int lift) {
  ColourState c;
  SetRange(c, fullRange, lift);
  return c;
}

// A window whose runs all hold `t` at entries 0-8.
std::array<int16_t, kWindowEntries> Flat(int r, int g, int b) {
  std::array<int16_t, kWindowEntries> w{};
  for (int i = 0; i < kWindowRun; ++i) {
    w[size_t(i)] = int16_t(r);
    w[size_t(kWindowRun + i)] = int16_t(g);
    w[size_t(2 * kWindowRun + i)] = int16_t(b);
  }
  return w;
}

TEST(YuvRgbKernels, SetRangeValues) {
  const struct {
    int fullRange, lift;
    int32_t offset, cbToB, cbToG, crToG, crToR, gain;
  } cases[] = {
      {0, 0, 1160, 16531, -3203, -6660, 13074, 19076},
      {0, 16, -32, 16531, -3203, -6660, 13074, 19076},
      {1, 16, -32, 14508, -2818, -5849, 11485, 16384},
      {1, 0, 992, 14508, -2818, -5849, 11485, 16384},
  };
  for (const auto& c : cases) {
    const ColourState s = Colour(c.fullRange, c.lift);
    EXPECT_EQ(s.lumaOffset, c.offset);
    EXPECT_EQ(s.cbToB, c.cbToB);
    EXPECT_EQ(s.cbToG, c.cbToG);
    EXPECT_EQ(s.crToG, c.crToG);
    EXPECT_EQ(s.crToR, c.crToR);
    EXPECT_EQ(s.lumaGain, c.gain);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(s.lumaOffset8[i], c.offset);
      EXPECT_EQ(s.lumaGain8[i], c.gain);
    }
  }
}

TEST(YuvRgbKernels, FixedCases) {
  // Luma at neutral chroma (zero terms), RGB32 bytes of the even pixel.
  const struct {
    int fullRange, lift;
    uint8_t y, expected;
  } luma[] = {
      {0, 0, 235, 255}, {0, 0, 16, 0}, {0, 0, 255, 255}, {0, 0, 0, 0},
      {1, 16, 0, 0},    {1, 16, 77, 77}, {1, 16, 200, 200}, {1, 16, 255, 255},
  };
  for (const auto& c : luma) {
    const ColourState s = Colour(c.fullRange, c.lift);
    const auto window = Flat(0, 0, 0);
    const uint8_t y[2] = {c.y, c.y};
    uint8_t out[8];
    PackPair32(s, out, y, window.data());
    EXPECT_EQ(out[0], c.expected) << int(c.y);
    EXPECT_EQ(out[1], c.expected);
    EXPECT_EQ(out[2], c.expected);
    EXPECT_EQ(out[3], 0);
  }
  // Red terms are floored: Cr 129 -> 51, Cr 127 -> -52.
  const ColourState studio = Colour(0, 0);
  alignas(16) int16_t r[8], g[8], b[8];
  const uint8_t cb[8] = {128, 128, 128, 128, 128, 128, 128, 128};
  const uint8_t cr[8] = {129, 127, 128, 128, 128, 128, 128, 128};
  ComputeChromaTerms(studio, cb, cr, {r, g, b}, 0);
  EXPECT_EQ(r[0], 51);
  EXPECT_EQ(r[1], -52);
  EXPECT_EQ(b[0], 0);
  // The blue blend form: (-6, -3) -> (-5, -3), where (a + 3b + 2) >> 2 is -4.
  auto a = Flat(0, 0, -6);
  auto bw = Flat(0, 0, -3);
  BlendChromaRows(a.data(), bw.data());
  EXPECT_EQ(a[32], -5);
  EXPECT_EQ(bw[32], -3);
  // White in the 16-bit formats; bit 15 of RGB555 stays 0.
  const auto zero = Flat(0, 0, 0);
  const uint8_t white[2] = {235, 235};
  uint16_t words[2];
  PackPair555(studio, reinterpret_cast<uint8_t*>(words), white, zero.data());
  EXPECT_EQ(words[0], 0x7FFF);
  PackPair565(studio, reinterpret_cast<uint8_t*>(words), white, zero.data());
  EXPECT_EQ(words[0], 0xFFFF);
}

// The term ranges ComputeChromaTerms produces, per run, for both sets.
struct TermRange {
  int low, high;
};

std::array<TermRange, 3> RunRanges() {
  std::array<TermRange, 3> ranges = {TermRange{0, 0}, TermRange{0, 0}, TermRange{0, 0}};
  for (int set = 0; set < 2; ++set) {
    const reference::Colour c = reference::MakeColour(set, 0);
    for (int u = 0; u < 256; ++u) {
      for (int v = 0; v < 256; ++v) {
        const reference::Terms t = reference::ChromaTerms(c, uint8_t(u), uint8_t(v));
        const int values[3] = {t.r, t.g, t.b};
        for (int run = 0; run < 3; ++run) {
          ranges[size_t(run)].low = std::min(ranges[size_t(run)].low, values[run]);
          ranges[size_t(run)].high = std::max(ranges[size_t(run)].high, values[run]);
        }
      }
    }
  }
  return ranges;
}

// Runs `blend` (plain or SSE2) on every pair of terms of each run's range,
// eight pairs per call, and hands each result to `check`.
template <typename Check>
void SweepBlend(void (*blend)(int16_t*, int16_t*), Check check) {
  const auto ranges = RunRanges();
  for (int run = 0; run < 3; ++run) {
    const TermRange range = ranges[size_t(run)];
    for (int first = range.low; first <= range.high; first += kSweepStep) {
      for (int second = range.low; second <= range.high; second += 8) {
        alignas(16) std::array<int16_t, kWindowEntries> a{}, b{};
        for (int i = 0; i < 8; ++i) {
          a[size_t(run * kWindowRun + i)] = int16_t(first);
          b[size_t(run * kWindowRun + i)] = int16_t(std::min(second + i, range.high));
        }
        blend(a.data(), b.data());
        for (int i = 0; i < 8; ++i) {
          const int s = std::min(second + i, range.high);
          if (!check(run, first, s, a[size_t(run * kWindowRun + i)], b[size_t(run * kWindowRun + i)])) return;
        }
      }
    }
  }
}

// The vector form computes the field blend in the 16-bit forms (red and
// green: d = (x - w) >> 1, x = (d + 2(x + w) + 2) >> 2, w = (d + 4w + 2) >> 2;
// blue: d = (x - w) >> 2, x = (d + x + w + 1) >> 1, w = (d + 2w + 1) >> 1);
// the plain form is the eighths formula itself.
TEST(YuvRgbKernels, FieldBlendFormsEqualTheEighthsOverTheTermRange) {
  SweepBlend(BlendFieldChromaRowsSse2, [](int run, int w, int x, int16_t w2, int16_t x2) {
    const bool ok = w2 == ((7 * w + x + 4) >> 3) && x2 == ((5 * x + 3 * w + 4) >> 3);
    if (!ok) ADD_FAILURE() << "run " << run << " w " << w << " x " << x;
    return ok;
  });
}

TEST(YuvRgbKernels, ProgressiveBlendSse2EqualsPlainOverTheTermRange) {
  SweepBlend(BlendChromaRowsSse2, [](int run, int a, int b, int16_t a2, int16_t b2) {
    const bool ok = run < 2 ? a2 == ((3 * a + b + 2) >> 2) && b2 == ((a + 3 * b + 2) >> 2)
                            : a2 == reference::ProgressiveBlue(a, b, true) &&
                                  b2 == reference::ProgressiveBlue(a, b, false);
    if (!ok) ADD_FAILURE() << "run " << run << " a " << a << " b " << b;
    return ok;
  });
}

// A window of terms ComputeChromaTerms could give (random chroma).
std::array<int16_t, kWindowEntries> RandomWindow(const ColourState& c, std::mt19937& random) {
  alignas(16) uint8_t cb[16], cr[16];
  for (int i = 0; i < 16; ++i) cb[i] = uint8_t(random()), cr[i] = uint8_t(random());
  alignas(16) std::array<int16_t, kWindowEntries> w{};
  ComputeChromaTerms(c, cb, cr, {w.data(), w.data() + kWindowRun, w.data() + 2 * kWindowRun}, 0);
  ComputeChromaTerms(c, cb + 8, cr + 8, {w.data(), w.data() + kWindowRun, w.data() + 2 * kWindowRun}, 8);
  return w;
}

TEST(YuvRgbKernels, EverySse2KernelEqualsItsPlainTwin) {
  std::mt19937 random(12);
  const ColourState states[] = {Colour(0, 0), Colour(0, 16), Colour(1, 16), Colour(1, 0)};
  const YuvRgbKernels& plain = kPlainYuvRgbKernels;
  const YuvRgbKernels& sse2 = kSse2YuvRgbKernels;
  for (int round = 0; round < 400; ++round) {
    const ColourState& c = states[round % 4];
    // Chroma terms, at every offset of a term line.
    uint8_t cb[8], cr[8];
    for (int i = 0; i < 8; ++i) cb[i] = uint8_t(random()), cr[i] = uint8_t(random());
    if (round % 7 == 0) cb[0] = 0, cr[1] = 255, cb[2] = 255, cr[3] = 0;
    std::array<int16_t, 3 * 24> lines1{}, lines2{};
    const int position = round % 16;
    plain.computeChromaTerms(c, cb, cr, {lines1.data(), lines1.data() + 24, lines1.data() + 48}, position);
    sse2.computeChromaTerms(c, cb, cr, {lines2.data(), lines2.data() + 24, lines2.data() + 48}, position);
    ASSERT_EQ(lines1, lines2) << "ComputeChromaTerms round " << round;
    // Blends on term windows, at both halves.
    for (auto kernels : {std::pair{plain.blendChromaRows, sse2.blendChromaRows},
                         std::pair{plain.blendFieldChromaRows, sse2.blendFieldChromaRows}}) {
      auto a1 = RandomWindow(c, random), b1 = RandomWindow(c, random);
      auto a2 = a1, b2 = b1;
      const int offset = (round & 1) * 8;
      kernels.first(a1.data() + offset, b1.data() + offset);
      kernels.second(a2.data() + offset, b2.data() + offset);
      ASSERT_EQ(a1, a2) << "blend round " << round;
      ASSERT_EQ(b1, b2) << "blend round " << round;
    }
    // Sixteen-pixel packers, every format.
    const auto window = RandomWindow(c, random);
    uint8_t luma[17];
    for (uint8_t& y : luma) y = uint8_t(random());
    if (round % 5 == 0) std::memset(luma, round % 10 == 0 ? 255 : 0, sizeof(luma));
    for (int f = 0; f < kRgbFormatCount; ++f) {
      uint8_t out1[66], out2[66];
      std::memset(out1, 0xA5, sizeof(out1));
      std::memset(out2, 0xA5, sizeof(out2));
      const int misalign = round % 2;  // luma and destination at any alignment
      plain.pack16[f](c, out1 + misalign, luma + misalign, window.data());
      sse2.pack16[f](c, out2 + misalign, luma + misalign, window.data());
      ASSERT_EQ(0, std::memcmp(out1, out2, sizeof(out1))) << "Pack16 format " << f << " round " << round;
      EXPECT_EQ(out2[misalign + 16 * kRgbPixelBytes[f]], 0xA5);
      EXPECT_EQ(plain.packPair[f], sse2.packPair[f]);
    }
    // Chunk loops: every blend and format, 1-4 chunks, term lines included.
    {
      const int groups = 1 + round % 4;
      const RowBlend blend = RowBlend(round % 4);
      const int f = (round / 4) % kRgbFormatCount;
      const bool edge = (round / 20) % 2 == 1;
      uint8_t y[2][64], chroma[2][40];
      for (auto* plane : {y[0], y[1]})
        for (int i = 0; i < 64; ++i) plane[i] = uint8_t(random());
      for (auto* plane : {chroma[0], chroma[1]})
        for (int i = 0; i < 40; ++i) plane[i] = uint8_t(random() % 4 == 0 ? (random() % 2) * 255 : random());
      // The cached row's terms, as a converter's lines hold them.
      std::array<int16_t, 3 * 40> cached1{};
      for (int position = 0; position < 40; position += 8) {
        uint8_t u[8], v[8];
        for (int i = 0; i < 8; ++i) u[i] = uint8_t(random()), v[i] = uint8_t(random());
        ComputeChromaTerms(c, u, v, {cached1.data(), cached1.data() + 40, cached1.data() + 80}, position);
      }
      auto cached2 = cached1;
      uint8_t out1[2][260], out2[2][260];
      std::memset(out1, 0xA5, sizeof(out1));
      std::memset(out2, 0xA5, sizeof(out2));
      plain.convertChunks(c, {cached1.data(), cached1.data() + 40, cached1.data() + 80}, blend, RgbFormat(f),
                          out1[0] + 1, out1[1], y[0] + 1, y[1], chroma[0], chroma[1], groups, edge);
      sse2.convertChunks(c, {cached2.data(), cached2.data() + 40, cached2.data() + 80}, blend, RgbFormat(f),
                         out2[0] + 1, out2[1], y[0] + 1, y[1], chroma[0], chroma[1], groups, edge);
      ASSERT_EQ(0, std::memcmp(out1, out2, sizeof(out1))) << "ConvertChunks blend " << int(blend) << " format " << f;
      ASSERT_EQ(cached1, cached2) << "ConvertChunks lines, blend " << int(blend);
      EXPECT_EQ(out2[0][1 + 16 * groups * kRgbPixelBytes[f]], 0xA5);
      EXPECT_EQ(out2[1][0], blend == RowBlend::None ? 0xA5 : out1[1][0]);
    }
    // Copies and averages, every length 0-80 and any alignment.
    const int n = round % 81;
    uint8_t a[96], b[96], d1[100], d2[100];
    for (int i = 0; i < 96; ++i) a[i] = uint8_t(random()), b[i] = uint8_t(random());
    std::memset(d1, 0x5A, sizeof(d1));
    std::memset(d2, 0x5A, sizeof(d2));
    plain.copyLine(d1 + 1, a + 3, n);
    sse2.copyLine(d2 + 1, a + 3, n);
    ASSERT_EQ(0, std::memcmp(d1, d2, sizeof(d1))) << "CopyLine " << n;
    for (int f = 0; f < kRgbFormatCount; ++f) {
      plain.averageRows[f](d1 + 2, a + 1, b, n);
      sse2.averageRows[f](d2 + 2, a + 1, b, n);
      ASSERT_EQ(0, std::memcmp(d1, d2, sizeof(d1))) << "AverageRows format " << f << " n " << n;
    }
  }
}

// Rows of 1-11 chunks (pairs of chunks and a last one alone) and rows long
// enough to span several of the SSE2 loop's blocks (15-17, 32-33 and 40
// chunks: a block's last chunk, one more, two blocks, a wide picture's row),
// with and without a row edge after the last, every blend and format, every
// colour state, chroma often at its extremes, destinations at any alignment:
// the SSE2 loop and, where the processor has it, the AVX2 loop write the
// plain loop's pixels and term lines. Every input ends flush against an
// inaccessible page, so a read past what the plain loop reads faults: luma
// 16 x groups, chroma 8 x groups + 8 and term-line entries 8 x groups + 8,
// or 8 x groups of both at an edge.
TEST(YuvRgbKernels, VectorChunkLoopsEqualThePlainOne) {
  using test::GuardedBlock;
  std::vector<ConvertChunksKernel> loops = {ConvertChunksSse2};
  if ((ProbeCpuFeatures() & kFeatureAvx2) != 0) loops.push_back(ConvertChunksAvx2);
  constexpr int kGroups[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 17, 32, 33, 40};
  constexpr int kGroupCount = int(std::size(kGroups));
  std::mt19937 random(29);
  const ColourState states[] = {Colour(0, 0), Colour(0, 16), Colour(1, 16), Colour(1, 0)};
  for (int round = 0; round < 600; ++round) {
    const ColourState& c = states[round % 4];
    const int groups = kGroups[round % kGroupCount];
    const RowBlend blend = RowBlend((round / 11) % 4);
    const int f = (round / 44) % kRgbFormatCount;
    const bool edge = (round / 220) % 2 == 1;
    const size_t lumaBytes = size_t(16 * groups), chromaBytes = size_t(8 * groups + (edge ? 0 : 8));
    const size_t lineEntries = chromaBytes;
    GuardedBlock luma1(lumaBytes), luma2(lumaBytes), cb(chromaBytes), cr(chromaBytes);
    GuardedBlock lines1(3 * 2 * lineEntries), lines2(3 * 2 * lineEntries);
    const auto fill = [&](uint8_t* p, size_t n, bool extremes) {
      for (size_t i = 0; i < n; ++i) {
        p[i] = uint8_t(extremes && random() % 4 == 0 ? (random() % 2) * 255 : random());
      }
    };
    fill(luma1.Tail(lumaBytes), lumaBytes, round % 5 == 0);
    fill(luma2.Tail(lumaBytes), lumaBytes, round % 5 == 0);
    fill(cb.Tail(chromaBytes), chromaBytes, true);
    fill(cr.Tail(chromaBytes), chromaBytes, true);
    // The cached row's terms, as a converter's lines hold them: each line
    // ends at the guard (blue's last entry flush against it).
    int16_t* cached1 = reinterpret_cast<int16_t*>(lines1.Tail(3 * 2 * lineEntries));
    int16_t* cached2 = reinterpret_cast<int16_t*>(lines2.Tail(3 * 2 * lineEntries));
    const TermLines terms1 = {cached1, cached1 + lineEntries, cached1 + 2 * lineEntries};
    const TermLines terms2 = {cached2, cached2 + lineEntries, cached2 + 2 * lineEntries};
    for (size_t position = 0; position < lineEntries; position += 8) {
      uint8_t u[8], v[8];
      fill(u, 8, true);
      fill(v, 8, true);
      ComputeChromaTerms(c, u, v, terms1, int(position));
    }
    const std::vector<int16_t> initial(cached1, cached1 + 3 * lineEntries);
    const size_t rowBytes = size_t(16 * groups * kRgbPixelBytes[f]);
    std::vector<uint8_t> out1(2 * rowBytes + 8, 0xA5);
    const int misalign = round % 3;
    ConvertChunks(c, terms1, blend, RgbFormat(f), out1.data() + misalign, out1.data() + rowBytes + 4,
                  luma1.Tail(lumaBytes), luma2.Tail(lumaBytes), cb.Tail(chromaBytes), cr.Tail(chromaBytes), groups,
                  edge);
    for (size_t l = 0; l < loops.size(); ++l) {
      std::memcpy(cached2, initial.data(), 3 * 2 * lineEntries);
      std::vector<uint8_t> out2(2 * rowBytes + 8, 0xA5);
      loops[l](c, terms2, blend, RgbFormat(f), out2.data() + misalign, out2.data() + rowBytes + 4,
               luma1.Tail(lumaBytes), luma2.Tail(lumaBytes), cb.Tail(chromaBytes), cr.Tail(chromaBytes), groups,
               edge);
      ASSERT_EQ(out1, out2) << "loop " << l << " blend " << int(blend) << " format " << f << " groups " << groups
                            << " edge " << edge;
      ASSERT_EQ(0, std::memcmp(cached1, cached2, 3 * 2 * lineEntries)) << "loop " << l << " lines, groups " << groups;
    }
  }
}

TEST(YuvRgbKernels, EntryEightChangesOnlyTheLastOddPixel) {
  std::mt19937 random(8);
  const ColourState c = Colour(0, 0);
  uint8_t luma[16];
  for (uint8_t& y : luma) y = uint8_t(random());
  for (auto pack : {Pack16Rgb32, Pack16Rgb32Sse2, Pack16Rgb24Sse2, Pack16Rgb565Sse2}) {
    auto window = RandomWindow(c, random);
    uint8_t clean[64], dirty[64];
    pack(c, clean, luma, window.data());
    for (int run = 0; run < 3; ++run) window[size_t(run * kWindowRun + 8)] = int16_t(run == 1 ? -8000 : 8000);
    pack(c, dirty, luma, window.data());
    const int bytes = pack == Pack16Rgb24Sse2 ? 3 : pack == Pack16Rgb565Sse2 ? 2 : 4;
    EXPECT_EQ(0, std::memcmp(clean, dirty, size_t(15 * bytes)));
    EXPECT_NE(0, std::memcmp(clean + 15 * bytes, dirty + 15 * bytes, size_t(bytes)));
  }
}

TEST(YuvRgbKernels, CopyLineCopiesExactlyTheCount) {
  uint8_t source[128];
  for (int i = 0; i < 128; ++i) source[i] = uint8_t(i + 1);
  for (auto copy : {CopyLine, CopyLineSse2}) {
    for (int count = 0; count <= 100; ++count) {
      uint8_t destination[120];
      std::memset(destination, 0xEE, sizeof(destination));
      copy(destination + 8, source, count);
      for (int i = 0; i < 120; ++i) {
        const bool inside = i >= 8 && i < 8 + count;
        ASSERT_EQ(destination[i], inside ? source[i - 8] : 0xEE) << "count " << count << " byte " << i;
      }
    }
  }
}

TEST(YuvRgbKernels, AverageRowsFixedCases) {
  uint8_t out[2];
  const uint8_t one[2] = {1, 0}, two[2] = {2, 0};
  AverageRows8(out, one, two, 1);
  EXPECT_EQ(out[0], 2);
  uint16_t w;
  AverageRows555(reinterpret_cast<uint8_t*>(&w), one, two, 2);
  EXPECT_EQ(w, 1);
  const uint16_t white555 = 0x7FFF, white565 = 0xFFFF, black = 0;
  AverageRows555(reinterpret_cast<uint8_t*>(&w), reinterpret_cast<const uint8_t*>(&white555),
                 reinterpret_cast<const uint8_t*>(&black), 2);
  EXPECT_EQ(w, 0x3DEF);
  AverageRows565(reinterpret_cast<uint8_t*>(&w), reinterpret_cast<const uint8_t*>(&white565),
                 reinterpret_cast<const uint8_t*>(&black), 2);
  EXPECT_EQ(w, 0x7BEF);
  // An odd count ignores the last byte.
  uint8_t d[3] = {9, 9, 9};
  const uint8_t x[3] = {0xFF, 0x7F, 0xFF}, y[3] = {0, 0, 0xFF};
  AverageRows555Sse2(d, x, y, 3);
  EXPECT_EQ(d[2], 9);
}


TEST(YuvRgbKernels, Sse2KernelsReadNoFurtherThanThePlainOnes) {
  using test::GuardedBlock;
  const ColourState c = Colour(0, 0);
  GuardedBlock luma(16), cb(8), cr(8), window(9 * 2 + 64), source(100);
  std::memset(luma.Tail(16), 100, 16);
  std::memset(cb.Tail(8), 90, 8);
  std::memset(cr.Tail(8), 160, 8);
  uint8_t out[64];
  // Window entries 0-8 of the blue run end at the guard.
  int16_t* w = reinterpret_cast<int16_t*>(window.Tail((2 * kWindowRun + 9) * 2));
  std::memset(w, 0, (2 * kWindowRun + 9) * 2);
  for (auto pack : {Pack16Rgb555Sse2, Pack16Rgb565Sse2, Pack16Rgb24Sse2, Pack16Rgb32Sse2, Pack16Rgb32RevSse2}) {
    pack(c, out, luma.Tail(16), w);
  }
  alignas(16) int16_t r[16] = {}, g[16] = {}, b[16] = {};
  ComputeChromaTermsSse2(c, cb.Tail(8), cr.Tail(8), {r, g, b}, 0);
  // One chunk reads the 8 chroma samples after it and 16 luma samples.
  GuardedBlock cb16(16), cr16(16);
  std::memset(cb16.Tail(16), 90, 16);
  std::memset(cr16.Tail(16), 160, 16);
  uint8_t out2[64];
  for (int f = 0; f < kRgbFormatCount; ++f) {
    ConvertChunksSse2(c, {r, g, b}, RowBlend::Progressive, RgbFormat(f), out, out2, luma.Tail(16), luma.Tail(16),
                      cb16.Tail(16), cr16.Tail(16), 1, false);
  }
  for (int n = 0; n <= 40; ++n) {
    uint8_t d[48];
    CopyLineSse2(d, source.Tail(size_t(n)), n);
    for (auto average : {AverageRows8Sse2, AverageRows555Sse2, AverageRows565Sse2}) {
      average(d, source.Tail(size_t(n)), source.Tail(size_t(n)), n);
    }
  }
  SUCCEED();
}

}  // namespace
}  // namespace tlx::mpeg4
