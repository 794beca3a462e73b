#include "link/control/uircom_mgr.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "link/control/ravix_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/network/tlx_msg.h"
#include "link/os/task_lib.h"
#include "link/os/timer_lib.h"
#include "link/os/tlx_log.h"
#include "ses/ses_bytes.h"
#include "ses/ses_message.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

constexpr int kRepeatMs = 250;
constexpr int kReleaseGapMs = 20;
constexpr int kResendMs = 3000;
constexpr int kResendMax = 5;
constexpr int kLearnWaitMs = 5000;
constexpr int kConfigWaitMs = 3500;
constexpr int kTaskMissing = -122;
constexpr int kTaskEndMs = 5000;
constexpr int kShortBlock = 9;
constexpr int kLongBlock = 260;
constexpr int kNameSize = 64;
constexpr int kEntryOffsets[2] = {6, 139};

// Learning states.
enum LearnState : int {
  kIdle = 0,
  kStartSent = 1,
  kLearning = 2,
  kCaptureSent = 3,
  kCapturing = 4,
  kStopSent = 5,
  kCaptureStopSent = 6,
};

// Results of the learning calls.
constexpr int kResultWrongState = 3;
constexpr int kResultNotSent = 6;
constexpr int kResultNoStart = 2;

// Callback statuses.
constexpr int kStatusLearnFailed = 2;
constexpr int kStatusStopFailed = 3;
constexpr int kStatusDataError = 4;
constexpr int kStatusDataRefused = 5;
constexpr int kStatusNoAnswer = 6;

std::chrono::milliseconds Scaled(int ms) {
  return std::chrono::milliseconds(TimeoutMilliseconds(ms, TimeoutUnit::kMilliseconds));
}

TLX_ITIMERSPEC Delay(int ms) { return {ms / 1000, (ms % 1000) * 1000000, 0, 0}; }

// The "UiRcom" group: frames of the base go to the learning handler.
class UiRcomMsg final : public TLXMsg {
 public:
  UiRcomMsg() : TLXMsg("UiRcom", kRcomGroupMax) {}

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override;

 private:
  uint8_t payload_[kRcomGroupMax] = {};
};

// A deferred callback, made under the learning lock and called after it.
using Report = std::function<void()>;

struct Manager {
  std::mutex lifeLock;  // start and shut-down
  std::unique_ptr<UiRcomMsg> group;
  int task = 0;
  std::atomic<bool> exists{false};

  // The repeater.
  std::mutex repeatLock;
  std::vector<uint8_t> pendingBlock;  // under repeatLock; empty: none
  uint64_t pressCount = 0;            // under repeatLock
  int repeatTimer = -1;

  // The learning object.
  std::mutex learnLock;
  std::condition_variable changed;
  int state = kIdle;
  TLX_UIRCOM_CALLBACK callback = nullptr;
  intptr_t user = 0;
  int flags = 0;
  std::vector<uint8_t> kept;  // the message resent until answered; empty: none
  int resends = 0;
  uint64_t resendArm = 0;
  int resendTimer = -1;
  bool configAnswered = false;
  int configStatus = -1;
};

Manager& mgr() {
  static Manager instance;
  return instance;
}

// Sends the data as one kind-1 frame to the base: 0, -1, or -128 for a bad
// length.
int SendFrame(const uint8_t* data, int length) {
  Manager& m = mgr();
  uint8_t frame[kRcomFrameMax];
  const int size = UiRcom_Frame(kRcomShort, data, length, frame);
  if (size < 0) {
    tlxLog("[ERR] [UiRcomMgr] UiRcomMgrMsg::send() Parameter error. (size:%d)\n", length);
    return size;
  }
  return HnetMgr_SendData(m.group.get(), 0, frame, size);
}

int SendBlock(std::vector<uint8_t> block, uint8_t phase) {
  block[1] = phase;
  return SendFrame(block.data(), static_cast<int>(block.size()));
}

void RepeatTimer(int, intptr_t press) {
  Manager& m = mgr();
  std::lock_guard guard(m.repeatLock);
  if (m.pendingBlock.empty() || static_cast<uint64_t>(press) != m.pressCount) return;
  SendBlock(std::move(m.pendingBlock), 0);
  m.pendingBlock.clear();
}

