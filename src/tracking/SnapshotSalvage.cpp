#include "SnapshotSalvage.h"

#include "JsonRead.h"
#include "Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {
template<typename T>
void take(std::optional<std::optional<T>> read, std::optional<T> &field)
{
    if (read)
        field = *read;
}

QString stops(int n)
{
    return n == 1 ? u"1 queued stop"_s : u"%1 queued stops"_s.arg(n);
}
} // namespace

SnapshotSalvage SnapshotSalvage::from(const QByteArray &document)
{
    SnapshotSalvage salvage;
    const QJsonDocument doc = QJsonDocument::fromJson(document);
    if (!doc.isObject())
        return salvage;
    const QJsonObject o = doc.object();
    TrackingSnapshot &s = salvage.snapshot;

    const QJsonArray pending = o.value("pending"_L1).toArray();
    if (!pending.isEmpty()) {
        s.pending.emplace();
        for (const QJsonValue &element : pending) {
            if (auto stop = PendingStop::fromJson(element)) {
                s.pending->append(*stop);
                ++salvage.stopsKept;
            } else {
                ++salvage.stopsLost;
            }
        }
    }

    const QJsonObject banked = o.value("banked"_L1).toObject();
    for (auto it = banked.begin(); it != banked.end(); ++it)
        if (auto seconds = JsonRead::finiteNumber(it.value()); seconds && *seconds >= 0)
            s.banked.insert(it.key(), *seconds);

    s.project = JsonRead::requiredString(o, "project"_L1).value_or(QString());
    s.task = JsonRead::requiredString(o, "task"_L1).value_or(QString());
    s.isPrivate = JsonRead::requiredBool(o, "isPrivate"_L1).value_or(false);
    take(JsonRead::optionalString(o, "projectID"_L1), s.projectID);
    take(JsonRead::optionalString(o, "taskID"_L1), s.taskID);

    // The running session counts only with a start that reads; the server's
    // entry and the acceptance come along when they read too.
    const QJsonValue running = o.value("isRunning"_L1);
    if (running.isBool() && running.toBool()) {
        const auto startedAt = JsonRead::optionalInstant(o, "startedAt"_L1);
        if (startedAt && *startedAt) {
            s.isRunning = true;
            s.startedAt = *startedAt;
            take(JsonRead::optionalString(o, "sessionID"_L1), s.sessionID);
            if (!s.sessionID)
                s.sessionID = Uuid::create();
            take(JsonRead::optionalInteger(o, "entryID"_L1), s.entryID);
            take(JsonRead::optionalBool(o, "startSynced"_L1), s.startSynced);
            if (!s.startSynced)
                s.startSynced = s.entryID.has_value();
            salvage.runningKept = true;
        } else {
            salvage.runningLost = true;
        }
    }
    return salvage;
}

QString SnapshotSalvage::summary() const
{
    QStringList kept;
    if (stopsKept > 0)
        kept << stops(stopsKept);
    if (runningKept)
        kept << u"the running session"_s;
    QString text = kept.isEmpty() ? u"nothing could be kept"_s : u"kept "_s + kept.join(u" and "_s);
    if (stopsLost > 0)
        text += u"; %1 could not be read"_s.arg(stops(stopsLost));
    if (runningLost)
        text += u"; the running session could not be read"_s;
    return text;
}
