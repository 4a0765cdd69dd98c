#include "ApiServer.h"

#include "ApiJson.h"
#include "BlobStore.h"
#include "ClientAddress.h"
#include "Credentials.h"
#include "HttpRouter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtDebug>


namespace {

const QString sessionExpired = QStringLiteral("Your session has expired. Please sign in again.");
const QString notFound = QStringLiteral("Not found.");

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void send(httplib::Response &res, const ApiServer::Reply &reply, bool close = false)
{
    res.status = reply.status;
    const QByteArray body = QJsonDocument(reply.body).toJson(QJsonDocument::Compact);
    res.set_content(body.constData(), size_t(body.size()), "application/json");
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    if (close)
        res.set_header("Connection", "close");
}

ApiServer::Reply fail(int status, const QString &message)
{
    return {status, ApiJson::failure(message)};
}

} // namespace

ApiServer::ApiServer(Store &store, BlobStore &blobs)
    : ApiServer(store, blobs, Options())
{
}

ApiServer::ApiServer(Store &store, BlobStore &blobs, Options options)
    : m_store(store)
    , m_blobs(blobs)
    , m_options(options)
    , m_throttle(store.database(), [&store] { return store.now(); }, options.throttle)
    , m_web(store, blobs, m_throttle, options.secureCookies, options.trustedProxies)
    , m_admin(store)
{
    HttpLoop::Options loop;
    loop.workers = m_options.workers;
    loop.connectionsPerAddress = m_options.connectionsPerAddress;
    loop.requestTimeoutMs = m_options.requestTimeoutMs;
    loop.idleTimeoutMs = m_options.idleTimeoutMs;
    loop.bodyMax = size_t(m_options.uploadBodyMax);
    loop.bodyLimit = [this](std::string_view path) {
        return size_t(path == "/api/v1/screenshots/upload" ? m_options.uploadBodyMax : m_options.jsonBodyMax);
    };
    const QByteArray refusal = QJsonDocument(ApiJson::failure(QStringLiteral("Too many connections from this address.")))
                                   .toJson(QJsonDocument::Compact);
    loop.refusal = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nConnection: close\r\n"
                   "Content-Length: "
        + std::to_string(refusal.size()) + "\r\n\r\n" + refusal.toStdString();
    m_router = std::make_unique<HttpRouter>();
    m_loop = std::make_unique<HttpLoop>(
        loop,
        [this](HttpLoop::Exchange &ex) {
            m_router->answer(ex);
            m_store.database().finishStatements();
        },
        [this](const std::string &peer) { return m_options.trustedProxies.contains(QString::fromStdString(peer)); });
    if (!m_options.tlsCertificate.isEmpty() && !m_options.tlsKey.isEmpty())
        m_valid = m_loop->useTls(QFile::encodeName(m_options.tlsCertificate).toStdString(),
                                 QFile::encodeName(m_options.tlsKey).toStdString());
    httplib::Server &svr = *m_router;
    // The loop has the whole request before the router sees it; these are
    // the router's own checks of what it reads.
    svr.set_payload_max_length(size_t(m_options.uploadBodyMax));
    svr.set_keep_alive_timeout(m_options.idleTimeoutMs / 1000);
    svr.set_keep_alive_max_count(1000000);

    // Refused before the body is read: chunked bodies (their size is not
    // known up front, and httplib's limit does not apply to them) and bodies
    // over the path's limit.
    svr.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (req.has_header("Transfer-Encoding")) {
            send(res, fail(411, QStringLiteral("Send the request with a Content-Length; chunked bodies are not accepted.")),
                 true);
            return httplib::Server::HandlerResponse::Handled;
        }
        const bool upload = req.path == "/api/v1/screenshots/upload";
        const qint64 limit = upload ? m_options.uploadBodyMax : m_options.jsonBodyMax;
        const std::string length = req.get_header_value("Content-Length");
        bool good = true;
        const qint64 n = length.empty() ? 0 : QByteArray::fromStdString(length).toLongLong(&good);
        if (!good || n < 0) {
            send(res, fail(400, QStringLiteral("The Content-Length is not valid.")), true);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (n > limit) {
            send(res,
                 fail(413, upload ? QStringLiteral("The upload is too large (at most %1 MB).").arg(limit / (1024 * 1024))
                                  : QStringLiteral("The request is too large.")),
                 true);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    svr.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        QString message = notFound;
        if (res.status == 413)
            message = QStringLiteral("The request is too large.");
        else if (res.status == 400)
            message = QStringLiteral("The request could not be read.");
        else if (res.status != 404)
            message = QStringLiteral("The request failed (%1).").arg(res.status);
        send(res, fail(res.status, message));
        return httplib::Server::HandlerResponse::Handled;
    }));
    svr.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        send(res, fail(500, QStringLiteral("Something went wrong on the server.")));
    });

    route("POST", "login", Access::open, Body::json, [this](Call &c) { return login(c); });
    route("POST", "logout", Access::member, Body::none, [this](Call &c) { return logout(c); });
    route("POST", "devices/register", Access::member, Body::json, [this](Call &c) { return registerDevice(c); });
    route("GET", "projects", Access::member, Body::none, [this](Call &c) { return projects(c); });
    route("GET", "settings/get", Access::member, Body::none, [this](Call &c) { return settings(c); });
    route("GET", "time/current", Access::member, Body::none, [this](Call &c) { return current(c); });
    route("POST", "time/start", Access::member, Body::json, [this](Call &c) { return start(c); });
    route("POST", "time/stop", Access::member, Body::json, [this](Call &c) { return stopEntry(c); });
    route("POST", "time/heartbeat", Access::member, Body::json, [this](Call &c) { return heartbeat(c); });
    route("GET", "dashboard", Access::member, Body::none, [this](Call &c) { return dashboard(c); });
    route("POST", "activity/logs", Access::member, Body::json, [this](Call &c) { return activity(c); });
    route("POST", "usage/logs", Access::member, Body::json, [this](Call &c) { return usage(c); });
    route("POST", "screenshots/upload", Access::member, Body::multipart, [this](Call &c) { return upload(c); });
    m_web.install(*m_router);
    m_admin.install(*m_router);
}

