#include <gtest/gtest.h>

#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

constexpr UINT kMenu = 300;

class CommandWnd : public mfc_test::RecordingWnd {
 public:
  CommandWnd() { first = WM_COMMAND; }
};

std::vector<QString> Texts(const std::vector<tlx::mfc::MenuItemView>& items) {
  std::vector<QString> texts;
  for (const auto& item : items) {
    QString t = item.separator ? "-" : item.text;
    if (item.checked) t += "[x]";
    if (item.grayed) t += "[g]";
    texts.push_back(t);
  }
  return texts;
}

TEST(Menus, APresenterSeesTheTemplateAfterChangesAndTheChoiceArrivesAsACommand) {
  mfc_test::EnsureApp();
  tlx::resources::ModuleBuilder builder;
  builder.String(9, "Mute");
  builder.Resource("menus", kMenu,
      R"([{"text": "Popup", "popup": [
            {"id": 101, "text": "Play"}, {"id": 102, "textId": 9, "checked": true},
            {"separator": true}, {"id": 103, "text": "Stop", "grayed": true},
            {"id": 104, "text": "Record"}, {"text": "More", "popup": [{"id": 105, "text": "Deep"}]}]}])");
  builder.Resource("menus", kMenu + 1, R"([{"id": "x", "text": 5}])");
  mfc_test::FixtureModule fixtures(builder);

  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(kMenu));
  CMenu* popup = menu.GetSubMenu(0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetMenuItemCount(), 6);
  EXPECT_EQ(popup->GetMenuItemID(0), 101u);
  EXPECT_EQ(popup->GetMenuItemID(2), 0u);
  EXPECT_EQ(popup->GetMenuItemID(5), 0xFFFFFFFFu);

  EXPECT_EQ(popup->CheckMenuItem(101, MF_BYCOMMAND | MF_CHECKED), MF_UNCHECKED);
  EXPECT_EQ(popup->CheckMenuItem(1, MF_BYPOSITION | MF_UNCHECKED), MF_CHECKED);
  EXPECT_EQ(popup->EnableMenuItem(104, MF_GRAYED), MF_ENABLED);
  EXPECT_TRUE(popup->DeleteMenu(105, MF_BYCOMMAND));  // found inside the nested popup
  EXPECT_TRUE(popup->RemoveMenu(3, MF_BYPOSITION));   // "Stop"
  EXPECT_TRUE(popup->ModifyMenu(0, MF_BYPOSITION | MF_CHECKED, 101, u"Play now"));
  EXPECT_FALSE(popup->DeleteMenu(999, MF_BYCOMMAND));

  std::vector<QString> seen;
  POINT where{};
  tlx::mfc::SetPopupPresenter([&](const std::vector<tlx::mfc::MenuItemView>& items, POINT at) {
    seen = Texts(items);
    where = at;
    return 104u;
  });
  CommandWnd owner;
  EXPECT_TRUE(popup->TrackPopupMenu(TPM_RIGHTBUTTON, 30, 40, &owner));
  EXPECT_EQ(seen, (std::vector<QString>{"Play now[x]", "Mute", "-", "Record[g]", "More"}));
  EXPECT_EQ(where.x, 30);
  EXPECT_EQ(where.y, 40);
  ASSERT_EQ(owner.received.size(), 1u);
  EXPECT_EQ(owner.received[0].message, WM_COMMAND);
  EXPECT_EQ(LOWORD(owner.received[0].wParam), 104);

  owner.received.clear();
  EXPECT_EQ(popup->TrackPopupMenu(TPM_RETURNCMD, 0, 0, &owner), 104);
  EXPECT_TRUE(owner.received.empty());
  tlx::mfc::SetPopupPresenter(nullptr);

  CMenu broken;
  EXPECT_FALSE(broken.LoadMenu(kMenu + 1));
  EXPECT_FALSE(broken.LoadMenu(kMenu + 2));
}

}  // namespace
