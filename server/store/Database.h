#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <mutex>
#include <stdexcept>

// A failure of the database: the connection went away, a statement failed.
// Request handlers turn it into a 503 answer; the admin command prints it.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One database, SQLite (a file) or PostgreSQL (a URL), reached through QtSql
// with the same SQL text for both. Each thread gets its own connection, made
// on first use; the server's worker threads share nothing else.
class Database {
public:
    enum class Backend { sqlite, postgresql };

    // `location` is a file path for SQLite or "postgresql://user:pw@host:port/db"
    // (host empty or "%2Frun%2Fpostgresql" for a Unix socket folder).
    // Throws StoreError when the location cannot be understood.
    explicit Database(const QString &location);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    Backend backend() const { return m_backend; }
    QString describe() const; // for log lines; never contains a password

    // This thread's connection, opened on first use. Throws StoreError.
    QSqlDatabase connection();

    // Brings the schema up to the newest version, or only up to `upTo` (for
    // tests of a migration). Throws StoreError.
    void migrate(int upTo = -1);
    int schemaVersion();

    // Runs `work` inside one write transaction and commits it; rolls back and
    // rethrows on any exception. SQLite allows one writer at a time, so its
    // write transactions are serialised here and begin IMMEDIATE. A write()
    // inside another on the same thread joins the outer transaction, so
    // store operations compose into one.
    void write(const std::function<void()> &work);

    // One writing statement without a transaction of its own. On SQLite it
    // queues behind this process's write transactions instead of polling
    // SQLite's lock.
    QSqlQuery writeOne(const QString &sql, const QVariantList &values);

    // Inside write(): makes other write transactions that name the same
    // key wait until this one ends, in every process (PostgreSQL's advisory
    // lock; SQLite's write transactions are one at a time already).
    void serialise(qint64 key);

    // Prepares and runs one statement with positional `?` values. Throws
    // StoreError with the driver's text on failure. Statements with values
    // are prepared once per connection and kept.
    QSqlQuery run(const QString &sql, const QVariantList &values = {});
    // Ends the result sets of this thread's kept statements, so none holds a
    // read snapshot between requests.
    void finishStatements();

private:
    void applyDDL(const QString &sql);

    Backend m_backend = Backend::sqlite;
    QString m_path;                  // SQLite file
    QString m_host, m_user, m_password, m_name;
    int m_port = -1;
    quint64 m_id = 0;                // tells this instance's connections apart
    std::mutex m_writeLock;          // SQLite only
};
