// Who shows the message boxes: a QMessageBox in the player, a script in
// whole-process tests ($TLX_MESSAGE_SCRIPT names a file of answers, one per
// line, taken in turn; each box is appended to the file $TLX_MESSAGE_LOG
// names), or a presenter a test installs.
#pragma once

#include <QString>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "win32/types.h"

namespace tlx::messages {

// One box to show. `id` is 0 for a ready-made text.
struct MessageBoxRequest {
  UINT id = 0;
  QString text;    // the message's text, without the record
  UINT style = 0;
  QString record;  // "(module-class-line-error)", or empty
  HWND owner = nullptr;
};

// The style's negative answer: IDNO, IDCANCEL or IDOK.
int NegativeAnswer(UINT style);
// Whether `answer` is one of the style's buttons.
bool ButtonOfStyle(UINT style, int answer);

class Presenter {
 public:
  virtual ~Presenter() = default;
  // Shows the box and returns the button pressed.
  virtual int Present(const MessageBoxRequest& request) = 0;
};

// Installs the presenter boxes go to from now on; null goes back to the
// default (the script when $TLX_MESSAGE_SCRIPT is set, else QMessageBox).
// Returns the one it replaces.
std::shared_ptr<Presenter> SetPresenter(std::shared_ptr<Presenter> presenter);

// A presenter for in-process tests: records each box and answers from a
// queue. With the queue empty it answers the style's negative button and
// counts the box as unexpected.
class ScriptedPresenter : public Presenter {
 public:
  void Answer(int button);
  int Present(const MessageBoxRequest& request) override;
  std::vector<MessageBoxRequest> shown() const;
  int unexpected() const;

 private:
  mutable std::mutex lock_;
  std::deque<int> answers_;
  std::vector<MessageBoxRequest> shown_;
  int unexpected_ = 0;
};

}  // namespace tlx::messages
