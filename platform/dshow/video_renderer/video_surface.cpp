#include "video_surface.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "mfc/keys.h"
#include "mfc/wnd.h"

namespace tlx::dshow::video {
namespace {

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The MK_ flags of a mouse message.
WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  return ((buttons & Qt::LeftButton) ? MK_LBUTTON : 0) | ((buttons & Qt::RightButton) ? MK_RBUTTON : 0) |
         ((buttons & Qt::MiddleButton) ? MK_MBUTTON : 0) | ((modifiers & Qt::ShiftModifier) ? MK_SHIFT : 0) |
         ((modifiers & Qt::ControlModifier) ? MK_CONTROL : 0);
}

// Draws the frame slot as the state places it, black wherever the picture is
// not, and posts the mouse and key input it gets to the message drain.
class VideoWidget final : public QWidget {
 public:
  VideoWidget(std::shared_ptr<Surface> surface, QWidget* parent)
      : QWidget(parent, parent == nullptr ? Qt::Window : Qt::Widget), surface_(std::move(surface)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    SurfaceState state;
    QImage frame;
    surface_->Snapshot(&state, &frame);
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (frame.isNull()) return;
    Placement place = PlacePicture(state, frame.size());
    if (!place.source.isEmpty() && !place.target.isEmpty()) painter.drawImage(place.target, frame, place.source);
  }

  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) PostMouse(WM_LBUTTONDOWN, e);
    if (e->button() == Qt::RightButton) PostMouse(WM_RBUTTONDOWN, e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) PostMouse(WM_LBUTTONUP, e);
    if (e->button() == Qt::RightButton) PostMouse(WM_RBUTTONUP, e);
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) PostMouse(WM_LBUTTONDBLCLK, e);
    if (e->button() == Qt::RightButton) PostMouse(WM_RBUTTONDOWN, e);
  }
  void mouseMoveEvent(QMouseEvent* e) override { PostMouse(WM_MOUSEMOVE, e); }
  void wheelEvent(QWheelEvent* e) override {
    CWnd* drain = Drain();
    if (drain == nullptr) return;
    // The wheel message carries the point in screen coordinates.
    POINT p = DrainPoint(drain, e->position().toPoint());
    drain->ClientToScreen(&p);
    WPARAM keys = MouseKeys(e->buttons(), e->modifiers());
    ::PostMessage(drain->m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(static_cast<int>(keys), e->angleDelta().y()),
                  MAKELPARAM(p.x, p.y));
  }
  void keyPressEvent(QKeyEvent* e) override { PostKey(e); }
  void keyReleaseEvent(QKeyEvent* e) override { PostKey(e); }

 private:
  // The drain's window, when there is one.
  CWnd* Drain() {
    SurfaceState state;
    surface_->Snapshot(&state, nullptr);
    CWnd* drain = state.drain != nullptr ? CWnd::FromHandle(state.drain) : nullptr;
    return drain != nullptr && drain->GetWidget() != nullptr ? drain : nullptr;
  }
  // A point of this widget in the drain's client coordinates.
  POINT DrainPoint(CWnd* drain, QPoint local) {
    QPoint p = drain->GetWidget()->mapFromGlobal(mapToGlobal(local));
    POINT origin = drain->ClientOrigin();
    return POINT{p.x() - origin.x, p.y() - origin.y};
  }
  void PostMouse(UINT message, QMouseEvent* e) {
    CWnd* drain = Drain();
    if (drain == nullptr) return;
    POINT p = DrainPoint(drain, e->position().toPoint());
    ::PostMessage(drain->m_hWnd, message, MouseKeys(e->buttons(), e->modifiers()), MAKELPARAM(p.x, p.y));
  }
  void PostKey(QKeyEvent* e) {
    CWnd* drain = Drain();
    MSG msg;
    if (drain != nullptr && tlx::mfc::KeyMessage(*e, drain->m_hWnd, &msg)) {
      ::PostMessage(drain->m_hWnd, msg.message, msg.wParam, msg.lParam);
    }
  }

  std::shared_ptr<Surface> surface_;
};

}  // namespace

