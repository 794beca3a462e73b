#include "mfc/controls.h"

#include <QLineEdit>

#include "mfc/controls/control_widget.h"
#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

IMPLEMENT_DYNAMIC(CEdit, CWnd)

QWidget* CEdit::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* edit = new QLineEdit(parent);
  QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
    CWnd* self = Owner(edit);
    if (self == nullptr) return;
    HWND h = self->m_hWnd;
    tlx::mfc::UpdateWindowState(h, [&](WindowState& s) { s.text = text; });
    self->NotifyParent(EN_UPDATE);
    if (IsWindow(h)) self->NotifyParent(EN_CHANGE);
  });
  return edit;
}

void CEdit::ApplyText(const QString& text) {
  if (auto* edit = As<QLineEdit>(m_pWidget)) edit->setText(text);
}

void CEdit::LimitText(int maxChars) { SendMessage(EM_LIMITTEXT, maxChars < 0 ? 0 : maxChars); }

void CEdit::GetSel(int& start, int& end) const {
  DWORD_PTR s = 0;
  DWORD_PTR e = 0;
  const_cast<CEdit*>(this)->SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  start = static_cast<int>(s);
  end = static_cast<int>(e);
}

void CEdit::SetSel(int start, int end, BOOL noScroll) {
  SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
  if (!noScroll) SendMessage(EM_SCROLLCARET);
}

void CEdit::SetInputMethod(BOOL enabled) {
  if (m_pWidget != nullptr) m_pWidget->setAttribute(Qt::WA_InputMethodEnabled, enabled != FALSE);
}

LRESULT CEdit::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* edit = As<QLineEdit>(m_pWidget);
  if (edit == nullptr) return CWnd::DefWindowProc(message, wParam, lParam);
  switch (message) {
    case EM_LIMITTEXT:
      // 0 lifts the limit to the largest the control takes.
      edit->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(std::min<WPARAM>(wParam, 32767)));
      return 0;
    case EM_GETSEL: {
      int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
      int end = edit->hasSelectedText() ? edit->selectionEnd() : start;
      if (wParam != 0) *reinterpret_cast<DWORD_PTR*>(wParam) = static_cast<DWORD_PTR>(start);
      if (lParam != 0) *reinterpret_cast<DWORD_PTR*>(lParam) = static_cast<DWORD_PTR>(end);
      return MAKELONG(static_cast<WORD>(start), static_cast<WORD>(end));
    }
    case EM_SETSEL: {
      int length = static_cast<int>(edit->text().size());
      int start = static_cast<int>(static_cast<intptr_t>(wParam));
      int end = static_cast<int>(lParam);
      if (start < 0) {
        edit->deselect();
        return 0;
      }
      if (end < 0 || end > length) end = length;
      start = std::min(start, length);
      edit->setSelection(start, end - start);
      return 0;
    }
    case EM_SCROLLCARET:
      return TRUE;  // the line edit keeps its cursor in view
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"Edit", []() -> CWnd* { return new CEdit; }, AsksColours<CTLCOLOR_EDIT>});

}  // namespace