void Press(std::vector<uint8_t> block) {
  Manager& m = mgr();
  intptr_t press;
  {
    std::lock_guard guard(m.repeatLock);
    if (!m.pendingBlock.empty()) SendBlock(std::move(m.pendingBlock), 0);
    m.pendingBlock = std::move(block);
    press = static_cast<intptr_t>(++m.pressCount);
  }
  // Outside the lock: a restart waits for a firing callback, which takes it.
  timer_connect(m.repeatTimer, RepeatTimer, press);
  const TLX_ITIMERSPEC delay = Delay(kRepeatMs);
  timer_settime(m.repeatTimer, 0, &delay, nullptr);
}

int Release() {
  Manager& m = mgr();
  bool sent = false;
  {
    std::lock_guard guard(m.repeatLock);
    if (!m.pendingBlock.empty()) {
      SendBlock(std::move(m.pendingBlock), 1);
      m.pendingBlock.clear();
      sent = true;
    }
  }
  if (sent) std::this_thread::sleep_for(Scaled(kReleaseGapMs));
  const uint8_t release[1] = {kRcomRelease};
  return SendFrame(release, 1);
}

void ResendTimer(int, intptr_t arm);

// Arms the resend timer for the kept message. Outside learnLock.
void ArmResend(uint64_t arm) {
  Manager& m = mgr();
  timer_connect(m.resendTimer, ResendTimer, static_cast<intptr_t>(arm));
  const TLX_ITIMERSPEC delay = Delay(kResendMs);
  timer_settime(m.resendTimer, 0, &delay, nullptr);
}

Report StatusReport(Manager& m, int status) {
  TLX_UIRCOM_CALLBACK callback = m.callback;
  const intptr_t user = m.user;
  if (callback == nullptr) return {};
  return [=] { callback(1, 0, status, user); };
}

// Sends a learning message and keeps it for resending. Under learnLock;
// the caller arms the timer with the returned arm number (0: not sent).
uint64_t SendKept(Manager& m, std::vector<uint8_t> message) {
  if (SendFrame(message.data(), static_cast<int>(message.size())) != 0) return 0;
  m.kept = std::move(message);
  m.resends = 0;
  return ++m.resendArm;
}

void StopResending(Manager& m) {
  m.kept.clear();
  ++m.resendArm;
}

void ResendTimer(int, intptr_t arm) {
  Manager& m = mgr();
  Report report;
  uint64_t again = 0;
  {
    std::lock_guard guard(m.learnLock);
    if (m.kept.empty() || static_cast<uint64_t>(arm) != m.resendArm) return;
    if (m.resends < kResendMax && SendFrame(m.kept.data(), static_cast<int>(m.kept.size())) == 0) {
      ++m.resends;
      again = ++m.resendArm;
    } else {
      StopResending(m);
      m.state = kIdle;
      report = StatusReport(m, kStatusNoAnswer);
      m.changed.notify_all();
    }
  }
  if (again != 0) ArmResend(again);
  if (report) report();
}

// The learned code of answer 153 (already checked), plain or sealed.
Report Deliver(Manager& m, const uint8_t* code, int length) {
  TLX_UIRCOM_CALLBACK callback = m.callback;
  const intptr_t user = m.user;
  if (callback == nullptr) return {};
  auto bytes = std::make_shared<std::vector<uint8_t>>(code, code + length);
  if (m.flags & 1) {
    SesBytes sealed;
    if (!SesMessage::seal(code, static_cast<size_t>(length), kRcomKeyText, sealed)) {
      return [=] { callback(1, 0, kStatusDataError, user); };
    }
    bytes->assign(sealed.data(), sealed.data() + sealed.size());
  }
  return [=] { callback(0, reinterpret_cast<intptr_t>(bytes->data()), static_cast<int>(bytes->size()), user); };
}

