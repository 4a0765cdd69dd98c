#include "Browser.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

namespace {

const QString elementKey = QStringLiteral("element-6066-11e4-a52e-4f735466cecf");
const QString chromium = QStringLiteral("/usr/bin/chromium");
const QString chromedriver = QStringLiteral("/usr/bin/chromedriver");
constexpr int commandTimeoutMs = 30000;
constexpr int pollMs = 50;

// Lets the event loop run for `ms` between two looks at the page.
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

Browser::Browser()
    : m_net(std::make_unique<QNetworkAccessManager>())
{
}

Browser::~Browser()
{
    if (!m_session.isEmpty())
        request("DELETE", QStringLiteral("/session/") + m_session, {});
    if (m_driver.state() != QProcess::NotRunning) {
        m_driver.terminate();
        if (!m_driver.waitForFinished(5000)) {
            m_driver.kill();
            m_driver.waitForFinished(2000);
        }
    }
}

bool Browser::start()
{
    if (!QFileInfo(chromium).isExecutable() || !QFileInfo(chromedriver).isExecutable()) {
        m_error = QStringLiteral("chromium and chromedriver are needed (scripts/deps.sh installs them)");
        return false;
    }
    m_driver.setProcessChannelMode(QProcess::MergedChannels);
    m_driver.start(chromedriver, {QStringLiteral("--port=0")});
    static const QRegularExpression started(QStringLiteral("started successfully on port (\\d+)"));
    QString log;
    QDeadlineTimer deadline(20000);
    while (m_port < 0 && !deadline.hasExpired()) {
        if (!m_driver.waitForReadyRead(200) && m_driver.state() == QProcess::NotRunning)
            break;
        log += QString::fromUtf8(m_driver.readAll());
        if (const auto m = started.match(log); m.hasMatch())
            m_port = m.captured(1).toInt();
    }
    if (m_port < 0) {
        m_error = QStringLiteral("chromedriver did not start: ") + log;
        return false;
    }
    const QJsonArray args{QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                          QStringLiteral("--disable-gpu"), QStringLiteral("--disable-dev-shm-usage"),
                          QStringLiteral("--no-first-run"), QStringLiteral("--hide-scrollbars"),
                          QStringLiteral("--force-device-scale-factor=1"),
                          QStringLiteral("--window-size=%1,%2").arg(m_width).arg(m_height)};
    const QJsonObject caps{{QStringLiteral("browserName"), QStringLiteral("chrome")},
                           {QStringLiteral("goog:loggingPrefs"), QJsonObject{{QStringLiteral("browser"), QStringLiteral("ALL")}}},
                           {QStringLiteral("goog:chromeOptions"),
                            QJsonObject{{QStringLiteral("binary"), chromium}, {QStringLiteral("args"), args}}}};
    const auto value = request("POST", QStringLiteral("/session"),
                               {{QStringLiteral("capabilities"), QJsonObject{{QStringLiteral("alwaysMatch"), caps}}}});
    if (!value)
        return false;
    m_session = value->toObject().value(QStringLiteral("sessionId")).toString();
    return !m_session.isEmpty() && setViewport(m_width, m_height);
}

std::optional<QJsonValue> Browser::request(const QByteArray &method, const QString &path, const QJsonObject &body)
{
    QNetworkRequest req(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path)));
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json; charset=utf-8"));
    const QByteArray payload = method == "GET" || method == "DELETE" ? QByteArray()
                                                                     : QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply *reply = m_net->sendCustomRequest(req, method, payload);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(commandTimeoutMs);
    loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
        reply->deleteLater();
        m_error = QStringLiteral("%1 %2: no answer from chromedriver").arg(QString::fromLatin1(method), path);
        return std::nullopt;
    }
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    const QJsonValue value = answer.value(QStringLiteral("value"));
    if (status != 200) {
        const QJsonObject e = value.toObject();
        m_error = QStringLiteral("%1 %2: %3 %4")
                      .arg(QString::fromLatin1(method), path, e.value(QStringLiteral("error")).toString(),
                           e.value(QStringLiteral("message")).toString().section(QLatin1Char('\n'), 0, 0));
        return std::nullopt;
    }
    return value;
}

std::optional<QJsonValue> Browser::command(const QByteArray &method, const QString &path, const QJsonObject &body)
{
    return request(method, QStringLiteral("/session/%1%2").arg(m_session, path), body);
}

std::optional<QJsonValue> Browser::cdp(const QString &cmd, const QJsonObject &params)
{
    return command("POST", QStringLiteral("/goog/cdp/execute"),
                   {{QStringLiteral("cmd"), cmd}, {QStringLiteral("params"), params}});
}

bool Browser::setViewport(int width, int height)
{
    m_width = width;
    m_height = height;
    return cdp(QStringLiteral("Emulation.setDeviceMetricsOverride"),
               {{QStringLiteral("width"), width}, {QStringLiteral("height"), height},
                {QStringLiteral("deviceScaleFactor"), 1}, {QStringLiteral("mobile"), false}})
        .has_value();
}

