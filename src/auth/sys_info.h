// The player's identity values by item number.
#pragma once

namespace tlx::auth {

// Raw item into a 256-byte buffer: 6 bytes for the MAC addresses, 64 for the
// shared key, the text for the identity and model name (length without NUL),
// length 0 for any other item. -1 before the identity values are registered.
int tlxSysInfoRead(int item, unsigned char* buffer, int* length);

// Item as text into out (zeroed first): the identity as is, the model name
// without its edition letter, everything else as upper-case hex. -1 before
// registration or when the value does not fit; else 0.
int sysInfoRead(int item, char* out, int outLen);

}  // namespace tlx::auth
