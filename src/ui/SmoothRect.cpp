#include "SmoothRect.h"

#include "SmoothCorners.h"

#include <QPainter>

SmoothRect::SmoothRect(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void SmoothRect::paint(QPainter *painter)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(SmoothCorners::path(QRectF(0, 0, width(), height()), m_radius), m_color);
}

void SmoothRect::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}

void SmoothRect::setRadius(qreal radius)
{
    if (qFuzzyCompare(radius, m_radius))
        return;
    m_radius = radius;
    update();
    Q_EMIT radiusChanged();
}
