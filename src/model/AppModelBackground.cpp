// Background work of a running timer: heartbeats, the live activity graph,
// usage records, activity samples, screenshots, and the goal and idle notices.
#include "AppModel.h"

#include "API.h"
#include "Durations.h"
#include "Preferences.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
constexpr double idleNudgeSeconds = 600;
constexpr double pulseFullInputs = 14; // weighted inputs in two seconds that fill a bar
} // namespace

QCoro::Task<void> AppModel::heartbeat()
{
    if (!m_token || m_isDemo || !m_snapshot.isRunning || m_snapshot.startSynced != true)
        co_return;
    QPointer<AppModel> self(this);
    const QString token = *m_token;
    const std::optional<qint64> device = co_await knownDevice(token);
    if (!self)
        co_return;
    const std::optional<qint64> entry = m_snapshot.entryID;
    co_await API::heartbeat(token, device, entry);
}

void AppModel::pulseTick()
{
    if (!m_snapshot.isRunning) {
        if (std::any_of(m_pulse.cbegin(), m_pulse.cend(), [](double v) { return v > 0; }))
            setPulse(QList<double>(m_pulse.size(), 0.0));
        // While a usage window is open the stop flush is still reading the counters.
        if (!m_usageApp)
            m_monitor.stop();
        m_inputWasAllowed = m_inputAllowed;
        return;
    }
    // Input access was just granted: restart so the system-wide tap replaces
    // the in-app fallback. Only on that change, or a tap that cannot start
    // would throw the counts away every second.
    if (m_inputAllowed && !m_inputWasAllowed && !m_monitor.tap())
        m_monitor.stop();
    m_inputWasAllowed = m_inputAllowed;
    m_monitor.start();

    if (m_ticks % 2 != 0)
        return;
    const qint64 total = m_monitor.totalInputs();
    const qint64 delta = total - m_pulseMark;
    m_pulseMark = total;
    QList<double> pulse = m_pulse;
    if (!pulse.isEmpty())
        pulse.removeFirst();
    pulse.append(std::min(double(std::max<qint64>(delta, 0)) / pulseFullInputs, 1.0));
    setPulse(std::move(pulse));
}

void AppModel::nudgeTick()
{
    if (!m_snapshot.isRunning) {
        m_idleNotified = false;
        return;
    }
    if (m_notifyGoal) {
        const double t = todaySeconds();
        if (m_dayGoalHours * 3600 <= t) {
            const QString day = m_now.localDate().toString(Qt::ISODate);
            if (Preferences::value(u"notified.goal"_s).toString() != day) {
                Preferences::setValue(u"notified.goal"_s, day);
                m_platform.notify(u"Daily goal reached"_s,
                                  u"You've tracked "_s + Durations::shortDuration(t)
                                      + u" today. Zimbrel keeps counting until you stop."_s);
            }
        }
    }
    if (m_notifyIdle) {
        const double idle = m_platform.idleSeconds();
        if (idle < idleNudgeSeconds) {
            m_idleNotified = false;
        } else if (!m_idleNotified) {
            m_idleNotified = true;
            const Project *p = project();
            m_platform.notify(u"Still working?"_s, u"No keyboard or mouse movement for 10 minutes. Zimbrel is still tracking "_s
                                                       + (p ? p->name : u"your timer"_s) + u'.');
        }
    }
}

void AppModel::closeUsageWindow()
{
    if (!m_usageApp)
        return;
    m_monitor.stop();
    m_usageApp.reset();
}

