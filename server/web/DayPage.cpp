#include "DayPage.h"

#include "BlobStore.h"
#include "Calendar.h"
#include "DayReport.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebSession.h"
#include "WebText.h"

#include <QMap>
#include <QtDebug>

#include <httplib.h>

#include <algorithm>
#include <cmath>

using WebRequest::param;
using WebText::duration;
using WebText::html;
using WebText::percent;

namespace {

constexpr qint64 hourMs = 3600 * 1000;
constexpr qint64 minuteMs = 60 * 1000;

// The whole hours of the day the timeline shows: from the hour of the first
// thing recorded to the hour after the last, at least eight hours; working
// hours on an empty day.
Calendar::Span window(const DayReport &d)
{
    std::optional<qint64> first, last;
    auto see = [&](qint64 from, qint64 to) {
        first = first ? std::min(*first, from) : from;
        last = last ? std::max(*last, to) : to;
    };
    for (const DayReport::Entry &e : d.entries)
        see(e.from, e.to);
    for (const DayReport::Slot &s : d.slots) {
        if (s.activity)
            see(s.from, s.from + DayReport::slotMs);
    }
    for (const DayReport::Shot &s : d.shots)
        see(s.at, s.at);
    const qint64 length = d.span.to - d.span.from;
    qint64 from = first ? (*first - d.span.from) / hourMs * hourMs : 8 * hourMs;
    qint64 to = last ? (*last - d.span.from + hourMs - 1) / hourMs * hourMs : 18 * hourMs;
    if (to - from < 8 * hourMs) {
        to = std::min(length, from + 8 * hourMs);
        from = std::max<qint64>(0, to - 8 * hourMs);
    }
    return {d.span.from + from, d.span.from + std::min(to, length)};
}

QString dayLink(QDate date, const QString &who)
{
    return QStringLiteral("/web/day?date=%1%2").arg(date.toString(Qt::ISODate), who);
}

// The entries as coloured blocks over the hours, the screenshots as ticks
// and the activity of each ten minutes as bars. The entries table and the
// activity table below say the same in text.
QString timeline(const DayReport &d, const Calendar::Span &view, const QTimeZone &zone)
{
    const qint64 width = (view.to - view.from) / minuteMs;
    const int hours = int((view.to - view.from) / hourMs);
    auto x = [&](qint64 t) { return QString::number(double(t - view.from) / minuteMs, 'f', 1); };
    auto w = [&](qint64 a, qint64 b) { return QString::number(std::max(0.6, double(b - a) / minuteMs), 'f', 1); };

    QString labels = QStringLiteral("<ol class=\"hours hours-%1\" aria-hidden=\"true\">").arg(hours);
    for (int h = 0; h < hours; ++h)
        labels += QStringLiteral("<li>%1</li>").arg(Calendar::clockTime(view.from + h * hourMs, zone).left(2));
    labels += QStringLiteral("</ol>");

    QString svg = QStringLiteral("<svg class=\"timeline\" viewBox=\"0 0 %1 100\" preserveAspectRatio=\"none\" role=\"img\" "
                                 "aria-label=\"Timeline: %2 tracked, activity %3\">"
                                 "<rect class=\"lane\" x=\"0\" y=\"0\" width=\"%1\" height=\"30\"/>")
                      .arg(width)
                      .arg(duration(d.trackedMs), percent(d.activity));
    for (int h = 1; h < hours; ++h)
        svg += QStringLiteral("<line class=\"hour\" x1=\"%1\" x2=\"%1\" y1=\"0\" y2=\"100\" vector-effect=\"non-scaling-stroke\"/>")
                   .arg(h * 60);
    for (const DayReport::Entry &e : d.entries) {
        const qint64 from = std::max(e.from, view.from), to = std::min(e.to, view.to);
        if (to <= from)
            continue;
        svg += QStringLiteral("<rect class=\"%1\" x=\"%2\" y=\"3\" width=\"%3\" height=\"24\"><title>%4 · %5–%6</title></rect>")
                   .arg(WebText::projectClass(e.needsReview ? std::nullopt : e.projectId), x(from), w(from, to),
                        html(e.project.isEmpty() ? QStringLiteral("No project") : e.project),
                        Calendar::clockTime(e.from, zone), Calendar::clockTime(e.to, zone));
    }
    for (const DayReport::Shot &s : d.shots) {
        if (s.at >= view.from && s.at < view.to)
            svg += QStringLiteral("<rect class=\"shot-tick\" x=\"%1\" y=\"35\" width=\"1.2\" height=\"9\"/>").arg(x(s.at));
    }
    for (const DayReport::Slot &s : d.slots) {
        if (!s.activity || s.from < view.from || s.from >= view.to)
            continue;
        const double h = 3 + 50 * std::clamp(*s.activity, 0.0, 100.0) / 100;
        svg += QStringLiteral("<rect class=\"%1\" x=\"%2\" y=\"%3\" width=\"8\" height=\"%4\"/>")
                   .arg(*s.activity < 2 ? QStringLiteral("act-low") : QStringLiteral("act"),
                        QString::number(double(s.from - view.from) / minuteMs + 1, 'f', 1), QString::number(100 - h, 'f', 1),
                        QString::number(h, 'f', 1));
    }
    svg += QStringLiteral("</svg>");

    // The projects of the day with their time, as the legend.
    QMap<QString, QPair<QString, qint64>> projects;
    for (const DayReport::Entry &e : d.entries) {
        auto &p = projects[e.project];
        p.first = WebText::projectClass(e.needsReview ? std::nullopt : e.projectId);
        p.second += e.ms();
    }
    QString legend = QStringLiteral("<ul class=\"legend\">");
    for (auto it = projects.cbegin(); it != projects.cend(); ++it)
        legend += QStringLiteral("<li><span class=\"swatch %1\"></span>%2 · %3</li>")
                      .arg(it->first, html(it.key().isEmpty() ? QStringLiteral("No project") : it.key()), duration(it->second));
    legend += QStringLiteral("<li><span class=\"swatch act\"></span>Activity per ten minutes</li>"
                             "<li><span class=\"swatch shot\"></span>Screenshot</li></ul>");
    return QStringLiteral("<div class=\"timeline-box\">%1%2</div>%3").arg(labels, svg, legend);
}

QString entriesTable(const DayReport &d, const QTimeZone &zone)
{
    if (d.entries.isEmpty())
        return QStringLiteral("<p class=\"muted\">No time tracked on this day.</p>");
    QString rows;
    for (const DayReport::Entry &e : d.entries) {
        QString flags;
        if (e.running)
            flags += QStringLiteral("<span class=\"pill pill-brand\">running</span> ");
        if (e.needsReview)
            flags += QStringLiteral("<span class=\"pill pill-amber\">needs review</span> ");
        if (e.isPrivate)
            flags += QStringLiteral("<span class=\"pill pill-violet\">private</span> ");
        if (e.type != QLatin1String("tracked") && !e.type.isEmpty())
            flags += QStringLiteral("<span class=\"pill\">%1</span>").arg(html(e.type));
        rows += QStringLiteral("<tr><td class=\"num\">%1</td><td class=\"num\">%2</td><td class=\"num\">%3</td>"
                               "<td><span class=\"proj\"><span class=\"swatch %4\"></span><span>%5</span></span>%8</td><td class=\"task\">%6</td><td>%7</td></tr>")
                    .arg(Calendar::clockTime(e.from, zone), e.running ? QStringLiteral("now") : Calendar::clockTime(e.to, zone),
                         duration(e.ms()), WebText::projectClass(e.needsReview ? std::nullopt : e.projectId),
                         html(e.project.isEmpty() ? QStringLiteral("(none)") : e.project), html(e.task), flags,
                         // On a phone the task goes under the project instead of in its own column.
                         e.task.isEmpty() ? QString() : QStringLiteral("<span class=\"under\">%1</span>").arg(html(e.task)));
    }
    return QStringLiteral("<div class=\"scroll\"><table class=\"data\"><caption class=\"visually-hidden\">Entries</caption>"
                          "<thead><tr><th scope=\"col\" class=\"num\">Start</th><th scope=\"col\" class=\"num\">End</th>"
                          "<th scope=\"col\" class=\"num\">Duration</th><th scope=\"col\">Project</th><th scope=\"col\" class=\"task\">Task</th>"
                          "<th scope=\"col\"><span class=\"visually-hidden\">Flags</span></th></tr></thead>"
                          "<tbody>%1</tbody></table></div>")
        .arg(rows);
}

QString activityTable(const DayReport &d, const QTimeZone &zone)
{
    QString rows;
    for (const DayReport::Slot &s : d.slots) {
        if (!s.activity)
            continue;
        rows += QStringLiteral("<tr><td class=\"num\">%1</td><td><meter min=\"0\" max=\"100\" value=\"%2\">%3</meter></td>"
                               "<td class=\"num\">%3</td><td class=\"num\">%4</td><td class=\"num\">%5</td></tr>")
                    .arg(Calendar::clockTime(s.from, zone), QString::number(std::lround(*s.activity)), percent(s.activity))
                    .arg(s.keys)
                    .arg(s.clicks);
    }
    if (rows.isEmpty())
        return QStringLiteral("<p class=\"muted\">No activity recorded.</p>");
    return QStringLiteral("<details><summary>Activity per ten minutes as a table</summary><div class=\"scroll\">"
                          "<table class=\"data\"><thead><tr><th scope=\"col\" class=\"num\">From</th><th scope=\"col\">Activity</th>"
                          "<th scope=\"col\" class=\"num\">%</th><th scope=\"col\" class=\"num\">Keys</th>"
                          "<th scope=\"col\" class=\"num\">Clicks</th></tr></thead><tbody>%1</tbody></table></div></details>")
        .arg(rows);
}

QString appsList(const DayReport &d)
{
    if (d.apps.isEmpty())
        return QStringLiteral("<p class=\"muted\">No applications recorded.</p>");
    const qint64 longest = std::max<qint64>(1, d.apps.first().ms);
    QString out = QStringLiteral("<ul class=\"apps\">");
    for (const DayReport::App &a : d.apps)
        out += QStringLiteral("<li><span class=\"name\">%1</span><span class=\"time\">%2</span>"
                              "<meter min=\"0\" max=\"%3\" value=\"%4\" aria-hidden=\"true\"></meter></li>")
                   .arg(html(a.name), duration(a.ms))
                   .arg(longest)
                   .arg(a.ms);
    return out + QStringLiteral("</ul>");
}

// The screenshots by the hour they were taken, each with its time, activity
// and application; each opens in full.
QString shotGrid(const DayReport &d, const QTimeZone &zone)
{
    if (d.shots.isEmpty())
        return QStringLiteral("<p class=\"muted\">No screenshots on this day.</p>");
    QMap<qint64, QList<DayReport::Shot>> byHour;
    for (const DayReport::Shot &s : d.shots)
        byHour[(s.at - d.span.from) / hourMs].append(s);
    QString out = QStringLiteral("<div class=\"shot-hours\">");
    for (auto it = byHour.cbegin(); it != byHour.cend(); ++it) {
        const QString hour = Calendar::clockTime(it->first().at, zone).left(2) + QStringLiteral(":00");
        out += QStringLiteral("<section class=\"shot-hour\" aria-label=\"%1\"><h3>%1</h3><ul class=\"shots\">").arg(hour);
        for (const DayReport::Shot &s : *it) {
            const QString time = Calendar::clockTime(s.at, zone);
            out += QStringLiteral("<li><a href=\"/web/shot/%1\"><img src=\"/web/screenshots/%1\" loading=\"lazy\" "
                                  "alt=\"Screenshot at %2%3\"><span class=\"meta\"><span>%2</span><span>%4</span></span>"
                                  "<span class=\"meta app\">%5</span></a></li>")
                       .arg(s.id)
                       .arg(time, s.app.isEmpty() ? QString() : QStringLiteral(", ") + html(s.app), percent(s.activity),
                            html(s.app.isEmpty() ? QStringLiteral(" ") : s.app));
        }
        out += QStringLiteral("</ul></section>");
    }
    return out + QStringLiteral("</div>");
}

} // namespace

