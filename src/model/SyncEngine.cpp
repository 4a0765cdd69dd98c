#include "SyncEngine.h"

#include "Assign.h"
#include "BusyFlag.h"
#include "API.h"
#include "DeviceLookup.h"
#include "LocalTimer.h"
#include "SentSessions.h"
#include "Session.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QCoroSignal>
#include <QPointer>

#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QString notSaved = u"The timer state on this computer could not be saved."_s;
const QString notRead = u"The timer state on this computer could not be read."_s;

// Marks the start of `sessionID` accepted with `entry`: on the running session
// when it is still that one, else on its queued stop (stopped meanwhile), so
// that stop closes exactly this entry. False when there was nothing to mark.
bool markStartAccepted(TrackingSnapshot &snap, const QString &sessionID, std::optional<qint64> entry)
{
    if (snap.isRunning && snap.sessionID == sessionID) {
        if (snap.startSynced == true && snap.entryID == entry)
            return false;
        snap.entryID = entry;
        snap.startSynced = true;
        return true;
    }
    bool marked = false;
    if (snap.pending)
        for (PendingStop &stop : *snap.pending)
            if (stop.sessionID == sessionID && !(stop.startSynced && stop.entryID == entry)) {
                stop.entryID = entry;
                stop.startSynced = true;
                marked = true;
            }
    return marked;
}

// Writes an accepted start into the store.
StoreResult storeAcceptedStart(const QString &sessionID, std::optional<qint64> entry)
{
    return TrackingStore::change([&](TrackingSnapshot &snap) { return markStartAccepted(snap, sessionID, entry); });
}

// The model has gone while the server accepted a start: the store still learns of it.
void keepAcceptedStart(const QString &sessionID, std::optional<qint64> entry)
{
    if (!storeAcceptedStart(sessionID, entry).ok())
        qCWarning(lcTracking, "accepted start of %s not recorded: %s", qUtf8Printable(sessionID), qUtf8Printable(notSaved));
}

} // namespace

SyncEngine::SyncEngine(Session &session, LocalTimer &timer, DeviceLookup &devices, Instant now, QObject *parent)
    : QObject(parent), m_session(session), m_timer(timer), m_devices(devices), m_today(now.localDate())
{
}

void SyncEngine::setStats(TodayStats stats)
{
    m_stats = std::move(stats);
    Q_EMIT statsChanged();
}

void SyncEngine::startOver()
{
    setSync(SyncState::idle());
    setLoadError(std::nullopt);
}

bool SyncEngine::needsSync() const
{
    const TrackingSnapshot &snap = m_timer.snapshot();
    return m_session.serverToken() && (LocalTimer::stopsQueued(snap) || LocalTimer::startUnsent(snap));
}

QCoro::Task<void> SyncEngine::syncNow()
{
    const std::optional<QString> token = m_session.serverToken();
    if (!token || !needsSync())
        co_return;
    QPointer<SyncEngine> self(this);
    co_await pushChanges(*token, m_timer.epoch());
    if (!self)
        co_return;
    co_await reloadStats(*token);
}

QCoro::Task<void> SyncEngine::reloadStats(QString token)
{
    QPointer<SyncEngine> self(this);
    const QDate asked = m_today;
    m_statsReloading = true;
    std::optional<TodayStats> stats;
    try {
        stats = co_await API::today(token);
    } catch (const APIError &e) {
        qCWarning(lcTracking, "day figures not reloaded: %s", qUtf8Printable(e.message()));
    }
    if (!self)
        co_return;
    m_statsReloading = false;
    // Apply only to the session that asked.
    if (stats && m_session.serverToken() == token)
        applyStats(*stats, asked);
}

void SyncEngine::applyStats(const TodayStats &stats, QDate asked)
{
    // An answer asked for before midnight describes the day before, whenever it arrives.
    if (m_statsDate && asked < *m_statsDate)
        return;
    m_statsDate = asked;
    setStats(stats);
}

