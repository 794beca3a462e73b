// Runs the Python twins of this folder: independent models of the formats the
// remote control reads and writes.
#pragma once

#include <string>

#include "ses/ses_test_support.h"

inline PeerResult runTwin(const std::string& script, const std::string& args) {
  return runPythonTool(TLX_REMOTE_TWINS "/" + script, args);
}
