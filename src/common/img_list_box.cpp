#include "common/tlx_pc_cmn_img_list_box.h"

#include <algorithm>

#include "common/img_list_box_look.h"
#include "common/tlx_pc_cmn_system.h"
#include "common/tool_tip.h"
#include "mfc/keys.h"

using namespace tlx::common;

namespace {

constexpr UINT kFaceId = 20950;
constexpr UINT kVistaFaceId = 20951;
constexpr UINT kMarkTipId = 19116;
constexpr UINT kDefaultPoints = 10;

void LoadIcons(HICON (&icons)[3], UINT selected, UINT normal, UINT hover) {
  icons[0] = ::LoadIcon(nullptr, MAKEINTRESOURCEW(selected));
  icons[1] = ::LoadIcon(nullptr, MAKEINTRESOURCEW(normal));
  icons[2] = ::LoadIcon(nullptr, MAKEINTRESOURCEW(hover));
}

// Copies the image at (x, y) at its own size.
void DrawImage(CDC* dc, CImgBitmap& image, int x, int y) {
  CImgBitmap::Lock();
  if (CBitmap* bitmap = image.GetBitmap()) {
    BITMAP bm{};
    bitmap->GetBitmap(&bm);
    CDC memory;
    memory.CreateCompatibleDC(dc);
    CBitmap* old = memory.SelectObject(bitmap);
    dc->BitBlt(x, y, bm.bmWidth, bm.bmHeight, &memory, 0, 0, SRCCOPY);
    memory.SelectObject(old);
  }
  CImgBitmap::Unlock();
}

}  // namespace

BEGIN_MESSAGE_MAP(CTlxPcCmnImgListBox, CListBox)
  ON_CONTROL_REFLECT_EX(LBN_SELCHANGE, OnSelchange)
  ON_WM_LBUTTONDOWN()
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSEWHEEL()
  ON_WM_MOUSELEAVE()
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CTlxPcCmnImgListBox::~CTlxPcCmnImgListBox() {
  m_items.clear();
  if (m_ToolTip.m_hWnd != nullptr) m_ToolTip.DestroyWindow();
  m_font.DeleteObject();
  DestroyBackItem();
}

void CTlxPcCmnImgListBox::ConfigAttribs(int rows, UINT attributes) {
  m_nBackRows = rows;
  m_nAttribs = attributes;
}

void CTlxPcCmnImgListBox::BuildBackItem(UINT normal, UINT selected, UINT hover) {
  DestroyBackItem();
  m_nNormalId = normal;
  m_nSelectedId = selected;
  m_nHoverId = hover;
  if (normal != 0) m_bmpNormal.LoadBitmapW(normal);
  if (selected != 0) m_bmpSelected.LoadBitmapW(selected);
  if (hover != 0) m_bmpHover.LoadBitmapW(hover);
  BITMAP bm{};
  if (m_bmpNormal.GetBitmap(&bm) == 0) bm = BITMAP{};
  m_nItemWidth = bm.bmWidth;
  m_nItemHeight = bm.bmHeight;
}

void CTlxPcCmnImgListBox::DestroyBackItem() {
  m_bmpSelected.DeleteObject();
  m_bmpNormal.DeleteObject();
  m_bmpHover.DeleteObject();
}

void CTlxPcCmnImgListBox::BuildTextColor(COLORREF normal, COLORREF selected, COLORREF hover, UINT textX,
                                         UINT textWidth, UINT pointSize) {
  m_crNormal = normal;
  m_crSelected = selected;
  m_crHover = hover;
  m_nTextX = static_cast<int>(textX);
  m_nTextWidth = static_cast<int>(textWidth);
  LOGFONT lf{};
  static_cast<CFont*>(GetStockObject(DEFAULT_GUI_FONT))->GetLogFont(&lf);
  CString face;
  face.LoadString(TlxPcCmnIsWindowsVistaOrNewer() ? kVistaFaceId : kFaceId);
  std::fill(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), 0);
  std::copy_n(face.GetString(), std::min(face.GetLength(), LF_FACESIZE - 1), lf.lfFaceName);
  lf.lfHeight = static_cast<LONG>((pointSize != 0 ? pointSize : kDefaultPoints) * 10);
  lf.lfWeight = FW_BOLD;
  lf.lfQuality = CLEARTYPE_QUALITY;
  m_font.DeleteObject();
  m_font.CreatePointFontIndirect(&lf);
}

void CTlxPcCmnImgListBox::BuildHXR1IconItem(UINT normal, UINT selected, UINT hover, UINT iconX) {
  LoadIcons(m_hHXR1Icon, selected, normal, hover);
  m_nIconX = static_cast<int>(iconX);
}

