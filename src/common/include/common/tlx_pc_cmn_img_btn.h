// CTlxPcCmnImgBtn: a button drawn from images, one per state (normal,
// pressed, focused, disabled, hovered, each also checked, and a blink image),
// with its text right of or over the image. It is always owner-drawn and acts
// as a push button, check box or radio button itself, after the style its
// template gives.
#pragma once

#include "common/tlx_pc_cmn_img_bitmap.h"
#include "common/tlx_pc_cmn_tool_tip_btn.h"

// The image slots, in the order bSetBtnImg takes them.
enum ECmnImgBtnImage {
  IMG_NORMAL = 0,
  IMG_NORMAL_CHECKED = 1,
  IMG_PRESSED = 2,
  IMG_PRESSED_CHECKED = 3,
  IMG_FOCUS = 4,
  IMG_FOCUS_CHECKED = 5,
  IMG_DISABLED = 6,
  IMG_DISABLED_CHECKED = 7,
  IMG_HOVER = 8,
  IMG_HOVER_CHECKED = 9,
  IMG_BLINK = 10,
  IMG_COUNT = 11
};

class CTlxPcCmnImgBtn : public CTlxPcCmnToolTipBtn {
  DECLARE_DYNAMIC(CTlxPcCmnImgBtn)

 public:
  static const int POS_RIGHT;  // text right of the image
  static const int POS_OVER;   // text over the image, centred

  CTlxPcCmnImgBtn() = default;
  ~CTlxPcCmnImgBtn() override;

  // Loads the images by resource id (0: none for that state). The normal
  // image is required: without it no image is kept and the result is FALSE.
  // FALSE also when any other given image does not load (its slot stays
  // empty).
  BOOL bSetBtnImg(UINT normal, UINT normalChecked, UINT pressed, UINT pressedChecked, UINT focus, UINT focusChecked,
                  UINT disabled, UINT disabledChecked, UINT hover, UINT hoverChecked, UINT blink);
  void vDeleteBmpObject();
  // The normal image's size; FALSE without one.
  BOOL bGetImgSize(CSize* size);
  // The window text's extent in the window's font; FALSE when it is empty.
  BOOL bGetTxtSize(CSize* size);
  // The window text from string `stringId`; FALSE when it loads empty.
  BOOL bSetText(UINT stringId);
  void vSetShowText(BOOL show, int position, int gap);
  // A 0 for any colour but the first stands for the normal colour.
  void vSetTextColor(COLORREF normal, COLORREF pressed, COLORREF focus, COLORREF disabled, COLORREF hover);
  void vSetBkgColor(COLORREF colour);
  // The normal image's size, widened by the gap and the text at POS_RIGHT;
  // FALSE without a normal image, or with shown text at POS_RIGHT that is
  // empty.
  BOOL bGetPreferredSize(CSize* size);
  BOOL bSizeToContent();
  // Blinking swaps the normal image for the blink image every 1.5 seconds.
  void vBlinkButton(BOOL on);
  void vSetTimer();
  void vKillTimer();

  void OnMouseOver(BOOL over) override;

 protected:
  void PreSubclassWindow() override;
  void DrawItem(LPDRAWITEMSTRUCT dis) override;

  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnLButtonUp(UINT flags, CPoint point) override;
  void OnKillFocus(CWnd* newWnd) override;
  void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
  void OnTimer(UINT_PTR id) override;
  LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);
  LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);

  CImgBitmap* m_pImg[IMG_COUNT] = {};
  BOOL m_bShowText = FALSE;
  int m_nTextPos = 1;  // POS_RIGHT
  int m_nTextGap = 8;
  COLORREF m_crText[5] = {0, 0, 0, 0, 0};  // normal, pressed, focus, disabled, hover
  COLORREF m_crBkg = 0xFFFFFF;
  int m_nKind = 0;  // 0 push button, 2 check box, 4 radio button
  BOOL m_bCheck = FALSE;
  BOOL m_bPressed = FALSE;
  int m_nBlink = 0;
  UINT_PTR m_nTimerId = 0;

  DECLARE_MESSAGE_MAP()

 private:
  // Takes the kind from a style and keeps the window owner-drawn.
  void TakeStyle(DWORD style);
  // What a release inside (or the space key) does to a check box or radio button.
  void Toggle();
};
