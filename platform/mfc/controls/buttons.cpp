#include "mfc/controls.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "mfc/controls/control_widget.h"
#include "mfc/controls/group_box.h"
#include "mfc/internal/child_windows.h"
#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

IMPLEMENT_DYNAMIC(CButton, CWnd)

QWidget* CButton::CreateWidget(QWidget* parent, const CREATESTRUCT& cs) {
  DWORD kind = static_cast<DWORD>(cs.style) & BS_TYPEMASK;
  if (kind == BS_GROUPBOX) {
    // A frame with its caption on the top edge around controls of the same
    // parent: it takes no focus, passes clicks to the parent (WM_NCHITTEST,
    // below) and lies beneath its siblings, wherever the template puts it.
    auto* box = new GroupBoxWidget(parent);
    box->lower();
    return box;
  }
  QAbstractButton* button;
  if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX) {
    button = new QCheckBox(parent);
  } else if (kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON) {
    auto* radio = new QRadioButton(parent);
    radio->setAutoExclusive(false);  // groups follow WS_GROUP, below
    button = radio;
  } else {
    auto* push = new QPushButton(parent);
    push->setDefault(kind == BS_DEFPUSHBUTTON);
    button = push;
  }
  if (kind == BS_CHECKBOX || kind == BS_RADIOBUTTON) button->setCheckable(false);
  QObject::connect(button, &QAbstractButton::clicked, button, [button] {
    CWnd* self = Owner(button);
    if (self == nullptr) return;
    if ((self->GetStyle() & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
      // An automatic radio button checks itself and clears the others of its group.
      for (CWnd* other : GroupOf(self)) {
        auto* radio = As<QRadioButton>(other->GetWidget());
        if (radio != nullptr && other != self && (other->GetStyle() & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
          radio->setChecked(false);
        }
      }
      button->setChecked(true);
    }
    self->NotifyParent(BN_CLICKED);
  });
  return button;
}

void CButton::ApplyText(const QString& text) {
  QString shown = QString(text).replace('&', "&&");
  if (auto* button = As<QAbstractButton>(m_pWidget)) button->setText(shown);
  if (auto* box = dynamic_cast<GroupBoxWidget*>(m_pWidget)) box->SetCaption(text);
}

UINT CButton::GetCheck() const { return static_cast<UINT>(const_cast<CButton*>(this)->SendMessage(BM_GETCHECK)); }
void CButton::SetCheck(UINT check) { SendMessage(BM_SETCHECK, check); }
void CButton::SetButtonStyle(UINT style, BOOL redraw) { SendMessage(BM_SETSTYLE, style, redraw); }

LRESULT CButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* button = As<QAbstractButton>(m_pWidget);
  switch (message) {
    case BM_GETCHECK:
      return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      if (button != nullptr) {
        bool checkable = button->isCheckable();
        button->setCheckable(true);
        button->setChecked(wParam == BST_CHECKED);
        button->setCheckable(checkable || wParam == BST_CHECKED);
      }
      return 0;
    case WM_NCHITTEST:
      // A group box is not hit: a click on it goes to the window beneath.
      if (GetButtonStyle() == BS_GROUPBOX) return HTTRANSPARENT;
      return CWnd::DefWindowProc(message, wParam, lParam);
    case BM_SETSTYLE:
      m_dwStyle = (m_dwStyle & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFF);
      if (auto* push = As<QPushButton>(m_pWidget)) push->setDefault((wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      if (m_pWidget != nullptr && lParam) m_pWidget->update();
      return 0;
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

void CButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  if (CWnd* parent = GetParent()) parent->SendMessage(WM_DRAWITEM, m_nID, reinterpret_cast<LPARAM>(dis));
}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_DRAWITEM) {
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    return TRUE;
  }
  return CWnd::OnChildNotify(message, wParam, lParam, result);
}

namespace {

// Push buttons ask for button colours; check boxes, radio buttons and group
// boxes ask as static text does.
bool ButtonColourKind(CWnd* control, UINT* kind) {
  auto* button = dynamic_cast<CButton*>(control);
  if (button == nullptr) return false;
  UINT style = button->GetButtonStyle();
  bool push = style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON || style == BS_OWNERDRAW;
  *kind = push ? CTLCOLOR_BTN : CTLCOLOR_STATIC;
  return true;
}

// An owner-drawn button is painted by DrawItem (the button's own, or its
// parent's WM_DRAWITEM).
bool PaintOwnerDrawn(CWnd* control) {
  auto* button = dynamic_cast<CButton*>(control);
  if (button == nullptr || button->GetButtonStyle() != BS_OWNERDRAW) return false;
  QWidget* widget = button->GetWidget();
  auto* qbutton = qobject_cast<QAbstractButton*>(widget);
  CPaintDC dc(button);
  // As the control itself would, it hands over a DC with its font selected.
  if (CFont* font = button->GetFont()) dc.SelectObject(font);
  CRect client;
  button->GetClientRect(&client);
  UINT state = 0;
  if (qbutton != nullptr && qbutton->isDown()) state |= ODS_SELECTED;
  if (widget->hasFocus()) state |= ODS_FOCUS;
  if (!widget->isEnabled()) state |= ODS_DISABLED;
  auto id = static_cast<UINT>(button->GetDlgCtrlID());
  DRAWITEMSTRUCT dis{ODT_BUTTON, id, 0, ODA_DRAWENTIRE, state, button->m_hWnd, dc.GetSafeHdc(), client, 0};
  LRESULT result = 0;
  button->OnChildNotify(WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&dis), &result);
  return true;
}

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"Button", []() -> CWnd* { return new CButton; }, ButtonColourKind, PaintOwnerDrawn});

}  // namespace
