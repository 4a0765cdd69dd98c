#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QObject>

// A settings portal on its own connection to the test bus, answering
// color-scheme like org.freedesktop.portal.Desktop does.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    FakePortal();
    ~FakePortal() override;
    bool start();

    // The answer to reads: a number normally, anything to test bad values.
    QVariant scheme = 0u;
    // Behave like a version 1 portal that only knows Read.
    bool readOneMissing = false;

    // Other settings, by "namespace/key".
    QHash<QString, QVariant> settings;

    // Changes another setting and announces it.
    void changeSetting(const QString &ns, const QString &key, const QVariant &value);
    // Changes the answer and announces it with SettingChanged.
    void change(const QVariant &value, const QString &key = QStringLiteral("color-scheme"));

public Q_SLOTS:
    Q_SCRIPTABLE QDBusVariant ReadOne(const QString &ns, const QString &key);
    Q_SCRIPTABLE QDBusVariant Read(const QString &ns, const QString &key);

private:
    QDBusConnection m_bus;
};
