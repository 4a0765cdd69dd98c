#include "Durations.h"

#include <cmath>

namespace {
// Whole units of a duration; negative, NaN and absurd values count as 0 so a
// clock moved backwards never shows "-1:59:59".
qint64 wholeSeconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return seconds >= 9.0e15 ? qint64(9.0e15) : qint64(std::floor(seconds));
}
} // namespace

namespace Durations {

QString clock(double seconds)
{
    const qint64 t = wholeSeconds(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(t / 3600, 2, 10, QLatin1Char('0'))
        .arg((t % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(t % 60, 2, 10, QLatin1Char('0'));
}

QString shortDuration(double seconds)
{
    const qint64 m = wholeSeconds(seconds) / 60;
    if (m < 60)
        return QString::number(m) + QLatin1Char('m');
    return QString::number(m / 60) + QStringLiteral("h ") + QString::number(m % 60) + QLatin1Char('m');
}

} // namespace Durations
