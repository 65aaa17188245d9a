// desktop.h - what tests and benchmarks may ask of the desktop backend (FLTK on X11)
// beyond the Backend interface: whether it runs, a round trip to the X server, and where
// a window's client area starts below its menu bar.
#pragma once
#include "window/window_system.h"

namespace px {
namespace desktop {

// True when the backend in use is the desktop one.
bool active();
// Returns once the X server has carried out every request sent so far (a presented frame
// is then on the screen).
void sync();
// Pixels between the top of the window's X window and its client area: the menu bar's
// height, 0 without a menu, -1 when the window has no desktop counterpart.
int client_top(HWND hwnd);
// True when client images reach the server through shared memory (the server offers the
// extension and can attach the segments), false on the plain upload path.
bool shared_images();
// Client images sent to the X server since the start, all windows together.
int uploads();

}  // namespace desktop
}  // namespace px
