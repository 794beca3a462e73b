// A reference model of the YUV-to-RGB conversion, written from the formulas
// alone (one pixel at a time, no windows, no term lines): chroma terms per
// sample, the vertical blend of each row mode, co-sited even pixels and
// averaged odd pixels, the five packings, the row averages and copies of the
// one-field and shift walks. The converters' output must equal it byte for
// byte; the AVC converter's tests use it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tlx::mpeg4::reference {

enum class Format { Rgb555, Rgb565, Rgb24, Rgb32, Rgb32Rev };
enum class Mode { Progressive, Fields, OneField, ShiftUp, ShiftDown };

inline int PixelBytes(Format f) {
  return f == Format::Rgb24 ? 3 : (f == Format::Rgb555 || f == Format::Rgb565) ? 2 : 4;
}

struct Colour {
  int32_t lumaOffset, cbToB, cbToG, crToG, crToR, lumaGain;
};

// fullRange 0: studio BT.601, else full range; lift 0..16.
inline Colour MakeColour(int fullRange, int lift) {
  Colour c = fullRange != 0 ? Colour{0, 14508, -2818, -5849, 11485, 16384}
                            : Colour{0, 16531, -3203, -6660, 13074, 19076};
  c.lumaOffset = (((16 - lift) * c.lumaGain * 128) >> 15) - 32;
  return c;
}

struct Terms {
  int32_t r, g, b;
};

inline Terms ChromaTerms(const Colour& c, uint8_t cb, uint8_t cr) {
  const int32_t u = (cb - 128) * 256, v = (cr - 128) * 256;
  return {(c.crToR * v) >> 16, (c.cbToG * u + c.crToG * v + 32768) >> 16, (c.cbToB * u) >> 16};
}

// Progressive blend: the row nearer a takes (3a + b + 2) >> 2 (blue by its
// 16-bit form); `nearA` false gives the other row's value.
inline int32_t ProgressiveRedGreen(int32_t a, int32_t b, bool nearA) {
  return nearA ? (3 * a + b + 2) >> 2 : (a + 3 * b + 2) >> 2;
}
inline int32_t ProgressiveBlue(int32_t a, int32_t b, bool nearA) {
  const int32_t d = (a - b) >> 1;
  return nearA ? ((a + b) + d + 1) >> 1 : ((a + b) - d + 1) >> 1;
}
// Field blend: w takes (7w + x + 4) >> 3, x takes (5x + 3w + 4) >> 3.
inline int32_t FieldW(int32_t w, int32_t x) { return (7 * w + x + 4) >> 3; }
inline int32_t FieldX(int32_t w, int32_t x) { return (5 * x + 3 * w + 4) >> 3; }

// How one output row takes its chroma: rows `first` (and `second`) of the
// picture's chroma, blended by `kind`.
enum class Blend { Alone, ProgressiveFirst, ProgressiveSecond, FieldW, FieldX };
struct RowChroma {
  int first;   // for a blend: the previous row (a, or for the field blend the row given as w / x)
  int second;  // the new row
  Blend kind;
};

struct Picture {
  int width, height;
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int lumaStride;  // chroma stride is half
};

inline Terms RowTerms(const Colour& c, const Picture& p, const RowChroma& rc, int k) {
  const int cs = p.lumaStride / 2;
  const Terms a = ChromaTerms(c, p.u[rc.first * cs + k], p.v[rc.first * cs + k]);
  if (rc.kind == Blend::Alone) return a;
  const Terms b = ChromaTerms(c, p.u[rc.second * cs + k], p.v[rc.second * cs + k]);
  switch (rc.kind) {
    case Blend::ProgressiveFirst:
    case Blend::ProgressiveSecond: {
      const bool nearA = rc.kind == Blend::ProgressiveFirst;
      return {ProgressiveRedGreen(a.r, b.r, nearA), ProgressiveRedGreen(a.g, b.g, nearA),
              ProgressiveBlue(a.b, b.b, nearA)};
    }
    case Blend::FieldW:  // first = w, second = x
      return {FieldW(a.r, b.r), FieldW(a.g, b.g), FieldW(a.b, b.b)};
    case Blend::FieldX:
      return {FieldX(a.r, b.r), FieldX(a.g, b.g), FieldX(a.b, b.b)};
    case Blend::Alone:
      break;
  }
  return a;
}

inline uint8_t Clamp(int32_t v) { return uint8_t(std::clamp(v >> 6, 0, 255)); }

inline void StorePixel(Format f, uint8_t* d, uint8_t r, uint8_t g, uint8_t b) {
  uint16_t w;
  switch (f) {
    case Format::Rgb555:
      w = uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
      std::memcpy(d, &w, 2);
      break;
    case Format::Rgb565:
      w = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
      std::memcpy(d, &w, 2);
      break;
    case Format::Rgb24:
      d[0] = b, d[1] = g, d[2] = r;
      break;
    case Format::Rgb32:
      d[0] = b, d[1] = g, d[2] = r, d[3] = 0;
      break;
    case Format::Rgb32Rev:
      d[0] = 0, d[1] = r, d[2] = g, d[3] = b;
      break;
  }
}

