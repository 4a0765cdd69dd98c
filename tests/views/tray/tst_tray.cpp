// The tray on a real session bus, read by a test host the way panels read
// it (GetAll, GetLayout, menu events, Activate), and the panel it opens: its
// rows signed out, with no project, and running, and its button's rules.
// Panel screenshots go to the build folder (tests/views/tray/).
#include "AppModel.h"
#include "Appearance.h"
#include "ModelFixture.h"
#include "MainWindow.h"
#include "SettingsViewModel.h"
#include "Shell.h"
#include "SniTypes.h"
#include "StatusNotifierItem.h"
#include "TestWatcher.h"
#include "Tray.h"
#include "TrayPanel.h"
#include "TrayState.h"
#include "UiSetup.h"
#include "ViewHarness.h"
#include "ViewsSetup.h"

#include <QDBusArgument>
#include <QJsonArray>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The workspace's projects: one with the tasks the panel shows, one without tasks.
QJsonObject projectsAnswer()
{
    const auto task = [](int id, const char *name) {
        return QJsonObject{{u"id"_s, id}, {u"name"_s, QString::fromUtf8(name)}};
    };
    const QJsonArray projects{
        QJsonObject{{u"id"_s, 1},
                    {u"name"_s, u"Client Portal Rebuild"_s},
                    {u"tasks"_s, QJsonArray{task(11, "Design system"), task(12, "Push notifications")}}},
        QJsonObject{{u"id"_s, 2}, {u"name"_s, u"Internal"_s}, {u"tasks"_s, QJsonArray{}}},
    };
    return QJsonObject{{u"success"_s, true}, {u"data"_s, QJsonObject{{u"projects"_s, projects}}}};
}

QString text(QQuickWindow *window, const QString &name)
{
    QQuickItem *item = ViewHarness::find(window, name);
    return item ? item->property("text").toString() : u"<missing %1>"_s.arg(name);
}

bool visible(QQuickWindow *window, const QString &name)
{
    QQuickItem *item = ViewHarness::find(window, name);
    return item && item->isVisible();
}
} // namespace

