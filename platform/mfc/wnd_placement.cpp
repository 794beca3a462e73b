#include "mfc/wnd.h"

#include <QIcon>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <optional>

#include "mfc/internal/message_pump.h"
#include "mfc/internal/window_table.h"
#include "mfc/internal/wnd_bridge.h"

using namespace tlx::mfc;

namespace {

RECT ToRect(const QRect& r) { return RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

}  // namespace

void CWnd::RecordState() {
  if (m_pWidget == nullptr || m_hWnd == nullptr) return;
  QWidget* w = m_pWidget;
  QRect place = w->isWindow() ? w->frameGeometry() : w->geometry().translated(-ParentClientOffset());
  // The client area: inside the border band, and inside the window system's
  // frame for a window that has one.
  QPoint origin = w->isWindow() ? w->geometry().topLeft() - place.topLeft() : QPoint(0, 0);
  origin += QPoint(m_nBorder, m_nBorder);
  RECT client{origin.x(), origin.y(), origin.x() + std::max(0, w->width() - 2 * m_nBorder),
              origin.y() + std::max(0, w->height() - 2 * m_nBorder)};
  bool visible = !w->isHidden();
  bool zoomed = w->isWindow() && w->isMaximized();
  bool iconic = w->isWindow() && w->isMinimized();
  bool enabled = w->isEnabled();
  UpdateWindowState(m_hWnd, [&](WindowState& s) {
    s.place = ToRect(place);
    s.client = client;
    s.visible = visible;
    s.zoomed = zoomed;
    s.iconic = iconic;
    s.enabled = enabled;
  });
}

namespace {

// The screen position of the client area's origin.
POINT ClientOriginOnScreen(HWND hwnd) {
  RECT window{};
  WindowState state;
  if (!WindowScreenRect(hwnd, &window) || !ReadWindowState(hwnd, &state)) return POINT{0, 0};
  return POINT{window.left + state.client.left, window.top + state.client.top};
}

}  // namespace

void CWnd::ScreenToClient(LPPOINT point) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  point->x -= origin.x;
  point->y -= origin.y;
}

void CWnd::ClientToScreen(LPPOINT point) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  point->x += origin.x;
  point->y += origin.y;
}

void CWnd::ScreenToClient(LPRECT rect) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  *rect = RECT{rect->left - origin.x, rect->top - origin.y, rect->right - origin.x, rect->bottom - origin.y};
}

void CWnd::ClientToScreen(LPRECT rect) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  *rect = RECT{rect->left + origin.x, rect->top + origin.y, rect->right + origin.x, rect->bottom + origin.y};
}

void CWnd::GetWindowText(CString& text) const { text = GetWindowTextString(); }

CString CWnd::GetWindowTextString() const {
  WindowState state;
  return ReadWindowState(m_hWnd, &state) ? CString(state.text) : CString();
}

namespace {

// Runs `op` on the window now when on the GUI thread, else queues it there.
template <typename Op>
void OnWindowThread(HWND hwnd, Op op) {
  if (OnGuiThread()) {
    if (CWnd* wnd = LookupWindow(hwnd)) op(wnd);
    return;
  }
  RunOnGui([hwnd, op] {
    if (CWnd* wnd = LookupWindow(hwnd)) op(wnd);
  });
}

}  // namespace

BOOL CWnd::ShowWindow(int command) {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state)) return FALSE;
  BOOL wasVisible = state.visible ? TRUE : FALSE;
  if (!OnGuiThread()) {
    OnWindowThread(m_hWnd, [command](CWnd* wnd) { wnd->ShowWindow(command); });
    return wasVisible;
  }
  QWidget* w = m_pWidget;
  bool show = command != SW_HIDE;
  if (show != (wasVisible != FALSE)) SendMessage(WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (m_pWidget != w || w == nullptr) return wasVisible;
  switch (command) {
    case SW_HIDE:
      w->hide();
      break;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
      w->setAttribute(Qt::WA_ShowWithoutActivating, true);
      w->show();
      w->setAttribute(Qt::WA_ShowWithoutActivating, false);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      w->showMinimized();
      break;
    case SW_MAXIMIZE:
      w->showMaximized();
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (w->isWindow() && (w->isMinimized() || w->isMaximized())) {
        w->showNormal();
      } else {
        w->show();
      }
      break;
    default:
      w->show();
      break;
  }
  if (show && w->isWindow() && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) w->activateWindow();
  RecordState();
  return wasVisible;
}

void CWnd::SetWindowText(const CString& text) {
  if (!OnGuiThread()) {
    OnWindowThread(m_hWnd, [text](CWnd* wnd) { wnd->SetWindowText(text); });
    return;
  }
  if (m_hWnd == nullptr) return;
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString()));
}

