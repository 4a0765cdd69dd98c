#include "IconImageProvider.h"

#include "IconSet.h"
#include "TrackingLog.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

IconImageProvider::IconImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage IconImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const qsizetype slash = id.lastIndexOf(u'/');
    const QString resource = slash < 0 ? id : id.left(slash);
    QColor color(Qt::black);
    if (slash >= 0) {
        const QColor parsed(u'#' + id.mid(slash + 1));
        if (parsed.isValid())
            color = parsed;
        else
            qCWarning(lcTracking) << "Icon colour in" << id << "is unreadable: drawing it black";
    }
    QSize want = requestedSize;
    if (want.width() <= 0 && want.height() <= 0)
        want = QSize(defaultSize, defaultSize);
    else if (want.width() <= 0)
        want.setWidth(want.height());
    else if (want.height() <= 0)
        want.setHeight(want.width());
    const QImage image = render(resource, color, want);
    if (size)
        *size = image.size();
    return image;
}

QImage IconImageProvider::render(const QString &resource, const QColor &color, const QSize &size)
{
    if (size.isEmpty()) {
        qCWarning(lcTracking) << "Icon" << resource << "asked at an empty size";
        return {};
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString path = IconSet::filePath(resource);
    if (!QFile::exists(path)) {
        qCWarning(lcTracking) << "No icon file for" << resource;
        return image;
    }
    QSvgRenderer svg(path);
    if (!svg.isValid()) {
        qCWarning(lcTracking) << "Icon file for" << resource << "is not a readable SVG";
        return image;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter, QRectF(QPointF(0, 0), size));
    // Keep the drawn coverage, replace its colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}
