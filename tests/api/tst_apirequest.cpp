#include "API.h"

#include "AsyncTest.h"
#include "TestServer.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

using AsyncTest::await;
using AsyncTest::awaitError;

namespace {
const QString unreachable = QStringLiteral("Can't reach Zimbrel. Check your connection and try again.");
const QString expired = QStringLiteral("Your session has expired. Please sign in again.");
const std::optional<QString> token = QStringLiteral("tok-123");
const std::optional<QString> noToken;

QCoro::Task<QJsonObject> get(const QString &path, std::optional<QString> auth = token)
{
    return API::request(path, auth, QStringLiteral("GET"));
}
QCoro::Task<QJsonObject> post(const QString &path, const QJsonObject &body, std::optional<QString> auth = token)
{
    return API::request(path, auth, QStringLiteral("POST"), body);
}
} // namespace

class TestAPIRequest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestServer> m_server;

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<TestServer>();
        QVERIFY(m_server->isListening());
        API::setBaseURL(m_server->baseUrl());
    }
    void init()
    {
        m_server->clear();
        API::setBaseURL(m_server->baseUrl());
        API::setTimeouts({}, {});
    }
    void cleanupTestCase() { m_server.reset(); }

    void headersFollowTokenAndBody()
    {
        await(get(QStringLiteral("projects")));
        auto r = m_server->last(QStringLiteral("projects"));
        QVERIFY(r);
        QCOMPARE(r->method, QStringLiteral("GET"));
        QCOMPARE(r->header("Accept"), QStringLiteral("application/json"));
        QCOMPARE(r->header("Authorization"), QStringLiteral("Bearer tok-123"));
        QVERIFY(!r->hasHeader("Content-Type"));
        QVERIFY(r->body.isEmpty());

        const QJsonObject body{{"email", "a@b.c"}, {"remember", true}, {"n", 4.5}};
        await(post(QStringLiteral("login"), body, noToken));
        r = m_server->last(QStringLiteral("login"));
        QCOMPARE(r->method, QStringLiteral("POST"));
        QVERIFY(!r->hasHeader("Authorization"));
        QCOMPARE(r->header("Content-Type"), QStringLiteral("application/json"));
        QCOMPARE(r->json(), body);
        QVERIFY(!r->body.contains('\n')); // compact

        // An empty token still sends the header.
        await(get(QStringLiteral("dashboard"), QString()));
        QVERIFY(m_server->last(QStringLiteral("dashboard"))->hasHeader("Authorization"));
    }

    void unauthorizedRules()
    {
        m_server->respond(QStringLiteral("login"), 401, QJsonObject{{"message", "Wrong e-mail or password."}});
        QCOMPARE(awaitError<APIError>(post(QStringLiteral("login"), {}, noToken)).message(),
                 QStringLiteral("Wrong e-mail or password."));
        m_server->respond(QStringLiteral("login"), 401, QByteArray());
        QCOMPARE(awaitError<APIError>(post(QStringLiteral("login"), {}, noToken)).message(),
                 QStringLiteral("Something went wrong (401)."));
        // Anywhere else a 401 means the session is over, whatever it says.
        m_server->respond(QStringLiteral("projects"), 401, QJsonObject{{"message", "Nope"}});
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), expired);
        m_server->respond(QStringLiteral("time/login"), 401, QJsonObject{{"message", "Nope"}});
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("time/login"))).message(), expired);
    }

    void successFlag_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty: success
        QTest::newRow("false with message") << QByteArray(R"({"success":false,"message":"Project archived."})")
                                            << "Project archived.";
        QTest::newRow("false without message") << QByteArray(R"({"success":false})") << "Something went wrong (200).";
        QTest::newRow("zero") << QByteArray(R"({"success":0,"message":7})") << "Something went wrong (200).";
        QTest::newRow("zero float") << QByteArray(R"({"success":0.0})") << "Something went wrong (200).";
        QTest::newRow("string false") << QByteArray(R"({"success":"false"})") << "";
        QTest::newRow("null") << QByteArray(R"({"success":null})") << "";
        QTest::newRow("true") << QByteArray(R"({"success":true})") << "";
        QTest::newRow("one") << QByteArray(R"({"success":1})") << "";
    }
    void successFlag()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        m_server->respond(QStringLiteral("dashboard"), 200, body);
        if (error.isEmpty()) {
            QCOMPARE(await(get(QStringLiteral("dashboard"))), QJsonDocument::fromJson(body).object());
        } else {
            QCOMPARE(awaitError<APIError>(get(QStringLiteral("dashboard"))).message(), error);
        }
    }

    void oddAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty: an empty object comes back
        QTest::newRow("200 empty") << 200 << QByteArray() << "";
        QTest::newRow("204") << 204 << QByteArray() << "";
        QTest::newRow("200 not json") << 200 << QByteArray("OK") << "";
        QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << "";
        QTest::newRow("200 string") << 200 << QByteArray("\"hi\"") << "";
        QTest::newRow("200 deep") << 200 << QByteArray(100000, '[') + QByteArray(100000, ']') << "";
        QTest::newRow("200 deep objects") << 200 << QByteArray(200000, '{') << "";
        QTest::newRow("200 not utf8") << 200 << QByteArray("{\"message\":\"\xff\xfe\"}") << "";
        QTest::newRow("500 html") << 500 << TestServer::htmlPage(500) << "Something went wrong (500).";
        QTest::newRow("404 message") << 404 << QByteArray(R"({"message":"Gone"})") << "Gone";
        QTest::newRow("422 message not text") << 422 << QByteArray(R"({"message":["a"]})")
                                              << "Something went wrong (422).";
        QTest::newRow("400 not utf8") << 400 << QByteArray("{\"message\":\"\xc3\x28\"}")
                                      << "Something went wrong (400).";
        QTest::newRow("302") << 302 << QByteArray() << "Something went wrong (302).";
        QTest::newRow("407 message") << 407 << QByteArray(R"({"message":"Proxy says no"})") << "Proxy says no";
    }
    void oddAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        m_server->respond(QStringLiteral("dashboard"), status, body);
        if (error.isEmpty())
            QCOMPARE(await(get(QStringLiteral("dashboard"))), QJsonObject());
        else
            QCOMPARE(awaitError<APIError>(get(QStringLiteral("dashboard"))).message(), error);
    }

    void htmlErrorPage()
    {
        m_server->htmlError(QStringLiteral("projects"), 502);
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(),
                 QStringLiteral("Something went wrong (502)."));
    }

    void transportFailures()
    {
        m_server->drop(QStringLiteral("projects"));
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), unreachable);

        // Nothing listens on port 1.
        API::setBaseURL(QUrl(QStringLiteral("http://127.0.0.1:1/api/v1/")));
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), unreachable);
    }

    void transferTimeOut()
    {
        API::setTimeouts(std::chrono::milliseconds(200), std::chrono::milliseconds(200));
        m_server->delay(QStringLiteral("time/current"), 2000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("time/current"))).message(), unreachable);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        // A quick answer within the time-out is fine.
        m_server->delay(QStringLiteral("time/current"), 20);
        await(get(QStringLiteral("time/current")));
    }

    void oversizedAnswerIsRefused()
    {
        // Incompressible, so it arrives at full size even when compressed.
        QByteArray noise(12 * 1024 * 1024 + 1, Qt::Uninitialized);
        QRandomGenerator rng(7);
        rng.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        const QByteArray big = "{\"a\":\"" + noise.toBase64() + "\"}";
        QVERIFY(big.size() > 16 * 1024 * 1024);
        m_server->respond(QStringLiteral("projects"), 200, big);
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), unreachable);
        // Highly compressible: small on the wire, huge once decoded.
        TestServer::Reply bomb;
        bomb.body = "{\"a\":\"" + QByteArray(17 * 1024 * 1024, 'x') + "\"}";
        bomb.contentType = "application/json"; // the server compresses this type
        m_server->script(QStringLiteral("projects"), bomb);
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), unreachable);
        const QByteArray fine = "{\"a\":\"" + QByteArray(1024 * 1024, 'x') + "\"}";
        m_server->respond(QStringLiteral("projects"), 200, fine);
        QCOMPARE(await(get(QStringLiteral("projects"))).value("a").toString().size(), 1024 * 1024);
    }

    void plainHttpOnlyToThisMachine()
    {
        API::setBaseURL(QUrl(QStringLiteral("http://zimbrel.invalid/api/v1/")));
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("projects"))).message(), unreachable);
        // Nor a password.
        QCOMPARE(awaitError<APIError>(post(QStringLiteral("login"), QJsonObject{{"password", "pw"}}, noToken))
                     .message(),
                 unreachable);
        const QByteArray jpeg("\xff\xd8");
        QCOMPARE(awaitError<APIError>(API::uploadScreenshot(QStringLiteral("t"), 1, jpeg, QStringLiteral("h"),
                                                            Instant::now()))
                     .message(),
                 unreachable);
    }

    void redirectsStayOnOneOrigin()
    {
        TestServer::Reply moved;
        moved.status = 302;
        moved.headers = {{"Location", "/api/v1/settings/get"}};
        m_server->script(QStringLiteral("dashboard"), moved);
        QCOMPARE(await(get(QStringLiteral("dashboard"))).value("data").toObject().value("screenshot_interval"),
                 QJsonValue(5));
        QCOMPARE(m_server->last(QStringLiteral("settings/get"))->header("Authorization"),
                 QStringLiteral("Bearer tok-123"));

        // Another origin would receive the token: not followed.
        TestServer elsewhere;
        moved.headers = {{"Location", (elsewhere.baseURL() + QStringLiteral("projects")).toUtf8()}};
        m_server->script(QStringLiteral("dashboard"), moved);
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("dashboard"))).message(), unreachable);
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    void num_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("absent");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("42") << "42" << false << QJsonValue(42);
        QTest::newRow("-7") << "-7" << false << QJsonValue(-7);
        QTest::newRow("+5") << "+5" << false << QJsonValue(5);
        QTest::newRow("leading zeros") << "007" << false << QJsonValue(7);
        QTest::newRow("max") << "9223372036854775807" << false << QJsonValue(std::numeric_limits<qint64>::max());
        QTest::newRow("min") << "-9223372036854775808" << false << QJsonValue(std::numeric_limits<qint64>::min());
        QTest::newRow("max+1") << "9223372036854775808" << false << QJsonValue("9223372036854775808");
        QTest::newRow("min-1") << "-9223372036854775809" << false << QJsonValue("-9223372036854775809");
        QTest::newRow("20 digits") << "12345678901234567890" << false << QJsonValue("12345678901234567890");
        QTest::newRow("empty") << "" << false << QJsonValue("");
        QTest::newRow("sign only") << "-" << false << QJsonValue("-");
        QTest::newRow("two signs") << "+-1" << false << QJsonValue("+-1");
        QTest::newRow("12a") << "12a" << false << QJsonValue("12a");
        QTest::newRow("spaces") << " 12" << false << QJsonValue(" 12");
        QTest::newRow("trailing newline") << "12\n" << false << QJsonValue("12\n");
        QTest::newRow("fraction") << "4.5" << false << QJsonValue("4.5");
        QTest::newRow("synthesised") << "project-3" << false << QJsonValue("project-3");
        QTest::newRow("arabic digits") << "\u0661\u0662" << false << QJsonValue("\u0661\u0662");
        QTest::newRow("absent") << "" << true << QJsonValue(QJsonValue::Null);
    }
    void num()
    {
        QFETCH(QString, text);
        QFETCH(bool, absent);
        QFETCH(QJsonValue, expected);
        const QJsonValue v = API::num(absent ? std::nullopt : std::optional<QString>(text));
        QCOMPARE(v.type(), expected.type());
        QCOMPARE(v, expected);
        if (v.isDouble()) // exact at the 64-bit limits, not rounded through a double
            QCOMPARE(v.toInteger(), expected.toInteger());
    }

    void dates()
    {
        const Instant at = Instant::fromUnixSeconds(1710408413.5899);
        QCOMPARE(API::iso(at), QStringLiteral("2024-03-14T09:26:53.589Z"));
        QCOMPARE(API::stamp(at), QStringLiteral("2024-03-14 09:26:53"));
        QCOMPARE(API::stamp(Instant::fromUnixSeconds(-0.5)), QStringLiteral("1969-12-31 23:59:59"));

        QCOMPARE(API::parseISO(QStringLiteral("2024-03-14T09:26:53.589Z"))->unixSeconds(), 1710408413.589);
        QCOMPARE(API::parseISO(QStringLiteral("2024-03-14T09:26:53Z"))->unixSeconds(), 1710408413.0);
        QCOMPARE(API::parseISO(QStringLiteral("2024-03-14T11:26:53+02:00"))->unixSeconds(), 1710408413.0);
        QVERIFY(!API::parseISO(QStringLiteral("2024-03-14 09:26:53")));
        QVERIFY(!API::parseISO(QStringLiteral("2024-03-14T09:26:53")));
        QVERIFY(!API::parseISO(QStringLiteral("2024-02-30T09:26:53Z")));
        QVERIFY(!API::parseISO(QStringLiteral("2024-03-14T25:26:53Z")));
        QVERIFY(!API::parseISO(QString()));
        QVERIFY(!API::parseISO(QStringLiteral("2024-03-14T09:26:53.Z")));
    }

    void serverAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << "https://time.example.com/api/v1/" << true;
        QTest::newRow("https port path") << "https://example.com:8443/zimbrel/api/v1/" << true;
        QTest::newRow("http loopback") << "http://127.0.0.1:8080/api/v1/" << true;
        QTest::newRow("http 127/8") << "http://127.3.2.1/api/v1/" << true;
        QTest::newRow("http ::1") << "http://[::1]:9000/api/v1/" << true;
        QTest::newRow("http localhost") << "http://localhost/api/v1/" << true;
        QTest::newRow("http remote") << "http://time.example.com/api/v1/" << false;
        QTest::newRow("http lookalike") << "http://127.0.0.1.example.com/api/v1/" << false;
        QTest::newRow("http private") << "http://192.168.1.2/api/v1/" << false;
        QTest::newRow("no slash") << "https://example.com/api/v1" << false;
        QTest::newRow("other path") << "https://example.com/api/v2/" << false;
        QTest::newRow("ftp") << "ftp://example.com/api/v1/" << false;
        QTest::newRow("relative") << "/api/v1/" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("garbage") << "https://exa mple.com/api/v1/" << false;
        QTest::newRow("query") << "https://example.com/api/v1/?x=1" << false;
        QTest::newRow("user") << "https://u:p@example.com/api/v1/" << false;
    }
    void serverAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const API::ServerCheck check = API::checkServer(text);
        QCOMPARE(check.ok(), accepted);
        if (accepted)
            QCOMPARE(check.url, QUrl(text));
        else
            QVERIFY(!check.error.isEmpty());
        QVERIFY(API::checkServer(API::defaultBaseURL().toString()).ok());
    }

    void tlsTrustedAndUntrusted()
    {
        TestServer trusted(TestServer::Mode::https);
        TestServer untrusted(TestServer::Mode::https);
        QVERIFY(trusted.isListening());
        QVERIFY(untrusted.isListening());
        QVERIFY(trusted.baseURL().startsWith(QLatin1String("https://127.0.0.1:")));
        trusted.trust();

        API::setBaseURL(trusted.baseUrl());
        QCOMPARE(await(get(QStringLiteral("settings/get"))).value("data").toObject().value("screenshot_interval"),
                 QJsonValue(5));
        QCOMPARE(trusted.last(QStringLiteral("settings/get"))->header("Authorization"),
                 QStringLiteral("Bearer tok-123"));

        API::setBaseURL(untrusted.baseUrl());
        QCOMPARE(awaitError<APIError>(get(QStringLiteral("settings/get"))).message(), unreachable);
        QCOMPARE(untrusted.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAPIRequest)
#include "tst_apirequest.moc"
