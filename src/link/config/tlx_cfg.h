// The configuration store: the managers' settings as text values under
// slash-separated keys ("network/ravix/port"). A few keys are fixed, some live
// in memory for the run, and all others persist as REG_SZ values below
// HKEY_CURRENT_USER "Software\Marovi Corporation\TLX\<region model name>",
// in the scope the key belongs to (the selected base, the binding, or common).
// Every function here may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tlx::link {

// Longest scoped key (the registry path of a key) in characters.
inline constexpr size_t kCfgScopedKeyMax = 79;
// Longest line of a category file, without its line end.
inline constexpr size_t kCfgLineMax = 127;

// The region's model names, chosen by the player option word.
struct TlxModelNames {
  const char* str;   // "tlx/modelname_str": the registry key of the region
  const char* reg;   // "tlx/modelname_reg": the model the base station registers
  const char* rcom;  // "tlx/modelname_rcom": the remote-code region
};
TlxModelNames tlxCfgModelNames(uint32_t optionWord);

// Starts the store: the region's model names, the registry root, the fixed
// values and scope flags, the persistent defaults (written when the key reads
// empty), "module_path" (the folder of this library, with its '/'), the
// player's identity values handed to the authentication library, and the two
// direct-link address copies. 0, or -1 when the registry root cannot be opened
// (the store then keeps only the in-memory values).
int tlxInitConfig(uint32_t optionWord);
// Empties the maps and closes the registry root. Registry values persist.
void tlxCleanupConfig();

// The fixed value of a fixed key; else its run-time value; else the registry
// value at its scoped key (the text up to its first NUL, bounded by the
// value's size); else empty text.
std::string tlxCfgGet(const char* key);
// Ignored for fixed keys; replaces a run-time value; else writes the registry
// value, creating its subkeys. A write that cannot be made is dropped.
void tlxCfgSet(const char* key, const char* text);
// Deletes the registry value at the key's scoped key.
void tlxCfgDelete(const char* key);

// The registry path of a key below the root ("set0/wlan/STA/0/RF/band",
// "common/network/ravix/port", "def/x/y"); false for a key whose scoped key
// would exceed kCfgScopedKeyMax characters (it is neither read nor written).
bool tlxCfgScopedKey(const char* key, std::string* out);

// Loads name=value lines of a category file as run-time values. A relative
// name is taken below "module_path" (never the current directory); an
// absolute one as it stands. A line needs a line end (CR or LF) and an '='
// (the value is the text after the first one); a line longer than
// kCfgLineMax characters is skipped whole. 0, also for a missing file; -1 for
// an empty name.
int tlxCfgLoadCategory(const char* fileName, int unused);
// Copies a file over any existing target ('\' read as '/') and leaves the
// copy writable. 0 or -1.
int tlxCfgCopyFile(const char* from, const char* to);
// Posts EVENT_ID_NETCONFIG with two zero int32 words, without waiting.
void tlxCfgNotifyIndex(int index);

// The selected-base index (always 0).
int tlxSystem_GetBaseSel();
// Deletes the stored base address and internet-connection keys and has the
// identity-value provider forget the registered base's entries. 0.
int tlxSystem_ClearConfig();

// The direct-link address copies for the home-network manager, each at most
// 15 characters: the base station's and the player's own.
std::string tlxCfgBaseDirectAddress();
std::string tlxCfgPlayerDirectAddress();

}  // namespace tlx::link
