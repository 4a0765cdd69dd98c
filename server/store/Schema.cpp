#include "Schema.h"

namespace Schema {

QList<QStringList> migrations()
{
    return {
        // 1: the first schema.
        {
            QStringLiteral("CREATE TABLE members ("
                           " id {pk},"
                           " email TEXT NOT NULL UNIQUE,"
                           " name TEXT NOT NULL,"
                           " role TEXT NOT NULL DEFAULT 'member',"
                           " password_hash TEXT NOT NULL,"
                           " time_zone TEXT NOT NULL DEFAULT '',"
                           " disabled INTEGER NOT NULL DEFAULT 0,"
                           " created_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE TABLE devices ("
                           " id {pk},"
                           " device_uuid TEXT NOT NULL UNIQUE,"
                           " name TEXT NOT NULL DEFAULT '',"
                           " hostname TEXT NOT NULL DEFAULT '',"
                           " os TEXT NOT NULL DEFAULT '',"
                           " os_version TEXT NOT NULL DEFAULT '',"
                           " app_version TEXT NOT NULL DEFAULT '',"
                           " first_member_id BIGINT REFERENCES members(id),"
                           " created_at BIGINT NOT NULL,"
                           " last_seen_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE TABLE sessions ("
                           " id {pk},"
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " token_hash TEXT NOT NULL UNIQUE,"
                           " device_id BIGINT REFERENCES devices(id),"
                           " created_at BIGINT NOT NULL,"
                           " last_used_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE INDEX sessions_member ON sessions(member_id)"),
            QStringLiteral("CREATE TABLE projects ("
                           " id {pk},"
                           " name TEXT NOT NULL,"
                           " archived INTEGER NOT NULL DEFAULT 0,"
                           " created_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE TABLE tasks ("
                           " id {pk},"
                           " project_id BIGINT NOT NULL REFERENCES projects(id),"
                           " name TEXT NOT NULL,"
                           " archived INTEGER NOT NULL DEFAULT 0,"
                           " created_at BIGINT NOT NULL)"),
            QStringLiteral("CREATE TABLE assignments ("
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " project_id BIGINT NOT NULL REFERENCES projects(id),"
                           " PRIMARY KEY (member_id, project_id))"),
            // project_ref/task_ref keep what the client sent when it names
            // nothing this member may track on; `flagged` marks the entry for
            // an admin instead of refusing it.
            QStringLiteral("CREATE TABLE time_entries ("
                           " id {pk},"
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " client_session_id TEXT NOT NULL,"
                           " project_id BIGINT REFERENCES projects(id),"
                           " task_id BIGINT REFERENCES tasks(id),"
                           " project_ref TEXT,"
                           " task_ref TEXT,"
                           " flagged INTEGER NOT NULL DEFAULT 0,"
                           " device_id BIGINT REFERENCES devices(id),"
                           " entry_type TEXT NOT NULL DEFAULT 'tracked',"
                           " is_private INTEGER NOT NULL DEFAULT 0,"
                           " started_at BIGINT NOT NULL,"
                           " stopped_at BIGINT,"
                           " stop_reason TEXT,"
                           " last_heartbeat_at BIGINT,"
                           " clock_skew_ms BIGINT,"
                           " created_at BIGINT NOT NULL,"
                           " UNIQUE (member_id, client_session_id))"),
            QStringLiteral("CREATE UNIQUE INDEX time_entries_one_open ON time_entries(member_id)"
                           " WHERE stopped_at IS NULL"),
            QStringLiteral("CREATE INDEX time_entries_member_start ON time_entries(member_id, started_at)"),
            QStringLiteral("CREATE TABLE activity_logs ("
                           " id {pk},"
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " client_id TEXT NOT NULL,"
                           " device_id BIGINT REFERENCES devices(id),"
                           " time_entry_id BIGINT REFERENCES time_entries(id),"
                           " mouse_clicks BIGINT NOT NULL,"
                           " keystrokes BIGINT NOT NULL,"
                           " activity_percentage DOUBLE PRECISION NOT NULL,"
                           " tracked_at BIGINT NOT NULL,"
                           " UNIQUE (member_id, client_id))"),
            QStringLiteral("CREATE INDEX activity_member_at ON activity_logs(member_id, tracked_at)"),
            QStringLiteral("CREATE TABLE usage_logs ("
                           " id {pk},"
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " client_id TEXT NOT NULL,"
                           " device_id BIGINT REFERENCES devices(id),"
                           " app_name TEXT NOT NULL,"
                           " url TEXT,"
                           " domain TEXT,"
                           " started_at BIGINT NOT NULL,"
                           " ended_at BIGINT NOT NULL,"
                           " UNIQUE (member_id, client_id))"),
            QStringLiteral("CREATE INDEX usage_member_at ON usage_logs(member_id, started_at)"),
            QStringLiteral("CREATE TABLE screenshots ("
                           " id {pk},"
                           " member_id BIGINT NOT NULL REFERENCES members(id),"
                           " client_id TEXT NOT NULL,"
                           " device_id BIGINT REFERENCES devices(id),"
                           " time_entry_id BIGINT REFERENCES time_entries(id),"
                           " captured_at BIGINT NOT NULL,"
                           " visual_hash TEXT NOT NULL DEFAULT '',"
                           " blob_key TEXT NOT NULL UNIQUE,"
                           " size_bytes BIGINT NOT NULL,"
                           " created_at BIGINT NOT NULL,"
                           " UNIQUE (member_id, client_id))"),
            QStringLiteral("CREATE INDEX screenshots_member_at ON screenshots(member_id, captured_at)"),
            QStringLiteral("CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
        },
        // 2: entries with an implausible start or stop are kept apart for
        // review (and may stay open beside the member's running one); sign-in
        // attempts and the addresses members signed in from, shared by every
        // server process.
        {
            QStringLiteral("ALTER TABLE time_entries ADD COLUMN implausible INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("DROP INDEX time_entries_one_open"),
            QStringLiteral("CREATE UNIQUE INDEX time_entries_one_open ON time_entries(member_id)"
                           " WHERE stopped_at IS NULL AND implausible = 0"),
            QStringLiteral("CREATE TABLE sign_in_attempts ("
                           " id {pk},"
                           " account TEXT NOT NULL,"
                           " address TEXT NOT NULL,"
                           " at BIGINT NOT NULL)"),
            QStringLiteral("CREATE INDEX sign_in_attempts_account ON sign_in_attempts(account, at)"),
            QStringLiteral("CREATE INDEX sign_in_attempts_address ON sign_in_attempts(address, at)"),
            QStringLiteral("CREATE TABLE sign_in_known ("
                           " account TEXT NOT NULL,"
                           " address TEXT NOT NULL,"
                           " at BIGINT NOT NULL,"
                           " PRIMARY KEY (account, address))"),
        },
        // 3: every change an owner or admin makes to the workspace, from the
        // web pages or the admin commands. actor_id is empty for the command
        // line; actor keeps the name shown even after the member is gone.
        {
            QStringLiteral("CREATE TABLE audit_log ("
                           " id {pk},"
                           " at BIGINT NOT NULL,"
                           " actor_id BIGINT REFERENCES members(id),"
                           " actor TEXT NOT NULL,"
                           " action TEXT NOT NULL,"
                           " target TEXT NOT NULL DEFAULT '',"
                           " detail TEXT NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE INDEX audit_log_at ON audit_log(at)"),
        },
    };
}

} // namespace Schema
