#include "PlayShape.h"

#include <QPainter>
#include <QPainterPathStroker>

PlayShape::PlayShape(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

QPainterPath PlayShape::path(const QRectF &rect)
{
    const double left = rect.left() + rect.width() * 0.12;
    QPainterPath triangle;
    triangle.moveTo(left, rect.top());
    triangle.lineTo(rect.right(), rect.center().y());
    triangle.lineTo(left, rect.bottom());
    triangle.closeSubpath();

    QPainterPathStroker stroker;
    stroker.setWidth(2);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setMiterLimit(10);
    return triangle.united(stroker.createStroke(triangle)).simplified();
}

void PlayShape::paint(QPainter *painter)
{
    painter->setRenderHint(QPainter::Antialiasing);
    // The outline reaches 1 px beyond the triangle: keep it inside the item.
    painter->fillPath(path(QRectF(1, 1, width() - 2, height() - 2)), m_color);
}

void PlayShape::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}
