#include "Settings.h"

#include "Notifier.h"
#include "Preferences.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

Settings::Settings(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform)
{
    const double goal = Preferences::value(u"pref.dayGoalHours"_s, 0.0).toDouble();
    m_dayGoalHours = goal >= 1.0 && std::isfinite(goal) ? goal : 8.0;
    m_notifyGoal = Preferences::value(u"pref.notifyGoal"_s, false).toBool();
    m_notifyIdle = Preferences::value(u"pref.notifyIdle"_s, false).toBool();
    m_launchAtLogin = m_platform.loginItemEnabled();
    m_askAway = Preferences::value(u"pref.askAway"_s, true).toBool();
    bool read = false;
    const int minutes = Preferences::value(u"pref.awayMinutes"_s, 10).toInt(&read);
    m_awayMinutes = read ? std::clamp(minutes, minAwayMinutes, maxAwayMinutes) : 10;
}

void Settings::setDayGoalHours(double hours)
{
    if (!std::isfinite(hours) || hours == m_dayGoalHours)
        return;
    m_dayGoalHours = hours;
    Preferences::setValue(u"pref.dayGoalHours"_s, hours);
    Q_EMIT dayGoalHoursChanged();
}

void Settings::setNotice(bool &flag, bool on, const QString &key)
{
    flag = on;
    Preferences::setValue(key, on);
    if (on)
        Notifier::requestAuthorization();
}

void Settings::setNotifyGoal(bool on)
{
    if (on == m_notifyGoal)
        return;
    setNotice(m_notifyGoal, on, u"pref.notifyGoal"_s);
    Q_EMIT notifyGoalChanged();
}

void Settings::setNotifyIdle(bool on)
{
    if (on == m_notifyIdle)
        return;
    setNotice(m_notifyIdle, on, u"pref.notifyIdle"_s);
    Q_EMIT notifyIdleChanged();
}

void Settings::setLaunchAtLogin(bool on)
{
    m_launchError = m_platform.setLoginItem(on);
    m_launchAtLogin = m_platform.loginItemEnabled();
    Q_EMIT launchAtLoginChanged();
}

void Settings::setAskAway(bool on)
{
    if (on == m_askAway)
        return;
    m_askAway = on;
    Preferences::setValue(u"pref.askAway"_s, on);
    Q_EMIT askAwayChanged();
}

void Settings::setAwayMinutes(int minutes)
{
    minutes = std::clamp(minutes, minAwayMinutes, maxAwayMinutes);
    if (minutes == m_awayMinutes)
        return;
    m_awayMinutes = minutes;
    Preferences::setValue(u"pref.awayMinutes"_s, minutes);
    Q_EMIT awayMinutesChanged();
}
