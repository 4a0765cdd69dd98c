#pragma once

#include <QDate>
#include <QString>
#include <QTimeZone>

#include <optional>

// Days and weeks of a member, in the member's own time zone. Instants are
// milliseconds since 1970 UTC; a span is [from, to).
namespace Calendar {

struct Span {
    qint64 from = 0;
    qint64 to = 0;
};

// The member's zone: the IANA name if valid, else the server's zone.
QTimeZone zone(const QString &ianaName);
bool isValidZone(const QString &ianaName);

// The calendar day holding `instant` (23 or 25 hours long across a
// daylight-saving change).
Span day(qint64 instant, const QTimeZone &zone);
// The calendar day `date` in the zone.
Span day(QDate date, const QTimeZone &zone);
// Monday 00:00 to the next Monday 00:00 around `instant`.
Span week(qint64 instant, const QTimeZone &zone);

// Milliseconds of [start, stop) inside `span`.
qint64 overlap(qint64 start, qint64 stop, Span span);

// "HH:MM" of the instant in the zone.
QString clockTime(qint64 instant, const QTimeZone &zone);

// Instants the client sends: ISO 8601 in UTC with or without milliseconds,
// and "yyyy-MM-dd HH:mm:ss" meaning UTC. Nothing for other text.
std::optional<qint64> parseISO(const QString &text);
std::optional<qint64> parseStamp(const QString &text);
// ISO 8601 with milliseconds and Z, as the client writes it.
QString iso(qint64 instant);

} // namespace Calendar
