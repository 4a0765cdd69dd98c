#include "AdminCommand.h"

#include "BlobStore.h"
#include "Calendar.h"
#include "Credentials.h"
#include "Store.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

QString option(const QStringList &args, const QString &name)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

// Positional arguments: everything that is not an option or an option's value.
QStringList positional(const QStringList &args)
{
    static const QStringList withValue{QStringLiteral("--name"), QStringLiteral("--time-zone"),
                                       QStringLiteral("--retention-days"), QStringLiteral("--role"),
                                       QStringLiteral("--limit")};
    QStringList out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (withValue.contains(args[i])) {
            ++i;
            continue;
        }
        if (!args[i].startsWith(QLatin1String("--")))
            out.append(args[i]);
    }
    return out;
}

std::optional<qint64> number(const QString &text)
{
    bool good = false;
    const qint64 n = text.toLongLong(&good);
    return good && n > 0 ? std::optional<qint64>(n) : std::nullopt;
}

} // namespace

AdminCommand::AdminCommand(Store &store, BlobStore &blobs, QTextStream &out, QTextStream &err, QTextStream &in)
    : m_store(store)
    , m_blobs(blobs)
    , m_out(out)
    , m_err(err)
    , m_in(in)
    , m_admin(store)
{
}

bool AdminCommand::handles(const QString &command)
{
    static const QStringList commands{QStringLiteral("member"),  QStringLiteral("password"), QStringLiteral("project"),
                                      QStringLiteral("task"),    QStringLiteral("assign"),   QStringLiteral("setting"),
                                      QStringLiteral("purge"),
                                      QStringLiteral("unassign"), QStringLiteral("audit")};
    return commands.contains(command);
}

int AdminCommand::usage(const QString &problem)
{
    m_err << "zimbrel-server: " << problem << Qt::endl;
    return 2;
}

int AdminCommand::run(const QStringList &args)
{
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("member"))
        return memberCommand(rest);
    if (command == QLatin1String("password"))
        return passwordCommand(rest);
    if (command == QLatin1String("project"))
        return projectCommand(rest);
    if (command == QLatin1String("task"))
        return taskCommand(rest);
    if (command == QLatin1String("assign"))
        return assignCommand(rest, true);
    if (command == QLatin1String("setting"))
        return settingCommand(rest);
    if (command == QLatin1String("purge"))
        return purgeCommand(rest);
    if (command == QLatin1String("unassign"))
        return assignCommand(rest, false);
    if (command == QLatin1String("audit"))
        return auditCommand(rest);
    return usage(QStringLiteral("unknown command %1").arg(command));
}

int AdminCommand::refused(const WorkspaceAdmin::Outcome &outcome)
{
    m_err << "zimbrel-server: " << outcome.error << Qt::endl;
    return 2;
}

std::optional<qint64> AdminCommand::memberId(const QString &email)
{
    const auto m = m_store.memberByEmail(email);
    if (!m) {
        usage(QStringLiteral("no member with the e-mail %1").arg(Credentials::emailKey(email)));
        return std::nullopt;
    }
    return m->id;
}

void AdminCommand::showPassword(const QStringList &args, const QString &email, const QString &password)
{
    if (args.contains(QStringLiteral("--password-stdin")))
        return;
    m_out << "Password for " << email << ": " << password << Qt::endl
          << "It is shown only now; keep it somewhere safe." << Qt::endl;
}

std::optional<QString> AdminCommand::newPassword(const QStringList &args)
{
    if (args.contains(QStringLiteral("--password-stdin"))) {
        const QString line = m_in.readLine();
        if (line.isEmpty()) {
            usage(QStringLiteral("no password on standard input"));
            return std::nullopt;
        }
        return line;
    }
    return Credentials::randomPassword();
}

