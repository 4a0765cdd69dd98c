#include "Store.h"

#include "BlobStore.h"
#include "Credentials.h"

#include <QDateTime>
#include <QSqlRecord>
#include <QtDebug>

#include <algorithm>

namespace {

QVariant nullable(std::optional<qint64> v)
{
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<qint64>());
}

QVariant nullableText(const QString &v)
{
    return v.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(v);
}

std::optional<qint64> optionalInt(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toLongLong();
}

const QString entryColumns = QStringLiteral(
    "id, member_id, client_session_id, project_id, task_id, project_ref, task_ref, flagged, device_id, "
    "is_private, started_at, stopped_at, stop_reason, last_heartbeat_at, entry_type");

const QString memberColumns = QStringLiteral("id, email, name, role, time_zone, disabled, password_hash");

Store::Member readMember(const QSqlQuery &q)
{
    Store::Member m;
    m.id = q.value(0).toLongLong();
    m.email = q.value(1).toString();
    m.name = q.value(2).toString();
    m.role = q.value(3).toString();
    m.timeZone = q.value(4).toString();
    m.disabled = q.value(5).toInt() != 0;
    m.passwordHash = q.value(6).toString();
    return m;
}

} // namespace

qint64 Store::systemNow()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Store::Store(Database &db, Clock clock)
    : m_db(db)
    , m_clock(std::move(clock))
{
}

// ---- members and sessions ----

qint64 Store::addMember(const QString &email, const QString &name, const QString &role, const QString &passwordHash,
                        const QString &timeZone)
{
    qint64 id = 0;
    m_db.write([&] {
        if (memberByEmail(email))
            throw StoreError(QStringLiteral("a member with the e-mail %1 exists already").arg(email).toStdString());
        QSqlQuery q = m_db.run(QStringLiteral("INSERT INTO members (email, name, role, password_hash, time_zone, created_at)"
                                              " VALUES (?, ?, ?, ?, ?, ?) RETURNING id"),
                               {Credentials::emailKey(email), name, role, passwordHash, timeZone, now()});
        q.next();
        id = q.value(0).toLongLong();
    });
    return id;
}

std::optional<Store::Member> Store::memberByEmail(const QString &email)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM members WHERE email = ?").arg(memberColumns),
                           {Credentials::emailKey(email)});
    if (!q.next())
        return std::nullopt;
    return readMember(q);
}

std::optional<Store::Member> Store::memberById(qint64 id)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM members WHERE id = ?").arg(memberColumns), {id});
    if (!q.next())
        return std::nullopt;
    return readMember(q);
}

QList<Store::Member> Store::members()
{
    QList<Member> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM members ORDER BY id").arg(memberColumns));
    while (q.next())
        out.append(readMember(q));
    return out;
}

int Store::memberCount()
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT COUNT(*) FROM members"));
    return q.next() ? q.value(0).toInt() : 0;
}

bool Store::setDisabled(const QString &email, bool disabled)
{
    bool found = false;
    m_db.write([&] {
        const auto m = memberByEmail(email);
        if (!m)
            return;
        found = true;
        m_db.run(QStringLiteral("UPDATE members SET disabled = ? WHERE id = ?"), {disabled ? 1 : 0, m->id});
        m_db.run(QStringLiteral("DELETE FROM sessions WHERE member_id = ?"), {m->id});
    });
    return found;
}

bool Store::setPasswordHash(const QString &email, const QString &hash, bool endSessions)
{
    bool found = false;
    m_db.write([&] {
        const auto m = memberByEmail(email);
        if (!m)
            return;
        found = true;
        m_db.run(QStringLiteral("UPDATE members SET password_hash = ? WHERE id = ?"), {hash, m->id});
        if (endSessions)
            m_db.run(QStringLiteral("DELETE FROM sessions WHERE member_id = ?"), {m->id});
    });
    return found;
}

bool Store::setTimeZone(const QString &email, const QString &zone)
{
    QSqlQuery q = m_db.run(QStringLiteral("UPDATE members SET time_zone = ? WHERE email = ?"),
                           {zone, Credentials::emailKey(email)});
    return q.numRowsAffected() > 0;
}

