#pragma once

#include "Instant.h"
#include "Project.h"
#include "TrackingSnapshot.h"
#include "TrackingStore.h"

#include <QList>
#include <QObject>

#include <optional>

// The timer as this computer knows it: the stored snapshot, the projects to
// choose from and the current choice. Every change of the snapshot is saved
// through the store first and then assigned here.
class LocalTimer : public QObject {
    Q_OBJECT
public:
    explicit LocalTimer(QObject *parent = nullptr);

    // Stops wait in the snapshot's queue for the server.
    static bool stopsQueued(const TrackingSnapshot &snapshot);
    // The running session's start has not been accepted by the server yet.
    static bool startUnsent(const TrackingSnapshot &snapshot);

    // What the store holds; nothing (logged) when the document is there but
    // cannot be read just now: that is no reason to take it for stopped.
    static std::optional<TrackingSnapshot> readStore();
    // Shows what the store holds after an operation. When the store could not
    // read or write, the state shown stays and the reason is logged; false then.
    bool take(const StoreResult &result);

    const TrackingSnapshot &snapshot() const { return m_snapshot; }
    void setSnapshot(TrackingSnapshot snapshot);
    bool isRunning() const { return m_snapshot.isRunning; }
    // The running session's start has been accepted by the server.
    bool startAccepted() const { return m_snapshot.isRunning && m_snapshot.startSynced == true; }

    const QList<Project> &projects() const { return m_projects; }
    void setProjects(QList<Project> projects);
    std::optional<QString> projectID() const { return m_projectID; }
    std::optional<QString> taskID() const { return m_taskID; }
    void setProjectID(std::optional<QString> id);
    void setTaskID(std::optional<QString> id);
    // Sign-out: nothing to choose from, nothing chosen.
    void clearChoice();

    const Project *project() const;
    const WorkTask *task() const;
    bool canStart() const;
    void chooseProject(const QString &projectID);
    void choose(const Project &project);
    void selectFirstIfNeeded();
    // Copies the choice's names (and, while stopped, its identifiers) into the stored snapshot.
    void syncLabels(bool save);
    // Takes over the identifiers of a timer adopted from the server.
    void chooseAdopted(const std::optional<QString> &projectID, const std::optional<QString> &taskID);

    // Starts or stops the stored timer at the instant `clock` gives; the demo queues nothing.
    void setRunning(bool running, const TrackingStore::Clock &clock, bool demo);
    // The private switch: written straight to the store.
    void setPrivate(bool on);
    // Replaces the stored snapshot by an empty one, queue and all.
    void reset();
    // Grows with every reset: a pass that began before one works on someone else's timer.
    int epoch() const { return m_epoch; }
    // Takes what another process stored; true when it differs from what is shown.
    bool reload();

Q_SIGNALS:
    void snapshotChanged();
    void projectsChanged();
    void choiceChanged();

private:
    TrackingSnapshot m_snapshot;
    QList<Project> m_projects;
    std::optional<QString> m_projectID;
    std::optional<QString> m_taskID;
    int m_epoch = 0;
};
