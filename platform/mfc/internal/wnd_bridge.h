// Turns the events of a window's widget into the window's messages.
#pragma once

#include <QObject>

#include "win32/types.h"

class CWnd;

class WndBridge : public QObject {
 public:
  WndBridge(CWnd* wnd, QObject* parent) : QObject(parent), wnd_(wnd) {}
  bool eventFilter(QObject* watched, QEvent* event) override;
  CWnd* window() const { return wnd_; }

 private:
  // Sends the message for an event; true when the handler took it, so the
  // widget does not see the event.
  bool Deliver(UINT message, WPARAM wParam, LPARAM lParam);
  CWnd* wnd_;
};
