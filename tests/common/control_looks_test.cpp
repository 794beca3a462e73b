// What the image button and the image list box decide, without a window.
#include <gtest/gtest.h>

#include "common/img_btn_look.h"
#include "common/img_list_box_look.h"
#include "common/tlx_pc_cmn_img_list_box.h"
#include "mfc/controls.h"

namespace {

using namespace tlx::common;

struct Loaded {
  bool loaded[IMG_COUNT] = {};
};
Loaded All() {
  Loaded l;
  for (bool& s : l.loaded) s = true;
  return l;
}
Loaded Only(std::initializer_list<int> images) {
  Loaded l;
  for (int i : images) l.loaded[i] = true;
  return l;
}

TEST(ImgBtnLook, EachStateGivesItsImageAndTheFirstApplyingStatesColour) {
  enum : unsigned { D = 1, P = 2, H = 4, F = 8, C = 16, B = 32 };  // disabled ... checked, blink phase 1
  auto state = [](unsigned bits) {
    ImgBtnState s;
    s.disabled = bits & D;
    s.pressed = bits & P;
    s.hover = bits & H;
    s.focus = bits & F;
    s.checked = bits & C;
    s.blinkPhase = (bits & B) ? 1 : 0;
    return s;
  };
  const Loaded all = All();
  const Loaded normalOnly = Only({IMG_NORMAL});
  const Loaded some = Only({IMG_NORMAL, IMG_NORMAL_CHECKED, IMG_HOVER, IMG_FOCUS_CHECKED, IMG_BLINK});
  struct Case {
    unsigned bits;
    const Loaded* loaded;
    int image;
    ImgBtnColour colour;
  } cases[] = {
      // Every image loaded: the first applying state's image and colour.
      {0, &all, IMG_NORMAL, ImgBtnColour::kNormal},
      {C, &all, IMG_NORMAL_CHECKED, ImgBtnColour::kNormal},
      {B, &all, IMG_BLINK, ImgBtnColour::kNormal},
      {C | B, &all, IMG_NORMAL_CHECKED, ImgBtnColour::kNormal},
      {D | P | H | F, &all, IMG_DISABLED, ImgBtnColour::kDisabled},
      {D | C, &all, IMG_DISABLED_CHECKED, ImgBtnColour::kDisabled},
      {P | H | F | B, &all, IMG_PRESSED, ImgBtnColour::kPressed},
      {P | C, &all, IMG_PRESSED_CHECKED, ImgBtnColour::kPressed},
      {H | F | B, &all, IMG_HOVER, ImgBtnColour::kHover},
      {H | C, &all, IMG_HOVER_CHECKED, ImgBtnColour::kHover},
      {F | B, &all, IMG_FOCUS, ImgBtnColour::kFocus},
      {F | C, &all, IMG_FOCUS_CHECKED, ImgBtnColour::kFocus},
      // Only the normal image: every state draws it, in the state's colour;
      // the blink phase shows nothing without a blink image.
      {D, &normalOnly, IMG_NORMAL, ImgBtnColour::kDisabled},
      {P | C, &normalOnly, IMG_NORMAL, ImgBtnColour::kPressed},
      {H, &normalOnly, IMG_NORMAL, ImgBtnColour::kHover},
      {F | C, &normalOnly, IMG_NORMAL, ImgBtnColour::kFocus},
      {B, &normalOnly, IMG_NORMAL, ImgBtnColour::kNormal},
      // Some images: a state without its image lets a later state's image
      // show, the colour stays the first state's; the blink image shows only
      // for an unchecked button in none of the states.
      {D | H, &some, IMG_HOVER, ImgBtnColour::kDisabled},
      {P | F | C, &some, IMG_FOCUS_CHECKED, ImgBtnColour::kPressed},
      {P | H | C, &some, IMG_NORMAL_CHECKED, ImgBtnColour::kPressed},
      {F | B, &some, IMG_NORMAL, ImgBtnColour::kFocus},
      {B, &some, IMG_BLINK, ImgBtnColour::kNormal},
      {C | B, &some, IMG_NORMAL_CHECKED, ImgBtnColour::kNormal},
  };
  for (const Case& c : cases) {
    ImgBtnLook look = ChooseImgBtnLook(state(c.bits), c.loaded->loaded);
    EXPECT_EQ(look.image, c.image) << "state bits " << c.bits;
    EXPECT_EQ(look.colour, c.colour) << "state bits " << c.bits;
  }
  // Without a normal image a state without its image has none to draw.
  EXPECT_EQ(ChooseImgBtnLook(state(H), Only({IMG_PRESSED}).loaded).image, -1);
}

TEST(ImgBtnLook, TheStyleGivesTheKind) {
  struct Case {
    DWORD style;
    int kind;
  } cases[] = {{BS_PUSHBUTTON, kKindPush},      {BS_DEFPUSHBUTTON, kKindPush},   {BS_CHECKBOX, kKindCheckBox},
               {BS_AUTOCHECKBOX, kKindCheckBox}, {0x6 /*BS_AUTO3STATE*/, kKindCheckBox},
               {BS_RADIOBUTTON, kKindRadio},     {0x5 /*BS_3STATE*/, kKindRadio}, {BS_AUTORADIOBUTTON, kKindRadio},
               {0x8, kKindPush},                 {BS_OWNERDRAW, kKindCheckBox},   {WS_GROUP | BS_AUTORADIOBUTTON, kKindRadio}};
  for (const Case& c : cases) EXPECT_EQ(ImgBtnKindOfStyle(c.style), c.kind) << std::hex << c.style;
}

TEST(ImgListBoxLook, TheRowsLooksAndMarkIcons) {
  struct Case {
    UINT action;
    bool selected;
    int source;
    bool hasMark;
    int lastX;
    bool normal;                  // the normal look (mark icon 1) first
    std::optional<RowDraw> over;  // then the selected look
  } cases[] = {
      {ODA_DRAWENTIRE, false, kSourceClick, true, 200, true, std::nullopt},
      {ODA_SELECT, false, kSourceMouse, true, 0, true, std::nullopt},
      {0, true, kSourceMouse, true, 0, false, std::nullopt},
      // Selected by a click: the hover look with mark 2 right of the mark, else
      // the selected look with mark 5 (also without a mark).
      {ODA_DRAWENTIRE, true, kSourceClick, true, 101, true, RowDraw{RowLook::kHover, 2}},
      {ODA_DRAWENTIRE, true, kSourceClick, true, 100, true, RowDraw{RowLook::kSelected, 5}},
      {ODA_SELECT, true, kSourceClick, false, 200, false, RowDraw{RowLook::kSelected, 5}},
      // Selected any other way: the hover look, mark 4 left of the mark, else 3.
      {ODA_DRAWENTIRE, true, kSourceMouse, true, 99, true, RowDraw{RowLook::kHover, 4}},
      {ODA_DRAWENTIRE, true, kSourceMouse, true, 100, true, RowDraw{RowLook::kHover, 3}},
      {ODA_SELECT, true, kSourceOther, false, 0, false, RowDraw{RowLook::kHover, 4}},
  };
  for (const Case& c : cases) {
    RowState row{c.action, c.selected, c.source, c.hasMark, c.lastX, 100};
    std::optional<RowDraw> normal = RowNormalDraw(row);
    ASSERT_EQ(normal.has_value(), c.normal);
    if (normal) EXPECT_EQ(normal->look, RowLook::kNormal);
    if (normal) EXPECT_EQ(normal->markIcon, 1);
    std::optional<RowDraw> over = RowSelectedDraw(row);
    ASSERT_EQ(over.has_value(), c.over.has_value());
    if (over) {
      EXPECT_EQ(over->look, c.over->look);
      EXPECT_EQ(over->markIcon, c.over->markIcon);
    }
  }
}

TEST(ImgListBoxLook, TheMouseRowIsNoneBelowTheRowsOrWithoutAHeight) {
  struct Case {
    int y, height, count, row;
  } cases[] = {{0, 32, 2, 0}, {31, 32, 2, 0}, {32, 32, 2, 1}, {63, 32, 2, 1}, {64, 32, 2, -1},
               {-1, 32, 2, -1}, {10, 0, 2, -1}, {10, 32, 0, -1}};
  for (const Case& c : cases) EXPECT_EQ(MouseRow(c.y, c.height, c.count), c.row) << c.y << " " << c.height;
}

TEST(ExtItem, SetReplacesTheTextAndOnlyNonZeroIconTypeAndMark) {
  CExtItem item(CString(u"Base"), 2, 1);
  item.setExtItem(CString(), 0, 0);
  CString text(u"x");
  int icon = 0;
  int mark = 0;
  item.getExtItem(&text, &icon, &mark);
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(icon, 2);
  EXPECT_EQ(mark, 1);
  item.setExtItem(CString(u"Other"), 3, 0);
  item.getExtItem(nullptr, &icon, nullptr);
  EXPECT_EQ(icon, 3);
  CExtItem copy(item);
  EXPECT_EQ(copy.m_strText, CString(u"Other"));
  EXPECT_EQ(copy.m_nPrptyMark, 1);
}

}  // namespace
