// A Secret Service that never answers (a keyring waiting on a password
// prompt, say) must not block the caller beyond the call limit.
#include "Keychain.h"

#include "PrivateBus.h"
#include "TestEnv.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {
// Takes every call and never replies.
class SilentService : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &, const QDBusConnection &) override
    {
        ++calls;
        return true;
    }
    int calls = 0;
};
} // namespace

class TestKeychainHang : public QObject {
    Q_OBJECT
    PrivateBus m_bus;
    SilentService m_service;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray address = m_bus.start();
        QVERIFY(!address.isEmpty());
        QDBusConnection owner = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("owner"));
        QVERIFY(owner.isConnected());
        QVERIFY(owner.registerService(QStringLiteral("org.freedesktop.secrets")));
        QVERIFY(owner.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &m_service,
                                           QDBusConnection::SubPath));
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        Keychain::setCallLimit(std::chrono::milliseconds(100));
        Keychain::setPromptLimit(std::chrono::milliseconds(100));
    }

    void callsGiveUpInTime()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(Keychain::read(QStringLiteral("token")), std::nullopt);
        // A keyring that does not take the token: the file store keeps it.
        QCOMPARE(Keychain::save(QStringLiteral("secret"), QStringLiteral("token")), Keychain::Kept::file);
        QVERIFY(QFile::exists(Keychain::fallbackPath(QStringLiteral("token"))));
        Keychain::remove(QStringLiteral("token"));
        // Four calls (read, delete + store, delete) of 100 ms each, with room to spare.
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!QFile::exists(Keychain::fallbackPath(QStringLiteral("token"))));
    }
};

QTEST_GUILESS_MAIN(TestKeychainHang)
#include "tst_keychainhang.moc"
