// The loopback test server as a program, for trying zimbrel by hand and for
// the end-to-end script:
//   zimbrel-test-server [--port-file FILE] [--respond PATH JSON]... [--dump DIR]
// prints its base address, then one line per request it receives; --respond
// answers PATH with 200 and JSON; --dump writes every request body to DIR.
#include "TestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestServer server;
    if (!server.isListening())
        return 1;

    QString dumpDir;
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
        } else {
            std::fprintf(stderr, "usage: zimbrel-test-server [--port-file FILE] [--respond PATH JSON]... [--dump DIR]\n");
            return 2;
        }
    }
    std::printf("%s\n", qPrintable(server.baseURL()));
    std::fflush(stdout);

    qsizetype printed = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto requests = server.requests();
        for (; printed < requests.size(); ++printed) {
            const auto &r = requests.at(printed);
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
