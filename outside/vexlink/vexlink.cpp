#include "vexlink/vexlink.h"

#include <netdb.h>
#include <netinet/in.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "com/counted.h"
#include "export/tlx_export.h"
#include "win32/sockets.h"
#include "win32/ticks.h"

namespace {

using tlx::win32::Deadline;
using tlx::win32::Descriptor;

Deadline TicksFromNow(int ticks) { return tlx::win32::DeadlineAfter(TimeoutMilliseconds(ticks, TimeoutUnit::kTicks)); }

bool ResolveIpv4(const char* host, int port, sockaddr_in* out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *out = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  out->sin_port = htons(static_cast<uint16_t>(port));
  freeaddrinfo(found);
  return true;
}

void PutBigEndian16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

uint16_t BigEndian16(const uint8_t* in) { return static_cast<uint16_t>(in[0] << 8 | in[1]); }

class VexlinkManager final : public tlx::com::Counted<IVexlinkManager> {
 public:
  ~VexlinkManager() override { disconnect(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IVexlinkManager, object); }

  STDMETHODIMP connect(const char* host, int port, const char* proxyHost, int) override {
    if (proxyHost != nullptr && *proxyHost != '\0') return E_INVALIDARG;
    EndConnection();
    {
      std::lock_guard lock(lock_);
      aborted_ = false;
    }
    sockaddr_in address;
    if (host == nullptr || *host == '\0' || port <= 0 || port > 0xFFFF || !ResolveIpv4(host, port, &address)) {
      return VEXLINK_E_UNREACHABLE;
    }
    Descriptor socket = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
    if (!socket) return VEXLINK_E_UNREACHABLE;
    {
      std::lock_guard lock(lock_);
      if (aborted_) return E_ABORT;
      pending_ = socket.get();
    }
    const HRESULT result = Hello(socket.get(), address);
    {
      std::lock_guard lock(lock_);
      pending_ = -1;
      if (aborted_) return E_ABORT;
      if (FAILED(result)) return result;
      socket_ = std::move(socket);
      connected_ = true;
      receiver_ = std::thread([this, fd = socket_.get()] { Receive(fd); });
    }
    return S_OK;
  }

  STDMETHODIMP disconnect() override {
    {
      std::lock_guard lock(lock_);
      aborted_ = true;
      if (pending_ >= 0) tlx::win32::WakeBlocked(pending_);
    }
    EndConnection();
    IVexlinkSink* sink;
    {
      std::lock_guard lock(lock_);
      sink = std::exchange(sink_, nullptr);
    }
    if (sink != nullptr) sink->Release();
    return S_OK;
  }

  STDMETHODIMP send(const uint8_t* data, uint32_t length) override {
    if (data == nullptr || length < vexlink::kMinFrame || length > vexlink::kMaxFrame) return E_INVALIDARG;
    std::lock_guard sending(sendLock_);
    int socket;
    {
      std::lock_guard lock(lock_);
      if (!connected_) return E_FAIL;
      socket = socket_.get();
    }
    uint8_t frame[2 + vexlink::kMaxFrame];
    PutBigEndian16(frame, static_cast<uint16_t>(length));
    std::memcpy(frame + 2, data, length);
    if (tlx::win32::WriteAll(socket, frame, 2 + length, TicksFromNow(vexlink::kSendTicks)) != 0) {
      Drop(socket);
      return E_FAIL;
    }
    return S_OK;
  }

  STDMETHODIMP setSink(IVexlinkSink* sink) override {
    if (sink != nullptr) sink->AddRef();
    IVexlinkSink* old;
    {
      std::lock_guard lock(lock_);
      old = std::exchange(sink_, sink);
    }
    if (old != nullptr) old->Release();
    return S_OK;
  }

 private:
  // Connects and exchanges the hello within the answer time.
  HRESULT Hello(int socket, const sockaddr_in& address) {
    const Deadline deadline = TicksFromNow(vexlink::kAnswerTicks);
    if (tlx::win32::ConnectWithin(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address, deadline) != 0) {
      return VEXLINK_E_UNREACHABLE;
    }
    uint8_t hello[vexlink::kHelloSize] = {};
    std::memcpy(hello, vexlink::kMagic, sizeof vexlink::kMagic);
    PutBigEndian16(hello + 4, vexlink::kVersion);
    uint8_t answer[vexlink::kHelloSize];
    if (tlx::win32::WriteAll(socket, hello, sizeof hello, deadline) != 0 ||
        tlx::win32::ReadAll(socket, answer, sizeof answer, deadline) != 0) {
      return VEXLINK_E_UNREACHABLE;
    }
    if (std::memcmp(answer, vexlink::kMagic, sizeof vexlink::kMagic) != 0 ||
        BigEndian16(answer + 4) != vexlink::kVersion) {
      return VEXLINK_E_PROTOCOL;
    }
    const uint16_t status = BigEndian16(answer + 6);
    return status == 0 ? S_OK : VexlinkRefusal(status);
  }

  // The receive thread: one sink call per frame until the connection ends.
  void Receive(int socket) {
    for (;;) {
      uint8_t frame[vexlink::kMaxFrame];
      uint8_t size[2];
      if (tlx::win32::ReadAll(socket, size, sizeof size, Deadline::max()) != 0) break;
      const uint16_t length = BigEndian16(size);
      if (length < vexlink::kMinFrame || length > vexlink::kMaxFrame) break;
      if (tlx::win32::ReadAll(socket, frame, length, Deadline::max()) != 0) break;
      IVexlinkSink* sink;
      {
        std::lock_guard lock(lock_);
        sink = sink_;
        if (sink != nullptr) sink->AddRef();
      }
      if (sink != nullptr) {
        sink->notify(frame, length);
        sink->Release();
      }
    }
    Drop(socket);
  }

  // Shuts the connection, joins its receive thread and closes the socket.
  void EndConnection() {
    std::thread receiver;
    Descriptor socket;
    {
      std::lock_guard lock(lock_);
      if (socket_) tlx::win32::WakeBlocked(socket_.get());
      connected_ = false;
      receiver = std::move(receiver_);
      socket = std::move(socket_);
    }
    if (receiver.joinable()) receiver.join();
  }

  // Ends a connection that failed; the descriptor goes at disconnect.
  void Drop(int socket) {
    std::lock_guard lock(lock_);
    if (socket_.get() != socket) return;
    connected_ = false;
    tlx::win32::WakeBlocked(socket);
  }

  std::mutex lock_;      // everything below
  std::mutex sendLock_;  // one frame at a time
  Descriptor socket_;
  int pending_ = -1;  // the socket of a connect under way
  bool aborted_ = false;
  bool connected_ = false;
  std::thread receiver_;
  IVexlinkSink* sink_ = nullptr;
};

class ManagerFactory final : public tlx::com::Counted<IClassFactory> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IClassFactory, object); }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* manager = new VexlinkManager();
    const HRESULT result = manager->QueryInterface(iid, object);
    manager->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" TLX_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_VexlinkManager) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new ManagerFactory();
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}
