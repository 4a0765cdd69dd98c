// The Today screen: its texts from the statistics (also absent or odd ones),
// the Refresh rule, and the layout at wide and narrow sizes in both looks
// (screenshots saved in the build folder).
#include "ModelFixture.h"
#include "TodayViewModel.h"
#include "ViewHarness.h"

#include <QQuickItem>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestTodayView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textsOfTheDemoDay()
    {
        ModelFixture f;
        auto model = f.make();
        TodayViewModel vm(model.get());
        // Signed out: the empty statistics, and a ring that still shows its cap.
        QCOMPARE(vm.percentText(), u"0%"_s);
        QCOMPARE(vm.ringFraction(), 0.001);
        QCOMPARE(vm.activitySpan(), u"--:-- – --:--"_s);

        QSignalSpy changed(&vm, &TodayViewModel::changed);
        model->enterDemo();
        QVERIFY(changed.count() >= 1);
        QCOMPARE(vm.percentText(), u"85%"_s);
        QCOMPARE(vm.ringFraction(), 0.85);
        QCOMPARE(vm.activitySpan(), u"09:04 AM – 03:12 PM"_s);
        QCOMPARE(vm.trackedValue(), u"5h 42m"_s);
        QCOMPARE(vm.productiveValue(), u"4h 51m"_s);
        QCOMPARE(vm.meetingValue(), u"48m"_s);
        QCOMPARE(vm.manualValue(), u"12m"_s);
        QCOMPARE(vm.weekValue(), u"26h 45m"_s);
        // Nothing to refresh in the demo workspace.
        QVERIFY(!vm.canRefresh());
        vm.refresh();
        QVERIFY(!model->loading());

        // The running session adds to today's total as the clock moves.
        model->setRunning(true);
        changed.clear();
        f.clock = f.clock.addSeconds(600);
        model->tick(f.clock);
        QVERIFY(changed.count() >= 1);
        QCOMPARE(vm.trackedValue(), u"5h 52m"_s);
    }

    void oddStatisticsStayReadable()
    {
        ModelFixture f;
        // Fields missing or of the wrong kind, a percentage out of range.
        f.server.respond(u"dashboard"_s, 200,
                         QJsonObject{{u"success"_s, true},
                                     {u"data"_s, QJsonObject{{u"totals"_s, QJsonObject{{u"productive_percent"_s, 250},
                                                                                      {u"meeting_time"_s, 5}}}}}});
        auto model = f.signedIn();
        TodayViewModel vm(model.get());
        QCOMPARE(vm.percentText(), u"100%"_s);
        QCOMPARE(vm.ringFraction(), 1.0);
        QCOMPARE(vm.meetingValue(), u"0m"_s); // a number where text belongs counts as absent
        QCOMPARE(vm.activitySpan(), u"--:-- – --:--"_s);
        QVERIFY(vm.canRefresh());

        // Refresh runs the model's refresh, and is off while it runs.
        f.server.clear();
        vm.refresh();
        QVERIFY(model->loading());
        QVERIFY(!vm.canRefresh());
        QVERIFY(TestEnv::waitFor([&] { return !model->loading(); }));
        QVERIFY(f.server.count(u"dashboard"_s) >= 1);
    }

    void laysOutAtEverySize()
    {
        ModelFixture f;
        f.clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, 3), QTime(14, 30)));
        auto model = f.make();
        model->enterDemo();
        ViewHarness harness(model.get(), u"TodayView.qml"_s);
        QVERIFY(harness.root());
        QVERIFY(!harness.item(u"refresh"_s)->isEnabled());

        for (const QSize size : {QSize(940, 640), QSize(400, 700), QSize(360, 640)}) {
            harness.resize({size.width(), size.height()});
            QQuickItem *ring = harness.item(u"ringCard"_s);
            QQuickItem *tiles = harness.item(u"todayTiles"_s);
            const QPointF ringAt = ring->mapToScene({0, 0});
            const QPointF tilesAt = tiles->mapToScene({0, 0});
            if (size.width() >= 700) {
                QCOMPARE(tilesAt.y(), ringAt.y());
                QVERIFY(tilesAt.x() >= ringAt.x() + ring->width());
                QCOMPARE(tiles->property("columns").toInt(), 2);
            } else {
                QVERIFY(tilesAt.y() >= ringAt.y() + ring->height());
            }
            QCOMPARE(harness.item(u"ring"_s)->width(), 150.0);
            QStringList out = ViewHarness::overflows(ring) + ViewHarness::overflows(harness.item(u"weekCard"_s))
                + ViewHarness::overflows(harness.item(u"todayMain"_s));
            for (QQuickItem *tile : tiles->childItems())
                out += ViewHarness::overflows(tile);
            QVERIFY2(out.isEmpty(), qPrintable(out.join(u"; "_s)));
            for (const QString &look : {u"light"_s, u"dark"_s}) {
                // Long enough for the look's transitions and the ring's first frames.
                harness.setLook(look);
                QVERIFY(!harness.screenshot({}, u"today-%1-%2x%3"_s.arg(look).arg(size.width()).arg(size.height()), 900).isNull());
            }
        }
        QCOMPARE(harness.item(u"percent"_s)->property("text").toString(), u"85%"_s);
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }
};

QTEST_MAIN(TestTodayView)
#include "tst_todayview.moc"
