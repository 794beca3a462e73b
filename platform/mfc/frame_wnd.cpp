#include "mfc/frame_wnd.h"

#include <QImage>

#include "mfc/resources.h"

IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
  ON_WM_SIZE()
  ON_WM_SETFOCUS()
  ON_WM_NCHITTEST()
END_MESSAGE_MAP()

const CRect CFrameWnd::rectDefault(0, 0, 640, 480);

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if ((cs.style & WS_CAPTION) != static_cast<LONG>(WS_CAPTION) && (cs.style & WS_THICKFRAME)) {
    m_nBorder = GetSystemMetrics(SM_CXFRAME);
  }
  return TRUE;
}

BOOL CFrameWnd::Create(const WCHAR* className, const WCHAR* title, DWORD style, const RECT& rect, CWnd* parent) {
  return CreateEx(0, className, title, style & ~WS_CHILD, rect, parent, 0);
}

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent) {
  CString title;
  title.LoadString(resourceId);
  if (!Create(nullptr, title, style, rectDefault, parent)) return FALSE;
  if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCEW(resourceId))) SetIcon(icon, TRUE);
  return TRUE;
}

void CFrameWnd::RecalcLayout() {
  CWnd* view = GetActiveView();
  if (view == nullptr) return;
  CRect client;
  GetClientRect(&client);
  view->MoveWindow(0, 0, client.Width(), client.Height());
}

void CFrameWnd::OnSize(UINT type, int cx, int cy) {
  CWnd::OnSize(type, cx, cy);
  if (type != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(CWnd* oldWnd) {
  if (CWnd* view = GetActiveView()) {
    view->SetFocus();
    return;
  }
  CWnd::OnSetFocus(oldWnd);
}

LRESULT CFrameWnd::OnNcHitTest(CPoint point) {
  if (m_nBorder == 0) return CWnd::OnNcHitTest(point);
  CRect window;
  GetWindowRect(&window);
  if (!window.PtInRect(point)) return HTNOWHERE;
  // The band: corners take a band's width along both edges.
  bool left = point.x < window.left + m_nBorder;
  bool right = point.x >= window.right - m_nBorder;
  bool top = point.y < window.top + m_nBorder;
  bool bottom = point.y >= window.bottom - m_nBorder;
  if (top && left) return HTTOPLEFT;
  if (top && right) return HTTOPRIGHT;
  if (bottom && left) return HTBOTTOMLEFT;
  if (bottom && right) return HTBOTTOMRIGHT;
  if (left) return HTLEFT;
  if (right) return HTRIGHT;
  if (top) return HTTOP;
  if (bottom) return HTBOTTOM;
  return HTCLIENT;
}

BOOL CFrameWnd::OnCmdMsg(UINT id, int code, void* extra, LRESULT* result) {
  CWnd* view = GetActiveView();
  if (view != nullptr && view->OnCmdMsg(id, code, extra, result)) return TRUE;
  return CWnd::OnCmdMsg(id, code, extra, result);
}
