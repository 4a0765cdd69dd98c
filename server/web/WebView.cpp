#include "WebView.h"

#include "BlobStore.h"
#include "Calendar.h"
#include "Durations.h"
#include "WebAssets.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebText.h"

#include <QMap>
#include <QtDebug>

#include <httplib.h>

#include <algorithm>

using WebRequest::param;
using WebText::html;

WebView::WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
                 QSet<QString> trustedProxies)
    : m_store(store)
    , m_blobs(blobs)
    , m_session(store)
    , m_signIn(store, m_session, throttle, secureCookie, std::move(trustedProxies))
{
}

void WebView::install(httplib::Server &server)
{
    auto page = [this](void (WebView::*handler)(const httplib::Request &, httplib::Response &)) {
        return WebFrame::guarded([this, handler](const auto &req, auto &res) { (this->*handler)(req, res); });
    };
    server.Get("/web/style.css", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Cache-Control", "no-cache");
        res.set_content(WebAssets::styleSheet, "text/css; charset=utf-8");
    });
    server.Get("/web/mark.svg", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Content-Security-Policy", "default-src 'none'");
        res.set_content(WebAssets::markSvg, "image/svg+xml");
    });
    m_signIn.install(server);
    server.Get("/web/", page(&WebView::home));
    server.Get("/web/day", page(&WebView::day));
    server.Get(R"(/web/screenshots/(\d{1,18}))", page(&WebView::screenshot));
    server.Get("/web/export.csv", page(&WebView::exportCsv));
}

// The team's week for those who see the team, else the viewer's own day.
void WebView::home(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    WebFrame::redirect(res, QStringLiteral("/web/day"));
}

void WebView::day(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const auto member = m_session.subject(*viewer, param(req, "member"));
    if (!member)
        return WebFrame::refuse(res, 403, QStringLiteral("You can see only your own days."), &*viewer);
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const QDate date = WebRequest::date(param(req, "date"))
                           .value_or(QDateTime::fromMSecsSinceEpoch(m_store.now(), zone).date());
    const Calendar::Span span = Calendar::day(date, zone);
    const QString who = member->id == viewer->member.id ? QString() : QStringLiteral("&amp;member=%1").arg(member->id);
    const QString dayText = date.toString(QStringLiteral("dddd, d MMMM yyyy"));

    const QString tools = QStringLiteral("<a class=\"btn btn-quiet\" href=\"/web/day?date=%1%3\" aria-label=\"Day before\">← %1</a>"
                                         "<a class=\"btn btn-quiet\" href=\"/web/day?date=%2%3\" aria-label=\"Day after\">%2 →</a>"
                                         "<a class=\"btn btn-quiet\" href=\"/web/export.csv?from=%4&amp;to=%4%3\">CSV of this day</a>")
                              .arg(date.addDays(-1).toString(Qt::ISODate), date.addDays(1).toString(Qt::ISODate), who,
                                   date.toString(Qt::ISODate));
    QString b = WebFrame::heading(member->name, dayText, QStringLiteral("· ") + QString::fromUtf8(zone.id()), tools);
    if (viewer->seesTeam()) {
        b += QStringLiteral("<nav class=\"card\" aria-label=\"Members\">Members: ");
        for (const Store::Member &m : m_store.members())
            b += QStringLiteral("<a href=\"/web/day?date=%1&amp;member=%2\">%3</a> ")
                     .arg(date.toString(Qt::ISODate))
                     .arg(m.id)
                     .arg(html(m.name));
        b += QStringLiteral("</nav>");
    }

    // Entries, clipped to the day.
    const qint64 now = m_store.now();
    const auto hhmm = [&](qint64 t) { return Calendar::clockTime(t, zone); };
    qint64 total = 0;
    QString rows;
    for (const Store::Entry &e : m_store.entriesBetween(member->id, span.from, span.to)) {
        const qint64 stop = e.stoppedAt.value_or(std::max(now, e.startedAt));
        const qint64 inDay = Calendar::overlap(e.startedAt, stop, span);
        total += inDay;
        QString project = e.projectName.isEmpty() ? e.projectRef : e.projectName;
        if (project.isEmpty())
            project = QStringLiteral("(none)");
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"num\">%3</td><td>%4%5</td><td>%6</td><td>%7</td></tr>")
                    .arg(hhmm(std::max(e.startedAt, span.from)),
                         e.stoppedAt ? hhmm(std::min(*e.stoppedAt, span.to)) : QStringLiteral("running"),
                         Durations::shortDuration(double(inDay) / 1000), html(project),
                         e.flagged ? QStringLiteral(" <span class=\"review\">(needs review)</span>") : QString(),
                         html(e.taskName.isEmpty() ? e.taskRef : e.taskName),
                         e.isPrivate ? QStringLiteral("private") : QString());
    }
    b += QStringLiteral("<section class=\"card\"><h2>Entries · %1</h2>").arg(Durations::shortDuration(double(total) / 1000));
    b += rows.isEmpty() ? QStringLiteral("<p>No time tracked on this day.</p>")
                        : QStringLiteral("<div class=\"scroll\"><table class=\"data\"><thead><tr><th>Start</th><th>End</th><th>Duration</th><th>Project</th>"
                                         "<th>Task</th><th></th></tr></thead><tbody>%1</tbody></table></div>")
                              .arg(rows);

    // Activity per ten minutes: a sample covers the minute before it.
    struct Slot {
        double percent = 0;
        int samples = 0;
        qint64 keys = 0, clicks = 0;
    };
    QMap<qint64, Slot> slots;
    for (const Store::ActivitySample &s : m_store.activity(member->id, span.from + 1, span.to + 1)) {
        Slot &slot = slots[(s.trackedAt - 1 - span.from) / 600000];
        slot.percent += s.percentage;
        ++slot.samples;
        slot.keys += s.keystrokes;
        slot.clicks += s.mouseClicks;
    }
    b += QStringLiteral("</section><section class=\"card\"><h2>Activity per ten minutes</h2>");
    if (slots.isEmpty()) {
        b += QStringLiteral("<p>No activity recorded.</p>");
    } else {
        b += QStringLiteral("<div class=\"scroll\"><table class=\"data\"><thead><tr><th>From</th><th>Activity</th><th>Keys</th><th>Clicks</th></tr></thead><tbody>");
        for (auto it = slots.cbegin(); it != slots.cend(); ++it) {
            const double avg = it->percent / it->samples;
            b += QStringLiteral("<tr><td>%1</td><td><meter min=\"0\" max=\"100\" value=\"%2\">%2 %</meter> %2 %</td>"
                                "<td class=\"num\">%3</td><td class=\"num\">%4</td></tr>")
                     .arg(hhmm(span.from + it.key() * 600000))
                     .arg(QString::number(avg, 'f', 0))
                     .arg(it->keys)
                     .arg(it->clicks);
        }
        b += QStringLiteral("</tbody></table>");
    }

    // Applications, longest first.
    QMap<QString, qint64> apps;
    for (const Store::UsageRecord &u : m_store.usage(member->id, span.from, span.to))
        apps[u.appName] += Calendar::overlap(u.startedAt, u.endedAt, span);
    QList<QPair<QString, qint64>> byTime;
    for (auto it = apps.cbegin(); it != apps.cend(); ++it)
        byTime.append({it.key(), it.value()});
    std::sort(byTime.begin(), byTime.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    b += QStringLiteral("</section><section class=\"card\"><h2>Applications</h2>");
    if (byTime.isEmpty()) {
        b += QStringLiteral("<p>No applications recorded.</p>");
    } else {
        b += QStringLiteral("<table class=\"data\"><tbody>");
        for (const auto &[name, ms] : byTime)
            b += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td></tr>")
                     .arg(html(name), Durations::shortDuration(double(ms) / 1000));
        b += QStringLiteral("</tbody></table>");
    }

    const QList<Store::Screenshot> shots = m_store.screenshots(member->id, span.from, span.to);
    b += QStringLiteral("</section><section class=\"card\"><h2>Screenshots · %1</h2>").arg(shots.size());
    b += QStringLiteral("<ul class=\"shots\">");
    for (const Store::Screenshot &s : shots)
        b += QStringLiteral("<li><a href=\"/web/screenshots/%1\"><img src=\"/web/screenshots/%1\" width=\"240\" "
                            "loading=\"lazy\" alt=\"Screenshot at %2\"><span class=\"meta\">%2</span></a></li>")
                 .arg(s.id)
                 .arg(hhmm(s.capturedAt));
    b += QStringLiteral("</ul></section>");
    WebFrame::send(res, 200, member->name + QStringLiteral(" — ") + date.toString(Qt::ISODate), b, &*viewer, QStringLiteral("day"));
}

