#include "mfc/internal/wnd_bridge.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>

#include "mfc/drop_files.h"
#include "mfc/internal/control_classes.h"
#include "mfc/internal/current_message.h"
#include "mfc/internal/window_table.h"
#include "mfc/keys.h"
#include "mfc/shell.h"
#include "mfc/wnd.h"

using namespace tlx::mfc;

namespace {

UINT MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  UINT keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
  return keys;
}

LPARAM PointParam(const QPoint& p) { return MAKELPARAM(p.x(), p.y()); }

// The local files a drag carries ('/' separators); other URLs are left out.
QStringList LocalFiles(const QMimeData* data) {
  QStringList files;
  if (data == nullptr) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.push_back(url.toLocalFile());
  }
  return files;
}

COLORREF FromQColor(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

}  // namespace

void WndBridge::ControlColours() {
  const ControlClass* controlClass = ControlClassOf(wnd_);
  UINT kind = 0;
  if (controlClass == nullptr || controlClass->colourKind == nullptr || !controlClass->colourKind(wnd_, &kind)) return;
  QWidget* w = wnd_->m_pWidget;
  HWND self = wnd_->m_hWnd;
  CDC dc;
  dc.SetTextColor(FromQColor(w->palette().color(QPalette::Text)));
  dc.SetBkColor(FromQColor(w->palette().color(QPalette::Base)));
  AFX_CTLCOLOR request{self, dc.GetSafeHdc(), kind};
  LRESULT answer = 0;
  if (const AFX_MSGMAP_ENTRY* own = wnd_->FindEntry(WM_CTLCOLOR, kMapCodeReflect, 0)) {
    answer = own->pfn(wnd_, 0, reinterpret_cast<LPARAM>(&request));
  }
  if (answer == 0) {
    WindowState state;
    if (ReadWindowState(self, &state) && state.parent != nullptr) {
      answer = ::SendMessage(state.parent, WM_CTLCOLORMSGBOX + kind, reinterpret_cast<WPARAM>(dc.GetSafeHdc()),
                             reinterpret_cast<LPARAM>(self));
    }
  }
  if (wnd_->m_hWnd != self || wnd_->m_pWidget != w) return;
  if (answer == 0) {
    // Nobody chose colours: the control's own again.
    if (coloured_) {
      w->setPalette(QPalette());
      w->setAutoFillBackground(false);
      coloured_ = false;
    }
    return;
  }
  const CBrush* brush = CBrush::FromHandle(reinterpret_cast<HBRUSH>(answer));
  QPalette palette = w->palette();
  QColor text = ToQColor(dc.GetTextColor());
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(role, text);
  }
  // A hollow brush leaves the background to the parent.
  if (!brush->hollow) {
    QColor back = ToQColor(brush->color);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) palette.setColor(role, back);
  }
  coloured_ = true;
  if (palette == w->palette() && w->autoFillBackground() != brush->hollow) return;
  w->setAutoFillBackground(!brush->hollow);
  w->setPalette(palette);
}

bool WndBridge::Deliver(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  HWND hwnd = wnd_->m_hWnd;
  auto& frames = MessageFrames();
  frames.push_back(MessageFrame{wnd_, MSG{hwnd, message, wParam, lParam, 0, {0, 0}}, false});
  LRESULT answer = wnd_->WindowProc(message, wParam, lParam);
  bool defaulted = frames.back().defaulted;
  frames.pop_back();
  if (result != nullptr) *result = answer;
  return !defaulted;
}

bool WndBridge::Paint() {
  ControlColours();
  if (wnd_->m_pWidget == nullptr) return true;
  // A control that paints itself in place of its widget (an owner-drawn button).
  const ControlClass* controlClass = ControlClassOf(wnd_);
  if (controlClass != nullptr && controlClass->paint != nullptr && controlClass->paint(wnd_)) return true;
  bool paints = wnd_->FindEntry(WM_PAINT, 0, 0) != nullptr;
  bool erases = wnd_->FindEntry(WM_ERASEBKGND, 0, 0) != nullptr;
  bool framed = wnd_->FindEntry(WM_NCPAINT, 0, 0) != nullptr;
  if (!paints && !erases && !framed) return false;  // the widget paints itself
  HWND self = wnd_->m_hWnd;
  if (framed) Deliver(WM_NCPAINT, 1, 0);
  if (wnd_->m_hWnd != self) return true;
  LRESULT erased = FALSE;
  {
    CPaintDC dc(wnd_);
    Deliver(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0, &erased);
    // Not erased by the handler: the class background fills the client area.
    if (!erased && dc.painter() != nullptr && wnd_->m_hWnd == self) {
      CRect client;
      wnd_->GetClientRect(&client);
      dc.painter()->fillRect(QRect(0, 0, client.Width(), client.Height()),
                             wnd_->m_pWidget->palette().color(QPalette::Window));
    }
  }
  if (wnd_->m_hWnd == self && paints) Deliver(WM_PAINT, 0, 0);
  return true;
}

