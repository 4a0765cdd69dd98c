#include "WeekReport.h"

#include <QHash>

#include <algorithm>

QDate WeekReport::mondayOf(QDate date)
{
    return date.addDays(1 - date.dayOfWeek());
}

Calendar::Span WeekReport::weekSpan(QDate monday, const Store::Member &member)
{
    const QTimeZone zone = Calendar::zone(member.timeZone);
    return {Calendar::day(monday, zone).from, Calendar::day(monday.addDays(6), zone).to};
}

WeekReport WeekReport::compute(QDate monday, const QList<Input> &members, qint64 now)
{
    WeekReport w;
    w.monday = monday;
    w.dayMs = QList<qint64>(7, 0);
    QHash<QString, int> projectIndex; // by id, or by the name the client sent

    for (const Input &in : members) {
        const QTimeZone zone = Calendar::zone(in.member.timeZone);
        Row row;
        row.member = in.member;
        QList<Calendar::Span> spans;
        for (int i = 0; i < 7; ++i) {
            row.days.append({monday.addDays(i), 0, {}, 0});
            spans.append(Calendar::day(monday.addDays(i), zone));
        }
        const Calendar::Span week{spans.first().from, spans.last().to};

        for (const Store::Entry &e : in.entries) {
            const qint64 stop = e.stoppedAt.value_or(std::max(now, e.startedAt));
            const qint64 inWeek = Calendar::overlap(e.startedAt, stop, week);
            if (inWeek <= 0)
                continue;
            for (int i = 0; i < 7; ++i) {
                const qint64 ms = Calendar::overlap(e.startedAt, stop, spans[i]);
                row.days[i].ms += ms;
                w.dayMs[i] += ms;
                if (ms > 0 && e.flagged)
                    ++row.days[i].review;
            }
            row.weekMs += inWeek;
            if (e.flagged)
                ++row.unknownProject;

            const QString key = e.projectId ? QString::number(*e.projectId) : QStringLiteral("?") + e.projectRef;
            auto it = projectIndex.find(key);
            if (it == projectIndex.end()) {
                it = projectIndex.insert(key, int(w.projects.size()));
                w.projects.append({e.projectId, e.projectName.isEmpty() ? e.projectRef : e.projectName, 0});
            }
            w.projects[*it].ms += inWeek;
        }
        row.implausible = int(in.implausible.size());

        QList<double> sums(7, 0.0);
        QList<int> counts(7, 0);
        double total = 0;
        int all = 0;
        for (const Store::ActivitySample &s : in.samples) {
            for (int i = 0; i < 7; ++i) {
                if (s.trackedAt > spans[i].from && s.trackedAt <= spans[i].to) {
                    sums[i] += s.percentage;
                    ++counts[i];
                    total += s.percentage;
                    ++all;
                    break;
                }
            }
        }
        for (int i = 0; i < 7; ++i) {
            if (counts[i] > 0)
                row.days[i].activity = sums[i] / counts[i];
        }
        if (all > 0)
            row.activity = total / all;
        w.weekMs += row.weekMs;
        w.rows.append(row);
    }
    std::stable_sort(w.projects.begin(), w.projects.end(), [](const Project &a, const Project &b) { return a.ms > b.ms; });
    return w;
}

WeekReport WeekReport::load(Store &store, const QList<Store::Member> &members, QDate monday)
{
    QList<Input> inputs;
    for (const Store::Member &m : members) {
        const Calendar::Span span = weekSpan(monday, m);
        inputs.append({m, store.entriesBetween(m.id, span.from, span.to), store.activity(m.id, span.from + 1, span.to + 1),
                       store.implausibleEntries(m.id, span.from, span.to)});
    }
    return compute(monday, inputs, store.now());
}
