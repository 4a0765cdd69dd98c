// The endpoints: each one builds its body, goes through API::request and
// reads the answer leniently.
#include "API.h"

#include "DeviceInfo.h"
#include "Preferences.h"
#include "RecordMapping.h"
#include "Uuid.h"

#include <QJsonArray>

#include <cmath>

#ifndef ZIMBREL_VERSION
#define ZIMBREL_VERSION "2.0"
#endif

namespace API {

namespace {

// A server identifier that must be a number; booleans and text do not count.
std::optional<qint64> numericID(const QJsonValue &value)
{
    if (value.isBool())
        return std::nullopt;
    return RecordMapping::integer(value);
}

QJsonValue orNull(std::optional<qint64> value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// Screenshot intervals outside these bounds would make the capture schedule
// absurd (every second) or overflow time arithmetic.
constexpr double minInterval = 1;
constexpr double maxInterval = 7 * 24 * 60;
constexpr double defaultInterval = 3;

std::optional<double> intervalValue(const QJsonValue &value)
{
    std::optional<double> result;
    if (value.isDouble() || value.isBool()) {
        result = RecordMapping::number(value);
    } else if (value.isString()) {
        const QString text = value.toString();
        // The whole text must be the number: no spaces at either end.
        if (!text.isEmpty() && !text.front().isSpace() && !text.back().isSpace()) {
            bool ok = false;
            const double d = text.toDouble(&ok);
            if (ok)
                result = d;
        }
    }
    if (result && std::isfinite(*result) && *result > 0)
        return result;
    return std::nullopt;
}

} // namespace

std::optional<QString> ident(const QJsonValue &value)
{
    return RecordMapping::ident(value);
}

std::optional<qint64> entryID(const QJsonObject &in)
{
    const QJsonObject base = RecordMapping::payload(in);
    QList<QJsonObject> candidates;
    for (const char *key : {"time_entry", "current_entry"}) {
        const QJsonValue v = base.value(QLatin1StringView(key));
        if (v.isObject())
            candidates.append(v.toObject());
    }
    candidates.append(base);
    for (const QJsonObject &candidate : candidates) {
        const QJsonValue v = RecordMapping::firstPresent(
            candidate, {QLatin1StringView("id"), QLatin1StringView("time_entry_id")});
        if (auto id = numericID(v))
            return id;
    }
    return std::nullopt;
}

// ---- Sign-in and device registration ----

QCoro::Task<SignIn> login(QString email, QString password)
{
    QJsonObject body;
    body.insert(QLatin1String("email"), email);
    body.insert(QLatin1String("password"), password);
    body.insert(QLatin1String("remember"), true);
    const std::optional<QString> noToken;
    const QString path = QStringLiteral("login");
    const QJsonObject answer = co_await post(path, noToken, body, Answer::jsonObject);

    const QJsonObject payload = RecordMapping::payload(answer);
    const auto token = RecordMapping::string(
        RecordMapping::firstPresent(payload, {QLatin1StringView("token"), QLatin1StringView("access_token")}));
    if (!token)
        throw APIError(QStringLiteral("Sign-in succeeded but no session was returned."));
    const QJsonObject user = RecordMapping::object(payload, QLatin1StringView("user"));
    SignIn result;
    result.token = *token;
    result.name = RecordMapping::string(user.value(QLatin1StringView("name"))).value_or(email);
    result.email = RecordMapping::string(user.value(QLatin1StringView("email"))).value_or(email);
    result.role = RecordMapping::string(user.value(QLatin1StringView("role"))).value_or(QString());
    result.role.replace(QLatin1Char('-'), QLatin1Char(' '));
    co_return result;
}

QJsonObject deviceBody(const QString &deviceUUID)
{
    const QString name = DeviceInfo::name();
    QJsonObject body;
    body.insert(QLatin1String("device_uuid"), deviceUUID);
    body.insert(QLatin1String("device_name"), name);
    body.insert(QLatin1String("hostname"), name);
    body.insert(QLatin1String("os"), QStringLiteral("Linux"));
    body.insert(QLatin1String("os_version"), DeviceInfo::osVersion());
    body.insert(QLatin1String("app_version"), QStringLiteral(ZIMBREL_VERSION));
    return body;
}

QCoro::Task<std::optional<qint64>> deviceID(QString token)
{
    const QString idKey = QStringLiteral("device.id");
    const QString uuidKey = QStringLiteral("device.uuid");
    if (Preferences::contains(idKey)) {
        bool ok = false;
        const qint64 cached = Preferences::value(idKey).toLongLong(&ok);
        if (ok)
            co_return cached;
        // A hand-edited value that is no number: register again.
    }

    QString uuid = Preferences::value(uuidKey).toString();
    if (uuid.isEmpty())
        uuid = Uuid::create();
    Preferences::setValue(uuidKey, uuid);

    const QString path = QStringLiteral("devices/register");
    const QJsonObject body = deviceBody(uuid);
    const QJsonObject answer = co_await post(path, token, body);

    const QJsonObject payload = RecordMapping::payload(answer);
    const QJsonValue deviceValue = payload.value(QLatin1StringView("device"));
    const QJsonObject device = deviceValue.isObject() ? deviceValue.toObject() : payload;
    const auto id = numericID(
        RecordMapping::firstPresent(device, {QLatin1StringView("id"), QLatin1StringView("device_id")}));
    if (id)
        Preferences::setValue(idKey, *id);
    co_return id;
}

QCoro::Task<void> logout(QString token)
{
    const std::optional<QJsonObject> noBody;
    try {
        const QString path = QStringLiteral("logout");
        co_await post(path, token, noBody);
    } catch (const APIError &) {
        // Signing out goes on whatever the server says.
    }
}

// ---- Timer endpoints ----

CurrentTimer currentTimer(const QJsonObject &answer)
{
    const QJsonObject payload = RecordMapping::payload(answer);
    CurrentTimer result;
    const QJsonValue running = payload.value(QLatin1StringView("is_running"));
    if (running.isBool())
        result.running = running.toBool();
    else if (running.isDouble())
        result.running = running.toDouble() == 1;

    const QJsonValue entryValue = payload.value(QLatin1StringView("current_entry"));
    if (!entryValue.isObject())
        return result;
    const QJsonObject entry = entryValue.toObject();
    const QJsonValue started =
        RecordMapping::firstPresent(entry, {QLatin1StringView("started_at"), QLatin1StringView("start_time")});
    if (started.isString())
        result.startedAt = parseISO(started.toString());
    result.entryID = entryID(entry);
    result.project = ident(entry.value(QLatin1StringView("project_id")));
    result.task = ident(entry.value(QLatin1StringView("task_id")));
    return result;
}

QCoro::Task<CurrentTimer> current(QString token)
{
    const QString path = QStringLiteral("time/current");
    const QJsonObject answer = co_await get(path, token);
    co_return currentTimer(answer);
}

namespace {

QJsonObject timerBody(const std::optional<QString> &projectID, const std::optional<QString> &taskID,
                      std::optional<qint64> deviceID, bool isPrivate, const QString &sessionID, Instant now)
{
    QJsonObject body;
    body.insert(QLatin1String("project_id"), num(projectID));
    body.insert(QLatin1String("task_id"), num(taskID));
    body.insert(QLatin1String("device_id"), orNull(deviceID));
    body.insert(QLatin1String("type"), QStringLiteral("tracked"));
    body.insert(QLatin1String("is_private"), isPrivate);
    body.insert(QLatin1String("client_session_id"), sessionID);
    body.insert(QLatin1String("local_sync_id"), sessionID);
    body.insert(QLatin1String("sync_id"), sessionID);
    body.insert(QLatin1String("client_time"), iso(now));
    return body;
}

} // namespace

QJsonObject startBody(const PendingStop &stop, std::optional<qint64> deviceID, Instant now)
{
    QJsonObject body = timerBody(stop.projectID, stop.taskID, deviceID, stop.isPrivate, stop.sessionID, now);
    body.insert(QLatin1String("started_at"), iso(stop.startedAt));
    return body;
}

QJsonObject startBody(const TrackingSnapshot &snapshot, std::optional<qint64> deviceID, Instant now)
{
    QJsonObject body = timerBody(snapshot.projectID, snapshot.taskID, deviceID, snapshot.isPrivate,
                                 snapshot.sessionID.value_or(QString()), now);
    body.insert(QLatin1String("started_at"), iso(snapshot.startedAt.value_or(now)));
    return body;
}

QJsonObject stopBody(const PendingStop &stop, std::optional<qint64> entryID, std::optional<qint64> deviceID,
                     Instant now)
{
    QJsonObject body = timerBody(stop.projectID, stop.taskID, deviceID, stop.isPrivate, stop.sessionID, now);
    body.insert(QLatin1String("time_entry_id"), orNull(entryID));
    body.insert(QLatin1String("current_entry_id"), orNull(entryID));
    body.insert(QLatin1String("stopped_at"), iso(stop.stoppedAt));
    body.insert(QLatin1String("stop_reason"), stop.stopReason.value_or(QStringLiteral("manual")));
    return body;
}

QCoro::Task<QJsonObject> start(QString token, QJsonObject body)
{
    const QString path = QStringLiteral("time/start");
    co_return co_await post(path, token, body, Answer::jsonObject);
}

QCoro::Task<QJsonObject> stop(QString token, QJsonObject body)
{
    const QString path = QStringLiteral("time/stop");
    co_return co_await post(path, token, body, Answer::jsonObject);
}

bool isNoActiveTimer(const APIError &error)
{
    return error.message().toLower().contains(QLatin1String("no active timer found"));
}

QJsonObject heartbeatBody(std::optional<qint64> deviceID, std::optional<qint64> entryID, Instant now)
{
    QJsonObject body;
    body.insert(QLatin1String("device_id"), orNull(deviceID));
    body.insert(QLatin1String("time_entry_id"), orNull(entryID));
    body.insert(QLatin1String("heartbeat_at"), iso(now));
    return body;
}

QCoro::Task<void> heartbeat(QString token, std::optional<qint64> deviceID, std::optional<qint64> entryID)
{
    const QJsonObject body = heartbeatBody(deviceID, entryID, Instant::now());
    try {
        const QString path = QStringLiteral("time/heartbeat");
        co_await post(path, token, body);
    } catch (const APIError &) {
        // A missed heartbeat is harmless; the next one follows in a minute.
    }
}

// ---- Reporting and capture endpoints ----

QCoro::Task<QList<Project>> projects(QString token)
{
    const QString path = QStringLiteral("projects");
    const QJsonObject answer = co_await get(path, token);
    co_return RecordMapping::projects(answer);
}

QCoro::Task<TodayStats> today(QString token)
{
    std::optional<QJsonObject> dashboard;
    try {
        const QString dashboardPath = QStringLiteral("dashboard");
        dashboard = co_await get(dashboardPath, token);
    } catch (const APIError &) {
        // The statistics still come from time/current without it.
    }
    const QString currentPath = QStringLiteral("time/current");
    const QJsonObject current = co_await get(currentPath, token);
    co_return RecordMapping::todayStats(dashboard, current);
}

std::optional<double> intervalSearch(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString key = it.key().toLower();
        if (!key.contains(QLatin1String("screenshot")) || !key.contains(QLatin1String("interval")))
            continue;
        if (auto minutes = intervalValue(it.value()))
            return minutes;
    }
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (auto minutes = intervalSearch(it.value()))
            return minutes;
    }
    return std::nullopt;
}

