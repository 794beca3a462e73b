#include "mfc/wnd.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

#include "mfc/internal/child_windows.h"
#include "mfc/internal/message_pump.h"
#include "mfc/internal/window_table.h"
#include "mfc/internal/wnd_bridge.h"

using namespace tlx::mfc;

CWnd* CWnd::SetFocus() {
  AssertGuiThread();
  CWnd* old = GetFocus();
  if (m_pWidget != nullptr) m_pWidget->setFocus(Qt::OtherFocusReason);
  return old;
}

CWnd* tlx::mfc::WindowOfWidget(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    for (QObject* o : w->children()) {
      if (auto* bridge = dynamic_cast<WndBridge*>(o)) return bridge->window();
    }
  }
  return nullptr;
}

CWnd* CWnd::GetFocus() {
  AssertGuiThread();
  return WindowOfWidget(QApplication::focusWidget());
}

CWnd* CWnd::SetActiveWindow() {
  AssertGuiThread();
  CWnd* old = nullptr;
  if (QWidget* active = QApplication::activeWindow()) {
    for (QObject* o : active->children()) {
      if (auto* bridge = dynamic_cast<WndBridge*>(o)) old = bridge->window();
    }
  }
  if (m_pWidget != nullptr) m_pWidget->window()->activateWindow();
  return old;
}

BOOL CWnd::SetForegroundWindow() {
  AssertGuiThread();
  if (m_pWidget == nullptr) return FALSE;
  m_pWidget->window()->raise();
  m_pWidget->window()->activateWindow();
  return TRUE;
}

CWnd* CWnd::GetTopLevelParent() const {
  AssertGuiThread();
  const CWnd* wnd = this;
  while (CWnd* parent = wnd->GetParent()) {
    if (wnd->m_pWidget != nullptr && wnd->m_pWidget->isWindow()) break;
    wnd = parent;
  }
  return const_cast<CWnd*>(wnd);
}

BOOL CWnd::IsTopParentActive() const {
  AssertGuiThread();
  CWnd* top = GetTopLevelParent();
  return top != nullptr && top->m_pWidget != nullptr && top->m_pWidget->isActiveWindow() ? TRUE : FALSE;
}

CWnd* CWnd::GetLastActivePopup() const {
  AssertGuiThread();
  // The active window when it is one of this window's owned windows.
  if (QWidget* active = QApplication::activeWindow(); active != nullptr && m_pWidget != nullptr) {
    for (QWidget* p = active->parentWidget(); p != nullptr; p = p->parentWidget()) {
      if (p != m_pWidget) continue;
      for (QObject* o : active->children()) {
        if (auto* bridge = dynamic_cast<WndBridge*>(o)) return bridge->window();
      }
    }
  }
  return const_cast<CWnd*>(this);
}

void CWnd::TrackMouseLeave() {
  AssertGuiThread();
  if (m_pBridge != nullptr) static_cast<WndBridge*>(m_pBridge)->TrackLeave();
}

CWnd* CWnd::GetDlgItem(int id) const {
  AssertGuiThread();
  if (m_pWidget == nullptr) return nullptr;
  for (QWidget* child : m_pWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    for (QObject* o : child->children()) {
      auto* bridge = dynamic_cast<WndBridge*>(o);
      if (bridge != nullptr && bridge->window()->m_nID == static_cast<UINT_PTR>(id)) return bridge->window();
    }
  }
  return nullptr;
}

CWnd* CWnd::GetNextDlgGroupItem(CWnd* control, BOOL previous) const {
  AssertGuiThread();
  if (control == nullptr || control->GetParent() != this) return nullptr;
  std::vector<CWnd*> group = GroupOf(control);
  auto it = std::find(group.begin(), group.end(), control);
  if (it == group.end() || group.size() < 2) return control;
  size_t i = static_cast<size_t>(it - group.begin());
  size_t n = group.size();
  return group[previous ? (i + n - 1) % n : (i + 1) % n];
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(redraw ? 1 : 0, 0));
}

CFont* CWnd::GetFont() const { return reinterpret_cast<CFont*>(::SendMessage(m_hWnd, WM_GETFONT, 0, 0)); }

void CWnd::MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const {
  for (UINT i = 0; i < count; ++i) {
    ClientToScreen(&points[i]);
    if (to != nullptr) to->ScreenToClient(&points[i]);
  }
}

void CWnd::MapWindowPoints(CWnd* to, LPRECT rect) const {
  MapWindowPoints(to, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::PreSubclassWindow() {}

void CWnd::TakeOver(CWnd* old) {
  HWND hwnd = old->m_hWnd;
  m_hWnd = hwnd;
  m_pWidget = std::exchange(old->m_pWidget, nullptr);
  m_pBridge = std::exchange(old->m_pBridge, nullptr);
  m_dwStyle = old->m_dwStyle;
  m_dwExStyle = old->m_dwExStyle;
  m_nID = old->m_nID;
  m_nBorder = old->m_nBorder;
  m_pFont = old->m_pFont;
  old->m_hWnd = nullptr;
  static_cast<WndBridge*>(m_pBridge)->SetWindow(this);
  ReplaceWindow(hwnd, this);
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  AssertGuiThread();
  CWnd* old = LookupWindow(hwnd);
  if (old == nullptr || m_hWnd != nullptr) return FALSE;
  if (old == this) return TRUE;
  TakeOver(old);
  PreSubclassWindow();
  return TRUE;
}

BOOL CWnd::Attach(HWND hwnd) {
  AssertGuiThread();
  CWnd* old = LookupWindow(hwnd);
  if (old == nullptr || old == this || m_hWnd != nullptr) return FALSE;
  TakeOver(old);
  if (m_pLentFrom != nullptr) m_pLentFrom->m_pLentTo = nullptr;
  m_pLentFrom = old;
  if (old->m_pLentTo != nullptr) old->m_pLentTo->m_pLentFrom = nullptr;
  old->m_pLentTo = this;
  return TRUE;
}

namespace {

// Keeps a window whose object let it go; goes with the window.
class DetachedWnd : public CWnd {
 protected:
  void PostNcDestroy() override { delete this; }
};

}  // namespace

HWND CWnd::Detach() {
  AssertGuiThread();
  HWND hwnd = m_hWnd;
  if (hwnd == nullptr || LookupWindow(hwnd) != this) return nullptr;
  CWnd* back = m_pLentFrom;
  if (back != nullptr) {
    back->m_pLentTo = nullptr;
    m_pLentFrom = nullptr;
  }
  if (back == nullptr || back->m_hWnd != nullptr) back = new DetachedWnd();
  back->TakeOver(this);
  return hwnd;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  CWnd* item = parent == nullptr ? nullptr : parent->GetDlgItem(static_cast<int>(id));
  return item != nullptr && SubclassWindow(item->m_hWnd);
}
