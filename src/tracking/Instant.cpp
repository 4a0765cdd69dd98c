#include "Instant.h"

#include <chrono>
#include <cmath>

Instant Instant::now()
{
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return fromUnixSeconds(double(us) / 1e6);
}

Instant Instant::fromDateTime(const QDateTime &dt)
{
    return fromUnixSeconds(double(dt.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Instant::toDateTime() const
{
    // QDateTime covers far more than any instant we store; clamp anything
    // outside +/- 100,000 years so hand-edited files cannot overflow the math.
    const double ms = std::clamp(unixSeconds() * 1000.0, -3.0e18, 3.0e18);
    return QDateTime::fromMSecsSinceEpoch(std::isfinite(ms) ? qint64(std::floor(ms)) : 0);
}

QDate Instant::localDate() const
{
    return toDateTime().date();
}
