#include "rtsp/rtsp_message.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <strings.h>

namespace {

bool IsMethodChar(char c) { return (c >= 'A' && c <= 'Z') || c == '_' || c == '-'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits the header block into lines without their line ends.
std::vector<std::string_view> Lines(std::string_view block) {
  std::vector<std::string_view> lines;
  while (!block.empty()) {
    size_t nl = block.find('\n');
    std::string_view line = block.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    block.remove_prefix(nl + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

bool ParseStartLine(std::string_view line, RtspMessage* m, std::string* error) {
  if (line.starts_with("RTSP/")) {
    m->isResponse = true;
    return ParseStatusLine(line, "RTSP/", &m->statusCode, &m->reason, error);
  }
  m->isResponse = false;
  size_t sp1 = line.find(' ');
  size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || !line.substr(sp2 + 1).starts_with("RTSP/") || sp1 == 0) {
    *error = "bad request line";
    return false;
  }
  m->method = std::string(line.substr(0, sp1));
  m->url = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
  return true;
}

// Content-Length: -1 when absent, -2 when malformed.
long long ContentLength(const RtspMessage& m) {
  const std::string* value = m.header("Content-Length");
  if (value == nullptr) return -1;
  long long n = 0;
  auto [ptr, ec] = std::from_chars(value->data(), value->data() + value->size(), n);
  if (value->empty() || ec != std::errc() || ptr != value->data() + value->size() || n < 0) return -2;
  return n;
}

}  // namespace

bool ParseStatusLine(std::string_view line, std::string_view protocol, int* code, std::string* reason,
                     std::string* error) {
  if (!line.starts_with(protocol)) {
    *error = "status line not beginning with \"" + std::string(protocol) + "\"";
    return false;
  }
  const size_t sp = line.find(' ');
  if (sp == std::string_view::npos) {
    *error = "status line without a status code";
    return false;
  }
  const std::string_view rest = line.substr(sp + 1);
  const size_t end = rest.find(' ');
  const std::string_view token = rest.substr(0, end);
  if (token.size() != 3 || !std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      token[0] == '0') {
    *error = "bad status code \"" + std::string(token) + "\"";
    return false;
  }
  *code = (token[0] - '0') * 100 + (token[1] - '0') * 10 + (token[2] - '0');
  *reason = end == std::string_view::npos ? "" : std::string(Trim(rest.substr(end + 1)));
  return true;
}

size_t FindHeaderEnd(std::string_view data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != '\n') continue;
    if (i + 1 < data.size() && data[i + 1] == '\n') return i + 2;
    if (i + 2 < data.size() && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

const std::string* RtspMessage::header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return &v;
  }
  return nullptr;
}

long RtspMessage::cseq() const {
  const std::string* value = header("CSeq");
  if (value == nullptr) return -1;
  long n = 0;
  auto [ptr, ec] = std::from_chars(value->data(), value->data() + value->size(), n);
  if (value->empty() || ec != std::errc() || ptr != value->data() + value->size() || n < 0) return -1;
  return n;
}

bool LooksLikeRtspStart(std::string_view data) {
  static constexpr std::string_view kVersion = "RTSP/";
  if (kVersion.starts_with(data.substr(0, kVersion.size()))) return true;
  for (size_t i = 0; i < data.size(); ++i) {
    if (IsMethodChar(data[i])) continue;
    return i > 0 && data[i] == ' ';
  }
  return true;  // a method name cut short
}

RtspMessageParser::Result RtspMessageParser::parse(std::string_view data, RtspMessage* message,
                                                   size_t* consumed, std::string* error) {
  *consumed = 0;
  if (fInLongHeader) {
    size_t end = FindHeaderEnd(data);
    if (end != std::string_view::npos) {
      fInLongHeader = false;
      *consumed = end;
      return Result::kSkipped;
    }
    // Keep the last bytes: they may begin the empty line.
    *consumed = data.size() > 3 ? data.size() - 3 : 0;
    return *consumed > 0 ? Result::kSkipped : Result::kNeedMore;
  }
  if (!LooksLikeRtspStart(data.substr(0, std::min<size_t>(data.size(), 32)))) {
    return Result::kNotMessage;
  }
  size_t end = FindHeaderEnd(data.substr(0, std::min(data.size(), kRtspMaxHeaderBytes)));
  if (end == std::string_view::npos) {
    if (data.size() < kRtspMaxHeaderBytes) return Result::kNeedMore;
    *error = "header block longer than 8 KiB";
    *consumed = kRtspMaxHeaderBytes - 3;
    fInLongHeader = true;
    return Result::kRefused;
  }
  std::string_view block = data.substr(0, end);
  RtspMessage m;
  auto refuse = [&](std::string text) {
    *error = std::move(text);
    *consumed = end;
    return Result::kRefused;
  };
  if (block.find('\0') != std::string_view::npos) return refuse("NUL byte in the header block");
  std::vector<std::string_view> lines = Lines(block);
  if (lines.empty()) return refuse("empty message");
  if (!ParseStartLine(lines[0], &m, error)) return refuse(*error);
  for (size_t i = 1; i < lines.size(); ++i) {
    size_t colon = lines[i].find(':');
    if (colon == std::string_view::npos || colon == 0) {
      return refuse("bad header line \"" + std::string(lines[i]) + "\"");
    }
    m.headers.emplace_back(std::string(Trim(lines[i].substr(0, colon))),
                           std::string(Trim(lines[i].substr(colon + 1))));
  }
  const long long length = ContentLength(m);
  if (length == -2) return refuse("bad Content-Length");
  // The header block alone is dropped: a length this large cannot be trusted
  // to find the message's end.
  if (length > static_cast<long long>(kRtspMaxBodyBytes)) return refuse("body longer than 64 KiB");
  const size_t bodySize = length < 0 ? 0 : static_cast<size_t>(length);
  if (data.size() - end < bodySize) return Result::kNeedMore;
  m.body.assign(data.substr(end, bodySize));
  *consumed = end + bodySize;
  *message = std::move(m);
  return Result::kMessage;
}
