#include "IdleTime.h"

#include "SessionBus.h"
#include "WaylandIdle.h"
#include "XConnection.h"

#include <QDBusMessage>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

using namespace Qt::StringLiterals;

namespace {

// A busy or stuck bus service must not hold up the main thread for long.
constexpr int busTimeoutMs = 300;

std::optional<double> fromX11()
{
    XConnection *connection = XConnection::session();
    if (!connection)
        return std::nullopt;
    Display *dpy = connection->display();
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(dpy, &event, &error))
        return std::nullopt;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    if (!info)
        return std::nullopt;
    std::optional<double> idle;
    {
        XConnection::ErrorTrap trap(*connection);
        const Status ok = XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info);
        if (ok && !trap.failed())
            idle = double(info->idle) / 1000.0;
    }
    XFree(info);
    return idle;
}

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
    if (std::optional<double> x = fromX11())
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
