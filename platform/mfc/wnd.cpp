#include "mfc/wnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QPixmap>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <optional>
#include <unordered_map>

#include "internal/current_message.h"
#include "internal/message_pump.h"
#include "internal/window_table.h"
#include "internal/wnd_bridge.h"
#include "mfc/win_app.h"

using namespace tlx::mfc;

namespace tlx::mfc {

std::vector<MessageFrame>& MessageFrames() {
  thread_local std::vector<MessageFrame> frames;
  return frames;
}

}  // namespace tlx::mfc

namespace {

// The plain widget of a window; painting and input come through the bridge.
class WndWidget : public QWidget {
 public:
  explicit WndWidget(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }
};

RECT ToRect(const QRect& r) { return RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

}  // namespace

LRESULT AfxCallWndProc(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  AssertGuiThread();
  auto& frames = MessageFrames();
  frames.push_back(MessageFrame{wnd, MSG{hwnd, message, wParam, lParam, 0, {0, 0}}, false});
  LRESULT result = wnd->WindowProc(message, wParam, lParam);
  frames.pop_back();
  return result;
}

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }
const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, entries};
  return &map;
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_pLentFrom != nullptr) m_pLentFrom->m_pLentTo = nullptr;
  if (m_pLentTo != nullptr) m_pLentTo->m_pLentFrom = nullptr;
  if (m_hWnd != nullptr && OnGuiThread() && LookupWindow(m_hWnd) == this) DestroyWindow();
}

QPoint CWnd::ParentClientOffset() const {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.topLevel) return QPoint(0, 0);
  CWnd* parent = LookupWindow(state.parent);
  return parent == nullptr ? QPoint(0, 0) : QPoint(parent->m_nBorder, parent->m_nBorder);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (!OnGuiThread()) return nullptr;
  return LookupWindow(hwnd);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& /*cs*/) { return TRUE; }

QWidget* CWnd::CreateWidget(QWidget* parent, const CREATESTRUCT& /*cs*/) { return new WndWidget(parent); }

BOOL CWnd::Create(const WCHAR* className, const WCHAR* windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id) {
  return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::CreateEx(DWORD exStyle, const WCHAR* className, const WCHAR* windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, LPVOID param) {
  return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, parent == nullptr ? nullptr : parent->m_hWnd, id, param);
}

