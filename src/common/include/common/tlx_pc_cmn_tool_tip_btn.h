// CTlxPcCmnToolTipBtn: the common base of the player's buttons, a button with
// a tooltip and mouse-enter and -leave tracking.
#pragma once

#include "mfc/controls.h"

class CTlxPcCmnToolTipBtn : public CButton {
  DECLARE_DYNAMIC(CTlxPcCmnToolTipBtn)

 public:
  CTlxPcCmnToolTipBtn() = default;
  ~CTlxPcCmnToolTipBtn() override;

  // Shows string `textId` of the resource chain as the button's tooltip: the
  // first call makes the tooltip (always shown, at once), later calls replace
  // the text. FALSE when the tooltip cannot be made.
  BOOL bSetToolTipText(UINT textId);
  // Hands a mouse message to the tooltip, when there is one.
  void vRelayEvent(UINT message, WPARAM wParam, LPARAM lParam);
  // The pointer entered (TRUE) or left (FALSE) the button.
  virtual void OnMouseOver(BOOL over);

 protected:
  void OnMouseMove(UINT flags, CPoint point) override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnLButtonUp(UINT flags, CPoint point) override;
  void OnMouseLeave() override;

  CToolTipCtrl m_ToolTip;
  // The pointer is inside and its leaving is tracked.
  BOOL m_bHover = FALSE;

  DECLARE_MESSAGE_MAP()
};
