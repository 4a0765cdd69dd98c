#pragma once

#include <QPainterPath>
#include <QRectF>

// Rounded rectangles with continuous corners: the curvature eases into the
// straight edges instead of meeting them abruptly as a circular arc does.
namespace SmoothCorners {

// `radius` is the nominal corner radius; it is reduced when the corners of a
// small rectangle would overlap.
QPainterPath path(const QRectF &rect, qreal radius);

} // namespace SmoothCorners
