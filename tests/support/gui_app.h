// The tests' QApplication, made once on the thread that runs the tests (which
// makes it the GUI thread), and helpers that let the event loop run.
#pragma once

#include <functional>

#include "mfc/afxwin.h"

namespace mfc_test {

// Makes the application on first use.
void EnsureApp();
// Runs the event loop until `done` is true or `timeoutMs` passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the event loop for a while.
void PumpFor(int ms);

// A top-level window that records the messages it gets, to test delivery.
class RecordingWnd : public CWnd {
 public:
  struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  // Creates the window hidden, with `title`.
  explicit RecordingWnd(const WCHAR* title = u"recording");
  std::vector<Received> received;
  // Messages at or above this number are recorded.
  UINT first = WM_USER;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace mfc_test
