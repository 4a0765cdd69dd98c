#include "AuditPage.h"

#include "Calendar.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebText.h"

#include <QDateTime>
#include <QHash>

#include <httplib.h>

using WebText::html;

namespace {

QString actionText(const QString &action)
{
    static const QHash<QString, QString> texts{
        {QStringLiteral("member.invite"), QStringLiteral("Invited a member")},
        {QStringLiteral("member.disable"), QStringLiteral("Disabled a member")},
        {QStringLiteral("member.enable"), QStringLiteral("Enabled a member")},
        {QStringLiteral("member.signout"), QStringLiteral("Signed a member out everywhere")},
        {QStringLiteral("member.role"), QStringLiteral("Changed a role")},
        {QStringLiteral("member.zone"), QStringLiteral("Changed a time zone")},
        {QStringLiteral("member.password"), QStringLiteral("Set a password")},
        {QStringLiteral("project.add"), QStringLiteral("Added a project")},
        {QStringLiteral("project.rename"), QStringLiteral("Renamed a project")},
        {QStringLiteral("project.archive"), QStringLiteral("Archived a project")},
        {QStringLiteral("project.restore"), QStringLiteral("Restored a project")},
        {QStringLiteral("project.assign"), QStringLiteral("Assigned a member")},
        {QStringLiteral("project.unassign"), QStringLiteral("Removed a member from a project")},
        {QStringLiteral("task.add"), QStringLiteral("Added a task")},
        {QStringLiteral("task.rename"), QStringLiteral("Renamed a task")},
        {QStringLiteral("task.archive"), QStringLiteral("Archived a task")},
        {QStringLiteral("task.restore"), QStringLiteral("Restored a task")},
        {QStringLiteral("setting"), QStringLiteral("Changed a setting")},
    };
    return texts.value(action, action);
}

// Settings are logged by their key; shown by what they mean.
QString targetText(const AuditLog::Row &row)
{
    static const QHash<QString, QString> settings{
        {QStringLiteral("screenshots"), QStringLiteral("Screenshots")},
        {QStringLiteral("screenshot_interval"), QStringLiteral("Screenshot interval (minutes)")},
        {QStringLiteral("retention_days"), QStringLiteral("Kept for (days)")},
    };
    return row.action == QLatin1String("setting") ? settings.value(row.target, row.target) : row.target;
}

} // namespace

AuditPage::AuditPage(WorkspaceAdmin &admin)
    : m_admin(admin)
{
}

void AuditPage::install(httplib::Server &server, const AdminHtml::Gate &gate)
{
    using namespace std::placeholders;
    server.Get("/web/admin/audit", gate(std::bind(&AuditPage::show, this, _1, _2, _3), false));
}

void AuditPage::show(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    bool good = false;
    const qint64 before = WebRequest::param(req, "before").toLongLong(&good);
    // One more than shown tells whether there is an older page.
    QList<AuditLog::Row> rows = m_admin.audit().recent(rowsPerPage + 1,
                                                       good && before > 0 ? std::optional<qint64>(before) : std::nullopt);
    const bool more = rows.size() > rowsPerPage;
    if (more)
        rows.removeLast();
    const QTimeZone zone = Calendar::zone(viewer.member.timeZone);
    QString items;
    for (const AuditLog::Row &r : rows) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(r.at, zone);
        items += QStringLiteral("<li><p class=\"audit-when\"><time datetime=\"%1\">%2</time><span class=\"audit-who\">%3</span></p>"
                                "<p class=\"audit-what\"><strong>%4</strong> %5</p>%6</li>")
                     .arg(Calendar::iso(r.at), at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), html(r.actor),
                          html(actionText(r.action)), html(targetText(r)),
                          r.detail.isEmpty() ? QString()
                                             : QStringLiteral("<p class=\"audit-detail\">%1</p>").arg(html(r.detail)));
    }
    QString body = WebFrame::heading(QStringLiteral("Workspace"), QStringLiteral("Audit log"),
                                     QStringLiteral("newest first"));
    body += QStringLiteral("<section class=\"card\" aria-labelledby=\"audit-title\"><h2 id=\"audit-title\">Changes"
                           " <span class=\"muted\">times in %1</span></h2>%2")
                .arg(html(QString::fromUtf8(zone.id())),
                     rows.isEmpty() ? QStringLiteral("<p class=\"muted\">Nothing has been changed yet.</p>")
                                    : QStringLiteral("<ol class=\"audit\">%1</ol>").arg(items));
    if (more)
        body += QStringLiteral("<p><a class=\"btn btn-quiet\" href=\"/web/admin/audit?before=%1\">Older changes</a></p>")
                    .arg(rows.last().id);
    if (good)
        body += QStringLiteral("<p><a href=\"/web/admin/audit\">Newest changes</a></p>");
    body += QStringLiteral("</section>");
    WebFrame::send(res, 200, QStringLiteral("Audit log"), body, &viewer, QStringLiteral("audit"));
}