int AdminCommand::memberCommand(const QStringList &args)
{
    const WorkspaceAdmin::Actor me = WorkspaceAdmin::Actor::commandLine();
    const QStringList pos = positional(args);
    const QString sub = pos.value(0);
    if (sub == QLatin1String("list")) {
        for (const Store::Member &m : m_store.members())
            m_out << m.id << '\t' << m.email << '\t' << m.name << '\t' << m.role << '\t'
                  << (m.timeZone.isEmpty() ? QStringLiteral("(server zone)") : m.timeZone) << '\t'
                  << (m.disabled ? "disabled" : "active") << Qt::endl;
        return 0;
    }
    const QString email = Credentials::emailKey(pos.value(1));
    if (email.isEmpty() || !email.contains(QLatin1Char('@')))
        return usage(QStringLiteral("member %1 needs an e-mail address").arg(sub));
    if (sub == QLatin1String("add")) {
        WorkspaceAdmin::Invite invite;
        invite.email = email;
        invite.name = option(args, QStringLiteral("--name"));
        invite.timeZone = option(args, QStringLiteral("--time-zone"));
        invite.role = args.contains(QStringLiteral("--admin")) ? QStringLiteral("admin") : QStringLiteral("member");
        if (args.contains(QStringLiteral("--role")))
            invite.role = option(args, QStringLiteral("--role"));
        if (m_store.memberByEmail(email))
            return usage(QStringLiteral("a member with the e-mail %1 exists already").arg(email));
        const auto pw = newPassword(args);
        if (!pw)
            return 2;
        invite.password = *pw;
        const auto done = m_admin.invite(me, invite);
        if (!done.ok())
            return refused(done);
        showPassword(args, email, *pw);
        m_out << "Member " << done.id << " added: " << email << Qt::endl;
        return 0;
    }
    const auto id = memberId(email);
    if (!id)
        return 2;
    if (sub == QLatin1String("disable") || sub == QLatin1String("enable")) {
        const auto done = m_admin.setDisabled(me, *id, sub == QLatin1String("disable"));
        if (!done.ok())
            return refused(done);
        m_out << "Member " << email << (sub == QLatin1String("disable") ? " disabled; signed out everywhere." : " enabled.")
              << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("signout")) {
        const auto done = m_admin.signOutEverywhere(me, *id);
        if (!done.ok())
            return refused(done);
        m_out << "Signed " << email << " out of " << done.count << " sessions." << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("zone")) {
        const QString zone = pos.value(2);
        if (!Calendar::isValidZone(zone))
            return usage(QStringLiteral("unknown time zone %1").arg(zone));
        const auto done = m_admin.setTimeZone(me, *id, zone);
        if (!done.ok())
            return refused(done);
        m_out << "Member " << email << " counts days in " << zone << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("role")) {
        const auto done = m_admin.setRole(me, *id, pos.value(2));
        if (!done.ok())
            return refused(done);
        m_out << "Member " << email << " is now " << pos.value(2) << Qt::endl;
        return 0;
    }
    return usage(QStringLiteral("member needs add, list, disable, enable, signout, zone or role"));
}

int AdminCommand::passwordCommand(const QStringList &args)
{
    const QString email = Credentials::emailKey(positional(args).value(0));
    const auto id = memberId(email);
    if (!id)
        return 2;
    const auto pw = newPassword(args);
    if (!pw)
        return 2;
    const auto done = m_admin.setPassword(WorkspaceAdmin::Actor::commandLine(), *id, *pw);
    if (!done.ok())
        return refused(done);
    showPassword(args, email, *pw);
    m_out << "Password of " << email << " changed; signed out everywhere." << Qt::endl;
    return 0;
}

int AdminCommand::projectCommand(const QStringList &args)
{
    const WorkspaceAdmin::Actor me = WorkspaceAdmin::Actor::commandLine();
    const QStringList pos = positional(args);
    const QString sub = pos.value(0);
    if (sub == QLatin1String("add")) {
        const auto done = m_admin.addProject(me, pos.value(1));
        if (!done.ok())
            return refused(done);
        m_out << "Project " << done.id << " added: " << pos.value(1).trimmed() << Qt::endl;
        return 0;
    }
    const auto id = number(pos.value(1));
    if (id && sub == QLatin1String("rename") && pos.size() == 3) {
        const auto done = m_admin.renameProject(me, *id, pos.value(2));
        if (!done.ok())
            return refused(done);
        m_out << "Project " << *id << " renamed: " << pos.value(2).trimmed() << Qt::endl;
        return 0;
    }
    if (id && (sub == QLatin1String("archive") || sub == QLatin1String("restore"))) {
        const auto done = m_admin.setProjectArchived(me, *id, sub == QLatin1String("archive"));
        if (!done.ok())
            return refused(done);
        m_out << "Project " << *id << (sub == QLatin1String("archive") ? " archived." : " restored.") << Qt::endl;
        return 0;
    }
    return usage(QStringLiteral("project add NAME | project rename PROJECT_ID NAME | project archive|restore PROJECT_ID"));
}