bool WndBridge::MousePress(QMouseEvent* event) {
  QPoint global = event->globalPosition().toPoint();
  QPoint client = event->position().toPoint() - QPoint(wnd_->m_nBorder, wnd_->m_nBorder);
  UINT keys = MouseKeys(event->buttons(), event->modifiers());
  if (event->button() == Qt::RightButton) return Deliver(WM_RBUTTONDOWN, keys, PointParam(client));
  if (event->button() != Qt::LeftButton) return false;
  // The window (or, through HTTRANSPARENT, a parent) says what was hit.
  CWnd* target = wnd_;
  LRESULT hit = HTCLIENT;
  while (target != nullptr) {
    hit = ::SendMessage(target->m_hWnd, WM_NCHITTEST, 0, PointParam(global));
    if (hit != HTTRANSPARENT) break;
    target = target->GetParent();
  }
  if (target == nullptr) return false;
  if (hit == HTCLIENT || hit == HTNOWHERE) {
    if (target != wnd_) {
      CPoint p(global.x(), global.y());
      target->ScreenToClient(&p);
      ::SendMessage(target->m_hWnd, WM_LBUTTONDOWN, keys, MAKELPARAM(p.x, p.y));
      return true;
    }
    return Deliver(WM_LBUTTONDOWN, keys, PointParam(client));
  }
  ::SendMessage(target->m_hWnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), PointParam(global));
  return true;
}

WndBridge* WndBridge::Of(QWidget* widget) {
  if (widget == nullptr) return nullptr;
  for (QObject* o : widget->children()) {
    if (auto* bridge = dynamic_cast<WndBridge*>(o)) return bridge;
  }
  return nullptr;
}

void WndBridge::AddOverlay(const QImage& drawn) {
  if (overlay_.size() != drawn.size()) {
    QImage grown(drawn.size(), QImage::Format_ARGB32_Premultiplied);
    grown.fill(Qt::transparent);
    QPainter copy(&grown);
    copy.drawImage(0, 0, overlay_);
    copy.end();
    overlay_ = grown;
  }
  QPainter painter(&overlay_);
  painter.drawImage(0, 0, drawn);
}

void WndBridge::ClearOverlay(const QRect* clientRect) {
  if (overlay_.isNull()) return;
  if (clientRect == nullptr) {
    overlay_ = QImage();
    return;
  }
  QPainter painter(&overlay_);
  painter.setCompositionMode(QPainter::CompositionMode_Clear);
  painter.fillRect(*clientRect, Qt::transparent);
}

void WndBridge::StartSizing(UINT side, POINT start) {
  QWidget* w = wnd_->m_pWidget;
  if (w == nullptr) return;
  sizing_ = side;
  sizingStart_ = QPoint(start.x, start.y);
  sizingRect_ = w->frameGeometry();
  w->grabMouse();
}

