#include "LocalTimer.h"

#include "Assign.h"
#include "TrackingControl.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

LocalTimer::LocalTimer(QObject *parent)
    : QObject(parent)
{
    // Unreadable just now: shown as stopped until a change signal brings the real state.
    if (const std::optional<TrackingSnapshot> stored = readStore())
        m_snapshot = *stored;
}

bool LocalTimer::stopsQueued(const TrackingSnapshot &snapshot)
{
    return snapshot.pending && !snapshot.pending->isEmpty();
}

bool LocalTimer::startUnsent(const TrackingSnapshot &snapshot)
{
    return snapshot.isRunning && snapshot.startSynced != true;
}

void LocalTimer::setSnapshot(TrackingSnapshot snapshot)
{
    if (assign(m_snapshot, std::move(snapshot)))
        Q_EMIT snapshotChanged();
}

void LocalTimer::setProjects(QList<Project> projects)
{
    if (!assign(m_projects, std::move(projects)))
        return;
    Q_EMIT projectsChanged();
    Q_EMIT choiceChanged();
}

void LocalTimer::setProjectID(std::optional<QString> id)
{
    if (assign(m_projectID, std::move(id)))
        Q_EMIT choiceChanged();
}

void LocalTimer::setTaskID(std::optional<QString> id)
{
    if (assign(m_taskID, std::move(id)))
        Q_EMIT choiceChanged();
}

void LocalTimer::clearChoice()
{
    setProjects({});
    setProjectID(std::nullopt);
    setTaskID(std::nullopt);
}

const Project *LocalTimer::project() const
{
    if (!m_projectID)
        return nullptr;
    for (const Project &p : m_projects)
        if (p.id == *m_projectID)
            return &p;
    return nullptr;
}

const WorkTask *LocalTimer::task() const
{
    const Project *p = project();
    if (!p || !m_taskID)
        return nullptr;
    for (const WorkTask &t : p->tasks)
        if (t.id == *m_taskID)
            return &t;
    return nullptr;
}

bool LocalTimer::canStart() const
{
    const Project *p = project();
    return p && (p->tasks.isEmpty() || task());
}

void LocalTimer::chooseProject(const QString &projectID)
{
    for (const Project &p : m_projects) {
        if (p.id == projectID) {
            const Project chosen = p; // choose() may not keep a reference into m_projects
            choose(chosen);
            return;
        }
    }
}

static std::optional<QString> firstTask(const Project *p)
{
    return p && !p->tasks.isEmpty() ? std::optional<QString>(p->tasks.first().id) : std::nullopt;
}

void LocalTimer::choose(const Project &project)
{
    setProjectID(project.id);
    setTaskID(firstTask(&project));
    syncLabels(true);
}

void LocalTimer::selectFirstIfNeeded()
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
    setTaskID(firstTask(project()));
}

void LocalTimer::chooseAdopted(const std::optional<QString> &projectID, const std::optional<QString> &taskID)
{
    if (!projectID)
        return;
    for (const Project &p : m_projects) {
        if (p.id != *projectID)
            continue;
        setProjectID(p.id);
        setTaskID(taskID ? taskID : firstTask(&p));
        return;
    }
}

void LocalTimer::syncLabels(bool save)
{
    const Project *p = project();
    const WorkTask *t = task();
    const QString projectName = p ? p->name : QString();
    const QString taskName = t ? t->name : QString();
    const std::optional<QString> projectID = p ? std::optional<QString>(p->id) : std::nullopt;
    const std::optional<QString> taskID = t ? std::optional<QString>(t->id) : std::nullopt;
    const StoreResult saved = TrackingStore::change([&](TrackingSnapshot &snap) {
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
        take(saved);
}

void LocalTimer::setRunning(bool running, const TrackingStore::Clock &clock, bool demo)
{
    syncLabels(false);
    take(TrackingStore::setRunning(running, clock));
    TrackingControl::reload();
    // Demo stops are never queued for the server.
    if (demo)
        take(TrackingStore::change([](TrackingSnapshot &snap) {
            if (!snap.pending)
                return false;
            snap.pending.reset();
            return true;
        }));
}

void LocalTimer::setPrivate(bool on)
{
    take(TrackingStore::change([on](TrackingSnapshot &snap) {
        if (snap.isPrivate == on)
            return false;
        snap.isPrivate = on;
        return true;
    }));
}

void LocalTimer::reset()
{
    ++m_epoch;
    // An empty timer stays as it is: the demo resets it at every launch, and
    // each write waits for the disk twice.
    const StoreResult saved = TrackingStore::change([](TrackingSnapshot &snap) {
        if (snap == TrackingSnapshot{})
            return false;
        snap = TrackingSnapshot{};
        return true;
    });
    if (!saved.ok())
        qCWarning(lcTracking, "the local timer was not reset: %s", qUtf8Printable(saved.error));
    setSnapshot(TrackingSnapshot{});
    TrackingControl::reload();
}

std::optional<TrackingSnapshot> LocalTimer::readStore()
{
    StoreResult stored = TrackingStore::read();
    if (!stored.ok()) {
        qCWarning(lcTracking, "kept the timer state shown: %s", qUtf8Printable(stored.error));
        return std::nullopt;
    }
    return std::move(stored.snapshot);
}

bool LocalTimer::take(const StoreResult &result)
{
    if (!result.ok()) {
        qCWarning(lcTracking, "kept the timer state shown: %s", qUtf8Printable(result.error));
        return false;
    }
    setSnapshot(result.snapshot);
    return true;
}

bool LocalTimer::reload()
{
    std::optional<TrackingSnapshot> stored = readStore();
    if (!stored)
        return false;
    if (*stored == m_snapshot)
        return false;
    setSnapshot(std::move(*stored));
    return true;
}