DayPage::DayPage(Store &store, BlobStore &blobs, WebSession &session)
    : m_store(store)
    , m_blobs(blobs)
    , m_session(session)
{
}

void DayPage::install(httplib::Server &server)
{
    server.Get("/web/day", WebFrame::guarded([this](const auto &req, auto &res) { day(req, res); }));
    server.Get(R"(/web/shot/(\d{1,18}))", WebFrame::guarded([this](const auto &req, auto &res) { shot(req, res); }));
    server.Get(R"(/web/screenshots/(\d{1,18}))", WebFrame::guarded([this](const auto &req, auto &res) { image(req, res); }));
}

void DayPage::day(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const auto member = m_session.subject(*viewer, param(req, "member"));
    if (!member)
        return WebFrame::refuse(res, 403, QStringLiteral("You can see only your own days."), &*viewer);
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const QDate today = QDateTime::fromMSecsSinceEpoch(m_store.now(), zone).date();
    const QDate date = WebRequest::date(param(req, "date")).value_or(today);
    const DayReport d = DayReport::load(m_store, *member, date);
    const bool own = member->id == viewer->member.id;
    const QString who = own ? QString() : QStringLiteral("&amp;member=%1").arg(member->id);

    QString tools = QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\" aria-label=\"Day before\">← Earlier</a>")
                        .arg(dayLink(date.addDays(-1), who));
    if (date < today)
        tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1\" aria-label=\"Day after\">Later →</a>")
                     .arg(dayLink(date.addDays(1), who));
    tools += QStringLiteral("<form class=\"inline pick\" method=\"get\" action=\"/web/day\">%1"
                            "<label class=\"visually-hidden\" for=\"pick-date\">Date</label>"
                            "<input id=\"pick-date\" type=\"date\" name=\"date\" value=\"%2\" max=\"%3\">"
                            "<button class=\"btn btn-quiet\" type=\"submit\">Go</button></form>")
                 .arg(own ? QString() : QStringLiteral("<input type=\"hidden\" name=\"member\" value=\"%1\">").arg(member->id),
                      date.toString(Qt::ISODate), today.toString(Qt::ISODate));

    QString b = WebFrame::heading(own ? QStringLiteral("Your day") : member->name,
                                  date.toString(QStringLiteral("dddd, d MMMM")), date.toString(QStringLiteral("yyyy")), tools);
    if (viewer->seesTeam()) {
        QString options;
        for (const Store::Member &m : m_store.members())
            options += QStringLiteral("<option value=\"%1\"%2>%3</option>")
                           .arg(m.id)
                           .arg(m.id == member->id ? QStringLiteral(" selected") : QString(),
                                html(m.name.isEmpty() ? m.email : m.name));
        b += QStringLiteral("<form class=\"form-row member-pick\" method=\"get\" action=\"/web/day\">"
                            "<input type=\"hidden\" name=\"date\" value=\"%1\">"
                            "<label>Member <select name=\"member\">%2</select></label>"
                            "<button class=\"btn btn-quiet\" type=\"submit\">Show</button></form>")
                 .arg(date.toString(Qt::ISODate), options);
    }

    const QString first = d.entries.isEmpty() ? QStringLiteral("—") : Calendar::clockTime(d.entries.first().from, zone);
    const QString last = d.entries.isEmpty() ? QStringLiteral("—")
                       : d.entries.last().running ? QStringLiteral("now")
                                                  : Calendar::clockTime(d.entries.last().to, zone);
    b += QStringLiteral("<div class=\"stats\"><div class=\"stat\"><span class=\"value\">%1</span><span class=\"label\">Tracked%2</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%3</span><span class=\"label\">Activity</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%4 – %5</span><span class=\"label\">First and last</span></div>"
                        "<div class=\"stat\"><span class=\"value\">%6</span><span class=\"label\">Screenshots</span></div></div>")
             .arg(duration(d.trackedMs),
                  d.reviewMs > 0 ? QStringLiteral(" · <span class=\"pill pill-amber\">%1 needs review</span>").arg(duration(d.reviewMs))
                                 : QString(),
                  percent(d.activity), first, last, QString::number(d.shots.size()));

    const Calendar::Span view = window(d);
    b += QStringLiteral("<section class=\"card\" aria-labelledby=\"h-timeline\"><h2 id=\"h-timeline\">Timeline "
                        "<span class=\"muted\">times in %1</span></h2>%2%3</section>")
             .arg(html(QString::fromUtf8(zone.id())), timeline(d, view, zone), activityTable(d, zone));
    b += QStringLiteral("<div class=\"grid-day\"><section class=\"card\" aria-labelledby=\"h-entries\"><h2 id=\"h-entries\">Entries "
                        "<span class=\"muted\">%1</span></h2>%2"
                        "<p class=\"small\"><a href=\"/web/export.csv?from=%3&amp;to=%3%4\">CSV of this day</a></p></section>"
                        "<section class=\"card\" aria-labelledby=\"h-apps\"><h2 id=\"h-apps\">Applications</h2>%5</section></div>")
             .arg(duration(d.trackedMs), entriesTable(d, zone), date.toString(Qt::ISODate), who, appsList(d));
    b += QStringLiteral("<section class=\"card\" id=\"shots\" aria-labelledby=\"h-shots\"><h2 id=\"h-shots\">Screenshots "
                        "<span class=\"muted\">%1</span></h2>%2</section>")
             .arg(d.shots.size())
             .arg(shotGrid(d, zone));
    WebFrame::send(res, 200, member->name + QStringLiteral(" — ") + date.toString(Qt::ISODate), b, &*viewer,
                   own ? QStringLiteral("day") : QStringLiteral("week"));
}

