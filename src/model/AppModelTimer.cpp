// Choosing what to work on, starting and stopping, and the figures the screens show.
#include "AppModel.h"

#include "API.h"
#include "TrackingControl.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

using namespace Qt::StringLiterals;

const Project *AppModel::project() const
{
    if (!m_projectID)
        return nullptr;
    for (const Project &p : m_projects)
        if (p.id == *m_projectID)
            return &p;
    return nullptr;
}

const WorkTask *AppModel::task() const
{
    const Project *p = project();
    if (!p || !m_taskID)
        return nullptr;
    for (const WorkTask &t : p->tasks)
        if (t.id == *m_taskID)
            return &t;
    return nullptr;
}

bool AppModel::canStart() const
{
    const Project *p = project();
    return p && (p->tasks.isEmpty() || task());
}

void AppModel::setProjectID(std::optional<QString> id)
{
    if (id == m_projectID)
        return;
    m_projectID = std::move(id);
    Q_EMIT choiceChanged();
}

void AppModel::setTaskID(std::optional<QString> id)
{
    if (id == m_taskID)
        return;
    m_taskID = std::move(id);
    Q_EMIT choiceChanged();
}

void AppModel::chooseProject(const QString &projectID)
{
    for (const Project &p : m_projects) {
        if (p.id == projectID) {
            const Project chosen = p; // choose() may not keep a reference into m_projects
            choose(chosen);
            return;
        }
    }
}

void AppModel::choose(const Project &project)
{
    setProjectID(project.id);
    setTaskID(project.tasks.isEmpty() ? std::nullopt : std::optional<QString>(project.tasks.first().id));
    syncLabels(true);
}

void AppModel::selectFirstIfNeeded()
{
    if (project() && task())
        return;
    if (!project()) {
        // A running session shows what it runs for, not the first project.
        const Project *running = nullptr;
        if (m_snapshot.isRunning && m_snapshot.projectID)
            for (const Project &p : m_projects)
                if (p.id == *m_snapshot.projectID)
                    running = &p;
        if (running) {
            setProjectID(running->id);
            setTaskID(m_snapshot.taskID);
        } else {
            setProjectID(m_projects.isEmpty() ? std::nullopt : std::optional<QString>(m_projects.first().id));
        }
        if (task())
            return;
    }
    const Project *p = project();
    setTaskID(p && !p->tasks.isEmpty() ? std::optional<QString>(p->tasks.first().id) : std::nullopt);
}

void AppModel::syncLabels(bool save)
{
    const Project *p = project();
    const WorkTask *t = task();
    const QString projectName = p ? p->name : QString();
    const QString taskName = t ? t->name : QString();
    const std::optional<QString> projectID = p ? std::optional<QString>(p->id) : std::nullopt;
    const std::optional<QString> taskID = t ? std::optional<QString>(t->id) : std::nullopt;
    const TrackingSnapshot saved = TrackingStore::update([&](TrackingSnapshot &snap) {
        snap.project = projectName;
        snap.task = taskName;
        // A running session keeps the identifiers it was started with.
        if (!snap.isRunning) {
            snap.projectID = projectID;
            snap.taskID = taskID;
        }
        return true;
    });
    if (save)
        setSnapshot(saved);
}

void AppModel::setRunning(bool running)
{
    // Stop flush: the last usage record and activity sample of the entry. The
    // usage window and the counters are taken now, before anything awaits, so
    // the next tick's clean-up cannot empty them first.
    const Instant now = m_platform.clock();
    if (!running && m_token && !m_isDemo && m_snapshot.startSynced == true && m_usageApp)
        stopFlush(*m_token, m_snapshot.entryID, now);

    syncLabels(false);
    setSnapshot(TrackingStore::setRunning(running, now));
    TrackingControl::reload();
    if (m_isDemo)
        setSnapshot(TrackingStore::clearPending());
    syncNow();
}

QCoro::Task<void> AppModel::stopFlush(QString token, std::optional<qint64> entry, Instant stopAt)
{
    // Take the usage window and the counters before the first wait: from here
    // on they belong to this flush, and a new session opens its own window.
    QPointer<AppModel> self(this);
    const std::optional<QString> app = std::exchange(m_usageApp, std::nullopt);
    const Instant usageStart = m_usageStart;
    const InputCounts counts = m_monitor.drain();
    const Instant sampleFrom = m_lastSample;
    m_lastSample = stopAt;
    try {
        const std::optional<qint64> device = co_await knownDevice(token);
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
    } catch (...) {
    }
}

void AppModel::setPrivate(bool on)
{
    setSnapshot(TrackingStore::update([on](TrackingSnapshot &snap) {
        if (snap.isPrivate == on)
            return false;
        snap.isPrivate = on;
        return true;
    }));
}

void AppModel::resetLocalTimer()
{
    ++m_localEpoch;
    TrackingStore::save(TrackingSnapshot{});
    setSnapshot(TrackingSnapshot{});
    TrackingControl::reload();
}

double AppModel::sessionSeconds() const
{
    return m_snapshot.runningSeconds(m_now);
}

double AppModel::todaySeconds() const
{
    if (m_isDemo)
        return m_stats.todaySeconds + m_snapshot.todaySeconds(m_now);
    return serverToday() + sessionSeconds() + m_snapshot.pendingSeconds();
}

double AppModel::weekSeconds() const
{
    if (m_isDemo)
        return m_stats.weekSeconds + m_snapshot.weekSeconds(m_now);
    return serverWeek() + sessionSeconds() + m_snapshot.pendingSeconds();
}

double AppModel::serverToday() const
{
    return m_statsDate == m_now.localDate() ? m_stats.todaySeconds : 0;
}

double AppModel::serverWeek() const
{
    if (!m_statsDate)
        return 0;
    const QDate today = m_now.localDate();
    const auto monday = [](const QDate &d) { return d.addDays(1 - d.dayOfWeek()); };
    return monday(*m_statsDate) == monday(today) ? m_stats.weekSeconds : 0;
}

QString AppModel::greeting() const
{
    const int hour = m_now.toDateTime().time().hour();
    if (hour >= 18)
        return u"Good evening"_s;
    if (hour >= 12)
        return u"Good afternoon"_s;
    return u"Good morning"_s;
}
