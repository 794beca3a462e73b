// The scripted stand-in for the link library.
#include "support/fake_tlx_bcf.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace tlx::test {

namespace {

constexpr size_t kSlots = 16;
constexpr size_t kPayloadWords = sizeof(TLX_EVENT_MSG::payload) / sizeof(uint32_t);

// The functions SetResult accepts.
constexpr std::string_view kScripted[] = {
    "tlxInit",
    "tlxHnetMgr_SetConnType",
    "tlxRavixMgr_SetBitrate",
    "tlxRavixMgr_GetBaseInfo",
    "tlxRavixMgr_GetKeyKK",
    "tlxTvMgr_SelectEx",
    "tlxTvMgr_GetVideoIn",
    "tlxTvMgr_SetPictureCtrl",
    "tlxTvMgr_SetTVParams",
    "tlxTvMgr_ChangeAudioBli",
    "tlxUiRcomMgr_SendCommand",
    "tlxUiRcomMgr_StartLearning",
    "tlxUiRcomMgr_StopLearning",
    "tlxUiRcomMgr_StartCapture",
    "tlxUiRcomMgr_StopCapture",
};

std::atomic<FakeTlxBcf*> g_live{nullptr};
thread_local bool t_onEventThread = false;

std::chrono::milliseconds Ms(int timeoutMs) { return std::chrono::milliseconds(timeoutMs); }

}  // namespace

// The table's plain functions, each passing its call to the live fake.
struct FakeTlxBcfEntry {
  static FakeTlxBcf& Live() { return *g_live.load(std::memory_order_acquire); }

  static int Init(int* option) {
    std::vector<int> words;
    if (option != nullptr) words.assign(option, option + 6);
    Live().Record("tlxInit", std::move(words));
    return Live().Result("tlxInit");
  }
  static int Cleanup() {
    Live().Record("tlxCleanup", {});
    return 0;
  }
  static int SetConnType(int type) {
    Live().Record("tlxHnetMgr_SetConnType", {type});
    return Live().Result("tlxHnetMgr_SetConnType");
  }
  static int AuthInit() {
    Live().Record("tlxRavixMgr_AuthInit", {});
    return 0;
  }
  static int ChangeState(int state) { return Live().ChangeState(state); }
  static int SetBitrate(int code, int* out) { return Live().SetBitrate(code, out); }
  static int GetBaseInfo(TLX_BASE_INFO* out) { return Live().GetBaseInfo(out); }
  static int GetKeyKK(char* out, int size) { return Live().GetKeyKK(out, size); }
  static int SelectEx(int input, int mode, int channel, int p4, int p5) {
    Live().Record("tlxTvMgr_SelectEx", {input, mode, channel, p4, p5});
    return Live().Result("tlxTvMgr_SelectEx");
  }
  static int GetVideoIn() {
    Live().Record("tlxTvMgr_GetVideoIn", {});
    return Live().Result("tlxTvMgr_GetVideoIn");
  }
  static int SetPictureCtrl(int v1, int v2, int v3, int v4, int v5) {
    Live().Record("tlxTvMgr_SetPictureCtrl", {v1, v2, v3, v4, v5});
    return Live().Result("tlxTvMgr_SetPictureCtrl");
  }
  static int SetTVParams(int kind, const char* text) {
    Live().Record("tlxTvMgr_SetTVParams", {kind}, text != nullptr ? text : "");
    return Live().Result("tlxTvMgr_SetTVParams");
  }
  static int ChangeAudioBli() {
    Live().Record("tlxTvMgr_ChangeAudioBli", {});
    return Live().Result("tlxTvMgr_ChangeAudioBli");
  }
  static int Attach(TLX_EVENT_CALLBACK callback, void* context, unsigned mask) {
    return Live().Attach(callback, context, mask);
  }
  static int Detach(TLX_EVENT_CALLBACK callback) { return Live().Detach(callback); }
  static int SendCommand(int cmdId, const char* data, int len) { return Live().SendCommand(cmdId, data, len); }
  static int StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user) {
    return Live().StartLearning(callback, flags, user);
  }
  static int StopLearning(int wait) { return Live().StopLearning(wait); }
  static int StartCapture() {
    Live().Record("tlxUiRcomMgr_StartCapture", {});
    return Live().Result("tlxUiRcomMgr_StartCapture");
  }
  static int StopCapture() {
    Live().Record("tlxUiRcomMgr_StopCapture", {});
    return Live().Result("tlxUiRcomMgr_StopCapture");
  }
  static int GetParameter(int id, char* out, int outLen) { return Live().GetParameter(id, out, outLen); }

  static constexpr TlxBcfApiTable kTable{
      Init,         Cleanup,       SetConnType,  AuthInit,     ChangeState,    SetBitrate,  GetBaseInfo,
      GetKeyKK,     SelectEx,      GetVideoIn,   SetPictureCtrl, SetTVParams,  ChangeAudioBli, Attach,
      Detach,       SendCommand,   StartLearning, StopLearning, StartCapture,  StopCapture, GetParameter,
  };
};

