#include "mfc/menu.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "mfc/internal/message_pump.h"
#include "mfc/message_ids.h"
#include "mfc/resources.h"
#include "mfc/shell.h"
#include "mfc/wnd.h"

namespace tlx::mfc {

struct MenuItem {
  UINT id = 0;
  QString text;
  bool checked = false;
  bool grayed = false;
  bool separator = false;
  std::shared_ptr<MenuData> popup;
};

struct MenuData {
  std::vector<MenuItem> items;
};

}  // namespace tlx::mfc

using namespace tlx::mfc;

namespace {

PopupPresenter g_presenter;
QPointer<QMenu> g_showing;

bool ParseItems(const QJsonArray& array, MenuData* menu, int depth) {
  if (depth > 8) return false;
  for (const QJsonValue& v : array) {
    if (!v.isObject()) return false;
    QJsonObject o = v.toObject();
    MenuItem item;
    if (o.value("separator").toBool(false)) {
      item.separator = true;
      menu->items.push_back(item);
      continue;
    }
    if (o.value("text").isString()) {
      item.text = o.value("text").toString();
    } else if (o.value("textId").isDouble()) {
      if (!LoadResourceString(static_cast<UINT>(o.value("textId").toInt()), &item.text)) return false;
    } else {
      return false;
    }
    for (auto [name, flag] : {std::pair{"checked", &item.checked}, {"grayed", &item.grayed}}) {
      QJsonValue f = o.value(QLatin1String(name));
      if (f.isUndefined()) continue;
      if (!f.isBool()) return false;
      *flag = f.toBool();
    }
    if (o.contains("popup")) {
      if (!o.value("popup").isArray()) return false;
      item.popup = std::make_shared<MenuData>();
      if (!ParseItems(o.value("popup").toArray(), item.popup.get(), depth + 1)) return false;
    } else {
      QJsonValue id = o.value("id");
      if (!id.isDouble() || id.toDouble() < 0 || id.toDouble() > 0xFFFF || id.toDouble() != id.toInt()) return false;
      item.id = static_cast<UINT>(id.toInt());
    }
    menu->items.push_back(item);
  }
  return true;
}

// The item by position or, searching popups too, by command; its menu in *owner.
MenuItem* FindItem(MenuData* menu, UINT item, UINT flags, MenuData** owner, size_t* index) {
  if (menu == nullptr) return nullptr;
  if (flags & MF_BYPOSITION) {
    if (item >= menu->items.size()) return nullptr;
    *owner = menu;
    *index = item;
    return &menu->items[item];
  }
  for (size_t i = 0; i < menu->items.size(); ++i) {
    MenuItem& it = menu->items[i];
    if (!it.popup && !it.separator && it.id == item) {
      *owner = menu;
      *index = i;
      return &it;
    }
    if (it.popup) {
      if (MenuItem* found = FindItem(it.popup.get(), item, flags, owner, index)) return found;
    }
  }
  return nullptr;
}

std::vector<MenuItemView> View(const MenuData& menu) {
  std::vector<MenuItemView> view;
  for (const MenuItem& item : menu.items) {
    MenuItemView v{item.id, item.text, item.checked, item.grayed, item.separator, {}};
    if (item.popup) v.children = View(*item.popup);
    view.push_back(std::move(v));
  }
  return view;
}

void Fill(QMenu* menu, const std::vector<MenuItemView>& items) {
  for (const MenuItemView& item : items) {
    if (item.separator) {
      menu->addSeparator();
    } else if (!item.children.empty()) {
      Fill(menu->addMenu(QString(item.text).replace('&', "&&")), item.children);
    } else {
      QAction* action = menu->addAction(item.text);
      action->setData(item.id);
      action->setCheckable(item.checked);
      action->setChecked(item.checked);
      action->setEnabled(!item.grayed);
    }
  }
}

// Closes the popup when its owner hides.
class OwnerWatch : public QObject {
 public:
  OwnerWatch(QMenu* menu, QObject* parent) : QObject(parent), menu_(menu) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide && menu_) menu_->close();
    return false;
  }

 private:
  QPointer<QMenu> menu_;
};

UINT ShowQMenu(const std::vector<MenuItemView>& items, POINT at, QWidget* owner) {
  QMenu menu;
  Fill(&menu, items);
  g_showing = &menu;
  OwnerWatch* watch = nullptr;
  if (owner != nullptr) {
    watch = new OwnerWatch(&menu, &menu);
    owner->installEventFilter(watch);
  }
  QAction* chosen = menu.exec(QPoint(at.x, at.y));
  if (owner != nullptr) owner->removeEventFilter(watch);
  return chosen == nullptr ? 0 : chosen->data().toUInt();
}

}  // namespace

void tlx::mfc::SetPopupPresenter(PopupPresenter presenter) { g_presenter = std::move(presenter); }

CMenu::CMenu() = default;
CMenu::CMenu(std::shared_ptr<MenuData> data) : data_(std::move(data)) {}
CMenu::~CMenu() = default;

