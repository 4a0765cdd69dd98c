#include "ActivityRecorder.h"

#include "Assign.h"
#include "BusyFlag.h"
#include "API.h"
#include "DeviceLookup.h"
#include "Durations.h"
#include "FireAndForget.h"
#include "LocalTimer.h"
#include "Preferences.h"
#include "Session.h"
#include "Settings.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QBuffer>
#include <QImageReader>
#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr int pulseLength = 46;
constexpr double idleNudgeSeconds = 600;
constexpr double pulseFullInputs = 14; // weighted inputs in two seconds that fill a bar
} // namespace

ActivityRecorder::ActivityRecorder(const Platform &platform, const Settings &settings, Session &session,
                                   LocalTimer &timer, DeviceLookup &devices, Instant now, QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_settings(settings)
    , m_session(session)
    , m_timer(timer)
    , m_devices(devices)
    , m_now(now)
    , m_inputAllowed(platform.inputAllowed())
    , m_screenAllowed(platform.screenAllowed())
    , m_pulse(pulseLength, 0.0)
    , m_lastSample(now)
    , m_lastShot(now)
    , m_usageStart(now)
{
}

std::optional<QString> ActivityRecorder::liveToken() const
{
    return m_timer.startAccepted() ? m_session.serverToken() : std::nullopt;
}

void ActivityRecorder::advance(Instant now, int ticks)
{
    m_now = now;
    m_ticks = ticks;
}

void ActivityRecorder::checkPermissions()
{
    setInputAllowed(m_platform.inputAllowed());
    setScreenAllowed(m_platform.screenAllowed());
    // Input access is granted but the system-wide tap is not counting (it was
    // just granted, or the tap could not start): try the tap again. The counts
    // gathered meanwhile are carried over into the next sample.
    if (m_inputAllowed && m_monitor.strategy() == ActivityMonitor::Strategy::fallback) {
        const InputCounts counted = m_monitor.drain();
        m_carried.keystrokes += counted.keystrokes;
        m_carried.clicks += counted.clicks;
        m_monitor.stop();
        m_monitor.start();
        if (m_monitor.tap())
            qCInfo(lcTracking, "input tap started");
    }
}

InputCounts ActivityRecorder::drainInputs()
{
    InputCounts counts = m_monitor.drain();
    counts.keystrokes += std::exchange(m_carried.keystrokes, 0);
    counts.clicks += std::exchange(m_carried.clicks, 0);
    return counts;
}

QCoro::Task<void> ActivityRecorder::heartbeat()
{
    const std::optional<QString> token = liveToken();
    if (!token)
        co_return;
    QPointer<ActivityRecorder> self(this);
    const std::optional<qint64> device = co_await m_devices.deviceID(*token);
    if (!self)
        co_return;
    // The snapshot may have changed during the lookup.
    const std::optional<qint64> entry = m_timer.snapshot().entryID;
    co_await API::heartbeat(*token, device, entry);
}

void ActivityRecorder::pulseTick()
{
    if (!m_timer.isRunning()) {
        if (std::any_of(m_pulse.cbegin(), m_pulse.cend(), [](double v) { return v > 0; }))
            setPulse(QList<double>(m_pulse.size(), 0.0));
        // While a usage window is open the stop flush is still reading the counters.
        if (!m_usageApp) {
            m_monitor.stop();
            m_carried = {};
        }
        return;
    }
    m_monitor.start();

    if (m_ticks % 2 != 0)
        return;
    const qint64 total = m_monitor.totalInputs();
    const qint64 delta = total - m_pulseMark;
    m_pulseMark = total;
    // One allocation of the final size: dropping the first value and then
    // appending would copy the list and grow it again.
    QList<double> pulse;
    pulse.reserve(std::max<qsizetype>(m_pulse.size(), 1));
    if (!m_pulse.isEmpty())
        pulse.append(m_pulse.constBegin() + 1, m_pulse.constEnd());
    pulse.append(std::min(double(std::max<qint64>(delta, 0)) / pulseFullInputs, 1.0));
    setPulse(std::move(pulse));
}

void ActivityRecorder::nudgeTick(double todaySeconds, const QString &projectName)
{
    if (!m_timer.isRunning()) {
        m_idleNotified = false;
        return;
    }
    if (m_settings.notifyGoal() && m_settings.dayGoalHours() * 3600 <= todaySeconds) {
        // Once per local calendar day, also across restarts.
        const QString day = m_now.localDate().toString(Qt::ISODate);
        if (Preferences::value(u"notified.goal"_s).toString() != day) {
            Preferences::setValue(u"notified.goal"_s, day);
            m_platform.notify(u"Daily goal reached"_s, u"You've tracked "_s + Durations::shortDuration(todaySeconds)
                                                           + u" today. Zimbrel keeps counting until you stop."_s);
        }
    }
    if (m_settings.notifyIdle()) {
        const double idle = m_platform.idleSeconds();
        if (idle < idleNudgeSeconds) {
            m_idleNotified = false;
        } else if (!m_idleNotified) {
            m_idleNotified = true;
            m_platform.notify(u"Still working?"_s,
                              u"No keyboard or mouse movement for 10 minutes. Zimbrel is still tracking "_s
                                  + (projectName.isEmpty() ? u"your timer"_s : projectName) + u'.');
        }
    }
}

void ActivityRecorder::closeUsageWindow()
{
    if (!m_usageApp)
        return;
    m_monitor.stop();
    m_carried = {};
    m_usageApp.reset();
}

QCoro::Task<void> ActivityRecorder::captureTick()
{
    const std::optional<QString> token = liveToken();
    if (!token) {
        closeUsageWindow();
        co_return;
    }
    const QString app = m_platform.frontmostApp();

    if (!m_usageApp) {
        m_monitor.start();
        // Input counted while the start waited for the server belongs to no sample.
        drainInputs();
        m_lastSample = m_now;
        m_usageApp = app;
        m_usageStart = m_now;
        m_lastShot = m_now.addSeconds(-m_shotMinutes * 60 + 30);
        co_return;
    }
    if (m_capturing)
        co_return;
    // The member is away: none of this time is sampled, recorded or captured.
    if (m_captureHold && m_captureHold()) {
        drainInputs();
        m_lastSample = m_now;
        m_usageStart = m_now;
        co_return;
    }

    const TrackingSnapshot &snap = m_timer.snapshot();
    const double sinceSample = m_now.secondsSince(m_lastSample);
    const bool appChanged = app != *m_usageApp;
    const bool shotDue = !snap.isPrivate && m_screenAllowed && m_now.secondsSince(m_lastShot) >= m_shotMinutes * 60;
    if (sinceSample < 60 && !appChanged && !shotDue)
        co_return;

    const BusyFlag busy(this, m_capturing);
    co_await capturePass(*token, snap.sessionID, app, appChanged, sinceSample, shotDue);
}

QCoro::Task<void> ActivityRecorder::capturePass(QString token, std::optional<QString> session, QString app,
                                                bool appChanged, double sinceSample, bool shotDue)
{
    QPointer<ActivityRecorder> self(this);
    // After every wait: the same session still runs. A stop, sign-out or
    // restart meanwhile ends the pass; nothing more is sent or captured for it.
    const auto sameSession = [&] {
        return self && liveToken() == token && m_timer.snapshot().sessionID == session;
    };
    const std::optional<qint64> device = co_await m_devices.deviceID(token);
    if (!sameSession())
        co_return;
    const std::optional<qint64> entry = m_timer.snapshot().entryID;
    const Instant now = m_now;

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
        if (!sameSession())
            co_return;
    }
    if (sinceSample >= 60) {
        co_await sampleActivity(token, device, entry, now);
        if (!sameSession())
            co_return;
    }
    if (shotDue)
        co_await takeScreenshot(token, device, now);
}

