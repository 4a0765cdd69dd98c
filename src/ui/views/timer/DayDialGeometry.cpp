#include "DayDialGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
double clean(double v)
{
    return std::isfinite(v) && v > 0 ? v : 0;
}
} // namespace

QPointF DayDialGeometry::pointAt(double fraction, double distance) const
{
    const double radians = angle(fraction) * M_PI / 180;
    return centre + QPointF(std::cos(radians), std::sin(radians)) * distance;
}

bool DayDialGeometry::looksLike(const DayDialGeometry &other) const
{
    // A quarter pixel along the ring, as a fraction of the whole turn.
    const double quarterPixel = radius > 0 ? 0.25 / (2 * M_PI * radius) : 1;
    const auto near = [quarterPixel](double a, double b) { return std::abs(a - b) < quarterPixel; };
    return lineWidth == other.lineWidth && centre == other.centre && radius == other.radius
        && ticks.size() == other.ticks.size() && elapsedArc == other.elapsedArc && sessionArc == other.sessionArc
        && dot == other.dot && near(elapsed, other.elapsed) && near(progress, other.progress);
}

QRectF DayDialGeometry::tipChange(const DayDialGeometry &before) const
{
    // Equal up to rounding: while a session runs its start on the ring stays put.
    const auto same = [](double a, double b) { return std::abs(a - b) < 1e-9; };
    if (lineWidth != before.lineWidth || centre != before.centre || radius != before.radius
        || ticks.size() != before.ticks.size() || elapsedArc != before.elapsedArc || sessionArc != before.sessionArc
        || dot != before.dot || !same(elapsed, before.elapsed) || radius <= 0)
        return {};
    // Beyond a line width along the ring the ring's bulge between the tips
    // would leave the corners' box; such a jump paints the whole dial.
    if (std::abs(progress - before.progress) * 2 * M_PI * radius > lineWidth)
        return {};
    // The line's end at either tip, and the dot, which reaches past it.
    QRectF area;
    const double dotRadius = dot ? dotDiameter / 2 : 0;
    for (const double at : {before.progress, progress}) {
        for (const double distance : {radius - lineWidth / 2, radius + lineWidth / 2}) {
            const QPointF p = pointAt(at, distance);
            area |= QRectF(p.x() - 0.01, p.y() - 0.01, 0.02, 0.02);
        }
        const QPointF tip = pointAt(at, radius);
        area |= QRectF(tip.x() - dotRadius, tip.y() - dotRadius, 2 * dotRadius, 2 * dotRadius);
    }
    // Smoothed edges reach a pixel beyond.
    const double margin = 2;
    return area.adjusted(-margin, -margin, margin, margin);
}

DayDialGeometry DayDialGeometry::compute(QSizeF canvas, double total, double session, double goal, bool running)
{
    DayDialGeometry g;
    const double w = clean(canvas.width());
    g.lineWidth = std::max(w * 0.062, 10.0);
    g.centre = QPointF(w / 2, clean(canvas.height()) / 2);
    g.radius = std::max(0.0, (w - g.lineWidth) / 2);

    total = clean(total);
    session = clean(session);
    goal = clean(goal);
    g.progress = goal > 0 ? std::min(total / goal, 1.0) : 0;
    g.session = goal > 0 ? std::min(session / goal, g.progress) : 0;
    g.elapsed = std::max(0.0, g.progress - g.session);
    g.elapsedArc = g.elapsed > 0.0005;
    g.sessionArc = g.session > 0.0005;

    const int hours = int(std::min(std::floor(goal / 3600), 1000.0));
    const int n = hours < 2 ? 1 : hours;
    const double tickRadius = g.lineWidth / 2 + g.radius + 3;
    g.ticks.append({0, tickRadius, tickRadius + 6, 0.7});
    for (int i = 1; i <= hours - 1; ++i)
        g.ticks.append({double(i) / n, tickRadius, tickRadius + 4, 0.3});

    g.dot = running;
    g.dotDiameter = g.lineWidth * 0.48;
    g.dotCentre = g.pointAt(g.progress, g.radius);
    return g;
}
