#include "API.h"

#include "RecordMapping.h"
#include "TrackingLog.h"
#include "Uuid.h"
#include "Loopback.h"
#include "WireTime.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimeZone>

#include <QCoroNetworkReply>

#include <cmath>
#include <memory>

#ifndef ZIMBREL_SERVER
#define ZIMBREL_SERVER "https://app.zimbrel.com/api/v1/"
#endif

namespace API {

namespace {

constexpr qint64 maxAnswerBytes = 16 * 1024 * 1024;
constexpr std::chrono::milliseconds defaultRequestTimeout{20000};
constexpr std::chrono::milliseconds defaultUploadTimeout{60000};

const QString unreachable = QStringLiteral("Can't reach Zimbrel. Check your connection and try again.");
const QString sessionExpired = QStringLiteral("Your session has expired. Please sign in again.");

struct Settings {
    QUrl base = QUrl(QStringLiteral(ZIMBREL_SERVER));
    std::chrono::milliseconds requestTimeout = defaultRequestTimeout;
    std::chrono::milliseconds uploadTimeout = defaultUploadTimeout;
};

Settings &settings()
{
    static Settings s;
    return s;
}

// What came back from one exchange, before any interpretation.
struct Exchange {
    bool transportFailed = false;
    QString transportError; // the network's own description
    int status = 0;         // 0 when there was no HTTP response
    QByteArray data;
};

QUrl endpoint(const QString &path)
{
    QUrl url = settings().base;
    url.setPath(url.path() + path);
    return url;
}

// Tokens and passwords travel only over TLS, or to this machine.
bool maySendTo(const QUrl &url)
{
    return url.scheme() == QLatin1String("https") || API::isLoopbackHost(url.host());
}

QCoro::Task<Exchange> send(QNetworkRequest req, QByteArray verb, QByteArray payload, bool withPayload)
{
    QNetworkAccessManager *nam = network();
    QNetworkReply *reply =
        withPayload ? nam->sendCustomRequest(req, verb, payload) : nam->sendCustomRequest(req, verb);

    // Refuse answers too large to hold in memory: as soon as the announced or
    // received size passes the limit, abort (a transport failure).
    auto oversized = std::make_shared<bool>(false);
    const auto guard = [reply, oversized](qint64 size) {
        if (size > maxAnswerBytes && !*oversized) {
            *oversized = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, guard] {
        bool ok = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok)
            guard(length);
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [guard](qint64 received, qint64) { guard(received); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, guard] { guard(reply->bytesAvailable()); });

    co_await reply;

    Exchange result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // An error with no HTTP status, or with a status of 2xx that does not
    // explain it (a connection closed mid-body, an undecodable compressed
    // body), is a transport failure; errors of 4xx and 5xx answers (407 too,
    // which Qt files under its proxy errors) are judged by their status
    // below, unless the answer was cut off by the time-out.
    // A redirect that was refused (to another origin) stays a transport failure.
    const int code = status.isValid() ? status.toInt() : 0;
    const bool statusExplainsError = (code >= 400 || (code >= 300 && int(error) >= 200))
        && error != QNetworkReply::OperationCanceledError && error != QNetworkReply::TimeoutError;
    if (*oversized) {
        result.transportFailed = true;
        result.transportError = QStringLiteral("The server's answer is larger than 16 MiB.");
        qCWarning(lcTracking, "refused an answer over 16 MiB from %s", qPrintable(req.url().path()));
    } else if (error != QNetworkReply::NoError && !statusExplainsError) {
        result.transportFailed = true;
        result.transportError = reply->errorString();
    } else {
        result.status = status.isValid() ? status.toInt() : 0;
        result.data = reply->readAll();
    }
    reply->deleteLater();
    co_return result;
}

// The answer's top-level object; nothing when it is not JSON or not an object.
std::optional<QJsonObject> decodeObject(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool isFalse(const QJsonValue &value)
{
    if (value.isBool())
        return !value.toBool();
    if (value.isDouble())
        return value.toDouble() == 0;
    return false;
}

qint64 floorMillis(Instant instant)
{
    const double ms = std::floor(instant.unixSeconds() * 1000.0);
    // QDateTime covers far more than this; anything beyond is not a clock reading.
    constexpr double limit = 1.0e15;
    if (!std::isfinite(ms) || ms > limit || ms < -limit)
        return 0;
    return static_cast<qint64>(ms);
}

} // namespace

QUrl defaultBaseURL()
{
    return QUrl(QStringLiteral(ZIMBREL_SERVER));
}

QUrl baseURL()
{
    return settings().base;
}

void setBaseURL(const QUrl &url)
{
    settings().base = url;
}

bool isLoopbackHost(const QString &host)
{
    return ::isLoopbackHost(host);
}

ServerCheck checkServer(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString example = QStringLiteral("https://zimbrel.example.com/api/v1/");
    if (text.isEmpty() || !url.isValid() || url.isRelative() || url.host().isEmpty())
        return {{}, QStringLiteral("Invalid server address \"%1\": give an absolute address such as %2.")
                        .arg(text, example)};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return {{}, QStringLiteral("Server address \"%1\" must use https.").arg(text)};
    if (scheme == QLatin1String("http") && !API::isLoopbackHost(url.host()))
        return {{},
                QStringLiteral("Server address \"%1\" must use https; plain http is allowed only for "
                               "127.0.0.1, ::1 and localhost.")
                    .arg(text)};
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return {{}, QStringLiteral("Server address \"%1\" must not carry a user name, query or fragment.")
                        .arg(text)};
    if (!url.path().endsWith(QLatin1String("api/v1/")))
        return {{}, QStringLiteral("Server address \"%1\" must end in api/v1/ (for example %2).")
                        .arg(text, example)};
    return {url, {}};
}

QNetworkAccessManager *network()
{
    static QPointer<QNetworkAccessManager> shared;
    if (!shared) {
        // A child of the application object: it lives as long as the event
        // loop that its replies resume on.
        shared = new QNetworkAccessManager(QCoreApplication::instance());
        // Never carry the bearer token to another origin on a redirect.
        shared->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
        // Replies still in flight when the program quits are aborted, so the
        // coroutines waiting on them finish (and clean up) while everything
        // they touch still exists.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, shared.data(), [] {
            if (shared)
                for (QNetworkReply *reply : shared->findChildren<QNetworkReply *>())
                    reply->abort();
        });
    }
    return shared;
}