void CTlxPcCmnImgListBox::BuildHXR2IconItem(UINT normal, UINT selected, UINT hover, UINT iconX) {
  LoadIcons(m_hHXR2Icon, selected, normal, hover);
  m_nIconX = static_cast<int>(iconX);
}

void CTlxPcCmnImgListBox::BuildPrptyIconItem(UINT first, UINT second, UINT third, UINT fourth, UINT fifth,
                                             UINT markX) {
  const UINT ids[5] = {first, second, third, fourth, fifth};
  for (int i = 0; i < 5; ++i) m_hPrptyIcon[i] = ::LoadIcon(nullptr, MAKEINTRESOURCEW(ids[i]));
  m_nMarkX = static_cast<int>(markX);
  bSetToolTipText(kMarkTipId);
}

BOOL CTlxPcCmnImgListBox::bSetToolTipText(UINT textId) { return SetToolTipText(m_ToolTip, this, textId); }

void CTlxPcCmnImgListBox::vRelayEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  RelayToolTipEvent(m_ToolTip, this, message, wParam, lParam);
}

int CTlxPcCmnImgListBox::AddListItem() {
  m_items.push_back(std::make_unique<CExtItem>(CString(), 0, 0));
  int row = AddString(CString());
  SetItemData(row, reinterpret_cast<DWORD_PTR>(m_items.back().get()));
  SetItemHeight(row, static_cast<UINT>(m_nItemHeight));
  return row;
}

BOOL CTlxPcCmnImgListBox::GetListItem(int n, CExtItem* out) {
  if (n < 0 || n >= GetCount() || n >= static_cast<int>(m_items.size())) return FALSE;
  *out = *m_items[static_cast<size_t>(n)];
  return TRUE;
}

BOOL CTlxPcCmnImgListBox::SetListItem(int n, CExtItem* in) {
  if (n < 0 || n >= GetCount() || n >= static_cast<int>(m_items.size())) return FALSE;
  *m_items[static_cast<size_t>(n)] = *in;
  return TRUE;
}

BOOL CTlxPcCmnImgListBox::DeleteListItem(int n) {
  if (n < 0 || n >= GetCount() || n >= static_cast<int>(m_items.size())) return FALSE;
  m_items.erase(m_items.begin() + n);
  DeleteString(static_cast<UINT>(n));
  return TRUE;
}

int CTlxPcCmnImgListBox::GetCurSel() {
  int now = CListBox::GetCurSel();
  if (now != m_nCurSel) m_nCurSel = now;
  return m_nCurSel;
}

void CTlxPcCmnImgListBox::SetCurSel(int n) {
  m_nCurSel = n;
  CListBox::SetCurSel(n);
  OnSelchange();
}

void CTlxPcCmnImgListBox::MeasureItem(LPMEASUREITEMSTRUCT mis) {
  mis->itemWidth = static_cast<UINT>(m_nItemWidth);
  mis->itemHeight = static_cast<UINT>(m_nItemHeight);
}

