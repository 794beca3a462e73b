// The texts of discovery: the SEARCH the player broadcasts and the NOTIFY a
// base station answers with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/tlx_bcf.h"

namespace tlx::link {

// Longest SEARCH and longest NOTIFY datagram.
inline constexpr size_t kDiscoverySearchMax = 256;
inline constexpr size_t kDiscoveryNotifyMax = 1024;

// How a base answers: 1 at "Port: N", 2 at "Port: N b" (this system), any
// other mode leaves the port out.
inline constexpr int kDiscoveryReplyMode = 2;

// The SEARCH text: its first line and "Version: 1.0.2", "Model: <model>" when
// the model is not empty, the reply port line by `replyMode`, and the empty
// line. At most kDiscoverySearchMax bytes.
std::string tlxDiscoverySearchText(std::string_view model, int replyMode, int replyPort);

// Parses a NOTIFY datagram (at most kDiscoveryNotifyMax bytes are read) into
// `out`, which is zeroed first; the sender's address is left to the caller.
// Lines end with CR LF, CR or LF; a name runs to the first ':' and is compared
// without regard to case; blanks and tabs after the ':' are skipped; values
// are cut to their fields. True when the first line is the NOTIFY line and
// each of the seven lines Version, Ravix_Host, Ravix_Port, Identifier,
// BaseStation_Mode, Model and Nonce came exactly once.
bool tlxDiscoveryParseNotify(std::string_view datagram, TLX_DISCOVERED_BASE* out);

// An integer text as the compatibility value reads it: blanks and tabs
// skipped, an optional sign, then decimal, hexadecimal after 0x or octal
// after a leading 0; the digits that fit the base are read and the value
// kept in 32 bits. Sets `end` to the first character not read.
uint32_t tlxDiscoveryInteger(const char* text, const char** end);

}  // namespace tlx::link
