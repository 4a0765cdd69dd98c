#pragma once

#include <QString>

#include <functional>
#include <optional>

class Database;

// How many failed sign-ins are allowed in how long.
struct SignInLimits {
    int perAccount = 10;
    int perAddress = 50;
    qint64 windowMs = 15 * 60 * 1000;
    // An address stays known for an account this long after a sign-in.
    qint64 knownMs = 90LL * 24 * 3600 * 1000;
};

// Limits password checks in a sliding window, in the database so that every
// server process on it counts alike. Every attempt counts as failed until it
// succeeds. An account takes `perAccount` attempts from addresses it never
// signed in from, however many addresses they come from; an address takes
// `perAddress` for all accounts. From an address where the account signed in
// before, only that pair's own failures count: others' guesses do not lock a
// member out of their usual place.
class SignInThrottle {
public:
    using Clock = std::function<qint64()>; // milliseconds
    using Limits = SignInLimits;

    SignInThrottle(Database &db, Clock clock, Limits limits);

    struct Attempt {
        qint64 id = 0;
        std::optional<qint64> wait; // set when refused: milliseconds to wait
    };
    // Counts an attempt for `account` (an e-mail key) from `address`, unless
    // the limits refuse it.
    Attempt attempt(const QString &account, const QString &address);
    // The attempt's password was right: it is not counted, the pair's
    // earlier failures are forgotten, and the address is known from now on.
    void succeeded(const Attempt &attempt, const QString &account, const QString &address);

private:
    std::optional<qint64> wait(const QString &where, const QVariantList &values, int limit, qint64 now);

    Database &m_db;
    Clock m_clock;
    Limits m_limits;
};