class TestTray : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ModelFixture> m_fx;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<TestWatcher> m_watcher;
    std::unique_ptr<Shell> m_shell;
    QString m_item;

    QQuickWindow *panel() { return m_shell->panel().window(); }

    void savePanel(const QString &name)
    {
        QVERIFY(panel());
        QVERIFY(QTest::qWaitForWindowExposed(panel()));
        QVERIFY(!ViewHarness::screenshot(panel(), u"tray"_s, name, 150).isNull());
    }

    void choose(const QString &project, const QString &task)
    {
        m_model->setProjectID(project);
        m_model->setTaskID(task.isEmpty() ? std::nullopt : std::optional<QString>(task));
    }

    // Advances the model's clock and ticks once, as the ticker would.
    void advance(double seconds)
    {
        m_fx->clock = m_fx->clock.addSeconds(seconds);
        m_model->tick(m_fx->clock);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ViewHarness::watchWarnings();
        registerSniTypes();
        m_fx = std::make_unique<ModelFixture>();
        m_fx->server.respond(u"projects"_s, 200, projectsAnswer());
        m_model = m_fx->signedIn();
        QVERIFY(m_model->signedIn());
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        Appearance::setOverride(u"light"_s);

        // The host is there first: the item registers as it starts.
        m_watcher = std::make_unique<TestWatcher>();
        QVERIFY(m_watcher->start());
        Shell::Options options;
        options.bus = QDBusConnection::sessionBus();
        m_shell = std::make_unique<Shell>(m_model.get(), options);
        QVERIFY(TestEnv::waitFor([&] { return m_shell->tray()->kind() == Tray::Kind::StatusNotifier; }));
        QCOMPARE(m_watcher->registered().size(), 1);
        m_item = m_watcher->registered().constFirst();
        QCOMPARE(m_item, u"org.kde.StatusNotifierItem-%1-1"_s.arg(QCoreApplication::applicationPid()));
    }

    void cleanupTestCase()
    {
        m_shell.reset();
        m_watcher.reset();
        m_model.reset();
        m_fx.reset();
    }

    void cleanup() { QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n'))); }

    void hostReadsTheItem()
    {
        const QVariantMap props = m_watcher->properties(m_item);
        QCOMPARE(props.value(u"Id"_s).toString(), u"zimbrel"_s);
        QCOMPARE(props.value(u"Title"_s).toString(), u"Zimbrel"_s);
        QCOMPARE(props.value(u"Category"_s).toString(), u"ApplicationStatus"_s);
        QCOMPARE(props.value(u"Status"_s).toString(), u"Active"_s);
        QCOMPARE(props.value(u"Menu"_s).value<QDBusObjectPath>().path(), u"/MenuBar"_s);
        QCOMPARE(props.value(u"XAyatanaLabel"_s).toString(), QString());
        QCOMPARE(props.value(u"XAyatanaLabelGuide"_s).toString(), u"00:00:00"_s);

        const auto icons = qdbus_cast<SniIconPixmapList>(props.value(u"IconPixmap"_s));
        QCOMPARE(icons.size(), 2);
        for (const SniIconPixmap &icon : icons) {
            QVERIFY(icon.width == 22 || icon.width == 44);
            QCOMPARE(icon.height, icon.width);
            QCOMPARE(icon.bytes.size(), icon.width * icon.height * 4);
            // Network byte order: the first byte of the corner pixel is its
            // alpha, and the tile's middle is opaque.
            const int middle = (icon.height / 2 * icon.width + icon.width / 4) * 4;
            QCOMPARE(quint8(icon.bytes.at(middle)), quint8(255));
        }
    }

    void labelCarriesTodaysTotalWhileTracking()
    {
        choose(u"1"_s, u"12"_s);
        QVERIFY(m_model->canStart());
        const double before = m_model->todaySeconds();
        QCOMPARE(before, 3600.0); // the server's figure for today
        const SniIconPixmapList stoppedIcon = StatusNotifierItem::pixmapsFor(false);
        m_model->setRunning(true);
        advance(2 * 3600 + 5 * 60 + 9 - before);
        QCOMPARE(m_model->todaySeconds(), 7509.0);

        const QVariantMap props = m_watcher->properties(m_item);
        QCOMPARE(props.value(u"XAyatanaLabel"_s).toString(), u"02:05:09"_s);
        const auto icons = qdbus_cast<SniIconPixmapList>(props.value(u"IconPixmap"_s));
        QCOMPARE(icons.size(), 2);
        QVERIFY(icons.constFirst().bytes != stoppedIcon.constFirst().bytes); // the live glyph
        const auto tip = qdbus_cast<SniToolTip>(props.value(u"ToolTip"_s));
        QVERIFY2(tip.description.contains("02:05:09"_L1), qPrintable(tip.description));
        QTRY_VERIFY(m_watcher->labels().contains(u"02:05:09"_s));
        QVERIFY(m_watcher->propertiesChanged() > 0);

        // One label a second, and nothing when the text stays the same.
        const qsizetype announced = m_watcher->labels().size();
        advance(1);
        QTRY_COMPARE(m_watcher->labels().size(), announced + 1);
        QCOMPARE(m_watcher->labels().constLast(), u"02:05:10"_s);
        m_model->tick(m_fx->clock);
        QTest::qWait(100);
        QCOMPARE(m_watcher->labels().size(), announced + 1);
    }

    void activateOpensThePanelWithTheRunningRows()
    {
        QVERIFY(m_model->isRunning());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint click(area.right() - 40, area.top() + 4);
        m_watcher->call(m_item, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"Activate"_s,
                        {click.x(), click.y()});
        QTRY_VERIFY(m_shell->panel().isOpen());
        QQuickWindow *w = panel();
        QCOMPARE(w->width(), 300);
        // Next to the click and inside the screen.
        QVERIFY(area.contains(w->geometry()));
        QVERIFY(w->y() >= click.y() && w->y() < click.y() + 20);

        QCOMPARE(text(w, u"statusCaption"_s), u"TRACKING"_s);
        QCOMPARE(text(w, u"projectLine"_s), u"Client Portal Rebuild · Push notifications"_s);
        QCOMPARE(text(w, u"headerTotal"_s), u"2h 5m"_s);
        QCOMPARE(text(w, u"todayLine"_s), u"2h 5m today"_s);
        QCOMPARE(text(w, u"sessionClock"_s), u"01:05:10"_s);
        QVERIFY(!visible(w, u"signedOutLine"_s));
        QQuickItem *button = ViewHarness::find(w, u"startStopButton"_s);
        QVERIFY(button->isEnabled());
        QCOMPARE(button->property("text").toString(), u"Stop tracking"_s);
        savePanel(u"panel-running"_s);

        // Escape closes it, and the panel's scene and engine go with it.
        const QPointer<QQmlEngine> engine = qmlEngine(w);
        QVERIFY(engine);
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(!m_shell->panel().isOpen());
        QTRY_VERIFY(!engine);
    }

    void menuStopsTheTimer()
    {
        const QDBusMessage reply = m_watcher->call(m_item, u"/MenuBar"_s, u"com.canonical.dbusmenu"_s, u"GetLayout"_s,
                                                   {0, -1, QStringList{u"type"_s, u"label"_s, u"enabled"_s}});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const auto layout = qdbus_cast<DBusMenuLayoutItem>(reply.arguments().at(1));
        QStringList labels;
        int toggleId = -1;
        for (const DBusMenuLayoutItem &child : layout.children) {
            const QString label = child.properties.value(u"type"_s).toString() == u"separator"
                                      ? u"---"_s
                                      : child.properties.value(u"label"_s).toString();
            labels.append(label);
            if (label.endsWith("tracking"_L1))
                toggleId = child.id;
        }
        QCOMPARE(labels, (QStringList{u"Open Zimbrel"_s, u"Stop tracking"_s, u"---"_s, u"Quit"_s}));

        m_watcher->call(m_item, u"/MenuBar"_s, u"com.canonical.dbusmenu"_s, u"Event"_s,
                        {toggleId, u"clicked"_s, QVariant::fromValue(QDBusVariant(QString())), 0u});
        QTRY_VERIFY(!m_model->isRunning());
        QTRY_COMPARE(m_watcher->properties(m_item).value(u"XAyatanaLabel"_s).toString(), QString());
        QCOMPARE(m_watcher->labels().constLast(), QString());

        // The entry follows the rule of the panel's button.
        choose(u"1"_s, QString());
        QTRY_VERIFY(!m_shell->trayState().toggleEnabled());
        const QDBusMessage group = m_watcher->call(m_item, u"/MenuBar"_s, u"com.canonical.dbusmenu"_s,
                                                   u"GetGroupProperties"_s,
                                                   {QVariant::fromValue(QList<int>{toggleId}), QStringList()});
        const auto items = qdbus_cast<DBusMenuItemList>(group.arguments().constFirst());
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.constFirst().properties.value(u"label"_s).toString(), u"Start tracking"_s);
        QCOMPARE(items.constFirst().properties.value(u"enabled"_s).toBool(), false);
        m_watcher->call(m_item, u"/MenuBar"_s, u"com.canonical.dbusmenu"_s, u"Event"_s,
                        {toggleId, u"clicked"_s, QVariant::fromValue(QDBusVariant(QString())), 0u});
        QTest::qWait(100);
        QVERIFY(!m_model->isRunning());
    }

    void panelRowsWhenStopped_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no project") << QString() << QString() << u"No project selected"_s << false;
        QTest::newRow("task missing") << u"1"_s << QString() << u"Client Portal Rebuild"_s << false;
        QTest::newRow("project and task") << u"1"_s << u"11"_s << u"Client Portal Rebuild · Design system"_s << true;
        QTest::newRow("project without tasks") << u"2"_s << QString() << u"Internal"_s << true;
    }

    void panelRowsWhenStopped()
    {
        QFETCH(QString, project);
        QFETCH(QString, task);
        QFETCH(QString, line);
        QFETCH(bool, enabled);
        if (project.isEmpty())
            m_model->setProjectID(std::nullopt);
        else
            choose(project, task);
        m_shell->panel().open(QPoint());
        QVERIFY(panel());
        QCOMPARE(text(panel(), u"statusCaption"_s), u"NOT TRACKING"_s);
        QCOMPARE(text(panel(), u"projectLine"_s), line);
        QQuickItem *button = ViewHarness::find(panel(), u"startStopButton"_s);
        QCOMPARE(button->isEnabled(), enabled);
        QCOMPARE(button->property("text").toString(), u"Start tracking"_s);
        if (QByteArray(QTest::currentDataTag()) == "project and task")
            savePanel(u"panel-stopped"_s);
        // A press does what the button says, and only when it may.
        const QPointF centre = button->mapToScene(QPointF(22, 22));
        QTest::mouseClick(panel(), Qt::LeftButton, {}, centre.toPoint());
        QTRY_COMPARE(m_model->isRunning(), enabled);
        if (m_model->isRunning()) {
            QTRY_COMPARE(button->property("text").toString(), u"Stop tracking"_s);
            QTest::mouseClick(panel(), Qt::LeftButton, {}, centre.toPoint());
            QTRY_VERIFY(!m_model->isRunning());
        }
        m_shell->panel().close();
        QTRY_VERIFY(!m_shell->panel().isOpen());
    }

    void panelOpenButtonShowsTheWindow()
    {
        m_shell->panel().open(QPoint());
        QVERIFY(panel());
        QQuickItem *open = ViewHarness::find(panel(), u"openButton"_s);
        QVERIFY(open);
        const QPointer<QQmlEngine> panelEngine = qmlEngine(panel());
        QTest::mouseClick(panel(), Qt::LeftButton, {}, open->mapToScene(QPointF(10, 10)).toPoint());
        QTRY_VERIFY(m_shell->window().isOpen());
        QTRY_VERIFY(!m_shell->panel().isOpen());
        // Each has an engine of its own, which goes when it closes.
        QTRY_VERIFY(!panelEngine);
        const QPointer<QQmlEngine> engine = qmlEngine(m_shell->window().window());
        QVERIFY(engine);
        m_shell->window().window()->close();
        // With a tray, closing the window keeps the program.
        QVERIFY(!m_shell->window().isOpen());
        QTRY_VERIFY(!engine);
    }

    void panelPlacementStaysInsideTheArea()
    {
        const QRect area(0, 24, 1440, 876);
        const QSize size(300, 260);
        QCOMPARE(TrayPanel::placement({1430, 10}, size, area), QPoint(1140, 24));
        QCOMPARE(TrayPanel::placement({700, 30}, size, area), QPoint(550, 42));
        QCOMPARE(TrayPanel::placement({5, 890}, size, area), QPoint(0, 614));
        // A bar the desktop does not reserve: the panel opens below it, or above.
        const QRect screen(0, 0, 1440, 900);
        QCOMPARE(TrayPanel::placement({1430, 14}, size, screen), QPoint(1140, 34));
        QCOMPARE(TrayPanel::placement({700, 886}, size, screen), QPoint(550, 606));
    }

    void itemRegistersAgainWhenTheHostReturns()
    {
        auto *item = m_shell->tray()->findChild<StatusNotifierItem *>();
        QVERIFY(item && item->hosted());
        SettingsViewModel settings(m_model.get());
        QVERIFY(!settings.trayDetail().contains(u"tooltip"_s));
        m_watcher->stop();
        QTRY_VERIFY(m_shell->tray()->kind() != Tray::Kind::StatusNotifier);
        QVERIFY(!item->hosted());
        // The classic tray shows no text beside its icon: Settings says where the time is.
        QCOMPARE(m_shell->tray()->kind(), Tray::Kind::SystemTray);
        QVERIFY(settings.trayDetail().contains(u"today's time is in the icon's tooltip"_s));
        QVERIFY(m_watcher->start());
        QTRY_COMPARE(m_watcher->registered().size(), 2);
        QTRY_COMPARE(m_shell->tray()->kind(), Tray::Kind::StatusNotifier);
        QVERIFY(item->hosted());
    }

    void itemIsQuietWithoutAHost()
    {
        // Starting and each second of tracking change the label, but an item
        // no host has taken sends nothing.
        StatusNotifierItem item(&m_shell->trayState(), QDBusConnection::sessionBus());
        QSignalSpy labels(&item, &StatusNotifierItem::XAyatanaNewLabel);
        QSignalSpy tips(&item, &StatusNotifierItem::NewToolTip);
        QSignalSpy icons(&item, &StatusNotifierItem::NewIcon);
        choose(u"1"_s, u"12"_s);
        QVERIFY(m_model->canStart());
        m_model->setRunning(true);
        advance(1);
        QTest::qWait(50);
        QCOMPARE(labels.count() + tips.count() + icons.count(), 0);

        item.setHosted(true);
        advance(1);
        QTRY_COMPARE(labels.count(), 1);
        QCOMPARE(tips.count(), 1);
        m_model->setRunning(false);
        QTRY_COMPARE(icons.count(), 1);
    }

    void signedOutPanel()
    {
        TestEnv::IsolatedHome home;
        Keychain::remove(u"token"_s);
        ViewHarness::Clock clock;
        AppModel signedOut(ViewHarness::offlinePlatform(&clock));
        QVERIFY(!signedOut.signedIn());
        ViewsSetup::setModel(&signedOut);
        TrayPanel panel;
        panel.open(QPoint());
        QVERIFY(panel.window());
        QVERIFY(QTest::qWaitForWindowExposed(panel.window()));
        QVERIFY(visible(panel.window(), u"signedOutLine"_s));
        QCOMPARE(text(panel.window(), u"signedOutLine"_s), u"Sign in to start tracking."_s);
        QVERIFY(!visible(panel.window(), u"projectLine"_s));
        QVERIFY(!ViewHarness::find(panel.window(), u"startStopButton"_s)->isEnabled());
        QVERIFY(!ViewHarness::screenshot(panel.window(), u"tray"_s, u"panel-signed-out"_s, 100).isNull());
        ViewsSetup::setModel(m_model.get());
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
