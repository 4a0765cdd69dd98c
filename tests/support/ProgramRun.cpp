#include "ProgramRun.h"

#include <QProcess>

ProgramRun ProgramRun::run(const QString &program, const QStringList &args, const Options &options)
{
    QProcess p;
    if (options.environment)
        p.setProcessEnvironment(*options.environment);
    if (options.childSetup)
        p.setChildProcessModifier(options.childSetup);
    p.start(program, args);
    if (!options.input.isEmpty())
        p.write(options.input);
    p.closeWriteChannel();
    if (!p.waitForFinished(options.timeoutMs)) {
        p.kill();
        p.waitForFinished(3000);
    }
    const int code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return {code, QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

ProgramRun ProgramRun::run(const QString &program, const QStringList &args)
{
    return run(program, args, Options{});
}