// One good frame's data from the base. Under learnLock.
Report Learning(Manager& m, const uint8_t* d, int n) {
  switch (d[0]) {
    case kRcomLearnAnswer:
      if (n < 3) break;
      if (m.state == kStartSent && d[2] == 1) {
        StopResending(m);
        if (d[1] == 0) {
          m.state = kLearning;
          return {};
        }
        m.state = kIdle;
        return StatusReport(m, kStatusLearnFailed);
      }
      if (m.state == kStopSent && d[2] == 0) {
        StopResending(m);
        if (d[1] == 0) {
          m.state = kIdle;
          return {};
        }
        return StatusReport(m, kStatusStopFailed);
      }
      break;
    case kRcomCaptureAnswer:
      if (n < 3) break;
      if (m.state == kCaptureSent && d[2] == 0) {
        StopResending(m);
        if (d[1] == 0) {
          m.state = kCapturing;
          return {};
        }
        m.state = kLearning;
        return StatusReport(m, kStatusLearnFailed);
      }
      if (m.state == kCaptureStopSent && d[2] == 1) {
        StopResending(m);
        if (d[1] == 0) {
          m.state = kLearning;
          return {};
        }
        return StatusReport(m, kStatusStopFailed);
      }
      break;
    case kRcomLearnedData: {
      if (m.state != kCapturing) break;
      m.state = kLearning;
      const uint8_t ack[1] = {kRcomLearnedAck};
      SendFrame(ack, 1);
      if (n < 2 || d[1] != 0) return StatusReport(m, n >= 2 && d[1] == 2 ? kStatusDataRefused : kStatusDataError);
      const int length = n >= 7 ? d[5] | d[6] << 8 : -1;
      if (length < 0 || length > n - 7 || length > kRcomLearnedMax) {
        tlxLog("[ERR] [UiRcomMgr] learned data: length %d does not fit %d bytes\n", length, n);
        return StatusReport(m, kStatusDataError);
      }
      return Deliver(m, d + 7, length);
    }
    case kRcomConfigAnswer:
      if (n < 2) break;
      m.configStatus = d[1];
      m.configAnswered = true;
      break;
    default:
      tlxLog("[ERR] [UiRcomMgr] Received unknown event.(ID = %d)\n", d[0]);
      break;
  }
  return {};
}

int UiRcomMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* f) {
  const int size = header.length;
  if (size < 5 || size > kRcomGroupMax) {
    tlxLog("[ERR] [UiRcomMgr] msgQRecvAction() Length of command is wrong.(%d)\n", size);
    return 0;
  }
  if (static_cast<uint8_t>(f[0] + f[1] + f[2]) != f[3]) {
    tlxLog("[ERR] [UiRcomMgr] msgQRecvAction() Header's checksum error.\n");
    return 0;
  }
  const int data = f[1] << 8 | f[2];
  const bool footer = f[0] == kRcomShort;
  if (data >= 276 || data < 1 || 4 + data + (footer ? 1 : 0) > size) {
    tlxLog("[ERR] [UiRcomMgr] msgQRecvAction() Length of command is wrong.(%d)\n", data);
    return 0;
  }
  if (footer) {
    uint8_t sum = 0;
    for (int i = 0; i < data; ++i) sum += f[4 + i];
    if (sum != f[4 + data]) {
      tlxLog("[ERR] [UiRcomMgr] msgQRecvAction() : Footer's checksum error.\n");
      return 0;
    }
  }
  // A data byte 0 would end the loop; the base must not be able to stop it.
  Manager& m = mgr();
  Report report;
  {
    std::lock_guard guard(m.learnLock);
    report = Learning(m, f + 4, data);
    m.changed.notify_all();
  }
  if (report) report();
  return 0;
}

bool NameValid(const uint8_t* name) {
  for (int i = 0; i < kNameSize && name[i] != 0; ++i) {
    const uint8_t c = name[i];
    if (c < 0x20 || c >= 0x7F || c == '"' || c == ',' || c == ':' || c == '=') return false;
  }
  return true;
}

bool Ready() { return mgr().exists && tlxRavixMgr_GetState() == kRavixPlaying; }

// The learning state back to idle, nothing kept. Under learnLock.
void Reset(Manager& m) {
  StopResending(m);
  m.state = kIdle;
  m.changed.notify_all();
}

}  // namespace

