// CWnd: a window over a Qt widget. The handle (m_hWnd) is the window's key in
// the process's window table; the widget lives on the GUI thread, and the
// operations that other threads may call are queued to it (see each one).
// Messages reach the window's procedure: WindowProc -> message map ->
// DefWindowProc, which leaves the event to the widget's own behaviour.
#pragma once

#include <functional>

#include "mfc/cmd_target.h"
#include "mfc/cstring.h"
#include "mfc/drop_files.h"
#include "mfc/gdi.h"
#include "mfc/geometry.h"
#include "mfc/winuser.h"

using LPPOINT = POINT*;

class CScrollBar;
class CListBox;
struct DRAWITEMSTRUCT;
struct MEASUREITEMSTRUCT;
class QObject;
class QString;
class QPoint;
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

struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

struct WINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  int x;
  int y;
  int cx;
  int cy;
  UINT flags;
};

inline constexpr int HELPINFO_WINDOW = 1;
struct HELPINFO {
  UINT cbSize;
  int iContextType;
  int iCtrlId;
  HWND hItemHandle;
  DWORD_PTR dwContextId;
  POINT MousePos;
};

struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};
using LPNMHDR = NMHDR*;

// A control's colour request as the WM_CTLCOLOR entries receive it.
struct AFX_CTLCOLOR {
  HWND hWnd;
  HDC hDC;
  UINT nCtlType;
};

namespace tlx::mfc {
// Where a window dragged by its caption goes: by default the window system's
// own move; a test (or a platform without one, like offscreen) records it.
using SystemMoveHook = std::function<void(HWND hwnd)>;
void SetSystemMoveHook(SystemMoveHook hook);
}  // namespace tlx::mfc

// SetWindowPos flags.
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOREDRAW = 0x0008;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;
inline constexpr UINT SWP_HIDEWINDOW = 0x0080;
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))

// RedrawWindow flags.
inline constexpr UINT RDW_INVALIDATE = 0x0001;
inline constexpr UINT RDW_ERASE = 0x0004;
inline constexpr UINT RDW_NOCHILDREN = 0x0040;
inline constexpr UINT RDW_UPDATENOW = 0x0100;

// Window placement.
inline constexpr UINT WPF_RESTORETOMAXIMIZED = 0x0002;
struct WINDOWPLACEMENT {
  UINT length;
  UINT flags;
  UINT showCmd;
  POINT ptMinPosition;
  POINT ptMaxPosition;
  RECT rcNormalPosition;
};
static_assert(sizeof(WINDOWPLACEMENT) == 44);

