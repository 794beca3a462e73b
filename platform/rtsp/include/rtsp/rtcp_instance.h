// The RTCP side of one received stream: reads the compound packets of its
// interleaved channel, hands sender reports to the RTP source for its time
// base, and tells its owner once when the sender says BYE. It sends nothing:
// the player gives the sender no feedback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rtsp/interleaved_demux.h"
#include "rtsp/task_scheduler.h"
#include "rtsp/usage_environment.h"

class RTPSource;

enum : uint8_t {
  RTCP_PT_SR = 200,
  RTCP_PT_RR = 201,
  RTCP_PT_SDES = 202,
  RTCP_PT_BYE = 203,
  RTCP_PT_APP = 204,
};

class RTCPInstance : public InterleavedReceiver {
 public:
  RTCPInstance(UsageEnvironment& env, RTPSource* source) : fEnv(env), fSource(source) {}

  // Called once, on the first BYE.
  void setByeHandler(TaskFunc* handlerTask, void* clientData);
  void handleInterleavedPacket(const uint8_t* data, size_t size) override;

  // Parts refused (bad version or a length beyond the packet; the rest of
  // their compound packet goes with them) and sender reports taken.
  uint64_t numMalformedPackets() const { return fNumMalformed; }
  uint64_t numSenderReports() const { return fNumSenderReports; }
  uint32_t lastSenderReportSSRC() const { return fLastSRSSRC; }

 private:
  UsageEnvironment& fEnv;
  RTPSource* fSource;
  TaskFunc* fByeHandler = nullptr;
  void* fByeClientData = nullptr;
  bool fByeSeen = false;
  uint64_t fNumMalformed = 0;
  uint64_t fNumSenderReports = 0;
  uint32_t fLastSRSSRC = 0;
};
