// The system video renderer: one filter class, registered when this library
// loads under CLSID_VideoMixingRenderer9, CLSID_VideoMixingRenderer and
// CLSID_VideoRenderer, that draws decoded pictures into a Qt widget at their
// time on the graph clock. A program that wants the renderer links this
// library; tlx_dshow itself stays free of Qt and the window layer.
//
// Besides the filter interfaces it answers IVideoRendererProbe, through which
// a test watches what is presented.
#pragma once

#include <functional>

#include "dshow/interfaces.h"

class QImage;
class QWidget;

namespace tlx::dshow::video {

// One presented picture: the sample's start time (0 for an untimed sample),
// and the graph clock's time and the run start when it was presented (both 0
// without a clock).
struct PresentedFrame {
  bool timed;
  REFERENCE_TIME sampleStart;
  REFERENCE_TIME clockTime;
  REFERENCE_TIME runStart;
};

using PresentHook = std::function<void(const PresentedFrame& frame)>;

// {3F0C8E52-6B1A-4C7D-9E24-5A7B1D2C3E01}
inline constexpr IID IID_IVideoRendererProbe{0x3F0C8E52, 0x6B1A, 0x4C7D, {0x9E, 0x24, 0x5A, 0x7B, 0x1D, 0x2C, 0x3E, 0x01}};

struct IVideoRendererProbe : IUnknown {
  // Called on the streaming thread for every presented picture, after it went
  // to the frame slot. An empty hook removes it.
  virtual void SetPresentHook(PresentHook hook) = 0;
  // Pictures presented since the renderer was made.
  virtual LONG PresentedCount() = 0;
  // The frame slot: the last presented picture as RGB32 at the picture's own
  // size; a null image before the first one. Any thread.
  virtual QImage CurrentFrame() = 0;
  // The widget the renderer draws in; null while the GUI thread has not made
  // it yet or without a QApplication. GUI thread only.
  virtual QWidget* VideoWidget() = 0;

 protected:
  ~IVideoRendererProbe() = default;
};

}  // namespace tlx::dshow::video
