#pragma once

#include "DayPage.h"
#include "ExportPage.h"
#include "SignInPage.h"
#include "WebSession.h"
#include "WeekPage.h"

#include <QSet>
#include <QString>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class BlobStore;
class SignInThrottle;
class Store;

// The web pages under /web/, each sent in the WebFrame: sign-in, the team's
// week, a member's day and its screenshots, the exports, and the files they
// load (/web/style.css, /web/mark.svg). /web/ opens the team's week for
// those who see the team, else the viewer's own day.
class WebView {
public:
    WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
            QSet<QString> trustedProxies = {});
    void install(httplib::Server &server);

private:
    void home(const httplib::Request &req, httplib::Response &res);

    WebSession m_session;
    SignInPage m_signIn;
    WeekPage m_week;
    DayPage m_day;
    ExportPage m_export;
};
