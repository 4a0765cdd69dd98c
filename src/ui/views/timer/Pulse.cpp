#include "Pulse.h"

#include "Motion.h"
#include "SmoothCorners.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
double unit(double v)
{
    return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0;
}
} // namespace

Pulse::Pulse(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    connect(Motion::instance(), &Motion::nowChanged, this, &Pulse::follow);
    connect(Motion::instance(), &Motion::stillChanged, this, &Pulse::follow);
}

void Pulse::follow()
{
    if (m_progress >= 1)
        return;
    const Motion *motion = Motion::instance();
    const double along = motion->still()
        ? 1.0
        : std::min(1.0, double(motion->now() - m_changedAt + Motion::frameMs) / (2 * Motion::frameMs));
    m_progress = 1 - (1 - along) * (1 - along);
    update();
}

QList<Pulse::Bar> Pulse::bars(QSizeF size, const QList<double> &values)
{
    QList<Bar> list;
    const qsizetype n = values.size();
    if (n == 0)
        return list;
    const double w = std::max(2.0, (size.width() - 3.0 * double(n - 1)) / double(n));
    const double h = std::max(0.0, size.height());
    for (qsizetype i = 0; i < n; ++i) {
        const double value = unit(values.at(i));
        const double height = std::max(3.0, h * value);
        Bar bar;
        bar.rect = QRectF((w + 3) * double(i), h - height, w, height);
        bar.radius = w / 2;
        bar.lit = value > 0.02;
        bar.opacity = 0.35 + 0.65 * double(i) / double(n == 1 ? 1 : n - 1);
        list.append(bar);
    }
    return list;
}

QList<double> Pulse::shown() const
{
    if (m_progress >= 1 || m_from.size() != m_to.size())
        return m_to;
    QList<double> mixed;
    mixed.reserve(m_to.size());
    for (qsizetype i = 0; i < m_to.size(); ++i)
        mixed.append(m_from.at(i) + (m_to.at(i) - m_from.at(i)) * m_progress);
    return mixed;
}

void Pulse::paint(QPainter *painter)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setOpacity(m_active ? 1 : 0.6);
    for (const Bar &bar : bars(size(), shown())) {
        QColor c = bar.lit ? m_color : m_trackColor;
        if (bar.lit)
            c.setAlphaF(c.alphaF() * bar.opacity);
        painter->fillPath(SmoothCorners::path(bar.rect, bar.radius), c);
    }
}

QVariantList Pulse::values() const
{
    QVariantList list;
    for (double v : m_to)
        list.append(v);
    return list;
}

void Pulse::setValues(const QVariantList &values)
{
    QList<double> next;
    next.reserve(values.size());
    for (const QVariant &v : values)
        next.append(unit(v.toDouble()));
    if (next == m_to)
        return;
    m_from = shown();
    m_progress = 1; // the motion clock's nudge below is for the new change
    m_to = std::move(next);
    m_changedAt = Motion::instance()->begin(Motion::frameMs);
    m_progress = 0;
    follow();
    Q_EMIT valuesChanged();
}

void Pulse::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    update();
    Q_EMIT activeChanged();
}

void Pulse::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    Q_EMIT colorsChanged();
}

void Pulse::setTrackColor(const QColor &color)
{
    if (color == m_trackColor)
        return;
    m_trackColor = color;
    update();
    Q_EMIT colorsChanged();
}
