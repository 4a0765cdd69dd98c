#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Runs a program to its end, as a script would: standard input closed (or
// fed `input`), both outputs collected.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;

    struct Options {
        QByteArray input;
        std::optional<QProcessEnvironment> environment;
        // Runs in the child between fork and exec (see QProcess::setChildProcessModifier).
        std::function<void()> childSetup;
        int timeoutMs = 30000;
    };

    static ProgramRun run(const QString &program, const QStringList &args, const Options &options);
    static ProgramRun run(const QString &program, const QStringList &args);
};
