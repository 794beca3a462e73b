// A small HTTP/1.1 client over plain sockets, as the base station speaks it.
#pragma once

#include <cstddef>
#include <string>

#include "win32/sockets.h"

// Every header and body read waits at most this long.
inline constexpr int kTlxHttpTimeoutSeconds = 10;
// Size of every header receive buffer.
inline constexpr int kTlxHttpHeaderSize = 2048;

// Header lines every request to the base station carries.
inline constexpr char kTlxKeepAliveHeaders[] = "Proxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n";
inline constexpr char kTlxNoCacheHeaders[] = "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n";

// The request line and the Host line: "METHOD path HTTP/1.1", "Host: host:port".
std::string tlxRequestHead(const char* method, const std::string& path, const std::string& host, int port);

// A request without credentials, which the base station answers with its
// challenge.
std::string tlxChallengeRequest(const std::string& path, const std::string& host, int port);

// Resolves host (IPv4) and connects a TCP socket to it, waiting at most
// kTlxHttpTimeoutSeconds. The socket, or an empty descriptor. `tag` goes in
// front of each diagnostic ("" or "reg: ").
tlx::win32::Descriptor tlxHttpConnectTagged(const char* host, int port, const char* tag);
tlx::win32::Descriptor tlxHttpConnect(const char* host, int port);

// Sends the header text (which ends with its last line's CRLF) and the empty
// line; with a body, a Content-Length line before the empty line and the body
// after it. Each send waits at most kTlxHttpTimeoutSeconds. 0, or -1 when a
// send fails.
int SendHTTP(const char* header, int socket, const char* body);

// Sends one chunk of a chunked body; null data sends the last chunk, a zero
// length sends nothing. 0, or -1.
int SendHTTP_chunk(int length, int socket, const char* data);

// Receives into buffer (zeroed first, always NUL-terminated) at most size - 1
// bytes within timeoutSeconds. With a terminator it stops right after the
// terminator's first occurrence and leaves every later byte in the socket.
// The number of bytes stored; 0 when size < 2; -1 on time-out, close or error.
int ReceiveSocket(char* buffer, int socket, int size, const char* terminator, int timeoutSeconds);

// Reads a chunked body into out (at most capacity bytes with the NUL). The
// number of data bytes, or -1.
int tlxHttpReadChunked(int socket, char* out, int capacity);

// A response header block split in place; the pointers point into the text
// and are null for an absent header.
struct tlxHttpResponse {
  int status;
  const char* version;
  const char* reason;
  const char* wwwAuthenticate;
  const char* authenticationInfo;
  const char* transferEncoding;
  const char* server;
  const char* body;
  int contentLength;  // 0 when absent
};

// Parses the status line and headers of text (modified in place). 0, or -1
// when the text is not a complete, well-formed header block.
int tlxHttpParseResponse(char* text, tlxHttpResponse* out);

// The code of a reason phrase of the base station (-1 for any other phrase).
int tlxHttpReasonCode(const char* reason);
