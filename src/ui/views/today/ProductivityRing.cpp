#include "ProductivityRing.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

ProductivityRing::ProductivityRing(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void ProductivityRing::paint(QPainter *painter)
{
    painter->setRenderHint(QPainter::Antialiasing);
    // The stroke is centred on the circle: inset by half its width to stay inside.
    const double side = std::min(width(), height());
    const double r = (side - m_lineWidth) / 2;
    if (r <= 0)
        return;
    const QPointF c(width() / 2, height() / 2);
    const QRectF box(c - QPointF(r, r), QSizeF(2 * r, 2 * r));

    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(m_trackColor, m_lineWidth, Qt::SolidLine, Qt::FlatCap));
    painter->drawEllipse(box);

    const double f = std::isfinite(m_fraction) ? std::clamp(m_fraction, 0.0, 1.0) : 0;
    QPainterPath arc(c + QPointF(0, -r));
    arc.arcTo(box, 90, -f * 360);
    painter->setPen(QPen(m_color, m_lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->drawPath(arc);
}

void ProductivityRing::setFraction(double v)
{
    if (v == m_fraction)
        return;
    m_fraction = v;
    update();
    Q_EMIT changed();
}

void ProductivityRing::setLineWidth(double v)
{
    if (v == m_lineWidth)
        return;
    m_lineWidth = v;
    update();
    Q_EMIT changed();
}

void ProductivityRing::setColor(const QColor &c)
{
    if (c == m_color)
        return;
    m_color = c;
    update();
    Q_EMIT changed();
}

void ProductivityRing::setTrackColor(const QColor &c)
{
    if (c == m_trackColor)
        return;
    m_trackColor = c;
    update();
    Q_EMIT changed();
}
