#include "link/os/task_lib.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/os/task_events.h"
#include "link/os/tlx_log.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/ticks.h"
#include "win32/timing.h"

namespace tlx::link {
namespace {

// Shared by a task's record and its running thread, so either may go first.
struct TaskControl {
  TaskControl() : stopEvent(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {}
  ~TaskControl() { CloseHandle(stopEvent); }
  TaskControl(const TaskControl&) = delete;
  TaskControl& operator=(const TaskControl&) = delete;

  std::atomic<bool> stop{false};
  const HANDLE stopEvent;
};

struct TaskRecord {
  std::string name;
  HANDLE thread = nullptr;
  std::vector<std::pair<HANDLE, uint32_t>> events;  // registration order
  std::shared_ptr<TaskControl> control;
};

// The global lock. The mutex lives as long as the process; "created" and
// "deleted" are the library's start and end, between which tasks exist.
std::recursive_mutex g_lock;
bool g_started = false;                // under g_lock
std::map<DWORD, TaskRecord> g_tasks;   // under g_lock, in id order

thread_local std::shared_ptr<TaskControl> t_control;  // set on threads made by taskSpawn
thread_local int t_errno = 0;

// Thrown by taskExitIfStopped and caught only by TaskMain, so a stopped task
// unwinds (releasing what it holds) instead of ending its thread in place.
struct TaskStopped {};

struct TaskStart {
  TASK_ENTRY entry;
  intptr_t argument;
  std::shared_ptr<TaskControl> control;
};

DWORD TaskMain(void* parameter) {
  std::unique_ptr<TaskStart> start(static_cast<TaskStart*>(parameter));
  t_control = std::move(start->control);
  try {
    start->entry(start->argument);
  } catch (const TaskStopped&) {
  }
  t_control.reset();
  return 0;
}

bool ThreadRuns(HANDLE thread) {
  DWORD code = 0;
  return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

TaskRecord* FindLocked(DWORD id) {
  auto it = g_tasks.find(id);
  return it == g_tasks.end() ? nullptr : &it->second;
}

// Sets the stop flag and wakes the task where it waits: its stop event serves
// msgQReceive, its registered events serve eventReceive. They are set, not
// pulsed, so a task that is about to wait sees them too; their states no
// longer matter once it stops.
void RequestStopLocked(TaskRecord& record) {
  record.control->stop = true;
  SetEvent(record.control->stopEvent);
  for (const auto& [event, mask] : record.events) SetEvent(event);
}

void EraseLocked(std::map<DWORD, TaskRecord>::iterator it) {
  if (it->second.thread != nullptr) CloseHandle(it->second.thread);
  g_tasks.erase(it);
}

}  // namespace

void taskLibInit() {
  std::lock_guard lock(g_lock);
  g_started = true;
}

void taskLibCleanup() {
  std::lock_guard lock(g_lock);
  for (auto& [id, record] : g_tasks) RequestStopLocked(record);
  while (!g_tasks.empty()) EraseLocked(g_tasks.begin());
  g_started = false;
}

int taskSpawn(const char* name, int, int, int stackSize, TASK_ENTRY entry, intptr_t argument, intptr_t, intptr_t,
              intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) {
  if (entry == nullptr) return -1;
  std::lock_guard lock(g_lock);
  if (!g_started) return -1;
  auto control = std::make_shared<TaskControl>();
  if (control->stopEvent == nullptr) return -1;
  auto start = std::make_unique<TaskStart>(TaskStart{entry, argument, control});
  DWORD id = 0;
  const HANDLE thread = CreateThread(nullptr, static_cast<size_t>(std::max(stackSize, 0)), &TaskMain, start.get(),
                                     CREATE_SUSPENDED, &id);
  if (thread == nullptr) {
    tlxLog("[ERR] CreateThread() is failed.(%s)\n", name != nullptr ? name : "");
    return -1;
  }
  start.release();  // TaskMain owns it now
  for (auto it = g_tasks.begin(); it != g_tasks.end(); ++it) {
    if (it->second.thread == nullptr || !ThreadRuns(it->second.thread)) {
      EraseLocked(it);
      break;
    }
  }
  TaskRecord& record = g_tasks[id];
  record.name = name != nullptr ? name : "";
  record.thread = thread;
  record.control = std::move(control);
  ResumeThread(thread);
  return static_cast<int>(id);
}

int taskNameToId(const char* name) {
  if (name == nullptr) return -1;
  std::lock_guard lock(g_lock);
  for (const auto& [id, record] : g_tasks) {
    if (record.name == name) {
      return record.thread != nullptr && ThreadRuns(record.thread) ? static_cast<int>(id) : -1;
    }
  }
  return -1;
}

int taskDelete(int taskId) {
  if (taskId == 0) return -1;
  const DWORD id = static_cast<DWORD>(taskId);
  std::unique_lock lock(g_lock);
  TaskRecord* record = FindLocked(id);
  if (record == nullptr || record->thread == nullptr) return -1;
  if (ThreadRuns(record->thread)) RequestStopLocked(*record);
  for (int round = 0; round < 100 && ThreadRuns(record->thread); ++round) {
    lock.unlock();
    Sleep(10);
    lock.lock();
    record = FindLocked(id);
    if (record == nullptr) return 0;  // removed meanwhile by taskReap or the library's end
  }
  if (ThreadRuns(record->thread)) {
    tlxLog("[ERR] task %s did not stop; it is left to end by itself\n", record->name.c_str());
  }
  EraseLocked(g_tasks.find(id));
  return 0;
}

int taskReap(int taskId) {
  std::lock_guard lock(g_lock);
  auto it = g_tasks.find(static_cast<DWORD>(taskId));
  if (it == g_tasks.end()) return -1;
  if (it->second.thread != nullptr && ThreadRuns(it->second.thread)) return 0;
  EraseLocked(it);
  return -1;
}

bool taskStopRequested() {
  std::lock_guard lock(g_lock);
  if (!g_started) return true;
  const TaskRecord* record = FindLocked(GetCurrentThreadId());
  return record == nullptr || record->control->stop;
}

int taskDelay(int ticks) {
  Sleep(TimeoutMilliseconds(ticks, TimeoutUnit::kTicks));
  return 0;
}

int errnoGet() { return t_errno; }

int errnoSet(int value) {
  t_errno = value;
  return 0;
}

int tickClock(int, TLX_TIMESPEC* out) {
  if (out != nullptr) {
    const ULONGLONG ms = GetTickCount64();
    out->tv_sec = static_cast<int32_t>(ms / 1000);
    out->tv_nsec = static_cast<int32_t>(ms % 1000 * 1000000);
  }
  return 0;
}

HANDLE taskEventCreate(uint32_t mask) {
  std::lock_guard lock(g_lock);
  TaskRecord* record = g_started ? FindLocked(GetCurrentThreadId()) : nullptr;
  if (record == nullptr) return nullptr;
  const HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  if (event != nullptr) record->events.emplace_back(event, mask);
  return event;
}

void taskEventClose(HANDLE event) {
  if (event == nullptr) return;
  {
    std::lock_guard lock(g_lock);
    if (TaskRecord* record = g_started ? FindLocked(GetCurrentThreadId()) : nullptr) {
      std::erase_if(record->events, [event](const auto& entry) { return entry.first == event; });
    }
  }
  CloseHandle(event);
}

HANDLE taskStopEvent() { return t_control ? t_control->stopEvent : nullptr; }

void taskExitIfStopped() {
  if (t_control && taskStopRequested()) throw TaskStopped{};
}

int eventReceive(uint32_t mask, bool waitAny, int timeoutTicks, uint32_t* out) {
  std::vector<HANDLE> handles;
  {
    std::lock_guard lock(g_lock);
    const TaskRecord* record = g_started ? FindLocked(GetCurrentThreadId()) : nullptr;
    // A stop asked for earlier set only the events registered then; the
    // ones registered since would keep this wait from ever ending.
    if (record == nullptr || record->control->stop) return -1;
    for (const auto& [event, eventMask] : record->events) {
      if ((eventMask & mask) != 0) handles.push_back(event);
    }
  }
  // The answer names each event by one bit of a 32-bit set.
  if (handles.empty() || handles.size() > 32) return -1;
  if (out != nullptr) *out = 0;
  const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), !waitAny,
                                              TimeoutMilliseconds(timeoutTicks, TimeoutUnit::kTicks));
  if (result >= WAIT_OBJECT_0 + handles.size() || taskStopRequested()) return -1;
  if (out != nullptr) *out = waitAny ? 1u << (result - WAIT_OBJECT_0) : 0xFFFFFFFFu;
  return 0;
}

}  // namespace tlx::link
