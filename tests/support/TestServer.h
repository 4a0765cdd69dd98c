#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// A real HTTP(S) server on 127.0.0.1 and a free port, speaking the workspace
// API with plausible answers, for tests. It records every request and can be
// told, per path, to answer with a given status and body, after a delay, by
// dropping the connection, or with an HTML error page.
//
// Paths are relative to the base address: "login", "time/start", ...
// The server runs on its own threads; its methods may be called from any
// thread. Typical use:
//
//     TestServer server;                       // or TestServer(TestServer::Mode::https) + trust()
//     API::setBaseURL(server.baseUrl());
//     server.respond("projects", 500, QJsonObject{{"message", "Down"}});
//     ... AsyncTest::await(API::projects("token")) ...
//     QVERIFY(server.waitFor("time/start"));   // for fire-and-forget work
//     server.last("time/start")->json();
//
// Default answers (all with "success": true unless said otherwise):
//   login            data.token "test-token", user "Test Member", role "team-member"
//   devices/register data.device.id 7
//   projects         1 Website (11 Design, 12 Build), 2 Mobile app (no tasks), 3 Internal (31 Meetings)
//   dashboard        totals "1h 0m" / "15m" / "45m" / "0m", 75 %, pattern 09:00-17:30
//   time/current     is_running and current_entry as below, today 3600 s, week 18000 s
//   time/start       opens a timer with the next entry id (100, 101, ...): data.time_entry.id
//   time/stop        closes it; with none open: 404 "No active timer found."
//   settings/get     data.screenshot_interval 5
//   logout, time/heartbeat, activity/logs, usage/logs, screenshots/upload: {"success":true}
//   anything else    404 "Not found."
// waitFor() runs the event loop and belongs to the test's main thread.
class TestServer {
public:
    enum class Mode { http, https };

    struct Request {
        QString method;          // "GET", "POST"
        QString path;            // relative to api/v1/, e.g. "time/start"
        QMap<QString, QString> headers; // names lower-cased
        QByteArray body;         // empty for multipart requests: see parts
        struct Part {
            QString name;
            QString filename;
            QString contentType;
            QByteArray content;
        };
        QList<Part> parts;       // multipart form data, in the order sent
        int clientPort = 0;      // the client's end: requests on one kept-alive connection share it

        bool hasHeader(const QString &name) const { return headers.contains(name.toLower()); }
        QString header(const QString &name) const { return headers.value(name.toLower()); }
        // The body as a JSON object (empty when it is not one).
        QJsonObject json() const;
    };

    // A scripted answer. Defaults answer 200 with the body as JSON.
    struct Reply {
        Reply() = default;
        Reply(int status, QByteArray body = {}) : status(status), body(std::move(body)) {}

        int status = 200;
        QByteArray body;
        // cpp-httplib compresses answers whose type is exactly "application/json"
        // or text/* when the client accepts it; this type is sent as it is.
        QByteArray contentType = "application/json; charset=utf-8";
        QList<QPair<QByteArray, QByteArray>> headers; // extra answer headers ("Location", ...)
        int delayMs = 0;      // wait this long before answering
        bool drop = false;    // send the headers, then close the connection mid-body
    };

    explicit TestServer(Mode mode = Mode::http);
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool isListening() const;
    int port() const;
    // "http://127.0.0.1:PORT/api/v1/" (https in TLS mode).
    QString baseURL() const;
    QUrl baseUrl() const { return QUrl(baseURL()); }

    // Every answer to `path` follows `reply` until clear() or another script.
    void script(const QString &path, const Reply &reply);
    // The next answer to `path` follows `reply`; queued ones go first, in order.
    void scriptOnce(const QString &path, const Reply &reply);
    // Shorthands for script().
    void respond(const QString &path, int status, const QByteArray &body);
    void respond(const QString &path, int status, const QJsonObject &body);
    void delay(const QString &path, int ms); // added to whatever answers the path
    void drop(const QString &path);
    void htmlError(const QString &path, int status = 502);
    // How long a connection may stay idle between requests before the
    // server closes it: 1 s and at most five requests a connection unless
    // told; told, any number of requests (as the workspace server, which
    // keeps them two minutes). Call before the first request.
    void keepAlive(int seconds);
    static QByteArray htmlPage(int status);

    // Recorded requests, oldest first.
    QList<Request> requests() const;
    QList<Request> requests(const QString &path) const;
    int count(const QString &path) const;
    std::optional<Request> last(const QString &path) const;
    // Runs the event loop until `path` has been requested `count` times in
    // all (since the last clear), or `timeoutMs` passes.
    bool waitFor(const QString &path, int count = 1, int timeoutMs = 5000) const;

    // Forgets recorded requests, scripts and the default timer state.
    void clear();

    // TLS mode: the server's self-signed certificate (made for this server,
    // for 127.0.0.1 and localhost) and its PEM file.
    QSslCertificate certificate() const;
    QString certificatePath() const;
    // Adds the certificate to the process's default TLS configuration, so
    // QNetworkAccessManager requests made afterwards trust this server.
    void trust() const;

private:
    struct State;
    std::unique_ptr<State> d;
};
