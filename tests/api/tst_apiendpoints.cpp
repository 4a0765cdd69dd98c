#include "API.h"
#include "DeviceInfo.h"
#include "Preferences.h"

#include "AsyncTest.h"
#include "TestEnv.h"
#include "TestServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using AsyncTest::await;
using AsyncTest::awaitError;

namespace {
const QString token = QStringLiteral("tok");
const QString unreachable = QStringLiteral("Can't reach Zimbrel. Check your connection and try again.");
const QString uuidPattern = QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");

QJsonObject obj(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// 2024-03-14 09:26:53 UTC
const Instant capture = Instant::fromUnixSeconds(1710408413.25);
} // namespace

class TestAPIEndpoints : public QObject {
    Q_OBJECT
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<TestServer>();
        QVERIFY(m_server->isListening());
    }
    void init()
    {
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        m_server->clear();
        API::setBaseURL(m_server->baseUrl());
    }
    void cleanup() { m_home.reset(); }
    void cleanupTestCase() { m_server.reset(); }

    // ---- sign-in ----

    void loginReadsTokenAndProfile()
    {
        m_server->respond(QStringLiteral("login"), 200, obj(R"({"data":{"access_token":"T","user":{"name":"N"}}})"));
        const API::SignIn s = await(API::login(QStringLiteral("me@x.io"), QStringLiteral("pw \"1\"")));
        QCOMPARE(s.token, QStringLiteral("T"));
        QCOMPARE(s.name, QStringLiteral("N"));
        QCOMPARE(s.email, QStringLiteral("me@x.io"));
        QCOMPARE(s.role, QString());
        const auto r = m_server->last(QStringLiteral("login"));
        const QJsonObject sent{{"email", "me@x.io"}, {"password", "pw \"1\""}, {"remember", true}};
        QCOMPARE(r->json(), sent);
        QVERIFY(!r->hasHeader("Authorization"));

        // Top level without "data"; role dashes become spaces; a numeric role is empty.
        m_server->respond(QStringLiteral("login"), 200,
                          obj(R"({"token":"A","user":{"email":"real@x.io","role":"team-lead-x"}})"));
        QCOMPARE(await(API::login(QStringLiteral("e"), QStringLiteral("p"))).role, QStringLiteral("team lead x"));
        m_server->respond(QStringLiteral("login"), 200, obj(R"({"token":"A","user":{"role":3,"name":null}})"));
        const API::SignIn t = await(API::login(QStringLiteral("e"), QStringLiteral("p")));
        QCOMPARE(t.role, QString());
        QCOMPARE(t.name, QStringLiteral("e"));
    }

