// The main window in the test desktop: the rail and the screens it
// switches, the narrow layout, the login view while signed out, closing
// without a tray, and screenshots in both looks and widths for a person to
// look at (build folder, tests/views/shell/).
#include "AppModel.h"
#include "Appearance.h"
#include "MainWindow.h"
#include "Shell.h"
#include "TestEnv.h"
#include "UiSetup.h"
#include "ViewHarness.h"
#include "ViewScene.h"
#include "ViewsSetup.h"

#include <QQmlEngine>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <link.h>

#include <cstring>

using namespace Qt::StringLiterals;

class TestShell : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnv::IsolatedHome> m_home;
    ViewHarness::Clock m_clock;
    QList<QString> m_notices;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<Shell> m_shell;

    QQuickWindow *window() { return m_shell->window().window(); }

    QQuickWindow *openWindow()
    {
        m_shell->activate();
        QQuickWindow *w = window();
        if (w && !QTest::qWaitForWindowExposed(w))
            return nullptr;
        return w;
    }

    // Both rails have items of the same names: look inside the one shown.
    void click(const QString &name)
    {
        QQuickItem *rail = ViewHarness::find(window(), window()->width() >= 600 ? u"sideRail"_s : u"bottomRail"_s);
        QQuickItem *item = ViewHarness::find(rail, name);
        QVERIFY2(item, qPrintable(name));
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window(), Qt::LeftButton, {}, centre.toPoint());
    }

    QString screenType()
    {
        QQuickItem *loader = ViewHarness::find(window(), u"screen"_s);
        auto *item = loader ? loader->property("item").value<QQuickItem *>() : nullptr;
        return item ? QString::fromLatin1(item->metaObject()->className()) : QString();
    }

    void resizeTo(int width, int height)
    {
        window()->resize(width, height);
        QVERIFY(TestEnv::waitFor([&] { return window()->width() == width && window()->height() == height; }));
        QTest::qWait(50);
    }

    void save(const QString &name)
    {
        QVERIFY(!ViewHarness::screenshot(window(), u"shell"_s, name, 120).isNull());
    }

