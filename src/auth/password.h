// The easy-registration password and the stream key.
#pragma once

namespace tlx::auth {

// Writes min(outLen - 1, 32) lower-case hex digits of the nonce's mixed digest
// and a NUL. 0; -1 for a null or empty nonce (out zeroed) or outLen below 1
// (nothing written).
int registration_MakePassword(char* out, int outLen, const char* nonce);

// Writes the stream key: the lower-case hex MD5 of the saved server nonce
// followed by the first 32 hex digits of the shared key, at most 32 digits and
// at most size - 1. 0, or -1 when the shared key cannot be read.
int Ravix_Get_KeyKK(char* out, int size);

}  // namespace tlx::auth
