#include "mfc/controls.h"

#include <QToolTip>
#include <QWidget>

using namespace tlx::mfc;

// Tool tips: a tool's text is its widget's tool tip.

QWidget* CToolTipCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* hidden = new QWidget(parent);
  hidden->hide();
  return hidden;
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
  return CWnd::CreateEx(0, u"tooltips_class32", nullptr, style | WS_CHILD, 0, 0, 0, 0,
                        parent == nullptr ? nullptr : parent->m_hWnd, 0);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, const CString& text) {
  if (wnd == nullptr || wnd->GetWidget() == nullptr) return FALSE;
  m_tools.emplace_back(wnd->m_hWnd, text);
  if (m_bActive) wnd->GetWidget()->setToolTip(text.qstring());
  return TRUE;
}

void CToolTipCtrl::UpdateTipText(const CString& text, CWnd* wnd) {
  for (auto& [hwnd, tip] : m_tools) {
    if (wnd == nullptr || hwnd != wnd->m_hWnd) continue;
    tip = text;
    if (m_bActive && wnd->GetWidget() != nullptr) wnd->GetWidget()->setToolTip(text.qstring());
  }
}

void CToolTipCtrl::Activate(BOOL active) {
  m_bActive = active;
  for (auto& [hwnd, tip] : m_tools) {
    CWnd* wnd = CWnd::FromHandle(hwnd);
    if (wnd != nullptr && wnd->GetWidget() != nullptr) wnd->GetWidget()->setToolTip(active ? tip.qstring() : QString());
  }
  if (!active) QToolTip::hideText();
}

void CToolTipCtrl::SetDelayTime(DWORD, int) {}

void CToolTipCtrl::RelayEvent(MSG*) {}

void CToolTipCtrl::Pop() { QToolTip::hideText(); }