BOOL CWnd::CreateEx(DWORD exStyle, const WCHAR* className, const WCHAR* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, UINT_PTR id, LPVOID param) {
  AssertGuiThread();
  if (m_hWnd != nullptr) return FALSE;
  StartPump();
  CREATESTRUCT cs{param, nullptr, nullptr, parent, height, width, y, x, static_cast<LONG>(style), windowName,
                  className, exStyle};
  if (!PreCreateWindow(cs)) return FALSE;
  CWnd* parentWnd = nullptr;
  if (cs.hwndParent != nullptr) {
    parentWnd = LookupWindow(cs.hwndParent);
    if (parentWnd == nullptr) return FALSE;
  }
  m_dwStyle = static_cast<DWORD>(cs.style);
  m_dwExStyle = cs.dwExStyle;
  m_nID = (m_dwStyle & WS_CHILD) ? id : 0;
  bool child = (m_dwStyle & WS_CHILD) != 0 && parentWnd != nullptr;

  QWidget* widget = CreateWidget(child ? parentWnd->m_pWidget : nullptr, cs);
  if (!child) {
    Qt::WindowFlags flags = Qt::Window;
    if ((m_dwStyle & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
    if (m_dwExStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
    if (m_dwExStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
    // An owned window stays above its owner.
    if (parentWnd != nullptr) widget->setParent(parentWnd->m_pWidget);
    widget->setWindowFlags(flags);
  }
  QPoint offset = child ? QPoint(parentWnd->m_nBorder, parentWnd->m_nBorder) : QPoint(0, 0);
  widget->setGeometry(cs.x + offset.x(), cs.y + offset.y(), cs.cx, cs.cy);
  widget->setEnabled((m_dwStyle & WS_DISABLED) == 0);
  widget->setAcceptDrops((m_dwExStyle & WS_EX_ACCEPTFILES) != 0);
  m_pWidget = widget;
  // A control shows its text; other windows take it as their title.
  if (cs.lpszName != nullptr) ApplyText(QString::fromUtf16(cs.lpszName));

  WindowState state;
  state.parent = child ? parentWnd->m_hWnd : nullptr;
  state.topLevel = !child;
  state.enabled = (m_dwStyle & WS_DISABLED) == 0;
  state.text = cs.lpszName != nullptr ? QString::fromUtf16(cs.lpszName) : QString();
  const WCHAR* ownClass = GetWindowClassName();
  if (ownClass[0] != 0) {
    state.className = QString::fromUtf16(ownClass);
  } else if (cs.lpszClass != nullptr) {
    state.className = QString::fromUtf16(cs.lpszClass);
  }
  m_hWnd = RegisterWindow(this, state);
  RecordState();
  auto* bridge = new WndBridge(this, widget);
  m_pBridge = bridge;
  widget->installEventFilter(bridge);

  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow();
    return FALSE;
  }
  if (m_dwStyle & WS_VISIBLE) ShowWindow(SW_SHOW);
  return TRUE;
}

void CWnd::RecordState() {
  if (m_pWidget == nullptr || m_hWnd == nullptr) return;
  QWidget* w = m_pWidget;
  QRect place = w->isWindow() ? w->frameGeometry() : w->geometry().translated(-ParentClientOffset());
  // The client area: inside the border band, and inside the window system's
  // frame for a window that has one.
  QPoint origin = w->isWindow() ? w->geometry().topLeft() - place.topLeft() : QPoint(0, 0);
  origin += QPoint(m_nBorder, m_nBorder);
  RECT client{origin.x(), origin.y(), origin.x() + std::max(0, w->width() - 2 * m_nBorder),
              origin.y() + std::max(0, w->height() - 2 * m_nBorder)};
  bool visible = !w->isHidden();
  bool zoomed = w->isWindow() && w->isMaximized();
  bool iconic = w->isWindow() && w->isMinimized();
  bool enabled = w->isEnabled();
  UpdateWindowState(m_hWnd, [&](WindowState& s) {
    s.place = ToRect(place);
    s.client = client;
    s.visible = visible;
    s.zoomed = zoomed;
    s.iconic = iconic;
    s.enabled = enabled;
  });
}

BOOL CWnd::DestroyWindow() {
  AssertGuiThread();
  if (m_hWnd == nullptr) return FALSE;
  HWND self = m_hWnd;
  SendMessage(WM_DESTROY);
  // Children go before the window is gone.
  if (m_pWidget != nullptr) {
    std::vector<CWnd*> children;
    for (QWidget* child : m_pWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      for (QObject* o : child->children()) {
        if (auto* bridge = dynamic_cast<WndBridge*>(o)) children.push_back(bridge->window());
      }
    }
    for (CWnd* child : children) {
      if (child->m_hWnd != nullptr) child->DestroyWindow();
    }
  }
  if (m_hWnd != self) return TRUE;  // a handler destroyed it already
  SendMessage(WM_NCDESTROY);
  ReleaseWindow();
  if (CWinApp* app = AfxGetApp(); app != nullptr && app->m_pMainWnd == this) app->MainWindowDestroyed();
  PostNcDestroy();
  return TRUE;
}

void CWnd::ReleaseWindow() {
  HWND self = m_hWnd;
  StopWindowTimers(self);
  UnregisterWindow(self);
  m_hWnd = nullptr;
  if (m_pWidget != nullptr) {
    QWidget* widget = m_pWidget;
    m_pWidget = nullptr;
    delete m_pBridge;
    m_pBridge = nullptr;
    widget->hide();
    // The widget may be in the middle of its own event: it goes once that ends.
    widget->setParent(nullptr);
    widget->deleteLater();
  }
}

void CWnd::PostNcDestroy() {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *result = 0;
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    LRESULT answer = 0;
    if (!OnNotify(wParam, lParam, &answer)) return FALSE;
    *result = answer;
    return TRUE;
  }
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    // The colour requests of every kind meet in the WM_CTLCOLOR entry.
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_CTLCOLOR, 0, 0);
    if (entry == nullptr) return FALSE;
    AFX_CTLCOLOR request{reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam), message - WM_CTLCOLORMSGBOX};
    *result = entry->pfn(this, 0, reinterpret_cast<LPARAM>(&request));
    return TRUE;
  }
  const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
  if (entry == nullptr) return FALSE;
  *result = entry->pfn(this, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto& frames = MessageFrames();
  if (!frames.empty() && frames.back().wnd == this && frames.back().msg.message == message) {
    frames.back().defaulted = true;
  }
  switch (message) {
    case WM_CLOSE:
      DestroyWindow();
      break;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_DROPFILES:
      DragFinish(reinterpret_cast<HDROP>(wParam));  // nobody took the files
      break;
    case WM_VKEYTOITEM:
      return -1;  // the list box's own action
    case WM_QUERYENDSESSION:
      return TRUE;  // a window that does not answer lets the session end
    case WM_NCLBUTTONDOWN:
      StartMouseMoveOrSize(static_cast<LRESULT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_SYSCOMMAND:
      switch (static_cast<UINT>(wParam) & 0xFFF0) {
        case SC_CLOSE:
          SendMessage(WM_CLOSE);
          break;
        case SC_MINIMIZE:
          ShowWindow(SW_MINIMIZE);
          break;
        case SC_MAXIMIZE:
          ShowWindow(SW_MAXIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(SW_RESTORE);
          break;
        default:
          break;
      }
      break;
    case WM_SETTEXT: {
      QString text = lParam == 0 ? QString() : QString::fromUtf16(reinterpret_cast<const WCHAR*>(lParam));
      UpdateWindowState(m_hWnd, [&](WindowState& s) { s.text = text; });
      if (m_pWidget != nullptr) ApplyText(text);
      return TRUE;
    }
    default:
      break;
  }
  return 0;
}

void CWnd::ApplyText(const QString& text) { m_pWidget->setWindowTitle(text); }

LRESULT CWnd::Default() {
  auto& frames = MessageFrames();
  if (frames.empty() || frames.back().wnd != this) return 0;
  MSG msg = frames.back().msg;
  return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG* /*msg*/) { return FALSE; }

namespace {
tlx::mfc::SystemMoveHook g_moveHook;
}  // namespace

void tlx::mfc::SetSystemMoveHook(SystemMoveHook hook) {
  AssertGuiThread();
  g_moveHook = std::move(hook);
}

void CWnd::StartMouseMoveOrSize(LRESULT hitTest, POINT screenPoint) {
  if (m_pWidget == nullptr || !m_pWidget->isWindow()) return;
  if (hitTest == HTCAPTION) {
    if (g_moveHook) {
      g_moveHook(m_hWnd);
    } else if (QWindow* window = m_pWidget->windowHandle()) {
      window->startSystemMove();
    }
    return;
  }
  if (hitTest >= HTLEFT && hitTest <= HTBOTTOMRIGHT) {
    static_cast<WndBridge*>(m_pBridge)->StartSizing(static_cast<UINT>(hitTest - HTLEFT + WMSZ_LEFT), screenPoint);
  }
}

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnNcPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnSizing(UINT, LPRECT) { Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
BOOL CWnd::OnNcActivate(BOOL) { return static_cast<BOOL>(Default()); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseLeave() { Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
BOOL CWnd::OnCopyData(CWnd*, COPYDATASTRUCT*) { return static_cast<BOOL>(Default()); }
BOOL CWnd::OnQueryEndSession() { return TRUE; }
void CWnd::OnDropFiles(HDROP) { Default(); }
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
BOOL CWnd::OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }
void CWnd::OnActivateApp(BOOL, DWORD) { Default(); }
void CWnd::OnDrawItem(int, DRAWITEMSTRUCT*) { Default(); }
void CWnd::OnMeasureItem(int, MEASUREITEMSTRUCT*) { Default(); }
int CWnd::OnVKeyToItem(UINT, CListBox*, UINT) { return static_cast<int>(Default()); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT id = LOWORD(wParam);
  int code = HIWORD(wParam);
  auto control = reinterpret_cast<HWND>(lParam);
  if (control != nullptr) {
    CWnd* child = FromHandle(control);
    LRESULT result = 0;
    if (child != nullptr && child->OnChildNotify(WM_COMMAND, wParam, lParam, &result)) return TRUE;
  }
  return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM /*wParam*/, LPARAM lParam, LRESULT* result) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header == nullptr) return FALSE;
  CWnd* child = FromHandle(header->hwndFrom);
  if (child != nullptr && child->OnChildNotify(WM_NOTIFY, 0, lParam, result)) return TRUE;
  return OnCmdMsg(static_cast<UINT>(header->idFrom), static_cast<int>(header->code), header, result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) {
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, kMapCodeReflect | HIWORD(wParam), 0);
    if (entry == nullptr) return FALSE;
    entry->pfn(this, 0, 0);
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_NOTIFY, kMapCodeReflect | header->code, 0);
    if (entry == nullptr) return FALSE;
    entry->pfn(this, reinterpret_cast<WPARAM>(result), lParam);
    return TRUE;
  }
  return FALSE;
}

