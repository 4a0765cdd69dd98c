#!/usr/bin/env python3
"""Writes the application icon and the tray glyphs as SVG.

The tile uses the same continuous-corner curve as the interface's mark
(src/ui/SmoothCorners.cpp) and the z the same stroke lines as ZimbrelZ
(124 x 180 design box, 34-unit round stroke)."""

REACH = 1.52866483
CORNER = [  # (command, points as (along incoming edge, along outgoing edge))
    ("C", [(1.08849323, 0), (0.86840689, 0), (0.66993427, 0.06549600)]),
    ("L", [(0.63149399, 0.07491100)]),
    ("C", [(0.37282392, 0.16905899), (0.16905899, 0.37282392), (0.07491100, 0.63149399)]),
    ("L", [(0.06549600, 0.66993427)]),
    ("C", [(0, 0.86840689), (0, 1.08849323), (0, REACH)]),
]


def tile(x, y, w, h, r):
    r = min(r, min(w, h) / (2 * REACH))
    corners = [((x + w, y), (-1, 0), (0, 1)), ((x + w, y + h), (0, -1), (-1, 0)),
               ((x, y + h), (1, 0), (0, -1)), ((x, y), (0, 1), (1, 0))]
    out = []
    for i, (at, a_dir, b_dir) in enumerate(corners):
        def pt(a, b):
            return (at[0] + a_dir[0] * a * r + b_dir[0] * b * r, at[1] + a_dir[1] * a * r + b_dir[1] * b * r)
        start = pt(REACH, 0)
        out.append(("M" if i == 0 else "L") + "%.2f %.2f" % start)
        for cmd, pts in CORNER:
            out.append(cmd + " ".join("%.2f %.2f" % pt(*p) for p in pts))
    return "".join(out) + "Z"


def z(x, y, g, color, stroke=34):
    s = g / 180
    return ('<path transform="translate(%.3f %.3f) scale(%.5f)" d="M17 17H107L17 163H107" fill="none" '
            'stroke="%s" stroke-width="%g" stroke-linecap="round" stroke-linejoin="round"/>' % (x, y, s, color, stroke))


def svg(size, body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 %d %d" width="%d" height="%d">\n%s\n</svg>\n'
            % (size, size, size, size, "\n".join("  " + b for b in body)))


# Application icon: the mark in its light look.
S = 256.0
g = 0.633 * S
gx, gy = (S - g * 124 / 180) / 2, (S - g) / 2
d = 0.2 * g
dx = gx + g * 124 / 180 + 0.03 * S + d / 2
dy = gy + g * 163 / 180
open("zimbrel.svg", "w").write(svg(256, [
    '<path fill="#0A2A21" d="%s"/>' % tile(0, 0, S, S, 0.27 * S),
    z(gx, gy, g, "#FFFFFF"),
    '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#CDF36A"/>' % (dx, dy, d / 2),
]))

# Tray glyphs: the z on the tile, a larger z and dot than the mark's so they
# read at 16 px; the z sits left of centre in both so it does not move when
# the dot appears. The faint rim keeps the tile's edge visible on dark panels.
T = 32.0
tg = 21.0
tx, ty = 5.2, (T - tg) / 2
rim = '<path fill="none" stroke="#8DB0A2" stroke-opacity="0.45" stroke-width="1" d="%s"/>' % tile(0.5, 0.5, T - 1, T - 1, 0.27 * (T - 1))
base = ['<path fill="#0A2A21" d="%s"/>' % tile(0, 0, T, T, 0.27 * T), rim, z(tx, ty, tg, "#FFFFFF", 36)]
open("MenuGlyph.svg", "w").write(svg(32, base))
dot_r = 4.0
open("MenuGlyphLive.svg", "w").write(svg(32, base + [
    '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#CDF36A"/>' % (tx + tg * 124 / 180 + dot_r + 1.2, ty + tg * 163 / 180, dot_r),
]))

# Symbolic icon for panels and menus that recolour icons: the tray glyph's z
# alone, one flat colour, filling the 16-unit box.
Y = 16.0
yg = 14.0
open("zimbrel-symbolic.svg", "w").write(svg(16, [
    z((Y - yg * 124 / 180) / 2, (Y - yg) / 2, yg, "#2e3436", 30),
]))