void SyncEngine::dayTick(Instant now, int ticks)
{
    const QDate previousDay = m_today;
    m_today = now.localDate();
    const std::optional<QString> token = m_session.serverToken();
    if (token && m_statsDate && *m_statsDate != m_today && !m_statsReloading
        && (m_today != previousDay || ticks % 20 == 0))
        reloadStats(*token);
}

double SyncEngine::serverToday(Instant now) const
{
    return m_statsDate == now.localDate() ? m_stats.todaySeconds : 0;
}

double SyncEngine::serverWeek(Instant now) const
{
    if (!m_statsDate)
        return 0;
    const auto monday = [](const QDate &d) { return d.addDays(1 - d.dayOfWeek()); };
    return monday(*m_statsDate) == monday(now.localDate()) ? m_stats.weekSeconds : 0;
}

bool SyncEngine::stillOurs(int epoch) const
{
    // A reset of the local timer (another member signing in) makes the store
    // someone else's: a pass must not send or accept anything of it.
    return m_timer.epoch() == epoch;
}

QCoro::Task<void> SyncEngine::pushChanges(QString token, int epoch)
{
    if (m_syncing || !stillOurs(epoch))
        co_return;
    // However the pass ends, the next one can run; one that ended without a
    // verdict (an unexpected error) leaves no "syncing" line behind.
    const BusyFlag busy(this, m_syncing, [this] {
        if (m_sync == SyncState::syncing())
            setSync(SyncState::idle());
        Q_EMIT pushPassEnded();
    });
    setSync(SyncState::syncing());
    QPointer<SyncEngine> self(this);

    const std::optional<qint64> device = co_await m_devices.deviceID(token);
    Step step;
    if (!self)
        co_return;
    if (!stillOurs(epoch))
        step.kind = Step::Kind::abandoned;

    // Queued stops, oldest first, from the shared copy: stops that
    // zimbrel-control queued while we ran go out too.
    while (step.kind == Step::Kind::done) {
        const std::optional<TrackingSnapshot> stored = LocalTimer::readStore();
        if (!stored) {
            step = Step::failed(notRead);
            break;
        }
        if (!LocalTimer::stopsQueued(*stored))
            break;
        step = co_await pushQueuedStop(token, device, stored->pending->first(), epoch);
        if (!self)
            co_return;
    }
    if (step.kind == Step::Kind::done)
        step = co_await pushOpenStart(token, device, epoch);
    if (!self)
        co_return;

    if (step.kind == Step::Kind::failed)
        qCWarning(lcTracking, "sync failed: %s", qUtf8Printable(step.message));
    // The state line belongs to the session shown: a pass of an earlier
    // member (its token gone and another signed in) leaves it alone.
    const std::optional<QString> current = m_session.token();
    if (step.kind != Step::Kind::abandoned && (!current || *current == token))
        setSync(step.kind == Step::Kind::failed ? SyncState::failed(step.message) : SyncState::synced());
}

