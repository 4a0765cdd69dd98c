#pragma once

#include "SignInPage.h"
#include "Store.h"
#include "WebSession.h"

#include <QSet>
#include <QString>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class BlobStore;
class SignInThrottle;

// The web pages under /web/, sent in the WebFrame: sign-in, a member's day
// (entries, activity per ten minutes, applications, screenshots) and a CSV
// export of entries, and the stylesheet. Members see their own days;
// owners, admins and managers anyone's.
class WebView {
public:
    WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
            QSet<QString> trustedProxies = {});
    void install(httplib::Server &server);

private:
    void home(const httplib::Request &req, httplib::Response &res);
    void day(const httplib::Request &req, httplib::Response &res);
    void screenshot(const httplib::Request &req, httplib::Response &res);
    void exportCsv(const httplib::Request &req, httplib::Response &res);

    Store &m_store;
    BlobStore &m_blobs;
    WebSession m_session;
    SignInPage m_signIn;
};
