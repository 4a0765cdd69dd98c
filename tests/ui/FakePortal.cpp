#include "FakePortal.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace {
const auto service = u"org.freedesktop.portal.Desktop"_s;
const auto path = u"/org/freedesktop/portal/desktop"_s;
} // namespace

FakePortal::FakePortal()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-portal"_s))
{
}

FakePortal::~FakePortal()
{
    m_bus.unregisterObject(path);
    m_bus.unregisterService(service);
    QDBusConnection::disconnectFromBus(u"fake-portal"_s);
}

bool FakePortal::start()
{
    return m_bus.isConnected()
        && m_bus.registerObject(path, this, QDBusConnection::ExportScriptableSlots)
        && m_bus.registerService(service);
}

void FakePortal::change(const QVariant &value, const QString &key)
{
    scheme = value;
    QDBusMessage signal = QDBusMessage::createSignal(path, u"org.freedesktop.portal.Settings"_s, u"SettingChanged"_s);
    signal << u"org.freedesktop.appearance"_s << key << QVariant::fromValue(QDBusVariant(value));
    m_bus.send(signal);
}

void FakePortal::changeSetting(const QString &ns, const QString &key, const QVariant &value)
{
    settings.insert(ns + u'/' + key, value);
    QDBusMessage signal = QDBusMessage::createSignal(path, u"org.freedesktop.portal.Settings"_s, u"SettingChanged"_s);
    signal << ns << key << QVariant::fromValue(QDBusVariant(value));
    m_bus.send(signal);
}

QDBusVariant FakePortal::ReadOne(const QString &ns, const QString &key)
{
    if (readOneMissing) {
        sendErrorReply(QDBusError::UnknownMethod, u"No such method ReadOne"_s);
        return {};
    }
    return Read(ns, key).variant().value<QDBusVariant>();
}

QDBusVariant FakePortal::Read(const QString &ns, const QString &key)
{
    if (const auto it = settings.constFind(ns + u'/' + key); it != settings.cend())
        return QDBusVariant(QVariant::fromValue(QDBusVariant(*it)));
    if (ns != "org.freedesktop.appearance"_L1 || key != "color-scheme"_L1) {
        sendErrorReply(u"org.freedesktop.portal.Error.NotFound"_s, u"Requested setting not found"_s);
        return {};
    }
    // Read wraps the value twice, as the real portal does.
    return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
}