inline constexpr DWORD LWA_COLORKEY = 0x00000001;
inline constexpr DWORD LWA_ALPHA = 0x00000002;
inline constexpr DWORD AW_HIDE = 0x00010000;

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
  void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
  // Places the window (client coordinates of the parent for a child, screen
  // for a top-level window) and in the z-order after `insertAfter`
  // (wndTop, wndBottom, wndTopMost, wndNoTopMost or a window).
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  BOOL RedrawWindow(LPCRECT rect = nullptr, void* region = nullptr, UINT flags = 0);
  void UpdateWindow();

  // GUI thread only from here on.
  BOOL GetWindowPlacement(struct WINDOWPLACEMENT* placement) const;
  BOOL SetWindowPlacement(const struct WINDOWPLACEMENT* placement);
  // Moves the window under a new parent (null: top level) with its children.
  CWnd* SetParent(CWnd* newParent);
  CWnd* SetFocus();
  static CWnd* GetFocus();
  CWnd* SetActiveWindow();
  BOOL SetForegroundWindow();
  BOOL IsTopParentActive() const;
  CWnd* GetTopLevelParent() const;
  CWnd* GetLastActivePopup() const;
  void CenterWindow(CWnd* alternateOwner = nullptr);
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
  // The window's opacity (LWA_ALPHA); the colour key is not kept.
  BOOL SetLayeredWindowAttributes(COLORREF key, BYTE alpha, DWORD flags);
  // Shows or hides (AW_HIDE) at once, without the animation.
  BOOL AnimateWindow(DWORD timeMs, DWORD flags);
  void SetIcon(const QImage& icon, BOOL big);
  // The window's big or small icon; returns the one set before (null: none).
  HICON SetIcon(HICON icon, BOOL big);
  HICON GetIcon(BOOL big) const { return m_hIcons[big ? 1 : 0]; }
  // Asks for one WM_MOUSELEAVE when the mouse next leaves the window.
  void TrackMouseLeave();
  CWnd* GetDlgItem(int id) const;
  // The next (or previous) control of the control's WS_GROUP group among this
  // window's children, wrapping; the control itself when it is alone.
  CWnd* GetNextDlgGroupItem(CWnd* control, BOOL previous = FALSE) const;
  // The font the window's text is shown and drawn in (WM_SETFONT,
  // WM_GETFONT); null until one is set. A dialog template's window and its
  // controls have the template's font. The window keeps the pointer: the
  // font outlives the window or is replaced first.
  void SetFont(CFont* font, BOOL redraw = TRUE);
  CFont* GetFont() const;
  void DragAcceptFiles(BOOL accept = TRUE) { ::DragAcceptFiles(m_hWnd, accept); }
  // Records the window as disabled, or enabled again, without touching its
  // widget: the owner of a modal dialog, whose input the dialog's modality
  // blocks (disabling the widget would disable the dialog inside it too).
  void MarkDisabled(BOOL disabled);
  // This object takes over an existing window: it sees the window's messages
  // first, and what it leaves (DefWindowProc) gets the control's standard
  // behaviour. The object that had the window lets it go.
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  // Takes an existing window over as SubclassWindow does, without
  // PreSubclassWindow, until Detach. FALSE when this object has a window or
  // the handle is dead.
  BOOL Attach(HWND hwnd);
  // Lets the window go and returns its handle (null when there is none): back
  // to the object it was attached from, or, for a window this object made or
  // subclassed, to a plain window object the layer deletes with the window.
  HWND Detach();
  virtual void PreSubclassWindow();
  // The Windows class name ("Button", "Edit", ...); empty for plain windows.
  virtual const WCHAR* GetWindowClassName() const { return u""; }
  // Sends WM_COMMAND with a notification code to the parent, as a control does.
  void NotifyParent(UINT code);
  // Sends WM_NOTIFY with `header` (filled in here) to the parent; returns its answer.
  LRESULT NotifyParent(NMHDR* header, UINT code);
  void MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const;
  void MapWindowPoints(CWnd* to, LPRECT rect) const;
  static const CWnd wndTop;
  static const CWnd wndBottom;
  static const CWnd wndTopMost;
  static const CWnd wndNoTopMost;

  CWnd* GetParent() const;
  void ScreenToClient(LPPOINT point) const;
  void ClientToScreen(LPPOINT point) const;
  void ScreenToClient(LPRECT rect) const;
  void ClientToScreen(LPRECT rect) const;
  int GetDlgCtrlID() const { return static_cast<int>(m_nID); }
  DWORD GetStyle() const { return m_dwStyle; }
  DWORD GetExStyle() const { return m_dwExStyle; }

  // The widget; GUI thread.
  QWidget* GetWidget() const { return m_pWidget; }
  // Where the client area starts inside the widget (the border band's width).
  POINT ClientOrigin() const { return POINT{m_nBorder, m_nBorder}; }

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
  // EnableWindow changed the window's state; `enable` is the new one.
  virtual void OnEnable(BOOL enable);
  // The window lost the mouse capture, to `gaining` (null when released).
  virtual void OnCaptureChanged(CWnd* gaining);
  virtual void OnPaint();
  virtual void OnNcPaint();
  virtual BOOL OnEraseBkgnd(CDC* dc);
  virtual void OnSizing(UINT side, LPRECT rect);
  virtual void OnGetMinMaxInfo(MINMAXINFO* info);
  virtual void OnWindowPosChanged(WINDOWPOS* pos);
  virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
  virtual BOOL OnNcActivate(BOOL active);
  virtual LRESULT OnNcHitTest(CPoint point);
  virtual void OnNcLButtonDown(UINT hitTest, CPoint point);
  virtual void OnSetFocus(CWnd* oldWnd);
  virtual void OnKillFocus(CWnd* newWnd);
  virtual void OnKeyDown(UINT ch, UINT repeat, UINT flags);
  virtual void OnKeyUp(UINT ch, UINT repeat, UINT flags);
  virtual void OnSysKeyDown(UINT ch, UINT repeat, UINT flags);
  virtual void OnChar(UINT ch, UINT repeat, UINT flags);
  virtual void OnLButtonDown(UINT flags, CPoint point);
  virtual void OnLButtonUp(UINT flags, CPoint point);
  virtual void OnLButtonDblClk(UINT flags, CPoint point);
  virtual void OnRButtonDown(UINT flags, CPoint point);
  virtual void OnRButtonUp(UINT flags, CPoint point);
  virtual void OnMouseMove(UINT flags, CPoint point);
  virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
  virtual void OnMouseLeave();
  virtual void OnContextMenu(CWnd* wnd, CPoint point);
  virtual void OnSysCommand(UINT id, LPARAM lParam);
  virtual BOOL OnCopyData(CWnd* from, COPYDATASTRUCT* data);
  virtual BOOL OnQueryEndSession();
  // Files dropped on a window that accepts them; the handler ends with
  // DragFinish (the default calls it).
  virtual void OnDropFiles(HDROP drop);
  // Scroll messages from a trackbar or an up-down control: `bar` is the
  // control (a CScrollBar* as MFC declares it; cast to the control's class).
  virtual void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
  virtual void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
  virtual BOOL OnHelpInfo(HELPINFO* info);
  virtual void OnActivateApp(BOOL active, DWORD threadId);
  // An owner-drawn child's painting and item height, when the child leaves
  // them to its parent (its DrawItem and MeasureItem defaults).
  virtual void OnDrawItem(int id, DRAWITEMSTRUCT* dis);
  virtual void OnMeasureItem(int id, MEASUREITEMSTRUCT* mis);
  // A key in a child list box with LBS_WANTKEYBOARDINPUT; answers as
  // CListBox::VKeyToItem (the default -1).
  virtual int OnVKeyToItem(UINT key, CListBox* list, UINT index);
  // The colours a child control paints with: the text colour set on `dc` and
  // the returned brush's colour as its background. Null: the control's own.
  // The control itself is asked first (ON_WM_CTLCOLOR_REFLECT).
  virtual HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT ctlColor);
  // Commands (WM_COMMAND) and notifications (WM_NOTIFY): the control that
  // sent one is offered it first (reflection), then the message map.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // A notification from this control, reflected back to it by its parent.
  // TRUE when the control took it.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Makes the widget for the window; controls make theirs.
  virtual QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs);
  // Shows new window text on the widget (the title; controls show theirs).
  virtual void ApplyText(const QString& text);
  // Records the widget's geometry, visibility and text for other threads.
  void RecordState();

  // Starts moving the top-level window with the mouse (HTCAPTION), or the
  // layer's resize loop for a sizing hit-test code.
  void StartMouseMoveOrSize(LRESULT hitTest, POINT screenPoint);

  // Width of the border band around the client area (frames have one).
  int m_nBorder = 0;
  DWORD m_dwStyle = 0;
  DWORD m_dwExStyle = 0;
  UINT_PTR m_nID = 0;
  QWidget* m_pWidget = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  // The z-order markers wndTop and friends.
  explicit CWnd(HWND marker) : m_hWnd(marker) {}
  // Where a child's client coordinates start inside its parent's widget.
  QPoint ParentClientOffset() const;
  friend class WndBridge;
  // Unregisters the handle and lets the widget go; the window is dead after.
  void ReleaseWindow();
  // Moves the window from the object that has it to this one.
  void TakeOver(CWnd* old);
  QObject* m_pBridge = nullptr;
  // Attach: the object this one took the window from, and back.
  CWnd* m_pLentFrom = nullptr;
  CWnd* m_pLentTo = nullptr;
  // The small and big icons set by handle.
  HICON m_hIcons[2] = {nullptr, nullptr};
  // The font of WM_SETFONT.
  CFont* m_pFont = nullptr;
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
#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, 0, 0, 0, self->OnPaint(); return 0)
#define ON_WM_NCPAINT() AFX_ENTRY(WM_NCPAINT, 0, 0, 0, self->OnNcPaint(); return 0)
#define ON_WM_ERASEBKGND() \
  AFX_ENTRY(WM_ERASEBKGND, 0, 0, 0, return self->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))))
