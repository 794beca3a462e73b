#include "common/tlx_pc_cmn_tool_tip_btn.h"

IMPLEMENT_DYNAMIC(CTlxPcCmnToolTipBtn, CButton)

BEGIN_MESSAGE_MAP(CTlxPcCmnToolTipBtn, CButton)
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONUP()
  ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

CTlxPcCmnToolTipBtn::~CTlxPcCmnToolTipBtn() {
  if (m_ToolTip.m_hWnd != nullptr) m_ToolTip.DestroyWindow();
}

BOOL CTlxPcCmnToolTipBtn::bSetToolTipText(UINT textId) {
  CString text;
  text.LoadString(textId);
  if (m_ToolTip.m_hWnd == nullptr) {
    if (!m_ToolTip.Create(this, TTS_ALWAYSTIP)) return FALSE;
    if (!m_ToolTip.AddTool(this, text)) return FALSE;
    m_ToolTip.SetDelayTime(TTDT_INITIAL, 0);
    m_ToolTip.Activate(TRUE);
    return TRUE;
  }
  m_ToolTip.UpdateTipText(text, this);
  return TRUE;
}

void CTlxPcCmnToolTipBtn::vRelayEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_ToolTip.m_hWnd == nullptr) return;
  MSG msg{m_hWnd, message, wParam, lParam, 0, {LOWORD(lParam), HIWORD(lParam)}};
  m_ToolTip.RelayEvent(&msg);
}

void CTlxPcCmnToolTipBtn::OnMouseOver(BOOL) {}

void CTlxPcCmnToolTipBtn::OnMouseMove(UINT flags, CPoint point) {
  vRelayEvent(WM_MOUSEMOVE, flags, MAKELPARAM(point.x, point.y));
  if (!m_bHover) {
    TrackMouseLeave();
    m_bHover = TRUE;
    OnMouseOver(TRUE);
  }
  CButton::OnMouseMove(flags, point);
}

void CTlxPcCmnToolTipBtn::OnLButtonDown(UINT flags, CPoint point) {
  vRelayEvent(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
  CButton::OnLButtonDown(flags, point);
}

void CTlxPcCmnToolTipBtn::OnLButtonUp(UINT flags, CPoint point) {
  vRelayEvent(WM_LBUTTONUP, flags, MAKELPARAM(point.x, point.y));
  CRect client;
  GetClientRect(&client);
  if (m_ToolTip.m_hWnd != nullptr && !client.PtInRect(point)) m_ToolTip.Pop();
  CButton::OnLButtonUp(flags, point);
}

void CTlxPcCmnToolTipBtn::OnMouseLeave() {
  m_bHover = FALSE;
  OnMouseOver(FALSE);
  if (m_ToolTip.m_hWnd != nullptr) m_ToolTip.Pop();
}
