#include "Dashboard.h"

#include "Durations.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>

Dashboard Dashboard::compute(const QList<Store::Entry> &closed, const std::optional<Store::Entry> &open,
                             const QList<Store::ActivitySample> &samples, qint64 now, const QTimeZone &zone)
{
    Dashboard d;
    const Calendar::Span day = Calendar::day(now, zone);
    const Calendar::Span week = Calendar::week(now, zone);
    auto seen = [&](qint64 from, qint64 to) {
        const qint64 a = std::max(from, day.from);
        const qint64 b = std::min(to, day.to);
        if (b < a)
            return;
        d.firstActivity = d.firstActivity ? std::min(*d.firstActivity, a) : a;
        d.lastActivity = d.lastActivity ? std::max(*d.lastActivity, b) : b;
    };
    qint64 idleMs = 0;
    for (const Store::Entry &e : closed) {
        const qint64 stop = e.stoppedAt.value_or(e.startedAt);
        const qint64 inDay = Calendar::overlap(e.startedAt, stop, day);
        d.todayMs += inDay;
        d.weekMs += Calendar::overlap(e.startedAt, stop, week);
        if (e.type == QLatin1String("meeting"))
            d.meetingMs += inDay;
        if (e.type == QLatin1String("manual"))
            d.manualMs += inDay;
        if (inDay > 0)
            seen(e.startedAt, stop);
        // A sample covers the minute before it; one with no input at all is a
        // minute away from the keyboard.
        for (const Store::ActivitySample &s : samples) {
            if (s.percentage <= 0 && s.trackedAt > e.startedAt && s.trackedAt <= stop)
                idleMs += Calendar::overlap(s.trackedAt - 60000, s.trackedAt, {std::max(e.startedAt, day.from), std::min(stop, day.to)});
        }
    }
    if (open)
        seen(open->startedAt, std::max(open->startedAt, std::min(now, open->lastHeartbeatAt.value_or(now))));
    d.productiveMs = std::max<qint64>(0, d.todayMs - idleMs);
    return d;
}

double Dashboard::productivePercent() const
{
    if (todayMs <= 0)
        return 0;
    return std::round(double(productiveMs) * 1000.0 / double(todayMs)) / 10.0;
}

QJsonObject Dashboard::json(const QTimeZone &zone) const
{
    auto text = [](qint64 ms) { return Durations::shortDuration(double(ms) / 1000.0); };
    const QJsonObject totals{
        {QStringLiteral("time_tracked"), text(todayMs)},
        {QStringLiteral("meeting_time"), text(meetingMs)},
        {QStringLiteral("productive_time"), text(productiveMs)},
        {QStringLiteral("manual_time"), text(manualMs)},
        {QStringLiteral("productive_percent"), productivePercent()},
        {QStringLiteral("today_total_seconds"), double(todayMs / 1000)},
        {QStringLiteral("this_week_total_seconds"), double(weekMs / 1000)},
    };
    const QString none = QStringLiteral("--:--");
    const QJsonObject pattern{
        {QStringLiteral("start"), firstActivity ? Calendar::clockTime(*firstActivity, zone) : none},
        {QStringLiteral("end"), lastActivity ? Calendar::clockTime(*lastActivity, zone) : none},
    };
    return {{QStringLiteral("totals"), totals}, {QStringLiteral("working_patterns"), pattern}};
}
