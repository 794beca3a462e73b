#include "mfc/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QPainter>
#include <QSlider>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "internal/child_windows.h"
#include "internal/message_pump.h"
#include "mfc/keys.h"

using namespace tlx::mfc;

namespace {

// The window of a control's widget at the time of the call: after
// SubclassWindow it is the object that took the control over.
CWnd* Owner(QWidget* widget) { return WindowOfWidget(widget); }

template <typename T>
T* As(QWidget* widget) {
  return qobject_cast<T*>(widget);
}

}  // namespace

std::vector<CWnd*> tlx::mfc::ChildWindows(const CWnd* parent) {
  std::vector<CWnd*> children;
  if (parent == nullptr || parent->GetWidget() == nullptr) return children;
  for (QObject* o : parent->GetWidget()->children()) {
    auto* widget = qobject_cast<QWidget*>(o);
    if (widget == nullptr || widget->isWindow()) continue;
    CWnd* wnd = WindowOfWidget(widget);
    if (wnd != nullptr && wnd != parent && wnd->GetWidget() == widget) children.push_back(wnd);
  }
  // The widgets are in stacking order, which a group box leaves; handles are
  // given out in creation order.
  std::sort(children.begin(), children.end(), [](const CWnd* a, const CWnd* b) {
    return reinterpret_cast<uintptr_t>(a->m_hWnd) < reinterpret_cast<uintptr_t>(b->m_hWnd);
  });
  return children;
}

std::vector<CWnd*> tlx::mfc::GroupOf(const CWnd* control) {
  std::vector<CWnd*> siblings = ChildWindows(control->GetParent());
  auto self = std::find(siblings.begin(), siblings.end(), control);
  if (self == siblings.end()) return {const_cast<CWnd*>(control)};
  auto first = self;
  while (first != siblings.begin() && !((*first)->GetStyle() & WS_GROUP)) --first;
  auto last = self + 1;
  while (last != siblings.end() && !((*last)->GetStyle() & WS_GROUP)) ++last;
  return std::vector<CWnd*>(first, last);
}

// Buttons.

namespace {

// A group box: an etched frame whose top edge runs through the middle of the
// caption, which stands on it near the left. The inside is left unpainted, so
// the frame shows around the controls it holds and never over them.
class GroupBoxWidget : public QWidget {
 public:
  using QWidget::QWidget;
  void SetCaption(const QString& caption) {
    caption_ = caption;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    constexpr int kIndent = 6;  // from the left edge to the caption's gap
    constexpr int kGap = 2;     // between the line's ends and the caption
    QPainter painter(this);
    QFontMetrics metrics = fontMetrics();
    int top = metrics.height() / 2;
    QRect caption;
    QRegion lines(rect());
    if (!caption_.isEmpty()) {
      caption = QRect(kIndent, 0, metrics.horizontalAdvance(caption_) + 2 * kGap, metrics.height());
      lines -= caption;
    }
    // A dark line with a light one beside it, inside the widget's rectangle.
    QRect dark(0, top, width() - 2, height() - top - 2);
    painter.setClipRegion(lines);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(dark);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(dark.translated(1, 1));
    painter.setClipping(false);
    style()->drawItemText(&painter, caption.adjusted(kGap, 0, -kGap, 0), Qt::AlignLeft | Qt::AlignTop, palette(),
                          isEnabled(), caption_, QPalette::WindowText);
  }

 private:
  QString caption_;
};

}  // namespace

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

// Static text and pictures.

QWidget* CStatic::CreateWidget(QWidget* parent, const CREATESTRUCT&) { return new QLabel(parent); }

void CStatic::ApplyText(const QString& text) {
  if (auto* label = As<QLabel>(m_pWidget)) label->setText(text);
}