#define ON_WM_SIZING() \
  AFX_ENTRY(WM_SIZING, 0, 0, 0, self->OnSizing(static_cast<UINT>(wParam), reinterpret_cast<LPRECT>(lParam)); return TRUE)
#define ON_WM_GETMINMAXINFO() \
  AFX_ENTRY(WM_GETMINMAXINFO, 0, 0, 0, self->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); return 0)
#define ON_WM_WINDOWPOSCHANGED() \
  AFX_ENTRY(WM_WINDOWPOSCHANGED, 0, 0, 0, self->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam)); return 0)
#define ON_WM_ACTIVATE()                                                                                  \
  AFX_ENTRY(WM_ACTIVATE, 0, 0, 0,                                                                         \
            self->OnActivate(LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam)); \
            return 0)
#define ON_WM_NCACTIVATE() AFX_ENTRY(WM_NCACTIVATE, 0, 0, 0, return self->OnNcActivate(static_cast<BOOL>(wParam)))
#define ON_WM_NCHITTEST() \
  AFX_ENTRY(WM_NCHITTEST, 0, 0, 0, return self->OnNcHitTest(CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))))
#define ON_WM_NCLBUTTONDOWN()                                                                                   \
  AFX_ENTRY(WM_NCLBUTTONDOWN, 0, 0, 0,                                                                          \
            self->OnNcLButtonDown(static_cast<UINT>(wParam), CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))); \
            return 0)
