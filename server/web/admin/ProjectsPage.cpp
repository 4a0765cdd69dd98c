#include "ProjectsPage.h"

#include "WebFrame.h"
#include "WebRequest.h"
#include "WebText.h"

#include <QHash>
#include <QSet>

#include <httplib.h>

using WebRequest::formValue;
using WebText::html;

namespace {

const QString listPath = QStringLiteral("/web/admin/projects");

QString projectPath(qint64 id)
{
    return listPath + QLatin1Char('/') + QString::number(id);
}

QString doneNotice(const QString &key)
{
    static const QHash<QString, QString> sentences{
        {QStringLiteral("added"), QStringLiteral("Project added. Add its tasks and assign the members who work on it.")},
        {QStringLiteral("rename"), QStringLiteral("Renamed.")},
        {QStringLiteral("archive"), QStringLiteral("Archived: nobody can start new time on it; what was tracked stays.")},
        {QStringLiteral("restore"), QStringLiteral("Restored.")},
        {QStringLiteral("task"), QStringLiteral("Task added.")},
        {QStringLiteral("assign"), QStringLiteral("Member assigned; their desktop app lists the project.")},
        {QStringLiteral("unassign"), QStringLiteral("Member no longer assigned.")},
    };
    return sentences.value(key);
}

std::optional<qint64> idFrom(const QString &text)
{
    bool good = false;
    const qint64 id = text.toLongLong(&good);
    return good && id > 0 ? std::optional<qint64>(id) : std::nullopt;
}

} // namespace

ProjectsPage::ProjectsPage(Store &store, WorkspaceAdmin &admin)
    : m_store(store)
    , m_admin(admin)
{
}

void ProjectsPage::install(httplib::Server &server, const AdminHtml::Gate &gate)
{
    using namespace std::placeholders;
    server.Get("/web/admin/projects", gate(std::bind(&ProjectsPage::list, this, _1, _2, _3), false));
    server.Post("/web/admin/projects", gate(std::bind(&ProjectsPage::add, this, _1, _2, _3), true));
    server.Get(R"(/web/admin/projects/(\d{1,18}))", gate(std::bind(&ProjectsPage::project, this, _1, _2, _3), false));
    server.Post(R"(/web/admin/projects/(\d{1,18})/(rename|archive|restore|task|assign|unassign))",
                gate(std::bind(&ProjectsPage::change, this, _1, _2, _3), true));
    server.Post(R"(/web/admin/tasks/(\d{1,18})/(rename|archive|restore))",
                gate(std::bind(&ProjectsPage::changeTask, this, _1, _2, _3), true));
}

void ProjectsPage::list(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    showList(res, viewer, 200, doneNotice(WebRequest::param(req, "done")), {}, {});
}

void ProjectsPage::showList(httplib::Response &res, const WebSession::Viewer &viewer, int status,
                            const QString &notice, const QString &error, const QString &keptName)
{
    const QList<Store::Project> projects = m_store.allProjects();
    QHash<qint64, int> assigned;
    for (const Store::Assignment &a : m_store.assignments())
        ++assigned[a.projectId];
    QString rows;
    for (const Store::Project &p : projects) {
        const auto open = std::count_if(p.tasks.begin(), p.tasks.end(), [](const Store::Task &t) { return !t.archived; });
        rows += QStringLiteral("<tr><th scope=\"row\"><a href=\"%1\">%2</a></th><td class=\"num\">%3</td>"
                               "<td class=\"num\">%4</td><td>%5</td></tr>")
                    .arg(projectPath(p.id), html(p.name))
                    .arg(open)
                    .arg(assigned.value(p.id))
                    .arg(AdminHtml::statePill(p.archived, QStringLiteral("Active"), QStringLiteral("Archived")));
    }
    if (projects.isEmpty())
        rows = QStringLiteral("<tr><td colspan=\"4\" class=\"none\">No projects yet.</td></tr>");
    QString body = WebFrame::heading(QStringLiteral("Workspace"), QStringLiteral("Projects"),
                                     QStringLiteral("%1 in all").arg(projects.size()));
    body += AdminHtml::banner(notice, error);
    body += QStringLiteral("<div class=\"grid-2 admin-split\">"
                           "<section class=\"card\" aria-labelledby=\"projects-title\"><h2 id=\"projects-title\">Projects</h2>"
                           "<div class=\"scroll\"><table class=\"data\"><thead><tr><th scope=\"col\">Project</th>"
                           "<th scope=\"col\" class=\"num\">Open tasks</th><th scope=\"col\" class=\"num\">Members</th>"
                           "<th scope=\"col\">Status</th></tr></thead><tbody>%1</tbody></table></div>"
                           "<p class=\"muted small\">Open a project to rename or archive it, manage its tasks and assign"
                           " members.</p></section>")
                .arg(rows);
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"add-title\"><h2 id=\"add-title\">Add a project</h2>"
                           "<form method=\"post\" action=\"%1\">%2%3"
                           "<button class=\"btn btn-brand\" type=\"submit\">Add project</button></form></section></div>")
                .arg(listPath, WebFrame::csrfField(viewer),
                     AdminHtml::input(QStringLiteral("Project name"), QStringLiteral("name"), keptName,
                                      QStringLiteral("type=\"text\" required maxlength=\"%1\" autocomplete=\"off\"")
                                          .arg(WorkspaceAdmin::maxNameLength)));
    WebFrame::send(res, status, QStringLiteral("Projects"), body, &viewer, QStringLiteral("projects"));
}

