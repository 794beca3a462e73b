#include "mfc/winuser.h"

#include <QString>
#include <algorithm>
#include <optional>

#include "mfc/internal/message_pump.h"
#include "mfc/internal/window_table.h"
#include "mfc/wnd.h"
#include "win32/synch.h"

using namespace tlx::mfc;

BOOL IsWindow(HWND hwnd) { return hwnd != nullptr && WindowExists(hwnd) ? TRUE : FALSE; }

namespace {

// A name argument as text; null stays null (it matches anything).
std::optional<QString> NameArg(const char* name) {
  if (name == nullptr) return std::nullopt;
  return QString::fromUtf8(name);
}
std::optional<QString> NameArg(const WCHAR* name) {
  if (name == nullptr) return std::nullopt;
  return QString::fromUtf16(name);
}

template <typename Char>
HWND FindByNames(const Char* className, const Char* windowName) {
  std::optional<QString> cls = NameArg(className);
  std::optional<QString> title = NameArg(windowName);
  return FindTopLevelWindow(cls ? &*cls : nullptr, title ? &*title : nullptr);
}

}  // namespace

HWND FindWindowA(const char* className, const char* windowName) { return FindByNames(className, windowName); }
HWND FindWindowW(const WCHAR* className, const WCHAR* windowName) { return FindByNames(className, windowName); }

int GetClassNameW(HWND hwnd, WCHAR* name, int maxCount) {
  WindowState state;
  if (name == nullptr || maxCount <= 0 || !ReadWindowState(hwnd, &state)) return 0;
  int count = std::min<int>(state.className.size(), maxCount - 1);
  std::copy_n(reinterpret_cast<const WCHAR*>(state.className.utf16()), count, name);
  name[count] = 0;
  return count;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!QueueWindowMessage(MSG{hwnd, message, wParam, lParam, 0, {0, 0}}, std::move(dispose), nullptr)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

namespace {

// Sends from another thread: queued ahead of posted messages, answered by the
// GUI thread or with 0 by the window's destruction.
bool SendAcross(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, DWORD timeoutMs,
                LRESULT* result) {
  *result = 0;
  if ((flags & SMTO_ABORTIFHUNG) && GuiThreadHung()) {
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  auto send = std::make_shared<PendingSend>();
  if (!AddPendingSend(hwnd, send) ||
      !QueueWindowMessage(MSG{hwnd, message, wParam, lParam, 0, {0, 0}}, {}, send)) {
    *result = 0;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  while (!send->Wait(timeoutMs, result)) {
    if ((flags & SMTO_NOTIMEOUTIFNOTHUNG) && !GuiThreadHung()) continue;
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  return true;
}

}  // namespace

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (OnGuiThread()) {
    CWnd* wnd = LookupWindow(hwnd);
    return wnd == nullptr ? 0 : AfxCallWndProc(wnd, hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  SendAcross(hwnd, message, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
  return result;
}

LRESULT SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD_PTR* result) {
  LRESULT answer = 0;
  bool handled;
  if (OnGuiThread()) {
    CWnd* wnd = LookupWindow(hwnd);
    handled = wnd != nullptr;
    if (handled) {
      answer = AfxCallWndProc(wnd, hwnd, message, wParam, lParam);
    } else {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
  } else {
    handled = SendAcross(hwnd, message, wParam, lParam, flags, timeoutMs, &answer);
  }
  if (result != nullptr) *result = static_cast<DWORD_PTR>(answer);
  return handled ? 1 : 0;
}

BOOL TranslateMessage(const MSG* /*msg*/) { return FALSE; }

namespace {

template <typename Field>
BOOL StateFlag(HWND hwnd, Field field) {
  WindowState state;
  return ReadWindowState(hwnd, &state) && field(state) ? TRUE : FALSE;
}

}  // namespace

BOOL IsWindowVisible(HWND hwnd) {
  // Visible only when every parent is visible too.
  WindowState state;
  while (ReadWindowState(hwnd, &state)) {
    if (!state.visible) return FALSE;
    if (state.topLevel) return TRUE;
    hwnd = state.parent;
  }
  return FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  return StateFlag(hwnd, [](const WindowState& s) { return s.enabled; });
}
BOOL IsZoomed(HWND hwnd) {
  return StateFlag(hwnd, [](const WindowState& s) { return s.zoomed; });
}
BOOL IsIconic(HWND hwnd) {
  return StateFlag(hwnd, [](const WindowState& s) { return s.iconic; });
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (rect == nullptr) return FALSE;
  return WindowScreenRect(hwnd, rect) ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  WindowState state;
  if (rect == nullptr || !ReadWindowState(hwnd, &state)) return FALSE;
  *rect = RECT{0, 0, state.client.right - state.client.left, state.client.bottom - state.client.top};
  return TRUE;
}

int GetWindowTextW(HWND hwnd, WCHAR* text, int maxCount) {
  WindowState state;
  if (text == nullptr || maxCount <= 0 || !ReadWindowState(hwnd, &state)) return 0;
  int count = std::min<int>(state.text.size(), maxCount - 1);
  std::copy_n(reinterpret_cast<const WCHAR*>(state.text.utf16()), count, text);
  text[count] = 0;
  return count;
}

int GetWindowTextA(HWND hwnd, char* text, int maxCount) {
  WindowState state;
  if (text == nullptr || maxCount <= 0 || !ReadWindowState(hwnd, &state)) return 0;
  QByteArray utf8 = state.text.toUtf8();
  int count = std::min<int>(utf8.size(), maxCount - 1);
  // Never cut a character in two.
  while (count > 0 && count < utf8.size() && (static_cast<unsigned char>(utf8[count]) & 0xC0) == 0x80) --count;
  std::copy_n(utf8.constData(), count, text);
  text[count] = 0;
  return count;
}

int GetWindowTextLengthW(HWND hwnd) {
  WindowState state;
  return ReadWindowState(hwnd, &state) ? static_cast<int>(state.text.size()) : 0;
}
