// A scripted stand-in for the link library: while one exists, the table that
// TlxBcfApi() returns calls it instead of the library. It answers each
// function with a scripted result, records every call with its arguments and
// fires events into the attached callbacks, and learned codes into the
// remote commander's learning callback, from a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/tlx_bcf_api.h"

namespace tlx::test {

// One call as the fake received it.
struct FakeTlxBcfCall {
  std::string name;       // the function's name, "tlxRavixMgr_ChangeState"
  std::vector<int> ints;  // its integer arguments in order (see each function below)
  std::string text;       // its text argument (tlxTvMgr_SetTVParams), else ""
  std::string bytes;      // the code bytes of tlxUiRcomMgr_SendCommand, else ""
};

// What each function records in `ints`:
//   tlxInit: the six option words (none for a null pointer)
//   tlxHnetMgr_SetConnType: type      tlxRavixMgr_ChangeState: state
//   tlxRavixMgr_SetBitrate: code, 1 when `out` is not null else 0
//   tlxRavixMgr_GetBaseInfo: 1 when the record pointer is not null else 0
//   tlxRavixMgr_GetKeyKK: size
//   tlxTvMgr_SelectEx, tlxTvMgr_SetPictureCtrl: their five values
//   tlxTvMgr_SetTVParams: kind (and the text in `text`)
//   tlxEventMgrCallbackAttach: the mask
//   tlxUiRcomMgr_SendCommand: the phase and the length (the `len` bytes of a
//     non-null `data` in `bytes`)
//   tlxUiRcomMgr_StartLearning: the flags      tlxUiRcomMgr_StopLearning: wait
//   tlxUiRcomMgr_GetParameter: id and outLen
//   tlxCleanup, tlxRavixMgr_AuthInit, tlxTvMgr_GetVideoIn,
//   tlxTvMgr_ChangeAudioBli, tlxEventMgrCallbackDetach,
//   tlxUiRcomMgr_StartCapture, tlxUiRcomMgr_StopCapture: nothing
class FakeTlxBcf {
 public:
  // Installs the fake's table and starts its event thread. Only one fake may
  // exist at a time: a second throws std::logic_error.
  FakeTlxBcf();
  // Stops the event thread and puts the table that was in use before back.
  // No call may still be inside the fake (release a blocked start first).
  ~FakeTlxBcf();
  FakeTlxBcf(const FakeTlxBcf&) = delete;
  FakeTlxBcf& operator=(const FakeTlxBcf&) = delete;

  // --- Scripted results (every result is 0 until set; tlxCleanup and
  // tlxRavixMgr_AuthInit always return 0) ---

  // The result of `function`, one of tlxInit, tlxHnetMgr_SetConnType,
  // tlxRavixMgr_SetBitrate, tlxRavixMgr_GetBaseInfo, tlxRavixMgr_GetKeyKK,
  // tlxTvMgr_SelectEx, tlxTvMgr_GetVideoIn (the input it reports),
  // tlxTvMgr_SetPictureCtrl, tlxTvMgr_SetTVParams, tlxTvMgr_ChangeAudioBli,
  // tlxUiRcomMgr_SendCommand, tlxUiRcomMgr_StartLearning,
  // tlxUiRcomMgr_StopLearning, tlxUiRcomMgr_StartCapture and
  // tlxUiRcomMgr_StopCapture.
  // Throws std::invalid_argument for any other name.
  void SetResult(std::string_view function, int result);
  // The result of tlxRavixMgr_ChangeState(state).
  void SetChangeStateResult(int state, int result);
  // The result of a blocked tlxRavixMgr_ChangeState(1) that a
  // tlxRavixMgr_ChangeState(3) ended (-1 until set).
  void SetAbortedStartResult(int result);
  // The record tlxRavixMgr_GetBaseInfo fills when its result is 0 (all zero
  // until set); with another result the record is left untouched.
  void SetBaseInfo(const TLX_BASE_INFO& info);
  // The text tlxRavixMgr_GetKeyKK writes when its result is 0, with its
  // terminating zero and cut to the given size
  // ("00112233445566778899aabbccddeeff" until set).
  void SetKeyKK(const std::string& hexDigits);
  // The value tlxRavixMgr_SetBitrate writes to a non-null `out`, whatever
  // its result.
  void SetBitrateOut(int value);
  // The text tlxUiRcomMgr_GetParameter(id) answers with its terminating
  // zero, result 0, when `outLen` holds it; -1 for an id without a text or a
  // buffer too small (nothing written).
  void SetParameter(int id, const std::string& text);
  // tlxEventMgrCallbackAttach with exactly this mask returns -1 and attaches
  // nothing (fail false: works again).
  void FailAttach(unsigned mask, bool fail = true);
  // tlxEventMgrCallbackDetach of a callback attached with exactly this mask
  // returns -1 and leaves it attached (fail false: works again).
  void FailDetach(unsigned mask, bool fail = true);

  // --- The blocking start ---

