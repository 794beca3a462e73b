#include "fake_recorder.h"

#include <utility>

std::vector<std::string> FakeRecorder::Calls() {
  std::lock_guard lock(lock_);
  return calls_;
}

void FakeRecorder::ClearCalls() {
  std::lock_guard lock(lock_);
  calls_.clear();
}

void FakeRecorder::SetResult(const std::string& method, HRESULT result) {
  std::lock_guard lock(lock_);
  if (result == S_OK) {
    results_.erase(method);
  } else {
    results_[method] = result;
  }
}

void FakeRecorder::SetValues(const std::string& method, std::vector<long> values) {
  std::lock_guard lock(lock_);
  values_[method] = std::move(values);
}

std::vector<FakeSample> FakeRecorder::Received() {
  std::lock_guard lock(lock_);
  return received_;
}

int FakeRecorder::EndsOfStream() {
  std::lock_guard lock(lock_);
  return endsOfStream_;
}

std::vector<long> FakeRecorder::Values(const std::string& method, size_t count) {
  std::lock_guard lock(lock_);
  std::vector<long> values;
  auto it = values_.find(method);
  if (it != values_.end()) values = it->second;
  values.resize(count, 0);
  return values;
}

void FakeRecorder::NoteSample(IMediaSample* sample) {
  FakeSample copy;
  BYTE* data = nullptr;
  const long length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) copy.bytes.assign(data, data + length);
  if (FAILED(sample->GetTime(&copy.start, &copy.stop))) copy.start = copy.stop = -1;
  std::lock_guard lock(lock_);
  received_.push_back(std::move(copy));
}

void FakeRecorder::NoteEndOfStream() {
  std::lock_guard lock(lock_);
  ++endsOfStream_;
}

HRESULT FakeRecorder::ScriptedResult(const std::string& method) {
  std::lock_guard lock(lock_);
  return ResultLocked(method);
}

HRESULT FakeRecorder::Record(const std::string& method, std::string call) {
  std::lock_guard lock(lock_);
  calls_.push_back(std::move(call));
  return ResultLocked(method);
}

HRESULT FakeRecorder::ResultLocked(const std::string& method) const {
  auto it = results_.find(method);
  return it == results_.end() ? S_OK : it->second;
}
