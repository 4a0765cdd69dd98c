// The Settings screen: its text rules, the stepper's range, the switches and
// the login item they write, the permission rows, sign-out through the
// loopback server, and screenshots in both looks, wide and narrow.
#include "DemoWorkspace.h"
#include "LoginItem.h"
#include "Preferences.h"
#include "SettingsViewModel.h"
#include "ScreenTest.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <cmath>

using namespace Qt::StringLiterals;

class TestSettingsView : public ScreenTest {
    Q_OBJECT

public:
    TestSettingsView() : ScreenTest(u"SettingsView.qml"_s) {}

private:
    QString text(const QString &name) const { return m_h->item(name)->property("text").toString(); }

    // The detail line of a row.
    QString detailOf(const QString &row) const
    {
        return ViewHarness::find(m_h->item(row), u"rowDetail"_s)->property("text").toString();
    }

    // Scrolls the screen so `item` is in view, then clicks it.
    void clickInView(QQuickItem *item)
    {
        QQuickItem *flick = m_h->root()->childItems().value(0);
        const qreal y = item->mapToItem(flick->childItems().value(0), QPointF(0, 0)).y();
        const qreal top = std::max(0.0, std::min(y - 100, flick->property("contentHeight").toReal() - flick->height()));
        flick->setProperty("contentY", top);
        QTest::qWait(30);
        m_h->click(item);
    }

    QString entry() const { return m_f->home.config() + u"/autostart/zimbrel.desktop"_s; }

private Q_SLOTS:
    // ---- Text rules ----

