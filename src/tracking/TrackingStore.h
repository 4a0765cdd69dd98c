#pragma once

#include "StoreResult.h"
#include "TrackingSnapshot.h"

#include <functional>

// The one timer snapshot in the shared suite. No cached copy: every operation
// goes to the file. Every load-modify-save holds the suite's lock, so a stop
// appended by another process between our load and save is never lost; when
// the lock cannot be taken, or the stored document cannot be read just now,
// nothing is changed and the result says why.
//
// The functions returning StoreResult report failures; the older ones that
// return a bare snapshot stay for existing callers and drop that report.
namespace TrackingStore {

// The clock a transition reads, inside the locked span, so the instants of
// the queue always run forward across processes.
using Clock = std::function<Instant()>;

// ---- Reporting interface ----

// The stored snapshot. Not ok when the file is there but cannot be read just
// now (EACCES, EMFILE, EIO); `unreadable` when it is no snapshot (then
// `snapshot` holds what could be recovered from it). A missing file is the
// default snapshot and ok.
StoreResult read();

// Writes `snapshot` under the lock and posts the change signal. Not ok, and
// nothing written, when the lock cannot be taken, the stored document cannot
// be read just now, a number is not finite, or the write fails.
StoreResult write(const TrackingSnapshot &snapshot);

// Load, change, save under one lock. `change` returns false to leave the
// document untouched (no write, no signal; still ok). Not ok as for write().
StoreResult change(const std::function<bool(TrackingSnapshot &)> &change);

// Starts or stops the timer at the instant `clock` gives inside the lock;
// asking for the stored state writes nothing (ok, saved false).
StoreResult setRunning(bool running, const Clock &clock);

// Flips the stored state in one locked step, so two toggles never collapse
// into one.
StoreResult toggle(const Clock &clock);

// Starts or stops `snap` in place at `now`, without touching the file (for
// callers composing one locked change); false when it already is as asked.
bool transition(TrackingSnapshot &snap, bool running, Instant now);

// ---- Older interface: failures only logged ----

// The stored snapshot, or the default one when there is none or it cannot be
// read (what could be recovered, when it is no snapshot).
TrackingSnapshot load();

// As write(); the result may be ignored.
StoreResult save(const TrackingSnapshot &snapshot);

// As change(); returns the stored snapshot after the call (the unchanged one
// when the write failed). `saved` tells whether a document was written.
TrackingSnapshot update(const std::function<bool(TrackingSnapshot &)> &change, bool *saved = nullptr);

// As setRunning(running, clock) with a fixed instant.
TrackingSnapshot setRunning(bool running, Instant now);

// As toggle(clock) with a fixed instant.
TrackingSnapshot toggle(Instant now, bool *saved = nullptr);

// The server accepted `stop`: remove every queued stop of its session and take
// its seconds back out of the bank of its start day (never below 0).
TrackingSnapshot accept(const PendingStop &stop);
// As accept(), reporting as change() does.
StoreResult acceptStop(const PendingStop &stop);

// Drops the queue (the demo workspace keeps nothing to send); `banked` stays.
TrackingSnapshot clearPending();

// A new random session identifier: upper-case canonical UUID text (Uuid::create).
QString newSessionID();

} // namespace TrackingStore
