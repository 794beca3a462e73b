// The RGB converter classes: the order of their walks through a recording
// kernel table, the pair converters against the reference model, the SIMD
// classes byte for byte against the plain one, and what a walk touches.
#include "filters/avc/yuv_rgb_converter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "filters/avc/picture_converter.h"
#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/core/yuv_rgb/rgb_reference_model.h"

namespace tlx::avc {
namespace {

namespace ref = mpeg4::reference;
using mpeg4::ConverterAllocator;
using mpeg4::RgbFormat;

// ------------------------------------------------------- recording kernels

// What the recording kernels saw, in order.
struct Event {
  enum Kind { Terms, Blend, FieldBlend, Pack, Copy } kind;
  const void* a;       // Terms: cb; blends: first window; Pack and Copy: destination
  const void* b;       // Pack: luma; Copy: source
  const void* window;  // Pack: its window
  int16_t red;         // Pack: red term of the window's first entry
};

std::vector<Event> gEvents;
// When set, the recording term kernel writes this red term to every sample.
const int16_t* gFixedRed = nullptr;

void RecordTerms(const mpeg4::ColourState& colour, const uint8_t* cb, const uint8_t* cr,
                 const mpeg4::TermLines& lines, int position) {
  gEvents.push_back({Event::Terms, cb, nullptr, nullptr, 0});
  mpeg4::ComputeChromaTerms(colour, cb, cr, lines, position);
  if (gFixedRed != nullptr)
    for (int i = 0; i < 8; ++i) lines.r[position + i] = *gFixedRed;
}
void RecordBlend(int16_t* a, int16_t* b) {
  gEvents.push_back({Event::Blend, a, nullptr, nullptr, 0});
  mpeg4::BlendChromaRows(a, b);
}
void RecordFieldBlend(int16_t* w, int16_t* x) {
  gEvents.push_back({Event::FieldBlend, w, nullptr, nullptr, 0});
  mpeg4::BlendFieldChromaRows(w, x);
}
void RecordPack(const mpeg4::ColourState&, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  gEvents.push_back({Event::Pack, destination, luma, window, window[0]});
}
void RecordCopy(uint8_t* destination, const uint8_t* source, int) {
  gEvents.push_back({Event::Copy, destination, source, nullptr, 0});
}

const mpeg4::YuvRgbKernels kRecordingKernels = {
    RecordTerms,
    RecordBlend,
    RecordFieldBlend,
    {RecordPack, RecordPack, RecordPack, RecordPack, RecordPack},
    {RecordPack, RecordPack, RecordPack, RecordPack, RecordPack},
    mpeg4::ConvertChunks,  // not reached: the recorded rows are one chunk wide
    RecordCopy,
    {mpeg4::AverageRows555, mpeg4::AverageRows565, mpeg4::AverageRows8, mpeg4::AverageRows8, mpeg4::AverageRows8},
};

class RecordingConverter : public CYuvRgbConverter {
 public:
  RecordingConverter() : CYuvRgbConverter(kRecordingKernels, mpeg4::HeapConverterAllocator()) {}
};

using Walk = void (CYuvRgbConverter::*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int, int,
                                        ptrdiff_t, ptrdiff_t);

// One row-converter call or line copy of a walk.
struct Call {
  char kind;               // 's' single, 'p' progressive pair, 't' / 'b' top- / bottom-field pair, 'c' copy
  int chroma;              // chroma row; for a copy the buffer row copied
  std::vector<int> lines;  // (buffer row, luma row) per line; for a copy the buffer row written
  bool operator==(const Call&) const = default;
};

void PrintTo(const Call& c, std::ostream* out) {
  *out << c.kind << " chroma " << c.chroma << " lines";
  for (int line : c.lines) *out << ' ' << line;
}

// The calls of one walk over a 16-pixel-wide picture (one chunk per line) of
// `height` rows, into a buffer written top-down (last row, negated stride)
// or bottom-up.
std::vector<Call> RecordWalk(Walk walk, int height, bool topDown) {
  constexpr int kWidth = 16, kLumaStride = 32, kRowBytes = 64;
  std::vector<uint8_t> y(size_t(kLumaStride * height)), u(size_t(kLumaStride / 2 * (height + 1) / 2 + 8)), v(u);
  std::vector<uint8_t> out(size_t(kRowBytes * height));
  RecordingConverter converter;
  gEvents.clear();
  uint8_t* start = topDown ? out.data() + kRowBytes * (height - 1) : out.data();
  (converter.*walk)(y.data(), u.data(), v.data(), start, kWidth, height, topDown ? -kRowBytes : kRowBytes,
                    kLumaStride);
  const auto row = [&](const void* p) { return int((static_cast<const uint8_t*>(p) - out.data()) / kRowBytes); };
  std::vector<Call> calls;
  const void* fieldW = nullptr;
  for (const Event& e : gEvents) {
    switch (e.kind) {
      case Event::Terms:
        calls.push_back({'s', int((static_cast<const uint8_t*>(e.a) - u.data()) / (kLumaStride / 2)), {}});
        break;
      case Event::Blend:
        calls.back().kind = 'p';
        break;
      case Event::FieldBlend:
        calls.back().kind = 'f';
        fieldW = e.a;
        break;
      case Event::Pack:
        // The bottom field gives the first line's window the 7/8 role, the
        // top field the second line's.
        if (calls.back().kind == 'f') calls.back().kind = e.window == fieldW ? 'b' : 't';
        calls.back().lines.push_back(row(e.a));
        calls.back().lines.push_back(int((static_cast<const uint8_t*>(e.b) - y.data()) / kLumaStride));
        break;
      case Event::Copy:
        calls.push_back({'c', row(e.b), {row(e.a)}});
        break;
    }
  }
  return calls;
}

TEST(YuvRgbConverter, WalkOrder) {
  struct Case {
    const char* name;
    Walk walk;
    int height;
    std::vector<Call> calls;
  };
  // Each field from its first line to line 4q - 2 + field.
  const std::vector<Call> fields12 = {{'s', 0, {0, 0}},       {'t', 2, {2, 2, 4, 4}}, {'t', 4, {6, 6, 8, 8}},
                                      {'s', 4, {10, 10}},     {'s', 1, {1, 1}},       {'b', 3, {3, 3, 5, 5}},
                                      {'b', 5, {7, 7, 9, 9}}, {'s', 5, {11, 11}}};
  std::vector<Call> fields14 = fields12;
  fields14.push_back({'c', 10, {12}});
  fields14.push_back({'c', 11, {13}});
  const Case cases[] = {
      {"progressive, 4 lines", &CYuvRgbConverter::ToRgb32, 4,
       {{'s', 0, {0, 0}}, {'p', 1, {1, 1, 2, 2}}, {'s', 1, {3, 3}}}},
      // An odd height ends with a pair that reads the chroma row below.
      {"progressive, 5 lines", &CYuvRgbConverter::ToRgb24, 5,
       {{'s', 0, {0, 0}}, {'p', 1, {1, 1, 2, 2}}, {'p', 2, {3, 3, 4, 4}}}},
      {"progressive, 1 line", &CYuvRgbConverter::ToRgb565, 1, {{'s', 0, {0, 0}}}},
      {"fields, 12 lines", &CYuvRgbConverter::ToRgb555Fields, 12, fields12},
      // Lines from 4q on copy the line two above, in the same field.
      {"fields, 14 lines", &CYuvRgbConverter::ToRgb32Fields, 14, fields14},
      // Too short for fields: the progressive walk.
      {"fields, 7 lines", &CYuvRgbConverter::ToRgb565Fields, 7,
       {{'s', 0, {0, 0}}, {'p', 1, {1, 1, 2, 2}}, {'p', 2, {3, 3, 4, 4}}, {'p', 3, {5, 5, 6, 6}}}},
      // Output line d shows source line d + 1; line 0 of the top field only
      // fills the cache and is overwritten by the bottom field's first line.
      {"shifted, 8 lines", &CYuvRgbConverter::ToRgb32FieldsShifted, 8,
       {{'s', 0, {0, 0}},
        {'t', 2, {1, 2, 3, 4}},
        {'s', 2, {5, 6}},
        {'c', 5, {7}},
        {'s', 1, {0, 1}},
        {'b', 3, {2, 3, 4, 5}},
        {'s', 3, {6, 7}}}},
  };
  for (const Case& c : cases) EXPECT_EQ(RecordWalk(c.walk, c.height, true), c.calls) << c.name;
  // A positive stride puts source line 0 in the last row.
  const std::vector<Call> bottomUp = {{'s', 0, {3, 0}}, {'p', 1, {2, 1, 1, 2}}, {'s', 1, {0, 3}}};
  EXPECT_EQ(RecordWalk(&CYuvRgbConverter::ToRgb32, 4, false), bottomUp);
}

// The examples of the pair kinds: cached terms 80, new terms 0.
TEST(YuvRgbConverter, PairBlendExamples) {
  const struct {
    mpeg4::RowBlend blend;
    int16_t first, second;
  } cases[] = {{mpeg4::RowBlend::Progressive, 60, 20},
               {mpeg4::RowBlend::TopField, 50, 10},
               {mpeg4::RowBlend::BottomField, 70, 30}};
  std::vector<uint8_t> planes(64, 128), out(2 * 64);
  for (const auto& c : cases) {
    mpeg4::ConverterState state;
    ASSERT_EQ(mpeg4::ReserveLines(state, mpeg4::HeapConverterAllocator(), 16), 16);
    const int16_t cached = 80, fresh = 0;
    gFixedRed = &cached;
    mpeg4::ConvertRows(state, kRecordingKernels, mpeg4::RowBlend::None, RgbFormat::Rgb32, out.data(), nullptr,
                       planes.data(), nullptr, planes.data(), planes.data(), 16);
    gFixedRed = &fresh;
    gEvents.clear();
    mpeg4::ConvertRows(state, kRecordingKernels, c.blend, RgbFormat::Rgb32, out.data(), out.data() + 64,
                       planes.data(), planes.data(), planes.data(), planes.data(), 16);
    gFixedRed = nullptr;
    std::vector<int16_t> packed;
    for (const Event& e : gEvents)
      if (e.kind == Event::Pack) packed.push_back(e.red);
    EXPECT_EQ(packed, (std::vector<int16_t>{c.first, c.second})) << int(c.blend);
    mpeg4::ReleaseLines(state, mpeg4::HeapConverterAllocator());
  }
}

constexpr RgbFormat kAvcFormats[] = {RgbFormat::Rgb555, RgbFormat::Rgb565, RgbFormat::Rgb24, RgbFormat::Rgb32};

// The pair converters of every kind against the model, after a single row
// filled the cache: chunk counts around the 8-sample chunk, odd widths, both
// kernel sets.
TEST(YuvRgbConverter, PairConvertersMatchTheModel) {
  std::mt19937 random(21);
  std::vector<int> counts = {1, 8, 12, 13, 16};
  for (int i = 0; i < 6; ++i) counts.push_back(1 + int(random() % 200));
  const struct {
    mpeg4::RowBlend blend;
    ref::RowChroma first, second;  // chroma rows 0 (cached) and 1 (new)
  } kinds[] = {
      {mpeg4::RowBlend::Progressive, {0, 1, ref::Blend::ProgressiveFirst}, {0, 1, ref::Blend::ProgressiveSecond}},
      {mpeg4::RowBlend::TopField, {1, 0, ref::Blend::FieldX}, {1, 0, ref::Blend::FieldW}},
      {mpeg4::RowBlend::BottomField, {0, 1, ref::Blend::FieldW}, {0, 1, ref::Blend::FieldX}},
  };
  for (const mpeg4::YuvRgbKernels* kernels : {&mpeg4::kPlainYuvRgbKernels, &mpeg4::kSse2YuvRgbKernels}) {
    for (int count : counts) {
      for (int width : {2 * count, 2 * count - 1}) {
        // Two luma rows and two chroma rows, the chroma stride half the luma.
        const int lumaStride = 2 * ((count + 7) / 8 * 8);
        std::vector<uint8_t> y(static_cast<size_t>(2 * lumaStride)), u(static_cast<size_t>(lumaStride)), v(u);
        for (auto* plane : {&y, &u, &v})
          for (auto& b : *plane) b = uint8_t(random() % 4 == 0 ? (random() % 2) * 255 : random());
        const ref::Picture picture = {width, 2, y.data(), u.data(), v.data(), lumaStride};
        for (const auto& kind : kinds) {
          for (RgbFormat format : kAvcFormats) {
            const int fullRange = int(random() % 2);
            const int lift = fullRange != 0 ? 16 : 0;
            mpeg4::ConverterState state;
            mpeg4::SetRange(state.colour, fullRange, lift);
            ASSERT_EQ(mpeg4::ReserveLines(state, mpeg4::HeapConverterAllocator(), width), width);
            const int rowBytes = width * mpeg4::kRgbPixelBytes[int(format)];
            std::vector<uint8_t> out(size_t(2 * rowBytes));
            mpeg4::ConvertRows(state, *kernels, mpeg4::RowBlend::None, format, out.data(), nullptr, y.data(),
                               nullptr, u.data(), v.data(), width);
            mpeg4::ConvertRows(state, *kernels, kind.blend, format, out.data(), out.data() + rowBytes, y.data(),
                               y.data() + lumaStride, u.data() + lumaStride / 2, v.data() + lumaStride / 2, width);
            mpeg4::ReleaseLines(state, mpeg4::HeapConverterAllocator());
            const ref::Colour colour = ref::MakeColour(fullRange, lift);
            const auto first = ref::ConvertRow(colour, ref::Format(int(format)), picture, 0, kind.first);
            const auto second = ref::ConvertRow(colour, ref::Format(int(format)), picture, 1, kind.second);
            ASSERT_TRUE(std::equal(first.begin(), first.end(), out.begin()) &&
                        std::equal(second.begin(), second.end(), out.begin() + rowBytes))
                << "kernels " << (kernels == &mpeg4::kPlainYuvRgbKernels ? "plain" : "sse2") << " width " << width
                << " blend " << int(kind.blend) << " format " << int(format);
          }
        }
      }
    }
  }
}

// ------------------------------------------------------ planes and buffers

// A picture's planes of exact size: luma rows of the width, chroma rows of
// half the width plus 8 samples, the luma stride twice the chroma stride.
struct ExactPlanes {
  int width, height, lumaStride;
  std::vector<uint8_t> y, u, v;
  ExactPlanes(int w, int h, std::mt19937& random) : width(w), height(h) {
    const int chromaStride = (w + 1) / 2 + 8;
    lumaStride = 2 * chromaStride;
    y.resize(size_t(lumaStride * (h - 1) + w));
    u.resize(size_t(chromaStride * ((h + 1) / 2)));
    v.resize(u.size());
    // Random samples with many extremes.
    for (auto* plane : {&y, &u, &v})
      for (auto& b : *plane) b = uint8_t(random() % 4 == 0 ? (random() % 2) * 255 : random());
  }
  ref::Picture Model() const { return {width, height, y.data(), u.data(), v.data(), lumaStride}; }
};

struct WalkKind {
  const char* name;
  RgbFormat format;
  Walk walk;
  ref::Mode mode;
};

const WalkKind kWalks[] = {
    {"ToRgb555", RgbFormat::Rgb555, &CYuvRgbConverter::ToRgb555, ref::Mode::Progressive},
    {"ToRgb555Fields", RgbFormat::Rgb555, &CYuvRgbConverter::ToRgb555Fields, ref::Mode::Fields},
    {"ToRgb565", RgbFormat::Rgb565, &CYuvRgbConverter::ToRgb565, ref::Mode::Progressive},
    {"ToRgb565Fields", RgbFormat::Rgb565, &CYuvRgbConverter::ToRgb565Fields, ref::Mode::Fields},
    {"ToRgb24", RgbFormat::Rgb24, &CYuvRgbConverter::ToRgb24, ref::Mode::Progressive},
    {"ToRgb24Fields", RgbFormat::Rgb24, &CYuvRgbConverter::ToRgb24Fields, ref::Mode::Fields},
    {"ToRgb32", RgbFormat::Rgb32, &CYuvRgbConverter::ToRgb32, ref::Mode::Progressive},
    {"ToRgb32Fields", RgbFormat::Rgb32, &CYuvRgbConverter::ToRgb32Fields, ref::Mode::Fields},
    {"ToRgb32FieldsShifted", RgbFormat::Rgb32, &CYuvRgbConverter::ToRgb32FieldsShifted, ref::Mode::ShiftUp},
};

// Runs a walk into a buffer of exactly the area (rows of exactly the width)
// filled with `poison`, top-down or bottom-up.
std::vector<uint8_t> RunWalk(CYuvRgbConverter& converter, const WalkKind& kind, const ExactPlanes& p, bool topDown,
                             uint8_t poison) {
  const int rowBytes = p.width * mpeg4::kRgbPixelBytes[int(kind.format)];
  std::vector<uint8_t> out(size_t(rowBytes) * size_t(p.height), poison);
  uint8_t* start = topDown ? out.data() + size_t(rowBytes) * size_t(p.height - 1) : out.data();
  (converter.*kind.walk)(p.y.data(), p.u.data(), p.v.data(), start, p.width, p.height, topDown ? -rowBytes : rowBytes,
                         p.lumaStride);
  return out;
}

// The model's rows in buffer order.
std::vector<uint8_t> ModelBuffer(const WalkKind& kind, const ExactPlanes& p, bool topDown, int fullRange, int lift) {
  const auto rows = ref::ConvertPicture(ref::MakeColour(fullRange, lift), ref::Format(int(kind.format)), kind.mode,
                                        p.Model());
  std::vector<uint8_t> out;
  for (int r = 0; r < p.height; ++r) {
    const auto& row = rows[size_t(topDown ? r : p.height - 1 - r)];
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// The sanitizers slow the big pictures twentyfold; under them the sizes
// above 720x480 are left to the plain build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kMostPixels = 720 * 480;
#else
constexpr int kMostPixels = 1920 * 1088;
#endif

// Every format and walk at the awkward and the real sizes: the SIMD classes
// give the plain class's bytes.
TEST(YuvRgbConverter, SimdClassesEqualThePlainClass) {
  std::mt19937 random(7);
  CYuvRgbConverterC plain;
  CYuvRgbConverterMmx mmx;
  CYuvRgbConverterSse sse;
  CYuvRgbConverter* const classes[] = {&plain, &mmx, &sse};
  int round = 0;
  for (int width : {1, 2, 16, 26, 176, 718, 720, 1920}) {
    for (int height : {1, 3, 4, 5, 8, 12, 14, 480, 1088}) {
      if (width * height > kMostPixels) continue;
      const ExactPlanes planes(width, height, random);
      for (const WalkKind& kind : kWalks) {
        const bool topDown = ++round % 2 == 0;
        const int fullRange = round % 3 == 0;
        for (CYuvRgbConverter* converter : classes) converter->SetRange(fullRange, fullRange != 0 ? 16 : 0);
        const auto expected = RunWalk(plain, kind, planes, topDown, 0xA5);
        ASSERT_EQ(RunWalk(mmx, kind, planes, topDown, 0xA5), expected) << kind.name << ' ' << width << 'x' << height;
        ASSERT_EQ(RunWalk(sse, kind, planes, topDown, 0xA5), expected) << kind.name << ' ' << width << 'x' << height;
      }
    }
  }
}

// Each walk writes every byte of the area with the model's bytes, whatever
// the buffer held, and reads only the planes (exact sizes, checked by the
// address sanitizer); this holds for heights the field walks cannot split.
TEST(YuvRgbConverter, WalksWriteTheWholeAreaAndOnlyIt) {
  std::mt19937 random(8);
  const struct {
    int width, height;
  } sizes[] = {{1, 1}, {3, 5}, {26, 14}, {17, 9}, {718, 12}, {16, 7}, {40, 2}};
  CYuvRgbConverterC plain;
  CYuvRgbConverterSse sse;
  CYuvRgbConverter* const classes[] = {&plain, &sse};
  for (const auto& size : sizes) {
    const ExactPlanes planes(size.width, size.height, random);
    for (const WalkKind& kind : kWalks) {
      for (const bool topDown : {false, true}) {
        for (CYuvRgbConverter* converter : classes) {
          converter->SetRange(0, 0);
          const auto expected = ModelBuffer(kind, planes, topDown, 0, 0);
          EXPECT_EQ(RunWalk(*converter, kind, planes, topDown, 0x00), expected)
              << kind.name << ' ' << size.width << 'x' << size.height << (topDown ? " top-down" : " bottom-up");
          EXPECT_EQ(RunWalk(*converter, kind, planes, topDown, 0xFF), expected)
              << kind.name << ' ' << size.width << 'x' << size.height << (topDown ? " top-down" : " bottom-up");
        }
      }
    }
  }
}

// An allocator that refuses while gRefuse is set.
bool gRefuse = false;
void* MaybeAllocate(size_t size) { return gRefuse ? nullptr : std::malloc(size); }
void Release(void* block) { std::free(block); }

TEST(YuvRgbConverter, ScratchGrowsOnlyForAWiderPictureAndRetriesAfterAFailure) {
  std::mt19937 random(9);
  const ExactPlanes wide(48, 4, random);
  const ExactPlanes narrow(16, 4, random);
  const WalkKind& walk = kWalks[6];  // ToRgb32
  CYuvRgbConverterSse converter({MaybeAllocate, Release});
  EXPECT_EQ(converter.state().capacity, 0);
  EXPECT_EQ(converter.state().block, nullptr);
  RunWalk(converter, walk, narrow, false, 0);
  EXPECT_EQ(converter.state().capacity, 16);
  const void* block = converter.state().block;
  RunWalk(converter, walk, narrow, false, 0);
  EXPECT_EQ(converter.state().block, block);
  // A failed allocation writes nothing and leaves no block; the next walk
  // allocates again.
  gRefuse = true;
  const auto refused = RunWalk(converter, walk, wide, false, 0x5C);
  gRefuse = false;
  EXPECT_EQ(refused, std::vector<uint8_t>(refused.size(), 0x5C));
  EXPECT_EQ(converter.state().capacity, 0);
  EXPECT_EQ(converter.state().block, nullptr);
  converter.SetRange(0, 0);
  EXPECT_EQ(RunWalk(converter, walk, wide, false, 0x5C), ModelBuffer(walk, wide, false, 0, 0));
  EXPECT_EQ(converter.state().capacity, 48);
  // The layout of the shared line buffer: E = floor16(width / 2 + 23).
  EXPECT_EQ(converter.ReserveLines(720), 720);
  EXPECT_EQ(converter.state().blockSize, size_t(12 * 368 + 256));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(converter.state().blockA) % 32, 0u);
  EXPECT_EQ(converter.state().terms.g - converter.state().terms.r, 368);
}

// SetRange reaches the vector kernels' copies too: full range with lift 16
// passes luma through at neutral chroma, studio range with lift 0 stretches
// it, in every class.
TEST(YuvRgbConverter, SetRangeReachesEveryClass) {
  std::mt19937 random(10);
  ExactPlanes planes(40, 4, random);
  std::fill(planes.u.begin(), planes.u.end(), 128);
  std::fill(planes.v.begin(), planes.v.end(), 128);
  planes.y[0] = 16;
  planes.y[1] = 235;
  CYuvRgbConverterC plain;
  CYuvRgbConverterMmx mmx;
  CYuvRgbConverterSse sse;
  CYuvRgbConverter* const classes[] = {&plain, &mmx, &sse};
  const WalkKind& walk = kWalks[6];  // ToRgb32
  for (CYuvRgbConverter* converter : classes) {
    converter->SetRange(1, 16);
    const auto full = RunWalk(*converter, walk, planes, true, 0);
    for (int r = 0; r < 4; ++r) {
      for (int x = 0; x < 40; ++x) {
        const uint8_t luma = planes.y[size_t(r * planes.lumaStride + x)];
        const uint8_t* pixel = full.data() + (r * 40 + x) * 4;
        ASSERT_EQ(pixel[0], luma);
        ASSERT_EQ(pixel[1], luma);
        ASSERT_EQ(pixel[2], luma);
        ASSERT_EQ(pixel[3], 0);
      }
    }
    converter->SetRange(0, 0);
    const auto studio = RunWalk(*converter, walk, planes, true, 0);
    EXPECT_EQ(studio[0], 0);    // luma 16 is black
    EXPECT_EQ(studio[4], 255);  // luma 235 is white
  }
}

// The feature word, masked by TLX_CPU_FEATURES, picks the class: each mask
// in a process of its own, since the mask is read once per process.
TEST(YuvRgbConverter, TheMaskPicksTheClass) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Unmasked: the child processes run this body again under their mask.
  const uint32_t native = mpeg4::ProbeCpuFeatures();
  const struct {
    const char* mask;
    int expected;  // 1 plain, 2 MMX, 3 SSE
  } cases[] = {{"0", 1}, {"0x20", 2}, {"0x2000", 3}};
  for (const auto& c : cases) {
    const uint32_t mask = uint32_t(std::strtoul(c.mask, nullptr, 0));
    if ((native & mask) != mask) continue;  // a feature this processor lacks
    setenv("TLX_CPU_FEATURES", c.mask, 1);
    EXPECT_EXIT(
        {
          CPictureConverter converter;
          converter.Select();
          const CYuvRgbConverter* rgb = converter.rgbConverter();
          std::exit(dynamic_cast<const CYuvRgbConverterSse*>(rgb) != nullptr   ? 3
                    : dynamic_cast<const CYuvRgbConverterMmx*>(rgb) != nullptr ? 2
                    : dynamic_cast<const CYuvRgbConverterC*>(rgb) != nullptr   ? 1
                                                                                : 0);
        },
        testing::ExitedWithCode(c.expected), "")
        << "mask " << c.mask;
  }
  unsetenv("TLX_CPU_FEATURES");
}

}  // namespace
}  // namespace tlx::avc
