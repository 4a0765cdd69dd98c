#include "TestServer.h"

#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QThread>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray ok(const QJsonObject &data = {})
{
    QJsonObject o{{QStringLiteral("success"), true}};
    if (!data.isEmpty())
        o.insert(QStringLiteral("data"), data);
    return json(o);
}

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

struct TestServer::State {
    Mode mode = Mode::http;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = -1;
    std::atomic<bool> stopping{false};
    QTemporaryDir certDir;
    QString certPath;
    QString keyPath;

    mutable std::mutex mutex;
    QList<Request> log;
    QMap<QString, Reply> scripts;
    QMap<QString, std::deque<Reply>> once;
    QMap<QString, int> delays; // added to every answer of the path
    // The server's own idea of the running timer.
    bool running = false;
    qint64 nextEntry = 100;
    qint64 entry = 0;
    QJsonValue project;
    QJsonValue task;
    QString startedAt;

    std::optional<Reply> scripted(const QString &path)
    {
        std::lock_guard lock(mutex);
        auto queued = once.find(path);
        if (queued != once.end() && !queued->empty()) {
            Reply r = queued->front();
            queued->pop_front();
            return r;
        }
        if (scripts.contains(path))
            return scripts.value(path);
        return std::nullopt;
    }

    Reply standard(const Request &req)
    {
        std::lock_guard lock(mutex);
        const QString &p = req.path;
        const QJsonObject body = req.json();
        if (p == QLatin1String("login")) {
            const QJsonObject user{{QStringLiteral("name"), QStringLiteral("Test Member")},
                                   {QStringLiteral("email"), body.value(QStringLiteral("email"))},
                                   {QStringLiteral("role"), QStringLiteral("team-member")}};
            return {200, ok({{QStringLiteral("token"), QStringLiteral("test-token")}, {QStringLiteral("user"), user}})};
        }
        if (p == QLatin1String("devices/register"))
            return {200, ok({{QStringLiteral("device"), QJsonObject{{QStringLiteral("id"), 7}}}})};
        if (p == QLatin1String("time/current")) {
            QJsonObject data{{QStringLiteral("is_running"), running},
                             {QStringLiteral("today_total_seconds"), 3600},
                             {QStringLiteral("this_week_total_seconds"), 18000}};
            if (running) {
                data.insert(QStringLiteral("current_entry"),
                            QJsonObject{{QStringLiteral("id"), entry},
                                        {QStringLiteral("started_at"), startedAt},
                                        {QStringLiteral("project_id"), project},
                                        {QStringLiteral("task_id"), task}});
            } else {
                data.insert(QStringLiteral("current_entry"), QJsonValue::Null);
            }
            return {200, ok(data)};
        }
        if (p == QLatin1String("time/start")) {
            running = true;
            entry = nextEntry++;
            project = body.value(QStringLiteral("project_id"));
            task = body.value(QStringLiteral("task_id"));
            startedAt = body.value(QStringLiteral("started_at")).toString();
            return {200, ok({{QStringLiteral("time_entry"), QJsonObject{{QStringLiteral("id"), entry}}}})};
        }
        if (p == QLatin1String("time/stop")) {
            if (!running)
                return {404, json({{QStringLiteral("success"), false},
                                   {QStringLiteral("message"), QStringLiteral("No active timer found.")}})};
            running = false;
            return {200, ok({{QStringLiteral("time_entry"), QJsonObject{{QStringLiteral("id"), entry}}}})};
        }
        if (p == QLatin1String("projects")) {
            const auto task = [](int id, const char *name) {
                return QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("name"), QString::fromUtf8(name)}};
            };
            const QJsonArray projects{
                QJsonObject{{QStringLiteral("id"), 1},
                            {QStringLiteral("name"), QStringLiteral("Website")},
                            {QStringLiteral("tasks"), QJsonArray{task(11, "Design"), task(12, "Build")}}},
                QJsonObject{{QStringLiteral("id"), 2},
                            {QStringLiteral("name"), QStringLiteral("Mobile app")},
                            {QStringLiteral("tasks"), QJsonArray{}}},
                QJsonObject{{QStringLiteral("id"), 3},
                            {QStringLiteral("name"), QStringLiteral("Internal")},
                            {QStringLiteral("tasks"), QJsonArray{task(31, "Meetings")}}},
            };
            return {200, ok({{QStringLiteral("projects"), projects}})};
        }
        if (p == QLatin1String("dashboard")) {
            const QJsonObject totals{{QStringLiteral("time_tracked"), QStringLiteral("1h 0m")},
                                     {QStringLiteral("meeting_time"), QStringLiteral("15m")},
                                     {QStringLiteral("productive_time"), QStringLiteral("45m")},
                                     {QStringLiteral("manual_time"), QStringLiteral("0m")},
                                     {QStringLiteral("productive_percent"), 75}};
            const QJsonObject pattern{{QStringLiteral("start"), QStringLiteral("09:00")},
                                      {QStringLiteral("end"), QStringLiteral("17:30")}};
            return {200, ok({{QStringLiteral("totals"), totals}, {QStringLiteral("working_patterns"), pattern}})};
        }
        if (p == QLatin1String("settings/get"))
            return {200, ok({{QStringLiteral("screenshot_interval"), 5}})};
        if (p == QLatin1String("logout") || p == QLatin1String("time/heartbeat") ||
            p == QLatin1String("activity/logs") || p == QLatin1String("usage/logs") ||
            p == QLatin1String("screenshots/upload"))
            return {200, ok()};
        return {404, json({{QStringLiteral("success"), false}, {QStringLiteral("message"), QStringLiteral("Not found.")}})};
    }

    void handle(const httplib::Request &in, httplib::Response &out, Request recorded)
    {
        recorded.method = fromStd(in.method);
        recorded.clientPort = in.remote_port;
        QString path = fromStd(in.path);
        const QString prefix = QStringLiteral("/api/v1/");
        recorded.path = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
        for (const auto &[name, value] : in.headers) {
            const QString key = fromStd(name).toLower();
            const QString v = fromStd(value);
            recorded.headers.insert(key, recorded.headers.contains(key) ? recorded.headers.value(key) + ", " + v : v);
        }
        {
            std::lock_guard lock(mutex);
            log.append(recorded);
        }
        const std::optional<Reply> script = scripted(recorded.path);
        const Reply reply = script ? *script : standard(recorded);
        int delayMs = reply.delayMs;
        {
            std::lock_guard lock(mutex);
            delayMs += delays.value(recorded.path);
        }
        for (int waited = 0; waited < delayMs && !stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        out.status = reply.status;
        for (const auto &[name, value] : reply.headers)
            out.set_header(name.toStdString(), value.toStdString());
        const std::string type = reply.contentType.toStdString();
        if (reply.drop) {
            // Announce a body, then give up on it: the client sees the
            // connection close in the middle of the answer.
            out.set_content_provider(size_t(1024), type, [](size_t, size_t, httplib::DataSink &) { return false; });
            return;
        }
        out.set_content(reply.body.constData(), size_t(reply.body.size()), type);
    }
};