CWnd* CWnd::GetParent() const {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.parent == nullptr) return nullptr;
  return FromHandle(state.parent);
}

namespace {

// The screen position of the client area's origin.
POINT ClientOriginOnScreen(HWND hwnd) {
  RECT window{};
  WindowState state;
  if (!WindowScreenRect(hwnd, &window) || !ReadWindowState(hwnd, &state)) return POINT{0, 0};
  return POINT{window.left + state.client.left, window.top + state.client.top};
}

}  // namespace

void CWnd::ScreenToClient(LPPOINT point) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  point->x -= origin.x;
  point->y -= origin.y;
}

void CWnd::ClientToScreen(LPPOINT point) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  point->x += origin.x;
  point->y += origin.y;
}

void CWnd::ScreenToClient(LPRECT rect) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  *rect = RECT{rect->left - origin.x, rect->top - origin.y, rect->right - origin.x, rect->bottom - origin.y};
}

void CWnd::ClientToScreen(LPRECT rect) const {
  POINT origin = ClientOriginOnScreen(m_hWnd);
  *rect = RECT{rect->left + origin.x, rect->top + origin.y, rect->right + origin.x, rect->bottom + origin.y};
}

void CWnd::GetWindowText(CString& text) const { text = GetWindowTextString(); }

CString CWnd::GetWindowTextString() const {
  WindowState state;
  return ReadWindowState(m_hWnd, &state) ? CString(state.text) : CString();
}

