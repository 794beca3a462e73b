// The text-command mailslot: while the library runs it owns the mailslot
// "\\.\mailslot\TlxMessageCommand-tx" and executes each message written to
// it as one command. Nothing is answered.
//
// Commands (name, ':', arguments split at ','; a missing number reads as 0):
//   RMCON:<kind>,<Base64 of the code>   kind 1 sends the first 5 bytes (zero-padded),
//   RMCON:<anything without ','>        kind 2 sends the release (no bytes),
//                                       kind 6 sends the decoded bytes, others nothing
//   TVSELECT:<input>,<mode>,<channel>   selects (input, mode, channel, 0, 0)
//   TV-AUTOPRESET:start,<n> | cancel | finish | result,<channel type>
// A text without ':' and an unknown name or verb are ignored.
#pragma once

namespace tlx::link {

inline constexpr char kCommandMailslotName[] = "\\\\.\\mailslot\\TlxMessageCommand-tx";
// Longest message executed; a longer one is read and dropped whole.
inline constexpr unsigned kCommandMessageMax = 1025;
// The reader's pause while no message waits.
inline constexpr int kCommandPollMs = 100;

// What the commands call: the library's exports.
struct TlxCommandActions {
  int (*sendCommand)(int cmdId, const char* data, int length);
  int (*selectEx)(int input, int mode, int channel, int p4, int p5);
  int (*startAutoPreset)(int n);
  int (*cancelAutoPreset)();
  int (*finishAutoPreset)();
  int (*getAutoPresetResult)(int channelType, unsigned* out);
};

// Creates the mailslot and starts its reader. -1 when the mailslot cannot be
// made (another process owns it) or the reader cannot start: the library
// then runs without commands. 0 also when already started.
int tlxCommandMailslotStart(const TlxCommandActions& actions);
// Stops the reader, waits for it, then closes the mailslot.
void tlxCommandMailslotStop();

// Executes one command text.
void tlxCommandExecute(const char* text, const TlxCommandActions& actions);

}  // namespace tlx::link
