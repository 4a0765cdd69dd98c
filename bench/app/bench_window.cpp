// Prints what zimbrel costs on the desktop: for the window open and for the
// tray icon alone (window closed), the memory (resident, proportional and
// private), the CPU share, the wake-ups and the frames per second over a
// tracking session of the demo workspace, the memory of a program whose
// window was never shown, and the time from launch to the window's first
// frame. Beside each figure, the floor program's (bench_floor:
// a Qt Quick window of the same size and renderer whose text changes once a
// second), run in the same time window, and the ratio: the machine may be
// busy with other work, the ratio says what is zimbrel's own. Run it on a
// desktop with a tray (bench/app/window-run.sh starts one); it only prints
// figures.
//   bench_window ZIMBREL ZIMBREL_CONTROL FLOOR [SECONDS]
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QThread>

#include <X11/Xlib.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <unistd.h>

namespace {

struct Sample {
    double cpuSeconds = 0;
    // Context switches of each thread (each is a wake-up or a preemption), by
    // thread id: a thread that ends between two samples takes its count with
    // it, so only threads still alive are compared.
    QHash<QString, qint64> switches;
    QHash<QString, QString> names; // thread id to its name
    // Nanoseconds each thread ran, by the scheduler's own count: the clock
    // ticks of /proc/PID/stat step in 10 ms, a sixth of what a tray-only
    // minute spends, so small shares are read from here as well.
    QHash<QString, qint64> runNs;
    qint64 rssKiB = 0;
    qint64 pssKiB = 0;
    qint64 privateKiB = 0; // the Private_* lines of smaps_rollup
    // Of those, Private_Dirty: the program's own. Private_Clean counts file
    // pages (libraries, fonts) that no other process happens to map at that
    // moment, so it rises and falls with what else runs on the machine.
    qint64 privateDirtyKiB = 0;
};

Sample sample(qint64 pid)
{
    Sample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // Fields 14 and 15 of the whole line: utime and stime, in clock ticks.
        s.cpuSeconds = double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / sysconf(_SC_CLK_TCK);
    }
    const QStringList tasks = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile status(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(task));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        QFile comm(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(task));
        if (comm.open(QIODevice::ReadOnly))
            s.names[task] = QString::fromLocal8Bit(comm.readAll().trimmed());
        QFile schedstat(QStringLiteral("/proc/%1/task/%2/schedstat").arg(pid).arg(task));
        if (schedstat.open(QIODevice::ReadOnly))
            s.runNs[task] = schedstat.readAll().split(' ').value(0).toLongLong();
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("voluntary_ctxt_switches") || l.startsWith("nonvoluntary_ctxt_switches"))
                s.switches[task] += l.mid(l.indexOf(':') + 1).trimmed().toLongLong();
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("VmRSS"))
                s.rssKiB = l.mid(6).trimmed().split(' ').value(0).toLongLong();
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly))
        for (const QByteArray &l : rollup.readAll().split('\n')) {
            const qint64 kib = l.mid(l.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
            if (l.startsWith("Pss:"))
                s.pssKiB = kib;
            else if (l.startsWith("Private_"))
                s.privateKiB += kib;
            if (l.startsWith("Private_Dirty:"))
                s.privateDirtyKiB += kib;
        }
    return s;
}

QString run(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The main window of `pid`, or 0: the tray icon's embedded window has the
// same name, so the one wider than an icon.
qulonglong windowOf(qint64 pid)
{
    const QString found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--pid"), QString::number(pid),
                                                          QStringLiteral("--name"), QStringLiteral("^Zimbrel$")});
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    qulonglong main = 0;
    for (const QString &id : found.split(u'\n', Qt::SkipEmptyParts)) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, Window(id.toULongLong()), &attributes) && attributes.width > 200) {
            main = id.toULongLong();
            break;
        }
    }
    XCloseDisplay(display);
    return main;
}

void closeWindow(qulonglong id)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(id);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, Window(id), False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

struct Figures {
    double cpuPercent = 0;
    double wakeups = 0;
    double frames = 0;
    Sample end;
    double runPercent = 0; // by the scheduler's count, threads alive throughout
};

Figures figures(const Sample &a, const Sample &b, int seconds, qsizetype frames)
{
    qint64 switches = 0;
    for (auto it = b.switches.cbegin(); it != b.switches.cend(); ++it)
        switches += it.value() - a.switches.value(it.key(), 0);
    qint64 runNs = 0;
    for (auto it = b.runNs.cbegin(); it != b.runNs.cend(); ++it)
        if (a.runNs.contains(it.key()))
            runNs += it.value() - a.runNs.value(it.key());
    return {100.0 * (b.cpuSeconds - a.cpuSeconds) / seconds, double(switches) / seconds, double(frames) / seconds, b,
            100.0 * double(runNs) / 1e9 / seconds};
}