namespace {

// Runs `op` on the window now when on the GUI thread, else queues it there.
template <typename Op>
void OnWindowThread(HWND hwnd, Op op) {
  if (OnGuiThread()) {
    if (CWnd* wnd = LookupWindow(hwnd)) op(wnd);
    return;
  }
  RunOnGui([hwnd, op] {
    if (CWnd* wnd = LookupWindow(hwnd)) op(wnd);
  });
}

}  // namespace

BOOL CWnd::ShowWindow(int command) {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state)) return FALSE;
  BOOL wasVisible = state.visible ? TRUE : FALSE;
  if (!OnGuiThread()) {
    OnWindowThread(m_hWnd, [command](CWnd* wnd) { wnd->ShowWindow(command); });
    return wasVisible;
  }
  QWidget* w = m_pWidget;
  bool show = command != SW_HIDE;
  if (show != (wasVisible != FALSE)) SendMessage(WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (m_pWidget != w || w == nullptr) return wasVisible;
  switch (command) {
    case SW_HIDE:
      w->hide();
      break;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
      w->setAttribute(Qt::WA_ShowWithoutActivating, true);
      w->show();
      w->setAttribute(Qt::WA_ShowWithoutActivating, false);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      w->showMinimized();
      break;
    case SW_MAXIMIZE:
      w->showMaximized();
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (w->isWindow() && (w->isMinimized() || w->isMaximized())) {
        w->showNormal();
      } else {
        w->show();
      }
      break;
    default:
      w->show();
      break;
  }
  if (show && w->isWindow() && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE) w->activateWindow();
  RecordState();
  return wasVisible;
}

void CWnd::SetWindowText(const CString& text) {
  if (!OnGuiThread()) {
    OnWindowThread(m_hWnd, [text](CWnd* wnd) { wnd->SetWindowText(text); });
    return;
  }
  if (m_hWnd == nullptr) return;
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString()));
}