void setTimeouts(std::chrono::milliseconds request, std::chrono::milliseconds upload)
{
    settings().requestTimeout = request.count() > 0 ? request : defaultRequestTimeout;
    settings().uploadTimeout = upload.count() > 0 ? upload : defaultUploadTimeout;
}

QCoro::Task<QJsonObject> request(QString path, std::optional<QString> token, QString method,
                                 std::optional<QJsonObject> body, Answer answer)
{
    QNetworkRequest req(endpoint(path));
    req.setTransferTimeout(int(settings().requestTimeout.count()));
    req.setRawHeader("Accept", "application/json");
    if (!maySendTo(req.url())) {
        qCWarning(lcTracking, "refused to talk plain http to %s", qPrintable(req.url().host()));
        throw APIError(unreachable);
    }
    if (token)
        req.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    QByteArray payload;
    if (body) {
        req.setRawHeader("Content-Type", "application/json");
        payload = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    }
    const QByteArray verb = method.toLatin1();
    const bool withPayload = body.has_value();
    // A POST without a body still says so; otherwise the server may wait for
    // a body until its read time-out.
    if (!withPayload && verb != "GET" && verb != "HEAD")
        req.setHeader(QNetworkRequest::ContentLengthHeader, 0);

    const Exchange exchange = co_await send(req, verb, payload, withPayload);
    if (exchange.transportFailed)
        throw APIError(unreachable);

    const std::optional<QJsonObject> decoded = decodeObject(exchange.data);
    const QJsonObject object = decoded.value_or(QJsonObject());
    const int status = exchange.status;
    if (answer == Answer::jsonObject && status >= 200 && status <= 299 && !decoded) {
        qCWarning(lcTracking, "%s answered %d without a JSON object; taken as not reached", qUtf8Printable(path),
                  status);
        throw APIError(unreachable);
    }
    bool failed = false;
    if (status == 401) {
        if (path != QLatin1String("login"))
            throw APIError(sessionExpired);
        failed = true;
    } else if (status >= 200 && status <= 299) {
        const auto success = object.constFind(QLatin1String("success"));
        failed = success != object.constEnd() && isFalse(success.value());
    } else {
        failed = true;
    }
    if (!failed)
        co_return object;

    const QJsonValue message = object.value(QLatin1String("message"));
    if (message.isString())
        throw APIError(message.toString());
    throw APIError(QStringLiteral("Something went wrong (%1).").arg(status));
}

