#pragma once

#include "ActivityMonitor.h"
#include "Instant.h"
#include "Platform.h"

#include <QCoroTask>
#include <QImage>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class DeviceLookup;
class LocalTimer;
class Session;
class Settings;

// The background work of a running timer: heartbeats, the live activity
// graph, usage records, activity samples, screenshots, the goal and idle
// notices, and the last record and sample of a stop. Driven by the model's
// ticks; nothing is sent unless the session is live on the server.
class ActivityRecorder : public QObject {
    Q_OBJECT
public:
    ActivityRecorder(const Platform &platform, const Settings &settings, Session &session, LocalTimer &timer,
                     DeviceLookup &devices, Instant now, QObject *parent = nullptr);

    bool inputAllowed() const { return m_inputAllowed; }
    bool screenAllowed() const { return m_screenAllowed; }
    std::optional<double> lastActivity() const { return m_lastActivity; }
    int captures() const { return m_captures; }
    const QList<double> &pulse() const { return m_pulse; }
    // The last screenshot taken, decoded on each call (null when there is none).
    QImage lastShotImage() const;
    bool hasLastShot() const { return !m_lastShotJpeg.isEmpty(); }
    std::optional<Instant> lastShotAt() const { return m_lastShotAt; }
    bool capturing() const { return m_capturing; }
    double shotMinutes() const { return m_shotMinutes; }
    void setShotMinutes(double minutes) { m_shotMinutes = minutes; }
    std::optional<QString> usageApp() const { return m_usageApp; }
    Instant lastShot() const { return m_lastShot; }
    Instant lastSample() const { return m_lastSample; }
    ActivityMonitor &monitor() { return m_monitor; }

    // The token to send with, while the session is live on the server: a
    // real session whose running start the server has accepted.
    std::optional<QString> liveToken() const;

    // Every tick, first: the model's clock and tick count.
    void advance(Instant now, int ticks);
    // Every fifth tick: the permissions again, and the input tap while it is missing.
    void checkPermissions();
    QCoro::Task<void> heartbeat();
    void pulseTick();
    void nudgeTick(double todaySeconds, const QString &projectName);
    QCoro::Task<void> captureTick();
    QCoro::Task<void> sampleActivity(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                     Instant until);
    std::optional<double> nextShotIn() const;
    // A stop at `stopAt`: the open usage record and the last sample go out,
    // without holding up the stop.
    void flushStop(Instant stopAt);
    // Forgets the last screenshot, its time and the count of this session's
    // screenshots: they belong to the member who is leaving.
    void forgetCaptures();
    // While `hold` answers true (the member is away), nothing is recorded,
    // captured or sent; the usage window and the sample restart afterwards.
    void setCaptureHold(std::function<bool()> hold) { m_captureHold = std::move(hold); }

Q_SIGNALS:
    void inputAllowedChanged();
    void screenAllowedChanged();
    void lastActivityChanged();
    void capturesChanged();
    void pulseChanged();
    void lastShotChanged();

private:
    // Records, samples and shoots what is due for the session `session`.
    QCoro::Task<void> capturePass(QString token, std::optional<QString> session, QString app, bool appChanged,
                                  double sinceSample, bool shotDue);
    QCoro::Task<void> takeScreenshot(QString token, std::optional<qint64> device, Instant now);
    QCoro::Task<void> stopFlush(QString token, std::optional<qint64> entry, Instant stopAt);
    // Posts one activity sample of counts already drained from the monitor.
    QCoro::Task<void> sendSample(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                 InputCounts counts, double elapsed, Instant until);
    // The counters since the last drain, with what a restart of the monitor carried over.
    InputCounts drainInputs();
    void closeUsageWindow();
    void setInputAllowed(bool v);
    void setScreenAllowed(bool v);
    void setLastActivity(std::optional<double> v);
    void setCaptures(int v);
    void setPulse(QList<double> pulse);

    const Platform &m_platform;
    const Settings &m_settings;
    Session &m_session;
    LocalTimer &m_timer;
    DeviceLookup &m_devices;
    Instant m_now;
    int m_ticks = 0;

    bool m_inputAllowed = false;
    bool m_screenAllowed = false;
    std::optional<double> m_lastActivity;
    int m_captures = 0;
    QList<double> m_pulse;
    qint64 m_pulseMark = 0;
    QByteArray m_lastShotJpeg; // kept encoded: the picture is decoded only when shown
    std::optional<Instant> m_lastShotAt;
    bool m_idleNotified = false;
    ActivityMonitor m_monitor;
    InputCounts m_carried; // counted before a restart of the monitor, not yet drained
    Instant m_lastSample;
    Instant m_lastShot;
    std::optional<QString> m_usageApp;
    Instant m_usageStart;
    double m_shotMinutes = 3.0;
    bool m_capturing = false;
    std::function<bool()> m_captureHold;
};
