#include "common/tlx_pc_cmn_limit_edit.h"

#include "limit_edit_filter.h"

using namespace tlx::common;

IMPLEMENT_DYNAMIC(CTlxPcCmnLimitEdit, CEdit)

BEGIN_MESSAGE_MAP(CTlxPcCmnLimitEdit, CEdit)
  ON_WM_CHAR()
  ON_WM_SETFOCUS()
  ON_WM_KILLFOCUS()
  ON_CONTROL_REFLECT(EN_UPDATE, OnEnUpdate)
END_MESSAGE_MAP()

CTlxPcCmnLimitEdit::~CTlxPcCmnLimitEdit() = default;

void CTlxPcCmnLimitEdit::vSetAllowingCodes(UINT low, UINT high) {
  m_nAllowLow = low;
  m_nAllowHigh = high;
}

void CTlxPcCmnLimitEdit::vEnableIME(BOOL enable) { m_bImeEnabled = enable; }

void CTlxPcCmnLimitEdit::SetLimitTextSjis(int bytes) { m_nLimitSjis = bytes; }

int CTlxPcCmnLimitEdit::GetCountSjis() { return GetSjisByte(GetWindowTextString()); }

void CTlxPcCmnLimitEdit::OnChar(UINT, UINT, UINT) { Default(); }

void CTlxPcCmnLimitEdit::OnSetFocus(CWnd*) {
  Default();
  if (!m_bImeEnabled && !m_bImeDetached) {
    SetInputMethod(FALSE);
    m_bImeDetached = TRUE;
  }
}

void CTlxPcCmnLimitEdit::OnKillFocus(CWnd*) {
  Default();
  if (!m_bImeEnabled && m_bImeDetached) {
    SetInputMethod(TRUE);
    m_bImeDetached = FALSE;
  }
}

void CTlxPcCmnLimitEdit::OnEnUpdate() {
  const CString text = GetWindowTextString();
  int start = 0;
  int end = 0;
  GetSel(start, end);
  const LimitEditResult kept = FilterLimitEditText(std::u16string_view(text.GetString(), text.GetLength()), start,
                                                   end, LimitEditRules{m_nLimitSjis, m_nAllowLow, m_nAllowHigh});
  if (!kept.changed) return;
  SetWindowText(CString(kept.text.c_str()));
  SendMessage(EM_SETSEL, static_cast<WPARAM>(kept.selFirst), kept.selSecond);
  SendMessage(EM_SCROLLCARET);
}
