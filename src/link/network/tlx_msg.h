// Message groups: named message queues with a receive loop. Every manager of
// the library talks to the others, and through the group "HNET" to the base
// station, by sending a TLX_MSG_HEADER and its payload to a group by name.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/os/msg_q_lib.h"
#include "link/tlx_bcf.h"

namespace tlx::link {

inline constexpr int kMsgPayloadMax = 1024;
inline constexpr int kMsgHeaderSize = static_cast<int>(sizeof(TLX_MSG_HEADER));
inline constexpr int kMsgQueueDepth = 20;

// Task error numbers of the group layer.
inline constexpr int S_tlxMsg_BAD_LENGTH = 0x4010001;  // bad maximum length, or a second receive loop
inline constexpr int S_tlxMsg_NO_GROUP = 0x4010003;    // no group of that name
inline constexpr int S_hnetMsg_NO_SOCKET = 0x4020001;  // "HNET" has no send socket

// The stop message's name; never a group.
inline constexpr char kMsgStopName[] = "ENDRECV";

// One group. A derived class gives the payload that sends take and the
// handler of received messages.
class TLXMsg {
 public:
  // An empty or null name gives a group without a queue; so does a name that
  // is already in the table (logged). A maximum above 1024 is kept (logged):
  // such a group can neither send nor receive.
  TLXMsg(const char* name, int maxLength);
  virtual ~TLXMsg();
  TLXMsg(const TLXMsg&) = delete;
  TLXMsg& operator=(const TLXMsg&) = delete;

  // Sends {this group's name, type, length field, payload} to the group
  // `destination` without waiting. A length field of 0 sends `maxLength`
  // payload bytes (the header still says 0). 0; -1 with task error number
  // S_tlxMsg_BAD_LENGTH for a null name or a maximum above 1024,
  // S_tlxMsg_NO_GROUP for an unknown destination, or a full queue (logged).
  int sendMsgQ(const char* destination);
  // The same for a message given here: {this group's name, type, length,
  // payload}, leaving the header fields of the group as they are. The
  // length must lie in 0..1024.
  int sendMsgQ(const char* destination, int32_t type, const void* payload, int32_t length);
  // The receive loop, run on the group's own task: hands every message to
  // handleMsg until "ENDRECV" (0), a failed receive or a handler result of
  // -1 (-1). -1 with S_tlxMsg_BAD_LENGTH for a maximum above 1024 or a loop
  // that already runs.
  int recvMsgQ();
  // Ends the loop: clears the receiving flag and sends "ENDRECV" to itself.
  void stopRecvMsgQ();

  const char* name() const { return header_.name; }
  MSG_Q_ID queue() const { return queue_; }
  int maxLength() const { return maxLength_; }
  void setType(int32_t type) { header_.type = type; }
  void setLength(int32_t length) { header_.length = length; }

 protected:
  // Where a send takes its payload bytes from (at least maxLength of them).
  virtual const void* payload() = 0;
  // One received message: its header and a payload buffer of maxLength
  // bytes, of which the header's length are the message's (the rest is
  // zero). Runs on the group's task; -1 ends the loop.
  virtual int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) = 0;

 private:
  // Sends the header and `bytes` payload bytes to the destination's queue.
  int Post(const char* destination, const TLX_MSG_HEADER& header, const void* payload, int bytes);

  TLX_MSG_HEADER header_{};
  MSG_Q_ID queue_ = nullptr;
  const int maxLength_;
  std::atomic<bool> receiving_{false};
  std::atomic<bool> looping_{false};
};

// The queue and maximum payload length of the group `name`; false when no
// group of that name exists.
bool tlxMsgFindGroup(const char* name, MSG_Q_ID* queue, int* maxLength);
// A group task's entry: runs recvMsgQ on the TLXMsg* it is given.
void tlxMsgTaskEntry(intptr_t group);
// Ends the group's receive task `taskId`: "ENDRECV" to the group, then up to
// `limitMs` (a time-out, scaled) for its thread to end, polled every tick;
// a task still running then is deleted. Its record is gone afterwards.
void tlxMsgEndTask(TLXMsg& group, int taskId, int limitMs);

}  // namespace tlx::link
