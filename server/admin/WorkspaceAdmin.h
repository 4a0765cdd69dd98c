#pragma once

#include "AuditLog.h"
#include "Store.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The changes an owner or admin makes to the workspace, for the web pages and
// the admin commands alike. Each checks its input and the actor's right to
// make it, applies it and writes one audit row in the same transaction.
// A refusal comes back as a sentence to show the person who asked.
// Throws StoreError when the database fails.
class WorkspaceAdmin {
public:
    // Who asks: a signed-in member or the command line, which may do
    // anything an owner may.
    struct Actor {
        std::optional<qint64> memberId;
        QString name; // e-mail, or "command line"
        QString role;
        static Actor commandLine();
        static Actor of(const Store::Member &member);
        bool isOwner() const;
    };
    struct Outcome {
        QString error;  // empty when done
        qint64 id = 0;  // what was added
        int count = 0;  // sessions ended
        bool ok() const { return error.isEmpty(); }
    };
    struct Invite {
        QString email, name, role = QStringLiteral("member"), timeZone, password;
    };

    // Shortest first password a person may set.
    static constexpr int minPasswordLength = 8;
    // Longest name of a member, project or task, in characters.
    static constexpr int maxNameLength = 200;

    // "owner", "admin", "manager", "member": owners and admins run the
    // workspace; managers also see the team; members see their own days.
    static const QStringList &roles();
    static bool mayAdminister(const QString &role);

    explicit WorkspaceAdmin(Store &store);

    // ---- members ----
    Outcome invite(const Actor &actor, const Invite &invite);
    Outcome setDisabled(const Actor &actor, qint64 memberId, bool disabled);
    Outcome signOutEverywhere(const Actor &actor, qint64 memberId);
    Outcome setRole(const Actor &actor, qint64 memberId, const QString &role);
    // An empty zone means the server's.
    Outcome setTimeZone(const Actor &actor, qint64 memberId, const QString &zone);
    Outcome setPassword(const Actor &actor, qint64 memberId, const QString &password);

    // ---- projects and tasks ----
    Outcome addProject(const Actor &actor, const QString &name);
    Outcome renameProject(const Actor &actor, qint64 projectId, const QString &name);
    Outcome setProjectArchived(const Actor &actor, qint64 projectId, bool archived);
    Outcome addTask(const Actor &actor, qint64 projectId, const QString &name);
    Outcome renameTask(const Actor &actor, qint64 taskId, const QString &name);
    Outcome setTaskArchived(const Actor &actor, qint64 taskId, bool archived);
    Outcome assign(const Actor &actor, qint64 memberId, qint64 projectId);
    Outcome unassign(const Actor &actor, qint64 memberId, qint64 projectId);

    // ---- settings, from the text a person typed ----
    Outcome setScreenshots(const Actor &actor, bool on);
    Outcome setScreenshotInterval(const Actor &actor, const QString &minutes);
    // Empty text keeps everything.
    Outcome setRetentionDays(const Actor &actor, const QString &days);
    // All three from one form: nothing is changed unless all are valid.
    Outcome setSettings(const Actor &actor, bool screenshots, const QString &intervalMinutes,
                        const QString &retentionDays);

    AuditLog &audit() { return m_audit; }

private:
    Outcome inWrite(const std::function<void(Outcome &)> &change);
    std::optional<QString> refusal(const Actor &actor, const std::optional<Store::Member> &target);
    std::optional<QString> leavesNoAdmin(const Store::Member &target, bool disabled, const QString &role);
    std::optional<QString> badName(const QString &name, const QString &what);
    std::optional<QString> mayName(const Actor &actor, const QString &name, const QString &what);
    void record(const Actor &actor, const QString &action, const QString &target, const QString &detail = {});
    // The setting's new text, or the sentence saying why the text is wrong.
    static std::optional<QString> intervalValue(const QString &text);
    static std::optional<QString> retentionValue(const QString &text);
    // Stores and audits a changed setting; call inside Database::write.
    void writeSetting(const Actor &actor, const QString &key, const QString &value);

    Store &m_store;
    AuditLog m_audit;
};
