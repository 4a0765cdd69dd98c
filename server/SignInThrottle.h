#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

// How many failed sign-ins are allowed in how long.
struct SignInLimits {
    int perAccount = 10;
    int perAddress = 50;
    qint64 windowMs = 15 * 60 * 1000;
};

// Limits failed sign-ins, per account and per client address, in a sliding
// window: after `perAccount` failures for one e-mail (or `perAddress` from
// one address) within the window, further attempts are refused until the
// window has passed since the oldest counted failure. A success clears the
// account's count. Kept in memory: a restart forgets it, which only helps a
// returning member.
class SignInThrottle {
public:
    using Clock = std::function<qint64()>; // milliseconds

    using Limits = SignInLimits;

    SignInThrottle(Clock clock, Limits limits);

    // Milliseconds until another attempt is allowed; nothing when allowed now.
    std::optional<qint64> blockedFor(const QString &email, const QString &address);
    void failed(const QString &email, const QString &address);
    void succeeded(const QString &email);

private:
    std::optional<qint64> wait(QList<qint64> &times, int limit, qint64 now) const;

    Clock m_clock;
    Limits m_limits;
    std::mutex m_mutex;
    QHash<QString, QList<qint64>> m_accounts;
    QHash<QString, QList<qint64>> m_addresses;
};