FakeTlxBcf::FakeTlxBcf() {
  FakeTlxBcf* expected = nullptr;
  if (!g_live.compare_exchange_strong(expected, this, std::memory_order_acq_rel)) {
    throw std::logic_error("FakeTlxBcf: another fake is alive");
  }
  previous_ = TlxBcfInstallApi(&FakeTlxBcfEntry::kTable);
  eventThread_ = std::thread([this] { RunEvents(); });
}

FakeTlxBcf::~FakeTlxBcf() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  eventThread_.join();
  TlxBcfInstallApi(previous_);
  g_live.store(nullptr, std::memory_order_release);
}

void FakeTlxBcf::SetResult(std::string_view function, int result) {
  if (std::find(std::begin(kScripted), std::end(kScripted), function) == std::end(kScripted)) {
    throw std::invalid_argument("FakeTlxBcf: no scripted result for " + std::string(function));
  }
  std::lock_guard lock(mutex_);
  results_[std::string(function)] = result;
}

void FakeTlxBcf::SetChangeStateResult(int state, int result) {
  std::lock_guard lock(mutex_);
  changeStateResults_[state] = result;
}

void FakeTlxBcf::SetAbortedStartResult(int result) {
  std::lock_guard lock(mutex_);
  abortedStartResult_ = result;
}

void FakeTlxBcf::SetBaseInfo(const TLX_BASE_INFO& info) {
  std::lock_guard lock(mutex_);
  baseInfo_ = info;
}

void FakeTlxBcf::SetKeyKK(const std::string& hexDigits) {
  std::lock_guard lock(mutex_);
  keyKK_ = hexDigits;
}

void FakeTlxBcf::SetBitrateOut(int value) {
  std::lock_guard lock(mutex_);
  bitrateOut_ = value;
}

void FakeTlxBcf::SetParameter(int id, const std::string& text) {
  std::lock_guard lock(mutex_);
  parameters_[id] = text;
}

void FakeTlxBcf::FailAttach(unsigned mask, bool fail) { MarkFailing(failAttach_, mask, fail); }

void FakeTlxBcf::FailDetach(unsigned mask, bool fail) { MarkFailing(failDetach_, mask, fail); }

void FakeTlxBcf::MarkFailing(std::set<unsigned>& failing, unsigned mask, bool fail) {
  std::lock_guard lock(mutex_);
  if (fail) {
    failing.insert(mask);
  } else {
    failing.erase(mask);
  }
}

void FakeTlxBcf::BlockStart(bool on) {
  std::lock_guard lock(mutex_);
  blockStart_ = on;
}

bool FakeTlxBcf::WaitStartBlocked(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, Ms(timeoutMs), [this] { return startBlocked_; });
}

bool FakeTlxBcf::ReleaseStart() {
  {
    std::lock_guard lock(mutex_);
    if (!startBlocked_) return false;
    startReleased_ = true;
  }
  changed_.notify_all();
  return true;
}

void FakeTlxBcf::SetAfterStartHook(std::function<void(int result)> hook) {
  std::lock_guard lock(mutex_);
  afterStartHook_ = std::move(hook);
}

std::vector<FakeTlxBcfCall> FakeTlxBcf::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FakeTlxBcfCall> FakeTlxBcf::CallsOf(std::string_view name) const {
  std::lock_guard lock(mutex_);
  std::vector<FakeTlxBcfCall> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [name](const FakeTlxBcfCall& call) { return call.name == name; });
  return found;
}

