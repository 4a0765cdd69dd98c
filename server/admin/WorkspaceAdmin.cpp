#include "WorkspaceAdmin.h"

#include "Calendar.h"
#include "Credentials.h"

namespace {

const QString notAllowed = QStringLiteral("Only owners and admins can change the workspace.");
const QString noMember = QStringLiteral("There is no such member.");
const QString noProject = QStringLiteral("There is no such project.");
const QString noTask = QStringLiteral("There is no such task.");

// Changes to members' roles and states wait for each other, so two admins
// cannot each demote the other and leave nobody in charge.
constexpr qint64 membersLock = -25;

WorkspaceAdmin::Outcome refused(const QString &sentence)
{
    return {sentence, 0, 0};
}

QString zoneText(const QString &zone)
{
    return zone.isEmpty() ? QStringLiteral("the server's zone") : zone;
}

} // namespace

WorkspaceAdmin::Actor WorkspaceAdmin::Actor::commandLine()
{
    return {std::nullopt, QStringLiteral("command line"), QStringLiteral("owner")};
}

WorkspaceAdmin::Actor WorkspaceAdmin::Actor::of(const Store::Member &member)
{
    return {member.id, member.email, member.role};
}

bool WorkspaceAdmin::Actor::isOwner() const
{
    return role == QLatin1String("owner");
}

const QStringList &WorkspaceAdmin::roles()
{
    static const QStringList list{QStringLiteral("owner"), QStringLiteral("admin"), QStringLiteral("manager"),
                                  QStringLiteral("member")};
    return list;
}

bool WorkspaceAdmin::mayAdminister(const QString &role)
{
    return role == QLatin1String("owner") || role == QLatin1String("admin");
}

WorkspaceAdmin::WorkspaceAdmin(Store &store)
    : m_store(store)
    , m_audit(store.database())
{
}

void WorkspaceAdmin::record(const Actor &actor, const QString &action, const QString &target, const QString &detail)
{
    m_audit.record(m_store.now(), AuditLog::Actor{actor.memberId, actor.name}, action, target, detail);
}

// Why the actor may not change the member, if they may not: only owners and
// admins change members, and only owners change owners.
std::optional<QString> WorkspaceAdmin::refusal(const Actor &actor, const std::optional<Store::Member> &target)
{
    if (!mayAdminister(actor.role))
        return notAllowed;
    if (!target)
        return noMember;
    if (target->role == QLatin1String("owner") && !actor.isOwner())
        return QStringLiteral("Only an owner can change an owner.");
    return std::nullopt;
}

// Whether the member, disabled or given the role, would leave the workspace
// without an enabled owner or admin.
std::optional<QString> WorkspaceAdmin::leavesNoAdmin(const Store::Member &target, bool disabled, const QString &role)
{
    if (target.disabled || !mayAdminister(target.role) || (!disabled && mayAdminister(role)))
        return std::nullopt;
    m_store.database().serialise(membersLock);
    QSqlQuery q = m_store.database().run(QStringLiteral("SELECT COUNT(*) FROM members WHERE disabled = 0"
                                                        " AND role IN ('owner', 'admin') AND id <> ?"),
                                         {target.id});
    if (q.next() && q.value(0).toInt() > 0)
        return std::nullopt;
    return QStringLiteral("The workspace needs at least one enabled owner or admin; make someone else one first.");
}

std::optional<QString> WorkspaceAdmin::badName(const QString &name, const QString &what)
{
    if (name.isEmpty())
        return QStringLiteral("Enter a name for the %1.").arg(what);
    if (name.size() > maxNameLength)
        return QStringLiteral("The %1's name is longer than %2 characters.").arg(what).arg(maxNameLength);
    return std::nullopt;
}

// Why `actor` may not give something this name, or nullopt.
std::optional<QString> WorkspaceAdmin::mayName(const Actor &actor, const QString &name, const QString &what)
{
    if (!mayAdminister(actor.role))
        return notAllowed;
    return badName(name, what);
}

// Runs `change` in one transaction with its audit rows; it sets the
// outcome's error (and changes nothing) or the id of what it made.
WorkspaceAdmin::Outcome WorkspaceAdmin::inWrite(const std::function<void(Outcome &)> &change)
{
    Outcome out;
    m_store.database().write([&] { change(out); });
    return out;
}

