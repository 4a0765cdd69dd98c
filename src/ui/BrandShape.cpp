#include "BrandShape.h"

#include <QPainter>
#include <QPainterPathStroker>

BrandShape::BrandShape(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void BrandShape::paint(QPainter *painter)
{
    draw(painter, design(), QRectF(0, 0, width(), height()), m_color);
}

void BrandShape::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}

void BrandShape::draw(QPainter *painter, const Design &design, const QRectF &target, const QColor &color)
{
    if (target.isEmpty() || design.box.isEmpty())
        return;
    const qreal scale = std::min(target.width() / design.box.width(), target.height() / design.box.height());
    const QSizeF drawn = design.box * scale;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(target.x() + (target.width() - drawn.width()) / 2,
                       target.y() + (target.height() - drawn.height()) / 2);
    painter->scale(scale, scale);
    painter->setPen(QPen(color, design.stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(design.lines);
    painter->fillPath(design.fills, color);
    painter->restore();
}

QPainterPath BrandShape::outline(const Design &design)
{
    QPainterPathStroker stroker;
    stroker.setWidth(design.stroke);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(design.lines).united(design.fills);
}
