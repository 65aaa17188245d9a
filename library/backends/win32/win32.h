// win32.h - what tests and probes may ask of the Windows backend beyond the Backend
// interface: whether it runs, and Windows' handle of a layer window.
#pragma once
#include <cstdint>
#include "window/window_system.h"

namespace px {
namespace win32 {

bool active();
// The real window's handle (an HWND of Windows) as a number; 0 without one.
uintptr_t native_handle(HWND hwnd);

}  // namespace win32
}  // namespace px
