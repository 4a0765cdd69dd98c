#include "ZimbrelZ.h"

ZimbrelZ::ZimbrelZ(QQuickItem *parent)
    : BrandShape(parent)
{
    setImplicitSize(124, 180);
}

const BrandShape::Design &ZimbrelZ::shape()
{
    // A heavy geometric z whose round ends touch the box on every side. The
    // icon files draw the same lines (data/icons).
    static const Design z = [] {
        Design d;
        d.box = QSizeF(124, 180);
        d.stroke = 34;
        d.lines.moveTo(17, 17);
        d.lines.lineTo(107, 17);
        d.lines.lineTo(17, 163);
        d.lines.lineTo(107, 163);
        return d;
    }();
    return z;
}
