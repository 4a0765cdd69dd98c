#pragma once

#include <QString>

// Name of the application whose window is active: the installed .desktop
// entry's name for the window's class, else the class, else the process name;
// "Unknown" when there is no active window (and on Wayland for now).
namespace FrontmostApp {

inline constexpr auto unknown = "Unknown";

QString name();

// The display name for a window class from the installed .desktop entries
// (StartupWMClass or file name), empty when none matches. Cached per class.
QString desktopEntryName(const QString &windowClass);

} // namespace FrontmostApp