bool Store::setRole(qint64 memberId, const QString &role)
{
    bool found = false;
    m_db.write([&] {
        found = m_db.run(QStringLiteral("UPDATE members SET role = ? WHERE id = ?"), {role, memberId}).numRowsAffected() > 0;
    });
    return found;
}

QString Store::createSession(qint64 memberId)
{
    const QString token = Credentials::newToken();
    const qint64 t = now();
    m_db.write([&] {
        m_db.run(QStringLiteral("INSERT INTO sessions (member_id, token_hash, created_at, last_used_at)"
                                " VALUES (?, ?, ?, ?)"),
                 {memberId, Credentials::tokenDigest(token), t, t});
    });
    return token;
}

std::optional<Store::Member> Store::memberForToken(const QString &token)
{
    if (token.isEmpty() || token.size() > 200)
        return std::nullopt;
    const QString digest = Credentials::tokenDigest(token);
    QSqlQuery q = m_db.run(QStringLiteral("SELECT s.id, s.created_at, s.last_used_at, m.id, m.email, m.name, m.role,"
                                          " m.time_zone, m.disabled, m.password_hash"
                                          " FROM sessions s JOIN members m ON m.id = s.member_id"
                                          " WHERE s.token_hash = ?"),
                           {digest});
    if (!q.next())
        return std::nullopt;
    const qint64 sessionId = q.value(0).toLongLong();
    const qint64 created = q.value(1).toLongLong();
    const qint64 lastUsed = q.value(2).toLongLong();
    Member m;
    m.id = q.value(3).toLongLong();
    m.email = q.value(4).toString();
    m.name = q.value(5).toString();
    m.role = q.value(6).toString();
    m.timeZone = q.value(7).toString();
    m.disabled = q.value(8).toInt() != 0;
    m.passwordHash = q.value(9).toString();
    q.finish();
    const qint64 t = now();
    if (m.disabled || t - lastUsed >= sessionIdleMs || t - created >= sessionMaxMs) {
        m_db.write([&] { m_db.run(QStringLiteral("DELETE FROM sessions WHERE id = ?"), {sessionId}); });
        return std::nullopt;
    }
    if (t - lastUsed >= 60 * 1000)
        m_db.write([&] { m_db.run(QStringLiteral("UPDATE sessions SET last_used_at = ? WHERE id = ?"), {t, sessionId}); });
    return m;
}

void Store::endSession(const QString &token)
{
    m_db.write([&] {
        m_db.run(QStringLiteral("DELETE FROM sessions WHERE token_hash = ?"), {Credentials::tokenDigest(token)});
    });
}

int Store::endSessions(qint64 memberId)
{
    int ended = 0;
    m_db.write([&] {
        ended = m_db.run(QStringLiteral("DELETE FROM sessions WHERE member_id = ?"), {memberId}).numRowsAffected();
    });
    return ended;
}

// ---- projects ----

qint64 Store::addProject(const QString &name)
{
    qint64 id = 0;
    m_db.write([&] {
        QSqlQuery q = m_db.run(QStringLiteral("INSERT INTO projects (name, created_at) VALUES (?, ?) RETURNING id"),
                               {name, now()});
        q.next();
        id = q.value(0).toLongLong();
    });
    return id;
}

std::optional<qint64> Store::addTask(qint64 projectId, const QString &name)
{
    std::optional<qint64> id;
    m_db.write([&] {
        QSqlQuery p = m_db.run(QStringLiteral("SELECT id FROM projects WHERE id = ?"), {projectId});
        if (!p.next())
            return;
        p.finish();
        QSqlQuery q = m_db.run(
            QStringLiteral("INSERT INTO tasks (project_id, name, created_at) VALUES (?, ?, ?) RETURNING id"),
            {projectId, name, now()});
        q.next();
        id = q.value(0).toLongLong();
    });
    return id;
}

bool Store::assign(qint64 memberId, qint64 projectId)
{
    bool ok = false;
    m_db.write([&] {
        QSqlQuery p = m_db.run(QStringLiteral("SELECT (SELECT COUNT(*) FROM projects WHERE id = ?),"
                                              " (SELECT COUNT(*) FROM members WHERE id = ?)"),
                               {projectId, memberId});
        if (!p.next() || p.value(0).toInt() == 0 || p.value(1).toInt() == 0)
            return;
        p.finish();
        m_db.run(QStringLiteral("INSERT INTO assignments (member_id, project_id) VALUES (?, ?)"
                                " ON CONFLICT (member_id, project_id) DO NOTHING"),
                 {memberId, projectId});
        ok = true;
    });
    return ok;
}