QCoro::Task<SyncEngine::Step> SyncEngine::pushQueuedStop(QString token, std::optional<qint64> device, PendingStop p,
                                                         int epoch)
{
    QPointer<SyncEngine> self(this);
    std::optional<qint64> entry = p.entryID;
    try {
        if (!p.startSynced) {
            // The server never heard of this session: its start goes first, once.
            const QJsonObject body = API::startBody(p, device, Instant::now());
            entry = co_await startSession(token, p.sessionID, body);
            if (!self)
                keepAcceptedStart(p.sessionID, entry);
            if (!self || !stillOurs(epoch))
                co_return Step{Step::Kind::abandoned, {}};
            // Recorded before the stop is sent, so a stop that fails now
            // closes this entry on a later pass instead of opening another.
            // Unrecorded, the stop still goes out: the entry should not stay open.
            if (recordStart(p.sessionID, entry))
                qCWarning(lcTracking, "accepted start of %s not recorded: %s", qUtf8Printable(p.sessionID),
                          qUtf8Printable(notSaved));
        }
        qCInfo(lcTracking, "time/stop → entry %lld", static_cast<long long>(entry.value_or(-1)));
        try {
            const QJsonObject body = API::stopBody(p, entry, device, Instant::now());
            co_await API::stop(token, body);
        } catch (const APIError &e) {
            if (!API::isNoActiveTimer(e))
                throw;
        }
    } catch (const APIError &e) {
        co_return Step::failed(e.message());
    }
    if (!self || !stillOurs(epoch))
        co_return Step{Step::Kind::abandoned, {}};

    // A store that cannot record this would hand us the same stop for ever.
    if (!m_timer.take(TrackingStore::acceptStop(p)))
        co_return Step::failed(notSaved);
    m_acceptedStarts.remove(p.sessionID);
    SentSessions::remember(p);
    co_return Step{};
}

QCoro::Task<SyncEngine::Step> SyncEngine::pushOpenStart(QString token, std::optional<qint64> device, int epoch)
{
    const std::optional<TrackingSnapshot> stored = LocalTimer::readStore();
    if (!stored)
        co_return Step::failed(notRead);
    if (!LocalTimer::startUnsent(*stored) || !stored->startedAt || !stored->sessionID)
        co_return Step{};

    QPointer<SyncEngine> self(this);
    const QString sent = *stored->sessionID;
    std::optional<qint64> entry;
    try {
        const QJsonObject body = API::startBody(*stored, device, Instant::now());
        entry = co_await startSession(token, sent, body);
    } catch (const APIError &e) {
        co_return Step::failed(e.message());
    }
    qCInfo(lcTracking, "time/start ok → entry %lld, device %lld", static_cast<long long>(entry.value_or(-1)),
           static_cast<long long>(device.value_or(-1)));
    // The accepted start is recorded even when the model has gone meanwhile;
    // a reset since (another member) made the store someone else's.
    if (!self)
        keepAcceptedStart(sent, entry);
    if (!self || !stillOurs(epoch))
        co_return Step{Step::Kind::abandoned, {}};
    const std::optional<QString> failure = recordStart(sent, entry);
    co_return failure ? Step::failed(*failure) : Step{};
}

QCoro::Task<std::optional<qint64>> SyncEngine::startSession(QString token, QString sessionID, QJsonObject body)
{
    if (const auto accepted = m_acceptedStarts.constFind(sessionID); accepted != m_acceptedStarts.cend())
        co_return *accepted;
    QPointer<SyncEngine> self(this);
    const QJsonObject answer = co_await API::start(token, body);
    const std::optional<qint64> entry = API::entryID(answer);
    if (self)
        m_acceptedStarts.insert(sessionID, entry);
    co_return entry;
}

std::optional<QString> SyncEngine::recordStart(const QString &sessionID, std::optional<qint64> entry)
{
    return m_timer.take(storeAcceptedStart(sessionID, entry)) ? std::nullopt : std::optional<QString>(notSaved);
}

QCoro::Task<void> SyncEngine::pushThenLogout(QString token, int epoch)
{
    QPointer<SyncEngine> self(this);
    // A pass already running would make ours return at once and the stop
    // would never be sent: wait for it to end first.
    while (self && m_syncing)
        co_await qCoro(this, &SyncEngine::pushPassEnded, 120s);
    if (!self)
        co_return;
    co_await pushChanges(token, epoch);
    co_await API::logout(token);
}

