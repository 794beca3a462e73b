// Shared by the tests of the stream-session, TV and remote-commander
// managers against the test peer: the fixture that also ends these managers,
// and readers of the peer's record fields.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "link/control/ravix_mgr.h"
#include "link/control/tv_mgr.h"
#include "link_peer_fixture.h"

namespace tlx::link::test {

// The number after `"field": ` in a record line (0 when absent).
inline double RecordNumber(const std::string& line, const char* field) {
  const std::string key = std::string("\"") + field + "\": ";
  const size_t at = line.find(key);
  return at == std::string::npos ? 0 : std::strtod(line.c_str() + at + key.size(), nullptr);
}

// The integers of the list `"field": [...]` in a record line.
inline std::vector<int> RecordInts(const std::string& line, const char* field) {
  std::vector<int> values;
  const std::string key = std::string("\"") + field + "\": [";
  size_t at = line.find(key);
  if (at == std::string::npos) return values;
  const char* p = line.c_str() + at + key.size();
  while (*p != ']' && *p != '\0') {
    char* end = nullptr;
    values.push_back(static_cast<int>(std::strtol(p, &end, 10)));
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return values;
}

class SessionPeerTest : public LinkPeerTest {
 protected:
  void TearDown() override {
    RavixMgr_Cleanup();
    TvMgr_Cleanup();
    LinkPeerTest::TearDown();
  }
  // The session's base station is the peer's internet link.
  static void Target(const tlx::test::PeerProcess& peer) {
    tlxCfgSet("network/ravix/hostname", "127.0.0.1");
    tlxCfgSet("network/ravix/port", std::to_string(peer.port()).c_str());
  }
};

}  // namespace tlx::link::test
