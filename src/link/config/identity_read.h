// The player's identity values as text, as discovery and the system exports
// read them.
#pragma once

#include <cstdint>

namespace tlx::link {

// Value ids read as text; all others are binary.
inline constexpr int kIdentityTextIds[] = {4099, 5920, 6224};
// Value ids read as text whose edition letter is dropped: 4100 (the player's
// model name) and 6048.
inline constexpr int kIdentityEditionIds[] = {4100, 6048};
// The longest value the provider is asked for.
inline constexpr int kIdentityReadMax = 128;

// Reads value `id` from the identity-value provider into `buffer` of `size`
// bytes, which is zeroed first, as tlxIdentityFormat writes it. 0, or -1 (all
// logged) when the provider has no value, its length is outside 1..128 or the
// text does not fit.
int tlxIdentityRead(int id, int size, char* buffer);

// Writes `length` bytes of value `id` into the zeroed `buffer` of `size`
// bytes: text ids as they stand, edition ids without the last 'P' or 'B' that
// directly follows a digit, other ids as two upper-case hexadecimal digits a
// byte. -1 (logged) when the text and its NUL do not fit.
int tlxIdentityFormat(int id, const uint8_t* value, int length, int size, char* buffer);

// The system value `name` into `out` of `size` bytes, zeroed first:
// "SYSID_WLAN_MAC_ADDR_P" gives the player's wireless MAC as 12 upper-case
// hexadecimal digits and a NUL. 0, or -1 for a null or unknown name, a null
// `out`, a size below 13 or a value that cannot be read.
int tlxLdInfo(const char* name, void* out, int size);

}  // namespace tlx::link
