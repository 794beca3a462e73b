#include "link/network/link_mgr_client.h"

#include <atomic>
#include <charconv>
#include <mutex>
#include <string>
#include <utility>

#include "com/class_registry.h"
#include "com/counted.h"
#include "link/config/auth_target.h"
#include "link/config/tlx_cfg.h"
#include "link/config/tlx_module.h"
#include "vexlink/vexlink.h"

namespace tlx::link {
namespace {

// Receives the component's messages and hands them to the callback.
class LinkSink final : public com::Counted<IVexlinkSink> {
 public:
  explicit LinkSink(TLX_LINK_CALLBACK callback) : callback_(callback) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IVexlinkSink, object); }
  STDMETHODIMP notify(const uint8_t* data, uint32_t length) override {
    if (data != nullptr && callback_ != nullptr) callback_(data, length);
    return S_OK;
  }

 private:
  const TLX_LINK_CALLBACK callback_;
};

struct Client {
  std::mutex lock;  // the client's lock: everything but the abort of a connect
  tlxModule module;
  LinkSink* sink = nullptr;
  std::atomic<bool> connected{false};
  // Guards `manager` for the abort and the sends, which cannot wait for
  // `lock`, and the hand-over between a connect and its abort.
  std::mutex objectLock;
  IVexlinkManager* manager = nullptr;
  bool connecting = false;
  bool aborted = false;
};

Client& client() {
  static Client instance;
  return instance;
}

// Aborts a connect under way. False when none is.
bool AbortConnect(Client& c) {
  IVexlinkManager* manager;
  {
    std::lock_guard guard(c.objectLock);
    if (!c.connecting || c.manager == nullptr) return false;
    c.aborted = true;
    manager = c.manager;
    manager->AddRef();
  }
  manager->disconnect();
  manager->Release();
  return true;
}

}  // namespace

bool tlxLinkMgrCreate() {
  Client& c = client();
  std::lock_guard guard(c.lock);
  // `manager` changes only under both locks, so the client's lock suffices
  // to read it.
  if (c.manager != nullptr) return true;
  IVexlinkManager* manager = nullptr;
  if (tlxLoadModule(c.module, tlxVexlinkModuleName()) &&
      FAILED(c.module.createInstance(CLSID_VexlinkManager, IID_IVexlinkManager, reinterpret_cast<void**>(&manager)))) {
    manager = nullptr;
    c.module.unload();
  }
  if (manager == nullptr &&
      FAILED(CoCreateInstance(CLSID_VexlinkManager, nullptr, CLSCTX_INPROC_SERVER, IID_IVexlinkManager,
                              reinterpret_cast<void**>(&manager)))) {
    return false;
  }
  c.connected = false;
  std::lock_guard objectGuard(c.objectLock);
  c.manager = manager;
  return true;
}

int tlxLinkMgrConnect(const char* host, int port, const char* proxyHost, int proxyPort) {
  Client& c = client();
  std::lock_guard guard(c.lock);
  if (c.connected) return 0;
  {
    std::lock_guard objectGuard(c.objectLock);
    if (c.manager == nullptr) return -1;
    c.connecting = true;
    c.aborted = false;
  }
  HRESULT result = c.manager->connect(host, port, proxyHost, proxyPort);
  {
    std::lock_guard objectGuard(c.objectLock);
    c.connecting = false;
    // An abort that came as the connect succeeded still ends it.
    if (c.aborted && SUCCEEDED(result)) result = E_ABORT;
  }
  if (result == E_ABORT) c.manager->disconnect();
  if (FAILED(result)) return static_cast<int>(static_cast<uint32_t>(result) & 0xFFFF);
  if (c.sink != nullptr) c.manager->setSink(c.sink);
  c.connected = true;
  return 0;
}

bool tlxLinkMgrDisconnect() {
  Client& c = client();
  if (AbortConnect(c)) return true;
  std::lock_guard guard(c.lock);
  if (c.manager == nullptr || !c.connected) return false;
  c.manager->setSink(nullptr);
  c.manager->disconnect();
  c.connected = false;
  return true;
}

void tlxLinkMgrRelease() {
  Client& c = client();
  tlxLinkMgrDisconnect();
  std::lock_guard guard(c.lock);
  IVexlinkManager* manager;
  {
    std::lock_guard objectGuard(c.objectLock);
    manager = std::exchange(c.manager, nullptr);
  }
  if (manager != nullptr) manager->Release();
  if (c.sink != nullptr) c.sink->Release();
  c.sink = nullptr;
  c.connected = false;
  c.module.unload();
}

HRESULT tlxLinkMgrCall(const void* data, uint16_t length) {
  // Not under the client's lock: a callback may send on the component's
  // receive thread while a disconnect, holding the lock, waits for that
  // thread to end. The component serialises its sends itself.
  Client& c = client();
  IVexlinkManager* manager;
  {
    std::lock_guard guard(c.objectLock);
    manager = c.manager;
    if (manager != nullptr) manager->AddRef();
  }
  if (manager == nullptr) return TLX_E_LINK_SEND;
  const HRESULT result = manager->send(static_cast<const uint8_t*>(data), length);
  manager->Release();
  return FAILED(result) ? TLX_E_LINK_SEND : S_OK;
}

int tlxLinkMgrSetCallback(TLX_LINK_CALLBACK callback) {
  Client& c = client();
  auto* sink = new LinkSink(callback);
  std::lock_guard guard(c.lock);
  if (c.sink != nullptr) c.sink->Release();
  c.sink = sink;
  if (c.connected && c.manager != nullptr && FAILED(c.manager->setSink(sink))) {
    c.sink = nullptr;
    sink->Release();
    return -1;
  }
  return 0;
}

bool tlxLinkMgrConnected() { return client().connected; }

int tlxRavixConnectCode(int connectResult) {
  switch (connectResult) {
    case 0:
      return 0;
    case 4103:
    case 4104:
      return 4;
    case 4106:
      return 1;
    case 4107:
      return 6;
    case 4108:
    case 4117:
      return 7;
    case 4109:
      return 5;
    case 4116:
    case 4122:
      return 3;
    case 4118:
      return 8;
    case 4119:
      return 9;
    case 4120:
      return 10;
    case 4123:
      return 12;
    default:
      return 2;
  }
}

RavixAddress tlxRavixAddress() {
  RavixAddress address{tlxCfgGet("network/ravix/hostname"), 0};
  const std::string portText = tlxCfgGet("network/ravix/port");
  std::from_chars(portText.data(), portText.data() + portText.size(), address.port);
  return address;
}

int tlxRavixConnect() {
  if (tlxLinkMgrConnected()) return 0;
  const RavixAddress base = tlxRavixAddress();
  const TLX_AUTH_TARGET target = tlxAuthTarget();
  const char* proxyHost = target.proxy != 0 ? target.host : nullptr;
  return tlxRavixConnectCode(tlxLinkMgrConnect(base.host.c_str(), base.port, proxyHost, target.port));
}

}  // namespace tlx::link
