#include "AwaySplit.h"

#include "TrackingStore.h"

#include <algorithm>

namespace AwaySplit {

Result discard(const QString &sessionID, Instant awayFrom, std::optional<Instant> restartAt)
{
    Result result;
    const QString reason = QString::fromLatin1(idleReason);
    result.store = TrackingStore::change([&](TrackingSnapshot &snap) {
        result.outcome = Outcome::unchanged;
        if (snap.isRunning && snap.sessionID == sessionID) {
            const Instant at = std::max(awayFrom, snap.startedAt.value_or(awayFrom));
            TrackingStore::transition(snap, false, at);
            snap.pending->last().stopReason = reason;
            result.outcome = Outcome::stopped;
            if (restartAt && *restartAt >= at) {
                TrackingStore::transition(snap, true, *restartAt);
                result.outcome = Outcome::restarted;
            }
            return true;
        }
        if (!snap.pending)
            return false;
        for (PendingStop &stop : *snap.pending) {
            if (stop.sessionID != sessionID)
                continue;
            const Instant at = std::max(awayFrom, stop.startedAt);
            if (at >= stop.stoppedAt)
                return false;
            const QString key = TrackingSnapshot::dayKey(stop.startedAt);
            const double cut = stop.stoppedAt.secondsSince(at);
            snap.banked[key] = std::max(0.0, snap.banked.value(key, 0.0) - cut);
            stop.stoppedAt = at;
            stop.stopReason = reason;
            result.outcome = Outcome::shortened;
            return true;
        }
        return false;
    });
    if (!result.store.ok())
        result.outcome = Outcome::unchanged;
    return result;
}

} // namespace AwaySplit
