#pragma once

#include <QString>
#include <QTemporaryDir>

// A throw-away PostgreSQL cluster for tests: initdb into a temporary folder,
// a server on a private Unix socket with no TCP port, stopped and deleted
// with the object. As root the cluster runs as the "postgres" user, since
// PostgreSQL refuses to run as root.
class PostgresCluster {
public:
    PostgresCluster();
    ~PostgresCluster();

    // False with `error()` when the binaries are missing or it did not start.
    bool start();
    // Stops and restarts the server of the cluster.
    bool stopServer();
    bool startServer();
    QString error() const { return m_error; }
    // postgresql://zimbrel@/zimbrel?host=<socket folder>
    QString url() const;

private:
    bool run(const QString &program, const QStringList &args);
    QString m_bin;
    QTemporaryDir m_dir;
    QString m_error;
    bool m_running = false;
    bool m_watchdog = false;
};
