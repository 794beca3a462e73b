// CTlxPcCmnLimitEdit: an edit that limits its text by a byte count in
// Shift-JIS terms (the measure of the base station's text fields, such as
// names and passwords) and by a range of allowed characters, and can keep the
// input method off while it has the focus.
#pragma once

#include "mfc/afxwin.h"

// Shift-JIS bytes of a text: 1 for each character from U+0000 to U+007F and
// each half-width katakana (U+FF61 to U+FF9F), 2 for every other character
// (a surrogate pair is one character). Null counts 0.
int GetSjisByte(const WCHAR* text);

class CTlxPcCmnLimitEdit : public CEdit {
  DECLARE_DYNAMIC(CTlxPcCmnLimitEdit)

 public:
  CTlxPcCmnLimitEdit() = default;
  ~CTlxPcCmnLimitEdit() override;

  // Only characters ch with low <= ch < high remain; high 0 allows all.
  void vSetAllowingCodes(UINT low, UINT high);
  // FALSE keeps the input method off while the edit has the focus, from the
  // next time it gets it.
  void vEnableIME(BOOL enable);
  // -1 removes the limit.
  void SetLimitTextSjis(int bytes);
  int GetCountSjis();

 protected:
  void OnChar(UINT ch, UINT repeat, UINT flags) override;
  void OnSetFocus(CWnd* oldWnd) override;
  void OnKillFocus(CWnd* newWnd) override;
  // After every edit, before the edit repaints: drops what the limit and the
  // range do not allow, keeping the selection.
  void OnEnUpdate();
  DECLARE_MESSAGE_MAP()

 private:
  BOOL m_bImeDetached = FALSE;  // the input method was switched off at the focus
  BOOL m_bImeEnabled = TRUE;
  int m_nLimitSjis = -1;
  UINT m_nAllowLow = 0;
  UINT m_nAllowHigh = 0;
};