BOOL CWnd::EnableWindow(BOOL enable) {
  BOOL wasDisabled = IsWindowEnabled() ? FALSE : TRUE;
  OnWindowThread(m_hWnd, [enable](CWnd* wnd) {
    wnd->m_pWidget->setEnabled(enable != FALSE);
    if (enable) {
      wnd->m_dwStyle &= ~WS_DISABLED;
    } else {
      wnd->m_dwStyle |= WS_DISABLED;
    }
    wnd->RecordState();
  });
  return wasDisabled;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL /*repaint*/) {
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QPoint offset = wnd->ParentClientOffset();
    wnd->m_pWidget->setGeometry(x + offset.x(), y + offset.y(), width < 0 ? 0 : width, height < 0 ? 0 : height);
    wnd->RecordState();
  });
}

void CWnd::Invalidate(BOOL /*erase*/) {
  OnWindowThread(m_hWnd, [](CWnd* wnd) {
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(nullptr);
    wnd->m_pWidget->update();
  });
}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

void CWnd::InvalidateRect(LPCRECT rect, BOOL /*erase*/) {
  if (rect == nullptr) {
    Invalidate();
    return;
  }
  RECT r = *rect;
  OnWindowThread(m_hWnd, [r](CWnd* wnd) {
    QRect client(r.left, r.top, r.right - r.left, r.bottom - r.top);
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(&client);
    wnd->m_pWidget->update(client.translated(wnd->m_nBorder, wnd->m_nBorder));
  });
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(m_hWnd)) return FALSE;
  HWND after = insertAfter == nullptr ? HWND_TOP : insertAfter->m_hWnd;
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QWidget* w = wnd->m_pWidget;
    if (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE)) {
      QPoint offset = wnd->ParentClientOffset();
      QRect g = w->isWindow() ? w->frameGeometry() : w->geometry().translated(-offset);
      if (!(flags & SWP_NOMOVE)) g.moveTo(x, y);
      if (!(flags & SWP_NOSIZE)) g.setSize(QSize(std::max(0, cx), std::max(0, cy)));
      w->setGeometry(g.translated(offset));
    }
    if (!(flags & SWP_NOZORDER)) {
      if (after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        bool top = after == HWND_TOPMOST;
        if (top) {
          wnd->m_dwExStyle |= WS_EX_TOPMOST;
        } else {
          wnd->m_dwExStyle &= ~WS_EX_TOPMOST;
        }
        bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, top);
        if (visible) w->show();  // changing window flags hides a window
      } else if (after == HWND_BOTTOM) {
        w->lower();
      } else if (after == HWND_TOP) {
        w->raise();
      } else if (CWnd* other = LookupWindow(after); other != nullptr && other->m_pWidget != nullptr) {
        w->stackUnder(other->m_pWidget);
      }
    }
    if (flags & SWP_SHOWWINDOW) wnd->ShowWindow((flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) wnd->ShowWindow(SW_HIDE);
    wnd->RecordState();
    WINDOWPOS pos{wnd->m_hWnd, after, x, y, cx, cy, flags};
    wnd->SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  });
  return TRUE;
}

BOOL CWnd::RedrawWindow(LPCRECT rect, void* /*region*/, UINT flags) {
  if (!IsWindow(m_hWnd)) return FALSE;
  std::optional<RECT> area;
  if (rect != nullptr) area = *rect;
  OnWindowThread(m_hWnd, [=](CWnd* wnd) {
    QWidget* w = wnd->m_pWidget;
    QRect r = area ? QRect(area->left + wnd->m_nBorder, area->top + wnd->m_nBorder, area->right - area->left,
                           area->bottom - area->top)
                   : w->rect();
    QRect client = r.translated(-wnd->m_nBorder, -wnd->m_nBorder);
    static_cast<WndBridge*>(wnd->m_pBridge)->ClearOverlay(&client);
    if (flags & RDW_UPDATENOW) {
      w->repaint(r);
    } else {
      w->update(r);
    }
  });
  return TRUE;
}

