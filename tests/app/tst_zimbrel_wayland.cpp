// The zimbrel program in a real headless KWin session: its window runs
// natively on Wayland under its application id, and a second launch brings
// it back and gives it the focus.
#include "TestEnv.h"
#include "WaylandDesktop.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Window {
    QString resourceClass;
    QString desktopFile;
    bool active = false;
    bool minimized = false;
};

// The windows of process `pid` (popups included), as KWin knows them.
QList<Window> windowsOf(WaylandDesktop &desktop, qint64 pid)
{
    const std::optional<QStringList> lines = desktop.runKWinScript(
        u"const all = workspace.clientList();\n"
        "for (let i = 0; i < all.length; ++i)\n"
        "    if (all[i].pid == %1)\n"
        "        report(all[i].resourceClass, all[i].desktopFileName, all[i].active, all[i].minimized);"_s.arg(pid));
    QList<Window> windows;
    for (const QString &line : lines.value_or(QStringList())) {
        const QStringList f = line.split(u'\t');
        if (f.size() == 4)
            windows.append({f[0], f[1], f[2] == "true"_L1, f[3] == "true"_L1});
    }
    return windows;
}

// What a launcher or a tray host does first: a token from the compositor.
QString activationToken(WaylandDesktop &desktop)
{
    QProcess *launcher = desktop.start(TestEnv::buildPath(u"tests/support/activation_token"_s),
                                       {u"com.corvane.native.Zimbrel"_s});
    if (!launcher->waitForFinished(10000) || launcher->exitCode() != 0)
        return {};
    return QString::fromUtf8(launcher->readAllStandardOutput()).trimmed();
}

bool minimize(WaylandDesktop &desktop, qint64 pid)
{
    return desktop
        .runKWinScript(u"const all = workspace.clientList();\n"
                       "for (let i = 0; i < all.length; ++i)\n"
                       "    if (all[i].pid == %1) all[i].minimized = true;"_s.arg(pid))
        .has_value();
}

} // namespace

class TestZimbrelWayland : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nativeWindowComesBackOnASecondLaunch()
    {
        WaylandDesktop desktop(WaylandDesktop::Shell::KWin);
        if (!desktop.isRunning())
            QSKIP(qPrintable(desktop.failure()));
        const QString program = TestEnv::buildPath(u"src/app/zimbrel"_s);
        QProcess *first = desktop.start(program, {u"--demo"_s});
        QVERIFY(first->waitForStarted());
        QList<Window> windows;
        QVERIFY(TestEnv::waitFor(
            [&] {
                windows = windowsOf(desktop, first->processId());
                return !windows.isEmpty();
            },
            30000));
        // Natively on Wayland the class is the application id (through
        // Xwayland it would be the X class "zimbrel").
        QCOMPARE(windows.size(), 1);
        QCOMPARE(windows[0].resourceClass, u"com.corvane.native.Zimbrel"_s);

        QVERIFY(minimize(desktop, first->processId()));
        QVERIFY(TestEnv::waitFor([&] { return !windowsOf(desktop, first->processId()).value(0).active; }, 10000));

        // Without the launcher's token the compositor would keep it minimised.
        const QString token = activationToken(desktop);
        QVERIFY(!token.isEmpty());
        QProcessEnvironment launched;
        launched.insert(u"XDG_ACTIVATION_TOKEN"_s, token);
        QProcess *second = desktop.start(program, {}, launched);
        QVERIFY(second->waitForFinished(20000));
        QVERIFY2(second->exitStatus() == QProcess::NormalExit && second->exitCode() == 0,
                 qPrintable(u"exit %1 (%2): %3 %4; the first program %5: %6"_s.arg(second->exitCode())
                                .arg(second->exitStatus())
                                .arg(QString::fromLocal8Bit(second->readAllStandardOutput()),
                                     QString::fromLocal8Bit(second->readAllStandardError()),
                                     first->state() == QProcess::Running ? u"runs"_s : u"ended"_s,
                                     QString::fromLocal8Bit(first->readAllStandardError()))));
        QVERIFY(TestEnv::waitFor(
            [&] {
                windows = windowsOf(desktop, first->processId());
                return windows.size() == 1 && !windows[0].minimized && windows[0].active;
            },
            10000));
        QCOMPARE(first->state(), QProcess::Running);
    }

    void trayIconBringsUpTheWindowNotThePanel()
    {
        WaylandDesktop desktop(WaylandDesktop::Shell::KWin);
        if (!desktop.isRunning())
            QSKIP(qPrintable(desktop.failure()));
        QProcess *app = desktop.start(TestEnv::buildPath(u"src/app/zimbrel"_s), {u"--demo"_s});
        QVERIFY(TestEnv::waitFor([&] { return windowsOf(desktop, app->processId()).size() == 1; }, 30000));
        QVERIFY(minimize(desktop, app->processId()));
        QVERIFY(TestEnv::waitFor([&] { return windowsOf(desktop, app->processId()).value(0).minimized; }, 10000));

        // As Plasma's tray does: a token, then the click.
        const QString item = u"org.kde.StatusNotifierItem-%1-1"_s.arg(app->processId());
        const QString token = activationToken(desktop);
        QVERIFY(!token.isEmpty());
        QVERIFY(desktop.call(item, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem.ProvideXdgActivationToken"_s,
                             {token}));
        QVERIFY(desktop.call(item, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem.Activate"_s,
                             {u"1800"_s, u"10"_s}));
        QList<Window> windows;
        QVERIFY(TestEnv::waitFor(
            [&] {
                windows = windowsOf(desktop, app->processId());
                return windows.size() == 1 && !windows[0].minimized && windows[0].active;
            },
            10000));
        QCOMPARE(windows[0].resourceClass, u"com.corvane.native.Zimbrel"_s);
    }

    void refusedScreenshotIsLoggedOnce()
    {
        WaylandDesktop desktop(WaylandDesktop::Shell::KWin);
        if (!desktop.isRunning())
            QSKIP(qPrintable(desktop.failure()));
        // Refused in the permission store: the portal answers "not allowed".
        QVERIFY(desktop.setPermission(u"screenshot"_s, u"screenshot"_s, QString(), {u"no"_s}));
        QProcess *grab = desktop.start(TestEnv::buildPath(u"tests/services/grab_helper"_s), {});
        QVERIFY(grab->waitForFinished(40000));
        QCOMPARE(grab->exitCode(), 0);
        QCOMPARE(grab->readAllStandardOutput().trimmed(), QByteArray("none"));
        const QString log = QString::fromUtf8(grab->readAllStandardError());
        QCOMPARE(log.count(u"screenshot failed: "_s), 1);
    }
};

QTEST_GUILESS_MAIN(TestZimbrelWayland)
#include "tst_zimbrel_wayland.moc"
