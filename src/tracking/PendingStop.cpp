#include "PendingStop.h"

#include "JsonRead.h"

#include <cmath>

using namespace Qt::StringLiterals;

double PendingStop::duration() const
{
    const double d = stoppedAt.secondsSince(startedAt);
    return std::isfinite(d) && d > 0 ? d : 0;
}

QJsonObject PendingStop::toJson() const
{
    QJsonObject o{
        {u"sessionID"_s, sessionID},
        {u"startSynced"_s, startSynced},
        {u"startedAt"_s, startedAt.seconds},
        {u"stoppedAt"_s, stoppedAt.seconds},
        {u"isPrivate"_s, isPrivate},
    };
    if (projectID)
        o.insert(u"projectID"_s, *projectID);
    if (taskID)
        o.insert(u"taskID"_s, *taskID);
    if (entryID)
        o.insert(u"entryID"_s, *entryID);
    if (stopReason)
        o.insert(u"stopReason"_s, *stopReason);
    return o;
}

std::optional<PendingStop> PendingStop::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto sessionID = JsonRead::requiredString(o, "sessionID"_L1);
    const auto startSynced = JsonRead::requiredBool(o, "startSynced"_L1);
    const auto startedAt = JsonRead::requiredInstant(o, "startedAt"_L1);
    const auto stoppedAt = JsonRead::requiredInstant(o, "stoppedAt"_L1);
    const auto isPrivate = JsonRead::requiredBool(o, "isPrivate"_L1);
    const auto projectID = JsonRead::optionalString(o, "projectID"_L1);
    const auto taskID = JsonRead::optionalString(o, "taskID"_L1);
    const auto entryID = JsonRead::optionalInteger(o, "entryID"_L1);
    const auto stopReason = JsonRead::optionalString(o, "stopReason"_L1);
    if (!sessionID || !startSynced || !startedAt || !stoppedAt || !isPrivate || !projectID || !taskID || !entryID
        || !stopReason)
        return std::nullopt;

    PendingStop s;
    s.sessionID = *sessionID;
    s.projectID = *projectID;
    s.taskID = *taskID;
    s.entryID = *entryID;
    s.startSynced = *startSynced;
    s.startedAt = *startedAt;
    s.stoppedAt = *stoppedAt;
    s.isPrivate = *isPrivate;
    s.stopReason = *stopReason;
    return s;
}