QCoro::Task<void> AppModel::captureTick()
{
    if (!m_token || m_isDemo || !m_snapshot.isRunning || m_snapshot.startSynced != true) {
        closeUsageWindow();
        co_return;
    }
    const QString app = m_platform.frontmostApp();

    if (!m_usageApp) {
        m_monitor.start();
        // Input counted while the start waited for the server belongs to no sample.
        m_monitor.drain();
        m_lastSample = m_now;
        m_usageApp = app;
        m_usageStart = m_now;
        m_lastShot = m_now.addSeconds(-m_shotMinutes * 60 + 30);
        co_return;
    }
    if (m_capturing)
        co_return;

    const double sinceSample = m_now.secondsSince(m_lastSample);
    const bool appChanged = app != *m_usageApp;
    const bool shotDue = !m_snapshot.isPrivate && m_screenAllowed && m_now.secondsSince(m_lastShot) >= m_shotMinutes * 60;
    if (sinceSample < 60 && !appChanged && !shotDue)
        co_return;

    m_capturing = true;
    QPointer<AppModel> self(this);
    const QString token = *m_token;
    const std::optional<QString> session = m_snapshot.sessionID;
    // After every wait: the same session still runs. A stop, sign-out or
    // restart meanwhile ends the pass; nothing more is sent or captured for it.
    const auto sameSession = [&] {
        return m_token == token && m_snapshot.isRunning && m_snapshot.sessionID == session && !m_isDemo;
    };
    const std::optional<qint64> device = co_await knownDevice(token);
    if (!self)
        co_return;
    const std::optional<qint64> entry = m_snapshot.entryID;
    const Instant now = m_now;

    try {
        if (!sameSession())
            throw std::runtime_error("session ended");
        if ((appChanged || sinceSample >= 60) && m_usageApp && now.secondsSince(m_usageStart) >= 1) {
            const QString recordApp = *m_usageApp;
            const Instant from = m_usageStart;
            m_usageApp = app;
            m_usageStart = now;
            try {
                co_await API::usageLog(token, device, recordApp, from, now);
            } catch (const APIError &e) {
                qCWarning(lcTracking, "usage/logs failed: %s", qUtf8Printable(e.message()));
            }
            if (!self)
                co_return;
            if (!sameSession())
                throw std::runtime_error("session ended");
        }
        if (sinceSample >= 60) {
            co_await sampleActivity(token, device, entry, now);
            if (!self)
                co_return;
            if (!sameSession())
                throw std::runtime_error("session ended");
        }
        if (shotDue) {
            m_lastShot = now;
            const std::optional<ScreenShot> shot = co_await m_platform.capture();
            if (!self)
                co_return;
            // The session may have ended or turned private while the screen was grabbed.
            if (shot && sameSession() && !TrackingStore::load().isPrivate) {
                QImage image;
                image.loadFromData(shot->jpeg, "JPG");
                m_lastShotImage = image;
                m_lastShotAt = now;
                Q_EMIT lastShotChanged();
                try {
                    co_await API::uploadScreenshot(token, device, shot->jpeg, shot->hash, now);
                    if (self) {
                        setCaptures(m_captures + 1);
                        qCInfo(lcTracking, "screenshot uploaded (%ld KB)", long(shot->jpeg.size() / 1024));
                    }
                } catch (const APIError &e) {
                    qCWarning(lcTracking, "screenshots/upload failed: %s", qUtf8Printable(e.message()));
                }
            }
        }
    } catch (...) {
    }
    if (self)
        m_capturing = false;
}

QCoro::Task<void> AppModel::sampleActivity(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                           Instant until)
{
    const double elapsed = until.secondsSince(m_lastSample);
    m_lastSample = until;
    const InputCounts counts = m_monitor.drain();
    co_await sendSample(token, device, entry, counts, elapsed, until);
}

QCoro::Task<void> AppModel::sendSample(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                       InputCounts counts, double elapsed, Instant until)
{
    QPointer<AppModel> self(this);
    const double percent = API::activityPercentage(counts.keystrokes, counts.clicks, elapsed);
    setLastActivity(percent);
    const QJsonObject body = API::activityBody(device, entry, counts.clicks, counts.keystrokes, percent, until);
    try {
        const QString path = u"activity/logs"_s;
        const std::optional<QString> auth = token;
        const QString method = u"POST"_s;
        const std::optional<QJsonObject> payload = body;
        co_await API::request(path, auth, method, payload);
        qCInfo(lcTracking, "activity/logs ok: %ld keys, %ld clicks, %f%%", long(counts.keystrokes),
               long(counts.clicks), percent);
    } catch (const APIError &e) {
        qCWarning(lcTracking, "activity/logs failed: %s", qUtf8Printable(e.message()));
    }
    Q_UNUSED(self);
}

std::optional<double> AppModel::nextShotIn() const
{
    if (!m_snapshot.isRunning || m_isDemo || !m_screenAllowed || m_snapshot.isPrivate
        || m_snapshot.startSynced != true)
        return std::nullopt;
    return std::max(m_shotMinutes * 60 - m_now.secondsSince(m_lastShot), 0.0);
}
