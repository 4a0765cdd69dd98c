#include "MembersPage.h"

#include "WebFrame.h"
#include "WebRequest.h"
#include "WebText.h"

#include <QHash>

#include <httplib.h>

using WebRequest::formValue;
using WebText::html;

namespace {

const QString listPath = QStringLiteral("/web/admin/members");

QString memberPath(qint64 id)
{
    return listPath + QLatin1Char('/') + QString::number(id);
}

QString doneNotice(const QString &key)
{
    static const QHash<QString, QString> sentences{
        {QStringLiteral("invited"), QStringLiteral("Member invited. Give them the server's address, their e-mail and"
                                                   " the first password you set.")},
        {QStringLiteral("role"), QStringLiteral("Role changed.")},
        {QStringLiteral("zone"), QStringLiteral("Time zone changed.")},
        {QStringLiteral("password"), QStringLiteral("Password set; the member is signed out everywhere.")},
        {QStringLiteral("signout"), QStringLiteral("Signed out everywhere: every device needs to sign in again.")},
        {QStringLiteral("disable"), QStringLiteral("Member disabled and signed out everywhere.")},
        {QStringLiteral("enable"), QStringLiteral("Member enabled; they can sign in again.")},
    };
    return sentences.value(key);
}

QString zoneShown(const QString &zone)
{
    return zone.isEmpty() ? QStringLiteral("Server's zone") : zone;
}

const QString zoneHint = QStringLiteral("An IANA name such as Europe/Berlin; empty for the server's zone. Days and"
                                        " weeks begin at midnight there.");

} // namespace

MembersPage::MembersPage(Store &store, WorkspaceAdmin &admin)
    : m_store(store)
    , m_admin(admin)
{
}

void MembersPage::install(httplib::Server &server, const AdminHtml::Gate &gate)
{
    using namespace std::placeholders;
    server.Get("/web/admin/members", gate(std::bind(&MembersPage::list, this, _1, _2, _3), false));
    server.Post("/web/admin/members", gate(std::bind(&MembersPage::invite, this, _1, _2, _3), true));
    server.Get(R"(/web/admin/members/(\d{1,18}))", gate(std::bind(&MembersPage::member, this, _1, _2, _3), false));
    server.Post(R"(/web/admin/members/(\d{1,18})/(role|zone|password|signout|disable|enable))",
                gate(std::bind(&MembersPage::change, this, _1, _2, _3), true));
}

void MembersPage::list(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    showList(res, viewer, 200, doneNotice(WebRequest::param(req, "done")), {}, {});
}

