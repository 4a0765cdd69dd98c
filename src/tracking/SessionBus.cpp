#include "SessionBus.h"

#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace SessionBus {

bool available()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    // libdbus also finds the systemd user bus; anything else would make it
    // autolaunch a private bus, which nobody else listens to.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_s);
}

QDBusConnection connection()
{
    if (!available())
        return QDBusConnection(u"zimbrel-no-bus"_s);
    return QDBusConnection::sessionBus();
}

void post(const QString &path, const QString &interface, const QString &member)
{
    QDBusConnection bus = connection();
    if (!bus.isConnected())
        return;
    bus.send(QDBusMessage::createSignal(path, interface, member));
}

bool observe(const QString &path, const QString &interface, const QString &member, QObject *receiver,
             const char *slot)
{
    QDBusConnection bus = connection();
    if (!bus.isConnected())
        return false;
    return bus.connect(QString(), path, interface, member, receiver, slot);
}

void flush()
{
    QDBusConnection bus = connection();
    if (!bus.isConnected())
        return;
    QDBusMessage ping = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                       u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
    bus.call(ping, QDBus::Block, 1000);
}

} // namespace SessionBus

namespace ChangeSignal {

void post()
{
    SessionBus::post(QLatin1StringView(path), QLatin1StringView(interface), QLatin1StringView(member));
}

bool observe(QObject *receiver, const char *slot)
{
    return SessionBus::observe(QLatin1StringView(path), QLatin1StringView(interface), QLatin1StringView(member),
                               receiver, slot);
}

} // namespace ChangeSignal
