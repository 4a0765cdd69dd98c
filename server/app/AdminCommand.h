#pragma once

#include "WorkspaceAdmin.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

class Store;
class BlobStore;

// The administration commands of zimbrel-server, run against the store:
//   member add EMAIL --name NAME [--admin | --role ROLE] [--time-zone ZONE] [--password-stdin]
//   member list | member disable EMAIL | member enable EMAIL | member signout EMAIL
//   member zone EMAIL ZONE | member role EMAIL ROLE
//   password EMAIL [--password-stdin]
//   project add NAME | project rename PROJECT_ID NAME | project archive|restore PROJECT_ID
//   task add PROJECT_ID NAME | task rename TASK_ID NAME | task archive|restore TASK_ID
//   assign EMAIL PROJECT_ID | unassign EMAIL PROJECT_ID
//   setting screenshots on|off | setting screenshot_interval MINUTES | setting retention_days DAYS
//   purge [--retention-days DAYS] | audit [--limit ROWS]
// Without --password-stdin a random password is made and printed once.
// Changes go through WorkspaceAdmin, as the web pages' do, and are audited.
class AdminCommand {
public:
    AdminCommand(Store &store, BlobStore &blobs, QTextStream &out, QTextStream &err, QTextStream &in);

    // True when `command` is one of the administration commands.
    static bool handles(const QString &command);
    // Runs it; the process exit code.
    int run(const QStringList &args);

private:
    int memberCommand(const QStringList &args);
    int passwordCommand(const QStringList &args);
    int projectCommand(const QStringList &args);
    int taskCommand(const QStringList &args);
    int assignCommand(const QStringList &args, bool assign);
    int auditCommand(const QStringList &args);
    int settingCommand(const QStringList &args);
    int purgeCommand(const QStringList &args);
    // The password from stdin (one line) or a new random one.
    std::optional<QString> newPassword(const QStringList &args);
    // Prints a random password once it is in use.
    void showPassword(const QStringList &args, const QString &email, const QString &password);
    std::optional<qint64> memberId(const QString &email);
    int usage(const QString &problem);
    int refused(const WorkspaceAdmin::Outcome &outcome);

    Store &m_store;
    BlobStore &m_blobs;
    QTextStream &m_out;
    QTextStream &m_err;
    QTextStream &m_in;
    WorkspaceAdmin m_admin;
};