int FakeTlxBcf::CountCalls(std::string_view name) const { return static_cast<int>(CallsOf(name).size()); }

bool FakeTlxBcf::WaitForCalls(std::string_view name, int count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, Ms(timeoutMs), [&] {
    return std::count_if(calls_.begin(), calls_.end(),
                         [name](const FakeTlxBcfCall& call) { return call.name == name; }) >= count;
  });
}

std::vector<unsigned> FakeTlxBcf::AttachedMasks() const {
  std::lock_guard lock(mutex_);
  std::vector<unsigned> masks;
  for (const Slot& slot : slots_) masks.push_back(slot.mask);
  return masks;
}

uint64_t FakeTlxBcf::FireEvent(uint32_t eventId, const std::vector<uint32_t>& words) {
  if (words.size() > kPayloadWords) throw std::invalid_argument("FakeTlxBcf: more than 12 payload words");
  Queued item{};
  TLX_EVENT_MSG& message = item.message;
  message.timeStamp = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  message.eventId = eventId;
  message.length = static_cast<uint32_t>(words.size() * sizeof(uint32_t));
  if (!words.empty()) std::memcpy(message.payload, words.data(), message.length);
  return Queue(std::move(item));
}

uint64_t FakeTlxBcf::FireLearning(int what, const std::string& bytes, int value) {
  return Queue({true, {}, what, bytes, value});
}

uint64_t FakeTlxBcf::Queue(Queued item) {
  uint64_t number;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(item));
    number = ++fired_;
  }
  changed_.notify_all();
  return number;
}

bool FakeTlxBcf::WaitDelivered(uint64_t number, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, Ms(timeoutMs), [&] { return delivered_ >= number; });
}

std::thread::id FakeTlxBcf::EventThreadId() const { return eventThread_.get_id(); }

void FakeTlxBcf::Record(const char* name, std::vector<int> ints, std::string text, std::string bytes) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({name, std::move(ints), std::move(text), std::move(bytes)});
  }
  changed_.notify_all();
}

int FakeTlxBcf::Result(std::string_view function) const {
  std::lock_guard lock(mutex_);
  auto found = results_.find(function);
  return found != results_.end() ? found->second : 0;
}

int FakeTlxBcf::ChangeState(int state) {
  Record("tlxRavixMgr_ChangeState", {state});
  int result = 0;
  std::function<void(int)> hook;
  {
    std::unique_lock lock(mutex_);
    auto scripted = changeStateResults_.find(state);
    result = scripted != changeStateResults_.end() ? scripted->second : 0;
    if (state == 3 && startBlocked_) {
      startAborted_ = true;
      changed_.notify_all();
    }
    if (state == 1) {
      if (blockStart_) {
        startBlocked_ = true;
        startReleased_ = false;
        startAborted_ = false;
        changed_.notify_all();
        changed_.wait(lock, [this] { return startReleased_ || startAborted_; });
        if (startAborted_) result = abortedStartResult_;
        startBlocked_ = false;
        startReleased_ = false;
        startAborted_ = false;
      }
      hook = afterStartHook_;
    }
  }
  if (hook) hook(result);
  return result;
}

int FakeTlxBcf::GetBaseInfo(TLX_BASE_INFO* out) {
  Record("tlxRavixMgr_GetBaseInfo", {out != nullptr ? 1 : 0});
  int result = Result("tlxRavixMgr_GetBaseInfo");
  std::lock_guard lock(mutex_);
  if (result == 0 && out != nullptr) *out = baseInfo_;
  return result;
}

int FakeTlxBcf::GetKeyKK(char* out, int size) {
  Record("tlxRavixMgr_GetKeyKK", {size});
  int result = Result("tlxRavixMgr_GetKeyKK");
  std::lock_guard lock(mutex_);
  if (result == 0 && out != nullptr && size > 0) {
    size_t written = std::min(keyKK_.size(), static_cast<size_t>(size) - 1);
    std::memcpy(out, keyKK_.data(), written);
    out[written] = '\0';
  }
  return result;
}

int FakeTlxBcf::SetBitrate(int code, int* out) {
  Record("tlxRavixMgr_SetBitrate", {code, out != nullptr ? 1 : 0});
  int result = Result("tlxRavixMgr_SetBitrate");
  std::lock_guard lock(mutex_);
  if (out != nullptr) *out = bitrateOut_;
  return result;
}