CBitmap* CStatic::SetBitmap(CBitmap* bitmap) {
  return reinterpret_cast<CBitmap*>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

LRESULT CStatic::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != STM_SETIMAGE || wParam != IMAGE_BITMAP) return CWnd::DefWindowProc(message, wParam, lParam);
  CBitmap* old = std::exchange(m_pBitmap, reinterpret_cast<CBitmap*>(lParam));
  if (auto* label = As<QLabel>(m_pWidget)) {
    if (m_pBitmap != nullptr && m_pBitmap->created) {
      label->setPixmap(QPixmap::fromImage(m_pBitmap->image()));
    } else {
      label->clear();
    }
  }
  return reinterpret_cast<LRESULT>(old);
}

// Edits.

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

// List boxes.

namespace {

CListBox* ListOwner(QWidget* widget) { return dynamic_cast<CListBox*>(Owner(widget)); }

// A list box's widget: keys of a list with LBS_WANTKEYBOARDINPUT go to
// VKeyToItem before the list acts on them.
class ListBoxWidget : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    CListBox* self = ListOwner(this);
    UINT key = VirtualKey(*event);
    if (self != nullptr && key != 0 && (self->GetStyle() & LBS_WANTKEYBOARDINPUT)) {
      HWND h = self->m_hWnd;
      int answer = self->VKeyToItem(key, static_cast<UINT>(std::max(0, currentRow())));
      if (!IsWindow(h) || answer == -2) return;
      if (answer >= 0) {
        // The list's own selection by the user: the parent hears LBN_SELCHANGE.
        if (answer < count()) setCurrentRow(answer, QItemSelectionModel::ClearAndSelect);
        return;
      }
    }
    QListWidget::keyPressEvent(event);
  }
};

// A DC over an image that stands for a rectangle of a window: drawing at the
// rectangle's coordinates lands in the image.
class AreaDC : public CDC {
 public:
  AreaDC(QImage* image, const QPoint& origin) {
    Begin(image);
    painter()->translate(-origin);
  }
};

// The items of an owner-drawn list: as high as the list measured, painted by
// its DrawItem in the list's client coordinates.
class OwnerDrawDelegate : public QStyledItemDelegate {
 public:
  explicit OwnerDrawDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (CListBox* self = ListOwner(list_)) size.setHeight(static_cast<int>(self->OwnerDrawItemHeight()));
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    CListBox* self = ListOwner(list_);
    if (self == nullptr || option.rect.isEmpty()) return;
    QRect area = option.rect.translated(list_->viewport()->pos());
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(list_->palette().color(QPalette::Base));
    {
      AreaDC dc(&image, area.topLeft());
      UINT state = 0;
      if (option.state & QStyle::State_Selected) state |= ODS_SELECTED;
      if (option.state & QStyle::State_HasFocus) state |= ODS_FOCUS;
      if (!(option.state & QStyle::State_Enabled)) state |= ODS_DISABLED;
      int row = index.row();
      DRAWITEMSTRUCT dis{ODT_LISTBOX,
                         static_cast<UINT>(self->GetDlgCtrlID()),
                         static_cast<UINT>(row),
                         ODA_DRAWENTIRE,
                         state,
                         self->m_hWnd,
                         dc.GetSafeHdc(),
                         RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()},
                         self->GetItemData(row)};
      self->DrawItem(&dis);
    }
    painter->drawImage(option.rect.topLeft(), image);
  }

 private:
  QListWidget* list_;
};

}  // namespace

QWidget* CListBox::CreateWidget(QWidget* parent, const CREATESTRUCT& cs) {
  auto* list = new ListBoxWidget(parent);
  if (cs.style & LBS_OWNERDRAWFIXED) {
    list->setUniformItemSizes(true);
    list->setItemDelegate(new OwnerDrawDelegate(list));
  }
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(list, &QListWidget::itemSelectionChanged, list, [list] {
    if (list->signalsBlocked()) return;
    if (CWnd* self = Owner(list)) self->NotifyParent(LBN_SELCHANGE);
  });
  QObject::connect(list, &QListWidget::itemDoubleClicked, list, [list] {
    if (CWnd* self = Owner(list)) self->NotifyParent(LBN_DBLCLK);
  });
  return list;
}

