#pragma once

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QRectF>

// The live activity graph: one bar per value (0…1), oldest on the left, the
// newer bars more opaque. A change of the values eases out in two frames of
// the shared motion clock (most of the way on the change, settled on the
// next), the frames the running clock draws anyway; at once while the window
// cannot be seen or the desktop asks for reduced motion. Purely decorative:
// hidden from accessibility.
class Pulse : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QVariantList values READ values WRITE setValues NOTIFY valuesChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor NOTIFY colorsChanged)

public:
    struct Bar {
        QRectF rect;
        double radius = 0;
        bool lit = false;      // drawn in the colour, else in the track colour
        double opacity = 1;    // of the colour when lit
    };

    explicit Pulse(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    // The bars for a frame of `size`; values are clamped to 0…1.
    static QList<Bar> bars(QSizeF size, const QList<double> &values);

    QVariantList values() const;
    void setValues(const QVariantList &values);
    bool active() const { return m_active; }
    void setActive(bool active);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QColor trackColor() const { return m_trackColor; }
    void setTrackColor(const QColor &color);

Q_SIGNALS:
    void valuesChanged();
    void activeChanged();
    void colorsChanged();

private:
    QList<double> shown() const;

    QList<double> m_from;
    QList<double> m_to;
    void follow();

    double m_progress = 1;
    int m_changedAt = 0;    // on the motion clock
    bool m_active = false;
    QColor m_color = Qt::darkGreen;
    QColor m_trackColor = Qt::lightGray;
};
