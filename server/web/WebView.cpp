#include "WebView.h"

#include "BlobStore.h"
#include "Calendar.h"
#include "Credentials.h"
#include "Durations.h"
#include "ClientAddress.h"
#include "SignInThrottle.h"
#include "WebText.h"

#include <QMap>
#include <QUrlQuery>
#include <QtDebug>

#include <httplib.h>

#include <algorithm>

using WebText::html;

namespace {

const char *const cookieName = "zimbrel_session";

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString param(const httplib::Request &req, const char *name)
{
    return req.has_param(name) ? fromStd(req.get_param_value(name)) : QString();
}

void secureHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy", "default-src 'none'; img-src 'self'; style-src 'self'; "
                                              "form-action 'self'; frame-ancestors 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "private, no-store");
}

void page(httplib::Response &res, int status, const QString &title, const QString &body)
{
    const QString doc = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                       "<meta name=\"viewport\" content=\"width=device-width\">"
                                       "<title>%1 · Zimbrel</title><link rel=\"stylesheet\" href=\"/web/style.css\">"
                                       "</head><body>%2</body></html>\n")
                            .arg(html(title), body);
    const QByteArray bytes = doc.toUtf8();
    res.status = status;
    secureHeaders(res);
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/html; charset=utf-8");
}

QString loginForm(const QString &message, const QString &email)
{
    QString body = QStringLiteral("<main class=\"narrow\"><h1>Zimbrel</h1>");
    if (!message.isEmpty())
        body += QStringLiteral("<p class=\"error\">%1</p>").arg(html(message));
    body += QStringLiteral("<form method=\"post\" action=\"/web/login\">"
                           "<label>E-mail <input type=\"email\" name=\"email\" value=\"%1\" required autofocus></label>"
                           "<label>Password <input type=\"password\" name=\"password\" required></label>"
                           "<button type=\"submit\">Sign in</button></form></main>")
                .arg(html(email));
    return body;
}

const char *const styleSheet = R"(body{font-family:Inter,system-ui,sans-serif;margin:0 auto;max-width:64rem;padding:1rem 1.5rem;color:#1d1d1f}
h1{font-size:1.4rem}h2{font-size:1.1rem;margin-top:2rem}table{border-collapse:collapse;width:100%}
th,td{text-align:left;padding:.3rem .6rem;border-bottom:1px solid #ddd}td.num{text-align:right}
.narrow{max-width:22rem}label{display:block;margin:.8rem 0}input{display:block;width:100%;padding:.4rem}
button{margin-top:.8rem;padding:.4rem 1rem}.error{color:#b00020}.review{color:#a15c00}
nav a,nav form{margin-right:1rem;display:inline}.shots{display:flex;flex-wrap:wrap;gap:1rem}
figure{margin:0}figcaption{font-size:.85rem;color:#555}meter{width:12rem}
)";

std::optional<QDate> dateParam(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

Calendar::Span daySpan(QDate date, const QTimeZone &zone)
{
    return {QDateTime(date, QTime(0, 0), zone).toMSecsSinceEpoch(),
            QDateTime(date.addDays(1), QTime(0, 0), zone).toMSecsSinceEpoch()};
}

} // namespace

WebView::WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
                 QSet<QString> trustedProxies)
    : m_store(store)
    , m_blobs(blobs)
    , m_throttle(throttle)
    , m_secureCookie(secureCookie)
    , m_trustedProxies(std::move(trustedProxies))
{
}

void WebView::install(httplib::Server &server)
{
    // Every handler answers a database failure with a page, not a crash.
    auto guarded = [this](void (WebView::*handler)(const httplib::Request &, httplib::Response &)) {
        return [this, handler](const httplib::Request &req, httplib::Response &res) {
            try {
                (this->*handler)(req, res);
            } catch (const std::exception &e) {
                qWarning().noquote() << "web page" << fromStd(req.path) << "failed:" << e.what();
                page(res, 503, QStringLiteral("Unavailable"),
                     QStringLiteral("<main><p>The server cannot reach its database right now. Try again shortly.</p></main>"));
            }
        };
    };
    server.Get("/web/style.css", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(styleSheet, "text/css; charset=utf-8");
    });
    server.Get("/web/", [](const httplib::Request &, httplib::Response &res) { res.set_redirect("/web/day", 303); });
    server.Get("/web/login", guarded(&WebView::loginPage));
    server.Post("/web/login", guarded(&WebView::login));
    server.Post("/web/logout", guarded(&WebView::logout));
    server.Get("/web/day", guarded(&WebView::day));
    server.Get(R"(/web/screenshots/(\d{1,18}))", guarded(&WebView::screenshot));
    server.Get("/web/export.csv", guarded(&WebView::exportCsv));
}

