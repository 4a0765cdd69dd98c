#include "WebView.h"

#include "WebAssets.h"
#include "WebFrame.h"

#include <httplib.h>

WebView::WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
                 QSet<QString> trustedProxies)
    : m_session(store)
    , m_signIn(store, m_session, throttle, secureCookie, std::move(trustedProxies))
    , m_week(store, m_session)
    , m_day(store, blobs, m_session)
    , m_export(store, m_session)
{
}

void WebView::install(httplib::Server &server)
{
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
    server.Get("/web/", WebFrame::guarded([this](const auto &req, auto &res) { home(req, res); }));
    m_signIn.install(server);
    m_week.install(server);
    m_day.install(server);
    m_export.install(server);
}

void WebView::home(const httplib::Request &req, httplib::Response &res)
{
    const auto viewer = m_session.viewer(req);
    if (!viewer)
        return WebFrame::toSignIn(res);
    WebFrame::redirect(res, viewer->seesTeam() ? QStringLiteral("/web/week") : QStringLiteral("/web/day"));
}
