#include "mfc/controls.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include "mfc/controls/control_widget.h"
#include "mfc/internal/control_classes.h"
#include "mfc/internal/wnd_bridge.h"
#include "mfc/keys.h"

using namespace tlx::mfc;

// List boxes.

namespace {

CListBox* ListOwner(QWidget* widget) { return dynamic_cast<CListBox*>(Owner(widget)); }

// A DC over an image that stands for a rectangle of a window: drawing at the
// rectangle's coordinates lands in the image.
class AreaDC : public CDC {
 public:
  AreaDC(QImage* image, const QPoint& origin) {
    Begin(image);
    painter()->translate(-origin);
  }
};

// A list box's widget: keys of a list with LBS_WANTKEYBOARDINPUT go to
// VKeyToItem before the list acts on them.
class ListBoxWidget : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  // The mouse over the items reaches the list's window procedure first
  // (WM_LBUTTONDOWN, WM_MOUSEMOVE, ...), in the list's client coordinates;
  // what the procedure leaves to its default the list does.
  bool viewportEvent(QEvent* event) override {
    WndBridge* bridge = WndBridge::Of(this);
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        QMouseEvent moved(e->type(), e->position() + viewport()->pos(), e->scenePosition(), e->globalPosition(),
                          e->button(), e->buttons(), e->modifiers(), e->pointingDevice());
        if (bridge != nullptr && bridge->eventFilter(this, &moved)) return true;
        // A press the procedure leaves to its default focuses the list (the
        // list takes no focus on a click by itself, so that a procedure that
        // keeps the press keeps the focus where it was).
        if (event->type() == QEvent::MouseButtonPress) setFocus(Qt::MouseFocusReason);
        break;
      }
      case QEvent::Wheel:
        if (bridge != nullptr && bridge->eventFilter(this, event)) return true;
        break;
      default:
        break;
    }
    return QListWidget::viewportEvent(event);
  }
  // The items' area is erased through the list's procedure (WM_ERASEBKGND,
  // in the list's client coordinates; the default leaves the list's base
  // colour), then the items are painted over it.
  void paintEvent(QPaintEvent* event) override {
    CListBox* self = ListOwner(this);
    if (self != nullptr) {
      QImage erased(viewport()->size(), QImage::Format_ARGB32_Premultiplied);
      erased.fill(palette().color(QPalette::Base));
      {
        AreaDC dc(&erased, viewport()->pos());
        ::SendMessage(self->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
      }
      QPainter(viewport()).drawImage(0, 0, erased);
    }
    QListWidget::paintEvent(event);
  }
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
      if (CFont* font = self->GetFont()) dc.SelectObject(font);
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
  list->setFocusPolicy(Qt::TabFocus);
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

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"ListBox", []() -> CWnd* { return new CListBox; }, AsksColours<CTLCOLOR_LISTBOX>}) &&
    RegisterControlClass({u"ComboBox", []() -> CWnd* { return new CComboBox; }});

}  // namespace
