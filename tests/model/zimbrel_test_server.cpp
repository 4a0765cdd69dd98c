// The loopback test server as a program, for trying zimbrel by hand and for
// the end-to-end and benchmark scripts:
//   zimbrel-test-server [--port-file FILE] [--respond PATH JSON]... [--dump DIR]
//                       [--keep-alive SECONDS] [--faults SEED --ledger FILE [--calm-file FILE]]
// prints its base address, then one line per request it receives, and
// "connection N" before the first request of each new connection; --respond
// answers PATH with 200 and JSON; --dump writes every request body to DIR;
// --keep-alive keeps idle connections open that long (1 s unless told; the
// workspace server keeps them 120 s).
// --faults answers every "time/start" and "time/stop" itself, at random: late
// (up to 25 s), 500, a dropped connection after the work was done, or a 200
// HTML page; starts it accepts open entries 1000, 1001, ... Once --calm-file
// exists every answer is a prompt success. --ledger FILE is rewritten every
// second with the tally per session (see writeLedger).
#include "TestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>

#include <cstdio>
#include <deque>

namespace {

// One scripted answer and what the server did behind it.
struct Fault {
    enum class Kind { ok, late, error, drop, html };
    Kind kind = Kind::ok;
    qint64 entry = 0; // the entry a start opens (ok, late, drop)
    TestServer::Reply reply;
    bool applied() const { return kind == Kind::ok || kind == Kind::late || kind == Kind::drop; }
    // The client read the answer: not dropped, nor later than its 20-second time-out.
    bool answered() const { return kind == Kind::ok || (kind == Kind::late && reply.delayMs < 19000); }
};

// Answers time/start and time/stop from a queue decided ahead, so the n-th
// request of a path is known to have met the n-th answer.
class Chaos {
public:
    Chaos(TestServer &server, quint32 seed, QString ledger, QString calmFile)
        : m_server(server), m_random(seed), m_ledger(std::move(ledger)), m_calmFile(std::move(calmFile))
    {
        topUp(QStringLiteral("time/start"));
        topUp(QStringLiteral("time/stop"));
    }

    // Matches the requests received since the last call with their answers.
    void poll()
    {
        const auto requests = m_server.requests();
        for (; m_seen < requests.size(); ++m_seen) {
            const auto &r = requests.at(m_seen);
            if (r.path != u"time/start" && r.path != u"time/stop")
                continue;
            const Fault fault = m_queued[r.path].front();
            m_queued[r.path].pop_front();
            const QJsonObject body = r.json();
            if (r.path == u"time/start") {
                const QString session = body.value(QStringLiteral("client_session_id")).toString();
                Tally &t = m_sessions[session];
                ++t.startsReceived;
                if (fault.applied()) {
                    ++t.startsAccepted;
                    t.open.insert(fault.entry);
                    m_entrySession.insert(fault.entry, session);
                    if (!fault.answered())
                        m_unanswered.insert(fault.entry);
                }
            } else {
                const qint64 entry = body.value(QStringLiteral("time_entry_id")).toInteger(-1);
                Tally &t = m_sessions[body.value(QStringLiteral("client_session_id")).toString()];
                ++t.stopsReceived;
                static const char *const kinds[] = {"ok", "late", "500", "drop", "html"};
                t.stopKinds.append(QString::fromLatin1(kinds[int(fault.kind)]) + u'@' + QString::number(entry));
                if (!m_entrySession.contains(entry))
                    ++m_stopsNamingNoEntry;
                if (fault.applied() && t.open.remove(entry))
                    ++t.stopsClosing;
            }
            topUp(r.path);
        }
        writeLedger();
    }

private:
    struct Tally {
        int startsReceived = 0;
        int startsAccepted = 0;
        int stopsReceived = 0;
        int stopsClosing = 0;
        QSet<qint64> open;
        QStringList stopKinds; // how each stop was answered, in order
    };

    bool calm() const { return !m_calmFile.isEmpty() && QFile::exists(m_calmFile); }

    Fault next(const QString &path)
    {
        Fault f;
        const bool start = path == u"time/start";
        const int roll = calm() ? 0 : int(m_random.bounded(100));
        if (roll < 55) {
            f.kind = Fault::Kind::ok;
        } else if (roll < 70) {
            f.kind = Fault::Kind::late;
            f.reply.delayMs = int(m_random.bounded(roll < 67 ? 3000 : 25000));
        } else if (roll < 85) {
            f.kind = Fault::Kind::error;
            f.reply = TestServer::Reply(500, R"({"message":"Server trouble."})");
        } else if (roll < 93) {
            f.kind = Fault::Kind::drop;
            f.reply.drop = true;
        } else {
            f.kind = Fault::Kind::html;
            f.reply = TestServer::Reply(200, TestServer::htmlPage(200));
            f.reply.contentType = "text/html; charset=utf-8";
        }
        if (f.applied()) {
            if (start)
                f.entry = m_nextEntry++;
            f.reply.status = 200;
            f.reply.body = start ? QStringLiteral(R"({"success":true,"time_entry":{"id":%1}})").arg(f.entry).toUtf8()
                                 : QByteArray(R"({"success":true})");
        }
        return f;
    }

    void topUp(const QString &path)
    {
        auto &queue = m_queued[path];
        while (queue.size() < 8) {
            queue.push_back(next(path));
            m_server.scriptOnce(path, queue.back().reply);
        }
    }