bool Store::unassign(qint64 memberId, qint64 projectId)
{
    bool had = false;
    m_db.write([&] {
        had = m_db.run(QStringLiteral("DELETE FROM assignments WHERE member_id = ? AND project_id = ?"),
                       {memberId, projectId})
                  .numRowsAffected()
            > 0;
    });
    return had;
}

QList<Store::Project> Store::allProjects()
{
    QList<Project> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT p.id, p.name, p.archived, t.id, t.name, t.archived FROM projects p"
                                          " LEFT JOIN tasks t ON t.project_id = p.id"
                                          " ORDER BY p.archived, p.name, p.id, t.archived, t.name, t.id"));
    while (q.next()) {
        const qint64 pid = q.value(0).toLongLong();
        if (out.isEmpty() || out.last().id != pid)
            out.append(Project{pid, q.value(1).toString(), {}, q.value(2).toInt() != 0});
        if (!q.value(3).isNull())
            out.last().tasks.append(Task{q.value(3).toLongLong(), q.value(4).toString(), pid, q.value(5).toInt() != 0});
    }
    return out;
}

QList<Store::Assignment> Store::assignments()
{
    QList<Assignment> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT member_id, project_id FROM assignments ORDER BY member_id, project_id"));
    while (q.next())
        out.append(Assignment{q.value(0).toLongLong(), q.value(1).toLongLong()});
    return out;
}

std::optional<Store::Project> Store::project(qint64 id)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT id, name, archived FROM projects WHERE id = ?"), {id});
    if (!q.next())
        return std::nullopt;
    return Project{q.value(0).toLongLong(), q.value(1).toString(), {}, q.value(2).toInt() != 0};
}

std::optional<Store::Task> Store::task(qint64 id)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT id, name, project_id, archived FROM tasks WHERE id = ?"), {id});
    if (!q.next())
        return std::nullopt;
    return Task{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong(), q.value(3).toInt() != 0};
}

namespace {
bool updateOne(Database &db, const QString &sql, const QVariantList &values)
{
    bool found = false;
    db.write([&] { found = db.run(sql, values).numRowsAffected() > 0; });
    return found;
}
} // namespace

bool Store::renameProject(qint64 id, const QString &name)
{
    return updateOne(m_db, QStringLiteral("UPDATE projects SET name = ? WHERE id = ?"), {name, id});
}

bool Store::setProjectArchived(qint64 id, bool archived)
{
    return updateOne(m_db, QStringLiteral("UPDATE projects SET archived = ? WHERE id = ?"), {archived ? 1 : 0, id});
}

bool Store::renameTask(qint64 id, const QString &name)
{
    return updateOne(m_db, QStringLiteral("UPDATE tasks SET name = ? WHERE id = ?"), {name, id});
}

bool Store::setTaskArchived(qint64 id, bool archived)
{
    return updateOne(m_db, QStringLiteral("UPDATE tasks SET archived = ? WHERE id = ?"), {archived ? 1 : 0, id});
}

QList<Store::Project> Store::projectsFor(qint64 memberId)
{
    QList<Project> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT p.id, p.name, t.id, t.name FROM projects p"
                                          " JOIN assignments a ON a.project_id = p.id AND a.member_id = ?"
                                          " LEFT JOIN tasks t ON t.project_id = p.id AND t.archived = 0"
                                          " WHERE p.archived = 0 ORDER BY p.name, p.id, t.name, t.id"),
                           {memberId});
    while (q.next()) {
        const qint64 pid = q.value(0).toLongLong();
        if (out.isEmpty() || out.last().id != pid)
            out.append(Project{pid, q.value(1).toString(), {}});
        if (!q.value(2).isNull())
            out.last().tasks.append(Task{q.value(2).toLongLong(), q.value(3).toString(), pid});
    }
    return out;
}

// ---- devices ----

