// The records and scripts behind IFakeFilterControl, shared by every fake
// filter: each fake derives from FakeRecorder beside its filter base class,
// answers IID_IFakeFilterControl with it and passes each call on its system
// interfaces through Call.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "dshow/interfaces.h"
#include "fake_filter_control.h"

class FakeRecorder : public IFakeFilterControl {
 public:
  std::vector<std::string> Calls() override;
  void ClearCalls() override;
  void SetResult(const std::string& method, HRESULT result) override;
  void SetValues(const std::string& method, std::vector<long> values) override;
  std::vector<FakeSample> Received() override;
  int EndsOfStream() override;
  // Only a source plays a script.
  HRESULT ScriptEvent(long, LONG_PTR, LONG_PTR) override { return E_NOTIMPL; }
  HRESULT ScriptSample(int, FakeSample) override { return E_NOTIMPL; }
  HRESULT ScriptEndOfStream(int) override { return E_NOTIMPL; }

 protected:
  ~FakeRecorder() = default;

  // Records "method arg arg..." (numbers in decimal, texts as they stand, a
  // null text as "(null)") and returns the method's scripted result: S_OK
  // when the method is to do its work.
  template <typename... Args>
  HRESULT Call(const std::string& method, const Args&... args) {
    std::string text = method;
    (Append(text, args), ...);
    return Record(method, text);
  }
  // The method's scripted result (S_OK when none), without a record: for the
  // filter's own checks, which are no calls on its system interfaces.
  HRESULT ScriptedResult(const std::string& method);
  // The getter's scripted values, padded with zeros to `count`.
  std::vector<long> Values(const std::string& method, size_t count);
  // Keeps a copy of the sample's bytes and times.
  void NoteSample(IMediaSample* sample);
  void NoteEndOfStream();

 private:
  template <typename T>
  static void Append(std::string& text, const T& value) {
    text += ' ';
    if constexpr (std::is_arithmetic_v<T>) {
      text += std::to_string(value);
    } else {
      static_assert(std::is_convertible_v<T, const char*>, "numbers and texts only");
      const char* chars = value;
      text += chars != nullptr ? chars : "(null)";
    }
  }
  HRESULT Record(const std::string& method, std::string call);
  // The scripted result, with lock_ held.
  HRESULT ResultLocked(const std::string& method) const;

  std::mutex lock_;
  std::vector<std::string> calls_;
  std::map<std::string, HRESULT> results_;
  std::map<std::string, std::vector<long>> values_;
  std::vector<FakeSample> received_;
  int endsOfStream_ = 0;
};