    // {"sessions": N, "startsReceived": {count: sessions}, "startsAccepted": {...},
    //  "stopsReceived": {...}, "openEntries": N, "openEntriesWhoseStartAnswerWasLost": N,
    //  "duplicateEntries": N, "stopsNamingNoEntry": N}
    void writeLedger() const
    {
        if (m_ledger.isEmpty())
            return;
        QMap<int, int> received, accepted, stops;
        int open = 0, openUnanswered = 0, duplicates = 0, sessions = 0;
        QStringList openAnswered;
        for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
            if (it.key().isEmpty())
                continue;
            ++sessions;
            received[it->startsReceived] += 1;
            accepted[it->startsAccepted] += 1;
            stops[it->stopsReceived] += 1;
            open += int(it->open.size());
            for (qint64 entry : it->open) {
                if (m_unanswered.contains(entry))
                    ++openUnanswered;
                else
                    openAnswered.append(QStringLiteral("%1 (%2: stops answered %3)").arg(entry).arg(it.key(), it->stopKinds.join(u' ')));
            }
            duplicates += std::max(0, it->startsAccepted - 1);
        }
        const auto histogram = [](const QMap<int, int> &h) {
            QJsonObject o;
            for (auto it = h.cbegin(); it != h.cend(); ++it)
                o.insert(QString::number(it.key()), it.value());
            return o;
        };
        const QJsonObject ledger{{QStringLiteral("sessions"), sessions},
                                 {QStringLiteral("startsReceived"), histogram(received)},
                                 {QStringLiteral("startsAccepted"), histogram(accepted)},
                                 {QStringLiteral("stopsReceived"), histogram(stops)},
                                 {QStringLiteral("openEntries"), open},
                                 {QStringLiteral("openEntriesWhoseStartAnswerWasLost"), openUnanswered},
                                 {QStringLiteral("openEntriesAnswered"), QJsonArray::fromStringList(openAnswered)},
                                 {QStringLiteral("duplicateEntries"), duplicates},
                                 {QStringLiteral("stopsNamingNoEntry"), m_stopsNamingNoEntry}};
        QFile f(m_ledger);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QJsonDocument(ledger).toJson());
    }

    TestServer &m_server;
    QRandomGenerator m_random;
    QString m_ledger;
    QString m_calmFile;
    qsizetype m_seen = 0;
    qint64 m_nextEntry = 1000;
    QMap<QString, std::deque<Fault>> m_queued;
    QMap<QString, Tally> m_sessions;
    QMap<qint64, QString> m_entrySession;
    QSet<qint64> m_unanswered; // entries whose start answer never reached the client
    int m_stopsNamingNoEntry = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestServer server;
    if (!server.isListening())
        return 1;

    QString dumpDir, ledger, calmFile;
    std::optional<quint32> faults;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == u"--port-file" && i + 1 < args.size()) {
            QFile f(args.at(++i));
            if (f.open(QIODevice::WriteOnly))
                f.write(server.baseURL().toUtf8());
        } else if (a == u"--respond" && i + 2 < args.size()) {
            const QString path = args.at(++i);
            server.respond(path, 200, args.at(++i).toUtf8());
        } else if (a == u"--dump" && i + 1 < args.size()) {
            dumpDir = args.at(++i);
            QDir().mkpath(dumpDir);
        } else if (a == u"--keep-alive" && i + 1 < args.size()) {
            server.keepAlive(args.at(++i).toInt());
        } else if (a == u"--faults" && i + 1 < args.size()) {
            faults = args.at(++i).toUInt();
        } else if (a == u"--ledger" && i + 1 < args.size()) {
            ledger = args.at(++i);
        } else if (a == u"--calm-file" && i + 1 < args.size()) {
            calmFile = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: zimbrel-test-server [--port-file FILE] [--respond PATH JSON]... [--dump DIR] "
                                 "[--keep-alive SECONDS] [--faults SEED --ledger FILE [--calm-file FILE]]\n");
            return 2;
        }
    }
    std::unique_ptr<Chaos> chaos;
    if (faults)
        chaos = std::make_unique<Chaos>(server, *faults, ledger, calmFile);
    std::printf("%s\n", qPrintable(server.baseURL()));
    std::fflush(stdout);

    qsizetype printed = 0;
    QSet<int> connections;
    int connectionCount = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (chaos)
            chaos->poll();
        const auto requests = server.requests();
        for (; printed < requests.size(); ++printed) {
            const auto &r = requests.at(printed);
            if (!connections.contains(r.clientPort)) {
                connections.insert(r.clientPort);
                std::printf("connection %d\n", ++connectionCount);
            }
            QByteArray body = r.body.size() > 600 ? QByteArray("(") + QByteArray::number(r.body.size()) + " bytes)"
                                                  : r.body;
            for (const auto &part : r.parts)
                body += part.name.toUtf8() + '=' + (part.content.size() > 100 ? "(" + QByteArray::number(part.content.size()) + " bytes)" : part.content) + ' ';
            std::printf("%s %s %s\n", qPrintable(r.method), qPrintable(r.path), body.constData());
            if (!dumpDir.isEmpty()) {
                QFile f(QStringLiteral("%1/%2-%3.body").arg(dumpDir).arg(printed, 3, 10, QLatin1Char('0'))
                            .arg(QString(r.path).replace(u'/', u'_')));
                if (f.open(QIODevice::WriteOnly))
                    f.write(r.body);
                for (const auto &part : r.parts) {
                    QFile p(f.fileName() + u'.' + part.name);
                    if (p.open(QIODevice::WriteOnly))
                        p.write(part.content);
                }
            }
        }
        std::fflush(stdout);
    });
    poll.start(100);
    return app.exec();
}
