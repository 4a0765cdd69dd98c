#include "ZimbrelWordmark.h"

namespace {
// Stroke centre lines: ascender top, x-height, middle and baseline, so that
// the outer edges of a 26-unit stroke span the full 180-unit height.
constexpr qreal stroke = 26;
constexpr qreal half = stroke / 2;
constexpr qreal ascender = half;
constexpr qreal xHeight = 69;
constexpr qreal baseline = 180 - half;
constexpr qreal middle = (xHeight + baseline) / 2;
constexpr qreal bowl = (baseline - xHeight) / 2; // radius of b and e
constexpr qreal arch = 58;                       // stem to stem in the m
constexpr qreal shoulder = 48;                   // reach of the r
constexpr qreal rKern = 18;                      // the r's open side lets the e come closer

// Outer widths of z, i, m, b, r, e, l; the letter spacing takes up the rest
// of the 778 units.
constexpr qreal widths[7] = {90, stroke, stroke + 2 * arch, stroke + 2 * bowl, stroke + shoulder - rKern, stroke + 2 * bowl,
                             stroke};
constexpr qreal letterSpacing = (778 - (widths[0] + widths[1] + widths[2] + widths[3] + widths[4] + widths[5] + widths[6])) / 6;
} // namespace

ZimbrelWordmark::ZimbrelWordmark(QQuickItem *parent)
    : BrandShape(parent)
{
    setImplicitSize(778, 180);
}

const BrandShape::Design &ZimbrelWordmark::shape()
{
    static const Design mark = [] {
        Design d;
        d.box = QSizeF(778, 180);
        d.stroke = stroke;
        QPainterPath &p = d.lines;
        qreal x = 0;
        auto next = [&x](int letter) { x += widths[letter] + letterSpacing; };

        // z
        p.moveTo(x + half, xHeight);
        p.lineTo(x + widths[0] - half, xHeight);
        p.lineTo(x + half, baseline);
        p.lineTo(x + widths[0] - half, baseline);
        next(0);

        // i, with its dot a little wider than the stem
        p.moveTo(x + half, xHeight);
        p.lineTo(x + half, baseline);
        d.fills.addEllipse(QPointF(x + half, 24), 15, 15);
        next(1);

        // m: a stem running into two round arches
        p.moveTo(x + half, baseline);
        p.lineTo(x + half, xHeight + arch / 2);
        p.arcTo(QRectF(x + half, xHeight, arch, arch), 180, -180);
        p.lineTo(x + half + arch, baseline);
        p.moveTo(x + half + arch, xHeight + arch / 2);
        p.arcTo(QRectF(x + half + arch, xHeight, arch, arch), 180, -180);
        p.lineTo(x + half + 2 * arch, baseline);
        next(2);

        // b
        p.moveTo(x + half, ascender);
        p.lineTo(x + half, baseline);
        p.addEllipse(QPointF(x + half + bowl, middle), bowl, bowl);
        next(3);

        // r
        p.moveTo(x + half, baseline);
        p.lineTo(x + half, xHeight);
        p.moveTo(x + half, xHeight + 40);
        p.cubicTo(x + half, xHeight + 12, x + half + 17, xHeight, x + half + shoulder, xHeight);
        next(4);

        // e: the bar, then the bowl open at the lower right
        const QRectF e(x + half, xHeight, 2 * bowl, 2 * bowl);
        p.moveTo(x + half, middle);
        p.lineTo(x + half + 2 * bowl, middle);
        p.arcTo(e, 0, 310);
        next(5);

        // l
        p.moveTo(x + half, ascender);
        p.lineTo(x + half, baseline);
        return d;
    }();
    return mark;
}
