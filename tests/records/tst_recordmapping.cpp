#include "RecordMapping.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTest>

using namespace RecordMapping;

namespace {
QJsonObject obj(const char *text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", text);
    return doc.object();
}
} // namespace

class TestRecordMapping : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void identCoercion_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("present");
        QTest::newRow("integer") << R"({"v":42})" << "42" << true;
        QTest::newRow("integral double") << R"({"v":42.0})" << "42" << true;
        QTest::newRow("exponent") << R"({"v":1e3})" << "1000" << true;
        QTest::newRow("fraction") << R"({"v":4.5})" << "4.5" << true;
        QTest::newRow("negative") << R"({"v":-7})" << "-7" << true;
        QTest::newRow("int64 max") << R"({"v":9223372036854775807})" << "9223372036854775807" << true;
        QTest::newRow("beyond int64") << R"({"v":1e20})" << "1e+20" << true;
        QTest::newRow("true") << R"({"v":true})" << "1" << true;
        QTest::newRow("false") << R"({"v":false})" << "0" << true;
        QTest::newRow("string") << R"({"v":"abc"})" << "abc" << true;
        QTest::newRow("empty string") << R"({"v":""})" << "" << true;
        QTest::newRow("null") << R"({"v":null})" << "" << false;
        QTest::newRow("array") << R"({"v":[1]})" << "" << false;
        QTest::newRow("object") << R"({"v":{}})" << "" << false;
        QTest::newRow("absent") << R"({})" << "" << false;
    }
    void identCoercion()
    {
        QFETCH(QString, json);
        QFETCH(QString, expected);
        QFETCH(bool, present);
        const auto result = ident(obj(json.toUtf8()).value(QLatin1String("v")));
        QCOMPARE(result.has_value(), present);
        if (present)
            QCOMPARE(*result, expected);
    }

    void numbersAreRangeChecked()
    {
        const QJsonObject o = obj(R"({"big":1e20,"neg":-1e20,"frac":-2.9,"max":9223372036854775807,
                                      "t":true,"s":"5","edge":9.2233720368547758e18})");
        QCOMPARE(integer(o.value(QLatin1String("big"))), std::nullopt);
        QCOMPARE(integer(o.value(QLatin1String("neg"))), std::nullopt);
        QCOMPARE(integer(o.value(QLatin1String("edge"))), std::nullopt); // 2^63 does not fit
        QCOMPARE(integer(o.value(QLatin1String("frac"))), std::optional<qint64>(-2));
        QCOMPARE(integer(o.value(QLatin1String("max"))), std::optional<qint64>(std::numeric_limits<qint64>::max()));
        QCOMPARE(integer(o.value(QLatin1String("t"))), std::optional<qint64>(1));
        QCOMPARE(integer(o.value(QLatin1String("s"))), std::nullopt);
        QCOMPARE(number(o.value(QLatin1String("t"))), std::optional<double>(1));
        QCOMPARE(number(o.value(QLatin1String("s"))), std::nullopt);
        QCOMPARE(string(o.value(QLatin1String("t"))), std::nullopt); // a boolean is never text
    }

    void projectNamesAndIdentifiers()
    {
        // "project_name" used when "name" is absent; numeric id becomes text.
        auto p = project(obj(R"({"project_name":"Website","id":17})"), 0);
        QVERIFY(p);
        QCOMPARE(p->id, QStringLiteral("17"));
        QCOMPARE(p->name, QStringLiteral("Website"));

        // A present null name decides: dropped, although "title" is text.
        QVERIFY(!project(obj(R"({"name":null,"title":"T"})"), 0));
        QVERIFY(!project(obj(R"({"name":5})"), 0));
        QVERIFY(!project(obj(R"({"name":true})"), 0));

        // Synthesised identifier from the position; an empty id is kept.
        QCOMPARE(project(obj(R"({"name":"A"})"), 3)->id, QStringLiteral("project-3"));
        QCOMPARE(project(obj(R"({"name":"A","id":null,"project_id":9})"), 3)->id, QStringLiteral("project-3"));
        QCOMPARE(project(obj(R"({"name":"A","project_id":9})"), 3)->id, QStringLiteral("9"));
        QCOMPARE(project(obj(R"({"name":"A","id":""})"), 3)->id, QString());
        QCOMPARE(project(obj(R"({"name":"A","id":[1]})"), 2)->id, QStringLiteral("project-2"));
    }

    void taskLists()
    {
        // "project_tasks" present but null decides: no tasks from "tasks".
        auto p = project(obj(R"({"name":"A","project_tasks":null,"tasks":[{"name":"x"}]})"), 0);
        QVERIFY(p->tasks.isEmpty());
        // One non-object element empties the whole list.
        p = project(obj(R"({"name":"A","tasks":[{"name":"x"},3]})"), 0);
        QVERIFY(p->tasks.isEmpty());
        p = project(obj(R"({"name":"A","tasks":{"name":"x"}})"), 0);
        QVERIFY(p->tasks.isEmpty());
        // "assigned_tasks" is the second choice.
        p = project(obj(R"({"name":"A","assigned_tasks":[{"task_name":"x","task_id":5}],"tasks":[{"name":"y"}]})"), 0);
        QCOMPARE(p->tasks, (QList<WorkTask>{{"5", "x"}}));

        // Positions count dropped elements: the second task keeps task-0-1.
        p = project(obj(R"({"name":"A","tasks":[{"title":7},{"title":"Second"},{"name":"Third","id":"t3"}]})"), 0);
        QCOMPARE(p->tasks, (QList<WorkTask>{{"task-0-1", "Second"}, {"t3", "Third"}}));
        // The task's project position comes from the project.
        p = project(obj(R"({"name":"B","tasks":[{"name":"x","id":null,"task_id":4}]})"), 5);
        QCOMPARE(p->tasks.first().id, QStringLiteral("task-5-0"));
    }

    void projectList()
    {
        // The top level is never the payload.
        QVERIFY(projects(obj(R"({"projects":[{"name":"A"}]})")).isEmpty());
        QVERIFY(projects(obj(R"({"data":[{"name":"A"}]})")).isEmpty());
        QVERIFY(projects(obj(R"({"data":{"projects":[{"name":"A"},"x"]}})")).isEmpty());
        // First present key: a null "projects_with_tasks" hides "projects".
        QVERIFY(projects(obj(R"({"data":{"projects_with_tasks":null,"projects":[{"name":"A"}]}})")).isEmpty());

        const auto list = projects(obj(R"({"data":{"assigned_projects":[
            {"name":"A","id":1},{"title":null},{"name":"C","tasks":[{"name":"t"}]}]}})"));
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0], (Project{"1", "A", {}}));
        QCOMPARE(list[1], (Project{"project-2", "C", {{"task-2-0", "t"}}}));
    }

    void equalityAndHashing()
    {
        const Project a{"1", "A", {{"t1", "x"}, {"t2", "y"}}};
        Project b = a;
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        b.tasks = {{"t2", "y"}, {"t1", "x"}};
        QVERIFY(a != b); // order matters
        QSet<Project> set{a, b, a};
        QCOMPARE(set.size(), 2);
        QVERIFY(WorkTask({"1", "x"}) != WorkTask({"1", "y"}));
    }

    void statsDefaults()
    {
        const TodayStats s = todayStats(std::nullopt, QJsonObject());
        QCOMPARE(s.tracked, QStringLiteral("0m"));
        QCOMPARE(s.manual, QStringLiteral("0m"));
        QCOMPARE(s.start, QStringLiteral("--:--"));
        QCOMPARE(s.end, QStringLiteral("--:--"));
        QCOMPARE(s.productivePercent, 0.0);
        QCOMPARE(s.todaySeconds, 0.0);
    }

    void statsFromDashboardAndCurrent()
    {
        const auto dash = obj(R"({"data":{"totals":{"time_tracked":"2h 5m","meeting_time":3,
            "productive_time":"1h","manual_time":null,"productive_percent":62.5},
            "working_patterns":{"start":"08:30","end":17}}})");
        const auto cur = obj(R"({"data":{"today_total_seconds":120.5,"this_week_total_seconds":null,
                                         "week_total_seconds":5000}})");
        const TodayStats s = todayStats(dash, cur);
        QCOMPARE(s.tracked, QStringLiteral("2h 5m"));
        QCOMPARE(s.meeting, QStringLiteral("0m"));
        QCOMPARE(s.productive, QStringLiteral("1h"));
        QCOMPARE(s.manual, QStringLiteral("0m"));
        QCOMPARE(s.productivePercent, 62.5);
        QCOMPARE(s.start, QStringLiteral("08:30"));
        QCOMPARE(s.end, QStringLiteral("--:--"));
        QCOMPARE(s.todaySeconds, 120.5);
        QCOMPARE(s.weekSeconds, 0.0); // a present null decides

        // No totals: durations stay, patterns are still read.
        const TodayStats t = todayStats(obj(R"({"data":{"working_patterns":{"start":"9"}}})"), QJsonObject());
        QCOMPARE(t.tracked, QStringLiteral("0m"));
        QCOMPARE(t.start, QStringLiteral("9"));
        // A dashboard whose "data" is not an object changes nothing.
        QCOMPARE(todayStats(obj(R"({"data":[1],"totals":{"time_tracked":"1h"}})"), QJsonObject()).tracked,
                 QStringLiteral("0m"));
    }

    void currentTotalsAreRead()
    {
        // No "data" object: the top level is read; text is not a number.
        QCOMPARE(todayStats(std::nullopt, obj(R"({"today_total_seconds":"120"})")).todaySeconds, 0.0);
        QCOMPARE(todayStats(std::nullopt, obj(R"({"data":3,"today_total_seconds":60,"week_total_seconds":90})"))
                     .weekSeconds,
                 90.0);
        QCOMPARE(todayStats(std::nullopt, obj(R"({"today_total_seconds":true})")).todaySeconds, 1.0);
        // Absurd totals would poison the time arithmetic: treated as absent.
        const TodayStats s = todayStats(std::nullopt, obj(R"({"today_total_seconds":1e300,
                                                             "this_week_total_seconds":-5})"));
        QCOMPARE(s.todaySeconds, 0.0);
        QCOMPARE(s.weekSeconds, 0.0);
    }

    void everyWrongTypeIsHarmless()
    {
        // Each field the mappings read, given each JSON kind: never a crash,
        // always a record with defaults or a drop.
        const QList<QJsonValue> kinds{QJsonValue(QJsonValue::Null), true, 0, -1.5, 1e300, QStringLiteral("x"),
                                      QJsonArray{1, QJsonArray{}}, QJsonObject{{"a", 1}}};
        const QStringList keys{"data", "projects", "projects_with_tasks", "name", "id", "tasks", "totals",
                               "working_patterns", "time_tracked", "productive_percent", "start",
                               "today_total_seconds", "this_week_total_seconds"};
        for (const QJsonValue &kind : kinds) {
            for (const QString &key : keys) {
                QJsonObject inner{{key, kind}};
                QJsonObject nested{{"data", QJsonObject{{"projects", QJsonArray{inner}}, {"totals", inner},
                                                        {"working_patterns", inner}}}};
                QJsonObject flat{{key, kind}, {"data", inner}};
                (void)projects(nested);
                (void)projects(flat);
                (void)project(inner, 0);
                (void)todayStats(nested, flat);
                (void)todayStats(flat, nested);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordMapping)
#include "tst_recordmapping.moc"
