// The sync engine against the loopback server: order, retries, races, adoption.
#include "FileSizeLimit.h"
#include "ModelFixture.h"
#include "PermissionChecks.h"
#include "SharedSuite.h"

#include <QFile>
#include <QSignalSpy>
#include <QJsonObject>

#include <stdexcept>


using namespace Qt::StringLiterals;

namespace {
// How many starts the server received for one session.
int startsOf(const ModelFixture &f, const QString &session)
{
    int starts = 0;
    for (const auto &r : f.server.requests(u"time/start"_s))
        if (r.json().value("client_session_id"_L1).toString() == session)
            ++starts;
    return starts;
}
} // namespace

class TestModelSync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void offlineStopsGoOutInOrderOnceOnline()
    {
        ModelFixture f;
        auto model = f.signedIn();
        QVERIFY(model->canStart());
        f.offline();
        for (int i = 0; i < 2; ++i) {
            model->setRunning(true);
            f.clock = f.clock.addSeconds(30);
            model->setRunning(false);
            f.clock = f.clock.addSeconds(30);
        }
        ModelFixture::settle(*model);
        QCOMPARE(model->snapshot().pending->size(), 2);
        QCOMPARE(model->sync().kind, SyncState::Kind::failed);
        QCOMPARE(model->syncText(), u"Couldn't sync: Can't reach Zimbrel. Check your connection and try again. "
                                    u"Your time is saved here and will retry."_s);
        QVERIFY(model->needsSync());
        QCOMPARE(model->todaySeconds(), 60.0 + model->stats().todaySeconds);

        f.online();
        f.server.clear();
        ModelFixture::syncAll(*model);
        QCOMPARE(f.timerRequests(), (QStringList{u"time/start"_s, u"time/stop"_s, u"time/start"_s, u"time/stop"_s}));
        QVERIFY(model->snapshot().pending->isEmpty());
        QCOMPARE(TrackingStore::load().pending->size(), 0);
        QCOMPARE(model->sync(), SyncState::synced());
        QCOMPARE(model->syncText(), u"Synced with Zimbrel."_s);
        // The server counts the time now; nothing is left in the local bank.
        QCOMPARE(model->snapshot().todaySeconds(f.clock), 0.0);
    }

    void acceptedStartSendsOnlyTheStop()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->setRunning(true);
        ModelFixture::settle(*model);
        const qint64 entry = *model->snapshot().entryID;
        QVERIFY(model->snapshot().startSynced == true);

        f.server.clear();
        f.offline();
        model->setRunning(false);
        ModelFixture::settle(*model);
        f.online();
        ModelFixture::syncAll(*model);
        QCOMPARE(f.timerRequests(), QStringList{u"time/stop"_s});
        QCOMPARE(f.server.last(u"time/stop"_s)->json().value("time_entry_id"_L1).toInteger(), entry);
    }

    void noActiveTimerInAnyCaseLeavesQueue()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        f.server.respond(u"time/stop"_s, 404, QJsonObject{{u"success"_s, false}, {u"message"_s, u"NO ACTIVE TIMER FOUND"_s}});
        ModelFixture::syncAll(*model);
        QVERIFY(model->snapshot().pending->isEmpty());
        QCOMPARE(model->sync(), SyncState::synced());
    }

    void refusedStopStaysAndIsRetried()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.server.respond(u"time/stop"_s, 500, QJsonObject{{u"message"_s, u"Entry is locked."_s}});
        model->setRunning(true);
        ModelFixture::syncAll(*model);
        f.clock = f.clock.addSeconds(10);
        model->setRunning(false);
        ModelFixture::settle(*model);
        QCOMPARE(model->sync(), SyncState::failed(u"Entry is locked."_s));
        QCOMPARE(model->syncText(), u"Couldn't sync: Entry is locked. Your time is saved here and will retry."_s);
        QCOMPARE(model->snapshot().pending->size(), 1);

        // The ticker retries every 20 ticks while something waits.
        f.server.clear();
        for (int i = 0; i < 20; ++i)
            model->tick(f.clock.addSeconds(i));
        ModelFixture::settle(*model);
        QVERIFY(model->snapshot().pending->isEmpty());
        QCOMPARE(f.server.count(u"time/stop"_s), 1);
    }

    void restartDuringStartKeepsNewSessionClean()
    {
        ModelFixture f;
        auto model = f.signedIn();
        TestServer::Reply slowStart;
        slowStart.body = R"({"success":true,"time_entry":{"id":555}})";
        slowStart.delayMs = 400;
        f.server.scriptOnce(u"time/start"_s, slowStart);
        model->setRunning(true); // the first start goes out and waits
        const QString first = *TrackingStore::load().sessionID;
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/start"_s) == 1; }));
        f.clock = f.clock.addSeconds(5);
        model->setRunning(false);
        model->setRunning(true);
        const QString second = *TrackingStore::load().sessionID;
        ModelFixture::settle(*model);
        QVERIFY(TestEnv::waitFor([&] { return !model->syncing(); }, 10000));
        QVERIFY(TrackingStore::load().entryID != std::optional<qint64>(555));
        // The late answer belongs to the stopped session: its queued stop closes that entry.
        QCOMPARE(TrackingStore::load().pending->first().entryID, std::optional<qint64>(555));

        // The next pass sends the first session's stop only, then the second start.
        ModelFixture::syncAll(*model);
        const TrackingSnapshot s = TrackingStore::load();
        QCOMPARE(*s.sessionID, second);
        QVERIFY(s.startSynced == true);
        QVERIFY(s.entryID && *s.entryID != 555);
        QVERIFY(s.pending->isEmpty());
        QCOMPARE(f.timerRequests(), (QStringList{u"time/start"_s, u"time/stop"_s, u"time/start"_s}));
        QCOMPARE(startsOf(f, first), 1);
        QCOMPARE(f.server.requests(u"time/stop"_s).first().json().value("time_entry_id"_L1).toInteger(), 555);
    }

    void acceptedStartIsKeptWhenItsStopFails()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        const QString session = model->snapshot().pending->first().sessionID;
        f.server.clear();
        f.server.respond(u"time/stop"_s, 500, QJsonObject{{u"message"_s, u"Entry is locked."_s}});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sync failed: Entry is locked."_s));
        AsyncTest::await(model->syncNow());
        QCOMPARE(TrackingStore::load().pending->first().startSynced, true);

        // Retried twice more: one start in all, and every stop names its entry.
        for (int i = 0; i < 2; ++i) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sync failed: Entry is locked."_s));
            AsyncTest::await(model->syncNow());
        }
        f.server.script(u"time/stop"_s, {200, R"({"success":true})"});
        AsyncTest::await(model->syncNow());
        QCOMPARE(startsOf(f, session), 1);
        const auto stops = f.server.requests(u"time/stop"_s);
        QCOMPARE(stops.size(), 4);
        for (const auto &stop : stops)
            QCOMPARE(stop.json().value("time_entry_id"_L1).toInteger(), 100);
        QVERIFY(TrackingStore::load().pending->isEmpty());
    }

    void acceptedStartThatCannotBeSavedFailsThePass()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.offline();
        model->setRunning(true);
        ModelFixture::settle(*model);
        f.online();
        f.server.clear();

        // The disk is full: the accepted start cannot be written down.
        {
            const FileSizeLimit full(64);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot save failed"_s));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(u"sync failed: The timer state on this computer could not be saved."_s));
            AsyncTest::await(model->syncNow());
            QCOMPARE(model->sync(), SyncState::failed(u"The timer state on this computer could not be saved."_s));
            QVERIFY(TrackingStore::load().startSynced != true);
            // The ticker's retries do not open more entries on the server.
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot save failed"_s));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sync failed: "_s));
            AsyncTest::await(model->syncNow());
        }
        AsyncTest::await(model->syncNow());
        QCOMPARE(f.server.count(u"time/start"_s), 1);
        QVERIFY(TrackingStore::load().startSynced == true);
        QCOMPARE(TrackingStore::load().entryID, std::optional<qint64>(100));
        QCOMPARE(model->sync(), SyncState::synced());
    }

    void leftoverEntryOfAStoppedSessionIsNotAdopted()
    {
        ModelFixture f;
        Instant started;
        {
            auto model = f.signedIn();
            model->setRunning(true);
            started = *model->snapshot().startedAt;
            ModelFixture::syncAll(*model);
            f.clock = f.clock.addSeconds(600);
            model->setRunning(false);
            ModelFixture::syncAll(*model);
            QVERIFY(model->snapshot().pending->isEmpty());
        }
        // After a restart the server still reports that session's entry open.
        const QJsonObject open{{u"is_running"_s, true},
                               {u"current_entry"_s, QJsonObject{{u"id"_s, 100},
                                                                {u"started_at"_s, API::iso(started)},
                                                                {u"project_id"_s, 1}}}};
        f.server.respond(u"time/current"_s, 200, QJsonObject{{u"success"_s, true}, {u"data"_s, open}});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not adopting entry 100"_s));
        auto model = f.make();
        QVERIFY(TestEnv::waitFor([&] { return !model->loading() && model->projects().size() == 3; }));
        ModelFixture::settle(*model);
        QVERIFY(!model->snapshot().isRunning);
        QVERIFY(!TrackingStore::load().isRunning);

        // A timer that began after that session is still taken over.
        const QJsonObject later{{u"is_running"_s, true},
                                {u"current_entry"_s, QJsonObject{{u"id"_s, 300},
                                                                 {u"started_at"_s, API::iso(f.clock.addSeconds(60))},
                                                                 {u"project_id"_s, 1}}}};
        f.server.respond(u"time/current"_s, 200, QJsonObject{{u"success"_s, true}, {u"data"_s, later}});
        AsyncTest::await(model->refresh());
        QVERIFY(model->snapshot().isRunning);
        QCOMPARE(model->snapshot().entryID, std::optional<qint64>(300));
    }

    void dayFiguresKeepTheDayTheyWereAskedFor()
    {
        ModelFixture f;
        f.clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59)));
        auto model = f.signedIn();
        QCOMPARE(model->todaySeconds(), 3600.0);

        // Asked for on the 4th, answered after midnight with the 4th's total.
        TestServer::Reply late(200, R"({"success":true,"data":{"is_running":false,"today_total_seconds":7200,"this_week_total_seconds":20000}})");
        late.delayMs = 400;
        f.server.clear();
        f.server.scriptOnce(u"time/current"_s, late);
        auto refreshing = model->refresh();
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/current"_s) == 1; }));
        f.offline(); // the midnight reload cannot get through
        model->tick(f.clock.addSeconds(2));
        AsyncTest::await(std::move(refreshing));
        QCOMPARE(model->todaySeconds(), 0.0);
        QCOMPARE(model->weekSeconds(), 20000.0); // the same week
    }

    void adoptsServerTimerOnlyWhenIdle()
    {
        ModelFixture f;
        auto model = f.signedIn();
        // Another device started a timer on project 3.
        AsyncTest::await(API::start(u"test-token"_s, QJsonObject{{u"project_id"_s, 3}, {u"started_at"_s, u"2026-03-04T08:00:00.000Z"_s}}));
        const int startsBefore = f.server.count(u"time/start"_s);
        AsyncTest::await(model->refresh());
        ModelFixture::settle(*model);
        QVERIFY(model->snapshot().isRunning);
        QVERIFY(model->snapshot().startSynced == true);
        QCOMPARE(model->snapshot().projectID, std::optional<QString>(u"3"_s));
        QCOMPARE(model->projectID(), std::optional<QString>(u"3"_s));
        QCOMPARE(model->taskID(), std::optional<QString>(u"31"_s));
        QCOMPARE(model->snapshot().startedAt->toDateTime().toUTC().time(), QTime(8, 0));
        QCOMPARE(f.server.count(u"time/start"_s), startsBefore); // nothing sent back
    }

    void queuedStopBlocksAdoption()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        f.server.respond(u"time/stop"_s, 500, QByteArray(R"({"message":"Down for maintenance."})"));
        AsyncTest::await(API::start(u"test-token"_s, QJsonObject{{u"project_id"_s, 1}}));
        f.server.delay(u"time/start"_s, 0);
        AsyncTest::await(model->refresh());
        ModelFixture::settle(*model);
        QVERIFY(!model->snapshot().isRunning);
        QCOMPARE(model->snapshot().pending->size(), 1);
    }

    void startDuringAdoptionRequestWins()
    {
        ModelFixture f;
        auto model = f.signedIn();
        AsyncTest::await(API::start(u"test-token"_s, QJsonObject{{u"project_id"_s, 2}, {u"started_at"_s, u"2026-03-04T08:00:00.000Z"_s}}));
        f.server.delay(u"time/current"_s, 300);
        auto refreshing = model->refresh();
        // zimbrel-control starts the timer while the server is asked.
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/current"_s) >= 1; }));
        const TrackingSnapshot local = TrackingStore::setRunning(true, f.clock);
        AsyncTest::await(std::move(refreshing));
        ModelFixture::settle(*model);
        const TrackingSnapshot s = TrackingStore::load();
        QCOMPARE(s.sessionID, local.sessionID);
        QCOMPARE(s.startedAt, std::optional<Instant>(f.clock));
    }

    void expiredSessionSignsOut()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.server.respond(u"projects"_s, 401, QJsonObject{{u"message"_s, u"Unauthenticated."_s}});
        AsyncTest::await(model->refresh());
        QVERIFY(!model->signedIn());
        QVERIFY(!model->token());
        QCOMPARE(model->loadError(), std::optional<QString>(u"Your session has expired. Please sign in again."_s));
        QTRY_VERIFY(!Keychain::read(u"token"_s)); // removed on the keyring thread
        QCOMPARE(model->userName(), u"Test Member"_s); // kept for the login screen
    }

    void midnightReloadsTheDay()
    {
        ModelFixture f;
        f.clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59)));
        auto model = f.signedIn();
        QCOMPARE(model->todaySeconds(), 3600.0); // the server's figure for the 4th
        model->tick(f.clock);
        ModelFixture::settle(*model);

        // Offline at midnight: yesterday's figure no longer counts as today's.
        f.offline();
        f.server.clear();
        model->tick(f.clock.addSeconds(2)); // 00:00:01 on the 5th
        QCOMPARE(model->todaySeconds(), 0.0);
        QCOMPARE(model->weekSeconds(), 18000.0); // same week
        QTest::qWait(100);

        // Back online, the next try fetches the new day once.
        f.online();
        for (int i = 3; i <= 40 && f.server.count(u"dashboard"_s) == 0; ++i) {
            model->tick(f.clock.addSeconds(i));
            QTest::qWait(10);
        }
        QVERIFY(TestEnv::waitFor([&] { return model->todaySeconds() == 3600.0; }));
        const int fetched = f.server.count(u"dashboard"_s);
        for (int i = 41; i <= 80; ++i)
            model->tick(f.clock.addSeconds(i));
        QTest::qWait(100);
        QCOMPARE(f.server.count(u"dashboard"_s), fetched);
    }

    void passStopsWhenAnotherMemberSignsIn()
    {
        ModelFixture f;
        auto model = f.signedIn(u"first@example.com"_s);
        f.queueStopOffline(*model);
        f.server.delay(u"time/stop"_s, 500);
        auto pass = model->syncNow(); // stalls on the stop

        // Meanwhile the first member signs out and somebody else signs in and starts.
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/stop"_s) == 1; }));
        model->signOut();
        f.server.scriptOnce(u"login"_s, {200, R"({"success":true,"token":"second-token","user":{"name":"B","email":"second@example.com"}})"});
        AsyncTest::await(model->signIn(u"second@example.com"_s, u"pw"_s));
        model->setRunning(true);
        const QString second = *model->snapshot().sessionID;
        AsyncTest::await(std::move(pass));
        ModelFixture::settle(*model);
        AsyncTest::await(model->syncNow());
        ModelFixture::settle(*model);

        // The second member's session went out once, with the second member's token.
        int starts = 0;
        for (const auto &r : f.server.requests(u"time/start"_s)) {
            if (r.json().value("client_session_id"_L1).toString() != second)
                continue;
            ++starts;
            QCOMPARE(r.header(u"Authorization"_s), u"Bearer second-token"_s);
        }
        QCOMPARE(starts, 1);
        QVERIFY(model->snapshot().startSynced == true);
    }

    void unreadableStateKeepsWhatIsShown()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->setRunning(true);
        ModelFixture::syncAll(*model);
        QCOMPARE(model->sync(), SyncState::synced());

        // The stored state exists but cannot be read just now; zimbrel-control signals a change.
        const QString path = SharedSuite::snapshotPath();
        QVERIFY(QFile::setPermissions(path, {}));
        {
            const PermissionChecks::Enforced asEveryone;
            ChangeSignal::post();
            ModelFixture::settle(*model);
            QVERIFY(model->snapshot().isRunning);
            QVERIFY(model->snapshot().startSynced == true);
        }
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(TrackingStore::load().isRunning);
    }

    void unwritableStoreEndsThePass()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        f.server.clear();

        // The disk is full: accepting the stop cannot be saved.
        {
            const FileSizeLimit full(64);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot save failed"_s));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sync failed: The timer state on this computer could not be saved."_s));
            AsyncTest::await(model->syncNow());
        }

        QCOMPARE(f.server.count(u"time/stop"_s), 1);
        QCOMPARE(model->sync().kind, SyncState::Kind::failed);
        QCOMPARE(TrackingStore::load().pending->size(), 1); // still there for the next pass
    }

    void passThatThrowsDoesNotStallTheNextOne()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.queueStopOffline(*model);
        f.server.clear();

        // Something other than the server fails inside a pass.
        bool fail = true;
        QObject::connect(&model->syncEngine(), &SyncEngine::syncChanged, model.get(), [&] {
            if (fail && model->sync().kind == SyncState::Kind::syncing)
                throw std::runtime_error("out of luck");
        });
        QSignalSpy ended(model.get(), &AppModel::pushPassEnded);
        AsyncTest::awaitError<std::runtime_error>(model->syncNow());
        QCOMPARE(ended.size(), 1);
        QVERIFY(!model->syncing());
        QCOMPARE(model->sync().kind, SyncState::Kind::idle);

        fail = false;
        AsyncTest::await(model->syncNow());
        QCOMPARE(f.server.count(u"time/stop"_s), 1);
        QCOMPARE(model->sync().kind, SyncState::Kind::synced);
        QVERIFY(!model->needsSync());
    }
};

QTEST_MAIN(TestModelSync)
#include "tst_model_sync.moc"
