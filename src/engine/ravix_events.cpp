// The live class's events: the link library's TV, stream-session and
// home-network events, the graph's events read by the graph-event thread, and
// the stream key's hand-over to the two decryptors.
#include <cstring>
#include <utility>

#include "com/com_ptr.h"
#include "engine/graph_event_thread.h"
#include "engine/ravix_event_context.h"
#include "engine/tlx_pc_stm_ravix_if.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "link/tlx_bcf_api.h"

using tlx::com::ComPtr;
using tlx::engine::GraphEventThread;
using tlx::engine::RavixEventContext;

namespace {

constexpr int kErrKeyHandOver = 21;
constexpr int kErrVideoWindow = 12;
// The record a failure notify leaves behind.
constexpr int kNotifyLine = 2533;
// The keep-alive mark of the stream session.
constexpr int kStateAlive = 256;

// Payload word `index` of a link-library event.
uint32_t PayloadWord(const TLX_EVENT_MSG* message, int index) {
  uint32_t word = 0;
  std::memcpy(&word, message->payload + index * sizeof(word), sizeof(word));
  return word;
}

// The (kind, value) the TV status callback gets for a TV event's state and
// sub-state.
std::pair<int, int> TvStatusOf(uint32_t state, uint32_t sub) {
  if (state == 0) return {5, 0};
  if (state == 2) {
    switch (sub) {
      case 0: return {1, 1};
      case 1: return {2, 1};
      case 2: return {3, 1};
      default: break;
    }
  }
  return {0, 0};
}

}  // namespace

void CTlxPcStmRavixIf::GraphEventOutcome::Notify(int event, int ok, int errorId) {
  if (notifyCount >= 2) return;
  notifies[notifyCount][0] = event;
  notifies[notifyCount][1] = ok;
  notifies[notifyCount][2] = errorId;
  ++notifyCount;
}

int CTlxPcStmRavixIf::bInitCallback() {
  const TlxBcfApiTable& link = TlxBcfApi();
  struct Attach {
    TLX_EVENT_CALLBACK callback;
    unsigned mask;
    int line;
  };
  const Attach attaches[] = {
      {vTvEventProc, EVENT_ID_TV, 1826},
      {vRavixEventProc, EVENT_ID_RAVIX, 1833},
      {vNetworkEventProc, EVENT_ID_NETWORK, 1840},
  };
  for (const Attach& attach : attaches) {
    if (link.tlxEventMgrCallbackAttach(attach.callback, this, attach.mask) != 0) {
      m_bCallbacksAttached = true;
      vDetachCallbacks();
      vCleanup();
      vSetErrInfo(attach.line, 1);
      return FALSE;
    }
    m_bCallbacksAttached = true;
  }

  // A graph has one thread: a previous one ends before the next starts.
  vEndThread();
  ComPtr<IMediaEvent> events = ComPtr<IMediaEvent>::Attach(pAddRefUnderLock(m_pMediaEvent));
  TlxPcStmNotifyProc notify = nullptr;
  TlxPcStmRestartProc restart = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    notify = m_pNotify;
    restart = m_pRestart;
    user = m_pUser;
  }
  m_pEventContext = std::make_shared<RavixEventContext>(this, notify, restart, user);
  std::shared_ptr<RavixEventContext> context = m_pEventContext;
  m_pThread = GraphEventThread::Start(events.Get(), [context](long code, LONG_PTR, LONG_PTR) {
    CTlxPcStmRavixIf* owner = context->Enter();
    if (owner == nullptr) return;
    const GraphEventOutcome outcome = owner->oHandleGraphEvent(code);
    context->Leave();
    for (int i = 0; i < outcome.notifyCount; ++i) {
      context->Notify(outcome.notifies[i][0], outcome.notifies[i][1], outcome.notifies[i][2]);
    }
    if (outcome.restartReason >= 0) context->Restart(outcome.restartReason);
  });
  if (!m_pThread) m_pEventContext.reset();
  return m_pThread ? TRUE : FALSE;
}

void CTlxPcStmRavixIf::vDetachCallbacks() {
  if (!m_bCallbacksAttached) return;
  const TlxBcfApiTable& link = TlxBcfApi();
  link.tlxEventMgrCallbackDetach(vTvEventProc);
  link.tlxEventMgrCallbackDetach(vRavixEventProc);
  link.tlxEventMgrCallbackDetach(vNetworkEventProc);
  m_bCallbacksAttached = false;
}

void CTlxPcStmRavixIf::vTvEventProc(void* context, const TLX_EVENT_MSG* message) {
  auto* self = static_cast<CTlxPcStmRavixIf*>(context);
  if (self == nullptr || message == nullptr) return;
  TlxPcStmTvStatusProc tvStatus = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(self->m_stateLock);
    tvStatus = self->m_pTvStatus;
    user = self->m_pUser;
  }
  if (tvStatus == nullptr) return;
  const auto [kind, value] = TvStatusOf(PayloadWord(message, 0), PayloadWord(message, 1));
  tvStatus(kind, value, user);
}