void CWnd::UpdateWindow() {
  OnWindowThread(m_hWnd, [](CWnd* wnd) { wnd->m_pWidget->repaint(); });
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
  AssertGuiThread();
  if (placement == nullptr || m_pWidget == nullptr) return FALSE;
  QWidget* w = m_pWidget;
  QRect normal = w->isWindow() ? w->normalGeometry() : w->geometry();
  if (!normal.isValid()) normal = w->geometry();
  placement->length = sizeof(WINDOWPLACEMENT);
  placement->flags = w->isWindow() && w->isMinimized() && (w->windowState() & Qt::WindowMaximized)
                         ? WPF_RESTORETOMAXIMIZED
                         : 0;
  placement->showCmd = w->isHidden()         ? SW_HIDE
                       : w->isMinimized()    ? SW_SHOWMINIMIZED
                       : w->isMaximized()    ? SW_MAXIMIZE
                                             : SW_SHOWNORMAL;
  placement->ptMinPosition = POINT{-1, -1};
  placement->ptMaxPosition = POINT{-1, -1};
  placement->rcNormalPosition = ToRect(normal);
  return TRUE;
}

BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* placement) {
  AssertGuiThread();
  if (placement == nullptr || placement->length != sizeof(WINDOWPLACEMENT) || m_pWidget == nullptr) return FALSE;
  const RECT& r = placement->rcNormalPosition;
  m_pWidget->setGeometry(r.left, r.top, std::max(0, r.right - r.left), std::max(0, r.bottom - r.top));
  ShowWindow(static_cast<int>(placement->showCmd));
  RecordState();
  return TRUE;
}

CWnd* CWnd::SetParent(CWnd* newParent) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return nullptr;
  CWnd* old = GetParent();
  bool visible = !m_pWidget->isHidden();
  QRect g = m_pWidget->geometry();
  QWidget* parentWidget = newParent == nullptr ? nullptr : newParent->m_pWidget;
  bool child = parentWidget != nullptr && (m_dwStyle & WS_CHILD);
  // Qt moves the widget with its children, a video surface among them.
  m_pWidget->setParent(parentWidget, child ? Qt::Widget : (m_pWidget->windowFlags() | Qt::Window));
  m_pWidget->setGeometry(g);
  if (visible) m_pWidget->show();
  HWND parentHandle = newParent == nullptr ? nullptr : newParent->m_hWnd;
  UpdateWindowState(m_hWnd, [&](WindowState& s) {
    s.parent = parentHandle;
    s.topLevel = !child;
  });
  RecordState();
  return old;
}

CWnd* CWnd::SetFocus() {
  AssertGuiThread();
  CWnd* old = GetFocus();
  if (m_pWidget != nullptr) m_pWidget->setFocus(Qt::OtherFocusReason);
  return old;
}

CWnd* tlx::mfc::WindowOfWidget(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    for (QObject* o : w->children()) {
      if (auto* bridge = dynamic_cast<WndBridge*>(o)) return bridge->window();
    }
  }
  return nullptr;
}

CWnd* CWnd::GetFocus() {
  AssertGuiThread();
  return WindowOfWidget(QApplication::focusWidget());
}

CWnd* CWnd::SetActiveWindow() {
  AssertGuiThread();
  CWnd* old = nullptr;
  if (QWidget* active = QApplication::activeWindow()) {
    for (QObject* o : active->children()) {
      if (auto* bridge = dynamic_cast<WndBridge*>(o)) old = bridge->window();
    }
  }
  if (m_pWidget != nullptr) m_pWidget->window()->activateWindow();
  return old;
}

BOOL CWnd::SetForegroundWindow() {
  AssertGuiThread();
  if (m_pWidget == nullptr) return FALSE;
  m_pWidget->window()->raise();
  m_pWidget->window()->activateWindow();
  return TRUE;
}

CWnd* CWnd::GetTopLevelParent() const {
  AssertGuiThread();
  const CWnd* wnd = this;
  while (CWnd* parent = wnd->GetParent()) {
    if (wnd->m_pWidget != nullptr && wnd->m_pWidget->isWindow()) break;
    wnd = parent;
  }
  return const_cast<CWnd*>(wnd);
}

BOOL CWnd::IsTopParentActive() const {
  AssertGuiThread();
  CWnd* top = GetTopLevelParent();
  return top != nullptr && top->m_pWidget != nullptr && top->m_pWidget->isActiveWindow() ? TRUE : FALSE;
}

