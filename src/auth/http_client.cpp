#include "http_client.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "auth_log.h"
#include "win32/sockets.h"

namespace {

using tlx::win32::Deadline;

Deadline SendDeadline() { return tlx::win32::DeadlineAfter(kTlxHttpTimeoutSeconds * 1000); }

// Sends all of the text within the HTTP time-out.
bool SendText(int socket, std::string_view text) {
  return tlx::win32::WriteAll(socket, text.data(), text.size(), SendDeadline()) == 0;
}

}  // namespace

std::string tlxRequestHead(const char* method, const std::string& path, const std::string& host, int port) {
  return tlxFormat("%s %s HTTP/1.1\r\nHost: %s:%d\r\n", method, path.c_str(), host.c_str(), port);
}

std::string tlxChallengeRequest(const std::string& path, const std::string& host, int port) {
  return tlxRequestHead("GET", path, host, port) + "User-Agent: TLXStreamingClient\r\n" + kTlxKeepAliveHeaders +
         kTlxNoCacheHeaders;
}

tlx::win32::Descriptor tlxHttpConnectTagged(const char* host, int port, const char* tag) {
  if (host == nullptr || !std::isgraph(static_cast<unsigned char>(host[0]))) {
    tlxAuthLog("%sinvalid hostname \"%s\"\n\n", tag, host != nullptr ? host : "(null)");
    return {};
  }
  tlxAuthLog("%sconnecting to %s:%d\n\n", tag, host, port);
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host, service.c_str(), &hints, &addresses) != 0 || addresses == nullptr) {
    tlxAuthLog("%sunable to resolve the name\n\n", tag);
    return {};
  }
  tlx::win32::Descriptor socket =
      tlx::win32::OpenSocket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
  if (!socket) {
    freeaddrinfo(addresses);
    tlxAuthLog("%scan't open socket\n\n", tag);
    return {};
  }
  const int error = tlx::win32::ConnectWithin(socket.get(), addresses->ai_addr, addresses->ai_addrlen,
                                              tlx::win32::DeadlineAfter(kTlxHttpTimeoutSeconds * 1000));
  freeaddrinfo(addresses);
  if (error != 0) {
    tlxAuthLog("%scan't connect to server\n\n", tag);
    return {};
  }
  return socket;
}

tlx::win32::Descriptor tlxHttpConnect(const char* host, int port) { return tlxHttpConnectTagged(host, port, ""); }

int SendHTTP(const char* header, int socket, const char* body) {
  if (header == nullptr) return -1;
  if (!SendText(socket, header)) {
    tlxAuthLog("%s header failed\n\n", "SendHTTP");
    return -1;
  }
  if (body == nullptr) {
    if (!SendText(socket, "\r\n")) {
      tlxAuthLog("%s crlf failed\n\n", "SendHTTP");
      return -1;
    }
    return 0;
  }
  const size_t bodyLength = std::strlen(body);
  if (!SendText(socket, tlxFormat("Content-Length: %zu\r\n\r\n", bodyLength))) {
    tlxAuthLog("%s Content-Length failed\n\n", "SendHTTP");
    return -1;
  }
  if (!SendText(socket, std::string_view(body, bodyLength))) {
    tlxAuthLog("%s body failed\n\n", "SendHTTP");
    return -1;
  }
  return 0;
}

int SendHTTP_chunk(int length, int socket, const char* data) {
  std::string sizeLine;
  if (data == nullptr) {
    sizeLine = "0\r\n\r\n";
  } else if (length <= 0) {
    return 0;
  } else {
    sizeLine = tlxFormat("%x\r\n", static_cast<unsigned>(length));
  }
  const Deadline deadline = SendDeadline();
  int error = tlx::win32::WriteAll(socket, sizeLine.data(), sizeLine.size(), deadline);
  if (error == 0 && data != nullptr) {
    error = tlx::win32::WriteAll(socket, data, static_cast<size_t>(length), deadline);
    if (error == 0) error = tlx::win32::WriteAll(socket, "\r\n", 2, deadline);
  }
  if (error != 0) {
    tlxAuthLog("%s failed (%d)\n\n", "SendHTTP_chunk", error);
    return -1;
  }
  return 0;
}

int ReceiveSocket(char* buffer, int socket, int size, const char* terminator, int timeoutSeconds) {
  if (buffer == nullptr || size < 2) return 0;
  std::memset(buffer, 0, static_cast<size_t>(size));
  const std::string_view term = terminator != nullptr ? terminator : "";
  const size_t capacity = static_cast<size_t>(size) - 1;
  const Deadline deadline = tlx::win32::DeadlineAfter(static_cast<uint32_t>(timeoutSeconds) * 1000);
  size_t stored = 0;
  while (stored < capacity) {
    const int ready = tlx::win32::WaitReady(socket, POLLIN, deadline);
    if (ready <= 0) {
      tlxAuthLog(ready == 0 ? "%s: select timeout\n\n" : "%s: select\n\n", "ReceiveSocket");
      return -1;
    }
    const int flags = term.empty() ? 0 : MSG_PEEK;
    const ssize_t got = recv(socket, buffer + stored, capacity - stored, flags);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      tlxAuthLog("recv returned %d\n\n", static_cast<int>(got));
      std::memset(buffer, 0, static_cast<size_t>(size));
      return -1;
    }
    if (term.empty()) {
      stored += static_cast<size_t>(got);
      continue;
    }

    // Consume what was peeked up to the end of the terminator, or all of it
    // without one. A terminator that began in an earlier piece is found by
    // searching from that piece's last bytes.
    const size_t peekedEnd = stored + static_cast<size_t>(got);
    const size_t searchFrom = stored >= term.size() - 1 ? stored - (term.size() - 1) : 0;
    const size_t found = std::string_view(buffer, peekedEnd).find(term, searchFrom);
    const size_t take = found != std::string_view::npos ? found + term.size() - stored : static_cast<size_t>(got);
    const ssize_t consumed = recv(socket, buffer + stored, take, 0);
    if (consumed != static_cast<ssize_t>(take)) {
      tlxAuthLog("%s: recv returned %d, expected %d\n\n", "ReceiveSocket", static_cast<int>(consumed),
                 static_cast<int>(take));
      std::memset(buffer, 0, static_cast<size_t>(size));
      return -1;
    }
    stored += take;
    std::memset(buffer + stored, 0, peekedEnd - stored);
    if (found != std::string_view::npos) return static_cast<int>(stored);
  }
  return static_cast<int>(stored);
}

