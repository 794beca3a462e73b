#include "link/control/tv_mgr.h"

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
namespace {

constexpr int kLocalAnswerTicks = 300;
constexpr int kLinkAnswerTicks = 600;
constexpr int kVideoInTicks = 600;
constexpr int kPlayDelayTicks = 240;
constexpr int kPresetWatchdogTicks = 18000;
constexpr int kPresetNetDownTicks = 900;
constexpr int kTvEventDepth = 20;
constexpr int kRegionKr = 3;
constexpr int kTaskEndMs = 5000;

// Local requests of type 0 (word 0).
constexpr int32_t kLocalAvReport = 0;
constexpr int32_t kLocalAskResult = 15;
constexpr int32_t kLocalEndPreset = 16;

constexpr int kBitrateInitial = 120;
constexpr int kBitrateLowest = 20;
constexpr int kBitrateConfiguredMin = 60;
constexpr int kSignalThreshold = -60;
// The link's signal reading that the minimum is taken for. The keep-alive
// channel has no signal provider on this system, so the reading stays 0.
constexpr int kSignalReading = 0;

constexpr int kPictureTable[15] = {0, 8, 12, 19, 26, 27, 28, 29, 30, 32, 38, 43, 48, 53, 58};
constexpr int kBilingualTable[9][3] = {{0, 1, 2}, {0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {2, 2, 2},
                                       {2, 2, 0}, {1, 2, 1}, {1, 2, 0}, {-1, -1, -1}};

TvRecord Blank(int32_t action) {
  TvRecord r;
  std::fill(std::begin(r.w), std::end(r.w), -1);
  r.w[0] = action;
  return r;
}

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

// The "TV" group: acknowledgements, events and local timer messages.
class TvMsg final : public TLXMsg {
 public:
  TvMsg() : TLXMsg("TV", kTvPayloadSize) {}

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override;

 private:
  uint8_t payload_[kTvPayloadSize] = {};
};

struct Preset {
  int id = 0;  // the running auto-preset, 0 when none runs
  int lastId = 0;
  int band = -1;
  bool resultAsked = false;
  bool resultIn = false;  // the running one's result came
  int resultBand = -1;    // the band of the kept result (of the last good run), -1 for none
  uint8_t table[kPresetTableSize] = {};
};

struct Manager {
  std::mutex lock;  // everything below but the atomics and the timed record
  bool started = false;
  uint32_t region = 0;

  TvRecord current{}, pending{};
  bool hasCurrent = false, hasPending = false;
  int resumeMode = -1;

  // Last channel: input, bilingual mode, band, channel.
  int lastInput = 0, biliMode = 0, lastBand = 0, lastChannel = 2;
  int biliState = 0;
  int avState = 0;
  int avSendStatus = 0;
  int pictures[5] = {-1, -1, -1, -1, 7};
  int parameterKind = 0;
  std::string parameterText;
  Preset preset;

  // Bit-rate adaptation.
  int code = kBitrateInitial;
  bool adapt = true;
  int lastLevel = -1, lastConnType = -1;
  std::chrono::steady_clock::time_point downSince{};
  bool downKnown = false;

  std::atomic<int> playState{kNotPlaying};
  std::atomic<bool> stopping{false};

  // The video-input query's answer.
  std::mutex videoLock;
  std::condition_variable videoAnswered;
  bool videoIn = false;  // under videoLock
  int videoInput = -1;   // under videoLock

  // The record the response timer answers for (its own lock: the timer's
  // callback must not take `lock`, which wdCancel callers hold).
  std::mutex timedLock;
  TvRecord timed{};

  std::unique_ptr<TvMsg> group;
  MSG_Q_ID eventQueue = nullptr;
  int responseTimer = 0, resultTimer = 0, watchdog = 0, netDownTimer = 0, playTimer = 0;
  int groupTask = 0, eventTask = 0;
};

Manager& mgr() {
  static Manager instance;
  return instance;
}

// Sends a local message to the "TV" group (timer callbacks, local answers).
void PostLocal(int32_t type, const int32_t* words) {
  Manager& m = mgr();
  if (m.group != nullptr) m.group->sendMsgQ("TV", type, words, kTvPayloadSize);
}

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

void AskResultTimer(intptr_t) {
  const int32_t words[kTvPayloadWords] = {kLocalAskResult};
  PostLocal(TV_MSG_REQUEST, words);
}

void PresetWatchdog(intptr_t state) {
  const int32_t words[kTvPayloadWords] = {kLocalEndPreset, -1, static_cast<int32_t>(state)};
  PostLocal(TV_MSG_REQUEST, words);
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
  if (HnetMgr_SendData(m.group.get(), TV_MSG_REQUEST, record.w, kTvPayloadSize) != 0) {
    AnswerLocally(record, kTvNotSent);
    return;
  }
  const int ticks = HnetMgr_SocketKind() == kHnetSockUdp ? kLocalAnswerTicks : kLinkAnswerTicks;
  wdStart(m.responseTimer, ticks, ResponseTimeout, 0);
}

// Takes a record into the slots. Under m.lock.
void Register(Manager& m, const TvRecord& record) {
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

int SelectLocked(Manager& m, int input, int band, int channel, int store, int resume) {
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

int LastChannelLocked(Manager& m, int resume) {
  if (m.lastInput == 0) return SelectLocked(m, 0, m.lastBand, m.lastChannel, 0, resume);
  if (m.lastInput >= 1 && m.lastInput <= 3) return SelectLocked(m, m.lastInput, -1, -1, 0, resume);
  return 0;
}

void SendAvReport(Manager& m) {
  if (m.stopping) return;
  const int32_t report[kTvPayloadWords] = {TV_EV_AV_SEND, m.avState, BitrateCode(m)};
  HnetMgr_SendData(m.group.get(), TV_MSG_EVENT, report, kTvPayloadSize);
}

// Ends the running auto-preset with `state`. Under m.lock.
void EndPreset(Manager& m, int state) {
  const int id = m.preset.id;
  m.preset.id = 0;
  m.preset.resultAsked = false;
  wdCancel(m.resultTimer);
  wdCancel(m.watchdog);
  wdCancel(m.netDownTimer);
  if (state >= 2 && state <= 4 && id != 0) {
    TvRecord cancel = Blank(TV_ACT_PRESET_CANCEL);
    cancel.w[1] = id;
    Register(m, cancel);
  }
  m.avState = 0;
  tlxLog("[[APRESET]] eventPost Id=AUTOPRESET, state=%d\n", state);
  const int32_t payload = state;
  eventMgrPost(EVENT_ID_AUTOPRESET, &payload, sizeof payload, -1);
}

void AskResult(Manager& m) {
  if (m.preset.id == 0) return;
  tlxLog("[[APRESET]] autoPresetAskResult(%d)\n", m.preset.id);
  m.preset.resultAsked = true;
  TvRecord ask = Blank(TV_ACT_PRESET_RESULT);
  ask.w[1] = m.preset.id;
  Register(m, ask);
}

// The finished auto-preset, from event 21 or the result answer.
void PresetFinished(Manager& m, const TvRecord& r) {
  if (m.preset.id == 0 || r.w[1] != m.preset.id) return;
  const int32_t words[5] = {r.w[4], r.w[5], r.w[7], r.w[8], r.w[9]};
  uint8_t table[kPresetTableSize];
  int state = kPresetFailed;
  if (TvMgr_PresetTable(r.w[6], r.w[3], words, table)) {
    std::memcpy(m.preset.table, table, sizeof table);
    m.preset.resultBand = r.w[2];
    m.preset.resultIn = true;
    state = kPresetGood;
  }
  EndPreset(m, state);
}

void PresetAnswer(Manager& m, const TvRecord& r) {
  const int32_t status = r.w[6];
  switch (r.w[0]) {
    case TV_ACT_PRESET_START:
      if (m.preset.id == 0 || r.w[1] != m.preset.id) return;
      if (status == kTvDone) {
        const int band = m.preset.band;
        const int ticks = TvMgr_PresetEntries(band) == 69 ? 1200 : TvMgr_PresetEntries(band) == 125 ? 2400 : 3600;
        wdStart(m.resultTimer, ticks, AskResultTimer, 0);
      } else {
        EndPreset(m, status == kTvNetworkDown ? kPresetNetworkDown : kPresetFailed);
      }
      break;
    case TV_ACT_PRESET_RESULT:
      if (status != kTvNetworkDown) PresetFinished(m, r);
      break;
    case TV_ACT_PRESET_PROGRESS:
      if (status == kTvNetworkDown || m.preset.id == 0 || r.w[1] != m.preset.id || m.preset.resultIn) return;
      if (status != kTvDone) {
        EndPreset(m, kPresetFailed);
      } else if (m.preset.resultAsked) {
        AskResult(m);
      }
      break;
    default:
      break;
  }
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

int TvMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) {
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

void NetworkDown(Manager& m) {
  m.downSince = std::chrono::steady_clock::now();
  m.downKnown = true;
  HnetWack_Cancel("TV");
  {
    std::lock_guard guard(m.videoLock);
    m.videoInput = -1;
    m.videoIn = true;
    m.videoAnswered.notify_all();
  }
  ClearSlots(m);
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
      NetworkDown(m);
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

int PictureField(int value) { return value == -1 ? 63 : (value + 16) & 63; }

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

int tlxTvMgr_ChannelEnter(int band, int channel, int store, int resume) {
  if (!TvMgr_ValidChannel(band, channel)) return -1;
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return SelectLocked(m, 0, band, channel, store, resume);
}

int tlxTvMgr_InputSelect(int input, int store, int resume) {
  if (input < 0 || input > 3) return -1;
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return SelectLocked(m, input, -1, -1, store, resume);
}

int tlxTvMgr_LastChannel(int resume) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return LastChannelLocked(m, resume);
}

int tlxTvMgr_Select(int input, int channel) {
  return input != 0 ? tlxTvMgr_InputSelect(input, 0, 0) : tlxTvMgr_ChannelEnter(2, channel, 0, 0);
}

int tlxTvMgr_SelectEx(int input, int mode, int channel, int p4, int p5) {
  if (input != 0) return tlxTvMgr_InputSelect(input, 0, 0);
  uint32_t region;
  {
    Manager& m = mgr();
    std::lock_guard guard(m.lock);
    region = m.region;
  }
  if (region == kRegionKr && (mode == 0 || mode == 1)) mode += 6;
  return tlxTvMgr_ChannelEnter(mode, channel, p4, p5);
}

int tlxTvMgr_SetPictureCtrlOffline(int v1, int v2, int v3, int v4, int v5) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  const int values[5] = {v1, v2, v3, v4, v5};
  std::copy(std::begin(values), std::end(values), m.pictures);
  return 0;
}

int tlxTvMgr_SetPictureCtrl(int v1, int v2, int v3, int v4, int v5) {
  tlxTvMgr_SetPictureCtrlOffline(v1, v2, v3, v4, v5);
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  TvRecord r = Blank(TV_ACT_PICTURE);
  r.w[1] = TvMgr_PictureWord(m.pictures);
  Register(m, r);
  return 0;
}

int tlxTvMgr_GetAudioBli() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return m.biliMode;
}

int tlxTvMgr_ChangeAudioBli() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.biliState != 2) return -1;
  const int mode = TvMgr_NextBilingual(TvMgr_BilingualKind(m.parameterKind, static_cast<int>(m.region)), m.biliMode);
  if (mode == -1) return -1;
  if (mode == m.biliMode) return 0;
  TvRecord r = Blank(TV_ACT_BILINGUAL);
  r.w[1] = mode;
  r.w[13] = 0;
  Register(m, r);
  return mode;
}

int tlxTvMgr_Stop() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (!m.started) return 0;
  m.stopping = true;
  // The response timer keeps running: a record in flight must still time
  // out, or the stop would wait behind it for good.
  wdCancel(m.playTimer);
  m.playState = kPlayStopped;
  TvRecord r = Blank(TV_ACT_STOP);
  r.w[13] = 2;
  Register(m, r);
  return 0;
}

