// The delay of the base station's control datagrams while another address
// floods the player's control port with 10,000 datagrams in 2 s: the
// home-network manager runs on the local network at its production times and
// ports (the program runs in a private network namespace, where they are
// free), the base station at 127.0.0.2 and the flood from 127.0.0.5. Five
// rounds of 100 base datagrams each; prints the 99th percentile of their
// delays from send to their group's handler.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/base_datagram_flood.h"
#include "link/config/link_ports.h"
#include "link/config/tlx_cfg.h"
#include "link/network/hnet_mgr.h"
#include "link/network/kach.h"
#include "link/os/event_mgr.h"
#include "link/os/task_lib.h"
#include "playback/av_sync.h"
#include "support/child_process.h"

namespace {

using tlx::link::test::FloodFigures;
using tlx::link::test::FloodPlan;
using tlx::link::test::MeasureBaseDatagramsUnderFlood;

constexpr int kRounds = 5;

// What did not start, or null when the manager is up on the local network.
const char* StartLocalLink() {
  using namespace tlx::link;
  taskLibInit();
  if (tlxInitConfig(0x300) != 0) return "the configuration store";
  if (eventMgrStart() != 0) return "the event manager";
  if (HnetMgr_Init() != 0) return "the home-network manager";
  if (HnetMgr_ChangeLinkMode(kLinkNone) != 0 || HnetMgr_ChangeLinkMode(kLinkLocal) != 0 ||
      HnetMgr_State() != kHnetUp) {
    return "the local network";
  }
  return nullptr;
}

void StopLocalLink() {
  using namespace tlx::link;
  KACH_Shutdown();
  HnetMgr_Cleanup();
  eventMgrStop();
  tlxCleanupConfig();
  taskLibCleanup();
}

}  // namespace

int main() {
  const tlx::test::TempFolder registry;
  setenv("TLX_REGISTRY_DIR", registry.path().c_str(), 1);
  setenv("TLX_LINK_DIRECT_ADDRS", "127.0.0.1,127.0.0.2", 1);
  if (const char* failed = StartLocalLink()) {
    std::fprintf(stderr, "%s did not start\n", failed);
    StopLocalLink();
    return 1;
  }
  FloodPlan plan;
  plan.playerPort = tlx::link::tlxLinkPorts().hnetRecv;
  std::vector<double> delays;
  int sent = 0, flood = 0, foreign = 0;
  for (int round = 0; round < kRounds; ++round) {
    const FloodFigures figures = MeasureBaseDatagramsUnderFlood(plan);
    delays.insert(delays.end(), figures.delaysMs.begin(), figures.delaysMs.end());
    sent += figures.baseSent;
    flood += figures.floodSent;
    foreign += figures.foreignReceived;
  }
  StopLocalLink();
  std::fprintf(stderr, "%zu of %d base datagrams arrived under %d foreign ones (%d let through); median %.2f ms, worst %.2f ms\n",
               delays.size(), sent, flood, foreign, tlx::bench::playback::Percentile(delays, 50),
               tlx::bench::playback::Percentile(delays, 100));
  std::printf("latency link/base-datagram-under-flood-p99 %.2f\n", tlx::bench::playback::Percentile(delays, 99));
  return delays.size() == static_cast<size_t>(sent) && sent > 0 ? 0 : 1;
}
