#include "ScreenGrabber.h"

#include "AreaScaler.h"
#include "HashThumb.h"
#include "Permissions.h"
#include "PortalScreenshot.h"
#include "ShotEncoder.h"
#include "TrackingLog.h"
#include "XConnection.h"
#include "XShmGrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

bool onX11()
{
    return QGuiApplication::platformName() == "xcb"_L1;
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith("wayland"_L1);
}

QSizeF primaryScreenPoints()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? QSizeF(screen->size()) : QSizeF();
}

QRect primaryScreenGeometry()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

QRect desktopGeometry()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

void logFailure(const QString &description)
{
    qCWarning(lcTracking, "screenshot failed: %s", qUtf8Printable(description));
}

// The picture in 32-bit RGB, transparent parts drawn over black.
QImage rgb32(const QImage &image)
{
    if (image.format() == QImage::Format_RGB32 || image.isNull())
        return image;
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    // Premultiplied colours are the colours drawn over black.
    QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    premultiplied.reinterpretAsFormat(QImage::Format_RGB32);
    return premultiplied;
}

// The primary screen of an X11 session, or none.
QScreen *x11Screen()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || !XConnection::x11Session())
        return nullptr;
    return QGuiApplication::primaryScreen();
}

// The primary screen's area in device pixels.
QRect devicePixels(const QScreen *screen)
{
    const qreal ratio = screen->devicePixelRatio();
    const QRect geometry = screen->geometry();
    return QRect((QPointF(geometry.topLeft()) * ratio).toPoint(), (QSizeF(geometry.size()) * ratio).toSize());
}

} // namespace

namespace ScreenGrabber {

QSize captureSize(QSizeF points)
{
    if (!(points.width() > 0) || !(points.height() > 0))
        return {};
    const double scale = std::min(double(maxWidth) / points.width(), 1.0);
    const int width = int(std::floor(points.width() * scale));
    const int height = int(std::floor(points.height() * scale));
    if (width <= 0 || height <= 0)
        return {};
    return {width, height};
}

std::optional<ScreenShot> captureX11()
{
    QScreen *screen = x11Screen();
    if (!screen || screen->size().isEmpty())
        return std::nullopt;
    const QSizeF points = QSizeF(screen->size());
    // The X server's picture of the root window never contains the cursor.
    // Through shared memory where the server offers it: the picture then
    // does not cross the socket, and goes through a band of rows at a time.
    const QRect pixels = devicePixels(screen);
    ShotEncoder encoder(pixels.size(), captureSize(points).boundedTo(pixels.size()), jpegQuality);
    if (XShmGrab::read(pixels, [&](const uchar *rows, int count, qsizetype stride) { encoder.add(rows, count, stride); }))
        return encoder.finish();
    const QImage grabbed = screen->grabWindow(0).toImage();
    if (grabbed.isNull()) {
        logFailure(u"the screen could not be read"_s);
        return std::nullopt;
    }
    return finish(grabbed, points);
}

QImage grab()
{
    QScreen *screen = x11Screen();
    if (!screen)
        return {};
    if (QImage picture = XShmGrab::grab(devicePixels(screen)); !picture.isNull())
        return picture;
    return screen->grabWindow(0).toImage();
}

QImage scaleToCapture(const QImage &grabbed, QSize size)
{
    if (grabbed.isNull() || size.isEmpty())
        return {};
    if (grabbed.size() == size)
        return grabbed;
    const QImage source = rgb32(grabbed);
    QImage out(size.boundedTo(source.size()), QImage::Format_RGB32);
    AreaScaler scaler(source.size(), out.size(), [&out](const quint32 *row, int y) {
        std::copy_n(row, out.width(), reinterpret_cast<quint32 *>(out.scanLine(y)));
    });
    for (int y = 0; y < source.height(); ++y)
        scaler.add(reinterpret_cast<const quint32 *>(source.constScanLine(y)));
    return out;
}

QImage cropToScreen(const QImage &whole, QRect desktop, QRect screen)
{
    if (whole.isNull() || desktop.isEmpty() || screen.isEmpty() || !desktop.contains(screen))
        return whole;
    // Device pixels per point, along each side.
    const double fx = double(whole.width()) / desktop.width();
    const double fy = double(whole.height()) / desktop.height();
    const QRect part = QRectF((screen.x() - desktop.x()) * fx, (screen.y() - desktop.y()) * fy, screen.width() * fx,
                              screen.height() * fy)
                           .toRect()
                           .intersected(whole.rect());
    if (part.isEmpty() || part == whole.rect())
        return whole;
    return whole.copy(part);
}

std::optional<ScreenShot> finish(const QImage &grabbed, QSizeF points)
{
    const QSize size = captureSize(points).boundedTo(grabbed.size());
    if (size.isEmpty() || grabbed.isNull())
        return std::nullopt;
    const QImage source = rgb32(grabbed);
    ShotEncoder encoder(source.size(), size, jpegQuality);
    encoder.add(source.constBits(), source.height(), source.bytesPerLine());
    return encoder.finish();
}

QCoro::Task<std::optional<ScreenShot>> capture()
{
    if (!Permissions::preflightScreen())
        co_return std::nullopt;
    // The session decides, not Qt's platform: in a Wayland session an X
    // root (Xwayland's) shows only X programs, and on a black background.
    if (XConnection::x11Session()) {
        if (!onX11())
            co_return std::nullopt;
        co_return captureX11();
    }
    const PortalScreenshot::Result result = co_await PortalScreenshot::take();
    if (!result.error.isEmpty()) {
        logFailure(result.error);
        co_return std::nullopt;
    }
    if (result.image.isNull())
        co_return std::nullopt;
    // The portal hands over the whole desktop in device pixels: only the
    // primary screen's part counts, and its size in points sets the geometry
    // when it is known. Qt's screens describe this desktop only when Qt runs
    // on it natively; under Xwayland the picture's own size counts.
    if (!onWayland())
        co_return finish(result.image, QSizeF(result.image.size()));
    const QImage image = cropToScreen(result.image, desktopGeometry(), primaryScreenGeometry());
    QSizeF points = primaryScreenPoints();
    if (points.isEmpty())
        points = QSizeF(image.size());
    co_return finish(image, points);
}

QString averageHash(const QImage &image)
{
    if (image.isNull())
        return {};
    const QImage source = rgb32(image);
    HashThumb thumb(source.size());
    for (int y = 0; y < source.height(); ++y)
        thumb.add(reinterpret_cast<const quint32 *>(source.constScanLine(y)), y);
    return thumb.hash();
}

} // namespace ScreenGrabber
