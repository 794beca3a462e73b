// The tooltip of a common control: made on first use with the string of an id
// (always shown, at once), its text replaced later, and the control's mouse
// messages handed to it.
#pragma once

#include "mfc/controls.h"

namespace tlx::common {

// FALSE when the tooltip cannot be made.
BOOL SetToolTipText(CToolTipCtrl& tip, CWnd* owner, UINT textId);
void RelayToolTipEvent(CToolTipCtrl& tip, CWnd* owner, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tlx::common
