#include "mfc/copy_data_window.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mfc/internal/message_pump.h"
#include "mfc/internal/window_table.h"
#include "mfc/wnd.h"
#include "win32/synch.h"

namespace tlx::mfc {

using win32::CopyDataAddress;

namespace {

bool ValidRecord(const COPYDATASTRUCT& record) {
  return record.cbData <= win32::kCopyDataMaxSize && (record.lpData != nullptr || record.cbData == 0);
}

}  // namespace

// The state the endpoint's thread, the notice worker, the GUI thread and the
// proxies share. One call is handled at a time.
class CopyDataWindowEndpoint::Core {
 public:
  Core(HWND window, DWORD noticeTimeoutMs) : window_(window), noticeTimeoutMs_(noticeTimeoutMs) {}

  // Starts serving; false with the transport's error.
  bool Serve(const std::shared_ptr<Core>& self, const CopyDataAddress& address);
  void Stop();
  const CopyDataAddress& address() const { return address_; }

  // The proxy's WM_COPYDATA: a reply during the caller's call, else a notice.
  LRESULT Relay(HWND proxy, const CopyDataAddress& caller, const COPYDATASTRUCT& record);

 private:
  // A call handed to the GUI thread; it owns the record it passes, so the
  // work may run after the endpoint gave up waiting.
  struct Call {
    std::string bytes;  // its terminator is the zero byte after cbData
    COPYDATASTRUCT record{};
    HWND proxy = nullptr;
    PendingSend done;
    std::atomic<bool> cancelled{false};
  };
  struct Notice {
    HWND proxy;
    CopyDataAddress to;
    ULONG_PTR identifier;
    std::string bytes;
  };

  LRESULT Deliver(const CopyDataAddress& caller, const COPYDATASTRUCT& data);
  // The caller's proxy, made on first use. Under lock_.
  HWND ProxyFor(const CopyDataAddress& caller);
  // Destroys the proxy and forgets what is queued for it.
  void Drop(HWND proxy);
  void RunNotices();

  const HWND window_;
  const DWORD noticeTimeoutMs_;
  std::weak_ptr<Core> self_;
  CopyDataAddress address_;  // as served; kept beyond the endpoint for the worker
  std::unique_ptr<win32::CopyDataEndpoint> endpoint_;
  std::thread worker_;

  std::mutex lock_;
  std::condition_variable noticesQueued_;
  struct Proxy {
    CopyDataAddress caller;
    HWND handle;
    std::shared_ptr<CWnd> window;
  };
  std::vector<Proxy> proxies_;
  std::deque<Notice> notices_;
  std::shared_ptr<Call> current_;
  HWND callProxy_ = nullptr;  // the proxy of the caller being handled
  bool stopping_ = false;
};

namespace {

// The window that stands for a caller. It has no widget and is no top-level
// window; it takes WM_COPYDATA only.
class CopyDataProxy : public CWnd {
 public:
  CopyDataProxy(std::weak_ptr<CopyDataWindowEndpoint::Core> core, CopyDataAddress caller)
      : core_(std::move(core)), caller_(std::move(caller)) {}
  // Called once, before the handle is handed out.
  void Attach(HWND handle) {
    handle_ = handle;
    m_hWnd = handle;
  }

  LRESULT WindowProc(UINT message, WPARAM /*wParam*/, LPARAM lParam) override {
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto core = core_.lock();
    if (message != WM_COPYDATA || record == nullptr || core == nullptr) return 0;
    return core->Relay(handle_, caller_, *record);
  }

 private:
  const std::weak_ptr<CopyDataWindowEndpoint::Core> core_;
  const CopyDataAddress caller_;
  HWND handle_ = nullptr;
};

// Takes the proxy out of the window table at once; the object itself goes on
// the GUI thread, after whatever message it is handling there.
void DisposeProxy(HWND handle, std::shared_ptr<CWnd> proxy) {
  UnregisterWindow(handle);
  RunOnGui([proxy = std::move(proxy)] {});
}

}  // namespace

bool CopyDataWindowEndpoint::Core::Serve(const std::shared_ptr<Core>& self, const CopyDataAddress& address) {
  self_ = self;
  address_ = address;  // before any call can reach the GUI thread's Relay
  endpoint_ = win32::CopyDataEndpoint::Create(
      address, [this](const CopyDataAddress& caller, const COPYDATASTRUCT& data) { return Deliver(caller, data); });
  if (endpoint_ == nullptr) return false;
  worker_ = std::thread([this] { RunNotices(); });
  return true;
}

void CopyDataWindowEndpoint::Core::Stop() {
  std::shared_ptr<Call> call;
  std::vector<Proxy> proxies;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    call = current_;
    proxies.swap(proxies_);
    notices_.clear();
  }
  noticesQueued_.notify_all();
  if (call != nullptr) {
    call->cancelled = true;
    call->done.Complete(0);
  }
  endpoint_.reset();
  if (worker_.joinable()) worker_.join();
  for (Proxy& proxy : proxies) DisposeProxy(proxy.handle, std::move(proxy.window));
}

