#include "mfc/internal/message_pump.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSessionManager>
#include <QWidget>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimerEvent>
#include <atomic>
#include <cassert>
#include <map>
#include <mutex>

#include "mfc/keys.h"
#include "mfc/shell.h"
#include "mfc/win_thread.h"
#include "mfc/wnd.h"
#include "win32/timing.h"

namespace tlx::mfc {
namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWorkEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Whether the GUI thread keeps up: how many of our events wait for it, and
// when it last handled one (or, if none waited, when one came).
std::atomic<int> g_waiting{0};
std::atomic<DWORD> g_lastProgress{0};

void EventQueued() {
  if (g_waiting.fetch_add(1) == 0) g_lastProgress = GetTickCount();
}
void EventGone() { g_waiting.fetch_sub(1); }

// A posted or sent message on its way to the GUI thread. An event that is
// destroyed without having been delivered (its window died first, or the
// application went away with it queued) disposes of what it carries and
// answers a waiting sender with 0.
class MessageEvent : public QEvent {
 public:
  MessageEvent(const MSG& msg, MessageDisposer dispose, std::shared_ptr<PendingSend> send)
      : QEvent(kMessageEventType), msg_(msg), dispose_(std::move(dispose)), send_(std::move(send)) {
    EventQueued();
  }
  ~MessageEvent() override {
    if (!delivered_ && dispose_) dispose_(msg_.wParam, msg_.lParam);
    if (send_) send_->Complete(0);
    EventGone();
  }
  void Deliver() {
    CWnd* wnd = LookupWindow(msg_.hwnd);
    if (wnd == nullptr) return;
    delivered_ = true;
    LRESULT result = AfxCallWndProc(wnd, msg_.hwnd, msg_.message, msg_.wParam, msg_.lParam);
    if (send_) send_->Complete(result);
  }

 private:
  MSG msg_;
  MessageDisposer dispose_;
  std::shared_ptr<PendingSend> send_;
  bool delivered_ = false;
};

class WorkEvent : public QEvent {
 public:
  explicit WorkEvent(std::function<void()> work) : QEvent(kWorkEventType), work_(std::move(work)) { EventQueued(); }
  ~WorkEvent() override { EventGone(); }
  void Run() { work_(); }

 private:
  std::function<void()> work_;
};

struct GuiTimer {
  HWND hwnd;
  UINT_PTR id;
  TIMERPROC proc;
};

class Pump : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == kMessageEventType || e->type() == kWorkEventType) g_lastProgress = GetTickCount();
    if (e->type() == kMessageEventType) {
      static_cast<MessageEvent*>(e)->Deliver();
      return true;
    }
    if (e->type() == kWorkEventType) {
      static_cast<WorkEvent*>(e)->Run();
      return true;
    }
    return QObject::event(e);
  }

  void timerEvent(QTimerEvent* e) override {
    auto it = timers_.find(e->timerId());
    if (it == timers_.end()) return;
    GuiTimer timer = it->second;
    if (timer.hwnd != nullptr && !WindowExists(timer.hwnd)) {
      Stop(timer.hwnd, timer.id);
      return;
    }
    if (timer.proc != nullptr) {
      timer.proc(timer.hwnd, WM_TIMER, timer.id, GetTickCount());
    } else if (CWnd* wnd = LookupWindow(timer.hwnd)) {
      AfxCallWndProc(wnd, timer.hwnd, WM_TIMER, timer.id, 0);
    }
  }

  void Start(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    Stop(hwnd, id);
    int qtId = startTimer(static_cast<int>(std::min<UINT>(elapseMs, INT32_MAX)), Qt::PreciseTimer);
    if (qtId == 0) return;
    timers_[qtId] = GuiTimer{hwnd, id, proc};
    byWindow_[{hwnd, id}] = qtId;
  }

  bool Stop(HWND hwnd, UINT_PTR id) {
    auto it = byWindow_.find({hwnd, id});
    if (it == byWindow_.end()) return false;
    killTimer(it->second);
    timers_.erase(it->second);
    byWindow_.erase(it);
    return true;
  }

  void StopAll(HWND hwnd) {
    for (auto it = byWindow_.lower_bound({hwnd, 0}); it != byWindow_.end() && it->first.first == hwnd;) {
      killTimer(it->second);
      timers_.erase(it->second);
      it = byWindow_.erase(it);
    }
  }

 private:
  std::map<int, GuiTimer> timers_;
  std::map<std::pair<HWND, UINT_PTR>, int> byWindow_;
};

