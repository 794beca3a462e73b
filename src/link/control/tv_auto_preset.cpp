// The TV manager's channel auto-preset: started, watched and asked for its
// result here, ended by the base's answers, its events or a watchdog.
#include <cstring>

#include "link/control/tv_mgr_state.h"
#include "link/os/event_mgr.h"
#include "link/os/timer_lib.h"
#include "link/os/tlx_log.h"

namespace tlx::link {

using namespace tv;

namespace {

constexpr int kPresetWatchdogTicks = 18000;

void AskResultTimer(intptr_t) {
  const int32_t words[kTvPayloadWords] = {kLocalAskResult};
  PostLocal(TV_MSG_REQUEST, words);
}

}  // namespace

void tv::PresetWatchdog(intptr_t state) {
  const int32_t words[kTvPayloadWords] = {kLocalEndPreset, -1, static_cast<int32_t>(state)};
  PostLocal(TV_MSG_REQUEST, words);
}


void tv::EndPreset(Manager& m, int state) {
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

void tv::AskResult(Manager& m) {
  if (m.preset.id == 0) return;
  tlxLog("[[APRESET]] autoPresetAskResult(%d)\n", m.preset.id);
  m.preset.resultAsked = true;
  TvRecord ask = Blank(TV_ACT_PRESET_RESULT);
  ask.w[1] = m.preset.id;
  Register(m, ask);
}

void tv::PresetFinished(Manager& m, const TvRecord& r) {
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

void tv::PresetAnswer(Manager& m, const TvRecord& r) {
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

}  // namespace tlx::link