void MembersPage::showList(httplib::Response &res, const WebSession::Viewer &viewer, int status, const QString &notice,
                           const QString &error, const WorkspaceAdmin::Invite &kept)
{
    const QList<Store::Member> members = m_store.members();
    QString rows;
    for (const Store::Member &m : members) {
        rows += QStringLiteral("<tr><th scope=\"row\"><a href=\"%1\">%2</a><span class=\"sub\">%3</span>"
                               "<span class=\"sub\">%4</span></th><td>%5</td><td>%6</td></tr>")
                    .arg(memberPath(m.id), html(m.name), html(m.email), html(zoneShown(m.timeZone)),
                         AdminHtml::rolePill(m.role),
                         AdminHtml::statePill(m.disabled, QStringLiteral("Active"), QStringLiteral("Disabled")));
    }
    const bool owner = viewer.member.role == QLatin1String("owner");
    QString body = WebFrame::heading(QStringLiteral("Workspace"), QStringLiteral("Members"),
                                     QStringLiteral("%1 in all").arg(members.size()));
    body += AdminHtml::banner(notice, error);
    body += QStringLiteral("<div class=\"grid-2 admin-split\">"
                           "<section class=\"card\" aria-labelledby=\"members-title\"><h2 id=\"members-title\">Everyone</h2>"
                           "<div class=\"scroll\"><table class=\"data\"><thead><tr><th scope=\"col\">Member and time zone</th>"
                           "<th scope=\"col\">Role</th><th scope=\"col\">Status</th>"
                           "</tr></thead><tbody>%1</tbody></table></div>"
                           "<p class=\"muted small\">Open a member to change their role or time zone, set a new password,"
                           " sign them out everywhere or disable them.</p></section>")
                .arg(rows);
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"invite-title\"><h2 id=\"invite-title\">Invite a member</h2>"
                           "<p class=\"muted small\">Set a first password and give it to them with this server's address;"
                           " they sign in with it in the desktop app or here.</p>"
                           "<form method=\"post\" action=\"%1\">%2")
                .arg(listPath, WebFrame::csrfField(viewer));
    body += AdminHtml::input(QStringLiteral("E-mail"), QStringLiteral("email"), kept.email,
                             QStringLiteral("type=\"email\" required autocomplete=\"off\" maxlength=\"254\""));
    body += AdminHtml::input(QStringLiteral("Name"), QStringLiteral("name"), kept.name,
                             QStringLiteral("type=\"text\" autocomplete=\"off\" maxlength=\"200\""),
                             QStringLiteral("Empty: the part of the e-mail before the @."));
    body += AdminHtml::select(QStringLiteral("Role"), QStringLiteral("role"), AdminHtml::roleOptions(owner), kept.role);
    body += AdminHtml::input(QStringLiteral("Time zone"), QStringLiteral("time_zone"), kept.timeZone,
                             QStringLiteral("type=\"text\" autocomplete=\"off\""), zoneHint);
    body += AdminHtml::input(QStringLiteral("First password"), QStringLiteral("password"), {},
                             QStringLiteral("type=\"password\" required minlength=\"%1\" autocomplete=\"new-password\"")
                                 .arg(WorkspaceAdmin::minPasswordLength),
                             QStringLiteral("At least %1 characters.").arg(WorkspaceAdmin::minPasswordLength));
    body += QStringLiteral("<button class=\"btn btn-brand\" type=\"submit\">Invite</button></form></section></div>");
    WebFrame::send(res, status, QStringLiteral("Members"), body, &viewer, QStringLiteral("members"));
}

void MembersPage::invite(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    WorkspaceAdmin::Invite in;
    in.email = formValue(req, QStringLiteral("email"));
    in.name = formValue(req, QStringLiteral("name"));
    in.role = formValue(req, QStringLiteral("role"));
    in.timeZone = formValue(req, QStringLiteral("time_zone")).trimmed();
    in.password = formValue(req, QStringLiteral("password"));
    const auto done = m_admin.invite(WorkspaceAdmin::Actor::of(viewer.member), in);
    if (!done.ok())
        return showList(res, viewer, 400, {}, done.error, in);
    AdminHtml::done(res, listPath, QStringLiteral("invited"));
}

void MembersPage::member(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const auto m = m_store.memberById(WebRequest::fromStd(req.matches[1]).toLongLong());
    if (!m)
        return WebFrame::refuse(res, 404, QStringLiteral("There is no such member."), &viewer);
    showMember(res, viewer, *m, 200, doneNotice(WebRequest::param(req, "done")), {});
}

