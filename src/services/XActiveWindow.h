#pragma once

#include "FocusedWindow.h"

#include <optional>

// The X session's active window, followed through PropertyNotify on the root
// window of the kept connection: the server is asked about the window again
// only after _NET_ACTIVE_WINDOW changed, not on every call. Main thread only.
namespace XActiveWindow {

// nullopt outside an X11 session, when the display is gone or no window is active.
std::optional<FocusedWindow> current();

} // namespace XActiveWindow
