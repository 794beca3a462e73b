// Exports of the authentication library's forwards, with the authentication
// target.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/config/auth_target.h"
#include "link/config/tlx_auth_fns.h"
#include "link/tlx_bcf.h"

TLX_BCF_API int tlxRavixMgr_AuthInit() { return tlx::link::tlxAuthInit() ? 1 : 0; }

TLX_BCF_API int tlxRavixMgr_RequestAuthentication(const char* host, int port, const char* method, const char* uri) {
  return tlx::link::tlxAuthRequestAuthentication(host, port, method, uri);
}

TLX_BCF_API int tlxRavixMgr_AuthUnsetHOST() {
  tlx::link::tlxSetAuthTarget(tlx::link::TLX_AUTH_TARGET{});
  return 0;
}

TLX_BCF_API int tlxRavixMgr_AuthClient(int socket) {
  const tlx::link::TLX_AUTH_TARGET target = tlx::link::tlxAuthTarget();
  return tlx::link::tlxAuthAuthentication(socket, target.host, target.port, target.proxy != 0);
}

TLX_BCF_API int tlxRavixMgr_GetKeyKK(char* out, int) { return tlx::link::tlxAuthGetAKS(out); }

TLX_BCF_API int tlxAuth_RequestRegistration(const char* code, const char* text2) {
  const tlx::link::TLX_AUTH_TARGET target = tlx::link::tlxAuthTarget();
  return tlx::link::tlxAuthRegistration(code, text2, target.host, target.port, target.proxy != 0, 0);
}

TLX_BCF_API int tlxAuth_RequestEasyRegistration(const char* code, const char* text2) {
  const tlx::link::TLX_AUTH_TARGET target = tlx::link::tlxAuthTarget();
  return tlx::link::tlxAuthRegistration(code, text2, target.host, target.port, target.proxy != 0, 1);
}

TLX_BCF_API int tlxRegist_MakePassword(char* out, int outLen, const char* nonce) {
  // A private copy of the nonce, which the caller may change meanwhile.
  std::unique_ptr<char, decltype(&std::free)> copy(nullptr, &std::free);
  if (nonce != nullptr) {
    copy.reset(strdup(nonce));
    if (copy == nullptr) return -1;
  }
  return tlx::link::tlxAuthMakePassword(out, outLen, copy.get());
}
