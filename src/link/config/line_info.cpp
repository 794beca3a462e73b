#include "link/config/line_info.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace tlx::link {
namespace {

constexpr char kPartSeparator = '\x01';

// The record's items, each without its enclosing quotes. False when a quote
// is not closed.
bool Items(std::string_view text, std::vector<std::string_view>* items) {
  size_t at = 0;
  while (at <= text.size()) {
    if (at < text.size() && text[at] == '"') {
      const size_t close = text.find('"', at + 1);
      if (close == std::string_view::npos) return false;
      items->push_back(text.substr(at + 1, close - at - 1));
      at = close + 1;
      // What follows the closing quote up to the next ',' belongs to no item.
      const size_t comma = text.find(',', at);
      if (comma == std::string_view::npos) break;
      at = comma + 1;
      continue;
    }
    const size_t comma = text.find(',', at);
    items->push_back(text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return true;
}

// The value of the item NAME=value as a NUL-terminated copy, or false.
bool Find(const std::vector<std::string_view>& items, const char* name, std::string* value) {
  const size_t length = std::strlen(name);
  for (std::string_view item : items) {
    if (item.size() > length && item.compare(0, length, name) == 0 && item[length] == '=') {
      *value = std::string(item.substr(length + 1));
      return true;
    }
  }
  return false;
}

// The number at the start of a value.
bool NumberOf(const std::string& value, int32_t* out) {
  const char* text = value.c_str();
  return tlxLineNumber(&text, out);
}

bool Range(const char** text, TlxLineRange* out) {
  if (!tlxLineNumber(text, &out->low) || **text != '-') return false;
  ++*text;
  return tlxLineNumber(text, &out->high);
}

// Skips commas and blanks; true when something else follows.
bool More(const char* text) { return text[std::strspn(text, ", ")] != '\0'; }

void CopyText(std::string_view text, char* out) {
  const size_t length = std::min(text.size(), static_cast<size_t>(kLineTextMax));
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

// A name after ':' up to the next ',' or the end: not empty, none of the
// reserved characters.
bool Name(const char** text, char* out) {
  const size_t length = std::strcspn(*text, ",");
  const std::string_view name(*text, length);
  if (name.empty() || name.find_first_of("\":=") != std::string_view::npos) return false;
  CopyText(name, out);
  *text += length;
  return true;
}

int Rcomid(const std::string& value, TlxLineRecord* out) {
  const size_t comma = value.find(',');
  if (comma == std::string::npos) return -12;
  CopyText(std::string_view(value).substr(0, comma), out->rcomText);
  const char* text = value.c_str() + comma;
  for (TlxLineDevice& device : out->device) {
    if (!tlxLineNumber(&text, &device.kind) || !tlxLineNumber(&text, &device.first) ||
        !tlxLineNumber(&text, &device.second)) {
      return -12;
    }
  }
  text += std::strspn(text, " ");
  if (*text == '\0') return 0;
  if (*text != ':') return -12;
  ++text;
  bool first = true;
  for (TlxLineDevice& device : out->device) {
    if (device.kind != 2) continue;
    if (!first && *text++ != ',') return -12;
    if (!Name(&text, device.makerName) || *text++ != ',' || !Name(&text, device.modelName)) return -12;
    first = false;
  }
  return *text == '\0' ? 0 : -12;
}

// A band code and its ranges ("AIR"/"AIRRNG", "CBL"/"CBLRNG").
int Band(const std::vector<std::string_view>& items, const char* name, const char* rangeName, int32_t* code,
         TlxLineRange (&ranges)[kLineRanges]) {
  std::string value;
  if (!Find(items, name, &value)) return 0;
  if (!NumberOf(value, code)) return -13;
  if (!Find(items, rangeName, &value)) return -14;
  const char* text = value.c_str();
  if (!Range(&text, &ranges[0])) return -13;
  for (int i = 1; i < kLineRanges && More(text); ++i) {
    if (!Range(&text, &ranges[i])) return -13;
  }
  return 0;
}

}  // namespace

bool tlxLineNumber(const char** text, int32_t* out) {
  const char* at = *text + std::strspn(*text, ", ");
  int64_t value = 0;
  bool digits = false;
  if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) {
    at += 2;
    while (std::isxdigit(static_cast<unsigned char>(*at))) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(*at++)));
      value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
      digits = true;
      if (value > 0xFFFFFFFFLL) return false;
    }
    // Eight hexadecimal digits give the int32 of those bits.
    if (!digits) return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(value));
    *text = at;
    return true;
  }
  const bool negative = *at == '-';
  if (negative) ++at;
  while (std::isdigit(static_cast<unsigned char>(*at))) {
    value = value * 10 + (*at++ - '0');
    digits = true;
    if (value > (negative ? 0x80000000LL : 0x7FFFFFFFLL)) return false;
  }
  if (!digits) return false;
  *out = static_cast<int32_t>(negative ? -value : value);
  *text = at;
  return true;
}

