// The client's own server code (src/api) against the real zimbrel-server on
// loopback: every endpoint the client calls, the answers it reads, and what
// ends up stored.
#include "API.h"
#include "Uuid.h"
#include "APIError.h"
#include "Preferences.h"

#include "AsyncTest.h"
#include "ServerProcess.h"
#include "TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>
#include <QUrlQuery>

#include <cmath>

using AsyncTest::await;
using AsyncTest::awaitError;

namespace {

const QString annEmail = QStringLiteral("ann@example.org");
const QString annPassword = QStringLiteral("correct horse battery");
const QString benEmail = QStringLiteral("ben@example.org");
const QString benPassword = QStringLiteral("another long secret");
const QString expired = QStringLiteral("Your session has expired. Please sign in again.");
const QString noTimer = QStringLiteral("No active timer found.");

// Enough of a JPEG for the server: it checks the start-of-image marker.
const QByteArray jpeg = QByteArray::fromHex("FFD8FFE000104A46494600") + QByteArray(2048, 'x') + QByteArray::fromHex("FFD9");

PendingStop session(const QString &id, std::optional<QString> project, std::optional<QString> task, Instant from,
                    Instant to)
{
    PendingStop p;
    p.sessionID = id;
    p.projectID = std::move(project);
    p.taskID = std::move(task);
    p.startedAt = from;
    p.stoppedAt = to;
    return p;
}

QJsonObject json(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).object();
}

