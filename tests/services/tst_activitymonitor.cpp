// Input counting against the test desktop's real X server, driven by xdotool.
#include "ActivityMonitor.h"
#include "EvdevTap.h"
#include "EnvOverride.h"
#include "ExtraDisplay.h"
#include "Permissions.h"
#include "TestEnv.h"
#include "XInputTap.h"
#include "XTool.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Lets events already on their way arrive, so "nothing more was counted"
// means something.
void settle()
{
    TestEnv::waitFor([] { return false; }, 150);
}

bool keys(int count)
{
    QStringList args{u"key"_s, u"--delay"_s, u"5"_s};
    for (int i = 0; i < count; ++i)
        args << u"x"_s;
    return XTool::run(args);
}

input_event keyEvent(unsigned short type, unsigned short code, int value)
{
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

} // namespace

class TestActivityMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run inside scripts/test-env.sh");
        QVERIFY(Permissions::preflightInput());
    }

    void countsPressesWithTheirWeights()
    {
        ActivityMonitor monitor;
        monitor.start();
        QVERIFY(monitor.tap());
        const qint64 before = monitor.totalInputs();

        QVERIFY(keys(10));
        QVERIFY(XTool::run({u"click"_s, u"1"_s}));
        QVERIFY(XTool::run({u"click"_s, u"3"_s}));
        QVERIFY(XTool::run({u"click"_s, u"2"_s}));
        QVERIFY(TestEnv::waitFor([&] { return monitor.keystrokes() >= 10 && monitor.clicks() >= 3; }));
        settle();

        QCOMPARE(monitor.drain(), (InputCounts{10, 3}));
        QCOMPARE(monitor.totalInputs() - before, 16);
        QCOMPARE(monitor.drain(), (InputCounts{0, 0}));
        QCOMPARE(monitor.totalInputs() - before, 16);
    }

    void wheelReleasesAndHeldKeysAddNothing()
    {
        ActivityMonitor monitor;
        monitor.start();
        QVERIFY(monitor.tap());

        // Make the server repeat a held key quickly, so a hold of a few
        // hundred milliseconds would produce repeats if they were counted.
        Display *dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
        XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, 30, 10);
        XSync(dpy, False);

        for (const QString &wheel : {u"4"_s, u"5"_s, u"6"_s, u"7"_s})
            QVERIFY(XTool::run({u"click"_s, wheel}));
        QVERIFY(XTool::run({u"mousemove"_s, u"200"_s, u"200"_s}));
        QVERIFY(XTool::run({u"mousedown"_s, u"1"_s}));
        QVERIFY(XTool::run({u"mousemove"_s, u"300"_s, u"250"_s}));
        QVERIFY(XTool::run({u"mouseup"_s, u"1"_s}));
        QVERIFY(XTool::run({u"keydown"_s, u"y"_s}));
        QTest::qWait(300);
        QVERIFY(XTool::run({u"keyup"_s, u"y"_s}));
        XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, 660, 40);
        XCloseDisplay(dpy);

        const qint64 total = monitor.totalInputs();
        QVERIFY(TestEnv::waitFor([&] { return monitor.clicks() >= 1 && monitor.keystrokes() >= 1; }));
        settle();
        // One press of the held key and one drag's press; the wheel, the
        // moves and both releases count nothing.
        QCOMPARE(monitor.drain(), (InputCounts{1, 1}));
        QCOMPARE(monitor.totalInputs(), total);
    }

    void startTwiceStopAndRestart()
    {
        ActivityMonitor monitor;
        QCOMPARE(monitor.strategy(), ActivityMonitor::Strategy::stopped);
        monitor.start();
        monitor.start();
        QCOMPARE(monitor.strategy(), ActivityMonitor::Strategy::tapping);

        // A second tap would count every press twice.
        QVERIFY(keys(2));
        QVERIFY(TestEnv::waitFor([&] { return monitor.keystrokes() >= 2; }));
        settle();
        QCOMPARE(monitor.keystrokes(), 2);
        QCOMPARE(monitor.totalInputs(), 2);

        monitor.stop();
        QCOMPARE(monitor.strategy(), ActivityMonitor::Strategy::stopped);
        QCOMPARE(monitor.drain(), (InputCounts{0, 0}));
        QCOMPARE(monitor.totalInputs(), 2);

        // Stopped: nothing is counted. Started again: counting resumes.
        QVERIFY(keys(1));
        settle();
        QCOMPARE(monitor.keystrokes(), 0);
        monitor.stop();
        monitor.start();
        QVERIFY(monitor.tap());
        QVERIFY(keys(1));
        QVERIFY(TestEnv::waitFor([&] { return monitor.keystrokes() == 1; }));
        QCOMPARE(monitor.totalInputs(), 3);
    }

    void withoutXFallsBackToOwnWindows()
    {
        QWindow window;
        window.setGeometry(100, 100, 300, 200);
        window.setTitle(u"monitor fallback"_s);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QByteArray display = qgetenv("DISPLAY");
        EnvOverride noX("DISPLAY", ":4242");
        QVERIFY(!Permissions::preflightInput());
        ActivityMonitor monitor;
        monitor.start();
        monitor.start();
        QCOMPARE(monitor.strategy(), ActivityMonitor::Strategy::fallback);
        QVERIFY(!monitor.tap());

        const QString id = QString::number(window.winId());
        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, id}, display));
        QVERIFY(TestEnv::waitFor([&] { return window.isActive(); }));
        QVERIFY(XTool::run({u"key"_s, u"--delay"_s, u"5"_s, u"a"_s, u"b"_s, u"c"_s}, display));
        QVERIFY(XTool::run({u"mousemove"_s, u"--window"_s, id, u"50"_s, u"50"_s}, display));
        QVERIFY(XTool::run({u"click"_s, u"1"_s}, display));
        QVERIFY(XTool::run({u"click"_s, u"4"_s}, display));
        // Outside our window the fallback sees nothing.
        QVERIFY(XTool::run({u"mousemove"_s, u"1000"_s, u"700"_s}, display));
        QVERIFY(XTool::run({u"click"_s, u"1"_s}, display));
        QVERIFY(TestEnv::waitFor([&] { return monitor.keystrokes() >= 3 && monitor.clicks() >= 1; }));
        settle();
        QCOMPARE(monitor.drain(), (InputCounts{3, 1}));
        QCOMPARE(monitor.totalInputs(), 5);

        monitor.stop();
        QCOMPARE(monitor.strategy(), ActivityMonitor::Strategy::stopped);
        QVERIFY(XTool::run({u"windowactivate"_s, u"--sync"_s, id}, display));
        QVERIFY(XTool::run({u"key"_s, u"a"_s}, display));
        settle();
        QCOMPARE(monitor.keystrokes(), 0);
    }

    void lostXServerStopsTheTapQuietly()
    {
        ExtraDisplay extra(u"640x480x24"_s);
        QVERIFY(!extra.name().isEmpty());
        int presses = 0;
        std::unique_ptr<XInputTap> tap = XInputTap::open([&](InputTap::Press) { ++presses; }, extra.name());
        QVERIFY(tap);
        QVERIFY(XTool::run({u"key"_s, u"a"_s}, extra.name()));
        QVERIFY(TestEnv::waitFor([&] { return presses == 1; }));
        QVERIFY(tap->active());

        // Xlib's default would end the whole process here.
        extra.stop();
        QVERIFY(TestEnv::waitFor([&] { return !tap->active(); }));
        tap.reset();
        QVERIFY(!XInputTap::available(extra.name()));
    }

    void evdevCountsPressesOnly()
    {
        QTemporaryDir folder;
        const QByteArray keyboard = QFile::encodeName(folder.path() + u"/event0"_s);
        const QByteArray mouse = QFile::encodeName(folder.path() + u"/event1"_s);
        QCOMPARE(::mkfifo(keyboard.constData(), 0600), 0);
        QCOMPARE(::mkfifo(mouse.constData(), 0600), 0);
        // A device we may not open never makes the tap fail.
        QCOMPARE(::mkfifo(QFile::encodeName(folder.path() + u"/mouse0"_s).constData(), 0600), 0);

        int keys = 0, clicks = 0;
        std::unique_ptr<EvdevTap> tap = EvdevTap::open(
            [&](InputTap::Press p) { ++(p == InputTap::Press::keystroke ? keys : clicks); }, folder.path());
        QVERIFY(tap);
        QCOMPARE(tap->deviceCount(), 2);
        const int kfd = ::open(keyboard.constData(), O_WRONLY | O_NONBLOCK);
        const int mfd = ::open(mouse.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(kfd >= 0 && mfd >= 0);

        const input_event keyboardEvents[] = {
            keyEvent(EV_KEY, KEY_A, 1), keyEvent(EV_SYN, SYN_REPORT, 0), keyEvent(EV_KEY, KEY_A, 2),
            keyEvent(EV_KEY, KEY_A, 2), keyEvent(EV_KEY, KEY_A, 0),      keyEvent(EV_KEY, KEY_ENTER, 1),
            keyEvent(EV_MSC, MSC_SCAN, 30),
        };
        const input_event mouseEvents[] = {
            keyEvent(EV_KEY, BTN_LEFT, 1),  keyEvent(EV_KEY, BTN_LEFT, 0),  keyEvent(EV_REL, REL_WHEEL, 1),
            keyEvent(EV_REL, REL_X, 5),     keyEvent(EV_KEY, BTN_RIGHT, 1), keyEvent(EV_KEY, BTN_TOUCH, 1),
            keyEvent(EV_KEY, BTN_TOOL_FINGER, 1),
        };
        // The keyboard's records arrive split mid-record, as a pipe may deliver them.
        const char *bytes = reinterpret_cast<const char *>(keyboardEvents);
        QCOMPARE(::write(kfd, bytes, 30), 30);
        QVERIFY(TestEnv::waitFor([&] { return keys == 1; }, 2000));
        QCOMPARE(::write(kfd, bytes + 30, sizeof(keyboardEvents) - 30), ssize_t(sizeof(keyboardEvents) - 30));
        QCOMPARE(::write(mfd, mouseEvents, sizeof(mouseEvents)), ssize_t(sizeof(mouseEvents)));
        QVERIFY(TestEnv::waitFor([&] { return keys == 2 && clicks == 2; }, 2000));
        settle();
        QCOMPARE(keys, 2);
        QCOMPARE(clicks, 2);

        // A device that goes away is dropped; the others keep counting.
        ::close(mfd);
        QVERIFY(TestEnv::waitFor([&] { return tap->deviceCount() == 1; }, 2000));
        QVERIFY(tap->active());
        ::close(kfd);
        QVERIFY(TestEnv::waitFor([&] { return !tap->active(); }, 2000));
    }

    // A keyboard plugged in after start is counted without a restart; one
    // whose node is not readable yet is taken once it is.
    void evdevTakesDevicesThatAppearLater()
    {
        QTemporaryDir folder;
        const QByteArray first = QFile::encodeName(folder.path() + u"/event0"_s);
        QCOMPARE(::mkfifo(first.constData(), 0600), 0);
        int keys = 0;
        std::unique_ptr<EvdevTap> tap = EvdevTap::open([&](InputTap::Press) { ++keys; }, folder.path());
        QVERIFY(tap);
        const int firstFd = ::open(first.constData(), O_WRONLY | O_NONBLOCK);

        const QByteArray later = QFile::encodeName(folder.path() + u"/event7"_s);
        QCOMPARE(::mkfifo(later.constData(), 0000), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(folder.path() + u"/js0"_s).constData(), 0600), 0);
        QCOMPARE(::chmod(later.constData(), 0600), 0);
        QVERIFY(TestEnv::waitFor([&] { return tap->deviceCount() == 2; }, 2000));
        const int fd = ::open(later.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const input_event press = keyEvent(EV_KEY, KEY_B, 1);
        QCOMPARE(::write(fd, &press, sizeof(press)), ssize_t(sizeof(press)));
        QVERIFY(TestEnv::waitFor([&] { return keys == 1; }, 2000));
        ::close(fd);
        ::close(firstFd);
    }

    void evdevWithoutReadableDevices()
    {
        QTemporaryDir folder;
        QVERIFY(!EvdevTap::available(folder.path()));
        QVERIFY(!EvdevTap::open([](InputTap::Press) {}, folder.path()));
        QVERIFY(!EvdevTap::available(u"/nonexistent/input"_s));
    }
};

QTEST_MAIN(TestActivityMonitor)
#include "tst_activitymonitor.moc"
