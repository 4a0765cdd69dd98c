#pragma once

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QRectF>
#include <QElapsedTimer>
#include <QTimer>

// The live activity graph: one bar per value (0…1), oldest on the left, the
// newer bars more opaque. Changes of the values ease out over 0.3 s in a few
// steps rather than at the display's frame rate: the graph changes every
// second while tracking, and an all-day window should not redraw 60 times a
// second for it. Purely decorative: hidden from accessibility.
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
    double m_progress = 1;
    QTimer m_step;          // one frame of the ease-out
    QElapsedTimer m_since;  // since the values last changed
    bool m_active = false;
    QColor m_color = Qt::darkGreen;
    QColor m_trackColor = Qt::lightGray;
};
