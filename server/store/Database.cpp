#include "Database.h"

#include "Schema.h"

#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QDir>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>

namespace {

std::atomic<quint64> s_nextId{1};

// Instances alive, so a thread that outlives one does not touch its name.
std::mutex s_liveLock;
std::set<quint64> s_live;

// The connections this thread opened, removed when the thread ends, and the
// statements prepared on them.
struct ThreadConnections {
    std::map<quint64, QString> names;
    std::map<quint64, QHash<QString, QSqlQuery>> statements;
    ~ThreadConnections()
    {
        statements.clear();
        for (const auto &[id, name] : names) {
            std::lock_guard lock(s_liveLock);
            if (s_live.count(id))
                QSqlDatabase::removeDatabase(name);
        }
    }
};
thread_local ThreadConnections t_connections;

// The instances whose write transaction this thread is inside.
thread_local std::set<quint64> t_writing;

QString errorText(const QSqlError &e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.driverText().trimmed();
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

} // namespace

Database::Database(const QString &location)
    : m_id(s_nextId++)
{
    if (location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(location);
        if (!url.isValid())
            throw StoreError("the PostgreSQL address is not a valid URL");
        m_backend = Backend::postgresql;
        m_host = QUrl::fromPercentEncoding(url.host(QUrl::FullyEncoded).toUtf8());
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host")))
            m_host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        m_port = url.port(5432);
        m_user = url.userName(QUrl::FullyDecoded);
        m_password = url.password(QUrl::FullyDecoded);
        m_name = url.path().mid(1);
        if (m_name.isEmpty())
            throw StoreError("the PostgreSQL address names no database");
    } else {
        m_backend = Backend::sqlite;
        m_path = location.startsWith(QLatin1String("sqlite://")) ? location.mid(9) : location;
        if (m_path.isEmpty())
            throw StoreError("no database file given");
        QDir().mkpath(QFileInfo(m_path).absolutePath());
    }
    std::lock_guard lock(s_liveLock);
    s_live.insert(m_id);
}

Database::~Database()
{
    {
        std::lock_guard lock(s_liveLock);
        s_live.erase(m_id);
    }
    // Connections of other threads stay registered until their thread ends;
    // this thread's one goes now.
    t_connections.statements.erase(m_id);
    auto it = t_connections.names.find(m_id);
    if (it != t_connections.names.end()) {
        QSqlDatabase::removeDatabase(it->second);
        t_connections.names.erase(it);
    }
}

QString Database::describe() const
{
    if (m_backend == Backend::sqlite)
        return QStringLiteral("SQLite %1").arg(m_path);
    return QStringLiteral("PostgreSQL %1@%2:%3/%4").arg(m_user, m_host).arg(m_port).arg(m_name);
}

QSqlDatabase Database::connection()
{
    // A PostgreSQL connection whose server went away reports itself closed,
    // and is opened again here.
    auto it = t_connections.names.find(m_id);
    if (it != t_connections.names.end()) {
        QSqlDatabase db = QSqlDatabase::database(it->second, false);
        if (db.isOpen())
            return db;
        t_connections.statements.erase(m_id); // prepared on the lost connection
        if (!db.open())
            throw StoreError(errorText(db.lastError()).toStdString());
        return db;
    }
    static std::atomic<quint64> serial{0};
    const QString name = QStringLiteral("zimbrel-server-%1-%2").arg(m_id).arg(++serial);
    QSqlDatabase db;
    if (m_backend == Backend::sqlite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_host);
        if (m_port > 0)
            db.setPort(m_port);
        db.setUserName(m_user);
        db.setPassword(m_password);
        db.setDatabaseName(m_name);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    t_connections.names[m_id] = name;
    if (!db.isValid())
        throw StoreError("the Qt SQL driver for this database is not installed");
    if (!db.open())
        throw StoreError(errorText(db.lastError()).toStdString());
    if (m_backend == Backend::sqlite) {
        QSqlQuery q(db);
        // WAL lets readers go on while one writer works; foreign keys are off
        // by default in SQLite.
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // The write-ahead log is checkpointed at about 1 MB and cut back to
        // that size, so it needs little room on a disk that fills up.
        q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=256"));
        q.exec(QStringLiteral("PRAGMA journal_size_limit=1048576"));
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else {
        // "relation already exists, skipping" and the like are not news.
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
    }
    return db;
}

QSqlQuery Database::run(const QString &sql, const QVariantList &values)
{
    QSqlDatabase db = connection();
    // PostgreSQL prepares only queries and DML, so statements without values
    // (DDL, BEGIN, COMMIT) run directly.
    if (values.isEmpty()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql)) {
            const QString text = errorText(q.lastError());
            throw StoreError(text.toStdString());
        }
        return q;
    }
    QHash<QString, QSqlQuery> &kept = t_connections.statements[m_id];
    auto it = kept.find(sql);
    if (it == kept.end()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            throw StoreError(errorText(q.lastError()).toStdString());
        if (kept.size() > 200)
            kept.clear();
        it = kept.insert(sql, q);
    }
    QSqlQuery &q = *it;
    if (q.isActive())
        q.finish();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        // A null QString inside a value means empty text; SQL NULL is asked
        // for with a null QVariant.
        if (!v.isNull() && v.typeId() == QMetaType::QString && v.toString().isNull())
            q.bindValue(i, QStringLiteral(""));
        else
            q.bindValue(i, v);
    }
    if (!q.exec()) {
        const QString text = errorText(q.lastError());
        // Prepared anew next time: the connection under it may have been
        // replaced.
        kept.erase(it);
        throw StoreError(text.toStdString());
    }
    return q;
}

