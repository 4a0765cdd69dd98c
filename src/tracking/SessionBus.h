#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Payload-free signals on the D-Bus session bus. Without a session bus,
// posting and observing do nothing: no error and no hang.
namespace SessionBus {

// The session bus, or a disconnected connection when there is none. It never
// makes libdbus start a stray bus of its own.
QDBusConnection connection();
bool available();

// Emits path/interface/member with no arguments.
void post(const QString &path, const QString &interface, const QString &member);

// Connects `slot` of `receiver` to the signal from any sender.
bool observe(const QString &path, const QString &interface, const QString &member, QObject *receiver,
             const char *slot);

// Waits until everything sent so far has left this process (a short round
// trip to the bus), so a program may exit right after posting.
void flush();

} // namespace SessionBus

// "Someone changed the timer snapshot": posted by every save, observed by the app.
namespace ChangeSignal {
inline constexpr auto path = "/com/corvane/native/tracking";
inline constexpr auto interface = "com.corvane.native.tracking";
inline constexpr auto member = "changed";

void post();
bool observe(QObject *receiver, const char *slot);
} // namespace ChangeSignal
