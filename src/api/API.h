#pragma once

#include "APIError.h"
#include "Instant.h"
#include "PendingStop.h"
#include "Project.h"
#include "TodayStats.h"
#include "TrackingSnapshot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// The workspace server client. Every call is a coroutine that resumes on the
// main thread; failures are thrown as APIError with a user-facing sentence.
// Requests share one QNetworkAccessManager (a child of the application
// object); answers over 16 MiB are refused as a transport failure, and
// nothing (token, password) goes out over plain http except to a loopback host.
namespace API {

// ---- Base address -------------------------------------------------------

// The build's default base address (ZIMBREL_SERVER).
QUrl defaultBaseURL();
// The base address in use; the default until setBaseURL is called.
QUrl baseURL();
// Sets the base address for this run; call before the first request. The
// address should have passed checkServer.
void setBaseURL(const QUrl &url);

// Result of checking a --server address: either `url` (accepted) or `error`
// (a message for the command line).
struct ServerCheck {
    QUrl url;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
// Accepts an absolute https URL, or http to a loopback host (127.0.0.0/8,
// ::1, localhost), whose path ends in "api/v1/".
ServerCheck checkServer(const QString &text);

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const QString &host);

// The shared network access manager (created on first use, main thread).
QNetworkAccessManager *network();

// Time-outs of one request and of a screenshot upload (20 s and 60 s). Tests
// shorten them; 0 or less restores the default.
void setTimeouts(std::chrono::milliseconds request, std::chrono::milliseconds upload);

// ---- Request core -------------------------------------------------------

// What a 2xx answer must carry. Most endpoints read what they can (an empty
// or non-JSON body is an empty object); for start, stop and sign-in a 2xx
// without a JSON object (a captive portal's HTML page, say) is taken as the
// transport failure it is, so nothing is counted as accepted.
enum class Answer { lenient, jsonObject };

// One JSON exchange: `path` below the base address ("time/heartbeat"),
// "Accept: application/json", "Authorization: Bearer <token>" when a token is
// given, "Content-Type: application/json" and the compact body when a body is
// given. Returns the answer's top-level object, empty when the answer is not
// a JSON object. Throws APIError:
//  - transport failure: "Can't reach Zimbrel. Check your connection and try again."
//  - 401 except on "login": "Your session has expired. Please sign in again."
//  - other non-2xx, 401 on "login", or 2xx with "success" false/0: the
//    answer's "message" if it is text, else "Something went wrong (<code>)."
//  - with Answer::jsonObject, a 2xx whose body is not a JSON object: the
//    transport failure's sentence.
QCoro::Task<QJsonObject> request(QString path, std::optional<QString> token, QString method,
                                 std::optional<QJsonObject> body = std::nullopt, Answer answer = Answer::lenient);

// The two shapes every endpoint uses: GET with the token, POST with a token
// (or none, for sign-in) and a body.
QCoro::Task<QJsonObject> get(QString path, QString token);
QCoro::Task<QJsonObject> post(QString path, std::optional<QString> token, std::optional<QJsonObject> body,
                              Answer answer = Answer::lenient);

// An identifier going out: absent -> null, a whole base-10 64-bit integer
// (optional single sign, no spaces) -> a number, any other text -> a string.
QJsonValue num(const std::optional<QString> &value);

// ISO 8601 in UTC with milliseconds and a Z suffix: 2025-03-14T09:26:53.589Z.
QString iso(Instant instant);
// Reads ISO 8601 with fractional seconds, or else without them; nothing for
// any other form.
std::optional<Instant> parseISO(const QString &text);
// "yyyy-MM-dd HH:mm:ss" in UTC.
QString stamp(Instant instant);

// The answer's identifier of a time entry: "data" (or the object), then its
// "time_entry", "current_entry" or itself; "id" or "time_entry_id" as a number.
std::optional<qint64> entryID(const QJsonObject &in);

// Identifier coercion of a server value (see RecordMapping::ident).
std::optional<QString> ident(const QJsonValue &value);

// ---- Sign-in and device registration -------------------------------------

struct SignIn {
    QString token;
    QString name;
    QString email;
    QString role; // "-" replaced by spaces
};

// POST "login". Throws "Sign-in succeeded but no session was returned." when
// the answer carries no text token.
QCoro::Task<SignIn> login(QString email, QString password);

// The device identifier: "device.id" from the preferences, or else a POST
// "devices/register" whose numeric answer is cached there. Nothing when the
// server gives no numeric identifier (the next call registers again).
QCoro::Task<std::optional<qint64>> deviceID(QString token);

// The registration body for the installation's device UUID.
QJsonObject deviceBody(const QString &deviceUUID);

// POST "logout" with the token; never throws (sign-out goes on regardless).
QCoro::Task<void> logout(QString token);

// ---- Timer endpoints -----------------------------------------------------

struct CurrentTimer {
    bool running = false;
    std::optional<qint64> entryID;
    std::optional<Instant> startedAt;
    std::optional<QString> project;
    std::optional<QString> task;
};

// GET "time/current".
QCoro::Task<CurrentTimer> current(QString token);
// Reads a "time/current" answer.
CurrentTimer currentTimer(const QJsonObject &answer);

// The bodies of POST "time/start" and "time/stop". `now` is the instant of
// sending ("client_time").
QJsonObject startBody(const PendingStop &stop, std::optional<qint64> deviceID, Instant now);
// From the running snapshot (its startedAt and sessionID must be set).
QJsonObject startBody(const TrackingSnapshot &snapshot, std::optional<qint64> deviceID, Instant now);
QJsonObject stopBody(const PendingStop &stop, std::optional<qint64> entryID, std::optional<qint64> deviceID,
                     Instant now);

// POST "time/start" / "time/stop" with those bodies. A 2xx without a JSON
// object is a transport failure: the start is not recorded, the stop stays queued.
QCoro::Task<QJsonObject> start(QString token, QJsonObject body);
QCoro::Task<QJsonObject> stop(QString token, QJsonObject body);

// True when a stop failed only because the server has nothing open to close.
bool isNoActiveTimer(const APIError &error);

QJsonObject heartbeatBody(std::optional<qint64> deviceID, std::optional<qint64> entryID, Instant now);
// POST "time/heartbeat"; never throws, failures are dropped.
QCoro::Task<void> heartbeat(QString token, std::optional<qint64> deviceID, std::optional<qint64> entryID);

// ---- Reporting and capture endpoints --------------------------------------

// GET "projects", mapped to records.
QCoro::Task<QList<Project>> projects(QString token);
// GET "dashboard" (its failure is dropped), then GET "time/current" (its
// failure is thrown).
QCoro::Task<TodayStats> today(QString token);

// GET "settings/get" and the interval search; never throws. 3 minutes when
// nothing usable is found; never below 1 minute nor above a week.
QCoro::Task<double> screenshotInterval(QString token);
// Keys containing "screenshot" and "interval" (any case) directly in an
// object win over nested objects; arrays are not entered. A number, or text
// that is wholly a decimal number, greater than 0 and finite.
std::optional<double> intervalSearch(const QJsonValue &value);

// 180 weighted inputs a minute (a click weighs two) are 100 percent; at least
// one minute; one decimal; capped at 100.
double activityPercentage(qint64 keystrokes, qint64 clicks, double seconds);
// The body of POST "activity/logs": the sample, plus "logs" holding a copy of it.
QJsonObject activityBody(std::optional<qint64> deviceID, std::optional<qint64> entryID, qint64 mouseClicks,
                         qint64 keystrokes, double activityPercentage, Instant trackedAt);
// POST "activity/logs" with an activityBody; throws APIError on failure.
QCoro::Task<void> activityLog(QString token, QJsonObject body);

QJsonObject usageBody(std::optional<qint64> deviceID, const QString &app, Instant from, Instant to);
// POST "usage/logs" with one usage entry.
QCoro::Task<void> usageLog(QString token, std::optional<qint64> deviceID, QString app, Instant from, Instant to);

// The multipart body of a screenshot upload, byte for byte.
QByteArray uploadBody(const QString &boundary, std::optional<qint64> deviceID, const QByteArray &jpeg,
                      const QString &hash, Instant at, const QString &clientLogID);
// POST "screenshots/upload" (multipart, 60 s). A transport failure is thrown
// as APIError with the network's own description; a non-2xx answer with the
// answer's "message" or "Screenshot upload failed (<code>)."
QCoro::Task<void> uploadScreenshot(QString token, std::optional<qint64> deviceID, QByteArray jpeg, QString hash,
                                   Instant at);

} // namespace API
