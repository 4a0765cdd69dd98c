// The background work of a running timer, driven by ticks at chosen instants.
#include "EnvOverride.h"
#include "ModelFixture.h"
#include "Preferences.h"
#include "ProgramRun.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {
QByteArray jpeg(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 60);
    return bytes;
}

// Real key presses and clicks on the test display, as the input tap sees them.
void xdotool(const QStringList &args)
{
    const ProgramRun run = ProgramRun::run(u"xdotool"_s, args, {{}, {}, {}, 20000});
    QCOMPARE(run.exitCode, 0);
}

void type(AppModel &model, int keys, int clicks = 0)
{
    const InputCounts before{model.monitor().keystrokes(), model.monitor().clicks()};
    if (keys > 0) {
        QStringList args{u"key"_s, u"--delay"_s, u"1"_s};
        for (int i = 0; i < keys; ++i)
            args.append(u"shift"_s);
        xdotool(args);
    }
    if (clicks > 0)
        xdotool({u"click"_s, u"--repeat"_s, QString::number(clicks), u"--delay"_s, u"1"_s, u"1"_s});
    QVERIFY(TestEnv::waitFor([&] {
        return model.monitor().keystrokes() >= before.keystrokes + keys
            && model.monitor().clicks() >= before.clicks + clicks;
    }));
}
} // namespace

class TestModelBackground : public QObject {
    Q_OBJECT

    // A signed-in model whose timer runs with the start accepted; the usage
    // window opens on the first tick, at the returned instant.
    static Instant startTracking(ModelFixture &f, AppModel &model)
    {
        model.setRunning(true);
        ModelFixture::syncAll(model);
        [&] { QVERIFY(model.snapshot().startSynced == true); }();
        f.server.clear();
        f.clock = f.clock.addSeconds(1);
        tickAt(f, model, f.clock);
        return f.clock;
    }

    static void tickAt(ModelFixture &f, AppModel &model, Instant at)
    {
        f.clock = at;
        model.tick(at);
        [&] { QVERIFY(TestEnv::waitFor([&] { return !model.capturing(); }, 10000)); }();
    }

    // Ticks every second from the current clock up to and including `until`.
    static void runUntil(ModelFixture &f, AppModel &model, Instant until)
    {
        while (f.clock.secondsSince(until) < 0)
            tickAt(f, model, f.clock.addSeconds(1));
    }

