#include "Instant.h"

#include <chrono>
#include <cmath>
#include <ctime>

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
    // The C library's conversion, which Qt's local time also rests on, without
    // building a QDateTime: today's date is asked for several times a second.
    // Outside 1970-9999 Qt's own rules for dates beyond the C library apply.
    const double whole = std::floor(unixSeconds());
    if (whole >= 0 && whole < 253402300800.0) {
        const std::time_t t = std::time_t(whole);
        std::tm local{};
        tzset(); // follows a changed TZ, as Qt does before each conversion
        if (localtime_r(&t, &local))
            return QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    }
    return toDateTime().date();
}
