#include "mfc/shell.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeySequence>
#include <QProcess>
#include <QShortcut>
#include <QWidget>
#include <map>
#include <mutex>
#include <set>

#include "mfc/internal/message_pump.h"
#include "mfc/keys.h"
#include "mfc/wnd.h"

using namespace tlx::mfc;

namespace {

Qt::CursorShape Shape(HCURSOR cursor) {
  switch (reinterpret_cast<uintptr_t>(cursor)) {
    case 32514:
      return Qt::WaitCursor;
    case 32642:
      return Qt::SizeFDiagCursor;
    default:
      return Qt::ArrowCursor;
  }
}

HCURSOR g_cursor = nullptr;
int g_showCount = 0;
int g_waiting = 0;
HWND g_capture = nullptr;

// The override cursor stack holds at most one entry of ours, rebuilt from the
// state on every change.
void ApplyCursor() {
  while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
  if (g_showCount < 0) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
  } else if (g_waiting > 0) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else if (g_cursor != nullptr) {
    QGuiApplication::setOverrideCursor(QCursor(Shape(g_cursor)));
  }
}

ShellOpener g_opener;

std::mutex g_sessionLock;
std::set<HWND> g_sessionWindows;

std::map<std::pair<HWND, int>, QShortcut*> g_hotKeys;

int QtKey(UINT vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return static_cast<int>(vk);
  if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
  switch (vk) {
    case VK_RETURN:
      return Qt::Key_Return;
    case VK_ESCAPE:
      return Qt::Key_Escape;
    case VK_SPACE:
      return Qt::Key_Space;
    case VK_TAB:
      return Qt::Key_Tab;
    case VK_LEFT:
      return Qt::Key_Left;
    case VK_RIGHT:
      return Qt::Key_Right;
    case VK_UP:
      return Qt::Key_Up;
    case VK_DOWN:
      return Qt::Key_Down;
    default:
      return 0;
  }
}

}  // namespace

HCURSOR LoadCursor(HINSTANCE, const WCHAR* name) { return reinterpret_cast<HCURSOR>(const_cast<WCHAR*>(name)); }

HCURSOR SetCursor(HCURSOR cursor) {
  AssertGuiThread();
  HCURSOR old = std::exchange(g_cursor, cursor);
  ApplyCursor();
  return old;
}

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  QPoint p = QCursor::pos();
  *point = POINT{p.x(), p.y()};
  return TRUE;
}

int ShowCursor(BOOL show) {
  AssertGuiThread();
  g_showCount += show ? 1 : -1;
  ApplyCursor();
  return g_showCount;
}

void AfxBeginWaitCursor() {
  AssertGuiThread();
  ++g_waiting;
  ApplyCursor();
}

void AfxEndWaitCursor() {
  AssertGuiThread();
  if (g_waiting > 0) --g_waiting;
  ApplyCursor();
}

// The window that had the capture learns it lost it, and to whom, once the
// capture has moved.
HWND SetCapture(HWND hwnd) {
  AssertGuiThread();
  HWND old = GetCapture();
  if (CWnd* wnd = CWnd::FromHandle(hwnd); wnd != nullptr && wnd->GetWidget() != nullptr) {
    wnd->GetWidget()->grabMouse();
    g_capture = hwnd;
    if (old != nullptr && old != hwnd) ::SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  }
  return old;
}

BOOL ReleaseCapture() {
  AssertGuiThread();
  HWND old = GetCapture();
  if (CWnd* wnd = CWnd::FromHandle(g_capture); wnd != nullptr && wnd->GetWidget() != nullptr) {
    wnd->GetWidget()->releaseMouse();
  }
  g_capture = nullptr;
  if (old != nullptr) ::SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return IsWindow(g_capture) ? g_capture : nullptr; }

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT virtualKey) {
  AssertGuiThread();
  CWnd* wnd = CWnd::FromHandle(hwnd);
  int key = QtKey(virtualKey);
  if (wnd == nullptr || wnd->GetWidget() == nullptr || key == 0 || g_hotKeys.count({hwnd, id})) return FALSE;
  int combined = key;
  if (modifiers & MOD_ALT) combined |= Qt::AltModifier;
  if (modifiers & MOD_CONTROL) combined |= Qt::ControlModifier;
  if (modifiers & MOD_SHIFT) combined |= Qt::ShiftModifier;
  auto* shortcut = new QShortcut(QKeySequence(combined), wnd->GetWidget()->window());
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, shortcut, [hwnd, id, modifiers, virtualKey] {
    PostMessage(hwnd, WM_HOTKEY, static_cast<WPARAM>(id), MAKELPARAM(modifiers, virtualKey));
  });
  g_hotKeys[{hwnd, id}] = shortcut;
  return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
  AssertGuiThread();
  auto it = g_hotKeys.find({hwnd, id});
  if (it == g_hotKeys.end()) return FALSE;
  delete it->second;
  g_hotKeys.erase(it);
  return TRUE;
}

void tlx::mfc::SetShellOpener(ShellOpener opener) { g_opener = std::move(opener); }

INT_PTR ShellExecute(HWND, const WCHAR* verb, const WCHAR* file, const WCHAR*, const WCHAR*, int) {
  if (file == nullptr || (verb != nullptr && QString::fromUtf16(verb).compare("open", Qt::CaseInsensitive) != 0)) {
    return SE_ERR_NOASSOC;
  }
  QString target = QString::fromUtf16(file);
  QUrl url = QUrl::fromUserInput(target, QString(), QUrl::AssumeLocalFile);
  if (!url.isValid()) return SE_ERR_NOASSOC;
  bool opened = g_opener ? g_opener(url) : QDesktopServices::openUrl(url);
  return opened ? 42 : SE_ERR_NOASSOC;
}

bool tlx::mfc::StartDetachedProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

BOOL WTSRegisterSessionNotification(HWND hwnd, DWORD) {
  if (!IsWindow(hwnd)) return FALSE;
  std::lock_guard lock(g_sessionLock);
  g_sessionWindows.insert(hwnd);
  return TRUE;
}

BOOL WTSUnRegisterSessionNotification(HWND hwnd) {
  std::lock_guard lock(g_sessionLock);
  return g_sessionWindows.erase(hwnd) != 0 ? TRUE : FALSE;
}

void tlx::mfc::DeliverSessionEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  std::set<HWND> windows;
  {
    std::lock_guard lock(g_sessionLock);
    std::erase_if(g_sessionWindows, [](HWND h) { return !IsWindow(h); });
    windows = g_sessionWindows;
  }
  for (HWND h : windows) PostMessage(h, message, wParam, lParam);
}
