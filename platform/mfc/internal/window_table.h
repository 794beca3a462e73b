// The process's window table: handle -> window, with what the GUI thread last
// recorded about each window so other threads can ask. One mutex guards it.
#pragma once

#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "win32/rect.h"
#include "win32/types.h"

class CWnd;

namespace tlx::mfc {

// What a window looks like, as far as other threads may ask. `place` is
// relative to the parent's client area, or the screen for a top-level window.
struct WindowState {
  HWND parent = nullptr;
  bool topLevel = true;
  bool visible = false;
  bool enabled = true;
  bool zoomed = false;
  bool iconic = false;
  QString text;
  // The class name given at creation, or the control's Windows class name.
  QString className;
  RECT place{};
  // The client area inside `place`, relative to its top-left corner.
  RECT client{};
};

// A sender on another thread waiting for its message to be handled.
class PendingSend {
 public:
  // Records the result and wakes the sender; later calls change nothing.
  void Complete(LRESULT result);
  // Waits until completed or `timeoutMs` passed (INFINITE waits on). TRUE with
  // the result when completed.
  bool Wait(DWORD timeoutMs, LRESULT* result);

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool completed_ = false;
  LRESULT result_ = 0;
};

// A fresh handle for the window; its state starts as given.
HWND RegisterWindow(CWnd* wnd, const WindowState& state);
// Points the handle at the object that took the window over.
void ReplaceWindow(HWND hwnd, CWnd* wnd);
// Removes the window; senders still waiting for it get 0.
void UnregisterWindow(HWND hwnd);
bool WindowExists(HWND hwnd);
// The window object, for the GUI thread only (the object lives there).
CWnd* LookupWindow(HWND hwnd);
// Changes the recorded state; false when the window does not exist.
template <typename Change>
bool UpdateWindowState(HWND hwnd, Change change);
bool ReadWindowState(HWND hwnd, WindowState* state);
// The window's rectangle in screen coordinates, through its parents.
bool WindowScreenRect(HWND hwnd, RECT* rect);
// Every top-level window, oldest first.
std::vector<HWND> TopLevelWindows();
// The first top-level window whose class name and title match without regard
// to case; a null one matches any.
HWND FindTopLevelWindow(const QString* className, const QString* title);
// Ties a waiting sender to the window, so its destruction answers it; false
// when the window is gone already.
bool AddPendingSend(HWND hwnd, const std::shared_ptr<PendingSend>& send);

// The lock and record behind UpdateWindowState.
WindowState* LockedState(HWND hwnd, std::unique_lock<std::mutex>& lock);

template <typename Change>
bool UpdateWindowState(HWND hwnd, Change change) {
  std::unique_lock<std::mutex> lock;
  WindowState* state = LockedState(hwnd, lock);
  if (state == nullptr) return false;
  change(*state);
  return true;
}

}  // namespace tlx::mfc
