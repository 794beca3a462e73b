#include "rtsp/reception_stats.h"

void RTPReceptionStats::noteIncomingPacket(uint16_t seqNum, unsigned payloadBytes) {
  if (fTotNumPacketsReceived == 0) {
    fBaseExtSeqNum = seqNum;
    fHighestExtSeqNum = seqNum;
  } else {
    const uint16_t highest = static_cast<uint16_t>(fHighestExtSeqNum);
    const uint16_t step = static_cast<uint16_t>(seqNum - highest);
    if (step != 0 && step < 0x8000) {
      uint32_t cycles = fHighestExtSeqNum & 0xFFFF0000u;
      if (seqNum < highest) cycles += 0x10000;  // wrapped past 65535
      fHighestExtSeqNum = cycles | seqNum;
    }
  }
  ++fTotNumPacketsReceived;
  fTotBytesReceived += payloadBytes;
}

RTPReceptionStats& RTPReceptionStatsDB::noteIncomingPacket(uint32_t ssrc, uint16_t seqNum,
                                                          unsigned payloadBytes) {
  auto& slot = fTable[ssrc];
  if (!slot) slot = std::make_unique<RTPReceptionStats>(ssrc);
  slot->noteIncomingPacket(seqNum, payloadBytes);
  ++fTotNumPacketsReceived;
  return *slot;
}

RTPReceptionStats* RTPReceptionStatsDB::lookup(uint32_t ssrc) const {
  auto it = fTable.find(ssrc);
  return it == fTable.end() ? nullptr : it->second.get();
}

RTPReceptionStats* RTPReceptionStatsDB::Iterator::next() {
  if (fNext == fDB.fTable.end()) return nullptr;
  return (fNext++)->second.get();
}