#define ON_WM_SETFOCUS() \
  AFX_ENTRY(WM_SETFOCUS, 0, 0, 0, self->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); return 0)
#define ON_WM_KILLFOCUS() \
  AFX_ENTRY(WM_KILLFOCUS, 0, 0, 0, self->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); return 0)
#define AFX_KEY_ENTRY(message, member)                                                                         \
  AFX_ENTRY(message, 0, 0, 0,                                                                                  \
            self->member(static_cast<UINT>(wParam), LOWORD(static_cast<uintptr_t>(lParam)),                   \
                         HIWORD(static_cast<uintptr_t>(lParam)));                                             \
            return 0)
#define ON_WM_KEYDOWN() AFX_KEY_ENTRY(WM_KEYDOWN, OnKeyDown)
#define ON_WM_KEYUP() AFX_KEY_ENTRY(WM_KEYUP, OnKeyUp)
#define ON_WM_SYSKEYDOWN() AFX_KEY_ENTRY(WM_SYSKEYDOWN, OnSysKeyDown)
#define ON_WM_CHAR() AFX_KEY_ENTRY(WM_CHAR, OnChar)
#define AFX_MOUSE_ENTRY(message, member)                                                                      \
  AFX_ENTRY(message, 0, 0, 0,                                                                                 \
            self->member(static_cast<UINT>(wParam), CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))); return 0)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() AFX_MOUSE_ENTRY(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_MOUSE_ENTRY(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_MOUSEWHEEL()                                                                             \
  AFX_ENTRY(WM_MOUSEWHEEL, 0, 0, 0,                                                                    \
            return self->OnMouseWheel(LOWORD(wParam), GET_WHEEL_DELTA_WPARAM(wParam),                  \
                                      CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))))
#define ON_WM_MOUSELEAVE() AFX_ENTRY(WM_MOUSELEAVE, 0, 0, 0, self->OnMouseLeave(); return 0)
#define ON_WM_CONTEXTMENU()                                                                  \
  AFX_ENTRY(WM_CONTEXTMENU, 0, 0, 0,                                                         \
            self->OnContextMenu(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),            \
                                CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));         \
            return 0)
