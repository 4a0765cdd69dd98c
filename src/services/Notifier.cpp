#include "Notifier.h"

#include "SessionBus.h"

#include <QDBusMessage>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace Notifier {

void send(const QString &title, const QString &body)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
                                                         u"/org/freedesktop/Notifications"_s,
                                                         u"org.freedesktop.Notifications"_s, u"Notify"_s);
    QVariantMap hints;
    hints.insert(u"sound-name"_s, QString::fromLatin1(soundName));
    // Replaces id 0: every notice is a new one, so two sent in the same
    // second both show. Expiry -1 leaves the timing to the server.
    notify.setArguments({QString::fromLatin1(appName), 0u, QString::fromLatin1(iconName), title, body,
                         QStringList(), hints, -1});
    // Sent without waiting for an answer: a missing or stuck service only
    // loses the notice.
    bus.send(notify);
}

void requestAuthorization()
{
}

void installDelegate()
{
}

} // namespace Notifier