std::optional<qint64> Store::registerDevice(qint64 memberId, const Device &d, const QString &token)
{
    std::optional<qint64> id;
    const qint64 t = now();
    m_db.write([&] {
        // Only the member who registered a device may describe it again.
        m_db.run(QStringLiteral("INSERT INTO devices (device_uuid, name, hostname, os, os_version, app_version,"
                                " first_member_id, created_at, last_seen_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                " ON CONFLICT (device_uuid) DO UPDATE SET name = excluded.name,"
                                " hostname = excluded.hostname, os = excluded.os, os_version = excluded.os_version,"
                                " app_version = excluded.app_version, last_seen_at = excluded.last_seen_at"
                                " WHERE devices.first_member_id = excluded.first_member_id"),
                 {d.uuid, d.name, d.hostname, d.os, d.osVersion, d.appVersion, memberId, t, t});
        QSqlQuery q = m_db.run(QStringLiteral("SELECT id FROM devices WHERE device_uuid = ? AND first_member_id = ?"),
                               {d.uuid, memberId});
        if (!q.next())
            return;
        id = q.value(0).toLongLong();
        q.finish();
        m_db.run(QStringLiteral("UPDATE sessions SET device_id = ? WHERE token_hash = ?"),
                 {*id, Credentials::tokenDigest(token)});
    });
    return id;
}

std::optional<qint64> Store::ownDevice(qint64 memberId, std::optional<qint64> id)
{
    if (!id)
        return std::nullopt;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT id FROM devices WHERE id = ? AND first_member_id = ?"), {*id, memberId});
    return q.next() ? id : std::nullopt;
}

// ---- time entries ----

Store::Entry Store::readEntry(const QSqlQuery &q)
{
    Entry e;
    e.id = q.value(0).toLongLong();
    e.memberId = q.value(1).toLongLong();
    e.sessionId = q.value(2).toString();
    e.projectId = optionalInt(q.value(3));
    e.taskId = optionalInt(q.value(4));
    e.projectRef = q.value(5).toString();
    e.taskRef = q.value(6).toString();
    e.flagged = q.value(7).toInt() != 0;
    e.deviceId = optionalInt(q.value(8));
    e.isPrivate = q.value(9).toInt() != 0;
    e.startedAt = q.value(10).toLongLong();
    e.stoppedAt = optionalInt(q.value(11));
    e.stopReason = q.value(12).toString();
    e.lastHeartbeatAt = optionalInt(q.value(13));
    e.type = q.value(14).toString();
    return e;
}

std::optional<Store::Entry> Store::findEntry(const QString &where, const QVariantList &values)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM time_entries WHERE %2").arg(entryColumns, where), values);
    if (!q.next())
        return std::nullopt;
    return readEntry(q);
}

std::optional<Store::Entry> Store::openEntry(qint64 memberId)
{
    return findEntry(QStringLiteral("member_id = ? AND stopped_at IS NULL AND implausible = 0"), {memberId});
}

std::optional<Store::Entry> Store::entry(qint64 id)
{
    return findEntry(QStringLiteral("id = ?"), {id});
}

std::optional<qint64> Store::ownEntry(qint64 memberId, std::optional<qint64> id)
{
    if (!id)
        return std::nullopt;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT id FROM time_entries WHERE id = ? AND member_id = ?"), {*id, memberId});
    return q.next() ? id : std::nullopt;
}

void Store::resolveRefs(qint64 memberId, const StartRequest &r, QVariant &projectId, QVariant &taskId, bool &flagged)
{
    projectId = QVariant(QMetaType::fromType<qint64>());
    taskId = QVariant(QMetaType::fromType<qint64>());
    flagged = true;
    if (!r.project.id)
        return;
    QSqlQuery p = m_db.run(QStringLiteral("SELECT p.id FROM projects p JOIN assignments a ON a.project_id = p.id"
                                          " WHERE p.id = ? AND a.member_id = ? AND p.archived = 0"),
                           {*r.project.id, memberId});
    if (!p.next())
        return;
    p.finish();
    projectId = *r.project.id;
    if (!r.task.present()) {
        flagged = false;
        return;
    }
    if (!r.task.id)
        return;
    QSqlQuery t = m_db.run(QStringLiteral("SELECT id FROM tasks WHERE id = ? AND project_id = ? AND archived = 0"),
                           {*r.task.id, *r.project.id});
    if (!t.next())
        return;
    taskId = *r.task.id;
    flagged = false;
}