void WndBridge::Size(const QPoint& global) {
  QPoint d = global - sizingStart_;
  QRect r = sizingRect_;
  RECT proposed{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  bool left = sizing_ == WMSZ_LEFT || sizing_ == WMSZ_TOPLEFT || sizing_ == WMSZ_BOTTOMLEFT;
  bool right = sizing_ == WMSZ_RIGHT || sizing_ == WMSZ_TOPRIGHT || sizing_ == WMSZ_BOTTOMRIGHT;
  bool top = sizing_ == WMSZ_TOP || sizing_ == WMSZ_TOPLEFT || sizing_ == WMSZ_TOPRIGHT;
  bool bottom = sizing_ == WMSZ_BOTTOM || sizing_ == WMSZ_BOTTOMLEFT || sizing_ == WMSZ_BOTTOMRIGHT;
  if (left) proposed.left += d.x();
  if (right) proposed.right += d.x();
  if (top) proposed.top += d.y();
  if (bottom) proposed.bottom += d.y();
  HWND self = wnd_->m_hWnd;
  ::SendMessage(self, WM_SIZING, sizing_, reinterpret_cast<LPARAM>(&proposed));
  MINMAXINFO limits{};
  limits.ptMinTrackSize = POINT{1, 1};
  limits.ptMaxTrackSize = POINT{32767, 32767};
  ::SendMessage(self, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  if (!IsWindow(self)) return;
  // Limits move the dragged edges; the opposite edges stay.
  auto clamp = [](LONG size, LONG low, LONG high) { return std::max(low, std::min(high, size)); };
  LONG width = clamp(proposed.right - proposed.left, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
  LONG height = clamp(proposed.bottom - proposed.top, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
  if (left) {
    proposed.left = proposed.right - width;
  } else {
    proposed.right = proposed.left + width;
  }
  if (top) {
    proposed.top = proposed.bottom - height;
  } else {
    proposed.bottom = proposed.top + height;
  }
  wnd_->m_pWidget->setGeometry(proposed.left, proposed.top, width, height);
  wnd_->RecordState();
}

bool WndBridge::SystemKey(QKeyEvent* event) {
  bool alt = (event->modifiers() & Qt::AltModifier) != 0;
  CWnd* top = wnd_->GetTopLevelParent();
  if (top == nullptr) return false;
  if (alt && event->key() == Qt::Key_F4) {
    ::SendMessage(top->m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  }
  if (alt && event->key() == Qt::Key_Space) {
    ::SendMessage(top->m_hWnd, WM_SYSCOMMAND, SC_KEYMENU, VK_SPACE);
    return true;
  }
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    // Help for the focused control, asked of its top-level window.
    HELPINFO help{sizeof(HELPINFO), HELPINFO_WINDOW, wnd_->GetDlgCtrlID(), wnd_->m_hWnd, 0, {0, 0}};
    GetCursorPos(&help.MousePos);
    ::SendMessage(top->m_hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    return true;
  }
  return false;
}

bool WndBridge::eventFilter(QObject* watched, QEvent* event) {
  if (watched != wnd_->m_pWidget) return false;
  switch (event->type()) {
    case QEvent::Close:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::EnabledChange:
    case QEvent::WindowStateChange:
      return WindowEvent(event);
    case QEvent::Paint:
      return PaintEvent(event);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      return MouseEvent(static_cast<QMouseEvent*>(event));
    case QEvent::Leave:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
      return PointerEvent(event);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return KeyEvent(static_cast<QKeyEvent*>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return DropEvent(static_cast<QDropEvent*>(event));
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      return FocusEvent(event);
    default:
      return false;
  }
}

bool WndBridge::WindowEvent(QEvent* event) {
  QWidget* w = wnd_->m_pWidget;
  switch (event->type()) {
    case QEvent::Close:
      // The window manager's close is the system command; the window decides
      // (DefWindowProc of WM_CLOSE destroys it).
      event->ignore();
      Deliver(WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    case QEvent::Move:
      wnd_->RecordState();
      Deliver(WM_MOVE, 0, MAKELPARAM(w->x(), w->y()));
      return false;
    case QEvent::Resize: {
      wnd_->RecordState();
      WPARAM kind = w->isWindow() && w->isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
      CRect client;
      wnd_->GetClientRect(&client);
      Deliver(WM_SIZE, kind, MAKELPARAM(client.Width(), client.Height()));
      return false;
    }
    case QEvent::WindowStateChange:
      wnd_->RecordState();
      if (w->isMinimized()) Deliver(WM_SIZE, SIZE_MINIMIZED, 0);
      return false;
    default:  // shown, hidden, enabled or disabled
      wnd_->RecordState();
      return false;
  }
}

bool WndBridge::PaintEvent(QEvent* event) {
  QWidget* w = wnd_->m_pWidget;
  painting_ = true;
  bool painted = Paint();
  painting_ = false;
  if (overlay_.isNull() || wnd_->m_pWidget != w) return painted;
  if (!painted) static_cast<QObject*>(w)->event(event);  // the widget paints itself first
  QPainter painter(w);
  painter.drawImage(QPoint(wnd_->m_nBorder, wnd_->m_nBorder), overlay_);
  return true;
}

bool WndBridge::MouseEvent(QMouseEvent* event) {
  const QPoint client = event->position().toPoint() - QPoint(wnd_->m_nBorder, wnd_->m_nBorder);
  UINT keys = MouseKeys(event->buttons(), event->modifiers());
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (sizing_ != 0) return true;
      return MousePress(event);
    case QEvent::MouseButtonRelease: {
      if (sizing_ != 0 && event->button() == Qt::LeftButton) {
        Size(event->globalPosition().toPoint());
        sizing_ = 0;
        wnd_->m_pWidget->releaseMouse();
        return true;
      }
      UINT message = event->button() == Qt::LeftButton    ? WM_LBUTTONUP
                     : event->button() == Qt::RightButton ? WM_RBUTTONUP
                                                          : 0;
      if (message == 0) return false;
      return Deliver(message, keys, PointParam(client));
    }
    case QEvent::MouseButtonDblClick:
      if (event->button() != Qt::LeftButton) return false;
      return Deliver(WM_LBUTTONDBLCLK, keys, PointParam(client));
    default:  // moved
      if (sizing_ != 0) {
        Size(event->globalPosition().toPoint());
        return true;
      }
      return Deliver(WM_MOUSEMOVE, keys, PointParam(client));
  }
}

bool WndBridge::PointerEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::Leave:
      if (!trackLeave_) return false;
      trackLeave_ = false;
      Deliver(WM_MOUSELEAVE, 0, 0);
      return false;
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      WPARAM wParam = MAKEWPARAM(MouseKeys(e->buttons(), e->modifiers()), e->angleDelta().y());
      return Deliver(WM_MOUSEWHEEL, wParam, PointParam(e->globalPosition().toPoint()));
    }
    default: {  // a context menu asked for
      auto* e = static_cast<QContextMenuEvent*>(event);
      LPARAM where = e->reason() == QContextMenuEvent::Keyboard ? MAKELPARAM(-1, -1) : PointParam(e->globalPos());
      return Deliver(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(wnd_->m_hWnd), where);
    }
  }
}

bool WndBridge::KeyEvent(QKeyEvent* event) {
  bool press = event->type() == QEvent::KeyPress;
  if (press && SystemKey(event)) return true;
  MSG msg;
  if (!KeyMessage(*event, wnd_->m_hWnd, &msg)) return false;
  HWND self = wnd_->m_hWnd;
  bool taken = Deliver(msg.message, msg.wParam, msg.lParam);
  if (press && !event->text().isEmpty() && IsWindow(self) && (event->modifiers() & Qt::AltModifier) == 0) {
    taken = Deliver(WM_CHAR, event->text().at(0).unicode(), msg.lParam) && taken;
  }
  return taken;
}

bool WndBridge::DropEvent(QDropEvent* event) {
  QStringList files = LocalFiles(event->mimeData());
  if (!(wnd_->GetExStyle() & WS_EX_ACCEPTFILES) || files.isEmpty()) return false;
  event->acceptProposedAction();
  if (event->type() != QEvent::Drop) return true;  // entering or moving over the window
  // The handler finishes the drop (DefWindowProc does when nobody takes it).
  Deliver(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(files)), 0);
  return true;
}

bool WndBridge::FocusEvent(QEvent* event) {
  QWidget* w = wnd_->m_pWidget;
  switch (event->type()) {
    case QEvent::FocusIn:
      Deliver(WM_SETFOCUS, 0, 0);
      return false;
    case QEvent::FocusOut:
      Deliver(WM_KILLFOCUS, 0, 0);
      return false;
    default: {  // the window became active or inactive
      if (!w->isWindow()) return false;
      bool active = event->type() == QEvent::WindowActivate;
      HWND self = wnd_->m_hWnd;
      Deliver(WM_NCACTIVATE, active ? TRUE : FALSE, 0);
      if (IsWindow(self)) Deliver(WM_ACTIVATE, MAKEWPARAM(active ? WA_ACTIVE : WA_INACTIVE, w->isMinimized()), 0);
      return false;
    }
  }
}
