// The loopback test server as a program, for trying zimbrel by hand:
//   zimbrel-test-server [--port-file FILE]
// prints its base address, then one line per request it receives.
#include "TestServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestServer server;
    if (!server.isListening())
        return 1;
    std::printf("%s\n", qPrintable(server.baseURL()));
    std::fflush(stdout);
    const QStringList args = app.arguments();
    const qsizetype portFile = args.indexOf(QStringLiteral("--port-file"));
    if (portFile > 0 && portFile + 1 < args.size()) {
        QFile f(args.at(portFile + 1));
        if (f.open(QIODevice::WriteOnly))
            f.write(server.baseURL().toUtf8());
    }

    qsizetype printed = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto requests = server.requests();
        for (; printed < requests.size(); ++printed) {
            const auto &r = requests.at(printed);
            std::printf("%s %s %s\n", qPrintable(r.method), qPrintable(r.path),
                        r.body.size() > 300 ? qPrintable(QStringLiteral("(%1 bytes)").arg(r.body.size()))
                                            : r.body.constData());
        }
        std::fflush(stdout);
    });
    poll.start(100);
    return app.exec();
}
