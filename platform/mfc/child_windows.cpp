#include "mfc/internal/child_windows.h"

#include <QWidget>
#include <algorithm>

#include "mfc/internal/message_pump.h"
#include "mfc/wnd.h"

std::vector<CWnd*> tlx::mfc::ChildWindows(const CWnd* parent) {
  std::vector<CWnd*> children;
  if (parent == nullptr || parent->GetWidget() == nullptr) return children;
  for (QObject* o : parent->GetWidget()->children()) {
    auto* widget = qobject_cast<QWidget*>(o);
    if (widget == nullptr || widget->isWindow()) continue;
    CWnd* wnd = WindowOfWidget(widget);
    if (wnd != nullptr && wnd != parent && wnd->GetWidget() == widget) children.push_back(wnd);
  }
  // The widgets are in stacking order, which a group box leaves; handles are
  // given out in creation order.
  std::sort(children.begin(), children.end(), [](const CWnd* a, const CWnd* b) {
    return reinterpret_cast<uintptr_t>(a->m_hWnd) < reinterpret_cast<uintptr_t>(b->m_hWnd);
  });
  return children;
}

std::vector<CWnd*> tlx::mfc::GroupOf(const CWnd* control) {
  std::vector<CWnd*> siblings = ChildWindows(control->GetParent());
  auto self = std::find(siblings.begin(), siblings.end(), control);
  if (self == siblings.end()) return {const_cast<CWnd*>(control)};
  auto first = self;
  while (first != siblings.begin() && !((*first)->GetStyle() & WS_GROUP)) --first;
  auto last = self + 1;
  while (last != siblings.end() && !((*last)->GetStyle() & WS_GROUP)) ++last;
  return std::vector<CWnd*>(first, last);
}