QCoro::Task<double> screenshotInterval(QString token)
{
    QJsonObject answer;
    bool failed = false;
    try {
        const QString path = QStringLiteral("settings/get");
        answer = co_await get(path, token);
    } catch (const APIError &) {
        failed = true;
    }
    if (failed)
        co_return defaultInterval;
    const double minutes = intervalSearch(answer).value_or(defaultInterval);
    co_return std::clamp(minutes, minInterval, maxInterval);
}

double activityPercentage(qint64 keystrokes, qint64 clicks, double seconds)
{
    const double inputs = double(std::max<qint64>(keystrokes, 0)) + 2.0 * double(std::max<qint64>(clicks, 0));
    const double minutes = std::isfinite(seconds) ? std::max(seconds / 60.0, 1.0) : 1.0;
    const double percent = inputs / minutes / 180.0 * 100.0;
    return std::min(std::round(percent * 10.0) / 10.0, 100.0);
}

QJsonObject activityBody(std::optional<qint64> deviceID, std::optional<qint64> entryID, qint64 mouseClicks,
                         qint64 keystrokes, double activityPercentage, Instant trackedAt)
{
    QJsonObject sample;
    sample.insert(QLatin1String("id"), Uuid::create());
    sample.insert(QLatin1String("device_id"), orNull(deviceID));
    sample.insert(QLatin1String("time_entry_id"), orNull(entryID));
    sample.insert(QLatin1String("mouse_clicks"), mouseClicks);
    sample.insert(QLatin1String("keystrokes"), keystrokes);
    sample.insert(QLatin1String("activity_percentage"), activityPercentage);
    sample.insert(QLatin1String("tracked_at"), iso(trackedAt));
    QJsonObject body = sample;
    body.insert(QLatin1String("logs"), QJsonArray{sample});
    return body;
}

