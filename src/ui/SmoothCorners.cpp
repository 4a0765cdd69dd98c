#include "SmoothCorners.h"

#include <QPointF>

#include <algorithm>

namespace SmoothCorners {

namespace {
// One corner as offsets in units of the radius: `a` along the incoming edge
// (away from the corner), `b` along the outgoing edge. The curve is symmetric
// and each corner reaches 1.52866 radii along both edges.
constexpr qreal reach = 1.52866483;

struct Corner {
    QPointF at;
    QPointF alongIn;  // unit vector from the corner back along the incoming edge
    QPointF alongOut; // unit vector from the corner along the outgoing edge
    qreal r;
    QPointF p(qreal a, qreal b) const { return at + alongIn * (a * r) + alongOut * (b * r); }
};

void addCorner(QPainterPath &path, const Corner &c, bool first)
{
    if (first)
        path.moveTo(c.p(reach, 0));
    else
        path.lineTo(c.p(reach, 0));
    path.cubicTo(c.p(1.08849323, 0), c.p(0.86840689, 0), c.p(0.66993427, 0.06549600));
    path.lineTo(c.p(0.63149399, 0.07491100));
    path.cubicTo(c.p(0.37282392, 0.16905899), c.p(0.16905899, 0.37282392), c.p(0.07491100, 0.63149399));
    path.lineTo(c.p(0.06549600, 0.66993427));
    path.cubicTo(c.p(0, 0.86840689), c.p(0, 1.08849323), c.p(0, reach));
}
} // namespace

QPainterPath path(const QRectF &rect, qreal radius)
{
    QPainterPath out;
    if (rect.isEmpty())
        return out;
    const qreal r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / (2 * reach));
    if (r <= 0) {
        out.addRect(rect);
        return out;
    }
    const QPointF left(-1, 0), right(1, 0), up(0, -1), down(0, 1);
    addCorner(out, {rect.topRight(), left, down, r}, true);
    addCorner(out, {rect.bottomRight(), up, left, r}, false);
    addCorner(out, {rect.bottomLeft(), right, up, r}, false);
    addCorner(out, {rect.topLeft(), down, right, r}, false);
    out.closeSubpath();
    return out;
}

} // namespace SmoothCorners
