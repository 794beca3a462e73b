#include "link/config/tlx_auth_fns.h"

#include <mutex>

#include "link/config/tlx_module.h"

namespace tlx::link {
namespace {

struct AuthFns {
  decltype(&TlxRavixSysInfoRegister) sysInfoRegister = nullptr;
  decltype(&TlxRavixRegistration) registration = nullptr;
  decltype(&TlxRavixGetRegValue) getRegValue = nullptr;
  decltype(&TlxRavixAuthInit) authInit = nullptr;
  decltype(&TlxRavixAuthentication) authentication = nullptr;
  decltype(&TlxRavixGetAKS) getAKS = nullptr;
  decltype(&TlxRavixMakePassword) makePassword = nullptr;
  decltype(&TlxRavixGetBaseType) getBaseType = nullptr;
  decltype(&TlxRavixGetCodecType) getCodecType = nullptr;
  decltype(&TlxRavixGetScalingMode) getScalingMode = nullptr;
  decltype(&TlxRavixGetBaseId) getBaseId = nullptr;
  decltype(&TlxRavixRequestAuthentication) requestAuthentication = nullptr;
};

struct Binding {
  std::mutex lock;  // a bind under way
  tlxModule module;
  AuthFns fns;
  // Set once, after `fns` is complete; never cleared.
  std::atomic<bool> bound{false};
};

Binding& binding() {
  // Never destroyed: a bound library stays loaded until the process ends.
  static Binding* instance = new Binding();
  return *instance;
}

template <typename Function>
bool Look(const tlxModule& module, const char* name, Function* out) {
  *out = reinterpret_cast<Function>(module.entry(name));
  return *out != nullptr;
}

// The functions, or null when the library cannot be bound.
const AuthFns* Fns() { return tlxAuthBind() ? &binding().fns : nullptr; }

}  // namespace

bool tlxAuthBind() {
  Binding& b = binding();
  if (b.bound.load(std::memory_order_acquire)) return true;
  std::lock_guard guard(b.lock);
  if (b.bound.load(std::memory_order_relaxed)) return true;
  if (!tlxLoadModule(b.module, tlxAuthModuleName())) return false;
  AuthFns fns;
  bool required = Look(b.module, "TlxRavixSysInfoRegister", &fns.sysInfoRegister);
  required &= Look(b.module, "TlxRavixRegistration", &fns.registration);
  required &= Look(b.module, "TlxRavixGetRegValue", &fns.getRegValue);
  required &= Look(b.module, "TlxRavixAuthInit", &fns.authInit);
  required &= Look(b.module, "TlxRavixAuthentication", &fns.authentication);
  required &= Look(b.module, "TlxRavixGetAKS", &fns.getAKS);
  required &= Look(b.module, "TlxRavixMakePassword", &fns.makePassword);
  Look(b.module, "TlxRavixGetBaseType", &fns.getBaseType);
  Look(b.module, "TlxRavixGetCodecType", &fns.getCodecType);
  Look(b.module, "TlxRavixGetScalingMode", &fns.getScalingMode);
  Look(b.module, "TlxRavixGetBaseId", &fns.getBaseId);
  required &= Look(b.module, "TlxRavixRequestAuthentication", &fns.requestAuthentication);
  if (!required) {
    b.module.unload();
    return false;
  }
  b.fns = fns;
  b.bound.store(true, std::memory_order_release);
  return true;
}

void tlxAuthSysInfoRegister(const TLX_SYSINFO_RECORD* record) {
  if (const AuthFns* fns = Fns()) fns->sysInfoRegister(record);
}

HRESULT tlxAuthRegistration(const char* code, const char* alias, const char* host, int port, unsigned char proxyUse,
                            int easy) {
  const AuthFns* fns = Fns();
  return fns == nullptr ? -1 : fns->registration(code, alias, host, port, proxyUse, easy);
}

std::string tlxAuthGetRegValue(const char* key) {
  const AuthFns* fns = Fns();
  const char* value = fns == nullptr ? nullptr : fns->getRegValue(key);
  return value == nullptr ? std::string() : std::string(value);
}

bool tlxAuthInit() {
  const AuthFns* fns = Fns();
  return fns != nullptr && fns->authInit() != 0;
}

int tlxAuthAuthentication(int socket, const char* host, int port, unsigned char proxyUse) {
  const AuthFns* fns = Fns();
  return fns == nullptr ? 0 : static_cast<int>(fns->authentication(socket, host, port, proxyUse) & 0xFF);
}

HRESULT tlxAuthGetAKS(char* out) {
  const AuthFns* fns = Fns();
  return fns == nullptr ? -1 : fns->getAKS(out);
}

int tlxAuthMakePassword(char* out, int outLen, const char* nonce) {
  const AuthFns* fns = Fns();
  return fns == nullptr ? -1 : fns->makePassword(out, outLen, nonce);
}

int tlxAuthGetBaseType() {
  const AuthFns* fns = Fns();
  return fns == nullptr || fns->getBaseType == nullptr ? 0 : fns->getBaseType();
}

uint32_t tlxAuthGetCodecType() {
  const AuthFns* fns = Fns();
  return fns == nullptr || fns->getCodecType == nullptr ? 0 : fns->getCodecType();
}

int tlxAuthGetScalingMode() {
  const AuthFns* fns = Fns();
  return fns == nullptr || fns->getScalingMode == nullptr ? 0 : fns->getScalingMode();
}

std::string tlxAuthGetBaseId() {
  const AuthFns* fns = Fns();
  const char* id = fns == nullptr || fns->getBaseId == nullptr ? nullptr : fns->getBaseId();
  return id == nullptr ? std::string() : std::string(id);
}

int tlxAuthRequestAuthentication(const char* host, int port, const char* method, const char* uri) {
  const AuthFns* fns = Fns();
  return fns == nullptr ? 0 : fns->requestAuthentication(host, port, method, uri);
}

}  // namespace tlx::link
