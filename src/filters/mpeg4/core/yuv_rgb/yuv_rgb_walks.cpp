#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_walks.h"

#include <cstdlib>
#include <cstring>

namespace tlx::mpeg4 {
namespace {

void* HeapAllocate(size_t size) { return std::malloc(size); }
void HeapRelease(void* block) { std::free(block); }

// Byte offsets inside the line buffer, from blockA.
constexpr size_t kBlockBytes = kWindowEntries * sizeof(int16_t);  // 96

// Repeats entry k - 1 of each run into entry k.
void ReplicateEdge(int16_t* window, int k) {
  for (int run = 0; run < 3; ++run) window[run * kWindowRun + k] = window[run * kWindowRun + k - 1];
}

// Packs the last (partial) chunk of a row from one window.
void PackTail(const ColourState& colour, const YuvRgbKernels& kernels, RgbFormat format, uint8_t* destination,
              const uint8_t* luma, const int16_t* window, int pairs, int pixels) {
  const int bytes = kRgbPixelBytes[int(format)];
  if (pixels == 16) {
    kernels.pack16[int(format)](colour, destination, luma, window);
    return;
  }
  for (int j = 0; j < pairs; ++j) {
    if (2 * j + 1 < pixels) {
      kernels.packPair[int(format)](colour, destination + 2 * j * bytes, luma + 2 * j, window + j);
    } else {
      // An odd last column: the co-sited pixel of the last chroma sample,
      // packed aside so that nothing past the area is read or written.
      const uint8_t lone[2] = {luma[2 * j], luma[2 * j]};
      uint8_t pair[8];
      kernels.packPair[int(format)](colour, pair, lone, window + j);
      std::memcpy(destination + 2 * j * bytes, pair, size_t(bytes));
    }
  }
}

// Where picture rows land and where they are read from.
struct Walk {
  ConverterState& state;
  const YuvRgbKernels& kernels;
  RgbFormat format;
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  uint8_t* destination;
  int width;
  int height;  // the whole area's height: placement is against it
  ptrdiff_t stride;
  ptrdiff_t lumaStride;

  uint8_t* Row(int position) const { return destination + (height - 1 - position) * stride; }
  const uint8_t* Luma(int row) const { return y + row * lumaStride; }
  const uint8_t* Cb(int row) const { return u + row * (lumaStride / 2); }
  const uint8_t* Cr(int row) const { return v + row * (lumaStride / 2); }
  int RowBytes() const { return width * kRgbPixelBytes[int(format)]; }

