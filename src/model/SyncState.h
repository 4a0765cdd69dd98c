#pragma once

#include <QString>

// State of the exchange with the server: idle until the first pass, syncing
// during a push pass, then synced or failed with the error's sentence.
struct SyncState {
    enum class Kind { idle, syncing, synced, failed };

    Kind kind = Kind::idle;
    QString message; // only for failed

    static SyncState idle() { return {}; }
    static SyncState syncing() { return {Kind::syncing, {}}; }
    static SyncState synced() { return {Kind::synced, {}}; }
    static SyncState failed(QString message) { return {Kind::failed, std::move(message)}; }

    bool operator==(const SyncState &) const = default;
};
