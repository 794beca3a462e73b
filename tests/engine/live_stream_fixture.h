// A live stream object over the scripted link library and the fake filter
// modules, with what the tests need to see of its graph and its callbacks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dsound/mixer.h"
#include "engine/fake_filters/fake_filter_control.h"
#include "engine/fake_filters/fake_module_folder.h"
#include "engine/tlx_pc_stm_ravix_if.h"
#include "engine_ini_fixture.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "graph_inspection.h"
#include "support/fake_tlx_bcf.h"

namespace tlx::engine::test {

class TestLiveStream final : public CTlxPcStmRavixIf {
 public:
  using CTlxPcStmRavixIf::bInit;
  using CTlxPcStmRavixIf::bIsMiddleConnecting;
  using CTlxPcStmRavixIf::bReset;
  using CTlxPcStmRavixIf::hAddFilterCom;

  // Runs before every filter the graph build adds (on the building thread).
  std::function<void()> onAddFilter;
  HRESULT hAddFilterCom(const GUID& clsid, const WCHAR* name, const WCHAR* file, IBaseFilter** filter,
                        CTlxPcStmComLoader** loader) override {
    if (onAddFilter) onAddFilter();
    return CTlxPcStmRavixIf::hAddFilterCom(clsid, name, file, filter, loader);
  }
  // Runs with each video renderer the graph build adds (it adds them by
  // class alone), before the build connects it.
  std::function<void(const GUID& clsid, IBaseFilter* renderer)> onRendererAdded;
  HRESULT hAddFilter(const GUID& clsid, const WCHAR* name, IBaseFilter** filter) override {
    const HRESULT hr = CTlxPcStmRavixIf::hAddFilter(clsid, name, filter);
    if (SUCCEEDED(hr) && onRendererAdded) onRendererAdded(clsid, *filter);
    return hr;
  }

  com::ComPtr<IGraphBuilder> Graph() { return com::ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph)); }
  // The first filter of that class in the graph.
  com::ComPtr<IBaseFilter> Filter(const CLSID& clsid) {
    auto found = GraphFiltersOf(Graph().Get(), clsid);
    return found.empty() ? com::ComPtr<IBaseFilter>() : found.front();
  }
  com::ComPtr<IFakeFilterControl> Control(const CLSID& clsid) {
    return Query<IFakeFilterControl>(Filter(clsid).Get(), IID_IFakeFilterControl);
  }
  // The decryptor whose input the source's pin connects to (pin "1": A,
  // the audio path; "2": B, the video path).
  com::ComPtr<IBaseFilter> DecryptorOnPin(const char16_t* id) {
    com::ComPtr<IBaseFilter> source = Filter(CLSID_TlxStreamingClient);
    com::ComPtr<IPin> pin, peer;
    if (!source || FAILED(source->FindPin(id, pin.Receive())) || FAILED(pin->ConnectedTo(peer.Receive()))) return {};
    PIN_INFO info{};
    peer->QueryPinInfo(&info);
    return com::ComPtr<IBaseFilter>::Attach(info.pFilter);
  }
  // Raises an event in the graph as a filter would.
  HRESULT Raise(long code) {
    com::ComPtr<IMediaEventSink> sink = Graph().As<IMediaEventSink>(IID_IMediaEventSink);
    return sink ? sink->Notify(code, 0, 0) : E_FAIL;
  }
  eVMRType RendererInUse() {
    std::lock_guard<std::mutex> hold(m_stateLock);
    return m_eVMRTypeInUse;
  }
  void SetScalingMode(int mode) {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_nScalingMode = mode;
  }
  void SetAvcAllowed(bool allowed) {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_bAvcAllowed = allowed;
  }
  void SetColourSystem(int colourSystem) {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_nColorSystem = colourSystem;
  }
};

// One callback call: notify (event, ok, errorId), TV status (kind, value)
// or restart (reason).
struct CallbackCall {
  char kind;  // 'n', 't' or 'r'
  int a = 0, b = 0, c = 0;
  friend bool operator==(const CallbackCall&, const CallbackCall&) = default;
};
inline void PrintTo(const CallbackCall& call, std::ostream* os) {
  *os << call.kind << "(" << call.a << "," << call.b << "," << call.c << ")";
}
inline CallbackCall N(int event, int ok = 1, int errorId = 0) { return {'n', event, ok, errorId}; }
inline CallbackCall T(int kind, int value) { return {'t', kind, value, 0}; }
inline CallbackCall R(int reason) { return {'r', reason, 0, 0}; }

class LiveStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(modules_.RegisterAll(), S_OK);
    dsound::SetDeviceCounter([] { return 1u; });
    stream_ = std::make_unique<TestLiveStream>();
    ASSERT_TRUE(stream_->bInitializeTlxBcf(nullptr));
  }
  void TearDown() override {
    stream_.reset();
    dsound::SetDeviceCounter({});
    CoUninitialize();
  }

  // bInitialize with the recording callbacks.
  int Initialize() { return stream_->bInitialize(&OnNotify, &OnTvStatus, &OnRestart, nullptr, this); }

  std::vector<CallbackCall> Callbacks() {
    std::lock_guard<std::mutex> hold(lock_);
    return callbacks_;
  }
  void ClearCallbacks() {
    std::lock_guard<std::mutex> hold(lock_);
    callbacks_.clear();
  }
  bool WaitForCallbacks(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, timeout, [&] { return callbacks_.size() >= count; });
  }
  // While held, a callback waits in its call until released.
  void HoldCallbacks(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    hold_ = on;
    changed_.notify_all();
  }
  std::vector<std::thread::id> CallbackThreads() {
    std::lock_guard<std::mutex> hold(lock_);
    return threads_;
  }

  void ExpectRecord(int line, int errorId) {
    CTlxPcCmnErrInfo info;
    stream_->vGetLastErrorInfo(info);
    EXPECT_EQ(info.nGetProId(), 2);
    EXPECT_EQ(info.nGetClassId(), kTlxPcStmClassRavix);
    EXPECT_EQ(info.nGetLine(), line);
    EXPECT_EQ(info.nGetErrId(), errorId);
  }

  tlx::test::FakeTlxBcf link_;
  FakeModuleFolder modules_;
  EngineIni ini_{""};
  std::unique_ptr<TestLiveStream> stream_;

 private:
  void Note(CallbackCall call) {
    std::unique_lock<std::mutex> hold(lock_);
    callbacks_.push_back(call);
    threads_.push_back(std::this_thread::get_id());
    changed_.notify_all();
    changed_.wait(hold, [this] { return !hold_; });
  }
  static void OnNotify(int event, void* user, int ok, int errorId) {
    static_cast<LiveStreamTest*>(user)->Note(N(event, ok, errorId));
  }
  static void OnTvStatus(int kind, int value, void* user) { static_cast<LiveStreamTest*>(user)->Note(T(kind, value)); }
  static void OnRestart(int reason, void* user) { static_cast<LiveStreamTest*>(user)->Note(R(reason)); }

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<CallbackCall> callbacks_;
  std::vector<std::thread::id> threads_;
  bool hold_ = false;
};

}  // namespace tlx::engine::test
