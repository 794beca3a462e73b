// Runs the base-station test peer (tests/peer/peer.py) for one test: writes the
// scenario to a private folder, starts the peer, waits for "ready <port>" and
// stops it when the object goes.
#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

namespace tlx::test {

class PeerProcess {
 public:
  // scenarioJson is the scenario object as JSON text. On failure the peer is
  // not running (running() false) and error() says why.
  explicit PeerProcess(const std::string& scenarioJson, int port = 0);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool running() const { return port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  // The folder that holds the scenario and the record; removed with the object.
  std::string folder() const { return folder_.path().string(); }
  // Lines of the peer's record file so far (JSON objects).
  std::vector<std::string> RecordLines() const;
  // Sends one command (a JSON object on one line) and returns the peer's
  // answer: "done", "error <text>", or "" when none came in time.
  std::string Command(const std::string& commandJson);

 private:
  TempFolder folder_;
  ChildProcess process_;
  int port_ = 0;
  std::string error_;
};

// The words of each request record (a "tv_record" of type 0) the peer's TV
// service received, in order.
std::vector<std::vector<int>> TvRequestWords(const PeerProcess& peer);

}  // namespace tlx::test
