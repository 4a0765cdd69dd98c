#pragma once

#include "Calendar.h"
#include "Store.h"

#include <QJsonObject>

// The figures of a member's day and week. Only closed entries count: the
// client adds its own running time to these totals, so counting the open
// entry here would show it twice.
struct Dashboard {
    qint64 todayMs = 0;
    qint64 weekMs = 0;
    qint64 meetingMs = 0;    // entries of type "meeting"
    qint64 manualMs = 0;     // entries of type "manual"
    qint64 productiveMs = 0; // tracked time less the minutes sampled with no input
    std::optional<qint64> firstActivity, lastActivity;

    // `closed`: the member's closed entries overlapping the week; `open`: the
    // running entry; `samples`: today's activity samples; `now` decides today.
    static Dashboard compute(const QList<Store::Entry> &closed, const std::optional<Store::Entry> &open,
                             const QList<Store::ActivitySample> &samples, qint64 now, const QTimeZone &zone);

    double productivePercent() const;
    // The "data" of GET dashboard, durations written as the client shows them.
    QJsonObject json(const QTimeZone &zone) const;
};