int tlxTvMgr_SetTVParams(int kind, const char* text) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  m.parameterKind = kind;
  m.parameterText = text != nullptr ? text : "";
  return 0;
}

int tlxTvMgr_GetVideoIn() {
  Manager& m = mgr();
  {
    std::lock_guard guard(m.videoLock);
    m.videoIn = false;
  }
  {
    std::lock_guard guard(m.lock);
    if (!m.started) return -1;
    Register(m, Blank(TV_ACT_VIDEO_IN));
  }
  std::unique_lock lock(m.videoLock);
  const auto limit = std::chrono::milliseconds(TimeoutMilliseconds(kVideoInTicks, TimeoutUnit::kTicks));
  if (!m.videoAnswered.wait_for(lock, limit, [&] { return m.videoIn; })) m.videoInput = -1;
  return m.videoInput;
}

int tlxTvMgr_StartAutoPreset(int band) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.preset.id != 0) {
    tlxLog("[ERR] app sequence fatal error! autoPreset != 0\n");
    return -1;
  }
  if (!m.started) return -1;
  m.preset.lastId = TvMgr_NextPresetId(m.preset.lastId);
  m.preset.id = m.preset.lastId;
  m.preset.band = band;
  m.preset.resultAsked = false;
  m.preset.resultIn = false;
  TvRecord r = Blank(TV_ACT_PRESET_START);
  r.w[1] = m.preset.id;
  r.w[2] = band;
  r.w[12] = 1;
  wdStart(m.watchdog, kPresetWatchdogTicks, PresetWatchdog, kPresetTimedOut);
  Register(m, r);
  return 0;
}

