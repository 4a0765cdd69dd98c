#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QNetworkAccessManager;

// Debian's headless chromium, driven through chromedriver's WebDriver
// interface on loopback, for tests of the web pages and for screenshots.
// Needs no display. Every call returns when chromedriver has answered; waits
// poll a condition until a deadline, never sleep a fixed time. A failed call
// leaves its reason in error().
class Browser {
public:
    enum class Scheme { light, dark };

    Browser();
    ~Browser();

    // Starts chromedriver and a browser session; false (with error()) when
    // chromium or chromedriver is missing or does not come up.
    bool start();
    QString error() const { return m_error; }

    // The page's CSS viewport size and the colour scheme it is told the
    // desktop uses (the prefers-color-scheme media feature).
    bool setViewport(int width, int height);
    bool setScheme(Scheme scheme);

    bool open(const QString &url);
    QString url();
    QString title();
    // The HTTP status of the page now shown (its navigation entry).
    int status();

    // Polls until an element matches `css`; its WebDriver id, or nothing at
    // the deadline.
    std::optional<QString> waitFor(const QString &css, int timeoutMs = 5000);
    // Polls until the title contains `text`.
    bool waitForTitle(const QString &text, int timeoutMs = 5000);
    // Polls until `script` (a function body) returns true.
    bool waitUntil(const QString &script, int timeoutMs = 5000);
    int count(const QString &css);
    // The rendered text of the first element matching `css` (empty if none).
    QString text(const QString &css);
    bool click(const QString &css);
    // Clears the field and types `value` into it.
    bool type(const QString &css, const QString &value);
    // Runs `script` (a function body) in the page with `args`; its result.
    QJsonValue run(const QString &script, const QJsonArray &args = {});

    // What pages wrote to the console (errors, refusals by the content
    // security policy) since the last call.
    QStringList consoleMessages();

    // The value of the page's cookie `name` (HttpOnly ones too); empty if none.
    QString cookie(const QString &name);

    // A PNG of the viewport, or with `wholePage` of the whole page's height.
    QByteArray screenshot(bool wholePage = false);

private:
    // One WebDriver command on the current session (`path` after
    // /session/<id>); the "value" of the answer, or nothing on failure.
    std::optional<QJsonValue> command(const QByteArray &method, const QString &path, const QJsonObject &body = {});
    std::optional<QJsonValue> request(const QByteArray &method, const QString &path, const QJsonObject &body);
    std::optional<QJsonValue> cdp(const QString &cmd, const QJsonObject &params = {});
    std::optional<QString> find(const QString &css);

    std::unique_ptr<QNetworkAccessManager> m_net;
    QProcess m_driver;
    int m_port = -1;
    QString m_session;
    QString m_error;
    int m_width = 1440, m_height = 900;
};
