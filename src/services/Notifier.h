#pragma once

#include <QString>

// User-facing notices over org.freedesktop.Notifications on the session bus.
namespace Notifier {

inline constexpr auto appName = "Zimbrel";
inline constexpr auto iconName = "zimbrel";
inline constexpr auto soundName = "message-new-instant";

// Sends a notice with the default sound and returns at once; the answer is
// never awaited. Nothing happens without a bus or a notification service.
void send(const QString &title, const QString &body);

// Notices need no authorisation and no presentation delegate here; these
// exist so the model's start-up and preference setters read the same
// everywhere.
void requestAuthorization();
void installDelegate();

} // namespace Notifier
