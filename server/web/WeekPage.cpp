#include "WeekPage.h"

#include "Calendar.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebSession.h"
#include "WebText.h"
#include "WeekReport.h"

#include <httplib.h>

using WebText::duration;
using WebText::html;
using WebText::percent;

namespace {

QString weekLink(QDate monday)
{
    return QStringLiteral("/web/week?date=") + monday.toString(Qt::ISODate);
}

QString reviewPill(int count, const QString &label = {})
{
    if (count <= 0)
        return {};
    return QStringLiteral("<span class=\"pill pill-amber\" title=\"Entries needing review: an unknown project or an implausible time\">"
                          "%1%2</span>")
        .arg(count)
        .arg(label);
}

} // namespace

WeekPage::WeekPage(Store &store, WebSession &session)
    : m_store(store)
    , m_session(session)
{
}

void WeekPage::install(httplib::Server &server)
{
    server.Get("/web/week", WebFrame::guarded([this](const auto &req, auto &res) { week(req, res); }));
}

void WeekPage::week(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    if (!viewer->seesTeam())
        return WebFrame::refuse(res, 403, QStringLiteral("Only owners, admins and managers see the team's week."), &*viewer);
    const QTimeZone zone = Calendar::zone(viewer->member.timeZone);
    const QDate today = QDateTime::fromMSecsSinceEpoch(m_store.now(), zone).date();
    const QDate monday = WeekReport::mondayOf(WebRequest::date(WebRequest::param(req, "date")).value_or(today));
    const QDate thisMonday = WeekReport::mondayOf(today);

    // Disabled members only when they have time in the week.
    WeekReport w = WeekReport::load(m_store, m_store.members(), monday);
    w.rows.erase(std::remove_if(w.rows.begin(), w.rows.end(),
                                [](const WeekReport::Row &r) { return r.member.disabled && r.weekMs == 0; }),
                 w.rows.end());

    QString tools = QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\" aria-label=\"Week before\">← Earlier</a>")
                        .arg(weekLink(monday.addDays(-7)));
    if (monday != thisMonday)
        tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"/web/week\">This week</a>");
    if (monday < thisMonday)
        tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\" aria-label=\"Week after\">Later →</a>")
                     .arg(weekLink(monday.addDays(7)));
    const QDate sunday = monday.addDays(6);
    tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"/web/export.csv?team=1&amp;from=%1&amp;to=%2\">CSV</a>")
                 .arg(monday.toString(Qt::ISODate), sunday.toString(Qt::ISODate));

    const QString span = monday.month() == sunday.month()
                           ? QStringLiteral("%1 – %2").arg(monday.day()).arg(sunday.toString(QStringLiteral("d MMMM")))
                           : QStringLiteral("%1 – %2").arg(monday.toString(QStringLiteral("d MMMM")), sunday.toString(QStringLiteral("d MMMM")));
    QString b = WebFrame::heading(QStringLiteral("Team"), QStringLiteral("Week of ") + span, sunday.toString(QStringLiteral("yyyy")), tools);

    int review = 0;
    for (const WeekReport::Row &r : w.rows)
        review += r.review();
    b += QStringLiteral("<div class=\"stats\"><div class=\"stat\"><span class=\"value\">%1</span><span class=\"label\">Team total</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%2</span><span class=\"label\">Members</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%3</span><span class=\"label\">Projects</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%4</span><span class=\"label\">Entries to review</span></div></div>")
             .arg(duration(w.weekMs))
             .arg(w.rows.size())
             .arg(w.projects.size())
             .arg(review);

    QString head = QStringLiteral("<tr><th scope=\"col\">Member</th>");
    for (int i = 0; i < 7; ++i) {
        const QDate d = monday.addDays(i);
        head += QStringLiteral("<th scope=\"col\" class=\"num%1\"><abbr title=\"%2\">%3</abbr> %4</th>")
                    .arg(d == today ? QStringLiteral(" today") : QString(), d.toString(QStringLiteral("dddd d MMMM")),
                         d.toString(QStringLiteral("ddd")), QString::number(d.day()));
    }
    head += QStringLiteral("<th scope=\"col\" class=\"num\">Week</th></tr>");

    QString rows;
    for (const WeekReport::Row &r : w.rows) {
        const QString name = r.member.name.isEmpty() ? r.member.email : r.member.name;
        rows += QStringLiteral("<tr><th scope=\"row\" class=\"member\"><a href=\"/web/day?member=%1\">%2</a>%3%4</th>")
                    .arg(r.member.id)
                    .arg(html(name),
                         r.member.disabled ? QStringLiteral(" <span class=\"pill\">disabled</span>") : QString(),
                         r.implausible > 0 ? QStringLiteral(" ") + reviewPill(r.implausible, QStringLiteral(" implausible")) : QString());
        for (int i = 0; i < 7; ++i) {
            const WeekReport::Day &d = r.days[i];
            const QString cls = QStringLiteral("num day%1%2")
                                    .arg(d.date == today ? QStringLiteral(" today") : QString(),
                                         d.ms == 0 ? QStringLiteral(" none") : QString());
            if (d.ms == 0 && d.date > today) {
                rows += QStringLiteral("<td class=\"%1\"><span class=\"hours\"></span></td>").arg(cls);
                continue;
            }
            rows += QStringLiteral("<td class=\"%1\"><a class=\"hours\" href=\"/web/day?date=%2&amp;member=%3\" aria-label=\"%4, %5: %6\">%7</a>"
                                   "<span class=\"act-pct\">%8</span>%9</td>")
                        .arg(cls, d.date.toString(Qt::ISODate), QString::number(r.member.id), html(name),
                             d.date.toString(QStringLiteral("dddd")), duration(d.ms),
                             d.ms == 0 ? QStringLiteral("–") : duration(d.ms),
                             d.activity ? percent(d.activity) : QString(),
                             reviewPill(d.review, QStringLiteral(" to review")));
        }
        rows += QStringLiteral("<td class=\"num week-total\"><span class=\"hours\">%1</span><span class=\"act-pct\">%2</span></td></tr>")
                    .arg(duration(r.weekMs), r.activity ? percent(r.activity) + QStringLiteral(" active") : QString());
    }
    QString foot = QStringLiteral("<tr><th scope=\"row\">Team</th>");
    for (int i = 0; i < 7; ++i)
        foot += QStringLiteral("<td class=\"num\">%1</td>").arg(w.dayMs[i] ? duration(w.dayMs[i]) : QStringLiteral("–"));
    foot += QStringLiteral("<td class=\"num\">%1</td></tr>").arg(duration(w.weekMs));

    b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-members\"><h2 id=\"h-members\">Hours per day "
                        "<span class=\"muted\">each member's days in their own time zone; activity below the hours</span></h2>"
                        "<div class=\"scroll\"><table class=\"data week\"><thead>%1</thead><tbody>%2</tbody><tfoot>%3</tfoot></table></div>"
                        "</section>")
             .arg(head, rows.isEmpty() ? QStringLiteral("<tr><td colspan=\"9\">No members yet.</td></tr>") : rows, foot);

    QString projects;
    const qint64 most = w.projects.isEmpty() ? 1 : std::max<qint64>(1, w.projects.first().ms);
    for (const WeekReport::Project &p : w.projects) {
        projects += QStringLiteral("<tr><th scope=\"row\"><span class=\"proj\"><span class=\"swatch %1\"></span><span>%2%3</span></span></th>"
                                   "<td class=\"share\"><meter min=\"0\" max=\"%4\" value=\"%5\" aria-hidden=\"true\"></meter></td>"
                                   "<td class=\"num\">%6</td><td class=\"num\">%7</td></tr>")
                        .arg(WebText::projectClass(p.id), html(p.name.isEmpty() ? QStringLiteral("(none)") : p.name),
                             p.id ? QString() : QStringLiteral(" <span class=\"pill pill-amber\">unknown project</span>"))
                        .arg(most)
                        .arg(p.ms)
                        .arg(duration(p.ms), w.weekMs ? QString::number(std::lround(100.0 * double(p.ms) / double(w.weekMs))) + QStringLiteral(" %")
                                                      : QString());
    }
    b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-projects\"><h2 id=\"h-projects\">Projects this week</h2>%1</section>")
             .arg(projects.isEmpty() ? QStringLiteral("<p class=\"muted\">No time tracked this week.</p>")
                                     : QStringLiteral("<div class=\"scroll\"><table class=\"data projects\"><thead><tr><th scope=\"col\">Project</th>"
                                                      "<th scope=\"col\" class=\"share\"><span class=\"visually-hidden\">Share</span></th>"
                                                      "<th scope=\"col\" class=\"num\">Hours</th><th scope=\"col\" class=\"num\">Share</th>"
                                                      "</tr></thead><tbody>%1</tbody></table></div>")
                                           .arg(projects));
    WebFrame::send(res, 200, QStringLiteral("Team week of ") + monday.toString(Qt::ISODate), b, &*viewer, QStringLiteral("week"));
}
