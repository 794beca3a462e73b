#include "win32/copy_data.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "win32/sockets.h"
#include "win32/synch.h"
#include "win32/text.h"
#include "win32/internal/unix_socket.h"

namespace tlx::win32 {
namespace {

// How long an endpoint waits for the rest of a call that has connected.
constexpr DWORD kCallReadTimeoutMs = 2000;

// Frames: a header {kind, payload length} and the payload.
enum FrameKind : uint32_t {
  kCall = 1,         // sender -> receiver: dwData, sender class and title, bytes
  kReply = 2,        // receiver -> sender during the call: dwData, bytes
  kReplyResult = 3,  // sender -> receiver: the reply's result
  kResult = 4,       // receiver -> sender: the call's result; the call ends
};
struct FrameHeader {
  uint32_t kind;
  uint32_t length;
};
static_assert(sizeof(FrameHeader) == 8);
constexpr uint32_t kMaxNameBytes = 255;
constexpr uint32_t kMaxPayload = kCopyDataMaxSize + 16 + 2 * kMaxNameBytes;

struct Frame {
  uint32_t kind = 0;
  std::string payload;
};

// Names in a socket address: folded, with the bytes that would upset the
// socket listing ('%', '/', blanks, control bytes) written as %XX.
std::string Escape(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : FoldCase(name)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '%' || c == '/') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Key(const CopyDataAddress& address) {
  return Escape(address.windowClass) + "/" + Escape(address.windowTitle);
}

// A transfer's failure as the layer reports it.
DWORD TransferError(int error) {
  return error == 0 ? ERROR_SUCCESS : error == ETIMEDOUT ? ERROR_TIMEOUT : ERROR_BROKEN_PIPE;
}

DWORD WriteFrameBytes(int socket, const void* data, size_t size, Deadline deadline) {
  return TransferError(WriteAll(socket, data, size, deadline));
}

DWORD ReadFrameBytes(int socket, void* data, size_t size, Deadline deadline) {
  return TransferError(ReadAll(socket, data, size, deadline));
}

DWORD SendFrame(int socket, uint32_t kind, const std::string& payload, Deadline deadline) {
  const FrameHeader header{kind, static_cast<uint32_t>(payload.size())};
  DWORD error = WriteFrameBytes(socket, &header, sizeof(header), deadline);
  if (error == ERROR_SUCCESS) error = WriteFrameBytes(socket, payload.data(), payload.size(), deadline);
  return error;
}

DWORD ReceiveFrame(int socket, Frame* frame, Deadline deadline) {
  FrameHeader header{};
  DWORD error = ReadFrameBytes(socket, &header, sizeof(header), deadline);
  if (error != ERROR_SUCCESS) return error;
  if (header.kind < kCall || header.kind > kResult || header.length > kMaxPayload) return ERROR_INVALID_DATA;
  frame->kind = header.kind;
  frame->payload.assign(header.length, '\0');
  return ReadFrameBytes(socket, frame->payload.data(), header.length, deadline);
}

// Reads the fields of a payload, each checked against what is left.
class PayloadReader {
 public:
  explicit PayloadReader(const std::string& payload) : rest_(payload) {}
  template <typename T>
  bool Get(T* value) {
    if (rest_.size() < sizeof(T)) return false;
    std::memcpy(value, rest_.data(), sizeof(T));
    rest_.remove_prefix(sizeof(T));
    return true;
  }
  bool Get(std::string* text, uint32_t size) {
    if (rest_.size() < size) return false;
    text->assign(rest_.substr(0, size));
    rest_.remove_prefix(size);
    return true;
  }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

template <typename T>
void Put(std::string& payload, T value) {
  payload.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

std::string RecordPayload(const COPYDATASTRUCT& data) {
  std::string payload;
  Put<uint64_t>(payload, data.dwData);
  payload.append(static_cast<const char*>(data.lpData), data.cbData);
  return payload;
}

// The record's bytes stay in `bytes`, whose terminator is the zero byte every
// handler finds after cbData.
COPYDATASTRUCT RecordOf(uint64_t identifier, std::string& bytes) {
  return COPYDATASTRUCT{static_cast<ULONG_PTR>(identifier), static_cast<DWORD>(bytes.size()), bytes.data()};
}

bool ValidRecord(const COPYDATASTRUCT& data) {
  return data.cbData <= kCopyDataMaxSize && (data.lpData != nullptr || data.cbData == 0);
}

// A call being handled in this process: the connection to its sender, so
// records sent to the sender meanwhile go back over it.
struct IncomingCall {
  int socket;
  std::mutex lock;        // one reply at a time
  bool finished = false;  // under lock: the result has gone, the call is over
};

struct IncomingCalls {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<IncomingCall>> bySender;
};

IncomingCalls& Incoming() {
  static auto* calls = new IncomingCalls();
  return *calls;
}

std::shared_ptr<IncomingCall> IncomingFrom(const CopyDataAddress& sender) {
  IncomingCalls& calls = Incoming();
  std::lock_guard lock(calls.lock);
  const auto found = calls.bySender.find(Key(sender));
  return found == calls.bySender.end() ? nullptr : found->second;
}

// Sends a record back to the sender of a call in progress. Under call.lock.
BOOL Reply(IncomingCall& call, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT* result) {
  const Deadline deadline = DeadlineAfter(timeoutMs);
  DWORD error = SendFrame(call.socket, kReply, RecordPayload(data), deadline);
  Frame answer;
  if (error == ERROR_SUCCESS) error = ReceiveFrame(call.socket, &answer, deadline);
  int64_t value = 0;
  if (error == ERROR_SUCCESS && (answer.kind != kReplyResult || !PayloadReader(answer.payload).Get(&value))) {
    error = ERROR_INVALID_DATA;
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  if (result != nullptr) *result = static_cast<LRESULT>(value);
  return TRUE;
}

std::atomic<unsigned> g_anonymousSenders{0};
// An anonymous sender's title: this prefix, the process id and a call number.
// No endpoint can be created under a blank class with such a title.
constexpr std::string_view kAnonymousPrefix = "#";

// Connects with a time limit: a receiver that has stopped taking calls fills
// its queue of waiting connections, and a connect without one would then wait
// for it for ever.
DWORD Connect(int socket, const UnixAddress& address, Deadline deadline) {
  const int error = ConnectWithin(socket, address.sockaddr(), address.length, deadline);
  return error == 0 ? ERROR_SUCCESS : error == ETIMEDOUT ? ERROR_TIMEOUT : ERROR_FILE_NOT_FOUND;
}

}  // namespace

DWORD CopyDataSocketAddress(const CopyDataAddress& address, UnixAddress* out) {
  return AbstractAddress("copydata", Key(address), out);
}

bool SameCopyDataAddress(const CopyDataAddress& a, const CopyDataAddress& b) { return Key(a) == Key(b); }

bool IsAnonymousCopyDataSender(const CopyDataAddress& sender) {
  return sender.windowClass.empty() && sender.windowTitle.starts_with(kAnonymousPrefix);
}

class CopyDataEndpoint::Server {
 public:
  Server(CopyDataAddress address, CopyDataHandler handler, Descriptor listener, Descriptor wake)
      : address_(std::move(address)),
        handler_(std::move(handler)),
        listener_(std::move(listener)),
        wake_(std::move(wake)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Server() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake_.get(), &one, sizeof(one));
    thread_.join();
  }
  const CopyDataAddress& address() const { return address_; }

 private:
  void Run() {
    for (;;) {
      pollfd entries[2] = {{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
      if (PollUntil(entries, 2, Deadline::max()) < 0) continue;
      if (entries[1].revents != 0) return;
      const Descriptor connection(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (connection) Serve(connection.get());
    }
  }

  // Takes one call; a malformed or stalled one is dropped.
  void Serve(int connection) {
    Frame call;
    if (ReceiveFrame(connection, &call, DeadlineAfter(kCallReadTimeoutMs)) != ERROR_SUCCESS || call.kind != kCall) {
      return;
    }
    PayloadReader reader(call.payload);
    uint64_t identifier = 0;
    uint32_t classSize = 0;
    uint32_t titleSize = 0;
    CopyDataAddress sender;
    if (!reader.Get(&identifier) || !reader.Get(&classSize) || !reader.Get(&titleSize) || classSize > kMaxNameBytes ||
        titleSize > kMaxNameBytes || !reader.Get(&sender.windowClass, classSize) ||
        !reader.Get(&sender.windowTitle, titleSize) || reader.rest().size() > kCopyDataMaxSize) {
      return;
    }
    std::string bytes(reader.rest());
    const COPYDATASTRUCT data = RecordOf(identifier, bytes);

    auto incoming = std::make_shared<IncomingCall>();
    incoming->socket = connection;
    const std::string key = Key(sender);
    {
      std::lock_guard lock(Incoming().lock);
      Incoming().bySender[key] = incoming;
    }
    const LRESULT result = handler_ ? handler_(sender, data) : 0;
    {
      std::lock_guard lock(Incoming().lock);
      Incoming().bySender.erase(key);
    }
    std::string payload;
    Put<int64_t>(payload, result);
    std::lock_guard lock(incoming->lock);  // a late reply from another thread finishes first
    SendFrame(connection, kResult, payload, DeadlineAfter(kCallReadTimeoutMs));
    incoming->finished = true;
  }

  const CopyDataAddress address_;
  const CopyDataHandler handler_;
  const Descriptor listener_;
  const Descriptor wake_;
  std::thread thread_;
};

std::unique_ptr<CopyDataEndpoint> CopyDataEndpoint::Create(const CopyDataAddress& address, CopyDataHandler handler) {
  if (IsAnonymousCopyDataSender(address)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  UnixAddress socketAddress;
  if (const DWORD error = CopyDataSocketAddress(address, &socketAddress); error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  Descriptor listener = OpenSocket(AF_UNIX, SOCK_STREAM);
  Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!listener || !wake || bind(listener.get(), socketAddress.sockaddr(), socketAddress.length) != 0 ||
      listen(listener.get(), 16) != 0) {
    SetLastError(listener && wake && errno == EADDRINUSE ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return std::unique_ptr<CopyDataEndpoint>(new CopyDataEndpoint(
      std::make_unique<Server>(address, std::move(handler), std::move(listener), std::move(wake))));
}

CopyDataEndpoint::CopyDataEndpoint(std::unique_ptr<Server> server) : server_(std::move(server)) {}
CopyDataEndpoint::~CopyDataEndpoint() = default;
const CopyDataAddress& CopyDataEndpoint::address() const { return server_->address(); }

BOOL FindCopyDataEndpoint(const char* windowClass, const char* windowTitle, CopyDataAddress* found) {
  UnixAddress any;
  if (AbstractAddress("copydata", "", &any) != ERROR_SUCCESS) return FALSE;
  // The listing shows an abstract name as '@' and its bytes.
  const std::string prefix =
      "@" + std::string(any.address.sun_path + 1, any.length - offsetof(sockaddr_un, sun_path) - 1);
  const std::string wantedClass = windowClass != nullptr ? Escape(windowClass) : std::string();
  const std::string wantedTitle = windowTitle != nullptr ? Escape(windowTitle) : std::string();
  std::ifstream listing("/proc/net/unix");
  std::string line;
  while (std::getline(listing, line)) {
    const size_t at = line.find(prefix);
    if (at == std::string::npos) continue;
    const std::string name = line.substr(at + prefix.size());
    const size_t slash = name.find('/');
    if (slash == std::string::npos) continue;
    const std::string escapedClass = name.substr(0, slash);
    const std::string escapedTitle = name.substr(slash + 1);
    if ((windowClass == nullptr || escapedClass == wantedClass) &&
        (windowTitle == nullptr || escapedTitle == wantedTitle)) {
      if (found != nullptr) *found = CopyDataAddress{Unescape(escapedClass), Unescape(escapedTitle)};
      return TRUE;
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

BOOL SendCopyData(const CopyDataAddress& to, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT* result,
                  const CopyDataAddress* from, const CopyDataHandler& onReply) {
  if (!ValidRecord(data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A record for the sender of a call this process is handling goes back
  // over that call; once the call is over it goes the usual way.
  if (const std::shared_ptr<IncomingCall> call = IncomingFrom(to)) {
    std::lock_guard lock(call->lock);
    if (!call->finished) return Reply(*call, data, timeoutMs, result);
  }

  UnixAddress address;
  if (const DWORD error = CopyDataSocketAddress(to, &address); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  const CopyDataAddress sender =
      from != nullptr
          ? *from
          : CopyDataAddress{"", std::string(kAnonymousPrefix) + std::to_string(getpid()) + "." + std::to_string(++g_anonymousSenders)};
  if (sender.windowClass.size() > kMaxNameBytes || sender.windowTitle.size() > kMaxNameBytes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const Descriptor socket = OpenSocket(AF_UNIX, SOCK_STREAM);
  if (!socket) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  const int connection = socket.get();
  if (const DWORD error = Connect(connection, address, DeadlineAfter(timeoutMs)); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  std::string payload;
  Put<uint64_t>(payload, data.dwData);
  Put<uint32_t>(payload, static_cast<uint32_t>(sender.windowClass.size()));
  Put<uint32_t>(payload, static_cast<uint32_t>(sender.windowTitle.size()));
  payload += sender.windowClass;
  payload += sender.windowTitle;
  payload.append(static_cast<const char*>(data.lpData), data.cbData);

  DWORD error = SendFrame(connection, kCall, payload, DeadlineAfter(timeoutMs));
  int64_t value = 0;
  while (error == ERROR_SUCCESS) {
    Frame frame;
    error = ReceiveFrame(connection, &frame, DeadlineAfter(timeoutMs));
    if (error != ERROR_SUCCESS) break;
    PayloadReader reader(frame.payload);
    if (frame.kind == kResult) {
      if (!reader.Get(&value)) error = ERROR_INVALID_DATA;
      break;
    }
    uint64_t identifier = 0;
    if (frame.kind != kReply || !reader.Get(&identifier) || reader.rest().size() > kCopyDataMaxSize) {
      error = ERROR_INVALID_DATA;
      break;
    }
    std::string bytes(reader.rest());
    const LRESULT replyResult = onReply ? onReply(to, RecordOf(identifier, bytes)) : 0;
    std::string answer;
    Put<int64_t>(answer, replyResult);
    error = SendFrame(connection, kReplyResult, answer, DeadlineAfter(timeoutMs));
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  if (result != nullptr) *result = static_cast<LRESULT>(value);
  return TRUE;
}

}  // namespace tlx::win32
