// Starts each test of the library's parts from a freshly loaded library's
// state, so the tests also pass when one process runs them all.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "auth/auth_state.h"

namespace tlx::test {

class AuthStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auth::TlxAuthState& state = auth::tlxAuthState();
    state.proxyUse = 0;
    state.host.clear();
    state.port = 0;
    state.msgCounter = 0;
    state.authNonceCount = 0;
    state.regNonceCount = 0;
    std::memset(state.cnonce, 0, sizeof state.cnonce);
    std::memset(state.serverNonce, 0, sizeof state.serverNonce);
    state.clientSpec.set(nullptr);
    state.baseSpec.set(nullptr);
    state.sysInfo = {};
    state.registered = false;
    state.acceptableModel = "";
    state.registrationVersion = "";
    state.regValues.clear();
    state.observers.clear();
  }
};

}  // namespace tlx::test
