#pragma once

#include "Database.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class BlobStore;

// Uploads a member may make in a minute and in a day.
struct ScreenshotLimits {
    int perMinute = 6;
    int perDay = 2000;
};

// Everything the server keeps, as operations on one Database. Every write is
// one transaction; callers never see a half-stored request. Throws StoreError
// when the database fails.
class Store {
public:
    using Clock = std::function<qint64()>; // milliseconds since 1970 UTC
    static qint64 systemNow();

    // Session lifetime: idle for 30 days, or 180 days after sign-in, ends it.
    static constexpr qint64 sessionIdleMs = 30LL * 24 * 3600 * 1000;
    static constexpr qint64 sessionMaxMs = 180LL * 24 * 3600 * 1000;

    struct Member {
        qint64 id = 0;
        QString email;
        QString name;
        QString role; // "owner", "admin", "manager" or "member"
        QString timeZone;
        bool disabled = false;
        QString passwordHash;
    };

    struct Task {
        qint64 id = 0;
        QString name;
        qint64 projectId = 0;
        bool archived = false;
    };
    struct Project {
        qint64 id = 0;
        QString name;
        QList<Task> tasks;
        bool archived = false;
    };
    struct Assignment {
        qint64 memberId = 0;
        qint64 projectId = 0;
    };

    // The workspace settings as the server applies them, defaults filled in.
    struct WorkspaceSettings {
        bool screenshots = true;
        int screenshotInterval = 5; // minutes
        int retentionDays = 0;      // 0: nothing is purged
    };

    struct Device {
        QString uuid;
        QString name, hostname, os, osVersion, appVersion;
    };

    // What the client named as project or task: a number when it sent one
    // that fits, and the text as sent (empty for null).
    struct Ref {
        std::optional<qint64> id;
        QString text;
        bool present() const { return id || !text.isEmpty(); }
    };

    struct Entry {
        qint64 id = 0;
        qint64 memberId = 0;
        QString sessionId;
        std::optional<qint64> projectId, taskId;
        QString projectRef, taskRef;
        bool flagged = false;
        std::optional<qint64> deviceId;
        bool isPrivate = false;
        QString type;
        qint64 startedAt = 0;
        std::optional<qint64> stoppedAt;
        QString stopReason;
        std::optional<qint64> lastHeartbeatAt;
        QString projectName, taskName; // filled by entriesBetween only
    };

    struct StartRequest {
        QString sessionId;
        Ref project, task;
        std::optional<qint64> deviceId; // as sent; unknown ones are dropped
        QString type = QStringLiteral("tracked");
        bool isPrivate = false;
        qint64 startedAt = 0;
        std::optional<qint64> clockSkewMs;
    };
    struct StopRequest {
        QString sessionId;
        std::optional<qint64> entryId; // as sent; another member's is ignored
        qint64 stoppedAt = 0;
        QString reason = QStringLiteral("manual");
    };

    struct ActivitySample {
        QString clientId;
        std::optional<qint64> deviceId, entryId;
        qint64 mouseClicks = 0, keystrokes = 0;
        double percentage = 0;
        qint64 trackedAt = 0;
    };
    struct UsageRecord {
        QString clientId;
        std::optional<qint64> deviceId;
        QString appName, url, domain;
        qint64 startedAt = 0, endedAt = 0;
    };
    struct Screenshot {
        qint64 id = 0;
        qint64 memberId = 0;
        QString clientId;
        std::optional<qint64> deviceId, entryId;
        qint64 capturedAt = 0;
        QString visualHash;
        QString blobKey;
        qint64 size = 0;
    };

    struct PurgeResult {
        int screenshots = 0, activity = 0, usage = 0, sessions = 0;
    };

    explicit Store(Database &db, Clock clock = systemNow);

    Database &database() { return m_db; }
    qint64 now() const { return m_clock(); }

    // ---- members and sessions ----
    // Throws StoreError when the e-mail is taken.
    qint64 addMember(const QString &email, const QString &name, const QString &role, const QString &passwordHash,
                     const QString &timeZone);
    std::optional<Member> memberByEmail(const QString &email);
    std::optional<Member> memberById(qint64 id);
    QList<Member> members();
    int memberCount();
    // These end every session of the member. False for an unknown e-mail.
    bool setDisabled(const QString &email, bool disabled);
    bool setPasswordHash(const QString &email, const QString &hash, bool endSessions = true);
    bool setTimeZone(const QString &email, const QString &zone);
    // False for an unknown member.
    bool setRole(qint64 memberId, const QString &role);

    // A new session; returns the token, which is stored only as its digest.
    QString createSession(qint64 memberId);
    // The enabled member of a live session; touches it (at most once a
    // minute). Ends an expired session.
    std::optional<Member> memberForToken(const QString &token);
    void endSession(const QString &token);
    // Ends every session of the member (all devices); the count ended.
    int endSessions(qint64 memberId);