int AdminCommand::taskCommand(const QStringList &args)
{
    const WorkspaceAdmin::Actor me = WorkspaceAdmin::Actor::commandLine();
    const QStringList pos = positional(args);
    const QString sub = pos.value(0);
    const auto id = number(pos.value(1));
    if (id && sub == QLatin1String("add") && pos.size() == 3) {
        const auto done = m_admin.addTask(me, *id, pos.value(2));
        if (!done.ok())
            return refused(done);
        m_out << "Task " << done.id << " added to project " << *id << Qt::endl;
        return 0;
    }
    if (id && sub == QLatin1String("rename") && pos.size() == 3) {
        const auto done = m_admin.renameTask(me, *id, pos.value(2));
        if (!done.ok())
            return refused(done);
        m_out << "Task " << *id << " renamed: " << pos.value(2).trimmed() << Qt::endl;
        return 0;
    }
    if (id && (sub == QLatin1String("archive") || sub == QLatin1String("restore"))) {
        const auto done = m_admin.setTaskArchived(me, *id, sub == QLatin1String("archive"));
        if (!done.ok())
            return refused(done);
        m_out << "Task " << *id << (sub == QLatin1String("archive") ? " archived." : " restored.") << Qt::endl;
        return 0;
    }
    return usage(QStringLiteral("task add PROJECT_ID NAME | task rename TASK_ID NAME | task archive|restore TASK_ID"));
}

int AdminCommand::assignCommand(const QStringList &args, bool assign)
{
    const QStringList pos = positional(args);
    const auto member = m_store.memberByEmail(pos.value(0));
    const auto project = number(pos.value(1));
    if (!member || !project)
        return usage(QStringLiteral("%1 EMAIL PROJECT_ID (an existing member and project)")
                         .arg(assign ? QStringLiteral("assign") : QStringLiteral("unassign")));
    const auto me = WorkspaceAdmin::Actor::commandLine();
    const auto done = assign ? m_admin.assign(me, member->id, *project) : m_admin.unassign(me, member->id, *project);
    if (!done.ok())
        return usage(QStringLiteral("no project %1").arg(*project));
    m_out << "Project " << *project << (assign ? " assigned to " : " no longer assigned to ") << member->email
          << Qt::endl;
    return 0;
}

int AdminCommand::auditCommand(const QStringList &args)
{
    const QString limit = option(args, QStringLiteral("--limit"));
    const auto n = limit.isEmpty() ? std::optional<qint64>(50) : number(limit);
    if (!n)
        return usage(QStringLiteral("audit [--limit ROWS]"));
    for (const AuditLog::Row &r : m_admin.audit().recent(int(std::min<qint64>(*n, 100000))))
        m_out << QDateTime::fromMSecsSinceEpoch(r.at, QTimeZone::utc()).toString(Qt::ISODate) << '\t' << r.actor << '\t'
              << r.action << '\t' << r.target << '\t' << r.detail << Qt::endl;
    return 0;
}

int AdminCommand::settingCommand(const QStringList &args)
{
    const QStringList pos = positional(args);
    const QString key = pos.value(0);
    const QString value = pos.value(1);
    const auto me = WorkspaceAdmin::Actor::commandLine();
    WorkspaceAdmin::Outcome done;
    if (key == QLatin1String("screenshots") && (value == QLatin1String("on") || value == QLatin1String("off"))) {
        done = m_admin.setScreenshots(me, value == QLatin1String("on"));
    } else if (key == QLatin1String("screenshot_interval") && !value.isEmpty()) {
        done = m_admin.setScreenshotInterval(me, value);
    } else if (key == QLatin1String("retention_days") && !value.isEmpty()) {
        done = m_admin.setRetentionDays(me, value);
    } else if (key.isEmpty()) {
        for (const char *k : {"screenshots", "screenshot_interval", "retention_days"})
            m_out << k << '\t' << m_store.setting(QLatin1String(k), QStringLiteral("(default)")) << Qt::endl;
        return 0;
    } else {
        return usage(QStringLiteral("setting screenshots on|off, screenshot_interval MINUTES or retention_days DAYS"));
    }
    if (!done.ok())
        return refused(done);
    m_out << key << " = " << value << Qt::endl;
    return 0;
}

int AdminCommand::purgeCommand(const QStringList &args)
{
    QString days = option(args, QStringLiteral("--retention-days"));
    if (days.isEmpty())
        days = m_store.setting(QStringLiteral("retention_days"));
    const auto n = number(days);
    if (!n)
        return usage(QStringLiteral("purge needs --retention-days DAYS or the retention_days setting"));
    const qint64 cutoff = m_store.now() - *n * 24 * 3600 * 1000;
    const Store::PurgeResult r = m_store.purge(cutoff, m_blobs);
    m_out << "Purged " << r.screenshots << " screenshots, " << r.activity << " activity samples, " << r.usage
          << " usage records older than " << *n << " days, and " << r.sessions << " ended sessions." << Qt::endl;
    return 0;
}
