// zimbrel-control as a script meets it: arguments, output, exit status, the file on disk.
#include "SessionBus.h"
#include "SharedSuite.h"
#include "TestEnv.h"
#include "TrackingControl.h"
#include "TrackingStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {
struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result control(const QStringList &args)
{
    QProcess p;
    p.start(TestEnv::buildPath(u"src/controls/zimbrel-control"_s), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class TestControlCli : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

public:
    int reloads = 0;

public Q_SLOTS:
    void reloaded() { ++reloads; }

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        m_home = std::make_unique<TestEnv::IsolatedHome>();
    }

    void onOffWritesTheDocumentedJson()
    {
        QCOMPARE(control({u"status"_s}).out, u"Start tracking\n"_s);
        QCOMPARE(control({u"on"_s}).exitCode, 0);

        QFile file(SharedSuite::snapshotPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject doc = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(doc.keys(), (QStringList{u"banked"_s, u"isPrivate"_s, u"isRunning"_s, u"project"_s,
                                           u"sessionID"_s, u"startSynced"_s, u"startedAt"_s, u"task"_s}));
        QCOMPARE(doc.value("isRunning"_L1), QJsonValue(true));
        QCOMPARE(doc.value("startSynced"_L1), QJsonValue(false));
        QCOMPARE(doc.value("project"_L1), QJsonValue(u""_s));
        const double startedAt = doc.value("startedAt"_L1).toDouble();
        QVERIFY(qAbs(startedAt - Instant::now().seconds) < 60);

        // A start from outside, with no project ever chosen.
        QCOMPARE(control({u"status"_s}).out, u"Tracking\n"_s);
        QCOMPARE(control({u"status"_s, u"--json"_s}).out, u"{\"caption\":\"Tracking\",\"isRunning\":true}\n"_s);

        QCOMPARE(control({u"off"_s}).exitCode, 0);
        const TrackingSnapshot s = TrackingStore::load();
        QVERIFY(!s.isRunning && !s.projectID && !s.taskID);
        QCOMPARE(s.pending->size(), 1);
        QCOMPARE(control({u"off"_s}).exitCode, 0); // already stopped: nothing more queued
        QCOMPARE(TrackingStore::load().pending->size(), 1);
    }

    void toggleFlipsAndReloadsControl()
    {
        QVERIFY(SessionBus::observe(u"/com/corvane/native/controls"_s, u"com.corvane.native.controls"_s,
                                    u"tracking"_s, this, SLOT(reloaded())));
        reloads = 0;
        QCOMPARE(control({u"toggle"_s}).exitCode, 0);
        QVERIFY(TrackingStore::load().isRunning);
        QCOMPARE(control({u"toggle"_s}).exitCode, 0);
        QVERIFY(!TrackingStore::load().isRunning);
        QCOMPARE(control({u"on"_s}).exitCode, 0);
        QCOMPARE(control({u"on"_s}).exitCode, 0); // already on: the control still refreshes
        QVERIFY(TestEnv::waitFor([this] { return reloads == 4; }));
    }

    void captionPrefersTaskThenProject()
    {
        TrackingStore::update([](TrackingSnapshot &s) {
            s.project = u"Website"_s;
            s.task = u"Copy edits"_s;
            return true;
        });
        QCOMPARE(control({u"status"_s}).out, u"Start tracking\n"_s); // caption shows only while running
        control({u"on"_s});
        QCOMPARE(control({u"status"_s}).out, u"Copy edits\n"_s);
        TrackingStore::update([](TrackingSnapshot &s) {
            s.task.clear();
            return true;
        });
        QCOMPARE(control({u"status"_s}).out, u"Website\n"_s);
        QCOMPARE(TrackingControl::Provider::previewValue(), (TrackingControl::State{false, u"Tracking"_s}));
    }

    void watchPrintsOnEveryChange()
    {
        QProcess watch;
        watch.start(TestEnv::buildPath(u"src/controls/zimbrel-control"_s), {u"watch"_s});
        QVERIFY(watch.waitForStarted());
        QVERIFY(TestEnv::waitFor([&] { return watch.canReadLine(); }, 10000));
        QCOMPARE(watch.readLine(), QByteArray("Start tracking\n"));
        control({u"on"_s});
        QVERIFY(TestEnv::waitFor([&] { return watch.canReadLine(); }, 10000));
        QCOMPARE(watch.readLine(), QByteArray("Tracking\n"));
        watch.terminate();
        watch.waitForFinished();
    }

    void watchWithoutBusFollowsTheFile()
    {
        QProcess watch;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_home->path()); // no bus socket there either
        watch.setProcessEnvironment(env);
        watch.start(TestEnv::buildPath(u"src/controls/zimbrel-control"_s), {u"watch"_s, u"--json"_s});
        QVERIFY(TestEnv::waitFor([&] { return watch.canReadLine(); }, 10000));
        QCOMPARE(watch.readLine(), QByteArray("{\"caption\":\"Tracking\",\"isRunning\":false}\n"));
        control({u"on"_s});
        QVERIFY(TestEnv::waitFor([&] { return watch.canReadLine(); }, 10000));
        QCOMPARE(watch.readLine(), QByteArray("{\"caption\":\"Tracking\",\"isRunning\":true}\n"));
        watch.terminate();
        watch.waitForFinished();
    }

    void badArgumentsGiveUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("unknown") << QStringList{u"start"_s};
        QTest::newRow("extra") << QStringList{u"on"_s, u"now"_s};
        QTest::newRow("bad flag") << QStringList{u"status"_s, u"--yaml"_s};
    }

    void badArgumentsGiveUsage()
    {
        QFETCH(QStringList, args);
        const Result r = control(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains(u"Usage: zimbrel-control"_s));
        QVERIFY(!QFile::exists(SharedSuite::snapshotPath())); // nothing written
    }

    void failedSaveIsNotSuccess()
    {
        control({u"on"_s});
        // A full disk, for the child too: files may not grow past 16 bytes.
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit tiny = old;
        tiny.rlim_cur = 16;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const Result off = control({u"off"_s});
        const Result toggle = control({u"toggle"_s});
        ::setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(off.exitCode, 1);
        QVERIFY(off.err.contains(u"could not be saved"_s));
        QCOMPARE(toggle.exitCode, 1);
        QVERIFY(TrackingStore::load().isRunning); // still running, as the disk says
    }

    void helpNamesTheControl()
    {
        const Result r = control({u"--help"_s});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(u"Track time"_s));
        QVERIFY(r.out.contains(u"Start or stop your Zimbrel timer."_s));
    }
};

QTEST_GUILESS_MAIN(TestControlCli)
#include "tst_control_cli.moc"
