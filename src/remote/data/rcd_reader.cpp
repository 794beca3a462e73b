#include "remote/data/rcd_reader.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "remote/data/hex_text.h"
#include "remote/data/utf_text.h"

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view trimRight(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

// A field line "Name: value" of a trimmed line: false for an empty or comment
// line, one not starting with a letter, or one without a colon. The value
// starts after the blanks behind the colon.
bool parseField(std::string_view line, std::string_view& name, std::string_view& value) {
  if (line.empty() || line[0] == '#' || line[0] == ';') return false;
  if (!std::isalpha(static_cast<unsigned char>(line[0]))) return false;
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = line.substr(0, colon);
  value = line.substr(colon + 1);
  while (!value.empty() && value[0] == ' ') value.remove_prefix(1);
  return true;
}

// A line in which a colon comes before any character outside '!' to '~'.
bool isHeaderLine(std::string_view line) {
  for (char c : line) {
    if (c == ':') return true;
    if (c < '!' || c > '~') return false;
  }
  return false;
}

// Digits of a decimal number at the start of text, capped so it cannot
// overflow.
int leadingNumber(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value < 100000 ? value * 10 + (c - '0') : value;
  }
  return value;
}

}  // namespace

bool RcdReader::open(const std::string& path) {
  if (!openFile(path, "rb")) return false;
  pushedBack_ = false;
  if (!nextLine()) {
    // What cannot be read from its first byte (a folder) is not a file.
    if (lastError() == kRcdErrRead) {
      close();
      return fail(kRcdErrOpen);
    }
    lineLength_ = 0;
  }
  if (lineLength_ >= 3 && std::memcmp(line_, "\xEF\xBB\xBF", 3) == 0) {
    std::memmove(line_, line_ + 3, lineLength_ - 3);
    lineLength_ -= 3;
  }
  pushedBack_ = lineLength_ > 0;
  resetHeader();
  return succeed();
}

void RcdReader::resetHeader() {
  values_ = RcdHeaderValues();
  checksumText_.clear();
}

bool RcdReader::nextLine() {
  if (pushedBack_) {
    pushedBack_ = false;
    return true;
  }
  lineLength_ = 0;
  int c = 0;
  while (lineLength_ < kRcdLineBuffer - 1 && (c = std::getc(file())) != EOF) {
    line_[lineLength_++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (lineLength_ > 0) return true;
  return fail(std::ferror(file()) ? kRcdErrRead : kRcdErrEndOfFile);
}

std::string_view RcdReader::content() const {
  std::string_view line(line_, lineLength_);
  return line.substr(0, line.find_first_of("\r\n"));
}

int RcdReader::version() const {
  std::string_view text = values_.version;
  if (text.empty()) return 256;
  int major = leadingNumber(text);
  size_t point = text.find('.');
  int minor = point == std::string_view::npos ? 0 : leadingNumber(text.substr(point + 1));
  return major * 256 + minor;
}

bool RcdReader::readHeader() {
  if (!isOpen()) return fail(kRcdErrNotOpen);
  resetHeader();
  std::string_view name;
  std::string_view value;
  do {
    if (!nextLine()) return false;
  } while (!parseField(trimRight(content()), name, value) || !equalsNoCase(name, "Content-Type"));
  startChecksum();
  for (bool first = true;; first = false) {
    if (!first && !nextLine()) {
      if (lastError() == kRcdErrRead) return false;
      break;  // the end of the file ends the header
    }
    std::string_view line = content();
    feed(line.data(), line.size());
    line = trimRight(line);
    if (line.empty()) break;
    if (!parseField(line, name, value)) continue;
    const std::string text(value);
    if (equalsNoCase(name, "Content-Type")) {
      values_.contentType = text;
    } else if (equalsNoCase(name, "Version")) {
      values_.version = text;
    } else if (equalsNoCase(name, "Name")) {
      values_.name = tlxUtf16Of(text);
    } else if (equalsNoCase(name, "Type")) {
      values_.type = text;
    } else if (equalsNoCase(name, "Description")) {
      values_.description = tlxUtf16Of(text);
    } else if (equalsNoCase(name, "Make-Id")) {
      values_.makeId = text;
    } else if (equalsNoCase(name, "Make-Name")) {
      values_.makeName = tlxUtf16Of(text);
    } else if (equalsNoCase(name, "RCode-Encoding")) {
      values_.encoding = text;
    } else if (equalsNoCase(name, "GUID")) {
      values_.guid = text;
    }
  }
  if (values_.contentType != kRcdContentType) return fail(kRcdErrContentType);
  if (version() != 256) return fail(kRcdErrVersion);
  return succeed();
}

bool RcdReader::readEntry(std::string& key, std::u16string& label, std::string& code) {
  if (!isOpen()) return fail(kRcdErrNotOpen);
  for (;;) {
    if (!nextLine()) return false;
    saveDigest();
    std::string_view line = content();
    feed(line.data(), line.size());
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (isHeaderLine(line)) {
      restoreDigest();
      pushedBack_ = true;
      return fail(kRcdErrEndOfList);
    }
    if (!std::isalnum(static_cast<unsigned char>(line[0]))) continue;
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) continue;
    if (tab1 > kRcdMaxKey + 1) return fail(kRcdErrTooLong);
    key.assign(line.substr(0, std::min(tab1, kRcdMaxKey)));
    label = tlxUtf16Of(line.substr(tab1 + 1, tab2 - tab1 - 1));
    if (label.size() > kRcdMaxLabel) label.resize(kRcdMaxLabel);
    code.assign(line.substr(tab2 + 1));
    return succeed();
  }
}

bool RcdReader::readChecksum(RcdChecksumStatus& status) {
  std::memset(&status, 0, sizeof status);
  if (!isOpen()) return fail(kRcdErrNotOpen);
  bool hasLine = false;
  while (nextLine()) {
    std::string_view line = trimRight(content());
    if (line.empty()) break;
    std::string_view name;
    std::string_view value;
    if (!parseField(line, name, value)) continue;
    if (equalsNoCase(name, "Checksum")) {
      while (!value.empty() && value[0] < '!') value.remove_prefix(1);
      checksumText_.assign(value);
      hasLine = true;
    } else if (equalsNoCase(name, "Content-Type")) {
      pushedBack_ = true;
      break;
    }
  }
  if (lastError() == kRcdErrRead) return false;
  status.flags = hasLine ? 1 : 0;
  if (checksumText_.size() > 23 &&
      tlxHexToBytes(checksumText_.substr(16, 8).c_str(), status.digest4, 4, false) == 4) {
    status.flags |= 2;
  }
  if (checksumText_.empty()) return succeed();
  std::memset(salt_, 0, sizeof salt_);
  tlxHexToBytes(checksumText_.substr(0, 16).c_str(), salt_, kRcdSaltSize, false);
  if (checksumText_.size() <= 16 || checksumText_.substr(16) != finalDigestHex(salt_)) {
    return fail(kRcdErrChecksum);
  }
  return succeed();
}
