// The inbound half of the "HNET" relay: every control message that arrives
// from the base station, over UDP or the internet link, is checked here and
// routed by the group name in its header to the event manager ("EVENT"), to
// the notice blocks ("NOTIFY") or to the local group of that name.
#pragma once

#include <cstdint>

namespace tlx::link {

// Event identifiers the base station may relay to the player.
inline constexpr uint32_t kHnetRelayedEvents[] = {0x200, 0x1000, 0x4000, 0x8000, 0x20000, 0x1000000};

enum class HnetRoute {
  kRouted,   // posted to the event manager or sent to a local group
  kNotice,   // a notice block was stored and waits to be saved
  kDropped,  // refused (logged)
};

// Checks and routes one message of `size` bytes. Dropped: fewer than 16
// bytes, a name without NUL in its 8 bytes, a length field outside
// 0..size - 16, the name "HNET", an EVENT whose identifier is not one of
// kHnetRelayedEvents or whose payload exceeds 48 bytes, TV and NETWORK
// events while `localNetwork` and the keep-alive link is down, a NOTIFY of
// another type than 0 or 1 or with fewer than 16 payload bytes, an unknown
// group, or a message longer than the destination group's slot.
HnetRoute HnetRelay_Route(const uint8_t* data, int size, bool localNetwork);

// Stores the pending notice blocks in the configuration store ("tHnetMgrEv")
// and clears their pending marks.
void HnetRelay_SaveNotices();
// Forgets the notice blocks.
void HnetRelay_ClearNotices();

}  // namespace tlx::link