void ProjectsPage::add(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const QString name = formValue(req, QStringLiteral("name"));
    const auto done = m_admin.addProject(WorkspaceAdmin::Actor::of(viewer.member), name);
    if (!done.ok())
        return showList(res, viewer, 400, {}, done.error, name);
    AdminHtml::done(res, projectPath(done.id), QStringLiteral("added"));
}

void ProjectsPage::project(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    if (!showProject(res, viewer, WebRequest::fromStd(req.matches[1]).toLongLong(), 200,
                     doneNotice(WebRequest::param(req, "done")), {}))
        WebFrame::refuse(res, 404, QStringLiteral("There is no such project."), &viewer);
}

bool ProjectsPage::showProject(httplib::Response &res, const WebSession::Viewer &viewer, qint64 id, int status,
                               const QString &notice, const QString &error)
{
    std::optional<Store::Project> project;
    for (const Store::Project &p : m_store.allProjects()) {
        if (p.id == id)
            project = p;
    }
    if (!project)
        return false;
    const QString path = projectPath(id);
    const QString csrf = WebFrame::csrfField(viewer);
    QString body = WebFrame::heading(QStringLiteral("Projects"), project->name, {},
                                     QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\">All projects</a>").arg(listPath));
    body += AdminHtml::banner(notice, error);
    if (project->archived)
        body += QStringLiteral("<p><span class=\"pill pill-rose\">Archived</span> Members cannot start time on it."
                               " Restore it to use it again.</p>");

    // Name and state.
    body += QStringLiteral("<div class=\"grid-2\"><section class=\"card\" aria-labelledby=\"name-title\">"
                           "<h2 id=\"name-title\">Name</h2><form method=\"post\" action=\"%1/rename\">%2"
                           "<div class=\"form-row\">%3<button class=\"btn btn-brand\" type=\"submit\">Rename</button></div>"
                           "</form><div class=\"actions\">%4</div></section>")
                .arg(path, csrf,
                     AdminHtml::input(QStringLiteral("Project name"), QStringLiteral("name"), project->name,
                                      QStringLiteral("type=\"text\" required maxlength=\"%1\" autocomplete=\"off\"")
                                          .arg(WorkspaceAdmin::maxNameLength)),
                     project->archived
                         ? WebFrame::postButton(viewer, path + QStringLiteral("/restore"), QStringLiteral("Restore project"))
                         : WebFrame::postButton(viewer, path + QStringLiteral("/archive"), QStringLiteral("Archive project"),
                                                QStringLiteral("danger")));

    // Members: who is on it, and who can be added.
    QSet<qint64> onIt;
    for (const Store::Assignment &a : m_store.assignments()) {
        if (a.projectId == id)
            onIt.insert(a.memberId);
    }
    QString members;
    QList<QPair<QString, QString>> others;
    for (const Store::Member &m : m_store.members()) {
        if (onIt.contains(m.id)) {
            members += QStringLiteral("<li><span><a href=\"/web/admin/members/%1\">%2</a> <span class=\"muted small\">%3</span>"
                                      "%4</span>%5</li>")
                           .arg(m.id)
                           .arg(html(m.name), html(m.email),
                                m.disabled ? QStringLiteral(" <span class=\"pill pill-rose\">Disabled</span>") : QString(),
                                AdminHtml::postButton(viewer, path + QStringLiteral("/unassign"),
                                                      QStringLiteral("Remove"), m.name, QStringLiteral("quiet"),
                                                      QStringLiteral("<input type=\"hidden\" name=\"member\" value=\"%1\">")
                                                          .arg(m.id)));
        } else if (!m.disabled) {
            others.append({QString::number(m.id), QStringLiteral("%1 (%2)").arg(m.name, m.email)});
        }
    }
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"members-title\"><h2 id=\"members-title\">Members"
                           " <span class=\"muted\">%1 assigned</span></h2>%2")
                .arg(onIt.size())
                .arg(members.isEmpty() ? QStringLiteral("<p class=\"muted\">Nobody is assigned yet.</p>")
                                       : QStringLiteral("<ul class=\"rows\">%1</ul>").arg(members));
    if (!others.isEmpty())
        body += QStringLiteral("<form method=\"post\" action=\"%1/assign\">%2<div class=\"form-row\">%3"
                               "<button class=\"btn btn-brand\" type=\"submit\">Assign</button></div></form>")
                    .arg(path, csrf, AdminHtml::select(QStringLiteral("Member to assign"), QStringLiteral("member"), others, {}));
    body += QStringLiteral("</section></div>");

    // Tasks.
    QString tasks;
    for (const Store::Task &t : project->tasks) {
        const QString taskPath = QStringLiteral("/web/admin/tasks/%1").arg(t.id);
        tasks += QStringLiteral("<li><form class=\"form-row\" method=\"post\" action=\"%1/rename\">%2%3"
                                "<button class=\"btn btn-quiet\" type=\"submit\">Rename<span class=\"visually-hidden\">"
                                " %4</span></button></form><span class=\"task-state\">%5%6</span></li>")
                     .arg(taskPath, csrf,
                          AdminHtml::input(QStringLiteral("Task name"), QStringLiteral("name"), t.name,
                                           QStringLiteral("type=\"text\" required maxlength=\"%1\" autocomplete=\"off\"")
                                               .arg(WorkspaceAdmin::maxNameLength)),
                          html(t.name),
                          t.archived ? QStringLiteral("<span class=\"pill pill-rose\">Archived</span> ") : QString(),
                          t.archived ? AdminHtml::postButton(viewer, taskPath + QStringLiteral("/restore"),
                                                             QStringLiteral("Restore"), t.name, QStringLiteral("quiet"))
                                     : AdminHtml::postButton(viewer, taskPath + QStringLiteral("/archive"),
                                                             QStringLiteral("Archive"), t.name, QStringLiteral("danger")));
    }
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"tasks-title\"><h2 id=\"tasks-title\">Tasks"
                           " <span class=\"muted\">%1</span></h2>%2"
                           "<form method=\"post\" action=\"%3/task\">%4<div class=\"form-row\">%5"
                           "<button class=\"btn btn-brand\" type=\"submit\">Add task</button></div></form></section>")
                .arg(project->tasks.size())
                .arg(tasks.isEmpty() ? QStringLiteral("<p class=\"muted\">No tasks yet; time can be tracked on the project"
                                                      " itself.</p>")
                                     : QStringLiteral("<ul class=\"rows tasks\">%1</ul>").arg(tasks),
                     path, csrf,
                     AdminHtml::input(QStringLiteral("New task"), QStringLiteral("name"), {},
                                      QStringLiteral("type=\"text\" required maxlength=\"%1\" autocomplete=\"off\"")
                                          .arg(WorkspaceAdmin::maxNameLength)));
    WebFrame::send(res, status, project->name, body, &viewer, QStringLiteral("projects"));
    return true;
}

