#include "GnomeFocus.h"

#include "SessionBus.h"
#include "TrackingLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

GnomeFocus::GnomeFocus(QObject *parent)
    : FocusSource(parent)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return;
    const QString name = QString::fromLatin1(service);
    auto *watcher = new QDBusServiceWatcher(name, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                if (owner.isEmpty()) {
                    if (live())
                        qCWarning(lcTracking) << "focus: the GNOME Shell extension" << uuid << "went away";
                    setGone();
                } else {
                    ask();
                }
            });
    bus.connect(name, QString::fromLatin1(path), QString::fromLatin1(interface), u"Changed"_s, this,
                SLOT(onChanged(QDBusMessage)));
    ask();
}

void GnomeFocus::ask()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(path),
                                                       QString::fromLatin1(interface), u"Get"_s);
    call.setAutoStartService(false);
    auto *pending = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(call, 2000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ReplyMessage) {
            take(reply);
            return;
        }
        // Not installed or not enabled: said once, only where it is expected.
        if (!m_warned && qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains("GNOME"_L1)) {
            m_warned = true;
            qCWarning(lcTracking) << "focus: the GNOME Shell extension" << uuid
                                  << "does not answer:" << reply.errorName();
        }
        setGone();
    });
}

void GnomeFocus::onChanged(const QDBusMessage &message)
{
    take(message);
}

void GnomeFocus::take(const QDBusMessage &message)
{
    if (message.signature() != "ssu"_L1) {
        if (!m_warned) {
            m_warned = true;
            qCWarning(lcTracking) << "focus: the GNOME Shell extension sent" << message.signature()
                                  << "instead of (ssu)";
        }
        setGone();
        return;
    }
    const QVariantList args = message.arguments();
    setWindow(FocusedWindow{args.at(0).toString().trimmed(), args.at(1).toString().trimmed(),
                            qint64(args.at(2).toUInt())});
}
