#include <gtest/gtest.h>

#include <QKeyEvent>

#include "support/gui_app.h"

namespace {

TEST(Keys, QtKeyEventsBecomeWindowsKeyMessages) {
  mfc_test::EnsureApp();  // key events need the application's input devices
  struct Case {
    QEvent::Type type;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool repeat;
    UINT message;
    UINT vk;
    bool alt;
    bool bit30;
  } cases[] = {
      {QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, false, WM_KEYDOWN, 'A', false, false},
      {QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, true, WM_KEYDOWN, 'A', false, true},
      {QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, false, WM_KEYUP, 'A', false, true},
      {QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, false, WM_KEYDOWN, '7', false, false},
      {QEvent::KeyPress, Qt::Key_X, Qt::AltModifier, false, WM_SYSKEYDOWN, 'X', true, false},
      {QEvent::KeyRelease, Qt::Key_X, Qt::AltModifier, false, WM_SYSKEYUP, 'X', true, true},
      {QEvent::KeyPress, Qt::Key_Space, Qt::AltModifier, false, WM_SYSKEYDOWN, VK_SPACE, true, false},
      {QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier, false, WM_SYSKEYDOWN, VK_F10, false, false},
      {QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier, false, WM_KEYDOWN, VK_F1, false, false},
      {QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier, false, WM_KEYDOWN, VK_F12, false, false},
      {QEvent::KeyPress, Qt::Key_4, Qt::KeypadModifier, false, WM_KEYDOWN, VK_NUMPAD0 + 4, false, false},
      {QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, false, WM_KEYDOWN, VK_ADD, false, false},
      {QEvent::KeyPress, Qt::Key_Slash, Qt::KeypadModifier, false, WM_KEYDOWN, VK_DIVIDE, false, false},
      {QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier, false, WM_KEYDOWN, VK_OEM_PLUS, false, false},
      {QEvent::KeyPress, Qt::Key_Minus, Qt::NoModifier, false, WM_KEYDOWN, VK_OEM_MINUS, false, false},
      {QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier, false, WM_KEYDOWN, VK_APPS, false, false},
      {QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, false, WM_KEYDOWN, VK_ESCAPE, false, false},
      {QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, false, WM_KEYDOWN, VK_RETURN, false, false},
      {QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier, false, WM_KEYDOWN, VK_NEXT, false, false},
      {QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier, false, WM_KEYDOWN, VK_LEFT, false, false},
      {QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, false, WM_KEYDOWN, VK_DELETE, false, false},
      {QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, false, WM_KEYDOWN, VK_CONTROL, false, false},
  };
  HWND hwnd = reinterpret_cast<HWND>(0x1234);
  for (const auto& c : cases) {
    QKeyEvent event(c.type, c.key, c.modifiers, QString(), c.repeat);
    MSG msg{};
    ASSERT_TRUE(tlx::mfc::KeyMessage(event, hwnd, &msg)) << c.key;
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.message, c.message) << c.key;
    EXPECT_EQ(msg.wParam, c.vk) << c.key;
    auto bits = static_cast<uint32_t>(msg.lParam);
    EXPECT_EQ(bits & 0xFFFF, 1u) << c.key;
    EXPECT_EQ((bits >> 29) & 1, c.alt ? 1u : 0u) << c.key;
    EXPECT_EQ((bits >> 30) & 1, c.bit30 ? 1u : 0u) << c.key;
  }
  QKeyEvent unknown(QEvent::KeyPress, Qt::Key_MediaPlay, Qt::NoModifier);
  MSG msg{};
  EXPECT_FALSE(tlx::mfc::KeyMessage(unknown, hwnd, &msg));
}

TEST(Keys, KeyStateFollowsTheModifiersForEitherSide) {
  mfc_test::EnsureApp();
  // Nothing is held in a test run.
  for (int vk : {VK_SHIFT, VK_LSHIFT, VK_RCONTROL, VK_MENU}) EXPECT_EQ(GetKeyState(vk) & 0x8000, 0) << vk;
  EXPECT_EQ(GetAsyncKeyState('A'), 0);
}

}  // namespace
