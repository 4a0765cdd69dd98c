#pragma once

#include "TrackingSnapshot.h"

#include <QByteArray>
#include <QString>

// What can still be read from a timer document that does not read as a
// snapshot (one field of the wrong type, a hand edit gone wrong): every
// queued stop that reads on its own, the running session when its start
// reads, the banked seconds that are numbers, and the labels that are text.
struct SnapshotSalvage {
    TrackingSnapshot snapshot;
    int stopsKept = 0;
    int stopsLost = 0;
    bool runningKept = false;
    bool runningLost = false; // it said running, but its start did not read

    static SnapshotSalvage from(const QByteArray &document);

    // "kept 2 queued stops and the running session; 1 queued stop could not be read"
    QString summary() const;
};
