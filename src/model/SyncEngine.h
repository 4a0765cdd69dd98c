#pragma once

#include "Instant.h"
#include "PendingStop.h"
#include "SyncState.h"
#include "TodayStats.h"
#include "TrackingSnapshot.h"

#include <QCoroTask>
#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QObject>

#include <optional>

class DeviceLookup;
class LocalTimer;
class Session;

// Brings the server in line with the local timer (queued stops, oldest
// first, then the open session's start) and brings the server's projects,
// day figures and running timer back.
class SyncEngine : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    SyncEngine(Session &session, LocalTimer &timer, DeviceLookup &devices, Instant now, QObject *parent = nullptr);

    SyncState sync() const { return m_sync; }
    bool syncing() const { return m_syncing; }
    bool loading() const { return m_loading; }
    std::optional<QString> loadError() const { return m_loadError; }
    const TodayStats &stats() const { return m_stats; }
    // Figures not from the server (the demo's, or none at sign-out).
    void setStats(TodayStats stats);
    // A member signs in: an old failure describes data no longer shown.
    void startOver();

    // Something waits to be sent: stops are queued, or the running session's start is unsent.
    bool needsSync() const;
    // One push pass if needed, then the day's figures.
    QCoro::Task<void> syncNow();
    // Projects, day figures, a timer running on the server, the screenshot interval; then a sync.
    QCoro::Task<void> refresh();
    // Sign-out: waits for a pass in flight, pushes the queue with the old
    // token, then ends the server session.
    QCoro::Task<void> pushThenLogout(QString token, int epoch);

    // The server's day and week figures at `now`, or 0 once the day or week they describe has passed.
    double serverToday(Instant now) const;
    double serverWeek(Instant now) const;
    // Every tick: after midnight the figures describe yesterday, so today's
    // are fetched, and asked for again every 20 ticks while that fails.
    void dayTick(Instant now, int ticks);

    // "Syncing with Zimbrel…" and the other state lines.
    QString syncText(int captures) const;

Q_SIGNALS:
    void syncChanged();
    void loadingChanged();
    void loadErrorChanged();
    void statsChanged();
    // A refresh was refused because the session has expired.
    void sessionExpired();
    // The workspace's screenshot interval, from a refresh.
    void screenshotInterval(double minutes);
    // A push pass ended (successfully or not).
    void pushPassEnded();

private:
    // How one step of a push pass ended.
    struct Step {
        enum class Kind { done, abandoned, failed };
        Kind kind = Kind::done;
        QString message;
        static Step failed(QString message) { return {Kind::failed, std::move(message)}; }
    };

    QCoro::Task<void> pushChanges(QString token, int epoch);
    QCoro::Task<Step> pushQueuedStop(QString token, std::optional<qint64> device, PendingStop stop, int epoch);
    QCoro::Task<Step> pushOpenStart(QString token, std::optional<qint64> device, int epoch);
    // Sends the start of `sessionID` unless the server already accepted it in
    // this run; the entry identifier of the accepted start.
    QCoro::Task<std::optional<qint64>> startSession(QString token, QString sessionID, QJsonObject body);
    // Writes an accepted start into the stored timer: into the running
    // session when it is still that one, else into that session's queued stop.
    // A failure message when the store could not be written.
    std::optional<QString> recordStart(const QString &sessionID, std::optional<qint64> entry);
    QCoro::Task<void> adoptServerTimer(QString token);
    QCoro::Task<void> reloadStats(QString token);
    // Applies figures asked for on `asked`, unless newer ones are shown.
    void applyStats(const TodayStats &stats, QDate asked);
    bool stillOurs(int epoch) const;

    void setSync(SyncState state);
    void setLoading(bool v);
    void setLoadError(std::optional<QString> error);

    Session &m_session;
    LocalTimer &m_timer;
    DeviceLookup &m_devices;
    SyncState m_sync;
    bool m_syncing = false;
    bool m_loading = false;
    std::optional<QString> m_loadError;
    TodayStats m_stats;
    std::optional<QDate> m_statsDate; // the local day the server's figures describe
    bool m_statsReloading = false;
    QDate m_today;
    // Starts the server accepted in this run whose stop it has not accepted
    // yet, by session: never sent twice, even when the store cannot record them.
    QHash<QString, std::optional<qint64>> m_acceptedStarts;
};
