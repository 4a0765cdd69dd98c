// A Secret Service whose activation fails (its program is missing or exits at
// once) is no Secret Service: the token goes to the file store.
#include "Keychain.h"

#include "PrivateBus.h"
#include "TestEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestKeychainSpawn : public QObject {
    Q_OBJECT
    QTemporaryDir m_services;
    PrivateBus m_bus;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QFile service(m_services.filePath(QStringLiteral("org.freedesktop.secrets.service")));
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write("[D-BUS Service]\nName=org.freedesktop.secrets\nExec=/bin/false\n");
        service.close();
        QVERIFY(!m_bus.start(m_services.path()).isEmpty());
        m_home = std::make_unique<TestEnv::IsolatedHome>();
    }

    void failedActivationMeansFileStore()
    {
        const QString account = QStringLiteral("token");
        QCOMPARE(Keychain::read(account), std::nullopt);
        Keychain::save(QStringLiteral("kept"), account);
        QVERIFY(QFile::exists(Keychain::fallbackPath(account)));
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("kept")));
        Keychain::remove(account);
        QVERIFY(!QFile::exists(Keychain::fallbackPath(account)));
    }
};

QTEST_GUILESS_MAIN(TestKeychainSpawn)
#include "tst_keychainspawn.moc"
