// The message each window procedure on the GUI thread is handling, innermost
// last, so CWnd::Default can pass it on and the event bridge can learn that a
// handler left an event to the widget.
#pragma once

#include <vector>

#include "win32/messages.h"

class CWnd;

namespace tlx::mfc {

struct MessageFrame {
  CWnd* wnd;
  MSG msg;
  // DefWindowProc ran for it: the widget's own behaviour should follow.
  bool defaulted = false;
};

std::vector<MessageFrame>& MessageFrames();

}  // namespace tlx::mfc