// One converted row of `width` pixels from luma row `lumaRow`.
inline std::vector<uint8_t> ConvertRow(const Colour& c, Format f, const Picture& p, int lumaRow, const RowChroma& rc) {
  const int bytes = PixelBytes(f);
  const int n = (p.width + 1) / 2;
  std::vector<uint8_t> row(size_t(p.width * bytes));
  for (int x = 0; x < p.width; ++x) {
    const int k = x / 2;
    const Terms t0 = RowTerms(c, p, rc, k);
    Terms sum = {2 * t0.r, 2 * t0.g, 2 * t0.b};
    if (x % 2 == 1) {
      const Terms t1 = k + 1 < n ? RowTerms(c, p, rc, k + 1) : t0;
      sum = {t0.r + t1.r, t0.g + t1.g, t0.b + t1.b};
    }
    const int32_t luma = ((p.y[lumaRow * p.lumaStride + x] * 128 * c.lumaGain) >> 16) * 2 - c.lumaOffset;
    StorePixel(f, row.data() + x * bytes, Clamp(luma + sum.r), Clamp(luma + sum.g), Clamp(luma + sum.b));
  }
  return row;
}

inline std::vector<uint8_t> AverageRows(Format f, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::vector<uint8_t> out(a.size());
  if (f == Format::Rgb555 || f == Format::Rgb565) {
    const int greenBits = f == Format::Rgb555 ? 5 : 6;
    const int redShift = 5 + greenBits;
    for (size_t i = 0; i + 1 < a.size(); i += 2) {
      const int x = a[i] | (a[i + 1] << 8), y = b[i] | (b[i + 1] << 8);
      const int gm = (1 << greenBits) - 1;
      const int blue = ((x & 31) + (y & 31)) >> 1;
      const int green = (((x >> 5) & gm) + ((y >> 5) & gm)) >> 1;
      const int red = (((x >> redShift) & 31) + ((y >> redShift) & 31)) >> 1;
      const int w = blue | (green << 5) | (red << redShift);
      out[i] = uint8_t(w), out[i + 1] = uint8_t(w >> 8);
    }
  } else {
    for (size_t i = 0; i < a.size(); ++i) out[i] = uint8_t((a[i] + b[i] + 1) >> 1);
  }
  return out;
}

// The rows of a converted picture in picture order (row 0 = top).
inline std::vector<std::vector<uint8_t>> ConvertPicture(const Colour& c, Format f, Mode mode, const Picture& p) {
  const int h = p.height;
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
  const auto alone = [](int chroma) { return RowChroma{chroma, chroma, Blend::Alone}; };
  if (mode == Mode::Progressive || h < 8) {
    for (int r = 0; r < h; ++r) {
      RowChroma rc;
      if (r == 0) {
        rc = alone(0);
      } else if (r % 2 == 1 && r == h - 1) {
        rc = alone(r / 2);  // the last row of an even height
      } else {
        const int k = (r + 1) / 2;
        rc = {k - 1, k, r % 2 == 1 ? Blend::ProgressiveFirst : Blend::ProgressiveSecond};
      }
      rows[size_t(r)] = ConvertRow(c, f, p, r, rc);
    }
    return rows;
  }
  const int h4 = h & ~3;
  // The converted row of luma row r of its field.
  const auto fieldRow = [&](int r) {
    const int field = r & 1;
    const int line = r >> 1;  // field line
    RowChroma rc;
    if (line == 0) {
      rc = alone(field);
    } else if (line == h4 / 2 - 1) {
      rc = alone(h4 / 2 - 2 + field);
    } else {
      const int j = (line - 1) / 2;  // pair index
      const int previous = 2 * j + field, next = 2 * j + 2 + field;
      const bool firstOfPair = (line - 1) % 2 == 0;
      if (field == 0) {
        rc = firstOfPair ? RowChroma{next, previous, Blend::FieldX} : RowChroma{next, previous, Blend::FieldW};
      } else {
        rc = firstOfPair ? RowChroma{previous, next, Blend::FieldW} : RowChroma{previous, next, Blend::FieldX};
      }
    }
    return ConvertRow(c, f, p, r, rc);
  };
  switch (mode) {
    case Mode::Fields:
      for (int r = 0; r < h4; ++r) rows[size_t(r)] = fieldRow(r);
      break;
    case Mode::OneField:
      for (int r = 0; r < h4; r += 2) rows[size_t(r)] = fieldRow(r);
      for (int r = 1; r < h4 - 1; r += 2) rows[size_t(r)] = AverageRows(f, rows[size_t(r - 1)], rows[size_t(r + 1)]);
      rows[size_t(h4 - 1)] = rows[size_t(h4 - 2)];
      break;
    case Mode::ShiftUp:
      for (int d = 0; d < h4 - 1; ++d) rows[size_t(d)] = fieldRow(d + 1);
      rows[size_t(h4 - 1)] = rows[size_t(h4 - 3)];
      break;
    case Mode::ShiftDown:
      for (int d = 1; d < h4; ++d) rows[size_t(d)] = fieldRow(d - 1);
      rows[0] = rows[2];
      break;
    case Mode::Progressive:
      break;
  }
  for (int r = h4; r < h; ++r) rows[size_t(r)] = rows[size_t(r - 2)];
  return rows;
}

}  // namespace tlx::mpeg4::reference
