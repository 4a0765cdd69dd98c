// The question about time away on the Timer screen and in the tray panel:
// shown while asked, answered by its buttons, in both looks (screenshots
// saved in the build folder under tests/views/away/).
#include "ModelFixture.h"
#include "Preferences.h"
#include "ViewHarness.h"

#include <QQuickItem>

using namespace Qt::StringLiterals;

class TestAwayBanner : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelFixture> m_fixture;
    std::unique_ptr<AppModel> m_model;

    void step(double seconds, double idle)
    {
        m_fixture->clock = m_fixture->clock.addSeconds(seconds);
        m_fixture->idleSeconds = idle;
        m_model->tick(m_fixture->clock);
    }

    // Away from 12:05 to 12:47 of a running demo session.
    void askAboutFortyTwoMinutes()
    {
        if (!m_model->isRunning())
            m_model->setRunning(true);
        step(300, 0);
        step(42 * 60, 42 * 60);
        step(1, 0);
        QVERIFY(m_model->away().asking());
    }

    static QString text(ViewHarness &h, const QString &name) { return h.item(name)->property("text").toString(); }

private Q_SLOTS:
    void initTestCase()
    {
        ViewHarness::watchWarnings();
        m_fixture = std::make_unique<ModelFixture>();
        m_model = m_fixture->make();
        m_model->enterDemo();
    }

    void cleanup() { QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n'))); }

    void bannerAsksUntilAnswered_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("day");
        QTest::addRow("timer") << u"TimerView.qml"_s << QSize(940, 700) << 3;
        QTest::addRow("panel") << u"MenuBarView.qml"_s << QSize(300, 420) << 4;
    }

    void bannerAsksUntilAnswered()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(int, day);
        m_fixture->clock = Instant::fromDateTime(QDateTime(QDate(2026, 3, day), QTime(12, 0)));
        m_model->tick(m_fixture->clock);
        ViewHarness h(m_model.get(), file, size);
        QVERIFY(h.root());
        QQuickItem *banner = h.item(u"awayBanner"_s);
        QVERIFY(banner);
        QVERIFY(!ViewHarness::shown(banner));

        askAboutFortyTwoMinutes();
        QTRY_VERIFY(ViewHarness::shown(banner));
        QCOMPARE(text(h, u"awayQuestion"_s), u"You were away for 42m"_s);
        QCOMPARE(text(h, u"awayDetail"_s), u"From 12:05 to 12:47. Keep this time in your session, or discard it."_s);
        QCOMPARE(ViewHarness::property(banner, u"Accessible.name"_s).toString(), u"You were away for 42m"_s);
        QVERIFY(ViewHarness::overflows(banner).isEmpty());
        for (const QString &look : {u"light"_s, u"dark"_s}) {
            h.setLook(look);
            QVERIFY(!h.screenshot(u"away"_s, u"away-%1-%2"_s.arg(QTest::currentDataTag(), look), 400).isNull());
        }
        h.setLook(u"light"_s);

        // "Discard and keep tracking": the session goes on, the banner goes.
        const QString session = *m_model->snapshot().sessionID;
        QVERIFY(ViewHarness::shown(h.item(u"awayDiscardKeepTracking"_s)));
        h.click(h.item(u"awayDiscardKeepTracking"_s));
        QTRY_VERIFY(!ViewHarness::shown(banner));
        QVERIFY(m_model->isRunning());
        QVERIFY(*m_model->snapshot().sessionID != session);

    }

    void preferenceSwitchesAndSteps()
    {
        ViewHarness h(m_model.get(), u"SettingsView.qml"_s, QSize(720, 1600));
        Settings &prefs = m_model->settings();
        QVERIFY(prefs.askAway());
        QCOMPARE(prefs.awayMinutes(), 10);
        QQuickItem *stepper = h.item(u"awayStepper"_s);
        QVERIFY(stepper);
        QCOMPARE(ViewHarness::property(stepper, u"Accessible.name"_s).toString(),
                 u"Minutes before time counts as away"_s);
        h.click(ViewHarness::find(stepper, u"goalIncrease"_s));
        QTRY_COMPARE(prefs.awayMinutes(), 15);
        QCOMPARE(Preferences::value(u"pref.awayMinutes"_s).toInt(), 15);

        h.click(h.item(u"askAwaySwitch"_s));
        QTRY_VERIFY(!prefs.askAway());
        QVERIFY(!stepper->isEnabled());
    }
};

QTEST_MAIN(TestAwayBanner)
#include "tst_awaybanner.moc"
