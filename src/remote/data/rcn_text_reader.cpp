#include "remote_data/rcn_text_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "remote_data/base64_text.h"

namespace {

constexpr int kLineRoom = 2049;

bool isBreak(char16_t c) { return c == 13 || c == 10; }

}  // namespace

RcnTextReader::RcnTextReader() = default;

RcnTextReader::~RcnTextReader() = default;

BOOL RcnTextReader::decodeResource(const char* data, unsigned length, unsigned char* output,
                                   int* size) {
  return tlxBase64DecodeText(data, length, output, size);
}

BOOL RcnTextReader::tlxRcnLoadText(unsigned length, const void* data) {
  if (data == nullptr || length > INT32_MAX) return FALSE;
  // One spare byte, so an empty resource still has a buffer to decode into.
  std::vector<unsigned char> bytes(length + 1, 0);
  int size = static_cast<int>(length);
  BOOL ok = decodeResource(static_cast<const char*>(data), length, bytes.data(), &size);
  // The full length may exceed the buffer when the data did not fit.
  const unsigned kept = std::min(static_cast<unsigned>(std::max(size, 0)), length);
  const unsigned characters = kept / 2;
  auto text = std::make_unique<char16_t[]>(characters + 1);
  for (unsigned i = 0; i < characters; ++i) {
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  text[characters] = 0;
  text_ = std::move(text);
  decodedLength_ = characters;
  textLength_ = static_cast<int>(characters);
  position_ = 0;
  lineCounter_ = 0;
  return ok;
}

int RcnTextReader::tlxRcnReadLine(char16_t* line, int max) {
  if (line == nullptr || max <= 0) return 0;
  line[0] = 0;
  // A line without room for a character would never move on.
  if (max == 1) return 0;
  int collected = 0;
  const int end = std::min(textLength_, static_cast<int>(decodedLength_));
  while (position_ < end) {
    if (collected == max - 1) {
      line[collected] = 0;
      return lineCounter_;
    }
    const char16_t c = text_[position_];
    if (c == 0) {
      line[collected] = 0;
      if (collected == 0) lineCounter_ = 0;
      return collected == 0 ? 0 : lineCounter_;
    }
    if (isBreak(c)) {
      if (position_ + 1 < end && isBreak(text_[position_ + 1])) {
        ++position_;
        if (collected == 0) ++lineCounter_;
      }
      if (collected == 0) {
        ++position_;
        continue;
      }
      line[collected] = 0;
      return ++lineCounter_;
    }
    line[collected++] = c;
    ++position_;
  }
  line[collected] = 0;
  if (collected == 0) lineCounter_ = 0;
  return collected == 0 ? 0 : lineCounter_;
}

int RcnTextReader::tlxRcnGetLine(std::u16string& line) {
  char16_t buffer[kLineRoom];
  int result = tlxRcnReadLine(buffer, kLineRoom - 1);
  if (result != 0 || buffer[0] != 0) {
    line = buffer;
  } else {
    line.clear();
  }
  return result;
}
