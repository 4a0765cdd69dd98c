#include "DayReport.h"

#include <QMap>

#include <algorithm>

namespace {

QString projectOf(const Store::Entry &e)
{
    return e.projectName.isEmpty() ? e.projectRef : e.projectName;
}

} // namespace

int DayReport::slotOf(qint64 instant) const
{
    return int((instant - span.from) / slotMs);
}

DayReport DayReport::compute(Calendar::Span span, const QList<Store::Entry> &entries,
                             const QList<Store::ActivitySample> &samples, const QList<Store::UsageRecord> &usage,
                             const QList<Store::Screenshot> &screenshots, qint64 now)
{
    DayReport d;
    d.span = span;

    for (const Store::Entry &e : entries) {
        const qint64 stop = e.stoppedAt.value_or(std::max(now, e.startedAt));
        if (Calendar::overlap(e.startedAt, stop, span) <= 0)
            continue;
        Entry out;
        out.id = e.id;
        out.from = std::max(e.startedAt, span.from);
        out.to = std::min(stop, span.to);
        out.running = !e.stoppedAt;
        out.projectId = e.projectId;
        out.project = projectOf(e);
        out.task = e.taskName.isEmpty() ? e.taskRef : e.taskName;
        out.needsReview = e.flagged;
        out.isPrivate = e.isPrivate;
        out.type = e.type;
        d.trackedMs += out.ms();
        if (out.needsReview)
            d.reviewMs += out.ms();
        d.entries.append(out);
    }

    // Every ten minutes of the day (a 23- or 25-hour day has 138 or 150).
    const int count = int((span.to - span.from + slotMs - 1) / slotMs);
    d.slots.resize(count);
    QList<double> sums(count, 0.0);
    QList<int> counts(count, 0);
    double total = 0;
    int all = 0;
    for (int i = 0; i < count; ++i)
        d.slots[i].from = span.from + i * slotMs;
    for (const Store::ActivitySample &s : samples) {
        if (s.trackedAt <= span.from || s.trackedAt > span.to)
            continue;
        const int i = std::clamp(d.slotOf(s.trackedAt - 1), 0, count - 1);
        sums[i] += s.percentage;
        ++counts[i];
        d.slots[i].keys += s.keystrokes;
        d.slots[i].clicks += s.mouseClicks;
        total += s.percentage;
        ++all;
    }
    for (int i = 0; i < count; ++i) {
        if (counts[i] > 0)
            d.slots[i].activity = sums[i] / counts[i];
    }
    if (all > 0)
        d.activity = total / all;

    QMap<QString, qint64> apps;
    for (const Store::UsageRecord &u : usage) {
        if (const qint64 ms = Calendar::overlap(u.startedAt, u.endedAt, span); ms > 0)
            apps[u.appName] += ms;
    }
    for (auto it = apps.cbegin(); it != apps.cend(); ++it)
        d.apps.append({it.key(), it.value()});
    std::stable_sort(d.apps.begin(), d.apps.end(), [](const App &a, const App &b) { return a.ms > b.ms; });

    for (const Store::Screenshot &s : screenshots) {
        if (s.capturedAt < span.from || s.capturedAt >= span.to)
            continue;
        Shot shot{s.id, s.capturedAt, {}, {}, {}};
        // Its ten minutes are those its activity sample would fall in.
        const int slot = std::clamp(d.slotOf(std::max(s.capturedAt - 1, span.from)), 0, count - 1);
        shot.activity = d.slots[slot].activity;
        for (const Store::UsageRecord &u : usage) {
            if (u.startedAt <= s.capturedAt && s.capturedAt < u.endedAt)
                shot.app = u.appName; // the latest to start wins
        }
        for (const Entry &e : d.entries) {
            if (e.from <= s.capturedAt && s.capturedAt < e.to)
                shot.project = e.project;
        }
        d.shots.append(shot);
    }
    std::sort(d.shots.begin(), d.shots.end(), [](const Shot &a, const Shot &b) { return a.at < b.at; });
    return d;
}

DayReport DayReport::load(Store &store, const Store::Member &member, QDate date)
{
    const Calendar::Span span = Calendar::day(date, Calendar::zone(member.timeZone));
    return compute(span, store.entriesBetween(member.id, span.from, span.to),
                   store.activity(member.id, span.from + 1, span.to + 1), store.usage(member.id, span.from, span.to),
                   store.screenshots(member.id, span.from, span.to), store.now());
}
