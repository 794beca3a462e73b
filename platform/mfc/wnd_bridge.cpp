#include "internal/wnd_bridge.h"

#include <QCloseEvent>
#include <QEvent>
#include <QWidget>

#include "internal/current_message.h"
#include "mfc/wnd.h"

using namespace tlx::mfc;

bool WndBridge::Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = wnd_->m_hWnd;
  auto& frames = MessageFrames();
  frames.push_back(MessageFrame{wnd_, MSG{hwnd, message, wParam, lParam, 0, {0, 0}}, false});
  wnd_->WindowProc(message, wParam, lParam);
  bool defaulted = frames.back().defaulted;
  frames.pop_back();
  return !defaulted;
}

bool WndBridge::eventFilter(QObject* watched, QEvent* event) {
  if (watched != wnd_->m_pWidget) return false;
  QWidget* w = wnd_->m_pWidget;
  switch (event->type()) {
    case QEvent::Close:
      // The window decides: DefWindowProc of WM_CLOSE destroys it.
      event->ignore();
      Deliver(WM_CLOSE, 0, 0);
      return true;
    case QEvent::Move:
      wnd_->RecordState();
      Deliver(WM_MOVE, 0, MAKELPARAM(w->x(), w->y()));
      return false;
    case QEvent::Resize: {
      wnd_->RecordState();
      WPARAM kind = w->isWindow() && w->isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
      Deliver(WM_SIZE, kind, MAKELPARAM(w->width(), w->height()));
      return false;
    }
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::EnabledChange:
      wnd_->RecordState();
      return false;
    default:
      return false;
  }
}
