#pragma once

#include <QQuickImageProvider>

// Draws an icon SVG at the requested size and fills its shape with one
// colour, so icons follow the palette. Ids are "<resource>/<AARRGGBB>", for
// example "line.stopwatch/ff101113".
class IconImageProvider : public QQuickImageProvider {
public:
    static constexpr int defaultSize = 24;

    IconImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The same drawing for C++ callers: a transparent image and a warning for
    // a missing file or an empty size.
    static QImage render(const QString &resource, const QColor &color, const QSize &size);
};