int CListBox::AddString(const CString& text) {
  auto* list = As<QListWidget>(m_pWidget);
  list->addItem(text.qstring());
  return list->count() - 1;
}

int CListBox::DeleteString(UINT index) {
  auto* list = As<QListWidget>(m_pWidget);
  if (static_cast<int>(index) >= list->count()) return LB_ERR;
  QSignalBlocker quiet(list);
  delete list->takeItem(static_cast<int>(index));
  return list->count();
}

void CListBox::ResetContent() {
  QSignalBlocker quiet(m_pWidget);
  As<QListWidget>(m_pWidget)->clear();
}

int CListBox::GetCount() const { return As<QListWidget>(m_pWidget)->count(); }

int CListBox::GetCurSel() const {
  auto* list = As<QListWidget>(m_pWidget);
  QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? LB_ERR : list->row(selected.first());
}

int CListBox::SetCurSel(int index) {
  auto* list = As<QListWidget>(m_pWidget);
  QSignalBlocker quiet(list);
  if (index < 0 || index >= list->count()) {
    list->clearSelection();
    return LB_ERR;
  }
  list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  return index;
}

int CListBox::GetText(int index, CString& text) const {
  QListWidgetItem* item = As<QListWidget>(m_pWidget)->item(index);
  if (item == nullptr) return LB_ERR;
  text = CString(item->text());
  return text.GetLength();
}

DWORD_PTR CListBox::GetItemData(int index) const {
  QListWidgetItem* item = As<QListWidget>(m_pWidget)->item(index);
  return item == nullptr ? static_cast<DWORD_PTR>(LB_ERR) : item->data(Qt::UserRole).value<qulonglong>();
}

int CListBox::SetItemData(int index, DWORD_PTR data) {
  QListWidgetItem* item = As<QListWidget>(m_pWidget)->item(index);
  if (item == nullptr) return LB_ERR;
  item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(data));
  return 0;
}

int CListBox::SetItemHeight(int /*index*/, UINT height) {
  auto* list = As<QListWidget>(m_pWidget);
  if (height == 0 || height > 255) return LB_ERR;
  if (m_dwStyle & LBS_OWNERDRAWFIXED) {
    m_nItemHeight = height;
    list->doItemsLayout();
    return 0;
  }
  for (int i = 0; i < list->count(); ++i) {
    list->item(i)->setSizeHint(QSize(list->item(i)->sizeHint().width(), static_cast<int>(height)));
  }
  return 0;
}

UINT CListBox::OwnerDrawItemHeight() {
  if (m_nItemHeight == 0) {
    CRect client;
    GetClientRect(&client);
    MEASUREITEMSTRUCT mis{ODT_LISTBOX, static_cast<UINT>(m_nID), 0, static_cast<UINT>(client.Width()),
                          static_cast<UINT>(m_pWidget->fontMetrics().height()), 0};
    MeasureItem(&mis);
    m_nItemHeight = std::clamp<UINT>(mis.itemHeight, 1, 255);
  }
  return m_nItemHeight;
}

void CListBox::DrawItem(LPDRAWITEMSTRUCT dis) {
  if (CWnd* parent = GetParent()) parent->SendMessage(WM_DRAWITEM, m_nID, reinterpret_cast<LPARAM>(dis));
}

void CListBox::MeasureItem(LPMEASUREITEMSTRUCT mis) {
  if (CWnd* parent = GetParent()) parent->SendMessage(WM_MEASUREITEM, m_nID, reinterpret_cast<LPARAM>(mis));
}

