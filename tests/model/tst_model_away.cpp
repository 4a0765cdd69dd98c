// Time away while the timer runs: noticed on a chosen clock, asked about,
// and kept or discarded through the shared store and the server's queue.
#include "ModelFixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// The notification service of a desktop, on the test's session bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        uint replaces;
        QString title;
        QStringList actions;
    };
    QList<Notice> received;
    QList<uint> closed;
public Q_SLOTS:
    uint Notify(const QString &, uint replaces, const QString &, const QString &title, const QString &,
                const QStringList &actions, const QVariantMap &, int)
    {
        received.append({replaces, title, actions});
        return replaces ? replaces : 40 + uint(received.size());
    }
    void CloseNotification(uint id) { closed.append(id); }
};

class TestModelAway : public QObject {
    Q_OBJECT

    QTemporaryDir m_systemDir;
    QProcess m_systemBus;
    QString m_systemAddress;

    // A session of Website / Build running since the fixture's clock, never
    // sent to the server (it is out of reach), so its stops stay queued.
    static std::unique_ptr<AppModel> runningOffline(ModelFixture &f)
    {
        auto model = f.signedIn();
        model->choose(model->projects().first());
        model->setTaskID(u"12"_s);
        model->syncLabels(true);
        f.offline();
        model->setRunning(true);
        model->tick(f.clock);
        return model;
    }

    static void step(ModelFixture &f, AppModel &model, double seconds, double idle)
    {
        f.clock = f.clock.addSeconds(seconds);
        f.idleSeconds = idle;
        model.tick(f.clock);
    }

    // The member types nothing for 15 minutes from `start` + 60 s, then comes
    // back: the question asks about 900.5 s.
    static void awayFifteenMinutes(ModelFixture &f, AppModel &model)
    {
        step(f, model, 60, 0);
        step(f, model, 900, 900);
        QVERIFY(!model.away().asking());
        QVERIFY(model.away().holdsCaptures());
        step(f, model, 1, 0.5);
    }

