#pragma once

#include "TrackingSnapshot.h"

#include <QString>

#include <optional>

// Stopped sessions and queued stops of a member, set aside while someone else
// (the demo workspace, another member) uses the timer, and given back when
// that member signs in again. One document beside the snapshot,
// "tracking.kept.v1": a JSON object from the member's e-mail address in lower
// case to a snapshot; mode 0600 in the snapshot's 0700 folder.
namespace KeptTimers {

QString path();

// Adds what `snapshot` still owes the server (its queue and banked time) to
// what is kept for `member`. False, logged, when it could not be written.
bool keep(const QString &member, const TrackingSnapshot &snapshot);

// What is kept for `member` (letter case ignored), removed from the document.
std::optional<TrackingSnapshot> take(const QString &member);

// Puts the queue and banked time of `kept` in front of those of `into`: its
// stops are older than anything queued since. Sessions already queued in
// `into` are not added twice.
void merge(TrackingSnapshot &into, const TrackingSnapshot &kept);

} // namespace KeptTimers
