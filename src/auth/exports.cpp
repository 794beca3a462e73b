// The library's exported functions. Each takes the library lock for its whole
// run; results that stay valid until the next call are kept per calling thread.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "auth/auth_exchange.h"
#include "auth/auth_log.h"
#include "auth/auth_state.h"
#include "auth/password.h"
#include "auth/registration.h"
#include "auth/sys_info.h"
#include "auth/tlx_authentication.h"

using namespace tlx::auth;

namespace {

thread_local std::string tRegValue;
thread_local std::string tBaseId;

std::unique_lock<std::mutex> Locked() { return std::unique_lock<std::mutex>(tlxAuthState().lock); }

void StoreTarget(TlxAuthState& state, const char* host, int port, unsigned char proxyUse) {
  state.proxyUse = proxyUse;
  state.host = host;
  state.port = static_cast<uint16_t>(port);
}

}  // namespace

extern "C" {

bool TlxRavixSysInfoRegister(const TLX_SYSINFO_RECORD* record) {
  if (record == nullptr) return false;
  const auto lock = Locked();
  TlxAuthState& state = tlxAuthState();
  std::memcpy(&state.sysInfo, record, sizeof state.sysInfo);
  state.registered = true;
  ModelInfo();
  return true;
}

HRESULT TlxRavixRegistration(const char* code, const char* alias, const char* host, int port, unsigned char proxyUse,
                             int easy) {
  if (host == nullptr) return E_POINTER;
  const size_t length = strnlen(host, 257);
  if (length < 1 || length > 256) return TLX_E_INVALID_HOST;
  const auto lock = Locked();
  TlxAuthState& state = tlxAuthState();
  StoreTarget(state, host, port, proxyUse);
  if (std::find(state.observers.begin(), state.observers.end(), &tlxRegValueSet) == state.observers.end()) {
    state.observers.push_back(&tlxRegValueSet);
  }
  state.regValues.clear();
  return tlxRegistrationConnect(easy != 0 ? "tlx_easy_registration" : "tlx_registration", alias, code);
}

const char* TlxRavixGetRegValue(const char* key) {
  const auto lock = Locked();
  tRegValue = tlxRegValueGet(key);
  return tRegValue.c_str();
}

int TlxRavixAuthInit() {
  const auto lock = Locked();
  TlxAuthState& state = tlxAuthState();
  state.msgCounter = 0;
  state.baseSpec.set("");
  return 0;
}

HRESULT TlxRavixAuthentication(int socket, const char* host, int port, unsigned char proxyUse) {
  if (host == nullptr) return E_POINTER;
  const auto lock = Locked();
  TlxAuthState& state = tlxAuthState();
  StoreTarget(state, host, port, proxyUse);

  unsigned char model[256] = {};
  int length = 0;
  const bool haveModel = tlxSysInfoRead(SYSINFO_INFO_MODEL_P, model, &length) == 0 && length > 0;
  const std::string clientSpec =
      haveModel ? tlxFormat("%s, model=%.*s, modeltype=%d, generation=3, support=1/2/3, scaling=1",
                            "TLXStreamingClient", length, reinterpret_cast<const char*>(model), 5)
                : std::string("TLXStreamingClient, generation=3, support=1/2/3");
  state.clientSpec.set(clientSpec.c_str());

  switch (tlxRavixAuthExchange(socket)) {
    case TLX_AUTH_OK: return S_OK;
    case TLX_AUTH_UNAUTHORIZED: return TLX_E_AUTH_UNAUTHORIZED;
    case TLX_AUTH_NO_CHALLENGE: return TLX_E_AUTH_NO_CHALLENGE;
    case TLX_AUTH_BAD_RESPONSE: return TLX_E_AUTH_BAD_RESPONSE;
    case TLX_AUTH_INCOMPATIBLE: return TLX_E_AUTH_INCOMPATIBLE;
    case TLX_AUTH_DISABLED: return TLX_E_AUTH_DISABLED;
    case TLX_AUTH_IN_USE: return TLX_E_AUTH_IN_USE;
    case TLX_AUTH_CONNECTION_MODE: return TLX_E_AUTH_CONNECTION_MODE;
    case TLX_AUTH_SETTING_MODE: return TLX_E_AUTH_SETTING_MODE;
    case TLX_AUTH_REGISTRATION_MODE: return TLX_E_AUTH_REGISTRATION_MODE;
    default: return TLX_E_AUTH_FAILED;
  }
}

HRESULT TlxRavixGetAKS(char* out) {
  if (out == nullptr) return E_POINTER;
  const auto lock = Locked();
  return Ravix_Get_KeyKK(out, 33);
}

int TlxRavixMakePassword(char* out, int outLen, const char* nonce) {
  const auto lock = Locked();
  return registration_MakePassword(out, outLen, nonce);
}

int TlxRavixGetBaseType() {
  const auto lock = Locked();
  const uint32_t support = tlxAuthState().baseSpec.support;
  for (int type = 3; type >= 1; --type) {
    if (support & (1u << type)) return type;
  }
  return 0;
}

uint32_t TlxRavixGetCodecType() {
  const auto lock = Locked();
  return tlxAuthState().baseSpec.codec;
}

int TlxRavixGetScalingMode() {
  const auto lock = Locked();
  return tlxAuthState().baseSpec.scaling;
}

const char* TlxRavixGetBaseId() {
  const auto lock = Locked();
  tBaseId = tlxAuthState().baseSpec.id;
  return tBaseId.c_str();
}

int TlxRavixRequestAuthentication(const char* host, int port, const char* method, const char* uri) {
  const auto lock = Locked();
  return tlxRequestAuthentication(host, port, method, uri);
}

}  // extern "C"
