// The snapshot's stored form, its reading rules and its time arithmetic.
#include "Durations.h"
#include "TrackingSnapshot.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {
Instant local(int y, int mo, int d, int h, int mi, int s = 0)
{
    return Instant::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

TrackingSnapshot fullSnapshot()
{
    TrackingSnapshot s;
    s.isRunning = true;
    s.startedAt = Instant{786412800.123456};
    s.banked = {{u"2025-03-07"_s, 3600.5}, {u"2025-03-08"_s, 0}};
    s.project = u"Website \"v2\""_s;
    s.task = u"Ünïcode ✓"_s;
    s.isPrivate = true;
    s.projectID = u"12"_s;
    s.taskID = u"abc"_s;
    s.sessionID = u"0F8F6300-0000-4000-8000-000000000001"_s;
    s.entryID = std::numeric_limits<qint64>::max();
    s.startSynced = true;
    PendingStop p;
    p.sessionID = u"A"_s;
    p.entryID = -7;
    p.startSynced = true;
    p.startedAt = Instant{10.25};
    p.stoppedAt = Instant{70.5};
    PendingStop q;
    q.sessionID = u"B"_s;
    q.projectID = u"3"_s;
    q.startedAt = Instant{100};
    q.stoppedAt = Instant{90}; // stopped before it started: counts 0
    s.pending = QList<PendingStop>{p, q};
    return s;
}
} // namespace

