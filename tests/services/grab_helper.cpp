// Takes one screenshot of the display it is started on and prints
// "WIDTH HEIGHT HASH BYTES" (or "none"), writing the JPEG to the given file.
#include "CaptureWait.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    bool finished = false;
    const std::optional<ScreenShot> shot = captureAndWait(&finished);
    if (!finished)
        return 3;
    if (!shot) {
        std::printf("none\n");
        return 0;
    }
    if (argc > 1) {
        QFile out(QString::fromLocal8Bit(argv[1]));
        if (!out.open(QIODevice::WriteOnly) || out.write(shot->jpeg) != shot->jpeg.size())
            return 4;
    }
    std::printf("%d %d %s %lld\n", shot->width, shot->height, qPrintable(shot->hash),
                static_cast<long long>(shot->jpeg.size()));
    return 0;
}
