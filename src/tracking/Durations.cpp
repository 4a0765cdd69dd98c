#include "Durations.h"

#include <cmath>
#include <iterator>

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
    // Written digit by digit from the end: the tray's clock is formatted every
    // second, and QString::arg's placeholder scans cost more than the rest of
    // the tick.
    const qint64 t = wholeSeconds(seconds);
    char16_t text[32];
    qsizetype at = std::size(text);
    const auto put = [&](qint64 value, int width) {
        do {
            text[--at] = char16_t(u'0' + value % 10);
            value /= 10;
        } while (--width > 0 || value > 0);
    };
    put(t % 60, 2);
    text[--at] = u':';
    put(t / 60 % 60, 2);
    text[--at] = u':';
    put(t / 3600, 2);
    return QString(reinterpret_cast<const QChar *>(text + at), std::size(text) - at);
}

QString shortDuration(double seconds)
{
    const qint64 m = wholeSeconds(seconds) / 60;
    if (m < 60)
        return QString::number(m) + QLatin1Char('m');
    return QString::number(m / 60) + QStringLiteral("h ") + QString::number(m % 60) + QLatin1Char('m');
}

} // namespace Durations
