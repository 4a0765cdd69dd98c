#include "TrackingStore.h"

#include "SessionBus.h"
#include "SharedSuite.h"
#include "SnapshotSalvage.h"
#include "TrackingLog.h"
#include "Uuid.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace TrackingStore {

namespace {

const QString couldNotRead = u"the timer state could not be read: %1"_s;
const QString couldNotLock = u"the timer state could not be locked: %1"_s;
const QString couldNotSave = u"the timer state could not be saved: %1"_s;

struct Stored {
    StoreResult result;             // snapshot, unreadable, error
    std::optional<SnapshotSalvage> salvage; // set when unreadable
};

Stored loadFrom(const QString &path)
{
    using State = SharedSuite::Document::State;
    const SharedSuite::Document document = SharedSuite::read(path);
    Stored stored;
    switch (document.state) {
    case State::missing:
        return stored;
    case State::notAFile:
        stored.result.unreadable = true;
        stored.salvage.emplace();
        return stored;
    case State::failed:
        qCWarning(lcTracking, "snapshot could not be read: %s", qUtf8Printable(document.error));
        stored.result.error = couldNotRead.arg(document.error);
        return stored;
    case State::read:
        break;
    }
    if (auto snapshot = TrackingSnapshot::decode(document.bytes)) {
        stored.result.snapshot = std::move(*snapshot);
        return stored;
    }
    // One bad field must not cost the queue: keep what still reads.
    stored.salvage = SnapshotSalvage::from(document.bytes);
    stored.result.snapshot = stored.salvage->snapshot;
    stored.result.unreadable = true;
    return stored;
}

// Writes without taking the lock; the caller holds it. Fills `saved`, `error`
// and `repair` of `result`.
void saveTo(const QString &path, const TrackingSnapshot &snapshot, const Stored &stored, StoreResult &result)
{
    const QByteArray document = snapshot.encode();
    if (document.isEmpty()) {
        qCWarning(lcTracking, "snapshot save failed: a number is not finite; kept the stored snapshot");
        result.error = couldNotSave.arg(u"a number is not finite"_s);
    } else {
        SharedSuite::removeStaleTemporaries(path);
        if (stored.result.unreadable) {
            const QString aside = SharedSuite::moveAside(path);
            if (!aside.isEmpty()) {
                const QString kept = stored.salvage ? stored.salvage->summary() : QString();
                qCWarning(lcTracking, "snapshot was unreadable; moved it to %s; %s", qUtf8Printable(aside),
                          qUtf8Printable(kept));
                result.repair = u"the timer state was unreadable and has been repaired: %1 (the old file is %2)"_s
                                    .arg(kept, aside);
            }
        }
        QString error;
        result.saved = SharedSuite::writeAtomically(path, document, &error);
        if (!result.saved) {
            qCWarning(lcTracking, "snapshot save failed: %s", qUtf8Printable(error));
            result.error = couldNotSave.arg(error);
        }
    }
    ChangeSignal::post();
}

} // namespace

QString newSessionID()
{
    return Uuid::create();
}

StoreResult read()
{
    return loadFrom(SharedSuite::snapshotPath()).result;
}

TrackingSnapshot load()
{
    return read().snapshot;
}

StoreResult change(const std::function<bool(TrackingSnapshot &)> &change)
{
    const QString path = SharedSuite::snapshotPath();
    SharedSuite::Lock lock(path);
    if (!lock.held()) {
        // Unlocked, another process's change could be lost: change nothing.
        StoreResult result = loadFrom(path).result;
        if (result.ok())
            result.error = couldNotLock.arg(lock.error());
        return result;
    }
    const Stored stored = loadFrom(path);
    // A document that could not be read just now may be perfectly good: never
    // replace it with a change made to the default snapshot.
    if (!stored.result.ok())
        return stored.result;
    TrackingSnapshot snapshot = stored.result.snapshot;
    if (!change(snapshot))
        return stored.result;
    StoreResult result;
    saveTo(path, snapshot, stored, result);
    // What is stored afterwards: the old document when the new one could not be written.
    result.snapshot = result.saved ? snapshot : stored.result.snapshot;
    result.unreadable = !result.saved && stored.result.unreadable;
    return result;
}

StoreResult write(const TrackingSnapshot &snapshot)
{
    return change([&](TrackingSnapshot &stored) {
        stored = snapshot;
        return true;
    });
}

StoreResult save(const TrackingSnapshot &snapshot)
{
    return write(snapshot);
}

TrackingSnapshot update(const std::function<bool(TrackingSnapshot &)> &changeFn, bool *saved)
{
    const StoreResult result = change(changeFn);
    if (saved)
        *saved = result.saved;
    return result.snapshot;
}

bool transition(TrackingSnapshot &snap, bool running, Instant now)
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

StoreResult setRunning(bool running, const Clock &clock)
{
    return change([&](TrackingSnapshot &snap) { return running != snap.isRunning && transition(snap, running, clock()); });
}

StoreResult toggle(const Clock &clock)
{
    return change([&](TrackingSnapshot &snap) { return transition(snap, !snap.isRunning, clock()); });
}

TrackingSnapshot setRunning(bool running, Instant now)
{
    const Clock fixed = [now] { return now; };
    return setRunning(running, fixed).snapshot;
}

TrackingSnapshot toggle(Instant now, bool *saved)
{
    const Clock fixed = [now] { return now; };
    const StoreResult result = toggle(fixed);
    if (saved)
        *saved = result.saved;
    return result.snapshot;
}

StoreResult acceptStop(const PendingStop &stop)
{
    return change([&](TrackingSnapshot &snap) {
        // The bank holds the queued copy's seconds, which a discard of time
        // away may have shortened while this stop was on its way.
        double seconds = stop.duration();
        if (snap.pending) {
            for (const PendingStop &p : std::as_const(*snap.pending))
                if (p.sessionID == stop.sessionID) {
                    seconds = p.duration();
                    break;
                }
            snap.pending->removeIf([&](const PendingStop &p) { return p.sessionID == stop.sessionID; });
        }
        const QString key = TrackingSnapshot::dayKey(stop.startedAt);
        snap.banked[key] = std::max(0.0, snap.banked.value(key, 0.0) - seconds);
        return true;
    });
}

TrackingSnapshot accept(const PendingStop &stop)
{
    return acceptStop(stop).snapshot;
}

TrackingSnapshot clearPending()
{
    return update([](TrackingSnapshot &snap) {
        snap.pending.reset();
        return true;
    });
}

} // namespace TrackingStore
