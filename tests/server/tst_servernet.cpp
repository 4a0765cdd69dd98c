// zimbrel-server facing hostile or clumsy clients: connections that wait,
// bursts, the connection cap and request deadline, sign-in guessing from many
// addresses, e-mail variants, a trusted proxy, and TLS suites.
#include "API.h"
#include "APIError.h"

#include "AsyncTest.h"
#include "PostgresCluster.h"
#include "ServerProcess.h"
#include "TestEnv.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

using AsyncTest::await;
using AsyncTest::awaitError;

namespace {

const QString annEmail = QStringLiteral("ann@example.org");
const QString annPassword = QStringLiteral("correct horse battery");

using Sockets = std::vector<std::unique_ptr<QTcpSocket>>;

// A connection to the server from `source`, one of the many loopback
// addresses, so that several "clients" can run in one test.
std::unique_ptr<QTcpSocket> connectFrom(const QString &source, int port)
{
    auto s = std::make_unique<QTcpSocket>();
    s->bind(QHostAddress(source));
    s->connectToHost(QHostAddress::LocalHost, quint16(port));
    return s;
}

int connectedCount(const Sockets &sockets)
{
    int n = 0;
    for (const auto &s : sockets)
        n += s->state() == QAbstractSocket::ConnectedState;
    return n;
}

QByteArray loginRequest(const QString &email, const QString &password, const QByteArray &forwardedFor = {})
{
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("email"), email},
                                                      {QStringLiteral("password"), password}})
                                .toJson(QJsonDocument::Compact);
    return "POST /api/v1/login HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: application/json\r\n"
        + (forwardedFor.isEmpty() ? QByteArray() : "X-Forwarded-For: " + forwardedFor + "\r\n")
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TestServerNet : public QObject {
    Q_OBJECT
    TestEnv::IsolatedHome m_home;

    static void addAnn(ServerProcess &server)
    {
        QCOMPARE(server.admin({"member", "add", annEmail, "--password-stdin"}, annPassword.toUtf8() + '\n'), 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Hundreds of sockets on this side too.
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }

    // 500 silent connections and 64 that send a header line now and then
    // hold no worker: another client's heartbeats are each answered within a
    // second meanwhile, and the waiting connections are still held.
    void waitingConnectionsCostNoWorker()
    {
        ServerProcess server;
        addAnn(server);
        QVERIFY2(server.start(), qPrintable(server.log()));
        API::setBaseURL(server.baseUrl());
        const QString token = await(API::login(annEmail, annPassword)).token;

        Sockets silent, dripping;
        for (int i = 0; i < 500; ++i)
            silent.push_back(connectFrom(QStringLiteral("127.0.2.%1").arg(1 + i % 10), server.port()));
        for (int i = 0; i < 64; ++i)
            dripping.push_back(connectFrom(QStringLiteral("127.0.3.%1").arg(1 + i % 4), server.port()));
        QTRY_COMPARE_WITH_TIMEOUT(connectedCount(silent) + connectedCount(dripping), 564, 20000);
        for (auto &s : dripping)
            s->write("POST /api/v1/time/heartbeat HTTP/1.1\r\nHost: x\r\n");
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            for (auto &s : dripping)
                s->write("X-Slow: 1\r\n");
        });
        drip.start(300);

        for (int i = 0; i < 20; ++i)
            await(API::request(QStringLiteral("time/heartbeat"), token, QStringLiteral("POST"), QJsonObject{}), 1000);
        QCOMPARE(connectedCount(silent), 500);
        QCOMPARE(connectedCount(dripping), 64);
    }

    // A burst of new connections is taken, none reset; beyond the cap one
    // address is refused with an answer; a request that takes longer than
    // the request time-out, however it drips, is cut off.
    void burstsCapsAndDeadlines()
    {
        ServerProcess server;
        QVERIFY2(server.start({"--connections-per-address", "64", "--request-timeout", "2"}), qPrintable(server.log()));
        Sockets burst;
        for (int i = 0; i < 64; ++i) {
            burst.push_back(connectFrom(QStringLiteral("127.0.4.1"), server.port()));
            burst.back()->write("GET /api/v1/time/current HTTP/1.1\r\nHost: x\r\n\r\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(burst.begin(), burst.end(),
                                             [](const auto &s) { return s->peek(12).startsWith("HTTP/1.1 401"); }),
                                 20000);
        QCOMPARE(connectedCount(burst), 64); // kept alive

        auto extra = connectFrom(QStringLiteral("127.0.4.1"), server.port());
        QTRY_VERIFY_WITH_TIMEOUT(extra->state() == QAbstractSocket::UnconnectedState, 10000);
        QVERIFY(extra->readAll().startsWith("HTTP/1.1 503"));
        // Another address is not affected.
        auto other = connectFrom(QStringLiteral("127.0.4.2"), server.port());
        QVERIFY(other->waitForConnected(5000));

        // A request whose sender then shuts its side is still answered.
        auto halfClosed = connectFrom(QStringLiteral("127.0.4.3"), server.port());
        QVERIFY(halfClosed->waitForConnected(5000));
        halfClosed->write("GET /api/v1/time/current HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(halfClosed->waitForBytesWritten(5000));
        ::shutdown(int(halfClosed->socketDescriptor()), SHUT_WR);
        QTRY_VERIFY_WITH_TIMEOUT(halfClosed->peek(12).startsWith("HTTP/1.1 401"), 10000);

        // Dripping a header line every half second does not extend the time.
        other->write("POST /api/v1/time/heartbeat HTTP/1.1\r\n");
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] { other->write("X-Slow: 1\r\n"); });
        drip.start(500);
        QTRY_VERIFY_WITH_TIMEOUT(other->state() == QAbstractSocket::UnconnectedState, 10000);
    }

    // White space, a no-break space and capitals name the same account for
    // the limit as for the lookup.
    void emailVariantsCountAsOneAccount()
    {
        ServerProcess server;
        addAnn(server);
        QVERIFY2(server.start(), qPrintable(server.log()));
        QCOMPARE(server.raw(loginRequest(QStringLiteral(" Ann@example.org\u00a0"), annPassword)).status, 200);
        for (const QString &variant : {QStringLiteral(" ann@example.org"), QStringLiteral("ANN@example.org\u00a0"),
                                       QStringLiteral("\tAnn@Example.org ")})
            QCOMPARE(server.raw(loginRequest(variant, QStringLiteral("guess"))).status, 401);
        QCOMPARE(server.raw(loginRequest(QStringLiteral("ann@example.org\u00a0"), annPassword)).status, 429);
    }

    // Behind a trusted proxy: guesses from 20 addresses are checked only up
    // to the account's limit, the member still gets in from where they signed
    // in before, and a stranger's address is refused. A forwarded address
    // from anyone else is ignored.
    void guessingIsBoundedWithoutLockingTheMemberOut()
    {
        ServerProcess server;
        addAnn(server);
        QVERIFY2(server.start({"--trusted-proxy", "127.0.0.1", "--trusted-proxy", "::1"}), qPrintable(server.log()));
        QCOMPARE(server.raw(loginRequest(annEmail, annPassword, "10.1.1.1")).status, 200);
        int checked = 0;
        for (int i = 0; i < 200; ++i) {
            const int status = server.raw(loginRequest(annEmail, QStringLiteral("guess %1").arg(i),
                                                       "203.0.113.9, 10.0.0." + QByteArray::number(1 + i % 20)))
                                   .status;
            QVERIFY(status == 401 || status == 429);
            checked += status == 401;
            if (i == 100)
                QCOMPARE(server.raw(loginRequest(annEmail, annPassword, "10.1.1.1")).status, 200);
        }
        QVERIFY2(checked <= 30, qPrintable(QString::number(checked)));
        QCOMPARE(server.raw(loginRequest(annEmail, annPassword, "10.1.1.1")).status, 200);
        QCOMPARE(server.raw(loginRequest(annEmail, annPassword, "10.0.0.5")).status, 429);

        // Without --trusted-proxy the header names nobody: the failures count
        // for the peer itself.
        ServerProcess plain;
        addAnn(plain);
        QVERIFY2(plain.start(), qPrintable(plain.log()));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(plain.raw(loginRequest(annEmail, QStringLiteral("guess"), "10.9.9." + QByteArray::number(i))).status, 401);
        QCOMPARE(plain.raw(loginRequest(annEmail, annPassword, "10.1.1.1")).status, 429);
    }

    // Two server processes on one PostgreSQL count sign-in attempts and
    // screenshots together.
    void limitsHoldAcrossProcesses()
    {
        PostgresCluster pg;
        QVERIFY2(pg.start(), qPrintable(pg.error()));
        ServerProcess a(pg.url()), b(pg.url());
        addAnn(a);
        QVERIFY2(a.start(), qPrintable(a.log()));
        QVERIFY2(b.start(), qPrintable(b.log()));
        // Three guesses between them (the limit), then both refuse.
        for (ServerProcess *s : {&a, &b, &a})
            QCOMPARE(s->raw(loginRequest(annEmail, QStringLiteral("guess"))).status, 401);
        QCOMPARE(b.raw(loginRequest(annEmail, annPassword)).status, 429);
        QCOMPARE(a.raw(loginRequest(annEmail, annPassword)).status, 429);

        ServerProcess c(pg.url());
        QCOMPARE(c.admin({"member", "add", "cleo@example.org", "--password-stdin"}, "cleo's password\n"), 0);
        API::setBaseURL(a.baseUrl());
        const QString token = await(API::login(QStringLiteral("cleo@example.org"), QStringLiteral("cleo's password"))).token;
        const QByteArray jpeg = QByteArray::fromHex("FFD8FFE000104A464946") + QByteArray(512, 'x');
        int kept = 0;
        for (int i = 0; i < 8; ++i) {
            API::setBaseURL((i % 2 ? b : a).baseUrl());
            try {
                await(API::uploadScreenshot(token, std::nullopt, jpeg, {}, Instant::now()));
                ++kept;
            } catch (const APIError &) {
            }
        }
        QCOMPARE(kept, 6);
    }

    void badOptionsAreClearErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("port without value") << QStringList{"serve", "--port"};
        QTest::newRow("unknown option") << QStringList{"serve", "--prot", "1"};
        QTest::newRow("port not a number") << QStringList{"--port", "http"};
        QTest::newRow("proxy not an address") << QStringList{"--trusted-proxy", "proxy.example"};
    }
    void badOptionsAreClearErrors()
    {
        QFETCH(QStringList, args);
        ServerProcess server;
        QCOMPARE(server.admin(args), 2);
        QVERIFY(server.lastOutput().startsWith(QStringLiteral("zimbrel-server: ")));
    }

    // TLS 1.2 only with forward secrecy and an AEAD cipher.
    void tlsOffersOnlyForwardSecretSuites()
    {
        QTemporaryDir certs;
        const QString cert = certs.filePath(QStringLiteral("cert.pem")), key = certs.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
                                                  cert, "-days", "2", "-subj", "/CN=127.0.0.1"});
        QVERIFY(openssl.waitForFinished(30000));
        QCOMPARE(openssl.exitCode(), 0);
        ServerProcess server;
        QVERIFY2(server.start({"--tls-cert", cert, "--tls-key", key}), qPrintable(server.log()));
        auto handshake = [&](const QString &cipher) {
            QProcess client;
            client.start(QStringLiteral("openssl"), {"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(server.port()),
                                                     "-tls1_2", "-cipher", cipher});
            client.closeWriteChannel();
            client.waitForFinished(20000);
            return client.exitCode();
        };
        QVERIFY(handshake(QStringLiteral("AES128-SHA")) != 0);
        QVERIFY(handshake(QStringLiteral("AES256-GCM-SHA384")) != 0);
        QCOMPARE(handshake(QStringLiteral("ECDHE-RSA-AES128-GCM-SHA256")), 0);
    }
};

QTEST_GUILESS_MAIN(TestServerNet)
#include "tst_servernet.moc"
