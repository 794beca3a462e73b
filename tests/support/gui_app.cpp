#include "gui_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include "qt_sanitizer_suppressions.h"

extern "C" const char* __tsan_default_suppressions() { return TLX_QT_TSAN_SUPPRESSIONS; }
extern "C" const char* __lsan_default_suppressions() { return TLX_QT_LSAN_SUPPRESSIONS; }

namespace mfc_test {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "mfc_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(1);
  }
  return true;
}

void PumpFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  PumpUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

RecordingWnd::RecordingWnd(const WCHAR* title) {
  EnsureApp();
  CreateEx(0, nullptr, title, WS_POPUP, 0, 0, 100, 80, nullptr, 0);
}

LRESULT RecordingWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= first || message == WM_TIMER) received.push_back(Received{message, wParam, lParam});
  return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace mfc_test
