#pragma once

#include <QColor>
#include <QPainterPath>
#include <QQuickPaintedItem>
#include <QSizeF>

// A brand shape drawn from centre lines stroked with round ends, in a fixed
// design box scaled to the item's size (aspect kept, centred).
class BrandShape : public QQuickPaintedItem {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    struct Design {
        QSizeF box;
        QPainterPath lines; // stroked with `stroke` units, round caps and joins
        qreal stroke = 0;
        QPainterPath fills; // filled as they are (dots)
    };

    explicit BrandShape(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    // Draws `design` filling `target` in `color`; shared with the icon renderer.
    static void draw(QPainter *painter, const Design &design, const QRectF &target, const QColor &color);
    // The filled outline of `design`, in design units.
    static QPainterPath outline(const Design &design);

Q_SIGNALS:
    void colorChanged();

protected:
    virtual const Design &design() const = 0;

private:
    QColor m_color = Qt::black;
};
