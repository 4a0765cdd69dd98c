#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>

class AppModel;

// The texts and rules of the Timer screen that the tray panel shows too, in
// one place so the two never disagree. QML only lays them out.
class TimerViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // "TRACKING" or "NOT TRACKING" (the panel's card caption).
    Q_PROPERTY(QString statusCaption READ statusCaption NOTIFY changed)
    // The current session as "HH:MM:SS".
    Q_PROPERTY(QString sessionClock READ sessionClock NOTIFY changed)
    // Today's total as "HH:MM:SS" (the tray label) and as "2h 5m".
    Q_PROPERTY(QString todayClock READ todayClock NOTIFY changed)
    Q_PROPERTY(QString todayShort READ todayShort NOTIFY changed)
    // "No project selected", or the project's name and " · " and the task's.
    Q_PROPERTY(QString projectLine READ projectLine NOTIFY changed)
    // The start/stop button: its accessible label and whether it can be pressed.
    Q_PROPERTY(QString buttonLabel READ buttonLabel NOTIFY changed)
    Q_PROPERTY(bool buttonEnabled READ buttonEnabled NOTIFY changed)

public:
    explicit TimerViewModel(AppModel *model, QObject *parent = nullptr);
    // The QML singleton, reading the program's model.
    static TimerViewModel *create(QQmlEngine *engine, QJSEngine *);

    QString statusCaption() const;
    QString sessionClock() const;
    QString todayClock() const;
    QString todayShort() const;
    QString projectLine() const;
    QString buttonLabel() const;
    bool buttonEnabled() const;

    // What the button does: start when stopped, stop when running.
    Q_INVOKABLE void toggle();

Q_SIGNALS:
    void changed();

private:
    QPointer<AppModel> m_model;
};