int tlxParseLineRecord(std::string_view text, TlxLineRecord* out) {
  *out = TlxLineRecord{};
  std::vector<std::string_view> items;
  if (!Items(text, &items)) return -10;
  std::string value;
  if (!Find(items, "TYPE", &value) || !NumberOf(value, &out->type)) return -10;
  if (!Find(items, "LINE", &value) || !NumberOf(value, &out->line)) return -11;
  if (Find(items, "RCOMID", &value)) {
    if (const int result = Rcomid(value, out); result != 0) return result;
  }
  if (const int result = Band(items, "AIR", "AIRRNG", &out->air, out->airRange); result != 0) return result;
  if (const int result = Band(items, "CBL", "CBLRNG", &out->cbl, out->cblRange); result != 0) return result;
  if (Find(items, "BLI", &value)) {
    const char* at = value.c_str();
    while (out->bliCount < kLineBliMax && tlxLineNumber(&at, &out->bli[out->bliCount])) ++out->bliCount;
  }
  if (!Find(items, "EXT", &value)) return 0;
  if (!NumberOf(value, &out->ext)) return -15;
  if (Find(items, "EXTRNG", &value)) {
    const char* at = value.c_str();
    if (!tlxLineNumber(&at, &out->extRngValue) || !Range(&at, &out->extRange)) return -15;
  }
  return 0;
}

std::vector<std::string> tlxSplitParts(std::string_view value) {
  std::vector<std::string> parts;
  while (true) {
    const size_t end = value.find(kPartSeparator);
    std::string_view part = value.substr(0, end);
    const size_t first = part.find_first_not_of(' ');
    parts.emplace_back(first == std::string_view::npos ? std::string_view() : part.substr(first));
    if (end == std::string_view::npos) return parts;
    value.remove_prefix(end + 1);
  }
}

std::string tlxLineInfoDefault(uint32_t regionCode) {
  static const char* const kTuners[] = {
      R"(TYPE=0,LINE=0,AIR=0,AIRRNG=2-69,CBL=1,CBLRNG=1-125,"BLI=0,1",EXT=1,"EXTRNG=1,1-6")",
      R"(TYPE=0,LINE=0,AIR=2,"AIRRNG=1-62,113-163","BLI=0,1,2",EXT=0)",
      R"(TYPE=0,LINE=0,AIR=4,AIRRNG=2-69,CBL=5,CBLRNG=1-125,"BLI=0,1",EXT=1,"EXTRNG=0,1-6")",
      R"(TYPE=0,LINE=0,AIR=6,AIRRNG=2-69,CBL=7,CBLRNG=1-125,"BLI=0,1,2",EXT=1,"EXTRNG=0,1-6")",
  };
  if (regionCode >= std::size(kTuners)) return {};
  return std::string(kTuners[regionCode]) + kPartSeparator + "TYPE=1,LINE=1" + kPartSeparator + "TYPE=1,LINE=2";
}

}  // namespace tlx::link