    // ---- projects ----
    qint64 addProject(const QString &name);
    // Nothing for an unknown project.
    std::optional<qint64> addTask(qint64 projectId, const QString &name);
    bool assign(qint64 memberId, qint64 projectId);
    // True when the member had the project.
    bool unassign(qint64 memberId, qint64 projectId);
    // Unarchived projects assigned to the member, with their unarchived tasks.
    QList<Project> projectsFor(qint64 memberId);
    // Every project with every task, archived ones included, by name.
    QList<Project> allProjects();
    QList<Assignment> assignments();
    // Without its tasks.
    std::optional<Project> project(qint64 id);
    std::optional<Task> task(qint64 id);
    // False for an unknown project or task.
    bool renameProject(qint64 id, const QString &name);
    bool setProjectArchived(qint64 id, bool archived);
    bool renameTask(qint64 id, const QString &name);
    bool setTaskArchived(qint64 id, bool archived);

    // ---- devices ----
    // The same id for the same UUID from the same member; nothing when the
    // UUID is another member's device (which stays as it was).
    std::optional<qint64> registerDevice(qint64 memberId, const Device &device, const QString &token);
    // The id if the device is the member's.
    std::optional<qint64> ownDevice(qint64 memberId, std::optional<qint64> id);

    // ---- time entries ----
    // The entry of the session: the existing one on a repeat, else a new open
    // entry; an open entry of the member's from another session is closed
    // where this one starts ("superseded"). Never refuses.
    Entry start(qint64 memberId, const StartRequest &request);
    // The entry the stop closed (or had closed before); nothing when neither
    // the session nor the entry id names an entry of this member.
    std::optional<Entry> stop(qint64 memberId, const StopRequest &request);
    std::optional<Entry> openEntry(qint64 memberId);
    std::optional<Entry> entry(qint64 id);
    // Entries of the member, open or closed, that overlap [from, to), with
    // their project and task names.
    QList<Entry> entriesBetween(qint64 memberId, qint64 from, qint64 to);
    // Entries of the member kept out of every total for an implausible start
    // or stop, that the server received in [from, to), with their project
    // and task names: they wait for someone to review them.
    QList<Entry> implausibleEntries(qint64 memberId, qint64 from, qint64 to);
    // Closed entries of the member that overlap [from, to).
    QList<Entry> closedEntries(qint64 memberId, qint64 from, qint64 to);
    // Marks the open entry; true when there is one.
    bool heartbeat(qint64 memberId, std::optional<qint64> deviceId, qint64 at);
    // False for an instant far from now: more than a day ahead, or more
    // than a day before the member existed. Entries with such a start or stop
    // are kept for review, out of every total.
    bool plausible(qint64 memberId, qint64 at);
    // The id if the entry is the member's.
    std::optional<qint64> ownEntry(qint64 memberId, std::optional<qint64> id);

    // ---- reports ----
    // Number of new rows; repeats of a client id are skipped.
    int addActivity(qint64 memberId, const QList<ActivitySample> &samples);
    int addUsage(qint64 memberId, const QList<UsageRecord> &records);
    QList<ActivitySample> activity(qint64 memberId, qint64 from, qint64 to);
    std::optional<Screenshot> screenshotByClientId(qint64 memberId, const QString &clientId);
    using ScreenshotLimits = ::ScreenshotLimits;
    enum class Added { added, duplicate, limited };
    // `duplicate` when a screenshot with that client id exists already;
    // `limited` when the member has uploaded as many as the limits allow.
    Added addScreenshot(qint64 memberId, const Screenshot &shot, const ScreenshotLimits &limits = {});
    QList<Screenshot> screenshots(qint64 memberId);
    QList<Screenshot> screenshots(qint64 memberId, qint64 from, qint64 to);
    std::optional<Screenshot> screenshot(qint64 id);
    QList<UsageRecord> usage(qint64 memberId, qint64 from, qint64 to);
    // Screenshots the member uploaded since `since` (server time).
    int screenshotsSince(qint64 memberId, qint64 since);

    // ---- settings ----
    QString setting(const QString &key, const QString &fallback = {});
    void setSetting(const QString &key, const QString &value);
    WorkspaceSettings workspaceSettings();

    // Deletes screenshots (file first, then row), activity and usage records
    // from before `cutoff`, and ended sessions. Time entries are kept.
    PurgeResult purge(qint64 cutoff, BlobStore &blobs);

private:
    Entry readEntry(const QSqlQuery &q);
    std::optional<Entry> findEntry(const QString &where, const QVariantList &values);
    QList<Entry> namedEntries(const QString &where, const QVariantList &values);
    void resolveRefs(qint64 memberId, const StartRequest &r, QVariant &projectId, QVariant &taskId, bool &flagged);

    Database &m_db;
    Clock m_clock;
};
