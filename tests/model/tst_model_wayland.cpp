// The model on a headless Wayland desktop (GNOME Shell with our extension,
// or KWin with our script): usage records name the focused application,
// native Wayland and Xwayland alike, and idle time comes from the desktop.
// Built once per desktop, because the session bus is chosen once per process.
#include "FocusExtension.h"
#include "FrontmostApp.h"
#include "GnomeFocus.h"
#include "IdleTime.h"
#include "ModelFixture.h"
#include "WaylandDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

#if ZIMBREL_TEST_GNOME
constexpr auto shell = WaylandDesktop::Shell::Gnome;
#else
constexpr auto shell = WaylandDesktop::Shell::KWin;
#endif

const QString probeId = u"com.corvane.tests.FocusProbe"_s;

void writeEntry(const QString &folder, const QString &file, const QByteArray &text)
{
    QDir().mkpath(folder);
    QFile entry(folder + u'/' + file);
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nExec=true\n" + text);
}

bool usageNamed(const ModelFixture &f, const QString &name)
{
    const auto last = f.server.last(u"usage/logs"_s);
    return last && QJsonDocument(last->json()).toJson().contains(name.toUtf8());
}

} // namespace

class TestModelWayland : public QObject {
    Q_OBJECT

    std::unique_ptr<WaylandDesktop> m_desktop;
    QTemporaryDir m_extensions;

    static void tickAt(ModelFixture &f, AppModel &model, Instant at)
    {
        f.clock = at;
        model.tick(at);
        [&] { QVERIFY(TestEnv::waitFor([&] { return !model.capturing(); }, 10000)); }();
    }

    // The fixture's platform with the desktop's real answers.
    static std::unique_ptr<AppModel> systemModel(ModelFixture &f, QList<double> *idleSeen = nullptr)
    {
        AppModel::Platform p = f.platform();
        p.frontmostApp = [] { return FrontmostApp::name(); };
        p.idleSeconds = [idleSeen] {
            const double idle = IdleTime::seconds();
            if (idleSeen)
                idleSeen->append(idle);
            return idle;
        };
        return std::make_unique<AppModel>(p, AppModel::Launch{});
    }

    static std::unique_ptr<AppModel> signedIn(ModelFixture &f, QList<double> *idleSeen = nullptr)
    {
        auto model = systemModel(f, idleSeen);
        AsyncTest::await(model->signIn(u"member@example.com"_s, u"secret"_s));
        ModelFixture::settle(*model);
        return model;
    }

private Q_SLOTS:
    void initTestCase()
    {
        WaylandDesktop::Options options;
        if (shell == WaylandDesktop::Shell::Gnome) {
            // Our extension as installed, plus one that closes the start-up overview.
            for (const QString &source : {TestEnv::sourcePath(u"data/gnome-shell"_s),
                                          TestEnv::sourcePath(u"tests/model/gnome-test-extensions"_s)}) {
                for (const QString &uuid : QDir(source).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                    const QString target = m_extensions.path() + u'/' + uuid;
                    QDir().mkpath(target);
                    for (const QString &file : QDir(source + u'/' + uuid).entryList(QDir::Files))
                        QVERIFY(QFile::copy(source + u'/' + uuid + u'/' + file, target + u'/' + file));
                    options.extensions.append(uuid);
                }
            }
            options.extensionsFolder = m_extensions.path();
        }
        m_desktop = std::make_unique<WaylandDesktop>(shell, options);
        if (!m_desktop->isRunning())
            QSKIP(qPrintable(m_desktop->failure()));
        m_desktop->enter();
        // The shell loads extensions once its start-up is complete; windows
        // opened before then get no focus.
        if (shell == WaylandDesktop::Shell::Gnome) {
            QVERIFY(TestEnv::waitFor([] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered(u"com.corvane.native.Focus"_s);
            }, 30000));
        }
    }

    void cleanupTestCase()
    {
        if (m_desktop)
            m_desktop->stop();
    }

    void usageRecordsNameTheFocusedApplication()
    {
        ModelFixture f;
        const QString applications = f.home.data() + u"/applications"_s;
        writeEntry(applications, u"probe-terminal.desktop"_s, "Name=Probe Terminal\nStartupWMClass=ProbeTerm\n");
        writeEntry(applications, probeId + u".desktop"_s, "Name=Focus Probe\n");
        auto model = signedIn(f);

        QProcess *xterm = m_desktop->start(u"xterm"_s, {u"-class"_s, u"ProbeTerm"_s, u"-e"_s, u"sleep"_s, u"120"_s});
        QVERIFY2(TestEnv::waitFor([] { return FrontmostApp::name() == u"Probe Terminal"_s; }, 20000),
                 qPrintable(FrontmostApp::name()));

        model->setRunning(true);
        ModelFixture::syncAll(*model);
        f.server.clear();
        const Instant open = f.clock.addSeconds(1);
        tickAt(f, *model, open);
        tickAt(f, *model, open.addSeconds(5));

        // A native Wayland window takes focus: the Xwayland terminal's time is sent.
        QProcessEnvironment native;
        native.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        QProcess *probe = m_desktop->start(TestEnv::buildPath(u"tests/model/focus_probe"_s), {probeId}, native);
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"Focus Probe"_s; }, 20000));
        tickAt(f, *model, open.addSeconds(10));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"usage/logs"_s) == 1; }));
        QVERIFY(usageNamed(f, u"Probe Terminal"_s));

        // It closes and the terminal has focus again: the probe's time is sent.
        probe->kill();
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"Probe Terminal"_s; }, 20000));
        tickAt(f, *model, open.addSeconds(15));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"usage/logs"_s) == 2; }));
        QVERIFY(usageNamed(f, u"Focus Probe"_s));

        xterm->kill();
        model->setRunning(false);
        ModelFixture::settle(*model);
    }