ApiServer::~ApiServer()
{
    stop();
}

bool ApiServer::isValid() const
{
    return m_valid;
}

bool ApiServer::bind(const QString &host, int port)
{
    m_port = m_loop->bind(host.toStdString(), port);
    return m_port > 0;
}

void ApiServer::run()
{
    m_loop->run();
}

void ApiServer::stop()
{
    if (m_loop)
        m_loop->stop();
}

void ApiServer::route(const char *method, const char *path, Access access, Body body, Handler handler)
{
    const std::string pattern = std::string("/api/v1/") + path;
    auto fn = [this, access, body, handler](const httplib::Request &req, httplib::Response &res) {
        handle(req, res, access, body, handler);
    };
    if (QByteArray(method) == "GET")
        m_router->Get(pattern, fn);
    else
        m_router->Post(pattern, fn);
}

void ApiServer::handle(const httplib::Request &req, httplib::Response &res, Access access, Body body,
                       const Handler &handler)
{
    Call call{req, {}, {}, {}};
    try {
        if (access == Access::member) {
            const std::string auth = req.get_header_value("Authorization");
            if (auth.rfind("Bearer ", 0) == 0)
                call.token = fromStd(auth.substr(7)).trimmed();
            const auto member = m_store.memberForToken(call.token);
            if (!member) {
                send(res, fail(401, sessionExpired));
                return;
            }
            call.member = *member;
        }
        if (body == Body::json && !req.body.empty()) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &error);
            if (error.error != QJsonParseError::NoError) {
                send(res, fail(400, QStringLiteral("The request body is not valid JSON.")));
                return;
            }
            if (!doc.isObject()) {
                send(res, fail(400, QStringLiteral("The request body must be a JSON object.")));
                return;
            }
            call.body = doc.object();
        }
        if (body == Body::multipart && !req.is_multipart_form_data()) {
            send(res, fail(400, QStringLiteral("Send the screenshot as multipart form data.")));
            return;
        }
        send(res, handler(call));
    } catch (const StoreError &e) {
        qWarning().noquote() << "database error on" << fromStd(req.path) << ":" << e.what();
        const QString what = QString::fromUtf8(e.what());
        if (what.contains(QLatin1String("disk is full"), Qt::CaseInsensitive)
            || what.contains(QLatin1String("no space left"), Qt::CaseInsensitive))
            send(res, fail(507, QStringLiteral("The server's disk is full, so nothing more can be stored. Try again later.")));
        else
            send(res, fail(503, QStringLiteral("The server cannot reach its database right now. Try again shortly.")));
    } catch (const std::exception &e) {
        qWarning().noquote() << "error on" << fromStd(req.path) << ":" << e.what();
        send(res, fail(500, QStringLiteral("Something went wrong on the server.")));
    }
}

QString ApiServer::clientAddress(const httplib::Request &req) const
{
    return ::clientAddress(req.remote_addr, req.get_header_value("X-Forwarded-For"), m_options.trustedProxies);
}

// ---- sign-in, devices, projects, settings ----

