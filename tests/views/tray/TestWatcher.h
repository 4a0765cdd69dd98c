#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// A StatusNotifier host as far as an item can tell: it owns
// org.kde.StatusNotifierWatcher on a connection of its own, records who
// registers, and reads items the way panels do (GetAll, GetLayout, Event),
// listening to the label signals.
class TestWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public:
    TestWatcher();
    ~TestWatcher() override;

    bool start();
    void stop();
    QDBusConnection bus() const { return m_bus; }

    QStringList registered() const { return m_registered; }
    // The labels announced with XAyatanaNewLabel, in order.
    QStringList labels() const { return m_labels; }
    int propertiesChanged() const { return m_propertiesChanged; }

    // A call from this connection, answered while the event loop runs (the
    // item lives on the same thread).
    QDBusMessage call(const QString &service, const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {});
    QVariantMap properties(const QString &service);

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service);

private Q_SLOTS:
    void onNewLabel(const QString &label, const QString &guide);
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    QDBusConnection m_bus;
    QStringList m_registered;
    QStringList m_labels;
    int m_propertiesChanged = 0;
    bool m_owned = false;
};
