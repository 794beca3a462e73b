// Discovery of base stations on the local network: one SEARCH datagram per
// usable interface to the search port, and the task "tDiscovery" that
// collects the NOTIFY answers on the reply socket and the interface sockets
// until a whole time-out passes without a datagram. Each complete answer goes
// to the reporter. Ports come from the link library's port table.
#pragma once

#include "link/tlx_bcf.h"

namespace tlx::link {

// Called on "tDiscovery" for each complete answer, with the interface it came
// on (-1: the reply socket) and the record, valid during the call only.
using TlxDiscoveryReporter = void (*)(int ifIndex, const TLX_DISCOVERED_BASE* base);

// Reads the player's model, binds the reply socket, sends the SEARCH on each
// interface and starts the task; timeoutMs 0 or less means 5000. -1, with
// nothing changed, while a search runs; -1 when no reply port can be bound.
int tlxDiscoveryStart(int timeoutMs);
// Ends the task (it is woken and joined before its sockets close). 0.
int tlxDiscoveryStop();
// Binds the reply port (with the retries of a start), keeps it `ms`
// milliseconds and closes it; the port bound is the one the next search
// answers on. 0, or -1 when no port could be bound.
int tlxDiscoveryHoldPort(int ms);
// The reporter; null removes it.
void tlxDiscoverySetReporter(TlxDiscoveryReporter reporter);
// True while the task runs.
bool tlxDiscoveryRunning();
// The port the last bind took (the port table's reply port before any).
int tlxDiscoveryReplyPort();

}  // namespace tlx::link