LRESULT CopyDataWindowEndpoint::Core::Deliver(const CopyDataAddress& caller, const COPYDATASTRUCT& data) {
  auto call = std::make_shared<Call>();
  call->bytes.assign(static_cast<const char*>(data.lpData), data.cbData);
  call->record = COPYDATASTRUCT{data.dwData, data.cbData, call->bytes.data()};
  {
    std::lock_guard lock(lock_);
    if (stopping_) return 0;
    call->proxy = ProxyFor(caller);
    callProxy_ = call->proxy;
    current_ = call;
  }
  const HWND window = window_;
  LRESULT result = 0;
  const bool queued = RunOnGui([call, window] {
    if (call->cancelled) return;
    call->done.Complete(
        ::SendMessage(window, WM_COPYDATA, reinterpret_cast<WPARAM>(call->proxy), reinterpret_cast<LPARAM>(&call->record)));
  });
  if (queued) call->done.Wait(INFINITE, &result);
  {
    std::lock_guard lock(lock_);
    callProxy_ = nullptr;
    current_.reset();
  }
  if (win32::IsAnonymousCopyDataSender(caller)) Drop(call->proxy);
  return result;
}

HWND CopyDataWindowEndpoint::Core::ProxyFor(const CopyDataAddress& caller) {
  for (const Proxy& proxy : proxies_) {
    if (win32::SameCopyDataAddress(caller, proxy.caller)) return proxy.handle;
  }
  auto window = std::make_shared<CopyDataProxy>(self_, caller);
  WindowState state;
  state.topLevel = false;
  const HWND handle = RegisterWindow(window.get(), state);
  window->Attach(handle);
  proxies_.push_back(Proxy{caller, handle, std::move(window)});
  return handle;
}

void CopyDataWindowEndpoint::Core::Drop(HWND proxy) {
  std::shared_ptr<CWnd> window;
  {
    std::lock_guard lock(lock_);
    const auto found =
        std::find_if(proxies_.begin(), proxies_.end(), [&](const Proxy& p) { return p.handle == proxy; });
    if (found == proxies_.end()) return;
    window = std::move(found->window);
    proxies_.erase(found);
    std::erase_if(notices_, [&](const Notice& notice) { return notice.proxy == proxy; });
  }
  DisposeProxy(proxy, std::move(window));
}

LRESULT CopyDataWindowEndpoint::Core::Relay(HWND proxy, const CopyDataAddress& caller, const COPYDATASTRUCT& record) {
  if (!ValidRecord(record)) return 0;
  {
    std::lock_guard lock(lock_);
    if (stopping_) return 0;
    if (proxy != callProxy_) {
      if (win32::IsAnonymousCopyDataSender(caller)) return 0;  // nowhere to send it once its call is over
      notices_.push_back(
          Notice{proxy, caller, record.dwData, std::string(static_cast<const char*>(record.lpData), record.cbData)});
      noticesQueued_.notify_one();
      return TRUE;
    }
  }
  // A reply waits for the caller, who is waiting for this call; the notice
  // time-out bounds it all the same.
  LRESULT result = 0;
  return win32::SendCopyData(caller, record, noticeTimeoutMs_, &result, &address_) ? result : 0;
}

void CopyDataWindowEndpoint::Core::RunNotices() {
  for (;;) {
    Notice notice;
    {
      std::unique_lock lock(lock_);
      noticesQueued_.wait(lock, [this] { return stopping_ || !notices_.empty(); });
      if (stopping_) return;
      notice = std::move(notices_.front());
      notices_.pop_front();
    }
    const COPYDATASTRUCT record{notice.identifier, static_cast<DWORD>(notice.bytes.size()), notice.bytes.data()};
    LRESULT ignored = 0;
    if (!win32::SendCopyData(notice.to, record, noticeTimeoutMs_, &ignored, &address_)) Drop(notice.proxy);
  }
}

std::unique_ptr<CopyDataWindowEndpoint> CopyDataWindowEndpoint::Create(HWND window, const CopyDataAddress& address,
                                                                       DWORD noticeTimeoutMs) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto core = std::make_shared<Core>(window, noticeTimeoutMs);
  if (!core->Serve(core, address)) return nullptr;
  return std::unique_ptr<CopyDataWindowEndpoint>(new CopyDataWindowEndpoint(std::move(core)));
}

CopyDataWindowEndpoint::CopyDataWindowEndpoint(std::shared_ptr<Core> core) : core_(std::move(core)) {}

CopyDataWindowEndpoint::~CopyDataWindowEndpoint() { core_->Stop(); }

const CopyDataAddress& CopyDataWindowEndpoint::address() const { return core_->address(); }

}  // namespace tlx::mfc
