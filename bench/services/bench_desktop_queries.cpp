// Cost of the desktop queries the app makes while it runs (front window every
// second while tracking, input access every 5 s, idle time every 15 s): on a
// connection opened for each query, as before, against the one kept
// connection. Starts its own Xvfb; prints microseconds per query.
#include "EnvOverride.h"
#include "ExtraDisplay.h"
#include "FrontmostApp.h"
#include "IdleTime.h"
#include "InputTap.h"
#include "XConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Figures {
    double medianUs;
    double cpuUs;
};

Figures measure(int runs, const std::function<void()> &query)
{
    std::vector<double> times;
    const double cpuBefore = cpuSeconds();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        query();
        times.push_back(double(clock.nsecsElapsed()) / 1e3);
    }
    const double cpu = (cpuSeconds() - cpuBefore) * 1e6 / runs;
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return {times[runs / 2], cpu};
}

void print(const char *what, const Figures &f)
{
    std::printf("%-44s %9.1f us wall (median), %9.1f us CPU (mean)\n", what, f.medianUs, f.cpuUs);
}

// The idle query as it was made before: a connection of its own each time.
void idleOnFreshConnection()
{
    std::unique_ptr<XConnection> connection = XConnection::openSession();
    if (!connection)
        return;
    Display *dpy = connection->display();
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(dpy, &event, &error))
        return;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info);
    XFree(info);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ExtraDisplay display(QStringLiteral("1280x800x24"));
    if (display.name().isEmpty()) {
        std::printf("Xvfb did not start\n");
        return 1;
    }
    const EnvOverride onDisplay("DISPLAY", display.name());
    const EnvOverride x11("XDG_SESSION_TYPE", "x11");
    const EnvOverride noWayland("WAYLAND_DISPLAY", {});
    constexpr int runs = 400;
    constexpr int freshRuns = 50; // each one is slow

    std::printf("desktop queries on a private Xvfb, %d runs each (%d with a fresh connection)\n", runs, freshRuns);
    const int openedBefore = XConnection::openedCount();
    print("open + close a connection", measure(freshRuns, [] { XConnection::openSession(); }));
    print("idle time, connection per query (before)", measure(freshRuns, idleOnFreshConnection));
    const int openedFresh = XConnection::openedCount() - openedBefore;

    FrontmostApp::name(); // opens the kept connection
    const int openedKept = XConnection::openedCount();
    print("idle time, kept connection", measure(runs, [] { IdleTime::seconds(); }));
    print("front window name, kept connection", measure(runs, [] { FrontmostApp::name(); }));
    print("input access check, kept connection", measure(runs, [] { InputTap::available(); }));
    print("one tick's worth (name + idle + access)", measure(runs, [] {
              FrontmostApp::name();
              IdleTime::seconds();
              InputTap::available();
          }));
    std::printf("connections opened: %d for %d fresh queries, %d for %d kept queries\n", openedFresh, 2 * freshRuns,
                XConnection::openedCount() - openedKept, 6 * runs);
    return 0;
}