void print(const char *what, const Figures &f)
{
    std::printf("  %-9s cpu %6.3f %%   wake-ups %6.2f /s   frames %5.2f /s   memory %5.1f MB resident, %5.1f MB "
                "proportional, %5.1f MB private (%4.1f dirty)\n",
                what, f.cpuPercent, f.wakeups, f.frames, f.end.rssKiB / 1024.0, f.end.pssKiB / 1024.0,
                f.end.privateKiB / 1024.0, f.end.privateDirtyKiB / 1024.0);
    std::printf("  %-9s cpu %6.3f %% by the scheduler's run time (threads alive throughout), %5.3f ms a wake-up\n", "",
                f.runPercent, f.wakeups > 0 ? f.runPercent * 10 / f.wakeups : 0.0);
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

// Lines that `p` wrote to standard error since the last call and that
// contain `what`.
qsizetype linesWith(QProcess &p, const QByteArray &what)
{
    p.waitForReadyRead(0);
    return p.readAllStandardError().count(what);
}

// Measures zimbrel (and the floor, when running) over the same `seconds`.
void measure(const char *what, QProcess &zimbrel, QProcess *floor, int seconds)
{
    linesWith(zimbrel, "zimbrel: frame");
    if (floor)
        linesWith(*floor, "floor: frame");
    const Sample a = sample(zimbrel.processId());
    const Sample fa = floor ? sample(floor->processId()) : Sample();
    QThread::sleep(seconds);
    const Sample b = sample(zimbrel.processId());
    const Sample fb = floor ? sample(floor->processId()) : Sample();
    const Figures z = figures(a, b, seconds, linesWith(zimbrel, "zimbrel: frame"));
    std::printf("%s (%d s)\n", what, seconds);
    print("zimbrel", z);
    // Where the wake-ups happen: each thread that woke at least once in ten seconds.
    QString byThread;
    for (auto it = b.switches.cbegin(); it != b.switches.cend(); ++it) {
        const double rate = double(it.value() - a.switches.value(it.key(), 0)) / seconds;
        if (rate >= 0.1)
            byThread += QStringLiteral("  %1 %2").arg(b.names.value(it.key(), it.key())).arg(rate, 0, 'f', 2);
    }
    std::printf("  %-9s wake-ups /s by thread:%s\n", "", qPrintable(byThread));
    if (!floor)
        return;
    const Figures f = figures(fa, fb, seconds, linesWith(*floor, "floor: frame"));
    print("floor", f);
    // The first CPU figure counts the kernel's 10 ms ticks, a coarse step
    // over a minute at these shares; the run time is exact.
    std::printf("  %-9s cpu %6.2f x   wake-ups %6.2f x   frames %5.2f x   cpu by run time %5.2f x\n", "ratio",
                ratio(z.cpuPercent, f.cpuPercent), ratio(z.wakeups, f.wakeups), ratio(z.frames, f.frames),
                ratio(z.runPercent, f.runPercent));
}

QProcessEnvironment reportingEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZIMBREL_REPORT_FIRST_FRAME"), QStringLiteral("1"));
    env.insert(QStringLiteral("ZIMBREL_REPORT_FRAMES"), QStringLiteral("1"));
    return env;
}

// Launches `program` and waits for its first frame; the milliseconds from
// launch to it, or -1. With `cpuMs`, also the CPU time its threads had run by
// then (steadier than the wall clock on a busy machine).
qint64 launch(QProcess &p, const QString &program, const QStringList &args, QByteArray *err, qint64 *cpuMs = nullptr)
{
    p.setProcessEnvironment(reportingEnvironment());
    const qint64 launched = QDateTime::currentMSecsSinceEpoch();
    p.start(program, args);
    waitFor([&] {
        p.waitForReadyRead(20);
        *err += p.readAllStandardError();
        return err->contains("first frame at");
    }, 20000);
    const int at = err->indexOf("first frame at ");
    if (cpuMs && at >= 0) {
        qint64 ns = 0;
        for (qint64 run : sample(p.processId()).runNs)
            ns += run;
        *cpuMs = ns / 1000000;
    }
    return at < 0 ? -1 : err->mid(at + 15).split(' ').value(0).toLongLong() - launched;
}

