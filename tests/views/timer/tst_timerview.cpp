// The Timer screen in a window with the demo workspace and a fixed clock:
// layout at wide and narrow sizes in both looks (screenshots saved in the
// build folder), the button and Ctrl+Enter, the pickers while running, the
// private switch, and the last screenshot's thumbnail.
#include "Durations.h"
#include "ModelFixture.h"
#include "Motion.h"
#include "Palette.h"
#include "ViewHarness.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QJsonArray>
#include <QQuickItem>

using namespace Qt::StringLiterals;

namespace {
QPoint centreOf(QQuickItem *item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

// Long enough for the look's transitions and the dial's first frames.
constexpr int settle = 900;

int distance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}
} // namespace

class TestTimerView : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelFixture> m_fixture;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ViewHarness> m_harness;

    QQuickItem *item(const QString &name) { return m_harness->item(name); }

    void checkLayout(int width, const QString &what)
    {
        QQuickItem *hero = item(u"hero"_s);
        QQuickItem *column = item(u"pickerColumn"_s);
        QVERIFY(hero && column);
        const QPointF heroAt = hero->mapToScene({0, 0});
        const QPointF columnAt = column->mapToScene({0, 0});
        if (width < 520) {
            QVERIFY2(columnAt.y() >= heroAt.y() + hero->height(), qPrintable(what));
            QCOMPARE(column->width(), hero->width());
        } else {
            QCOMPARE(columnAt.y(), heroAt.y());
            QVERIFY2(columnAt.x() >= heroAt.x() + hero->width(), qPrintable(what));
        }
        // Nothing reaches out of its card, and no card out of the screen.
        QStringList out = ViewHarness::overflows(hero);
        for (const QString &card : {u"timerMain"_s, u"timerTiles"_s, u"pickerColumn"_s})
            out += ViewHarness::overflows(item(card));
        for (QQuickItem *card : item(u"pickerColumn"_s)->childItems())
            out += ViewHarness::overflows(card);
        for (QQuickItem *tile : item(u"timerTiles"_s)->childItems())
            out += ViewHarness::overflows(tile);
        QVERIFY2(out.isEmpty(), qPrintable(what + u": "_s + out.join(u"; "_s)));
        QQuickItem *main = item(u"timerMain"_s);
        QVERIFY(main->mapToScene({main->width(), 0}).x() <= width + 0.5);
        // The sync line is in sight without scrolling.
        QQuickItem *sync = item(u"statusText"_s);
        const QRectF line = sync->mapRectToScene(sync->boundingRect());
        QVERIFY2(line.top() >= 0 && line.bottom() <= m_harness->view()->height() && sync->height() > 0,
                 qPrintable(what + u": "_s + QDebug::toString(line)));
    }

    void setRunning(bool running)
    {
        if (m_model->isRunning() != running)
            m_model->setRunning(running);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_fixture = std::make_unique<ModelFixture>();
        // Tuesday, 14:30: a demo day with a few hours left to the goal.
        m_fixture->clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, 3), QTime(14, 30)));
        m_model = m_fixture->make();
        m_model->enterDemo();
        m_harness = std::make_unique<ViewHarness>(m_model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));
        QVERIFY(m_harness->root());
    }

    void laysOutAtEverySize_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("look");
        QTest::addColumn<bool>("running");
        for (const QSize size : {QSize(940, 640), QSize(600, 640), QSize(400, 700), QSize(360, 640), QSize(1400, 900)})
            for (const QString &look : {u"light"_s, u"dark"_s})
                for (bool running : {false, true})
                    QTest::addRow("%dx%d %s %s", size.width(), size.height(), qPrintable(look),
                                  running ? "running" : "stopped")
                        << size.width() << size.height() << look << running;
    }

    void laysOutAtEverySize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, look);
        QFETCH(bool, running);
        setRunning(running);
        if (running) {
            // 25 minutes into the session.
            m_fixture->clock = m_fixture->clock.addSeconds(1500);
            m_model->tick(m_fixture->clock);
        }
        m_harness->resize({width, height});
        const QString what = u"%1x%2 %3"_s.arg(width).arg(height).arg(look);
        checkLayout(width, what);
        m_harness->setLook(look);
        const QImage shot = m_harness->screenshot({}, u"timer-%1-%2x%3-%4"_s.arg(look).arg(width).arg(height)
                                                       .arg(running ? u"running"_s : u"stopped"_s), settle);
        QVERIFY(!shot.isNull());
        // The hero is dark in both looks.
        QQuickItem *hero = item(u"hero"_s);
        const QPoint inHero = (hero->mapToScene({8, hero->height() / 2}) * m_harness->view()->effectiveDevicePixelRatio()).toPoint();
        QVERIFY2(shot.pixelColor(inHero).lightness() < 60, qPrintable(shot.pixelColor(inHero).name()));
        QCOMPARE(item(u"startStop"_s)->property("text").toString(), running ? u"Stop tracking"_s : u"Start tracking"_s);
        // The rest of the screen, scrolled to its end.
        QQuickItem *scroll = item(u"timerScroll"_s);
        const qreal bottom = scroll->property("contentHeight").toReal() - scroll->height();
        if (bottom > 0) {
            scroll->setProperty("contentY", bottom);
            m_harness->screenshot({}, u"timer-%1-%2x%3-%4-end"_s.arg(look).arg(width).arg(height)
                                          .arg(running ? u"running"_s : u"stopped"_s), settle);
            scroll->setProperty("contentY", 0);
        }
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
        setRunning(false);
    }

    void buttonAndShortcutStartAndStop()
    {
        m_harness->resize({940, 640});
        QQuickItem *button = item(u"startStop"_s);
        QVERIFY(button->isEnabled());
        QCOMPARE(item(u"startStopBox"_s)->property("help").toString(), u"Start the timer (Ctrl+Enter)"_s);
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(button));
        QVERIFY(m_model->isRunning());
        QVERIFY(TrackingStore::load().isRunning);
        QCOMPARE(item(u"startStopBox"_s)->property("help").toString(), u"Stop the timer (Ctrl+Enter)"_s);
        QCOMPARE(ViewHarness::property(button, u"Accessible.name"_s).toString(), u"Stop tracking"_s);

        QTest::keyClick(m_harness->view(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!m_model->isRunning());
        QTest::keyClick(m_harness->view(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QVERIFY(m_model->isRunning());
        QTest::keyClick(m_harness->view(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QVERIFY(!m_model->isRunning());
        // Return alone does nothing.
        QTest::keyClick(m_harness->view(), Qt::Key_Return);
        QVERIFY(!m_model->isRunning());

        // Not the shown screen: the shortcut is off.
        m_harness->root()->setProperty("screen", u"today"_s);
        QTest::keyClick(m_harness->view(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!m_model->isRunning());
        m_harness->root()->setProperty("screen", u"timer"_s);
    }

    void pickersAreLockedWhileRunning()
    {
        QQuickItem *project = item(u"projectPicker"_s);
        QQuickItem *task = item(u"taskPicker"_s);
        auto *projectBody = project->findChild<QQuickItem *>(u"pickerBody"_s);
        auto *taskBody = task->findChild<QQuickItem *>(u"pickerBody"_s);
        QVERIFY(projectBody && taskBody);
        QVERIFY(projectBody->isEnabled() && taskBody->isEnabled());
        QCOMPARE(project->property("help").toString(), QString());
        QCOMPARE(ViewHarness::property(projectBody, u"Accessible.name"_s).toString(),
                 u"Project: Client Portal Rebuild"_s);
        QCOMPARE(ViewHarness::property(taskBody, u"Accessible.name"_s).toString(), u"Task: Design system"_s);

        setRunning(true);
        QVERIFY(!projectBody->isEnabled() && !taskBody->isEnabled());
        QCOMPARE(projectBody->opacity(), 0.55);
        QCOMPARE(project->property("help").toString(), u"Stop the timer to switch project"_s);
        QCOMPARE(task->property("help").toString(), u"Stop the timer to switch task"_s);
        QCOMPARE(ViewHarness::property(taskBody, u"Accessible.description"_s).toString(), u"Stop the timer to switch task"_s);
        // A click on a locked row opens no menu and changes nothing.
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(project));
        QTest::qWait(50);
        QVERIFY(!project->findChild<QObject *>(u"pickerMenu"_s)->property("visible").toBool());
        QCOMPARE(m_model->projectID(), std::optional<QString>(u"1"_s));
        setRunning(false);
        QVERIFY(projectBody->isEnabled());
    }

    void pickerMenuChoosesAProject()
    {
        QQuickItem *project = item(u"projectPicker"_s);
        auto *menu = project->findChild<QObject *>(u"pickerMenu"_s);
        QVERIFY(menu);
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(project));
        QTRY_VERIFY(menu->property("opened").toBool());
        QCOMPARE(menu->property("count").toInt(), 4);
        QQuickItem *second = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, second), Q_ARG(int, 1));
        QVERIFY(second);
        QCOMPARE(second->property("text").toString(), u"Mobile App v2"_s);
        QVERIFY(!second->property("current").toBool());
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(second));
        QTRY_VERIFY(!menu->property("visible").toBool());
        QCOMPARE(m_model->projectID(), std::optional<QString>(u"2"_s));
        QCOMPARE(m_model->taskID(), std::optional<QString>(u"21"_s));
        QCOMPARE(ViewHarness::property(project->findChild<QQuickItem *>(u"pickerBody"_s), u"Accessible.name"_s).toString(),
                 u"Project: Mobile App v2"_s);
        QCOMPARE(TrackingStore::load().project, u"Mobile App v2"_s);
        m_model->chooseProject(u"1"_s);
    }

    void privateSwitchWritesTheStore()
    {
        QQuickItem *toggle = item(u"privateSwitch"_s);
        QVERIFY(!TrackingStore::load().isPrivate);
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(toggle));
        QVERIFY(TrackingStore::load().isPrivate);
        QVERIFY(toggle->property("checked").toBool());
        setRunning(true);
        QCOMPARE(item(u"statusLine"_s)->property("text").toString(), u"Tracking · private"_s);
        QTest::mouseClick(m_harness->view(), Qt::LeftButton, {}, centreOf(toggle));
        QVERIFY(!TrackingStore::load().isPrivate);
        QCOMPARE(item(u"statusLine"_s)->property("text").toString(), u"Tracking"_s);
        setRunning(false);
    }

    void dialIsOneAccessibleElement()
    {
        QQuickItem *dial = item(u"dial"_s);
        QCOMPARE(ViewHarness::property(dial, u"Accessible.name"_s).toString(),
                 u"Tracked today "_s + Durations::shortDuration(m_model->todaySeconds()) + u" of 8 hours"_s);
        QVERIFY(ViewHarness::property(item(u"pulse"_s), u"Accessible.ignored"_s).toBool());
        QVERIFY(ViewHarness::property(item(u"dayDial"_s), u"Accessible.ignored"_s).toBool());
    }

    // A changed digit rolls in on the shared motion clock, then rests in the
    // clock's colour with the old digit hidden; the other digits stay put.
    // The cell's two faces take turns, so the second change rolls the other.
    void clockDigitRollsInAndRests()
    {
        setRunning(true);
        QTRY_VERIFY(!Motion::instance()->still()); // the window is in sight
        QQuickItem *clock = item(u"todayClock"_s);
        QList<QQuickItem *> cells(clock->property("text").toString().size());
        for (QQuickItem *child : clock->childItems())
            if (child->property("character").isValid())
                cells[child->property("index").toInt()] = child;
        QVERIFY(cells.size() >= 7 && !cells.contains(nullptr));
        QQuickItem *last = cells.last();
        const auto faces = last->childItems();
        QCOMPARE(faces.size(), 2);
        QQuickItem *shown = nullptr;
        for (int change = 0; change < 2; ++change) {
            const QString before = clock->property("text").toString();
            m_fixture->clock = m_fixture->clock.addSeconds(1);
            m_model->tick(m_fixture->clock);
            const QString after = clock->property("text").toString();
            QCOMPARE(after.size(), before.size());
            QVERIFY(after.back() != before.back());
            QQuickItem *incoming = faces.at(0)->property("shows").toBool() ? faces.at(0) : faces.at(1);
            QQuickItem *outgoing = incoming == faces.at(0) ? faces.at(1) : faces.at(0);
            QVERIFY(incoming != shown);
            shown = incoming;
            QVERIFY(last->property("progress").toDouble() < 1);
            QVERIFY(outgoing->isVisible());
            QCOMPARE(outgoing->property("text").toString(), QString(before.back()));
            QVERIFY(incoming->y() > 0);
            for (qsizetype i = 0; i < cells.size(); ++i)
                if (after.at(i) == before.at(i))
                    QCOMPARE(cells.at(i)->property("progress").toDouble(), 1.0);
            QTRY_COMPARE(last->property("progress").toDouble(), 1.0);
            QVERIFY(!outgoing->isVisible());
            QCOMPARE(incoming->y(), 0.0);
            QCOMPARE(incoming->property("text").toString(), QString(after.back()));
            QCOMPARE(incoming->property("color").value<QColor>(), clock->property("color").value<QColor>());
        }
        setRunning(false);
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }

    void clockPastNinetyNineHoursStaysInTheDial()
    {
        setRunning(true);
        m_fixture->clock = m_fixture->clock.addSeconds(100 * 3600 + 7);
        m_model->tick(m_fixture->clock);
        for (const int width : {940, 360}) {
            m_harness->resize({width, 640});
            QQuickItem *dial = item(u"dial"_s);
            QQuickItem *clock = item(u"todayClock"_s);
            QVERIFY(clock->property("text").toString().startsWith(u"1"_s));
            QCOMPARE(clock->property("text").toString().size(), 9); // "1hh:mm:ss"
            const QRectF shown = clock->mapRectToItem(dial, clock->boundingRect());
            QVERIFY2(shown.left() >= 0 && shown.right() <= dial->width(), qPrintable(QDebug::toString(shown)));
            // Each digit fits its cell (which clips) in the font this width gives the clock.
            const QFontMetricsF metrics(clock->property("font").value<QFont>());
            for (QQuickItem *cell : clock->childItems()) {
                const QString character = cell->property("character").toString();
                if (cell->property("digit").toBool())
                    QVERIFY2(cell->width() >= metrics.horizontalAdvance(character), qPrintable(character));
            }
            const QStringList out = ViewHarness::overflows(item(u"hero"_s));
            QVERIFY2(out.isEmpty(), qPrintable(out.join(u"; "_s)));
            m_harness->setLook(u"light"_s);
            m_harness->screenshot({}, u"timer-100h-%1"_s.arg(width), settle);
        }
        setRunning(false);
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }

    void workspaceWithAwkwardNamesAndARealScreenshot()
    {
        // A second window on a signed-in workspace: names of 200 characters in
        // several scripts, a project without tasks, a 14-hour goal, and the
        // thumbnail of a real screenshot of the test display.
        ModelFixture f;
        f.clock = m_fixture->clock;
        const QString longName = QString(u"Ωμέγα 東京 مرحبا Überlänge "_s).repeated(9).left(200);
        const QJsonArray projects{
            QJsonObject{{u"id"_s, 9}, {u"name"_s, longName},
                        {u"tasks"_s, QJsonArray{QJsonObject{{u"id"_s, 91}, {u"name"_s, QString(u"タスク"_s).repeated(67).left(200)}}}}},
            QJsonObject{{u"id"_s, 10}, {u"name"_s, u"No tasks here"_s}, {u"tasks"_s, QJsonArray{}}},
        };
        f.server.respond(u"projects"_s, 200, QJsonObject{{u"success"_s, true}, {u"data"_s, QJsonObject{{u"projects"_s, projects}}}});
        f.server.respond(u"settings/get"_s, 200, QJsonObject{{u"success"_s, true}}); // shots every 3 minutes
        const std::optional<ScreenShot> grabbed = AsyncTest::await(ScreenGrabber::capture());
        QVERIFY(grabbed);
        f.shot = grabbed;
        auto model = f.signedIn();
        model->setDayGoalHours(14);
        ViewHarness harness(model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));
        harness.view()->setPosition(0, 0);

        model->setRunning(true);
        ModelFixture::syncAll(*model);
        const auto tickTo = [&](Instant until) {
            while (f.clock.secondsSince(until) < 0) {
                f.clock = f.clock.addSeconds(1);
                model->tick(f.clock);
                QVERIFY(TestEnv::waitFor([&] { return !model->capturing(); }, 10000));
            }
        };
        tickTo(f.clock.addSeconds(31));
        QVERIFY(TestEnv::waitFor([&] { return model->captures() == 1; }));
        QTest::qWait(100);
        QQuickItem *thumbnail = harness.item(u"thumbnail"_s);
        QVERIFY(thumbnail->isVisible());
        QVERIFY(!harness.item(u"thumbnailPlaceholder"_s)->isVisible());
        QCOMPARE(harness.item(u"captureTitle"_s)->property("text").toString(), u"Captured just now"_s);

        for (const QSize size : {QSize(940, 640), QSize(360, 640)}) {
            harness.resize({size.width(), size.height()});
            QStringList out = ViewHarness::overflows(harness.item(u"hero"_s));
            for (QQuickItem *card : harness.item(u"pickerColumn"_s)->childItems())
                out += ViewHarness::overflows(card);
            QVERIFY2(out.isEmpty(), qPrintable(out.join(u"; "_s)));
            for (const QString &look : {u"light"_s, u"dark"_s}) {
                harness.setLook(look);
                const QImage shot = harness.screenshot({}, u"timer-workspace-%1-%2x%3"_s.arg(look).arg(size.width()).arg(size.height()), settle);
                if (size.width() < 520)
                    continue; // the thumbnail is below the fold
                // The thumbnail shows the picture, not the placeholder's track.
                const QPoint mid = (thumbnail->mapToScene({thumbnail->width() / 2, thumbnail->height() / 2})
                                    * harness.view()->effectiveDevicePixelRatio()).toPoint();
                const QColor track = Palette::resolve(Palette::Name::track, look == u"dark"_s);
                QVERIFY2(distance(shot.pixelColor(mid), track) > 2, qPrintable(shot.pixelColor(mid).name()));
            }
        }
        QCOMPARE(harness.item(u"projectTitle"_s)->property("text").toString(), longName);

        // A picture that cannot be decoded falls back to the placeholder.
        f.shot = ScreenShot{QByteArray("not a jpeg"), 10, 10, u"0"_s};
        tickTo(f.clock.addSeconds(181));
        QVERIFY(TestEnv::waitFor([&] { return model->captures() == 2; }));
        QVERIFY(TestEnv::waitFor([&] { return harness.item(u"thumbnailPlaceholder"_s)->isVisible(); }));

        // The project without tasks: the task row is disabled though stopped.
        model->setRunning(false);
        model->chooseProject(u"10"_s);
        QVERIFY(!harness.item(u"taskPicker"_s)->property("active").toBool());
        QCOMPARE(harness.item(u"taskPicker"_s)->property("help").toString(), QString());
        QVERIFY(harness.item(u"startStop"_s)->isEnabled());
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }

    void nextMemberSeesNoEarlierScreenshot()
    {
        // Member A tracks until a screenshot is taken; then B signs in, and
        // later A again before entering the demo: neither sees A's picture.
        ModelFixture f;
        f.clock = m_fixture->clock;
        f.server.respond(u"settings/get"_s, 200, QJsonObject{{u"success"_s, true}});
        QImage picture(80, 50, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&buffer, "JPG"));
        f.shot = ScreenShot{jpeg, 80, 50, u"0"_s};
        auto model = f.make();
        ViewHarness harness(model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));
        const auto captureAs = [&](const QString &member) {
            AsyncTest::await(model->signIn(member, u"secret"_s));
            ModelFixture::settle(*model);
            model->setRunning(true);
            ModelFixture::syncAll(*model);
            const Instant until = f.clock.addSeconds(31);
            while (f.clock.secondsSince(until) < 0) {
                f.clock = f.clock.addSeconds(1);
                model->tick(f.clock);
                QVERIFY(TestEnv::waitFor([&] { return !model->capturing(); }, 10000));
            }
            QVERIFY(TestEnv::waitFor([&] { return model->captures() == 1; }));
            QTRY_VERIFY(harness.item(u"thumbnail"_s)->isVisible());
            QCOMPARE(harness.item(u"captureTitle"_s)->property("text").toString(), u"Captured just now"_s);
        };
        const auto showsNoScreenshot = [&](const QString &detail) {
            QTRY_VERIFY(harness.item(u"thumbnailPlaceholder"_s)->isVisible());
            QVERIFY(!harness.item(u"thumbnail"_s)->isVisible());
            QCOMPARE(harness.item(u"captureTitle"_s)->property("text").toString(), u"Screenshots"_s);
            QCOMPARE(harness.item(u"captureDetail"_s)->property("text").toString(), detail);
            QVERIFY(!model->syncText().contains(u"screenshot"_s));
            QCOMPARE(model->captures(), 0);
        };

        captureAs(u"a@example.com"_s);
        model->signOut();
        AsyncTest::await(model->signIn(u"b@example.com"_s, u"secret"_s));
        ModelFixture::settle(*model);
        showsNoScreenshot(u"Taken on your workspace's schedule while you track."_s);

        model->signOut();
        captureAs(u"a@example.com"_s);
        model->enterDemo();
        showsNoScreenshot(u"Not captured in the demo workspace."_s);
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }

    void cleanupTestCase()
    {
        m_harness.reset();
        m_model.reset();
        m_fixture.reset();
    }
};

QTEST_MAIN(TestTimerView)
#include "tst_timerview.moc"