int UiRcom_Frame(int kind, const uint8_t* data, int length, uint8_t* out) {
  if (length < 1 || length > kRcomDataMax) return kRcomSendParameterError;
  const bool footer = kind == kRcomShort;
  const int size = length + (footer ? 5 : 4);
  out[0] = static_cast<uint8_t>(kind);
  out[1] = static_cast<uint8_t>(length >> 8);
  out[2] = static_cast<uint8_t>(length);
  out[3] = static_cast<uint8_t>(out[0] + out[1] + out[2]);
  std::memcpy(out + 4, data, length);
  if (footer) {
    uint8_t sum = 0;
    for (int i = 0; i < length; ++i) sum += data[i];
    out[4 + length] = sum;
  }
  return size;
}

int UiRcomMgr_Init() {
  Manager& m = mgr();
  std::lock_guard guard(m.lifeLock);
  if (m.exists) return 0;
  m.group = std::make_unique<UiRcomMsg>();
  if (timer_create(0, nullptr, &m.repeatTimer) != 0) m.repeatTimer = -1;
  if (timer_create(0, nullptr, &m.resendTimer) != 0) m.resendTimer = -1;
  m.task = m.group->queue() != nullptr && m.repeatTimer >= 0 && m.resendTimer >= 0
               ? taskSpawn("tUiRcom", 91, 0, 8192, tlxMsgTaskEntry,
                           reinterpret_cast<intptr_t>(static_cast<TLXMsg*>(m.group.get())))
               : -1;
  if (m.task <= 0) {
    tlxLog("[ERR] [UiRcomMgr] Failed to create task.\n");
    for (int* timer : {&m.repeatTimer, &m.resendTimer}) {
      if (*timer >= 0) timer_delete(*timer);
      *timer = -1;
    }
    m.group.reset();
    m.task = 0;
    return kTaskMissing;
  }
  {
    std::lock_guard learn(m.learnLock);
    m.state = kIdle;
    m.callback = nullptr;
    m.kept.clear();
  }
  m.exists = true;
  return 0;
}

void UiRcomMgr_Cleanup() {
  Manager& m = mgr();
  std::lock_guard guard(m.lifeLock);
  if (!m.exists) return;
  m.exists = false;
  for (int* timer : {&m.repeatTimer, &m.resendTimer}) {
    timer_delete(*timer);
    *timer = -1;
  }
  {
    std::lock_guard repeat(m.repeatLock);
    m.pendingBlock.clear();
  }
  tlxMsgEndTask(*m.group, m.task, kTaskEndMs);
  m.task = 0;
  m.group.reset();
  std::lock_guard learn(m.learnLock);
  m.callback = nullptr;
  Reset(m);
}

int UiRcomMgr_SendCode(int kind, const uint8_t* code, int length) {
  if (!mgr().exists) return -1;
  SesBytes opened;
  if (code != nullptr && length > 3 && std::memcmp(code, "\xFF\xFF\xFF\xFF", 4) == 0) {
    if (!SesMessage::open(code, static_cast<size_t>(length), kRcomKeyText, opened) || opened.size() == 0) return -1;
    code = opened.data();
    length = static_cast<int>(opened.size());
    if (kind == kRcomLong && length == kRcomCodeMin) kind = kRcomShort;
  }
  if (kind == kRcomShort || kind == kRcomLong) {
    if (code == nullptr || length < kRcomCodeMin || length > kRcomCodeMax) return 0;
    std::vector<uint8_t> block(kind == kRcomShort ? kShortBlock : kLongBlock, 0);
    block[0] = static_cast<uint8_t>(kind);
    block[2] = static_cast<uint8_t>(length);
    block[3] = static_cast<uint8_t>(length >> 8);
    std::memcpy(block.data() + 4, code, std::min<size_t>(length, block.size() - 4));
    Press(std::move(block));
    return 0;
  }
  if (kind == kRcomRelease) return Release();
  return -1;
}

int tlxUiRcomMgr_SendCommand(int kind, const uint8_t* code, int length) {
  return UiRcomMgr_SendCode(kind == kRcomShort && length > 5 ? kRcomLong : kind, code, length);
}

int tlxUiRcomMgrSend(const uint8_t* code, int length) {
  return UiRcomMgr_SendCode(length < 6 ? kRcomShort : kRcomLong, code, length);
}