bool Browser::setScheme(Scheme scheme)
{
    const QJsonObject feature{{QStringLiteral("name"), QStringLiteral("prefers-color-scheme")},
                              {QStringLiteral("value"), scheme == Scheme::dark ? QStringLiteral("dark") : QStringLiteral("light")}};
    return cdp(QStringLiteral("Emulation.setEmulatedMedia"), {{QStringLiteral("features"), QJsonArray{feature}}}).has_value();
}

bool Browser::open(const QString &url)
{
    return command("POST", QStringLiteral("/url"), {{QStringLiteral("url"), url}}).has_value();
}

QString Browser::url()
{
    return command("GET", QStringLiteral("/url")).value_or(QJsonValue()).toString();
}

QString Browser::title()
{
    return command("GET", QStringLiteral("/title")).value_or(QJsonValue()).toString();
}

int Browser::status()
{
    return run(QStringLiteral("const n = performance.getEntriesByType('navigation')[0]; return n ? n.responseStatus : 0;"))
        .toInt();
}

std::optional<QString> Browser::find(const QString &css)
{
    const auto value = command("POST", QStringLiteral("/element"),
                               {{QStringLiteral("using"), QStringLiteral("css selector")}, {QStringLiteral("value"), css}});
    if (!value)
        return std::nullopt;
    return value->toObject().value(elementKey).toString();
}

std::optional<QString> Browser::waitFor(const QString &css, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (count(css) > 0) {
            if (auto id = find(css))
                return id;
        }
        idle(pollMs);
    } while (!deadline.hasExpired());
    m_error = QStringLiteral("nothing matched %1 on %2 (\"%3\")").arg(css, url(), title());
    return std::nullopt;
}

bool Browser::waitForTitle(const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QString now;
    do {
        now = title();
        if (now.contains(text))
            return true;
        idle(pollMs);
    } while (!deadline.hasExpired());
    m_error = QStringLiteral("the title stayed \"%1\", not \"%2\", on %3").arg(now, text, url());
    return false;
}

bool Browser::waitUntil(const QString &script, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (run(script).toBool())
            return true;
        idle(pollMs);
    } while (!deadline.hasExpired());
    m_error = QStringLiteral("still not true on %1: %2").arg(url(), script);
    return false;
}

int Browser::count(const QString &css)
{
    return run(QStringLiteral("return document.querySelectorAll(arguments[0]).length;"), {css}).toInt();
}

QString Browser::text(const QString &css)
{
    const auto id = find(css);
    return id ? command("GET", QStringLiteral("/element/%1/text").arg(*id)).value_or(QJsonValue()).toString() : QString();
}

bool Browser::click(const QString &css)
{
    const auto id = find(css);
    return id && command("POST", QStringLiteral("/element/%1/click").arg(*id)).has_value();
}

bool Browser::type(const QString &css, const QString &value)
{
    const auto id = find(css);
    return id && command("POST", QStringLiteral("/element/%1/clear").arg(*id)).has_value()
        && command("POST", QStringLiteral("/element/%1/value").arg(*id), {{QStringLiteral("text"), value}}).has_value();
}

QJsonValue Browser::run(const QString &script, const QJsonArray &args)
{
    return command("POST", QStringLiteral("/execute/sync"), {{QStringLiteral("script"), script}, {QStringLiteral("args"), args}})
        .value_or(QJsonValue());
}

QStringList Browser::consoleMessages()
{
    QStringList out;
    const auto value = command("POST", QStringLiteral("/se/log"), {{QStringLiteral("type"), QStringLiteral("browser")}});
    for (const QJsonValue &entry : value.value_or(QJsonValue()).toArray())
        out.append(entry.toObject().value(QStringLiteral("message")).toString());
    return out;
}

QString Browser::cookie(const QString &name)
{
    return command("GET", QStringLiteral("/cookie/") + name)
        .value_or(QJsonValue())
        .toObject()
        .value(QStringLiteral("value"))
        .toString();
}

QByteArray Browser::screenshot(bool wholePage)
{
    QJsonObject params{{QStringLiteral("format"), QStringLiteral("png")}};
    if (wholePage) {
        // The page's full height at the viewport's width, drawn in one image.
        const int height = run(QStringLiteral("return Math.ceil(document.documentElement.scrollHeight);")).toInt();
        params.insert(QStringLiteral("captureBeyondViewport"), true);
        params.insert(QStringLiteral("clip"), QJsonObject{{QStringLiteral("x"), 0}, {QStringLiteral("y"), 0},
                                                          {QStringLiteral("width"), m_width},
                                                          {QStringLiteral("height"), std::max(height, m_height)},
                                                          {QStringLiteral("scale"), 1}});
    }
    const auto value = cdp(QStringLiteral("Page.captureScreenshot"), params);
    return value ? QByteArray::fromBase64(value->toObject().value(QStringLiteral("data")).toString().toLatin1()) : QByteArray();
}