#define ON_WM_SYSCOMMAND() AFX_ENTRY(WM_SYSCOMMAND, 0, 0, 0, self->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0)
#define ON_WM_COPYDATA()                                                                        \
  AFX_ENTRY(WM_COPYDATA, 0, 0, 0,                                                               \
            return self->OnCopyData(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),           \
                                    reinterpret_cast<COPYDATASTRUCT*>(lParam)))
#define ON_WM_HELPINFO() AFX_ENTRY(WM_HELP, 0, 0, 0, return self->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)))
#define ON_WM_ACTIVATEAPP() \
  AFX_ENTRY(WM_ACTIVATEAPP, 0, 0, 0, self->OnActivateApp(static_cast<BOOL>(wParam), static_cast<DWORD>(lParam)); return 0)
#define ON_WM_HSCROLL()                                                                                    \
  AFX_ENTRY(WM_HSCROLL, 0, 0, 0,                                                                           \
            self->OnHScroll(LOWORD(wParam), HIWORD(wParam),                                                \
                            reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam)))); \
            return 0)
#define ON_WM_VSCROLL()                                                                                    \
  AFX_ENTRY(WM_VSCROLL, 0, 0, 0,                                                                           \
            self->OnVScroll(LOWORD(wParam), HIWORD(wParam),                                                \
                            reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam)))); \
            return 0)
#define ON_WM_DRAWITEM()                                                                                 \
  AFX_ENTRY(WM_DRAWITEM, 0, 0, 0,                                                                        \
            self->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE)
#define ON_WM_MEASUREITEM()                                                                                    \
  AFX_ENTRY(WM_MEASUREITEM, 0, 0, 0,                                                                           \
            self->OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)); return TRUE)
// The list box is a CListBox: include mfc/controls.h where the entry is used.
#define ON_WM_VKEYTOITEM()                                                                                  \
  AFX_ENTRY(WM_VKEYTOITEM, 0, 0, 0,                                                                         \
            return self->OnVKeyToItem(LOWORD(wParam),                                                       \
                                      static_cast<CListBox*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))), \
                                      HIWORD(wParam)))
#define ON_WM_CTLCOLOR()                                                                                \
  AFX_ENTRY(WM_CTLCOLOR, 0, 0, 0, auto* request = reinterpret_cast<AFX_CTLCOLOR*>(lParam);                \
            return reinterpret_cast<LRESULT>(self->OnCtlColor(CDC::FromHandle(request->hDC),             \
                                                              CWnd::FromHandle(request->hWnd),           \
                                                              request->nCtlType)))
// ON_WM_CTLCOLOR_REFLECT(): HBRUSH CtlColor(CDC* dc, UINT ctlColor) of the control itself.
#define ON_WM_CTLCOLOR_REFLECT()                                                                      \
  AFX_ENTRY(WM_CTLCOLOR, kMapCodeReflect, 0, 0, auto* request = reinterpret_cast<AFX_CTLCOLOR*>(lParam); \
            return reinterpret_cast<LRESULT>(self->CtlColor(CDC::FromHandle(request->hDC), request->nCtlType)))
#define ON_WM_DROPFILES() \
  AFX_ENTRY(WM_DROPFILES, 0, 0, 0, self->OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0)
#define ON_WM_QUERYENDSESSION() AFX_ENTRY(WM_QUERYENDSESSION, 0, 0, 0, return self->OnQueryEndSession())
#define ON_WM_ENABLE() AFX_ENTRY(WM_ENABLE, 0, 0, 0, self->OnEnable(static_cast<BOOL>(wParam)); return 0)
#define ON_WM_CAPTURECHANGED() \
  AFX_ENTRY(WM_CAPTURECHANGED, 0, 0, 0, self->OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))); return 0)
#define ON_WM_SHOWWINDOW() \
  AFX_ENTRY(WM_SHOWWINDOW, 0, 0, 0, self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); return 0)
