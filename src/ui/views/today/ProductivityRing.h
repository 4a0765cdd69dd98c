#pragma once

#include <QColor>
#include <QQuickPaintedItem>

// The Today screen's ring: a full track circle and over it the arc of
// `fraction` from twelve o'clock clockwise with round caps.
class ProductivityRing : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double fraction READ fraction WRITE setFraction NOTIFY changed)
    Q_PROPERTY(double lineWidth READ lineWidth WRITE setLineWidth NOTIFY changed)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY changed)
    Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor NOTIFY changed)

public:
    explicit ProductivityRing(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    double fraction() const { return m_fraction; }
    void setFraction(double v);
    double lineWidth() const { return m_lineWidth; }
    void setLineWidth(double v);
    QColor color() const { return m_color; }
    void setColor(const QColor &c);
    QColor trackColor() const { return m_trackColor; }
    void setTrackColor(const QColor &c);

Q_SIGNALS:
    void changed();

private:
    double m_fraction = 0;
    double m_lineWidth = 14;
    QColor m_color = Qt::darkGreen;
    QColor m_trackColor = Qt::lightGray;
};