void ProjectsPage::change(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const qint64 id = WebRequest::fromStd(req.matches[1]).toLongLong();
    const QString what = WebRequest::fromStd(req.matches[2]);
    const auto actor = WorkspaceAdmin::Actor::of(viewer.member);
    const QString name = formValue(req, QStringLiteral("name"));
    const auto member = idFrom(formValue(req, QStringLiteral("member")));
    WorkspaceAdmin::Outcome done;
    if (what == QLatin1String("rename"))
        done = m_admin.renameProject(actor, id, name);
    else if (what == QLatin1String("archive") || what == QLatin1String("restore"))
        done = m_admin.setProjectArchived(actor, id, what == QLatin1String("archive"));
    else if (what == QLatin1String("task"))
        done = m_admin.addTask(actor, id, name);
    else if (!member)
        done.error = QStringLiteral("Choose a member.");
    else if (what == QLatin1String("assign"))
        done = m_admin.assign(actor, *member, id);
    else
        done = m_admin.unassign(actor, *member, id);
    if (!done.ok()) {
        if (!showProject(res, viewer, id, 400, {}, done.error))
            WebFrame::refuse(res, 404, done.error, &viewer);
        return;
    }
    AdminHtml::done(res, projectPath(id), what);
}

void ProjectsPage::changeTask(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const qint64 id = WebRequest::fromStd(req.matches[1]).toLongLong();
    const QString what = WebRequest::fromStd(req.matches[2]);
    const auto task = m_store.task(id);
    if (!task)
        return WebFrame::refuse(res, 404, QStringLiteral("There is no such task."), &viewer);
    const auto actor = WorkspaceAdmin::Actor::of(viewer.member);
    const auto done = what == QLatin1String("rename")
                          ? m_admin.renameTask(actor, id, formValue(req, QStringLiteral("name")))
                          : m_admin.setTaskArchived(actor, id, what == QLatin1String("archive"));
    if (!done.ok()) {
        showProject(res, viewer, task->projectId, 400, {}, done.error);
        return;
    }
    AdminHtml::done(res, projectPath(task->projectId), what);
}
