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
    co_await pushChanges(token);
    if (!self)
        co_return;
    co_await reloadStats(token);
}

QCoro::Task<void> AppModel::reloadStats(QString token)
{
    QPointer<AppModel> self(this);
    std::optional<TodayStats> stats;
    try {
        stats = co_await API::today(token);
    } catch (...) {
    }
    // Apply only to the session that asked.
    if (self && stats && m_token == token && !m_isDemo)
        setStats(*stats);
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

QCoro::Task<void> AppModel::pushChanges(QString token)
{
    if (m_syncing)
        co_return;
    m_syncing = true;
    setSync(SyncState::syncing());
    QPointer<AppModel> self(this);

    std::optional<QString> failure;
    try {
        const std::optional<qint64> device = co_await knownDevice(token);
        if (!self)
            co_return;

        // Queued stops, oldest first, from the shared copy: stops that
        // zimbrel-control queued while we ran go out too.
        TrackingSnapshot stored = TrackingStore::load();
        while (stored.pending && !stored.pending->isEmpty()) {
            const PendingStop p = stored.pending->first();
            std::optional<qint64> entry = p.entryID;
            if (!p.startSynced) {
                const QJsonObject startBody = API::startBody(p, device, m_platform.clock());
                const QJsonObject answer = co_await API::start(token, startBody);
                if (!self)
                    co_return;
                entry = API::entryID(answer);
            }
            qCInfo(lcTracking, "time/stop → entry %lld", static_cast<long long>(entry.value_or(-1)));
            try {
                const QJsonObject stopBody = API::stopBody(p, entry, device, m_platform.clock());
                co_await API::stop(token, stopBody);
            } catch (const APIError &e) {
                if (!API::isNoActiveTimer(e))
                    throw;
            }
            // Accepted even when we are gone: the server has it.
            const TrackingSnapshot accepted = TrackingStore::accept(p);
            if (!self)
                co_return;
            setSnapshot(accepted);
            stored = TrackingStore::load();
        }

        // The open session's start.
        stored = TrackingStore::load();
        if (stored.isRunning && stored.startSynced != true && stored.startedAt && stored.sessionID) {
            const QString sentSession = *stored.sessionID;
            const QJsonObject startBody = API::startBody(stored, device, m_platform.clock());
            const QJsonObject answer = co_await API::start(token, startBody);
            const std::optional<qint64> entry = API::entryID(answer);
            qCInfo(lcTracking, "time/start ok → entry %lld, device %lld",
                   static_cast<long long>(entry.value_or(-1)), static_cast<long long>(device.value_or(-1)));
            // Only for the same session: a stop and restart meanwhile made a new one.
            const TrackingSnapshot saved = TrackingStore::update([&](TrackingSnapshot &snap) {
                if (snap.sessionID != sentSession)
                    return false;
                snap.entryID = entry;
                snap.startSynced = true;
                return true;
            });
            if (!self)
                co_return;
            if (saved.sessionID == sentSession)
                setSnapshot(saved);
        }
    } catch (const APIError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    }

    if (!self)
        co_return;
    if (failure) {
        qCWarning(lcTracking, "sync failed: %s", qUtf8Printable(*failure));
        setSync(SyncState::failed(*failure));
    } else {
        setSync(SyncState::synced());
    }
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
        if (m_token == token && !m_isDemo && stats)
            setStats(*stats);
    } catch (const APIError &e) {
        failure = e.message();
    }
    if (!self)
        co_return;

    if (failure) {
        setLoadError(failure);
        if (failure->contains(u"session has expired"_s) && m_token == token)
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
