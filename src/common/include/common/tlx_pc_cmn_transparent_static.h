// CTlxPcCmnTransparentStatic: a static text drawn over its dialog's
// background (or over a solid colour), in its own text colour.
#pragma once

#include "mfc/afxwin.h"

class CTlxPcCmnTransparentStatic : public CStatic {
  DECLARE_DYNAMIC(CTlxPcCmnTransparentStatic)

 public:
  CTlxPcCmnTransparentStatic() = default;
  ~CTlxPcCmnTransparentStatic() override;

  // 1: transparent, the parent's background shows; any other value: solid,
  // filled with the background colour (white until set).
  void vSetBkgMode(int mode);
  void vSetBkgColor(COLORREF color);
  void vSetTextColor(COLORREF color);

 protected:
  void vCreateBrush();
  // Repaints the parent's area under the control, without erasing.
  void vInvalidateParent();
  HBRUSH CtlColor(CDC* dc, UINT ctlColor);
  DECLARE_MESSAGE_MAP()

 private:
  CBrush m_brush;  // the solid background; transparent mode answers the stock hollow brush
  int m_nBkgMode = 1;
  COLORREF m_clrBkg = 0xFFFFFF;
  COLORREF m_clrText = 0;
};
