#include "AuditLog.h"

#include <limits>

AuditLog::AuditLog(Database &db)
    : m_db(db)
{
}

void AuditLog::record(qint64 at, const Actor &actor, const QString &action, const QString &target,
                      const QString &detail)
{
    m_db.run(QStringLiteral("INSERT INTO audit_log (at, actor_id, actor, action, target, detail)"
                            " VALUES (?, ?, ?, ?, ?, ?)"),
             {at, actor.memberId ? QVariant(*actor.memberId) : QVariant(QMetaType::fromType<qint64>()), actor.name,
              action, target, detail});
}

QList<AuditLog::Row> AuditLog::recent(int limit, std::optional<qint64> beforeId)
{
    QList<Row> out;
    QSqlQuery q = m_db.run(QStringLiteral("SELECT id, at, actor_id, actor, action, target, detail FROM audit_log"
                                          " WHERE id < ? ORDER BY id DESC LIMIT ?"),
                           {beforeId.value_or(std::numeric_limits<qint64>::max()), limit});
    while (q.next()) {
        Row r;
        r.id = q.value(0).toLongLong();
        r.at = q.value(1).toLongLong();
        if (!q.value(2).isNull())
            r.actorId = q.value(2).toLongLong();
        r.actor = q.value(3).toString();
        r.action = q.value(4).toString();
        r.target = q.value(5).toString();
        r.detail = q.value(6).toString();
        out.append(r);
    }
    return out;
}
