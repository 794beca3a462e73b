// A scripted stand-in for the internet link component: connect answers what
// the test set (at once, or once released or aborted), and every call is
// counted, so a test sees what the link library asked of the component.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "com/counted.h"
#include "export/tlx_export.h"
#include "vexlink/vexlink.h"

#define STUB_API extern "C" TLX_EXPORT

namespace {

struct Script {
  std::mutex lock;
  std::condition_variable changed;
  HRESULT connectResult = S_OK;
  bool blockConnect = false;  // connect waits until released or aborted
  bool factoryFails = false;
  HRESULT setSinkResult = S_OK;
  bool released = false;
  bool connectWaiting = false;
  int connects = 0;
  int disconnects = 0;
  int sends = 0;
  std::string lastSend;
  std::string lastHost;
  IVexlinkSink* sink = nullptr;  // what the component holds
};

Script& script() {
  static Script instance;
  return instance;
}

class StubManager final : public tlx::com::Counted<IVexlinkManager> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IVexlinkManager, object); }
  STDMETHODIMP connect(const char* host, int port, const char* proxyHost, int proxyPort) override {
    Script& s = script();
    std::unique_lock lock(s.lock);
    ++s.connects;
    s.lastHost = std::string(host) + ":" + std::to_string(port) + " proxy " + (proxyHost ? proxyHost : "(null)") +
                 ":" + std::to_string(proxyPort);
    aborted_ = false;
    if (s.blockConnect) {
      s.connectWaiting = true;
      s.changed.notify_all();
      s.changed.wait(lock, [&] { return s.released || aborted_; });
      s.connectWaiting = false;
      if (aborted_) return E_ABORT;
    }
    return s.connectResult;
  }
  STDMETHODIMP disconnect() override {
    Script& s = script();
    std::lock_guard lock(s.lock);
    ++s.disconnects;
    aborted_ = true;
    s.changed.notify_all();
    if (s.sink != nullptr) s.sink->Release();
    s.sink = nullptr;
    return S_OK;
  }
  STDMETHODIMP send(const uint8_t* data, uint32_t length) override {
    Script& s = script();
    std::lock_guard lock(s.lock);
    ++s.sends;
    s.lastSend.assign(reinterpret_cast<const char*>(data), length);
    return length >= vexlink::kMinFrame && length <= vexlink::kMaxFrame ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP setSink(IVexlinkSink* sink) override {
    Script& s = script();
    std::lock_guard lock(s.lock);
    if (FAILED(s.setSinkResult)) return s.setSinkResult;
    if (sink != nullptr) sink->AddRef();
    if (s.sink != nullptr) s.sink->Release();
    s.sink = sink;
    return S_OK;
  }

 private:
  bool aborted_ = false;  // under the script's lock
};

class StubFactory final : public tlx::com::Counted<IClassFactory> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IClassFactory, object); }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** object) override {
    *object = nullptr;
    {
      std::lock_guard lock(script().lock);
      if (script().factoryFails) return E_OUTOFMEMORY;
    }
    auto* manager = new StubManager();
    const HRESULT result = manager->QueryInterface(iid, object);
    manager->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

STUB_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  if (clsid != CLSID_VexlinkManager) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new StubFactory();
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

// The script for what follows; clears the counts.
STUB_API void VexlinkStubScript(HRESULT connectResult, bool blockConnect, bool factoryFails, HRESULT setSinkResult) {
  Script& s = script();
  std::lock_guard lock(s.lock);
  s.connectResult = connectResult;
  s.blockConnect = blockConnect;
  s.factoryFails = factoryFails;
  s.setSinkResult = setSinkResult;
  s.released = false;
  s.connects = s.disconnects = s.sends = 0;
  s.lastSend.clear();
  s.lastHost.clear();
}

// Lets a blocked connect return its scripted result.
STUB_API void VexlinkStubRelease() {
  std::lock_guard lock(script().lock);
  script().released = true;
  script().changed.notify_all();
}

// Waits until a connect blocks; false after a second.
STUB_API bool VexlinkStubWaitConnecting() {
  Script& s = script();
  std::unique_lock lock(s.lock);
  return s.changed.wait_for(lock, std::chrono::seconds(1), [&] { return s.connectWaiting; });
}

STUB_API void VexlinkStubCounts(int* connects, int* disconnects, int* sends) {
  std::lock_guard lock(script().lock);
  *connects = script().connects;
  *disconnects = script().disconnects;
  *sends = script().sends;
}

STUB_API void VexlinkStubLast(char* host, int hostSize, char* sent, int* sentLength) {
  std::lock_guard lock(script().lock);
  std::snprintf(host, static_cast<size_t>(hostSize), "%s", script().lastHost.c_str());
  *sentLength = static_cast<int>(script().lastSend.copy(sent, vexlink::kMaxFrame));
}

// Delivers one message to the sink the component holds, as its receive
// thread would; false without a sink.
STUB_API bool VexlinkStubDeliver(const uint8_t* data, uint32_t length) {
  IVexlinkSink* sink;
  {
    std::lock_guard lock(script().lock);
    sink = script().sink;
    if (sink == nullptr) return false;
    sink->AddRef();
  }
  sink->notify(data, length);
  sink->Release();
  return true;
}
