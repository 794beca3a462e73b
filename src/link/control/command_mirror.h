// The command mirror: every remote command the library sends is also sent as
// text to the endpoint of class "TRCMainForm" titled "Remote Command
// Comparator", when one exists, through the copy-data transport. The endpoint
// is looked up once per process; when there is none, no command is mirrored.
#pragma once

namespace tlx::link {

// Longest mirror text, with its NUL; a longer one is cut.
inline constexpr int kMirrorTextSize = 4096;
// How long a send waits for the receiver.
inline constexpr unsigned kMirrorTimeoutMs = 1000;

// Sends "cmdid=<cmdId>\ndata=<lowercase hex of the bytes>\n" synchronously,
// anonymously, with identifier 0 and the text's length + 1 bytes.
void tlxCommandMirror(int cmdId, const void* data, int length);

// Look-ups made so far, and forgetting the result of the last one, for tests.
int tlxCommandMirrorLookups();
void tlxCommandMirrorForget();

}  // namespace tlx::link
