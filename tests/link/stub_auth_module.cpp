// A stand-in for the authentication library: every export records its call
// with its arguments and answers a value of its own, so a test sees what the
// link library passed and what it made of the answer. Built once whole and
// once without each of two exports (STUB_WITHOUT_AKS, STUB_WITHOUT_BASE_ID).
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "auth/tlx_authentication.h"

namespace {

std::mutex lock;
std::string calls;
TLX_SYSINFO_RECORD record;
// The registration values a test set; without them every key but "none" has
// a value of its own.
std::optional<std::map<std::string, std::string>> regValues;
std::string regValue;
// The base's type, codec and scaling answers.
int baseType = 7;
uint32_t codecType = 0xC0DE;
int scalingMode = 9;
bool authenticationWaits = false;

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  std::lock_guard guard(lock);
  calls += line;
  calls += '\n';
}

const char* Text(const char* text) { return text == nullptr ? "(null)" : text; }

}  // namespace

// The calls so far, one line each; cleared by the read.
extern "C" TLX_EXPORT void StubAuthTakeCalls(char* out, int size) {
  std::lock_guard guard(lock);
  std::snprintf(out, static_cast<size_t>(size), "%s", calls.c_str());
  calls.clear();
}

extern "C" TLX_EXPORT void StubAuthRecord(TLX_SYSINFO_RECORD* out) {
  std::lock_guard guard(lock);
  *out = record;
}

// Sets the base's type, codec and scaling answers.
extern "C" TLX_EXPORT void StubAuthSetBase(int type, uint32_t codec, int scaling) {
  std::lock_guard guard(lock);
  baseType = type;
  codecType = codec;
  scalingMode = scaling;
}

bool TlxRavixSysInfoRegister(const TLX_SYSINFO_RECORD* in) {
  {
    std::lock_guard guard(lock);
    record = *in;
  }
  Record("SysInfoRegister");
  return true;
}

HRESULT TlxRavixRegistration(const char* code, const char* alias, const char* host, int port, unsigned char proxyUse,
                             int easy) {
  Record("Registration %s %s %s %d %d %d", Text(code), Text(alias), Text(host), port, proxyUse, easy);
  return static_cast<HRESULT>(0x80041016);
}

// Sets the registration values from name/value pairs ended by a null name;
// null restores the stub's own answers.
extern "C" TLX_EXPORT void StubAuthSetRegValues(const char* const* pairs) {
  std::lock_guard guard(lock);
  regValues.reset();
  if (pairs == nullptr) return;
  regValues.emplace();
  for (; pairs[0] != nullptr; pairs += 2) (*regValues)[pairs[0]] = pairs[1];
}

const char* TlxRavixGetRegValue(const char* key) {
  Record("GetRegValue %s", Text(key));
  std::lock_guard guard(lock);
  if (!regValues) return std::strcmp(Text(key), "none") == 0 ? nullptr : "stored-value";
  const auto found = regValues->find(Text(key));
  if (found == regValues->end()) return nullptr;
  regValue = found->second;
  return regValue.c_str();
}

int TlxRavixAuthInit() {
  Record("AuthInit");
  return 1;
}

// Set: an authentication waits until its connection ends (the peer closes it
// or the socket is shut down) before it answers.
extern "C" TLX_EXPORT void StubAuthSetWaits(int waits) {
  std::lock_guard guard(lock);
  authenticationWaits = waits != 0;
}

HRESULT TlxRavixAuthentication(int socket, const char* host, int port, unsigned char proxyUse) {
  Record("Authentication %d %s %d %d", socket, Text(host), port, proxyUse);
  bool waits;
  {
    std::lock_guard guard(lock);
    waits = authenticationWaits;
  }
  char byte;
  while (waits && recv(socket, &byte, 1, 0) > 0) {
  }
  return static_cast<HRESULT>(0x80041017);
}

#ifndef STUB_WITHOUT_AKS
HRESULT TlxRavixGetAKS(char* out) {
  Record("GetAKS");
  std::strcpy(out, "0123456789ABCDEF0123456789ABCDEF");
  return 5;
}
#endif

int TlxRavixMakePassword(char* out, int outLen, const char* nonce) {
  Record("MakePassword %d %s", outLen, Text(nonce));
  std::snprintf(out, static_cast<size_t>(outLen), "pw");
  return 6;
}

int TlxRavixGetBaseType() {
  Record("GetBaseType");
  std::lock_guard guard(lock);
  return baseType;
}

uint32_t TlxRavixGetCodecType() {
  Record("GetCodecType");
  std::lock_guard guard(lock);
  return codecType;
}

int TlxRavixGetScalingMode() {
  Record("GetScalingMode");
  std::lock_guard guard(lock);
  return scalingMode;
}

#ifndef STUB_WITHOUT_BASE_ID
const char* TlxRavixGetBaseId() {
  Record("GetBaseId");
  return "BASE-0042";
}
#endif

int TlxRavixRequestAuthentication(const char* host, int port, const char* method, const char* uri) {
  Record("RequestAuthentication %s %d %s %s", Text(host), port, Text(method), Text(uri));
  return 11;
}
