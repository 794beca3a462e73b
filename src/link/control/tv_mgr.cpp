#include "link/control/tv_mgr.h"

#include "link/control/tv_mgr_state.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/config/tlx_cfg.h"
#include "link/network/hnet_mgr.h"
#include "link/network/hnet_sock.h"
#include "link/network/hnet_wack.h"
#include "link/network/kach.h"
#include "link/network/tlx_msg.h"
#include "link/os/event_mgr.h"
#include "link/os/msg_q_lib.h"
#include "link/os/task_lib.h"
#include "link/os/timer_lib.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {

using namespace tv;

Manager& tv::mgr() {
  static Manager instance;
  return instance;
}

namespace {

constexpr int kLocalAnswerTicks = 300;
constexpr int kLinkAnswerTicks = 600;
constexpr int kPlayDelayTicks = 240;
constexpr int kPresetNetDownTicks = 900;
constexpr int kTvEventDepth = 20;
constexpr int kTaskEndMs = 5000;
constexpr int32_t kLocalAvReport = 0;
// The link's signal reading that the minimum is taken for. The keep-alive
// channel has no signal provider on this system, so the reading stays 0.
constexpr int kSignalReading = 0;

// Acknowledgement matching: the action and the parameter words; action 15
// compares the identifier only, action 22 nothing more.
bool Matches(const TvRecord& a, const TvRecord& b) {
  if (a.w[0] != b.w[0]) return false;
  if (a.w[0] == TV_ACT_VIDEO_IN) return true;
  if (a.w[0] == TV_ACT_PRESET_RESULT) return a.w[1] == b.w[1];
  for (int i : {1, 2, 3, 4, 5, 7, 8, 9, 10, 11}) {
    if (a.w[i] != b.w[i]) return false;
  }
  return true;
}

}  // namespace

// Sends a local message to the "TV" group (timer callbacks, local answers).
void tv::PostLocal(int32_t type, const int32_t* words) {
  Manager& m = mgr();
  if (m.group != nullptr) m.group->sendMsgQ("TV", type, words, kTvPayloadSize);
}

namespace {

void AnswerLocally(const TvRecord& record, int32_t status) {
  TvRecord answer = record;
  answer.w[6] = status;
  PostLocal(TV_MSG_ACK, answer.w);
}

void ResponseTimeout(intptr_t) {
  Manager& m = mgr();
  TvRecord record;
  {
    std::lock_guard guard(m.timedLock);
    record = m.timed;
  }
  AnswerLocally(record, kTvNoAnswer);
}

void PlayTimer(intptr_t) {
  Manager& m = mgr();
  int expected = kNotPlaying;
  m.playState.compare_exchange_strong(expected, kPlaying);
}

// Sends a record to the base and starts the response timer. Under m.lock.
void Send(Manager& m, const TvRecord& record) {
  if (record.w[0] == TV_ACT_PRESET_START || record.w[0] == TV_ACT_CHANNEL) m.stopping = false;
  {
    std::lock_guard guard(m.timedLock);
    m.timed = record;
  }
  m.currentSent = eventMgrStamp();
  if (HnetMgr_SendData(m.group.get(), TV_MSG_REQUEST, record.w, kTvPayloadSize) != 0) {
    AnswerLocally(record, kTvNotSent);
    return;
  }
  const int ticks = HnetMgr_SocketKind() == kHnetSockUdp ? kLocalAnswerTicks : kLinkAnswerTicks;
  wdStart(m.responseTimer, ticks, ResponseTimeout, 0);
}

}  // namespace

// Takes a record into the slots. Under m.lock.
void tv::Register(Manager& m, const TvRecord& record) {
  if (!m.started) return;
  if (!m.hasCurrent) {
    m.current = record;
    m.hasCurrent = true;
    if (record.w[12] != -1) m.resumeMode = record.w[12];
    Send(m, m.current);
  } else if (m.hasPending && m.pending.w[0] == TV_ACT_CHANNEL && record.w[0] != TV_ACT_CHANNEL) {
    tlxLog("[INFO] TvMgr: request %d dropped behind a channel change.\n", record.w[0]);
  } else {
    m.pending = record;
    m.hasPending = true;
  }
}

