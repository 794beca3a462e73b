#include "streaming_qos.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TlxReceptionCounters ReadReceptionCounters(RTPReceptionStatsDB& db) {
  TlxReceptionCounters counters;
  RTPReceptionStatsDB::Iterator it(db);
  while (RTPReceptionStats* stats = it.next()) {
    counters.kilobytes += stats->totNumKBytesReceived();
    counters.packetsReceived += stats->totNumPacketsReceived();
    counters.packetsExpected += stats->totNumPacketsExpected();
  }
  return counters;
}

void TlxQosMonitor::Measure(const TlxReceptionCounters& now, double nowSeconds) {
  const double elapsed = nowSeconds - lastTime;
  rate = elapsed > 0 ? std::max(0.0, (now.kilobytes - last.kilobytes) * 8 / elapsed) : 0;
  const double expected = static_cast<double>(now.packetsExpected) - last.packetsExpected;
  const double received = static_cast<double>(now.packetsReceived) - last.packetsReceived;
  loss = expected > 0 ? 1 - received / expected : 0;
  if (!measured) {
    rateMin = rateMax = rate;
    lossMin = lossMax = loss;
    measured = true;
  } else {
    rateMin = std::min(rateMin, rate);
    rateMax = std::max(rateMax, rate);
    lossMin = std::min(lossMin, loss);
    lossMax = std::max(lossMax, loss);
  }
  last = now;
  lastTime = nowSeconds;
}

void TlxStreamingClientQOS::Start(unsigned periodMs, Callback callback) {
  Stop();
  fPeriodUs = static_cast<int64_t>(periodMs) * 1000;
  fCallback = std::move(callback);
  fEntries.clear();
  const double now = NowSeconds();
  MediaSubsessionIterator it(fSession);
  while (MediaSubsession* subsession = it.next()) {
    if (subsession->rtpSource() == nullptr) continue;
    Entry entry{subsession, {}};
    entry.monitor.lastTime = now;
    entry.monitor.last = ReadReceptionCounters(subsession->rtpSource()->receptionStatsDB());
    fEntries.push_back(entry);
  }
  fTimer = fScheduler.scheduleDelayedTask(fPeriodUs, OnTimer, this);
}

void TlxStreamingClientQOS::Stop() {
  if (fTimer != nullptr) fScheduler.unscheduleDelayedTask(fTimer);
}

void TlxStreamingClientQOS::OnTimer(void* self) {
  auto* qos = static_cast<TlxStreamingClientQOS*>(self);
  qos->fTimer = nullptr;
  qos->Measure();
  qos->fTimer = qos->fScheduler.scheduleDelayedTask(qos->fPeriodUs, OnTimer, qos);
}

void TlxStreamingClientQOS::Measure() {
  const double now = NowSeconds();
  for (Entry& entry : fEntries) {
    if (entry.subsession->rtpSource() == nullptr) continue;
    entry.monitor.Measure(ReadReceptionCounters(entry.subsession->rtpSource()->receptionStatsDB()), now);
    if (std::strcmp(entry.subsession->mediumName(), "audio") == 0) fAudioRate = entry.monitor.rate;
    if (std::strcmp(entry.subsession->mediumName(), "video") == 0) fVideoRate = entry.monitor.rate;
  }
  if (fCallback) fCallback(fAudioRate, fVideoRate);
}