Store::Entry Store::start(qint64 memberId, const StartRequest &r)
{
    Entry result;
    m_db.write([&] {
        if (auto existing = findEntry(QStringLiteral("member_id = ? AND client_session_id = ?"), {memberId, r.sessionId})) {
            result = *existing;
            return;
        }
        QVariant projectId, taskId;
        bool flagged = false;
        resolveRefs(memberId, r, projectId, taskId, flagged);
        // A start far from now is kept for review, open on its own: it closes
        // nothing and counts in no total.
        const bool implausible = !plausible(memberId, r.startedAt);
        if (implausible)
            qInfo().noquote() << QStringLiteral("time entry of member %1 kept for review: its start %2 is implausible")
                                     .arg(memberId)
                                     .arg(r.startedAt);
        if (flagged)
            qInfo().noquote() << QStringLiteral("time entry of member %1 flagged for review: project %2, task %3")
                                     .arg(memberId)
                                     .arg(r.project.text.isEmpty() ? QStringLiteral("none") : r.project.text,
                                          r.task.text.isEmpty() ? QStringLiteral("none") : r.task.text);
        // One open entry per member: the later start wins. An older open entry
        // is closed where this one starts; a start older than the open entry
        // (sent late from another device) is stored closed where that begins.
        QVariant stoppedAt(QMetaType::fromType<qint64>());
        QVariant reason(QMetaType::fromType<QString>());
        if (auto open = implausible ? std::nullopt : openEntry(memberId)) {
            if (r.startedAt < open->startedAt) {
                stoppedAt = open->startedAt;
                reason = QStringLiteral("superseded");
            } else {
                m_db.run(QStringLiteral("UPDATE time_entries SET stopped_at = ?, stop_reason = 'superseded' WHERE id = ?"),
                         {r.startedAt, open->id});
            }
        }
        QSqlQuery q = m_db.run(
            QStringLiteral("INSERT INTO time_entries (member_id, client_session_id, project_id, task_id, project_ref,"
                           " task_ref, flagged, device_id, entry_type, is_private, started_at, stopped_at, stop_reason,"
                           " clock_skew_ms, created_at, implausible) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                           " RETURNING id"),
            {memberId, r.sessionId, projectId, taskId, nullableText(r.project.text), nullableText(r.task.text),
             flagged ? 1 : 0, nullable(ownDevice(memberId, r.deviceId)), r.type, r.isPrivate ? 1 : 0, r.startedAt, stoppedAt,
             reason, nullable(r.clockSkewMs), now(), implausible ? 1 : 0});
        q.next();
        const qint64 id = q.value(0).toLongLong();
        q.finish();
        result = *entry(id);
    });
    return result;
}

std::optional<Store::Entry> Store::stop(qint64 memberId, const StopRequest &r)
{
    std::optional<Entry> result;
    m_db.write([&] {
        // The session id is the client's own key for the entry; the entry id
        // covers a timer adopted from the server under a new session id.
        std::optional<Entry> e;
        if (!r.sessionId.isEmpty())
            e = findEntry(QStringLiteral("member_id = ? AND client_session_id = ?"), {memberId, r.sessionId});
        if (!e && r.entryId)
            e = findEntry(QStringLiteral("member_id = ? AND id = ?"), {memberId, *r.entryId});
        if (!e)
            return;
        const qint64 at = std::max(r.stoppedAt, e->startedAt);
        const bool open = !e->stoppedAt;
        // An entry closed by a later start keeps the member's own, earlier
        // stop time when it arrives.
        const bool earlierThanSuperseded = e->stopReason == QLatin1String("superseded") && e->stoppedAt && at < *e->stoppedAt;
        if (open || earlierThanSuperseded) {
            // A stop far from now closes its entry but takes it out of the
            // totals, for review.
            const bool implausible = !plausible(memberId, at);
            if (implausible)
                qInfo().noquote() << QStringLiteral("time entry %1 kept for review: its stop %2 is implausible")
                                         .arg(e->id)
                                         .arg(at);
            m_db.run(QStringLiteral("UPDATE time_entries SET stopped_at = ?, stop_reason = ?,"
                                    " implausible = CASE WHEN ? = 1 THEN 1 ELSE implausible END WHERE id = ?"),
                     {at, r.reason, implausible ? 1 : 0, e->id});
            e = entry(e->id);
        }
        result = e;
    });
    return result;
}

QList<Store::Entry> Store::namedEntries(const QString &where, const QVariantList &values)
{
    QList<Entry> out;
    QStringList columns = entryColumns.split(QStringLiteral(", "));
    for (QString &c : columns)
        c.prepend(QStringLiteral("e."));
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1, p.name, t.name FROM time_entries e"
                                          " LEFT JOIN projects p ON p.id = e.project_id"
                                          " LEFT JOIN tasks t ON t.id = e.task_id"
                                          " WHERE %2 ORDER BY e.started_at")
                               .arg(columns.join(QStringLiteral(", ")), where),
                           values);
    while (q.next()) {
        Entry e = readEntry(q);
        e.projectName = q.value(15).toString();
        e.taskName = q.value(16).toString();
        out.append(e);
    }
    return out;
}

