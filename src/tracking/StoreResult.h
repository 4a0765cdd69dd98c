#pragma once

#include "TrackingSnapshot.h"

#include <QString>

// What one store operation found and did. A failure is never silent: when the
// stored state could not be read, or the lock could not be taken, or the new
// document could not be written, `error` says so and nothing was changed.
struct StoreResult {
    // What is stored after the call: the written snapshot, or the one that
    // was there before when nothing was written. When the document does not
    // read as a snapshot, what could be recovered from it; when it could not
    // be read at all, the default snapshot (do not take that for the state).
    TrackingSnapshot snapshot;
    // A new document was written.
    bool saved = false;
    // The stored document is not a readable snapshot (set aside by the next
    // write); `snapshot` holds what could be recovered from it.
    bool unreadable = false;
    // Empty on success, else a sentence such as "the timer state could not be
    // read: Permission denied".
    QString error;
    // Set when this call set an unreadable document aside: what was kept from
    // it and where the old file went.
    QString repair;

    bool ok() const { return error.isEmpty(); }
};
