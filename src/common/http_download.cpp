#include <netdb.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/common_log.h"
#include "common/tlx_pc_cmn_http.h"
#include "win32/paths.h"
#include "win32/sockets.h"
#include "win32/text.h"

namespace {

using tlx::win32::DeadlineAfter;
using tlx::win32::Descriptor;

constexpr char kUserAgent[] = "HTTP Get Test Application ver-1.00";
// The status line and headers may take this many bytes.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

struct HttpUrl {
  std::string host;
  std::string port;
  std::string path;
};

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "http://host[:port]/path" split into its parts; nothing for another scheme
// or a malformed address.
std::optional<HttpUrl> ParseUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() || !EqualsNoCaseAscii(url.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  url.remove_prefix(kScheme.size());
  const size_t slash = url.find('/');
  const std::string_view authority = url.substr(0, slash);
  HttpUrl parsed{std::string(authority), "80", slash == std::string_view::npos ? "/" : std::string(url.substr(slash))};
  const size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (!AllDigits(port) || port.size() > 5 || std::stoul(std::string(port)) == 0 ||
        std::stoul(std::string(port)) > 65535) {
      return std::nullopt;
    }
    parsed.host = std::string(authority.substr(0, colon));
    parsed.port = std::string(port);
  }
  if (parsed.host.empty()) return std::nullopt;
  for (char c : parsed.host + parsed.path) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return std::nullopt;
  }
  return parsed;
}

// A TCP connection to the server, or an empty descriptor.
Descriptor Connect(const HttpUrl& url) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found) != 0 || found == nullptr) {
    tlx::common::Log("http: cannot resolve %s", url.host.c_str());
    return Descriptor();
  }
  Descriptor socket = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
  const int error = socket ? tlx::win32::ConnectWithin(socket.get(), found->ai_addr, found->ai_addrlen,
                                                       DeadlineAfter(kTlxPcCmnHttpTimeoutMs))
                           : errno;
  freeaddrinfo(found);
  if (error != 0) {
    tlx::common::Log("http: cannot connect to %s:%s (%s)", url.host.c_str(), url.port.c_str(), std::strerror(error));
    return Descriptor();
  }
  return socket;
}

// Reads until the connection closes or `data` holds `limit` bytes, or, with
// `stop`, until `data` contains it. False on a time-out or an error.
bool Receive(int socket, std::string& data, size_t limit, std::string_view stop = {}) {
  char chunk[16 * 1024];
  while (data.size() < limit && (stop.empty() || data.find(stop) == std::string::npos)) {
    const long got = tlx::win32::ReadSome(socket, chunk, std::min(sizeof(chunk), limit - data.size()),
                                          DeadlineAfter(kTlxPcCmnHttpTimeoutMs));
    if (got < 0) return false;
    if (got == 0) break;
    data.append(chunk, static_cast<size_t>(got));
  }
  return true;
}

// The response's status code and Content-Length (-1 when absent) from its
// header block; false when the block is malformed or the body's framing is
// one this client does not read.
bool ParseHeader(std::string_view header, int* status, long long* contentLength) {
  const size_t lineEnd = header.find("\r\n");
  const std::string_view statusLine = header.substr(0, lineEnd);
  if (statusLine.size() < 12 || statusLine.substr(0, 7) != "HTTP/1." || statusLine[8] != ' ' ||
      !AllDigits(statusLine.substr(9, 3)) || (statusLine.size() > 12 && statusLine[12] != ' ')) {
    return false;
  }
  *status = std::stoi(std::string(statusLine.substr(9, 3)));
  *contentLength = -1;
  size_t start = lineEnd == std::string_view::npos ? header.size() : lineEnd + 2;
  while (start < header.size()) {
    size_t end = header.find("\r\n", start);
    if (end == std::string_view::npos) end = header.size();
    const std::string_view line = header.substr(start, end - start);
    start = end + 2;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (EqualsNoCaseAscii(name, "Transfer-Encoding") && !EqualsNoCaseAscii(value, "identity")) return false;
    if (EqualsNoCaseAscii(name, "Content-Length")) {
      if (!AllDigits(value) || value.size() > 12) return false;
      const long long length = std::stoll(std::string(value));
      if (*contentLength >= 0 && *contentLength != length) return false;
      *contentLength = length;
    }
  }
  return true;
}

// The body of a 200 answer; nothing for any other outcome.
std::optional<std::string> Fetch(const HttpUrl& url) {
  Descriptor socket = Connect(url);
  if (!socket) return std::nullopt;
  const std::string hostLine = url.port == "80" ? url.host : url.host + ":" + url.port;
  const std::string request = "GET " + url.path + " HTTP/1.0\r\nHost: " + hostLine + "\r\nUser-Agent: " + kUserAgent +
                              "\r\nConnection: close\r\n\r\n";
  if (tlx::win32::WriteAll(socket.get(), request.data(), request.size(), DeadlineAfter(kTlxPcCmnHttpTimeoutMs)) != 0) {
    tlx::common::Log("http: cannot send the request to %s", url.host.c_str());
    return std::nullopt;
  }
  std::string data;
  if (!Receive(socket.get(), data, kMaxHeaderBytes, "\r\n\r\n")) return std::nullopt;
  const size_t headerEnd = data.find("\r\n\r\n");
  int status = 0;
  long long contentLength = -1;
  if (headerEnd == std::string::npos || !ParseHeader(std::string_view(data).substr(0, headerEnd), &status,
                                                      &contentLength)) {
    tlx::common::Log("http: malformed answer from %s", url.host.c_str());
    return std::nullopt;
  }
  if (status != 200) {
    tlx::common::Log("http: %s answered %d", url.path.c_str(), status);
    return std::nullopt;
  }
  if (contentLength > static_cast<long long>(kTlxPcCmnHttpMaxBody)) return std::nullopt;
  std::string body = data.substr(headerEnd + 4);
  // One byte beyond the limit tells a body that is too large from one that fits.
  const size_t limit = contentLength >= 0 ? static_cast<size_t>(contentLength) : kTlxPcCmnHttpMaxBody + 1;
  if (!Receive(socket.get(), body, limit)) return std::nullopt;
  if (contentLength >= 0) {
    if (body.size() < static_cast<size_t>(contentLength)) {
      tlx::common::Log("http: %s ended after %zu of %lld bytes", url.path.c_str(), body.size(), contentLength);
      return std::nullopt;
    }
    body.resize(static_cast<size_t>(contentLength));
  } else if (body.size() > kTlxPcCmnHttpMaxBody) {
    return std::nullopt;
  }
  return body;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int TlxPcCmnGetFileByHttp(const WCHAR* url, const WCHAR* localFile) {
  if (url == nullptr || localFile == nullptr) return 0;
  try {
    const std::optional<HttpUrl> parsed = ParseUrl(tlx::win32::NarrowText(url));
    if (!parsed) return 0;
    const std::optional<std::string> body = Fetch(*parsed);
    if (!body) return 0;
    const std::string path = tlx::win32::NativePath(tlx::win32::NarrowText(localFile));
    if (!WriteFile(path, *body)) {
      tlx::common::Log("http: cannot write %s", path.c_str());
      return 0;
    }
    return 1;
  } catch (...) {
    return 0;
  }
}