namespace {

// The acknowledged current record goes; a pending one is sent. Under m.lock.
void Next(Manager& m) {
  m.hasCurrent = false;
  if (m.hasPending) {
    m.current = m.pending;
    m.hasPending = false;
    m.hasCurrent = true;
    if (m.current.w[12] != -1) m.resumeMode = m.current.w[12];
    Send(m, m.current);
  }
}

// Resends the current record by its count, or moves on. Under m.lock.
void Resend(Manager& m, const TvRecord& answer, int argument) {
  if (!m.hasCurrent) return;
  if (m.hasPending) {
    Next(m);
    return;
  }
  if (!Matches(answer, m.current)) return;
  int32_t& count = m.current.w[13];
  if ((count == -1 || count == 0) && argument != 0) count = argument;
  if (count == -1) {
    Send(m, m.current);
  } else if (count > 0) {
    --count;
    Send(m, m.current);
  } else {
    Next(m);
  }
}

void ClearSlots(Manager& m) {
  m.hasCurrent = m.hasPending = false;
  wdCancel(m.responseTimer);
}

int BitrateCode(Manager& m) {
  const int level = KACH_WirelessLevel();
  const int connType = tlxHnetMgr_GetConnType();
  if (level != m.lastLevel || connType != m.lastConnType) {
    m.code = TvMgr_LevelRate(m.adapt, m.code, level);
    m.lastLevel = level;
    m.lastConnType = connType;
    tlxLog("[[MPEG_BITRATE]] level %d type %d: rate %d\n", level, connType, m.code);
  }
  if (KACH_ErrorLevel() > 0) {
    m.code = TvMgr_OptimalRate(m.code, connType);
    tlxLog("[[MPEG_BITRATE]] errors: rate %d\n", m.code);
  }
  return m.code;
}

void SaveLastChannel(Manager& m) {
  const std::string text = "0:" + std::to_string(m.lastInput) + ":" + std::to_string(m.biliMode) + ":" +
                           std::to_string(m.lastBand) + ":" + std::to_string(m.lastChannel);
  tlxCfgSet("tvconf/lastch", text.c_str());
}

}  // namespace

int tv::SelectLocked(Manager& m, int input, int band, int channel, int store, int resume) {
  TvRecord r = Blank(TV_ACT_CHANNEL);
  r.w[1] = input;
  r.w[2] = channel;
  r.w[3] = m.biliMode;
  r.w[4] = BitrateCode(m);
  r.w[7] = band;
  r.w[8] = store;
  r.w[10] = TvMgr_PictureWord(m.pictures);
  r.w[12] = resume;
  if (store == 1) {
    m.lastInput = input;
    if (input == 0) {
      m.lastBand = band;
      m.lastChannel = channel;
    }
    SaveLastChannel(m);
  }
  Register(m, r);
  return 0;
}

int tv::LastChannelLocked(Manager& m, int resume) {
  if (m.lastInput == 0) return SelectLocked(m, 0, m.lastBand, m.lastChannel, 0, resume);
  if (m.lastInput >= 1 && m.lastInput <= 3) return SelectLocked(m, m.lastInput, -1, -1, 0, resume);
  return 0;
}

namespace {

void SendAvReport(Manager& m) {
  if (m.stopping) return;
  const int32_t report[kTvPayloadWords] = {TV_EV_AV_SEND, m.avState, BitrateCode(m)};
  HnetMgr_SendData(m.group.get(), TV_MSG_EVENT, report, kTvPayloadSize);
}

void Acknowledge(Manager& m, const TvRecord& r) {
  const int32_t status = r.w[6];
  if (status == kTvNoAnswer) {
    Resend(m, r, 0);
    return;
  }
  if (!m.hasCurrent || !Matches(r, m.current)) return;
  wdCancel(m.responseTimer);
  const int32_t action = r.w[0];
  if ((action == TV_ACT_STOP || action == TV_ACT_CHANNEL) && status == kTvBusy) {
    Resend(m, r, 2);
    return;
  }
  switch (action) {
    case TV_ACT_CHANNEL:
      if (status == kTvRefused) {
        m.playState = kNotPlaying;
        tlxLog("[ERR] TvMgr: channel change refused (status %d)\n", status);
      } else if (!(m.hasPending && m.pending.w[0] == TV_ACT_CHANNEL)) {
        if (tlxHnetMgr_GetConnType() == kConnWlan) {
          wdStart(m.playTimer, kPlayDelayTicks, PlayTimer, 0);
        } else {
          m.playState = kPlaying;
        }
      }
      break;
    case TV_ACT_BILINGUAL:
      if (status == kTvDone) {
        m.biliMode = r.w[1];
        SaveLastChannel(m);
      }
      break;
    case TV_ACT_PRESET_START:
    case TV_ACT_PRESET_RESULT:
    case TV_ACT_PRESET_PROGRESS:
      PresetAnswer(m, r);
      break;
    case TV_ACT_VIDEO_IN: {
      std::lock_guard guard(m.videoLock);
      m.videoInput = status == kTvDone ? r.w[1] : -1;
      m.videoIn = true;
      m.videoAnswered.notify_all();
      break;
    }
    default:
      break;
  }
  Next(m);
}

int ModeClass(int mode) { return mode >= 0 && mode <= 2 ? mode : 0; }

void BaseEvent(Manager& m, const TvRecord& r) {
  switch (r.w[0]) {
    case TV_EV_BILINGUAL: {
      m.biliState = r.w[1];
      if (r.w[1] == 2 && r.w[2] != m.biliMode) {
        tlxLog("[ERR] Bilingual modes of base and portable are not same.\n");
        if (r.w[2] >= 0 && r.w[2] <= 2) m.biliMode = r.w[2];
      }
      const int32_t payload[3] = {r.w[1], ModeClass(r.w[2]), 0};
      eventMgrPost(EVENT_ID_TV, payload, sizeof payload, -1);
      break;
    }
    case TV_EV_AV_STATE:
      m.avState = r.w[1];
      break;
    case TV_EV_AV_SEND:
      m.avSendStatus = r.w[1];
      if (r.w[1] == 2) tlxLog("[INFO] AvSend Start: BASE bitRate=%d PORT bitRate=%d\n", r.w[2], m.code);
      if (r.w[1] == 0) SendAvReport(m);
      tlxLog("[INFO] AvSendSts=%d bRate(B)=%d bRate(P)=%d\n", r.w[1], r.w[2], m.code);
      break;
    case TV_EV_PRESET_DONE:
      tlxLog("[[APRESET]] Receive TVMGR_EVENT_AUTOPRESET_FINISHED\n");
      PresetFinished(m, r);
      break;
    default:
      tlxLog("[ERR] TvMgr: unknown event %d\n", r.w[0]);
      break;
  }
}

void LocalRequest(Manager& m, const TvRecord& r) {
  switch (r.w[0]) {
    case kLocalAvReport:
      SendAvReport(m);
      break;
    case kLocalAskResult:
      AskResult(m);
      break;
    case kLocalEndPreset:
      if (m.preset.id != 0 && (r.w[1] == -1 || r.w[1] == m.preset.id)) EndPreset(m, r.w[2]);
      break;
    default:
      break;
  }
}

}  // namespace

