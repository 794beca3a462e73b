#include "mfc/wnd.h"

#include <QCloseEvent>
#include <QEvent>
#include <QWidget>
#include <unordered_map>

#include "internal/current_message.h"
#include "internal/message_pump.h"
#include "internal/window_table.h"
#include "internal/wnd_bridge.h"

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
  using QWidget::QWidget;
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
  if (m_hWnd != nullptr && OnGuiThread()) DestroyWindow();
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
  widget->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
  widget->setEnabled((m_dwStyle & WS_DISABLED) == 0);
  if (cs.lpszName != nullptr) widget->setWindowTitle(QString::fromUtf16(cs.lpszName));
  m_pWidget = widget;

  WindowState state;
  state.parent = child ? parentWnd->m_hWnd : nullptr;
  state.topLevel = !child;
  state.enabled = (m_dwStyle & WS_DISABLED) == 0;
  state.text = widget->windowTitle();
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
  QRect place = w->isWindow() ? w->frameGeometry() : w->geometry();
  RECT client{0, 0, w->width(), w->height()};
  if (w->isWindow()) {
    QPoint origin = w->geometry().topLeft() - place.topLeft();
    client = RECT{origin.x(), origin.y(), origin.x() + w->width(), origin.y() + w->height()};
  }
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
  const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
  if (entry == nullptr) return FALSE;
  *result = entry->pfn(this, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM /*wParam*/, LPARAM lParam) {
  auto& frames = MessageFrames();
  if (!frames.empty() && frames.back().wnd == this && frames.back().msg.message == message) {
    frames.back().defaulted = true;
  }
  switch (message) {
    case WM_CLOSE:
      DestroyWindow();
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

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }

CWnd* CWnd::GetParent() const {
  WindowState state;
  if (!ReadWindowState(m_hWnd, &state) || state.parent == nullptr) return nullptr;
  return FromHandle(state.parent);
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
    wnd->m_pWidget->setGeometry(x, y, width < 0 ? 0 : width, height < 0 ? 0 : height);
    wnd->RecordState();
  });
}

void CWnd::Invalidate(BOOL /*erase*/) {
  OnWindowThread(m_hWnd, [](CWnd* wnd) { wnd->m_pWidget->update(); });
}