int tlxHttpReadChunked(int socket, char* out, int capacity) {
  if (out == nullptr || capacity <= 3) return -1;
  // A body without data is the empty text.
  out[0] = '\0';
  int total = 0;
  int left = capacity;
  for (;;) {
    char line[8];
    const int lineLength = ReceiveSocket(line, socket, sizeof line, "\r\n", kTlxHttpTimeoutSeconds);
    if (lineLength < 3 || line[lineLength - 2] != '\r' || line[lineLength - 1] != '\n') return -1;
    long size = 0;
    for (int i = 0; i < lineLength - 2; ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return -1;
      size = size * 16 + (std::isdigit(static_cast<unsigned char>(line[i])) ? line[i] - '0'
                                                                             : std::tolower(line[i]) - 'a' + 10);
    }
    if (size == 0) {
      const int end = ReceiveSocket(line, socket, sizeof line, "\r\n", kTlxHttpTimeoutSeconds);
      return end == 2 ? total : -1;
    }
    if (left < size + 3) return -1;
    char* data = out + total;
    const int got = ReceiveSocket(data, socket, static_cast<int>(size) + 3, nullptr, kTlxHttpTimeoutSeconds);
    if (got != size + 2 || data[size] != '\r' || data[size + 1] != '\n') return -1;
    data[size] = '\0';
    total += static_cast<int>(size);
    left -= static_cast<int>(size);
    if (left <= 3) return -1;
  }
}

int tlxHttpParseResponse(char* text, tlxHttpResponse* out) {
  if (text == nullptr || out == nullptr) return -1;
  *out = tlxHttpResponse{};

  // Status line: version, status, reason phrase (the rest of the line).
  char* lineEnd = std::strstr(text, "\r\n");
  if (lineEnd == nullptr) return -1;
  *lineEnd = '\0';
  char* status = std::strchr(text, ' ');
  if (status == nullptr || status == text) return -1;
  *status++ = '\0';
  char* reason = std::strchr(status, ' ');
  if (reason != nullptr) *reason++ = '\0';
  const size_t digits = std::strlen(status);
  if (digits == 0 || digits > 3 || std::strspn(status, "0123456789") != digits) return -1;
  out->version = text;
  out->status = std::atoi(status);
  out->reason = reason != nullptr ? reason : lineEnd;

  // Header lines up to the empty line.
  char* line = lineEnd + 2;
  for (;;) {
    lineEnd = std::strstr(line, "\r\n");
    if (lineEnd == nullptr) return -1;
    if (lineEnd == line) {
      out->body = lineEnd + 2;
      return 0;
    }
    char* next = lineEnd + 2;
    if (*line == ' ' || *line == '\t' || *next == ' ' || *next == '\t') {
      // A folded header is skipped with all its continuation lines.
      while (*next == ' ' || *next == '\t') {
        char* end = std::strstr(next, "\r\n");
        if (end == nullptr) return -1;
        next = end + 2;
      }
      line = next;
      continue;
    }
    *lineEnd = '\0';
    char* colon = std::strchr(line, ':');
    if (colon == nullptr || colon == line) return -1;
    *colon = '\0';
    const char* value = colon + 1;
    const std::string_view name(line);
    const char** slot = nullptr;
    if (name == "WWW-Authenticate") {
      slot = &out->wwwAuthenticate;
    } else if (name == "Authentication-Info") {
      slot = &out->authenticationInfo;
    } else if (name == "Transfer-Encoding") {
      slot = &out->transferEncoding;
    } else if (name == "Server") {
      slot = &out->server;
    } else if (name == "Content-Length") {
      const char* digitsStart = value + std::strspn(value, " \t");
      const size_t count = std::strspn(digitsStart, "0123456789");
      if (count == 0 || count > 9 || digitsStart[count + std::strspn(digitsStart + count, " \t")] != '\0') return -1;
      out->contentLength = std::atoi(digitsStart);
    }
    if (slot != nullptr && *slot == nullptr) *slot = value;
    line = next;
  }
}

int tlxHttpReasonCode(const char* reason) {
  static constexpr struct {
    const char* phrase;
    int code;
  } kReasons[] = {
      {"Unauthorized", -2},
      {"Incompatible", -6},
      {"Service Unavailable (in use)", -17},
      {"Service Unavailable (connection mode)", -18},
      {"Service Unavailable (setting mode)", -19},
      {"Service Unavailable (registration mode)", -20},
      {"Service Unavailable (disabled)", -16},
      {"Service Unavailable (version up)", -15},
      {"Service Unavailable", -14},
  };
  if (reason == nullptr) return -1;
  for (const auto& entry : kReasons) {
    if (std::strcmp(reason, entry.phrase) == 0) return entry.code;
  }
  return -1;
}