int tv::TvMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) {
  if (header.length != kTvPayloadSize) {
    tlxLog("[ERR] TvMgr: message type %d of %d bytes dropped\n", header.type, header.length);
    return 0;
  }
  TvRecord r = Blank(0);
  std::memcpy(r.w, payload, kTvPayloadSize);
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  switch (header.type) {
    case TV_MSG_REQUEST:
      LocalRequest(m, r);
      break;
    case TV_MSG_ACK:
      Acknowledge(m, r);
      break;
    case TV_MSG_EVENT:
      BaseEvent(m, r);
      break;
    default:
      tlxLog("[ERR] TvMgr: unknown message type %d\n", header.type);
      break;
  }
  return 0;
}

namespace {

// `posted`: the event's stamp. The event may be handled well after it was
// posted, with the network up again and requests sent since: a record that
// went out after the post was sent on the network as it was then (the sending
// path refuses while it is down), so it keeps its slot, its response timer and
// the video-input query that waits for it.
void NetworkDown(Manager& m, uint64_t posted) {
  m.downSince = std::chrono::steady_clock::now();
  m.downKnown = true;
  HnetWack_Cancel("TV");
  if (!(m.hasCurrent && m.currentSent > posted)) {
    {
      std::lock_guard guard(m.videoLock);
      m.videoInput = -1;
      m.videoIn = true;
      m.videoAnswered.notify_all();
    }
    ClearSlots(m);
  }
  wdCancel(m.playTimer);
  m.playState = kNotPlaying;
  if (m.preset.id != 0) wdStart(m.netDownTimer, kPresetNetDownTicks, PresetWatchdog, kPresetNetworkDown);
}

void NetworkUp(Manager& m) {
  const int connType = tlxHnetMgr_GetConnType();
  const int levelRate = TvMgr_LevelRate(m.adapt, m.code, KACH_WirelessLevel());
  const long downMs =
      m.downKnown ? static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - m.downSince)
                                          .count())
                  : -1;
  m.code = TvMgr_RateAfterDown(m.code, levelRate, TvMgr_MinimumRate(kSignalReading, connType), downMs);
  m.downKnown = false;
  tlxLog("[[MPEG_BITRATE]] network up after %ld ms: rate %d\n", downMs, m.code);
  if (m.preset.id != 0) {
    wdCancel(m.netDownTimer);
    TvRecord ask = Blank(TV_ACT_PRESET_PROGRESS);
    ask.w[1] = m.preset.id;
    Register(m, ask);
  } else if (m.resumeMode != -1) {
    LastChannelLocked(m, m.resumeMode);
  }
}

// "tTvMgrEv": network events.
void EventTask(intptr_t) {
  Manager& m = mgr();
  TLX_EVENT_MSG event;
  while (msgQReceive(m.eventQueue, &event, sizeof event, -1) == 0) {
    if (!(event.eventId & EVENT_ID_NETWORK) || event.length < 12) continue;
    int32_t words[3];
    std::memcpy(words, event.payload, sizeof words);
    std::lock_guard guard(m.lock);
    if (words[0] != 0 || words[2] == 2) {
      NetworkDown(m, event.timeStamp);
    } else {
      NetworkUp(m);
    }
  }
}