int tlxTvMgr_CancelAutoPreset() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.preset.id == 0) return 0;
  TvRecord r = Blank(TV_ACT_PRESET_CANCEL);
  r.w[1] = m.preset.id;
  Register(m, r);
  return 0;
}

int tlxTvMgr_FinishAutoPreset() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  m.preset.id = 0;
  m.preset.resultAsked = false;
  wdCancel(m.resultTimer);
  wdCancel(m.watchdog);
  wdCancel(m.netDownTimer);
  TvRecord r = Blank(TV_ACT_STOP);
  r.w[13] = 2;
  Register(m, r);
  return 0;
}

int tlxTvMgr_GetAutoPresetResult(int band, uint8_t* out) {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  const int entries = TvMgr_PresetEntries(band);
  if (out == nullptr || m.preset.id != 0 || entries == 0 ||
      entries != TvMgr_PresetEntries(m.preset.resultBand)) {
    return -1;
  }
  std::memcpy(out, m.preset.table, entries);
  return 0;
}

int TvMgr_PlayState() { return mgr().playState; }

int TvMgr_BitrateCode() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  return m.code;
}

bool TvMgr_ValidChannel(int band, int channel) {
  switch (band) {
    case 0:
    case 4:
    case 6:
      return channel >= 2 && channel <= 69;
    case 1:
    case 5:
    case 7:
      return channel >= 1 && channel <= 125;
    case 2:
      return (channel >= 1 && channel <= 62) || (channel >= 113 && channel <= 163);
    default:
      return false;
  }
}

