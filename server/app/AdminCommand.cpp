#include "AdminCommand.h"

#include "BlobStore.h"
#include "Calendar.h"
#include "Credentials.h"
#include "Store.h"

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
                                       QStringLiteral("--retention-days")};
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
{
}

bool AdminCommand::handles(const QString &command)
{
    static const QStringList commands{QStringLiteral("member"),  QStringLiteral("password"), QStringLiteral("project"),
                                      QStringLiteral("task"),    QStringLiteral("assign"),   QStringLiteral("setting"),
                                      QStringLiteral("purge")};
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
        return assignCommand(rest);
    if (command == QLatin1String("setting"))
        return settingCommand(rest);
    if (command == QLatin1String("purge"))
        return purgeCommand(rest);
    return usage(QStringLiteral("unknown command %1").arg(command));
}

std::optional<QString> AdminCommand::newPassword(const QStringList &args, const QString &email)
{
    if (args.contains(QStringLiteral("--password-stdin"))) {
        const QString line = m_in.readLine();
        if (line.isEmpty()) {
            usage(QStringLiteral("no password on standard input"));
            return std::nullopt;
        }
        if (line.toUtf8().size() > Credentials::maxPasswordBytes) {
            usage(QStringLiteral("the password is longer than %1 bytes").arg(Credentials::maxPasswordBytes));
            return std::nullopt;
        }
        return line;
    }
    const QString pw = Credentials::randomPassword();
    m_out << "Password for " << email << ": " << pw << Qt::endl
          << "It is shown only now; keep it somewhere safe." << Qt::endl;
    return pw;
}

int AdminCommand::memberCommand(const QStringList &args)
{
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
        const QString zone = option(args, QStringLiteral("--time-zone"));
        if (!zone.isEmpty() && !Calendar::isValidZone(zone))
            return usage(QStringLiteral("unknown time zone %1").arg(zone));
        QString name = option(args, QStringLiteral("--name"));
        if (name.isEmpty())
            name = email.section(QLatin1Char('@'), 0, 0);
        if (m_store.memberByEmail(email))
            return usage(QStringLiteral("a member with the e-mail %1 exists already").arg(email));
        const auto pw = newPassword(args, email);
        if (!pw)
            return 2;
        const qint64 id = m_store.addMember(email, name,
                                            args.contains(QStringLiteral("--admin")) ? QStringLiteral("admin")
                                                                                      : QStringLiteral("member"),
                                            Credentials::hashPassword(*pw), zone);
        m_out << "Member " << id << " added: " << email << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("disable") || sub == QLatin1String("enable")) {
        if (!m_store.setDisabled(email, sub == QLatin1String("disable")))
            return usage(QStringLiteral("no member with the e-mail %1").arg(email));
        m_out << "Member " << email << (sub == QLatin1String("disable") ? " disabled; signed out everywhere." : " enabled.")
              << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("signout")) {
        const auto m = m_store.memberByEmail(email);
        if (!m)
            return usage(QStringLiteral("no member with the e-mail %1").arg(email));
        m_out << "Signed " << email << " out of " << m_store.endSessions(m->id) << " sessions." << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("zone")) {
        const QString zone = pos.value(2);
        if (!Calendar::isValidZone(zone))
            return usage(QStringLiteral("unknown time zone %1").arg(zone));
        if (!m_store.setTimeZone(email, zone))
            return usage(QStringLiteral("no member with the e-mail %1").arg(email));
        m_out << "Member " << email << " counts days in " << zone << Qt::endl;
        return 0;
    }
    return usage(QStringLiteral("member needs add, list, disable, enable, signout or zone"));
}

int AdminCommand::passwordCommand(const QStringList &args)
{
    const QString email = Credentials::emailKey(positional(args).value(0));
    if (!m_store.memberByEmail(email))
        return usage(QStringLiteral("no member with the e-mail %1").arg(email));
    const auto pw = newPassword(args, email);
    if (!pw)
        return 2;
    m_store.setPasswordHash(email, Credentials::hashPassword(*pw));
    m_out << "Password of " << email << " changed; signed out everywhere." << Qt::endl;
    return 0;
}

int AdminCommand::projectCommand(const QStringList &args)
{
    const QStringList pos = positional(args);
    if (pos.value(0) != QLatin1String("add") || pos.value(1).trimmed().isEmpty())
        return usage(QStringLiteral("project add NAME"));
    const qint64 id = m_store.addProject(pos.value(1).trimmed());
    m_out << "Project " << id << " added: " << pos.value(1).trimmed() << Qt::endl;
    return 0;
}

int AdminCommand::taskCommand(const QStringList &args)
{
    const QStringList pos = positional(args);
    const auto project = number(pos.value(1));
    if (pos.value(0) != QLatin1String("add") || !project || pos.value(2).trimmed().isEmpty())
        return usage(QStringLiteral("task add PROJECT_ID NAME"));
    const auto id = m_store.addTask(*project, pos.value(2).trimmed());
    if (!id)
        return usage(QStringLiteral("no project %1").arg(*project));
    m_out << "Task " << *id << " added to project " << *project << Qt::endl;
    return 0;
}

int AdminCommand::assignCommand(const QStringList &args)
{
    const QStringList pos = positional(args);
    const auto member = m_store.memberByEmail(pos.value(0));
    const auto project = number(pos.value(1));
    if (!member || !project)
        return usage(QStringLiteral("assign EMAIL PROJECT_ID (an existing member and project)"));
    if (!m_store.assign(member->id, *project))
        return usage(QStringLiteral("no project %1").arg(*project));
    m_out << "Project " << *project << " assigned to " << member->email << Qt::endl;
    return 0;
}

int AdminCommand::settingCommand(const QStringList &args)
{
    const QStringList pos = positional(args);
    const QString key = pos.value(0);
    const QString value = pos.value(1);
    if (key == QLatin1String("screenshots") && (value == QLatin1String("on") || value == QLatin1String("off"))) {
        m_store.setSetting(key, value);
    } else if ((key == QLatin1String("screenshot_interval") || key == QLatin1String("retention_days")) && number(value)) {
        m_store.setSetting(key, QString::number(*number(value)));
    } else if (key.isEmpty()) {
        for (const char *k : {"screenshots", "screenshot_interval", "retention_days"})
            m_out << k << '\t' << m_store.setting(QLatin1String(k), QStringLiteral("(default)")) << Qt::endl;
        return 0;
    } else {
        return usage(QStringLiteral("setting screenshots on|off, screenshot_interval MINUTES or retention_days DAYS"));
    }
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