QJsonObject TestServer::Request::json() const
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject();
}

TestServer::TestServer(Mode mode) : d(std::make_unique<State>())
{
    d->mode = mode;
    if (mode == Mode::https) {
        d->certPath = d->certDir.filePath(QStringLiteral("cert.pem"));
        d->keyPath = d->certDir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-keyout"), d->keyPath, QStringLiteral("-out"),
                       d->certPath, QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
        if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) {
            qWarning("TestServer: openssl failed: %s", openssl.readAllStandardError().constData());
            return;
        }
        d->server = std::make_unique<httplib::SSLServer>(QFile::encodeName(d->certPath).constData(),
                                                         QFile::encodeName(d->keyPath).constData());
    } else {
        d->server = std::make_unique<httplib::Server>();
    }

    httplib::Server &svr = *d->server;
    svr.set_tcp_nodelay(true);
    svr.set_keep_alive_timeout(1);
    svr.set_payload_max_length(64 * 1024 * 1024);

    State *state = d.get();
    const std::string pattern = "/.*";
    const auto plain = [state](const httplib::Request &in, httplib::Response &out) {
        Request recorded;
        recorded.body = QByteArray(in.body.data(), qsizetype(in.body.size()));
        state->handle(in, out, recorded);
    };
    const auto withReader = [state](const httplib::Request &in, httplib::Response &out,
                                    const httplib::ContentReader &reader) {
        Request recorded;
        if (in.is_multipart_form_data()) {
            reader(
                [&](const httplib::MultipartFormData &header) {
                    recorded.parts.append({fromStd(header.name), fromStd(header.filename),
                                           fromStd(header.content_type), QByteArray()});
                    return true;
                },
                [&](const char *data, size_t length) {
                    if (!recorded.parts.isEmpty())
                        recorded.parts.last().content.append(data, qsizetype(length));
                    return true;
                });
        } else {
            reader([&](const char *data, size_t length) {
                recorded.body.append(data, qsizetype(length));
                return true;
            });
        }
        state->handle(in, out, recorded);
    };
    svr.Get(pattern, plain);
    svr.Delete(pattern, plain);
    svr.Post(pattern, withReader);
    svr.Put(pattern, withReader);
    svr.Patch(pattern, withReader);

    d->port = svr.bind_to_any_port("127.0.0.1");
    if (d->port <= 0) {
        qWarning("TestServer: cannot bind to 127.0.0.1");
        return;
    }
    d->thread = std::thread([state] { state->server->listen_after_bind(); });
    // stop() does nothing until the accept loop runs: wait for it, so that a
    // server destroyed right away still shuts down.
    for (int i = 0; i < 5000 && !svr.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer()
{
    d->stopping = true;
    // Close the clients' kept-alive connections first, so the server's
    // workers are not left waiting for them.
    if (auto *app = QCoreApplication::instance(); app && QThread::currentThread() == app->thread()) {
        const auto managers = app->findChildren<QNetworkAccessManager *>();
        for (QNetworkAccessManager *nam : managers)
            nam->clearConnectionCache();
    }
    if (d->server)
        d->server->stop();
    if (d->thread.joinable())
        d->thread.join();
}

bool TestServer::isListening() const
{
    return d->port > 0;
}

int TestServer::port() const
{
    return d->port;
}

QString TestServer::baseURL() const
{
    return QStringLiteral("%1://127.0.0.1:%2/api/v1/")
        .arg(d->mode == Mode::https ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(d->port);
}

void TestServer::script(const QString &path, const Reply &reply)
{
    std::lock_guard lock(d->mutex);
    d->scripts.insert(path, reply);
}

void TestServer::scriptOnce(const QString &path, const Reply &reply)
{
    std::lock_guard lock(d->mutex);
    d->once[path].push_back(reply);
}

void TestServer::respond(const QString &path, int status, const QByteArray &body)
{
    Reply r;
    r.status = status;
    r.body = body;
    script(path, r);
}

void TestServer::respond(const QString &path, int status, const QJsonObject &body)
{
    respond(path, status, json(body));
}

void TestServer::keepAlive(int seconds)
{
    if (!d->server)
        return;
    d->server->set_keep_alive_timeout(seconds);
    // cpp-httplib closes a connection after five requests unless told.
    d->server->set_keep_alive_max_count(1000000);
}

void TestServer::delay(const QString &path, int ms)
{
    std::lock_guard lock(d->mutex);
    d->delays.insert(path, ms);
}

void TestServer::drop(const QString &path)
{
    Reply r;
    r.drop = true;
    script(path, r);
}

QByteArray TestServer::htmlPage(int status)
{
    return QByteArrayLiteral("<!DOCTYPE html>\n<html><head><title>") + QByteArray::number(status) +
           QByteArrayLiteral(" Error</title></head><body><h1>Bad Gateway</h1><p>The server is unavailable.</p>"
                             "</body></html>\n");
}

void TestServer::htmlError(const QString &path, int status)
{
    Reply r;
    r.status = status;
    r.body = htmlPage(status);
    r.contentType = "text/html; charset=utf-8";
    script(path, r);
}

QList<TestServer::Request> TestServer::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->log;
}

QList<TestServer::Request> TestServer::requests(const QString &path) const
{
    std::lock_guard lock(d->mutex);
    QList<Request> result;
    for (const Request &r : d->log) {
        if (r.path == path)
            result.append(r);
    }
    return result;
}

int TestServer::count(const QString &path) const
{
    return int(requests(path).size());
}

std::optional<TestServer::Request> TestServer::last(const QString &path) const
{
    const QList<Request> list = requests(path);
    if (list.isEmpty())
        return std::nullopt;
    return list.last();
}

bool TestServer::waitFor(const QString &path, int count, int timeoutMs) const
{
    return TestEnv::waitFor([&] { return this->count(path) >= count; }, timeoutMs);
}

void TestServer::clear()
{
    std::lock_guard lock(d->mutex);
    d->log.clear();
    d->scripts.clear();
    d->once.clear();
    d->delays.clear();
    d->running = false;
    d->entry = 0;
    d->nextEntry = 100;
}

QSslCertificate TestServer::certificate() const
{
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(d->certPath);
    return certs.isEmpty() ? QSslCertificate() : certs.first();
}

QString TestServer::certificatePath() const
{
    return d->certPath;
}

void TestServer::trust() const
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificate(certificate());
    QSslConfiguration::setDefaultConfiguration(config);
}
