#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

#include <cstdlib>
#include <cstring>

namespace tlx::mpeg4 {
namespace {

void* HeapAllocate(size_t size) { return std::malloc(size); }
void HeapRelease(void* block) { std::free(block); }

// Byte offsets inside the line buffer, from blockA.
constexpr size_t kBlockBytes = kWindowEntries * sizeof(int16_t);  // 96

}  // namespace

ConverterAllocator HeapConverterAllocator() { return {HeapAllocate, HeapRelease}; }

struct OutputConverter::Walk {
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
};

OutputConverter::OutputConverter(const YuvRgbKernels& kernels, ConverterAllocator allocator)
    : kernels_(kernels), allocator_(allocator) {
  SetRange(colour_, 0, 16);
}

OutputConverter::~OutputConverter() { ReleaseBuffers(); }

void OutputConverter::ConverterSetup(int coefficientSet, int level) { SetRange(colour_, coefficientSet, level); }

uint32_t OutputConverter::AllocateLineBuffers(int width) {
  ReleaseBuffers();
  lineCapacity_ = width;
  const size_t entries = size_t((width >> 1) + 23) & ~size_t(15);
  const size_t size = 12 * entries + 256;
  lineBuffer_ = allocator_.allocate(size);
  if (lineBuffer_ == nullptr) {
    lineCapacity_ = 0;
    status |= kConverterOutOfMemory;
    return 0;
  }
  lineBufferSize_ = size;
  std::memset(lineBuffer_, 0, size);
  const uintptr_t start = reinterpret_cast<uintptr_t>(lineBuffer_);
  uint8_t* base = static_cast<uint8_t*>(lineBuffer_) + ((32 - (start & 31)) & 31);
  blockA_ = reinterpret_cast<int16_t*>(base);
  blockB_ = reinterpret_cast<int16_t*>(base + kBlockBytes);
  terms_.r = reinterpret_cast<int16_t*>(base + 2 * kBlockBytes);
  terms_.g = terms_.r + entries;
  terms_.b = terms_.g + entries;
  return 0;
}

void OutputConverter::ReleaseBuffers() {
  if (lineBuffer_ != nullptr) allocator_.release(lineBuffer_);
  lineBuffer_ = nullptr;
  lineBufferSize_ = 0;
  lineCapacity_ = 0;
  blockA_ = blockB_ = nullptr;
  terms_ = {nullptr, nullptr, nullptr};
}

namespace {

// Copies term-line entries [position, position + 8) of the three lines into
// entries [offset, offset + 8) of the window's runs.
void Gather(int16_t* window, const TermLines& lines, int position, int offset) {
  std::memcpy(window + offset, lines.r + position, 8 * sizeof(int16_t));
  std::memcpy(window + kWindowRun + offset, lines.g + position, 8 * sizeof(int16_t));
  std::memcpy(window + 2 * kWindowRun + offset, lines.b + position, 8 * sizeof(int16_t));
}

// Moves entries 8-15 of each run to 0-7.
void Advance(int16_t* window) {
  for (int run = 0; run < 3; ++run) std::memcpy(window + run * kWindowRun, window + run * kWindowRun + 8, 16);
}

// Repeats entry k - 1 of each run into entry k.
void ReplicateEdge(int16_t* window, int k) {
  for (int run = 0; run < 3; ++run) window[run * kWindowRun + k] = window[run * kWindowRun + k - 1];
}

}  // namespace

void OutputConverter::PackTail(RgbFormat format, uint8_t* destination, const uint8_t* luma, const int16_t* window,
                               int pairs, int pixels) {
  const int bytes = kRgbPixelBytes[int(format)];
  if (pixels == 16) {
    kernels_.pack16[int(format)](colour_, destination, luma, window);
    return;
  }
  for (int j = 0; j < pairs; ++j) {
    if (2 * j + 1 < pixels) {
      kernels_.packPair[int(format)](colour_, destination + 2 * j * bytes, luma + 2 * j, window + j);
    } else {
      // An odd last column: the co-sited pixel of the last chroma sample,
      // packed aside so that nothing past the area is read or written.
      const uint8_t lone[2] = {luma[2 * j], luma[2 * j]};
      uint8_t pair[8];
      kernels_.packPair[int(format)](colour_, pair, lone, window + j);
      std::memcpy(destination + 2 * j * bytes, pair, size_t(bytes));
    }
  }
}

void OutputConverter::ConvertRows(Blend blend, RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                  const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb, const uint8_t* cr,
                                  int width) {
  const bool pair = blend != Blend::None;
  const int n = (width + 1) / 2;
  const int chunkBytes = 16 * kRgbPixelBytes[int(format)];
  int16_t* a = blockA_;
  int16_t* b = blockB_;
  const auto blendAt = [&](int offset) {
    switch (blend) {
      case Blend::None:
        break;
      case Blend::Progressive:
        kernels_.blendChromaRows(a + offset, b + offset);
        break;
      case Blend::TopField:
        kernels_.blendFieldChromaRows(b + offset, a + offset);
        break;
      case Blend::BottomField:
        kernels_.blendFieldChromaRows(a + offset, b + offset);
        break;
    }
  };
  if (pair) Gather(a, terms_, 0, 0);
  kernels_.computeChromaTerms(colour_, cb, cr, terms_, 0);
  Gather(pair ? b : a, terms_, 0, 0);
  blendAt(0);
  int g = 8;
  for (; g < n; g += 8) {
    if (pair) Gather(a, terms_, g, 8);
    kernels_.computeChromaTerms(colour_, cb + g, cr + g, terms_, g);
    Gather(pair ? b : a, terms_, g, 8);
    blendAt(8);
    const int x = 2 * (g - 8);
    kernels_.pack16[int(format)](colour_, destination1, luma1 + x, a);
    destination1 += chunkBytes;
    if (pair) {
      kernels_.pack16[int(format)](colour_, destination2, luma2 + x, b);
      destination2 += chunkBytes;
      Advance(b);
    }
    Advance(a);
  }
  const int k = n - g + 8;
  const int x = 2 * (g - 8);
  ReplicateEdge(a, k);
  PackTail(format, destination1, luma1 + x, a, k, width - x);
  if (pair) {
    ReplicateEdge(b, k);
    PackTail(format, destination2, luma2 + x, b, k, width - x);
  }
}

void OutputConverter::ConvertRow(RgbFormat format, uint8_t* destination, const uint8_t* luma, const uint8_t* cb,
                                 const uint8_t* cr, int width) {
  ConvertRows(Blend::None, format, destination, nullptr, luma, nullptr, cb, cr, width);
}

void OutputConverter::ConvertRowPair(RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                     const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                                     const uint8_t* cr, int width) {
  ConvertRows(Blend::Progressive, format, destination1, destination2, luma1, luma2, cb, cr, width);
}

void OutputConverter::ConvertRowPairTopField(RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                             const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                                             const uint8_t* cr, int width) {
  ConvertRows(Blend::TopField, format, destination1, destination2, luma1, luma2, cb, cr, width);
}

void OutputConverter::ConvertRowPairBottomField(RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                                const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                                                const uint8_t* cr, int width) {
  ConvertRows(Blend::BottomField, format, destination1, destination2, luma1, luma2, cb, cr, width);
}

uint32_t OutputConverter::Prepare(int width) {
  if (status == 0 && width > lineCapacity_) AllocateLineBuffers(width);
  return status;
}

void OutputConverter::WalkProgressive(const Walk& w, int height) {
  ConvertRow(w.format, w.Row(0), w.Luma(0), w.Cb(0), w.Cr(0), w.width);
  int k = 1;
  for (; 2 * k < height; ++k) {
    ConvertRowPair(w.format, w.Row(2 * k - 1), w.Row(2 * k), w.Luma(2 * k - 1), w.Luma(2 * k), w.Cb(k), w.Cr(k),
                   w.width);
  }
  if (height % 2 == 0 && height >= 2) {
    ConvertRow(w.format, w.Row(height - 1), w.Luma(height - 1), w.Cb(height / 2 - 1), w.Cr(height / 2 - 1),
               w.width);
  }
}

void OutputConverter::WalkField(const Walk& w, int field, int height4, int shift, bool lastRow) {
  const auto at = [&](int row) { return w.Row(row + shift < 0 ? 0 : row + shift); };
  ConvertRow(w.format, at(field), w.Luma(field), w.Cb(field), w.Cr(field), w.width);
  for (int j = 0; j <= height4 / 4 - 2; ++j) {
    const int first = 4 * j + 2 + field;
    const int chroma = 2 * j + 2 + field;
    if (field == 0) {
      ConvertRowPairTopField(w.format, at(first), at(first + 2), w.Luma(first), w.Luma(first + 2), w.Cb(chroma),
                             w.Cr(chroma), w.width);
    } else {
      ConvertRowPairBottomField(w.format, at(first), at(first + 2), w.Luma(first), w.Luma(first + 2), w.Cb(chroma),
                                w.Cr(chroma), w.width);
    }
  }
  if (lastRow) {
    // The field's last chroma row: chroma rows alternate between the fields.
    const int row = height4 - 2 + field;
    const int chroma = height4 / 2 - 2 + field;
    ConvertRow(w.format, at(row), w.Luma(row), w.Cb(chroma), w.Cr(chroma), w.width);
  }
}

void OutputConverter::AverageRow(const Walk& w, int row, int above, int below) {
  kernels_.averageRows[int(w.format)](w.Row(row), w.Row(above), w.Row(below), w.RowBytes());
}

void OutputConverter::CopyRow(const Walk& w, int row, int source) {
  kernels_.copyLine(w.Row(row), w.Row(source), w.RowBytes());
}

uint32_t OutputConverter::Convert(RgbFormat format, ConversionMode mode, const uint8_t* y, const uint8_t* u,
                                  const uint8_t* v, uint8_t* destination, int width, int height, ptrdiff_t stride,
                                  ptrdiff_t lumaStride) {
  if (width <= 0 || height <= 0) return status;
  if (Prepare(width) != 0) return status;
  const Walk w = {format, y, u, v, destination, width, height, stride, lumaStride};
  if (mode == ConversionMode::Progressive || height < 8) {
    WalkProgressive(w, height);
    return 0;
  }
  const int height4 = height & ~3;
  switch (mode) {
    case ConversionMode::Progressive:
      break;
    case ConversionMode::Fields:
      WalkField(w, 0, height4, 0, true);
      WalkField(w, 1, height4, 0, true);
      break;
    case ConversionMode::OneField: {
      // The top field, each row between two of its rows their average.
      ConvertRow(format, w.Row(0), w.Luma(0), w.Cb(0), w.Cr(0), width);
      for (int j = 0; j <= height4 / 4 - 2; ++j) {
        const int first = 4 * j + 2;
        ConvertRowPairTopField(format, w.Row(first), w.Row(first + 2), w.Luma(first), w.Luma(first + 2),
                               w.Cb(2 * j + 2), w.Cr(2 * j + 2), width);
        AverageRow(w, first - 1, first - 2, first);
        AverageRow(w, first + 1, first, first + 2);
      }
      const int last = height4 - 2;
      ConvertRow(format, w.Row(last), w.Luma(last), w.Cb(height4 / 2 - 2), w.Cr(height4 / 2 - 2), width);
      AverageRow(w, last - 1, last - 2, last);
      CopyRow(w, last + 1, last);
      break;
    }
    case ConversionMode::ShiftUp:
      // Luma row 0 lands on row 0 and is replaced by the bottom field's
      // first row; the last row repeats the one two above.
      WalkField(w, 0, height4, -1, true);
      CopyRow(w, height4 - 1, height4 - 3);
      WalkField(w, 1, height4, -1, true);
      break;
    case ConversionMode::ShiftDown:
      // The last luma row is not shown; the first row repeats the one two
      // below.
      WalkField(w, 0, height4, 1, true);
      WalkField(w, 1, height4, 1, false);
      CopyRow(w, 0, 2);
      break;
  }
  for (int row = height4; row < height; ++row) CopyRow(w, row, row - 2);
  return 0;
}

}  // namespace tlx::mpeg4