// ---- members ----

WorkspaceAdmin::Outcome WorkspaceAdmin::invite(const Actor &actor, const Invite &in)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    const QString email = Credentials::emailKey(in.email);
    const qsizetype at = email.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == email.size() - 1 || email.size() > 254 || email.count(QLatin1Char('@')) != 1)
        return refused(QStringLiteral("Enter an e-mail address such as name@example.org."));
    const QString name = in.name.trimmed().isEmpty() ? email.left(at) : in.name.trimmed();
    if (auto bad = badName(name, QStringLiteral("member")))
        return refused(*bad);
    if (!roles().contains(in.role))
        return refused(QStringLiteral("Choose a role: owner, admin, manager or member."));
    if (in.role == QLatin1String("owner") && !actor.isOwner())
        return refused(QStringLiteral("Only an owner can make someone an owner."));
    if (!in.timeZone.isEmpty() && !Calendar::isValidZone(in.timeZone))
        return refused(QStringLiteral("%1 is not a time zone; use a name such as Europe/Berlin.").arg(in.timeZone));
    if (in.password.size() < minPasswordLength)
        return refused(QStringLiteral("The first password needs at least %1 characters.").arg(minPasswordLength));
    if (in.password.toUtf8().size() > Credentials::maxPasswordBytes)
        return refused(QStringLiteral("The password is longer than %1 bytes.").arg(Credentials::maxPasswordBytes));
    // Hashing takes a while and 64 MiB: done before the transaction.
    const QString hash = Credentials::hashPassword(in.password);
    return inWrite([&](Outcome &out) {
        if (m_store.memberByEmail(email)) {
            out.error = QStringLiteral("A member with the e-mail %1 exists already.").arg(email);
            return;
        }
        out.id = m_store.addMember(email, name, in.role, hash, in.timeZone);
        record(actor, QStringLiteral("member.invite"), email,
               QStringLiteral("%1, role %2, %3").arg(name, in.role, zoneText(in.timeZone)));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setDisabled(const Actor &actor, qint64 memberId, bool disabled)
{
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        if (auto no = refusal(actor, m)) {
            out.error = *no;
            return;
        }
        if (disabled && actor.memberId == memberId) {
            out.error = QStringLiteral("You cannot disable your own account.");
            return;
        }
        if (disabled) {
            if (auto no = leavesNoAdmin(*m, true, m->role)) {
                out.error = *no;
                return;
            }
        }
        if (m->disabled == disabled)
            return;
        m_store.setDisabled(m->email, disabled);
        record(actor, disabled ? QStringLiteral("member.disable") : QStringLiteral("member.enable"), m->email,
               disabled ? QStringLiteral("signed out everywhere") : QString());
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::signOutEverywhere(const Actor &actor, qint64 memberId)
{
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        if (auto no = refusal(actor, m)) {
            out.error = *no;
            return;
        }
        out.count = m_store.endSessions(memberId);
        record(actor, QStringLiteral("member.signout"), m->email, QStringLiteral("%1 sessions ended").arg(out.count));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setRole(const Actor &actor, qint64 memberId, const QString &role)
{
    if (!roles().contains(role))
        return refused(QStringLiteral("Choose a role: owner, admin, manager or member."));
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        if (auto no = refusal(actor, m)) {
            out.error = *no;
            return;
        }
        if (m->role == role)
            return;
        if (role == QLatin1String("owner") && !actor.isOwner()) {
            out.error = QStringLiteral("Only an owner can make someone an owner.");
            return;
        }
        if (auto no = leavesNoAdmin(*m, false, role)) {
            out.error = *no;
            return;
        }
        m_store.setRole(memberId, role);
        record(actor, QStringLiteral("member.role"), m->email, QStringLiteral("%1 → %2").arg(m->role, role));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setTimeZone(const Actor &actor, qint64 memberId, const QString &zone)
{
    if (!zone.isEmpty() && !Calendar::isValidZone(zone))
        return refused(QStringLiteral("%1 is not a time zone; use a name such as Europe/Berlin.").arg(zone));
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        if (auto no = refusal(actor, m)) {
            out.error = *no;
            return;
        }
        if (m->timeZone == zone)
            return;
        m_store.setTimeZone(m->email, zone);
        record(actor, QStringLiteral("member.zone"), m->email,
               QStringLiteral("%1 → %2").arg(zoneText(m->timeZone), zoneText(zone)));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setPassword(const Actor &actor, qint64 memberId, const QString &password)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    if (password.size() < minPasswordLength)
        return refused(QStringLiteral("The password needs at least %1 characters.").arg(minPasswordLength));
    if (password.toUtf8().size() > Credentials::maxPasswordBytes)
        return refused(QStringLiteral("The password is longer than %1 bytes.").arg(Credentials::maxPasswordBytes));
    const QString hash = Credentials::hashPassword(password);
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        if (auto no = refusal(actor, m)) {
            out.error = *no;
            return;
        }
        m_store.setPasswordHash(m->email, hash);
        record(actor, QStringLiteral("member.password"), m->email, QStringLiteral("signed out everywhere"));
    });
}

// ---- projects and tasks ----

WorkspaceAdmin::Outcome WorkspaceAdmin::addProject(const Actor &actor, const QString &text)
{
    const QString name = text.trimmed();
    if (auto no = mayName(actor, name, QStringLiteral("project")))
        return refused(*no);
    return inWrite([&](Outcome &out) {
        for (const Store::Project &p : m_store.allProjects()) {
            if (!p.archived && p.name.compare(name, Qt::CaseInsensitive) == 0) {
                out.error = QStringLiteral("A project named %1 exists already.").arg(p.name);
                return;
            }
        }
        out.id = m_store.addProject(name);
        record(actor, QStringLiteral("project.add"), name, QStringLiteral("project %1").arg(out.id));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::renameProject(const Actor &actor, qint64 projectId, const QString &text)
{
    const QString name = text.trimmed();
    if (auto no = mayName(actor, name, QStringLiteral("project")))
        return refused(*no);
    return inWrite([&](Outcome &out) {
        const auto p = m_store.project(projectId);
        if (!p) {
            out.error = noProject;
            return;
        }
        if (p->name == name)
            return;
        m_store.renameProject(projectId, name);
        record(actor, QStringLiteral("project.rename"), name, QStringLiteral("was %1").arg(p->name));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setProjectArchived(const Actor &actor, qint64 projectId, bool archived)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    return inWrite([&](Outcome &out) {
        const auto p = m_store.project(projectId);
        if (!p) {
            out.error = noProject;
            return;
        }
        if (p->archived == archived)
            return;
        m_store.setProjectArchived(projectId, archived);
        record(actor, archived ? QStringLiteral("project.archive") : QStringLiteral("project.restore"), p->name);
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::addTask(const Actor &actor, qint64 projectId, const QString &text)
{
    const QString name = text.trimmed();
    if (auto no = mayName(actor, name, QStringLiteral("task")))
        return refused(*no);
    return inWrite([&](Outcome &out) {
        const auto p = m_store.project(projectId);
        if (!p) {
            out.error = noProject;
            return;
        }
        out.id = *m_store.addTask(projectId, name);
        record(actor, QStringLiteral("task.add"), p->name + QStringLiteral(" / ") + name,
               QStringLiteral("task %1").arg(out.id));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::renameTask(const Actor &actor, qint64 taskId, const QString &text)
{
    const QString name = text.trimmed();
    if (auto no = mayName(actor, name, QStringLiteral("task")))
        return refused(*no);
    return inWrite([&](Outcome &out) {
        const auto t = m_store.task(taskId);
        if (!t) {
            out.error = noTask;
            return;
        }
        if (t->name == name)
            return;
        m_store.renameTask(taskId, name);
        record(actor, QStringLiteral("task.rename"), m_store.project(t->projectId)->name + QStringLiteral(" / ") + name,
               QStringLiteral("was %1").arg(t->name));
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setTaskArchived(const Actor &actor, qint64 taskId, bool archived)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    return inWrite([&](Outcome &out) {
        const auto t = m_store.task(taskId);
        if (!t) {
            out.error = noTask;
            return;
        }
        if (t->archived == archived)
            return;
        m_store.setTaskArchived(taskId, archived);
        record(actor, archived ? QStringLiteral("task.archive") : QStringLiteral("task.restore"),
               m_store.project(t->projectId)->name + QStringLiteral(" / ") + t->name);
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::assign(const Actor &actor, qint64 memberId, qint64 projectId)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        const auto p = m_store.project(projectId);
        if (!m || !p) {
            out.error = m ? noProject : noMember;
            return;
        }
        for (const Store::Assignment &a : m_store.assignments()) {
            if (a.memberId == memberId && a.projectId == projectId)
                return;
        }
        m_store.assign(memberId, projectId);
        record(actor, QStringLiteral("project.assign"), p->name, m->email);
    });
}

WorkspaceAdmin::Outcome WorkspaceAdmin::unassign(const Actor &actor, qint64 memberId, qint64 projectId)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    return inWrite([&](Outcome &out) {
        const auto m = m_store.memberById(memberId);
        const auto p = m_store.project(projectId);
        if (!m || !p) {
            out.error = m ? noProject : noMember;
            return;
        }
        if (m_store.unassign(memberId, projectId))
            record(actor, QStringLiteral("project.unassign"), p->name, m->email);
    });
}

// ---- settings ----

namespace {

const QString intervalProblem = QStringLiteral("The screenshot interval is a whole number of minutes from 1 to 1440.");
const QString retentionProblem =
    QStringLiteral("Keep data for a whole number of days from 1 to 3650, or leave it empty to keep everything.");

// The number as stored, or nothing when the text is not one in [1, most].
std::optional<QString> wholeNumber(const QString &text, int most)
{
    bool good = false;
    const int n = text.trimmed().toInt(&good);
    if (!good || n < 1 || n > most)
        return std::nullopt;
    return QString::number(n);
}

} // namespace

std::optional<QString> WorkspaceAdmin::intervalValue(const QString &text)
{
    return wholeNumber(text, 24 * 60);
}

std::optional<QString> WorkspaceAdmin::retentionValue(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QString();
    return wholeNumber(text, 3650);
}

void WorkspaceAdmin::writeSetting(const Actor &actor, const QString &key, const QString &value)
{
    const QString before = m_store.setting(key);
    if (before == value)
        return;
    m_store.setSetting(key, value);
    const auto shown = [](const QString &v) { return v.isEmpty() ? QStringLiteral("default") : v; };
    record(actor, QStringLiteral("setting"), key, QStringLiteral("%1 → %2").arg(shown(before), shown(value)));
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setScreenshots(const Actor &actor, bool on)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    m_store.database().write([&] {
        // Unset means on; only a change is written.
        if (m_store.workspaceSettings().screenshots != on)
            writeSetting(actor, QStringLiteral("screenshots"), on ? QStringLiteral("on") : QStringLiteral("off"));
    });
    return {};
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setScreenshotInterval(const Actor &actor, const QString &minutes)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    const auto value = intervalValue(minutes);
    if (!value)
        return refused(intervalProblem);
    m_store.database().write([&] { writeSetting(actor, QStringLiteral("screenshot_interval"), *value); });
    return {};
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setRetentionDays(const Actor &actor, const QString &days)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    const auto value = retentionValue(days);
    if (!value)
        return refused(retentionProblem);
    m_store.database().write([&] { writeSetting(actor, QStringLiteral("retention_days"), *value); });
    return {};
}

WorkspaceAdmin::Outcome WorkspaceAdmin::setSettings(const Actor &actor, bool screenshots, const QString &intervalMinutes,
                                                    const QString &retentionDays)
{
    if (!mayAdminister(actor.role))
        return refused(notAllowed);
    const auto interval = intervalValue(intervalMinutes);
    if (!interval)
        return refused(intervalProblem);
    const auto retention = retentionValue(retentionDays);
    if (!retention)
        return refused(retentionProblem);
    m_store.database().write([&] {
        // Only what changes in effect is written: saving the form with an
        // unset default shown in it changes nothing.
        const Store::WorkspaceSettings now = m_store.workspaceSettings();
        if (now.screenshots != screenshots)
            writeSetting(actor, QStringLiteral("screenshots"), screenshots ? QStringLiteral("on") : QStringLiteral("off"));
        if (now.screenshotInterval != interval->toInt())
            writeSetting(actor, QStringLiteral("screenshot_interval"), *interval);
        if (now.retentionDays != retention->toInt())
            writeSetting(actor, QStringLiteral("retention_days"), *retention);
    });
    return {};
}