qint64 median(QList<qint64> list)
{
    std::sort(list.begin(), list.end());
    return list.isEmpty() ? -1 : list.at(list.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: bench_window ZIMBREL ZIMBREL_CONTROL FLOOR [SECONDS]\n");
        return 2;
    }
    const QString zimbrel = args.at(1);
    const QString control = args.at(2);
    const QString floorProgram = args.at(3);
    const int seconds = args.value(4, QStringLiteral("120")).toInt();
    // The floor stands beside the main window, overlapping it a little on
    // this 1440 x 900 screen but leaving the clock in view.
    const QStringList floorPlace = {QStringLiteral("500"), QStringLiteral("260")};

    // Launch to first frame: the programs print the wall clock of their
    // first frame when asked; five launches of each, taking turns, median.
    QList<qint64> firstFrames;
    QList<qint64> floorFrames;
    QList<qint64> firstFrameCpu;
    QList<qint64> floorFrameCpu;
    QList<qint64> reopenings;
    for (int i = 0; i < 5; ++i) {
        {
            QProcess f;
            QByteArray ferr;
            qint64 cpu = 0;
            const qint64 ms = launch(f, floorProgram, floorPlace, &ferr, &cpu);
            if (ms >= 0) {
                floorFrames.append(ms);
                floorFrameCpu.append(cpu);
            }
            f.terminate();
            f.waitForFinished(5000);
        }
        QProcess p;
        QByteArray err;
        qint64 cpu = 0;
        const qint64 ms = launch(p, zimbrel, {QStringLiteral("--demo")}, &err, &cpu);
        if (ms >= 0) {
            firstFrames.append(ms);
            firstFrameCpu.append(cpu);
        }
        // Reopening: close the window (its scene is released), launch again
        // (which asks this one to show it) and read how long building and
        // drawing the window took inside the program.
        const qulonglong id = windowOf(p.processId());
        if (id && i > 0) {
            closeWindow(id);
            waitFor([&] { return windowOf(p.processId()) == 0; }, 5000);
            QThread::msleep(300);
            err += p.readAllStandardError();
            const qsizetype before = err.count("built and drawn in ");
            QProcess::execute(zimbrel, {});
            waitFor([&] {
                p.waitForReadyRead(20);
                err += p.readAllStandardError();
                return err.count("built and drawn in ") > before;
            }, 5000);
            const int last = err.lastIndexOf("built and drawn in ");
            if (err.count("built and drawn in ") > before)
                reopenings.append(err.mid(last + 19).split(' ').value(0).toLongLong());
        }
        p.terminate();
        p.waitForFinished(5000);
    }
    std::printf("launch to first frame   zimbrel median %lld ms (of %lld), floor median %lld ms: %+lld ms\n",
                median(firstFrames), qlonglong(firstFrames.size()), median(floorFrames),
                median(firstFrames) - median(floorFrames));
    std::printf("  CPU to first frame    zimbrel median %lld ms, floor median %lld ms: %+lld ms\n", median(firstFrameCpu),
                median(floorFrameCpu), median(firstFrameCpu) - median(floorFrameCpu));
    if (!reopenings.isEmpty())
        std::printf("reopening the window    median %lld ms (build and first frame, after a second launch)\n",
                    median(reopenings));

    // Started in the tray, its window never shown: what the tray alone needs,
    // the mark for memory after the window was closed.
    {
        QProcess t;
        t.start(zimbrel, {QStringLiteral("--demo"), QStringLiteral("--tray")});
        QThread::sleep(5);
        const Sample s = sample(t.processId());
        std::printf("tray only, window never shown: memory %5.1f MB resident, %5.1f MB proportional, %5.1f MB private "
                    "(%4.1f dirty)\n",
                    s.rssKiB / 1024.0, s.pssKiB / 1024.0, s.privateKiB / 1024.0, s.privateDirtyKiB / 1024.0);
        t.terminate();
        t.waitForFinished(5000);
    }

    // Tracking: the window open, then the tray only; the floor runs beside
    // both.
    QProcess p;
    p.setProcessEnvironment(reportingEnvironment());
    p.start(zimbrel, {QStringLiteral("--demo")});
    waitFor([&] { return windowOf(p.processId()) != 0; }, 20000);
    QProcess::execute(control, {QStringLiteral("on")});
    QProcess floor;
    QByteArray ferr;
    launch(floor, floorProgram, floorPlace, &ferr);
    QThread::sleep(3);
    measure("window open, timer running", p, &floor, seconds);
    closeWindow(windowOf(p.processId()));
    waitFor([&] { return windowOf(p.processId()) == 0; }, 5000);
    QThread::sleep(3);
    measure("tray only, after the window was shown and closed", p, &floor, seconds);
    QProcess::execute(control, {QStringLiteral("off")});
    floor.terminate();
    floor.waitForFinished(5000);
    p.terminate();
    p.waitForFinished(5000);
    return 0;
}
