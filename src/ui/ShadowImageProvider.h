#pragma once

#include <QQuickImageProvider>

// The soft shadow behind cards, made once per corner radius and blur: a
// blurred opaque black rounded rectangle meant for a nine-slice BorderImage
// (the software renderer draws no shader effects). Id "<radius>/<blur>".
class ShadowImageProvider : public QQuickImageProvider {
public:
    ShadowImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // Side of the image for a radius and blur, and the width of its border
    // slices (everything but the middle row and column).
    static int sideFor(qreal radius, qreal blur);
    static int borderFor(qreal radius, qreal blur);
    static QImage render(qreal radius, qreal blur, qreal scale = 1);
};
