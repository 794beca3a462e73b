#include "common/tlx_pc_cmn_tool_tip_btn.h"

#include "common/tool_tip.h"

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

BOOL CTlxPcCmnToolTipBtn::bSetToolTipText(UINT textId) { return tlx::common::SetToolTipText(m_ToolTip, this, textId); }

void CTlxPcCmnToolTipBtn::vRelayEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  tlx::common::RelayToolTipEvent(m_ToolTip, this, message, wParam, lParam);
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
