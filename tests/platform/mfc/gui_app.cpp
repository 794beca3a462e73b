#include "gui_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

// What the sanitizers leave out, read by them when the program starts (the
// functions change nothing in other builds).
// Qt is not built with ThreadSanitizer, so the synchronisation inside it (its
// worker pool, the atomics of its containers) is invisible and what its
// threads allocate and copy looks unordered: reports whose racing access is a
// call made from inside Qt are left out; races in our code stay reported.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n";
}
// fontconfig keeps its configuration until the process ends; the tests'
// application is never torn down, so that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so.1\n"; }

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