CWnd* CWnd::GetLastActivePopup() const {
  AssertGuiThread();
  // The active window when it is one of this window's owned windows.
  if (QWidget* active = QApplication::activeWindow(); active != nullptr && m_pWidget != nullptr) {
    for (QWidget* p = active->parentWidget(); p != nullptr; p = p->parentWidget()) {
      if (p != m_pWidget) continue;
      for (QObject* o : active->children()) {
        if (auto* bridge = dynamic_cast<WndBridge*>(o)) return bridge->window();
      }
    }
  }
  return const_cast<CWnd*>(this);
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return;
  RECT area{};
  CWnd* owner = alternateOwner != nullptr ? alternateOwner : GetParent();
  if (owner != nullptr && owner->m_hWnd != nullptr) {
    ::GetWindowRect(owner->m_hWnd, &area);
  } else {
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  CRect own;
  GetWindowRect(&own);
  int x = (area.left + area.right - own.Width()) / 2;
  int y = (area.top + area.bottom - own.Height()) / 2;
  if (!m_pWidget->isWindow()) {
    CWnd* parent = GetParent();
    POINT p{x, y};
    if (parent != nullptr) parent->ScreenToClient(&p);
    x = p.x;
    y = p.y;
  }
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT /*flags*/) {
  AssertGuiThread();
  DWORD old = m_dwStyle;
  m_dwStyle = (m_dwStyle & ~remove) | add;
  if (old == m_dwStyle) return FALSE;
  if (m_pWidget != nullptr && m_pWidget->isWindow()) {
    bool visible = m_pWidget->isVisible();
    m_pWidget->setWindowFlag(Qt::FramelessWindowHint, (m_dwStyle & WS_CAPTION) != WS_CAPTION);
    if (visible) m_pWidget->show();
  }
  if (((old ^ m_dwStyle) & WS_CHILD) != 0) {
    // WS_CHILD switches between a child of the parent and a top-level window.
    WindowState state;
    ReadWindowState(m_hWnd, &state);
    CWnd* parent = LookupWindow(state.parent);
    SetParent(parent);
  }
  if (m_pWidget != nullptr) m_pWidget->setEnabled((m_dwStyle & WS_DISABLED) == 0);
  RecordState();
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT /*flags*/) {
  AssertGuiThread();
  DWORD old = m_dwExStyle;
  m_dwExStyle = (m_dwExStyle & ~remove) | add;
  if (old == m_dwExStyle) return FALSE;
  if (m_pWidget != nullptr) m_pWidget->setAcceptDrops((m_dwExStyle & WS_EX_ACCEPTFILES) != 0);
  bool windowFlags = ((old ^ m_dwExStyle) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW)) != 0;
  if (windowFlags && m_pWidget != nullptr && m_pWidget->isWindow()) {
    bool visible = m_pWidget->isVisible();
    m_pWidget->setWindowFlag(Qt::WindowStaysOnTopHint, (m_dwExStyle & WS_EX_TOPMOST) != 0);
    m_pWidget->setWindowFlag(Qt::Tool, (m_dwExStyle & WS_EX_TOOLWINDOW) != 0);
    if (visible) m_pWidget->show();
  }
  return TRUE;
}

BOOL CWnd::SetLayeredWindowAttributes(COLORREF /*key*/, BYTE alpha, DWORD flags) {
  AssertGuiThread();
  if (m_pWidget == nullptr) return FALSE;
  if (flags & LWA_ALPHA) m_pWidget->setWindowOpacity(alpha / 255.0);
  return TRUE;
}

BOOL CWnd::AnimateWindow(DWORD /*timeMs*/, DWORD flags) {
  ShowWindow((flags & AW_HIDE) ? SW_HIDE : SW_SHOW);
  return TRUE;
}

void CWnd::SetIcon(const QImage& icon, BOOL /*big*/) {
  AssertGuiThread();
  if (m_pWidget != nullptr) m_pWidget->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  HICON old = std::exchange(m_hIcons[big ? 1 : 0], icon);
  // The big icon is the window's; a small one shows while there is no big one.
  SetIcon(IconImage(m_hIcons[1] != nullptr ? m_hIcons[1] : m_hIcons[0]), TRUE);
  return old;
}

