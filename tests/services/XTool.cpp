#include "XTool.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

QProcess *start(const QStringList &arguments, const QByteArray &display)
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(display));
    process->setProcessEnvironment(env);
    process->start(QStringLiteral("xdotool"), arguments);
    return process;
}

} // namespace

namespace XTool {

bool run(const QStringList &arguments, const QByteArray &display)
{
    std::unique_ptr<QProcess> process(start(arguments, display));
    return process->waitForFinished(10000) && process->exitStatus() == QProcess::NormalExit
           && process->exitCode() == 0;
}

qulonglong search(const QStringList &arguments, const QByteArray &display)
{
    std::unique_ptr<QProcess> process(start(QStringList{QStringLiteral("search")} + arguments, display));
    if (!process->waitForFinished(10000))
        return 0;
    const QList<QByteArray> lines = process->readAllStandardOutput().split('\n');
    return lines.isEmpty() ? 0 : lines.first().trimmed().toULongLong();
}

} // namespace XTool
