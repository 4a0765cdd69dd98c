#pragma once

#include "Database.h"

#include <QList>
#include <QString>

#include <optional>

// Who changed what in the workspace, newest first. Rows are written inside the
// transaction of the change they describe, so a change and its row stand or
// fall together.
class AuditLog {
public:
    // Who made a change: a member (from the web pages) or the command line.
    struct Actor {
        std::optional<qint64> memberId;
        QString name; // the member's e-mail, or "command line"
    };
    struct Row {
        qint64 id = 0;
        qint64 at = 0;
        std::optional<qint64> actorId;
        QString actor, action, target, detail;
    };

    explicit AuditLog(Database &db);

    // One row; call inside Database::write.
    void record(qint64 at, const Actor &actor, const QString &action, const QString &target, const QString &detail = {});
    // At most `limit` rows older than `beforeId` (all when empty), newest first.
    QList<Row> recent(int limit, std::optional<qint64> beforeId = std::nullopt);

private:
    Database &m_db;
};
