#include "common/tool_tip.h"

namespace tlx::common {

BOOL SetToolTipText(CToolTipCtrl& tip, CWnd* owner, UINT textId) {
  CString text;
  text.LoadString(textId);
  if (tip.m_hWnd == nullptr) {
    if (!tip.Create(owner, TTS_ALWAYSTIP)) return FALSE;
    if (!tip.AddTool(owner, text)) return FALSE;
    tip.SetDelayTime(TTDT_INITIAL, 0);
    tip.Activate(TRUE);
    return TRUE;
  }
  tip.UpdateTipText(text, owner);
  return TRUE;
}

void RelayToolTipEvent(CToolTipCtrl& tip, CWnd* owner, UINT message, WPARAM wParam, LPARAM lParam) {
  if (tip.m_hWnd == nullptr) return;
  MSG msg{owner->m_hWnd, message, wParam, lParam, 0, {LOWORD(lParam), HIWORD(lParam)}};
  tip.RelayEvent(&msg);
}

}  // namespace tlx::common