RECT SurfaceState::WindowRect() const {
  return windowSet ? window : RECT{0, 0, picture.width(), picture.height()};
}

RECT SurfaceState::SourceRect() const { return sourceSet ? source : RECT{0, 0, picture.width(), picture.height()}; }

RECT SurfaceState::DestRect() const {
  if (destSet) return dest;
  RECT w = WindowRect();
  return RECT{0, 0, w.right - w.left, w.bottom - w.top};
}

Placement PlacePicture(const SurfaceState& state, QSize picture) {
  const QRect whole(QPoint(0, 0), picture);
  // A frame of another size than the connected type (a type change on its
  // way) shows what of the set source it has.
  Placement place{state.sourceSet ? ToQRect(state.source) & whole : whole, ToQRect(state.DestRect())};
  if (state.aspectMode != VMR_ARMODE_LETTER_BOX || place.source.isEmpty() || place.target.isEmpty()) return place;
  const int64_t sw = place.source.width(), sh = place.source.height();
  const int64_t dw = place.target.width(), dh = place.target.height();
  if (dw * sh > dh * sw) {
    const int w = static_cast<int>(dh * sw / sh);
    place.target = QRect(place.target.x() + static_cast<int>((dw - w) / 2), place.target.y(), w, static_cast<int>(dh));
  } else {
    const int h = static_cast<int>(dw * sh / sw);
    place.target = QRect(place.target.x(), place.target.y() + static_cast<int>((dh - h) / 2), static_cast<int>(dw), h);
  }
  return place;
}

SurfaceState Surface::State() {
  std::lock_guard lock(lock_);
  return state_;
}

void Surface::Present(QImage frame) {
  {
    std::lock_guard lock(lock_);
    frame_ = std::move(frame);
  }
  Refresh();
}

QImage Surface::Frame() {
  std::lock_guard lock(lock_);
  return frame_;
}

void Surface::Close() {
  {
    std::lock_guard lock(lock_);
    closed_ = true;
  }
  Refresh();
}

void Surface::Snapshot(SurfaceState* state, QImage* frame) {
  std::lock_guard lock(lock_);
  *state = state_;
  if (frame != nullptr) *frame = frame_;
}

void Surface::Refresh() {
  QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(app) == nullptr) return;
  {
    std::lock_guard lock(lock_);
    if (applyQueued_) return;
    applyQueued_ = true;
  }
  QMetaObject::invokeMethod(app, [self = shared_from_this()] { self->Apply(); }, Qt::QueuedConnection);
}

void Surface::Apply() {
  SurfaceState state;
  bool closed;
  {
    std::lock_guard lock(lock_);
    applyQueued_ = false;
    state = state_;
    closed = closed_;
  }
  if (closed) {
    delete widget_.data();
    return;
  }
  // An owner that is gone counts as none, and the video stays hidden until
  // it gets a live one.
  CWnd* owner = state.owner != nullptr ? CWnd::FromHandle(state.owner) : nullptr;
  QWidget* ownerWidget = owner != nullptr ? owner->GetWidget() : nullptr;
  QPoint origin;
  if (ownerWidget != nullptr) origin = QPoint(owner->ClientOrigin().x, owner->ClientOrigin().y);
  if (widget_.isNull()) {
    widget_ = new VideoWidget(shared_from_this(), ownerWidget);
  } else if (widget_->parentWidget() != ownerWidget) {
    widget_->setParent(ownerWidget, ownerWidget == nullptr ? Qt::Window : Qt::Widget);
  }
  RECT w = state.WindowRect();
  widget_->setGeometry(origin.x() + w.left, origin.y() + w.top, std::max(0L, static_cast<long>(w.right - w.left)),
                       std::max(0L, static_cast<long>(w.bottom - w.top)));
  widget_->setVisible(state.visible && (state.owner == nullptr || ownerWidget != nullptr));
  widget_->update();
}

}  // namespace tlx::dshow::video
