#pragma once

#include "Instant.h"
#include "PendingStop.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The whole local state of the timer, shared by the app and zimbrel-control
// through one JSON document.
struct TrackingSnapshot {
    bool isRunning = false;
    std::optional<Instant> startedAt;
    QMap<QString, double> banked; // day key -> seconds of stopped sessions
    QString project;
    QString task;
    bool isPrivate = false;
    std::optional<QString> projectID;
    std::optional<QString> taskID;
    std::optional<QString> sessionID;
    std::optional<qint64> entryID;
    std::optional<bool> startSynced;
    std::optional<QList<PendingStop>> pending;

    // Seconds of all queued stops.
    double pendingSeconds() const;
    // Banked seconds of the day containing `now`, plus the running session.
    double todaySeconds(Instant now) const;
    // Banked seconds of the ISO week (Monday first) containing `now`, plus the running session.
    double weekSeconds(Instant now) const;
    // Seconds of the running session up to `now`; 0 when stopped or started in the future.
    double runningSeconds(Instant now) const;

    // "yyyy-MM-dd" of the instant's calendar date in the current time zone.
    static QString dayKey(Instant instant);
    static QString dayKey(const QDate &date);

    QJsonObject toJson() const;
    // Compact UTF-8 JSON; empty when a number is not finite (such a snapshot is never written).
    QByteArray encode() const;
    // Empty when the document is unreadable: not JSON, a missing required key,
    // a wrong type anywhere, or a non-finite number.
    static std::optional<TrackingSnapshot> decode(const QByteArray &document);
    static std::optional<TrackingSnapshot> fromJson(const QJsonObject &o);

    bool operator==(const TrackingSnapshot &) const = default;
};
