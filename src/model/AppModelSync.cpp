// The sync engine: queued stops and unsent starts go to the server in order,
// and the server's projects, day and running timer come back.
#include "AppModel.h"

#include "API.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QCoroTimer>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

bool AppModel::needsSync() const
{
    if (!m_token || m_isDemo)
        return false;
    const bool queued = m_snapshot.pending && !m_snapshot.pending->isEmpty();
    const bool unsentStart = m_snapshot.isRunning && m_snapshot.startSynced != true;
    return queued || unsentStart;
}

QCoro::Task<void> AppModel::syncNow()
{
    if (!m_token || m_isDemo || !needsSync())
        co_return;
    QPointer<AppModel> self(this);
    const QString token = *m_token;
    co_await pushChanges(token, m_localEpoch);
    if (!self)
        co_return;
    co_await reloadStats(token);
}

QCoro::Task<void> AppModel::reloadStats(QString token)
{
    QPointer<AppModel> self(this);
    m_statsReloading = true;
    std::optional<TodayStats> stats;
    try {
        stats = co_await API::today(token);
    } catch (...) {
    }
    if (!self)
        co_return;
    m_statsReloading = false;
    // Apply only to the session that asked.
    if (stats && m_token == token && !m_isDemo) {
        setStats(*stats);
        m_statsDate = m_now.localDate();
    }
}

QCoro::Task<std::optional<qint64>> AppModel::knownDevice(QString token)
{
    QPointer<AppModel> self(this);
    while (self && m_deviceLookup)
        co_await QCoro::sleepFor(50ms);
    if (!self)
        co_return std::nullopt;
    m_deviceLookup = true;
    std::optional<qint64> device;
    try {
        device = co_await API::deviceID(token);
    } catch (...) {
    }
    if (self)
        m_deviceLookup = false;
    co_return device;
}

QCoro::Task<void> AppModel::pushChanges(QString token, int epoch)
{
    if (m_syncing || m_localEpoch != epoch)
        co_return;
    m_syncing = true;
    setSync(SyncState::syncing());
    QPointer<AppModel> self(this);
    // A reset of the local timer (another member signing in) makes the store
    // someone else's: the pass must not send or accept anything of it.
    const auto stillOurs = [&] { return self && m_localEpoch == epoch; };

    std::optional<QString> failure;
    bool abandoned = false;
    try {
        const std::optional<qint64> device = co_await knownDevice(token);
        if (!stillOurs()) {
            abandoned = true;
        } else {
            // Queued stops, oldest first, from the shared copy: stops that
            // zimbrel-control queued while we ran go out too.
            TrackingSnapshot stored = TrackingStore::load();
            while (!abandoned && stored.pending && !stored.pending->isEmpty()) {
                const PendingStop p = stored.pending->first();
                std::optional<qint64> entry = p.entryID;
                if (!p.startSynced) {
                    const QJsonObject startBody = API::startBody(p, device, Instant::now());
                    const QJsonObject answer = co_await API::start(token, startBody);
                    entry = API::entryID(answer);
                }
                qCInfo(lcTracking, "time/stop → entry %lld", static_cast<long long>(entry.value_or(-1)));
                try {
                    const QJsonObject stopBody = API::stopBody(p, entry, device, Instant::now());
                    co_await API::stop(token, stopBody);
                } catch (const APIError &e) {
                    if (!API::isNoActiveTimer(e))
                        throw;
                }
                if (!stillOurs()) {
                    abandoned = true;
                    break;
                }
                setSnapshot(TrackingStore::accept(p));
                stored = TrackingStore::load();
                // A store that cannot be written would hand us the same stop forever.
                if (stored.pending && !stored.pending->isEmpty() && stored.pending->first().sessionID == p.sessionID)
                    throw APIError(u"The timer state on this computer could not be saved."_s);
            }

            // The open session's start.
            stored = TrackingStore::load();
            if (!abandoned && stored.isRunning && stored.startSynced != true && stored.startedAt && stored.sessionID) {
                const QString sentSession = *stored.sessionID;
                const QJsonObject startBody = API::startBody(stored, device, Instant::now());
                const QJsonObject answer = co_await API::start(token, startBody);
                const std::optional<qint64> entry = API::entryID(answer);
                qCInfo(lcTracking, "time/start ok → entry %lld, device %lld",
                       static_cast<long long>(entry.value_or(-1)), static_cast<long long>(device.value_or(-1)));
                // Only for the same session: a stop and restart meanwhile made a
                // new one, and a reset made the store someone else's.
                const bool ours = !self || m_localEpoch == epoch;
                const TrackingSnapshot saved = TrackingStore::update([&](TrackingSnapshot &snap) {
                    if (!ours || snap.sessionID != sentSession)
                        return false;
                    snap.entryID = entry;
                    snap.startSynced = true;
                    return true;
                });
                if (self && ours && saved.sessionID == sentSession)
                    setSnapshot(saved);
            }
        }
    } catch (const APIError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    }

    if (!self)
        co_return;
    if (failure)
        qCWarning(lcTracking, "sync failed: %s", qUtf8Printable(*failure));
    // The state line belongs to the session shown: a pass of an earlier
    // member (its token gone and another signed in) leaves it alone.
    if (!abandoned && (!m_token || *m_token == token))
        setSync(failure ? SyncState::failed(*failure) : SyncState::synced());
    else if (m_sync == SyncState::syncing())
        setSync(SyncState::idle());
    m_syncing = false;
    Q_EMIT pushPassEnded();
}