#if ZIMBREL_TEST_GNOME
    // The member switches the extension off: "Unknown", never a stall; the
    // Settings button switches it on again through GNOME Shell.
    void extensionSwitchedOffAndOnAgain()
    {
        QProcess *xterm = m_desktop->start(u"xterm"_s, {u"-class"_s, u"ProbeTerm"_s, u"-e"_s, u"sleep"_s, u"120"_s});
        QString name;
        QVERIFY(TestEnv::waitFor([&] { return (name = FrontmostApp::name()) != u"Unknown"_s; }, 20000));
        FocusExtension extension;
        QVERIFY(FocusExtension::needed());
        QVERIFY(TestEnv::waitFor([&] { return extension.active(); }));

        QDBusMessage disable = QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s,
                                                              u"org.gnome.Shell.Extensions"_s, u"DisableExtension"_s);
        disable.setArguments({QString::fromLatin1(GnomeFocus::uuid)});
        QCOMPARE(QDBusConnection::sessionBus().call(disable).type(), QDBusMessage::ReplyMessage);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"extension .* went away"_s));
        QVERIFY(TestEnv::waitFor([&] { return !extension.active(); }));
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"Unknown"_s; }));

        bool enabled = false;
        extension.enable([&](bool ok) { enabled = ok; });
        QVERIFY(TestEnv::waitFor([&] { return enabled && extension.active(); }, 10000));
        QVERIFY(TestEnv::waitFor([&] { return FrontmostApp::name() == name; }, 10000));
        xterm->kill();
    }
#endif

    void idleTimeComesFromTheDesktop()
    {
        ModelFixture f;
        QList<double> seen;
        auto model = signedIn(f, &seen);
        model->setNotifyIdle(true);
        model->setRunning(true);
        ModelFixture::syncAll(*model);

        // Nobody touches the headless desktop: idle grows, and the nudge reads it.
        double first = 0;
        QVERIFY(TestEnv::waitFor([&] { return (first = IdleTime::seconds()) >= 1.5; }, 15000));
        QVERIFY(TestEnv::waitFor([&] { return IdleTime::seconds() >= first + 1.0; }, 5000));
        for (int i = 0; i < 15; ++i)   // the nudge looks every 15 ticks
            tickAt(f, *model, f.clock.addSeconds(1));
        QVERIFY(!seen.isEmpty());
        QVERIFY(seen.last() >= first + 1.0);

#if ZIMBREL_TEST_GNOME
        // A key pressed through GNOME's remote desktop interface starts it anew.
        QDBusConnection bus = QDBusConnection::sessionBus();
        QDBusMessage create = bus.call(QDBusMessage::createMethodCall(
            u"org.gnome.Mutter.RemoteDesktop"_s, u"/org/gnome/Mutter/RemoteDesktop"_s,
            u"org.gnome.Mutter.RemoteDesktop"_s, u"CreateSession"_s));
        QCOMPARE(create.type(), QDBusMessage::ReplyMessage);
        const QString session = create.arguments().value(0).value<QDBusObjectPath>().path();
        const auto sessionCall = [&](const QString &method, const QVariantList &args) {
            QDBusMessage call = QDBusMessage::createMethodCall(u"org.gnome.Mutter.RemoteDesktop"_s, session,
                                                               u"org.gnome.Mutter.RemoteDesktop.Session"_s, method);
            call.setArguments(args);
            return bus.call(call).type() == QDBusMessage::ReplyMessage;
        };
        QVERIFY(sessionCall(u"Start"_s, {}));
        const double before = IdleTime::seconds();
        QVERIFY(sessionCall(u"NotifyKeyboardKeysym"_s, {0xffe1u, true}));   // Shift
        QVERIFY(sessionCall(u"NotifyKeyboardKeysym"_s, {0xffe1u, false}));
        QVERIFY(TestEnv::waitFor([&] { return IdleTime::seconds() < before && IdleTime::seconds() < 1.0; }, 5000));
        sessionCall(u"Stop"_s, {});
#endif
        model->setRunning(false);
        ModelFixture::settle(*model);
    }
};

QTEST_GUILESS_MAIN(TestModelWayland)
#include "tst_model_wayland.moc"
