#include "mfc/controls.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

#include "mfc/controls/control_widget.h"
#include "mfc/internal/control_classes.h"
#include "mfc/keys.h"

using namespace tlx::mfc;

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

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"SysListView32", []() -> CWnd* { return new CListCtrl; }}) &&
    RegisterControlClass({u"SysTreeView32", []() -> CWnd* { return new CTreeCtrl; }});

}  // namespace