    static PendingStop lastStop(const AppModel &model)
    {
        const auto &pending = model.snapshot().pending;
        return pending && !pending->isEmpty() ? pending->last() : PendingStop{};
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A private system bus, where a stand-in for logind announces sleeps.
        const QString conf = m_systemDir.filePath(u"system.conf"_s);
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\""
                               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
                               "<busconfig><type>system</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                               "<policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
                               "<allow receive_sender=\"*\"/></policy></busconfig>")
                    .arg(m_systemDir.path())
                    .toUtf8());
        f.close();
        m_systemBus.start(u"dbus-daemon"_s, {u"--nofork"_s, u"--config-file="_s + conf, u"--print-address"_s});
        QVERIFY(m_systemBus.waitForStarted());
        QVERIFY(TestEnv::waitFor([&] { return m_systemBus.canReadLine(); }));
        m_systemAddress = QString::fromUtf8(m_systemBus.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_systemAddress.toUtf8());
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(u"fake-logind"_s);
        m_systemBus.terminate();
        m_systemBus.waitForFinished();
    }

    void discardEndsTheSessionWhereTheMemberLeft()
    {
        ModelFixture f;
        auto model = runningOffline(f);
        const Instant start = f.clock;
        awayFifteenMinutes(f, *model);
        const double away = model->away().awaySeconds();
        // Stopped at the return, the bank would hold this much.
        const double tracked = model->away().pending()->until().secondsSince(start);

        QVERIFY(model->away().discard());
        QVERIFY(!model->away().asking());
        const TrackingSnapshot stored = TrackingStore::load();
        QCOMPARE(stored, model->snapshot());
        QVERIFY(!stored.isRunning);
        const PendingStop stop = lastStop(*model);
        QCOMPARE(stop.stoppedAt, start.addSeconds(60));
        QCOMPARE(stop.stopReason, std::optional<QString>(u"idle"_s));
        QCOMPARE(stored.banked.value(TrackingSnapshot::dayKey(start)), tracked - away);
    }

    void discardAndKeepTrackingGoesOnFromTheReturn()
    {
        ModelFixture f;
        auto model = runningOffline(f);
        model->setPrivate(true);
        const Instant start = f.clock;
        const QString first = *model->snapshot().sessionID;
        awayFifteenMinutes(f, *model);
        const Instant back = model->away().pending()->until();
        const double away = model->away().awaySeconds();
        // Answered two minutes later: those minutes were work and stay.
        step(f, *model, 120, 100);
        QVERIFY(model->away().discardAndKeepTracking());

        const TrackingSnapshot &snap = model->snapshot();
        QCOMPARE(TrackingStore::load(), snap);
        QVERIFY(snap.isRunning);
        QVERIFY(snap.sessionID != first);
        QCOMPARE(snap.startedAt, std::optional<Instant>(back));
        QCOMPARE(snap.projectID, std::optional<QString>(u"1"_s));
        QCOMPARE(snap.taskID, std::optional<QString>(u"12"_s));
        QVERIFY(snap.isPrivate);
        QCOMPARE(snap.startSynced, std::optional<bool>(false));
        QCOMPARE(lastStop(*model).sessionID, first);
        QCOMPARE(snap.todaySeconds(f.clock), f.clock.secondsSince(start) - away);
    }

    void answerAfterAStopByHandTakesTheEarlierInstant()
    {
        ModelFixture f;
        auto model = runningOffline(f);
        const Instant start = f.clock;
        awayFifteenMinutes(f, *model);
        step(f, *model, 300, 10);
        model->setRunning(false);
        model->tick(f.clock);
        QVERIFY(model->away().asking());
        QVERIFY(!model->away().canKeepTracking());

        // Nothing new starts: the member stopped by hand.
        QVERIFY(model->away().discardAndKeepTracking());
        const TrackingSnapshot stored = TrackingStore::load();
        QVERIFY(!stored.isRunning);
        QCOMPARE(stored.pending->size(), 1);
        QCOMPARE(lastStop(*model).stoppedAt, start.addSeconds(60));
        QCOMPARE(lastStop(*model).stopReason, std::optional<QString>(u"idle"_s));
        QCOMPARE(stored.banked.value(TrackingSnapshot::dayKey(start)), 60.0);
    }

    void unansweredForADayTheTimeIsKept()
    {
        ModelFixture f;
        auto model = runningOffline(f);
        const Instant start = f.clock;
        awayFifteenMinutes(f, *model);
        QCOMPARE(model->away().questionText(), u"You were away for 15m"_s);
        QCOMPARE(model->away().pending()->from, start.addSeconds(60));
        QVERIFY(!model->away().holdsCaptures());
        const TrackingSnapshot before = TrackingStore::load();
        // Still asked after a restart of the app.
        model.reset();
        model = f.make();
        QVERIFY(model->away().asking());
        QCOMPARE(model->away().questionText(), u"You were away for 15m"_s);
        step(f, *model, 24 * 3600 - 1, 0);
        QVERIFY(model->away().asking());
        step(f, *model, 1, 0);
        QVERIFY(!model->away().asking());
        QCOMPARE(TrackingStore::load(), before);
        QVERIFY(!f.make()->away().asking());
    }

    void awayOnlyCountsRealTimeWithinTheSessionAndKeepChangesNothing()
    {
        ModelFixture f;
        f.idleSeconds = 300;
        auto model = runningOffline(f);
        const Instant start = f.clock;
        // Idle since before the start: away from the start on.
        step(f, *model, 400, 700);
        step(f, *model, 1, 0);
        QCOMPARE(model->away().pending()->from, start);
        QCOMPARE(model->away().awaySeconds(), 401.0);
        const TrackingSnapshot before = TrackingStore::load();
        model->away().keep();
        QVERIFY(!model->away().asking());
        QCOMPARE(TrackingStore::load(), before);

        // A wall clock set forward during an idle spell does not lengthen it.
        step(f, *model, 600, 600);
        f.clockJump += 1800;
        step(f, *model, 1800 + 60, 660);
        step(f, *model, 1, 0);
        QCOMPARE(model->away().questionText(), u"You were away for 11m"_s);

    }

    void sleepIsAskedAboutWithItsLengthAndAnsweredFromTheNotice()
    {
        FakeNotifications notices;
        QDBusConnection session = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-notices"_s);
        QVERIFY(session.registerObject(u"/org/freedesktop/Notifications"_s, &notices, QDBusConnection::ExportAllSlots));
        QVERIFY(session.registerService(u"org.freedesktop.Notifications"_s));
        QDBusConnection logind = QDBusConnection::connectToBus(m_systemAddress, u"fake-logind"_s);
        QVERIFY(logind.isConnected());
        QVERIFY(logind.registerService(u"org.freedesktop.login1"_s));
        const auto prepareForSleep = [&](bool start) {
            QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
                                                             u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
            signal << start;
            QVERIFY(logind.send(signal));
        };

        ModelFixture f;
        auto model = runningOffline(f);
        QVERIFY(model->away().systemSleep().watching());
        QSignalSpy asleep(&model->away().systemSleep(), &SystemSleep::sleeping);
        QSignalSpy awake(&model->away().systemSleep(), &SystemSleep::woke);
        step(f, *model, 600, 30);
        const Instant slept = f.clock;
        prepareForSleep(true);
        QVERIFY(asleep.wait());
        f.clock = f.clock.addSeconds(2 * 3600 + 12 * 60);
        prepareForSleep(false);
        QVERIFY(awake.wait());
        QVERIFY(model->away().asking());
        QCOMPARE(model->away().questionText(), u"You were away for 2h 12m"_s);
        QCOMPARE(model->away().pending()->from, slept);

        // Asleep again before any input: one question covering both.
        step(f, *model, 60, 3000);
        QVERIFY(model->away().holdsCaptures());
        prepareForSleep(true);
        QVERIFY(asleep.wait());
        f.clock = f.clock.addSeconds(3600);
        prepareForSleep(false);
        QVERIFY(awake.wait());
        QCOMPARE(model->away().questionText(), u"You were away for 3h 13m"_s);
        QCOMPARE(model->away().pending()->from, slept);

        // Asked once as a notice with Keep and Discard; the second wake replaced it.
        QVERIFY(TestEnv::waitFor([&] { return notices.received.size() == 2; }));
        QCOMPARE(notices.received[0].title, u"You were away for 2h 12m"_s);
        QCOMPARE(notices.received[0].actions, (QStringList{u"keep"_s, u"Keep"_s, u"discard"_s, u"Discard"_s}));
        QCOMPARE(notices.received[1].replaces, 41u);
        QCOMPARE(notices.received[1].title, u"You were away for 3h 13m"_s);

        // Input after the wake lets captures go on.
        step(f, *model, 5, 2);
        QVERIFY(!model->away().holdsCaptures());

        // "Discard" pressed on the notice.
        QDBusMessage invoked = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                                          u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s);
        invoked << 41u << u"discard"_s;
        QVERIFY(session.send(invoked));
        QVERIFY(TestEnv::waitFor([&] { return !model->away().asking(); }));
        QVERIFY(!model->isRunning());
        QCOMPARE(lastStop(*model).stoppedAt, slept);

        session.unregisterService(u"org.freedesktop.Notifications"_s);
        QDBusConnection::disconnectFromBus(u"fake-notices"_s);
    }

    void theServerHearsOneIdleStopAndOneStartAfterIt()
    {
        ModelFixture f;
        f.shot = ScreenShot{QByteArray("jpeg"), 16, 10, u"ffffffffffffffff"_s};
        auto model = f.signedIn();
        model->setRunning(true);
        ModelFixture::syncAll(*model);
        QCOMPARE(model->snapshot().startSynced, std::optional<bool>(true));
        const QString first = *model->snapshot().sessionID;
        const qsizetype before = f.timerRequests().size();

        // Away from the usage window's first tick on: no screenshot of that time.
        step(f, *model, 1, 0);
        step(f, *model, 600, 600);
        QVERIFY(TestEnv::waitFor([&] { return !model->capturing(); }));
        QCOMPARE(f.captureCalls, 0);
        step(f, *model, 1, 0);
        const Instant from = model->away().pending()->from;
        const Instant back = model->away().pending()->until();
        QVERIFY(model->away().discardAndKeepTracking());

        ModelFixture::syncAll(*model);
        QCOMPARE(f.timerRequests().mid(before), (QStringList{u"time/stop"_s, u"time/start"_s}));
        const QJsonObject stop = f.server.last(u"time/stop"_s)->json();
        QCOMPARE(stop.value(u"stop_reason"_s).toString(), u"idle"_s);
        QCOMPARE(stop.value(u"stopped_at"_s).toString(), API::iso(from));
        QCOMPARE(stop.value(u"client_session_id"_s).toString(), first);
        const QJsonObject start = f.server.last(u"time/start"_s)->json();
        QCOMPARE(start.value(u"started_at"_s).toString(), API::iso(back));
        QCOMPARE(start.value(u"client_session_id"_s).toString(), *model->snapshot().sessionID);
        QVERIFY(!model->snapshot().pending || model->snapshot().pending->isEmpty());
        QCOMPARE(model->snapshot().startSynced, std::optional<bool>(true));

        // Nothing is sent twice by later passes.
        ModelFixture::settle(*model);
        AsyncTest::await(model->syncNow());
        QCOMPARE(f.timerRequests().size(), before + 2);
    }
};

QTEST_MAIN(TestModelAway)
#include "tst_model_away.moc"
