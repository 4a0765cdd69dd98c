#include "TrackingStore.h"

#include "SessionBus.h"
#include "SharedSuite.h"
#include "TrackingLog.h"


#include <QUuid>

#include <cmath>

namespace TrackingStore {

namespace {

struct Stored {
    TrackingSnapshot snapshot;
    bool unreadable = false; // something is there but it is no snapshot
    bool failed = false;     // a file is there that could not be read just now
};

Stored loadFrom(const QString &path)
{
    using State = SharedSuite::Document::State;
    const SharedSuite::Document document = SharedSuite::read(path);
    switch (document.state) {
    case State::missing:
        return {};
    case State::notAFile:
        return {TrackingSnapshot{}, true, false};
    case State::failed:
        qCWarning(lcTracking, "snapshot could not be read: %s", qUtf8Printable(document.error));
        return {TrackingSnapshot{}, false, true};
    case State::read:
        break;
    }
    if (auto snapshot = TrackingSnapshot::decode(document.bytes))
        return {std::move(*snapshot), false, false};
    return {TrackingSnapshot{}, true, false};
}

// Writes without taking the lock; the caller holds it. False when nothing was written.
bool saveTo(const QString &path, const TrackingSnapshot &snapshot, bool replacingUnreadable)
{
    bool saved = false;
    const QByteArray document = snapshot.encode();
    if (document.isEmpty()) {
        qCWarning(lcTracking, "snapshot save failed: a number is not finite; kept the stored snapshot");
    } else {
        if (replacingUnreadable) {
            const QString aside = SharedSuite::moveAside(path);
            if (!aside.isEmpty())
                qCWarning(lcTracking, "snapshot was unreadable; moved it to %s", qUtf8Printable(aside));
        }
        QString error;
        saved = SharedSuite::writeAtomically(path, document, &error);
        if (!saved)
            qCWarning(lcTracking, "snapshot save failed: %s", qUtf8Printable(error));
    }
    ChangeSignal::post();
    return saved;
}

} // namespace

QString newSessionID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

TrackingSnapshot load()
{
    return loadFrom(SharedSuite::snapshotPath()).snapshot;
}

void save(const TrackingSnapshot &snapshot)
{
    const QString path = SharedSuite::snapshotPath();
    SharedSuite::Lock lock(path);
    const Stored stored = loadFrom(path);
    if (!stored.failed)
        saveTo(path, snapshot, stored.unreadable);
}

TrackingSnapshot update(const std::function<bool(TrackingSnapshot &)> &change, bool *saved)
{
    const QString path = SharedSuite::snapshotPath();
    SharedSuite::Lock lock(path);
    Stored stored = loadFrom(path);
    // A document that could not be read just now may be perfectly good: never
    // replace it with a change made to the default snapshot.
    if (stored.failed) {
        if (saved)
            *saved = false;
        return stored.snapshot;
    }
    TrackingSnapshot snapshot = stored.snapshot;
    if (!change(snapshot)) {
        if (saved)
            *saved = false;
        return stored.snapshot;
    }
    // What is stored afterwards: the old document when the new one could not be written.
    const bool written = saveTo(path, snapshot, stored.unreadable);
    if (saved)
        *saved = written;
    return written ? snapshot : stored.snapshot;
}

// Starts or stops `snap` in place; false when it already is as asked.
static bool transition(TrackingSnapshot &snap, bool running, Instant now)
{
    if (running == snap.isRunning)
        return false;
    if (running) {
        snap.isRunning = true;
        snap.startedAt = now;
        snap.sessionID = newSessionID();
        snap.entryID.reset();
        snap.startSynced = false;
        return true;
    }
    const Instant start = snap.startedAt.value_or(now);
    double elapsed = snap.startedAt ? now.secondsSince(*snap.startedAt) : 0;
    if (!std::isfinite(elapsed) || elapsed < 0)
        elapsed = 0;
    const QString key = TrackingSnapshot::dayKey(start);
    snap.banked[key] = snap.banked.value(key, 0.0) + elapsed;

    PendingStop stop;
    stop.sessionID = snap.sessionID.value_or(newSessionID());
    stop.projectID = snap.projectID;
    stop.taskID = snap.taskID;
    stop.entryID = snap.entryID;
    stop.startSynced = snap.startSynced.value_or(false);
    stop.startedAt = start;
    stop.stoppedAt = now;
    stop.isPrivate = snap.isPrivate;
    if (!snap.pending)
        snap.pending.emplace();
    snap.pending->append(stop);

    snap.isRunning = false;
    snap.startedAt.reset();
    snap.sessionID.reset();
    snap.entryID.reset();
    snap.startSynced.reset();
    return true;
}

TrackingSnapshot setRunning(bool running, Instant now)
{
    return update([&](TrackingSnapshot &snap) { return transition(snap, running, now); });
}

TrackingSnapshot toggle(Instant now, bool *saved)
{
    return update([&](TrackingSnapshot &snap) { return transition(snap, !snap.isRunning, now); }, saved);
}

TrackingSnapshot accept(const PendingStop &stop)
{
    return update([&](TrackingSnapshot &snap) {
        if (snap.pending)
            snap.pending->removeIf([&](const PendingStop &p) { return p.sessionID == stop.sessionID; });
        const QString key = TrackingSnapshot::dayKey(stop.startedAt);
        snap.banked[key] = std::max(0.0, snap.banked.value(key, 0.0) - stop.duration());
        return true;
    });
}

TrackingSnapshot clearPending()
{
    return update([](TrackingSnapshot &snap) {
        snap.pending.reset();
        return true;
    });
}

} // namespace TrackingStore
