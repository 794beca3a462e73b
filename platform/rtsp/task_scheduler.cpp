#include "rtsp/task_scheduler.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

namespace {

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

uint64_t SeqOf(TaskToken token) { return reinterpret_cast<uintptr_t>(token); }

}  // namespace

TaskToken DelayQueue::add(int64_t delayUs, TaskFunc* proc, void* clientData) {
  const int64_t due = NowUs() + std::max<int64_t>(delayUs, 0);
  const uint64_t seq = fNextSeq++;
  fEntries.emplace(Key{due, seq}, Entry{proc, clientData});
  fDueBySeq.emplace(seq, due);
  return reinterpret_cast<TaskToken>(static_cast<uintptr_t>(seq));
}

bool DelayQueue::remove(TaskToken token) {
  auto it = fDueBySeq.find(SeqOf(token));
  if (it == fDueBySeq.end()) return false;
  fEntries.erase(Key{it->second, it->first});
  fDueBySeq.erase(it);
  return true;
}

int64_t DelayQueue::timeToNextAlarm() const {
  if (fEntries.empty()) return -1;
  return std::max<int64_t>(fEntries.begin()->first.dueUs - NowUs(), 0);
}

void DelayQueue::handleAlarms() {
  const int64_t now = NowUs();
  const uint64_t lastSeq = fNextSeq - 1;
  // Each round takes the first due entry that existed when the call began;
  // the map is looked at afresh every time, because a task may change it.
  for (;;) {
    auto it = std::find_if(fEntries.begin(), fEntries.end(), [&](const auto& e) {
      return e.first.dueUs > now || e.first.seq <= lastSeq;
    });
    if (it == fEntries.end() || it->first.dueUs > now) return;
    const Entry entry = it->second;
    fDueBySeq.erase(it->first.seq);
    fEntries.erase(it);
    entry.proc(entry.clientData);
  }
}

void DelayQueue::clear() {
  fEntries.clear();
  fDueBySeq.clear();
}

void HandlerSet::set(int socketNum, BackgroundHandlerProc* proc, void* clientData) {
  for (Handler& h : fHandlers) {
    if (h.socketNum == socketNum) {
      h.proc = proc;
      h.clientData = clientData;
      return;
    }
  }
  fHandlers.push_back(Handler{socketNum, proc, clientData});
}

void HandlerSet::remove(int socketNum) {
  std::erase_if(fHandlers, [&](const Handler& h) { return h.socketNum == socketNum; });
}

const HandlerSet::Handler* HandlerSet::find(int socketNum) const {
  for (const Handler& h : fHandlers) {
    if (h.socketNum == socketNum) return &h;
  }
  return nullptr;
}

BasicTaskScheduler* BasicTaskScheduler::createNew() { return new BasicTaskScheduler(); }

TaskToken BasicTaskScheduler::scheduleDelayedTask(int64_t microseconds, TaskFunc* proc,
                                                  void* clientData) {
  return fDelayQueue.add(microseconds, proc, clientData);
}

void BasicTaskScheduler::unscheduleDelayedTask(TaskToken& prevTask) {
  fDelayQueue.remove(prevTask);
  prevTask = nullptr;
}

void BasicTaskScheduler::turnOnBackgroundReadHandling(int socketNum,
                                                      BackgroundHandlerProc* handlerProc,
                                                      void* clientData) {
  if (socketNum < 0) return;
  if (handlerProc == nullptr) {
    fHandlers.remove(socketNum);
    return;
  }
  fHandlers.set(socketNum, handlerProc, clientData);
}

void BasicTaskScheduler::turnOffBackgroundReadHandling(int socketNum) {
  fHandlers.remove(socketNum);
}

void BasicTaskScheduler::doEventLoop(char volatile* watchVariable) {
  while (watchVariable == nullptr || *watchVariable == 0) {
    if (!SingleStep()) return;
  }
}

int BasicTaskScheduler::stepTimeoutMs(unsigned maxDelayTime) const {
  int64_t waitUs = fDelayQueue.timeToNextAlarm();
  if (maxDelayTime > 0 && (waitUs < 0 || waitUs > maxDelayTime)) waitUs = maxDelayTime;
  if (waitUs < 0) return -1;
  const int64_t ms = (waitUs + 999) / 1000;
  return static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int>::max()));
}

std::vector<pollfd> BasicTaskScheduler::pollSet() const {
  std::vector<pollfd> polled;
  for (const HandlerSet::Handler& h : fHandlers.handlers()) {
    polled.push_back(pollfd{h.socketNum, POLLIN, 0});
  }
  return polled;
}

int BasicTaskScheduler::waitForSockets(std::vector<pollfd>& polled, int timeoutMs) {
  const int n = ::poll(polled.data(), polled.size(), timeoutMs);
  if (n < 0) return errno == EINTR ? 0 : -1;
  return n;
}

bool BasicTaskScheduler::callReadyHandlers(const std::vector<pollfd>& polled) {
  for (const pollfd& p : polled) {
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    // A handler called before may have turned this one off or replaced it.
    const HandlerSet::Handler* h = fHandlers.find(p.fd);
    if (h == nullptr || h->proc == nullptr) continue;
    if (!acceptReadable(p.fd)) return false;
    const HandlerSet::Handler copy = *h;
    copy.proc(copy.clientData, SOCKET_READABLE);
  }
  return true;
}

bool BasicTaskScheduler::acceptReadable(int) { return true; }

bool BasicTaskScheduler::SingleStep(unsigned maxDelayTime) {
  std::vector<pollfd> polled = pollSet();
  const int timeoutMs = stepTimeoutMs(maxDelayTime);
  if (polled.empty() && timeoutMs < 0) return false;  // nothing could ever wake it
  const int n = waitForSockets(polled, timeoutMs);
  if (n < 0) return false;
  if (n > 0) callReadyHandlers(polled);
  fDelayQueue.handleAlarms();
  return true;
}