BOOL CWnd::EnableWindow(BOOL enable) {
  BOOL wasDisabled = IsWindowEnabled() ? FALSE : TRUE;
  OnWindowThread(m_hWnd, [enable](CWnd* wnd) {
    const bool changed = (enable != FALSE) == ((wnd->m_dwStyle & WS_DISABLED) != 0);
    wnd->m_pWidget->setEnabled(enable != FALSE);
    if (enable) {
      wnd->m_dwStyle &= ~WS_DISABLED;
    } else {
      wnd->m_dwStyle |= WS_DISABLED;
    }
    wnd->RecordState();
    if (changed) wnd->SendMessage(WM_ENABLE, enable ? TRUE : FALSE, 0);
  });
  return wasDisabled;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL /*repaint*/) {
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QPoint offset = wnd->ParentClientOffset();
    wnd->m_pWidget->setGeometry(x + offset.x(), y + offset.y(), width < 0 ? 0 : width, height < 0 ? 0 : height);
    wnd->RecordState();
  });
}

void CWnd::Invalidate(BOOL /*erase*/) {
  OnWindowThread(m_hWnd, [](CWnd* wnd) {
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(nullptr);
    wnd->m_pWidget->update();
  });
}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

void CWnd::InvalidateRect(LPCRECT rect, BOOL /*erase*/) {
  if (rect == nullptr) {
    Invalidate();
    return;
  }
  RECT r = *rect;
  OnWindowThread(m_hWnd, [r](CWnd* wnd) {
    QRect client(r.left, r.top, r.right - r.left, r.bottom - r.top);
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(&client);
    wnd->m_pWidget->update(client.translated(wnd->m_nBorder, wnd->m_nBorder));
  });
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(m_hWnd)) return FALSE;
  HWND after = insertAfter == nullptr ? HWND_TOP : insertAfter->m_hWnd;
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QWidget* w = wnd->m_pWidget;
    if (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE)) {
      QPoint offset = wnd->ParentClientOffset();
      QRect g = w->isWindow() ? w->frameGeometry() : w->geometry().translated(-offset);
      if (!(flags & SWP_NOMOVE)) g.moveTo(x, y);
      if (!(flags & SWP_NOSIZE)) g.setSize(QSize(std::max(0, cx), std::max(0, cy)));
      w->setGeometry(g.translated(offset));
    }
    if (!(flags & SWP_NOZORDER)) {
      if (after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        bool top = after == HWND_TOPMOST;
        if (top) {
          wnd->m_dwExStyle |= WS_EX_TOPMOST;
        } else {
          wnd->m_dwExStyle &= ~WS_EX_TOPMOST;
        }
        bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, top);
        if (visible) w->show();  // changing window flags hides a window
      } else if (after == HWND_BOTTOM) {
        w->lower();
      } else if (after == HWND_TOP) {
        w->raise();
      } else if (CWnd* other = LookupWindow(after); other != nullptr && other->m_pWidget != nullptr) {
        w->stackUnder(other->m_pWidget);
      }
    }
    if (flags & SWP_SHOWWINDOW) wnd->ShowWindow((flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) wnd->ShowWindow(SW_HIDE);
    wnd->RecordState();
    WINDOWPOS pos{wnd->m_hWnd, after, x, y, cx, cy, flags};
    wnd->SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  });
  return TRUE;
}

BOOL CWnd::RedrawWindow(LPCRECT rect, void* /*region*/, UINT flags) {
  if (!IsWindow(m_hWnd)) return FALSE;
  std::optional<RECT> area;
  if (rect != nullptr) area = *rect;
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QWidget* w = wnd->m_pWidget;
    QRect r = area ? QRect(area->left + wnd->m_nBorder, area->top + wnd->m_nBorder, area->right - area->left,
                           area->bottom - area->top)
                   : w->rect();
    QRect client = r.translated(-wnd->m_nBorder, -wnd->m_nBorder);
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(&client);
    if (flags & RDW_UPDATENOW) {
      w->repaint(r);
    } else {
      w->update(r);
    }
  });
  return TRUE;
}

void CWnd::UpdateWindow() {
  OnWindowThread(m_hWnd, [](CWnd* wnd) { wnd->m_pWidget->repaint(); });
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
  AssertGuiThread();
  if (placement == nullptr || m_pWidget == nullptr) return FALSE;
  QWidget* w = m_pWidget;
  QRect normal = w->isWindow() ? w->normalGeometry() : w->geometry();
  if (!normal.isValid()) normal = w->geometry();
  placement->length = sizeof(WINDOWPLACEMENT);
  placement->flags = w->isWindow() && w->isMinimized() && (w->windowState() & Qt::WindowMaximized)
                         ? WPF_RESTORETOMAXIMIZED
                         : 0;
  placement->showCmd = w->isHidden()         ? SW_HIDE
                       : w->isMinimized()    ? SW_SHOWMINIMIZED
                       : w->isMaximized()    ? SW_MAXIMIZE
                                             : SW_SHOWNORMAL;
  placement->ptMinPosition = POINT{-1, -1};
  placement->ptMaxPosition = POINT{-1, -1};
  placement->rcNormalPosition = ToRect(normal);
  return TRUE;
}

BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* placement) {
  AssertGuiThread();
  if (placement == nullptr || placement->length != sizeof(WINDOWPLACEMENT) || m_pWidget == nullptr) return FALSE;
  const RECT& r = placement->rcNormalPosition;
  m_pWidget->setGeometry(r.left, r.top, std::max(0, r.right - r.left), std::max(0, r.bottom - r.top));
  ShowWindow(static_cast<int>(placement->showCmd));
  RecordState();
  return TRUE;
}

CWnd* CWnd::SetParent(CWnd* newParent) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return nullptr;
  CWnd* old = GetParent();
  bool visible = !m_pWidget->isHidden();
  QRect g = m_pWidget->geometry();
  QWidget* parentWidget = newParent == nullptr ? nullptr : newParent->m_pWidget;
  bool child = parentWidget != nullptr && (m_dwStyle & WS_CHILD);
  // Qt moves the widget with its children, a video surface among them.
  m_pWidget->setParent(parentWidget, child ? Qt::Widget : (m_pWidget->windowFlags() | Qt::Window));
  m_pWidget->setGeometry(g);
  if (visible) m_pWidget->show();
  HWND parentHandle = newParent == nullptr ? nullptr : newParent->m_hWnd;
  UpdateWindowState(m_hWnd, [&](WindowState& s) {
    s.parent = parentHandle;
    s.topLevel = !child;
  });
  RecordState();
  return old;
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return;
  RECT area{};
  CWnd* owner = alternateOwner != nullptr ? alternateOwner : GetParent();
  if (owner != nullptr && owner->m_hWnd != nullptr) {
    ::GetWindowRect(owner->m_hWnd, &area);
  } else {
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  CRect own;
  GetWindowRect(&own);
  int x = (area.left + area.right - own.Width()) / 2;
  int y = (area.top + area.bottom - own.Height()) / 2;
  if (!m_pWidget->isWindow()) {
    CWnd* parent = GetParent();
    POINT p{x, y};
    if (parent != nullptr) parent->ScreenToClient(&p);
    x = p.x;
    y = p.y;
  }
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT /*flags*/) {
  AssertGuiThread();
  DWORD old = m_dwStyle;
  m_dwStyle = (m_dwStyle & ~remove) | add;
  if (old == m_dwStyle) return FALSE;
  if (m_pWidget != nullptr && m_pWidget->isWindow()) {
    bool visible = m_pWidget->isVisible();
    m_pWidget->setWindowFlag(Qt::FramelessWindowHint, (m_dwStyle & WS_CAPTION) != WS_CAPTION);
    if (visible) m_pWidget->show();
  }
  if (((old ^ m_dwStyle) & WS_CHILD) != 0) {
    // WS_CHILD switches between a child of the parent and a top-level window.
    WindowState state;
    ReadWindowState(m_hWnd, &state);
    CWnd* parent = LookupWindow(state.parent);
    SetParent(parent);
  }
  if (m_pWidget != nullptr) m_pWidget->setEnabled((m_dwStyle & WS_DISABLED) == 0);
  RecordState();
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT /*flags*/) {
  AssertGuiThread();
  DWORD old = m_dwExStyle;
  m_dwExStyle = (m_dwExStyle & ~remove) | add;
  if (old == m_dwExStyle) return FALSE;
  if (m_pWidget != nullptr) m_pWidget->setAcceptDrops((m_dwExStyle & WS_EX_ACCEPTFILES) != 0);
  bool windowFlags = ((old ^ m_dwExStyle) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW)) != 0;
  if (windowFlags && m_pWidget != nullptr && m_pWidget->isWindow()) {
    bool visible = m_pWidget->isVisible();
    m_pWidget->setWindowFlag(Qt::WindowStaysOnTopHint, (m_dwExStyle & WS_EX_TOPMOST) != 0);
    m_pWidget->setWindowFlag(Qt::Tool, (m_dwExStyle & WS_EX_TOOLWINDOW) != 0);
    if (visible) m_pWidget->show();
  }
  return TRUE;
}

BOOL CWnd::SetLayeredWindowAttributes(COLORREF /*key*/, BYTE alpha, DWORD flags) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return FALSE;
  if (flags & LWA_ALPHA) m_pWidget->setWindowOpacity(alpha / 255.0);
  return TRUE;
}

BOOL CWnd::AnimateWindow(DWORD /*timeMs*/, DWORD flags) {
  ShowWindow((flags & AW_HIDE) ? SW_HIDE : SW_SHOW);
  return TRUE;
}

void CWnd::SetIcon(const QImage& icon, BOOL /*big*/) {
  AssertGuiThread();
  if (m_pWidget != nullptr) m_pWidget->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  HICON old = std::exchange(m_hIcons[big ? 1 : 0], icon);
  // The big icon is the window's; a small one shows while there is no big one.
  SetIcon(IconImage(m_hIcons[1] != nullptr ? m_hIcons[1] : m_hIcons[0]), TRUE);
  return old;
}
