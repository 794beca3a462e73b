// The TV manager's state and the steps its files share: tv_mgr.cpp (the
// request slots, acknowledgements, base events, network events and life
// cycle), tv_requests.cpp (the player's requests) and tv_auto_preset.cpp (the
// channel auto-preset). Internal to them.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>

#include "link/control/tv_mgr.h"
#include "link/network/tlx_msg.h"
#include "link/os/msg_q_lib.h"

namespace tlx::link::tv {

inline constexpr int kRegionKr = 3;
inline constexpr int kBitrateInitial = 120;

// Local requests of type 0 (word 0).
inline constexpr int32_t kLocalAskResult = 15;
inline constexpr int32_t kLocalEndPreset = 16;

inline TvRecord Blank(int32_t action) {
  TvRecord r;
  std::fill(std::begin(r.w), std::end(r.w), -1);
  r.w[0] = action;
  return r;
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
  uint64_t currentSent = 0;  // the event stamp (eventMgrStamp) when `current` went out
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

Manager& mgr();

// Sends a local message to the "TV" group (timer callbacks, local answers).
void PostLocal(int32_t type, const int32_t* words);
// Takes a record into the slots. Under m.lock.
void Register(Manager& m, const TvRecord& record);
// A channel or input selection (`store` 1 remembers it as the last channel).
// Under m.lock.
int SelectLocked(Manager& m, int input, int band, int channel, int store, int resume);
// Selects the last channel again. Under m.lock.
int LastChannelLocked(Manager& m, int resume);

// The auto-preset (tv_auto_preset.cpp), each under m.lock.
// Ends the running auto-preset with `state`.
void EndPreset(Manager& m, int state);
// Asks the base for the running auto-preset's result.
void AskResult(Manager& m);
// The finished auto-preset, from the base's event or the result answer.
void PresetFinished(Manager& m, const TvRecord& r);
// An answer to one of the auto-preset's records.
void PresetAnswer(Manager& m, const TvRecord& r);
// The watchdogs' callback: ends the auto-preset with the state it is given.
void PresetWatchdog(intptr_t state);

}  // namespace tlx::link::tv
