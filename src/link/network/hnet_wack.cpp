#include "link/network/hnet_wack.h"

#include <atomic>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "link/os/task_lib.h"
#include "link/os/timer_lib.h"

namespace tlx::link {
namespace {

struct Waiter {
  std::string name;
  int type;
  int timer;
  std::atomic<int> status{kWackPending};
};

struct WackTable {
  std::mutex lock;
  std::list<std::shared_ptr<Waiter>> waiters;  // under lock
};

WackTable& table() {
  static WackTable instance;
  return instance;
}

void TimedOut(intptr_t waiter) {
  int expected = kWackPending;
  reinterpret_cast<Waiter*>(waiter)->status.compare_exchange_strong(expected, kWackTimedOut);
}

std::shared_ptr<Waiter> Find(WackTable& t, const char* name, int type) {
  for (const auto& waiter : t.waiters) {
    if (waiter->type == type && waiter->name == name) return waiter;
  }
  return nullptr;
}

}  // namespace

int HnetWack_Register(const char* name, int type, int timeoutMs) {
  if (name == nullptr) return -1;
  const int timer = wdCreate();
  if (timer == 0) return -1;
  auto waiter = std::make_shared<Waiter>();
  waiter->name = name;
  waiter->type = type;
  waiter->timer = timer;
  WackTable& t = table();
  {
    std::lock_guard guard(t.lock);
    t.waiters.push_back(waiter);
  }
  // The watchdog counts ticks; the time-out is given in milliseconds.
  const int ticks = timeoutMs <= 0 ? 1 : (timeoutMs * 60 + 999) / 1000;
  if (wdStart(timer, ticks, TimedOut, reinterpret_cast<intptr_t>(waiter.get())) != 0) {
    {
      std::lock_guard guard(t.lock);
      t.waiters.remove(waiter);
    }
    wdDelete(timer);
    return -1;
  }
  return 0;
}

int HnetWack_Wait(const char* name, int type) {
  if (name == nullptr) return -1;
  WackTable& t = table();
  std::shared_ptr<Waiter> waiter;
  {
    std::lock_guard guard(t.lock);
    waiter = Find(t, name, type);
  }
  if (waiter == nullptr) return -1;
  while (waiter->status == kWackPending) taskDelay(1);
  {
    std::lock_guard guard(t.lock);
    t.waiters.remove(waiter);
  }
  wdDelete(waiter->timer);
  return waiter->status;
}

int HnetWack_Ack(const char* name, int type) {
  if (name == nullptr) return -1;
  WackTable& t = table();
  std::lock_guard guard(t.lock);
  for (const auto& waiter : t.waiters) {
    int expected = kWackPending;
    if (waiter->type == type && waiter->name == name && waiter->status.compare_exchange_strong(expected, kWackAcked)) {
      return 0;
    }
  }
  return -1;
}

void HnetWack_Cancel(const char* name) {
  if (name == nullptr) return;
  WackTable& t = table();
  std::lock_guard guard(t.lock);
  for (const auto& waiter : t.waiters) {
    if (waiter->name == name) waiter->status = kWackCancelled;
  }
}

void HnetWack_CancelAll() {
  WackTable& t = table();
  std::lock_guard guard(t.lock);
  for (const auto& waiter : t.waiters) waiter->status = kWackCancelled;
}

}  // namespace tlx::link
