#include "LogCounter.h"

#include <QMessageLogContext>
#include <QString>

#include <atomic>
#include <cstring>

namespace {
std::atomic<int> counted{0};
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && context.category && std::strcmp(context.category, "com.corvane.native.tracking") == 0)
        ++counted;
    if (previous)
        previous(type, context, message);
}
} // namespace

LogCounter::LogCounter()
{
    counted = 0;
    previous = qInstallMessageHandler(handler);
}

LogCounter::~LogCounter()
{
    qInstallMessageHandler(previous);
}

int LogCounter::warnings() const
{
    return counted;
}

void LogCounter::reset()
{
    counted = 0;
}
