// Screenshots of real Xvfb screens, their geometry and JPEG, and the average hash.
#include "CaptureWait.h"
#include "ExtraDisplay.h"
#include "ScreenGrabber.h"
#include "ShotEncoder.h"
#include "TestEnv.h"
#include "XShmGrab.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QImage filled(QSize size, QColor colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

struct HelperRun {
    int exitCode = -1;
    QString out;
    QString err;
};

HelperRun runHelper(const QProcessEnvironment &env, const QString &jpegPath)
{
    QProcess helper;
    helper.setProcessEnvironment(env);
    helper.start(TestEnv::buildPath(u"tests/services/grab_helper"_s), {jpegPath});
    HelperRun run;
    if (!helper.waitForFinished(30000))
        return run;
    run.exitCode = helper.exitCode();
    run.out = QString::fromLocal8Bit(helper.readAllStandardOutput()).trimmed();
    run.err = QString::fromLocal8Bit(helper.readAllStandardError());
    return run;
}

} // namespace

class TestScreenGrabber : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void uniformImagesHashToAllOnes_data()
    {
        QTest::addColumn<QImage>("image");
        for (int grey : {0, 1, 127, 128, 254, 255})
            QTest::addRow("grey %d", grey) << filled({64, 48}, QColor(grey, grey, grey));
        QTest::addRow("red") << filled({10, 10}, Qt::red);
        QTest::addRow("one pixel") << filled({1, 1}, Qt::darkCyan);
        QTest::addRow("transparent") << filled({20, 20}, Qt::transparent, QImage::Format_ARGB32);
        QTest::addRow("grayscale8") << filled({9, 7}, QColor(90, 90, 90), QImage::Format_Grayscale8);
    }

    void uniformImagesHashToAllOnes()
    {
        QFETCH(QImage, image);
        QCOMPARE(ScreenGrabber::averageHash(image), u"ffffffffffffffff"_s);
    }

    void hashBitOrder()
    {
        // Left half black, right half white: each row's bytes 4-7 reach the mean 127.
        QImage halves = filled({16, 16}, Qt::black);
        QPainter(&halves).fillRect(8, 0, 8, 16, Qt::white);
        QCOMPARE(ScreenGrabber::averageHash(halves), u"f0f0f0f0f0f0f0f0"_s);

        // Top half black: bytes 32-63, the high bits.
        QImage top = filled({8, 8}, Qt::white);
        QPainter(&top).fillRect(0, 0, 8, 4, Qt::black);
        QCOMPARE(ScreenGrabber::averageHash(top), u"ffffffff00000000"_s);

        // Only the top-left byte reaches the mean 255 / 64 = 3: the lowest bit,
        // and the text keeps its leading zeros.
        QImage corner = filled({8, 8}, Qt::black);
        corner.setPixelColor(0, 0, Qt::white);
        QCOMPARE(ScreenGrabber::averageHash(corner), u"0000000000000001"_s);

        QCOMPARE(ScreenGrabber::averageHash(QImage()), QString());
    }

    void captureGeometry_data()
    {
        QTest::addColumn<QSizeF>("points");
        QTest::addColumn<QSize>("picture");
        QTest::newRow("1440x900") << QSizeF(1440, 900) << QSize(1440, 900);
        QTest::newRow("1600 wide") << QSizeF(1600, 1000) << QSize(1600, 1000);
        QTest::newRow("3024x1964") << QSizeF(3024, 1964) << QSize(1600, 1039);
        QTest::newRow("5120x1440") << QSizeF(5120, 1440) << QSize(1600, 450);
        QTest::newRow("empty") << QSizeF(0, 0) << QSize();
        QTest::newRow("no height") << QSizeF(1920, 0) << QSize();
        QTest::newRow("too thin to scale") << QSizeF(4000, 1) << QSize();
    }

    void captureGeometry()
    {
        QFETCH(QSizeF, points);
        QFETCH(QSize, picture);
        QCOMPARE(ScreenGrabber::captureSize(points), picture);
    }

    // The Wayland portal pictures the whole desktop: a 1920 x 1080 monitor on
    // the left, the primary 1280 x 1024 one on the right. The shot is the
    // primary screen's part, not the desktop squeezed into its size.
    void portalPictureOfTwoScreensIsCroppedToThePrimary_data()
    {
        QTest::addColumn<int>("scale");   // device pixels per point
        QTest::addColumn<int>("originX"); // where the desktop starts
        QTest::newRow("1x") << 1 << 0;
        QTest::newRow("2x") << 2 << 0;
        QTest::newRow("left of zero") << 1 << -1920;
    }
    void portalPictureOfTwoScreensIsCroppedToThePrimary()
    {
        QFETCH(int, scale);
        QFETCH(int, originX);
        QImage desktop(3200 * scale, 1080 * scale, QImage::Format_RGB32);
        desktop.fill(Qt::gray); // below the shorter right screen: no monitor
        QPainter painter(&desktop);
        painter.fillRect(0, 0, 1920 * scale, 1080 * scale, Qt::black);
        painter.fillRect(1920 * scale, 0, 1280 * scale, 1024 * scale, Qt::white);
        painter.fillRect(1920 * scale, 0, 640 * scale, 1024 * scale, Qt::red); // its left half
        painter.end();

        const QRect whole(originX, 0, 3200, 1080);
        const QRect primary(originX + 1920, 0, 1280, 1024);
        const QImage part = ScreenGrabber::cropToScreen(desktop, whole, primary);
        QCOMPARE(part.size(), QSize(1280, 1024) * scale);
        QCOMPARE(part.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(part.pixelColor(part.width() - 1, part.height() - 1), QColor(Qt::white));

        const std::optional<ScreenShot> shot = ScreenGrabber::finish(part, QSizeF(1280, 1024));
        QVERIFY(shot);
        QCOMPARE(QSize(shot->width, shot->height), QSize(1280, 1024));
        // Left half red, right half white, as on the monitor itself.
        QImage reference(1280, 1024, QImage::Format_RGB32);
        reference.fill(Qt::white);
        QPainter(&reference).fillRect(0, 0, 640, 1024, Qt::red);
        QCOMPARE(shot->hash, ScreenGrabber::averageHash(reference));

        // One monitor, or a screen outside the picture: nothing to cut.
        QCOMPARE(ScreenGrabber::cropToScreen(desktop, whole, whole).size(), desktop.size());
        QCOMPARE(ScreenGrabber::cropToScreen(desktop, whole, QRect(5000, 0, 10, 10)).size(), desktop.size());
    }

    void finishRefusesWhatCannotBeEncoded()
    {
        QVERIFY(!ScreenGrabber::finish(QImage(), QSizeF(800, 600)));
        QVERIFY(!ScreenGrabber::finish(filled({800, 600}, Qt::gray), QSizeF(0, 0)));
        const std::optional<ScreenShot> shot = ScreenGrabber::finish(filled({3024, 1964}, Qt::gray), QSizeF(3024, 1964));
        QVERIFY(shot);
        QCOMPARE(QSize(shot->width, shot->height), QSize(1600, 1039));
        QCOMPARE(shot->hash, u"ffffffffffffffff"_s);
    }

    void capturesTheTestScreen()
    {
        bool finished = false;
        const std::optional<ScreenShot> shot = captureAndWait(&finished);
        QVERIFY(finished);
        QVERIFY(shot);
        QCOMPARE(shot->width, 1440);
        QCOMPARE(shot->height, 900);
        QVERIFY(shot->jpeg.startsWith("\xff\xd8"));
        const QImage decoded = QImage::fromData(shot->jpeg, "JPG");
        QCOMPARE(decoded.size(), QSize(1440, 900));
        QVERIFY(QRegularExpression(u"^[0-9a-f]{16}$"_s).match(shot->hash).hasMatch());
    }

    void capturesALargeScreenScaledDown()
    {
        ExtraDisplay large(u"3024x1964x24"_s);
        QVERIFY(!large.name().isEmpty());
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLatin1(large.name()));
        const HelperRun run = runHelper(env, dir.filePath(u"shot.jpg"_s));
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QStringList fields = run.out.split(u' ');
        QCOMPARE(fields.size(), 4);
        QCOMPARE(fields[0], u"1600"_s);
        QCOMPARE(fields[1], u"1039"_s);
        // Xvfb's fresh screen is one colour.
        QCOMPARE(fields[2], u"ffffffffffffffff"_s);
        QImage decoded;
        QVERIFY(decoded.load(dir.filePath(u"shot.jpg"_s), "JPG"));
        QCOMPARE(decoded.size(), QSize(1600, 1039));
    }

    void sharedMemoryGrabMatchesThePlainOne()
    {
        // Four colours in the top-left corner of the test screen, and a
        // column whose every row has a colour of its own, top to bottom: the
        // picture comes over in bands of rows.
        struct Quadrants : QRasterWindow {
            void paintEvent(QPaintEvent *) override
            {
                QPainter p(this);
                p.fillRect(0, 0, 100, 50, QColor(255, 0, 0));
                p.fillRect(100, 0, 100, 50, QColor(0, 255, 0));
                p.fillRect(0, 50, 100, 50, QColor(0, 0, 255));
                p.fillRect(100, 50, 100, 50, QColor(250, 250, 10));
            }
        } window;
        struct Rows : QRasterWindow {
            void paintEvent(QPaintEvent *) override
            {
                QPainter p(this);
                for (int y = 0; y < height(); ++y)
                    p.fillRect(0, y, width(), 1, QColor(y % 256, (y * 7) % 256, y / 4));
            }
        } rows;
        for (QRasterWindow *w : {static_cast<QRasterWindow *>(&window), static_cast<QRasterWindow *>(&rows)})
            w->setFlag(Qt::FramelessWindowHint);
        window.setGeometry(0, 0, 200, 100);
        rows.setGeometry(1000, 0, 40, 900);
        window.show();
        rows.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QTest::qWaitForWindowExposed(&rows));
        QImage plain;
        QTRY_VERIFY((plain = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
                         QImage::Format_RGB32))
                        .pixel(150, 75)
                    == qRgb(250, 250, 10) && plain.pixel(1020, 899) == qRgb(899 % 256, (899 * 7) % 256, 899 / 4));

        const QImage whole = XShmGrab::grab(QRect(0, 0, 1440, 900));
        QCOMPARE(whole.size(), QSize(1440, 900));
        QCOMPARE(whole, plain);
        // A part of the screen, and a part reaching over its edge, cut to it.
        QCOMPARE(XShmGrab::grab(QRect(90, 40, 20, 20)), plain.copy(90, 40, 20, 20));
        QCOMPARE(XShmGrab::grab(QRect(1010, 300, 20, 600)), plain.copy(1010, 300, 20, 600));
        QCOMPARE(XShmGrab::grab(QRect(1400, 880, 100, 100)).size(), QSize(40, 20));
        QVERIFY(XShmGrab::grab(QRect(2000, 0, 10, 10)).isNull());
        QVERIFY(XShmGrab::grab(QRect()).isNull());
        // Still readable once the picture's other copies are gone.
        QImage kept = XShmGrab::grab(QRect(0, 0, 200, 100)).copy(150, 0, 10, 10);
        QCOMPARE(kept.pixel(5, 5), qRgb(0, 255, 0));
        // The capture itself takes the same picture, and makes of it, band
        // by band, the shot the whole picture makes.
        QCOMPARE(ScreenGrabber::grab(), plain);
        const std::optional<ScreenShot> banded = ScreenGrabber::captureX11();
        const std::optional<ScreenShot> fromWhole = ScreenGrabber::finish(plain, QSizeF(plain.size()));
        QVERIFY(banded && fromWhole);
        QCOMPARE(banded->jpeg, fromWhole->jpeg);
        QCOMPARE(banded->hash, fromWhole->hash);

        // Scaled to a quarter, the colours stay where they were.
        const QImage small = ScreenGrabber::scaleToCapture(XShmGrab::grab(QRect(0, 0, 200, 100)), QSize(50, 25));
        QCOMPARE(small.size(), QSize(50, 25));
        QCOMPARE(small.pixel(10, 5), qRgb(255, 0, 0));
        QCOMPARE(small.pixel(40, 5), qRgb(0, 255, 0));
        QCOMPARE(small.pixel(10, 20), qRgb(0, 0, 255));
        QCOMPARE(small.pixel(40, 20), qRgb(250, 250, 10));
        QCOMPARE(ScreenGrabber::scaleToCapture(plain, plain.size()).cacheKey(), plain.cacheKey());
        QVERIFY(ScreenGrabber::scaleToCapture(QImage(), QSize(5, 5)).isNull());
        QVERIFY(ScreenGrabber::scaleToCapture(plain, QSize()).isNull());
    }

    void scalingDownLosesNoLine()
    {
        // A one-pixel line stays visible wherever it lies, at five sixths of
        // the width and at a third (where a bilinear filter alone would step
        // over two columns of every three).
        for (const int width : {500, 200}) {
            for (int offset = 0; offset < 6; ++offset) {
                QImage picture(600, 60, QImage::Format_RGB32);
                picture.fill(Qt::black);
                for (int y = 0; y < picture.height(); ++y)
                    picture.setPixel(300 + offset, y, qRgb(255, 255, 255));
                const QImage scaled = ScreenGrabber::scaleToCapture(picture, QSize(width, 60 * width / 600));
                int brightest = 0;
                for (int x = 0; x < scaled.width(); ++x)
                    brightest = std::max(brightest, qGray(scaled.pixel(x, scaled.height() / 2)));
                QVERIFY2(brightest > 40, qPrintable(u"%1 wide, line at %2: %3"_s.arg(width).arg(300 + offset).arg(brightest)));
            }
        }
    }

    void scalingAveragesAreas()
    {
        // Columns of one pixel, black and white by turns: every pixel of the
        // result is a grey, where sampling would pick black or white. A
        // single colour stays exactly itself. Sizes not a multiple of any
        // vector width, down to one pixel.
        const QList<std::pair<QSize, QSize>> sizes = {
            {{3024, 41}, {1600, 21}}, {{601, 7}, {200, 3}}, {{9, 9}, {4, 4}}, {{5, 1}, {1, 1}}};
        for (const auto &[from, to] : sizes) {
            QImage stripes(from, QImage::Format_RGB32);
            for (int y = 0; y < from.height(); ++y)
                for (int x = 0; x < from.width(); ++x)
                    stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
            const QImage grey = ScreenGrabber::scaleToCapture(stripes, to);
            QCOMPARE(grey.size(), to);
            for (int y = 0; y < to.height(); ++y)
                for (int x = 0; x < to.width(); ++x)
                    QVERIFY2(qGray(grey.pixel(x, y)) > 70 && qGray(grey.pixel(x, y)) < 185,
                             qPrintable(u"%1 at %2,%3: %4"_s.arg(to.width()).arg(x).arg(y).arg(qGray(grey.pixel(x, y)))));
            const QImage one = ScreenGrabber::scaleToCapture(filled(from, QColor(10, 200, 77)), to);
            for (int y = 0; y < to.height(); ++y)
                for (int x = 0; x < to.width(); ++x)
                    QCOMPARE(one.pixel(x, y), qRgb(10, 200, 77));
        }
    }

    void shotsComeOnlyFromWholePictures()
    {
        // A picture whose rows stop early (a read that failed half way) gives
        // no shot; the whole one gives the JPEG and hash of its shrunk picture.
        QImage picture(1000, 700, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter(&picture).fillRect(0, 0, 400, 250, Qt::black);
        const QSize size(640, 448);
        ShotEncoder partial(picture.size(), size, ScreenGrabber::jpegQuality);
        partial.add(picture.constBits(), picture.height() - 1, picture.bytesPerLine());
        QVERIFY(!partial.finish());

        ShotEncoder whole(picture.size(), size, ScreenGrabber::jpegQuality);
        for (int y = 0; y < picture.height(); y += 97)
            whole.add(picture.constScanLine(y), std::min(97, picture.height() - y), picture.bytesPerLine());
        const std::optional<ScreenShot> shot = whole.finish();
        QVERIFY(shot);
        QCOMPARE(QSize(shot->width, shot->height), size);
        QCOMPARE(QImage::fromData(shot->jpeg, "JPG").size(), size);
        QCOMPARE(shot->hash, ScreenGrabber::averageHash(ScreenGrabber::scaleToCapture(picture, size)));
        QVERIFY(!ShotEncoder(picture.size(), QSize(1200, 700), ScreenGrabber::jpegQuality).finish());
    }

    void withoutScreenAccessNothingAndNoLog()
    {
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"QT_LOGGING_RULES"_s, u"com.corvane.native.tracking.debug=true"_s);
        const HelperRun run = runHelper(env, dir.filePath(u"shot.jpg"_s));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"none"_s);
        QVERIFY2(!run.err.contains(u"screenshot"_s), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir.filePath(u"shot.jpg"_s)));
    }
};

QTEST_MAIN(TestScreenGrabber)
#include "tst_screengrabber.moc"