QList<Store::Entry> Store::entriesBetween(qint64 memberId, qint64 from, qint64 to)
{
    return namedEntries(QStringLiteral("e.member_id = ? AND e.implausible = 0 AND e.started_at < ?"
                                       " AND (e.stopped_at IS NULL OR e.stopped_at > ?)"),
                        {memberId, to, from});
}

QList<Store::Entry> Store::implausibleEntries(qint64 memberId, qint64 from, qint64 to)
{
    return namedEntries(QStringLiteral("e.member_id = ? AND e.implausible = 1 AND e.created_at >= ? AND e.created_at < ?"),
                        {memberId, from, to});
}

QList<Store::Entry> Store::closedEntries(qint64 memberId, qint64 from, qint64 to)
{
    QList<Entry> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM time_entries WHERE member_id = ? AND stopped_at IS NOT NULL"
                                          " AND implausible = 0"
                                          " AND started_at < ? AND stopped_at > ? ORDER BY started_at")
                               .arg(entryColumns),
                           {memberId, to, from});
    while (q.next())
        out.append(readEntry(q));
    return out;
}

bool Store::heartbeat(qint64 memberId, std::optional<qint64> deviceId, qint64 at)
{
    // One statement each, no transaction of their own.
    QSqlQuery q = m_db.writeOne(QStringLiteral("UPDATE time_entries SET last_heartbeat_at = ? WHERE member_id = ?"
                                               " AND stopped_at IS NULL AND implausible = 0 RETURNING id"),
                                {at, memberId});
    const bool running = q.next();
    q.finish();
    if (deviceId)
        m_db.writeOne(QStringLiteral("UPDATE devices SET last_seen_at = ? WHERE id = ? AND first_member_id = ?"),
                 {now(), *deviceId, memberId});
    return running;
}

bool Store::plausible(qint64 memberId, qint64 at)
{
    constexpr qint64 day = 24 * 3600 * 1000;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT created_at FROM members WHERE id = ?"), {memberId});
    const qint64 since = q.next() ? std::min(q.value(0).toLongLong(), now()) : now();
    return at >= since - day && at <= now() + day;
}

// ---- reports ----

namespace {
// One row per item; an item whose client id is already stored is skipped.
// Returns how many rows were new.
template <typename T, typename Values>
int insertNew(Database &db, const QString &sql, const QList<T> &items, Values values)
{
    int added = 0;
    db.write([&] {
        for (const T &item : items)
            added += db.run(sql, values(item)).numRowsAffected() > 0 ? 1 : 0;
    });
    return added;
}
} // namespace

int Store::addActivity(qint64 memberId, const QList<ActivitySample> &samples)
{
    return insertNew(m_db,
                     QStringLiteral("INSERT INTO activity_logs (member_id, client_id, device_id, time_entry_id,"
                                    " mouse_clicks, keystrokes, activity_percentage, tracked_at)"
                                    " VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (member_id, client_id) DO NOTHING"),
                     samples, [&](const ActivitySample &s) {
                         return QVariantList{memberId, s.clientId, nullable(ownDevice(memberId, s.deviceId)),
                                             nullable(ownEntry(memberId, s.entryId)), s.mouseClicks, s.keystrokes,
                                             s.percentage, s.trackedAt};
                     });
}

