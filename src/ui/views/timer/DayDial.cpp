#include "DayDial.h"

#include "DayDialGeometry.h"
#include "Palette.h"

#include <QPainter>
#include <QPainterPath>

namespace {
QColor white(double opacity)
{
    QColor c(Qt::white);
    c.setAlphaF(opacity);
    return c;
}

QPainterPath arc(const DayDialGeometry &g, double from, double to)
{
    const QRectF box(g.centre - QPointF(g.radius, g.radius), QSizeF(2 * g.radius, 2 * g.radius));
    QPainterPath path(g.pointAt(from, g.radius));
    // Qt counts angles counter-clockwise with y up; the dial grows clockwise.
    path.arcTo(box, -DayDialGeometry::angle(from), -(to - from) * 360);
    return path;
}
} // namespace

DayDial::DayDial(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    setFlag(ItemHasContents);
}

DayDialGeometry DayDial::geometry() const
{
    const QSizeF canvas(width() - 2 * kOverhang, height() - 2 * kOverhang);
    return DayDialGeometry::compute(canvas, m_total, m_session, m_goal, m_running);
}

void DayDial::updatePolish()
{
    updateIfVisible();
}

void DayDial::updateIfVisible()
{
    if (!m_painted) {
        update();
        return;
    }
    const DayDialGeometry g = geometry();
    if (g.looksLike(*m_painted))
        return;
    // A running tip paints only the few pixels around it: the whole ring is
    // a large antialiased path, and the raster engine hands every large fill
    // to a pool of threads.
    const QRectF tip = g.tipChange(*m_painted);
    if (tip.isEmpty())
        update();
    else
        update(tip.translated(kOverhang, kOverhang).toAlignedRect());
}

void DayDial::paint(QPainter *painter)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(kOverhang, kOverhang);
    if (width() <= 2 * kOverhang || height() <= 2 * kOverhang)
        return;
    const DayDialGeometry g = geometry();
    m_painted = g;

    QPen pen(white(0.11), g.lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(g.centre, g.radius, g.radius);

    if (g.elapsedArc) {
        pen.setColor(white(0.92));
        painter->setPen(pen);
        painter->drawPath(arc(g, 0, g.elapsed));
    }
    if (g.sessionArc) {
        pen.setColor(Palette::resolve(Palette::Name::lime, false));
        painter->setPen(pen);
        painter->drawPath(arc(g, g.elapsed, g.progress));
    }

    QPen tickPen(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
    for (const DayDialGeometry::Tick &tick : g.ticks) {
        tickPen.setColor(white(tick.opacity));
        painter->setPen(tickPen);
        painter->drawLine(g.pointAt(tick.fraction, tick.from), g.pointAt(tick.fraction, tick.to));
    }

    if (g.dot) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(Palette::resolve(Palette::Name::limeInk, false));
        painter->drawEllipse(g.dotCentre, g.dotDiameter / 2, g.dotDiameter / 2);
    }
}

void DayDial::change(double &field, double v)
{
    if (field == v)
        return;
    field = v;
    polish();
    Q_EMIT figuresChanged();
}

void DayDial::setTotal(double v)
{
    change(m_total, v);
}

void DayDial::setSession(double v)
{
    change(m_session, v);
}

void DayDial::setGoal(double v)
{
    change(m_goal, v);
}

void DayDial::setRunning(bool v)
{
    if (m_running == v)
        return;
    m_running = v;
    polish();
    Q_EMIT figuresChanged();
}
