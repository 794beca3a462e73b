#include "link/network/tlx_msg.h"

#include <chrono>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

struct GroupNode {
  std::string name;
  MSG_Q_ID queue;
  int maxLength;
};

// The group table: the live groups' names and queues, in creation order.
// It exists while at least one group does.
struct MsgTable {
  std::mutex lock;
  std::list<GroupNode>* nodes = nullptr;  // under lock
  int count = 0;                           // under lock
};

MsgTable& table() {
  static MsgTable instance;
  return instance;
}

bool SameName(const std::string& a, const char* b) { return std::strncmp(a.c_str(), b, 8) == 0; }

}  // namespace

TLXMsg::TLXMsg(const char* name, int maxLength) : maxLength_(maxLength) {
  if (name == nullptr || name[0] == '\0') return;
  std::strncpy(header_.name, name, sizeof header_.name - 1);
  if (maxLength > kMsgPayloadMax) tlxLog("[ERR] %s max length of message is too long.\n", header_.name);
  MsgTable& t = table();
  std::lock_guard guard(t.lock);
  if (t.nodes != nullptr) {
    for (const GroupNode& node : *t.nodes) {
      if (SameName(node.name, header_.name)) {
        tlxLog("[ERR] group name (%s) is already exist.\n", header_.name);
        return;
      }
    }
  }
  queue_ = msgQCreate(kMsgQueueDepth, (maxLength > 0 ? maxLength : 0) + kMsgHeaderSize, 0);
  if (queue_ == nullptr) {
    tlxLog("[ERR] %s msgQCreate\n", header_.name);
    return;
  }
  if (t.nodes == nullptr) t.nodes = new std::list<GroupNode>;
  t.nodes->push_back({header_.name, queue_, maxLength});
  ++t.count;
  tlxLog("[INFO] \"%s\" was added to TLXMsgTable.\n", header_.name);
}

TLXMsg::~TLXMsg() {
  if (queue_ == nullptr) return;
  {
    MsgTable& t = table();
    std::lock_guard guard(t.lock);
    t.nodes->remove_if([this](const GroupNode& node) { return node.queue == queue_; });
    tlxLog("[INFO] \"%s\" was deleted from TLXMsgTable.\n", header_.name);
    if (--t.count == 0) {
      delete t.nodes;
      t.nodes = nullptr;
    }
  }
  msgQDelete(queue_);
}

int TLXMsg::sendMsgQ(const char* destination) {
  if (maxLength_ > kMsgPayloadMax) {
    errnoSet(S_tlxMsg_BAD_LENGTH);
    return -1;
  }
  const int bytes = header_.length != 0 ? header_.length : maxLength_;
  return Post(destination, header_, payload(), bytes);
}

int TLXMsg::sendMsgQ(const char* destination, int32_t type, const void* payload, int32_t length) {
  TLX_MSG_HEADER header = header_;
  header.type = type;
  header.length = length;
  return Post(destination, header, payload, length);
}

int TLXMsg::Post(const char* destination, const TLX_MSG_HEADER& header, const void* payload, int bytes) {
  if (destination == nullptr || maxLength_ > kMsgPayloadMax || bytes < 0 || bytes > kMsgPayloadMax ||
      (bytes > 0 && payload == nullptr)) {
    errnoSet(S_tlxMsg_BAD_LENGTH);
    return -1;
  }
  MSG_Q_ID target = nullptr;
  if (!tlxMsgFindGroup(destination, &target, nullptr)) {
    errnoSet(S_tlxMsg_NO_GROUP);
    return -1;
  }
  std::vector<uint8_t> message(kMsgHeaderSize + bytes);
  std::memcpy(message.data(), &header, kMsgHeaderSize);
  if (bytes > 0) std::memcpy(message.data() + kMsgHeaderSize, payload, bytes);
  if (msgQSend(target, message.data(), static_cast<int>(message.size()), 0, 0) != 0) {
    tlxLog("[ERR] %s : %s errno=0x%x\n", "TLXMsg::sendMsgQ", header_.name, errnoGet());
    return -1;
  }
  return 0;
}

int TLXMsg::recvMsgQ() {
  if (maxLength_ > kMsgPayloadMax || queue_ == nullptr || looping_.exchange(true)) {
    errnoSet(S_tlxMsg_BAD_LENGTH);
    return -1;
  }
  struct LoopEnd {
    TLXMsg* group;
    ~LoopEnd() {
      tlxLog("[INFO] %s : %s stopped.\n", "TLXMsg::recvMsgQ", group->header_.name);
      group->looping_ = false;
    }
  } loopEnd{this};
  receiving_ = true;
  const int slot = (maxLength_ > 0 ? maxLength_ : 0) + kMsgHeaderSize;
  std::vector<uint8_t> buffer(slot);
  int result = 0;
  while (receiving_) {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (msgQReceive(queue_, buffer.data(), slot, -1) != 0) {
      result = -1;
      break;
    }
    if (std::memcmp(buffer.data(), kMsgStopName, sizeof kMsgStopName) == 0) {
      tlxLog("[INFO] %s : %s stop receiving Msg\n", "TLXMsg::recvMsgQ", header_.name);
      result = 0;
      break;
    }
    TLX_MSG_HEADER header;
    std::memcpy(&header, buffer.data(), kMsgHeaderSize);
    if (handleMsg(header, buffer.data() + kMsgHeaderSize) == -1) {
      result = -1;
      break;
    }
  }
  return result;
}

void TLXMsg::stopRecvMsgQ() {
  receiving_ = false;
  if (queue_ != nullptr) msgQSend(queue_, kMsgStopName, sizeof kMsgStopName - 1, 0, 0);
}

bool tlxMsgFindGroup(const char* name, MSG_Q_ID* queue, int* maxLength) {
  if (name == nullptr) return false;
  MsgTable& t = table();
  std::lock_guard guard(t.lock);
  if (t.nodes == nullptr) return false;
  for (const GroupNode& node : *t.nodes) {
    if (SameName(node.name, name)) {
      if (queue != nullptr) *queue = node.queue;
      if (maxLength != nullptr) *maxLength = node.maxLength;
      return true;
    }
  }
  return false;
}

void tlxMsgTaskEntry(intptr_t group) { reinterpret_cast<TLXMsg*>(group)->recvMsgQ(); }

void tlxMsgEndTask(TLXMsg& group, int taskId, int limitMs) {
  group.stopRecvMsgQ();
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(TimeoutMilliseconds(limitMs, TimeoutUnit::kMilliseconds));
  while (taskReap(taskId) == 0 && std::chrono::steady_clock::now() < deadline) taskDelay(1);
  if (taskReap(taskId) == 0) {
    tlxLog("[INFO] %s : its task did not end in time.\n", group.name());
    taskDelete(taskId);
  }
}

}  // namespace tlx::link
