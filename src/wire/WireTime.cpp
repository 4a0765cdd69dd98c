#include "WireTime.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

namespace WireTime {

QString iso(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

QString stamp(qint64 ms)
{
    const qint64 wholeSeconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return QDateTime::fromSecsSinceEpoch(wholeSeconds, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<qint64> parseStamp(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
}

} // namespace WireTime
