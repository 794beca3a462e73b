#include "common/tlx_pc_cmn_img_btn.h"

#include <algorithm>

#include "common/img_btn_look.h"
#include "mfc/keys.h"
#include "mfc/shell.h"

using namespace tlx::common;

namespace {

constexpr UINT_PTR kBlinkTimer = 11;
constexpr UINT kBlinkMs = 1500;

}  // namespace

const int CTlxPcCmnImgBtn::POS_RIGHT = 1;
const int CTlxPcCmnImgBtn::POS_OVER = 2;

IMPLEMENT_DYNAMIC(CTlxPcCmnImgBtn, CTlxPcCmnToolTipBtn)

BEGIN_MESSAGE_MAP(CTlxPcCmnImgBtn, CTlxPcCmnToolTipBtn)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONUP()
  ON_WM_KILLFOCUS()
  ON_WM_KEYDOWN()
  ON_WM_TIMER()
  ON_MESSAGE(BM_SETCHECK, OnSetCheck)
  ON_MESSAGE(BM_GETCHECK, OnGetCheck)
  ON_MESSAGE(BM_SETSTYLE, OnSetStyle)
END_MESSAGE_MAP()

CTlxPcCmnImgBtn::~CTlxPcCmnImgBtn() {
  vKillTimer();
  vDeleteBmpObject();
}

BOOL CTlxPcCmnImgBtn::bSetBtnImg(UINT normal, UINT normalChecked, UINT pressed, UINT pressedChecked, UINT focus,
                                 UINT focusChecked, UINT disabled, UINT disabledChecked, UINT hover, UINT hoverChecked,
                                 UINT blink) {
  vDeleteBmpObject();
  const UINT ids[IMG_COUNT] = {normal, normalChecked,   pressed, pressedChecked, focus, focusChecked,
                               disabled, disabledChecked, hover,   hoverChecked,   blink};
  BOOL all = TRUE;
  for (int i = 0; i < IMG_COUNT; ++i) {
    if (i != IMG_NORMAL && ids[i] == 0) continue;
    auto* image = new CImgBitmap;
    if (image->LoadBitmapW(ids[i])) {
      m_pImg[i] = image;
      continue;
    }
    delete image;
    if (i == IMG_NORMAL) return FALSE;
    all = FALSE;
  }
  return all;
}

void CTlxPcCmnImgBtn::vDeleteBmpObject() {
  for (CImgBitmap*& image : m_pImg) {
    if (image == nullptr) continue;
    image->DeleteObject();
    delete image;
    image = nullptr;
  }
}

BOOL CTlxPcCmnImgBtn::bGetImgSize(CSize* size) {
  BITMAP bm{};
  if (m_pImg[IMG_NORMAL] == nullptr || m_pImg[IMG_NORMAL]->GetBitmap(&bm) == 0) return FALSE;
  *size = CSize(bm.bmWidth, bm.bmHeight);
  return TRUE;
}

BOOL CTlxPcCmnImgBtn::bGetTxtSize(CSize* size) {
  CString text = GetWindowTextString();
  if (text.IsEmpty()) return FALSE;
  CClientDC dc(this);
  if (CFont* font = GetFont()) dc.SelectObject(font);
  *size = dc.GetTextExtent(text);
  return TRUE;
}

BOOL CTlxPcCmnImgBtn::bSetText(UINT stringId) {
  CString text;
  text.LoadString(stringId);
  if (text.IsEmpty()) return FALSE;
  SetWindowText(text);
  return TRUE;
}

void CTlxPcCmnImgBtn::vSetShowText(BOOL show, int position, int gap) {
  m_bShowText = show;
  m_nTextPos = position;
  m_nTextGap = gap;
}

void CTlxPcCmnImgBtn::vSetTextColor(COLORREF normal, COLORREF pressed, COLORREF focus, COLORREF disabled,
                                    COLORREF hover) {
  m_crText[0] = normal;
  m_crText[1] = pressed != 0 ? pressed : normal;
  m_crText[2] = focus != 0 ? focus : normal;
  m_crText[3] = disabled != 0 ? disabled : normal;
  m_crText[4] = hover != 0 ? hover : normal;
}

void CTlxPcCmnImgBtn::vSetBkgColor(COLORREF colour) { m_crBkg = colour; }

BOOL CTlxPcCmnImgBtn::bGetPreferredSize(CSize* size) {
  CSize image;
  if (!bGetImgSize(&image)) return FALSE;
  if (m_bShowText && m_nTextPos == POS_RIGHT) {
    CSize text;
    if (!bGetTxtSize(&text)) return FALSE;
    image.cx += m_nTextGap + text.cx;
  }
  *size = image;
  return TRUE;
}