BOOL CMenu::LoadMenu(UINT id) {
  QByteArray json;
  if (!LoadMenuTemplate(id, &json)) return FALSE;
  QJsonParseError error;
  QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError) return FALSE;
  QJsonArray items;
  if (doc.isArray()) {
    items = doc.array();
  } else if (doc.isObject() && doc.object().value("items").isArray()) {
    items = doc.object().value("items").toArray();
  } else {
    return FALSE;
  }
  auto data = std::make_shared<MenuData>();
  if (!ParseItems(items, data.get(), 0)) return FALSE;
  data_ = std::move(data);
  subMenus_.clear();
  return TRUE;
}

BOOL CMenu::CreatePopupMenu() {
  data_ = std::make_shared<MenuData>();
  subMenus_.clear();
  return TRUE;
}

BOOL CMenu::DestroyMenu() {
  data_.reset();
  subMenus_.clear();
  return TRUE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const WCHAR* text) {
  if (!data_) return FALSE;
  MenuItem item;
  item.separator = (flags & MF_SEPARATOR) != 0;
  item.id = static_cast<UINT>(id);
  item.text = text == nullptr ? QString() : QString::fromUtf16(text);
  item.checked = (flags & MF_CHECKED) != 0;
  item.grayed = (flags & MF_GRAYED) != 0;
  data_->items.push_back(item);
  return TRUE;
}

CMenu* CMenu::GetSubMenu(int position) const {
  if (!data_ || position < 0 || static_cast<size_t>(position) >= data_->items.size()) return nullptr;
  const auto& popup = data_->items[position].popup;
  if (!popup) return nullptr;
  for (const auto& sub : subMenus_) {
    if (sub->data_ == popup) return sub.get();
  }
  subMenus_.push_back(std::unique_ptr<CMenu>(new CMenu(popup)));
  return subMenus_.back().get();
}

int CMenu::GetMenuItemCount() const { return data_ ? static_cast<int>(data_->items.size()) : -1; }

UINT CMenu::GetMenuItemID(int position) const {
  if (!data_ || position < 0 || static_cast<size_t>(position) >= data_->items.size()) return 0xFFFFFFFF;
  const MenuItem& item = data_->items[position];
  if (item.popup) return 0xFFFFFFFF;
  return item.separator ? 0 : item.id;
}

int CMenu::GetMenuString(UINT item, QString& text, UINT flags) const {
  MenuData* owner = nullptr;
  size_t index = 0;
  MenuItem* found = FindItem(data_.get(), item, flags, &owner, &index);
  text = found == nullptr ? QString() : found->text;
  return static_cast<int>(text.size());
}

UINT CMenu::CheckMenuItem(UINT item, UINT flags) {
  MenuData* owner = nullptr;
  size_t index = 0;
  MenuItem* found = FindItem(data_.get(), item, flags, &owner, &index);
  if (found == nullptr) return 0xFFFFFFFF;
  UINT old = found->checked ? MF_CHECKED : MF_UNCHECKED;
  found->checked = (flags & MF_CHECKED) != 0;
  return old;
}

UINT CMenu::EnableMenuItem(UINT item, UINT flags) {
  MenuData* owner = nullptr;
  size_t index = 0;
  MenuItem* found = FindItem(data_.get(), item, flags, &owner, &index);
  if (found == nullptr) return 0xFFFFFFFF;
  UINT old = found->grayed ? MF_GRAYED : MF_ENABLED;
  found->grayed = (flags & (MF_GRAYED | MF_DISABLED)) != 0;
  return old;
}

BOOL CMenu::RemoveMenu(UINT item, UINT flags) {
  MenuData* owner = nullptr;
  size_t index = 0;
  if (FindItem(data_.get(), item, flags, &owner, &index) == nullptr) return FALSE;
  owner->items.erase(owner->items.begin() + static_cast<std::ptrdiff_t>(index));
  return TRUE;
}

BOOL CMenu::DeleteMenu(UINT item, UINT flags) {
  // Popups are shared data: removing the item lets its popup go with the last
  // reference.
  return RemoveMenu(item, flags);
}

BOOL CMenu::ModifyMenu(UINT item, UINT flags, UINT_PTR newId, const WCHAR* text) {
  MenuData* owner = nullptr;
  size_t index = 0;
  MenuItem* found = FindItem(data_.get(), item, flags, &owner, &index);
  if (found == nullptr) return FALSE;
  found->separator = (flags & MF_SEPARATOR) != 0;
  if (!found->popup) found->id = static_cast<UINT>(newId);
  if (text != nullptr) found->text = QString::fromUtf16(text);
  found->checked = (flags & MF_CHECKED) != 0;
  found->grayed = (flags & MF_GRAYED) != 0;
  return TRUE;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT) {
  AssertGuiThread();
  if (!data_) return FALSE;
  std::vector<MenuItemView> items = View(*data_);
  // The menu takes the mouse: a window holding the capture loses it.
  if (GetCapture() != nullptr) ReleaseCapture();
  HWND ownerHandle = owner == nullptr ? nullptr : owner->m_hWnd;
  UINT chosen = g_presenter ? g_presenter(items, POINT{x, y})
                            : ShowQMenu(items, POINT{x, y}, owner == nullptr ? nullptr : owner->GetWidget());
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
  if (chosen != 0 && IsWindow(ownerHandle)) ::SendMessage(ownerHandle, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
  return TRUE;
}

BOOL EndMenu() {
  if (!g_showing) return FALSE;
  g_showing->close();
  return TRUE;
}