// Offers every key event of the application to PreTranslateMessage of the
// focus window, its parents up to the top level, then the application.
class KeyFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    // Once per event: at the focus widget, where it starts, before it travels
    // to the parents.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr ? widget != focus : !widget->isWindow()) return false;
    CWnd* wnd = WindowOfWidget(widget);
    MSG msg;
    if (wnd == nullptr || !KeyMessage(*static_cast<QKeyEvent*>(event), wnd->m_hWnd, &msg)) return false;
    for (CWnd* w = wnd; w != nullptr;) {
      HWND self = w->m_hWnd;
      if (w->PreTranslateMessage(&msg)) return true;
      if (!IsWindow(self)) return true;
      QWidget* ww = w->GetWidget();
      if (ww == nullptr || ww->isWindow()) break;
      w = w->GetParent();
    }
    CWinThread* app = AfxGetThread();
    return app != nullptr && app->PreTranslateMessage(&msg);
  }
};

// Sends a message to every top-level window; returns false when one answered
// 0 and `stopOnZero` is set.
bool SendToTopLevels(UINT message, WPARAM wParam, LPARAM lParam, bool stopOnZero) {
  for (HWND hwnd : TopLevelWindows()) {
    if (::SendMessage(hwnd, message, wParam, lParam) == 0 && stopOnZero) return false;
  }
  return true;
}

// The application's own events become messages to the top-level windows:
// activation (WM_ACTIVATEAPP), the session manager's commit request
// (WM_QUERYENDSESSION, a FALSE answer cancels the end) and screen changes
// (WM_DISPLAYCHANGE with the primary screen's size).
void WatchApplication(QObject* context) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (app == nullptr) return;
  QObject::connect(app, &QGuiApplication::applicationStateChanged, context, [](Qt::ApplicationState state) {
    SendToTopLevels(WM_ACTIVATEAPP, state == Qt::ApplicationActive ? TRUE : FALSE, 0, false);
  });
  QObject::connect(app, &QGuiApplication::commitDataRequest, context, [](QSessionManager& manager) {
    if (!QueryEndSession()) manager.cancel();
  });
  auto watchScreen = [context](QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, context, [](const QRect& geometry) {
      SendToTopLevels(WM_DISPLAYCHANGE, 32, MAKELPARAM(geometry.width(), geometry.height()), false);
    });
  };
  for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
  QObject::connect(app, &QGuiApplication::screenAdded, context, watchScreen);
}

// The receiver, shared with posting threads; cleared under the lock when the
// application destroys it.
std::mutex g_pumpLock;
Pump* g_pump = nullptr;

Pump* GuiPump() {
  std::lock_guard lock(g_pumpLock);
  return g_pump;
}

bool Post(QEvent* event, Qt::EventPriority priority) {
  std::lock_guard lock(g_pumpLock);
  if (g_pump == nullptr) {
    delete event;
    return false;
  }
  QCoreApplication::postEvent(g_pump, event, priority);
  return true;
}

}  // namespace

bool GuiThreadHung() {
  return g_waiting.load() > 0 && GetTickCount() - g_lastProgress.load() > kHungAfterMs;
}

bool QueryEndSession() { return SendToTopLevels(WM_QUERYENDSESSION, 0, 0, true); }

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void AssertGuiThread() { assert(OnGuiThread() && "window operation off the GUI thread"); }

void StartPump() {
  AssertGuiThread();
  std::lock_guard lock(g_pumpLock);
  if (g_pump != nullptr) return;
  g_pump = new Pump();
  g_pump->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(new KeyFilter(g_pump));
  WatchApplication(g_pump);
  QObject::connect(g_pump, &QObject::destroyed, [] {
    std::lock_guard lock(g_pumpLock);
    g_pump = nullptr;
  });
}

bool RunOnGui(std::function<void()> work) { return Post(new WorkEvent(std::move(work)), Qt::NormalEventPriority); }

bool QueueWindowMessage(const MSG& msg, MessageDisposer dispose, std::shared_ptr<PendingSend> send) {
  Qt::EventPriority priority = send ? Qt::HighEventPriority : Qt::NormalEventPriority;
  // No event is made for a refused post, so the record stays the sender's.
  {
    std::lock_guard lock(g_pumpLock);
    if (g_pump == nullptr) return false;
    QCoreApplication::postEvent(g_pump, new MessageEvent(msg, std::move(dispose), std::move(send)), priority);
  }
  return true;
}

void StartGuiTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  AssertGuiThread();
  StartPump();
  GuiPump()->Start(hwnd, id, elapseMs, proc);
}

bool StopGuiTimer(HWND hwnd, UINT_PTR id) {
  AssertGuiThread();
  Pump* pump = GuiPump();
  return pump != nullptr && pump->Stop(hwnd, id);
}

void StopWindowTimers(HWND hwnd) {
  AssertGuiThread();
  if (Pump* pump = GuiPump()) pump->StopAll(hwnd);
}

}  // namespace tlx::mfc