void WebView::screenshot(const httplib::Request &req, httplib::Response &res)
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

void WebView::exportCsv(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    const auto member = m_session.subject(*viewer, param(req, "member"));
    if (!member)
        return WebFrame::refuse(res, 403, QStringLiteral("You can export only your own time."), &*viewer);
    const auto from = WebRequest::date(param(req, "from"));
    const auto to = WebRequest::date(param(req, "to"));
    if (!from || !to || *to < *from || from->daysTo(*to) > 366)
        return WebFrame::refuse(res, 400, QStringLiteral("Give from and to as dates (yyyy-mm-dd), at most a year apart."),
                                &*viewer);
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const qint64 begin = Calendar::day(*from, zone).from, end = Calendar::day(*to, zone).to;
    QString csv = WebText::csvRow({"member", "date", "start", "end", "duration_seconds", "project", "task", "type",
                                   "needs_review", "private"});
    for (const Store::Entry &e : m_store.entriesBetween(member->id, begin, end)) {
        if (!e.stoppedAt)
            continue; // a running entry has no duration yet
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(e.startedAt, zone);
        csv += WebText::csvRow({member->email, start.date().toString(Qt::ISODate), start.toString(Qt::ISODate),
                                QDateTime::fromMSecsSinceEpoch(*e.stoppedAt, zone).toString(Qt::ISODate),
                                QString::number((*e.stoppedAt - e.startedAt) / 1000),
                                e.projectName.isEmpty() ? e.projectRef : e.projectName,
                                e.taskName.isEmpty() ? e.taskRef : e.taskName, e.type,
                                e.flagged ? QStringLiteral("yes") : QStringLiteral("no"),
                                e.isPrivate ? QStringLiteral("yes") : QStringLiteral("no")});
    }
    const QByteArray bytes = csv.toUtf8();
    WebFrame::secureHeaders(res);
    const QString name = QStringLiteral("zimbrel-%1-%2-%3.csv")
                             .arg(QString::number(member->id), from->toString(Qt::ISODate), to->toString(Qt::ISODate));
    res.set_header("Content-Disposition", QStringLiteral("attachment; filename=\"%1\"").arg(name).toStdString());
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/csv; charset=utf-8");
}