int FakeTlxBcf::SendCommand(int cmdId, const char* data, int len) {
  std::string bytes;
  if (data != nullptr && len > 0) bytes.assign(data, static_cast<size_t>(len));
  Record("tlxUiRcomMgr_SendCommand", {cmdId, len}, {}, std::move(bytes));
  return Result("tlxUiRcomMgr_SendCommand");
}

int FakeTlxBcf::StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user) {
  Record("tlxUiRcomMgr_StartLearning", {flags});
  int result = Result("tlxUiRcomMgr_StartLearning");
  std::lock_guard lock(mutex_);
  if (result == 0) {
    learning_ = callback;
    learningUser_ = user;
  }
  return result;
}

int FakeTlxBcf::StopLearning(int wait) {
  Record("tlxUiRcomMgr_StopLearning", {wait});
  int result = Result("tlxUiRcomMgr_StopLearning");
  if (result != 0) return result;
  // Off the event thread, waiting for the delivery in progress keeps the
  // callback from being called once this returns.
  std::unique_lock<std::mutex> delivery;
  if (!t_onEventThread) delivery = std::unique_lock(deliveryMutex_);
  std::lock_guard lock(mutex_);
  learning_ = nullptr;
  learningUser_ = 0;
  return result;
}

int FakeTlxBcf::GetParameter(int id, char* out, int outLen) {
  Record("tlxUiRcomMgr_GetParameter", {id, outLen});
  std::lock_guard lock(mutex_);
  auto found = parameters_.find(id);
  if (found == parameters_.end() || out == nullptr || outLen <= 0 ||
      found->second.size() >= static_cast<size_t>(outLen)) {
    return -1;
  }
  std::memcpy(out, found->second.c_str(), found->second.size() + 1);
  return 0;
}

int FakeTlxBcf::Attach(TLX_EVENT_CALLBACK callback, void* context, unsigned mask) {
  Record("tlxEventMgrCallbackAttach", {static_cast<int>(mask)});
  if (callback == nullptr || t_onEventThread) return -1;
  std::lock_guard lock(mutex_);
  if (failAttach_.count(mask) != 0) return -1;
  auto slot = std::find_if(slots_.begin(), slots_.end(), [callback](const Slot& s) { return s.callback == callback; });
  if (slot != slots_.end()) {
    slot->context = context;
    slot->mask = mask;
    return 0;
  }
  if (slots_.size() == kSlots) return -1;
  slots_.push_back({callback, context, mask});
  return 0;
}

int FakeTlxBcf::Detach(TLX_EVENT_CALLBACK callback) {
  Record("tlxEventMgrCallbackDetach", {});
  if (callback == nullptr || t_onEventThread) return -1;
  // Waiting for the delivery in progress keeps the callback from being
  // called once this returns.
  std::lock_guard delivery(deliveryMutex_);
  std::lock_guard lock(mutex_);
  auto slot = std::find_if(slots_.begin(), slots_.end(), [callback](const Slot& s) { return s.callback == callback; });
  if (slot == slots_.end() || failDetach_.count(slot->mask) != 0) return -1;
  slots_.erase(slot);
  return 0;
}

void FakeTlxBcf::RunEvents() {
  t_onEventThread = true;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Queued item = std::move(queue_.front());
    queue_.erase(queue_.begin());
    lock.unlock();
    {
      std::lock_guard delivery(deliveryMutex_);
      std::vector<Slot> slots;
      TLX_UIRCOM_CALLBACK learning;
      intptr_t learningUser;
      {
        std::lock_guard snapshot(mutex_);
        slots = slots_;
        learning = learning_;
        learningUser = learningUser_;
      }
      if (!item.learning) {
        for (const Slot& slot : slots) {
          if ((slot.mask & item.message.eventId) != 0) slot.callback(slot.context, &item.message);
        }
      } else if (learning != nullptr) {
        intptr_t data = item.bytes.empty() ? 0 : reinterpret_cast<intptr_t>(item.bytes.data());
        learning(item.what, data, item.value, learningUser);
      }
    }
    lock.lock();
    ++delivered_;
    changed_.notify_all();
  }
}

}  // namespace tlx::test
