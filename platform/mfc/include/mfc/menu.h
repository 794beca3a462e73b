// Menus from menu templates of the resource chain, and popup menus.
//
// A menu template is a JSON array of items (or {"items": [...]}), each
//   {"id": 32771, "text": "Open" | "textId": 61, "checked": false, "grayed": false}
//   {"separator": true}
//   {"text": "View", "popup": [items...]}
// A malformed template loads nothing (LoadMenu FALSE).
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "mfc/geometry.h"
#include "win32/types.h"

class CWnd;

inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_BYPOSITION = 0x0400;
inline constexpr UINT MF_ENABLED = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_DISABLED = 0x0002;
inline constexpr UINT MF_UNCHECKED = 0x0000;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_SEPARATOR = 0x0800;
inline constexpr UINT TPM_LEFTALIGN = 0x0000;
inline constexpr UINT TPM_RIGHTBUTTON = 0x0002;
inline constexpr UINT TPM_RETURNCMD = 0x0100;

namespace tlx::mfc {

// One item as a popup shows it.
struct MenuItemView {
  UINT id = 0;
  QString text;
  bool checked = false;
  bool grayed = false;
  bool separator = false;
  std::vector<MenuItemView> children;
};

// Shows a popup at a screen point and returns the chosen command, 0 for none.
// The default opens a QMenu; tests install one that records and answers.
using PopupPresenter = std::function<UINT(const std::vector<MenuItemView>& items, POINT at)>;
void SetPopupPresenter(PopupPresenter presenter);

struct MenuData;

}  // namespace tlx::mfc

class CMenu {
 public:
  CMenu();
  ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  BOOL LoadMenu(UINT id);
  BOOL CreatePopupMenu();
  BOOL DestroyMenu();
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const WCHAR* text = nullptr);

  // The popup at a position, owned by this menu; null for a plain item.
  CMenu* GetSubMenu(int position) const;
  int GetMenuItemCount() const;
  // The command of the item; 0xFFFFFFFF for a popup, 0 for a separator.
  UINT GetMenuItemID(int position) const;
  int GetMenuString(UINT item, QString& text, UINT flags) const;
  // Each returns the item's previous state, 0xFFFFFFFF when there is no item.
  UINT CheckMenuItem(UINT item, UINT flags);
  UINT EnableMenuItem(UINT item, UINT flags);
  // Remove takes the item out; Delete also destroys its popup. By command,
  // the popups are searched too.
  BOOL DeleteMenu(UINT item, UINT flags);
  BOOL RemoveMenu(UINT item, UINT flags);
  BOOL ModifyMenu(UINT item, UINT flags, UINT_PTR newId, const WCHAR* text);

  // Shows the popup at (x, y) on the screen for `owner`. The choice goes to
  // the owner as WM_COMMAND and TRUE is returned; with TPM_RETURNCMD the
  // command is returned instead (0 for none). The popup closes when the owner
  // hides.
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect = nullptr);

  const tlx::mfc::MenuData* data() const { return data_.get(); }

 private:
  explicit CMenu(std::shared_ptr<tlx::mfc::MenuData> data);
  std::shared_ptr<tlx::mfc::MenuData> data_;
  mutable std::vector<std::unique_ptr<CMenu>> subMenus_;
};

// Closes the popup that is showing.
BOOL EndMenu();
