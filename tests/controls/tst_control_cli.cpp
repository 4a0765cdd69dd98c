// zimbrel-control as a script meets it: arguments, output, exit status, the file on disk.
#include "FileSizeLimit.h"
#include "PermissionChecks.h"
#include "ProgramRun.h"
#include "SessionBus.h"
#include "SharedSuite.h"
#include "TestEnv.h"
#include "TrackingControl.h"
#include "TrackingStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QProcess>
#include <QTest>


using namespace Qt::StringLiterals;

namespace {
QString program()
{
    return TestEnv::buildPath(u"src/controls/zimbrel-control"_s);
}

ProgramRun control(const QStringList &args)
{
    return ProgramRun::run(program(), args);
}

// As a user for whom the snapshot's mode bits count (root included).
ProgramRun controlWithoutOverride(const QStringList &args)
{
    ProgramRun::Options options;
    options.childSetup = &PermissionChecks::dropInChild;
    return ProgramRun::run(program(), args, options);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
        const ProgramRun r = control(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains(u"Usage: zimbrel-control"_s));
        QVERIFY(!QFile::exists(SharedSuite::snapshotPath())); // nothing written
    }

    void failedSaveIsNotSuccess()
    {
        control({u"on"_s});
        ProgramRun off, toggle;
        {
            // A full disk, for the child too: files may not grow past 16 bytes.
            const FileSizeLimit full(16);
            QVERIFY(full.active());
            off = control({u"off"_s});
            toggle = control({u"toggle"_s});
        }
        QCOMPARE(off.exitCode, 1);
        QVERIFY2(off.err.contains(u"zimbrel-control: the timer state could not be saved: File too large"_s),
                 qPrintable(off.err));
        QCOMPARE(toggle.exitCode, 1);
        QVERIFY(TrackingStore::load().isRunning); // still running, as the disk says
    }

    void unreadableStateFailsWithTheReason()
    {
        control({u"on"_s});
        const QString path = SharedSuite::snapshotPath();
        const QByteArray before = fileBytes(path);
        QVERIFY(QFile::setPermissions(path, {}));

        for (const QString &command : {u"off"_s, u"toggle"_s, u"on"_s}) {
            const ProgramRun r = controlWithoutOverride({command});
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains(u"zimbrel-control: the timer state could not be read: Permission denied; "
                                    u"the timer was not changed"_s),
                     qPrintable(r.err));
        }
        // Status never passes a guess off as the stored state.
        const ProgramRun status = controlWithoutOverride({u"status"_s});
        QCOMPARE(status.exitCode, 1);
        QVERIFY(status.out.isEmpty());
        QVERIFY2(status.err.contains(u"the timer state could not be read: Permission denied"_s), qPrintable(status.err));
        QCOMPARE(controlWithoutOverride({u"status"_s, u"--json"_s}).exitCode, 1);

        QProcess watch;
        watch.setChildProcessModifier(&PermissionChecks::dropInChild);
        watch.start(program(), {u"watch"_s, u"--json"_s});
        QVERIFY(TestEnv::waitFor([&] { return watch.canReadLine(); }, 10000));
        QCOMPARE(watch.readLine(),
                 QByteArray("{\"error\":\"the timer state could not be read: Permission denied\"}\n"));
        watch.terminate();
        watch.waitForFinished();

        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(control({u"status"_s}).out, u"Tracking\n"_s);
    }

    void repairedStateIsSaid()
    {
        // One field of the wrong type ("isPrivate" as text) in a running state with a queued stop.
        QVERIFY(QDir().mkpath(QFileInfo(SharedSuite::snapshotPath()).absolutePath()));
        QFile file(SharedSuite::snapshotPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"isRunning":true,"startedAt":500,"sessionID":"RUN","startSynced":false,"banked":{},)"
                   R"("project":"Site","task":"","isPrivate":"no","pending":[{"sessionID":"A","startSynced":false,)"
                   R"("startedAt":10,"stoppedAt":40,"isPrivate":false}]})");
        file.close();

        const ProgramRun status = control({u"status"_s});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out, u"Site\n"_s);
        QVERIFY2(status.err.contains(u"zimbrel-control: the timer state was unreadable and has been repaired: kept "
                                     u"1 queued stop and the running session (the old file is "_s),
                 qPrintable(status.err));
        const TrackingSnapshot s = TrackingStore::load();
        QCOMPARE(s.pending->size(), 1);
        QCOMPARE(s.sessionID, std::optional<QString>(u"RUN"_s));
        QVERIFY(control({u"status"_s}).err.isEmpty()); // said once, when it happened
    }

    void helpNamesTheControl()
    {
        const ProgramRun r = control({u"--help"_s});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(u"Track time"_s));
        QVERIFY(r.out.contains(u"Start or stop your Zimbrel timer."_s));
    }
};

QTEST_GUILESS_MAIN(TestControlCli)
#include "tst_control_cli.moc"