QCoro::Task<void> SyncEngine::adoptServerTimer(QString token)
{
    // Local state wins: a running session or queued stops.
    const auto localBusy = [](const TrackingSnapshot &s) { return s.isRunning || LocalTimer::stopsQueued(s); };
    if (localBusy(m_timer.snapshot()))
        co_return;
    QPointer<SyncEngine> self(this);
    API::CurrentTimer current;
    try {
        current = co_await API::current(token);
    } catch (const APIError &e) {
        qCWarning(lcTracking, "time/current failed: %s", qUtf8Printable(e.message()));
        co_return;
    }
    if (!self || m_session.serverToken() != token)
        co_return;
    if (!current.running || !current.startedAt)
        co_return;
    // An entry left open inside a session this computer already stopped is a
    // leftover of that session, not a timer started elsewhere.
    if (SentSessions::covers(*current.startedAt)) {
        qCWarning(lcTracking, "time/current: not adopting entry %lld started at %s, inside a session stopped here",
                  static_cast<long long>(current.entryID.value_or(-1)), qUtf8Printable(API::iso(*current.startedAt)));
        co_return;
    }

    // Check again on the stored copy: a start made while we asked wins.
    bool adopted = false;
    const StoreResult saved = TrackingStore::change([&](TrackingSnapshot &snap) {
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
    if (m_timer.take(saved) && adopted)
        m_timer.chooseAdopted(current.project, current.task);
}

QCoro::Task<void> SyncEngine::refresh()
{
    const std::optional<QString> tokenNow = m_session.serverToken();
    if (!tokenNow)
        co_return;
    const QString token = *tokenNow;
    QPointer<SyncEngine> self(this);
    const QDate asked = m_today;
    setLoading(true);
    setLoadError(std::nullopt);

    // Both requests are in flight at once; projects are awaited first, and
    // the statistics in every case so their frame ends cleanly.
    QCoro::Task<QList<Project>> projectsTask = API::projects(token);
    QCoro::Task<TodayStats> todayTask = API::today(token);
    std::optional<QList<Project>> projects;
    std::optional<TodayStats> stats;
    std::optional<QString> failure;
    try {
        projects = co_await std::move(projectsTask);
    } catch (const APIError &e) {
        failure = e.message();
    }
    try {
        stats = co_await std::move(todayTask);
    } catch (const APIError &e) {
        if (!failure)
            failure = e.message();
    }
    if (!self)
        co_return;
    const bool current = m_session.serverToken() == token;
    if (current && projects)
        m_timer.setProjects(*projects);

    if (failure) {
        if (!current) { // an earlier session's refresh: not this member's error
            if (!m_session.token())
                setLoading(false);
            co_return;
        }
        setLoadError(failure);
        if (failure->contains(u"session has expired"_s))
            Q_EMIT sessionExpired();
        setLoading(false);
        co_await syncNow();
        co_return;
    }
    if (current && stats)
        applyStats(*stats, asked);

    co_await adoptServerTimer(token);
    if (!self)
        co_return;
    if (m_session.serverToken() == token)
        m_timer.selectFirstIfNeeded();
    const double minutes = co_await API::screenshotInterval(token);
    if (!self)
        co_return;
    if (m_session.token() == token)
        Q_EMIT screenshotInterval(minutes);
    setLoading(false);
    co_await syncNow();
}

QString SyncEngine::syncText(int captures) const
{
    if (m_session.isDemo())
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
    if (!m_timer.isRunning())
        return u"Synced with Zimbrel."_s;
    QString text = u"Synced with Zimbrel"_s;
    if (captures >= 1)
        text += u" · "_s + QString::number(captures) + u" screenshot"_s + (captures == 1 ? u""_s : u"s"_s)
            + u" this session"_s;
    return text + u'.';
}

void SyncEngine::setSync(SyncState state)
{
    if (assign(m_sync, std::move(state)))
        Q_EMIT syncChanged();
}

void SyncEngine::setLoading(bool v)
{
    if (assign(m_loading, v))
        Q_EMIT loadingChanged();
}

void SyncEngine::setLoadError(std::optional<QString> error)
{
    if (assign(m_loadError, std::move(error)))
        Q_EMIT loadErrorChanged();
}
