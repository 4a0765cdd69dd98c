#include "AvatarView.h"

#include "SmoothCorners.h"
#include "TrackingLog.h"

#include <QPainter>

namespace {
struct Colours {
    QRgb background;
    QRgb figure;
};
constexpr Colours rows[8] = {
    {0xDCF2E7, 0x0A6B4A}, {0xEBE8FD, 0x5A49D6}, {0xFBEFD2, 0xB0740A}, {0xDEF0FB, 0x1C79B4},
    {0xFBE2E8, 0xC0304F}, {0xCDF36A, 0x1C2A08}, {0x0A2A21, 0xCDF36A}, {0xE9E9E7, 0x101113},
};
} // namespace

AvatarView::AvatarView(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    setImplicitSize(m_size, m_size);
}

quint32 AvatarView::seed(const QString &name)
{
    quint32 s = 7;
    const QString lower = name.toLower();
    for (auto it = lower.cbegin(); it != lower.cend(); ++it) {
        char32_t scalar = it->unicode();
        if (it->isHighSurrogate() && it + 1 != lower.cend() && (it + 1)->isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        }
        s = s * 31u + quint32(scalar);
    }
    return s;
}

int AvatarView::rowFor(const QString &name)
{
    if (name.isEmpty()) {
        qCWarning(lcTracking) << "Avatar for an empty name: using the default colours";
        return defaultRow;
    }
    if (name.size() > maxNameLength) {
        qCWarning(lcTracking) << "Avatar name of" << name.size() << "characters is too long: using the default colours";
        return defaultRow;
    }
    return int(seed(name) % 8u);
}

QColor AvatarView::background(int row)
{
    return QColor::fromRgb(rows[(row >= 0 && row < 8) ? row : defaultRow].background);
}

QColor AvatarView::figure(int row)
{
    return QColor::fromRgb(rows[(row >= 0 && row < 8) ? row : defaultRow].figure);
}

void AvatarView::draw(QPainter *painter, int row, const QRectF &target)
{
    if (target.isEmpty())
        return;
    const qreal s = std::min(target.width(), target.height());
    const QRectF box(target.center() - QPointF(s / 2, s / 2), QSizeF(s, s));
    const QPainterPath clip = SmoothCorners::path(box, 0.3 * s);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipPath(clip);
    painter->fillPath(clip, background(row));
    painter->setPen(Qt::NoPen);
    painter->setBrush(figure(row));
    const qreal cx = box.center().x();
    // Shoulders: a wide ellipse cut off by the bottom edge.
    painter->drawEllipse(QPointF(cx, box.top() + 1.0 * s), 0.42 * s, 0.33 * s);
    // Neck joining head and shoulders.
    painter->drawEllipse(QPointF(cx, box.top() + 0.62 * s), 0.11 * s, 0.09 * s);
    // Head.
    painter->drawEllipse(QPointF(cx, box.top() + 0.40 * s), 0.19 * s, 0.19 * s);
    painter->restore();
}

void AvatarView::paint(QPainter *painter)
{
    draw(painter, m_row, QRectF(0, 0, width(), height()));
}

void AvatarView::setName(const QString &name)
{
    if (name == m_name && m_named)
        return;
    m_named = true;
    m_name = name;
    m_row = rowFor(name);
    update();
    Q_EMIT nameChanged();
}

void AvatarView::setSize(qreal size)
{
    if (!(size > 0)) {
        qCWarning(lcTracking) << "Avatar size" << size << "is not positive: drawing nothing";
        size = 0;
    }
    if (qFuzzyCompare(size + 1, m_size + 1))
        return;
    m_size = size;
    setImplicitSize(size, size);
    Q_EMIT sizeChanged();
}