private Q_SLOTS:
    void initTestCase()
    {
        ViewHarness::watchWarnings();
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        AppModel::Launch launch;
        launch.demo = true;
        m_model = std::make_unique<AppModel>(ViewHarness::offlinePlatform(&m_clock, &m_notices), launch);
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        Shell::Options options; // no bus: no tray of any kind reachable here
        options.notify = [this](const QString &, const QString &body) { m_notices.append(body); };
        m_shell = std::make_unique<Shell>(m_model.get(), options);
        Appearance::setOverride(u"light"_s);
    }

    void cleanupTestCase()
    {
        m_shell.reset();
        m_model.reset();
        QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n')));
    }

    void init() { QVERIFY(openWindow()); }

    void cleanup() { QVERIFY2(ViewHarness::warnings().isEmpty(), qPrintable(ViewHarness::warnings().join(u'\n'))); }

    void windowHasItsTitleSizesAndColour()
    {
        QQuickWindow *w = window();
        QCOMPARE(w->title(), u"Zimbrel"_s);
        QCOMPARE(w->size(), QSize(940, 640));
        QCOMPARE(w->minimumSize(), QSize(340, 520));
        QCOMPARE(w->color(), QColor(0x0A2A21));
        QVERIFY(!w->icon().isNull());
        QVERIFY(!(w->flags() & Qt::FramelessWindowHint)); // the window manager's frame stays
        QVERIFY(screenType().contains("TimerView"_L1));
    }

    void windowIsBuiltAtItsOwnSize()
    {
        // Its content item is 0 x 0 until the window is exposed: screens
        // built at that size would be laid out narrow, then again wide.
        window()->close();
        QTRY_VERIFY(!m_shell->window().isOpen());
        m_shell->activate();
        QVERIFY(ViewHarness::find(window(), u"sideRail"_s)->property("active").toBool());
        QVERIFY(!ViewHarness::find(window(), u"bottomRail"_s)->property("active").toBool());
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }

    // The screens are built on the templates alone: the control style (its
    // plugins, libraries and QML types) loads for a tooltip, not with a
    // screen. And the demo never asks the keychain, so libsecret stays out.
    void demoScreensLoadNoControlStyleNorKeychain()
    {
        for (const char *title : {"Today", "Settings", "Timer"}) {
            click(u"railItem."_s + QLatin1StringView(title));
            QTRY_VERIFY(screenType().contains(QLatin1StringView(title)));
        }
        const auto loaded = [](const char *part) {
            const auto match = [](dl_phdr_info *info, size_t, void *data) {
                return std::strstr(info->dlpi_name, static_cast<const char *>(data)) ? 1 : 0;
            };
            return dl_iterate_phdr(match, const_cast<char *>(part)) != 0;
        };
        QVERIFY(!loaded("/QtQuick/Controls/"));
        QVERIFY(!loaded("/libsecret-1."));
    }

    void trayIconWaitsForTheWindowsFirstFrame()
    {
        Shell::Options options;
        options.trayAfterFirstFrame = true;
        Shell shell(m_model.get(), options);
        QSignalSpy framed(&shell.window(), &MainWindow::firstFrame);
        QVERIFY(!shell.tray());
        shell.activate();
        QVERIFY(framed.wait());
        QVERIFY(!shell.tray());
        QTRY_VERIFY(shell.tray());
    }

    void railSwitchesScreensAndHighlightsTheCurrentOne()
    {
        resizeTo(940, 640);
        const struct {
            const char *title;
            int screen;
            const char *view;
        } steps[] = {{"Today", 1, "TodayView"}, {"Settings", 2, "SettingsView"}, {"Timer", 0, "TimerView"}};
        for (const auto &step : steps) {
            click(u"railItem."_s + QLatin1StringView(step.title));
            QCOMPARE(int(m_model->screen()), step.screen);
            QTRY_VERIFY(screenType().contains(QLatin1StringView(step.view)));
            for (const char *other : {"Timer", "Today", "Settings"}) {
                QQuickItem *item = ViewHarness::find(ViewHarness::find(window(), u"sideRail"_s), u"railItem."_s + QLatin1StringView(other));
                QVERIFY(item);
                QCOMPARE(item->property("current").toBool(), std::strcmp(other, step.title) == 0);
            }
        }
    }

    void narrowWindowMovesTheRailToTheBottom()
    {
        resizeTo(700, 640);
        QVERIFY(ViewHarness::shown(ViewHarness::find(window(), u"sideRail"_s)));
        QVERIFY(!ViewHarness::shown(ViewHarness::find(window(), u"bottomRail"_s)));
        QVERIFY(!ViewHarness::shown(ViewHarness::find(window(), u"topBar"_s)));
        QQuickItem *card = ViewHarness::find(window(), u"screenCard"_s);
        QCOMPARE(card->x(), 80.0);
        QCOMPARE(card->y(), 8.0);
        QCOMPARE(card->width(), 700.0 - 80 - 8);

        resizeTo(599, 640);
        QVERIFY(!ViewHarness::shown(ViewHarness::find(window(), u"sideRail"_s)));
        QQuickItem *bottom = ViewHarness::find(window(), u"bottomRail"_s);
        QVERIFY(ViewHarness::shown(bottom));
        QCOMPARE(bottom->y() + bottom->height(), 640.0);
        QQuickItem *top = ViewHarness::find(window(), u"topBar"_s);
        QVERIFY(ViewHarness::shown(top));
        QCOMPARE(top->height(), 30.0);
        QCOMPARE(card->x(), 8.0);
        QCOMPARE(card->width(), 599.0 - 16);
        QCOMPARE(card->y(), 30.0);

        // The narrow rail switches screens too.
        click(u"railItem.Today"_s);
        QCOMPARE(int(m_model->screen()), 1);
        click(u"railItem.Timer"_s);
        QCOMPARE(int(m_model->screen()), 0);
        resizeTo(940, 640);
        QVERIFY(ViewHarness::shown(ViewHarness::find(window(), u"sideRail"_s)));
    }

    void screenshotsInBothLooksAndWidths()
    {
        for (const QString &look : {u"light"_s, u"dark"_s}) {
            Appearance::setOverride(look);
            for (int width : {940, 360}) {
                resizeTo(width, 640);
                save(u"window-%1-%2"_s.arg(look).arg(width));
            }
        }
        Appearance::setOverride(u"light"_s);
        resizeTo(940, 640);
    }

    void closingWithoutTrayQuitsOnlyWhileStopped()
    {
        QSignalSpy quit(m_shell.get(), &Shell::quitRequested);
        QVERIFY(!m_model->isRunning());
        window()->close();
        QVERIFY(!m_shell->window().isOpen());
        QCOMPARE(quit.count(), 1);

        // While tracking it keeps running and says so once, however often
        // the window is closed.
        QVERIFY(openWindow());
        QVERIFY(m_model->canStart());
        m_model->setRunning(true);
        for (int i = 0; i < 2; ++i) {
            window()->close();
            QVERIFY(!m_shell->window().isOpen());
            QVERIFY(openWindow());
        }
        QCOMPARE(quit.count(), 1);
        QCOMPARE(m_notices, QList<QString>{QString::fromLatin1(Shell::keepsTrackingNotice)});
        m_model->setRunning(false);
    }

    void markPulsesOnlyWhileTrackingOnScreen()
    {
        QQuickItem *mark = ViewHarness::find(ViewHarness::find(window(), u"sideRail"_s), u"railMark"_s);
        QVERIFY(mark);
        QCOMPARE(mark->property("live").toBool(), false);
        m_model->setRunning(true);
        QCOMPARE(mark->property("live").toBool(), true);
        QCOMPARE(mark->property("help").toString(), u"Zimbrel is tracking"_s);
        window()->showMinimized();
        QTRY_COMPARE(mark->property("live").toBool(), false);
        m_shell->activate();
        QTRY_COMPARE(mark->property("live").toBool(), true);
        m_model->setRunning(false);
        QCOMPARE(mark->property("help").toString(), u"Zimbrel"_s);
    }

    void reopenedWindowKeepsTheSelectedScreen()
    {
        click(u"railItem.Settings"_s);
        // The closed window's engine goes with it; the next one is new. With
        // no engine left, Qt's QML type registry is cleared as well, and the
        // next window registers the types again.
        ViewScene::setOnlyEngines(true);
        const auto onlyEngines = qScopeGuard([] { ViewScene::setOnlyEngines(false); });
        const auto typeId = [] { return qmlTypeId("Zimbrel.App", 1, 0, "TodayViewModel"); };
        QVERIFY(typeId() >= 0);
        const QPointer<QQmlEngine> engine = qmlEngine(window());
        QVERIFY(engine);
        window()->close();
        QTRY_VERIFY(!m_shell->window().isOpen());
        QTRY_VERIFY(!engine);
        QCOMPARE(ViewScene::liveEngines(), 0);
        QTRY_COMPARE(typeId(), -1);
        QVERIFY(openWindow());
        QVERIFY(qmlEngine(window()));
        QVERIFY(typeId() >= 0);
        QTRY_VERIFY(screenType().contains("SettingsView"_L1));
        QCOMPARE(ViewHarness::find(window(), u"railItem.Settings"_s)->property("current").toBool(), true);
        click(u"railItem.Timer"_s);
    }

    void windowIsBuiltInThePreloadedEngine()
    {
        window()->close();
        QTRY_VERIFY(!m_shell->window().isOpen());
        QTRY_COMPARE(ViewScene::liveEngines(), 0);
        MainWindow::preload();
        QCOMPARE(ViewScene::liveEngines(), 1);
        const QPointer<QQmlEngine> preloaded = qApp->findChild<QQmlEngine *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(preloaded);
        QVERIFY(openWindow());
        QCOMPARE(qmlEngine(window()), preloaded.data());
        QCOMPARE(ViewScene::liveEngines(), 1);
        QVERIFY(screenType().contains("TimerView"_L1));
    }

    void signedOutShowsTheLoginView()
    {
        TestEnv::IsolatedHome home;
        AppModel signedOut(ViewHarness::offlinePlatform(&m_clock));
        QVERIFY(!signedOut.signedIn());
        ViewsSetup::setModel(&signedOut);
        MainWindow main;
        main.show();
        QVERIFY(main.window());
        QVERIFY(QTest::qWaitForWindowExposed(main.window()));
        QQuickItem *content = ViewHarness::find(main.window(), u"content"_s);
        QVERIFY(content);
        auto *item = content->property("item").value<QQuickItem *>();
        QVERIFY(item);
        QVERIFY(QString::fromLatin1(item->metaObject()->className()).contains("LoginView"_L1));
        QVERIFY(!ViewHarness::find(main.window(), u"sideRail"_s));
        // Closed just before it goes: the window still on its way out and its
        // engine go with it (the sanitizers watch).
        main.window()->close();
        QVERIFY(!main.isOpen());
        ViewsSetup::setModel(m_model.get());
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
