#include "SignInThrottle.h"

#include "Database.h"

#include <QCryptographicHash>
#include <QtEndian>

SignInThrottle::SignInThrottle(Database &db, Clock clock, Limits limits)
    : m_db(db)
    , m_clock(std::move(clock))
    , m_limits(limits)
{
}

std::optional<qint64> SignInThrottle::wait(const QString &where, const QVariantList &values, int limit, qint64 now)
{
    // The limit-th newest attempt in the window: the wait ends when it
    // leaves the window.
    QSqlQuery q = m_db.run(QStringLiteral("SELECT at FROM sign_in_attempts WHERE %1 AND at > ?"
                                          " ORDER BY at DESC LIMIT 1 OFFSET %2")
                               .arg(where)
                               .arg(limit - 1),
                           QVariantList(values) << now - m_limits.windowMs);
    if (!q.next())
        return std::nullopt;
    return std::max<qint64>(1, q.value(0).toLongLong() + m_limits.windowMs - now);
}

SignInThrottle::Attempt SignInThrottle::attempt(const QString &account, const QString &address)
{
    Attempt result;
    m_db.write([&] {
        // One account's attempts are counted one at a time across processes.
        const QByteArray digest = QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha256);
        m_db.serialise(qFromBigEndian<qint64>(digest.constData()));
        const qint64 now = m_clock();
        QSqlQuery known = m_db.run(QStringLiteral("SELECT at FROM sign_in_known WHERE account = ? AND address = ? AND at > ?"),
                                   {account, address, now - m_limits.knownMs});
        const bool isKnown = known.next();
        known.finish();
        if (isKnown) {
            result.wait = wait(QStringLiteral("account = ? AND address = ?"), {account, address}, m_limits.perAccount, now);
        } else {
            result.wait = wait(QStringLiteral("account = ?"), {account}, m_limits.perAccount, now);
            const auto byAddress = wait(QStringLiteral("address = ?"), {address}, m_limits.perAddress, now);
            if (byAddress && (!result.wait || *byAddress > *result.wait))
                result.wait = byAddress;
        }
        if (result.wait)
            return;
        QSqlQuery q = m_db.run(QStringLiteral("INSERT INTO sign_in_attempts (account, address, at) VALUES (?, ?, ?) RETURNING id"),
                               {account, address, now});
        q.next();
        result.id = q.value(0).toLongLong();
        q.finish();
        // Now and then, attempts that left the window go.
        if (result.id % 64 == 0)
            m_db.run(QStringLiteral("DELETE FROM sign_in_attempts WHERE at <= ?"), {now - m_limits.windowMs});
    });
    return result;
}

void SignInThrottle::succeeded(const Attempt &attempt, const QString &account, const QString &address)
{
    m_db.write([&] {
        m_db.run(QStringLiteral("DELETE FROM sign_in_attempts WHERE id = ? OR (account = ? AND address = ?)"),
                 {attempt.id, account, address});
        m_db.run(QStringLiteral("INSERT INTO sign_in_known (account, address, at) VALUES (?, ?, ?)"
                                " ON CONFLICT (account, address) DO UPDATE SET at = excluded.at"),
                 {account, address, m_clock()});
    });
}
