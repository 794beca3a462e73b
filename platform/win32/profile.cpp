#include "win32/profile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "win32/paths.h"
#include "win32/synch.h"
#include "win32/text.h"

namespace tlx::win32 {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The file's text as UTF-8, or nothing when it cannot be read.
std::optional<std::string> ReadProfile(const std::string& fileName) {
  const std::string path = FindFileNoCase(fileName);
  if (path.empty()) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes;
  bytes.resize(kProfileMaxFileSize + 1);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  if (bytes.size() > kProfileMaxFileSize) return std::nullopt;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string wide((bytes.size() - 2) / 2, u'\0');
    std::memcpy(wide.data(), bytes.data() + 2, wide.size() * 2);
    return Utf16ToUtf8(wide);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  return bytes;
}

// The value of key in section, or nothing when either is missing.
std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key) {
  const std::string wantedSection = FoldCase(Trim(section));
  const std::string wantedKey = FoldCase(Trim(key));
  bool inSection = false;
  bool sectionSeen = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      const std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? close : close - 1));
      // Only the first section of a name counts.
      if (inSection) return std::nullopt;
      inSection = !sectionSeen && FoldCase(name) == wantedSection;
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || FoldCase(Trim(line.substr(0, equals))) != wantedKey) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

std::optional<std::string> ReadValue(const char* section, const char* key, const char* fileName) {
  if (section == nullptr || key == nullptr || fileName == nullptr) return std::nullopt;
  const std::optional<std::string> text = ReadProfile(fileName);
  return text ? FindValue(*text, section, key) : std::nullopt;
}

UINT ParseInt(const std::string& text, INT defaultValue) {
  if (text.empty()) return static_cast<UINT>(defaultValue);
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  UINT value = 0;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    for (i += 2; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      value = value * 16 + static_cast<UINT>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
  } else {
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      value = value * 10 + static_cast<UINT>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

}  // namespace
}  // namespace tlx::win32

using namespace tlx::win32;

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
  const std::optional<std::string> value = ReadValue(section, key, fileName);
  const std::string text = value ? *value : std::string(Trim(defaultValue != nullptr ? defaultValue : ""));
  return CopyTruncated(std::string_view(text), buffer, size);
}

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName) {
  if (section == nullptr || key == nullptr || fileName == nullptr) {
    return CopyTruncated(std::u16string_view(defaultValue != nullptr ? defaultValue : u""), buffer, size);
  }
  const std::string narrowDefault = defaultValue != nullptr ? NarrowText(defaultValue) : std::string();
  const std::string sectionName = NarrowText(section);
  const std::string keyName = NarrowText(key);
  const std::string file = NarrowText(fileName);
  const std::optional<std::string> value = ReadValue(sectionName.c_str(), keyName.c_str(), file.c_str());
  const std::u16string text = Utf8ToUtf16(value ? *value : std::string(Trim(narrowDefault)));
  return CopyTruncated(std::u16string_view(text), buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
  return ParseInt(ReadValue(section, key, fileName).value_or(""), defaultValue);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
  if (section == nullptr || key == nullptr || fileName == nullptr) return static_cast<UINT>(defaultValue);
  const std::string sectionName = NarrowText(section);
  const std::string keyName = NarrowText(key);
  const std::string file = NarrowText(fileName);
  return ParseInt(ReadValue(sectionName.c_str(), keyName.c_str(), file.c_str()).value_or(""), defaultValue);
}
