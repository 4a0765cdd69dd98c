#pragma once

#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

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
// X session: true when Qt runs on X. Wayland session: on GNOME, the answer
// the member gave, as the permission store keeps it; elsewhere, whether the
// screenshot portal is there.
bool preflightScreen();
bool requestScreen();
// Asks for screen capture from the member's click. In a Wayland session
// without access: one portal screenshot, which makes the desktop ask the
// member (GNOME stores the answer); its failure is logged. Then the state as
// preflightScreen() tells it. A click while a request is open asks nothing.
QCoro::Task<bool> requestScreenAccess();
// The screen "Allow…" buttons: requestScreenAccess(), and when access is
// still missing, the help page at the screen capture section.
QCoro::Task<bool> allowScreen();

// The installed help page at the section for `anchor`; empty for an unknown
// anchor or when the page is not installed.
QUrl helpUrl(const QString &anchor);
// Where this build installs the help page (under CMAKE_INSTALL_FULL_DATADIR),
// the last place helpUrl looks.
QString installedHelpPage();
// Opens helpUrl(anchor) in the desktop's browser; false when there is none.
bool open(const QString &anchor);

} // namespace Permissions
