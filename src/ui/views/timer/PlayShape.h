#pragma once

#include <QColor>
#include <QPainterPath>
#include <QQuickPaintedItem>

// The play glyph of the start button: a triangle united with its own 2 px
// outline (butt caps, round joins), which softens its corners.
class PlayShape : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit PlayShape(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    // The glyph's outline in `rect`.
    static QPainterPath path(const QRectF &rect);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

Q_SIGNALS:
    void colorChanged();

private:
    QColor m_color = Qt::black;
};
