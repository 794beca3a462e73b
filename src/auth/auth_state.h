// The library's process-wide state. Every export holds `lock` while it works,
// so the parts below it may use the state freely.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "auth/ravix_spec.h"
#include "auth/tlx_authentication.h"

namespace tlx::auth {

// Told each (name, value) pair of received base data that the base-data record
// does not keep.
using RegParseObserver = void (*)(const char* name, const char* value);

struct TlxAuthState {
  std::mutex lock;

  // Where the last authentication or registration went.
  int proxyUse = 0;
  std::string host;
  uint16_t port = 0;

  int msgCounter = 0;        // message n of the exchange is msgCounter % 4
  int authNonceCount = 0;
  int regNonceCount = 0;
  char cnonce[33] = {};
  char serverNonce[33] = {}; // nonce of the last successful message 0

  Ravix_Spec clientSpec{};
  Ravix_Spec baseSpec{};

  TLX_SYSINFO_RECORD sysInfo{};
  bool registered = false;
  // From the model table, for the player's own model (set at registration of
  // the identity values).
  const char* acceptableModel = "";
  const char* registrationVersion = "";

  std::map<std::string, std::string> regValues;
  std::vector<RegParseObserver> observers;
};

TlxAuthState& tlxAuthState();

}  // namespace tlx::auth
