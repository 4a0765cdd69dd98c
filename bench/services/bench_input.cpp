// Cost per counted input event for each way of counting: the XInput2 tap
// (this process's CPU time while xdotool types on a private Xvfb), the evdev
// tap (records written into a pipe) and the fallback event filter.
#include "ActivityMonitor.h"
#include "EnvOverride.h"
#include "ExtraDisplay.h"
#include "EvdevTap.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void xinputTap(int events)
{
    ActivityMonitor monitor;
    monitor.start();
    if (!monitor.tap()) {
        std::printf("xinput2 tap: not available\n");
        return;
    }
    QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("0")};
    for (int i = 0; i < events; ++i)
        args << QStringLiteral("x");
    QProcess xdotool;
    const double before = cpuSeconds();
    xdotool.start(QStringLiteral("xdotool"), args);
    spinUntil([&] { return monitor.keystrokes() >= events; }, 60000);
    const double spent = cpuSeconds() - before;
    xdotool.waitForFinished(10000);
    std::printf("xinput2 tap:   %6d presses counted, %7.2f us CPU per press (with the key releases it skips)\n",
                monitor.keystrokes(), spent * 1e6 / std::max(1, monitor.keystrokes()));
}

void evdevTap(int events)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.path() + QStringLiteral("/event0"));
    ::mkfifo(fifo.constData(), 0600);
    int counted = 0;
    std::unique_ptr<EvdevTap> tap = EvdevTap::open([&](InputTap::Press) { ++counted; }, dir.path());
    const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    if (!tap || fd < 0) {
        std::printf("evdev tap: could not set up\n");
        return;
    }
    // Press, sync, release, sync: what a keyboard sends per key.
    input_event key[4] = {};
    key[0].type = EV_KEY, key[0].code = KEY_A, key[0].value = 1;
    key[2].type = EV_KEY, key[2].code = KEY_A, key[2].value = 0;
    const double before = cpuSeconds();
    int written = 0;
    while (written < events) {
        if (::write(fd, key, sizeof(key)) == ssize_t(sizeof(key)))
            ++written;
        else
            QCoreApplication::processEvents();
    }
    spinUntil([&] { return counted >= events; }, 60000);
    const double spent = cpuSeconds() - before;
    ::close(fd);
    std::printf("evdev tap:     %6d presses counted, %7.2f us CPU per press (writing included)\n", counted,
                spent * 1e6 / std::max(1, counted));
}

void fallbackFilter(int events)
{
    // Without a reachable X server for the tap, the monitor filters events.
    ActivityMonitor monitor;
    {
        const EnvOverride noX("DISPLAY", ":4242");
        monitor.start();
    }
    QWindow window;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < events; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(&window, &press);
    }
    const double ns = double(clock.nsecsElapsed());
    QWindow bare;
    clock.restart();
    monitor.stop();
    for (int i = 0; i < events; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(&bare, &press);
    }
    const double bareNs = double(clock.nsecsElapsed());
    std::printf("event filter:  %6d presses, %7.3f us per press delivered, %7.3f us without the filter\n", events,
                ns / 1e3 / events, bareNs / 1e3 / events);
}

} // namespace

int main(int argc, char **argv)
{
    ExtraDisplay display(QStringLiteral("1280x800x24"));
    if (display.name().isEmpty()) {
        std::printf("Xvfb did not start\n");
        return 1;
    }
    qputenv("DISPLAY", display.name());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", "x11");
    QGuiApplication app(argc, argv);
    xinputTap(3000);
    evdevTap(20000);
    fallbackFilter(200000);
    return 0;
}
