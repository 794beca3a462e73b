// The authentication target: where registration, authentication and the
// internet link go, and whether through a proxy. It starts all zero; the
// library's exports set it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::link {

struct TLX_AUTH_TARGET {
  int32_t proxy;   // non-zero: `host` and `port` name a proxy
  char host[256];  // NUL-terminated
  uint16_t port;
};
static_assert(sizeof(TLX_AUTH_TARGET) == 264);
static_assert(offsetof(TLX_AUTH_TARGET, host) == 4 && offsetof(TLX_AUTH_TARGET, port) == 260);

// A copy of the target, taken under its lock.
TLX_AUTH_TARGET tlxAuthTarget();
// Replaces it; the host is cut to 255 characters and NUL-terminated.
void tlxSetAuthTarget(const TLX_AUTH_TARGET& target);

}  // namespace tlx::link
