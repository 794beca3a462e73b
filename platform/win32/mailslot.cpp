#include "win32/mailslot.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/kernel_object.h"
#include "win32/sockets.h"
#include "win32/synch.h"
#include "win32/text.h"
#include "win32/unix_socket.h"

namespace tlx::win32 {
namespace {

// The owner's side. Readers hold it while they wait, so that closing the
// handle (which destroys the object below) can wake them.
class Inbox {
 public:
  Inbox(Descriptor socket, Descriptor wake, DWORD maxMessageSize, DWORD readTimeout)
      : socket_(std::move(socket)),
        wake_(std::move(wake)),
        maxMessageSize_(maxMessageSize),
        readTimeout_(readTimeout) {}
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  void Close() {
    closed_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake_.get(), &one, sizeof(one));
  }
  bool closed() const { return closed_; }
  DWORD maxMessageSize() const { return maxMessageSize_; }
  DWORD readTimeout() const { return readTimeout_; }

  // Size of the waiting message, or MAILSLOT_NO_MESSAGE. Messages above the
  // inbox's limit are dropped here.
  DWORD NextSize() {
    std::lock_guard lock(takeLock_);
    return NextSizeLocked();
  }

  // Waits until a message is there (true), the time-out passes or the inbox
  // is closed (false, with the error set).
  bool WaitForMessage() {
    const Deadline deadline = DeadlineAfter(readTimeout_);
    for (;;) {
      if (closed_) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
      }
      if (NextSize() != MAILSLOT_NO_MESSAGE) return true;
      if (MillisecondsLeft(deadline) == 0) {
        SetLastError(ERROR_SEM_TIMEOUT);
        return false;
      }
      pollfd entries[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
      PollUntil(entries, 2, deadline);
    }
  }

