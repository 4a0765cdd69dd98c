// The figures of the web pages, computed from stored rows without HTTP: a
// member's day and the team's week.
#include "DayReport.h"
#include "WeekReport.h"

#include <QDateTime>
#include <QTest>

namespace {

qint64 at(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

Store::Entry entry(qint64 id, const char *from, const char *to, std::optional<qint64> project, const QString &name)
{
    Store::Entry e;
    e.id = id;
    e.startedAt = at(from);
    if (to)
        e.stoppedAt = at(to);
    e.projectId = project;
    e.projectName = project ? name : QString();
    e.projectRef = project ? QString::number(*project) : name;
    e.flagged = !project;
    e.type = QStringLiteral("tracked");
    return e;
}

Store::ActivitySample sample(const char *when, double percent)
{
    Store::ActivitySample s;
    s.trackedAt = at(when);
    s.percentage = percent;
    s.keystrokes = 10;
    return s;
}

} // namespace

class TestServerReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dayClipsEntriesAndPlacesActivityAndScreenshots()
    {
        const QTimeZone berlin("Europe/Berlin");
        // 29 March 2026: clocks go from 02:00 to 03:00, a 23-hour day.
        const Calendar::Span span = Calendar::day(QDate(2026, 3, 29), berlin);
        const QList<Store::Entry> entries{
            entry(1, "2026-03-28T22:30:00Z", "2026-03-28T23:30:00Z", 7, QStringLiteral("Portal")), // from the evening before
            entry(2, "2026-03-29T08:00:00Z", "2026-03-29T09:00:00Z", std::nullopt, QStringLiteral("Old client")),
            entry(3, "2026-03-29T10:00:00Z", nullptr, 7, QStringLiteral("Portal")), // running
        };
        // A sample covers the minute before it: one at 10:10 belongs to 10:00–10:10.
        const QList<Store::ActivitySample> samples{sample("2026-03-29T10:10:00Z", 80), sample("2026-03-29T10:05:00Z", 40),
                                                   sample("2026-03-29T10:11:00Z", 10),
                                                   sample("2026-03-28T22:00:00Z", 99)}; // the day before, local midnight exactly
        const QList<Store::UsageRecord> usage{
            {QStringLiteral("u1"), std::nullopt, QStringLiteral("Editor"), {}, {}, at("2026-03-29T10:00:00Z"), at("2026-03-29T10:30:00Z")},
            {QStringLiteral("u2"), std::nullopt, QStringLiteral("Chat"), {}, {}, at("2026-03-29T10:30:00Z"), at("2026-03-29T10:35:00Z")},
            {QStringLiteral("u3"), std::nullopt, QStringLiteral("Chat"), {}, {}, at("2026-03-29T21:50:00Z"), at("2026-03-29T22:30:00Z")},
        };
        Store::Screenshot shot;
        shot.id = 9;
        shot.capturedAt = at("2026-03-29T10:07:00Z");
        const DayReport d = DayReport::compute(span, entries, samples, usage, {shot}, at("2026-03-29T10:40:00Z"));

        QCOMPARE(d.slots.size(), 138);
        QCOMPARE(d.entries.size(), 3);
        QCOMPARE(d.entries[0].from, span.from); // clipped at midnight
        QCOMPARE(d.entries[0].ms(), 30 * 60 * 1000);
        QVERIFY(d.entries[1].needsReview);
        QCOMPARE(d.entries[1].project, QStringLiteral("Old client"));
        QVERIFY(d.entries[2].running);
        QCOMPARE(d.entries[2].to, at("2026-03-29T10:40:00Z"));
        QCOMPARE(d.trackedMs, (30 + 60 + 40) * 60 * 1000);
        QCOMPARE(d.reviewMs, 60 * 60 * 1000);

        const int slot = d.slotOf(at("2026-03-29T10:00:00Z"));
        QCOMPARE(d.slots[slot].from, at("2026-03-29T10:00:00Z"));
        QCOMPARE(d.slots[slot].activity, std::optional<double>(60));
        QCOMPARE(d.slots[slot + 1].activity, std::optional<double>(10));
        QVERIFY(!d.slots[slot + 2].activity);
        QCOMPARE(*d.activity, 130.0 / 3);

        // Chat's evening record counts only up to midnight.
        QCOMPARE(d.apps.size(), 2);
        QCOMPARE(d.apps[0].name, QStringLiteral("Editor"));
        QCOMPARE(d.apps[1].ms, (5 + 10) * 60 * 1000);

        QCOMPARE(d.shots.size(), 1);
        QCOMPARE(d.shots[0].activity, std::optional<double>(60));
        QCOMPARE(d.shots[0].app, QStringLiteral("Editor"));
        QCOMPARE(d.shots[0].project, QStringLiteral("Portal"));
    }

    void weekCountsEachMemberInTheirZone()
    {
        Store::Member ann;
        ann.id = 1;
        ann.timeZone = QStringLiteral("Europe/Berlin");
        Store::Member ben;
        ben.id = 2;
        ben.timeZone = QStringLiteral("America/New_York");
        const QDate monday = WeekReport::mondayOf(QDate(2026, 12, 10));
        QCOMPARE(monday, QDate(2026, 12, 7));

        // 23:00 UTC on Monday is Tuesday in Berlin and still Monday in New York.
        WeekReport::Input a{ann,
                            {entry(1, "2026-12-07T23:00:00Z", "2026-12-08T01:00:00Z", 7, QStringLiteral("Portal")),
                             entry(2, "2026-12-06T22:00:00Z", "2026-12-06T23:30:00Z", std::nullopt, QStringLiteral("Old"))},
                            {sample("2026-12-07T23:30:00Z", 50), sample("2026-12-08T00:30:00Z", 70)},
                            {}};
        WeekReport::Input b{ben,
                            {entry(3, "2026-12-07T23:00:00Z", "2026-12-08T01:00:00Z", 7, QStringLiteral("Portal"))},
                            {},
                            {entry(4, "2040-01-01T00:00:00Z", "2040-01-01T01:00:00Z", 7, QStringLiteral("Portal"))}};
        const WeekReport w = WeekReport::compute(monday, {a, b}, at("2026-12-10T12:00:00Z"));

        const qint64 hour = 3600 * 1000;
        QCOMPARE(w.rows[0].days[1].ms, 2 * hour);  // Tuesday in Berlin
        QCOMPARE(w.rows[0].days[1].activity, std::optional<double>(60));
        QCOMPARE(w.rows[0].days[0].ms, hour / 2);  // the flagged entry from 23:00 Sunday UTC is Monday 00:00 here
        QCOMPARE(w.rows[0].unknownProject, 1);
        QCOMPARE(w.rows[0].days[0].review, 1);
        QCOMPARE(w.rows[1].days[0].ms, 2 * hour);  // Monday evening in New York
        QCOMPARE(w.rows[1].implausible, 1);
        QCOMPARE(w.rows[1].review(), 1);
        QVERIFY(!w.rows[1].activity);
        QCOMPARE(w.weekMs, 4 * hour + hour / 2);
        QCOMPARE(w.dayMs[0], 2 * hour + hour / 2);

        QCOMPARE(w.projects.size(), 2);
        QCOMPARE(w.projects[0].name, QStringLiteral("Portal"));
        QCOMPARE(w.projects[0].ms, 4 * hour);
        QVERIFY(!w.projects[1].id);
        QCOMPARE(w.projects[1].name, QStringLiteral("Old"));
    }
};

QTEST_GUILESS_MAIN(TestServerReport)
#include "tst_serverreport.moc"
