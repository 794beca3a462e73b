// What the library does with discovery for its callers: each base found is
// posted as EVENT_ID_DISCOVERY with a copy of its record, and the copy is
// freed by the library's own receiver once the event has gone out twice.
#pragma once

namespace tlx::link {

// type 1: attaches the release receiver, installs the reporter and starts
// discovery with `arg` as its time-out (ms); 0 or -1. type 2: stops
// discovery, waits (bounded) until the copies posted are released, detaches
// the receiver and removes the reporter; 0. type 3: holds the reply port
// for `arg` ms; 0 or -1. Other types -1.
int tlxDiscoverBase(int type, int arg);

// Copies of records posted and not yet released, for tests.
int tlxDiscoveryCopiesOutstanding();

}  // namespace tlx::link
