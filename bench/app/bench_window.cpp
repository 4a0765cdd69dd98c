// Prints what zimbrel costs on the desktop: for the window open and for the
// tray icon alone (window closed), the resident memory, the CPU share and the
// wake-ups per second over a tracking session of the demo workspace, and the
// time from launch to the window's first frame. Run it on a desktop with a
// tray (bench/app/window-run.sh starts one); it only prints figures.
//   bench_window ZIMBREL ZIMBREL_CONTROL [SECONDS]
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
#include <cstdio>
#include <unistd.h>

namespace {

struct Sample {
    double cpuSeconds = 0;
    // Context switches of each thread (each is a wake-up or a preemption), by
    // thread id: a thread that ends between two samples takes its count with
    // it, so only threads still alive are compared.
    QHash<QString, qint64> switches;
    qint64 rssKiB = 0;
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
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("voluntary_ctxt_switches") || l.startsWith("nonvoluntary_ctxt_switches"))
                s.switches[task] += l.mid(l.indexOf(':') + 1).trimmed().toLongLong();
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &l : status.readAll().split('\n'))
            if (l.startsWith("VmRSS"))
                s.rssKiB = l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return s;
}

QString run(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

qulonglong windowOf(qint64 pid)
{
    const QString found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--pid"), QString::number(pid),
                                                          QStringLiteral("--name"), QStringLiteral("^Zimbrel$")});
    return found.split(u'\n', Qt::SkipEmptyParts).value(0).toULongLong();
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

void measure(const char *what, qint64 pid, int seconds)
{
    const Sample a = sample(pid);
    QThread::sleep(seconds);
    const Sample b = sample(pid);
    qint64 switches = 0;
    for (auto it = b.switches.cbegin(); it != b.switches.cend(); ++it)
        switches += it.value() - a.switches.value(it.key(), 0);
    std::printf("%-12s resident %6.1f MB   cpu %6.3f %% of a core   wake-ups %5.2f /s   (%d s)\n", what,
                b.rssKiB / 1024.0, 100.0 * (b.cpuSeconds - a.cpuSeconds) / seconds,
                double(switches) / seconds, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_window ZIMBREL ZIMBREL_CONTROL [SECONDS]\n");
        return 2;
    }
    const QString zimbrel = args.at(1);
    const QString control = args.at(2);
    const int seconds = args.value(3, QStringLiteral("120")).toInt();

    // Launch to first frame: the program prints the wall clock of its first
    // frame when asked; five cold-ish launches, median.
    QList<qint64> firstFrames;
    QList<qint64> reopenings;
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZIMBREL_REPORT_FIRST_FRAME"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        const qint64 launched = QDateTime::currentMSecsSinceEpoch();
        p.start(zimbrel, {QStringLiteral("--demo")});
        QByteArray err;
        waitFor([&] {
            p.waitForReadyRead(20);
            err += p.readAllStandardError();
            return err.contains("first frame at");
        }, 20000);
        const int at = err.indexOf("first frame at ");
        if (at >= 0)
            firstFrames.append(err.mid(at + 15).split(' ').value(0).toLongLong() - launched);
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
    std::sort(firstFrames.begin(), firstFrames.end());
    std::sort(reopenings.begin(), reopenings.end());
    if (!firstFrames.isEmpty())
        std::printf("launch to first frame   median %lld ms (of %lld)\n", firstFrames.at(firstFrames.size() / 2),
                    qlonglong(firstFrames.size()));
    if (!reopenings.isEmpty())
        std::printf("reopening the window      median %lld ms (build and first frame, after a second launch)\n",
                    reopenings.at(reopenings.size() / 2));

    // Tracking: the window open, then the tray only.
    QProcess p;
    p.start(zimbrel, {QStringLiteral("--demo")});
    waitFor([&] { return windowOf(p.processId()) != 0; }, 20000);
    QProcess::execute(control, {QStringLiteral("on")});
    QThread::sleep(3);
    measure("window open", p.processId(), seconds);
    closeWindow(windowOf(p.processId()));
    waitFor([&] { return windowOf(p.processId()) == 0; }, 5000);
    QThread::sleep(3);
    measure("tray only", p.processId(), seconds);
    QProcess::execute(control, {QStringLiteral("off")});
    p.terminate();
    p.waitForFinished(5000);
    return 0;
}
