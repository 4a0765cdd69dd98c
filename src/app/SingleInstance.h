#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

class ApplicationService;

// The session-bus half of "one program per session": the running program
// owns com.corvane.native.Zimbrel and answers org.freedesktop.Application;
// a second launch forwards Activate to it and ends.
namespace SingleInstance {

enum class Claim { Owned, OwnedElsewhere, NoBus };

// What a launcher handed this process to let its window take the focus:
// "desktop-startup-id" (X11) and "activation-token" (Wayland). Read it
// before the QGuiApplication exists: the X11 platform consumes the variable.
QVariantMap platformDataFromEnvironment();

// On Wayland, hands the launcher's activation token ("activation-token", else
// "desktop-startup-id") to Qt, which spends it on the next window activation
// so the compositor lets the window take the focus. Nothing on X11.
void handOverActivationToken(const QVariantMap &platformData);

// The token handOverActivationToken() would hand over: empty on X11 and when
// the launcher gave none. Handing it over writes the environment, and Qt
// clears it again once spent.
QByteArray activationTokenToHandOver(const QVariantMap &platformData);

// Exports `service` and claims the name (no queueing, no replacement).
Claim claim(QDBusConnection bus, ApplicationService *service);

// Calls Activate on the program that owns the name, giving it up to
// `timeoutMs` to take it (a program started at the same moment may hold the
// lock but not the name yet). Returns false with `error` set on failure.
bool forwardActivate(QDBusConnection bus, const QVariantMap &platformData, int timeoutMs, QString *error);

} // namespace SingleInstance
