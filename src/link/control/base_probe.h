// What the base station offers, learnt when a session starts.
//
// The authentication library keeps the base station's capability text (its
// type, codecs and scaling mode) from the answer to an authentication's first
// message, and tlxRavixMgr_GetBaseInfo reads it. The stream engine reads it
// right after the session has started, to choose the decoder and the quality
// it asks for, and clears it just before; the stream source's own
// authentication comes only once the graph built from that choice runs. So a
// starting session authenticates once, on a connection of its own to the base
// station's HTTP host and port, and closes it. The stream source's connections
// then go on with the next messages of the same authentication.
#pragma once

namespace tlx::link {

// Forgets an abort of an earlier probe. Called before a session starts
// connecting, under the session manager's lock.
void tlxBaseProbeArm();

// Connects to host:port within 10 s, runs one authentication exchange on the
// connection and closes it. The exchange's result (0 success, also when the
// authentication library cannot be bound; else its code); -1 when there was
// no connection or the probe was aborted. A failed probe leaves the capabilities as the last
// authentication left them.
int tlxBaseProbe(const char* host, int port);

// Aborts the probe under way, or the next one until tlxBaseProbeArm: its
// connect or exchange fails at once. Any thread.
void tlxBaseProbeAbort();

}  // namespace tlx::link
