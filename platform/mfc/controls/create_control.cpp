#include "internal/control_classes.h"
#include "mfc/controls.h"

using namespace tlx::mfc;

CWnd* AfxCreateControl(const CString& className) {
  const ControlClass* controlClass = FindControlClass(className.qstring());
  return controlClass == nullptr ? nullptr : controlClass->make();
}
