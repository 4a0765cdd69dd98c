#include "SignInThrottle.h"

SignInThrottle::SignInThrottle(Clock clock, Limits limits)
    : m_clock(std::move(clock))
    , m_limits(limits)
{
}

std::optional<qint64> SignInThrottle::wait(QList<qint64> &times, int limit, qint64 now) const
{
    while (!times.isEmpty() && now - times.first() >= m_limits.windowMs)
        times.removeFirst();
    if (times.size() < limit)
        return std::nullopt;
    return times.at(times.size() - limit) + m_limits.windowMs - now;
}

std::optional<qint64> SignInThrottle::blockedFor(const QString &email, const QString &address)
{
    std::lock_guard lock(m_mutex);
    const qint64 now = m_clock();
    std::optional<qint64> result;
    if (auto it = m_accounts.find(email.toLower()); it != m_accounts.end())
        result = wait(*it, m_limits.perAccount, now);
    if (auto it = m_addresses.find(address); it != m_addresses.end()) {
        if (auto w = wait(*it, m_limits.perAddress, now); w && (!result || *w > *result))
            result = w;
    }
    return result;
}

void SignInThrottle::failed(const QString &email, const QString &address)
{
    std::lock_guard lock(m_mutex);
    const qint64 now = m_clock();
    // Only as many failures as the limit are kept, so memory stays bounded
    // whatever a caller sends.
    auto add = [&](QList<qint64> &times, int limit) {
        times.append(now);
        while (times.size() > limit)
            times.removeFirst();
    };
    add(m_accounts[email.toLower()], m_limits.perAccount);
    add(m_addresses[address], m_limits.perAddress);
    if (m_accounts.size() > 100000)
        m_accounts.clear();
    if (m_addresses.size() > 100000)
        m_addresses.clear();
}

void SignInThrottle::succeeded(const QString &email)
{
    std::lock_guard lock(m_mutex);
    m_accounts.remove(email.toLower());
}
