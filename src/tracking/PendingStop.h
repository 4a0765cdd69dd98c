#pragma once

#include "Instant.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// A stopped session that the server has not accepted yet.
struct PendingStop {
    QString sessionID;
    std::optional<QString> projectID;
    std::optional<QString> taskID;
    std::optional<qint64> entryID;
    bool startSynced = false;
    Instant startedAt;
    Instant stoppedAt;
    bool isPrivate = false;
    // Why the session ended, as the server's "stop_reason" takes it; absent
    // for a stop by hand ("manual").
    std::optional<QString> stopReason;

    // Seconds of the stop; a negative or NaN span counts as 0.
    double duration() const;

    QJsonObject toJson() const;
    // Empty when a required key is missing or a value has the wrong type.
    static std::optional<PendingStop> fromJson(const QJsonValue &value);

    bool operator==(const PendingStop &) const = default;
};
