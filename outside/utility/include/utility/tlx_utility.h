// TlxUtility: the outside helpers the stream source calls. Abortable sockets
// (a process-wide registry that an abort shuts down), base64, the quality
// texts of stream paths, and the corruption check of audio frames.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/socket.h>

// The quality of a stream as its path states it. Crosses the library
// boundary, so its layout is fixed.
struct TlxQualityParam {
  uint32_t vbr;     // video bit rate
  uint32_t vmbr;    // video maximum bit rate
  uint32_t vfr;     // frame rate
  uint32_t vw;      // width
  uint32_t vh;      // height
  uint32_t vtype;   // video coding
  uint32_t vfl;     // video flags
  uint32_t abr;     // audio bit rate
  uint32_t ambr;    // audio maximum bit rate
  uint32_t asr;     // audio sample rate
  uint32_t afl;     // audio flags
  uint32_t present; // bit n set: item n (in the order above) is present
};
static_assert(sizeof(TlxQualityParam) == 48);
static_assert(offsetof(TlxQualityParam, vbr) == 0);
static_assert(offsetof(TlxQualityParam, vtype) == 20);
static_assert(offsetof(TlxQualityParam, asr) == 36);
static_assert(offsetof(TlxQualityParam, afl) == 40);
static_assert(offsetof(TlxQualityParam, present) == 44);

extern "C" {

// Abortable sockets. The registry is one per process. An abort is sticky
// until tlxInitAbortion: it wakes every tlxConnect in progress, shuts down
// every registered socket, and makes later connects fail at once.
void tlxRegisterSocket(int s);
// Callers unregister a socket before they close it.
void tlxUnregisterSocket(int s);
void tlxAbortConnection(void);
void tlxInitAbortion(void);
// Shuts the socket down only when it is registered, so a number that was
// closed and reused by another socket is never touched.
void tlxAbortTaskOnSocket(int s);
// Connects within 20 s (the Windows connect time-out the system was written
// against), abortable. The socket is blocking again afterwards. 0, or
// SOCKET_ERROR (-1) with the cause in GetLastSocketError.
int tlxConnect(int s, const struct sockaddr* addr, socklen_t len);
// Sends the whole buffer (never raising SIGPIPE): len, or SOCKET_ERROR.
int tlxsend(int s, const char* buf, int len, int flags);
// The calling thread's last error of these functions in Winsock numbering
// (10004 when an abort ended the call).
int GetLastSocketError(void);

// Standard base64 with padding: 4 × ceil(n / 3) characters and a NUL. Returns
// the number of characters, or -1 when out (outSize bytes) is too small.
int encode64(const void* data, size_t n, char* out, size_t outSize);

// Quality texts are items "name=value", each ended by "."; the names are
// those of TlxQualityParam, the values unsigned decimal numbers of 32 bits. A
// final "/" (the end of a stream path) is accepted.
//
// Strict: every item known and well formed, none repeated, and asr, vw, vh
// and vfr present. Then fills *rec (absent items zero and not present) and
// returns 0; otherwise returns non-zero and leaves *rec untouched.
int getDspQuality(const char* text, TlxQualityParam* rec);
// Lenient: takes every well-formed known item, ignores the rest, and leaves
// the fields of absent items as they were. Returns 0 when it took an item.
int StringToQualityParam(const char* text, TlxQualityParam* rec);
// Writes the present items in the record's order, each as "name=value.",
// with a NUL. Returns the text's length, or -1 when it does not fit.
int QualityParamToString(const TlxQualityParam* rec, char* out, size_t outSize);

}  // extern "C"

// How much of an audio frame's tail the corruption check cuts off.
class DataCorruptionCheck {
 public:
  static DataCorruptionCheck& Instance();
  // Always 0: nothing is cut.
  unsigned GetTailSize() const { return 0; }

 private:
  DataCorruptionCheck() = default;
};
