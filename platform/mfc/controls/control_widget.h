// What the controls' code asks of a control's widget.
#pragma once

#include <QWidget>

#include "mfc/internal/message_pump.h"

namespace tlx::mfc {

// The window of a control's widget at the time of the call: after
// SubclassWindow it is the object that took the control over.
inline CWnd* Owner(QWidget* widget) { return WindowOfWidget(widget); }

template <typename T>
T* As(QWidget* widget) {
  return qobject_cast<T*>(widget);
}

// The colour request of a control class whose controls all ask one kind
// (CTLCOLOR_), for its registration.
template <UINT Kind>
bool AsksColours(CWnd*, UINT* kind) {
  *kind = Kind;
  return true;
}

}  // namespace tlx::mfc
