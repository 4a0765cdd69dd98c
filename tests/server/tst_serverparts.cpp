// The server's pure parts: days and weeks in a member's zone, the dashboard
// figures, the instants the client sends, identifiers, the sign-in throttle.
#include "ApiJson.h"
#include "Calendar.h"
#include "Dashboard.h"
#include "Credentials.h"
#include "LogText.h"
#include "WebText.h"

#include <QDateTime>
#include <QJsonObject>
#include <QTest>

namespace {

qint64 at(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

Store::Entry closed(const char *from, const char *to, const QString &type = QStringLiteral("tracked"))
{
    Store::Entry e;
    e.startedAt = at(from);
    e.stoppedAt = at(to);
    e.type = type;
    return e;
}

} // namespace

class TestServerParts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void daysFollowTheMembersZone()
    {
        // UTC+13 in January: 2026-01-05 11:30 UTC is already 6 January there.
        const QTimeZone auckland("Pacific/Auckland");
        const Calendar::Span d = Calendar::day(at("2026-01-05T11:30:00Z"), auckland);
        QCOMPARE(d.from, at("2026-01-05T11:00:00Z"));
        QCOMPARE(d.to, at("2026-01-06T11:00:00Z"));

        // The spring-forward day in Berlin has 23 hours, the fall-back day 25.
        const QTimeZone berlin("Europe/Berlin");
        const Calendar::Span spring = Calendar::day(at("2025-03-30T12:00:00Z"), berlin);
        QCOMPARE(spring.from, at("2025-03-29T23:00:00Z"));
        QCOMPARE(spring.to - spring.from, 23 * 3600 * 1000LL);
        const Calendar::Span fall = Calendar::day(at("2025-10-26T12:00:00Z"), berlin);
        QCOMPARE(fall.to - fall.from, 25 * 3600 * 1000LL);

        // Weeks run Monday 00:00 to Monday 00:00; a Sunday evening belongs to
        // the week before, Monday just after midnight to the new one.
        const Calendar::Span sunday = Calendar::week(at("2026-01-11T22:59:59Z"), berlin); // Sun 23:59:59 local
        QCOMPARE(sunday.from, at("2026-01-04T23:00:00Z"));
        QCOMPARE(sunday.to, at("2026-01-11T23:00:00Z"));
        QCOMPARE(Calendar::week(at("2026-01-11T23:00:00Z"), berlin).from, sunday.to);

        QVERIFY(!Calendar::isValidZone(QStringLiteral("Mars/Olympus")));
        QCOMPARE(Calendar::zone(QStringLiteral("nonsense")), QTimeZone::systemTimeZone());
    }

    void dashboardCountsClosedEntriesInsideTheDay()
    {
        const QTimeZone berlin("Europe/Berlin");
        const qint64 now = at("2025-03-30T15:00:00Z"); // Sunday, the short day
        Store::Entry open;
        open.startedAt = at("2025-03-30T14:00:00Z");
        const QList<Store::Entry> entries{
            closed("2025-03-29T22:30:00Z", "2025-03-29T23:30:00Z"),            // across local midnight: 30 min today
            closed("2025-03-30T00:30:00Z", "2025-03-30T01:30:00Z"),            // across the DST jump: 60 min
            closed("2025-03-30T08:00:00Z", "2025-03-30T08:45:00Z", QStringLiteral("meeting")),
            closed("2025-03-24T07:00:00Z", "2025-03-24T09:00:00Z"),            // Monday of the same week
        };
        QList<Store::ActivitySample> samples;
        Store::ActivitySample idle;
        idle.trackedAt = at("2025-03-30T01:00:00Z");
        samples.append(idle);                                                  // one idle minute in entry 2
        idle.trackedAt = at("2025-03-30T14:30:00Z");
        samples.append(idle);                                                  // idle in the open entry: not counted

        const Dashboard d = Dashboard::compute(entries, open, samples, now, berlin);
        QCOMPARE(d.todayMs, (30 + 60 + 45) * 60000LL);
        QCOMPARE(d.weekMs, d.todayMs + 30 * 60000LL + 120 * 60000LL);
        QCOMPARE(d.meetingMs, 45 * 60000LL);
        QCOMPARE(d.productiveMs, d.todayMs - 60000);

        const QJsonObject json = d.json(berlin);
        const QJsonObject totals = json.value(QStringLiteral("totals")).toObject();
        QCOMPARE(totals.value(QStringLiteral("time_tracked")).toString(), QStringLiteral("2h 15m"));
        QCOMPARE(totals.value(QStringLiteral("meeting_time")).toString(), QStringLiteral("45m"));
        QCOMPARE(totals.value(QStringLiteral("productive_time")).toString(), QStringLiteral("2h 14m"));
        QCOMPARE(totals.value(QStringLiteral("manual_time")).toString(), QStringLiteral("0m"));
        QCOMPARE(totals.value(QStringLiteral("productive_percent")).toDouble(), 99.3);
        const QJsonObject pattern = json.value(QStringLiteral("working_patterns")).toObject();
        QCOMPARE(pattern.value(QStringLiteral("start")).toString(), QStringLiteral("00:00")); // clipped at midnight
        QCOMPARE(pattern.value(QStringLiteral("end")).toString(), QStringLiteral("17:00"));   // the open entry, now

        // Nothing at all: zeros and dashes, no division by zero.
        const QJsonObject empty = Dashboard::compute({}, std::nullopt, {}, now, berlin).json(berlin);
        QCOMPARE(empty.value(QStringLiteral("totals")).toObject().value(QStringLiteral("productive_percent")).toDouble(), 0.0);
        QCOMPARE(empty.value(QStringLiteral("working_patterns")).toObject().value(QStringLiteral("start")).toString(),
                 QStringLiteral("--:--"));
    }

