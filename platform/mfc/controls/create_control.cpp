#include "mfc/controls.h"
#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

CWnd* AfxCreateControl(const CString& className) {
  const ControlClass* controlClass = FindControlClass(className.qstring());
  return controlClass == nullptr ? nullptr : controlClass->make();
}
