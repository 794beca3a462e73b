#include "auth/auth_state.h"

TlxAuthState& tlxAuthState() {
  static TlxAuthState state;
  return state;
}
