#pragma once

#include <QSet>
#include <QString>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class SignInThrottle;
class Store;
class WebSession;

// Signing in and out in the browser: GET/POST /web/login, POST /web/logout.
// Sign-in attempts count against the same throttle as the client's; a good
// one sets the session cookie (HttpOnly, SameSite=Strict, Secure behind TLS).
class SignInPage {
public:
    SignInPage(Store &store, WebSession &session, SignInThrottle &throttle, bool secureCookie,
               QSet<QString> trustedProxies);
    void install(httplib::Server &server);

private:
    void form(const httplib::Request &req, httplib::Response &res);
    void signIn(const httplib::Request &req, httplib::Response &res);
    void signOut(const httplib::Request &req, httplib::Response &res);
    void show(httplib::Response &res, int status, const QString &message, const QString &email);

    Store &m_store;
    WebSession &m_session;
    SignInThrottle &m_throttle;
    bool m_secureCookie;
    QSet<QString> m_trustedProxies;
};
