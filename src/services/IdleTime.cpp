#include "IdleTime.h"

#include "SessionBus.h"
#include "WaylandIdle.h"
#include "XIdleTime.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace {

// A busy or stuck bus service must not hold up the main thread for long.
constexpr int busTimeoutMs = 300;

std::optional<double> fromBus(const QString &service, const QString &path, const QString &interface,
                              const QString &method, double unitSeconds)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, busTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong value = reply.arguments().constFirst().toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return double(value) * unitSeconds;
}

} // namespace

namespace IdleTime {

double seconds()
{
    if (std::optional<double> x = XIdleTime::seconds())
        return *x;
    if (std::optional<double> x = XIdleTime::asked())
        return *x;
    // KWin and wlroots: the compositor's idle notifications, already at hand.
    if (WaylandIdle *wayland = WaylandIdle::session()) {
        if (std::optional<double> idle = wayland->seconds())
            return *idle;
    }
    // Mutter answers in milliseconds, the freedesktop interface in seconds.
    if (std::optional<double> gnome = fromBus(u"org.gnome.Mutter.IdleMonitor"_s,
                                              u"/org/gnome/Mutter/IdleMonitor/Core"_s,
                                              u"org.gnome.Mutter.IdleMonitor"_s, u"GetIdletime"_s, 0.001))
        return *gnome;
    if (std::optional<double> fd = fromBus(u"org.freedesktop.ScreenSaver"_s, u"/org/freedesktop/ScreenSaver"_s,
                                           u"org.freedesktop.ScreenSaver"_s, u"GetSessionIdleTime"_s, 1.0))
        return *fd;
    return 0;
}

} // namespace IdleTime