int tlxUiRcomMgr_StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user) {
  if (!Ready()) return kResultWrongState;
  Manager& m = mgr();
  std::unique_lock lock(m.learnLock);
  if (m.state != kIdle) return kResultWrongState;
  m.callback = callback;
  m.user = user;
  m.flags = flags;
  const uint64_t arm = SendKept(m, {kRcomLearn, 1});
  if (arm == 0) return kResultNotSent;
  m.state = kStartSent;
  lock.unlock();
  ArmResend(arm);
  lock.lock();
  m.changed.wait_for(lock, Scaled(kLearnWaitMs), [&] { return m.state != kStartSent; });
  return m.state == kLearning ? 0 : kResultNoStart;
}

int tlxUiRcomMgr_StopLearning(int wait) {
  Manager& m = mgr();
  std::unique_lock lock(m.learnLock);
  if (!Ready()) {
    m.callback = nullptr;
    Reset(m);
    return 0;
  }
  int result = 0;
  uint64_t arm = 0;
  if (m.state == kCaptureSent || m.state == kCapturing) {
    if (SendFrame(std::vector<uint8_t>{kRcomCapture, 1}.data(), 2) == 0) {
      m.state = kCaptureStopSent;
    } else {
      result = kResultNotSent;
    }
  }
  if (result == 0 && m.state != kIdle) {
    arm = SendKept(m, {kRcomLearn, 0});
    if (arm != 0) {
      m.state = kStopSent;
    } else {
      result = kResultNotSent;
    }
  }
  if (result != 0) {
    m.callback = nullptr;
    Reset(m);
    return result;
  }
  if (arm != 0) {
    lock.unlock();
    ArmResend(arm);
    lock.lock();
  }
  m.callback = nullptr;
  if (wait) {
    m.changed.wait_for(lock, Scaled(kLearnWaitMs), [&] { return m.state != kStopSent; });
    Reset(m);
  }
  return 0;
}

int tlxUiRcomMgr_StartCapture() {
  if (!Ready()) return kResultWrongState;
  Manager& m = mgr();
  std::unique_lock lock(m.learnLock);
  if (m.state != kLearning) return kResultWrongState;
  const uint64_t arm = SendKept(m, {kRcomCapture, 0});
  if (arm == 0) return kResultNotSent;
  m.state = kCaptureSent;
  lock.unlock();
  ArmResend(arm);
  return 0;
}

int tlxUiRcomMgr_StopCapture() {
  Manager& m = mgr();
  if (!m.exists) return kResultWrongState;
  if (tlxRavixMgr_GetState() != kRavixPlaying) return 0;
  std::unique_lock lock(m.learnLock);
  if (m.state != kCaptureSent && m.state != kCapturing) return kResultWrongState;
  const uint64_t arm = SendKept(m, {kRcomCapture, 1});
  if (arm == 0) return kResultNotSent;
  m.state = kCaptureStopSent;
  lock.unlock();
  ArmResend(arm);
  return 0;
}

int tlxUiRcomMgr_GetParameter(int id, char* out, int size) {
  if (id != kRcomKeyParameter || out == nullptr || size < static_cast<int>(sizeof kRcomKeyText)) return -1;
  std::memcpy(out, kRcomKeyText, sizeof kRcomKeyText);
  return 0;
}

bool UiRcomMgr_ConfigValid(const uint8_t block[kRcomConfigBlock]) {
  if (block[0] > 1 || block[1] > 2) return false;
  for (int entry : kEntryOffsets) {
    if (block[entry] > 2 || !NameValid(block + entry + 5) || !NameValid(block + entry + 5 + kNameSize)) return false;
  }
  return true;
}

int UiRcomMgr_SetConfig(const uint8_t block[kRcomConfigBlock]) {
  if (block == nullptr || !UiRcomMgr_ConfigValid(block) || !Ready()) return -1;
  Manager& m = mgr();
  uint8_t message[1 + kRcomConfigBlock];
  message[0] = kRcomConfig;
  std::memcpy(message + 1, block, kRcomConfigBlock);
  std::unique_lock lock(m.learnLock);
  m.configAnswered = false;
  if (SendFrame(message, sizeof message) != 0) return -1;
  m.changed.wait_for(lock, Scaled(kConfigWaitMs), [&] { return m.configAnswered; });
  return m.configAnswered && m.configStatus == 0 ? 0 : -1;
}

}  // namespace tlx::link
