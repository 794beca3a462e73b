// The window classes of the controls. Each control family registers its
// classes here when the library loads; the window core and the dialogs find a
// control's class by its Windows class name and never name a control
// themselves.
#pragma once

#include <QString>

#include "win32/types.h"

class CWnd;

namespace tlx::mfc {

struct ControlClass {
  // The Windows class name ("Button", "Edit", ...).
  const char16_t* name;
  // A new object of the class, without a window yet.
  CWnd* (*make)();
  // The kind of colour request (CTLCOLOR_) the control makes; false for a
  // control that asks for no colours. Null: none of the class's controls do.
  bool (*colourKind)(CWnd* control, UINT* kind) = nullptr;
  // Paints the control in place of its widget; false leaves painting to the
  // control's message map and widget. Null: always false.
  bool (*paint)(CWnd* control) = nullptr;
};

// Adds a class; returns true, so that a family's registration can be the
// initializer of a constant.
bool RegisterControlClass(const ControlClass& controlClass);
// The class of that name, without regard to case; null when none is
// registered.
const ControlClass* FindControlClass(const QString& name);
// The registered class of a window object's Windows class name; null for a
// window that is no control.
const ControlClass* ControlClassOf(const CWnd* wnd);

}  // namespace tlx::mfc
