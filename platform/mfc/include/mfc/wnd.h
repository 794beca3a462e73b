// CWnd: a window over a Qt widget. The handle (m_hWnd) is the window's key in
// the process's window table; the widget lives on the GUI thread, and the
// operations that other threads may call are queued to it (see each one).
// Messages reach the window's procedure: WindowProc -> message map ->
// DefWindowProc, which leaves the event to the widget's own behaviour.
#pragma once

#include "mfc/cmd_target.h"
#include "mfc/cstring.h"
#include "mfc/geometry.h"
#include "mfc/winuser.h"

class QObject;
class QString;
class QWidget;
class CWnd;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_MAXIMIZE = 0x01000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;
inline constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
inline constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr DWORD WS_EX_LAYERED = 0x00080000;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_MAXIMIZE = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;

struct CREATESTRUCT {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  void* hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  const WCHAR* lpszName;
  const WCHAR* lpszClass;
  DWORD dwExStyle;
};
using LPCREATESTRUCT = CREATESTRUCT*;

// Calls the window's procedure for a message, keeping the message for
// CWnd::Default. GUI thread.
LRESULT AfxCallWndProc(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

 public:
  CWnd();
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }
  // The window object of a handle (GUI thread); null for a dead handle.
  static CWnd* FromHandle(HWND hwnd);

  // Creates the window and its widget on the GUI thread. A child (WS_CHILD)
  // sits in the parent's client area; a top-level window with a parent stays
  // above it. FALSE when OnCreate answers -1 or the parent is gone.
  virtual BOOL CreateEx(DWORD exStyle, const WCHAR* className, const WCHAR* windowName, DWORD style, int x, int y,
                        int width, int height, HWND parent, UINT_PTR id, LPVOID param = nullptr);
  BOOL CreateEx(DWORD exStyle, const WCHAR* className, const WCHAR* windowName, DWORD style, const RECT& rect,
                CWnd* parent, UINT id, LPVOID param = nullptr);
  virtual BOOL Create(const WCHAR* className, const WCHAR* windowName, DWORD style, const RECT& rect, CWnd* parent,
                      UINT id);
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  // Destroys the children, then the window: WM_DESTROY, WM_NCDESTROY and
  // PostNcDestroy. The handle is dead from then on.
  virtual BOOL DestroyWindow();

  // The procedure: the message map first, DefWindowProc for what it leaves.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // DefWindowProc of the message being handled.
  LRESULT Default();
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual void PostNcDestroy();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessage(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, MessageDisposer dispose = {}) {
    return ::PostMessage(m_hWnd, message, wParam, lParam, std::move(dispose));
  }
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapseMs, proc); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

  // Any thread: answered from the window table.
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
  void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
  void GetWindowText(CString& text) const;
  CString GetWindowTextString() const;

  // Any thread: off the GUI thread these are queued to it in call order.
  // ShowWindow returns whether the window was visible before.
  BOOL ShowWindow(int command);
  void SetWindowText(const CString& text);
  BOOL EnableWindow(BOOL enable = TRUE);
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void MoveWindow(LPCRECT rect, BOOL repaint = TRUE) {
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
  }
  void Invalidate(BOOL erase = TRUE);

  CWnd* GetParent() const;
  int GetDlgCtrlID() const { return static_cast<int>(m_nID); }
  DWORD GetStyle() const { return m_dwStyle; }
  DWORD GetExStyle() const { return m_dwExStyle; }

  // The widget; GUI thread.
  QWidget* GetWidget() const { return m_pWidget; }

 protected:
  // Message handlers with MFC's signatures; each default passes the message on.
  virtual int OnCreate(LPCREATESTRUCT cs);
  virtual void OnDestroy();
  virtual void OnNcDestroy();
  virtual void OnClose();
  virtual void OnTimer(UINT_PTR idEvent);
  virtual void OnSize(UINT type, int cx, int cy);
  virtual void OnMove(int x, int y);
  virtual void OnShowWindow(BOOL show, UINT status);

  // Makes the widget for the window; controls make theirs.
  virtual QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs);
  // Shows new window text on the widget (the title; controls show theirs).
  virtual void ApplyText(const QString& text);
  // Records the widget's geometry, visibility and text for other threads.
  void RecordState();

  DWORD m_dwStyle = 0;
  DWORD m_dwExStyle = 0;
  UINT_PTR m_nID = 0;
  QWidget* m_pWidget = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  friend class WndBridge;
  // Unregisters the handle and lets the widget go; the window is dead after.
  void ReleaseWindow();
  QObject* m_pBridge = nullptr;
};

// Entries for the standard messages; each calls the member of the same name.
#define ON_WM_CREATE() \
  AFX_ENTRY(WM_CREATE, 0, 0, 0, return self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam)))
#define ON_WM_DESTROY() AFX_ENTRY(WM_DESTROY, 0, 0, 0, self->OnDestroy(); return 0)
#define ON_WM_NCDESTROY() AFX_ENTRY(WM_NCDESTROY, 0, 0, 0, self->OnNcDestroy(); return 0)
#define ON_WM_CLOSE() AFX_ENTRY(WM_CLOSE, 0, 0, 0, self->OnClose(); return 0)
#define ON_WM_TIMER() AFX_ENTRY(WM_TIMER, 0, 0, 0, self->OnTimer(static_cast<UINT_PTR>(wParam)); return 0)
#define ON_WM_SIZE() \
  AFX_ENTRY(WM_SIZE, 0, 0, 0, self->OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return 0)
#define ON_WM_MOVE() \
  AFX_ENTRY(WM_MOVE, 0, 0, 0, self->OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0)
#define ON_WM_SHOWWINDOW() \
  AFX_ENTRY(WM_SHOWWINDOW, 0, 0, 0, self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); return 0)