void CWnd::TrackMouseLeave() {
  AssertGuiThread();
  if (m_pBridge != nullptr) static_cast<WndBridge*>(m_pBridge)->TrackLeave();
}

CWnd* CWnd::GetDlgItem(int id) const {
  AssertGuiThread();
  if (m_pWidget == nullptr) return nullptr;
  for (QWidget* child : m_pWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    for (QObject* o : child->children()) {
      auto* bridge = dynamic_cast<WndBridge*>(o);
      if (bridge != nullptr && bridge->window()->m_nID == static_cast<UINT_PTR>(id)) return bridge->window();
    }
  }
  return nullptr;
}

void CWnd::MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const {
  for (UINT i = 0; i < count; ++i) {
    ClientToScreen(&points[i]);
    if (to != nullptr) to->ScreenToClient(&points[i]);
  }
}

void CWnd::MapWindowPoints(CWnd* to, LPRECT rect) const {
  MapWindowPoints(to, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::PreSubclassWindow() {}

void CWnd::TakeOver(CWnd* old) {
  HWND hwnd = old->m_hWnd;
  m_hWnd = hwnd;
  m_pWidget = std::exchange(old->m_pWidget, nullptr);
  m_pBridge = std::exchange(old->m_pBridge, nullptr);
  m_dwStyle = old->m_dwStyle;
  m_dwExStyle = old->m_dwExStyle;
  m_nID = old->m_nID;
  m_nBorder = old->m_nBorder;
  old->m_hWnd = nullptr;
  static_cast<WndBridge*>(m_pBridge)->SetWindow(this);
  ReplaceWindow(hwnd, this);
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  AssertGuiThread();
  CWnd* old = LookupWindow(hwnd);
  if (old == nullptr || m_hWnd != nullptr) return FALSE;
  if (old == this) return TRUE;
  TakeOver(old);
  PreSubclassWindow();
  return TRUE;
}

BOOL CWnd::Attach(HWND hwnd) {
  AssertGuiThread();
  CWnd* old = LookupWindow(hwnd);
  if (old == nullptr || old == this || m_hWnd != nullptr) return FALSE;
  TakeOver(old);
  if (m_pLentFrom != nullptr) m_pLentFrom->m_pLentTo = nullptr;
  m_pLentFrom = old;
  if (old->m_pLentTo != nullptr) old->m_pLentTo->m_pLentFrom = nullptr;
  old->m_pLentTo = this;
  return TRUE;
}

namespace {

// Keeps a window whose object let it go; goes with the window.
class DetachedWnd : public CWnd {
 protected:
  void PostNcDestroy() override { delete this; }
};

}  // namespace

HWND CWnd::Detach() {
  AssertGuiThread();
  HWND hwnd = m_hWnd;
  if (hwnd == nullptr || LookupWindow(hwnd) != this) return nullptr;
  CWnd* back = m_pLentFrom;
  if (back != nullptr) {
    back->m_pLentTo = nullptr;
    m_pLentFrom = nullptr;
  }
  if (back == nullptr || back->m_hWnd != nullptr) back = new DetachedWnd();
  back->TakeOver(this);
  return hwnd;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  CWnd* item = parent == nullptr ? nullptr : parent->GetDlgItem(static_cast<int>(id));
  return item != nullptr && SubclassWindow(item->m_hWnd);
}

void CWnd::NotifyParent(UINT code) {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.parent == nullptr) return;
  ::SendMessage(state.parent, WM_COMMAND, MAKEWPARAM(static_cast<int>(m_nID), static_cast<int>(code)),
                reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CWnd::NotifyParent(NMHDR* header, UINT code) {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.parent == nullptr) return 0;
  header->hwndFrom = m_hWnd;
  header->idFrom = m_nID;
  header->code = code;
  return ::SendMessage(state.parent, WM_NOTIFY, m_nID, reinterpret_cast<LPARAM>(header));
}

void CWnd::MarkDisabled(BOOL disabled) {
  if (disabled) {
    m_dwStyle |= WS_DISABLED;
  } else {
    m_dwStyle &= ~WS_DISABLED;
  }
  UpdateWindowState(m_hWnd, [&](WindowState& s) { s.enabled = !disabled; });
}