QByteArray post(const QString &path, const QString &token, const QByteArray &body,
                const QByteArray &extraHeaders = {})
{
    return "POST /api/v1/" + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Authorization: Bearer " + token.toUtf8() + "\r\nContent-Type: application/json\r\n" + extraHeaders
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TestServerApi : public QObject {
    Q_OBJECT
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;
    qint64 m_website = 0, m_design = 0, m_build = 0, m_internal = 0;

    QString signIn(const QString &email, const QString &password)
    {
        return await(API::login(email, password)).token;
    }
    // A fresh installation: no device id cached yet.
    void newInstallation()
    {
        m_home = std::make_unique<TestEnv::IsolatedHome>();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<ServerProcess>();
        auto admin = [this](const QStringList &args, const QByteArray &in = {}) {
            const int rc = m_server->admin(args, in);
            if (rc != 0)
                qWarning().noquote() << args << m_server->lastOutput();
            return rc;
        };
        QCOMPARE(admin({"member", "add", annEmail, "--name", "Ann Example", "--time-zone", "Pacific/Auckland",
                        "--password-stdin"},
                       annPassword.toUtf8() + '\n'),
                 0);
        QCOMPARE(admin({"member", "add", benEmail, "--name", "Ben", "--admin", "--password-stdin"},
                       benPassword.toUtf8() + '\n'),
                 0);
        // The ids the admin command prints are the ones the client sees.
        auto lastId = [this] { return m_server->lastOutput().section(QLatin1Char(' '), 1, 1).toLongLong(); };
        QCOMPARE(admin({"project", "add", "Website"}), 0);
        m_website = lastId();
        QCOMPARE(admin({"task", "add", QString::number(m_website), "Design"}), 0);
        m_design = lastId();
        QCOMPARE(admin({"task", "add", QString::number(m_website), "Build"}), 0);
        m_build = lastId();
        QCOMPARE(admin({"project", "add", "Internal"}), 0);
        m_internal = lastId();
        QCOMPARE(admin({"assign", annEmail, QString::number(m_website)}), 0);
        QCOMPARE(admin({"assign", benEmail, QString::number(m_internal)}), 0);
        // Refusals of the admin command.
        QVERIFY(admin({"member", "add", annEmail, "--password-stdin"}, "x\n") != 0);
        QVERIFY(admin({"assign", annEmail, "999"}) != 0);
        QVERIFY(admin({"member", "add", "zoe@example.org", "--time-zone", "Mars/Olympus"}) != 0);

        QVERIFY2(m_server->start(), qPrintable(m_server->log()));
        API::setBaseURL(m_server->baseUrl());
    }
    void init() { newInstallation(); }
    void cleanupTestCase()
    {
        m_server.reset();
        m_home.reset();
    }

    void signInReadsProfileAndRefusesWithTheServersMessage()
    {
        const APIError wrong = awaitError<APIError>(API::login(annEmail, QStringLiteral("nope")));
        QCOMPARE(wrong.message(), QStringLiteral("The e-mail or password is not right."));
        QCOMPARE(awaitError<APIError>(API::login(QStringLiteral("nobody@example.org"), annPassword)).message(),
                 wrong.message());

        // E-mail in another letter case; role and name as the admin set them.
        const API::SignIn s = await(API::login(QStringLiteral("Ann@Example.org"), annPassword));
        QVERIFY(s.token.startsWith(QStringLiteral("zs_")));
        QCOMPARE(s.name, QStringLiteral("Ann Example"));
        QCOMPARE(s.email, annEmail);
        QCOMPARE(s.role, QStringLiteral("member"));
        // Tokens are stored only as digests.
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM sessions WHERE token_hash = ?"), {s.token}).toInt(), 0);

        const QList<Project> projects = await(API::projects(s.token));
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects[0].id, QString::number(m_website));
        QCOMPARE(projects[0].tasks.size(), 2);
        QCOMPARE(projects[0].tasks[0].name, QStringLiteral("Build"));

        // Signing out ends exactly that session.
        const QString other = signIn(annEmail, annPassword);
        await(API::logout(s.token));
        QCOMPARE(awaitError<APIError>(API::projects(s.token)).message(), expired);
        QCOMPARE(await(API::projects(other)).size(), 1);
    }

    // One whole tracked session, sent the way the sync engine and the
    // background ticks send it, then read back from the database.
    void trackingLoopIsStoredOnce()
    {
        const QString token = signIn(annEmail, annPassword);
        const std::optional<qint64> device = await(API::deviceID(token));
        QVERIFY(device);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM devices")).toInt(), 1);

        const Instant startedAt = Instant::now().addSeconds(-600);
        PendingStop p = session(Uuid::create(), QString::number(m_website), QString::number(m_design), startedAt,
                                Instant::now().addSeconds(-5));
        const QJsonObject startBody = API::startBody(p, device, Instant::now());
        const auto entry = API::entryID(await(API::start(token, startBody)));
        QVERIFY(entry);
        // A repeated start (the answer was lost) gives the same entry.
        QCOMPARE(API::entryID(await(API::start(token, startBody))), entry);

        const API::CurrentTimer running = await(API::current(token));
        QVERIFY(running.running);
        QCOMPARE(running.entryID, entry);
        QCOMPARE(running.project, QString::number(m_website));
        QCOMPARE(running.task, QString::number(m_design));
        QVERIFY(running.startedAt);
        // Milliseconds on the wire: the client may round the last one either way.
        QVERIFY(std::abs(running.startedAt->unixSeconds() - startedAt.unixSeconds()) < 0.002);

        await(API::heartbeat(token, device, entry));
        QVERIFY(!m_server->scalar(QStringLiteral("SELECT last_heartbeat_at FROM time_entries WHERE id = ?"), {*entry}).isNull());

        // Activity twice with the same id, as a retry would send it.
        const QJsonObject sample = API::activityBody(device, entry, 3, 40, API::activityPercentage(40, 3, 60), Instant::now());
        await(API::request(QStringLiteral("activity/logs"), token, QStringLiteral("POST"), sample));
        await(API::request(QStringLiteral("activity/logs"), token, QStringLiteral("POST"), sample));
        await(API::usageLog(token, device, QStringLiteral("Text Editor"), startedAt, startedAt.addSeconds(90)));
        await(API::uploadScreenshot(token, device, jpeg, QStringLiteral("0f0e0d0c0b0a0908"), Instant::now()));

        // The stop, sent five times (the client retries until it hears back).
        for (int i = 0; i < 5; ++i)
            await(API::stop(token, API::stopBody(p, entry, device, Instant::now())));
        QVERIFY(!await(API::current(token)).running);

        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM time_entries")).toInt(), 1);
        const qint64 storedMs = m_server->scalar(QStringLiteral("SELECT stopped_at - started_at FROM time_entries WHERE id = ?"),
                                                 {*entry}).toLongLong();
        QVERIFY(std::abs(storedMs - qRound64((p.stoppedAt.seconds - p.startedAt.seconds) * 1000)) <= 1);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT flagged FROM time_entries WHERE id = ?"), {*entry}).toInt(), 0);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT device_id FROM time_entries WHERE id = ?"), {*entry}).toLongLong(), *device);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM activity_logs WHERE time_entry_id = ? AND keystrokes = 40"),
                                  {*entry}).toInt(), 1);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT app_name FROM usage_logs")).toString(), QStringLiteral("Text Editor"));
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT ended_at - started_at FROM usage_logs")).toLongLong(), 90000);
        const QString key = m_server->scalar(QStringLiteral("SELECT blob_key FROM screenshots WHERE time_entry_id = ?"), {*entry}).toString();
        QVERIFY(!key.isEmpty());
        QFile stored(m_server->dataDir() + QStringLiteral("/screenshots/") + key);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), jpeg);

        // Nothing open any more: a stop of an unknown session is "no timer",
        // which the client's sync engine takes as accepted.
        const PendingStop unknown = session(Uuid::create(), QString::number(m_website), {}, startedAt, Instant::now());
        const APIError none = awaitError<APIError>(API::stop(token, API::stopBody(unknown, std::nullopt, device, Instant::now())));
        QCOMPARE(none.message(), noTimer);
        QVERIFY(API::isNoActiveTimer(none));

        // The device is Ann's: another member sending its UUID is refused,
        // and Ann's own repeat keeps its id.
        const QString ben = signIn(benEmail, benPassword);
        const QJsonObject body = API::deviceBody(Preferences::value(QStringLiteral("device.uuid")).toString());
        QCOMPARE(awaitError<APIError>(API::request(QStringLiteral("devices/register"), ben, QStringLiteral("POST"), body)).message(),
                 QStringLiteral("This device is registered to another member."));
        const QJsonObject again = await(API::request(QStringLiteral("devices/register"), token, QStringLiteral("POST"), body));
        QCOMPARE(again.value(QStringLiteral("data")).toObject().value(QStringLiteral("device")).toObject().value(QStringLiteral("id")).toInteger(), *device);
    }

    // Today and the week in the member's zone (Ann: Pacific/Auckland), from
    // closed entries only.
    void totalsCountClosedEntriesInTheMembersDay()
    {
        const QString token = signIn(annEmail, annPassword);
        const QTimeZone zone("Pacific/Auckland");
        const QDateTime now = QDateTime::currentDateTime().toTimeZone(zone);
        const QDateTime midnight(now.date(), QTime(0, 0), zone);
        const TodayStats before = await(API::today(token));

        // 30 minutes after the member's midnight and up to 30 before it: a
        // start over a day before the member was added is held for review.
        const qint64 beforeMidnight = std::min<qint64>(1800, 24 * 3600 - midnight.secsTo(now) - 300);
        const PendingStop across = session(Uuid::create(), QString::number(m_website), {},
                                           Instant::fromDateTime(midnight.addSecs(-beforeMidnight)),
                                           Instant::fromDateTime(midnight.addSecs(1800)));
        await(API::start(token, API::startBody(across, std::nullopt, Instant::now())));
        await(API::stop(token, API::stopBody(across, std::nullopt, std::nullopt, Instant::now())));
        // A running entry is the client's to count.
        PendingStop open = session(Uuid::create(), QString::number(m_website), {}, Instant::now().addSeconds(-120), {});
        await(API::start(token, API::startBody(open, std::nullopt, Instant::now())));

        const TodayStats after = await(API::today(token));
        QCOMPARE(after.todaySeconds - before.todaySeconds, 1800.0);
        const bool monday = now.date().dayOfWeek() == 1;
        QCOMPARE(after.weekSeconds - before.weekSeconds, monday ? 1800.0 : 1800.0 + double(beforeMidnight));
        QCOMPARE(after.tracked, QStringLiteral("%1m").arg(int(after.todaySeconds) / 60 % 60).prepend(
                                    after.todaySeconds >= 3600 ? QStringLiteral("%1h ").arg(int(after.todaySeconds) / 3600) : QString()));
        QCOMPARE(after.start, midnight.toString(QStringLiteral("HH:mm")));
        QVERIFY(after.end != QStringLiteral("--:--"));
        QVERIFY(after.productivePercent >= 0 && after.productivePercent <= 100);
        await(API::stop(token, API::stopBody(open, std::nullopt, std::nullopt, Instant::now())));
    }

    // Starts and stops that name things the server does not know are kept
    // and flagged, never refused: the client would retry them forever.
    void oddStartsAreKeptAndFlagged()
    {
        const QString token = signIn(annEmail, annPassword);
        const QString ben = signIn(benEmail, benPassword);
        const Instant t0 = Instant::now().addSeconds(-3600);
        struct Case {
            QJsonValue project, task, device;
        };
        const QList<Case> cases{
            {QStringLiteral("project-3"), QStringLiteral("task-0-1"), 424242},   // synthesised ids, unknown device
            {1e30, QJsonValue::Null, QStringLiteral("x")},                      // out of range
            {double(m_internal), QJsonValue::Null, QJsonValue::Null},           // not assigned to Ann
            {double(m_website), double(m_internal + 1000), QJsonValue::Null},   // task of no project
        };
        QList<qint64> ids;
        for (int i = 0; i < cases.size(); ++i) {
            PendingStop p = session(Uuid::create(), {}, {}, t0.addSeconds(i * 60), t0.addSeconds(i * 60 + 30));
            QJsonObject body = API::startBody(p, std::nullopt, Instant::now());
            body.insert(QStringLiteral("project_id"), cases[i].project);
            body.insert(QStringLiteral("task_id"), cases[i].task);
            body.insert(QStringLiteral("device_id"), cases[i].device);
            const auto id = API::entryID(await(API::start(token, body)));
            QVERIFY2(id, qPrintable(QString::number(i)));
            ids.append(*id);
            await(API::stop(token, API::stopBody(p, id, std::nullopt, Instant::now())));
            QCOMPARE(m_server->scalar(QStringLiteral("SELECT flagged FROM time_entries WHERE id = ?"), {*id}).toInt(), 1);
            QVERIFY(m_server->scalar(QStringLiteral("SELECT device_id FROM time_entries WHERE id = ?"), {*id}).isNull());
        }
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT project_ref FROM time_entries WHERE id = ?"), {ids[0]}).toString(),
                 QStringLiteral("project-3"));

        // Another member's entry id is ignored: Ben cannot close Ann's entry.
        PendingStop annOpen = session(Uuid::create(), QString::number(m_website), {}, Instant::now().addSeconds(-60), {});
        const auto annEntry = API::entryID(await(API::start(token, API::startBody(annOpen, std::nullopt, Instant::now()))));
        PendingStop benStop = session(Uuid::create(), QString::number(m_internal), {}, Instant::now(), Instant::now());
        QCOMPARE(awaitError<APIError>(API::stop(ben, API::stopBody(benStop, annEntry, std::nullopt, Instant::now()))).message(),
                 noTimer);
        QVERIFY(await(API::current(token)).running);

        // A start from another session closes Ann's open entry where it begins:
        // one open entry per member.
        PendingStop next = session(Uuid::create(), QString::number(m_website), {}, Instant::now(), {});
        const auto nextEntry = API::entryID(await(API::start(token, API::startBody(next, std::nullopt, Instant::now()))));
        QCOMPARE(await(API::current(token)).entryID, nextEntry);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM time_entries WHERE member_id ="
                                                 " (SELECT id FROM members WHERE email = ?) AND stopped_at IS NULL"), {annEmail}).toInt(), 1);
        // Its own stop, arriving late with an earlier time, still applies.
        annOpen.stoppedAt = Instant::now().addSeconds(-30);
        await(API::stop(token, API::stopBody(annOpen, annEntry, std::nullopt, Instant::now())));
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT stop_reason FROM time_entries WHERE id = ?"), {*annEntry}).toString(),
                 QStringLiteral("manual"));
        await(API::stop(token, API::stopBody(next, nextEntry, std::nullopt, Instant::now())));
    }

    void badRequestsGetClearAnswers()
    {
        const QString token = signIn(annEmail, annPassword);
        // 401 on login carries the server's reason; elsewhere it means only "no session".
        auto r = m_server->raw(post(QStringLiteral("login"), {}, R"({"email":"ann@example.org","password":"no"})"));
        QCOMPARE(r.status, 401);
        QCOMPARE(json(r.body).value(QStringLiteral("success")), QJsonValue(false));
        r = m_server->raw(post(QStringLiteral("time/heartbeat"), QStringLiteral("zs_forged"), "{}"));
        QCOMPARE(r.status, 401);

        r = m_server->raw(post(QStringLiteral("time/start"), token, R"({"client_session_id": "a",)"));
        QCOMPARE(r.status, 400);
        QCOMPARE(json(r.body).value(QStringLiteral("message")).toString(), QStringLiteral("The request body is not valid JSON."));
        r = m_server->raw(post(QStringLiteral("time/start"), token, QByteArray(5000, '[') + QByteArray(5000, ']')));
        QCOMPARE(r.status, 400);
        r = m_server->raw(post(QStringLiteral("time/start"), token, R"({"client_session_id": 5, "started_at": "2025-01-01 10:00:00"})"));
        QCOMPARE(r.status, 422);
        r = m_server->raw(post(QStringLiteral("time/stop"), token, R"({"client_session_id": "S", "stopped_at": 17})"));
        QCOMPARE(r.status, 422);
        QVERIFY(!json(r.body).value(QStringLiteral("message")).toString().isEmpty());

        // Size: a JSON body over 64 KiB, an upload over 8 MiB announced by its
        // length (refused before it is read), and chunked bodies.
        r = m_server->raw(post(QStringLiteral("usage/logs"), token, QByteArray(70 * 1024, ' ')));
        QCOMPARE(r.status, 413);
        r = m_server->raw("POST /api/v1/screenshots/upload HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token.toUtf8()
                          + "\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: 52428800\r\n\r\n");
        QCOMPARE(r.status, 413);
        QCOMPARE(json(r.body).value(QStringLiteral("message")).toString(), QStringLiteral("The upload is too large (at most 8 MB)."));
        r = m_server->raw("POST /api/v1/time/heartbeat HTTP/1.1\r\nHost: x\r\nConnection: close\r\nAuthorization: Bearer "
                          + token.toUtf8() + "\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n");
        QCOMPARE(r.status, 411);

        // Screenshots: not a JPEG; a traversal file name is never used.
        const APIError notJpeg = awaitError<APIError>(API::uploadScreenshot(token, std::nullopt, "GIF89a....", {}, Instant::now()));
        QCOMPARE(notJpeg.message(), QStringLiteral("The screenshot is not a JPEG image."));
        const QByteArray evil = "--b\r\nContent-Disposition: form-data; name=\"captured_at[]\"\r\n\r\n2025-03-14 09:26:53\r\n"
                                "--b\r\nContent-Disposition: form-data; name=\"client_log_id[]\"\r\n\r\nEVIL-1\r\n"
                                "--b\r\nContent-Disposition: form-data; name=\"files[]\"; filename=\"../../escape.jpg\"\r\n"
                                "Content-Type: image/jpeg\r\n\r\n" + jpeg + "\r\n--b--\r\n";
        r = m_server->raw("POST /api/v1/screenshots/upload HTTP/1.1\r\nHost: x\r\nConnection: close\r\nAuthorization: Bearer "
                          + token.toUtf8() + "\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: "
                          + QByteArray::number(evil.size()) + "\r\n\r\n" + evil);
        QCOMPARE(r.status, 200);
        QVERIFY(!QFile::exists(m_server->dataDir() + QStringLiteral("/../escape.jpg")));
        QVERIFY(!m_server->scalar(QStringLiteral("SELECT blob_key FROM screenshots WHERE client_id = 'EVIL-1'")).toString().contains(QStringLiteral("..")));

        // Unknown paths, and every answer in the envelope.
        r = m_server->raw("GET /api/v1/nothing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QCOMPARE(r.status, 404);
        QVERIFY(json(r.body).contains(QStringLiteral("success")));
        // The server still serves after all that.
        QCOMPARE(await(API::projects(token)).size(), 1);
    }

    void signInIsThrottledWithAReadableMessage()
    {
        const QString email = QStringLiteral("cleo@example.org");
        QCOMPARE(m_server->admin({"member", "add", email, "--password-stdin"}, "cleo's password\n"), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(awaitError<APIError>(API::login(email, QStringLiteral("guess"))).message(),
                     QStringLiteral("The e-mail or password is not right."));
        // Locked: even the right password waits.
        const APIError locked = awaitError<APIError>(API::login(email, QStringLiteral("cleo's password")));
        QCOMPARE(locked.message(), QStringLiteral("Too many sign-in attempts. Try again in 15 minutes."));
        // Another account is not affected.
        QVERIFY(!signIn(annEmail, annPassword).isEmpty());
    }

    void adminChangesReachTheClient()
    {
        const QString email = QStringLiteral("dan@example.org");
        QCOMPARE(m_server->admin({"member", "add", email, "--password-stdin"}, "dan's password\n"), 0);
        const QString token = signIn(email, QStringLiteral("dan's password"));
        QCOMPARE(await(API::screenshotInterval(token)), 5.0);

        // Screenshots off: a long interval, and uploads refused.
        QCOMPARE(m_server->admin({"setting", "screenshots", "off"}), 0);
        QCOMPARE(await(API::screenshotInterval(token)), 7 * 24 * 60.0);
        QCOMPARE(awaitError<APIError>(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now())).message(),
                 QStringLiteral("Screenshots are turned off for this workspace."));
        QCOMPARE(m_server->admin({"setting", "screenshots", "on"}), 0);

        // Retention: a shot from 40 days ago goes with its file, today's stays.
        await(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now().addSeconds(-40 * 86400)));
        await(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now()));
        const QString member = QStringLiteral("(SELECT id FROM members WHERE email = '%1')").arg(email);
        const QString oldKey = m_server->scalar(QStringLiteral("SELECT blob_key FROM screenshots WHERE member_id = %1"
                                                               " ORDER BY captured_at").arg(member)).toString();
        QVERIFY(QFile::exists(m_server->dataDir() + QStringLiteral("/screenshots/") + oldKey));
        QCOMPARE(m_server->admin({"purge", "--retention-days", "30"}), 0);
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM screenshots WHERE member_id = %1").arg(member)).toInt(), 1);
        QVERIFY(!QFile::exists(m_server->dataDir() + QStringLiteral("/screenshots/") + oldKey));

        // A burst of uploads is cut off: six a minute are kept (today's shot
        // above and five more), the seventh not.
        for (int i = 0; i < 5; ++i)
            await(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now()));
        QCOMPARE(awaitError<APIError>(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now())).message(),
                 QStringLiteral("Too many screenshots in a short time; this one was not kept."));

        // Signing out everywhere, a new password or a disabled account ends
        // the member's sessions.
        const QString second = signIn(email, QStringLiteral("dan's password"));
        QCOMPARE(m_server->admin({"member", "signout", email}), 0);
        QCOMPARE(awaitError<APIError>(API::projects(second)).message(), expired);
        const QString third = signIn(email, QStringLiteral("dan's password"));
        QCOMPARE(m_server->admin({"password", email, "--password-stdin"}, "dan's new password\n"), 0);
        QCOMPARE(awaitError<APIError>(API::projects(third)).message(), expired);
        const QString fresh = signIn(email, QStringLiteral("dan's new password"));
        QCOMPARE(m_server->admin({"member", "disable", email}), 0);
        QCOMPARE(awaitError<APIError>(API::projects(fresh)).message(), expired);
        QCOMPARE(awaitError<APIError>(API::login(email, QStringLiteral("dan's new password"))).message(),
                 QStringLiteral("This account is disabled. Ask your workspace admin."));

        // Each command left its row in the audit log, which the command reads back.
        QCOMPARE(m_server->scalar(QStringLiteral("SELECT COUNT(*) FROM audit_log WHERE target = '%1'"
                                                 " AND action IN ('member.invite', 'member.signout', 'member.password',"
                                                 " 'member.disable')").arg(email)).toInt(), 4);
        QCOMPARE(m_server->admin({"audit", "--limit", "1"}), 0);
        QVERIFY(m_server->lastOutput().contains(QStringLiteral("command line\tmember.disable\t") + email));
    }

    // Archiving, restoring and unassigning through the admin commands is
    // what the client lists next; the last admin cannot be demoted.
    void projectChangesReachTheClient()
    {
        const QString token = signIn(annEmail, annPassword);
        const auto names = [&] {
            QStringList out;
            for (const Project &p : await(API::projects(token))) {
                out << p.name;
                for (const WorkTask &t : p.tasks)
                    out << p.name + QLatin1Char('/') + t.name;
            }
            return out;
        };
        const QStringList before = names();
        QVERIFY(before.contains(QStringLiteral("Website/Design")));
        QCOMPARE(m_server->admin({"task", "archive", QString::number(m_design)}), 0);
        QVERIFY(!names().contains(QStringLiteral("Website/Design")));
        QCOMPARE(m_server->admin({"task", "restore", QString::number(m_design)}), 0);
        QCOMPARE(m_server->admin({"project", "archive", QString::number(m_website)}), 0);
        QVERIFY(!names().contains(QStringLiteral("Website")));
        QCOMPARE(m_server->admin({"project", "restore", QString::number(m_website)}), 0);
        QCOMPARE(m_server->admin({"unassign", annEmail, QString::number(m_website)}), 0);
        QVERIFY(!names().contains(QStringLiteral("Website")));
        QCOMPARE(m_server->admin({"assign", annEmail, QString::number(m_website)}), 0);
        QCOMPARE(names(), before);

        QVERIFY(m_server->admin({"member", "role", benEmail, "member"}) != 0);
        QVERIFY(m_server->lastOutput().contains(QStringLiteral("at least one enabled owner or admin")));
    }

    // The web day view and export: a member sees their own day, an admin
    // anyone's; names are shown as text, never as markup or formulas.
    void webPagesShowTheDayToWhoMaySeeIt()
    {
        const QString hostile = QStringLiteral("=IMPORT(\"<script>alert(1)</script>\")");
        QCOMPARE(m_server->admin({"project", "add", hostile}), 0);
        const QString project = m_server->lastOutput().section(QLatin1Char(' '), 1, 1);
        QCOMPARE(m_server->admin({"assign", annEmail, project}), 0);
        const QString token = signIn(annEmail, annPassword);
        const PendingStop p = session(Uuid::create(), project, {}, Instant::now().addSeconds(-90), Instant::now().addSeconds(-30));
        await(API::start(token, API::startBody(p, std::nullopt, Instant::now())));
        await(API::stop(token, API::stopBody(p, std::nullopt, std::nullopt, Instant::now())));
        await(API::usageLog(token, std::nullopt, QStringLiteral("<b>Browser</b>"), p.startedAt, p.stoppedAt));
        await(API::request(QStringLiteral("activity/logs"), token, QStringLiteral("POST"),
                           API::activityBody(std::nullopt, std::nullopt, 1, 90, 50.0, p.stoppedAt)));
        await(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now().addSeconds(-40)));
        const QString shot = m_server->scalar(QStringLiteral("SELECT MAX(id) FROM screenshots")).toString();
        const QString date = QDateTime::currentDateTime().toTimeZone(QTimeZone("Pacific/Auckland")).date().toString(Qt::ISODate);

        auto get = [this](const QString &path, const QByteArray &cookie) {
            return m_server->raw("GET " + path.toUtf8() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " + cookie + "\r\n\r\n");
        };
        auto webLogin = [this](const QString &email, const QString &password) {
            QUrlQuery form;
            form.addQueryItem(QStringLiteral("email"), email);
            form.addQueryItem(QStringLiteral("password"), QString(password).replace(QLatin1Char(' '), QLatin1Char('+')));
            const QByteArray body = form.toString(QUrl::FullyEncoded).toUtf8();
            const auto r = m_server->raw("POST /web/login HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                                         + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            return r.status == 303 ? r.header("Set-Cookie").split(';').first() : QByteArray();
        };
        QCOMPARE(get(QStringLiteral("/web/day"), {}).status, 303); // to the sign-in page
        QVERIFY(webLogin(annEmail, QStringLiteral("wrong")).isEmpty());
        const QByteArray ann = webLogin(annEmail, annPassword);
        QVERIFY(ann.startsWith("zimbrel_session="));

        auto day = get(QStringLiteral("/web/day?date=") + date, ann);
        QCOMPARE(day.status, 200);
        QVERIFY(day.header("Content-Security-Policy").contains("default-src 'none'"));
        const QString page = QString::fromUtf8(day.body);
        QVERIFY(page.contains(QStringLiteral("=IMPORT(&quot;&lt;script&gt;alert(1)&lt;/script&gt;&quot;)")));
        QVERIFY(!page.contains(QStringLiteral("<script")));
        QVERIFY(page.contains(QStringLiteral("&lt;b&gt;Browser&lt;/b&gt;")));
        QVERIFY(page.contains(QStringLiteral("<img src=\"/web/screenshots/%1\"").arg(shot)));
        QVERIFY(page.contains(QStringLiteral("<meter")));

        const auto image = get(QStringLiteral("/web/screenshots/") + shot, ann);
        QCOMPARE(image.status, 200);
        QCOMPARE(image.header("Content-Type"), QByteArray("image/jpeg"));
        QCOMPARE(image.body, jpeg);
        QCOMPARE(get(QStringLiteral("/web/screenshots/") + shot, {}).status, 404);

        const QString annId = m_server->scalar(QStringLiteral("SELECT id FROM members WHERE email = ?"), {annEmail}).toString();
        const QString benId = m_server->scalar(QStringLiteral("SELECT id FROM members WHERE email = ?"), {benEmail}).toString();
        QCOMPARE(get(QStringLiteral("/web/day?member=") + benId, ann).status, 403);
        QCOMPARE(get(QStringLiteral("/web/export.csv?from=%1&to=%1&member=%2").arg(date, benId), ann).status, 403);
        const QString benShot = m_server->scalar(QStringLiteral("SELECT id FROM screenshots WHERE member_id <> ?"), {annId}).toString();
        QVERIFY(!benShot.isEmpty());
        QCOMPARE(get(QStringLiteral("/web/screenshots/") + benShot, ann).status, 404);

        // The admin sees Ann's day and her screenshot.
        const QByteArray ben = webLogin(benEmail, benPassword);
        QVERIFY(!ben.isEmpty());
        day = get(QStringLiteral("/web/day?date=%1&member=%2").arg(date, annId), ben);
        QCOMPARE(day.status, 200);
        QVERIFY(QString::fromUtf8(day.body).contains(QStringLiteral("Ann Example")));
        QCOMPARE(get(QStringLiteral("/web/screenshots/") + shot, ben).status, 200);

        const auto csv = get(QStringLiteral("/web/export.csv?from=%1&to=%1").arg(date), ann);
        QCOMPARE(csv.status, 200);
        QVERIFY(csv.header("Content-Disposition").startsWith("attachment"));
        QVERIFY(csv.body.startsWith("member,date,start,end,duration_seconds,project,task,type,needs_review,private\r\n"));
        QVERIFY(csv.body.contains(",60,\"'=IMPORT(\"\"<script>alert(1)</script>\"\")\","));

        // Signing out needs the session's form token; with it, it ends the session.
        auto logout = [this](const QByteArray &cookie, const QByteArray &body) {
            return m_server->raw("POST /web/logout HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                                 + QByteArray::number(body.size()) + "\r\nCookie: " + cookie + "\r\n\r\n" + body);
        };
        const QString csrf = QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([^\"]+)\"")).match(page).captured(1);
        QVERIFY(!csrf.isEmpty());
        QCOMPARE(logout(ann, {}).status, 403);
        const QRegularExpression field(QStringLiteral("name=\"csrf\" value=\"([^\"]+)\""));
        const QString benCsrf = field.match(QString::fromUtf8(get(QStringLiteral("/web/day"), ben).body)).captured(1);
        QVERIFY(!benCsrf.isEmpty() && benCsrf != csrf);
        QCOMPARE(logout(ann, "csrf=" + benCsrf.toUtf8()).status, 403); // another session's token
        QCOMPARE(get(QStringLiteral("/web/day"), ann).status, 200);
        QCOMPARE(logout(ann, "csrf=" + csrf.toUtf8()).status, 303);
        QCOMPARE(get(QStringLiteral("/web/day"), ann).status, 303);
    }

    // Local mode: the first start makes an admin and prints how to sign in,
    // once; a non-loopback address needs TLS or a proxy.
    void firstStartSeedsAnAdminOnce()
    {
        QTemporaryDir dir;
        const QString program = TestEnv::buildPath(QStringLiteral("server/zimbrel-server"));
        const QStringList common{QStringLiteral("--data-dir"), dir.path()};
        auto serve = [&](QProcess &p) {
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(program, common + QStringList{QStringLiteral("--port"), QStringLiteral("0")});
            QString out;
            while (!out.contains(QStringLiteral("Web pages at")) && p.waitForReadyRead(10000))
                out += QString::fromUtf8(p.readAll());
            return out;
        };
        QProcess first;
        const QString out = serve(first);
        const QString email = out.section(QStringLiteral("e-mail:"), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        const QString password = out.section(QStringLiteral("password:"), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        const QString port = out.section(QStringLiteral("127.0.0.1:"), 1).section(QLatin1Char('/'), 0, 0);
        QVERIFY2(email.endsWith(QStringLiteral("@localhost")) && password.size() == 20, qPrintable(out));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("zimbrel.sqlite"))));
        API::setBaseURL(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port)));
        const API::SignIn s = await(API::login(email, password));
        QCOMPARE(s.role, QStringLiteral("admin"));
        QCOMPARE(await(API::projects(s.token)).size(), 1);
        API::setBaseURL(m_server->baseUrl());
        first.terminate();
        QVERIFY(first.waitForFinished(5000));

        QProcess second;
        QVERIFY(!serve(second).contains(QStringLiteral("password:")));
        second.terminate();
        QVERIFY(second.waitForFinished(5000));

        QProcess open;
        open.start(program, common + QStringList{QStringLiteral("--listen"), QStringLiteral("0.0.0.0")});
        QVERIFY(open.waitForFinished(10000));
        QCOMPARE(open.exitCode(), 2);
        QVERIFY(QString::fromUtf8(open.readAllStandardError()).contains(QStringLiteral("--behind-proxy")));
    }

    // Far-off starts are answered but kept for review: the running entry
    // stays open and today's total stays real. A line break in a logged
    // field stays inside its line.
    void implausibleTimesAreKeptApart()
    {
        const QString token = signIn(benEmail, benPassword);
        const PendingStop real = session(Uuid::create(), QString::number(m_website), {}, Instant::now().addSeconds(-60), {});
        const auto entry = API::entryID(await(API::start(token, API::startBody(real, std::nullopt, Instant::now()))));
        QVERIFY(entry);
        const QString forged = QStringLiteral("x\r\nadmin mallory viewed screenshot 1 of member 1");
        for (const QString &when : {QStringLiteral("9999-12-31T00:00:00.000Z"), QStringLiteral("0001-01-01T00:00:00.000Z")}) {
            const PendingStop far = session(Uuid::create(), forged, {}, Instant::now(), Instant::now());
            QJsonObject body = API::startBody(far, std::nullopt, Instant::now());
            body.insert(QStringLiteral("started_at"), when);
            QVERIFY(API::entryID(await(API::start(token, body))));
            // Its stop is accepted too, so the client's queue moves on.
            await(API::stop(token, API::stopBody(far, std::nullopt, std::nullopt, Instant::now())));
        }
        const API::CurrentTimer running = await(API::current(token));
        QVERIFY(running.running);
        QCOMPARE(running.entryID, entry);
        QVERIFY(await(API::today(token)).todaySeconds < 24 * 3600);
        await(API::stop(token, API::stopBody(real, entry, std::nullopt, Instant::now())));

        const QStringList lines = m_server->log().split(QLatin1Char('\n'));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.contains(QStringLiteral("x\\r\\nadmin mallory")); }));
        QVERIFY(std::none_of(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith(QStringLiteral("admin mallory")); }));
    }

    // Built-in TLS for a LAN install with its own certificate.
    void servesHttpsWithACertificate()
    {
        ServerProcess tls;
        QTemporaryDir certs;
        const QString cert = certs.filePath(QStringLiteral("cert.pem")), key = certs.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                       key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(20000));
        QCOMPARE(openssl.exitCode(), 0);
        QCOMPARE(tls.admin({"member", "add", annEmail, "--password-stdin"}, annPassword.toUtf8() + '\n'), 0);
        QVERIFY(tls.admin({"serve", "--tls-cert", cert}) != 0); // the key is missing
        QVERIFY2(tls.start({"--tls-cert", cert, "--tls-key", key}), qPrintable(tls.log()));
        QCOMPARE(tls.baseUrl().scheme(), QStringLiteral("https"));

        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusted = saved;
        trusted.addCaCertificates(QSslCertificate::fromPath(cert));
        QSslConfiguration::setDefaultConfiguration(trusted);
        API::setBaseURL(tls.baseUrl());
        const QString token = signIn(annEmail, annPassword);
        QVERIFY(await(API::projects(token)).isEmpty());
        API::setBaseURL(m_server->baseUrl());
        QSslConfiguration::setDefaultConfiguration(saved);
    }
};

QTEST_GUILESS_MAIN(TestServerApi)
#include "tst_serverapi.moc"
