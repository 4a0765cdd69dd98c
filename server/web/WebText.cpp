#include "WebText.h"

#include "Durations.h"

#include <cmath>

namespace WebText {

QString html(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        case '\'': out += QStringLiteral("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

QString csvCell(const QString &text)
{
    QString cell = text;
    if (!cell.isEmpty()) {
        const QChar first = cell.at(0);
        if (first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') || first == QLatin1Char('@')
            || first == QLatin1Char('\t') || first == QLatin1Char('\r'))
            cell.prepend(QLatin1Char('\''));
    }
    if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) || cell.contains(QLatin1Char('\n'))
        || cell.contains(QLatin1Char('\r'))) {
        cell.replace(QLatin1String("\""), QLatin1String("\"\""));
        cell = QLatin1Char('"') + cell + QLatin1Char('"');
    }
    return cell;
}

QString csvRow(const QStringList &cells)
{
    QStringList out;
    for (const QString &c : cells)
        out.append(csvCell(c));
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString duration(qint64 ms)
{
    return Durations::shortDuration(double(ms) / 1000);
}

QString percent(std::optional<double> value)
{
    return value ? QString::number(std::lround(*value)) + QStringLiteral(" %") : QStringLiteral("—");
}

QString projectClass(std::optional<qint64> projectId)
{
    return projectId ? QStringLiteral("c%1").arg((*projectId % 5 + 4) % 5) : QStringLiteral("c-none");
}

} // namespace WebText