    void instantsAreReadOnlyInTheClientsForms()
    {
        QCOMPARE(Calendar::parseISO(QStringLiteral("2025-03-14T09:26:53.589Z")), at("2025-03-14T09:26:53.589Z"));
        QCOMPARE(Calendar::parseISO(QStringLiteral("2025-03-14T09:26:53Z")), at("2025-03-14T09:26:53Z"));
        QCOMPARE(Calendar::parseISO(QStringLiteral("2025-03-14T10:26:53+01:00")), at("2025-03-14T09:26:53Z"));
        QVERIFY(!Calendar::parseISO(QStringLiteral("2025-03-14T09:26:53"))); // no zone: ambiguous
        QVERIFY(!Calendar::parseISO(QStringLiteral("2025-03-14 09:26:53")));
        QVERIFY(!Calendar::parseISO(QStringLiteral("2025-02-30T09:26:53Z")));
        // The stamp form means UTC whatever the server's zone.
        QCOMPARE(Calendar::parseStamp(QStringLiteral("2025-03-30 01:30:00")), at("2025-03-30T01:30:00Z"));
        QVERIFY(!Calendar::parseStamp(QStringLiteral("2025-03-30T01:30:00Z")));
        QVERIFY(!Calendar::parseStamp(QStringLiteral(" 2025-03-30 01:30:00")));
        QCOMPARE(Calendar::iso(at("2025-03-14T09:26:53.5Z")), QStringLiteral("2025-03-14T09:26:53.500Z"));
    }

    void identifiersAreWholeNumbersInRange()
    {
        QCOMPARE(ApiJson::id(QJsonValue(42)), 42);
        QCOMPARE(ApiJson::id(QJsonValue(QStringLiteral("42"))), 42);
        QCOMPARE(ApiJson::id(QJsonValue(9007199254740992.0)), 9007199254740992LL);
        QVERIFY(!ApiJson::id(QJsonValue(4.5)));
        QVERIFY(!ApiJson::id(QJsonValue(1e30)));
        QVERIFY(!ApiJson::id(QJsonValue(QStringLiteral("99999999999999999999")))); // beyond 64 bits
        QVERIFY(!ApiJson::id(QJsonValue(QStringLiteral("-3"))));
        QVERIFY(!ApiJson::id(QJsonValue(QStringLiteral("project-3"))));
        QVERIFY(!ApiJson::id(QJsonValue(true)));
        QVERIFY(!ApiJson::id(QJsonValue()));
        const Store::Ref synthesised = ApiJson::ref(QJsonValue(QStringLiteral("project-3")));
        QVERIFY(!synthesised.id);
        QCOMPARE(synthesised.text, QStringLiteral("project-3"));
        QVERIFY(ApiJson::ref(QJsonValue(1e30)).present());
        QVERIFY(!ApiJson::ref(QJsonValue::Null).present());
    }

    void loggedClientTextStaysOnItsLine()
    {
        QCOMPARE(LogText::escape(QStringLiteral("a\r\nadmin x\tb\\n\u0085\u2028\x7f")),
                 QStringLiteral("a\\r\\nadmin x\\tb\\\\n\\x85\\u{2028}\\x7f"));
        QCOMPARE(LogText::escape(QStringLiteral("Ann Müller — 東京")), QStringLiteral("Ann Müller — 東京"));
    }

    void emailKeyIsOneFormOfTheAddress()
    {
        const QString key = Credentials::emailKey(QStringLiteral("ann@x.test"));
        for (const QString &v : {QStringLiteral(" ann@x.test"), QStringLiteral("ann@x.test\u00a0"), QStringLiteral("ANN@X.TEST\t"),
                                 QStringLiteral("\u3000ａｎｎ@x.test")})
            QCOMPARE(Credentials::emailKey(v), key);
    }

    void pageAndSpreadsheetTextIsInert()
    {
        QCOMPARE(WebText::html(QStringLiteral("<img src=x onerror='a(\"&\")'>")),
                 QStringLiteral("&lt;img src=x onerror=&#39;a(&quot;&amp;&quot;)&#39;&gt;"));
        QCOMPARE(WebText::csvCell(QStringLiteral("=HYPERLINK(\"http://x\")")),
                 QStringLiteral("\"'=HYPERLINK(\"\"http://x\"\")\""));
        QCOMPARE(WebText::csvCell(QStringLiteral("+1")), QStringLiteral("'+1"));
        QCOMPARE(WebText::csvCell(QStringLiteral("-1")), QStringLiteral("'-1"));
        QCOMPARE(WebText::csvCell(QStringLiteral("@SUM(A1)")), QStringLiteral("'@SUM(A1)"));
        QCOMPARE(WebText::csvCell(QStringLiteral("\tx")), QStringLiteral("'\tx"));
        QCOMPARE(WebText::csvCell(QStringLiteral("a, b")), QStringLiteral("\"a, b\""));
        QCOMPARE(WebText::csvCell(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
        QCOMPARE(WebText::csvCell(QStringLiteral("Website 2")), QStringLiteral("Website 2"));
        QCOMPARE(WebText::csvRow({QStringLiteral("a"), QString(), QStringLiteral("=b")}), QStringLiteral("a,,'=b\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestServerParts)
#include "tst_serverparts.moc"