QJsonObject usageBody(std::optional<qint64> deviceID, const QString &app, Instant from, Instant to)
{
    QJsonObject entry;
    entry.insert(QLatin1String("id"), Uuid::create());
    entry.insert(QLatin1String("device_id"), orNull(deviceID));
    entry.insert(QLatin1String("app_name"), app);
    entry.insert(QLatin1String("url"), QJsonValue(QJsonValue::Null));
    entry.insert(QLatin1String("domain"), QJsonValue(QJsonValue::Null));
    entry.insert(QLatin1String("started_at"), stamp(from));
    entry.insert(QLatin1String("ended_at"), stamp(to));
    QJsonObject body;
    body.insert(QLatin1String("device_id"), orNull(deviceID));
    body.insert(QLatin1String("logs"), QJsonArray{entry});
    return body;
}

QCoro::Task<void> usageLog(QString token, std::optional<qint64> deviceID, QString app, Instant from, Instant to)
{
    const QString path = QStringLiteral("usage/logs");
    const QJsonObject body = usageBody(deviceID, app, from, to);
    co_await post(path, token, body);
}

QCoro::Task<void> activityLog(QString token, QJsonObject body)
{
    const QString path = QStringLiteral("activity/logs");
    co_await post(path, token, body);
}

} // namespace API
