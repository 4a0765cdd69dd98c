// Cost of one screenshot, stage by stage (grab, scale, encode, hash), on
// private Xvfb screens of 1920 x 1080 and 3024 x 1964 showing a busy picture:
// zimbrel's pipeline (ScreenGrabber's grab and smooth scale), the
// shared-memory grab with a bilinear scale (XShmGrab), and the plain Qt one
// (QScreen::grabWindow, smooth scale) on the same picture, with the ratios.
// Run without arguments; it starts the screens and a copy of itself on each.
#include "ExtraDisplay.h"
#include "ScreenGrabber.h"
#include "XShmGrab.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRasterWindow>
#include <QScreen>

#include <algorithm>
#include <cstdio>
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

double medianMs(int runs, const std::function<void()> &stage)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        stage();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int measureHere(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
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
        double grab, scale, encode, hash;
        double total() const { return grab + scale + encode + hash; }
    };
    const auto run = [&](const char *name, const std::function<QImage()> &grab,
                         const std::function<QImage(const QImage &)> &scale) {
        QImage grabbed, scaled;
        QByteArray jpeg;
        QString hash;
        Stages t{};
        t.grab = medianMs(runs, [&] { grabbed = grab(); });
        t.scale = medianMs(runs, [&] { scaled = scale(grabbed); });
        t.encode = medianMs(runs, [&] { jpeg = ScreenGrabber::encodeJpeg(scaled); });
        t.hash = medianMs(runs, [&] { hash = ScreenGrabber::averageHash(scaled); });
        std::printf("  %-8s grab %7.2f ms  scale %7.2f ms  encode %7.2f ms  hash %6.3f ms  total %7.2f ms  jpeg %lld "
                    "KB\n",
                    name, t.grab, t.scale, t.encode, t.hash, t.total(), static_cast<long long>(jpeg.size() / 1024));
        return t;
    };
    std::printf("screen %dx%d -> %dx%d (median of %d)\n", screen.width(), screen.height(), size.width(),
                size.height(), runs);
    run("zimbrel", [] { return ScreenGrabber::grab(); },
        [&](const QImage &g) { return ScreenGrabber::scaleToCapture(g, size); });
    const Stages ours = run("shm", [&] { return XShmGrab::grab(QRect(QPoint(0, 0), screen)); },
                            [&](const QImage &g) { return XShmGrab::scaled(g, size); });
    const Stages plain = run("plain Qt", [] { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); },
                             [&](const QImage &g) { return g.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); });
    std::printf("  shm/Qt   grab %7.2f x   scale %7.2f x   total %7.2f x\n", ours.grab / plain.grab,
                ours.scale / plain.scale, ours.total() / plain.total());
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
