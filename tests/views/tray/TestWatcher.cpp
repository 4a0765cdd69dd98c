#include "TestWatcher.h"

#include "TestEnv.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>

using namespace Qt::StringLiterals;

TestWatcher::TestWatcher()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"test-watcher"_s))
{
}

TestWatcher::~TestWatcher()
{
    stop();
    QDBusConnection::disconnectFromBus(u"test-watcher"_s);
}

bool TestWatcher::start()
{
    m_bus.registerObject(u"/StatusNotifierWatcher"_s, this, QDBusConnection::ExportAllSlots);
    m_owned = m_bus.registerService(u"org.kde.StatusNotifierWatcher"_s);
    return m_owned;
}

void TestWatcher::stop()
{
    if (!m_owned)
        return;
    m_bus.unregisterService(u"org.kde.StatusNotifierWatcher"_s);
    m_bus.unregisterObject(u"/StatusNotifierWatcher"_s);
    m_owned = false;
}

void TestWatcher::RegisterStatusNotifierItem(const QString &service)
{
    const QString sender = message().service();
    m_registered.append(service);
    // Follow the item's label like a panel does.
    m_bus.connect(sender, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"XAyatanaNewLabel"_s, this,
                  SLOT(onNewLabel(QString, QString)));
    m_bus.connect(sender, u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s,
                  this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

void TestWatcher::onNewLabel(const QString &label, const QString &)
{
    m_labels.append(label);
}

void TestWatcher::onPropertiesChanged(const QString &, const QVariantMap &, const QStringList &)
{
    ++m_propertiesChanged;
}

QDBusMessage TestWatcher::call(const QString &service, const QString &path, const QString &interface,
                               const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = m_bus.asyncCall(message, 5000);
    TestEnv::waitFor([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

QVariantMap TestWatcher::properties(const QString &service)
{
    const QDBusMessage reply = call(service, u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s,
                                    u"GetAll"_s, {u"org.kde.StatusNotifierItem"_s});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}
