#pragma once

#include "FocusedWindow.h"

#include <QString>

// Name of the application whose window is active: the installed .desktop
// entry's name for the window's class, else the class, else the process name;
// "Unknown" when nothing has focus or the desktop offers no way to tell. X11
// follows the root window; on Wayland the desktop's own channel reports
// (GNOME Shell extension, KWin script, sway's IPC socket).
namespace FrontmostApp {

inline constexpr auto unknown = "Unknown";

QString name();
// Opens the desktop's channel now (on Wayland: the KWin script is loaded, the
// extension asked), so the first answers are ready before they are needed.
void follow();

// The name for what a desktop reported: the desktop entry's name for the app
// id or window class, else the class, else the app id, else the process name.
QString nameFor(const FocusedWindow &window);

// The display name for a window class from the installed .desktop entries
// (StartupWMClass or file name), empty when none matches. Cached per class.
QString desktopEntryName(const QString &windowClass);

} // namespace FrontmostApp