    static QList<QJsonObject> bodies(const ModelFixture &f, const QString &path)
    {
        QList<QJsonObject> list;
        for (const auto &r : f.server.requests(path))
            list.append(r.json());
        return list;
    }

private Q_SLOTS:
    void screenshotsFollowTheSchedule()
    {
        ModelFixture f;
        f.shot = ScreenShot{jpeg(160, 100), 160, 100, u"ffffffffffffffff"_s};
        f.server.respond(u"settings/get"_s, 200, QJsonObject{{u"success"_s, true}});
        auto model = f.signedIn();
        QCOMPARE(model->shotMinutes(), 3.0);
        const Instant open = startTracking(f, *model);
        QVERIFY(model->nextShotIn());
        QCOMPARE(*model->nextShotIn(), 30.0);

        runUntil(f, *model, open.addSeconds(29));
        QCOMPARE(f.captureCalls, 0);
        runUntil(f, *model, open.addSeconds(30));
        QCOMPARE(f.captureCalls, 1);
        QVERIFY(TestEnv::waitFor([&] { return model->captures() == 1; }));
        QCOMPARE(*model->nextShotIn(), 180.0);
        QCOMPARE(model->lastShotImage().size(), QSize(160, 100));
        QCOMPARE(model->lastShotAt(), std::optional<Instant>(open.addSeconds(30)));
        QCOMPARE(model->syncText(), u"Synced with Zimbrel · 1 screenshot this session."_s);
        runUntil(f, *model, open.addSeconds(209));
        QCOMPARE(f.captureCalls, 1);
        runUntil(f, *model, open.addSeconds(210));
        QCOMPARE(f.captureCalls, 2);
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"screenshots/upload"_s) == 2; }));

        // A private session never captures, and shows no countdown.
        model->setPrivate(true);
        QVERIFY(!model->nextShotIn());
        runUntil(f, *model, open.addSeconds(400));
        QCOMPARE(f.captureCalls, 2);
        QVERIFY(f.server.count(u"usage/logs"_s) >= 6); // usage goes on
    }

    void oneMinuteWorkspaceAndFailedCaptures()
    {
        ModelFixture f;
        f.server.respond(u"settings/get"_s, 200, QJsonObject{{u"data"_s, QJsonObject{{u"screenshot_interval"_s, 1}}}});
        auto model = f.signedIn();
        QCOMPARE(model->shotMinutes(), 1.0);
        const Instant open = startTracking(f, *model);
        runUntil(f, *model, open.addSeconds(30));
        QCOMPARE(f.captureCalls, 1); // it yields nothing: no upload, the clock still moves
        QCOMPARE(f.server.count(u"screenshots/upload"_s), 0);
        runUntil(f, *model, open.addSeconds(89));
        QCOMPARE(f.captureCalls, 1);
        runUntil(f, *model, open.addSeconds(90));
        QCOMPARE(f.captureCalls, 2);
    }

    void shotDroppedWhenSessionTurnsPrivateDuringCapture()
    {
        ModelFixture f;
        auto model = f.signedIn();
        const Instant open = startTracking(f, *model);
        f.shot = ScreenShot{jpeg(80, 50), 80, 50, u"0"_s};
        f.duringCapture = [] {
            TrackingStore::update([](TrackingSnapshot &s) {
                s.isPrivate = true;
                return true;
            });
        };
        runUntil(f, *model, open.addSeconds(30));
        QCOMPARE(f.captureCalls, 1);
        QTest::qWait(100);
        QCOMPARE(f.server.count(u"screenshots/upload"_s), 0);
        QCOMPARE(model->captures(), 0);
        QVERIFY(model->lastShotImage().isNull());
    }

    void usageRecordsAndSamples()
    {
        ModelFixture f;
        auto model = f.signedIn();
        const Instant open = startTracking(f, *model);

        // Two switches within one second: the sub-second window is not sent.
        tickAt(f, *model, open.addSeconds(10));
        f.frontmost = u"Firefox"_s;
        tickAt(f, *model, open.addSeconds(11));
        f.frontmost = u"Files"_s;
        tickAt(f, *model, open.addSeconds(11.5));
        QTest::qWait(50);
        QList<QJsonObject> usage = bodies(f, u"usage/logs"_s);
        QCOMPARE(usage.size(), 1);
        QVERIFY(QJsonDocument(usage.first()).toJson().contains("xterm"));
        tickAt(f, *model, open.addSeconds(12));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"usage/logs"_s) == 2; }));
        QVERIFY(QJsonDocument(f.server.last(u"usage/logs"_s)->json()).toJson().contains("Firefox"));

        // One record and one sample a minute for the same application.
        type(*model, 1);
        runUntil(f, *model, open.addSeconds(60));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 1; }));
        QJsonObject sample = f.server.last(u"activity/logs"_s)->json();
        QCOMPARE(sample.value("keystrokes"_L1).toInt(), 1);
        QCOMPARE(sample.value("activity_percentage"_L1).toDouble(), 0.6);
        QCOMPARE(sample.value("logs"_L1).toArray().size(), 1);
        QCOMPARE(model->lastActivity(), std::optional<double>(0.6));

        type(*model, 90, 45);
        runUntil(f, *model, open.addSeconds(120));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 2; }));
        sample = f.server.last(u"activity/logs"_s)->json();
        QCOMPARE(sample.value("mouse_clicks"_L1).toInt(), 45);
        QCOMPARE(sample.value("activity_percentage"_L1).toDouble(), 100.0);

        // A longer interval counts by its exact length.
        type(*model, 9);
        tickAt(f, *model, open.addSeconds(240));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 3; }));
        QCOMPARE(f.server.last(u"activity/logs"_s)->json().value("activity_percentage"_L1).toDouble(), 2.5);

        const int records = f.server.count(u"usage/logs"_s);
        runUntil(f, *model, open.addSeconds(540));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 8; }));
        QCOMPARE(f.server.count(u"usage/logs"_s), records + 5);
    }

    void inputBeforeTheWindowOpensIsNotSampled()
    {
        ModelFixture f;
        auto model = f.signedIn();
        f.offline();
        model->setRunning(true); // the start waits for the server
        for (int i = 1; i <= 4; ++i)
            tickAt(f, *model, f.clock.addSeconds(1));
        type(*model, 50);
        f.online();
        ModelFixture::syncAll(*model);
        f.server.clear();
        tickAt(f, *model, f.clock.addSeconds(1)); // opens the window
        const Instant open = f.clock;
        type(*model, 3);
        runUntil(f, *model, open.addSeconds(60));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 1; }));
        QCOMPARE(f.server.last(u"activity/logs"_s)->json().value("keystrokes"_L1).toInt(), 3);
    }

    void stopFlushSendsTheLastMinute()
    {
        ModelFixture f;
        auto model = f.signedIn();
        const Instant open = startTracking(f, *model);
        runUntil(f, *model, open.addSeconds(20));
        type(*model, 5);
        // A slow device lookup: the next tick runs before the flush reads anything.
        Preferences::remove(u"device.id"_s);
        f.server.delay(u"devices/register"_s, 300);
        f.clock = open.addSeconds(30);
        model->setRunning(false);
        tickAt(f, *model, open.addSeconds(31));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"activity/logs"_s) == 1; }));
        const QJsonObject sample = f.server.last(u"activity/logs"_s)->json();
        QCOMPARE(sample.value("keystrokes"_L1).toInt(), 5);
        QCOMPARE(sample.value("activity_percentage"_L1).toDouble(), 2.8); // 5 in under a minute
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"usage/logs"_s) == 1; }));
        QVERIFY(QJsonDocument(f.server.last(u"usage/logs"_s)->json()).toJson().contains("xterm"));
        QVERIFY(TestEnv::waitFor([&] { return !model->usageApp(); }));
    }

    void failuresNeverStickTheBusyFlag()
    {
        ModelFixture f;
        API::setTimeouts(std::chrono::milliseconds(300), std::chrono::milliseconds(300));
        f.shot = ScreenShot{jpeg(80, 50), 80, 50, u"0"_s};
        auto model = f.signedIn();
        const Instant open = startTracking(f, *model);
        f.server.htmlError(u"usage/logs"_s);
        f.server.drop(u"activity/logs"_s);
        f.server.delay(u"screenshots/upload"_s, 2000);
        f.server.respond(u"devices/register"_s, 500, QByteArray("oops"));
        Preferences::remove(u"device.id"_s);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"usage/logs failed: "_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"activity/logs failed: "_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"screenshots/upload failed: "_s));
        runUntil(f, *model, open.addSeconds(60));
        QVERIFY(!model->capturing());
        QCOMPARE(model->captures(), 0);
        QCOMPARE(model->lastActivity(), std::optional<double>(0.0));
        QVERIFY(f.server.last(u"activity/logs"_s)->json().value("device_id"_L1).isNull());
    }

    void goalNoticeOncePerDay()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->setNotifyGoal(true);
        model->setDayGoalHours(1.0); // the server already counts an hour today
        startTracking(f, *model);
        for (int i = 0; i < 45; ++i)
            tickAt(f, *model, f.clock.addSeconds(1));
        QCOMPARE(f.notices.size(), 1);
        QCOMPARE(f.notices.first().first, u"Daily goal reached"_s);
        QCOMPARE(f.notices.first().second, u"You've tracked 1h 0m today. Zimbrel keeps counting until you stop."_s);
        QCOMPARE(Preferences::value(u"notified.goal"_s).toString(), u"2026-03-04"_s);

        // Not again after a restart the same day.
        model.reset();
        auto again = f.make();
        QVERIFY(TestEnv::waitFor([&] { return !again->loading() && again->stats().todaySeconds > 0; }));
        for (int i = 0; i < 30; ++i)
            tickAt(f, *again, f.clock.addSeconds(1));
        QCOMPARE(f.notices.size(), 1);

        // The next day, once more.
        const Instant tomorrow = Instant::fromDateTime(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
        tickAt(f, *again, tomorrow);
        ModelFixture::settle(*again);
        for (int i = 0; i < 30; ++i)
            tickAt(f, *again, f.clock.addSeconds(1));
        QCOMPARE(f.notices.size(), 2);
    }

    void idleNudgeOncePerSpell()
    {
        ModelFixture f;
        auto model = f.signedIn();
        model->setNotifyIdle(true);
        startTracking(f, *model);
        f.idleSeconds = 600;
        for (int i = 0; i < 45; ++i)
            tickAt(f, *model, f.clock.addSeconds(1));
        QCOMPARE(f.notices.size(), 1);
        QCOMPARE(f.notices.first().second,
                 u"No keyboard or mouse movement for 10 minutes. Zimbrel is still tracking Website."_s);
        f.idleSeconds = 3;
        for (int i = 0; i < 15; ++i)
            tickAt(f, *model, f.clock.addSeconds(1));
        f.idleSeconds = 601;
        for (int i = 0; i < 15; ++i)
            tickAt(f, *model, f.clock.addSeconds(1));
        QCOMPARE(f.notices.size(), 2);
    }

    void demoGraphAndNoticesWithoutRequests()
    {
        ModelFixture f;
        auto model = f.make({true, {}, 0});
        model->setNotifyIdle(true);
        model->setRunning(true);
        f.idleSeconds = 700;
        for (int i = 0; i < 30; ++i) {
            tickAt(f, *model, f.clock.addSeconds(1));
            if (i < 29)
                type(*model, 3);
        }
        QVERIFY(std::any_of(model->pulse().cbegin(), model->pulse().cend(), [](double v) { return v > 0; }));
        QCOMPARE(model->pulse().size(), 46);
        QCOMPARE(model->pulse().last(), 6.0 / 14);
        QCOMPARE(f.notices.size(), 1);
        QCOMPARE(f.notices.first().second,
                 u"No keyboard or mouse movement for 10 minutes. Zimbrel is still tracking Client Portal Rebuild."_s);

        model->setRunning(false);
        tickAt(f, *model, f.clock.addSeconds(1));
        QVERIFY(std::all_of(model->pulse().cbegin(), model->pulse().cend(), [](double v) { return v == 0; }));
        QCOMPARE(model->pulse().size(), 46);
        QCOMPARE(f.server.requests().size(), 0);
        QCOMPARE(f.captureCalls, 0);
    }

    void inputTapThatCouldNotStartIsRetried()
    {
        ModelFixture f;
        f.inputAllowed = true; // granted from launch on
        auto model = f.make({true, {}, 0});
        {
            const EnvOverride noDisplay("DISPLAY", ":987"); // no such display: the tap cannot start
            model->setRunning(true);
            tickAt(f, *model, f.clock.addSeconds(1));
        }
        QCOMPARE(model->monitor().strategy(), ActivityMonitor::Strategy::fallback);

        // The permission check every fifth tick tries the tap again.
        while (model->ticks() % 5 != 0)
            tickAt(f, *model, f.clock.addSeconds(1));
        QVERIFY(model->monitor().tap());
        type(*model, 3);
    }

    void heartbeatsEveryMinuteWhileSynced()
    {
        ModelFixture f;
        auto model = f.signedIn();
        const qint64 ticksBefore = model->ticks();
        startTracking(f, *model);
        while ((model->ticks() - ticksBefore) < 125)
            tickAt(f, *model, f.clock.addSeconds(1));
        QVERIFY(TestEnv::waitFor([&] { return f.server.count(u"time/heartbeat"_s) == 2; }));
        QCOMPARE(f.server.last(u"time/heartbeat"_s)->json().value("time_entry_id"_L1).toInteger(),
                 *model->snapshot().entryID);

        // Lookups that overlap before the device is known register it once.
        Preferences::remove(u"device.id"_s);
        f.server.delay(u"devices/register"_s, 200);
        auto first = model->heartbeat();
        auto second = model->heartbeat();
        AsyncTest::await(std::move(first));
        AsyncTest::await(std::move(second));
        QCOMPARE(f.server.count(u"devices/register"_s), 1);
        QCOMPARE(f.server.count(u"time/heartbeat"_s), 4);
        QCOMPARE(f.server.last(u"time/heartbeat"_s)->json().value("device_id"_L1).toInt(), 7);
    }
};

QTEST_MAIN(TestModelBackground)
#include "tst_model_background.moc"