QCoro::Task<void> AppModel::adoptServerTimer(QString token)
{
    const auto localBusy = [](const TrackingSnapshot &s) {
        return s.isRunning || (s.pending && !s.pending->isEmpty());
    };
    if (localBusy(m_snapshot))
        co_return;
    QPointer<AppModel> self(this);
    API::CurrentTimer current;
    try {
        current = co_await API::current(token);
    } catch (...) {
        co_return;
    }
    if (!self || m_token != token || m_isDemo)
        co_return;
    if (!current.running || !current.startedAt)
        co_return;

    // Check again on the stored copy: a start made while we asked wins.
    bool adopted = false;
    const TrackingSnapshot saved = TrackingStore::update([&](TrackingSnapshot &snap) {
        if (localBusy(snap))
            return false;
        snap.isRunning = true;
        snap.startedAt = current.startedAt;
        snap.entryID = current.entryID;
        snap.sessionID = TrackingStore::newSessionID();
        snap.startSynced = true;
        snap.projectID = current.project;
        snap.taskID = current.task;
        adopted = true;
        return true;
    });
    setSnapshot(saved);
    if (!adopted || !current.project)
        co_return;
    for (const Project &p : m_projects) {
        if (p.id != *current.project)
            continue;
        setProjectID(p.id);
        if (current.task)
            setTaskID(current.task);
        else
            setTaskID(p.tasks.isEmpty() ? std::nullopt : std::optional<QString>(p.tasks.first().id));
        break;
    }
}

void AppModel::startRefresh()
{
    refresh();
}

QCoro::Task<void> AppModel::refresh()
{
    if (!m_token || m_isDemo)
        co_return;
    QPointer<AppModel> self(this);
    const QString token = *m_token;
    setLoading(true);
    setLoadError(std::nullopt);

    std::optional<QString> failure;
    try {
        // Both requests are in flight at once; projects are awaited first.
        QCoro::Task<QList<Project>> projectsTask = API::projects(token);
        QCoro::Task<TodayStats> todayTask = API::today(token);
        QList<Project> projects;
        std::optional<TodayStats> stats;
        std::optional<QString> projectsError;
        try {
            projects = co_await std::move(projectsTask);
        } catch (const APIError &e) {
            projectsError = e.message();
        }
        // The statistics are awaited in every case so their frame ends cleanly.
        std::optional<QString> statsError;
        try {
            stats = co_await std::move(todayTask);
        } catch (const APIError &e) {
            statsError = e.message();
        }
        if (!self)
            co_return;
        if (projectsError)
            throw APIError(*projectsError);
        if (m_token == token && !m_isDemo)
            setProjects(projects);
        if (statsError)
            throw APIError(*statsError);
        if (m_token == token && !m_isDemo && stats) {
            setStats(*stats);
            m_statsDate = m_now.localDate();
        }
    } catch (const APIError &e) {
        failure = e.message();
    }
    if (!self)
        co_return;

    if (failure) {
        if (m_token != token) { // an earlier session's refresh: not this member's error
            if (!m_token)
                setLoading(false);
            co_return;
        }
        setLoadError(failure);
        if (failure->contains(u"session has expired"_s))
            signOut();
        setLoading(false);
        co_await syncNow();
        co_return;
    }

    co_await adoptServerTimer(token);
    if (!self)
        co_return;
    if (m_token == token && !m_isDemo)
        selectFirstIfNeeded();
    const double minutes = co_await API::screenshotInterval(token);
    if (!self)
        co_return;
    if (m_token == token)
        m_shotMinutes = minutes;
    setLoading(false);
    co_await syncNow();
}

QString AppModel::syncText() const
{
    if (m_isDemo)
        return u"Demo workspace: nothing here is sent to Zimbrel."_s;
    switch (m_sync.kind) {
    case SyncState::Kind::syncing:
        return u"Syncing with Zimbrel…"_s;
    case SyncState::Kind::failed:
        return u"Couldn't sync: "_s + m_sync.message + u" Your time is saved here and will retry."_s;
    case SyncState::Kind::idle:
    case SyncState::Kind::synced:
        break;
    }
    if (needsSync())
        return u"Waiting to sync with Zimbrel…"_s;
    if (!m_snapshot.isRunning)
        return u"Synced with Zimbrel."_s;
    QString text = u"Synced with Zimbrel"_s;
    if (m_captures >= 1)
        text += u" · "_s + QString::number(m_captures) + u" screenshot"_s + (m_captures == 1 ? u""_s : u"s"_s)
            + u" this session"_s;
    return text + u'.';
}
