#include "mfc/controls.h"

#include <QFrame>

#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

// Tab frame.

QWidget* CTabCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::Box);
  return frame;
}

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"SysTabControl32", []() -> CWnd* { return new CTabCtrl; }});

}  // namespace