void CTlxPcCmnImgListBox::DrawItem(LPDRAWITEMSTRUCT dis) {
  const auto* item = reinterpret_cast<const CExtItem*>(dis->itemData);
  if (item == nullptr || static_cast<int>(dis->itemID) < 0) return;
  CDC* dc = CDC::FromHandle(dis->hDC);
  const int left = dis->rcItem.left;
  const int top = dis->rcItem.top;
  RowState row;
  row.action = dis->itemAction;
  row.selected = (dis->itemState & ODS_SELECTED) != 0;
  row.source = m_nSource;
  row.hasMark = item->m_nPrptyMark != 0;
  row.lastMouseX = m_nLastX;
  row.markX = m_nMarkX;

  auto draw = [&](const RowDraw& look) {
    struct Form {
      CImgBitmap* background;
      UINT backgroundId;
      COLORREF colour;
      int icon;  // index into the family icons
    };
    const Form forms[] = {{&m_bmpNormal, m_nNormalId, m_crNormal, 1},
                          {&m_bmpSelected, m_nSelectedId, m_crSelected, 0},
                          {&m_bmpHover, m_nHoverId, m_crHover, 2}};
    const Form& form = forms[static_cast<int>(look.look)];
    if (form.backgroundId != 0) DrawImage(dc, *form.background, left, top);
    CRect text(left + m_nTextX, top, left + m_nTextX + m_nTextWidth, top + m_nItemHeight);
    CFont* oldFont = m_font.created ? dc->SelectObject(&m_font) : nullptr;
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(form.colour);
    dc->DrawText(item->m_strText, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    if (m_font.created) dc->SelectObject(oldFont);
    HICON family = item->m_nIconType == 2   ? m_hHXR1Icon[form.icon]
                   : item->m_nIconType == 3 ? m_hHXR2Icon[form.icon]
                                            : nullptr;
    if (family != nullptr) dc->DrawIcon(left + m_nIconX, top, family);
    HICON mark = m_hPrptyIcon[look.markIcon - 1];
    if (row.hasMark && mark != nullptr) dc->DrawIcon(left + m_nMarkX, top, mark);
  };
  if (auto normal = RowNormalDraw(row)) draw(*normal);
  if (auto selected = RowSelectedDraw(row)) draw(*selected);
}

void CTlxPcCmnImgListBox::PreSubclassWindow() {
  m_nCurSel = -1;
  CListBox::PreSubclassWindow();
}

BOOL CTlxPcCmnImgListBox::OnSelchange() {
  if (m_nPrevSel == m_nCurSel && m_nSource != kSourceClick) return FALSE;
  for (int row : {m_nPrevSel, m_nCurSel}) {
    CRect rect;
    if (row >= 0 && GetItemRect(row, &rect) != LB_ERR) InvalidateRect(&rect, FALSE);
  }
  m_nPrevSel = m_nCurSel;
  return FALSE;
}

void CTlxPcCmnImgListBox::OnLButtonDown(UINT flags, CPoint point) {
  // Without a row height (no background) the mouse selects nothing.
  if (!(m_nAttribs & LBATTR_CLICKSELECT) || MouseRow(point.y, m_nItemHeight, GetCount()) < 0) return;
  m_nSource = kSourceClick;
  BOOL outside = FALSE;
  m_nCurSel = static_cast<int>(ItemFromPoint(point, outside));
  OnSelchange();
  CListBox::OnLButtonDown(flags, point);
}

void CTlxPcCmnImgListBox::OnMouseMove(UINT, CPoint point) {
  if (!(m_nAttribs & LBATTR_HOVERSELECT) || m_nItemHeight <= 0) return;
  if (MouseRow(point.y, m_nItemHeight, GetCount()) < 0) {
    OnMouseLeave();
    return;
  }
  if (!m_bTracking) {
    TrackMouseLeave();
    m_bTracking = TRUE;
  } else if (point.y / m_nItemHeight == m_nLastY / m_nItemHeight &&
             (m_nMarkX == 0 || point.x / m_nMarkX == m_nLastX / m_nMarkX)) {
    return;  // the same row, and the same side of the mark
  }
  m_nLastX = point.x;
  m_nLastY = point.y;
  m_nSource = kSourceMouse;
  if (point.x < m_nMarkX) {
    if (m_ToolTip.m_hWnd != nullptr) m_ToolTip.Pop();
  } else {
    vRelayEvent(WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
  }
  BOOL outside = FALSE;
  m_nCurSel = static_cast<int>(ItemFromPoint(point, outside));
  CListBox::SetCurSel(m_nCurSel);
  OnSelchange();
}

void CTlxPcCmnImgListBox::OnMouseLeave() {
  m_bTracking = FALSE;
  if (!(m_nAttribs & LBATTR_HOVERSELECT)) return;
  m_nCurSel = -1;
  CListBox::SetCurSel(-1);
  OnSelchange();
  if (m_ToolTip.m_hWnd != nullptr) m_ToolTip.Pop();
}

BOOL CTlxPcCmnImgListBox::OnMouseWheel(UINT flags, short delta, CPoint point) {
  CListBox::OnMouseWheel(flags, delta, point);
  return FALSE;
}

int CTlxPcCmnImgListBox::VKeyToItem(UINT key, UINT caret) {
  int index = static_cast<int>(caret);
  if ((key == VK_UP && index > 0) || (key == VK_DOWN && index < GetCount())) {
    m_nCurSel = index;
    CListBox::SetCurSel(index);
    OnSelchange();
  }
  return -1;
}

void CTlxPcCmnImgListBox::PaintBackRows(CDC* dc) {
  for (int row = 0; row < m_nBackRows; ++row) DrawImage(dc, m_bmpNormal, 0, row * m_nItemHeight);
}

BOOL CTlxPcCmnImgListBox::OnEraseBkgnd(CDC* dc) {
  if (GetCount() > m_nBackRows) return CListBox::OnEraseBkgnd(dc);
  PaintBackRows(dc);
  return TRUE;
}

void CTlxPcCmnImgListBox::OnPaint() {
  CListBox::OnPaint();
  if (GetCount() != 0) return;
  CClientDC dc(this);
  PaintBackRows(&dc);
}
