// Against the Secret Service of the test desktop (gnome-keyring).
#include "Keychain.h"

#include "ProgramRun.h"
#include "TestEnv.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>
#include <QTest>

namespace {
const QString account = QStringLiteral("token");

// What other programs see: secret-tool finds the item by its attributes.
QByteArray lookup(const QString &acct)
{
    const ProgramRun r = ProgramRun::run(QStringLiteral("secret-tool"),
                                         {QStringLiteral("lookup"), QStringLiteral("service"),
                                          QStringLiteral("com.corvane.native.session"), QStringLiteral("account"), acct});
    return r.exitCode == 0 ? r.out.toUtf8() : QByteArray("<none>");
}

int labelCount(const QString &acct)
{
    const ProgramRun r = ProgramRun::run(QStringLiteral("secret-tool"),
                                         {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"),
                                          QStringLiteral("com.corvane.native.session"), QStringLiteral("account"), acct});
    return int((r.out + r.err).count(QStringLiteral("label = Zimbrel session")));
}

// A token the file store kept while no keyring ran.
void writeFileStore(const QString &acct, const QByteArray &value)
{
    const QString path = Keychain::fallbackPath(acct);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(value);
}
} // namespace

class TestKeychain : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty(), "run inside scripts/test-env.sh");
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        Keychain::remove(account);
    }
    void cleanup() { Keychain::remove(account); }

    void saveReadReplaceDelete()
    {
        QCOMPARE(Keychain::read(account), std::nullopt);
        Keychain::save(QStringLiteral("first"), account);
        Keychain::save(QStringLiteral("sécond ✓"), account);
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("sécond ✓")));
        QCOMPARE(lookup(account), QStringLiteral("sécond ✓").toUtf8());
        QCOMPARE(labelCount(account), 1); // one item, the second value

        Keychain::remove(account);
        QCOMPARE(Keychain::read(account), std::nullopt);
        QCOMPARE(labelCount(account), 0);
        Keychain::remove(account); // a missing item is fine
        QCOMPARE(Keychain::read(account), std::nullopt);
        // The Secret Service was used, not the file store.
        QVERIFY(!QFile::exists(Keychain::fallbackPath(account)));
    }

    void emptyValueIsPresent()
    {
        Keychain::save(QString(), account);
        QCOMPARE(Keychain::read(account), std::optional<QString>(QString()));
    }

    // A keyring that appears after a token went to the file store takes over.
    void fileStoreTokenMovesIntoTheKeyring()
    {
        writeFileStore(account, "from-file");
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("from-file")));
        QCOMPARE(lookup(account), QByteArray("from-file"));
        QVERIFY(!QFile::exists(Keychain::fallbackPath(account)));
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("from-file")));
    }

    void signInAndSignOutClearBothStores()
    {
        writeFileStore(account, "stale");
        Keychain::save(QStringLiteral("new"), account);
        QVERIFY(!QFile::exists(Keychain::fallbackPath(account)));
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("new")));

        writeFileStore(account, "left-behind");
        Keychain::remove(account);
        QVERIFY(!QFile::exists(Keychain::fallbackPath(account)));
        QCOMPARE(labelCount(account), 0);
        QCOMPARE(Keychain::read(account), std::nullopt);
    }

    void accountsAreSeparate()
    {
        Keychain::save(QStringLiteral("a"), account);
        Keychain::save(QStringLiteral("b"), QStringLiteral("other"));
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("a")));
        QCOMPARE(Keychain::read(QStringLiteral("other")), std::optional<QString>(QStringLiteral("b")));
        Keychain::remove(QStringLiteral("other"));
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("a")));
    }
};

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
