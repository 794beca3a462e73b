// What the audio renderer takes from its surroundings: time, sleeping and the
// main window, replaceable so that tests run the renderer on virtual time.
#pragma once

#include <functional>

#include "win32/types.h"

// The player's main window ("Telvara Player"), or null when there is none.
// Safe to call from any thread, the render thread included; it never touches
// a widget.
HWND FindMainWindow();

struct RendererServices {
  std::function<DWORD()> now;           // milliseconds, wrapping like timeGetTime
  std::function<void(DWORD)> sleep;     // milliseconds
  std::function<HWND()> findMainWindow;

  // timeGetTime, Sleep and FindMainWindow.
  static RendererServices Default();
};