int Store::addUsage(qint64 memberId, const QList<UsageRecord> &records)
{
    return insertNew(m_db,
                     QStringLiteral("INSERT INTO usage_logs (member_id, client_id, device_id, app_name, url, domain,"
                                    " started_at, ended_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
                                    " ON CONFLICT (member_id, client_id) DO NOTHING"),
                     records, [&](const UsageRecord &u) {
                         return QVariantList{memberId, u.clientId, nullable(ownDevice(memberId, u.deviceId)),
                                             u.appName, nullableText(u.url), nullableText(u.domain), u.startedAt,
                                             u.endedAt};
                     });
}

QList<Store::ActivitySample> Store::activity(qint64 memberId, qint64 from, qint64 to)
{
    QList<ActivitySample> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT client_id, device_id, time_entry_id, mouse_clicks, keystrokes,"
                                          " activity_percentage, tracked_at FROM activity_logs"
                                          " WHERE member_id = ? AND tracked_at >= ? AND tracked_at < ? ORDER BY tracked_at"),
                           {memberId, from, to});
    while (q.next()) {
        ActivitySample s;
        s.clientId = q.value(0).toString();
        s.deviceId = optionalInt(q.value(1));
        s.entryId = optionalInt(q.value(2));
        s.mouseClicks = q.value(3).toLongLong();
        s.keystrokes = q.value(4).toLongLong();
        s.percentage = q.value(5).toDouble();
        s.trackedAt = q.value(6).toLongLong();
        out.append(s);
    }
    return out;
}

namespace {
const QString shotColumns =
    QStringLiteral("id, client_id, device_id, time_entry_id, captured_at, visual_hash, blob_key, size_bytes, member_id");
Store::Screenshot readShot(const QSqlQuery &q)
{
    Store::Screenshot s;
    s.id = q.value(0).toLongLong();
    s.clientId = q.value(1).toString();
    s.deviceId = optionalInt(q.value(2));
    s.entryId = optionalInt(q.value(3));
    s.capturedAt = q.value(4).toLongLong();
    s.visualHash = q.value(5).toString();
    s.blobKey = q.value(6).toString();
    s.size = q.value(7).toLongLong();
    s.memberId = q.value(8).toLongLong();
    return s;
}
} // namespace

std::optional<Store::Screenshot> Store::screenshotByClientId(qint64 memberId, const QString &clientId)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM screenshots WHERE member_id = ? AND client_id = ?").arg(shotColumns),
                           {memberId, clientId});
    if (!q.next())
        return std::nullopt;
    return readShot(q);
}

QList<Store::Screenshot> Store::screenshots(qint64 memberId)
{
    QList<Screenshot> out;
    QSqlQuery q = m_db.run(
        QStringLiteral("SELECT %1 FROM screenshots WHERE member_id = ? ORDER BY captured_at").arg(shotColumns), {memberId});
    while (q.next())
        out.append(readShot(q));
    return out;
}

QList<Store::Screenshot> Store::screenshots(qint64 memberId, qint64 from, qint64 to)
{
    QList<Screenshot> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM screenshots WHERE member_id = ? AND captured_at >= ?"
                                          " AND captured_at < ? ORDER BY captured_at")
                               .arg(shotColumns),
                           {memberId, from, to});
    while (q.next())
        out.append(readShot(q));
    return out;
}

std::optional<Store::Screenshot> Store::screenshot(qint64 id)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT %1 FROM screenshots WHERE id = ?").arg(shotColumns), {id});
    if (!q.next())
        return std::nullopt;
    return readShot(q);
}

QList<Store::UsageRecord> Store::usage(qint64 memberId, qint64 from, qint64 to)
{
    QList<UsageRecord> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT client_id, device_id, app_name, started_at, ended_at FROM usage_logs"
                                          " WHERE member_id = ? AND started_at < ? AND ended_at > ? ORDER BY started_at"),
                           {memberId, to, from});
    while (q.next()) {
        UsageRecord u;
        u.clientId = q.value(0).toString();
        u.deviceId = optionalInt(q.value(1));
        u.appName = q.value(2).toString();
        u.startedAt = q.value(3).toLongLong();
        u.endedAt = q.value(4).toLongLong();
        out.append(u);
    }
    return out;
}

