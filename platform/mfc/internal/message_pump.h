// The GUI thread's side of messages: posted and sent messages from other
// threads arrive as Qt events on one receiver that lives on the GUI thread (the
// thread of the QApplication), and window timers and the GUI thread's own
// thread timers are Qt timers of that receiver.
#pragma once

#include <functional>
#include <memory>

#include "mfc/internal/window_table.h"
#include "mfc/winuser.h"

class CWnd;
class QWidget;

namespace tlx::mfc {

// True on the thread that runs the QApplication.
bool OnGuiThread();
// Stops a debug build when a widget operation runs off the GUI thread.
void AssertGuiThread();
// Makes sure the receiver exists; GUI thread only.
void StartPump();

// Queues `work` for the GUI thread, in call order with the messages this
// thread posts. false when there is no GUI thread to run it.
bool RunOnGui(std::function<void()> work);
// Queues a message for the window. `send`, when given, goes ahead of posted
// messages and is completed with the result. false when there is no receiver.
bool QueueWindowMessage(const MSG& msg, MessageDisposer dispose, std::shared_ptr<PendingSend> send);

// True while a message has waited for the GUI thread longer than
// kHungAfterMs (SMTO_ABORTIFHUNG). Any thread.
bool GuiThreadHung();

// The window whose widget this is, or the nearest parent widget's window.
CWnd* WindowOfWidget(QWidget* widget);

// Window timers and the GUI thread's thread timers (hwnd null).
void StartGuiTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
bool StopGuiTimer(HWND hwnd, UINT_PTR id);
// Stops every timer of a window that is being destroyed.
void StopWindowTimers(HWND hwnd);

}  // namespace tlx::mfc
