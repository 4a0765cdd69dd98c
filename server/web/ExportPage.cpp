#include "ExportPage.h"

#include "Calendar.h"
#include "Store.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebSession.h"
#include "WebText.h"
#include "WeekReport.h"

#include <QMap>

#include <httplib.h>

using WebRequest::param;
using WebText::html;

namespace {

// Every project any member is assigned to, by name.
QMap<QString, qint64> knownProjects(Store &store, const QList<Store::Member> &members)
{
    QMap<QString, qint64> out;
    for (const Store::Member &m : members) {
        for (const Store::Project &p : store.projectsFor(m.id))
            out.insert(p.name, p.id);
    }
    return out;
}

QString dates(QDate from, QDate to, const QString &id)
{
    return QStringLiteral("<label>From <input type=\"date\" name=\"from\" value=\"%1\" required id=\"%3-from\"></label>"
                          "<label>To <input type=\"date\" name=\"to\" value=\"%2\" required id=\"%3-to\"></label>")
        .arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate), id);
}

} // namespace

ExportPage::ExportPage(Store &store, WebSession &session)
    : m_store(store)
    , m_session(session)
{
}

void ExportPage::install(httplib::Server &server)
{
    server.Get("/web/export", WebFrame::guarded([this](const auto &req, auto &res) { form(req, res); }));
    server.Get("/web/export.csv", WebFrame::guarded([this](const auto &req, auto &res) { csv(req, res); }));
}

void ExportPage::form(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const QDate today = QDateTime::fromMSecsSinceEpoch(m_store.now(), Calendar::zone(viewer->member.timeZone)).date();
    const QDate from = WeekReport::mondayOf(today);
    QString b = WebFrame::heading(QStringLiteral("Export"), QStringLiteral("Time entries as CSV"), {}, {});
    b += QStringLiteral("<p class=\"muted\">Closed entries that overlap the days, each in its member's time zone; "
                        "at most a year at a time.</p><div class=\"grid-3\">");
    if (!viewer->seesTeam()) {
        b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-own\"><h2 id=\"h-own\">Your time</h2>"
                            "<form method=\"get\" action=\"/web/export.csv\">%1"
                            "<button class=\"btn btn-brand\" type=\"submit\">Download CSV</button></form></section>")
                 .arg(dates(from, today, QStringLiteral("own")));
    } else {
        const QList<Store::Member> members = m_store.members();
        QString people;
        for (const Store::Member &m : members)
            people += QStringLiteral("<option value=\"%1\"%2>%3</option>")
                          .arg(m.id)
                          .arg(m.id == viewer->member.id ? QStringLiteral(" selected") : QString(),
                               html(m.name.isEmpty() ? m.email : m.name));
        QString projects;
        const QMap<QString, qint64> known = knownProjects(m_store, members);
        for (auto it = known.cbegin(); it != known.cend(); ++it)
            projects += QStringLiteral("<option value=\"%1\">%2</option>").arg(it.value()).arg(html(it.key()));
        b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-member\"><h2 id=\"h-member\">One member</h2>"
                            "<form method=\"get\" action=\"/web/export.csv\"><label>Member <select name=\"member\">%1</select></label>%2"
                            "<button class=\"btn btn-brand\" type=\"submit\">Download CSV</button></form></section>")
                 .arg(people, dates(from, today, QStringLiteral("member")));
        b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-project\"><h2 id=\"h-project\">A project</h2>"
                            "<form method=\"get\" action=\"/web/export.csv\"><label>Project <select name=\"project\">%1</select></label>%2"
                            "<button class=\"btn btn-brand\" type=\"submit\"%3>Download CSV</button></form></section>")
                 .arg(projects, dates(from, today, QStringLiteral("project")),
                      known.isEmpty() ? QStringLiteral(" disabled") : QString());
        b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-team\"><h2 id=\"h-team\">The team</h2>"
                            "<form method=\"get\" action=\"/web/export.csv\"><input type=\"hidden\" name=\"team\" value=\"1\">%1"
                            "<button class=\"btn btn-brand\" type=\"submit\">Download CSV</button></form></section>")
                 .arg(dates(from, today, QStringLiteral("team")));
    }
    b += QStringLiteral("</div>");
    WebFrame::send(res, 200, QStringLiteral("Export"), b, &*viewer, QStringLiteral("export"));
}

void ExportPage::csv(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const auto from = WebRequest::date(param(req, "from"));
    const auto to = WebRequest::date(param(req, "to"));
    const bool team = !param(req, "team").isEmpty();
    const QString projectParam = param(req, "project");
    std::optional<qint64> project;
    if (!projectParam.isEmpty()) {
        bool good = false;
        project = projectParam.toLongLong(&good);
        if (!good)
            return WebFrame::refuse(res, 400, QStringLiteral("There is no such project."), &*viewer);
    }

    QList<Store::Member> members;
    QString scope;
    if (team || project) {
        if (!viewer->seesTeam())
            return WebFrame::refuse(res, 403, QStringLiteral("You can export only your own time."), &*viewer);
        members = m_store.members();
        scope = team ? QStringLiteral("team") : QStringLiteral("project-%1").arg(*project);
    } else {
        const auto member = m_session.subject(*viewer, param(req, "member"));
        if (!member)
            return WebFrame::refuse(res, 403, QStringLiteral("You can export only your own time."), &*viewer);
        members.append(*member);
        scope = QString::number(member->id);
    }
    if (!from || !to || *to < *from || from->daysTo(*to) > 366)
        return WebFrame::refuse(res, 400, QStringLiteral("Give from and to as dates (yyyy-mm-dd), at most a year apart."),
                                &*viewer);

    QString csv = WebText::csvRow({"member", "date", "start", "end", "duration_seconds", "project", "task", "type",
                                   "needs_review", "private"});
    for (const Store::Member &member : members) {
        const QTimeZone zone = Calendar::zone(member.timeZone);
        const qint64 begin = Calendar::day(*from, zone).from, end = Calendar::day(*to, zone).to;
        for (const Store::Entry &e : m_store.entriesBetween(member.id, begin, end)) {
            if (!e.stoppedAt)
                continue; // a running entry has no duration yet
            if (project && e.projectId != project)
                continue;
            const QDateTime start = QDateTime::fromMSecsSinceEpoch(e.startedAt, zone);
            csv += WebText::csvRow({member.email, start.date().toString(Qt::ISODate), start.toString(Qt::ISODate),
                                    QDateTime::fromMSecsSinceEpoch(*e.stoppedAt, zone).toString(Qt::ISODate),
                                    QString::number((*e.stoppedAt - e.startedAt) / 1000),
                                    e.projectName.isEmpty() ? e.projectRef : e.projectName,
                                    e.taskName.isEmpty() ? e.taskRef : e.taskName, e.type,
                                    e.flagged ? QStringLiteral("yes") : QStringLiteral("no"),
                                    e.isPrivate ? QStringLiteral("yes") : QStringLiteral("no")});
        }
    }
    const QByteArray bytes = csv.toUtf8();
    WebFrame::secureHeaders(res);
    const QString name = QStringLiteral("zimbrel-%1-%2-%3.csv").arg(scope, from->toString(Qt::ISODate), to->toString(Qt::ISODate));
    res.set_header("Content-Disposition", QStringLiteral("attachment; filename=\"%1\"").arg(name).toStdString());
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/csv; charset=utf-8");
}
