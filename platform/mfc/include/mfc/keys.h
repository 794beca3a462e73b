// Keyboard: virtual-key codes, the key state, and the pre-translation of key
// events. Every key event of the application becomes a MSG (WM_KEYDOWN/UP, or
// WM_SYSKEYDOWN/UP while Alt is held and for F10) that PreTranslateMessage of
// the focus window, its parents up to the top level and then the application
// may take before the control sees the key.
#pragma once

#include "win32/messages.h"
#include "win32/types.h"

class QKeyEvent;

inline constexpr UINT VK_BACK = 0x08;
inline constexpr UINT VK_TAB = 0x09;
inline constexpr UINT VK_RETURN = 0x0D;
inline constexpr UINT VK_SHIFT = 0x10;
inline constexpr UINT VK_CONTROL = 0x11;
inline constexpr UINT VK_MENU = 0x12;
inline constexpr UINT VK_ESCAPE = 0x1B;
inline constexpr UINT VK_SPACE = 0x20;
inline constexpr UINT VK_PRIOR = 0x21;
inline constexpr UINT VK_NEXT = 0x22;
inline constexpr UINT VK_END = 0x23;
inline constexpr UINT VK_HOME = 0x24;
inline constexpr UINT VK_LEFT = 0x25;
inline constexpr UINT VK_UP = 0x26;
inline constexpr UINT VK_RIGHT = 0x27;
inline constexpr UINT VK_DOWN = 0x28;
inline constexpr UINT VK_INSERT = 0x2D;
inline constexpr UINT VK_DELETE = 0x2E;
inline constexpr UINT VK_APPS = 0x5D;
inline constexpr UINT VK_NUMPAD0 = 0x60;
inline constexpr UINT VK_MULTIPLY = 0x6A;
inline constexpr UINT VK_ADD = 0x6B;
inline constexpr UINT VK_SEPARATOR = 0x6C;
inline constexpr UINT VK_SUBTRACT = 0x6D;
inline constexpr UINT VK_DECIMAL = 0x6E;
inline constexpr UINT VK_DIVIDE = 0x6F;
inline constexpr UINT VK_F1 = 0x70;
inline constexpr UINT VK_F10 = 0x79;
inline constexpr UINT VK_F12 = 0x7B;
inline constexpr UINT VK_LSHIFT = 0xA0;
inline constexpr UINT VK_RSHIFT = 0xA1;
inline constexpr UINT VK_LCONTROL = 0xA2;
inline constexpr UINT VK_RCONTROL = 0xA3;
inline constexpr UINT VK_LMENU = 0xA4;
inline constexpr UINT VK_RMENU = 0xA5;
inline constexpr UINT VK_OEM_PLUS = 0xBB;
inline constexpr UINT VK_OEM_COMMA = 0xBC;
inline constexpr UINT VK_OEM_MINUS = 0xBD;
inline constexpr UINT VK_OEM_PERIOD = 0xBE;

// Bit 15 of a key state: the key is down. Qt cannot tell left from right, so
// the left and right codes answer for the modifier as a whole.
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);

namespace tlx::mfc {
// The virtual-key code of a Qt key event; 0 for keys without one.
UINT VirtualKey(const QKeyEvent& event);
// The message of a key event for `hwnd`: WM_(SYS)KEYDOWN/UP with the virtual
// key and lParam (repeat count 1, bit 29 with Alt, bit 30 for a repeat or a
// release, bit 31 for a release). false for keys without a virtual key.
bool KeyMessage(const QKeyEvent& event, HWND hwnd, MSG* msg);
}  // namespace tlx::mfc