int TvMgr_NextPresetId(int last) { return last >= 1 && last < 10000 ? last + 1 : 1; }

int TvMgr_PresetEntries(int band) {
  switch (band) {
    case 0:
    case 4:
    case 6:
      return 69;
    case 1:
    case 5:
    case 7:
      return 125;
    case 2:
      return 163;
    default:
      return 0;
  }
}

int32_t TvMgr_PictureWord(const int values[5]) {
  const int fifth = values[4] == -1 ? 63 : kPictureTable[std::clamp(values[4], 0, 14)];
  const uint32_t word = static_cast<uint32_t>(PictureField(values[1])) << 26 |
                        static_cast<uint32_t>(PictureField(values[0])) << 20 |
                        static_cast<uint32_t>(PictureField(values[2])) << 14 |
                        static_cast<uint32_t>(PictureField(values[3])) << 8 | static_cast<uint32_t>(fifth) << 2;
  return static_cast<int32_t>(word);
}

int TvMgr_NextBilingual(int kind, int mode) {
  if (kind < 0 || kind > 8 || mode < 0 || mode > 2) return -1;
  return kBilingualTable[kind][mode];
}

int TvMgr_BilingualKind(int parameterKind, int regionCode) {
  if (parameterKind > 0 && parameterKind <= 8) return parameterKind;
  return regionCode == 1 || regionCode == kRegionKr ? 7 : 3;
}

int TvMgr_LevelRate(bool adapt, int current, int level) {
  if (!adapt) return current;
  int rate;
  switch (level) {
    case 0:
      rate = 140;
      break;
    case 1:
    case 5:
      rate = 120;
      break;
    case 2:
      rate = 80;
      break;
    case 3:
    case 6:
      rate = 50;
      break;
    default:
      rate = kBitrateLowest;
      break;
  }
  return std::max(rate, kBitrateLowest);
}

int TvMgr_MinimumRate(int reference, int connType) {
  if (connType != kConnWlan || static_cast<int8_t>(reference & 0xFF) < kSignalThreshold) return kBitrateLowest;
  return kBitrateConfiguredMin;
}

int TvMgr_OptimalRate(int rate, int connType) {
  const int optimal = rate >= 100 ? rate / 20 * 10 : rate <= 50 ? kBitrateLowest : 50;
  return std::max(optimal, TvMgr_MinimumRate(rate, connType));
}

int TvMgr_RateAfterDown(int current, int levelRate, int minimum, long downMs) {
  if (downMs < 0) return levelRate;
  if (downMs <= static_cast<long>(TimeoutMilliseconds(1800, TimeoutUnit::kMilliseconds))) return current;
  if (downMs <= static_cast<long>(TimeoutMilliseconds(3600, TimeoutUnit::kMilliseconds))) {
    return std::max(levelRate - 30, minimum);
  }
  return levelRate;
}

bool TvMgr_PresetTable(int32_t status, int32_t checksum, const int32_t words[5], uint8_t table[kPresetTableSize]) {
  uint32_t sum = 0;
  for (int i = 0; i < 5; ++i) sum += static_cast<uint32_t>(words[i]);
  if (status != kTvDone || sum != static_cast<uint32_t>(checksum)) return false;
  std::memset(table, 0, kPresetTableSize);
  for (int i = 0; i < 160; ++i) table[i] = (static_cast<uint32_t>(words[i / 32]) >> (i % 32)) & 1;
  return true;
}

}  // namespace tlx::link