  // While on, tlxRavixMgr_ChangeState(1) waits until ReleaseStart() (it then
  // returns its scripted result) or until tlxRavixMgr_ChangeState(3) comes
  // from another thread (then it returns the aborted-start result).
  void BlockStart(bool on = true);
  // Waits until a call is blocked in tlxRavixMgr_ChangeState(1); false after
  // the time-out.
  bool WaitStartBlocked(int timeoutMs = 5000);
  // Lets the blocked tlxRavixMgr_ChangeState(1) return; false when none is
  // blocked.
  bool ReleaseStart();
  // Runs on the calling thread with the result each time
  // tlxRavixMgr_ChangeState(1) is about to return to its caller, after any
  // wait and outside the fake's locks (so it may call the code under test).
  void SetAfterStartHook(std::function<void(int result)> hook);

  // --- Recorded calls ---

  std::vector<FakeTlxBcfCall> Calls() const;
  std::vector<FakeTlxBcfCall> CallsOf(std::string_view name) const;
  int CountCalls(std::string_view name) const;
  // Waits until at least `count` calls of `name` were recorded; false after
  // the time-out.
  bool WaitForCalls(std::string_view name, int count = 1, int timeoutMs = 5000) const;

  // --- Events ---

  // The masks of the callbacks attached now, in slot order.
  std::vector<unsigned> AttachedMasks() const;
  // Queues an event with `eventId` and the payload words (at most 12) for the
  // event thread, which calls every callback attached with a mask that shares
  // a bit with it. Returns the event's number for WaitDelivered.
  uint64_t FireEvent(uint32_t eventId, const std::vector<uint32_t>& words);
  // Waits until the event thread has passed event `number` to every matching
  // callback (and every earlier one); false after the time-out.
  bool WaitDelivered(uint64_t number, int timeoutMs = 5000) const;
  // Queues a call of the learning callback with (what, data, value, user) for
  // the event thread, in order with the events: `data` is the address of a
  // copy of `bytes` (0 when empty), valid during the call. The callback and
  // user value are those of the last tlxUiRcomMgr_StartLearning that returned
  // 0, until a tlxUiRcomMgr_StopLearning that returns 0; without one the call
  // is dropped. Returns its number for WaitDelivered.
  uint64_t FireLearning(int what, const std::string& bytes, int value);
  // The fake's event thread, on which the callbacks run.
  std::thread::id EventThreadId() const;

 private:
  friend struct FakeTlxBcfEntry;
  struct Slot {
    TLX_EVENT_CALLBACK callback;
    void* context;
    unsigned mask;
  };
  // An event, or a learning call when `learning`.
  struct Queued {
    bool learning;
    TLX_EVENT_MSG message;
    int what;
    std::string bytes;
    int value;
  };

  // Appends one call and wakes the waiters.
  void Record(const char* name, std::vector<int> ints, std::string text = {}, std::string bytes = {});
  // The scripted result of `function`, 0 when none was set.
  int Result(std::string_view function) const;
  // Adds `mask` to `failing` (fail) or takes it out.
  void MarkFailing(std::set<unsigned>& failing, unsigned mask, bool fail);
  // The table's functions with more to do than record and answer; each
  // records its call first and behaves as described above.
  int ChangeState(int state);
  int GetBaseInfo(TLX_BASE_INFO* out);
  int GetKeyKK(char* out, int size);
  int SetBitrate(int code, int* out);
  int SendCommand(int cmdId, const char* data, int len);
  int StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user);
  int StopLearning(int wait);
  int GetParameter(int id, char* out, int outLen);
  // As the library's 16-slot table: -1 for a null callback, a full table, a
  // scripted failure or a call from the event thread.
  int Attach(TLX_EVENT_CALLBACK callback, void* context, unsigned mask);
  // -1 for an unknown callback, a scripted failure or a call from the event
  // thread; waits for a delivery in progress, so once it returns the callback
  // is not called again.
  int Detach(TLX_EVENT_CALLBACK callback);
  // Queues `item` for the event thread; returns its number.
  uint64_t Queue(Queued item);
  // The event thread: delivers the queued events in order until stopping_.
  void RunEvents();

  const TlxBcfApiTable* previous_;

  mutable std::mutex mutex_;  // everything below but deliveryMutex_
  mutable std::condition_variable changed_;
  std::map<std::string, int, std::less<>> results_;
  std::map<int, int> changeStateResults_;
  int abortedStartResult_ = -1;
  TLX_BASE_INFO baseInfo_{};
  std::string keyKK_ = "00112233445566778899aabbccddeeff";
  int bitrateOut_ = 0;
  std::set<unsigned> failAttach_;
  std::set<unsigned> failDetach_;
  bool blockStart_ = false;
  bool startBlocked_ = false;
  bool startReleased_ = false;
  bool startAborted_ = false;
  std::function<void(int)> afterStartHook_;
  std::vector<FakeTlxBcfCall> calls_;
  std::vector<Slot> slots_;
  std::map<int, std::string> parameters_;
  TLX_UIRCOM_CALLBACK learning_ = nullptr;
  intptr_t learningUser_ = 0;
  std::vector<Queued> queue_;
  uint64_t fired_ = 0;
  uint64_t delivered_ = 0;
  bool stopping_ = false;

  // Held while callbacks run, so a detach waits for the delivery in progress.
  std::mutex deliveryMutex_;
  std::thread eventThread_;
};

}  // namespace tlx::test