void CTlxPcStmRavixIf::vRavixEventProc(void* context, const TLX_EVENT_MSG* message) {
  auto* self = static_cast<CTlxPcStmRavixIf*>(context);
  if (self == nullptr || message == nullptr) return;
  if (PayloadWord(message, 0) != 6 || PayloadWord(message, 1) != 3) return;
  TlxPcStmRestartProc restart = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(self->m_stateLock);
    restart = self->m_pRestart;
    user = self->m_pUser;
  }
  if (restart != nullptr) restart(0, user);
}

void CTlxPcStmRavixIf::vNetworkEventProc(void* context, const TLX_EVENT_MSG* message) {
  auto* self = static_cast<CTlxPcStmRavixIf*>(context);
  if (self == nullptr || message == nullptr) return;
  if (PayloadWord(message, 0) != 0 || PayloadWord(message, 1) != 2 || PayloadWord(message, 2) != 2) return;
  TlxPcStmRestartProc restart = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(self->m_stateLock);
    restart = self->m_pRestart;
    user = self->m_pUser;
  }
  if (restart != nullptr) restart(1, user);
}

CTlxPcStmRavixIf::GraphEventOutcome CTlxPcStmRavixIf::oHandleGraphEvent(long code) {
  GraphEventOutcome outcome;
  switch (code) {
    case EC_NEED_RESTART: outcome.restartReason = 2; break;
    case EC_DISPLAY_CHANGED: outcome.restartReason = 0; break;
    case EC_VMR_RENDERDEVICE_SET: {
      int x = 0, y = 0, width = 0, height = 0;
      bool mixer9 = false;
      {
        std::lock_guard<std::mutex> hold(m_stateLock);
        mixer9 = m_eVMRTypeInUse == eVMRType9;
        x = m_nMovieX;
        y = m_nMovieY;
        width = m_nMovieWidth;
        height = m_nMovieHeight;
      }
      if (mixer9) bSetMoviePosition(x, y, width, height);
      break;
    }
    case EC_TLX_CONNECT_BEGIN: outcome.Notify(0); break;
    case EC_TLX_CONNECT_END: outcome.Notify(1); break;
    case EC_TLX_STOP_BEGIN: outcome.Notify(2); break;
    case EC_TLX_STOP_END:
      outcome.Notify(3);
      outcome.Notify(9);
      break;
    case EC_TLX_FRAME_WAIT: outcome.Notify(4); break;
    case EC_TLX_FRAME_READY: {
      ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
      if (window && FAILED(window->put_Visible(OATRUE))) {
        outcome.Notify(8, FALSE, kErrVideoWindow);
      } else {
        outcome.Notify(5);
        outcome.Notify(8);
      }
      break;
    }
    case EC_TLX_AUTH_BEGIN: outcome.Notify(6); break;
    case EC_TLX_AUTH_END:
      if (bHandOverKey()) {
        outcome.Notify(7);
      } else {
        outcome.Notify(7, FALSE, kErrKeyHandOver);
      }
      break;
    case EC_TLX_STATISTICS: TlxBcfApi().tlxRavixMgr_ChangeState(kStateAlive); break;
    case EC_TLX_LOOP_ENDED: outcome.restartReason = 0; break;
    default: break;
  }
  // A failure notify leaves its record; a success one leaves the record as
  // it is, so a failure recorded meanwhile stays readable.
  for (int i = 0; i < outcome.notifyCount; ++i) {
    if (!outcome.notifies[i][1]) vSetErrInfo(kNotifyLine, outcome.notifies[i][2]);
  }
  return outcome;
}

int CTlxPcStmRavixIf::bHandOverKey() {
  ComPtr<IAESDecryptorKey> keyA = ComPtr<IAESDecryptorKey>::Attach(pAddRefUnderLock(m_pAudioKey));
  ComPtr<IAESDecryptorKey> keyB = ComPtr<IAESDecryptorKey>::Attach(pAddRefUnderLock(m_pVideoKey));
  char key[kAESDecryptorKeyDigits + 1] = {};
  bool handed = TlxBcfApi().tlxRavixMgr_GetKeyKK(key, sizeof(key)) == 0;
  handed = handed && keyA && SUCCEEDED(keyA->SetKey(key));
  handed = handed && keyB && SUCCEEDED(keyB->SetKey(key));
  // The key lives only for the hand-over.
  volatile char* wipe = key;
  for (size_t i = 0; i < sizeof(key); ++i) wipe[i] = 0;
  return handed ? TRUE : FALSE;
}

void CTlxPcStmRavixIf::vNotifySuccess(int event) {
  TlxPcStmNotifyProc notify = nullptr;
  void* user = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    notify = m_pNotify;
    user = m_pUser;
  }
  if (notify != nullptr) notify(event, user, TRUE, 0);
}
