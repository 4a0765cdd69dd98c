#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// The real zimbrel-server program on 127.0.0.1 and a free port, with its own
// temporary data folder and SQLite file, for tests. Administration commands
// run as separate invocations against the same database. Three failed
// sign-ins lock an account (the default is ten), to keep the test short.
class ServerProcess {
public:
    // `database`: a location for --database instead of the own SQLite file
    // (a PostgreSQL URL, to run several servers on one database).
    explicit ServerProcess(const QString &database = {});
    ~ServerProcess();

    // Starts serving, with `extra` options; false (with the output in
    // `log()`) when it did not come up.
    bool start(const QStringList &extra = {});
    void stop();

    // Runs "zimbrel-server <args>" against the same data; `input` goes to
    // its standard input. Returns the exit code; the output in `lastOutput`.
    int admin(const QStringList &args, const QByteArray &input = {});
    QString lastOutput() const { return m_lastOutput; }

    int port() const { return m_port; }
    QUrl baseUrl() const;
    QString dataDir() const { return m_dir.path() + QStringLiteral("/data"); }
    QString databasePath() const { return m_dir.path() + QStringLiteral("/zimbrel.sqlite"); }
    // Everything the server has printed so far.
    QString log();

    // A read-only view of the server's database for checking stored rows.
    QSqlDatabase database();
    // The value of the first column of the first row; an invalid variant
    // when there is none.
    QVariant scalar(const QString &sql, const QVariantList &values = {});

    // One raw HTTP exchange on a fresh connection: `request` is sent as is.
    struct Raw {
        int status = 0;
        QByteArray headers; // the header block, lines ending in CRLF
        QByteArray body;
        QByteArray header(const QByteArray &name) const;
    };
    Raw raw(const QByteArray &request);

private:
    QStringList common() const;

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_log;
    QString m_lastOutput;
    int m_port = -1;
    QString m_scheme = QStringLiteral("http");
    QString m_connection;
    QString m_database;
};
