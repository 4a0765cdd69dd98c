// The file store, on a session bus where nobody provides the Secret Service.
#include "Keychain.h"

#include "PrivateBus.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
const QString account = QStringLiteral("token");

int mode(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

int g_fileStoreNotes = 0;
QtMessageHandler g_previous = nullptr;
void countNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("keeping the session in")))
        ++g_fileStoreNotes;
    g_previous(type, context, message);
}
} // namespace

class TestKeychainFile : public QObject {
    Q_OBJECT
    PrivateBus m_bus;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        // A private bus that lists no services, so nothing can be activated.
        QVERIFY(!m_bus.start().isEmpty());

        m_home = std::make_unique<TestEnv::IsolatedHome>();
        g_previous = qInstallMessageHandler(countNotes);
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previous);
    }

    void storesInProtectedFile()
    {
        QCOMPARE(Keychain::read(account), std::nullopt);
        Keychain::save(QStringLiteral("first"), account);
        Keychain::save(QStringLiteral("sécond"), account);
        QCOMPARE(Keychain::read(account), std::optional<QString>(QStringLiteral("sécond")));

        const QString file = Keychain::fallbackPath(account);
        QCOMPARE(file, m_home->data() + QStringLiteral("/zimbrel/keyring/com.corvane.native.session/token"));
        QFile stored(file);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QStringLiteral("sécond").toUtf8()); // the bytes, nothing else
        QCOMPARE(mode(file), 0600);
        QCOMPARE(mode(QFileInfo(file).path()), 0700);
        QCOMPARE(mode(QFileInfo(QFileInfo(file).path()).path()), 0700);
        // No temporary file left beside it.
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files), QStringList{account});

        Keychain::remove(account);
        QCOMPARE(Keychain::read(account), std::nullopt);
        QVERIFY(!QFile::exists(file));
        Keychain::remove(account);

        Keychain::save(QString(), account);
        QCOMPARE(Keychain::read(account), std::optional<QString>(QString()));

        QCOMPARE(g_fileStoreNotes, 1); // said once, not on every call
    }

    void foldersArePrivateWhateverTheUmask()
    {
        TestEnv::IsolatedHome home;
        const mode_t old = ::umask(0);
        Keychain::save(QStringLiteral("v"), account);
        ::umask(old);
        const QString file = Keychain::fallbackPath(account);
        QCOMPARE(mode(file), 0600);
        QCOMPARE(mode(home.data() + QStringLiteral("/zimbrel")), 0700);
        QCOMPARE(mode(home.data() + QStringLiteral("/zimbrel/keyring")), 0700);
        QCOMPARE(mode(QFileInfo(file).path()), 0700);
        Keychain::remove(account);
    }

    void unreadableFileIsNothing()
    {
        const QString file = Keychain::fallbackPath(account);
        Keychain::save(QStringLiteral("x"), account);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("\xff\xfe\x80");
        f.close();
        QCOMPARE(Keychain::read(account), std::nullopt);
    }

    void accountNamesStayInsideTheFolder()
    {
        const QString root = m_home->data() + QStringLiteral("/zimbrel/keyring/com.corvane.native.session/");
        for (const QString &name : {QStringLiteral("../escape"), QStringLiteral(".."), QStringLiteral("."),
                                    QString(), QStringLiteral("a/b")}) {
            const QString path = Keychain::fallbackPath(name);
            QVERIFY2(QFileInfo(path).absolutePath() + QLatin1Char('/') == root, qPrintable(path));
            Keychain::save(QStringLiteral("v"), name);
            QCOMPARE(Keychain::read(name), std::optional<QString>(QStringLiteral("v")));
            Keychain::remove(name);
        }
        QVERIFY(!QFile::exists(m_home->data() + QStringLiteral("/zimbrel/keyring/escape")));
    }
};

QTEST_GUILESS_MAIN(TestKeychainFile)
#include "tst_keychainfile.moc"
