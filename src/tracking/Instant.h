#pragma once

#include <QDate>
#include <QDateTime>

#include <compare>

// A wall-clock instant as seconds since 2001-01-01 00:00:00 UTC, the form the
// stored snapshot uses. Keeping the same double in memory makes a snapshot
// round-trip through its JSON document exactly.
struct Instant {
    double seconds = 0; // since the reference date

    static constexpr qint64 referenceUnixSeconds = 978307200; // 2001-01-01T00:00:00Z

    static Instant now();
    static Instant fromSecondsSinceReference(double s) { return Instant{s}; }
    static Instant fromDateTime(const QDateTime &dt);
    static Instant fromUnixSeconds(double s) { return Instant{s - double(referenceUnixSeconds)}; }

    double unixSeconds() const { return seconds + double(referenceUnixSeconds); }
    QDateTime toDateTime() const; // local time zone, millisecond precision
    QDate localDate() const;      // calendar date in the current time zone

    // Seconds from `earlier` to this instant (negative when this one is earlier).
    double secondsSince(Instant earlier) const { return seconds - earlier.seconds; }
    Instant addSeconds(double s) const { return Instant{seconds + s}; }

    auto operator<=>(const Instant &) const = default;
    bool operator==(const Instant &) const = default;
};
