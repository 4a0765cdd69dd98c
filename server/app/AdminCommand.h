#pragma once

#include <QStringList>
#include <QTextStream>

class Store;
class BlobStore;

// The administration commands of zimbrel-server, run against the store:
//   member add EMAIL --name NAME [--admin] [--time-zone ZONE] [--password-stdin]
//   member list | member disable EMAIL | member enable EMAIL | member signout EMAIL
//   member zone EMAIL ZONE
//   password EMAIL [--password-stdin]
//   project add NAME | task add PROJECT_ID NAME | assign EMAIL PROJECT_ID
//   setting screenshots on|off | setting screenshot_interval MINUTES | setting retention_days DAYS
//   purge [--retention-days DAYS]
// Without --password-stdin a random password is made and printed once.
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
    int assignCommand(const QStringList &args);
    int settingCommand(const QStringList &args);
    int purgeCommand(const QStringList &args);
    // The password from stdin (one line) or a new random one printed once.
    std::optional<QString> newPassword(const QStringList &args, const QString &email);
    int usage(const QString &problem);

    Store &m_store;
    BlobStore &m_blobs;
    QTextStream &m_out;
    QTextStream &m_err;
    QTextStream &m_in;
};