int Store::screenshotsSince(qint64 memberId, qint64 since)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT COUNT(*) FROM screenshots WHERE member_id = ? AND created_at >= ?"),
                           {memberId, since});
    return q.next() ? q.value(0).toInt() : 0;
}

Store::Added Store::addScreenshot(qint64 memberId, const Screenshot &s, const ScreenshotLimits &limits)
{
    Added result = Added::duplicate;
    m_db.write([&] {
        // Counted and stored in one transaction, with the member's uploads
        // taken one at a time, so parallel uploads (from any process) cannot
        // all pass the count.
        m_db.serialise(memberId);
        const qint64 t = now();
        if (screenshotsSince(memberId, t - 60 * 1000) >= limits.perMinute
            || screenshotsSince(memberId, t - 24 * 3600 * 1000) >= limits.perDay) {
            result = Added::limited;
            return;
        }
        QSqlQuery q = m_db.run(
            QStringLiteral("INSERT INTO screenshots (member_id, client_id, device_id, time_entry_id, captured_at,"
                           " visual_hash, blob_key, size_bytes, created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
                           " ON CONFLICT (member_id, client_id) DO NOTHING"),
            {memberId, s.clientId, nullable(ownDevice(memberId, s.deviceId)), nullable(ownEntry(memberId, s.entryId)),
             s.capturedAt, s.visualHash, s.blobKey, s.size, t});
        if (q.numRowsAffected() > 0)
            result = Added::added;
    });
    return result;
}

// ---- settings ----

QString Store::setting(const QString &key, const QString &fallback)
{
    QSqlQuery q = m_db.run(QStringLiteral("SELECT value FROM settings WHERE key = ?"), {key});
    return q.next() ? q.value(0).toString() : fallback;
}

void Store::setSetting(const QString &key, const QString &value)
{
    m_db.write([&] {
        m_db.run(QStringLiteral("INSERT INTO settings (key, value) VALUES (?, ?)"
                                " ON CONFLICT (key) DO UPDATE SET value = excluded.value"),
                 {key, value});
    });
}

Store::WorkspaceSettings Store::workspaceSettings()
{
    WorkspaceSettings w;
    w.screenshots = setting(QStringLiteral("screenshots"), QStringLiteral("on")) != QLatin1String("off");
    bool good = false;
    const int interval = setting(QStringLiteral("screenshot_interval")).toInt(&good);
    if (good && interval > 0)
        w.screenshotInterval = interval;
    const int days = setting(QStringLiteral("retention_days")).toInt(&good);
    if (good && days > 0)
        w.retentionDays = days;
    return w;
}

Store::PurgeResult Store::purge(qint64 cutoff, BlobStore &blobs)
{
    PurgeResult r;
    // Files first: a row whose file could not be removed stays, so the next
    // purge tries again and no file is ever left without its row.
    QList<QPair<qint64, QString>> old;
    {
        QSqlQuery q = m_db.run(QStringLiteral("SELECT id, blob_key FROM screenshots WHERE captured_at < ?"), {cutoff});
        while (q.next())
            old.append({q.value(0).toLongLong(), q.value(1).toString()});
    }
    for (const auto &[id, key] : old) {
        if (!blobs.remove(key)) {
            qWarning().noquote() << "purge: cannot remove the file of screenshot" << id;
            continue;
        }
        m_db.write([&] { m_db.run(QStringLiteral("DELETE FROM screenshots WHERE id = ?"), {id}); });
        ++r.screenshots;
    }
    const qint64 t = now();
    m_db.write([&] {
        r.activity = m_db.run(QStringLiteral("DELETE FROM activity_logs WHERE tracked_at < ?"), {cutoff}).numRowsAffected();
        r.usage = m_db.run(QStringLiteral("DELETE FROM usage_logs WHERE ended_at < ?"), {cutoff}).numRowsAffected();
        r.sessions = m_db.run(QStringLiteral("DELETE FROM sessions WHERE last_used_at <= ? OR created_at <= ?"),
                              {t - sessionIdleMs, t - sessionMaxMs})
                         .numRowsAffected();
    });
    return r;
}
