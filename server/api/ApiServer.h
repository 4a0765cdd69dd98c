#pragma once

#include "HttpLoop.h"
#include "SignInThrottle.h"
#include "Store.h"
#include "AdminPages.h"
#include "WebView.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

class BlobStore;
class HttpRouter;

// The workspace API under /api/v1/ (and the web pages under /web/): the
// HttpLoop holds the connections, cpp-httplib's router parses and routes each
// whole request. Every answer is JSON in the client's envelope; 401 means
// only "no valid session". Handlers run on the loop's worker threads, each
// with its own database connection.
class ApiServer {
public:
    struct Options {
        qint64 jsonBodyMax = 64 * 1024;           // every JSON request
        qint64 uploadBodyMax = 8 * 1024 * 1024;   // a whole screenshot upload
        qint64 screenshotMax = 5 * 1024 * 1024;   // the JPEG inside it
        // Uploads per member: the client sends one every few minutes, so
        // more than this is a fault or abuse, and disk is what it costs.
        int screenshotsPerMinute = 6;
        int screenshotsPerDay = 2000;
        int workers = 4;
        int connectionsPerAddress = 64;
        int requestTimeoutMs = 30000;   // headers and body of one request
        int idleTimeoutMs = 120000;     // a kept-alive connection between requests
        // Reverse proxies whose X-Forwarded-For names the client.
        QSet<QString> trustedProxies;
        // PEM files; both set: serve HTTPS instead of HTTP.
        QString tlsCertificate, tlsKey;
        // The web session cookie only over HTTPS (TLS here or at a proxy).
        bool secureCookies = false;
        SignInThrottle::Limits throttle;
    };

    ApiServer(Store &store, BlobStore &blobs, Options options);
    ApiServer(Store &store, BlobStore &blobs);
    ~ApiServer();

    // False when the TLS certificate or key could not be loaded.
    bool isValid() const;
    // Binds the address; port 0 picks a free one. False when it cannot.
    bool bind(const QString &host, int port);
    int port() const { return m_port; }
    // Serves until stop(); blocks.
    void run();
    void stop();

    // The answer of one request, for the handlers.
    struct Reply {
        int status = 200;
        QJsonObject body;
    };
    struct Call {
        const httplib::Request &request;
        Store::Member member;   // the signed-in member (empty for login)
        QString token;
        QJsonObject body;       // the parsed JSON body, if any
    };

private:
    using Handler = std::function<Reply(Call &)>;
    enum class Access { open, member };
    enum class Body { none, json, multipart };

    void route(const char *method, const char *path, Access access, Body body, Handler handler);
    void handle(const httplib::Request &req, httplib::Response &res, Access access, Body body, const Handler &handler);
    QString clientAddress(const httplib::Request &req) const;

    Reply login(Call &call);
    Reply logout(Call &call);
    Reply registerDevice(Call &call);
    Reply projects(Call &call);
    Reply settings(Call &call);
    Reply current(Call &call);
    Reply start(Call &call);
    Reply stopEntry(Call &call);
    Reply heartbeat(Call &call);
    Reply dashboard(Call &call);
    Reply activity(Call &call);
    Reply usage(Call &call);
    Reply upload(Call &call);

    bool screenshotsEnabled();

    Store &m_store;
    BlobStore &m_blobs;
    Options m_options;
    SignInThrottle m_throttle;
    WebView m_web;
    AdminPages m_admin;
    std::unique_ptr<HttpRouter> m_router;
    std::unique_ptr<HttpLoop> m_loop;
    bool m_valid = true;
    int m_port = -1;
};
