// The home-network manager's receive side while another sender floods the
// player's control port: the base station's own datagrams go out at an even
// pace meanwhile, and each one's delay is measured from its send to its
// group's handler. Shared by the link tests and the link benchmark. The
// manager must be up on the local network (link mode 1) with the base
// station at `base`.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace tlx::link::test {

struct FloodPlan {
  const char* base = "127.0.0.2";     // the base station's address
  const char* foreign = "127.0.0.5";  // the flood's sender
  const char* player = "127.0.0.1";   // the player's address and the port
  uint16_t playerPort = 0;            // where it receives control datagrams
  int floodCount = 10000;             // spread evenly over `span`
  int baseCount = 100;                // the base's datagrams, spread over the same span
  std::chrono::milliseconds span{2000};
};

struct FloodFigures {
  int floodSent = 0;  // foreign datagrams the flood sent
  int baseSent = 0;
  // Per base datagram that reached its group, in the order sent: the delay
  // from its send to its group's handler.
  std::vector<double> delaysMs;
  // Messages the group received that the base did not send (the flood's).
  int foreignReceived = 0;
};

// Sends both streams and waits up to `settle` after the last send for the
// base's datagrams to arrive. Foreign datagrams are well-formed messages to
// the same group, so one let through shows in `foreignReceived`.
FloodFigures MeasureBaseDatagramsUnderFlood(const FloodPlan& plan,
                                            std::chrono::milliseconds settle = std::chrono::milliseconds(2000));

}  // namespace tlx::link::test
