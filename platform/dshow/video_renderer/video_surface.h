// What the video renderer shows and where: the state its window calls set,
// the frame slot, and the widget that draws them on the GUI thread.
//
// The filter's window calls come on the engine's threads and must return at
// once, while the GUI thread may sit in a modal dialog or a join. So a call
// only changes the state here, under one lock, and asks the GUI thread to
// catch up: one queued call at a time, which then applies the latest state.
// The widget therefore follows the calls in their order and never makes a
// caller wait. Without a QApplication nothing is queued: the state and the
// frame slot are all there is.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <memory>
#include <mutex>

#include "dshow/interfaces.h"

namespace tlx::dshow::video {

// The mirror of the window calls. Rectangles are RECTs as the calls give them
// (left, top, right, bottom): the window in the owner's client coordinates,
// the source in the picture, the destination in the widget.
struct SurfaceState {
  HWND owner = nullptr;
  HWND drain = nullptr;
  long style = 0;
  bool autoShow = true;
  bool visible = false;
  bool windowSet = false;
  RECT window{};
  bool sourceSet = false;
  RECT source{};
  bool destSet = false;
  RECT dest{};
  DWORD aspectMode = VMR_ARMODE_NONE;
  // The connected type's picture size; empty while not connected.
  QSize picture;

  // The window as set, else at (0, 0) with the picture's size.
  RECT WindowRect() const;
  // The source as set, else the whole picture.
  RECT SourceRect() const;
  // The destination as set, else the whole window.
  RECT DestRect() const;
};

// Where the picture goes: `source` of a `picture`-sized frame is drawn into
// `target` of the widget. In VMR_ARMODE_LETTER_BOX the target is the largest
// rectangle of the source's shape centred in the destination; otherwise the
// source is stretched over the whole destination.
struct Placement {
  QRect source;
  QRect target;
};
Placement PlacePicture(const SurfaceState& state, QSize picture);

class Surface : public std::enable_shared_from_this<Surface> {
 public:
  // Changes the state under the lock, then has the GUI thread apply it.
  template <typename Change>
  void Update(Change change) {
    {
      std::lock_guard lock(lock_);
      change(state_);
    }
    Refresh();
  }
  // A copy of the state, for the getters.
  SurfaceState State();
  // Puts a presented picture in the frame slot and has the widget redraw.
  void Present(QImage frame);
  QImage Frame();
  // The filter is going: the GUI thread destroys the widget.
  void Close();

  // GUI thread: the widget, made on the first application of the state.
  QWidget* Widget() const { return widget_; }
  // GUI thread: what the widget paints and where its input goes.
  void Snapshot(SurfaceState* state, QImage* frame);

 private:
  // Queues one application of the state to the GUI thread unless one is
  // waiting already; nothing without a QApplication.
  void Refresh();
  // GUI thread: makes, re-parents, places, shows and repaints the widget.
  void Apply();

  std::mutex lock_;
  SurfaceState state_;
  QImage frame_;
  bool applyQueued_ = false;
  bool closed_ = false;
  QPointer<QWidget> widget_;  // GUI thread
};

}  // namespace tlx::dshow::video