QCoro::Task<QJsonObject> get(QString path, QString token)
{
    const std::optional<QString> auth = token;
    const QString method = QStringLiteral("GET");
    co_return co_await request(path, auth, method);
}

QCoro::Task<QJsonObject> post(QString path, std::optional<QString> token, std::optional<QJsonObject> body,
                              Answer answer)
{
    const QString method = QStringLiteral("POST");
    co_return co_await request(path, token, method, body, answer);
}

QJsonValue num(const std::optional<QString> &value)
{
    if (!value)
        return QJsonValue(QJsonValue::Null);
    static const QRegularExpression integerText(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (integerText.match(*value).hasMatch()) {
        bool ok = false;
        const qint64 n = value->toLongLong(&ok, 10);
        if (ok)
            return QJsonValue(n);
    }
    return QJsonValue(*value);
}

QString iso(Instant instant)
{
    return WireTime::iso(floorMillis(instant));
}

std::optional<Instant> parseISO(const QString &text)
{
    // Internet date and time: fractional seconds optional, Z or a numeric offset.
    static const QRegularExpression form(QStringLiteral(
        "\\A(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?(Z|[+-]\\d{2}:\\d{2})\\z"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    const QString zone = m.captured(8);
    if (zone != QLatin1String("Z")) {
        const int hours = zone.mid(1, 2).toInt();
        const int minutes = zone.mid(4, 2).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 3600 + minutes * 60) * (zone.startsWith(QLatin1Char('-')) ? -1 : 1);
    }
    const QDateTime utc(date, time, Qt::UTC);
    double seconds = double(utc.toSecsSinceEpoch()) - offsetSeconds;
    const QString fraction = m.captured(7);
    if (!fraction.isEmpty())
        seconds += (QStringLiteral("0.") + fraction.left(9)).toDouble();
    return Instant::fromUnixSeconds(seconds);
}

QString stamp(Instant instant)
{
    return WireTime::stamp(floorMillis(instant));
}

QByteArray uploadBody(const QString &boundary, std::optional<qint64> deviceID, const QByteArray &jpeg,
                      const QString &hash, Instant at, const QString &clientLogID)
{
    const QByteArray b = boundary.toUtf8();
    QByteArray body;
    const auto field = [&](const char *name, const QString &value) {
        body += "--" + b + "\r\n";
        body += QByteArray("Content-Disposition: form-data; name=\"") + name + "\"\r\n\r\n";
        body += value.toUtf8() + "\r\n";
    };
    field("device_id", deviceID ? QString::number(*deviceID) : QString());
    field("captured_at[]", stamp(at));
    field("visual_hash[]", hash);
    field("client_log_id[]", clientLogID);
    const qint64 unixSeconds = floorMillis(at) / 1000; // truncated toward zero
    body += "--" + b + "\r\n";
    body += "Content-Disposition: form-data; name=\"files[]\"; filename=\"capture-" +
            QByteArray::number(unixSeconds) + ".jpg\"\r\n";
    body += "Content-Type: image/jpeg\r\n\r\n";
    body += jpeg;
    body += "\r\n--" + b + "--\r\n";
    return body;
}

QCoro::Task<void> uploadScreenshot(QString token, std::optional<qint64> deviceID, QByteArray jpeg, QString hash,
                                   Instant at)
{
    const QString boundary = QStringLiteral("cv-") + Uuid::create();
    const QString clientLogID = Uuid::create();
    const QByteArray body = uploadBody(boundary, deviceID, jpeg, hash, at, clientLogID);

    QNetworkRequest req(endpoint(QStringLiteral("screenshots/upload")));
    req.setTransferTimeout(int(settings().uploadTimeout.count()));
    if (!maySendTo(req.url())) {
        qCWarning(lcTracking, "refused to talk plain http to %s", qPrintable(req.url().host()));
        throw APIError(unreachable);
    }
    req.setRawHeader("Accept", "application/json");
    req.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    req.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary.toUtf8());
    const QByteArray verb("POST");

    const Exchange exchange = co_await send(req, verb, body, true);
    if (exchange.transportFailed)
        throw APIError(exchange.transportError);
    if (exchange.status >= 200 && exchange.status <= 299)
        co_return;
    const QJsonValue message = decodeObject(exchange.data).value_or(QJsonObject()).value(QLatin1String("message"));
    if (message.isString())
        throw APIError(message.toString());
    throw APIError(QStringLiteral("Screenshot upload failed (%1).").arg(exchange.status));
}

} // namespace API
