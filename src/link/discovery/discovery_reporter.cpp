#include "link/discovery/discovery_reporter.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "link/discovery/discovery.h"
#include "link/os/event_mgr.h"
#include "link/os/tlx_log.h"
#include "link/tlx_bcf.h"

namespace tlx::link {
namespace {

constexpr int32_t kCodeFound = 0;
constexpr int32_t kCodeRelease = 255;
// The release is posted with a wait, so a full queue delays the next answer
// rather than losing the copy; the whole wait is bounded.
constexpr int kReleasePostTicks = 600;
constexpr auto kReleaseWaitLimit = std::chrono::seconds(5);

struct Copies {
  std::mutex lock;
  std::condition_variable released;
  int outstanding = 0;
};

Copies& copies() {
  static Copies c;
  return c;
}

void Forget(TLX_DISCOVERED_BASE* base) {
  delete base;
  Copies& c = copies();
  std::lock_guard guard(c.lock);
  --c.outstanding;
  c.released.notify_all();
}

// The library's receiver of EVENT_ID_DISCOVERY: frees the copy at code 255.
void ReleaseCopy(void*, const TLX_EVENT_MSG* message) {
  if (message->length != sizeof(TLX_DISCOVERY_EVENT)) return;
  TLX_DISCOVERY_EVENT event;
  std::memcpy(&event, message->payload, sizeof event);
  if (event.code == kCodeRelease && event.base != nullptr) Forget(event.base);
}

void ReportBase(int ifIndex, const TLX_DISCOVERED_BASE* base) {
  TLX_DISCOVERY_EVENT event{};
  event.code = kCodeFound;
  event.ifIndex = ifIndex;
  if (base != nullptr) {
    // The whole record: every text is terminated within its field, and the
    // nonce, which may fill its 32 bytes, is ended by the zero word after it.
    event.base = new (std::nothrow) TLX_DISCOVERED_BASE(*base);
    if (event.base != nullptr) {
      event.base->reserved = 0;
      Copies& c = copies();
      std::lock_guard guard(c.lock);
      ++c.outstanding;
    }
  }
  if (eventMgrPost(EVENT_ID_DISCOVERY, &event, sizeof event, 0) != 0) {
    // Nobody will see the copy.
    if (event.base != nullptr) Forget(event.base);
    return;
  }
  if (event.base == nullptr) return;
  event.code = kCodeRelease;
  if (eventMgrPost(EVENT_ID_DISCOVERY, &event, sizeof event, kReleasePostTicks) != 0) {
    tlxLog("[ERR] discovery release not posted\n");
  }
}

}  // namespace

int tlxDiscoverBase(int type, int arg) {
  switch (type) {
    case 1:
      // In place before the task starts, so its first answer is reported.
      // Left in place when the start fails: a running search uses them, and
      // without one they are never called.
      eventMgrCallbackAttach(ReleaseCopy, nullptr, EVENT_ID_DISCOVERY);
      tlxDiscoverySetReporter(ReportBase);
      return tlxDiscoveryStart(arg);
    case 2: {
      tlxDiscoveryStop();
      {
        Copies& c = copies();
        std::unique_lock lock(c.lock);
        c.released.wait_for(lock, kReleaseWaitLimit, [&] { return c.outstanding == 0; });
      }
      eventMgrCallbackDetach(ReleaseCopy);
      tlxDiscoverySetReporter(nullptr);
      return 0;
    }
    case 3:
      return tlxDiscoveryHoldPort(arg);
    default:
      return -1;
  }
}

int tlxDiscoveryCopiesOutstanding() {
  Copies& c = copies();
  std::lock_guard guard(c.lock);
  return c.outstanding;
}

}  // namespace tlx::link
