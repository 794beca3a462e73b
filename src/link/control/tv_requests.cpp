// The TV manager's requests from the player: channel and input selection,
// picture control, bilingual sound, stop, parameters and the video-input
// query.
#include <algorithm>
#include <chrono>
#include <iterator>

#include "link/control/tv_mgr_state.h"
#include "link/os/timer_lib.h"
#include "win32/ticks.h"

namespace tlx::link {

using namespace tv;

namespace {

constexpr int kVideoInTicks = 600;

}  // namespace

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

}  // namespace tlx::link