    void accountLine_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("line");
        QTest::newRow("role only") << u""_s << u"admin"_s << u"Admin"_s;
        QTest::newRow("nothing") << u""_s << u""_s << u""_s;
        QTest::newRow("blank role") << u"a@b.co"_s << u"  "_s << u"a@b.co"_s;
        QTest::newRow("both") << u"a@b.co"_s << u"project manager"_s << u"a@b.co · Project Manager"_s;
        QTest::newRow("shouted") << u"a@b.co"_s << u"PRODUCT designer"_s << u"a@b.co · Product Designer"_s;
        QTest::newRow("hyphen is one word") << u""_s << u"team-member"_s << u"Team-member"_s;
        QTest::newRow("accents") << u""_s << u"élan vital"_s << u"Élan Vital"_s;
        QTest::newRow("right to left") << u"x@y.z"_s << u"מנהל צוות"_s << u"x@y.z · מנהל צוות"_s;
        QTest::newRow("outside the BMP") << u""_s << u"𐐨ead"_s << u"𐐀ead"_s;
    }

    void accountLine()
    {
        QFETCH(QString, email);
        QFETCH(QString, role);
        QFETCH(QString, line);
        QCOMPARE(SettingsViewModel::accountLine(email, role), line);
    }

    void versionGoalAndLaunchTexts()
    {
        QCOMPARE(SettingsViewModel::aboutLine(QString()), u"Zimbrel for Linux 1.0 preview"_s);
        QCOMPARE(SettingsViewModel::aboutLine(u" "_s), u"Zimbrel for Linux 1.0 preview"_s);
        QCOMPARE(SettingsViewModel::aboutLine(u"2.3.1"_s), u"Zimbrel for Linux 2.3.1 preview"_s);

        QCOMPARE(SettingsViewModel::goalLabel(8), u"8h"_s);
        QCOMPARE(SettingsViewModel::goalLabel(7.5), u"7h"_s);
        QCOMPARE(SettingsViewModel::goalLabel(std::nan("")), u"0h"_s);
        QCOMPARE(SettingsViewModel::steppedGoal(1, -1), 1.0);
        QCOMPARE(SettingsViewModel::steppedGoal(14, 1), 14.0);
        QCOMPARE(SettingsViewModel::steppedGoal(2, -1), 1.0);
        QCOMPARE(SettingsViewModel::steppedGoal(0.5, 1), 1.5);
        QCOMPARE(SettingsViewModel::steppedGoal(20, -1), 14.0); // a stored value out of range comes back in
        QCOMPARE(SettingsViewModel::steppedGoal(std::nan(""), 1), 2.0);

        QCOMPARE(SettingsViewModel::launchDetail(QString()), u"Zimbrel starts in the system tray, ready to track."_s);
        QCOMPARE(SettingsViewModel::launchDetail(u"Refused."_s), u"Refused."_s);
    }

    void viewModelFollowsTheModel()
    {
        int refused = 0;
        AppModel::Platform platform = m_f->platform();
        platform.setLoginItem = [&](bool) { return ++refused == 1 ? std::optional(QString::fromUtf8(LoginItem::failureMessage)) : std::nullopt; };
        platform.loginItemEnabled = [&] { return refused > 1; };
        AppModel model(platform, {});
        QStringList asked, opened;
        SettingsViewModel::PermissionActions actions;
        actions.request = [&](const QString &anchor) {
            asked << anchor;
            return anchor == u"Privacy_ScreenCapture"_s;
        };
        actions.open = [&](const QString &anchor) {
            opened << anchor;
            return true;
        };
        SettingsViewModel settings(&model, actions);
        QSignalSpy account(&settings, &SettingsViewModel::accountChanged);
        QSignalSpy goal(&settings, &SettingsViewModel::goalChanged);
        QSignalSpy launch(&settings, &SettingsViewModel::launchChanged);

        model.enterDemo();
        QVERIFY(account.count() >= 1);
        QCOMPARE(settings.accountLine(), DemoWorkspace::userEmail + u" · Product Designer"_s);

        settings.stepGoal(1);
        QCOMPARE(goal.count(), 1);
        QCOMPARE(settings.goalLabel(), u"9h"_s);

        model.setLaunchAtLogin(true);
        QCOMPARE(launch.count(), 1);
        QVERIFY(settings.launchFailed());
        QCOMPARE(settings.launchDetail(), QString::fromUtf8(LoginItem::failureMessage));
        QVERIFY(!model.launchAtLogin());
        model.setLaunchAtLogin(true);
        QVERIFY(!settings.launchFailed());
        QVERIFY(model.launchAtLogin());

        // A refused permission opens its help page; a granted one does not.
        QVERIFY(settings.allow(u"Privacy_ListenEvent"_s));
        QVERIFY(settings.allow(u"Privacy_ScreenCapture"_s));
        QVERIFY(!settings.allow(u"Privacy_Camera"_s));
        QCOMPARE(asked, (QStringList{u"Privacy_ListenEvent"_s, u"Privacy_ScreenCapture"_s}));
        QCOMPARE(opened, QStringList{u"Privacy_ListenEvent"_s});
    }

    // ---- The screen ----

    void showsTheMemberAndTheAboutBlock()
    {
        m_model->enterDemo();
        show();
        QCOMPARE(text(u"accountName"_s), u"Ines Varga"_s);
        QCOMPARE(text(u"accountLine"_s), DemoWorkspace::userEmail + u" · Product Designer"_s);
        QCOMPARE(text(u"aboutLine"_s), u"Zimbrel for Linux " ZIMBREL_VERSION " preview"_s);
        // The fixture's desktop allows screenshots but not input monitoring.
        QQuickItem *input = m_h->item(u"inputPermission"_s);
        QQuickItem *screen = m_h->item(u"screenPermission"_s);
        QVERIFY(ViewHarness::find(input, u"allowButton"_s)->isVisible());
        QVERIFY(!ViewHarness::find(input, u"allowedTag"_s)->isVisible());
        QVERIFY(ViewHarness::find(screen, u"allowedTag"_s)->isVisible());
        QVERIFY(!ViewHarness::find(screen, u"allowButton"_s)->isVisible());
    }

    void stepperStopsAtOneAndFourteen()
    {
        m_model->enterDemo();
        show();
        QCOMPARE(m_model->dayGoalHours(), 8.0);
        QCOMPARE(text(u"goalLabel"_s), u"8h"_s);
        QQuickItem *less = m_h->item(u"goalDecrease"_s);
        QQuickItem *more = m_h->item(u"goalIncrease"_s);
        clickInView(less);
        QCOMPARE(m_model->dayGoalHours(), 7.0);
        for (int i = 0; i < 9; ++i)
            m_h->click(less);
        QCOMPARE(m_model->dayGoalHours(), 1.0);
        QCOMPARE(text(u"goalLabel"_s), u"1h"_s);
        for (int i = 0; i < 16; ++i)
            m_h->click(more);
        QCOMPARE(m_model->dayGoalHours(), 14.0);
        QCOMPARE(text(u"goalLabel"_s), u"14h"_s);
        QCOMPARE(Preferences::value(u"pref.dayGoalHours"_s).toDouble(), 14.0);
    }

    void switchesWriteTheModel()
    {
        m_model->enterDemo();
        show();
        QQuickItem *goal = m_h->item(u"notifyGoalSwitch"_s);
        QQuickItem *idle = m_h->item(u"notifyIdleSwitch"_s);
        QVERIFY(!m_model->notifyGoal());
        clickInView(goal);
        QVERIFY(m_model->notifyGoal());
        QVERIFY(goal->property("checked").toBool());
        m_h->click(idle);
        QVERIFY(m_model->notifyIdle());
        m_h->click(goal);
        QVERIFY(!m_model->notifyGoal());
        QVERIFY(!goal->property("checked").toBool());
        QCOMPARE(Preferences::value(u"pref.notifyIdle"_s).toBool(), true);
    }

    void launchAtLoginWritesAndRemovesTheEntry()
    {
        m_model->enterDemo();
        show();
        QQuickItem *toggle = m_h->item(u"launchSwitch"_s);
        const QString usual = u"Zimbrel starts in the system tray, ready to track."_s;
        QVERIFY(!QFile::exists(entry()));
        QCOMPARE(detailOf(u"launchRow"_s), usual);

        clickInView(toggle);
        QVERIFY(QFile::exists(entry()));
        QVERIFY(m_model->launchAtLogin());
        QVERIFY(toggle->property("checked").toBool());
        m_h->click(toggle);
        QVERIFY(!QFile::exists(entry()));
        QVERIFY(!toggle->property("checked").toBool());

        // A file where the autostart folder belongs: the desktop refuses.
        QVERIFY(QDir(m_f->home.config() + u"/autostart"_s).removeRecursively());
        QFile blocker(m_f->home.config() + u"/autostart"_s);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_h->click(toggle);
        QVERIFY(!m_model->launchAtLogin());
        QVERIFY(!toggle->property("checked").toBool());
        QCOMPARE(detailOf(u"launchRow"_s), u"Your desktop didn't allow this. Add Zimbrel to your startup applications in your desktop's settings."_s);
        m_h->screenshot(u"settings"_s, u"settings-launch-refused"_s);

        // The message stays until a change succeeds.
        QVERIFY(blocker.remove());
        m_h->click(toggle);
        QVERIFY(QFile::exists(entry()));
        QVERIFY(toggle->property("checked").toBool());
        QCOMPARE(detailOf(u"launchRow"_s), usual);
        m_h->click(toggle);
        QVERIFY(!QFile::exists(entry()));
    }

    void signOutSendsTheQueuedStopFirst()
    {
        m_model = m_f->signedIn();
        m_model->setRunning(true);
        ModelFixture::settle(*m_model);
        m_f->server.clear();
        m_f->clock = m_f->clock.addSeconds(90);
        show();
        QCOMPARE(text(u"accountName"_s), u"Test Member"_s);
        QCOMPARE(text(u"accountLine"_s), u"member@example.com · Team Member"_s);
        m_h->click(m_h->item(u"signOutButton"_s));
        QVERIFY(!m_model->signedIn());
        QVERIFY(!m_model->isRunning());
        QVERIFY(m_f->server.waitFor(u"logout"_s));
        QStringList order;
        for (const auto &r : m_f->server.requests())
            if (r.path == u"time/stop" || r.path == u"logout")
                order << r.path;
        QCOMPARE(order, (QStringList{u"time/stop"_s, u"logout"_s}));
    }

    void signOutPressedByAssistiveTechnologyRunsOnce()
    {
        // A second sign-out would find no token and reset the local timer,
        // dropping the stop still owed to the server.
        QAccessible::setActive(true);
        m_model = m_f->signedIn();
        m_model->setRunning(true);
        ModelFixture::settle(*m_model);
        m_f->server.clear();
        show();
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(m_h->item(u"signOutButton"_s));
        QVERIFY(button && button->actionInterface());
        QCOMPARE(button->text(QAccessible::Name), u"Sign out"_s);
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!m_model->signedIn());
        QVERIFY(m_f->server.waitFor(u"logout"_s));
        QTest::qWait(200);
        QCOMPARE(m_f->server.count(u"time/stop"_s), 1);
        QCOMPARE(m_f->server.count(u"logout"_s), 1);
    }

    void screenshots()
    {
        m_model->enterDemo();
        show();
        QQuickItem *flick = m_h->root()->childItems().value(0);
        for (QSize size : {QSize(940, 640), QSize(360, 640)}) {
            m_h->resize(size);
            // Nothing runs off the right edge of the column.
            QQuickItem *signOut = m_h->item(u"signOutButton"_s);
            QVERIFY(signOut->mapToScene({signOut->width(), 0}).x() <= size.width() - 22 - 17);
            const qreal end = flick->property("contentHeight").toReal() - flick->height();
            QVERIFY(end > 0);
            for (const QString &look : {u"light"_s, u"dark"_s}) {
                m_h->setLook(look);
                // Page by page down to the about block.
                int page = 0;
                for (qreal y = 0;; y = std::min(end, y + flick->height() - 60)) {
                    flick->setProperty("contentY", y);
                    const QImage shot = m_h->screenshot(u"settings"_s,
                        u"settings-%1x%2-%3-%4"_s.arg(size.width()).arg(size.height()).arg(look).arg(++page));
                    QVERIFY(!shot.isNull());
                    if (y >= end)
                        break;
                }
                flick->setProperty("contentY", 0);
            }
        }
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
