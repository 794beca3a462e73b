#include "http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "auth_log.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for `events` or the deadline passes: 1 ready,
// 0 time-out, -1 error.
int WaitReady(int socket, short events, Clock::time_point deadline) {
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return 0;
    pollfd entry{socket, events, 0};
    const int ready = poll(&entry, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    return ready < 0 ? -1 : ready;
  }
}

// Connects with a bounded wait; the socket is blocking again afterwards.
bool ConnectWithin(int socket, const sockaddr* address, socklen_t length, int timeoutSeconds) {
  const int flags = fcntl(socket, F_GETFL);
  if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  bool connected = connect(socket, address, length) == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    int error = 0;
    socklen_t errorLength = sizeof error;
    connected = WaitReady(socket, POLLOUT, deadline) == 1 &&
                getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
  }
  return connected && fcntl(socket, F_SETFL, flags) == 0;
}

// Sends all of data, repeating partial sends after a 1 ms pause. The byte
// count of the failing send, or len when everything went.
ssize_t SendAll(int socket, const char* data, size_t len) {
  size_t sent = 0;
  while (sent < len) {
    const ssize_t result = send(socket, data + sent, len - sent, MSG_NOSIGNAL);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return result;
    sent += static_cast<size_t>(result);
    if (sent < len) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return static_cast<ssize_t>(len);
}

bool SendText(int socket, std::string_view text) {
  return SendAll(socket, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Length of the longest tail of data[0, length) that is a proper beginning of
// the terminator.
size_t PartialTerminator(const char* data, size_t length, std::string_view terminator) {
  for (size_t keep = std::min(length, terminator.size() - 1); keep > 0; --keep) {
    if (std::memcmp(data + length - keep, terminator.data(), keep) == 0) return keep;
  }
  return 0;
}

// True when the peer has shut its side down and the socket holds nothing
// beyond the `held` bytes already seen: they can never be completed. Uses
// scratch (room bytes) for the check and leaves it zeroed.
bool PeerLeftAfter(int socket, size_t held, char* scratch, size_t room) {
  pollfd entry{socket, POLLRDHUP, 0};
  if (poll(&entry, 1, 0) != 1 || (entry.revents & (POLLRDHUP | POLLHUP)) == 0) return false;
  // Bytes sent just before the shutdown may have arrived since the last look.
  const ssize_t pending = recv(socket, scratch, room, MSG_PEEK | MSG_DONTWAIT);
  std::memset(scratch, 0, room);
  return pending == static_cast<ssize_t>(held);
}

}  // namespace

std::string tlxRequestHead(const char* method, const std::string& path, const std::string& host, int port) {
  return tlxFormat("%s %s HTTP/1.1\r\nHost: %s:%d\r\n", method, path.c_str(), host.c_str(), port);
}

std::string tlxChallengeRequest(const std::string& path, const std::string& host, int port) {
  return tlxRequestHead("GET", path, host, port) + "User-Agent: TLXStreamingClient\r\n" + kTlxKeepAliveHeaders +
         kTlxNoCacheHeaders;
}

int tlxHttpConnectTagged(const char* host, int port, const char* tag) {
  if (host == nullptr || !std::isgraph(static_cast<unsigned char>(host[0]))) {
    tlxAuthLog("%sinvalid hostname \"%s\"\n\n", tag, host != nullptr ? host : "(null)");
    return -1;
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
    return -1;
  }
  const int socket = ::socket(addresses->ai_family, addresses->ai_socktype | SOCK_CLOEXEC, addresses->ai_protocol);
  if (socket < 0) {
    freeaddrinfo(addresses);
    tlxAuthLog("%scan't open socket\n\n", tag);
    return -1;
  }
  const bool connected = ConnectWithin(socket, addresses->ai_addr, addresses->ai_addrlen, kTlxHttpTimeoutSeconds);
  freeaddrinfo(addresses);
  if (!connected) {
    close(socket);
    tlxAuthLog("%scan't connect to server\n\n", tag);
    return -1;
  }
  return socket;
}

int tlxHttpConnect(const char* host, int port) { return tlxHttpConnectTagged(host, port, ""); }

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
  ssize_t result = SendAll(socket, sizeLine.data(), sizeLine.size());
  if (result == static_cast<ssize_t>(sizeLine.size()) && data != nullptr) {
    result = SendAll(socket, data, static_cast<size_t>(length));
    if (result == length) result = SendAll(socket, "\r\n", 2) == 2 ? 2 : -1;
  }
  if (result <= 0) {
    tlxAuthLog("%s failed (%d, %d)\n\n", "SendHTTP_chunk", static_cast<int>(result), errno);
    return -1;
  }
  return 0;
}

int ReceiveSocket(char* buffer, int socket, int size, const char* terminator, int timeoutSeconds) {
  if (buffer == nullptr || size < 2) return 0;
  std::memset(buffer, 0, static_cast<size_t>(size));
  const std::string_view term = terminator != nullptr ? terminator : "";
  const size_t capacity = static_cast<size_t>(size) - 1;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  size_t stored = 0;
  while (stored < capacity) {
    const int ready = WaitReady(socket, POLLIN, deadline);
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

    // Consume what was peeked up to the terminator, or, without one, all but
    // a tail that may be its beginning.
    const size_t peekedEnd = stored + static_cast<size_t>(got);
    const size_t searchFrom = stored >= term.size() - 1 ? stored - (term.size() - 1) : 0;
    const size_t found = std::string_view(buffer, peekedEnd).find(term, searchFrom);
    size_t take;
    size_t keep = 0;
    if (found != std::string_view::npos) {
      take = found + term.size() - stored;
    } else if (peekedEnd == capacity) {
      take = static_cast<size_t>(got);
    } else {
      keep = std::min(PartialTerminator(buffer, peekedEnd, term), static_cast<size_t>(got));
      take = static_cast<size_t>(got) - keep;
    }
    if (take > 0) {
      const ssize_t consumed = recv(socket, buffer + stored, take, 0);
      if (consumed != static_cast<ssize_t>(take)) {
        tlxAuthLog("%s: recv returned %d, expected %d\n\n", "ReceiveSocket", static_cast<int>(consumed),
                   static_cast<int>(take));
        std::memset(buffer, 0, static_cast<size_t>(size));
        return -1;
      }
      stored += take;
    }
    std::memset(buffer + stored, 0, peekedEnd - stored);
    if (found != std::string_view::npos) return static_cast<int>(stored);
    if (keep > 0) {
      if (PeerLeftAfter(socket, keep, buffer + stored, capacity - stored)) {
        tlxAuthLog("recv returned %d\n\n", 0);
        std::memset(buffer, 0, static_cast<size_t>(size));
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
