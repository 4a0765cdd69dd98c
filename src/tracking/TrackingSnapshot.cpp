#include "TrackingSnapshot.h"

#include "JsonRead.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {
double nonNegative(double d)
{
    return std::isfinite(d) && d > 0 ? d : 0;
}

bool allFinite(const TrackingSnapshot &s)
{
    auto finite = [](double d) { return std::isfinite(d); };
    if (s.startedAt && !finite(s.startedAt->seconds))
        return false;
    for (double v : s.banked)
        if (!finite(v))
            return false;
    if (s.pending)
        for (const PendingStop &p : *s.pending)
            if (!finite(p.startedAt.seconds) || !finite(p.stoppedAt.seconds))
                return false;
    return true;
}
} // namespace

double TrackingSnapshot::runningSeconds(Instant now) const
{
    if (!isRunning || !startedAt)
        return 0;
    return nonNegative(now.secondsSince(*startedAt));
}

double TrackingSnapshot::pendingSeconds() const
{
    double total = 0;
    if (pending)
        for (const PendingStop &p : *pending)
            total += p.duration();
    return total;
}

QString TrackingSnapshot::dayKey(const QDate &date)
{
    // Written out by hand for the years a calendar shows: today's key is
    // looked up every second, and QDate::toString parses its format each time.
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return date.toString(u"yyyy-MM-dd"_s);
    const char16_t key[] = {char16_t(u'0' + year / 1000), char16_t(u'0' + year / 100 % 10),
                            char16_t(u'0' + year / 10 % 10), char16_t(u'0' + year % 10), u'-',
                            char16_t(u'0' + month / 10), char16_t(u'0' + month % 10), u'-',
                            char16_t(u'0' + day / 10), char16_t(u'0' + day % 10)};
    return QString(reinterpret_cast<const QChar *>(key), std::size(key));
}

QString TrackingSnapshot::dayKey(Instant instant)
{
    return dayKey(instant.localDate());
}

double TrackingSnapshot::todaySeconds(Instant now) const
{
    return banked.value(dayKey(now), 0.0) + runningSeconds(now);
}

double TrackingSnapshot::weekSeconds(Instant now) const
{
    const QDate today = now.localDate();
    if (!today.isValid())
        return todaySeconds(now);
    // Walk calendar days, not 86,400-second steps, so a daylight-saving week
    // still has seven day keys.
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    double total = runningSeconds(now);
    for (int i = 0; i < 7; ++i)
        total += banked.value(dayKey(monday.addDays(i)), 0.0);
    return total;
}

QJsonObject TrackingSnapshot::toJson() const
{
    QJsonObject bankedJson;
    for (auto it = banked.cbegin(); it != banked.cend(); ++it)
        bankedJson.insert(it.key(), it.value());

    QJsonObject o{
        {u"isRunning"_s, isRunning},
        {u"banked"_s, bankedJson},
        {u"project"_s, project},
        {u"task"_s, task},
        {u"isPrivate"_s, isPrivate},
    };
    if (startedAt)
        o.insert(u"startedAt"_s, startedAt->seconds);
    if (projectID)
        o.insert(u"projectID"_s, *projectID);
    if (taskID)
        o.insert(u"taskID"_s, *taskID);
    if (sessionID)
        o.insert(u"sessionID"_s, *sessionID);
    if (entryID)
        o.insert(u"entryID"_s, *entryID);
    if (startSynced)
        o.insert(u"startSynced"_s, *startSynced);
    if (pending) {
        QJsonArray list;
        for (const PendingStop &p : *pending)
            list.append(p.toJson());
        o.insert(u"pending"_s, list);
    }
    return o;
}

QByteArray TrackingSnapshot::encode() const
{
    if (!allFinite(*this))
        return {};
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<TrackingSnapshot> TrackingSnapshot::decode(const QByteArray &document)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return fromJson(doc.object());
}

std::optional<TrackingSnapshot> TrackingSnapshot::fromJson(const QJsonObject &o)
{
    const auto isRunning = JsonRead::requiredBool(o, "isRunning"_L1);
    const auto project = JsonRead::requiredString(o, "project"_L1);
    const auto task = JsonRead::requiredString(o, "task"_L1);
    const auto isPrivate = JsonRead::requiredBool(o, "isPrivate"_L1);
    const auto startedAt = JsonRead::optionalInstant(o, "startedAt"_L1);
    const auto projectID = JsonRead::optionalString(o, "projectID"_L1);
    const auto taskID = JsonRead::optionalString(o, "taskID"_L1);
    const auto sessionID = JsonRead::optionalString(o, "sessionID"_L1);
    const auto entryID = JsonRead::optionalInteger(o, "entryID"_L1);
    const auto startSynced = JsonRead::optionalBool(o, "startSynced"_L1);
    const QJsonValue bankedValue = o.value("banked"_L1);
    if (!isRunning || !project || !task || !isPrivate || !startedAt || !projectID || !taskID || !sessionID
        || !entryID || !startSynced || !bankedValue.isObject())
        return std::nullopt;

    TrackingSnapshot s;
    const QJsonObject bankedJson = bankedValue.toObject();
    for (auto it = bankedJson.begin(); it != bankedJson.end(); ++it) {
        const auto seconds = JsonRead::finiteNumber(it.value());
        if (!seconds)
            return std::nullopt;
        s.banked.insert(it.key(), *seconds);
    }

    const QJsonValue pendingValue = o.value("pending"_L1);
    if (!pendingValue.isUndefined() && !pendingValue.isNull()) {
        if (!pendingValue.isArray())
            return std::nullopt;
        QList<PendingStop> stops;
        const QJsonArray list = pendingValue.toArray();
        stops.reserve(list.size());
        for (const QJsonValue &element : list) {
            auto stop = PendingStop::fromJson(element);
            if (!stop)
                return std::nullopt;
            stops.append(std::move(*stop));
        }
        s.pending = std::move(stops);
    }

    s.isRunning = *isRunning;
    s.startedAt = *startedAt;
    s.project = *project;
    s.task = *task;
    s.isPrivate = *isPrivate;
    s.projectID = *projectID;
    s.taskID = *taskID;
    s.sessionID = *sessionID;
    s.entryID = *entryID;
    s.startSynced = *startSynced;
    return s;
}
