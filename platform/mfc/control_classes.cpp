#include "mfc/internal/control_classes.h"

#include <deque>

#include "mfc/wnd.h"

namespace tlx::mfc {

namespace {

// Registered while the library's constants are made; read on the GUI thread
// afterwards. A deque keeps the entries where they are as it grows.
std::deque<ControlClass>& Classes() {
  static std::deque<ControlClass> classes;
  return classes;
}

}  // namespace

bool RegisterControlClass(const ControlClass& controlClass) {
  Classes().push_back(controlClass);
  return true;
}

const ControlClass* FindControlClass(const QString& name) {
  if (name.isEmpty()) return nullptr;
  for (const ControlClass& c : Classes()) {
    if (name.compare(QString::fromUtf16(c.name), Qt::CaseInsensitive) == 0) return &c;
  }
  return nullptr;
}

const ControlClass* ControlClassOf(const CWnd* wnd) {
  return FindControlClass(QString::fromUtf16(wnd->GetWindowClassName()));
}

}  // namespace tlx::mfc
