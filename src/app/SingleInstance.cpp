#include "SingleInstance.h"

#include "ApplicationService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>

using namespace Qt::StringLiterals;

namespace SingleInstance {

QVariantMap platformDataFromEnvironment()
{
    QVariantMap data;
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        data.insert(u"desktop-startup-id"_s, startupId);
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        data.insert(u"activation-token"_s, token);
    return data;
}

QByteArray activationTokenToHandOver(const QVariantMap &platformData)
{
    if (!QGuiApplication::platformName().startsWith("wayland"_L1))
        return {};
    QString token = platformData.value(u"activation-token"_s).toString();
    if (token.isEmpty())
        token = platformData.value(u"desktop-startup-id"_s).toString();
    return token.toUtf8();
}

void handOverActivationToken(const QVariantMap &platformData)
{
    // Qt's Wayland shell takes the token from here when the window next asks
    // for activation, and clears it.
    const QByteArray token = activationTokenToHandOver(platformData);
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token);
}

Claim claim(QDBusConnection bus, ApplicationService *service)
{
    if (!bus.isConnected())
        return Claim::NoBus;
    const QString path = QString::fromLatin1(ApplicationService::objectPath);
    // Export first, then claim: a caller that sees the name finds the object.
    bus.registerObject(path, service, QDBusConnection::ExportAllSlots);
    if (bus.registerService(QString::fromLatin1(ApplicationService::serviceName)))
        return Claim::Owned;
    bus.unregisterObject(path);
    return Claim::OwnedElsewhere;
}

bool forwardActivate(QDBusConnection bus, const QVariantMap &platformData, int timeoutMs, QString *error)
{
    if (!bus.isConnected()) {
        *error = u"no session bus"_s;
        return false;
    }
    const QString name = QString::fromLatin1(ApplicationService::serviceName);
    QDeadlineTimer deadline(timeoutMs);
    while (!bus.interface()->isServiceRegistered(name)) {
        if (deadline.hasExpired()) {
            *error = u"the running program did not take its bus name"_s;
            return false;
        }
        QThread::msleep(20);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(name, QString::fromLatin1(ApplicationService::objectPath),
                                                       QString::fromLatin1(ApplicationService::interfaceName),
                                                       u"Activate"_s);
    call << platformData;
    const QDBusMessage reply = bus.call(call, QDBus::Block, int(std::max<qint64>(1000, deadline.remainingTime())));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *error = reply.errorMessage();
        return false;
    }
    return true;
}

} // namespace SingleInstance