QCoro::Task<void> ActivityRecorder::takeScreenshot(QString token, std::optional<qint64> device, Instant now)
{
    QPointer<ActivityRecorder> self(this);
    const std::optional<QString> session = m_timer.snapshot().sessionID;
    // Moved before the capture, so a failed capture waits a whole interval.
    m_lastShot = now;
    const std::optional<ScreenShot> shot = co_await m_platform.capture();
    if (!self || !shot)
        co_return;
    // The session may have ended or turned private while the screen was grabbed.
    const std::optional<TrackingSnapshot> stored = LocalTimer::readStore();
    if (liveToken() != token || m_timer.snapshot().sessionID != session || !stored || stored->isPrivate)
        co_return;
    // Kept only when the view can show it; its header tells, without decoding.
    QBuffer buffer;
    buffer.setData(shot->jpeg);
    m_lastShotJpeg = QImageReader(&buffer, "JPG").size().isValid() ? shot->jpeg : QByteArray();
    m_lastShotAt = now;
    Q_EMIT lastShotChanged();
    try {
        co_await API::uploadScreenshot(token, device, shot->jpeg, shot->hash, now);
    } catch (const APIError &e) {
        qCWarning(lcTracking, "screenshots/upload failed: %s", qUtf8Printable(e.message()));
        co_return;
    }
    qCInfo(lcTracking, "screenshot uploaded (%ld KB)", long(shot->jpeg.size() / 1024));
    if (self)
        setCaptures(m_captures + 1);
}

