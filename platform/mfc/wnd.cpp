#include "mfc/wnd.h"

#include <QWidget>
#include <QWindow>

#include "mfc/internal/current_message.h"
#include "mfc/internal/message_pump.h"
#include "mfc/internal/window_table.h"
#include "mfc/internal/wnd_bridge.h"
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
  // Every window hears the mouse move over it (WM_MOUSEMOVE), a control too.
  widget->setMouseTracking(true);
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
    case WM_SETFONT:
      m_pFont = reinterpret_cast<CFont*>(wParam);
      if (m_pWidget != nullptr) m_pWidget->setFont(m_pFont != nullptr && m_pFont->created ? m_pFont->qfont() : QFont());
      if (LOWORD(lParam) != 0) Invalidate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(m_pFont);
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
void CWnd::OnEnable(BOOL) { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }
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
    return entry->pfn(this, 0, 0) != 0;
  }
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_NOTIFY, kMapCodeReflect | header->code, 0);
    if (entry == nullptr) return FALSE;
    return entry->pfn(this, reinterpret_cast<WPARAM>(result), lParam) != 0;
  }
  return FALSE;
}

CWnd* CWnd::GetParent() const {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.parent == nullptr) return nullptr;
  return FromHandle(state.parent);
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