std::vector<int> ReadList(const char* key, const char* fallback) {
  std::string text = tlxCfgGet(key);
  if (text.empty()) text = fallback;
  std::vector<int> items;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(':', start);
    const std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    items.push_back(item.empty() ? -1 : std::atoi(item.c_str()));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return items;
}

void ReadConfig(Manager& m) {
  const std::vector<int> last = ReadList("tvconf/lastch", "0:0:0:0:2");
  if (last.size() >= 5) {
    m.lastInput = last[1];
    m.biliMode = last[2];
    m.lastBand = last[3];
    m.lastChannel = last[4];
  }
  const std::vector<int> screen = ReadList("tvconf/screen", "15:15:15:15:7");
  for (size_t i = 0; i < 5 && i < screen.size(); ++i) m.pictures[i] = i < 4 ? screen[i] - 16 : screen[i];
}

void WriteConfig(Manager& m) {
  SaveLastChannel(m);
  std::string screen;
  for (int i = 0; i < 5; ++i) screen += (i ? ":" : "") + std::to_string(i < 4 ? m.pictures[i] + 16 : m.pictures[i]);
  tlxCfgSet("tvconf/screen", screen.c_str());
}

void DeleteObjects(Manager& m) {
  for (int* timer : {&m.responseTimer, &m.resultTimer, &m.watchdog, &m.netDownTimer, &m.playTimer}) {
    if (*timer != 0) wdDelete(*timer);
    *timer = 0;
  }
  if (m.eventQueue != nullptr) msgQDelete(m.eventQueue);
  m.eventQueue = nullptr;
  m.group.reset();
}

}  // namespace

int TvMgr_Init(uint32_t optionWord) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.started) return 0;
  m.region = optionWord & 0xFF;
  tlxCfgLoadCategory("tvconf.cfg", 0);
  ReadConfig(m);
  m.hasCurrent = m.hasPending = false;
  m.preset = Preset{};
  m.code = kBitrateInitial;
  m.lastLevel = m.lastConnType = -1;
  m.playState = kNotPlaying;
  m.group = std::make_unique<TvMsg>();
  m.eventQueue = msgQCreate(kTvEventDepth, sizeof(TLX_EVENT_MSG), 0);
  bool ok = m.group->queue() != nullptr && m.eventQueue != nullptr;
  for (int* timer : {&m.responseTimer, &m.resultTimer, &m.watchdog, &m.netDownTimer, &m.playTimer}) {
    *timer = ok ? wdCreate() : 0;
    ok = ok && *timer != 0;
  }
  if (ok) ok = eventMgrQueueAttach(m.eventQueue, EVENT_ID_NETWORK) == 0;
  if (ok) {
    m.eventTask = taskSpawn("tTvMgrEv", 81, 0, 8192, EventTask, 0);
    m.groupTask = taskSpawn("tTvMgr", 90, 0, 8192, tlxMsgTaskEntry,
                            reinterpret_cast<intptr_t>(static_cast<TLXMsg*>(m.group.get())));
    ok = m.eventTask > 0 && m.groupTask > 0;
  }
  if (!ok) {
    tlxLog("[ERR] TvMgr_Init failed.\n");
    if (m.eventQueue != nullptr) eventMgrQueueDetach(m.eventQueue);
    if (m.groupTask > 0) tlxMsgEndTask(*m.group, m.groupTask, kTaskEndMs);
    m.groupTask = 0;
    if (m.eventTask > 0) taskDelete(m.eventTask);
    m.eventTask = 0;
    DeleteObjects(m);
    return -1;
  }
  m.started = true;
  if (m.lastInput == 3) LastChannelLocked(m, -1);
  return 0;
}

void TvMgr_Cleanup() {
  Manager& m = mgr();
  std::unique_lock lock(m.lock);
  if (!m.started) return;
  m.started = false;
  WriteConfig(m);
  ClearSlots(m);
  lock.unlock();
  // The tasks take the lock: they end without it held here.
  eventMgrQueueDetach(m.eventQueue);
  tlxMsgEndTask(*m.group, m.groupTask, kTaskEndMs);
  m.groupTask = 0;
  if (m.eventTask > 0) taskDelete(m.eventTask);
  m.eventTask = 0;
  lock.lock();
  DeleteObjects(m);
}

void TvMgr_ClearRequests() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.started) ClearSlots(m);
}

int TvMgr_PlayState() { return mgr().playState; }

int TvMgr_BitrateCode() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return m.code;
}

}  // namespace tlx::link