  // Luma row `row` alone with chroma row `chroma`, to destination row `at`.
  void Single(int at, int row, int chroma) const {
    ConvertRows(state, kernels, RowBlend::None, format, Row(at), nullptr, Luma(row), nullptr, Cb(chroma), Cr(chroma),
                width);
  }
  // Luma rows `first` and `second` to destination rows `at1` and `at2`,
  // blending the cached chroma row with `chroma`.
  void Pair(RowBlend blend, int at1, int at2, int first, int second, int chroma) const {
    ConvertRows(state, kernels, blend, format, Row(at1), Row(at2), Luma(first), Luma(second), Cb(chroma),
                Cr(chroma), width);
  }
  void Average(int row, int above, int below) const {
    kernels.averageRows[int(format)](Row(row), Row(above), Row(below), RowBytes());
  }
  void Copy(int row, int source) const { kernels.copyLine(Row(row), Row(source), RowBytes()); }
};

void WalkProgressive(const Walk& w) {
  const int height = w.height;
  w.Single(0, 0, 0);
  int k = 1;
  for (; 2 * k < height; ++k) w.Pair(RowBlend::Progressive, 2 * k - 1, 2 * k, 2 * k - 1, 2 * k, k);
  if (height % 2 == 0 && height >= 2) w.Single(height - 1, height - 1, height / 2 - 1);
}

// One field of the first height4 rows, each luma row r landing on
// destination row r + shift (row 0 for -1); the field's last row only when
// `lastRow`.
void WalkField(const Walk& w, int field, int height4, int shift, bool lastRow) {
  const auto at = [&](int row) { return row + shift < 0 ? 0 : row + shift; };
  const RowBlend blend = field == 0 ? RowBlend::TopField : RowBlend::BottomField;
  w.Single(at(field), field, field);
  for (int j = 0; j <= height4 / 4 - 2; ++j) {
    const int first = 4 * j + 2 + field;
    w.Pair(blend, at(first), at(first + 2), first, first + 2, 2 * j + 2 + field);
  }
  if (lastRow) {
    // The field's last chroma row: chroma rows alternate between the fields.
    const int row = height4 - 2 + field;
    w.Single(at(row), row, height4 / 2 - 2 + field);
  }
}

}  // namespace

ConverterAllocator HeapConverterAllocator() { return {HeapAllocate, HeapRelease}; }

int ReserveLines(ConverterState& state, const ConverterAllocator& allocator, int width) {
  ReleaseLines(state, allocator);
  const size_t entries = size_t((width >> 1) + 23) & ~size_t(15);
  const size_t size = 12 * entries + 256;
  state.block = allocator.allocate(size);
  if (state.block == nullptr) return 0;
  state.capacity = width;
  state.blockSize = size;
  std::memset(state.block, 0, size);
  const uintptr_t start = reinterpret_cast<uintptr_t>(state.block);
  uint8_t* base = static_cast<uint8_t*>(state.block) + ((32 - (start & 31)) & 31);
  state.blockA = reinterpret_cast<int16_t*>(base);
  state.blockB = reinterpret_cast<int16_t*>(base + kBlockBytes);
  state.terms.r = reinterpret_cast<int16_t*>(base + 2 * kBlockBytes);
  state.terms.g = state.terms.r + entries;
  state.terms.b = state.terms.g + entries;
  return width;
}

void ReleaseLines(ConverterState& state, const ConverterAllocator& allocator) {
  if (state.block != nullptr) allocator.release(state.block);
  state.block = nullptr;
  state.blockSize = 0;
  state.capacity = 0;
  state.blockA = state.blockB = nullptr;
  state.terms = {nullptr, nullptr, nullptr};
}

void ConvertRows(ConverterState& state, const YuvRgbKernels& kernels, RowBlend blend, RgbFormat format,
                 uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                 const uint8_t* cb, const uint8_t* cr, int width) {
  const ColourState& colour = state.colour;
  const TermLines& terms = state.terms;
  const bool pair = blend != RowBlend::None;
  const int n = (width + 1) / 2;
  const int groups = (n - 1) / 8;
  if (groups > 0 && width - 16 * groups == 16) {
    // A full last chunk ends inside the chunk loop.
    kernels.convertChunks(colour, terms, blend, format, destination1, destination2, luma1, luma2, cb, cr, groups + 1,
                          true);
    return;
  }
  if (groups > 0) {
    kernels.convertChunks(colour, terms, blend, format, destination1, destination2, luma1, luma2, cb, cr, groups,
                          false);
  }
  // The last chunk: its terms through the windows, the edge term repeated.
  const int last = 8 * groups;
  const int x = 2 * last;
  const int offset = x * kRgbPixelBytes[int(format)];
  int16_t* a = state.blockA;
  int16_t* b = state.blockB;
  if (pair) GatherTerms(a, terms, last, 0);
  kernels.computeChromaTerms(colour, cb + last, cr + last, terms, last);
  GatherTerms(pair ? b : a, terms, last, 0);
  BlendWindows(kernels, blend, a, b);
  const int k = n - last;
  ReplicateEdge(a, k);
  PackTail(colour, kernels, format, destination1 + offset, luma1 + x, a, k, width - x);
  if (pair) {
    ReplicateEdge(b, k);
    PackTail(colour, kernels, format, destination2 + offset, luma2 + x, b, k, width - x);
  }
}

void ConvertPicture(ConverterState& state, const YuvRgbKernels& kernels, RgbFormat format, ConversionMode mode,
                    const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                    int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  const Walk w = {state, kernels, format, y, u, v, destination, width, height, stride, lumaStride};
  if (mode == ConversionMode::Progressive || height < 8) {
    WalkProgressive(w);
    return;
  }
  const int height4 = height & ~3;
  switch (mode) {
    case ConversionMode::Progressive:
      break;
    case ConversionMode::Fields:
      WalkField(w, 0, height4, 0, true);
      WalkField(w, 1, height4, 0, true);
      break;
    case ConversionMode::OneField:
      // The top field, each row between two of its rows their average.
      WalkField(w, 0, height4, 0, true);
      for (int row = 1; row < height4 - 1; row += 2) w.Average(row, row - 1, row + 1);
      w.Copy(height4 - 1, height4 - 2);
      break;
    case ConversionMode::ShiftUp:
      // Luma row 0 lands on row 0 and is replaced by the bottom field's
      // first row; the last row repeats the one two above.
      WalkField(w, 0, height4, -1, true);
      w.Copy(height4 - 1, height4 - 3);
      WalkField(w, 1, height4, -1, true);
      break;
    case ConversionMode::ShiftDown:
      // The last luma row is not shown; the first row repeats the one two
      // below.
      WalkField(w, 0, height4, 1, true);
      WalkField(w, 1, height4, 1, false);
      w.Copy(0, 2);
      break;
  }
  for (int row = height4; row < height; ++row) w.Copy(row, row - 2);
}

}  // namespace tlx::mpeg4
