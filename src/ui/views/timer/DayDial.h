#pragma once

#include "DayDialGeometry.h"

#include <QQuickPaintedItem>

#include <optional>

// The day's progress toward the goal as a ring on the dark hero, drawn from
// DayDialGeometry. The ticks stand outside the ring, so the item reaches
// `overhang` beyond the dial's own square on every side: lay it out that much
// larger than the dial.
class DayDial : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double total READ total WRITE setTotal NOTIFY figuresChanged)
    Q_PROPERTY(double session READ session WRITE setSession NOTIFY figuresChanged)
    Q_PROPERTY(double goal READ goal WRITE setGoal NOTIFY figuresChanged)
    Q_PROPERTY(bool running READ running WRITE setRunning NOTIFY figuresChanged)
    Q_PROPERTY(double overhang READ overhang CONSTANT)

public:
    static constexpr double kOverhang = 10;

    explicit DayDial(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    double total() const { return m_total; }
    void setTotal(double v);
    double session() const { return m_session; }
    void setSession(double v);
    double goal() const { return m_goal; }
    void setGoal(double v);
    bool running() const { return m_running; }
    void setRunning(bool v);
    double overhang() const { return kOverhang; }

Q_SIGNALS:
    void figuresChanged();

protected:
    // Decides on the repaint once all figures of a tick are in: the total
    // alone a moment before the session would look like a moved arc start,
    // which paints the whole dial.
    void updatePolish() override;

private:
    void change(double &field, double v);
    DayDialGeometry geometry() const;
    // Paints again only when the figures would look different from the last
    // painting, and then only the tip's area when nothing else moved.
    void updateIfVisible();

    double m_total = 0;
    double m_session = 0;
    double m_goal = 0;
    bool m_running = false;
    std::optional<DayDialGeometry> m_painted;
};