std::optional<Store::Member> WebView::signedIn(const httplib::Request &req, QString *token)
{
    const QString cookies = fromStd(req.get_header_value("Cookie"));
    for (const QString &part : cookies.split(QLatin1Char(';'))) {
        const QString c = part.trimmed();
        if (c.startsWith(QLatin1String(cookieName) + QLatin1Char('='))) {
            const QString t = c.mid(int(strlen(cookieName)) + 1);
            if (token)
                *token = t;
            return m_store.memberForToken(t);
        }
    }
    return std::nullopt;
}

std::optional<Store::Member> WebView::subject(const httplib::Request &req, const Store::Member &viewer)
{
    const QString id = param(req, "member");
    if (id.isEmpty() || id == QString::number(viewer.id))
        return viewer;
    if (viewer.role != QLatin1String("admin"))
        return std::nullopt;
    bool good = false;
    const qint64 n = id.toLongLong(&good);
    return good ? m_store.memberById(n) : std::nullopt;
}

void WebView::loginPage(const httplib::Request &req, httplib::Response &res)
{
    if (signedIn(req)) {
        res.set_redirect("/web/day", 303);
        return;
    }
    page(res, 200, QStringLiteral("Sign in"), loginForm({}, {}));
}

void WebView::login(const httplib::Request &req, httplib::Response &res)
{
    // A browser's form body writes spaces as "+" (a literal plus is %2B).
    const QUrlQuery form(fromStd(req.body).replace(QLatin1Char('+'), QStringLiteral("%20")));
    const QString email = form.queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded).trimmed();
    const QString password = form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    const QString address = clientAddress(req.remote_addr, req.get_header_value("X-Forwarded-For"), m_trustedProxies);
    const QString account = Credentials::emailKey(email);
    if (email.isEmpty() || password.isEmpty() || password.toUtf8().size() > Credentials::maxPasswordBytes) {
        page(res, 422, QStringLiteral("Sign in"), loginForm(QStringLiteral("Enter your e-mail and password."), email));
        return;
    }
    const SignInThrottle::Attempt attempt = m_throttle.attempt(account, address);
    if (const auto wait = attempt.wait) {
        const qint64 minutes = std::max<qint64>(1, (*wait + 59999) / 60000);
        page(res, 429, QStringLiteral("Sign in"),
             loginForm(QStringLiteral("Too many sign-in attempts. Try again in %1 minute%2.")
                           .arg(minutes)
                           .arg(minutes == 1 ? QString() : QStringLiteral("s")),
                       email));
        return;
    }
    const auto member = m_store.memberByEmail(account);
    const bool good = member ? Credentials::verifyPassword(password, member->passwordHash)
                             : (Credentials::dummyVerify(password), false);
    if (good)
        m_throttle.succeeded(attempt, account, address);
    if (!good || member->disabled) {
        page(res, 401, QStringLiteral("Sign in"), loginForm(QStringLiteral("The e-mail or password is not right."), email));
        return;
    }
    const QString token = m_store.createSession(member->id);
    const QString cookie = QStringLiteral("%1=%2; Path=/web; HttpOnly; SameSite=Strict; Max-Age=%3%4")
                               .arg(QLatin1String(cookieName), token)
                               .arg(Store::sessionIdleMs / 1000)
                               .arg(m_secureCookie ? QStringLiteral("; Secure") : QString());
    res.set_header("Set-Cookie", cookie.toStdString());
    secureHeaders(res);
    res.set_redirect("/web/day", 303);
}

void WebView::logout(const httplib::Request &req, httplib::Response &res)
{
    QString token;
    if (signedIn(req, &token))
        m_store.endSession(token);
    res.set_header("Set-Cookie", std::string(cookieName) + "=; Path=/web; HttpOnly; SameSite=Strict; Max-Age=0");
    res.set_redirect("/web/login", 303);
}

