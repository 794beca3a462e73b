// The player's identity values: its Ethernet and wireless MAC addresses, its
// identity text and shared key, kept under HKEY_CURRENT_USER "Software\Marovi
// Corporation\TLX\Identity" for every region, and its model name from the
// configuration store. The values are made on the first start (the machine's
// MAC addresses where it has them, random ones otherwise) and never changed
// afterwards; a stored value that is malformed is replaced (and logged).
#pragma once

#include <cstdint>
#include <string>

#include "auth/tlx_authentication.h"

namespace tlx::link {

// Value ids beyond the authentication library's item numbers.
inline constexpr int kIdentityModelName = 4100;  // the same text as SYSINFO_INFO_MODEL_P

inline constexpr int kIdentityMacSize = 6;
inline constexpr int kIdentityIdentChars = 8;
inline constexpr int kIdentitySharedKeySize = 64;

// Reads value `id` raw into `out` of `size` bytes: 6 bytes for a MAC, the 8
// characters of the identity text, 64 bytes of shared key, the model name's
// characters (each without NUL). The length, or -1 for an id without a value,
// a buffer too small or a registry that cannot be written.
int tlxIdentityValueRead(int id, void* out, int size);

// The identity record the authentication library takes. False when a value
// cannot be had.
bool tlxIdentitySysInfo(TLX_SYSINFO_RECORD* out);

// Forgets the registered base's identity entries; this system keeps none.
void tlxIdentityForgetBase();

// The first non-zero MAC of an interface below `sysClassNet`
// (/sys/class/net): an Ethernet one (type 1, no "wireless" folder), or a
// wireless one (a "wireless" or "phy80211" folder), in name order. False when
// there is none.
bool tlxIdentityFindMac(const std::string& sysClassNet, bool wireless, uint8_t mac[kIdentityMacSize]);

}  // namespace tlx::link
