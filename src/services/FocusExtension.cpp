#include "FocusExtension.h"

#include "GnomeFocus.h"
#include "SessionBus.h"
#include "TrackingLog.h"
#include "XConnection.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

FocusExtension::FocusExtension(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected() || !needed())
        return;
    const QString name = QString::fromLatin1(GnomeFocus::service);
    auto *watcher = new QDBusServiceWatcher(name, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) { setActive(!owner.isEmpty()); });
    QDBusMessage ask = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                      u"org.freedesktop.DBus"_s, u"NameHasOwner"_s);
    ask.setArguments({name});
    auto *pending = new QDBusPendingCallWatcher(bus.asyncCall(ask, 2000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        setActive(done->reply().arguments().value(0).toBool());
    });
}

bool FocusExtension::needed()
{
    return !XConnection::x11Session() && qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains("GNOME"_L1);
}

void FocusExtension::enable(std::function<void(bool)> done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s,
                                                       u"org.gnome.Shell.Extensions"_s, u"EnableExtension"_s);
    call.setArguments({QString::fromLatin1(GnomeFocus::uuid)});
    call.setAutoStartService(false);
    auto *pending = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(call, 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                const bool enabled = reply.type() == QDBusMessage::ReplyMessage
                                     && reply.arguments().value(0).toBool();
                if (!enabled)
                    qCWarning(lcTracking) << "focus: GNOME Shell did not enable" << GnomeFocus::uuid
                                          << reply.errorMessage();
                done(enabled);
            });
}

void FocusExtension::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    Q_EMIT activeChanged();
}