int CListBox::GetItemRect(int index, LPRECT rect) const {
  auto* list = As<QListWidget>(m_pWidget);
  QListWidgetItem* item = list->item(index);
  if (item == nullptr || rect == nullptr) return LB_ERR;
  QRect r = list->visualItemRect(item).translated(list->viewport()->pos());
  *rect = RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
  return 0;
}

UINT CListBox::ItemFromPoint(CPoint point, BOOL& outside) const {
  auto* list = As<QListWidget>(m_pWidget);
  QPoint p = QPoint(point.x, point.y) - list->viewport()->pos();
  QListWidgetItem* item = list->itemAt(p);
  outside = item == nullptr ? TRUE : FALSE;
  if (item == nullptr) return list->count() > 0 ? static_cast<UINT>(list->count() - 1) : 0;
  return static_cast<UINT>(list->row(item));
}

int CListBox::GetTopIndex() const {
  auto* list = As<QListWidget>(m_pWidget);
  QListWidgetItem* item = list->itemAt(QPoint(1, 1));
  return item == nullptr ? 0 : list->row(item);
}

int CListBox::SetTopIndex(int index) {
  auto* list = As<QListWidget>(m_pWidget);
  QListWidgetItem* item = list->item(index);
  if (item == nullptr) return LB_ERR;
  list->scrollToItem(item, QAbstractItemView::PositionAtTop);
  return 0;
}

int CListBox::VKeyToItem(UINT key, UINT index) {
  CWnd* parent = GetParent();
  if (parent == nullptr) return -1;
  return static_cast<int>(
      parent->SendMessage(WM_VKEYTOITEM, MAKEWPARAM(static_cast<int>(key), static_cast<int>(index)),
                          reinterpret_cast<LPARAM>(m_hWnd)));
}

// Combo boxes.

QWidget* CComboBox::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* combo = new QComboBox(parent);
  QObject::connect(combo, &QComboBox::activated, combo, [combo] {
    if (CWnd* self = Owner(combo)) self->NotifyParent(CBN_SELCHANGE);
  });
  return combo;
}

int CComboBox::AddString(const CString& text) {
  auto* combo = As<QComboBox>(m_pWidget);
  combo->addItem(text.qstring());
  return combo->count() - 1;
}

void CComboBox::ResetContent() { As<QComboBox>(m_pWidget)->clear(); }
int CComboBox::GetCount() const { return As<QComboBox>(m_pWidget)->count(); }
int CComboBox::GetCurSel() const {
  int index = As<QComboBox>(m_pWidget)->currentIndex();
  return index < 0 ? CB_ERR : index;
}

int CComboBox::SetCurSel(int index) {
  auto* combo = As<QComboBox>(m_pWidget);
  if (index < 0 || index >= combo->count()) {
    combo->setCurrentIndex(-1);
    return CB_ERR;
  }
  combo->setCurrentIndex(index);
  return index;
}

int CComboBox::FindString(int startAfter, const CString& prefix) const {
  auto* combo = As<QComboBox>(m_pWidget);
  int count = combo->count();
  int first = startAfter < 0 || startAfter >= count ? 0 : startAfter + 1;
  // The search wraps around to the items before the start.
  for (int n = 0; n < count; ++n) {
    int i = (first + n) % count;
    if (combo->itemText(i).startsWith(prefix.qstring(), Qt::CaseInsensitive)) return i;
  }
  return CB_ERR;
}

int CComboBox::SelectString(int startAfter, const CString& prefix) {
  int index = FindString(startAfter, prefix);
  if (index != CB_ERR) SetCurSel(index);
  return index;
}

void CComboBox::GetLBText(int index, CString& text) const { text = CString(As<QComboBox>(m_pWidget)->itemText(index)); }

// List views, in report form.

namespace {

// A list view's tree widget, which also tells its owner about keys.
class ListViewWidget : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (CWnd* self = Owner(this)) {
      NMLVKEYDOWN key{};
      key.wVKey = static_cast<WORD>(VirtualKey(*event));
      HWND h = self->m_hWnd;
      self->NotifyParent(&key.hdr, LVN_KEYDOWN);
      if (!IsWindow(h)) return;
    }
    QTreeWidget::keyPressEvent(event);
  }
};

