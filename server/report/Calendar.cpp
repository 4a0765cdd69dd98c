#include "Calendar.h"

#include "WireTime.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace Calendar {

bool isValidZone(const QString &ianaName)
{
    return !ianaName.isEmpty() && QTimeZone::isTimeZoneIdAvailable(ianaName.toUtf8());
}

QTimeZone zone(const QString &ianaName)
{
    if (isValidZone(ianaName))
        return QTimeZone(ianaName.toUtf8());
    return QTimeZone::systemTimeZone();
}

namespace {
qint64 midnight(QDate date, const QTimeZone &zone)
{
    // Where midnight does not exist (a zone that springs forward at 00:00),
    // Qt moves it to the first valid time of the day.
    return QDateTime(date, QTime(0, 0), zone).toMSecsSinceEpoch();
}
} // namespace

Span day(qint64 instant, const QTimeZone &zone)
{
    const QDate d = QDateTime::fromMSecsSinceEpoch(instant, zone).date();
    return {midnight(d, zone), midnight(d.addDays(1), zone)};
}

Span day(QDate date, const QTimeZone &zone)
{
    return {midnight(date, zone), midnight(date.addDays(1), zone)};
}

Span week(qint64 instant, const QTimeZone &zone)
{
    const QDate d = QDateTime::fromMSecsSinceEpoch(instant, zone).date();
    const QDate monday = d.addDays(1 - d.dayOfWeek());
    return {midnight(monday, zone), midnight(monday.addDays(7), zone)};
}

qint64 overlap(qint64 start, qint64 stop, Span span)
{
    const qint64 from = std::max(start, span.from);
    const qint64 to = std::min(stop, span.to);
    return to > from ? to - from : 0;
}

QString clockTime(qint64 instant, const QTimeZone &zone)
{
    return QDateTime::fromMSecsSinceEpoch(instant, zone).toString(QStringLiteral("HH:mm"));
}

std::optional<qint64> parseISO(const QString &text)
{
    // Only the UTC forms the client writes, and explicit offsets; a bare local
    // time would be read in the server's zone, which the client never means.
    static const QRegularExpression form(QStringLiteral(
        R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d{1,9})?(Z|[+-]\d{2}:\d{2})$)"));
    if (text.size() > 40 || !form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        return std::nullopt;
    return dt.toMSecsSinceEpoch();
}

std::optional<qint64> parseStamp(const QString &text)
{
    return WireTime::parseStamp(text);
}

QString iso(qint64 instant)
{
    return WireTime::iso(instant);
}

} // namespace Calendar
