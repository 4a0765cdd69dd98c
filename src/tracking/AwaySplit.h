#pragma once

#include "Instant.h"
#include "StoreResult.h"

#include <QString>

#include <optional>

// Ends a session at the moment its member went away, as one locked
// load-modify-save on the shared snapshot, so zimbrel-control and the app
// always see either the whole split or none of it.
namespace AwaySplit {

enum class Outcome {
    stopped,   // the running session now ends at the away instant
    restarted, // ... and a new session with the same work runs from `restartAt`
    shortened, // the session had been stopped already: its queued stop moved back
    unchanged, // nothing to do: the stop was already earlier, or the server has it
};

struct Result {
    StoreResult store;
    Outcome outcome = Outcome::unchanged;
};

// Session `sessionID` ends at `awayFrom` (never before its start) with the
// stop reason "idle"; the bank keeps only the time before. When it still
// runs and `restartAt` is given, a new session starts then with the same
// project, task and private flag. When it was stopped already and its stop
// still waits in the queue, the stop moves to the earlier of the two instants.
Result discard(const QString &sessionID, Instant awayFrom, std::optional<Instant> restartAt);

inline constexpr auto idleReason = "idle";

} // namespace AwaySplit
