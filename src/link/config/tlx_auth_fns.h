// The authentication library, bound by name on first use, and the forwarding
// wrappers the link library calls it through. A wrapper binds first and, when
// the library or one of its required functions cannot be had, returns the
// value given beside it without calling anything; the next call tries again.
// Once bound, the library stays loaded until the process ends.
#pragma once

#include <cstdint>
#include <string>

#include "auth/tlx_authentication.h"

namespace tlx::link {

// True once the library is loaded and its eight required functions are found.
// Thread-safe; a failed bind unloads what it loaded.
bool tlxAuthBind();

void tlxAuthSysInfoRegister(const TLX_SYSINFO_RECORD* record);  // nothing when unbound
HRESULT tlxAuthRegistration(const char* code, const char* alias, const char* host, int port,
                            unsigned char proxyUse, int easy);  // -1
std::string tlxAuthGetRegValue(const char* key);                // empty, also for a null answer
bool tlxAuthInit();                                             // false; else the result as a boolean
// The low byte of the result; 0 when unbound.
int tlxAuthAuthentication(int socket, const char* host, int port, unsigned char proxyUse);
HRESULT tlxAuthGetAKS(char* out);                                      // -1
int tlxAuthMakePassword(char* out, int outLen, const char* nonce);     // -1
int tlxAuthGetBaseType();                                              // 0, also when not exported
uint32_t tlxAuthGetCodecType();                                        // 0 likewise
int tlxAuthGetScalingMode();                                           // 0 likewise
std::string tlxAuthGetBaseId();                                        // empty likewise
int tlxAuthRequestAuthentication(const char* host, int port, const char* method, const char* uri);  // 0

}  // namespace tlx::link
