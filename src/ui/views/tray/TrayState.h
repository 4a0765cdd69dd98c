#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AppModel;
class TimerViewModel;

// What every form of the tray shows: the glyph (live while tracking), the
// running total beside it, the tooltip and the start/stop entry of its menu.
// Each value is announced only when it really changes, so a stopped timer
// costs the tray nothing per tick and a running one one label a second.
class TrayState : public QObject {
    Q_OBJECT

public:
    explicit TrayState(AppModel *model, QObject *parent = nullptr);

    bool live() const { return m_live; }
    // clock(todaySeconds) while tracking, "" when stopped.
    QString label() const { return m_label; }
    // The width the label may take: hosts reserve room for this text.
    static QString labelGuide() { return QStringLiteral("00:00:00"); }
    QString toolTipTitle() const { return QStringLiteral("Zimbrel"); }
    QString toolTip() const { return m_toolTip; }
    // "Start tracking" or "Stop tracking", and whether it can be chosen now
    // (the panel button's rule).
    QString toggleLabel() const { return m_toggleLabel; }
    bool toggleEnabled() const { return m_toggleEnabled; }

    // What the toggle entry does.
    void toggle();

Q_SIGNALS:
    void liveChanged();
    void labelChanged();
    void toolTipChanged();
    void toggleChanged();

private:
    void update();

    QPointer<AppModel> m_model;
    TimerViewModel *m_texts;
    bool m_live = false;
    QString m_label;
    QString m_toolTip;
    QString m_toggleLabel;
    bool m_toggleEnabled = false;
};
