// RTSP messages as they arrive on a connection: a status or request line,
// header lines, and a body of Content-Length bytes. The parser looks at the
// front of a buffer that grows between reads and says how many bytes the
// message (or the refused input) took.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Largest header block (start line to the empty line) and body accepted. A
// message whose Content-Length is over the limit or malformed is refused with
// its header block only; the bytes after it are read as whatever they are.
inline constexpr size_t kRtspMaxHeaderBytes = 8 * 1024;
inline constexpr size_t kRtspMaxBodyBytes = 64 * 1024;

struct RtspMessage {
  bool isResponse = false;
  int statusCode = 0;   // responses
  std::string reason;   // responses; may be empty
  std::string method;   // requests
  std::string url;      // requests
  std::vector<std::pair<std::string, std::string>> headers;  // values without surrounding blanks
  std::string body;

  // The first header of that name (any case), or null.
  const std::string* header(std::string_view name) const;
  // The CSeq value, or -1 when it is missing or not a number.
  long cseq() const;
};

class RtspMessageParser {
 public:
  enum class Result {
    kNeedMore,    // nothing taken; the front may still become a message
    kMessage,     // *message filled; *consumed bytes form it
    kRefused,     // *consumed bytes were a malformed message; *error says why
    kSkipped,     // *consumed bytes belonged to an oversized header block refused before
    kNotMessage,  // the front cannot start a message (caller skips it)
  };
  // Looks at the front of `data`. *consumed is 0 for kNeedMore and kNotMessage.
  Result parse(std::string_view data, RtspMessage* message, size_t* consumed, std::string* error);
  // Forgets an oversized header block still being skipped.
  void reset() { fInLongHeader = false; }

 private:
  bool fInLongHeader = false;  // skipping an oversized header block to its end
};

// The code and reason of a status line "<protocol><version> <code>[ <reason>]"
// (protocol "RTSP/" or "HTTP/"): the code is a whole token of three digits,
// 100 to 999. False, with the reason in *error, for any other line.
bool ParseStatusLine(std::string_view line, std::string_view protocol, int* code, std::string* reason,
                     std::string* error);

// Position just past the empty line that ends a header block at the front of
// `data`, or npos. Lines may end in CRLF or in LF alone.
size_t FindHeaderEnd(std::string_view data);

// True when `data` could be the beginning of an RTSP message: "RTSP/" or an
// upper-case method name followed by a blank (either possibly cut short).
bool LooksLikeRtspStart(std::string_view data);
