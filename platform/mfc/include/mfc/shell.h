// The cursor, hot keys, the shell's open and the session notifications.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "mfc/geometry.h"
#include "win32/types.h"

// Cursors: LoadCursor(nullptr, IDC_...) gives a handle SetCursor shows.
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
#define IDC_ARROW (reinterpret_cast<const WCHAR*>(32512))
#define IDC_WAIT (reinterpret_cast<const WCHAR*>(32514))
#define IDC_SIZENWSE (reinterpret_cast<const WCHAR*>(32642))
HCURSOR LoadCursor(HINSTANCE instance, const WCHAR* name);
// Shows the cursor over the application; returns the one shown before.
HCURSOR SetCursor(HCURSOR cursor);
BOOL GetCursorPos(POINT* point);
// The display counter: the cursor shows while it is 0 or more. Returns the
// new count.
int ShowCursor(BOOL show);
// The wait cursor, balanced: it shows until as many ends as begins.
void AfxBeginWaitCursor();
void AfxEndWaitCursor();
// The mouse goes to the window until released; GUI thread.
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();

// A key (virtual-key code with MOD_ flags) that, while the window's top-level
// window is active, posts WM_HOTKEY(id) to it. Local to this application:
// nothing is taken from other programs.
inline constexpr UINT MOD_ALT = 0x0001;
inline constexpr UINT MOD_CONTROL = 0x0002;
inline constexpr UINT MOD_SHIFT = 0x0004;
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT virtualKey);
BOOL UnregisterHotKey(HWND hwnd, int id);

// Opens a URL or a file ("open" is the only verb). Above 32 on success;
// SE_ERR_NOASSOC when nothing could open it.
inline constexpr INT_PTR SE_ERR_NOASSOC = 31;
INT_PTR ShellExecute(HWND hwnd, const WCHAR* verb, const WCHAR* file, const WCHAR* parameters,
                     const WCHAR* directory, int show);

// Session notifications: registered windows get WM_WTSSESSION_CHANGE and
// WM_POWERBROADCAST from whatever source delivers them.
inline constexpr DWORD NOTIFY_FOR_THIS_SESSION = 0;
BOOL WTSRegisterSessionNotification(HWND hwnd, DWORD flags);
BOOL WTSUnRegisterSessionNotification(HWND hwnd);

namespace tlx::mfc {
// What opens URLs and files; the default is QDesktopServices. Returns success.
using ShellOpener = std::function<bool(const QUrl& url)>;
void SetShellOpener(ShellOpener opener);
// Starts a program detached from this process (the shell's relaunch).
bool StartDetachedProgram(const QString& program, const QStringList& arguments);
// Posts a session or power message to every registered window; the source of
// these events calls it (tests do).
void DeliverSessionEvent(UINT message, WPARAM wParam, LPARAM lParam);
// Asks the top-level windows, oldest first, whether the session may end
// (WM_QUERYENDSESSION); false as soon as one answers FALSE, and the later ones
// are not asked. The session manager's commit request calls it on the GUI
// thread and cancels the end on false.
bool QueryEndSession();
}  // namespace tlx::mfc
