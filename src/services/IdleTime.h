#pragma once

// Seconds since the user's last keyboard or mouse input in this session: on
// X11 the server's idle alarms (XIdleTime), else the XScreenSaver query; on
// Wayland the compositor's idle notifications (KWin, wlroots), else GNOME's
// or the freedesktop idle interface on the session bus; else 0 (which never
// triggers an idle nudge).
namespace IdleTime {

double seconds();

} // namespace IdleTime
