// The headless Wayland desktops the tests run programs in.
#include "ProgramRun.h"
#include "WaylandDesktop.h"

#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool running(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

class TestWaylandDesktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsServesAndStopsEverything_data()
    {
        QTest::addColumn<WaylandDesktop::Shell>("shell");
        QTest::newRow("GNOME Shell") << WaylandDesktop::Shell::Gnome;
        QTest::newRow("KWin") << WaylandDesktop::Shell::KWin;
    }

    void startsServesAndStopsEverything()
    {
        QFETCH(WaylandDesktop::Shell, shell);
        WaylandDesktop desktop(shell);
        if (!desktop.isRunning())
            QSKIP(qPrintable(desktop.failure()));

        const QProcessEnvironment env = desktop.environment();
        QVERIFY(QFileInfo(env.value(u"XDG_RUNTIME_DIR"_s) + u'/' + QString::fromLocal8Bit(desktop.waylandDisplay()))
                    .exists());
        QCOMPARE(env.value(u"XDG_SESSION_TYPE"_s), u"wayland"_s);
        QVERIFY(!env.contains(u"QT_QPA_PLATFORM"_s));

        // Xwayland answers X clients of the session.
        QVERIFY(!desktop.display().isEmpty());
        ProgramRun::Options options;
        options.environment = env;
        QCOMPARE(ProgramRun::run(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}, options).exitCode, 0);

        // The portals start on demand and see the display.
        const QImage screen = desktop.screenshot();
        QCOMPARE(screen.size(), QSize(1920, 1080));

        const QList<qint64> pids = desktop.processIds();
        QVERIFY(pids.size() > 3);
        desktop.stop();
        for (qint64 pid : pids)
            QVERIFY2(!running(pid), qPrintable(u"process %1 outlived the desktop"_s.arg(pid)));
    }

    // KWin 5.27 gives a script loaded after another was unloaded the number,
    // and so the D-Bus object, of one still loaded; ours runs all the same.
    void kwinScriptRunsBesideResidentOnes()
    {
        WaylandDesktop desktop(WaylandDesktop::Shell::KWin);
        if (!desktop.isRunning())
            QSKIP(qPrintable(desktop.failure()));
        const QString kwin = u"org.kde.KWin"_s;
        const QString file = desktop.home() + u"/resident.js"_s;
        QFile script(file);
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write("workspace.clientList();\n") > 0);
        script.close();
        for (const QString &name : {u"resident-a"_s, u"resident-b"_s})
            QVERIFY(desktop.call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.loadScript"_s, {file, name}));
        QVERIFY(desktop.call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.start"_s));
        QCOMPARE(desktop.call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.unloadScript"_s, {u"resident-a"_s}),
                 u"(true,)"_s);

        for (int i = 0; i < 2; ++i) {
            const std::optional<QStringList> lines = desktop.runKWinScript(u"report(\"ran\", 1 + 1);"_s);
            QVERIFY(lines);
            QCOMPARE(*lines, QStringList{u"ran\t2"_s});
        }
    }
};

QTEST_GUILESS_MAIN(TestWaylandDesktop)
#include "tst_waylanddesktop.moc"
