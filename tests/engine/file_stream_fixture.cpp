#include "file_stream_fixture.h"

#include <algorithm>

#include "dshow/guids.h"
#include "graph_inspection.h"

namespace tlx::engine::test {

using com::ComPtr;

std::vector<CLSID> TestFileStream::FilterClasses() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  return GraphFilterClasses(graph.Get());
}

std::vector<std::pair<CLSID, CLSID>> TestFileStream::Connections() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  return GraphConnections(graph.Get());
}

HRESULT TestFileStream::Raise(long code) {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  ComPtr<IMediaEventSink> sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
  return sink ? sink->Notify(code, 0, 0) : E_FAIL;
}

void FileStreamTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_TRUE(stream_.bInitialize(nullptr, nullptr, &FileStreamTest::OnRestart, nullptr, this));
}

void FileStreamTest::TearDown() {
  EXPECT_TRUE(stream_.bCleanup());
  CoUninitialize();
}

std::string FileStreamTest::Fixture(const char* name) { return std::string(MP4_FIXTURE_DIR) + "/" + name; }

void FileStreamTest::OnRestart(int reason, void* user) {
  auto* self = static_cast<FileStreamTest*>(user);
  std::unique_lock<std::mutex> hold(self->lock_);
  self->restarts_.push_back(reason);
  self->changed_.notify_all();
  self->changed_.wait(hold, [self] { return !self->hold_; });
}

void FileStreamTest::HoldRestarts() {
  std::lock_guard<std::mutex> hold(lock_);
  hold_ = true;
}

void FileStreamTest::ReleaseRestarts() {
  std::lock_guard<std::mutex> hold(lock_);
  hold_ = false;
  changed_.notify_all();
}

bool FileStreamTest::WaitForRestarts(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, timeout, [&] { return restarts_.size() >= count; });
}

bool FileStreamTest::WaitForEnds(int count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, timeout,
                           [&] { return std::count(restarts_.begin(), restarts_.end(), 3) >= count; });
}

std::vector<int> FileStreamTest::Restarts() {
  std::lock_guard<std::mutex> hold(lock_);
  return restarts_;
}

}  // namespace tlx::engine::test