void Database::finishStatements()
{
    auto it = t_connections.statements.find(m_id);
    if (it == t_connections.statements.end())
        return;
    for (QSqlQuery &q : it->second) {
        if (q.isActive())
            q.finish();
    }
}

QSqlQuery Database::writeOne(const QString &sql, const QVariantList &values)
{
    std::unique_lock<std::mutex> lock(m_writeLock, std::defer_lock);
    if (m_backend == Backend::sqlite)
        lock.lock();
    finishStatements();
    return run(sql, values);
}

void Database::serialise(qint64 key)
{
    if (m_backend == Backend::postgresql)
        run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {key});
}

void Database::write(const std::function<void()> &work)
{
    if (t_writing.count(m_id)) {
        work();
        return;
    }
    std::unique_lock<std::mutex> lock(m_writeLock, std::defer_lock);
    if (m_backend == Backend::sqlite)
        lock.lock();
    // A kept statement with rows not yet read holds SQLite's read snapshot,
    // and a write from an old snapshot is refused ("database is locked").
    finishStatements();
    run(m_backend == Backend::sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    t_writing.insert(m_id);
    try {
        work();
        t_writing.erase(m_id);
        finishStatements();
        run(QStringLiteral("COMMIT"));
    } catch (...) {
        t_writing.erase(m_id);
        try {
            finishStatements();
            run(QStringLiteral("ROLLBACK"));
        } catch (const StoreError &) {
            // The connection is gone; the server rolled back on its own.
        }
        throw;
    }
}

void Database::applyDDL(const QString &sql)
{
    QString text = sql;
    text.replace(QStringLiteral("{pk}"), m_backend == Backend::sqlite ? QStringLiteral("INTEGER PRIMARY KEY")
                                                                      : QStringLiteral("BIGSERIAL PRIMARY KEY"));
    run(text);
}

int Database::schemaVersion()
{
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"));
    QSqlQuery q = run(QStringLiteral("SELECT MAX(version) FROM schema_version"));
    return q.next() ? q.value(0).toInt() : 0;
}

void Database::migrate(int upTo)
{
    const QList<QStringList> steps = Schema::migrations();
    const int target = upTo < 0 ? int(steps.size()) : std::min(upTo, int(steps.size()));
    write([&] {
        const int have = schemaVersion();
        if (have > steps.size())
            throw StoreError(QStringLiteral("the database has schema version %1, newer than this server knows (%2)")
                                 .arg(have)
                                 .arg(steps.size())
                                 .toStdString());
        for (int v = have; v < target; ++v) {
            for (const QString &statement : steps[v])
                applyDDL(statement);
            run(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"), {v + 1});
        }
    });
}
