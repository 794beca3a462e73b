#include "remote/data/utf_text.h"

#include <cstdint>
#include <utility>

namespace {

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Writes one code point of at most 0x10FFFF as UTF-8; returns its bytes.
int putUtf8(uint32_t value, char* out) {
  auto* p = reinterpret_cast<unsigned char*>(out);
  if (value < 0x80) {
    p[0] = static_cast<unsigned char>(value);
    return 1;
  }
  if (value < 0x800) {
    p[0] = static_cast<unsigned char>(0xC0 | (value >> 6));
    p[1] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    p[0] = static_cast<unsigned char>(0xE0 | (value >> 12));
    p[1] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
    p[2] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    return 3;
  }
  p[0] = static_cast<unsigned char>(0xF0 | (value >> 18));
  p[1] = static_cast<unsigned char>(0x80 | ((value >> 12) & 0x3F));
  p[2] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
  p[3] = static_cast<unsigned char>(0x80 | (value & 0x3F));
  return 4;
}

// Units of a text up to its zero, or `count`.
size_t unitCount(const char16_t* text, int count) {
  if (count >= 0) return static_cast<size_t>(count);
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

size_t byteCount(const char* text, int count) {
  if (count >= 0) return static_cast<size_t>(count);
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

}  // namespace

int tlxUtf16ToUtf8(const char16_t* text, int count, char* out) {
  int written = 0;
  if (text != nullptr) {
    const size_t n = unitCount(text, count);
    for (size_t i = 0; i < n && text[i] != 0; ++i) {
      uint32_t unit = text[i];
      if (isHighSurrogate(unit)) {
        if (i + 1 >= n || text[i + 1] == 0) break;
        uint32_t next = text[++i];
        if (isLowSurrogate(next)) {
          written += putUtf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), out + written);
        }
        continue;
      }
      written += putUtf8(unit, out + written);
    }
  }
  out[written] = '\0';
  return written;
}

int tlxUtf8ToUtf16(const char* text, int count, char16_t* out) {
  int written = 0;
  if (text != nullptr) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t n = byteCount(text, count);
    size_t i = 0;
    while (i < n && bytes[i] != 0) {
      uint32_t lead = bytes[i];
      if (lead < 0x80) {
        out[written++] = static_cast<char16_t>(lead);
        ++i;
        continue;
      }
      size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      uint32_t value = lead & (lead < 0xE0 ? 0x1F : lead < 0xF0 ? 0x0F : 0x07);
      size_t k = 1;
      for (; k < length && i + k < n && bytes[i + k] != 0; ++k) value = (value << 6) | (bytes[i + k] & 0x3F);
      if (k < length) break;  // cut by the end of the text
      i += length;
      if (value > 0x10FFFF) continue;
      if (value > 0xFFFF) {
        value -= 0x10000;
        out[written++] = static_cast<char16_t>(0xD800 + (value >> 10));
        out[written++] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
      } else {
        out[written++] = static_cast<char16_t>(value);
      }
    }
  }
  out[written] = 0;
  return written;
}

std::string tlxUtf8Of(std::u16string_view text) {
  std::string out(text.size() * 3 + 1, '\0');
  out.resize(static_cast<size_t>(tlxUtf16ToUtf8(text.data(), static_cast<int>(text.size()), out.data())));
  return out;
}

std::u16string tlxUtf16Of(std::string_view text) {
  std::u16string out(text.size() + 1, u'\0');
  out.resize(static_cast<size_t>(tlxUtf8ToUtf16(text.data(), static_cast<int>(text.size()), out.data())));
  return out;
}

SesText::SesText(const char* utf8, int count) {
  utf8_ = utf8 ? std::string(utf8, byteCount(utf8, count)) : std::string();
}

SesText::SesText(const char16_t* utf16, int count) {
  utf16_ = utf16 ? std::u16string(utf16, unitCount(utf16, count)) : std::u16string();
}

SesText::SesText(std::u16string utf16) : utf16_(std::move(utf16)) {}

const std::string& SesText::utf8() {
  if (!utf8_) utf8_ = utf16_ ? tlxUtf8Of(*utf16_) : std::string();
  return *utf8_;
}

const std::u16string& SesText::utf16() {
  if (!utf16_) utf16_ = utf8_ ? tlxUtf16Of(*utf8_) : std::u16string();
  return *utf16_;
}