void WebView::day(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = signedIn(req);
    if (!viewer) {
        res.set_redirect("/web/login", 303);
        return;
    }
    const auto member = subject(req, *viewer);
    if (!member) {
        page(res, 403, QStringLiteral("Not allowed"), QStringLiteral("<main><p>You can see only your own days.</p></main>"));
        return;
    }
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const QDate date = dateParam(param(req, "date"))
                           .value_or(QDateTime::fromMSecsSinceEpoch(m_store.now(), zone).date());
    const Calendar::Span span = daySpan(date, zone);
    const QString who = member->id == viewer->id ? QString() : QStringLiteral("&amp;member=%1").arg(member->id);
    const QString dayText = date.toString(QStringLiteral("dddd, d MMMM yyyy"));

    QString b = QStringLiteral("<header><nav><a href=\"/web/day?date=%1%3\">← %1</a><a href=\"/web/day?date=%2%3\">%2 →</a>"
                               "<a href=\"/web/export.csv?from=%4&amp;to=%4%3\">CSV of this day</a>"
                               "<form method=\"post\" action=\"/web/logout\"><button type=\"submit\">Sign out</button></form>"
                               "</nav><h1>%5 — %6</h1><p>Times in %7. Signed in as %8.</p></header><main>")
                    .arg(date.addDays(-1).toString(Qt::ISODate), date.addDays(1).toString(Qt::ISODate), who,
                         date.toString(Qt::ISODate), html(member->name), html(dayText),
                         html(QString::fromUtf8(zone.id())), html(viewer->email));
    if (viewer->role == QLatin1String("admin")) {
        b += QStringLiteral("<nav>Members: ");
        for (const Store::Member &m : m_store.members())
            b += QStringLiteral("<a href=\"/web/day?date=%1&amp;member=%2\">%3</a>")
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
    b += QStringLiteral("<h2>Entries · %1</h2>").arg(Durations::shortDuration(double(total) / 1000));
    b += rows.isEmpty() ? QStringLiteral("<p>No time tracked on this day.</p>")
                        : QStringLiteral("<table><thead><tr><th>Start</th><th>End</th><th>Duration</th><th>Project</th>"
                                         "<th>Task</th><th></th></tr></thead><tbody>%1</tbody></table>")
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
    b += QStringLiteral("<h2>Activity per ten minutes</h2>");
    if (slots.isEmpty()) {
        b += QStringLiteral("<p>No activity recorded.</p>");
    } else {
        b += QStringLiteral("<table><thead><tr><th>From</th><th>Activity</th><th>Keys</th><th>Clicks</th></tr></thead><tbody>");
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
    b += QStringLiteral("<h2>Applications</h2>");
    if (byTime.isEmpty()) {
        b += QStringLiteral("<p>No applications recorded.</p>");
    } else {
        b += QStringLiteral("<table><tbody>");
        for (const auto &[name, ms] : byTime)
            b += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td></tr>")
                     .arg(html(name), Durations::shortDuration(double(ms) / 1000));
        b += QStringLiteral("</tbody></table>");
    }

    const QList<Store::Screenshot> shots = m_store.screenshots(member->id, span.from, span.to);
    b += QStringLiteral("<h2>Screenshots · %1</h2>").arg(shots.size());
    b += QStringLiteral("<div class=\"shots\">");
    for (const Store::Screenshot &s : shots)
        b += QStringLiteral("<figure><a href=\"/web/screenshots/%1\"><img src=\"/web/screenshots/%1\" width=\"240\" "
                            "loading=\"lazy\" alt=\"Screenshot at %2\"></a><figcaption>%2</figcaption></figure>")
                 .arg(s.id)
                 .arg(hhmm(s.capturedAt));
    b += QStringLiteral("</div></main>");
    page(res, 200, member->name + QStringLiteral(" — ") + date.toString(Qt::ISODate), b);
}

void WebView::screenshot(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = signedIn(req);
    const auto shot = m_store.screenshot(QString::fromStdString(req.matches[1]).toLongLong());
    // Someone else's screenshot reads as missing to a member.
    if (!viewer || !shot || (shot->memberId != viewer->id && viewer->role != QLatin1String("admin"))) {
        page(res, 404, QStringLiteral("Not found"), QStringLiteral("<main><p>Not found.</p></main>"));
        return;
    }
    const auto bytes = m_blobs.get(shot->blobKey);
    if (!bytes) {
        page(res, 404, QStringLiteral("Not found"), QStringLiteral("<main><p>The file of this screenshot is gone.</p></main>"));
        return;
    }
    if (shot->memberId != viewer->id)
        qInfo().noquote() << QStringLiteral("admin %1 viewed screenshot %2 of member %3")
                                 .arg(viewer->email)
                                 .arg(shot->id)
                                 .arg(shot->memberId);
    secureHeaders(res);
    res.set_content(bytes->constData(), size_t(bytes->size()), "image/jpeg");
}

void WebView::exportCsv(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = signedIn(req);
    if (!viewer) {
        res.set_redirect("/web/login", 303);
        return;
    }
    const auto member = subject(req, *viewer);
    if (!member) {
        page(res, 403, QStringLiteral("Not allowed"), QStringLiteral("<main><p>You can export only your own time.</p></main>"));
        return;
    }
    const auto from = dateParam(param(req, "from"));
    const auto to = dateParam(param(req, "to"));
    if (!from || !to || *to < *from || from->daysTo(*to) > 366) {
        page(res, 400, QStringLiteral("Export"),
             QStringLiteral("<main><p>Give from and to as dates (yyyy-mm-dd), at most a year apart.</p></main>"));
        return;
    }
    const QTimeZone zone = Calendar::zone(member->timeZone);
    const qint64 begin = daySpan(*from, zone).from, end = daySpan(*to, zone).to;
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
    secureHeaders(res);
    const QString name = QStringLiteral("zimbrel-%1-%2-%3.csv")
                             .arg(QString::number(member->id), from->toString(Qt::ISODate), to->toString(Qt::ISODate));
    res.set_header("Content-Disposition", QStringLiteral("attachment; filename=\"%1\"").arg(name).toStdString());
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/csv; charset=utf-8");
}