void NotifyItemChanged(QTreeWidget* tree, int row, UINT newState, UINT oldState) {
  CWnd* self = Owner(tree);
  if (self == nullptr) return;
  NMLISTVIEW change{};
  change.iItem = row;
  change.uChanged = LVIF_STATE;
  change.uNewState = newState;
  change.uOldState = oldState;
  self->NotifyParent(&change.hdr, LVN_ITEMCHANGED);
}

// The check box of a list item in the state-image bits: 1 clear, 2 checked.
UINT CheckStateBits(Qt::CheckState state) { return (state == Qt::Checked ? 2u : 1u) << 12; }

}  // namespace

QWidget* CListCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT& cs) {
  auto* tree = new ListViewWidget(parent);
  tree->setRootIsDecorated(false);
  tree->setColumnCount(0);
  tree->setHeaderHidden((cs.style & LVS_NOCOLUMNHEADER) != 0);
  tree->setSelectionMode((cs.style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                    : QAbstractItemView::ExtendedSelection);
  auto row = [tree](QTreeWidgetItem* item) { return tree->indexOfTopLevelItem(item); };
  QObject::connect(tree, &QTreeWidget::itemClicked, tree, [tree, row](QTreeWidgetItem* item) {
    CWnd* self = Owner(tree);
    if (self == nullptr) return;
    NMITEMACTIVATE click{};
    click.iItem = row(item);
    self->NotifyParent(&click.hdr, NM_CLICK);
  });
  QObject::connect(tree, &QTreeWidget::itemDoubleClicked, tree, [tree, row](QTreeWidgetItem* item) {
    CWnd* self = Owner(tree);
    if (self == nullptr) return;
    NMITEMACTIVATE click{};
    click.iItem = row(item);
    self->NotifyParent(&click.hdr, NM_DBLCLK);
  });
  QObject::connect(tree, &QTreeWidget::itemChanged, tree, [tree, row](QTreeWidgetItem* item, int column) {
    if (column != 0 || tree->signalsBlocked()) return;
    Qt::CheckState now = item->checkState(0);
    Qt::CheckState before = now == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    NotifyItemChanged(tree, row(item), CheckStateBits(now), CheckStateBits(before));
  });
  QObject::connect(tree, &QTreeWidget::currentItemChanged, tree,
                   [tree, row](QTreeWidgetItem* now, QTreeWidgetItem* before) {
                     if (tree->signalsBlocked()) return;
                     if (before != nullptr) NotifyItemChanged(tree, row(before), 0, LVIS_SELECTED);
                     if (now != nullptr) NotifyItemChanged(tree, row(now), LVIS_SELECTED, 0);
                   });
  return tree;
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  DWORD old = std::exchange(m_dwListExStyle, exStyle);
  tree->setSelectionBehavior((exStyle & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                              : QAbstractItemView::SelectItems);
  tree->header()->setSectionsMovable((exStyle & LVS_EX_HEADERDRAGDROP) != 0);
  tree->setStyleSheet((exStyle & LVS_EX_GRIDLINES) ? "QTreeView::item { border: 1px solid #d0d0d0; }" : "");
  QSignalBlocker quiet(tree);
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = tree->topLevelItem(i);
    if (exStyle & LVS_EX_CHECKBOXES) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      if (!(old & LVS_EX_CHECKBOXES)) item->setCheckState(0, Qt::Unchecked);
    } else {
      item->setData(0, Qt::CheckStateRole, QVariant());
    }
  }
  return old;
}

