// The library's reference-counted start-up and clean-up.
#include <cstdlib>
#include <mutex>

#include "link/api/command_mailslot.h"
#include "link/config/link_options.h"
#include "link/config/tlx_cfg.h"
#include "link/control/ravix_mgr.h"
#include "link/control/tv_mgr.h"
#include "link/control/uircom_mgr.h"
#include "link/discovery/discovery_reporter.h"
#include "link/network/anet_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/network/kach.h"
#include "link/network/link_mgr_client.h"
#include "link/os/event_mgr.h"
#include "link/os/task_lib.h"
#include "link/tlx_bcf.h"
#include "win32/winsock.h"

namespace {

// The count of tlxInit calls not yet undone. tlxInit and tlxCleanup run one
// at a time, so two first calls cannot both start the library.
struct Library {
  std::mutex lock;
  int count = 0;
  bool unloadHandled = false;  // the unload handler is registered
};

Library& library() {
  static Library l;
  return l;
}

// What the mailslot's commands call: the library's own exports.
constexpr tlx::link::TlxCommandActions kCommandActions = {
    tlxUiRcomMgr_SendCommand, tlxTvMgr_SelectEx,         tlxTvMgr_StartAutoPreset,
    tlxTvMgr_CancelAutoPreset, tlxTvMgr_FinishAutoPreset, tlxTvMgr_GetAutoPresetResult,
};

// Everything the start made, in the reverse order; each step returns at
// once when its part is not running and waits only with a bound.
void ShutDown() {
  using namespace tlx::link;
  tlxCommandMailslotStop();
  tlxDiscoverBase(2, 0);
  RavixMgr_Cleanup();
  KACH_Shutdown();
  UiRcomMgr_Cleanup();
  AnetMgr_Cleanup();
  HnetMgr_Cleanup();
  TvMgr_Cleanup();
  eventMgrStop();
  tlxLinkMgrRelease();
  tlxCleanupConfig();
  taskLibCleanup();
  WSACleanup();
}

// Unloading the library, or ending the process, while it runs shuts it down
// once. Registered by the first start, after every part's state exists, so
// it runs before that state is destroyed.
void ShutDownAtUnload() {
  Library& l = library();
  std::lock_guard guard(l.lock);
  if (l.count > 0) ShutDown();
  l.count = 0;
}

}  // namespace

TLX_BCF_API int tlxInit(int* option) {
  using namespace tlx::link;
  Library& l = library();
  std::lock_guard guard(l.lock);
  if (l.count < 1) {
    WSADATA sockets;
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) return -1;
    if (option != nullptr) tlxSetOptionWord(static_cast<uint32_t>(*option));
    taskLibInit();
    tlxInitConfig(tlxOptionWord());
    if (!tlxLinkMgrCreate()) {
      tlxCleanupConfig();
      taskLibCleanup();
      WSACleanup();
      return -1;
    }
    // A part that does not start leaves the others running; its exports
    // answer as not ready.
    eventMgrStart();
    TvMgr_Init(tlxOptionWord());
    HnetMgr_Init();
    AnetMgr_Init();
    UiRcomMgr_Init();
    tlxCommandMailslotStart(kCommandActions);
    if (!l.unloadHandled) {
      tlxDiscoverBase(2, 0);  // makes discovery's state too, stopping nothing
      l.unloadHandled = std::atexit(ShutDownAtUnload) == 0;
    }
  }
  ++l.count;
  return 0;
}

TLX_BCF_API int tlxCleanup() {
  Library& l = library();
  std::lock_guard guard(l.lock);
  if (l.count == 0) return 0;
  if (--l.count == 0) ShutDown();
  return 0;
}