void DayPage::shot(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const auto stored = m_store.screenshot(QString::fromStdString(req.matches[1]).toLongLong());
    const auto member = stored ? m_session.subject(*viewer, QString::number(stored->memberId)) : std::nullopt;
    if (!member)
        return WebFrame::refuse(res, 404, QStringLiteral("There is no such screenshot."), &*viewer);
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const QDate date = QDateTime::fromMSecsSinceEpoch(stored->capturedAt, zone).date();
    const DayReport d = DayReport::load(m_store, *member, date);
    const auto it = std::find_if(d.shots.cbegin(), d.shots.cend(), [&](const auto &s) { return s.id == stored->id; });
    if (it == d.shots.cend())
        return WebFrame::refuse(res, 404, QStringLiteral("There is no such screenshot."), &*viewer);
    const bool own = member->id == viewer->member.id;
    const QString who = own ? QString() : QStringLiteral("&amp;member=%1").arg(member->id);
    const QString time = Calendar::clockTime(it->at, zone);

    QString tools;
    if (it != d.shots.cbegin())
        tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"/web/shot/%1\" rel=\"prev\">← Previous</a>").arg(std::prev(it)->id);
    if (std::next(it) != d.shots.cend())
        tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"/web/shot/%1\" rel=\"next\">Next →</a>").arg(std::next(it)->id);
    tools += QStringLiteral("<a class=\"btn btn-quiet\" href=\"%1#shots\">Back to the day</a>").arg(dayLink(date, who));

    QString b = WebFrame::heading(own ? QStringLiteral("Your screenshot") : member->name, QStringLiteral("Screenshot at ") + time,
                                  date.toString(QStringLiteral("d MMMM yyyy")), tools);
    b += QStringLiteral("<section class=\"card\"><figure class=\"picture\"><img src=\"/web/screenshots/%1\" "
                        "alt=\"Screenshot of %2 at %3\"><figcaption><dl class=\"facts\">"
                        "<div><dt>Taken</dt><dd>%3 · %4</dd></div><div><dt>Activity</dt><dd>%5</dd></div>"
                        "<div><dt>Application</dt><dd>%6</dd></div><div><dt>Project</dt><dd>%7</dd></div>"
                        "</dl></figcaption></figure></section>")
             .arg(it->id)
             .arg(html(member->name), time, date.toString(QStringLiteral("dddd, d MMMM yyyy")), percent(it->activity),
                  html(it->app.isEmpty() ? QStringLiteral("—") : it->app),
                  html(it->project.isEmpty() ? QStringLiteral("—") : it->project));
    WebFrame::send(res, 200, QStringLiteral("Screenshot at ") + time, b, &*viewer,
                   own ? QStringLiteral("day") : QStringLiteral("week"));
}

void DayPage::image(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    const auto shot = m_store.screenshot(QString::fromStdString(req.matches[1]).toLongLong());
    // Someone else's screenshot reads as missing to a member.
    if (!viewer || !shot || !m_session.subject(*viewer, QString::number(shot->memberId)))
        return WebFrame::refuse(res, 404, QStringLiteral("There is no such screenshot."), viewer ? &*viewer : nullptr);
    const auto bytes = m_blobs.get(shot->blobKey);
    if (!bytes)
        return WebFrame::refuse(res, 404, QStringLiteral("The file of this screenshot is gone."), &*viewer);
    if (shot->memberId != viewer->member.id)
        qInfo().noquote() << QStringLiteral("%1 %2 viewed screenshot %3 of member %4")
                                 .arg(viewer->member.role, viewer->member.email)
                                 .arg(shot->id)
                                 .arg(shot->memberId);
    WebFrame::secureHeaders(res);
    res.set_content(bytes->constData(), size_t(bytes->size()), "image/jpeg");
}