QCoro::Task<void> ActivityRecorder::sampleActivity(QString token, std::optional<qint64> device,
                                                   std::optional<qint64> entry, Instant until)
{
    const double elapsed = until.secondsSince(m_lastSample);
    m_lastSample = until;
    const InputCounts counts = drainInputs();
    co_await sendSample(token, device, entry, counts, elapsed, until);
}

QCoro::Task<void> ActivityRecorder::sendSample(QString token, std::optional<qint64> device,
                                               std::optional<qint64> entry, InputCounts counts, double elapsed,
                                               Instant until)
{
    const double percent = API::activityPercentage(counts.keystrokes, counts.clicks, elapsed);
    setLastActivity(percent);
    const QJsonObject body = API::activityBody(device, entry, counts.clicks, counts.keystrokes, percent, until);
    try {
        co_await API::activityLog(token, body);
        qCInfo(lcTracking, "activity/logs ok: %ld keys, %ld clicks, %f%%", long(counts.keystrokes),
               long(counts.clicks), percent);
    } catch (const APIError &e) {
        qCWarning(lcTracking, "activity/logs failed: %s", qUtf8Printable(e.message()));
    }
}

QImage ActivityRecorder::lastShotImage() const
{
    return m_lastShotJpeg.isEmpty() ? QImage() : QImage::fromData(m_lastShotJpeg, "JPG");
}

std::optional<double> ActivityRecorder::nextShotIn() const
{
    if (!m_timer.startAccepted() || m_session.isDemo() || !m_screenAllowed || m_timer.snapshot().isPrivate)
        return std::nullopt;
    return std::max(m_shotMinutes * 60 - m_now.secondsSince(m_lastShot), 0.0);
}

void ActivityRecorder::flushStop(Instant stopAt)
{
    const std::optional<QString> token = liveToken();
    if (token && m_usageApp)
        fireAndForget(stopFlush(*token, m_timer.snapshot().entryID, stopAt), "stop flush");
}

void ActivityRecorder::forgetCaptures()
{
    const bool hadShot = !m_lastShotJpeg.isEmpty() || m_lastShotAt;
    m_lastShotJpeg.clear();
    m_lastShotAt.reset();
    m_lastShot = m_now;
    setCaptures(0);
    if (hadShot)
        Q_EMIT lastShotChanged();
}

QCoro::Task<void> ActivityRecorder::stopFlush(QString token, std::optional<qint64> entry, Instant stopAt)
{
    // Take the usage window and the counters before the first wait: from here
    // on they belong to this flush, and a new session opens its own window.
    QPointer<ActivityRecorder> self(this);
    const std::optional<QString> app = std::exchange(m_usageApp, std::nullopt);
    const Instant usageStart = m_usageStart;
    const InputCounts counts = drainInputs();
    const Instant sampleFrom = m_lastSample;
    m_lastSample = stopAt;
    const std::optional<qint64> device = co_await m_devices.deviceID(token);
    if (app) {
        try {
            co_await API::usageLog(token, device, *app, usageStart, stopAt);
        } catch (const APIError &e) {
            qCWarning(lcTracking, "usage/logs failed: %s", qUtf8Printable(e.message()));
        }
    }
    if (!self)
        co_return;
    co_await sendSample(token, device, entry, counts, stopAt.secondsSince(sampleFrom), stopAt);
}

void ActivityRecorder::setInputAllowed(bool v)
{
    if (assign(m_inputAllowed, v))
        Q_EMIT inputAllowedChanged();
}

void ActivityRecorder::setScreenAllowed(bool v)
{
    if (assign(m_screenAllowed, v))
        Q_EMIT screenAllowedChanged();
}

void ActivityRecorder::setLastActivity(std::optional<double> v)
{
    m_lastActivity = v;
    Q_EMIT lastActivityChanged();
}

void ActivityRecorder::setCaptures(int v)
{
    if (assign(m_captures, v))
        Q_EMIT capturesChanged();
}

void ActivityRecorder::setPulse(QList<double> pulse)
{
    m_pulse = std::move(pulse);
    Q_EMIT pulseChanged();
}
