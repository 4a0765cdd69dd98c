// Sign-in against a keyring of the test's own on a bus of its own, made
// fresh: it has no default collection yet, and no prompter can be started
// to ask for one, so the keyring cannot take the token.
#include "ModelFixture.h"
#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class TestModelKeyring : public QObject {
    Q_OBJECT
    QTemporaryDir m_keyringHome;
    PrivateBus m_bus;
    QProcess m_keyring;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!m_bus.start().isEmpty());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_keyringHome.path());
        env.insert(u"XDG_DATA_HOME"_s, m_keyringHome.filePath(u"data"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, m_keyringHome.filePath(u"config"_s));
        m_keyring.setProcessEnvironment(env);
        m_keyring.start(u"gnome-keyring-daemon"_s, {u"--foreground"_s, u"--components=secrets"_s});
        QVERIFY(m_keyring.waitForStarted(5000));
        QVERIFY(TestEnv::waitFor([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.secrets"_s).value();
        }, 10000));
    }

    void signInIsKeptInTheFileStoreAndTheMemberIsTold()
    {
        ModelFixture f;
        auto model = f.make();
        QSignalSpy saved(&model->session(), &Session::tokenSaved);
        AsyncTest::await(model->signIn(u"member@example.com"_s, u"secret"_s));
        QVERIFY(model->signedIn());
        QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 1, 10000);
        QCOMPARE(saved.first().first().toBool(), true);
        const QString file = Keychain::fallbackPath(u"token"_s);
        // Only its owner may read it.
        const QFileDevice::Permissions mode = QFile::permissions(file);
        QVERIFY(mode.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                          | QFileDevice::WriteOther)));
        QCOMPARE(f.notices.size(), 1);
        QCOMPARE(f.notices.first().second, AppModel::fileStoreNotice());
        QVERIFY(f.notices.first().second.contains(u"zimbrel/keyring"_s));

        // Told once: signing in again says nothing more.
        model->signOut();
        AsyncTest::await(model->signIn(u"member@example.com"_s, u"secret"_s));
        QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 2, 10000);
        QCOMPARE(f.notices.size(), 1);

        // The next start finds the session; signing out removes it.
        model.reset();
        auto again = f.make();
        QVERIFY(again->signedIn());
        QCOMPARE(again->token(), std::optional<QString>(u"test-token"_s));
        QVERIFY(QFile::exists(file)); // not moved into a keyring that would ask for a new collection
        again->signOut();
        QTRY_VERIFY(!QFile::exists(file));
        again.reset();
        QVERIFY(!f.make()->signedIn());
    }

    void cleanupTestCase()
    {
        m_keyring.terminate();
        m_keyring.waitForFinished(3000);
    }
};

QTEST_MAIN(TestModelKeyring)
#include "tst_model_keyring.moc"
