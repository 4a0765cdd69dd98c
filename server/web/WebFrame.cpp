#include "WebFrame.h"

#include "WebRequest.h"
#include "WebText.h"

#include <QtDebug>

#include <httplib.h>

using WebText::html;

namespace WebFrame {

namespace {

enum class Who { everyone, team, workspace };

struct NavEntry {
    const char *section;
    const char *href;
    const char *label;
    Who who;
};

// The navigation, in order. Pages of the workspace's running add their
// entries here.
const NavEntry navigation[] = {
    {"week", "/web/week", "Team week", Who::team},
    {"day", "/web/day", "Day", Who::everyone},
    {"export", "/web/export", "Export", Who::everyone},
    {"members", "/web/admin/members", "Members", Who::workspace},
    {"projects", "/web/admin/projects", "Projects", Who::workspace},
    {"settings", "/web/admin/settings", "Settings", Who::workspace},
    {"audit", "/web/admin/audit", "Audit log", Who::workspace},
};

bool allowed(Who who, const WebSession::Viewer &viewer)
{
    switch (who) {
    case Who::everyone: return true;
    case Who::team: return viewer.seesTeam();
    case Who::workspace: return viewer.runsWorkspace();
    }
    return false;
}

QString header(const WebSession::Viewer *viewer, const QString &section)
{
    QString h = QStringLiteral("<a class=\"skip\" href=\"#main\">Skip to content</a><header class=\"top\"><div class=\"bar\">"
                               "<a class=\"brand\" href=\"/web/\">%1<span class=\"wordmark\">Zimbrel</span></a>")
                    .arg(mark(30));
    if (viewer) {
        h += QStringLiteral("<nav aria-label=\"Pages\"><ul>");
        for (const NavEntry &e : navigation) {
            if (!allowed(e.who, *viewer))
                continue;
            const bool current = section == QLatin1String(e.section);
            h += QStringLiteral("<li><a href=\"%1\"%2>%3</a></li>")
                     .arg(QLatin1String(e.href),
                          current ? QStringLiteral(" aria-current=\"page\"") : QString(), QLatin1String(e.label));
        }
        h += QStringLiteral("</ul></nav><div class=\"who\"><span class=\"who-name\" title=\"%1\">%2</span>%3</div>")
                 .arg(html(viewer->member.email), html(viewer->member.name.isEmpty() ? viewer->member.email : viewer->member.name),
                      postButton(*viewer, QStringLiteral("/web/logout"), QStringLiteral("Sign out"), QStringLiteral("ghost")));
    }
    return h + QStringLiteral("</div></header>");
}

} // namespace

void secureHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy", "default-src 'none'; img-src 'self'; style-src 'self'; "
                                              "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "private, no-store");
}

void send(httplib::Response &res, int status, const QString &title, const QString &main,
          const WebSession::Viewer *viewer, const QString &section)
{
    const QString doc = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                                       "<meta name=\"color-scheme\" content=\"light dark\">"
                                       "<title>%1 · Zimbrel</title><link rel=\"stylesheet\" href=\"/web/style.css\">"
                                       "<link rel=\"icon\" href=\"/web/mark.svg\" type=\"image/svg+xml\">"
                                       "</head><body>%2<main id=\"main\" tabindex=\"-1\">%3</main></body></html>\n")
                            .arg(html(title), header(viewer, section), main);
    const QByteArray bytes = doc.toUtf8();
    res.status = status;
    secureHeaders(res);
    res.set_content(bytes.constData(), size_t(bytes.size()), "text/html; charset=utf-8");
}

void refuse(httplib::Response &res, int status, const QString &sentence, const WebSession::Viewer *viewer)
{
    const QString title = status == 403 ? QStringLiteral("Not allowed")
                        : status == 404 ? QStringLiteral("Not found")
                        : status == 503 ? QStringLiteral("Unavailable")
                                        : QStringLiteral("Cannot show this");
    send(res, status, title,
         QStringLiteral("<section class=\"card narrow\"><h1>%1</h1><p>%2</p><p><a href=\"/web/\">Back to the start page</a></p></section>")
             .arg(html(title), html(sentence)),
         viewer);
}

void refuseForm(httplib::Response &res)
{
    refuse(res, 403, QStringLiteral("This form has expired or was not sent from this site. Open the page again and resend it."));
}

void toSignIn(httplib::Response &res)
{
    res.set_redirect("/web/login", 303);
}

void redirect(httplib::Response &res, const QString &to)
{
    res.set_redirect(to.toStdString(), 303);
}

QString heading(const QString &eyebrow, const QString &title, const QString &muted, const QString &trailing)
{
    return QStringLiteral("<div class=\"page-head\"><div><p class=\"eyebrow\">%1</p><h1>%2%3</h1></div>%4</div>")
        .arg(html(eyebrow), html(title),
             muted.isEmpty() ? QString() : QStringLiteral(" <span class=\"muted\">%1</span>").arg(html(muted)),
             trailing.isEmpty() ? QString() : QStringLiteral("<div class=\"page-tools\">%1</div>").arg(trailing));
}

QString csrfField(const WebSession::Viewer &viewer)
{
    return QStringLiteral("<input type=\"hidden\" name=\"csrf\" value=\"%1\">").arg(html(viewer.csrf));
}

QString postButton(const WebSession::Viewer &viewer, const QString &action, const QString &label, const QString &kind,
                   const QString &hidden)
{
    return QStringLiteral("<form class=\"inline\" method=\"post\" action=\"%1\">%2%3<button class=\"btn btn-%4\" type=\"submit\">%5</button></form>")
        .arg(html(action), csrfField(viewer), hidden, html(kind), html(label));
}

QString mark(int size)
{
    // The tile, the z and the dot of the app's mark; the stylesheet colours
    // them for the light and the dark look.
    return QStringLiteral(
               "<svg class=\"mark\" width=\"%1\" height=\"%1\" viewBox=\"0 0 256 256\" aria-hidden=\"true\" focusable=\"false\">"
               "<rect class=\"mark-tile\" width=\"256\" height=\"256\" rx=\"69\"/>"
               "<path class=\"mark-glyph\" transform=\"translate(72.183 46.976) scale(0.90027)\" d=\"M17 17H107L17 163H107\" "
               "fill=\"none\" stroke-width=\"34\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>"
               "<circle class=\"mark-dot\" cx=\"207.70\" cy=\"193.72\" r=\"16.20\"/></svg>")
        .arg(size);
}

Handler guarded(Handler handler)
{
    return [handler = std::move(handler)](const httplib::Request &req, httplib::Response &res) {
        try {
            handler(req, res);
        } catch (const std::exception &e) {
            qWarning().noquote() << "web page" << WebRequest::fromStd(req.path) << "failed:" << e.what();
            refuse(res, 503, QStringLiteral("The server cannot reach its database right now. Try again shortly."));
        }
    };
}

} // namespace WebFrame
