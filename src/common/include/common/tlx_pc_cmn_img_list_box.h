// The image list box of the player's dialogs and the record of each of its
// rows.
//
// Each row is drawn from row background images (normal, selected, hover)
// with its text in a bold font, the icon of its base-station family and an
// optional property mark with a tooltip. The row under the mouse can become
// the selection (hover selection), and a click on a row can select it.
//
// A dialog template declares the list with LBS_OWNERDRAWFIXED and
// LBS_WANTKEYBOARDINPUT; DDX_Control binds the class to it.
#pragma once

#include <memory>
#include <vector>

#include "common/tlx_pc_cmn_img_bitmap.h"
#include "mfc/controls.h"
#include "mfc/cstring.h"
#include "win32/types.h"

// One row: its text, its base-station family icon (2: the first family, 3:
// the second, else none) and whether it shows the property mark.
class CExtItem {
 public:
  CExtItem(CString text, int iconType, int prptyMark);
  CExtItem(const CExtItem&) = default;
  CExtItem& operator=(const CExtItem&) = default;

  // Replaces the text; the icon type and the mark only when given non-zero.
  void setExtItem(CString text, int iconType, int prptyMark);
  // Copies the fields out; null pointers are skipped.
  void getExtItem(CString* text, int* iconType, int* prptyMark) const;

  CString m_strText;
  int m_nIconType;
  int m_nPrptyMark;
};

// Attributes of ConfigAttribs.
inline constexpr UINT LBATTR_HOVERSELECT = 0x1;  // the row under the mouse is the selection; leaving clears it
inline constexpr UINT LBATTR_CLICKSELECT = 0x2;  // a click selects the row under the mouse

class CTlxPcCmnImgListBox : public CListBox {
 public:
  CTlxPcCmnImgListBox() = default;
  ~CTlxPcCmnImgListBox() override;

  // Set-up, once the window exists, in any order. Mouse selection works once
  // a normal row background is loaded (it gives the row height).
  // `rows` background rows are painted while the list has no more rows.
  void ConfigAttribs(int rows, UINT attributes);
  // The row backgrounds by image id (0: none); the normal one gives the item
  // size.
  void BuildBackItem(UINT normal, UINT selected, UINT hover);
  void DestroyBackItem();
  // The text colours, the text column and the bold row font (the UI face of
  // the region, `pointSize` points, 10 when 0).
  void BuildTextColor(COLORREF normal, COLORREF selected, COLORREF hover, UINT textX, UINT textWidth,
                      UINT pointSize);
  // The icons of the first and second base-station families, drawn at
  // `iconX` (shared by both families).
  void BuildHXR1IconItem(UINT normal, UINT selected, UINT hover, UINT iconX);
  void BuildHXR2IconItem(UINT normal, UINT selected, UINT hover, UINT iconX);
  // The five property-mark icons, drawn at `markX`, and the mark's tooltip.
  void BuildPrptyIconItem(UINT first, UINT second, UINT third, UINT fourth, UINT fifth, UINT markX);
  BOOL bSetToolTipText(UINT textId);
  void vRelayEvent(UINT message, WPARAM wParam, LPARAM lParam);

  // Appends an empty row; returns its index.
  int AddListItem();
  // FALSE when `n` is not a row.
  BOOL GetListItem(int n, CExtItem* out);
  BOOL SetListItem(int n, CExtItem* in);
  BOOL DeleteListItem(int n);
  // The selection, as the list has it now.
  int GetCurSel();
  void SetCurSel(int n);

  void DrawItem(LPDRAWITEMSTRUCT dis) override;
  void MeasureItem(LPMEASUREITEMSTRUCT mis) override;
  int VKeyToItem(UINT key, UINT caret) override;

 protected:
  void PreSubclassWindow() override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnMouseMove(UINT flags, CPoint point) override;
  void OnMouseLeave() override;
  BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  // Repaints the rows drawn selected before and now; FALSE, so that the
  // parent hears the change too.
  BOOL OnSelchange();

  std::vector<std::unique_ptr<CExtItem>> m_items;
  CImgBitmap m_bmpSelected, m_bmpNormal, m_bmpHover;
  UINT m_nSelectedId = 0, m_nNormalId = 0, m_nHoverId = 0;
  CFont m_font;
  COLORREF m_crNormal = 0, m_crSelected = 0, m_crHover = 0;
  // Family icons: selected, normal, hover.
  HICON m_hHXR1Icon[3] = {};
  HICON m_hHXR2Icon[3] = {};
  // The property-mark icons in the order BuildPrptyIconItem takes them.
  HICON m_hPrptyIcon[5] = {};
  int m_nItemWidth = 0, m_nItemHeight = 0;
  int m_nTextWidth = 0, m_nTextX = 0;
  int m_nIconX = 0, m_nMarkX = 0;
  int m_nBackRows = 0;
  int m_nCurSel = -1, m_nPrevSel = 0;
  int m_nLastX = 0, m_nLastY = 0;
  UINT m_nAttribs = 0;
  int m_nSource = 0;
  BOOL m_bTracking = FALSE;
  CToolTipCtrl m_ToolTip;

  DECLARE_MESSAGE_MAP()

 private:
  // The normal background once per background row, from the top.
  void PaintBackRows(CDC* dc);
};
