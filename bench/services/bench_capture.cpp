// Cost of one screenshot on private Xvfb screens of 1920 x 1080 and
// 3024 x 1964 showing a busy picture: zimbrel's capture as the program takes
// it (ScreenGrabber::captureX11: grab, shrink, encode and hash in one pass),
// and the plain Qt pipeline stage by stage (QScreen::grabWindow, smooth
// scale, QImage's JPEG writer, the hash) on the same picture, with the ratio.
// Each stage gives the median of the wall-clock time, of the CPU time of this
// process (all its threads) and of the X server's CPU time for it, and the
// voluntary context switches (wake-ups) of this process.
// Run without arguments; it starts the screens and a copy of itself on each.
// BENCH_CAPTURE_SAVE=DIR writes each pipeline's last picture there.
#include "ExtraDisplay.h"
#include "ScreenGrabber.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRasterWindow>
#include <QScreen>

#include <QDir>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

// Something like a desktop: gradients, blocks of text and some noise, so the
// encoder has real work.
class BusyWindow : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), height());
        g.setColorAt(0, QColor(40, 70, 140));
        g.setColorAt(1, QColor(230, 200, 120));
        p.fillRect(QRect(0, 0, width(), height()), g);
        QRandomGenerator random(7);
        for (int y = 20; y < height(); y += 18)
            p.drawText(20, y, QStringLiteral("%1 The quick brown fox jumps over the lazy dog 0123456789 ").arg(y).repeated(6));
        for (int i = 0; i < 4000; ++i)
            p.fillRect(random.bounded(width()), random.bounded(height()), 3, 3, QColor::fromRgb(random.generate()));
    }
};

// The X server's process, for its share of the work.
qint64 serverPid = 0;

struct Cost {
    double wall = 0;    // ms
    double own = 0;     // ms of CPU, this process
    double server = 0;  // ms of CPU, the X server
    double switches = 0;
    double cpu() const { return own + server; }
};

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Run time of all the server's threads, from the scheduler (nanoseconds).
double serverCpuMs()
{
    if (serverPid <= 0)
        return 0;
    double total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(serverPid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + u'/' + task + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return total;
}

long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

// Medians of each figure over the runs.
Cost median(int runs, const std::function<void()> &stage)
{
    std::vector<double> wall, own, server, switches;
    for (int i = 0; i < runs; ++i) {
        const double own0 = processCpuMs(), server0 = serverCpuMs();
        const long switches0 = voluntarySwitches();
        QElapsedTimer clock;
        clock.start();
        stage();
        wall.push_back(clock.nsecsElapsed() / 1e6);
        own.push_back(processCpuMs() - own0);
        server.push_back(serverCpuMs() - server0);
        switches.push_back(double(voluntarySwitches() - switches0));
    }
    const auto mid = [](std::vector<double> &v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {mid(wall), mid(own), mid(server), mid(switches)};
}

int measureHere(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    serverPid = qEnvironmentVariableIntValue("BENCH_X_SERVER_PID");
    BusyWindow window;
    const QSize screen = QGuiApplication::primaryScreen()->size();
    window.setGeometry(QRect(QPoint(0, 0), screen));
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!window.isExposed() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    constexpr int runs = 15;
    const QSize size = ScreenGrabber::captureSize(QSizeF(screen));
    struct Stages {
        Cost grab, scale, encode, hash;
        double wall() const { return grab.wall + scale.wall + encode.wall + hash.wall; }
        double cpu() const { return grab.cpu() + scale.cpu() + encode.cpu() + hash.cpu(); }
        double switches() const { return grab.switches + scale.switches + encode.switches + hash.switches; }
    };
    const auto save = [&](const char *name, const QByteArray &jpeg) {
        if (const QString dir = qEnvironmentVariable("BENCH_CAPTURE_SAVE"); !dir.isEmpty()) {
            QFile file(dir + QStringLiteral("/%1-%2.jpg").arg(QString::fromLatin1(name).remove(u' ')).arg(screen.width()));
            if (file.open(QIODevice::WriteOnly))
                file.write(jpeg);
        }
    };
    std::printf("screen %dx%d -> %dx%d (median of %d)\n", screen.width(), screen.height(), size.width(),
                size.height(), runs);

    std::optional<ScreenShot> shot;
    const Cost ours = median(runs, [&] { shot = ScreenGrabber::captureX11(); });
    if (!shot) {
        std::printf("  zimbrel's capture failed\n");
        return 1;
    }
    std::printf("  zimbrel  wall: total %6.2f ms   jpeg %lld KB\n", ours.wall,
                static_cast<long long>(shot->jpeg.size() / 1024));
    std::printf("  %-8s cpu:  total %6.2f ms (X server %5.2f)   wake-ups %.0f\n", "", ours.cpu(), ours.server,
                ours.switches);
    save("zimbrel", shot->jpeg);

    QImage grabbed, scaled;
    QByteArray jpeg;
    QString hash;
    Stages t{};
    t.grab = median(runs, [&] { grabbed = QGuiApplication::primaryScreen()->grabWindow(0).toImage(); });
    t.scale = median(runs, [&] { scaled = grabbed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); });
    t.encode = median(runs, [&] {
        jpeg.clear();
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        scaled.save(&buffer, "JPG", ScreenGrabber::jpegQuality);
    });
    t.hash = median(runs, [&] { hash = ScreenGrabber::averageHash(scaled); });
    std::printf("  plain Qt wall: grab %6.2f  scale %6.2f  encode %6.2f  hash %5.3f  total %6.2f ms   jpeg %lld KB\n",
                t.grab.wall, t.scale.wall, t.encode.wall, t.hash.wall, t.wall(),
                static_cast<long long>(jpeg.size() / 1024));
    std::printf("  %-8s cpu:  grab %6.2f (X server %5.2f)  scale %6.2f  encode %6.2f  total %6.2f ms   "
                "wake-ups %.0f (grab %.0f)\n",
                "", t.grab.cpu(), t.grab.server, t.scale.cpu(), t.encode.cpu(), t.cpu(), t.switches(),
                t.grab.switches);
    save("plain Qt", jpeg);
    std::printf("  zimbrel/Qt  cpu: total %5.2f x   wall: total %5.2f x\n", ours.cpu() / t.cpu(), ours.wall / t.wall());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--here") == 0)
        return measureHere(argc, argv);
    QCoreApplication app(argc, argv);
    for (const char *screen : {"1920x1080x24", "3024x1964x24"}) {
        ExtraDisplay display(QString::fromLatin1(screen));
        if (display.name().isEmpty()) {
            std::printf("Xvfb did not start for %s\n", screen);
            return 1;
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display.name()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        env.insert(QStringLiteral("BENCH_X_SERVER_PID"), QString::number(display.processId()));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--here")});
        if (!child.waitForFinished(120000) || child.exitCode() != 0) {
            std::printf("measurement on %s failed\n", screen);
            return 1;
        }
    }
    return 0;
}
