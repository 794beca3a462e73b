// The library's diagnostics go to its debug log and never to standard output:
// a session (a registration, then authenticated stream connections) with the
// debug logs asked for. A program of its own: the log is opened with the
// process's first diagnostic, which must find the folder already set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "auth/tlx_authentication.h"
#include "peer_fixture.h"
#include "support/child_process.h"

namespace {

using tlx::test::PeerTest;

class DebugLogSession : public PeerTest {
 protected:
  static void SetUpTestSuite() {
    std::ofstream(folder().path() / "580317264") << "580317264";
    setenv("TLX_DEBUG_LOG_DIR", folder().path().c_str(), 1);
  }
  static const tlx::test::TempFolder& folder() {
    static tlx::test::TempFolder instance;
    return instance;
  }
  static std::string Log() {
    std::ifstream in(folder().path() / "TlxAuthenticationDbg.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(DebugLogSession, PrintsNothingOnStandardOutput) {
  Start(tlx::test::HttpScenario("\"registration\": {\"code\": \"8372\"}"));
  testing::internal::CaptureStdout();
  const int registered = TlxRavixRegistration("8372", "Den", "127.0.0.1", port(), 0, 0);
  HRESULT authenticated[2];
  for (HRESULT& result : authenticated) result = Authenticate();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(registered, 0);
  for (const HRESULT result : authenticated) EXPECT_EQ(result, S_OK);
  EXPECT_EQ(printed, "");
  // The texts are the library's own, whole.
  const std::string log = Log();
  for (const char* text : {"***** Ravix Authenticaion 0 *****\n\n", "***** Ravix Authenticaion 1 *****\n\n",
                           "Auth_OK\n\n", "ModelInfo: QZA-K20US, "}) {
    EXPECT_NE(log.find(text), std::string::npos) << text;
  }
}

}  // namespace
