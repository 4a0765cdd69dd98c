#include "ScreenGrabber.h"

#include "ImageBuffer.h"
#include "Permissions.h"
#include "PortalScreenshot.h"
#include "TrackingLog.h"
#include "XConnection.h"
#include "XShmGrab.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
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

QImage grab()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || !XConnection::x11Session())
        return {};
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // The X server's picture of the root window never contains the cursor.
    // Through shared memory where the server offers it: the picture then
    // does not cross the socket.
    const qreal ratio = screen->devicePixelRatio();
    const QRect geometry = screen->geometry();
    const QRect pixels((QPointF(geometry.topLeft()) * ratio).toPoint(), (QSizeF(geometry.size()) * ratio).toSize());
    if (QImage picture = XShmGrab::grab(pixels); !picture.isNull())
        return picture;
    return screen->grabWindow(0).toImage();
}

QImage scaleToCapture(const QImage &grabbed, QSize size)
{
    if (grabbed.isNull() || size.isEmpty())
        return {};
    if (grabbed.size() == size)
        return grabbed;
    // Down to half the size a bilinear filter takes every pixel into
    // account, at a fraction of the cost of averaging areas.
    if (size.width() * 2 >= grabbed.width() && size.height() * 2 >= grabbed.height()) {
        QImage out = ImageBuffer::rgb32(size);
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRect(QPoint(0, 0), size), grabbed);
        painter.end();
        return out;
    }
    return grabbed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray encodeJpeg(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPG", jpegQuality))
        return {};
    return bytes;
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
    const QSize size = captureSize(points);
    if (size.isEmpty() || grabbed.isNull())
        return std::nullopt;
    const QImage picture = scaleToCapture(grabbed, size);
    ScreenShot shot;
    shot.jpeg = encodeJpeg(picture);
    if (shot.jpeg.isEmpty())
        return std::nullopt;
    shot.width = picture.width();
    shot.height = picture.height();
    // The hash describes the picture itself, not its lossy encoding.
    shot.hash = averageHash(picture);
    return shot;
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
        const QSizeF points = primaryScreenPoints();
        if (points.isEmpty())
            co_return std::nullopt;
        const QImage grabbed = grab();
        if (grabbed.isNull()) {
            logFailure(u"the screen could not be read"_s);
            co_return std::nullopt;
        }
        co_return finish(grabbed, points);
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
    QImage source = image;
    // Transparent parts count as drawn over black, like drawing into a
    // zeroed grey buffer.
    if (source.hasAlphaChannel()) {
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        source.reinterpretAsFormat(QImage::Format_RGB32);
    }
    const QImage thumb = source.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                             .convertToFormat(QImage::Format_Grayscale8);
    if (thumb.size() != QSize(8, 8))
        return {};
    uchar bytes[64];
    for (int y = 0; y < 8; ++y) {
        const uchar *row = thumb.constScanLine(y);
        for (int x = 0; x < 8; ++x)
            bytes[y * 8 + x] = row[x];
    }
    unsigned sum = 0;
    for (uchar b : bytes)
        sum += b;
    const unsigned mean = sum / 64;
    quint64 value = 0;
    for (int i = 0; i < 64; ++i) {
        if (bytes[i] >= mean)
            value |= quint64(1) << i;
    }
    return QString::asprintf("%016llx", static_cast<unsigned long long>(value));
}

} // namespace ScreenGrabber
