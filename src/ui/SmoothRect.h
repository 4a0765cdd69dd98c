#pragma once

#include <QColor>
#include <QQuickPaintedItem>

// A filled rectangle with continuous corners (the mark's tile).
class SmoothRect : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)

public:
    explicit SmoothRect(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);

Q_SIGNALS:
    void colorChanged();
    void radiusChanged();

private:
    QColor m_color = Qt::black;
    qreal m_radius = 0;
};
