#include "win32/mailslot.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win32/kernel_object.h"
#include "win32/synch.h"
#include "win32/text.h"
#include "win32/unix_socket.h"

namespace tlx::win32 {
namespace {

// The owner's side. Readers hold it while they wait, so that closing the
// handle (which destroys the object below) can wake them.
class Inbox {
 public:
  Inbox(int socket, int wake, DWORD maxMessageSize, DWORD readTimeout)
      : socket_(socket), wake_(wake), maxMessageSize_(maxMessageSize), readTimeout_(readTimeout) {}
  ~Inbox() {
    close(socket_);
    close(wake_);
  }
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  void Close() {
    closed_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake_, &one, sizeof(one));
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeout_);
    for (;;) {
      if (closed_) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
      }
      if (NextSize() != MAILSLOT_NO_MESSAGE) return true;
      int wait = -1;
      if (readTimeout_ != MAILSLOT_WAIT_FOREVER) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
          SetLastError(ERROR_SEM_TIMEOUT);
          return false;
        }
        wait = static_cast<int>(left.count());
      }
      pollfd entries[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
      poll(entries, 2, wait);
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
    const ssize_t got = recv(socket_, size == 0 ? &empty : buffer, size, MSG_DONTWAIT);
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
      const ssize_t size = recv(socket_, &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
      if (size < 0) return MAILSLOT_NO_MESSAGE;
      if (static_cast<size_t>(size) <= limit) return static_cast<DWORD>(size);
      recv(socket_, &probe, 1, MSG_DONTWAIT);
    }
  }

  const int socket_;
  const int wake_;
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
  explicit MailslotWriter(int socket) : socket_(socket) {}
  ~MailslotWriter() override { close(socket_); }
  bool IsSignaled() const override { return false; }

  bool Write(const void* data, DWORD size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMailslotWriteTimeoutMs);
    for (;;) {
      if (send(socket_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(size)) return true;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        SetLastError(ERROR_BROKEN_PIPE);
        return false;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{socket_, POLLOUT, 0};
      if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
        SetLastError(ERROR_TIMEOUT);
        return false;
      }
    }
  }

 private:
  const int socket_;
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
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (socket < 0 || wake < 0 || bind(socket, address.sockaddr(), address.length) != 0) {
    SetLastError(socket >= 0 && wake >= 0 && errno == EADDRINUSE ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY);
    if (socket >= 0) close(socket);
    if (wake >= 0) close(wake);
    return INVALID_HANDLE_VALUE;
  }
  return RegisterHandle(new Mailslot(std::make_shared<Inbox>(socket, wake, maxMessageSize, readTimeout)));
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
  const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  // Room for the largest message with its bookkeeping.
  const int room = static_cast<int>(4 * kMailslotMaxMessageSize);
  setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &room, sizeof(room));
  if (connect(socket, address.sockaddr(), address.length) != 0) {
    close(socket);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return RegisterHandle(new MailslotWriter(socket));
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