BOOL CTlxPcCmnImgBtn::bSizeToContent() {
  CSize size;
  if (!bGetPreferredSize(&size)) return FALSE;
  return SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void CTlxPcCmnImgBtn::vBlinkButton(BOOL on) {
  if (on) {
    vSetTimer();
  } else {
    vKillTimer();
  }
}

void CTlxPcCmnImgBtn::vSetTimer() { m_nTimerId = SetTimer(kBlinkTimer, kBlinkMs, nullptr); }

void CTlxPcCmnImgBtn::vKillTimer() {
  if (m_nTimerId == 0) return;
  KillTimer(m_nTimerId);
  m_nTimerId = 0;
  m_nBlink = 0;
}

void CTlxPcCmnImgBtn::OnMouseOver(BOOL over) {
  CTlxPcCmnToolTipBtn::OnMouseOver(over);
  Invalidate(TRUE);
}

void CTlxPcCmnImgBtn::TakeStyle(DWORD style) {
  m_nKind = ImgBtnKindOfStyle(style);
  ModifyStyle(BS_RADIOBUTTON, BS_OWNERDRAW);
}

void CTlxPcCmnImgBtn::PreSubclassWindow() {
  TakeStyle(GetStyle());
  CTlxPcCmnToolTipBtn::PreSubclassWindow();
}

void CTlxPcCmnImgBtn::DrawItem(LPDRAWITEMSTRUCT dis) {
  ImgBtnState state;
  state.disabled = (dis->itemState & ODS_DISABLED) != 0;
  state.pressed = (dis->itemState & ODS_SELECTED) != 0;
  state.hover = m_bHover != FALSE;
  state.focus = (dis->itemState & ODS_FOCUS) != 0;
  state.checked = m_bCheck != FALSE;
  state.blinkPhase = m_nBlink;
  bool loaded[IMG_COUNT];
  for (int i = 0; i < IMG_COUNT; ++i) loaded[i] = m_pImg[i] != nullptr && m_pImg[i]->GetBitmap() != nullptr;
  ImgBtnLook look = ChooseImgBtnLook(state, loaded);

  CDC* dc = CDC::FromHandle(dis->hDC);
  CRect item(dis->rcItem);
  // Without an image for the state (a button without a normal image) only
  // the background and the text are drawn.
  dc->FillSolidRect(&item, m_crBkg);
  if (look.image >= 0) {
    CImgBitmap::Lock();
    CBitmap* bitmap = m_pImg[look.image]->GetBitmap();
    BITMAP bm{};
    bitmap->GetBitmap(&bm);
    CDC memory;
    memory.CreateCompatibleDC(dc);
    CBitmap* old = memory.SelectObject(bitmap);
    // The image's part that the item covers, at the item's top-left corner.
    dc->BitBlt(item.left, item.top, std::min<int>(item.Width(), bm.bmWidth), std::min<int>(item.Height(), bm.bmHeight),
               &memory, 0, 0, SRCCOPY);
    memory.SelectObject(old);
    CImgBitmap::Unlock();
  }

  CString text = GetWindowTextString();
  if (!m_bShowText || text.IsEmpty()) return;
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(m_crText[static_cast<int>(look.colour)]);
  CFont* font = GetFont();
  CFont* oldFont = font != nullptr ? dc->SelectObject(font) : nullptr;
  if (m_nTextPos == POS_RIGHT) {
    CSize image;
    bGetImgSize(&image);
    CRect area(item.left + image.cx + m_nTextGap, item.top, item.right, item.bottom);
    dc->DrawText(text, &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  } else {
    dc->DrawText(text, &item, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  if (font != nullptr) dc->SelectObject(oldFont);
}

void CTlxPcCmnImgBtn::OnLButtonDown(UINT flags, CPoint point) {
  m_bPressed = TRUE;
  CTlxPcCmnToolTipBtn::OnLButtonDown(flags, point);
}

void CTlxPcCmnImgBtn::OnLButtonUp(UINT flags, CPoint point) {
  CRect client;
  GetClientRect(&client);
  if (client.PtInRect(point)) Toggle();
  m_bPressed = FALSE;
  CTlxPcCmnToolTipBtn::OnLButtonUp(flags, point);
}

void CTlxPcCmnImgBtn::Toggle() {
  if (m_nKind == kKindCheckBox) SendMessage(BM_SETCHECK, m_bCheck ? BST_UNCHECKED : BST_CHECKED);
  if (m_nKind == kKindRadio) SendMessage(BM_SETCHECK, BST_CHECKED);
}

void CTlxPcCmnImgBtn::OnKillFocus(CWnd* newWnd) {
  if (::GetCapture() == m_hWnd) {
    ::ReleaseCapture();
    m_bPressed = FALSE;
  }
  CTlxPcCmnToolTipBtn::OnKillFocus(newWnd);
}

void CTlxPcCmnImgBtn::OnKeyDown(UINT ch, UINT repeat, UINT flags) {
  if (ch == VK_SPACE) Toggle();
  CTlxPcCmnToolTipBtn::OnKeyDown(ch, repeat, flags);
}

void CTlxPcCmnImgBtn::OnTimer(UINT_PTR id) {
  if (id == 0 || id != m_nTimerId) return;
  m_nBlink = m_nBlink <= 0 ? 1 : 0;
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CTlxPcCmnImgBtn::OnSetCheck(WPARAM wParam, LPARAM) {
  m_bCheck = wParam != 0;
  if (m_nKind == kKindRadio && m_bCheck) {
    // The others of the group, walked backwards from this one, are cleared.
    if (CWnd* parent = GetParent()) {
      for (CWnd* other = parent->GetNextDlgGroupItem(this, TRUE); other != nullptr && other != this;
           other = parent->GetNextDlgGroupItem(other, TRUE)) {
        other->PostMessage(BM_SETCHECK, BST_UNCHECKED);
      }
    }
  }
  if (m_nKind == kKindPush) m_bCheck = FALSE;
  Invalidate(TRUE);
  return 0;
}

LRESULT CTlxPcCmnImgBtn::OnGetCheck(WPARAM, LPARAM) { return m_bCheck ? BST_CHECKED : BST_UNCHECKED; }

LRESULT CTlxPcCmnImgBtn::OnSetStyle(WPARAM wParam, LPARAM) {
  TakeStyle(static_cast<DWORD>(wParam));
  return 0;
}
