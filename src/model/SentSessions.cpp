#include "SentSessions.h"

#include "Preferences.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace SentSessions {

namespace {
constexpr qsizetype kept = 50;
const QString key = u"sync.sentSessions"_s;
} // namespace

void remember(const PendingStop &stop)
{
    QStringList spans = Preferences::value(key).toStringList();
    spans.append(QString::number(stop.startedAt.seconds, 'f', 3) + u' ' + QString::number(stop.stoppedAt.seconds, 'f', 3));
    if (spans.size() > kept)
        spans = spans.mid(spans.size() - kept);
    Preferences::setValue(key, spans);
}

bool covers(Instant start)
{
    for (const QString &span : Preferences::value(key).toStringList()) {
        const QStringList ends = span.split(u' ');
        bool fromOk = false, toOk = false;
        const double from = ends.value(0).toDouble(&fromOk);
        const double to = ends.value(1).toDouble(&toOk);
        if (fromOk && toOk && start.seconds >= from - 1 && start.seconds <= to)
            return true;
    }
    return false;
}

} // namespace SentSessions
