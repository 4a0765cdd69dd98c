// The timer endpoints: time/current, time/start, time/stop, time/heartbeat.
#include "ApiServer.h"

#include "ApiJson.h"
#include "Calendar.h"
#include "Dashboard.h"

#include <QtDebug>

namespace {

ApiServer::Reply fail(int status, const QString &message)
{
    return {status, ApiJson::failure(message)};
}

// The session id travels under three names; the first usable one counts.
std::optional<QString> sessionId(const QJsonObject &body)
{
    return ApiJson::firstText(body, {"client_session_id", "local_sync_id", "sync_id"}, 128);
}

} // namespace

ApiServer::Reply ApiServer::current(Call &c)
{
    const qint64 now = m_store.now();
    const QTimeZone zone = Calendar::zone(c.member.timeZone);
    const Calendar::Span week = Calendar::week(now, zone);
    const auto open = m_store.openEntry(c.member.id);
    const Dashboard d = Dashboard::compute(m_store.closedEntries(c.member.id, week.from, week.to), open, {}, now, zone);
    const QJsonObject data{
        {QStringLiteral("is_running"), bool(open)},
        {QStringLiteral("current_entry"), open ? QJsonValue(ApiJson::entry(*open)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("today_total_seconds"), double(d.todayMs / 1000)},
        {QStringLiteral("this_week_total_seconds"), double(d.weekMs / 1000)},
    };
    return {200, ApiJson::ok(data)};
}

ApiServer::Reply ApiServer::start(Call &c)
{
    // A start is refused only when it is not a start at all; anything about
    // its project, task or device that the server does not know is kept and
    // flagged, since the client retries a refused start forever.
    Store::StartRequest r;
    const auto session = sessionId(c.body);
    if (!session)
        return fail(422, QStringLiteral("The start has no client_session_id."));
    const auto startedAt = Calendar::parseISO(c.body.value(QStringLiteral("started_at")).toString());
    if (!startedAt)
        return fail(422, QStringLiteral("The start has no valid started_at time."));
    r.sessionId = *session;
    r.startedAt = *startedAt;
    r.project = ApiJson::ref(c.body.value(QStringLiteral("project_id")));
    r.task = ApiJson::ref(c.body.value(QStringLiteral("task_id")));
    r.deviceId = ApiJson::id(c.body.value(QStringLiteral("device_id")));
    r.isPrivate = c.body.value(QStringLiteral("is_private")).toBool(false);
    if (const auto type = ApiJson::text(c.body.value(QStringLiteral("type")), 32))
        r.type = *type;
    if (const auto clientTime = Calendar::parseISO(c.body.value(QStringLiteral("client_time")).toString()))
        r.clockSkewMs = m_store.now() - *clientTime;
    const Store::Entry e = m_store.start(c.member.id, r);
    return {200, ApiJson::ok({{QStringLiteral("time_entry"), ApiJson::entry(e)}})};
}

ApiServer::Reply ApiServer::stopEntry(Call &c)
{
    Store::StopRequest r;
    r.sessionId = sessionId(c.body).value_or(QString());
    r.entryId = ApiJson::id(c.body.value(QStringLiteral("time_entry_id")));
    if (!r.entryId)
        r.entryId = ApiJson::id(c.body.value(QStringLiteral("current_entry_id")));
    if (r.sessionId.isEmpty() && !r.entryId)
        return fail(422, QStringLiteral("The stop has no client_session_id."));
    const auto stoppedAt = Calendar::parseISO(c.body.value(QStringLiteral("stopped_at")).toString());
    if (!stoppedAt)
        return fail(422, QStringLiteral("The stop has no valid stopped_at time."));
    r.stoppedAt = *stoppedAt;
    if (const auto reason = ApiJson::text(c.body.value(QStringLiteral("stop_reason")), 32))
        r.reason = *reason;
    const auto e = m_store.stop(c.member.id, r);
    if (!e)
        return fail(404, QStringLiteral("No active timer found."));
    return {200, ApiJson::ok({{QStringLiteral("time_entry"), ApiJson::entry(*e)}})};
}

ApiServer::Reply ApiServer::heartbeat(Call &c)
{
    // The server's own clock marks the heartbeat: the client's may be off.
    const bool running = m_store.heartbeat(c.member.id, ApiJson::id(c.body.value(QStringLiteral("device_id"))), m_store.now());
    return {200, ApiJson::ok({{QStringLiteral("is_running"), running}})};
}

ApiServer::Reply ApiServer::dashboard(Call &c)
{
    const qint64 now = m_store.now();
    const QTimeZone zone = Calendar::zone(c.member.timeZone);
    const Calendar::Span day = Calendar::day(now, zone);
    const Calendar::Span week = Calendar::week(now, zone);
    const Dashboard d = Dashboard::compute(m_store.closedEntries(c.member.id, std::min(day.from, week.from), week.to),
                                           m_store.openEntry(c.member.id),
                                           m_store.activity(c.member.id, day.from, day.to + 60000), now, zone);
    return {200, ApiJson::ok(d.json(zone))};
}
