// Idle time and the frontmost application, against the test desktop's X
// server and session bus.
#include "EnvOverride.h"
#include "ExtraDisplay.h"
#include "FrontmostApp.h"
#include "IdleTime.h"
#include "InputTap.h"
#include "XConnection.h"
#include "XIdleTime.h"
#include "TestEnv.h"
#include "XTool.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

// GNOME's idle monitor, answering from a thread of its own while the test's
// main thread waits in the blocking call.
class FakeIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    qulonglong idleMs = 0;
public Q_SLOTS:
    qulonglong GetIdletime() { return idleMs; }
};

// A freedesktop screensaver whose thread never runs: its calls are never answered.
class StuckScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public Q_SLOTS:
    uint GetSessionIdleTime() { return 7; }
};

namespace {

// An xterm with its own window class, stopped with the test.
class Terminal {
public:
    explicit Terminal(const QString &windowClass)
    {
        m_process.start(u"xterm"_s, {u"-class"_s, windowClass, u"-geometry"_s, u"40x10"_s, u"-e"_s, u"sleep"_s,
                                     u"60"_s});
        m_window = XTool::search({u"--sync"_s, u"--class"_s, windowClass});
    }
    ~Terminal()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    QString id() const { return QString::number(m_window); }

private:
    QProcess m_process;
    qulonglong m_window = 0;
};

} // namespace

