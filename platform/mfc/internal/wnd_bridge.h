// Turns the events of a window's widget into the window's messages, and runs
// the layer's resize loop for frameless windows.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

#include "win32/messages.h"
#include "win32/types.h"

class CWnd;
class QDropEvent;
class QKeyEvent;
class QMouseEvent;

class WndBridge : public QObject {
 public:
  WndBridge(CWnd* wnd, QObject* parent) : QObject(parent), wnd_(wnd) {}
  bool eventFilter(QObject* watched, QEvent* event) override;
  CWnd* window() const { return wnd_; }
  // The object that took the window over (SubclassWindow).
  void SetWindow(CWnd* wnd) { wnd_ = wnd; }

  // Resizes the window by the edge `side` (WMSZ_) with the mouse until the
  // left button is released; `start` is where the drag began on the screen.
  void StartSizing(UINT side, POINT start);
  // Delivers WM_MOUSELEAVE once, the next time the mouse leaves.
  void TrackLeave() { trackLeave_ = true; }

  // True while the window's widget paints.
  bool Painting() const { return painting_; }
  // What a client DC drew outside painting (client coordinates, transparent
  // where nothing was drawn): it stays over the window's own painting until
  // the program invalidates that part of the window.
  void AddOverlay(const QImage& drawn);
  // Drops the overlay inside `clientRect` (all of it for null).
  void ClearOverlay(const QRect* clientRect);
  // The bridge of a window's widget; null when it has none.
  static WndBridge* Of(QWidget* widget);

 private:
  // Sends the message for an event; true when the handler took it, so the
  // widget does not see the event. `result` gets the procedure's answer.
  bool Deliver(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr);
  // The events of the widget by kind; each returns true when the widget must
  // not see the event.
  // Closing, moving, sizing, showing, hiding and enabling the window.
  bool WindowEvent(QEvent* event);
  bool PaintEvent(QEvent* event);
  // Buttons pressed, released and double-clicked, and moves.
  bool MouseEvent(QMouseEvent* event);
  // The mouse leaving, the wheel and context menus.
  bool PointerEvent(QEvent* event);
  bool KeyEvent(QKeyEvent* event);
  // Files dragged over the window and dropped on it.
  bool DropEvent(QDropEvent* event);
  // Keyboard focus and activation.
  bool FocusEvent(QEvent* event);
  bool Paint();
  // Asks a control's colours (the control's reflected WM_CTLCOLOR, then its
  // parent's WM_CTLCOLORxxx) and paints the control with them.
  void ControlColours();
  bool MousePress(QMouseEvent* event);
  // Alt+F4, Alt+Space and F1: the system commands and help. true when taken.
  bool SystemKey(QKeyEvent* event);
  void Size(const QPoint& global);
  CWnd* wnd_;
  UINT sizing_ = 0;
  QPoint sizingStart_;
  QRect sizingRect_;
  bool trackLeave_ = false;
  // The control's palette carries colours a WM_CTLCOLOR handler chose.
  bool coloured_ = false;
  bool painting_ = false;
  QImage overlay_;
};
