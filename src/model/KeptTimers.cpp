#include "KeptTimers.h"

#include "SharedSuite.h"
#include "TrackingLog.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace KeptTimers {

namespace {

QJsonObject readAll()
{
    const SharedSuite::Document document = SharedSuite::read(path());
    if (document.state == SharedSuite::Document::State::missing)
        return {};
    if (document.state != SharedSuite::Document::State::read) {
        qCWarning(lcTracking, "kept timers could not be read: %s", qUtf8Printable(document.error));
        return {};
    }
    return QJsonDocument::fromJson(document.bytes).object();
}

bool writeAll(const QJsonObject &all)
{
    QString error;
    if (SharedSuite::writeAtomically(path(), QJsonDocument(all).toJson(QJsonDocument::Compact), &error))
        return true;
    qCWarning(lcTracking, "kept timers could not be saved: %s", qUtf8Printable(error));
    return false;
}

} // namespace

QString path()
{
    return QFileInfo(SharedSuite::snapshotPath()).absolutePath() + u"/tracking.kept.v1"_s;
}

void merge(TrackingSnapshot &into, const TrackingSnapshot &kept)
{
    QList<PendingStop> queue;
    for (const PendingStop &stop : kept.pending.value_or(QList<PendingStop>{})) {
        const bool queued = into.pending && std::any_of(into.pending->cbegin(), into.pending->cend(), [&](const PendingStop &p) {
            return p.sessionID == stop.sessionID;
        });
        if (!queued)
            queue.append(stop);
    }
    queue.append(into.pending.value_or(QList<PendingStop>{}));
    if (!queue.isEmpty())
        into.pending = queue;
    for (auto day = kept.banked.cbegin(); day != kept.banked.cend(); ++day)
        into.banked[day.key()] = into.banked.value(day.key(), 0.0) + day.value();
}

bool keep(const QString &member, const TrackingSnapshot &snapshot)
{
    const QString key = member.toLower();
    QJsonObject all = readAll();
    TrackingSnapshot kept;
    if (all.contains(key))
        kept = TrackingSnapshot::fromJson(all.value(key).toObject()).value_or(TrackingSnapshot{});
    // Only what the server is still owed: the stops and their banked time.
    TrackingSnapshot owed;
    owed.pending = snapshot.pending;
    owed.banked = snapshot.banked;
    merge(owed, kept);
    all.insert(key, owed.toJson());
    if (!writeAll(all))
        return false;
    qCInfo(lcTracking, "kept %ld queued stops of %s aside in %s", long(owed.pending ? owed.pending->size() : 0),
           qUtf8Printable(member), qUtf8Printable(path()));
    return true;
}

std::optional<TrackingSnapshot> take(const QString &member)
{
    const QString key = member.toLower();
    QJsonObject all = readAll();
    if (!all.contains(key))
        return std::nullopt;
    const std::optional<TrackingSnapshot> kept = TrackingSnapshot::fromJson(all.value(key).toObject());
    all.remove(key);
    if (!writeAll(all))
        return std::nullopt; // still there for the next sign-in
    if (!kept)
        qCWarning(lcTracking, "kept timer of %s did not read; dropped it", qUtf8Printable(member));
    return kept;
}

} // namespace KeptTimers
