// The reports of a running timer: activity samples, usage records and
// screenshot uploads.
#include "ApiServer.h"

#include "ApiJson.h"
#include "BlobStore.h"
#include "Calendar.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QtDebug>

#include <httplib.h>

namespace {

ApiServer::Reply fail(int status, const QString &message)
{
    return {status, ApiJson::failure(message)};
}

constexpr int maxRecords = 500; // per request

// The records of a body: its "logs" array of objects, else the body itself
// (the activity body carries its sample both ways).
QList<QJsonObject> records(const QJsonObject &body)
{
    QList<QJsonObject> out;
    const QJsonValue logs = body.value(QStringLiteral("logs"));
    if (logs.isArray()) {
        for (const QJsonValue &v : logs.toArray())
            if (v.isObject() && out.size() < maxRecords)
                out.append(v.toObject());
        return out;
    }
    out.append(body);
    return out;
}

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

ApiServer::Reply ApiServer::activity(Call &c)
{
    QList<Store::ActivitySample> samples;
    const auto fallbackDevice = ApiJson::id(c.body.value(QStringLiteral("device_id")));
    for (const QJsonObject &o : records(c.body)) {
        Store::ActivitySample s;
        const auto id = ApiJson::text(o.value(QStringLiteral("id")), 64);
        const auto at = Calendar::parseISO(o.value(QStringLiteral("tracked_at")).toString());
        if (!id || !at)
            continue;
        s.clientId = *id;
        s.trackedAt = *at;
        s.deviceId = o.contains(QStringLiteral("device_id")) ? ApiJson::id(o.value(QStringLiteral("device_id"))) : fallbackDevice;
        s.entryId = ApiJson::id(o.value(QStringLiteral("time_entry_id")));
        s.mouseClicks = ApiJson::count(o.value(QStringLiteral("mouse_clicks")), 1000000).value_or(0);
        s.keystrokes = ApiJson::count(o.value(QStringLiteral("keystrokes")), 1000000).value_or(0);
        const double p = o.value(QStringLiteral("activity_percentage")).toDouble(0);
        s.percentage = std::isfinite(p) ? std::clamp(p, 0.0, 100.0) : 0.0;
        samples.append(s);
    }
    if (samples.isEmpty())
        return fail(422, QStringLiteral("The activity record has no id or no valid tracked_at time."));
    const int added = m_store.addActivity(c.member.id, samples);
    return {200, ApiJson::ok({{QStringLiteral("stored"), added}})};
}

ApiServer::Reply ApiServer::usage(Call &c)
{
    QList<Store::UsageRecord> list;
    const auto fallbackDevice = ApiJson::id(c.body.value(QStringLiteral("device_id")));
    const QJsonValue logs = c.body.value(QStringLiteral("logs"));
    if (!logs.isArray())
        return fail(422, QStringLiteral("The usage record has no logs."));
    for (const QJsonValue &v : logs.toArray()) {
        if (!v.isObject() || list.size() >= maxRecords)
            continue;
        const QJsonObject o = v.toObject();
        Store::UsageRecord u;
        const auto id = ApiJson::text(o.value(QStringLiteral("id")), 64);
        const auto app = ApiJson::text(o.value(QStringLiteral("app_name")), 200);
        const auto from = Calendar::parseStamp(o.value(QStringLiteral("started_at")).toString());
        const auto to = Calendar::parseStamp(o.value(QStringLiteral("ended_at")).toString());
        if (!id || !app || !from || !to || *to < *from)
            continue;
        u.clientId = *id;
        u.appName = *app;
        u.startedAt = *from;
        u.endedAt = *to;
        u.url = ApiJson::textOr(o.value(QStringLiteral("url")), 2000);
        u.domain = ApiJson::textOr(o.value(QStringLiteral("domain")), 255);
        u.deviceId = o.contains(QStringLiteral("device_id")) ? ApiJson::id(o.value(QStringLiteral("device_id"))) : fallbackDevice;
        list.append(u);
    }
    if (list.isEmpty())
        return fail(422, QStringLiteral("The usage record is not valid."));
    const int added = m_store.addUsage(c.member.id, list);
    return {200, ApiJson::ok({{QStringLiteral("stored"), added}})};
}

ApiServer::Reply ApiServer::upload(Call &c)
{
    if (!screenshotsEnabled())
        return fail(403, QStringLiteral("Screenshots are turned off for this workspace."));
    const httplib::Request &req = c.request;
    if (req.files.size() > 10)
        return fail(400, QStringLiteral("The upload has too many parts."));
    if (req.files.count("files[]") != 1)
        return fail(422, QStringLiteral("The upload must hold exactly one screenshot."));
    // The part's file name is the client's and is never used: the stored
    // file gets a name made here.
    const httplib::MultipartFormData file = req.get_file_value("files[]");
    if (qint64(file.content.size()) > m_options.screenshotMax)
        return fail(413, QStringLiteral("The screenshot is larger than %1 MB.").arg(m_options.screenshotMax / (1024 * 1024)));
    if (file.content.size() < 3 || static_cast<unsigned char>(file.content[0]) != 0xFF
        || static_cast<unsigned char>(file.content[1]) != 0xD8 || static_cast<unsigned char>(file.content[2]) != 0xFF)
        return fail(415, QStringLiteral("The screenshot is not a JPEG image."));

    auto field = [&](const char *name) {
        return req.has_file(name) ? fromStd(req.get_file_value(name).content) : QString();
    };
    const QString clientId = field("client_log_id[]");
    if (clientId.isEmpty() || clientId.size() > 64)
        return fail(422, QStringLiteral("The upload has no client_log_id."));
    const auto capturedAt = Calendar::parseStamp(field("captured_at[]"));
    if (!capturedAt)
        return fail(422, QStringLiteral("The upload has no valid captured_at time."));
    static const QRegularExpression hashForm(QStringLiteral("^[0-9a-fA-F]{16}$"));
    QString hash = field("visual_hash[]");
    if (!hashForm.match(hash).hasMatch())
        hash.clear();

    if (const auto existing = m_store.screenshotByClientId(c.member.id, clientId))
        return {200, ApiJson::ok({{QStringLiteral("screenshot"), QJsonObject{{QStringLiteral("id"), double(existing->id)}}}})};

    Store::Screenshot shot;
    shot.clientId = clientId;
    shot.capturedAt = *capturedAt;
    shot.visualHash = hash.toLower();
    shot.deviceId = ApiJson::id(field("device_id"));
    shot.size = qint64(file.content.size());
    if (const auto open = m_store.openEntry(c.member.id); open && open->startedAt <= *capturedAt)
        shot.entryId = open->id;
    const auto key = m_blobs.put(QByteArray::fromStdString(file.content));
    if (!key)
        return fail(507, QStringLiteral("The server could not store the screenshot."));
    shot.blobKey = *key;
    Store::Added added = Store::Added::added;
    try {
        added = m_store.addScreenshot(c.member.id, shot, {m_options.screenshotsPerMinute, m_options.screenshotsPerDay});
    } catch (...) {
        m_blobs.remove(*key);
        throw;
    }
    if (added != Store::Added::added)
        m_blobs.remove(*key); // over the limit, or the same upload won a race meanwhile
    if (added == Store::Added::limited)
        return fail(429, QStringLiteral("Too many screenshots in a short time; this one was not kept."));
    const auto stored = m_store.screenshotByClientId(c.member.id, clientId);
    return {200, ApiJson::ok({{QStringLiteral("screenshot"),
                               QJsonObject{{QStringLiteral("id"), stored ? double(stored->id) : 0.0}}}})};
}
