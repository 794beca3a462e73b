// The copy-data transport: another process's window receives a record
// {identifier, bytes} synchronously and answers with a result, as with
// WM_COPYDATA.
//
// A process registers an endpoint under a window class and title; senders find
// it by those names (without regard to case, either may be left open) and send.
// The receiver's handler runs on the endpoint's own thread, one record at a
// time. While it runs it may send records back to the sender (SendCopyData to
// the sender's address, from any thread of the receiving process); they reach
// the sender before its own send returns, on the sending thread. A sender may
// name an endpoint of its own as the sender, so the receiver can also send to
// it later; an anonymous sender gets a name that is valid for its call only.
//
// Records travel over AF_UNIX stream sockets in the abstract namespace. A
// receiver that has died fails a send at once; one that does not answer fails
// it after the time-out. Nothing here waits without a limit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "win32/errors.h"
#include "win32/types.h"

inline constexpr UINT WM_COPYDATA = 0x004A;

// dwData and lpData are pointer-sized (dwData was a 32-bit field in 32-bit
// programs); the record never crosses a process boundary as it is, only its
// identifier and bytes do.
struct COPYDATASTRUCT {
  ULONG_PTR dwData;
  DWORD cbData;
  PVOID lpData;
};
static_assert(sizeof(COPYDATASTRUCT) == 3 * sizeof(void*));
static_assert(offsetof(COPYDATASTRUCT, cbData) == sizeof(void*));
static_assert(offsetof(COPYDATASTRUCT, lpData) == 2 * sizeof(void*));

namespace tlx::win32 {

// Largest record, in bytes. A class and a title together may take about 80
// bytes (less with blanks, '/' or '%', which take three each).
inline constexpr DWORD kCopyDataMaxSize = 1024 * 1024;
// The time-out the command-line client uses unless told otherwise.
inline constexpr DWORD kCopyDataDefaultTimeoutMs = 5000;

// An endpoint's names. Names found by FindCopyDataEndpoint come back in upper
// case; addresses compare without regard to case.
struct CopyDataAddress {
  std::string windowClass;
  std::string windowTitle;
};
bool SameCopyDataAddress(const CopyDataAddress& a, const CopyDataAddress& b);

// A sender without an endpoint of its own: its name is valid for one call.
bool IsAnonymousCopyDataSender(const CopyDataAddress& sender);

// Gets the sender's address and the record; its result is the send's result.
// One zero byte always follows the record's cbData bytes (it is not counted),
// so a reader that stops at a terminator cannot run past the record.
using CopyDataHandler = std::function<LRESULT(const CopyDataAddress& sender, const COPYDATASTRUCT& data)>;

class CopyDataEndpoint {
 public:
  // Serves the address until destroyed. Null when the names are in use
  // (ERROR_ALREADY_EXISTS), too long (ERROR_FILENAME_EXCED_RANGE) or those of
  // an anonymous sender (ERROR_INVALID_PARAMETER).
  static std::unique_ptr<CopyDataEndpoint> Create(const CopyDataAddress& address, CopyDataHandler handler);
  // Stops serving, after the handler has returned if it runs.
  ~CopyDataEndpoint();
  CopyDataEndpoint(const CopyDataEndpoint&) = delete;
  CopyDataEndpoint& operator=(const CopyDataEndpoint&) = delete;

  const CopyDataAddress& address() const;

 private:
  class Server;
  explicit CopyDataEndpoint(std::unique_ptr<Server> server);
  std::unique_ptr<Server> server_;
};

// Finds an endpoint; a null name matches any. FALSE when there is none.
BOOL FindCopyDataEndpoint(const char* windowClass, const char* windowTitle, CopyDataAddress* found);

// Sends the record and waits for the handler's result; timeoutMs bounds each
// wait for the receiver. from: the sender's own endpoint, or null. onReply
// gets the records the receiver sends back meanwhile; its result goes back to
// them. FALSE with ERROR_FILE_NOT_FOUND (no such endpoint), ERROR_TIMEOUT,
// ERROR_BROKEN_PIPE (the receiver ended or dropped the call),
// ERROR_INVALID_DATA (a malformed answer) or ERROR_INVALID_PARAMETER.
BOOL SendCopyData(const CopyDataAddress& to, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT* result,
                  const CopyDataAddress* from = nullptr, const CopyDataHandler& onReply = {});

}  // namespace tlx::win32
