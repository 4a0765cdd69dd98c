#pragma once

#include <QString>
#include <QUrl>

// Input monitoring and screen capture access, and the help page that explains
// how to grant them.
namespace Permissions {

inline constexpr auto listenEvent = "Privacy_ListenEvent";
inline constexpr auto screenCapture = "Privacy_ScreenCapture";
// The help section on how the application in front is learnt (the GNOME
// Shell extension).
inline constexpr auto frontmostApp = "FrontmostApp";

// True when the system-wide input tap can run.
bool preflightInput();
// Nothing can be granted from here on X; answers the preflight.
bool requestInput();
// True in an X session, or on Wayland when the screenshot portal answers.
bool preflightScreen();
bool requestScreen();

// The installed help page at the section for `anchor`; empty for an unknown
// anchor or when the page is not installed.
QUrl helpUrl(const QString &anchor);
// Where this build installs the help page (under CMAKE_INSTALL_FULL_DATADIR),
// the last place helpUrl looks.
QString installedHelpPage();
// Opens helpUrl(anchor) in the desktop's browser; false when there is none.
bool open(const QString &anchor);

} // namespace Permissions