ApiServer::Reply ApiServer::login(Call &c)
{
    const QString wrong = QStringLiteral("The e-mail or password is not right.");
    const auto email = ApiJson::text(c.body.value(QStringLiteral("email")), 320);
    const auto password = ApiJson::text(c.body.value(QStringLiteral("password")), Credentials::maxPasswordBytes);
    if (!email || !password)
        return fail(422, QStringLiteral("Enter your e-mail and password."));
    const QString address = clientAddress(c.request);
    const QString account = Credentials::emailKey(*email);
    const SignInThrottle::Attempt attempt = m_throttle.attempt(account, address);
    if (const auto wait = attempt.wait) {
        const qint64 minutes = std::max<qint64>(1, (*wait + 59999) / 60000);
        return fail(429, QStringLiteral("Too many sign-in attempts. Try again in %1 minute%2.")
                             .arg(minutes)
                             .arg(minutes == 1 ? QString() : QStringLiteral("s")));
    }
    const auto member = m_store.memberByEmail(account);
    if (!member) {
        Credentials::dummyVerify(*password);
        return fail(401, wrong);
    }
    if (!Credentials::verifyPassword(*password, member->passwordHash))
        return fail(401, wrong);
    m_throttle.succeeded(attempt, account, address);
    if (member->disabled)
        return fail(401, QStringLiteral("This account is disabled. Ask your workspace admin."));
    if (Credentials::needsRehash(member->passwordHash))
        m_store.setPasswordHash(member->email, Credentials::hashPassword(*password), false);
    const QString token = m_store.createSession(member->id);
    const QJsonObject user{{QStringLiteral("id"), double(member->id)},
                           {QStringLiteral("name"), member->name},
                           {QStringLiteral("email"), member->email},
                           {QStringLiteral("role"), member->role}};
    return {200, ApiJson::ok({{QStringLiteral("token"), token}, {QStringLiteral("user"), user}})};
}

ApiServer::Reply ApiServer::logout(Call &c)
{
    m_store.endSession(c.token);
    return {200, ApiJson::ok()};
}

ApiServer::Reply ApiServer::registerDevice(Call &c)
{
    const auto uuid = ApiJson::text(c.body.value(QStringLiteral("device_uuid")), 100);
    if (!uuid)
        return fail(422, QStringLiteral("The device registration has no device_uuid."));
    Store::Device d;
    d.uuid = *uuid;
    d.name = ApiJson::textOr(c.body.value(QStringLiteral("device_name")), 200);
    d.hostname = ApiJson::textOr(c.body.value(QStringLiteral("hostname")), 200);
    d.os = ApiJson::textOr(c.body.value(QStringLiteral("os")), 100);
    d.osVersion = ApiJson::textOr(c.body.value(QStringLiteral("os_version")), 100);
    d.appVersion = ApiJson::textOr(c.body.value(QStringLiteral("app_version")), 100);
    const auto id = m_store.registerDevice(c.member.id, d, c.token);
    if (!id)
        return fail(409, QStringLiteral("This device is registered to another member."));
    const QJsonObject device{{QStringLiteral("id"), double(*id)}, {QStringLiteral("device_uuid"), d.uuid}};
    return {200, ApiJson::ok({{QStringLiteral("device"), device}})};
}

ApiServer::Reply ApiServer::projects(Call &c)
{
    QJsonArray list;
    for (const Store::Project &p : m_store.projectsFor(c.member.id)) {
        QJsonArray tasks;
        for (const Store::Task &t : p.tasks)
            tasks.append(QJsonObject{{QStringLiteral("id"), double(t.id)}, {QStringLiteral("name"), t.name}});
        list.append(QJsonObject{
            {QStringLiteral("id"), double(p.id)}, {QStringLiteral("name"), p.name}, {QStringLiteral("tasks"), tasks}});
    }
    return {200, ApiJson::ok({{QStringLiteral("projects"), list}})};
}

bool ApiServer::screenshotsEnabled()
{
    return m_store.workspaceSettings().screenshots;
}

ApiServer::Reply ApiServer::settings(Call &)
{
    // The client takes a screenshot shortly after every start whatever the
    // interval; with screenshots off uploads are refused, and the interval is
    // the longest the client accepts so it hardly tries.
    const Store::WorkspaceSettings w = m_store.workspaceSettings();
    const QJsonObject data{{QStringLiteral("screenshot_interval"), w.screenshots ? w.screenshotInterval : 7 * 24 * 60},
                           {QStringLiteral("screenshots_enabled"), w.screenshots}};
    return {200, ApiJson::ok(data)};
}
