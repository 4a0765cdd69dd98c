#pragma once

#include "Platform.h"

#include <QObject>
#include <QString>

#include <optional>

// The preferences the Settings screen switches: the daily goal, the two
// notices and the login item. Read once at start-up without side effects;
// every later change is written at once.
class Settings : public QObject {
    Q_OBJECT
    Q_PROPERTY(double dayGoalHours READ dayGoalHours WRITE setDayGoalHours NOTIFY dayGoalHoursChanged)
    Q_PROPERTY(bool notifyGoal READ notifyGoal WRITE setNotifyGoal NOTIFY notifyGoalChanged)
    Q_PROPERTY(bool notifyIdle READ notifyIdle WRITE setNotifyIdle NOTIFY notifyIdleChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(QString launchError READ launchErrorText NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool askAway READ askAway WRITE setAskAway NOTIFY askAwayChanged)
    Q_PROPERTY(int awayMinutes READ awayMinutes WRITE setAwayMinutes NOTIFY awayMinutesChanged)

public:
    explicit Settings(const Platform &platform, QObject *parent = nullptr);

    double dayGoalHours() const { return m_dayGoalHours; }
    void setDayGoalHours(double hours);
    bool notifyGoal() const { return m_notifyGoal; }
    void setNotifyGoal(bool on);
    bool notifyIdle() const { return m_notifyIdle; }
    void setNotifyIdle(bool on);
    bool launchAtLogin() const { return m_launchAtLogin; }
    std::optional<QString> launchError() const { return m_launchError; }
    // Switches the login item and reads the real status back.
    void setLaunchAtLogin(bool on);
    // Asking what to do with time away: after this many idle minutes (5-60), or a sleep.
    bool askAway() const { return m_askAway; }
    void setAskAway(bool on);
    int awayMinutes() const { return m_awayMinutes; }
    void setAwayMinutes(int minutes);

    static constexpr int minAwayMinutes = 5;
    static constexpr int maxAwayMinutes = 60;

Q_SIGNALS:
    void dayGoalHoursChanged();
    void notifyGoalChanged();
    void notifyIdleChanged();
    void launchAtLoginChanged();
    void askAwayChanged();
    void awayMinutesChanged();

private:
    QString launchErrorText() const { return m_launchError.value_or(QString()); }
    // Stores a notice switch; switching one on asks for permission to notify.
    void setNotice(bool &flag, bool on, const QString &key);

    const Platform &m_platform;
    double m_dayGoalHours = 8.0;
    bool m_notifyGoal = false;
    bool m_notifyIdle = false;
    bool m_launchAtLogin = false;
    std::optional<QString> m_launchError;
    bool m_askAway = true;
    int m_awayMinutes = 10;
};