  bool Read(void* buffer, DWORD size, DWORD* read) {
    if (!WaitForMessage()) return false;
    // The size seen and the message taken must be the same one, or another
    // reader's take would cut a larger message to this buffer unnoticed.
    std::lock_guard lock(takeLock_);
    const DWORD next = NextSizeLocked();
    if (next == MAILSLOT_NO_MESSAGE) {  // taken by another reader meanwhile
      SetLastError(ERROR_SEM_TIMEOUT);
      return false;
    }
    if (next > size) {
      if (read != nullptr) *read = 0;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    char empty;
    const ssize_t got = recv(socket_.get(), size == 0 ? &empty : buffer, size, MSG_DONTWAIT);
    if (got < 0) {
      SetLastError(ERROR_SEM_TIMEOUT);
      return false;
    }
    if (read != nullptr) *read = static_cast<DWORD>(got);
    return true;
  }

 private:
  // Under takeLock_. Any process can send to the socket, so the maximum holds
  // for an inbox without a limit of its own too.
  DWORD NextSizeLocked() {
    const DWORD limit = maxMessageSize_ == 0 ? kMailslotMaxMessageSize : maxMessageSize_;
    for (;;) {
      char probe;
      const ssize_t size = recv(socket_.get(), &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
      if (size < 0) return MAILSLOT_NO_MESSAGE;
      if (static_cast<size_t>(size) <= limit) return static_cast<DWORD>(size);
      recv(socket_.get(), &probe, 1, MSG_DONTWAIT);
    }
  }

  const Descriptor socket_;
  const Descriptor wake_;
  const DWORD maxMessageSize_;
  const DWORD readTimeout_;
  std::atomic<bool> closed_{false};
  std::mutex takeLock_;
};

class Mailslot final : public KernelObject {
 public:
  explicit Mailslot(std::shared_ptr<Inbox> inbox) : inbox(std::move(inbox)) {}
  ~Mailslot() override { inbox->Close(); }
  bool IsSignaled() const override { return false; }
  const std::shared_ptr<Inbox> inbox;
};

class MailslotWriter final : public KernelObject {
 public:
  explicit MailslotWriter(Descriptor socket) : socket_(std::move(socket)) {}
  bool IsSignaled() const override { return false; }

  // One datagram: it goes whole or not at all.
  bool Write(const void* data, DWORD size) {
    const int error = WriteAll(socket_.get(), data, size, DeadlineAfter(kMailslotWriteTimeoutMs));
    if (error != 0) {
      SetLastError(error == ETIMEDOUT ? ERROR_TIMEOUT : ERROR_BROKEN_PIPE);
      return false;
    }
    return true;
  }

 private:
  const Descriptor socket_;
};

// The socket address of a mailslot name, or an error.
DWORD MailslotAddress(std::string name, UnixAddress* address) {
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  constexpr std::string_view kPrefix = "\\\\.\\mailslot\\";
  if (name.size() <= kPrefix.size() || !EqualsNoCase(std::string_view(name).substr(0, kPrefix.size()), kPrefix)) {
    return ERROR_INVALID_NAME;
  }
  return AbstractAddress("mailslot", FoldCase(std::string_view(name).substr(kPrefix.size())), address);
}

HANDLE CreateMailslot(const std::string& name, DWORD maxMessageSize, DWORD readTimeout) {
  UnixAddress address;
  DWORD error = MailslotAddress(name, &address);
  if (error == ERROR_SUCCESS && maxMessageSize > kMailslotMaxMessageSize) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  Descriptor socket = OpenSocket(AF_UNIX, SOCK_DGRAM);
  Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!socket || !wake || bind(socket.get(), address.sockaddr(), address.length) != 0) {
    SetLastError(socket && wake && errno == EADDRINUSE ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  return RegisterHandle(
      new Mailslot(std::make_shared<Inbox>(std::move(socket), std::move(wake), maxMessageSize, readTimeout)));
}

HANDLE OpenWriter(const std::string& name, DWORD access) {
  UnixAddress address;
  const DWORD error = MailslotAddress(name, &address);
  if (error != ERROR_SUCCESS || (access & GENERIC_WRITE) == 0) {
    SetLastError(error == ERROR_INVALID_NAME ? ERROR_PATH_NOT_FOUND
                 : error != ERROR_SUCCESS    ? error
                                             : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  Descriptor socket = OpenSocket(AF_UNIX, SOCK_DGRAM);
  if (!socket) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  // Room for the largest message with its bookkeeping.
  const int room = static_cast<int>(4 * kMailslotMaxMessageSize);
  setsockopt(socket.get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof(room));
  if (connect(socket.get(), address.sockaddr(), address.length) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return RegisterHandle(new MailslotWriter(std::move(socket)));
}

// The owner's inbox behind a handle; the handle's reference is dropped before
// the caller waits, so closing the handle is not held up.
std::shared_ptr<Inbox> InboxOf(HANDLE handle) {
  ObjectRef<Mailslot> mailslot = ReferenceHandleAs<Mailslot>(handle);
  return mailslot ? mailslot->inbox : nullptr;
}

}  // namespace
}  // namespace tlx::win32

using namespace tlx::win32;

HANDLE CreateMailslotA(LPCSTR name, DWORD maxMessageSize, DWORD readTimeout, void*) {
  return CreateMailslot(name != nullptr ? name : "", maxMessageSize, readTimeout);
}

HANDLE CreateMailslotW(LPCWSTR name, DWORD maxMessageSize, DWORD readTimeout, void*) {
  return CreateMailslot(NarrowText(name), maxMessageSize, readTimeout);
}

BOOL GetMailslotInfo(HANDLE mailslot, LPDWORD maxMessageSize, LPDWORD nextSize, LPDWORD messageCount,
                     LPDWORD readTimeout) {
  const std::shared_ptr<Inbox> inbox = InboxOf(mailslot);
  if (inbox == nullptr) return FALSE;
  const DWORD next = inbox->NextSize();
  if (maxMessageSize != nullptr) *maxMessageSize = inbox->maxMessageSize();
  if (nextSize != nullptr) *nextSize = next;
  if (messageCount != nullptr) *messageCount = next == MAILSLOT_NO_MESSAGE ? 0 : 1;
  if (readTimeout != nullptr) *readTimeout = inbox->readTimeout();
  return TRUE;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD, DWORD, HANDLE) {
  return OpenWriter(name != nullptr ? name : "", access);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD, DWORD, HANDLE) {
  return OpenWriter(NarrowText(name), access);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, void* overlapped) {
  if (read != nullptr) *read = 0;
  if (overlapped != nullptr || (buffer == nullptr && size != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::shared_ptr<Inbox> inbox = InboxOf(file);
  return inbox != nullptr && inbox->Read(buffer, size, read) ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, void* overlapped) {
  if (written != nullptr) *written = 0;
  if (overlapped != nullptr || (buffer == nullptr && size != 0) || size > kMailslotMaxMessageSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ObjectRef<MailslotWriter> writer = ReferenceHandleAs<MailslotWriter>(file);
  if (!writer || !writer->Write(size == 0 ? "" : buffer, size)) return FALSE;
  if (written != nullptr) *written = size;
  return TRUE;
}
