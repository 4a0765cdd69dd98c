// Start-up, preferences, sign-in, sign-out, the demo, the self-test, and the
// model following zimbrel-control.
#include "DemoWorkspace.h"
#include "KeptTimers.h"
#include "LocalTimer.h"
#include "ModelFixture.h"
#include "Preferences.h"
#include "ProgramRun.h"
#include "SharedSuite.h"

#include <QJsonObject>
#include <QFileInfo>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A write replaces the file by another.
qint64 inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_ino) : -1;
}
} // namespace

class TestModelSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startUpReadsPreferences_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("goal");
        QTest::newRow("missing") << QVariant() << 8.0;
        QTest::newRow("below one hour") << QVariant(0.5) << 8.0;
        QTest::newRow("one hour") << QVariant(1.0) << 1.0;
        QTest::newRow("garbage") << QVariant(u"lots"_s) << 8.0;
    }

    void startUpReadsPreferences()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, goal);
        ModelFixture f;
        if (stored.isValid())
            Preferences::setValue(u"pref.dayGoalHours"_s, stored);
        Preferences::setValue(u"user.name"_s, u"Someone"_s);
        auto model = f.make();
        QCOMPARE(model->dayGoalHours(), goal);
        QVERIFY(!model->signedIn()); // no token: the stored name alone signs nobody in
        QCOMPARE(model->userName(), QString());
        QCOMPARE(model->pulse().size(), 46);
        QCOMPARE(model->screen(), AppModel::Screen::Timer);
    }

    void launchSettings()
    {
        ModelFixture f;
        AppModel::Launch launch;
        launch.screen = u"today"_s;
        QCOMPARE(f.make(launch)->screen(), AppModel::Screen::Today);
        launch.screen = u"Today"_s;
        QCOMPARE(f.make(launch)->screen(), AppModel::Screen::Timer);
    }

    void notifySwitchesPersist()
    {
        ModelFixture f;
        auto model = f.make();
        model->setNotifyGoal(true);
        QCOMPARE(Preferences::value(u"pref.notifyGoal"_s).toBool(), true);
        model->setNotifyGoal(false);
        QCOMPARE(Preferences::value(u"pref.notifyGoal"_s).toBool(), false);
        model->setDayGoalHours(6.5);
        QCOMPARE(f.make()->dayGoalHours(), 6.5);
    }

    void signInTrimsAndStoresSession()
    {
        ModelFixture f;
        auto model = f.make();
        AsyncTest::await(model->signIn(u" \tmember@example.com\t "_s, u" pass word "_s));
        const QJsonObject body = f.server.last(u"login"_s)->json();
        QCOMPARE(body.value("email"_L1).toString(), u"member@example.com"_s);
        QCOMPARE(body.value("password"_L1).toString(), u" pass word "_s);
        QVERIFY(model->signedIn());
        QCOMPARE(model->userName(), u"Test Member"_s);
        QTRY_COMPARE(Keychain::read(u"token"_s), std::optional<QString>(u"test-token"_s)); // saved on the keyring thread
        QCOMPARE(Preferences::value(u"user.email"_s).toString(), u"member@example.com"_s);
        // Refresh chose the first project and its first task.
        QCOMPARE(model->projects().size(), 3);
        QCOMPARE(model->projectID(), std::optional<QString>(u"1"_s));
        QCOMPARE(model->taskID(), std::optional<QString>(u"11"_s));
        QCOMPARE(model->shotMinutes(), 5.0);

        // The next launch restores the session from the keyring.
        model.reset();
        auto again = f.make();
        QVERIFY(again->signedIn());
        QCOMPARE(again->token(), std::optional<QString>(u"test-token"_s));
        QCOMPARE(again->userName(), u"Test Member"_s);
        QVERIFY(TestEnv::waitFor([&] { return again->projects().size() == 3; }));
    }

    void wrongPasswordChangesNothing()
    {
        ModelFixture f;
        auto model = f.make();
        f.server.respond(u"login"_s, 401, QJsonObject{{u"success"_s, false}, {u"message"_s, u"Invalid credentials."_s}});
        const APIError e = AsyncTest::awaitError<APIError>(model->signIn(u"a@b.c"_s, u"x"_s));
        QCOMPARE(e.message(), u"Invalid credentials."_s);
        QVERIFY(!model->signedIn());
        QVERIFY(!Keychain::read(u"token"_s));
    }

    void signingInAgainKeepsOwnQueue()
    {
        ModelFixture f;
        auto model = f.signedIn(u"Member@Example.com"_s);
        f.offline();
        model->setRunning(true);
        model->setRunning(false);
        ModelFixture::settle(*model);
        QCOMPARE(model->snapshot().pending->size(), 1);
        QVERIFY(model->sync().kind == SyncState::Kind::failed);

        // The session expired; the same member signs in again (e-mail in other letters).
        model->signOut();
        ModelFixture::settle(*model);
        f.online();
        f.server.clear();
        AsyncTest::await(model->signIn(u"member@EXAMPLE.com"_s, u"secret"_s));
        ModelFixture::settle(*model);
        QCOMPARE(f.timerRequests(), (QStringList{u"time/start"_s, u"time/stop"_s}));
        QVERIFY(!model->loadError());
        QCOMPARE(model->sync(), SyncState::synced());

        // Somebody else starts from an empty timer.
        f.offline();
        model->setRunning(true);
        model->setRunning(false);
        ModelFixture::settle(*model);
        model->signOut();
        f.online();
        AsyncTest::await(model->signIn(u"other@example.com"_s, u"secret"_s));
        QVERIFY(!TrackingStore::load().pending || TrackingStore::load().pending->isEmpty());
        QVERIFY(!model->snapshot().isRunning);
    }

    void signOutWhileRunningSendsStopThenLogout()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->setRunning(true);
        ModelFixture::settle(*model);
        f.server.clear();
        f.server.delay(u"devices/register"_s, 0);
        f.clock = f.clock.addSeconds(90);
        model->signOut();
        QVERIFY(!model->signedIn());
        QVERIFY(!model->token());
        QVERIFY(model->projects().isEmpty());
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"logout"_s) == 1; }));
        QStringList order;
        for (const auto &r : f.server.requests())
            if (r.path == u"time/stop" || r.path == u"logout") {
                order.append(r.path);
                QCOMPARE(r.header(u"Authorization"_s), u"Bearer test-token"_s);
            }
        QCOMPARE(order, (QStringList{u"time/stop"_s, u"logout"_s}));
        QVERIFY(TrackingStore::load().pending->isEmpty());
    }

    void signOutWaitsForRunningPass()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.server.clear();
        f.server.delay(u"time/start"_s, 400);
        model->setRunning(true); // its pass waits on the slow start
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/start"_s) == 1; }));
        QVERIFY(model->syncing());
        model->signOut(); // queues the stop while that pass still runs
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"logout"_s) == 1; }, 10000));
        QStringList order;
        for (const auto &r : f.server.requests())
            if (r.path == u"time/start" || r.path == u"time/stop" || r.path == u"logout")
                order.append(r.path);
        // The late start answer is written into the queued stop: no second start.
        QCOMPARE(order, (QStringList{u"time/start"_s, u"time/stop"_s, u"logout"_s}));
        QVERIFY(TrackingStore::load().pending->isEmpty());
    }

    void demoSendsNothing()
    {
        ModelFixture f;
        auto model = f.make({true, {}, 0});
        QVERIFY(model->isDemo() && model->signedIn());
        QCOMPARE(model->userName(), u"Ines Varga"_s);
        QCOMPARE(model->project()->name, u"Client Portal Rebuild"_s);
        QCOMPARE(model->task()->name, u"Design system"_s);
        QCOMPARE(model->stats().tracked, u"5h 42m"_s);
        QCOMPARE(model->syncText(), u"Demo workspace: nothing here is sent to Zimbrel."_s);

        model->setRunning(true);
        for (int i = 1; i <= 120; ++i)
            model->tick(f.clock.addSeconds(i));
        QCOMPARE(model->todaySeconds(), 20520.0 + 120);
        f.clock = f.clock.addSeconds(120);
        model->setRunning(false);
        QVERIFY(!model->snapshot().pending);
        QCOMPARE(model->todaySeconds(), 20520.0 + 120);
        QVERIFY(!model->needsSync());
        AsyncTest::await(model->syncNow());
        AsyncTest::await(model->refresh());
        model->chooseProject(u"4"_s);
        model->signOut();
        ModelFixture::settle(*model);
        QCOMPARE(f.server.requests().size(), 0);
        QCOMPARE(TrackingStore::load(), TrackingSnapshot{});

        // Entering it again finds the timer empty and leaves its file alone.
        const qint64 inode = inodeOf(SharedSuite::snapshotPath());
        QVERIFY(inode != -1);
        model->enterDemo();
        QCOMPARE(inodeOf(SharedSuite::snapshotPath()), inode);
    }

    void demoKeepsTheMembersRunningSession()
    {
        ModelFixture f;
        {
            auto model = f.signedIn(u"Member@Example.com"_s);
            model->setRunning(true);
            ModelFixture::syncAll(*model);
            QVERIFY(model->snapshot().startSynced == true);
        }
        // The next launch goes into the demo over the restored session: the
        // member's session is stopped now and kept aside, not deleted.
        f.clock = f.clock.addSeconds(300);
        auto model = f.make({true, {}, 0});
        QVERIFY(model->isDemo());
        QVERIFY(!model->snapshot().isRunning);
        QVERIFY(!LocalTimer::stopsQueued(TrackingStore::load()));
        QCOMPARE(modeOf(KeptTimers::path()), 0600);
        QCOMPARE(modeOf(QFileInfo(KeptTimers::path()).absolutePath()), 0700);
        model->setRunning(true);
        model->setRunning(false);
        model->signOut();
        ModelFixture::settle(*model);

        // Back, and sent, when the same member signs in again.
        f.server.clear();
        AsyncTest::await(model->signIn(u"member@example.COM"_s, u"secret"_s));
        ModelFixture::syncAll(*model);
        QCOMPARE(f.timerRequests(), QStringList{u"time/stop"_s});
        QCOMPARE(f.server.last(u"time/stop"_s)->json().value("time_entry_id"_L1).toInteger(), 100);
        QVERIFY(TrackingStore::load().pending->isEmpty());
        QVERIFY(!KeptTimers::take(u"member@example.com"_s));
    }

    void demoAfterOfflineSignOutKeepsTheQueue()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        f.offline();
        model->signOut();
        ModelFixture::settle(*model);
        model->enterDemo(); // the button of the login screen
        QVERIFY(!LocalTimer::stopsQueued(TrackingStore::load()));
        model->signOut();

        // Someone else signs in meanwhile: the first member's stop stays aside.
        f.online();
        AsyncTest::await(model->signIn(u"other@example.com"_s, u"secret"_s));
        ModelFixture::settle(*model);
        model->signOut();
        ModelFixture::settle(*model);
        f.server.clear();
        AsyncTest::await(model->signIn(u"member@example.com"_s, u"secret"_s));
        ModelFixture::syncAll(*model);
        QCOMPARE(f.timerRequests(), (QStringList{u"time/start"_s, u"time/stop"_s}));
    }

    void runningSessionKeepsItsProjectAtLaunch()
    {
        ModelFixture f;
        {
            auto model = f.signedIn();
            model->chooseProject(u"3"_s);
            model->setRunning(true);
            ModelFixture::settle(*model);
        }
        auto model = f.make();
        QVERIFY(TestEnv::waitFor([&] { return !model->loading() && model->projects().size() == 3; }));
        ModelFixture::settle(*model);
        QCOMPARE(model->projectID(), std::optional<QString>(u"3"_s));
        QCOMPARE(model->taskID(), std::optional<QString>(u"31"_s));
        QCOMPARE(model->snapshot().project, u"Internal"_s);
    }

    void followsZimbrelControl()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.server.clear();
        const ProgramRun control = ProgramRun::run(TestEnv::buildPath(u"src/controls/zimbrel-control"_s), {u"on"_s});
        QCOMPARE(control.exitCode, 0);
        QVERIFY(TestEnv::waitFor([&] { return model->snapshot().isRunning; }));
        QVERIFY(TestEnv::waitFor([&] { return model->snapshot().startSynced == true; }));
        QCOMPARE(f.server.count(u"time/start"_s), 1);
    }

    void selfTestRunsOneSession()
    {
        ModelFixture f;
        {
            auto model = f.signedIn();
        }
        f.server.clear();
        f.selfTestDelay = std::chrono::milliseconds(2500); // after the restored session has loaded
        auto model = f.make({false, {}, 1.0}); // the stop comes after the start has gone out
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/stop"_s) == 1; }, 10000));
        QCOMPARE(f.timerRequests(), (QStringList{u"time/start"_s, u"time/stop"_s}));
    }

    void selfTestSkipsWhenSignedOut()
    {
        ModelFixture f;
        QTest::ignoreMessage(QtInfoMsg, "selftest skipped: signedIn=0 running=0 canStart=0 projects=0");
        auto model = f.make({false, {}, 0.1});
        QTest::qWait(200);
    }

    void choiceRules()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->chooseProject(u"2"_s); // no tasks
        QVERIFY(!model->taskID());
        QVERIFY(model->canStart());
        model->chooseProject(u"1"_s);
        model->setTaskID(std::nullopt);
        QVERIFY(!model->canStart());
        model->selectFirstIfNeeded();
        QCOMPARE(model->taskID(), std::optional<QString>(u"11"_s));

        // Relabelling a running session keeps its identifiers.
        model->setRunning(true);
        model->setTaskID(u"12"_s);
        model->syncLabels(true);
        QCOMPARE(model->snapshot().task, u"Build"_s);
        QCOMPARE(model->snapshot().taskID, std::optional<QString>(u"11"_s));
    }

    void greetingBoundaries_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("greeting");
        QTest::newRow("11:59") << QTime(11, 59) << u"Good morning"_s;
        QTest::newRow("12:00") << QTime(12, 0) << u"Good afternoon"_s;
        QTest::newRow("17:59") << QTime(17, 59) << u"Good afternoon"_s;
        QTest::newRow("18:00") << QTime(18, 0) << u"Good evening"_s;
        QTest::newRow("00:00") << QTime(0, 0) << u"Good morning"_s;
    }

    void greetingBoundaries()
    {
        QFETCH(QTime, time);
        QFETCH(QString, greeting);
        ModelFixture f;
        auto model = f.make();
        model->tick(Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), time)));
        QCOMPARE(model->greeting(), greeting);
    }
};

QTEST_MAIN(TestModelSession)
#include "tst_model_session.moc"
