#include "base_datagram_flood.h"

#include <sys/socket.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "link/network/tlx_msg.h"
#include "link/os/socket_for_vxworks.h"
#include "link/os/task_lib.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kGroup[] = "FLOODT";
constexpr int32_t kForeignType = -1;

// Notes when each of the base's messages (typed by its index) reaches the
// group's handler; anything else counts as foreign.
class TimedGroup final : public TLXMsg {
 public:
  explicit TimedGroup(int count) : TLXMsg(kGroup, 4), arrivals_(count) {
    task_ = taskSpawn(kGroup, 100, 0, 8192, tlxMsgTaskEntry, reinterpret_cast<intptr_t>(static_cast<TLXMsg*>(this)));
  }
  ~TimedGroup() override {
    if (task_ > 0) tlxMsgEndTask(*this, task_, 5000);
  }

  bool AllArrived() {
    std::lock_guard guard(lock_);
    return arrived_ == static_cast<int>(arrivals_.size());
  }
  std::vector<std::optional<Clock::time_point>> arrivals() {
    std::lock_guard guard(lock_);
    return arrivals_;
  }
  int foreign() {
    std::lock_guard guard(lock_);
    return foreign_;
  }

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t*) override {
    const Clock::time_point now = Clock::now();
    std::lock_guard guard(lock_);
    if (header.type >= 0 && header.type < static_cast<int32_t>(arrivals_.size()) && !arrivals_[header.type]) {
      arrivals_[header.type] = now;
      ++arrived_;
    } else {
      ++foreign_;
    }
    return 0;
  }

 private:
  uint8_t payload_[4] = {};
  int task_ = 0;
  std::mutex lock_;
  std::vector<std::optional<Clock::time_point>> arrivals_;  // under lock_
  int arrived_ = 0;                                         // under lock_
  int foreign_ = 0;                                         // under lock_
};

std::string Datagram(int32_t type) {
  TLX_MSG_HEADER header{};
  std::memcpy(header.name, kGroup, sizeof kGroup);
  header.type = type;
  header.length = 4;
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  return bytes + std::string(4, 'f');
}

// A datagram socket bound to `address` (any port); null when it cannot be had.
std::unique_ptr<SocketForVxWorks> SenderAt(const char* address) {
  auto socket = std::make_unique<SocketForVxWorks>();
  if (socket->open(SOCK_DGRAM) != 0 || socket->bind(address, 0) != 0) return nullptr;
  return socket;
}

// Sends `count` datagrams evenly over the span from `start`; `sent` is
// called before each send and told whether it went out. The number sent.
template <typename OnSend>
int SendPaced(SocketForVxWorks& socket, const TLX_SOCK_ADDR& to, int count, int32_t (*typeOf)(int),
              Clock::time_point start, std::chrono::milliseconds span, OnSend sent) {
  int total = 0;
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_until(start + span * i / count);
    const std::string bytes = Datagram(typeOf(i));
    const Clock::time_point at = Clock::now();
    const bool out = socket.sendTo(bytes.data(), static_cast<int>(bytes.size()), to) == static_cast<int>(bytes.size());
    sent(i, at, out);
    total += out ? 1 : 0;
  }
  return total;
}

}  // namespace

FloodFigures MeasureBaseDatagramsUnderFlood(const FloodPlan& plan, std::chrono::milliseconds settle) {
  FloodFigures figures;
  const std::unique_ptr<SocketForVxWorks> base = SenderAt(plan.base);
  const std::unique_ptr<SocketForVxWorks> foreign = SenderAt(plan.foreign);
  if (base == nullptr || foreign == nullptr || plan.baseCount <= 0) return figures;
  TLX_SOCK_ADDR player{plan.playerPort, {}};
  std::strncpy(player.address, plan.player, sizeof player.address - 1);

  TimedGroup group(plan.baseCount);
  std::vector<std::optional<Clock::time_point>> sentAt(plan.baseCount);
  const Clock::time_point start = Clock::now();
  std::thread flood([&] {
    figures.floodSent = SendPaced(*foreign, player, plan.floodCount, [](int) { return kForeignType; }, start,
                                  plan.span, [](int, Clock::time_point, bool) {});
  });
  figures.baseSent = SendPaced(*base, player, plan.baseCount, [](int i) { return static_cast<int32_t>(i); }, start,
                               plan.span, [&](int i, Clock::time_point at, bool out) {
                                 if (out) sentAt[i] = at;
                               });
  flood.join();

  const Clock::time_point until = Clock::now() + settle;
  while (!group.AllArrived() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto arrivals = group.arrivals();
  for (int i = 0; i < plan.baseCount; ++i) {
    if (sentAt[i] && arrivals[i]) {
      figures.delaysMs.push_back(std::chrono::duration<double, std::milli>(*arrivals[i] - *sentAt[i]).count());
    }
  }
  figures.foreignReceived = group.foreign();
  return figures;
}

}  // namespace tlx::link::test
