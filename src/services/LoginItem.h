#pragma once

#include <QString>

#include <optional>

// Launch at login through the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/zimbrel.desktop.
namespace LoginItem {

inline constexpr auto failureMessage =
    "Your desktop didn't allow this. Add Zimbrel to your startup applications in your desktop's settings.";

// Writes (on) or removes (off) the entry. Nothing on success, the failure
// message when the change could not be made.
std::optional<QString> set(bool on);

// The real status: the entry exists and is neither Hidden nor disabled.
bool enabled();

QString entryPath();

// Where this build installs zimbrel (CMAKE_INSTALL_FULL_BINDIR); the entry
// names it when it is there, else the running program, else "zimbrel".
QString installedProgram();

// `program` written as the Exec value of a desktop entry: quoted and escaped
// so that spaces, quotes, '$', '%' or line breaks in the path stay part of it.
QString execArgument(const QString &program);

} // namespace LoginItem
