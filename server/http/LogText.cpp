#include "LogText.h"

#include <QtGlobal>

#include <cstdio>

namespace LogText {

QString escape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == '\\')
            out += QLatin1String("\\\\");
        else if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else if (u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u{%1}").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            out += ch;
    }
    return out;
}

namespace {

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = qFormatLogMessage(type, context, escape(message));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void install()
{
    qInstallMessageHandler(handler);
}

} // namespace LogText