class TestSnapshot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A European zone with both daylight-saving changes; set before any date call.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void roundTripKeepsEveryField()
    {
        const TrackingSnapshot s = fullSnapshot();
        const QByteArray doc = s.encode();
        QVERIFY(!doc.contains(' ') || doc.contains("Website")); // compact: no padding
        const auto back = TrackingSnapshot::decode(doc);
        QVERIFY(back);
        QCOMPARE(*back, s);
        QCOMPARE(back->entryID, std::numeric_limits<qint64>::max());
    }

    void absentOptionalsAreLeftOut()
    {
        TrackingSnapshot s;
        const QByteArray doc = s.encode();
        QCOMPARE(doc, QByteArray(R"({"banked":{},"isPrivate":false,"isRunning":false,"project":"","task":""})"));
        QVERIFY(!doc.contains("null"));
        const auto back = TrackingSnapshot::decode(doc);
        QVERIFY(back && !back->pending && !back->startedAt && !back->startSynced);
    }

    void emptyAndAbsentQueueDiffer()
    {
        TrackingSnapshot a, b;
        b.pending = QList<PendingStop>{};
        QVERIFY(a != b);
        QCOMPARE(TrackingSnapshot::decode(b.encode())->pending, std::optional<QList<PendingStop>>(QList<PendingStop>{}));
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("readable");
        const QByteArray base = R"("banked":{},"project":"p","task":"t","isPrivate":false)";
        QTest::newRow("minimal") << "{\"isRunning\":false," + base + "}" << true;
        QTest::newRow("unknown keys ignored") << "{\"isRunning\":false,\"extra\":[1,2]," + base + "}" << true;
        QTest::newRow("nulls mean absent") << "{\"isRunning\":true,\"startedAt\":null,\"entryID\":null,\"pending\":null," + base + "}" << true;
        QTest::newRow("integer instant") << "{\"isRunning\":true,\"startedAt\":42," + base + "}" << true;
        QTest::newRow("no banked") << QByteArray(R"({"isRunning":false,"project":"","task":"","isPrivate":false})") << false;
        QTest::newRow("isRunning as string") << "{\"isRunning\":\"true\"," + base + "}" << false;
        QTest::newRow("banked value as string") << QByteArray(R"({"isRunning":false,"banked":{"2025-01-01":"5"},"project":"","task":"","isPrivate":false})") << false;
        QTest::newRow("entryID fractional") << "{\"isRunning\":false,\"entryID\":1.5," + base + "}" << false;
        QTest::newRow("entryID beyond 64 bits") << "{\"isRunning\":false,\"entryID\":1e20," + base + "}" << false;
        QTest::newRow("startSynced as number") << "{\"isRunning\":false,\"startSynced\":1," + base + "}" << false;
        QTest::newRow("infinite instant") << "{\"isRunning\":true,\"startedAt\":1e999," + base + "}" << false;
        QTest::newRow("pending not a list") << "{\"isRunning\":false,\"pending\":{}," + base + "}" << false;
        QTest::newRow("stop without stoppedAt") << "{\"isRunning\":false,\"pending\":[{\"sessionID\":\"A\",\"startSynced\":false,\"startedAt\":1,\"isPrivate\":false}]," + base + "}" << false;
        QTest::newRow("stop with string entryID") << "{\"isRunning\":false,\"pending\":[{\"sessionID\":\"A\",\"entryID\":\"5\",\"startSynced\":false,\"startedAt\":1,\"stoppedAt\":2,\"isPrivate\":false}]," + base + "}" << false;
        QTest::newRow("stop with null projectID") << "{\"isRunning\":false,\"pending\":[{\"sessionID\":\"A\",\"projectID\":null,\"startSynced\":false,\"startedAt\":1,\"stoppedAt\":2,\"isPrivate\":false}]," + base + "}" << true;
        QTest::newRow("not JSON") << QByteArray("{\"isRunning\":") << false;
        QTest::newRow("array") << QByteArray("[]") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << false;
    }

    void readingRules()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, readable);
        QCOMPARE(TrackingSnapshot::decode(document).has_value(), readable);
    }

    void nonFiniteIsNeverEncoded()
    {
        TrackingSnapshot s;
        s.banked[u"2025-01-01"_s] = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(s.encode().isEmpty());
        s.banked.clear();
        s.startedAt = Instant{std::numeric_limits<double>::infinity()};
        QVERIFY(s.encode().isEmpty());
    }

    void emptySnapshotSumsToZero()
    {
        TrackingSnapshot s;
        const Instant now = local(2025, 3, 7, 12, 0);
        QCOMPARE(s.pendingSeconds(), 0.0);
        QCOMPARE(s.todaySeconds(now), 0.0);
        QCOMPARE(s.weekSeconds(now), 0.0);
    }

    void pendingSecondsIgnoresBackwardStops()
    {
        QCOMPARE(fullSnapshot().pendingSeconds(), 60.25);
    }

    void runningSessionCountsWhole()
    {
        TrackingSnapshot s;
        s.isRunning = true;
        s.startedAt = local(2025, 3, 6, 23, 30);
        s.banked[u"2025-03-06"_s] = 500;
        const Instant now = local(2025, 3, 7, 0, 30);
        QCOMPARE(s.todaySeconds(now), 3600.0); // no split at midnight, old day's bank not counted
        s.startedAt = now.addSeconds(10);      // clock moved back
        QCOMPARE(s.todaySeconds(now), 0.0);
        s.isRunning = false;
        s.startedAt = local(2025, 3, 7, 0, 0);
        QCOMPARE(s.todaySeconds(now), 0.0);
    }

    void weekCoversMondayToSunday()
    {
        TrackingSnapshot s;
        // 2025-03-03 is a Monday.
        for (int d = 2; d <= 10; ++d)
            s.banked[TrackingSnapshot::dayKey(QDate(2025, 3, d))] = d;
        // Sunday 9th: Monday 3rd .. Sunday 9th.
        QCOMPARE(s.weekSeconds(local(2025, 3, 9, 23, 59, 59)), double(3 + 4 + 5 + 6 + 7 + 8 + 9));
        // Monday 10th: only its own key.
        QCOMPARE(s.weekSeconds(local(2025, 3, 10, 0, 0)), 10.0);
    }

    void weekAcrossDaylightSavingHasSevenDays_data()
    {
        QTest::addColumn<QDate>("monday");
        QTest::newRow("spring forward") << QDate(2025, 3, 24); // change on Sunday 30 March
        QTest::newRow("fall back") << QDate(2025, 10, 20);    // change on Sunday 26 October
    }

    void weekAcrossDaylightSavingHasSevenDays()
    {
        QFETCH(QDate, monday);
        TrackingSnapshot s;
        for (int i = -1; i <= 7; ++i)
            s.banked[TrackingSnapshot::dayKey(monday.addDays(i))] = 100;
        const Instant sundayLate = Instant::fromDateTime(QDateTime(monday.addDays(6), QTime(23, 30)));
        QCOMPARE(s.weekSeconds(sundayLate), 700.0);
        const Instant mondayEarly = Instant::fromDateTime(QDateTime(monday, QTime(0, 0)));
        QCOMPARE(s.weekSeconds(mondayEarly), 700.0);
    }

    void dayKeyUsesLocalDate()
    {
        // 23:30 UTC on 6 March is already 7 March in Berlin.
        const Instant i = Instant::fromDateTime(QDateTime(QDate(2025, 3, 6), QTime(23, 30), Qt::UTC));
        QCOMPARE(TrackingSnapshot::dayKey(i), u"2025-03-07"_s);
        QCOMPARE(TrackingSnapshot::dayKey(QDate(987, 1, 2)), u"0987-01-02"_s);
        QCOMPARE(TrackingSnapshot::dayKey(QDate(-44, 3, 15)), QDate(-44, 3, 15).toString(u"yyyy-MM-dd"_s));
        QCOMPARE(TrackingSnapshot::dayKey(QDate()), QString());

        // Around both daylight-saving changes, New Year and 1970, quarter
        // hour by quarter hour: the same day as Qt's local time gives.
        for (const QDate day : {QDate(2025, 3, 30), QDate(2025, 10, 26), QDate(2024, 12, 31), QDate(1969, 12, 31)}) {
            const Instant start = Instant::fromDateTime(QDateTime(day, QTime(0, 0), Qt::UTC));
            for (int quarter = -8; quarter < 104; ++quarter) {
                const Instant at = start.addSeconds(quarter * 900.0 + 0.5);
                QCOMPARE(TrackingSnapshot::dayKey(at), at.toDateTime().date().toString(u"yyyy-MM-dd"_s));
            }
        }
    }

    void instantsMatchTheReferenceDate()
    {
        const Instant ref = Instant::fromDateTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(ref.seconds, 0.0);
        QCOMPARE(Instant{0}.toDateTime().toUTC(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    }

    void clockText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"00:00:00"_s;
        QTest::newRow("rounds down") << 3725.9 << u"01:02:05"_s;
        QTest::newRow("just under a day") << 86399.999 << u"23:59:59"_s;
        QTest::newRow("not wrapped at 24") << 90000.0 << u"25:00:00"_s;
        QTest::newRow("three-digit hours") << 360000.0 << u"100:00:00"_s;
        QTest::newRow("absurd, clamped") << 1.0e300 << u"2500000000000:00:00"_s;
        QTest::newRow("negative") << -5.0 << u"00:00:00"_s;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << u"00:00:00"_s;
    }

    void clockText()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(Durations::clock(seconds), text);
    }

    void shortText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("59 s") << 59.0 << u"0m"_s;
        QTest::newRow("59 min 59 s") << 3599.0 << u"59m"_s;
        QTest::newRow("one hour") << 3600.0 << u"1h 0m"_s;
        QTest::newRow("95 min") << 5700.0 << u"1h 35m"_s;
        QTest::newRow("negative") << -120.0 << u"0m"_s;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << u"0m"_s;
    }

    void shortText()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(Durations::shortDuration(seconds), text);
    }
};

QTEST_GUILESS_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
