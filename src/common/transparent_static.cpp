#include "common/tlx_pc_cmn_transparent_static.h"

IMPLEMENT_DYNAMIC(CTlxPcCmnTransparentStatic, CStatic)

BEGIN_MESSAGE_MAP(CTlxPcCmnTransparentStatic, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

CTlxPcCmnTransparentStatic::~CTlxPcCmnTransparentStatic() { m_brush.DeleteObject(); }

void CTlxPcCmnTransparentStatic::vSetBkgMode(int mode) {
  m_nBkgMode = mode;
  vCreateBrush();
  vInvalidateParent();
  Invalidate(FALSE);
}

void CTlxPcCmnTransparentStatic::vSetBkgColor(COLORREF color) {
  m_clrBkg = color;
  vCreateBrush();
  vInvalidateParent();
  Invalidate(FALSE);
}

void CTlxPcCmnTransparentStatic::vSetTextColor(COLORREF color) {
  m_clrText = color;
  vInvalidateParent();
  Invalidate(FALSE);
}

void CTlxPcCmnTransparentStatic::vCreateBrush() {
  m_brush.DeleteObject();
  if (m_nBkgMode != 1) m_brush.CreateSolidBrush(m_clrBkg);
}

void CTlxPcCmnTransparentStatic::vInvalidateParent() {
  CWnd* parent = GetParent();
  if (parent == nullptr) return;
  CRect rect;
  GetWindowRect(&rect);
  parent->ScreenToClient(&rect);
  parent->InvalidateRect(&rect, FALSE);
}

HBRUSH CTlxPcCmnTransparentStatic::CtlColor(CDC* dc, UINT) {
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(m_clrText);
  if (m_nBkgMode == 1) return reinterpret_cast<HBRUSH>(static_cast<CBrush*>(GetStockObject(NULL_BRUSH)));
  return m_brush;
}
