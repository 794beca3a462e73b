// The lookup of the main window, which the sound device is given as its
// cooperative-level window. The window has no effect on the sound output, so
// a null window serves as well when the main frame is not there.
#include "renderer_services.h"

#include "mfc/winuser.h"
#include "win32/synch.h"
#include "win32/timing.h"

HWND FindMainWindow() { return FindWindow(nullptr, "Telvara Player"); }

RendererServices RendererServices::Default() {
  return {[] { return timeGetTime(); }, [](DWORD ms) { Sleep(ms); }, [] { return FindMainWindow(); }};
}
