#include "ShadowImageProvider.h"

#include "TrackingLog.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace {
// One pass of a box blur over the alpha bytes, along rows or columns.
void boxBlur(std::vector<int> &alpha, int side, int radius, bool rows)
{
    if (radius <= 0)
        return;
    std::vector<int> line(side);
    const int window = 2 * radius + 1;
    for (int a = 0; a < side; ++a) {
        auto at = [&](int b) -> int & { return rows ? alpha[a * side + b] : alpha[b * side + a]; };
        for (int b = 0; b < side; ++b)
            line[b] = at(b);
        int sum = 0;
        for (int b = -radius; b <= radius; ++b)
            sum += (b >= 0 && b < side) ? line[b] : 0;
        for (int b = 0; b < side; ++b) {
            at(b) = sum / window;
            const int out = b - radius, in = b + radius + 1;
            sum += (in < side ? line[in] : 0) - (out >= 0 ? line[out] : 0);
        }
    }
}
} // namespace

ShadowImageProvider::ShadowImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

int ShadowImageProvider::borderFor(qreal radius, qreal blur)
{
    return int(std::ceil(radius + 2 * blur));
}

int ShadowImageProvider::sideFor(qreal radius, qreal blur)
{
    return 2 * borderFor(radius, blur) + 1;
}

QImage ShadowImageProvider::render(qreal radius, qreal blur, qreal scale)
{
    const int side = int(std::round(sideFor(radius, blur) * scale));
    const qreal margin = blur * scale;
    QImage shape(side, side, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(margin, margin, side - 2 * margin, side - 2 * margin), radius * scale,
                            radius * scale);
        painter.fillPath(path, Qt::black);
    }
    std::vector<int> alpha(size_t(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            alpha[size_t(y) * side + x] = qAlpha(shape.pixel(x, y));
    // Three box passes each way come close to a Gaussian of sigma blur / 2.
    const int box = std::max(1, int(std::round(blur * scale / 2)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(alpha, side, box, true);
        boxBlur(alpha, side, box, false);
    }
    QImage out(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            out.setPixel(x, y, qRgba(0, 0, 0, alpha[size_t(y) * side + x]));
    return out;
}

QImage ShadowImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QStringList parts = id.split(u'/');
    bool okRadius = false, okBlur = false;
    const qreal radius = parts.value(0).toDouble(&okRadius);
    const qreal blur = parts.value(1).toDouble(&okBlur);
    if (!okRadius || !okBlur || radius < 0 || blur < 0 || radius > 200 || blur > 100) {
        qCWarning(lcTracking) << "Unreadable shadow id" << id;
        if (size)
            *size = QSize();
        return {};
    }
    const int natural = sideFor(radius, blur);
    // Asked for a multiple of the natural size (a scale factor of 2, say):
    // draw at that scale so the edges stay soft rather than stretched.
    const qreal scale = requestedSize.width() > 0 ? std::clamp(qreal(requestedSize.width()) / natural, 1.0, 4.0) : 1.0;
    const QImage image = render(radius, blur, scale);
    if (size)
        *size = image.size();
    return image;
}
