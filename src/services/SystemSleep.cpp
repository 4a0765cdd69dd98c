#include "SystemSleep.h"

#include "TrackingLog.h"

#include <QDBusConnection>
#include <QDBusError>

using namespace Qt::StringLiterals;

SystemSleep::SystemSleep(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    m_watching = bus.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                             u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, this,
                             SLOT(prepareForSleep(bool)));
    if (!m_watching)
        qCWarning(lcTracking, "sleep and wake are not followed: %s", qUtf8Printable(bus.lastError().message()));
}

void SystemSleep::prepareForSleep(bool start)
{
    if (start)
        Q_EMIT sleeping();
    else
        Q_EMIT woke();
}
