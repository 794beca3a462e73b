#include "mfc/keys.h"

#include <QApplication>
#include <QKeyEvent>

#include "mfc/message_ids.h"

SHORT GetKeyState(int virtualKey) {
  Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
  Qt::KeyboardModifier modifier;
  switch (static_cast<UINT>(virtualKey)) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
      modifier = Qt::ShiftModifier;
      break;
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
      modifier = Qt::ControlModifier;
      break;
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
      modifier = Qt::AltModifier;
      break;
    default:
      return 0;
  }
  return (held & modifier) ? static_cast<SHORT>(0x8000) : 0;
}

SHORT GetAsyncKeyState(int virtualKey) { return GetKeyState(virtualKey); }

namespace tlx::mfc {

UINT VirtualKey(const QKeyEvent& event) {
  int key = event.key();
  bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return VK_NUMPAD0 + (key - Qt::Key_0);
    switch (key) {
      case Qt::Key_Asterisk:
        return VK_MULTIPLY;
      case Qt::Key_Plus:
        return VK_ADD;
      case Qt::Key_Minus:
        return VK_SUBTRACT;
      case Qt::Key_Period:
      case Qt::Key_Comma:
        return VK_DECIMAL;
      case Qt::Key_Slash:
        return VK_DIVIDE;
      case Qt::Key_Enter:
        return VK_RETURN;
      default:
        break;
    }
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<UINT>(key);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<UINT>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return VK_F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Menu:
      return VK_APPS;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      return VK_OEM_PLUS;
    case Qt::Key_Minus:
      return VK_OEM_MINUS;
    case Qt::Key_Comma:
      return VK_OEM_COMMA;
    case Qt::Key_Period:
      return VK_OEM_PERIOD;
    default:
      return 0;
  }
}

bool KeyMessage(const QKeyEvent& event, HWND hwnd, MSG* msg) {
  UINT vk = VirtualKey(event);
  if (vk == 0) return false;
  bool release = event.type() == QEvent::KeyRelease;
  bool alt = (event.modifiers() & Qt::AltModifier) != 0;
  bool system = alt || vk == VK_F10;
  uint32_t bits = 1;  // repeat count
  if (alt) bits |= 1u << 29;
  if (event.isAutoRepeat() || release) bits |= 1u << 30;
  if (release) bits |= 1u << 31;
  UINT message = release ? (system ? WM_SYSKEYUP : WM_KEYUP) : (system ? WM_SYSKEYDOWN : WM_KEYDOWN);
  *msg = MSG{hwnd, message, vk, static_cast<LPARAM>(bits), 0, {0, 0}};
  return true;
}

}  // namespace tlx::mfc
