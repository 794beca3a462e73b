#include "rtsp/rtcp_instance.h"

#include <string>

#include "rtsp/rtp_source.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

}  // namespace

void RTCPInstance::setByeHandler(TaskFunc* handlerTask, void* clientData) {
  fByeHandler = handlerTask;
  fByeClientData = clientData;
}

void RTCPInstance::handleInterleavedPacket(const uint8_t* data, size_t size) {
  bool bye = false;
  while (size > 0) {
    auto refuse = [&](const char* why) {
      ++fNumMalformed;
      fEnv.log(std::string("RTCP packet dropped: ") + why + "\n");
    };
    if (size < 4) {
      refuse("part shorter than its header");
      break;
    }
    if ((data[0] >> 6) != 2) {
      refuse("RTCP version is not 2");
      break;
    }
    const unsigned count = data[0] & 0x1F;
    const uint8_t type = data[1];
    const size_t length = (static_cast<size_t>((data[2] << 8) | data[3]) + 1) * 4;
    if (length > size) {
      refuse("length beyond the packet");
      break;
    }
    switch (type) {
      case RTCP_PT_SR:
        if (length < 28 + 24 * static_cast<size_t>(count)) {
          refuse("sender report cut short");
          size = 0;
          continue;
        }
        fLastSRSSRC = Be32(data + 4);
        ++fNumSenderReports;
        if (fSource != nullptr) {
          fSource->noteSenderReport(fLastSRSSRC, Be32(data + 8), Be32(data + 12), Be32(data + 16));
        }
        break;
      case RTCP_PT_RR:
        if (length < 8 + 24 * static_cast<size_t>(count)) {
          refuse("receiver report cut short");
          size = 0;
          continue;
        }
        break;
      case RTCP_PT_BYE:
        bye = true;
        break;
      case RTCP_PT_SDES:
      case RTCP_PT_APP:
      default:
        break;
    }
    data += length;
    size -= length;
  }
  if (bye && !fByeSeen) {
    fByeSeen = true;
    if (fByeHandler != nullptr) fByeHandler(fByeClientData);
  }
}
