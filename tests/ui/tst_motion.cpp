// The shared motion clock: parts that move together share frames, a part
// that moves for good gets a frame when nothing else moves, and nothing moves
// while no window can be seen or the desktop asks for reduced motion.
#include "FakePortal.h"
#include "Motion.h"
#include "TestEnv.h"
#include "UiSetup.h"

#include <QElapsedTimer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

class TestMotion : public QObject {
    Q_OBJECT

private:
    QQmlEngine *m_engine = nullptr;
    std::unique_ptr<QQuickWindow> m_window;

private Q_SLOTS:
    void initTestCase()
    {
        UiSetup::useDefaultRenderer();
        m_engine = new QQmlEngine(this);
        UiSetup::registerWith(*m_engine);
        m_window = std::make_unique<QQuickWindow>();
        m_window->resize(200, 100);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void partsMovingTogetherShareFrames()
    {
        Motion motion(nullptr);
        QVERIFY(!motion.still());
        const int frames = motion.frames();
        const int first = motion.begin(Motion::frameMs);
        // A few milliseconds later (one tick's changes) is the same moment.
        QElapsedTimer apart;
        apart.start();
        while (apart.elapsed() < 3) {
        }
        const int second = motion.begin(Motion::frameMs);
        QCOMPARE(second, first);
        QVERIFY(motion.asking());
        QSignalSpy now(&motion, &Motion::nowChanged);
        QTRY_COMPARE(motion.frames(), frames + 1);
        // Both have arrived: no frame is asked for after it.
        QVERIFY(!motion.asking());
        QVERIFY(motion.now() - first >= Motion::frameMs);
    }

    void keptPartsGetAFrameAtRestUntilLetGo()
    {
        Motion motion(nullptr);
        auto owner = std::make_unique<QObject>();
        motion.keep(owner.get(), true);
        motion.keep(owner.get(), true); // twice is once
        QVERIFY(motion.asking());
        const int frames = motion.frames();
        QTRY_VERIFY_WITH_TIMEOUT(motion.frames() > frames, Motion::restMs + 1000);
        QVERIFY(motion.asking());
        // An owner that is gone lets go too.
        owner.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!motion.asking(), Motion::restMs + 1000);
    }

    void stillWhileNoWindowIsSeen()
    {
        Motion motion(nullptr);
        QObject owner;
        motion.keep(&owner, true);
        m_window->hide();
        QTRY_VERIFY(motion.still());
        QVERIFY(!motion.asking());
        motion.begin(Motion::frameMs);
        QVERIFY(!motion.asking());

        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_VERIFY(!motion.still());
        QVERIFY(motion.asking());
    }

    void stillWhileFullyCovered()
    {
        m_window->setGeometry(20, 20, 200, 100);
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Motion motion(nullptr);
        QVERIFY(!motion.still());
        // Another program's window on top (override-redirect: placed as asked).
        xcb_connection_t *other = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(other));
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
        const xcb_window_t cover = xcb_generate_id(other);
        const uint32_t values[] = {screen->black_pixel, 1};
        xcb_create_window(other, XCB_COPY_FROM_PARENT, cover, screen->root, 0, 0, 120, 400, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(other, cover);
        xcb_flush(other);
        // Half covered still moves.
        QVERIFY(!QTest::qWaitFor([&] { return motion.still(); }, 300));
        const uint32_t wide[] = {600};
        xcb_configure_window(other, cover, XCB_CONFIG_WINDOW_WIDTH, wide);
        xcb_flush(other);
        QTRY_VERIFY(motion.still());
        xcb_unmap_window(other, cover);
        xcb_flush(other);
        QTRY_VERIFY(!motion.still());
        xcb_disconnect(other);
    }

    void reducedMotionFollowsTheDesktop()
    {
        FakePortal portal;
        const QString gnome = u"org.gnome.desktop.interface"_s;
        const QString kde = u"org.kde.kdeglobals.KDE"_s;
        portal.settings.insert(gnome + u"/enable-animations"_s, false);
        QVERIFY(portal.start());
        Motion motion(nullptr);
        QTRY_VERIFY(motion.reduced());
        QVERIFY(motion.still());
        motion.begin(Motion::frameMs);
        QVERIFY(!motion.asking());

        portal.changeSetting(gnome, u"enable-animations"_s, true);
        QTRY_VERIFY(!motion.reduced());
        // Either desktop's wish is enough; KDE says it with a speed factor of 0.
        portal.changeSetting(kde, u"AnimationDurationFactor"_s, 0.0);
        QTRY_VERIFY(motion.reduced());
        portal.changeSetting(kde, u"AnimationDurationFactor"_s, 0.5);
        QTRY_VERIFY(!motion.reduced());
        // A value of the wrong kind changes nothing.
        portal.changeSetting(gnome, u"enable-animations"_s, u"no"_s);
        portal.changeSetting(kde, u"AnimationDurationFactor"_s, 0.0);
        QTRY_VERIFY(motion.reduced());
    }

    void theLiveDotRestsWhenMotionIsReduced()
    {
        QQmlComponent component(m_engine);
        component.setData("import Zimbrel.Ui\nimport QtQuick\nZimbrelMark { size: 40; live: true }", QUrl(u"inline.qml"_s));
        std::unique_ptr<QQuickItem> mark(qobject_cast<QQuickItem *>(component.create()));
        QVERIFY(mark);
        mark->setParentItem(m_window->contentItem());
        auto *dot = mark->findChild<QQuickItem *>(u"markDot"_s);
        QVERIFY(dot);
        // It beats: up on one frame, at rest on a later one.
        QTRY_VERIFY(dot->scale() > 1.05);
        QTRY_COMPARE(dot->scale(), 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(dot->scale() > 1.05, 2000);

        Motion::instance()->setReduced(true);
        QCOMPARE(dot->scale(), 1.0);
        QCOMPARE(dot->opacity(), 1.0);
        QVERIFY(!Motion::instance()->asking());
        Motion::instance()->setReduced(false);
        QTRY_VERIFY_WITH_TIMEOUT(dot->scale() > 1.05, 2000);
    }
};

QTEST_MAIN(TestMotion)
#include "tst_motion.moc"
