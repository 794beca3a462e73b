// What arrived from each sender of an RTP stream: packet and byte counts and
// the extended highest sequence number, from which the expected count (and so
// the loss) follows.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

class RTPReceptionStats {
 public:
  explicit RTPReceptionStats(uint32_t ssrc) : fSSRC(ssrc) {}

  uint32_t SSRC() const { return fSSRC; }
  unsigned totNumPacketsReceived() const { return fTotNumPacketsReceived; }
  // Payload bytes received / 1000, so that kilobytes × 8 per second is kbit/s.
  double totNumKBytesReceived() const { return fTotBytesReceived / 1000.0; }
  // The highest sequence number seen with its wrap count in the upper 16 bits.
  uint32_t highestExtSeqNumReceived() const { return fHighestExtSeqNum; }
  uint32_t baseExtSeqNumReceived() const { return fBaseExtSeqNum; }
  // Highest minus base, plus one: the packets that should have arrived.
  unsigned totNumPacketsExpected() const { return fHighestExtSeqNum - fBaseExtSeqNum + 1; }

  // Counts one packet. Its sequence number extends the highest one when it is
  // at most 32767 ahead of it (modulo 2^16); a smaller step back is a late or
  // repeated packet and leaves the highest alone.
  void noteIncomingPacket(uint16_t seqNum, unsigned payloadBytes);

 private:
  uint32_t fSSRC;
  unsigned fTotNumPacketsReceived = 0;
  uint64_t fTotBytesReceived = 0;
  uint32_t fBaseExtSeqNum = 0;
  uint32_t fHighestExtSeqNum = 0;
};

class RTPReceptionStatsDB {
 public:
  // The record of this sender, created on its first packet.
  RTPReceptionStats& noteIncomingPacket(uint32_t ssrc, uint16_t seqNum, unsigned payloadBytes);
  RTPReceptionStats* lookup(uint32_t ssrc) const;
  unsigned numActiveSourcesSinceLastReset() const { return static_cast<unsigned>(fTable.size()); }
  unsigned totNumPacketsReceived() const { return fTotNumPacketsReceived; }

  class Iterator {
   public:
    explicit Iterator(RTPReceptionStatsDB& db) : fDB(db), fNext(db.fTable.begin()) {}
    // The next record, or null after the last.
    RTPReceptionStats* next();

   private:
    RTPReceptionStatsDB& fDB;
    std::map<uint32_t, std::unique_ptr<RTPReceptionStats>>::iterator fNext;
  };

 private:
  std::map<uint32_t, std::unique_ptr<RTPReceptionStats>> fTable;
  unsigned fTotNumPacketsReceived = 0;
};