    void loginWithoutSession_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("token null") << QByteArray(R"({"data":{"token":null,"access_token":"T"}})");
        QTest::newRow("token number") << QByteArray(R"({"token":5})");
        QTest::newRow("nothing") << QByteArray(R"({"success":true})");
        QTest::newRow("data not object") << QByteArray(R"({"data":"T"})");
    }
    void loginWithoutSession()
    {
        QFETCH(QByteArray, body);
        m_server->respond(QStringLiteral("login"), 200, body);
        QCOMPARE(awaitError<APIError>(API::login(QStringLiteral("e"), QStringLiteral("p"))).message(),
                 QStringLiteral("Sign-in succeeded but no session was returned."));
    }

    void loginRejected()
    {
        m_server->respond(QStringLiteral("login"), 401, obj(R"({"message":"Invalid credentials."})"));
        QCOMPARE(awaitError<APIError>(API::login(QStringLiteral("e"), QStringLiteral("p"))).message(),
                 QStringLiteral("Invalid credentials."));
    }

    // ---- device registration ----

    void deviceRegistersOnceAndCaches()
    {
        m_server->respond(QStringLiteral("devices/register"), 200, obj(R"({"device":{"device_id":12}})"));
        QCOMPARE(await(API::deviceID(token)), std::optional<qint64>(12));
        QCOMPARE(m_server->count(QStringLiteral("devices/register")), 1);
        const auto r = m_server->last(QStringLiteral("devices/register"));
        const QJsonObject body = r->json();
        QVERIFY(QRegularExpression(uuidPattern).match(body.value("device_uuid").toString()).hasMatch());
        QCOMPARE(body.value("device_uuid").toString(), Preferences::value("device.uuid").toString());
        QCOMPARE(body.value("os").toString(), QStringLiteral("Linux"));
        QVERIFY(!body.value("device_name").toString().isEmpty());
        QCOMPARE(body.value("hostname"), body.value("device_name"));
        QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(body.value("os_version").toString()).hasMatch());
        QCOMPARE(body.value("app_version").toString(), QStringLiteral(ZIMBREL_VERSION));
        QCOMPARE(body.size(), 6);
        QCOMPARE(r->header("Authorization"), QStringLiteral("Bearer tok"));

        // Cached: no second request, also with another token.
        QCOMPARE(await(API::deviceID(QStringLiteral("other"))), std::optional<qint64>(12));
        QCOMPARE(m_server->count(QStringLiteral("devices/register")), 1);
        QCOMPARE(Preferences::value("device.id").toLongLong(), 12);
    }

    void deviceWithoutNumericIdRegistersAgain()
    {
        m_server->respond(QStringLiteral("devices/register"), 200, obj(R"({"data":{"id":"12"}})"));
        QCOMPARE(await(API::deviceID(token)), std::nullopt);
        QVERIFY(!Preferences::contains("device.id"));
        m_server->respond(QStringLiteral("devices/register"), 200, obj(R"({"data":{"device":{"id":true}}})"));
        QCOMPARE(await(API::deviceID(token)), std::nullopt);
        m_server->respond(QStringLiteral("devices/register"), 500, obj(R"({"message":"Down"})"));
        QCOMPARE(awaitError<APIError>(API::deviceID(token)).message(), QStringLiteral("Down"));
        m_server->respond(QStringLiteral("devices/register"), 200, obj(R"({"data":{"device":{"id":1e20}}})"));
        QCOMPARE(await(API::deviceID(token)), std::nullopt);
        m_server->respond(QStringLiteral("devices/register"), 200, obj(R"({"data":{"device":{"id":31}}})"));
        QCOMPARE(await(API::deviceID(token)), std::optional<qint64>(31));

        // Every attempt used the same installation UUID.
        const auto attempts = m_server->requests(QStringLiteral("devices/register"));
        QCOMPARE(attempts.size(), 5);
        for (const auto &a : attempts)
            QCOMPARE(a.json().value("device_uuid"), attempts.first().json().value("device_uuid"));
    }

    void deviceCacheThatIsNoNumberIsIgnored()
    {
        Preferences::setValue(QStringLiteral("device.id"), QStringLiteral("garbage"));
        QCOMPARE(await(API::deviceID(token)), std::optional<qint64>(7)); // the server's default answer
        QCOMPARE(m_server->count(QStringLiteral("devices/register")), 1);
    }

    void deviceFields()
    {
        QCOMPARE(DeviceInfo::prettyHostname("X=1\nPRETTY_HOSTNAME=\"Ada's laptop\"\nCHASSIS=laptop\n"),
                 QStringLiteral("Ada's laptop"));
        QCOMPARE(DeviceInfo::prettyHostname("PRETTY_HOSTNAME=plain\n"), QStringLiteral("plain"));
        QCOMPARE(DeviceInfo::prettyHostname("HOSTNAME=x\n"), QString());
        QCOMPARE(DeviceInfo::versionTriple(QStringLiteral("6.1.0-18-amd64")), QStringLiteral("6.1.0"));
        QCOMPARE(DeviceInfo::versionTriple(QStringLiteral("5.15")), QStringLiteral("5.15.0"));
        QCOMPARE(DeviceInfo::versionTriple(QStringLiteral("6.8.12+rpt-rpi-v8")), QStringLiteral("6.8.12"));
        QCOMPARE(DeviceInfo::versionTriple(QStringLiteral("weird")), QStringLiteral("0.0.0"));
    }

    // ---- timer ----

    void currentTimer()
    {
        m_server->respond(QStringLiteral("time/current"), 200, obj(R"({"data":{"is_running":true,"current_entry":
            {"id":881,"started_at":"2025-03-14T09:26:53.589Z","project_id":4,"task_id":null}}})"));
        const API::CurrentTimer c = await(API::current(token));
        QVERIFY(c.running);
        QCOMPARE(c.entryID, std::optional<qint64>(881));
        QCOMPARE(c.startedAt->unixSeconds(), 1741944413.589);
        QCOMPARE(c.project, std::optional<QString>(QStringLiteral("4")));
        QCOMPARE(c.task, std::nullopt);

        auto read = [](const char *json) { return API::currentTimer(obj(json)); };
        QCOMPARE(read(R"({"data":{"current_entry":{"start_time":"2025-03-14T09:26:53Z"}}})").startedAt->unixSeconds(),
                 1741944413.0);
        // The first present key decides; the other form is not read.
        QVERIFY(!read(R"({"current_entry":{"started_at":"2025-03-14 09:26:53","start_time":"2025-03-14T09:26:53Z"}})")
                     .startedAt);
        const auto noEntry = read(R"({"data":{"is_running":1,"current_entry":null}})");
        QVERIFY(noEntry.running);
        QVERIFY(!noEntry.entryID && !noEntry.startedAt && !noEntry.project && !noEntry.task);
        QVERIFY(!read(R"({"is_running":"true"})").running);
        QVERIFY(!read(R"({"is_running":2})").running);
        QVERIFY(!read(R"({"is_running":0})").running);
        QCOMPARE(read(R"({"current_entry":{"id":1e20,"project_id":"p-1","task_id":2.5}})").entryID, std::nullopt);
        QCOMPARE(read(R"({"current_entry":{"task_id":2.5}})").task, std::optional<QString>(QStringLiteral("2.5")));
    }

    void entryIdentifier()
    {
        QCOMPARE(API::entryID(obj(R"({"data":{"time_entry":{"id":90},"id":5}})")), std::optional<qint64>(90));
        QCOMPARE(API::entryID(obj(R"({"time_entry_id":7})")), std::optional<qint64>(7));
        QCOMPARE(API::entryID(obj(R"({"id":"7"})")), std::nullopt);
        QCOMPARE(API::entryID(obj(R"({"time_entry":{"id":"x"},"current_entry":{"id":8}})")),
                 std::optional<qint64>(8));
        QCOMPARE(API::entryID(obj(R"({"time_entry":{"id":null,"time_entry_id":3},"id":4})")),
                 std::optional<qint64>(4)); // a present null hides time_entry_id
        QCOMPARE(API::entryID(obj(R"({"id":-3.9})")), std::optional<qint64>(-3));
        QCOMPARE(API::entryID(obj(R"({"id":9223372036854775807})")),
                 std::optional<qint64>(std::numeric_limits<qint64>::max()));
        QCOMPARE(API::entryID(obj(R"({"id":1e300})")), std::nullopt);
        QCOMPARE(API::entryID(obj(R"({"data":[1],"time_entry":{"id":2}})")), std::optional<qint64>(2));
    }

    void wrongTypesEverywhere()
    {
        // Every field these readers look at, given every JSON kind, at every
        // level: a documented default, never a crash.
        const QList<QJsonValue> kinds{QJsonValue(QJsonValue::Null), true, false, 0, -1, 4.5, 1e300,
                                      QStringLiteral("12"), QJsonArray{1, QJsonObject{}}, QJsonObject{{"id", 1}}};
        const QStringList keys{"data", "current_entry", "time_entry", "is_running", "id", "time_entry_id",
                               "started_at", "start_time", "project_id", "task_id", "screenshot_interval"};
        for (const QJsonValue &kind : kinds) {
            for (const QString &key : keys) {
                const QJsonObject inner{{key, kind}};
                const QJsonObject answers[] = {
                    inner,
                    QJsonObject{{"data", inner}},
                    QJsonObject{{"data", QJsonObject{{"current_entry", inner}, {"time_entry", inner}}}},
                };
                for (const QJsonObject &answer : answers) {
                    const API::CurrentTimer c = API::currentTimer(answer);
                    QVERIFY(!c.entryID || *c.entryID == 1 || *c.entryID == 0 || *c.entryID == -1 ||
                            *c.entryID == 4);
                    (void)API::entryID(answer);
                    const auto minutes = API::intervalSearch(answer);
                    QVERIFY(!minutes || (std::isfinite(*minutes) && *minutes > 0));
                }
            }
        }
    }

    void startAndStopBodies()
    {
        PendingStop p;
        p.sessionID = QStringLiteral("S-1");
        p.projectID = QStringLiteral("17");
        p.taskID = QStringLiteral("task-0-1");
        p.isPrivate = true;
        p.startedAt = Instant::fromUnixSeconds(1710408000);
        p.stoppedAt = capture;
        const Instant now = Instant::fromUnixSeconds(1710408500);

        const QJsonObject start = API::startBody(p, 42, now);
        QCOMPARE(start, obj(R"({"project_id":17,"task_id":"task-0-1","device_id":42,"type":"tracked",
            "is_private":true,"started_at":"2024-03-14T09:20:00.000Z","client_session_id":"S-1",
            "local_sync_id":"S-1","sync_id":"S-1","client_time":"2024-03-14T09:28:20.000Z"})"));

        p.taskID.reset();
        const QJsonObject stop = API::stopBody(p, std::nullopt, std::nullopt, now);
        QCOMPARE(stop, obj(R"({"project_id":17,"task_id":null,"device_id":null,"time_entry_id":null,
            "current_entry_id":null,"type":"tracked","is_private":true,"stopped_at":"2024-03-14T09:26:53.250Z",
            "stop_reason":"manual","client_session_id":"S-1","local_sync_id":"S-1","sync_id":"S-1",
            "client_time":"2024-03-14T09:28:20.000Z"})"));
        QCOMPARE(API::stopBody(p, 881, 3, now).value("current_entry_id"), QJsonValue(881));

        TrackingSnapshot s;
        s.isRunning = true;
        s.startedAt = p.startedAt;
        s.sessionID = QStringLiteral("S-2");
        s.projectID = QStringLiteral("project-3");
        const QJsonObject fromSnapshot = API::startBody(s, std::nullopt, now);
        QCOMPARE(fromSnapshot.value("project_id"), QJsonValue("project-3"));
        QCOMPARE(fromSnapshot.value("task_id"), QJsonValue(QJsonValue::Null));
        QCOMPARE(fromSnapshot.value("sync_id"), QJsonValue("S-2"));
        QCOMPARE(fromSnapshot.value("is_private"), QJsonValue(false));
        QCOMPARE(fromSnapshot.size(), 10);
    }

    void startAndStopOverTheWire()
    {
        PendingStop p;
        p.sessionID = QStringLiteral("S");
        p.startedAt = capture;
        p.stoppedAt = capture.addSeconds(60);
        const QJsonObject startBody = API::startBody(p, 7, Instant::now());
        const QJsonObject answer = await(API::start(token, startBody));
        QCOMPARE(API::entryID(answer), std::optional<qint64>(100));
        QCOMPARE(m_server->last(QStringLiteral("time/start"))->json(), startBody);

        const QJsonObject stopBody = API::stopBody(p, 100, 7, Instant::now());
        await(API::stop(token, stopBody));
        // The server has nothing open any more.
        const APIError e = awaitError<APIError>(API::stop(token, stopBody));
        QVERIFY(API::isNoActiveTimer(e));
        QVERIFY(API::isNoActiveTimer(APIError(QStringLiteral("NO ACTIVE TIMER FOUND for user"))));
        QVERIFY(!API::isNoActiveTimer(APIError(QStringLiteral("No timer"))));
    }

    // A captive portal answers 200 with its own page: start, stop and sign-in
    // must not take that for acceptance. Readers of other endpoints stay lenient.
    void okWithoutJsonIsNotAcceptance_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("html") << 200 << QByteArray("<html><body>Sign in to the Wi-Fi</body></html>");
        QTest::newRow("empty 204") << 204 << QByteArray();
        QTest::newRow("array") << 200 << QByteArray("[1]");
        QTest::newRow("truncated") << 201 << QByteArray(R"({"data":{"id":5)");
    }
    void okWithoutJsonIsNotAcceptance()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        PendingStop p;
        p.sessionID = QStringLiteral("S");
        for (const char *path : {"time/start", "time/stop", "login"})
            m_server->respond(QString::fromLatin1(path), status, body);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("time/stop answered %1 without a JSON object").arg(status)));
        QCOMPARE(awaitError<APIError>(API::stop(token, API::stopBody(p, 100, 7, capture))).message(), unreachable);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("time/start answered")));
        QCOMPARE(awaitError<APIError>(API::start(token, API::startBody(p, 7, capture))).message(), unreachable);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("login answered")));
        QCOMPARE(awaitError<APIError>(API::login(QStringLiteral("e"), QStringLiteral("p"))).message(), unreachable);

        m_server->respond(QStringLiteral("projects"), status, body);
        QVERIFY(await(API::projects(token)).isEmpty());
    }

    void heartbeatNeverThrows()
    {
        await(API::heartbeat(token, 3, std::nullopt));
        const QJsonObject body = m_server->last(QStringLiteral("time/heartbeat"))->json();
        QCOMPARE(body.value("device_id"), QJsonValue(3));
        QCOMPARE(body.value("time_entry_id"), QJsonValue(QJsonValue::Null));
        QVERIFY(API::parseISO(body.value("heartbeat_at").toString()));
        QCOMPARE(body.size(), 3);

        m_server->respond(QStringLiteral("time/heartbeat"), 401, QByteArray());
        await(API::heartbeat(token, std::nullopt, 5));
        API::setBaseURL(QUrl(QStringLiteral("http://127.0.0.1:1/api/v1/")));
        await(API::heartbeat(token, std::nullopt, 5)); // offline: returns normally
    }

    void logoutIgnoresFailures()
    {
        await(API::logout(token));
        const auto r = m_server->last(QStringLiteral("logout"));
        QCOMPARE(r->method, QStringLiteral("POST"));
        QVERIFY(!r->hasHeader("Content-Type"));
        QCOMPARE(r->header("Content-Length"), QStringLiteral("0")); // the server need not wait for a body
        m_server->respond(QStringLiteral("logout"), 401, QByteArray());
        await(API::logout(token));
    }

    // ---- reporting ----

    void projectsFromServer()
    {
        const QList<Project> list = await(API::projects(token));
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.first(), (Project{"1", "Website", {{"11", "Design"}, {"12", "Build"}}}));
        m_server->respond(QStringLiteral("projects"), 401, QByteArray());
        QCOMPARE(awaitError<APIError>(API::projects(token)).message(),
                 QStringLiteral("Your session has expired. Please sign in again."));
    }

    void todaySurvivesDashboardFailure()
    {
        TodayStats s = await(API::today(token));
        QCOMPARE(s.tracked, QStringLiteral("1h 0m"));
        QCOMPARE(s.start, QStringLiteral("09:00"));
        QCOMPARE(s.todaySeconds, 3600.0);
        // Dashboard first, then the current timer.
        const auto log = m_server->requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].path, QStringLiteral("dashboard"));
        QCOMPARE(log[1].path, QStringLiteral("time/current"));

        m_server->htmlError(QStringLiteral("dashboard"), 500);
        s = await(API::today(token));
        QCOMPARE(s.tracked, QStringLiteral("0m"));
        QCOMPARE(s.end, QStringLiteral("--:--"));
        QCOMPARE(s.weekSeconds, 18000.0);

        m_server->drop(QStringLiteral("dashboard"));
        QCOMPARE(await(API::today(token)).todaySeconds, 3600.0);

        m_server->respond(QStringLiteral("time/current"), 500, obj(R"({"message":"Boom"})"));
        QCOMPARE(awaitError<APIError>(API::today(token)).message(), QStringLiteral("Boom"));
    }

    void intervalSearch_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("minutes");
        QTest::newRow("nested number") << QByteArray(R"({"data":{"screenshot_interval":5}})") << 5.0;
        QTest::newRow("top level wins, zero skipped")
            << QByteArray(R"({"screenshotInterval":2,"data":{"screenshot_interval":0}})") << 2.0;
        QTest::newRow("zero skipped at top") << QByteArray(R"({"screenshot_interval":0,"data":{"x_screenshot_interval":4}})")
                                             << 4.0;
        QTest::newRow("text deep") << QByteArray(R"({"a":{"b":{"ScreenshotIntervalMinutes":"10"}}})") << 10.0;
        QTest::newRow("only interval") << QByteArray(R"({"interval":10})") << 3.0;
        QTest::newRow("leading space") << QByteArray(R"({"screenshot_interval":" 10"})") << 3.0;
        QTest::newRow("trailing text") << QByteArray(R"({"screenshot_interval":"10m"})") << 3.0;
        QTest::newRow("nan text") << QByteArray(R"({"screenshot_interval":"nan"})") << 3.0;
        QTest::newRow("inf text") << QByteArray(R"({"screenshot_interval":"inf"})") << 3.0;
        QTest::newRow("negative") << QByteArray(R"({"screenshot_interval":-5})") << 3.0;
        QTest::newRow("array not entered") << QByteArray(R"({"list":[{"screenshot_interval":9}]})") << 3.0;
        QTest::newRow("array value") << QByteArray(R"({"screenshot_interval":[9]})") << 3.0;
        QTest::newRow("below a minute") << QByteArray(R"({"screenshot_interval":0.01})") << 1.0;
        QTest::newRow("absurdly long") << QByteArray(R"({"screenshot_interval":1e300})") << 10080.0;
        QTest::newRow("fraction text") << QByteArray(R"({"screenshot_interval":"2.5"})") << 2.5;
        QTest::newRow("exponent text") << QByteArray(R"({"screenshot_interval":"1e1"})") << 10.0;
        QTest::newRow("not json") << QByteArray("<html>") << 3.0;
    }
    void intervalSearch()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, minutes);
        m_server->respond(QStringLiteral("settings/get"), 200, json);
        QCOMPARE(await(API::screenshotInterval(token)), minutes);
    }

    void intervalOnFailure()
    {
        m_server->respond(QStringLiteral("settings/get"), 500, obj(R"({"screenshot_interval":9})"));
        QCOMPARE(await(API::screenshotInterval(token)), 3.0);
        m_server->drop(QStringLiteral("settings/get"));
        QCOMPARE(await(API::screenshotInterval(token)), 3.0);
    }

    void activity()
    {
        QCOMPARE(API::activityPercentage(90, 45, 30), 100.0);
        QCOMPARE(API::activityPercentage(9, 0, 120), 2.5);
        QCOMPARE(API::activityPercentage(1, 0, 60), 0.6);  // 0.555… rounds up
        QCOMPARE(API::activityPercentage(0, 0, 0), 0.0);
        QCOMPARE(API::activityPercentage(1000, 1000, 60), 100.0);
        QCOMPARE(API::activityPercentage(9, 0, qQNaN()), 5.0);

        const QJsonObject body = API::activityBody(4, std::nullopt, 3, 10, 7.5, capture);
        QCOMPARE(body.size(), 8);
        QVERIFY(QRegularExpression(uuidPattern).match(body.value("id").toString()).hasMatch());
        QCOMPARE(body.value("tracked_at"), QJsonValue("2024-03-14T09:26:53.250Z"));
        QCOMPARE(body.value("time_entry_id"), QJsonValue(QJsonValue::Null));
        QCOMPARE(body.value("mouse_clicks"), QJsonValue(3));
        QCOMPARE(body.value("keystrokes"), QJsonValue(10));
        QCOMPARE(body.value("activity_percentage"), QJsonValue(7.5));
        QJsonObject copy = body;
        copy.remove("logs");
        QCOMPARE(body.value("logs").toArray(), QJsonArray{copy});

        await(API::activityLog(token, body));
        const auto sent = m_server->last(QStringLiteral("activity/logs"));
        QCOMPARE(sent->json(), body);
        QCOMPARE(sent->header(QStringLiteral("Authorization")), QStringLiteral("Bearer tok"));
        m_server->respond(QStringLiteral("activity/logs"), 500, QByteArray());
        QCOMPARE(awaitError<APIError>(API::activityLog(token, body)).message(),
                 QStringLiteral("Something went wrong (500)."));
    }

    void usageLog()
    {
        await(API::usageLog(token, std::nullopt, QStringLiteral("Text Editor"), capture, capture.addSeconds(65)));
        const QJsonObject body = m_server->last(QStringLiteral("usage/logs"))->json();
        QCOMPARE(body.size(), 2);
        QCOMPARE(body.value("device_id"), QJsonValue(QJsonValue::Null));
        const QJsonArray logs = body.value("logs").toArray();
        QCOMPARE(logs.size(), 1);
        QJsonObject entry = logs.first().toObject();
        QVERIFY(QRegularExpression(uuidPattern).match(entry.value("id").toString()).hasMatch());
        entry.remove("id");
        QCOMPARE(entry, obj(R"({"device_id":null,"app_name":"Text Editor","url":null,"domain":null,
                               "started_at":"2024-03-14 09:26:53","ended_at":"2024-03-14 09:27:58"})"));
        m_server->respond(QStringLiteral("usage/logs"), 422, obj(R"({"message":"Bad log"})"));
        QCOMPARE(awaitError<APIError>(API::usageLog(token, 1, QStringLiteral("a"), capture, capture)).message(),
                 QStringLiteral("Bad log"));
    }

    // ---- screenshots ----

    void uploadBodyByteForByte()
    {
        const QByteArray jpeg("\xff\xd8\xff\xe0\r\n--fake\x00\xff\xd9", 15);
        const QByteArray body = API::uploadBody(QStringLiteral("cv-B"), 42, jpeg, QStringLiteral("a1b2"), capture,
                                                QStringLiteral("LOG-1"));
        const QByteArray expected = QByteArray("--cv-B\r\n"
                                               "Content-Disposition: form-data; name=\"device_id\"\r\n\r\n42\r\n"
                                               "--cv-B\r\n"
                                               "Content-Disposition: form-data; name=\"captured_at[]\"\r\n\r\n"
                                               "2024-03-14 09:26:53\r\n"
                                               "--cv-B\r\n"
                                               "Content-Disposition: form-data; name=\"visual_hash[]\"\r\n\r\na1b2\r\n"
                                               "--cv-B\r\n"
                                               "Content-Disposition: form-data; name=\"client_log_id[]\"\r\n\r\n"
                                               "LOG-1\r\n"
                                               "--cv-B\r\n"
                                               "Content-Disposition: form-data; name=\"files[]\"; "
                                               "filename=\"capture-1710408413.jpg\"\r\n"
                                               "Content-Type: image/jpeg\r\n\r\n") +
                                    jpeg + QByteArray("\r\n--cv-B--\r\n");
        QCOMPARE(body, expected);

        const QByteArray noDevice =
            API::uploadBody(QStringLiteral("b"), std::nullopt, {}, {}, capture, QStringLiteral("L"));
        QVERIFY(noDevice.startsWith("--b\r\nContent-Disposition: form-data; name=\"device_id\"\r\n\r\n\r\n--b\r\n"));
    }

    void uploadOverTheWire()
    {
        QByteArray jpeg(70000, Qt::Uninitialized);
        for (int i = 0; i < jpeg.size(); ++i)
            jpeg[i] = char(i * 31);
        await(API::uploadScreenshot(token, 42, jpeg, QStringLiteral("ffee"), capture));
        const auto r = m_server->last(QStringLiteral("screenshots/upload"));
        QVERIFY(r);
        QCOMPARE(r->method, QStringLiteral("POST"));
        QCOMPARE(r->header("Accept"), QStringLiteral("application/json"));
        QCOMPARE(r->header("Authorization"), QStringLiteral("Bearer tok"));
        const QRegularExpressionMatch m =
            QRegularExpression("^multipart/form-data; boundary=(cv-[0-9A-F-]{36})$").match(r->header("Content-Type"));
        QVERIFY2(m.hasMatch(), qPrintable(r->header("Content-Type")));

        QCOMPARE(r->parts.size(), 5);
        const QStringList names{"device_id", "captured_at[]", "visual_hash[]", "client_log_id[]", "files[]"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(r->parts[i].name, names[i]);
        QCOMPARE(r->parts[0].content, QByteArray("42"));
        QCOMPARE(r->parts[1].content, QByteArray("2024-03-14 09:26:53"));
        QCOMPARE(r->parts[2].content, QByteArray("ffee"));
        QCOMPARE(r->parts[4].filename, QStringLiteral("capture-1710408413.jpg"));
        QCOMPARE(r->parts[4].contentType, QStringLiteral("image/jpeg"));
        QCOMPARE(r->parts[4].content, jpeg);
        // The bytes on the wire are exactly the body built from those values.
        const QString logID = QString::fromUtf8(r->parts[3].content);
        QVERIFY(QRegularExpression(uuidPattern).match(logID).hasMatch());
        const QByteArray expected = API::uploadBody(m.captured(1), 42, jpeg, QStringLiteral("ffee"), capture, logID);
        QCOMPARE(r->header("Content-Length").toLongLong(), expected.size());
    }

    void minuteRequestsShareOneConnection()
    {
        // The requests of a minute's pass, one after the other, as the
        // workspace server sees them: all on the connection the first opened.
        await(API::heartbeat(token, 3, 9));
        await(API::usageLog(token, 3, QStringLiteral("XTerm"), capture, capture.addSeconds(60)));
        await(API::activityLog(token, API::activityBody(3, 9, 1, 2, 5, capture)));
        await(API::uploadScreenshot(token, 3, QByteArray(70000, 'j'), QStringLiteral("ffee"), capture));
        await(API::heartbeat(token, 3, 9));
        const QList<TestServer::Request> requests = m_server->requests();
        QCOMPARE(requests.size(), 5);
        for (const TestServer::Request &r : requests) {
            QCOMPARE(r.clientPort, requests.first().clientPort);
            QVERIFY(r.header(QStringLiteral("Connection")).compare(QStringLiteral("close"), Qt::CaseInsensitive) != 0);
        }
    }

    void uploadFailures()
    {
        const QByteArray jpeg("\xff\xd8");
        m_server->respond(QStringLiteral("screenshots/upload"), 413, QByteArray("Request Entity Too Large"));
        QCOMPARE(awaitError<APIError>(API::uploadScreenshot(token, 1, jpeg, {}, capture)).message(),
                 QStringLiteral("Screenshot upload failed (413)."));
        // No session handling here: a 401 gives the server's message.
        m_server->respond(QStringLiteral("screenshots/upload"), 401, obj(R"({"message":"Token revoked"})"));
        QCOMPARE(awaitError<APIError>(API::uploadScreenshot(token, 1, jpeg, {}, capture)).message(),
                 QStringLiteral("Token revoked"));
        // A 2xx answer is not read at all.
        m_server->respond(QStringLiteral("screenshots/upload"), 200, obj(R"({"success":false,"message":"x"})"));
        await(API::uploadScreenshot(token, 1, jpeg, {}, capture));
        // A transport failure keeps the network's own description.
        API::setBaseURL(QUrl(QStringLiteral("http://127.0.0.1:1/api/v1/")));
        const APIError e = awaitError<APIError>(API::uploadScreenshot(token, 1, jpeg, {}, capture));
        QVERIFY(!e.message().isEmpty());
        QVERIFY(e.message() != unreachable);
    }
};

QTEST_GUILESS_MAIN(TestAPIEndpoints)
#include "tst_apiendpoints.moc"