int CListCtrl::InsertColumn(int column, const CString& heading, int format, int width) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  int count = tree->columnCount();
  if (column < 0 || column > count) column = count;
  QTreeWidgetItem* header = tree->headerItem();
  QStringList labels;
  for (int i = 0; i < count; ++i) labels << header->text(i);
  labels.insert(column, heading.qstring());
  tree->setColumnCount(count + 1);
  tree->setHeaderLabels(labels);
  Qt::Alignment align = format == LVCFMT_CENTER ? Qt::AlignHCenter : Qt::AlignLeft;
  header->setTextAlignment(column, align | Qt::AlignVCenter);
  if (width >= 0) tree->setColumnWidth(column, width);
  return column;
}

int CListCtrl::InsertItem(int index, const CString& text) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  QSignalBlocker quiet(tree);
  int count = tree->topLevelItemCount();
  if (index < 0 || index > count) index = count;
  auto* item = new QTreeWidgetItem();
  item->setText(0, text.qstring());
  if (m_dwListExStyle & LVS_EX_CHECKBOXES) {
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
  }
  tree->insertTopLevelItem(index, item);
  return index;
}

BOOL CListCtrl::SetItemText(int item, int subItem, const CString& text) {
  QTreeWidgetItem* row = As<QTreeWidget>(m_pWidget)->topLevelItem(item);
  if (row == nullptr || subItem < 0) return FALSE;
  QSignalBlocker quiet(m_pWidget);
  row->setText(subItem, text.qstring());
  return TRUE;
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  QTreeWidgetItem* row = As<QTreeWidget>(m_pWidget)->topLevelItem(item);
  return row == nullptr ? CString() : CString(row->text(subItem));
}

BOOL CListCtrl::DeleteAllItems() {
  QSignalBlocker quiet(m_pWidget);
  As<QTreeWidget>(m_pWidget)->clear();
  return TRUE;
}

int CListCtrl::GetItemCount() const { return As<QTreeWidget>(m_pWidget)->topLevelItemCount(); }

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  QTreeWidgetItem* row = tree->topLevelItem(item);
  if (row == nullptr) return FALSE;
  QSignalBlocker quiet(tree);
  if (mask & LVIS_SELECTED) {
    if (state & LVIS_SELECTED) {
      tree->setCurrentItem(row);
    }
    row->setSelected((state & LVIS_SELECTED) != 0);
  }
  if (mask & LVIS_STATEIMAGEMASK) row->setCheckState(0, ((state >> 12) == 2) ? Qt::Checked : Qt::Unchecked);
  return TRUE;
}

int CListCtrl::GetNextItem(int start, UINT flags) const {
  auto* tree = As<QTreeWidget>(m_pWidget);
  for (int i = start + 1; i < tree->topLevelItemCount(); ++i) {
    if (!(flags & LVNI_SELECTED) || tree->topLevelItem(i)->isSelected()) return i;
  }
  return -1;
}

BOOL CListCtrl::GetCheck(int item) const {
  QTreeWidgetItem* row = As<QTreeWidget>(m_pWidget)->topLevelItem(item);
  return row != nullptr && row->checkState(0) == Qt::Checked ? TRUE : FALSE;
}

BOOL CListCtrl::SetCheck(int item, BOOL check) {
  return SetItemState(item, (check ? 2u : 1u) << 12, LVIS_STATEIMAGEMASK);
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
  QTreeWidgetItem* row = As<QTreeWidget>(m_pWidget)->topLevelItem(item);
  if (row == nullptr) return FALSE;
  row->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(data));
  return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
  QTreeWidgetItem* row = As<QTreeWidget>(m_pWidget)->topLevelItem(item);
  return row == nullptr ? 0 : row->data(0, Qt::UserRole).value<qulonglong>();
}

// Tree views: a HTREEITEM is the item itself.

namespace {
QTreeWidgetItem* Item(HTREEITEM h) { return reinterpret_cast<QTreeWidgetItem*>(h); }
HTREEITEM Handle(QTreeWidgetItem* item) { return reinterpret_cast<HTREEITEM>(item); }
}  // namespace

