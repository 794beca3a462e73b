// What the AES decryption filter (TlxAESDecryptor.ax) publishes: its class
// and the interface through which the stream engine hands it the stream key.
#pragma once

#include "com/unknown.h"
#include "dshow/guids.h"

TLX_GUID(CLSID_AESDecryptor, 0xD8D2A54C, 0x856B, 0x4317, 0xA1, 0x8B, 0x0B, 0x46, 0x71, 0x58, 0xBD, 0xF1);
TLX_GUID(IID_IAESDecryptorKey, 0xC6E149BC, 0x11F8, 0x4775, 0xA7, 0x43, 0x0F, 0x16, 0x5B, 0x6E, 0x75, 0x8A);

// Characters of a key text: 16 bytes as hex digits.
inline constexpr int kAESDecryptorKeyDigits = 32;

struct IAESDecryptorKey : IUnknown {
  // Takes the key as 32 hex digits of either case (only the first 32
  // characters are read; a NUL among them is a non-digit). E_POINTER for
  // null, E_INVALIDARG for a non-digit, E_FAIL when the cipher cannot be
  // keyed. Every call, whatever its result, releases a sample that waits for
  // the key; until a call succeeds, no sample is delivered.
  STDMETHOD(SetKey)(const char* key) PURE;
  // Writes the key as 32 upper-case hex digits, without a terminator.
  STDMETHOD(GetKey)(char* out) PURE;
  // Writes 32, the number of characters GetKey writes.
  STDMETHOD(GetKeySize)(int* out) PURE;

 protected:
  ~IAESDecryptorKey() = default;
};
