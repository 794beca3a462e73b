#include "auth/auth_state.h"

namespace tlx::auth {

TlxAuthState& tlxAuthState() {
  static TlxAuthState state;
  return state;
}

}  // namespace tlx::auth