QWidget* CTreeCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* tree = new QTreeWidget(parent);
  tree->setHeaderHidden(true);
  QObject::connect(tree, &QTreeWidget::currentItemChanged, tree,
                   [tree](QTreeWidgetItem* now, QTreeWidgetItem* before) {
                     if (tree->signalsBlocked()) return;
                     CWnd* self = Owner(tree);
                     if (self == nullptr) return;
                     NMTREEVIEW change{};
                     change.action = 1;  // by the mouse or the keyboard
                     change.itemOld.hItem = Handle(before);
                     change.itemNew.hItem = Handle(now);
                     if (now != nullptr) change.itemNew.lParam = now->data(0, Qt::UserRole).value<qlonglong>();
                     self->NotifyParent(&change.hdr, TVN_SELCHANGED);
                   });
  return tree;
}

HTREEITEM CTreeCtrl::InsertItem(const CString& text, HTREEITEM parent, HTREEITEM /*after*/) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  auto* item = new QTreeWidgetItem(QStringList(text.qstring()));
  if (parent == TVI_ROOT || parent == nullptr) {
    tree->addTopLevelItem(item);
  } else {
    Item(parent)->addChild(item);
  }
  return Handle(item);
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
  if (item == nullptr) return FALSE;
  Item(item)->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(static_cast<qlonglong>(data)));
  return TRUE;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
  return item == nullptr ? 0 : static_cast<DWORD_PTR>(Item(item)->data(0, Qt::UserRole).value<qlonglong>());
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const { return item == nullptr ? CString() : CString(Item(item)->text(0)); }

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
  if (item == nullptr) return FALSE;
  Item(item)->setExpanded(code == TVE_EXPAND);
  return TRUE;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const { return Handle(As<QTreeWidget>(m_pWidget)->currentItem()); }

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
  auto* tree = As<QTreeWidget>(m_pWidget);
  QSignalBlocker quiet(tree);
  tree->setCurrentItem(Item(item));
  return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
  QSignalBlocker quiet(m_pWidget);
  As<QTreeWidget>(m_pWidget)->clear();
  return TRUE;
}

// Tab frame.

QWidget* CTabCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::Box);
  return frame;
}

// Up-down arrows.

QWidget* CSpinButtonCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* up = new QToolButton(box);
  up->setArrowType(Qt::UpArrow);
  up->setObjectName("up");
  auto* down = new QToolButton(box);
  down->setArrowType(Qt::DownArrow);
  down->setObjectName("down");
  layout->addWidget(up);
  layout->addWidget(down);
  auto step = [box](int delta) {
    if (auto* self = dynamic_cast<CSpinButtonCtrl*>(Owner(box))) self->Step(delta);
  };
  QObject::connect(up, &QToolButton::clicked, box, [step] { step(1); });
  QObject::connect(down, &QToolButton::clicked, box, [step] { step(-1); });
  return box;
}

void CSpinButtonCtrl::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
  m_nPos = std::clamp(m_nPos, std::min(lower, upper), std::max(lower, upper));
}

int CSpinButtonCtrl::SetPos(int pos) {
  return std::exchange(m_nPos, std::clamp(pos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper)));
}

void CSpinButtonCtrl::Step(int delta) {
  NMUPDOWN change{};
  change.iPos = m_nPos;
  change.iDelta = delta;
  HWND self = m_hWnd;
  if (NotifyParent(&change.hdr, UDN_DELTAPOS) != 0 || !IsWindow(self)) return;
  SetPos(m_nPos + change.iDelta);
  if (CWnd* parent = GetParent()) {
    parent->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, m_nPos), reinterpret_cast<LPARAM>(m_hWnd));
  }
}

// Trackbars.

