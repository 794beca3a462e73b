#include "link/config/auth_target.h"

#include <mutex>

namespace tlx::link {
namespace {

std::mutex targetLock;
TLX_AUTH_TARGET target{};

}  // namespace

TLX_AUTH_TARGET tlxAuthTarget() {
  std::lock_guard guard(targetLock);
  return target;
}

void tlxSetAuthTarget(const TLX_AUTH_TARGET& value) {
  std::lock_guard guard(targetLock);
  target = value;
  target.host[sizeof target.host - 1] = '\0';
}

}  // namespace tlx::link