void MembersPage::showMember(httplib::Response &res, const WebSession::Viewer &viewer, const Store::Member &m,
                             int status, const QString &notice, const QString &error)
{
    const QString path = memberPath(m.id);
    const QString csrf = WebFrame::csrfField(viewer);
    const bool owner = viewer.member.role == QLatin1String("owner");
    QString body = WebFrame::heading(QStringLiteral("Members"), m.name, m.email,
                                     QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\">All members</a>").arg(listPath));
    body += AdminHtml::banner(notice, error);
    body += QStringLiteral("<p>%1 %2</p>")
                .arg(AdminHtml::rolePill(m.role),
                     AdminHtml::statePill(m.disabled, QStringLiteral("Active"), QStringLiteral("Disabled")));
    body += QStringLiteral("<div class=\"grid-2\">");

    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"role-title\"><h2 id=\"role-title\">Role</h2>"
                           "<form method=\"post\" action=\"%1/role\">%2<div class=\"form-row\">%3"
                           "<button class=\"btn btn-brand\" type=\"submit\">Change role</button></div></form></section>")
                .arg(path, csrf,
                     AdminHtml::select(QStringLiteral("Role"), QStringLiteral("role"),
                                       AdminHtml::roleOptions(owner || m.role == QLatin1String("owner")), m.role));

    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"zone-title\"><h2 id=\"zone-title\">Time zone</h2>"
                           "<form method=\"post\" action=\"%1/zone\">%2<div class=\"form-row\">%3"
                           "<button class=\"btn btn-brand\" type=\"submit\">Change time zone</button></div></form></section>")
                .arg(path, csrf,
                     AdminHtml::input(QStringLiteral("Time zone"), QStringLiteral("time_zone"), m.timeZone,
                                      QStringLiteral("type=\"text\" autocomplete=\"off\""),
                                      zoneHint));

    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"password-title\"><h2 id=\"password-title\">Password"
                           "</h2><form method=\"post\" action=\"%1/password\">%2%4<div class=\"form-row\">%3"
                           "<button class=\"btn btn-brand\" type=\"submit\">Set password</button></div></form></section>")
                .arg(path, csrf,
                     AdminHtml::input(QStringLiteral("New password"), QStringLiteral("password"), {},
                                      QStringLiteral("type=\"password\" required minlength=\"%1\" autocomplete=\"new-password\"")
                                          .arg(WorkspaceAdmin::minPasswordLength),
                                      QStringLiteral("At least %1 characters. Setting it signs the member out everywhere.")
                                          .arg(WorkspaceAdmin::minPasswordLength)),
                     // Whose password this is, for password managers.
                     QStringLiteral("<input type=\"email\" name=\"username\" value=\"%1\" autocomplete=\"username\""
                                    " aria-label=\"E-mail\" readonly hidden>")
                         .arg(html(m.email)));

    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"access-title\"><h2 id=\"access-title\">Access</h2>"
                           "<p class=\"muted small\">Signing out everywhere ends the member's sessions on every device;"
                           " disabling also keeps them from signing in until enabled again. Their data stays.</p>"
                           "<div class=\"actions\">%1 %2</div></section>")
                .arg(WebFrame::postButton(viewer, path + QStringLiteral("/signout"), QStringLiteral("Sign out everywhere")),
                     m.disabled ? WebFrame::postButton(viewer, path + QStringLiteral("/enable"), QStringLiteral("Enable"),
                                                       QStringLiteral("brand"))
                                : WebFrame::postButton(viewer, path + QStringLiteral("/disable"), QStringLiteral("Disable"),
                                                       QStringLiteral("danger")));
    body += QStringLiteral("</div>");

    QString projects;
    for (const Store::Project &p : m_store.projectsFor(m.id))
        projects += QStringLiteral("<li><a href=\"/web/admin/projects/%1\">%2</a></li>").arg(p.id).arg(html(p.name));
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"projects-title\"><h2 id=\"projects-title\">Projects"
                           "</h2>%1<p class=\"muted small\">Assign projects on each project's page.</p></section>")
                .arg(projects.isEmpty() ? QStringLiteral("<p>No project is assigned yet; the member cannot track time"
                                                         " on any.</p>")
                                        : QStringLiteral("<ul class=\"plain\">%1</ul>").arg(projects));
    WebFrame::send(res, status, m.name, body, &viewer, QStringLiteral("members"));
}

void MembersPage::change(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const qint64 id = WebRequest::fromStd(req.matches[1]).toLongLong();
    const QString what = WebRequest::fromStd(req.matches[2]);
    const auto actor = WorkspaceAdmin::Actor::of(viewer.member);
    WorkspaceAdmin::Outcome done;
    if (what == QLatin1String("role"))
        done = m_admin.setRole(actor, id, formValue(req, QStringLiteral("role")));
    else if (what == QLatin1String("zone"))
        done = m_admin.setTimeZone(actor, id, formValue(req, QStringLiteral("time_zone")).trimmed());
    else if (what == QLatin1String("password"))
        done = m_admin.setPassword(actor, id, formValue(req, QStringLiteral("password")));
    else if (what == QLatin1String("signout"))
        done = m_admin.signOutEverywhere(actor, id);
    else
        done = m_admin.setDisabled(actor, id, what == QLatin1String("disable"));
    if (!done.ok()) {
        const auto m = m_store.memberById(id);
        if (!m)
            return WebFrame::refuse(res, 404, done.error, &viewer);
        return showMember(res, viewer, *m, 400, {}, done.error);
    }
    // Signing oneself out everywhere ends this session too.
    if (what == QLatin1String("signout") && id == viewer.member.id)
        return WebFrame::toSignIn(res);
    AdminHtml::done(res, memberPath(id), what);
}
