#pragma once

#include "Store.h"

#include <QSet>
#include <QString>

#include <optional>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class BlobStore;
class SignInThrottle;

// The read-only web pages under /web/: sign-in, a member's day (entries,
// activity per ten minutes, applications, screenshots) and a CSV export of
// entries. Members see their own days; admins anyone's. Pages are plain
// server-rendered HTML that needs no script; the session is a cookie holding
// a session token like the client's.
class WebView {
public:
    WebView(Store &store, BlobStore &blobs, SignInThrottle &throttle, bool secureCookie,
            QSet<QString> trustedProxies = {});
    void install(httplib::Server &server);

private:
    std::optional<Store::Member> signedIn(const httplib::Request &req, QString *token = nullptr);
    // The member whose data is asked for (the "member" parameter, else the
    // viewer); nothing when the viewer may not see them.
    std::optional<Store::Member> subject(const httplib::Request &req, const Store::Member &viewer);

    void loginPage(const httplib::Request &req, httplib::Response &res);
    void login(const httplib::Request &req, httplib::Response &res);
    void logout(const httplib::Request &req, httplib::Response &res);
    void day(const httplib::Request &req, httplib::Response &res);
    void screenshot(const httplib::Request &req, httplib::Response &res);
    void exportCsv(const httplib::Request &req, httplib::Response &res);

    Store &m_store;
    BlobStore &m_blobs;
    SignInThrottle &m_throttle;
    bool m_secureCookie;
    QSet<QString> m_trustedProxies;
};
