#pragma once

#include "TrackingSnapshot.h"

#include <functional>

// The one timer snapshot in the shared suite. No cached copy: every operation
// goes to the file. Every load-modify-save holds the suite's lock, so a stop
// appended by another process between our load and save is never lost.
namespace TrackingStore {

// The stored snapshot, or the default one when there is none or it does not read.
TrackingSnapshot load();

// Writes the snapshot (under the lock) and posts the change signal. A snapshot
// with a non-finite number, or a failed write, leaves the old document in place;
// the signal is posted all the same so observers reload.
void save(const TrackingSnapshot &snapshot);

// Load, change, save under one lock. `change` returns false to leave the
// document untouched (no write, no signal). Returns the stored snapshot after
// the call: the unchanged one when the write failed.
TrackingSnapshot update(const std::function<bool(TrackingSnapshot &)> &change, bool *saved = nullptr);

// Starts or stops the timer at `now`; asking for the stored state does nothing.
TrackingSnapshot setRunning(bool running, Instant now);

// Flips the stored state in one locked step, so two toggles never collapse
// into one. `saved` tells whether the flip was written.
TrackingSnapshot toggle(Instant now, bool *saved = nullptr);

// The server accepted `stop`: remove every queued stop of its session and take
// its seconds back out of the bank of its start day (never below 0).
TrackingSnapshot accept(const PendingStop &stop);

// Drops the queue (the demo workspace keeps nothing to send); `banked` stays.
TrackingSnapshot clearPending();

// A new random session identifier: upper-case canonical UUID text.
QString newSessionID();

} // namespace TrackingStore
