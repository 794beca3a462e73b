// Fetching a file over HTTP.
#pragma once

#include "win32/types.h"

// Fetches "http://host[:port]/path" with one HTTP/1.0 GET and, when the answer
// is 200, writes its whole body byte for byte to `localFile` (created or
// truncated). The body ends at its Content-Length, else where the server
// closes; it may hold at most kTlxPcCmnHttpMaxBody bytes. Each connect, send
// and read waits at most kTlxPcCmnHttpTimeoutMs.
//
// 1 when the file holds the body. 0 for any other scheme, any other status, a
// body shorter than announced or too large, a malformed answer, a time-out or
// any other failure; the local file is then left as it was unless writing it
// failed part-way.
int TlxPcCmnGetFileByHttp(const WCHAR* url, const WCHAR* localFile);

inline constexpr DWORD kTlxPcCmnHttpTimeoutMs = 30000;
inline constexpr size_t kTlxPcCmnHttpMaxBody = 64u << 20;