class TestDesktopQueries : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run inside scripts/test-env.sh"); }

    // The server's alarms: the seconds run on from "idled" without a request
    // to the server, agree with its own answer, and input brings them down.
    void idleTimeFollowsInput()
    {
        FrontmostApp::name();   // the front window's watch reads the same connection's events
        QVERIFY(XTool::run({u"mousemove"_s, u"10"_s, u"10"_s}));
        QVERIFY(TestEnv::waitFor([] { return IdleTime::seconds() < 1.0; }, 3000));
        QVERIFY(TestEnv::waitFor([] { return IdleTime::seconds() >= 1.5; }, 5000));
        Display *kept = XConnection::session()->display();
        const unsigned long before = XNextRequest(kept);
        const double idle = IdleTime::seconds();
        QVERIFY(TestEnv::waitFor([&] { return IdleTime::seconds() >= idle + 0.3; }, 3000));
        QCOMPARE(XNextRequest(kept), before);

        const std::optional<double> asked = XIdleTime::asked();
        const double counted = IdleTime::seconds();
        QVERIFY(asked);
        QVERIFY2(qAbs(counted - *asked) < 0.5, qPrintable(u"%1 %2"_s.arg(counted).arg(*asked)));

        QVERIFY(XTool::run({u"key"_s, u"shift"_s}));
        QVERIFY(TestEnv::waitFor([] { return IdleTime::seconds() < 1.0; }, 3000));
    }

    // Someone already away when the alarms are set is taken as away at once
    // (the "idled" alarm fires only on the way up), and their return is heard.
    void idleTimeOnANewDisplay()
    {
        ExtraDisplay extra(u"640x480x24"_s);
        QVERIFY(!extra.name().isEmpty());
        const EnvOverride onExtra("DISPLAY", extra.name());
        QVERIFY(TestEnv::waitFor([] { return XIdleTime::asked().value_or(0) >= 1.5; }, 8000));
        const double idle = IdleTime::seconds();
        QVERIFY2(idle >= 1.5 && idle < 30, qPrintable(QString::number(idle)));
        QVERIFY(XTool::run({u"mousemove"_s, u"5"_s, u"5"_s}, extra.name()));
        QVERIFY(TestEnv::waitFor([] { return IdleTime::seconds() < 1.0; }, 3000));
    }

    // The trap catches an error whether or not the failing request has a
    // reply, and a request that succeeded leaves it clean.
    void errorTrapCatchesEveryError()
    {
        std::unique_ptr<XConnection> connection = XConnection::open();
        QVERIFY(connection);
        Display *dpy = connection->display();
        const Window bogus = 0x1fffff;
        {
            XConnection::ErrorTrap trap(*connection);
            XWindowAttributes attributes;
            XGetWindowAttributes(dpy, DefaultRootWindow(dpy), &attributes);
            QVERIFY(!trap.failed());
        }
        {
            XConnection::ErrorTrap trap(*connection);
            XWindowAttributes attributes;
            XGetWindowAttributes(dpy, bogus, &attributes);
            QVERIFY(trap.failed());
        }
        {
            XConnection::ErrorTrap trap(*connection);
            XSelectInput(dpy, bogus, PropertyChangeMask);
            QVERIFY(trap.failed());
        }
    }

    void idleTimeWithoutXAsksTheBus()
    {
        EnvOverride noX("DISPLAY", ":4242");
        // Neither idle service on the test bus: no nudge ever comes.
        QCOMPARE(IdleTime::seconds(), 0.0);

        QThread thread;
        thread.start();
        FakeIdleMonitor gnome;
        gnome.idleMs = 42500;
        gnome.moveToThread(&thread);
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-gnome"_s);
        QVERIFY(other.registerObject(u"/org/gnome/Mutter/IdleMonitor/Core"_s, &gnome, QDBusConnection::ExportAllSlots));
        QVERIFY(other.registerService(u"org.gnome.Mutter.IdleMonitor"_s));
        QCOMPARE(IdleTime::seconds(), 42.5);
        other.unregisterService(u"org.gnome.Mutter.IdleMonitor"_s);
        other.unregisterObject(u"/org/gnome/Mutter/IdleMonitor/Core"_s);
        QDBusConnection::disconnectFromBus(u"fake-gnome"_s);
        thread.quit();
        thread.wait();
    }

    void stuckIdleServiceCostsLittle()
    {
        EnvOverride noX("DISPLAY", ":4242");
        QThread idle;   // not running while asked: nothing answers
        auto *saver = new StuckScreenSaver;
        saver->moveToThread(&idle);
        {
            QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-saver"_s);
            QVERIFY(other.registerObject(u"/org/freedesktop/ScreenSaver"_s, saver, QDBusConnection::ExportAllSlots));
            QVERIFY(other.registerService(u"org.freedesktop.ScreenSaver"_s));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(IdleTime::seconds(), 0.0);
            QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
            other.unregisterService(u"org.freedesktop.ScreenSaver"_s);
            other.unregisterObject(u"/org/freedesktop/ScreenSaver"_s);
        }
        QDBusConnection::disconnectFromBus(u"fake-saver"_s);
        idle.start();
        saver->deleteLater();
        idle.quit();
        idle.wait();
    }

    void frontmostFollowsActivation()
    {
        TestEnv::IsolatedHome home;
        QDir().mkpath(home.data() + u"/applications"_s);
        QFile entry(home.data() + u"/applications/alpha-editor.desktop"_s);
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Alpha Editor\nExec=alpha\n"
                    "StartupWMClass=AlphaTerm\n\n[Desktop Action new]\nName=New Alpha Window\n");
        entry.close();

        Terminal alpha(u"AlphaTerm"_s);
        Terminal beta(u"BetaTerm"_s);
        QVERIFY(alpha.id() != u"0"_s && beta.id() != u"0"_s);

        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, alpha.id()}));
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"Alpha Editor"_s; }, 3000));
        // No entry for this class: the class itself.
        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, beta.id()}));
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"BetaTerm"_s; }, 3000));
        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, alpha.id()}));
        QVERIFY(TestEnv::waitFor([] { return FrontmostApp::name() == u"Alpha Editor"_s; }, 3000));

        // While the active window stays, asking it and the idle time sends
        // the X server nothing.
        Display *kept = XConnection::session()->display();
        IdleTime::seconds();   // sets its alarms on first use
        const unsigned long before = XNextRequest(kept);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(FrontmostApp::name(), u"Alpha Editor"_s);
            IdleTime::seconds();
        }
        QCOMPARE(XNextRequest(kept), before);
    }

    void frontmostWithoutClassUsesTheProcess()
    {
        Display *dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
        const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 50, 50, 200, 100, 0, 0, 0);
        const unsigned long pid = ::getpid();
        XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&pid), 1);
        XMapWindow(dpy, window);
        XSync(dpy, False);
        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, QString::number(window)}));

        QFile comm(u"/proc/self/comm"_s);
        QVERIFY(comm.open(QIODevice::ReadOnly));
        const QString self = QString::fromLocal8Bit(comm.readAll()).trimmed();
        QVERIFY(TestEnv::waitFor([&] { return FrontmostApp::name() == self; }, 3000));

        // The window closes under our feet: no crash, an answer still comes.
        XDestroyWindow(dpy, window);
        XSync(dpy, False);
        QVERIFY(!FrontmostApp::name().isEmpty());
        XCloseDisplay(dpy);
    }

    void frontmostWithoutX()
    {
        EnvOverride noX("DISPLAY", ":4242");
        QCOMPARE(FrontmostApp::name(), u"Unknown"_s);
    }

    // The queries made every few seconds share one kept connection, and a
    // lost X server costs an "Unknown" and a reconnect, not the process.
    void queriesShareOneConnection()
    {
        ExtraDisplay extra(u"640x480x24"_s);
        QVERIFY(!extra.name().isEmpty());
        const EnvOverride onExtra("DISPLAY", extra.name());
        FrontmostApp::name();
        const int opened = XConnection::openedCount();
        for (int i = 0; i < 20; ++i) {
            FrontmostApp::name();
            IdleTime::seconds();
            QVERIFY(InputTap::available());
        }
        QCOMPARE(XConnection::openedCount(), opened);

        // The closed socket is noticed as the event loop runs.
        extra.stop();
        QVERIFY(TestEnv::waitFor([] { return !XConnection::session(); }, 3000));
        QCOMPARE(FrontmostApp::name(), u"Unknown"_s);
        QCOMPARE(IdleTime::seconds(), 0.0);
        QVERIFY(!InputTap::available());

        // Another server under another name: a fresh connection to it.
        ExtraDisplay next(u"640x480x24"_s);
        QVERIFY(!next.name().isEmpty());
        const EnvOverride onNext("DISPLAY", next.name());
        QVERIFY(InputTap::available());
        QCOMPARE(XConnection::openedCount(), opened + 1);
    }

    void desktopEntryMatching()
    {
        TestEnv::IsolatedHome home;
        const QString apps = home.data() + u"/applications"_s;
        QDir().mkpath(apps + u"/vendor"_s);
        const auto write = [&](const QString &name, const QByteArray &text) {
            QFile f(apps + u'/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        // A file name match loses to an entry that declares the class.
        write(u"gamma.desktop"_s, "[Desktop Entry]\nName=Gamma by file name\n");
        write(u"vendor/org.example.Other.desktop"_s, "[Desktop Entry]\nName=Gamma Studio\nStartupWMClass=gamma\n");
        write(u"org.example.Delta.desktop"_s, "[Desktop Entry]\nName=Delta\nName[xx]=Delta localised\n");
        write(u"epsilon.desktop"_s, "[Desktop Entry]\nName=Epsilon\nHidden=true\nStartupWMClass=Epsilon\n");
        QCOMPARE(FrontmostApp::desktopEntryName(u"Gamma"_s), u"Gamma Studio"_s);
        QCOMPARE(FrontmostApp::desktopEntryName(u"delta"_s), u"Delta"_s);
        QCOMPARE(FrontmostApp::desktopEntryName(u"Epsilon"_s), QString());
        QCOMPARE(FrontmostApp::desktopEntryName(QString()), QString());
    }
};

QTEST_MAIN(TestDesktopQueries)
#include "tst_desktopqueries.moc"
