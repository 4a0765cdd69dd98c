// Notices on a notification service registered on the test bus, the
// autostart entry, and the permissions help page.
#include "LoginItem.h"
#include "Notifier.h"
#include "Permissions.h"
#include "QuestionNotice.h"
#include "EnvOverride.h"
#include "TestEnv.h"

#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

struct Notice {
    QString app;
    uint replaces = 0;
    QString icon;
    QString title;
    QString body;
    QVariantMap hints;
    int timeout = 0;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<Notice> received;
    QList<uint> closed;
public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &title, const QString &body,
                const QStringList &, const QVariantMap &hints, int timeout)
    {
        received.append({app, replaces, icon, title, body, hints, timeout});
        return replaces ? replaces : uint(received.size());
    }
    void CloseNotification(uint id) { closed.append(id); }
};

namespace {

// Serves `object` as the notification service on a connection of its own.
class Service {
public:
    Service(const QString &name, QObject *object)
        : m_name(name)
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
        m_ok = m_bus.registerObject(u"/org/freedesktop/Notifications"_s, object, QDBusConnection::ExportAllSlots)
               && m_bus.registerService(u"org.freedesktop.Notifications"_s);
    }
    ~Service()
    {
        m_bus.unregisterService(u"org.freedesktop.Notifications"_s);
        m_bus.unregisterObject(u"/org/freedesktop/Notifications"_s);
        QDBusConnection::disconnectFromBus(m_name);
    }
    bool ok() const { return m_ok; }

private:
    QString m_name;
    QDBusConnection m_bus;
    bool m_ok = false;
};

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestDesktopServices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twoNoticesInOneSecondBothArrive()
    {
        FakeNotifications server;
        Service service(u"fake-notifications"_s, &server);
        QVERIFY(service.ok());

        Notifier::requestAuthorization();
        Notifier::installDelegate();
        Notifier::send(u"Still working?"_s, u"No keyboard or mouse movement for 10 minutes."_s);
        Notifier::send(u"Daily goal reached"_s, u"Nice work – 8h 0m tracked today."_s);
        QVERIFY(TestEnv::waitFor([&] { return server.received.size() == 2; }, 3000));

        const Notice &first = server.received[0];
        QCOMPARE(first.app, u"Zimbrel"_s);
        QCOMPARE(first.replaces, 0u);
        QCOMPARE(first.icon, u"zimbrel"_s);
        QCOMPARE(first.title, u"Still working?"_s);
        QCOMPARE(first.body, u"No keyboard or mouse movement for 10 minutes."_s);
        QCOMPARE(first.hints.value(u"sound-name"_s).toString(), u"message-new-instant"_s);
        const Notice &second = server.received[1];
        QCOMPARE(second.replaces, 0u);
        QCOMPARE(second.title, u"Daily goal reached"_s);
        QCOMPARE(second.body, u"Nice work – 8h 0m tracked today."_s);
    }

    void aQuestionAskedAgainOrWithdrawnBeforeItIsShownLeavesOneNoticeOrNone()
    {
        FakeNotifications server;
        Service service(u"fake-questions"_s, &server);
        QVERIFY(service.ok());
        QuestionNotice notice;
        const QList<QuestionNotice::Action> actions{{u"keep"_s, u"Keep"_s}};
        notice.ask(u"Away 1"_s, {}, actions);
        notice.ask(u"Away 2"_s, {}, actions);
        QVERIFY(TestEnv::waitFor([&] { return server.received.size() == 2; }));
        QCOMPARE(server.received[1].replaces, 1u);
        QCOMPARE(server.received[1].title, u"Away 2"_s);

        notice.ask(u"Away 3"_s, {}, actions);
        notice.withdraw();
        QVERIFY(TestEnv::waitFor([&] { return !server.closed.isEmpty(); }));
        QCOMPARE(server.closed, QList<uint>{1u});
        QVERIFY(server.received.size() == 2 || server.received[2].replaces == 1u);
    }

    void missingOrSilentServiceNeverBlocks()
    {
        QElapsedTimer clock;
        clock.start();
        Notifier::send(u"Nobody"_s, u"listens"_s);

        // A service whose thread never runs receives the call and never answers.
        QThread stalled;
        auto *server = new FakeNotifications;
        server->moveToThread(&stalled);
        {
            Service service(u"stalled-notifications"_s, server);
            QVERIFY(service.ok());
            Notifier::send(u"Stuck"_s, u"service"_s);
            Notifier::send(u"Stuck"_s, u"again"_s);
            QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(server->received.isEmpty());
        }
        // Let the thread run once to dispose of the object in its own thread.
        stalled.start();
        server->deleteLater();
        stalled.quit();
        stalled.wait();

        // No session bus at all.
        {
            const EnvOverride noBus("DBUS_SESSION_BUS_ADDRESS", {});
            const EnvOverride noRuntime("XDG_RUNTIME_DIR", {});
            Notifier::send(u"No"_s, u"bus"_s);
        }
        QVERIFY(clock.elapsed() < 500);
    }

    void launchAtLoginCreatesAndRemovesTheEntry()
    {
        TestEnv::IsolatedHome home;
        const QString path = home.config() + u"/autostart/zimbrel.desktop"_s;
        QCOMPARE(LoginItem::entryPath(), path);
        QVERIFY(!LoginItem::enabled());

        QCOMPARE(LoginItem::set(true), std::nullopt);
        QVERIFY(LoginItem::enabled());
        QFile entry(path);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        entry.close();
        QVERIFY(text.startsWith(u"[Desktop Entry]\n"_s));
        QVERIFY(text.contains(u"\nType=Application\n"_s));
        // It starts in the tray, its window hidden.
        QVERIFY(QRegularExpression(u"\nExec=\\S*zimbrel --tray\n"_s).match(text).hasMatch());
        QCOMPARE(LoginItem::set(true), std::nullopt);

        QCOMPARE(LoginItem::set(false), std::nullopt);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!LoginItem::enabled());
        QCOMPARE(LoginItem::set(false), std::nullopt);
    }

    // The install folders this build was configured with, not empty strings.
    void installPathsAreCompiledIn()
    {
        QCOMPARE(LoginItem::installedProgram(), QStringLiteral(EXPECTED_BINDIR "/zimbrel"));
        QVERIFY(QDir::isAbsolutePath(LoginItem::installedProgram()));
        QVERIFY(LoginItem::installedProgram() != u"/zimbrel"_s);
        QCOMPARE(Permissions::installedHelpPage(), QStringLiteral(EXPECTED_DATADIR "/zimbrel/help/permissions.html"));
        QVERIFY(!Permissions::installedHelpPage().startsWith(u"/zimbrel/"_s));
    }

    void disabledEntriesReadAsOff()
    {
        TestEnv::IsolatedHome home;
        const QString path = home.config() + u"/autostart/zimbrel.desktop"_s;
        writeFile(path, "[Desktop Entry]\nType=Application\nExec=zimbrel\nHidden=true\n");
        QVERIFY(!LoginItem::enabled());
        writeFile(path, "[Desktop Entry]\nExec=zimbrel\nX-GNOME-Autostart-enabled=false\n");
        QVERIFY(!LoginItem::enabled());
        // Keys of another group do not count.
        writeFile(path, "[Desktop Entry]\nExec=zimbrel\n[Desktop Action x]\nHidden=true\n");
        QVERIFY(LoginItem::enabled());

        // Switching on replaces a disabled entry with an enabled one.
        writeFile(path, "[Desktop Entry]\nExec=zimbrel\nHidden=true\n");
        QCOMPARE(LoginItem::set(true), std::nullopt);
        QVERIFY(LoginItem::enabled());
    }

    void refusedChangesGiveTheMessage()
    {
        const QString message =
            u"Your desktop didn't allow this. Add Zimbrel to your startup applications in your desktop's settings."_s;
        {
            TestEnv::IsolatedHome home;
            writeFile(home.config() + u"/autostart"_s, "not a folder");
            QCOMPARE(LoginItem::set(true), message);
            QVERIFY(!LoginItem::enabled());
            QCOMPARE(LoginItem::set(false), std::nullopt);
        }
        {
            TestEnv::IsolatedHome home;
            QVERIFY(QDir().mkpath(home.config() + u"/autostart/zimbrel.desktop/inside"_s));
            QCOMPARE(LoginItem::set(true), message);
            QVERIFY(!LoginItem::enabled());
            QCOMPARE(LoginItem::set(false), message);
            QVERIFY(!LoginItem::enabled());
            // Once the obstacle is gone, a change succeeds again.
            QVERIFY(QDir(home.config() + u"/autostart/zimbrel.desktop"_s).removeRecursively());
            QCOMPARE(LoginItem::set(true), std::nullopt);
            QVERIFY(LoginItem::enabled());
        }
    }

    void execArgumentKeepsOddPathsWhole_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << u"/usr/bin/zimbrel"_s << u"/usr/bin/zimbrel"_s;
        QTest::newRow("space") << u"/opt/My Apps/zimbrel"_s << u"\"/opt/My Apps/zimbrel\""_s;
        QTest::newRow("percent") << u"/opt/100%/zimbrel"_s << u"/opt/100%%/zimbrel"_s;
        // \$ in the file: the string escape leaves \$, the quoting rule then $.
        QTest::newRow("dollar") << u"/opt/a$b/zimbrel"_s << u"\"/opt/a\\\\$b/zimbrel\""_s;
        QTest::newRow("line break") << u"/tmp/x\nHidden=true/zimbrel"_s << u"\"/tmp/x\\nHidden=true/zimbrel\""_s;
    }

    void execArgumentKeepsOddPathsWhole()
    {
        QFETCH(QString, program);
        QFETCH(QString, written);
        QCOMPARE(LoginItem::execArgument(program), written);
    }

    void helpPageSections()
    {
        QFile page(TestEnv::sourcePath(u"data/help/permissions.html"_s));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        for (const char *anchor : {Permissions::listenEvent, Permissions::screenCapture, Permissions::frontmostApp}) {
            const QString open = u"<section id=\"%1\">"_s.arg(QLatin1StringView(anchor));
            const qsizetype start = html.indexOf(open);
            QVERIFY2(start >= 0, anchor);
            const QString section = html.mid(start, html.indexOf(u"</section>"_s, start) - start);
            for (const QString &desktop : {u"X11"_s, u"GNOME"_s, u"KDE"_s})
                QVERIFY2(section.contains(desktop), qPrintable(desktop + u" in "_s + QLatin1StringView(anchor)));
        }

        TestEnv::IsolatedHome home;
        const QString installed = home.data() + u"/zimbrel/help/permissions.html"_s;
        QDir().mkpath(QFileInfo(installed).path());
        QVERIFY(QFile::copy(page.fileName(), installed));
        const QUrl url = Permissions::helpUrl(u"Privacy_ScreenCapture"_s);
        QVERIFY(url.isLocalFile());
        QCOMPARE(QFileInfo(url.toLocalFile()).canonicalFilePath(), QFileInfo(installed).canonicalFilePath());
        QCOMPARE(url.fragment(), u"Privacy_ScreenCapture"_s);
        QCOMPARE(Permissions::helpUrl(u"Privacy_ListenEvent"_s).fragment(), u"Privacy_ListenEvent"_s);
        QCOMPARE(Permissions::helpUrl(u"FrontmostApp"_s).fragment(), u"FrontmostApp"_s);
        QVERIFY(Permissions::helpUrl(u"Privacy_Camera"_s).isEmpty());
        QVERIFY(!Permissions::open(u"Privacy_Camera"_s));
    }

    void accessOnX11()
    {
        QVERIFY(Permissions::preflightScreen());
        QVERIFY(Permissions::requestScreen());
        QVERIFY(Permissions::preflightInput());
        QVERIFY(Permissions::requestInput());
    }
};

QTEST_MAIN(TestDesktopServices)
#include "tst_desktopservices.moc"
