// The Timer screen's text rules at their boundaries, the picker menus, and
// the geometry the dial and the pulse are drawn from.
#include "DayDial.h"
#include "DayDialGeometry.h"
#include "ModelFixture.h"
#include "ProjectListModel.h"
#include "Pulse.h"
#include "TimerViewModel.h"

#include <QBuffer>
#include <QPainter>
#include <QSignalSpy>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
QByteArray jpeg(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 60);
    return bytes;
}

void tickAt(ModelFixture &f, AppModel &model, Instant at)
{
    f.clock = at;
    model.tick(at);
    QVERIFY(TestEnv::waitFor([&] { return !model.capturing(); }, 10000));
}

void runUntil(ModelFixture &f, AppModel &model, Instant until)
{
    while (f.clock.secondsSince(until) < 0)
        tickAt(f, model, f.clock.addSeconds(1));
}

// The dial painted for the figures, over `onto` (transparent when null) and
// only inside `area` when given, as the scene graph repaints a part of it.
QImage paintDial(DayDial &dial, double total, double session, QImage onto = {}, QRect area = {})
{
    dial.setTotal(total);
    dial.setSession(session);
    if (onto.isNull()) {
        onto = QImage(dial.size().toSize(), QImage::Format_ARGB32_Premultiplied);
        onto.fill(Qt::transparent);
    }
    QPainter painter(&onto);
    if (!area.isNull()) {
        painter.setClipRect(area);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(area, Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    dial.paint(&painter);
    return onto;
}

int largestDifference(const QImage &a, const QImage &b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return most;
}

QString name(const ProjectListModel &list, int row)
{
    return list.data(list.index(row), ProjectListModel::NameRole).toString();
}

QList<bool> marks(const ProjectListModel &list)
{
    QList<bool> checked;
    for (int row = 0; row < list.rowCount(); ++row)
        checked.append(list.data(list.index(row), ProjectListModel::CheckedRole).toBool());
    return checked;
}
} // namespace

class TestTimerViewModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void heroTextsFollowTheTimer()
    {
        ModelFixture f;
        auto model = f.make();
        TimerViewModel vm(model.get());
        // Signed out: nothing to start, and the caption says why.
        QCOMPARE(vm.statusLine(), u"Not tracking"_s);
        QCOMPARE(vm.projectTitle(), u"No project selected"_s);
        QCOMPARE(vm.taskTitle(), u"Pick a project to start"_s);
        QCOMPARE(vm.buttonHelp(), u"Pick a project to start"_s);
        QCOMPARE(vm.startCaption(), u"No projects are assigned to you yet."_s);
        QCOMPARE(vm.firstName(), u"there"_s);
        QCOMPARE(vm.eyebrow(), u"Timer"_s);

        model->enterDemo();
        QCOMPARE(vm.eyebrow(), u"Demo workspace"_s);
        QCOMPARE(vm.greetingTitle(), u"Good morning, "_s);
        QCOMPARE(vm.firstName(), u"Ines"_s);
        QCOMPARE(vm.projectTitle(), u"Client Portal Rebuild"_s);
        QCOMPARE(vm.taskTitle(), u"Design system"_s);
        QCOMPARE(vm.buttonHelp(), u"Start the timer (Ctrl+Enter)"_s);
        QCOMPARE(vm.startCaption(), QString());
        QCOMPARE(vm.sessionMetric(), u"00:00:00"_s);
        QCOMPARE(vm.sessionTile(), u"—"_s);

        // A project whose task is not chosen yet cannot start.
        model->setTaskID(std::nullopt);
        QCOMPARE(vm.taskTitle(), u"No task"_s);
        QCOMPARE(vm.buttonHelp(), u"Pick a project to start"_s);
        QCOMPARE(vm.startCaption(), u"Pick a project to start."_s);
        model->chooseProject(u"1"_s);

        model->setRunning(true);
        QCOMPARE(vm.statusLine(), u"Tracking"_s);
        QCOMPARE(vm.buttonLabel(), u"Stop tracking"_s);
        QCOMPARE(vm.buttonHelp(), u"Stop the timer (Ctrl+Enter)"_s);
        QCOMPARE(vm.startCaption(), QString());
        f.clock = f.clock.addSeconds(3725.9);
        model->tick(f.clock);
        QCOMPARE(vm.sessionMetric(), u"01:02:05"_s);
        QCOMPARE(vm.sessionTile(), u"01:02:05"_s);
        model->setPrivate(true);
        QCOMPARE(vm.statusLine(), u"Tracking · private"_s);
        QCOMPARE(vm.captureDetail(), u"Not captured in the demo workspace."_s);
        model->setRunning(false);
        // Private without a running timer is just stopped.
        QCOMPARE(vm.statusLine(), u"Not tracking"_s);
        QVERIFY(TrackingStore::load().isPrivate);
    }

    // Each text signals only its own changes: a running second moves the
    // clocks, not the goal line.
    void textsSignalOnlyTheirOwnChanges()
    {
        ModelFixture f;
        auto model = f.make();
        model->enterDemo();
        TimerViewModel vm(model.get());
        model->setRunning(true);
        QSignalSpy clock(&vm, &TimerViewModel::sessionClockChanged);
        QSignalSpy goal(&vm, &TimerViewModel::goalLineChanged);
        QSignalSpy changed(&vm, &TimerViewModel::changed);
        model->tick(f.clock = f.clock.addSeconds(1)); // the first look reports every text once
        clock.clear();
        goal.clear();
        changed.clear();
        for (int i = 0; i < 3; ++i)
            model->tick(f.clock = f.clock.addSeconds(1));
        QCOMPARE(clock.count(), 3);
        QCOMPARE(goal.count(), 0);
        QVERIFY(changed.count() >= 3);
        model->setDayGoalHours(6);
        QCOMPARE(goal.count(), 1);
        QCOMPARE(vm.goalLine(), u"of 6h"_s);

        // A text goes back to what the last listener saw while nobody
        // listened; a new listener still hears of the next change.
        auto privacy = std::make_unique<QSignalSpy>(&vm, &TimerViewModel::isPrivateChanged);
        model->setPrivate(true);
        QCOMPARE(privacy->count(), 1);
        privacy.reset();
        model->setPrivate(false);
        QSignalSpy late(&vm, &TimerViewModel::isPrivateChanged);
        model->setPrivate(true);
        QCOMPARE(late.count(), 1);
        QVERIFY(vm.isPrivate());
    }

    void namesAndGoalTexts()
    {
        ModelFixture f;
        auto model = f.make();
        model->enterDemo();
        TimerViewModel vm(model.get());
        // Demo day: 5 h 42 m tracked of an 8 h goal.
        QCOMPARE(vm.todayShort(), u"5h 42m"_s);
        QCOMPARE(vm.goalLine(), u"of 8h"_s);
        QCOMPARE(vm.dialLabel(), u"Tracked today 5h 42m of 8 hours"_s);
        QCOMPARE(vm.leftToday(), u"2h 18m"_s);
        QCOMPARE(vm.weekLabel(), u"This week · of 40h"_s);
        QCOMPARE(vm.weekValue(), u"26h 45m"_s);
        QVERIFY(qAbs(vm.weekProgress() - 96300.0 / 144000) < 1e-9);
        QCOMPARE(vm.meetingValue(), u"48m"_s);

        // Exactly at the goal, past it, and a goal of 14 h: never negative.
        model->setDayGoalHours(5.7);
        QCOMPARE(vm.leftToday(), u"0m"_s);
        QCOMPARE(vm.goalLine(), u"of 5h"_s);
        QCOMPARE(vm.weekLabel(), u"This week · of 28h"_s);
        model->setDayGoalHours(1);
        QCOMPARE(vm.leftToday(), u"0m"_s);
        QCOMPARE(vm.dialLabel(), u"Tracked today 5h 42m of 1 hours"_s);
        QCOMPARE(vm.weekProgress(), 1.0);
        model->setDayGoalHours(14);
        QCOMPARE(vm.leftToday(), u"8h 18m"_s);
        QCOMPARE(vm.goalSeconds(), 14 * 3600.0);

        // A clock past 99 hours keeps all its digits.
        model->setRunning(true);
        f.clock = f.clock.addSeconds(100 * 3600 + 1);
        model->tick(f.clock);
        QCOMPARE(vm.sessionMetric(), u"100:00:01"_s);
        QCOMPARE(vm.leftToday(), u"0m"_s);
    }

    void firstNameIsTheNamesFirstWord()
    {
        // Read through the same rule as the header: the first word, or "there".
        ModelFixture f;
        f.server.respond(u"login"_s, 200,
                         QJsonObject{{u"success"_s, true},
                                     {u"data"_s, QJsonObject{{u"token"_s, u"t"_s},
                                                             {u"user"_s, QJsonObject{{u"name"_s, u"  Zoë  Ångström "_s}}}}}});
        auto model = f.signedIn();
        TimerViewModel vm(model.get());
        QCOMPARE(vm.firstName(), u"Zoë"_s);
    }

    void pickersOfferProjectsAndTasksWithTheirCheckMarks()
    {
        ModelFixture f;
        auto model = f.signedIn();
        TimerViewModel vm(model.get());
        ProjectListModel &projects = *vm.projectItems();
        ProjectListModel &tasks = *vm.taskItems();
        QCOMPARE(projects.rowCount(), 3);
        QCOMPARE(name(projects, 0), u"Website"_s);
        QCOMPARE(marks(projects), (QList<bool>{true, false, false}));
        QCOMPARE(marks(tasks), (QList<bool>{true, false}));
        QVERIFY(vm.taskChoosable());

        QSignalSpy reset(&tasks, &QAbstractItemModel::modelReset);
        QSignalSpy checks(&tasks, &QAbstractItemModel::dataChanged);
        vm.chooseTask(1);
        QCOMPARE(vm.taskValue(), u"Build"_s);
        QCOMPARE(marks(tasks), (QList<bool>{false, true}));
        QCOMPARE(checks.count(), 1);
        QCOMPARE(reset.count(), 0);

        // A project without tasks: the task row has nothing to offer.
        vm.chooseProject(1);
        QCOMPARE(vm.projectValue(), u"Mobile app"_s);
        QCOMPARE(tasks.rowCount(), 0);
        QVERIFY(!vm.taskChoosable());
        QCOMPARE(vm.taskValue(), u"Choose a task"_s);
        QVERIFY(vm.taskPlaceholder());
        QCOMPARE(vm.taskTitle(), u"No task"_s);
        QCOMPARE(vm.buttonHelp(), u"Start the timer (Ctrl+Enter)"_s);
        QCOMPARE(TrackingStore::load().project, u"Mobile app"_s);

        // While running, choices are refused and the rows say why.
        QCOMPARE(vm.pickerHelp(u"Project"_s), QString());
        model->setRunning(true);
        QCOMPARE(vm.pickerHelp(u"Project"_s), u"Stop the timer to switch project"_s);
        QCOMPARE(vm.pickerHelp(u"Task"_s), u"Stop the timer to switch task"_s);
        vm.chooseProject(0);
        QCOMPARE(vm.projectValue(), u"Mobile app"_s);
        projects.choose(7); // out of range: nothing
        QCOMPARE(vm.projectValue(), u"Mobile app"_s);
    }

    void captureTextsFollowTheSchedule()
    {
        ModelFixture f;
        f.shot = ScreenShot{jpeg(160, 100), 160, 100, u"ffffffffffffffff"_s};
        f.server.respond(u"settings/get"_s, 200, QJsonObject{{u"success"_s, true}}); // 3-minute default
        auto model = f.signedIn();
        TimerViewModel vm(model.get());
        QCOMPARE(vm.captureTitle(), u"Screenshots"_s);
        QCOMPARE(vm.captureDetail(), u"Taken on your workspace's schedule while you track."_s);
        QVERIFY(!vm.hasShot());

        model->setRunning(true);
        ModelFixture::syncAll(*model);
        QCOMPARE(vm.statusText(), u"Synced with Zimbrel."_s);
        tickAt(f, *model, f.clock.addSeconds(1));
        const Instant open = f.clock;
        QCOMPARE(vm.captureDetail(), u"Next capture in under a minute."_s); // 30 s to the first

        QSignalSpy changed(&vm, &TimerViewModel::changed);
        runUntil(f, *model, open.addSeconds(30));
        QVERIFY(TestEnv::waitFor([&] { return model->captures() == 1; }));
        QVERIFY(changed.count() >= 30);
        QVERIFY(vm.hasShot());
        QCOMPARE(vm.shotSource(), u"image://lastshot/1"_s);
        QCOMPARE(vm.captureTitle(), u"Captured just now"_s);
        QCOMPARE(vm.statusText(), u"Synced with Zimbrel · 1 screenshot this session."_s);
        // The fixture's capture hands its shot over (moves it): give it another.
        f.shot = ScreenShot{jpeg(160, 100), 160, 100, u"ffffffffffffffff"_s};

        runUntil(f, *model, open.addSeconds(30 + 59));
        QCOMPARE(vm.captureTitle(), u"Captured just now"_s);
        runUntil(f, *model, open.addSeconds(30 + 60));
        QCOMPARE(vm.captureTitle(), u"Captured 1m ago"_s);
        // 180 s between shots: 61 s left reads "about 2 min.", 59 s "under a minute".
        runUntil(f, *model, open.addSeconds(30 + 119));
        QCOMPARE(*model->nextShotIn(), 61.0);
        QCOMPARE(vm.captureDetail(), u"Next capture in about 2 min."_s);
        runUntil(f, *model, open.addSeconds(30 + 121));
        QCOMPARE(vm.captureDetail(), u"Next capture in under a minute."_s);
        runUntil(f, *model, open.addSeconds(210));
        QVERIFY(TestEnv::waitFor([&] { return model->captures() == 2; }));
        QCOMPARE(vm.statusText(), u"Synced with Zimbrel · 2 screenshots this session."_s);
        QCOMPARE(vm.shotSource(), u"image://lastshot/2"_s);

        model->setPrivate(true);
        QCOMPARE(vm.captureDetail(), u"Paused while private mode is on."_s);
    }

    void screenAccessComesFirst()
    {
        ModelFixture f;
        bool allowed = false;
        AppModel::Platform platform = f.platform();
        platform.screenAllowed = [&] { return allowed; };
        AppModel model(platform, {});
        model.enterDemo();
        TimerViewModel vm(&model);
        QVERIFY(!vm.screenAllowed());
        QCOMPARE(vm.captureDetail(), u"Off until you allow Screen Recording."_s);
        allowed = true;
        QSignalSpy changed(&vm, &TimerViewModel::changed);
        for (int i = 0; i < 5; ++i) // access is looked at every fifth tick
            model.tick(f.clock = f.clock.addSeconds(1));
        QVERIFY(vm.screenAllowed());
        QCOMPARE(vm.captureDetail(), u"Not captured in the demo workspace."_s);
        QVERIFY(changed.count() >= 5);
    }

    void statusLineAndRetry()
    {
        ModelFixture f;
        auto model = f.signedIn();
        TimerViewModel vm(model.get());
        QCOMPARE(vm.statusText(), u"Synced with Zimbrel."_s);
        QVERIFY(!vm.statusAlert());
        QVERIFY(!vm.canRetry());

        // Offline: the start waits, then the pass fails with the reason.
        f.offline();
        model->setRunning(true);
        QCOMPARE(vm.statusText(), u"Syncing with Zimbrel…"_s);
        QVERIFY(TestEnv::waitFor([&] { return model->sync().kind == SyncState::Kind::failed; }, 10000));
        QVERIFY(vm.statusText().startsWith(u"Couldn't sync: "_s));
        QVERIFY(vm.statusText().endsWith(u" Your time is saved here and will retry."_s));
        QVERIFY(vm.statusAlert());
        QVERIFY(!vm.canRetry());

        // A failed refresh offers "Try again", which refreshes once more.
        f.online();
        f.server.respond(u"projects"_s, 500, QJsonObject{{u"message"_s, u"Down for maintenance."_s}});
        QSignalSpy changed(&vm, &TimerViewModel::changed);
        AsyncTest::await(model->refresh());
        QVERIFY(vm.canRetry());
        QVERIFY(vm.statusAlert());
        QVERIFY(changed.count() >= 1);
        f.server.clear();
        const int before = f.server.count(u"projects"_s);
        vm.retry();
        QVERIFY(TestEnv::waitFor([&] { return !model->loading(); }));
        QVERIFY(f.server.count(u"projects"_s) > before);
        QVERIFY(TestEnv::waitFor([&] { return !vm.canRetry(); }));
    }

    void dialGeometry_data()
    {
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("session");
        QTest::addColumn<double>("goalHours");
        QTest::addColumn<bool>("running");
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<double>("progress");
        QTest::addColumn<int>("ticks");
        // 2 h 5 m of 8 h with a 25-minute session running.
        QTest::newRow("8 h, running") << 7500.0 << 1500.0 << 8.0 << true << 6000.0 / 28800 << 7500.0 / 28800 << 8;
        QTest::newRow("1 h goal") << 1800.0 << 0.0 << 1.0 << false << 0.5 << 0.5 << 1;
        QTest::newRow("past the goal") << 40000.0 << 20000.0 << 8.0 << true << 1 - 20000.0 / 28800 << 1.0 << 8;
        QTest::newRow("session longer than the goal") << 40000.0 << 40000.0 << 8.0 << true << 0.0 << 1.0 << 8;
        QTest::newRow("14 h goal") << 0.0 << 0.0 << 14.0 << false << 0.0 << 0.0 << 14;
        QTest::newRow("negative figures") << -5.0 << -5.0 << 8.0 << false << 0.0 << 0.0 << 8;
    }

    void dialGeometry()
    {
        QFETCH(double, total);
        QFETCH(double, session);
        QFETCH(double, goalHours);
        QFETCH(bool, running);
        QFETCH(double, elapsed);
        QFETCH(double, progress);
        QFETCH(int, ticks);
        const auto g = DayDialGeometry::compute({200, 200}, total, session, goalHours * 3600, running);
        QCOMPARE(g.lineWidth, 12.4);
        QCOMPARE(g.radius, (200 - 12.4) / 2);
        QCOMPARE(g.centre, QPointF(100, 100));
        QVERIFY(qAbs(g.elapsed - elapsed) < 1e-9);
        QVERIFY(qAbs(g.progress - progress) < 1e-9);
        QVERIFY(qAbs(g.elapsed + g.session - g.progress) < 1e-9);
        QVERIFY(g.progress <= 1);
        QCOMPARE(g.elapsedArc, elapsed > 0.0005);
        QCOMPARE(g.sessionArc, running && session > 0);
        QCOMPARE(g.dot, running);
        QCOMPARE(g.ticks.size(), ticks);
        // The long tick at twelve o'clock, the short ones spread over the goal's hours.
        const double R = 12.4 / 2 + g.radius + 3;
        QCOMPARE(g.ticks.first().fraction, 0.0);
        QCOMPARE(g.ticks.first().from, R);
        QCOMPARE(g.ticks.first().to, R + 6);
        QCOMPARE(g.ticks.first().opacity, 0.7);
        for (int i = 1; i < g.ticks.size(); ++i) {
            QCOMPARE(g.ticks[i].fraction, double(i) / goalHours);
            QCOMPARE(g.ticks[i].to - g.ticks[i].from, 4.0);
            QCOMPARE(g.ticks[i].opacity, 0.3);
        }
        if (running) {
            QCOMPARE(g.dotDiameter, 12.4 * 0.48);
            const QPointF tip = g.pointAt(g.progress, g.radius);
            QVERIFY(qAbs(g.dotCentre.x() - tip.x()) < 1e-9 && qAbs(g.dotCentre.y() - tip.y()) < 1e-9);
        }
    }

    // The dial is painted again only when the eye could tell: a running
    // second on an eight-hour goal moves the tip by hundredths of a pixel.
    void dialRepaintsOnlyVisibleChanges()
    {
        const QSizeF canvas(200, 200);
        const double goal = 8 * 3600;
        const auto at = [&](double total, double session, bool running = true) {
            return DayDialGeometry::compute(canvas, total, session, goal, running);
        };
        const auto shown = at(3600, 600);
        QVERIFY(at(3601, 601).looksLike(shown));
        QVERIFY(at(3605, 605).looksLike(shown));
        // About a quarter pixel along a ring of radius 94: 8 h / (4 * 2 pi * 94) = 12 s.
        QVERIFY(!at(3613, 613).looksLike(shown));
        QVERIFY(!at(3600, 600, false).looksLike(shown));   // the dot goes
        QVERIFY(!at(3600, 0).looksLike(shown));            // the session arc goes
        QVERIFY(!DayDialGeometry::compute({300, 300}, 3600, 600, goal, true).looksLike(shown));
        QVERIFY(!DayDialGeometry::compute(canvas, 3600, 600, 9 * 3600, true).looksLike(shown));
        // A short goal moves visibly every second.
        const auto hour = DayDialGeometry::compute(canvas, 100, 100, 600, true);
        QVERIFY(!DayDialGeometry::compute(canvas, 101, 101, 600, true).looksLike(hour));
    }

    // A running tip is painted again only around itself, and that area holds
    // every pixel that changes: the dial looks as if painted whole.
    void dialRepaintsOnlyAroundTheTip()
    {
        DayDial dial;
        const QSizeF canvas(184, 184);
        dial.setSize(canvas + 2 * QSizeF(DayDial::kOverhang, DayDial::kOverhang));
        dial.setGoal(8 * 3600);
        dial.setRunning(true);
        const auto at = [&](double total, double session, bool running = true) {
            return DayDialGeometry::compute(canvas, total, session, 8 * 3600, running);
        };
        // Thirteen seconds on, around the ring: past twelve, three and six o'clock, at the goal.
        for (const double total : {30.0, 7195.0, 14395.0, 20000.0, 28780.0}) {
            const double session = std::min(total, 600.0);
            const QRectF area = at(total + 13, session + 13).tipChange(at(total, session));
            QVERIFY2(!area.isEmpty() && area.width() < 30 && area.height() < 30, qPrintable(QDebug::toString(area)));
            const QRect onItem = area.translated(DayDial::kOverhang, DayDial::kOverhang).toAlignedRect();
            const QImage partly = paintDial(dial, total + 13, session + 13, paintDial(dial, total, session), onItem);
            const QImage whole = paintDial(dial, total + 13, session + 13);
            QVERIFY2(largestDifference(partly, whole) <= 2, qPrintable(QString::number(total)));
        }
        // Anything else, or a long way, paints the whole dial.
        const auto shown = at(3600, 600);
        QVERIFY(at(3613, 613, false).tipChange(shown).isEmpty()); // the dot goes
        QVERIFY(at(3613, 0).tipChange(shown).isEmpty());          // the session arc goes
        QVERIFY(at(3613, 13).tipChange(shown).isEmpty());         // a new session starts later
        QVERIFY(at(4800, 1800).tipChange(shown).isEmpty());       // twenty minutes on
        QVERIFY(DayDialGeometry::compute({300, 300}, 3613, 613, 8 * 3600, true).tipChange(shown).isEmpty());
        QVERIFY(DayDialGeometry::compute(canvas, 3613, 613, 9 * 3600, true).tipChange(shown).isEmpty());
    }

    void dialAnglesStartAtTwelve()
    {
        const auto g = DayDialGeometry::compute({100, 100}, 0, 0, 3600, false);
        QCOMPARE(g.lineWidth, 10.0); // 6.2 % of 100 is below the minimum
        const QPointF top = g.pointAt(0, 10);
        QVERIFY(qAbs(top.x() - 50) < 1e-9 && qAbs(top.y() - 40) < 1e-9);
        const QPointF right = g.pointAt(0.25, 10);
        QVERIFY(qAbs(right.x() - 60) < 1e-9 && qAbs(right.y() - 50) < 1e-9);
    }

    void pulseBars()
    {
        QVERIFY(Pulse::bars({100, 46}, {}).isEmpty());
        const auto one = Pulse::bars({100, 46}, {0.5});
        QCOMPARE(one.size(), 1);
        QCOMPARE(one[0].rect, QRectF(0, 23, 100, 23));
        QCOMPARE(one[0].opacity, 0.35);

        const auto bars = Pulse::bars({137, 46}, {0.0, 0.02, 0.021, 1.0, 7.0});
        QCOMPARE(bars.size(), 5);
        // (137 - 3 * 4) / 5 = 25 wide, 3 apart; at least 3 high, bottom-aligned.
        QCOMPARE(bars[1].rect, QRectF(28, 43, 25, 3));
        QCOMPARE(bars[4].rect, QRectF(112, 0, 25, 46));
        QCOMPARE(bars[0].radius, 12.5);
        QCOMPARE(bars[1].lit, false);
        QCOMPARE(bars[2].lit, true);
        QCOMPARE(bars[0].opacity, 0.35);
        QCOMPARE(bars[4].opacity, 1.0);
        // Too many bars for the width: each stays 2 wide.
        QCOMPARE(Pulse::bars({40, 46}, QList<double>(46, 0.5)).first().rect.width(), 2.0);
    }
};

QTEST_MAIN(TestTimerViewModel)
#include "tst_timerviewmodel.moc"