QWidget* CSliderCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  auto scroll = [slider](UINT code) {
    CWnd* self = Owner(slider);
    CWnd* parent = self == nullptr ? nullptr : self->GetParent();
    if (parent == nullptr) return;
    parent->SendMessage(WM_HSCROLL, MAKEWPARAM(static_cast<int>(code), slider->sliderPosition()),
                        reinterpret_cast<LPARAM>(self->m_hWnd));
  };
  QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [slider, scroll](int action) {
    // The position the action leads to is set after this signal.
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_LINELEFT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_LINERIGHT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderPageStepSub:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_PAGELEFT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_PAGERIGHT); }, Qt::QueuedConnection);
        break;
      default:
        break;
    }
  });
  QObject::connect(slider, &QAbstractSlider::sliderMoved, slider, [scroll] { scroll(SB_THUMBTRACK); });
  QObject::connect(slider, &QAbstractSlider::sliderReleased, slider, [scroll] { scroll(SB_THUMBPOSITION); });
  return slider;
}

void CSliderCtrl::SetRange(int minimum, int maximum, BOOL) {
  QSignalBlocker quiet(m_pWidget);
  As<QSlider>(m_pWidget)->setRange(minimum, maximum);
}

void CSliderCtrl::SetPos(int pos) {
  QSignalBlocker quiet(m_pWidget);
  As<QSlider>(m_pWidget)->setValue(pos);
}

int CSliderCtrl::GetPos() const { return As<QSlider>(m_pWidget)->sliderPosition(); }

void CSliderCtrl::GetThumbRect(LPRECT rect) const {
  const_cast<CSliderCtrl*>(this)->SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(rect));
}

LRESULT CSliderCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* slider = As<QSlider>(m_pWidget);
  if (message != TBM_GETTHUMBRECT || slider == nullptr || lParam == 0) {
    return CWnd::DefWindowProc(message, wParam, lParam);
  }
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  QRect r = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
  *reinterpret_cast<RECT*>(lParam) = RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
  return 0;
}

// Progress bars.

QWidget* CProgressCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT& cs) {
  auto* bar = new QProgressBar(parent);
  bar->setOrientation((cs.style & PBS_VERTICAL) ? Qt::Vertical : Qt::Horizontal);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

LRESULT CProgressCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* bar = As<QProgressBar>(m_pWidget);
  if (bar == nullptr) return CWnd::DefWindowProc(message, wParam, lParam);
  int pos = bar->value();
  switch (message) {
    case PBM_SETRANGE: {
      int old = MAKELONG(static_cast<WORD>(bar->minimum()), static_cast<WORD>(bar->maximum()));
      bar->setRange(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return old;
    }
    case PBM_SETPOS:
      bar->setValue(std::clamp(static_cast<int>(wParam), bar->minimum(), bar->maximum()));
      return pos;
    case PBM_SETSTEP:
      return std::exchange(m_nStep, static_cast<int>(wParam));
    case PBM_STEPIT: {
      // Past the end the position wraps to the start, as on Windows.
      int next = pos + m_nStep;
      if (next > bar->maximum()) next = bar->minimum() + (next - bar->maximum());
      bar->setValue(std::clamp(next, bar->minimum(), bar->maximum()));
      return pos;
    }
    case PBM_GETPOS:
      return pos;
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

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

CWnd* AfxCreateControl(const CString& className) {
  const QString& name = className.qstring();
  auto is = [&](const char* n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
  if (is("Button")) return new CButton;
  if (is("Static")) return new CStatic;
  if (is("Edit")) return new CEdit;
  if (is("ListBox")) return new CListBox;
  if (is("ComboBox")) return new CComboBox;
  if (is("SysListView32")) return new CListCtrl;
  if (is("SysTreeView32")) return new CTreeCtrl;
  if (is("SysTabControl32")) return new CTabCtrl;
  if (is("msctls_updown32")) return new CSpinButtonCtrl;
  if (is("msctls_trackbar32")) return new CSliderCtrl;
  if (is("msctls_progress32")) return new CProgressCtrl;
  return nullptr;
}
